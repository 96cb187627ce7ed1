// Main and pop-up menus. An item has a caption, a check mark, an enabled state, an optional shortcut and a
// click event; items with children are sub-menus, whose click event runs when the sub-menu opens.
// Command ids are unique in the process, so any form can route a menu command to its item.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Shortcut modifiers, as in ACCEL::fVirt.
inline constexpr BYTE kCtrl = FCONTROL, kShift = FSHIFT, kAlt = FALT;

class TMenuBase;

class TMenuItem {
public:
    TMenuItem(const TMenuItem&) = delete;
    TMenuItem& operator=(const TMenuItem&) = delete;
    ~TMenuItem();

    // Appends a child item; a shortcut is a virtual key with modifiers (0 for none).
    TMenuItem& Add(std::string_view caption, WORD key = 0, BYTE modifiers = 0);
    void AddSeparator();
    size_t Count() const noexcept { return children_.size(); }
    TMenuItem& operator[](size_t i) { return *children_.at(i); }

    UINT Command() const noexcept { return command_; }
    HMENU SubMenu() const noexcept { return subMenu_; }
    const std::string& Caption() const noexcept { return caption_; }
    void SetCaption(std::string_view caption);
    bool Checked() const noexcept { return checked_; }
    void SetChecked(bool checked);
    bool Enabled() const noexcept { return enabled_; }
    void SetEnabled(bool enabled);
    // A hidden item is not in its menu; its state, shortcut and click stay. Shown again, it takes its place
    // before the next shown item that was added after it.
    bool Visible() const noexcept { return visible_; }
    void SetVisible(bool visible);
    WORD ShortcutKey() const noexcept { return key_; }
    BYTE ShortcutModifiers() const noexcept { return modifiers_; }

    void Click() {
        if (OnClick) OnClick();
    }
    std::function<void()> OnClick;

    // Looks an item up by command id or sub-menu handle in the whole process.
    static TMenuItem* FromCommand(UINT command);
    static TMenuItem* FromSubMenu(HMENU menu);
    // Collects the shortcuts of this item and its children.
    void CollectShortcuts(std::vector<ACCEL>& out) const;
    bool MatchesShortcut(WORD key, BYTE modifiers) const noexcept;
    TMenuItem* FindShortcut(WORD key, BYTE modifiers);

private:
    friend class TMenuBase;
    TMenuItem(HMENU parent, std::string_view caption, WORD key, BYTE modifiers, TMenuBase* bar = nullptr);
    void EnsureSubMenu();
    void UpdateState();
    // An item of a menu bar is drawn by its window: a change shows only after the bar is drawn again.
    void RedrawBar() const;
    std::wstring DisplayText() const;

    HMENU parent_;
    TMenuBase* bar_;              // the menu that holds this item at its top level
    TMenuItem* owner_ = nullptr;  // the item whose sub-menu holds this one
    HMENU subMenu_ = nullptr;
    UINT command_;
    std::string caption_;
    WORD key_;
    BYTE modifiers_;
    bool checked_ = false;
    bool enabled_ = true;
    bool visible_ = true;
    std::vector<std::unique_ptr<TMenuItem>> children_;
};

class TMenuBase {
public:
    TMenuBase(const TMenuBase&) = delete;
    TMenuBase& operator=(const TMenuBase&) = delete;
    virtual ~TMenuBase();
    HMENU Handle() const noexcept { return menu_; }
    TMenuItem& Add(std::string_view caption, WORD key = 0, BYTE modifiers = 0);
    void AddSeparator();
    size_t Count() const noexcept { return items_.size(); }
    TMenuItem& operator[](size_t i) { return *items_.at(i); }
    void CollectShortcuts(std::vector<ACCEL>& out) const;
    TMenuItem* FindShortcut(WORD key, BYTE modifiers);
    // The window that shows this menu as its bar; nullptr for a pop-up menu or a bar not attached.
    HWND Window() const noexcept { return window_; }

protected:
    friend class TMenuItem;
    explicit TMenuBase(HMENU menu) : menu_(menu) {}
    HMENU menu_;
    HWND window_ = nullptr;
    bool owned_ = true;
    std::vector<std::unique_ptr<TMenuItem>> items_;
};

// A menu bar; TForm::SetMenu attaches it (the window then owns the handle).
class TMainMenu : public TMenuBase {
public:
    TMainMenu();
    void Attached(HWND window) noexcept {
        owned_ = false;
        window_ = window;
    }
    void Detached() noexcept {
        owned_ = true;
        window_ = nullptr;
    }
};

class TPopupMenu : public TMenuBase {
public:
    TPopupMenu();
    // Shows the menu at a screen point and runs the chosen item's click; returns the item or nullptr.
    TMenuItem* Popup(HWND owner, int x, int y);
    std::function<void()> OnPopup;
};

}  // namespace platform
