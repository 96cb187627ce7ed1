// A top-level window of the program. The form owns its HWND; one static window procedure stores `this` at
// WM_NCCREATE and routes WM_COMMAND and WM_NOTIFY by control id to the control's event. Handlers are
// std::function fields wired by the form's owner; no exception leaves the window procedure.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/handle.h"

namespace platform {

class TWinControl;
class TTabControl;
class TMainMenu;
class TPopupMenu;

enum TCloseAction : uint8_t { caNone, caHide, caFree, caMinimize };

// Modal results, as the message-box answers.
inline constexpr int mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL, mrYes = IDYES, mrNo = IDNO;

class TForm {
public:
    explicit TForm(std::wstring className);
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;
    virtual ~TForm();

    // Creates the window (hidden), then runs OnCreate. An owned form is created by Application.CreateForm.
    void Create(HWND owner = nullptr);
    // Runs OnDestroy while the form and its members still live, then destroys the window.
    void Destroy();
    HWND Handle() const noexcept { return hwnd_; }
    const std::wstring& ClassName() const noexcept { return className_; }

    std::string Caption() const;
    void SetCaption(std::string_view caption);
    // Font of the form and of every control created on it (face name in Shift-JIS, size in points).
    void SetFont(std::string_view faceName, int points);
    HFONT Font() const noexcept { return font_.Get(); }

    // Geometry in screen pixels (outer rectangle) and the client size.
    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    int ClientWidth() const;
    int ClientHeight() const;
    void SetBounds(int left, int top, int width, int height);
    void SetPosition(int left, int top);
    void SetSize(int width, int height);
    void SetClientSize(int width, int height);
    // The smallest client area the user can size the window to (0: no limit), and the outer size it makes.
    int MinClientWidth = 0;
    int MinClientHeight = 0;
    SIZE MinWindowSize() const;
    // Centre on the owner window, or on the work area without one, and keep the window whole on the work
    // area.
    void CenterOnOwner();
    // Makes the application's main form the owner of a form that has none (ShowModal does it).
    void OwnByMainForm();
    // Both: a window opened from the main window sits over it, whole on the work area, and stays above it.
    void CenterOnMainForm() {
        OwnByMainForm();
        CenterOnOwner();
    }

    void Show();
    void Hide();
    bool Visible() const;
    void SetVisible(bool visible) { visible ? Show() : Hide(); }
    void BringToFront();
    void SetTopMost(bool topMost);
    bool TopMost() const;
    bool Minimized() const;
    void Minimize();
    void Restore();

    // Modal show: the other task windows are disabled, a nested loop runs until ModalResult is set or the
    // form closes, then they are enabled again. Returns the modal result (mrCancel when closed).
    int ShowModal();
    int ModalResult() const noexcept { return modalResult_; }
    void SetModalResult(int result) noexcept { modalResult_ = result; }
    bool Modal() const noexcept { return modal_; }
    // Esc closes a modal form, as a dialog box does; with this set it closes the form shown modeless too.
    bool EscapeCloses = false;

    // Asks OnCloseQuery, then runs OnClose; the main form's close ends the application, another form hides.
    void Close();
    // Runs the close query alone: true when the form may close.
    bool CloseQuery();

    // The control that takes the keys when the form is next activated (now, when it is active).
    void SetActiveControl(TWinControl& control);
    // The page container whose pages the form's page keys (Ctrl+Tab...) change: the first tab control
    // created on the form.
    TTabControl* PageControl() const noexcept { return pageControl_; }
    void SetPageControl(TTabControl* control) noexcept { pageControl_ = control; }
    // A key of the form's own that the dialog keys do not know (the page keys); true when it was used.
    bool HandleFormKey(const MSG& msg);
    // The push button made as the default one; DM_GETDEFID, where the form answers it, names another.
    void SetDefaultButton(HWND button) noexcept { defaultButton_ = button; }
    // After Tab: with the keys on a control that is no push button, the form's default button is drawn as the default again. A push button that had the keys took that look, and
    // the dialog keys of a window that is no dialog box never give it back.
    void KeepDefaultButtonLook();

    void SetMenu(TMainMenu* menu);
    TMainMenu* Menu() const noexcept { return menu_; }
    // Accepts files dropped from the shell (WM_DROPFILES reaches OnDropFiles).
    void SetAcceptFiles(bool accept);

    // Events.
    std::function<void()> OnCreate;
    // Shown and hidden by the program; an owner that is minimised and restored takes the form along without
    // either.
    std::function<void()> OnShow;
    std::function<void()> OnHide;
    std::function<void(bool& canClose)> OnCloseQuery;
    std::function<void(TCloseAction& action)> OnClose;
    std::function<void()> OnDestroy;
    std::function<void()> OnResize;
    // Message hooks of the windows that handle them themselves. OnDropFiles owns the drop handle (it calls
    // DragFinish); without a handler the drop is released.
    std::function<void(HDROP drop)> OnDropFiles;
    // Answer to WM_QUERYENDSESSION: true lets the session end. Without a handler the close query answers.
    std::function<bool()> OnQueryEndSession;
    std::function<void(bool ending)> OnEndSession;
    // For the main form: the desktop that showed the windows has ended (a Wine desktop that closes takes
    // them off the screen; they still exist, but nobody can see or answer them). Without a handler the
    // message loop ends.
    std::function<void()> OnDesktopLost;
    // WM_CONTEXTMENU: the window the click was in and the screen point (-1, -1 from the keyboard). A control
    // with a PopupMenu shows it without this hook.
    std::function<void(HWND window, POINT screen)> OnContextMenu;
    // WM_INITMENUPOPUP for a pop-up menu of this form.
    std::function<void(HMENU menu)> OnMenuPopup;
    // WM_CTLCOLOR*: a brush for the control, or nullptr to take the control's own colour or the default.
    std::function<HBRUSH(HDC dc, HWND control)> OnCtlColor;
    // Any other message: return true when handled, with the result in `result`.
    std::function<bool(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)> OnMessage;

    // Used by the controls.
    int RegisterControl(TWinControl* control);
    void UnregisterControl(TWinControl* control);
    TWinControl* ControlFromId(int id) const;
    TWinControl* ControlFromWindow(HWND hwnd) const;
    HACCEL Accelerators() const noexcept { return accel_; }
    void RebuildAccelerators();
    // The window procedure of every form class.
    static LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

protected:
    virtual LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam);

private:
    LRESULT HandleCtlColor(UINT msg, WPARAM wParam, LPARAM lParam);
    bool HandleContextMenu(HWND window, POINT screen);
    // The topmost visible child window drawn at a screen point; group boxes are passed over.
    HWND ChildAt(POINT screen) const;
    // Gives the keys back to the control that had them when the form was last left, else to its first
    // control, as a dialog box does; the form's own window never keeps them.
    void RestoreFocus();
    bool Focusable(HWND h) const;
    void DetachControls();
    // Drops the window handle and every handle derived from it (controls, accelerators).
    void ForgetWindow() noexcept;

    std::wstring className_;
    HWND hwnd_ = nullptr;
    UniqueFont font_;
    int modalResult_ = mrNone;
    bool modal_ = false;
    TMainMenu* menu_ = nullptr;
    HACCEL accel_ = nullptr;
    int nextId_ = 100;
    std::vector<TWinControl*> controls_;
    TTabControl* pageControl_ = nullptr;
    HWND savedFocus_ = nullptr;
    HWND pendingFocus_ = nullptr;
    HWND defaultButton_ = nullptr;
    bool shownByOwner_ = false;
};

}  // namespace platform
