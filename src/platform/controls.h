// The standard controls as small non-copyable value wrappers over child windows of a form. Texts are
// Shift-JIS and converted at the W calls. Events fire for the user's actions; a value set by code fires
// only where noted (a check box set to a new state fires its click, as the forms expect).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/handle.h"

namespace platform {

class TForm;
class TPopupMenu;

// Width in pixels of a one-line text drawn in a font on a window's device context.
int TextWidth(HWND window, HFONT font, std::string_view text);

class TWinControl {
public:
    TWinControl() = default;
    TWinControl(const TWinControl&) = delete;
    TWinControl& operator=(const TWinControl&) = delete;
    virtual ~TWinControl();

    HWND Handle() const noexcept { return hwnd_; }
    int Id() const noexcept { return id_; }
    TForm* Form() const noexcept { return form_; }

    std::string Text() const;
    void SetText(std::string_view text);
    bool Enabled() const;
    void SetEnabled(bool enabled);
    bool Visible() const;
    void SetVisible(bool visible);
    void SetBounds(int x, int y, int width, int height);
    void SetFocus();
    // Width in pixels of a one-line text drawn in the control's font.
    int TextWidth(std::string_view text) const;
    // Background colour used for the control's WM_CTLCOLOR* answer; CLR_INVALID goes back to the default.
    void SetColor(COLORREF color);
    COLORREF Color() const noexcept { return color_; }
    HBRUSH ColorBrush() const noexcept { return brush_.Get(); }

    // Shown by the form on a right click in the control.
    TPopupMenu* PopupMenu = nullptr;

    // Called when the control object goes away, so that whoever holds a pointer to it can let go.
    void AddFreeNotification(void* key, std::function<void(TWinControl*)> fn);
    void RemoveFreeNotification(void* key);

    // Routing from the form.
    virtual void HandleCommand(WORD) {}
    virtual LRESULT HandleNotify(NMHDR*) { return 0; }
    // WM_HSCROLL or WM_VSCROLL that the control sent to its form (track bars, up-downs), with the scroll
    // code.
    virtual void HandleScroll(WORD) {}
    virtual void ParentResized() {}
    // Called by the form when its window goes away before the control object.
    void Detach() noexcept;

protected:
    void CreateControl(TForm& form, const wchar_t* windowClass, DWORD style, DWORD exStyle, int x, int y,
                       int width, int height, std::string_view text);
    LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(hwnd_, msg, wParam, lParam);
    }
    // While positive, notifications caused by our own changes are not passed on as events.
    int updating_ = 0;
    struct Updating {
        explicit Updating(TWinControl& c) : c_(c) { ++c_.updating_; }
        ~Updating() { --c_.updating_; }
        TWinControl& c_;
    };

    HWND hwnd_ = nullptr;
    int id_ = 0;
    TForm* form_ = nullptr;

private:
    COLORREF color_ = CLR_INVALID;
    UniqueBrush brush_;
    std::vector<std::pair<void*, std::function<void(TWinControl*)>>> freeNotifications_;
};

class TButton : public TWinControl {
public:
    void Create(TForm& form, int x, int y, int width, int height, std::string_view caption,
                bool isDefault = false);
    void Click() {
        if (OnClick) OnClick();
    }
    std::function<void()> OnClick;
    void HandleCommand(WORD code) override;
};

// Check boxes and radio buttons: a state, and a click event for the user's clicks.
class TCheckableButton : public TWinControl {
public:
    bool Checked() const;
    std::function<void()> OnClick;
    void HandleCommand(WORD code) override;
};

class TCheckBox : public TCheckableButton {
public:
    void Create(TForm& form, int x, int y, int width, int height, std::string_view caption);
    // Fires OnClick when the state changes, and only then.
    void SetChecked(bool checked);
};

class TRadioButton : public TCheckableButton {
public:
    void Create(TForm& form, int x, int y, int width, int height, std::string_view caption,
                bool firstOfGroup);
    // Checking one clears the others of its group; fires OnClick when it becomes checked.
    void SetChecked(bool checked);
    // The dialog keys enter a group of radio buttons at one button: the checked one, or the first shown and
    // enabled one when none is checked (a group without a tab stop could not be reached by Tab at all).
    // Sets that button's tab stop and clears the others'; `button` is any button of the group.
    static void FixGroupTabStop(HWND button);
    void HandleCommand(WORD code) override;
};

class TLabel : public TWinControl {
public:
    // `align` may add SS_NOTIFY, which makes the label take clicks (OnClick) instead of letting them through.
    void Create(TForm& form, int x, int y, int width, int height, std::string_view caption,
                DWORD align = SS_LEFT);
    std::function<void()> OnClick;
    void HandleCommand(WORD code) override;
};

class TGroupBox : public TWinControl {
public:
    void Create(TForm& form, int x, int y, int width, int height, std::string_view caption);
};

// Single-line edit. OnChange fires for the user's edits only.
class TEdit : public TWinControl {
public:
    void Create(TForm& form, int x, int y, int width, int height, std::string_view text = {},
                bool readOnly = false);
    void SetTextQuiet(std::string_view text);
    void SetReadOnly(bool readOnly);
    std::function<void()> OnChange;
    void HandleCommand(WORD code) override;
};

// Read-only multi-line text with both scroll bars and no length limit; one entry per line.
// Read-only, it hands Tab, Enter and Esc on to the dialog keys: Tab moves to the next control, Enter presses
// the default button and Esc closes a dialog, as from any other field.
class TMemo : public TWinControl {
public:
    ~TMemo() override;
    void Create(TForm& form, int x, int y, int width, int height, bool readOnly = true);
    void Add(std::string_view line);
    void Clear();
    size_t LineCount() const;
    std::vector<std::string> Lines() const;
    void SetLines(const std::vector<std::string>& lines);

private:
    static LRESULT CALLBACK MemoProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void Unsubclass() noexcept;
    WNDPROC memoProc_ = nullptr;
};

enum TComboStyle : uint8_t { csDropDown, csDropDownList };

// Combo box, editable or drop-down list. OnChange fires for the user's edits and selections only, never for
// a text, item or index set by code.
class TComboBox : public TWinControl {
public:
    ~TComboBox() override;
    void Create(TForm& form, int x, int y, int width, int height, TComboStyle style = csDropDown);
    TComboStyle Style() const noexcept { return style_; }
    int Count() const;
    int Add(std::string_view item);
    void Insert(int index, std::string_view item);
    void Delete(int index);
    void Clear();
    std::string Item(int index) const;
    void SetItem(int index, std::string_view item);
    int ItemIndex() const;
    void SetItemIndex(int index);
    std::string Text() const;
    void SetText(std::string_view text);
    std::function<void()> OnChange;
    void HandleCommand(WORD code) override;

private:
    // The edit part shows its own menu on a right click; while the combo has a PopupMenu, the edit hands the
    // click to the form, which shows the combo's menu.
    static LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void Unsubclass() noexcept;
    TComboStyle style_ = csDropDown;
    HWND edit_ = nullptr;
    WNDPROC editProc_ = nullptr;
};

class TProgressBar : public TWinControl {
public:
    void Create(TForm& form, int x, int y, int width, int height);
    void SetRange(int minimum, int maximum);
    int Position() const;
    void SetPosition(int position);
};

// Status bar at the bottom of the form, with fixed-width panels (the last one takes the rest).
class TStatusBar : public TWinControl {
public:
    void Create(TForm& form);
    void SetPanels(const std::vector<int>& widths);
    std::string PanelText(int panel) const;
    void SetPanelText(int panel, std::string_view text);
    int HeightPixels() const;
    void ParentResized() override;
};

// Tab control used as a page container: each page lists the controls it shows, which are siblings on the
// form. The bounds given hold the tabs and the pages below them; the control itself never lies under a page's
// controls (drawn as flat buttons it is only its row of buttons, framed its window leaves the page area out),
// so it paints over none of them, and it comes first in the tab order, before its pages.
// OnChange fires when the user picks a page, by mouse or by the keys of a property sheet (Ctrl+Tab,
// Ctrl+Shift+Tab, Ctrl+PageDown, Ctrl+PageUp anywhere on the form; the arrow keys, Home and End on the
// focused tab); SetTabIndex switches pages quietly.
class TTabControl : public TWinControl {
public:
    void Create(TForm& form, int x, int y, int width, int height, int tabWidth = 0, bool flatButtons = true);
    void SetBounds(int x, int y, int width, int height);
    // Fixed width of each tab (0: as wide as its caption).
    void SetTabWidth(int width);
    int AddPage(std::string_view caption);
    void AddToPage(int page, TWinControl& control);
    int PageCount() const;
    int TabIndex() const;
    void SetTabIndex(int index);
    // Switches to a page as the user's choice does: the focus leaves a control of the page that goes, and
    // OnChange fires.
    void SelectPage(int index);
    // Where the pages' controls go, in the form's client coordinates.
    RECT PageRect() const;
    // A page key of the form's keyboard message; true when it changed (or kept) the page and is used up.
    bool HandlePageKey(WORD key, bool ctrl, bool shift);
    std::function<void()> OnChange;
    LRESULT HandleNotify(NMHDR* header) override;

private:
    void ShowPage(int index);
    // Applies the bounds given: the row of buttons alone, or the framed window without its page area.
    void Fit();
    std::vector<std::vector<TWinControl*>> pages_;
    bool flat_ = true;
    RECT bounds_{};
    // The last control put on a page: the next one goes right after it in the tab order.
    HWND lastOnPage_ = nullptr;
};

// Image list of one icon size; owns its handle.
class TImageList {
public:
    TImageList(int width, int height);
    TImageList(const TImageList&) = delete;
    TImageList& operator=(const TImageList&) = delete;
    ~TImageList();
    HIMAGELIST Handle() const noexcept { return handle_; }
    int Width() const noexcept { return width_; }
    int Height() const noexcept { return height_; }
    int Count() const;
    // Adds a copy of the icon; the caller keeps the icon. -1 on failure.
    int AddIcon(HICON icon);
    bool Delete(int index);
    void Clear();
    // Replaces the images with copies of those of another list.
    bool Assign(const TImageList& other);

private:
    HIMAGELIST handle_ = nullptr;
    int width_, height_;
};

// One-shot or repeating timer served by the application's hidden window on the main thread.
class TTimer {
public:
    TTimer() = default;
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;
    ~TTimer();
    UINT Interval() const noexcept { return interval_; }
    void SetInterval(UINT ms);
    bool Enabled() const noexcept { return enabled_; }
    void SetEnabled(bool enabled);
    // A one-shot timer switches itself off before its event runs.
    bool OneShot = false;
    std::function<void()> OnTimer;
    void Fire();

private:
    UINT interval_ = 1000;
    bool enabled_ = false;
};

}  // namespace platform
