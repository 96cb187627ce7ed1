// Menus over HMENU handles. Command ids are handed out process-wide, and every live item is listed so that
// a form can find the item of a WM_COMMAND or WM_INITMENUPOPUP.
#include "platform/menus.h"

#include <algorithm>

#include "platform/sjis.h"

namespace platform {

namespace {
constexpr UINT kFirstCommand = 0x8000;
UINT g_nextCommand = kFirstCommand;
std::vector<TMenuItem*>& LiveItems() {
    static std::vector<TMenuItem*> items;
    return items;
}

std::wstring KeyName(WORD key) {
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))
        return std::wstring(1, static_cast<wchar_t>(key));
    if (key >= VK_F1 && key <= VK_F12) return L"F" + std::to_wstring(key - VK_F1 + 1);
    switch (key) {
        case VK_DELETE: return L"Del";
        case VK_INSERT: return L"Ins";
        case VK_RETURN: return L"Enter";
        case VK_ESCAPE: return L"Esc";
        default: return {};
    }
}
}  // namespace

TMenuItem::TMenuItem(HMENU parent, std::string_view caption, WORD key, BYTE modifiers, TMenuBase* bar)
    : parent_(parent),
      bar_(bar),
      command_(g_nextCommand++),
      caption_(caption),
      key_(key),
      modifiers_(modifiers) {
    if (g_nextCommand >= 0xF000) g_nextCommand = kFirstCommand;
    LiveItems().push_back(this);
}

TMenuItem::~TMenuItem() {
    children_.clear();
    std::erase(LiveItems(), this);
}

std::wstring TMenuItem::DisplayText() const {
    std::wstring text = SjisToWide(caption_);
    if (key_) {
        std::wstring shortcut;
        if (modifiers_ & kCtrl) shortcut += L"Ctrl+";
        if (modifiers_ & kShift) shortcut += L"Shift+";
        if (modifiers_ & kAlt) shortcut += L"Alt+";
        text += L"\t" + shortcut + KeyName(key_);
    }
    return text;
}

void TMenuItem::EnsureSubMenu() {
    if (subMenu_) return;
    subMenu_ = ::CreatePopupMenu();
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_SUBMENU;
    info.hSubMenu = subMenu_;
    ::SetMenuItemInfoW(parent_, command_, FALSE, &info);
}

TMenuItem& TMenuItem::Add(std::string_view caption, WORD key, BYTE modifiers) {
    EnsureSubMenu();
    children_.push_back(std::unique_ptr<TMenuItem>(new TMenuItem(subMenu_, caption, key, modifiers)));
    TMenuItem& item = *children_.back();
    item.owner_ = this;
    std::wstring text = item.DisplayText();
    ::AppendMenuW(subMenu_, MF_STRING, item.command_, text.c_str());
    return item;
}

void TMenuItem::AddSeparator() {
    EnsureSubMenu();
    ::AppendMenuW(subMenu_, MF_SEPARATOR, 0, nullptr);
}

void TMenuItem::UpdateState() {
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STATE;
    info.fState = (checked_ ? MFS_CHECKED : MFS_UNCHECKED) | (enabled_ ? MFS_ENABLED : MFS_DISABLED);
    ::SetMenuItemInfoW(parent_, command_, FALSE, &info);
    RedrawBar();
}

void TMenuItem::RedrawBar() const {
    if (bar_ && bar_->window_ && visible_) ::DrawMenuBar(bar_->window_);
}

void TMenuItem::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    if (!visible) {
        // Takes the item out without destroying its sub-menu.
        ::RemoveMenu(parent_, command_, MF_BYCOMMAND);
    } else {
        const auto& siblings = owner_ ? owner_->children_ : bar_->items_;
        UINT before = 0;
        bool seen = false;
        for (const auto& s : siblings) {
            if (s.get() == this) {
                seen = true;
            } else if (seen && s->visible_) {
                before = s->command_;
                break;
            }
        }
        std::wstring text = DisplayText();
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_STRING | MIIM_STATE | (subMenu_ ? MIIM_SUBMENU : 0);
        info.wID = command_;
        info.dwTypeData = text.data();
        info.fState = (checked_ ? MFS_CHECKED : MFS_UNCHECKED) | (enabled_ ? MFS_ENABLED : MFS_DISABLED);
        info.hSubMenu = subMenu_;
        if (before) {
            ::InsertMenuItemW(parent_, before, FALSE, &info);
        } else {
            ::InsertMenuItemW(parent_, ::GetMenuItemCount(parent_), TRUE, &info);
        }
    }
    if (bar_ && bar_->window_) ::DrawMenuBar(bar_->window_);
}

void TMenuItem::SetCaption(std::string_view caption) {
    caption_ = caption;
    std::wstring text = DisplayText();
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STRING;
    info.dwTypeData = text.data();
    ::SetMenuItemInfoW(parent_, command_, FALSE, &info);
    RedrawBar();
}

void TMenuItem::SetChecked(bool checked) {
    checked_ = checked;
    UpdateState();
}

void TMenuItem::SetEnabled(bool enabled) {
    enabled_ = enabled;
    UpdateState();
}

TMenuItem* TMenuItem::FromCommand(UINT command) {
    for (TMenuItem* item : LiveItems())
        if (item->command_ == command) return item;
    return nullptr;
}

TMenuItem* TMenuItem::FromSubMenu(HMENU menu) {
    if (!menu) return nullptr;
    for (TMenuItem* item : LiveItems())
        if (item->subMenu_ == menu) return item;
    return nullptr;
}

void TMenuItem::CollectShortcuts(std::vector<ACCEL>& out) const {
    if (key_)
        out.push_back(ACCEL{static_cast<BYTE>(FVIRTKEY | modifiers_), key_, static_cast<WORD>(command_)});
    for (const auto& child : children_) child->CollectShortcuts(out);
}

bool TMenuItem::MatchesShortcut(WORD key, BYTE modifiers) const noexcept {
    return key_ != 0 && key_ == key && modifiers_ == modifiers;
}

TMenuItem* TMenuItem::FindShortcut(WORD key, BYTE modifiers) {
    if (MatchesShortcut(key, modifiers)) return this;
    for (auto& child : children_)
        if (TMenuItem* found = child->FindShortcut(key, modifiers)) return found;
    return nullptr;
}

TMenuBase::~TMenuBase() {
    items_.clear();
    if (owned_ && menu_) ::DestroyMenu(menu_);
}

TMenuItem& TMenuBase::Add(std::string_view caption, WORD key, BYTE modifiers) {
    items_.push_back(std::unique_ptr<TMenuItem>(new TMenuItem(menu_, caption, key, modifiers, this)));
    TMenuItem& item = *items_.back();
    std::wstring text = item.DisplayText();
    ::AppendMenuW(menu_, MF_STRING, item.Command(), text.c_str());
    return item;
}

void TMenuBase::AddSeparator() { ::AppendMenuW(menu_, MF_SEPARATOR, 0, nullptr); }

void TMenuBase::CollectShortcuts(std::vector<ACCEL>& out) const {
    for (const auto& item : items_) item->CollectShortcuts(out);
}

TMenuItem* TMenuBase::FindShortcut(WORD key, BYTE modifiers) {
    for (auto& item : items_)
        if (TMenuItem* found = item->FindShortcut(key, modifiers)) return found;
    return nullptr;
}

TMainMenu::TMainMenu() : TMenuBase(::CreateMenu()) {}

TPopupMenu::TPopupMenu() : TMenuBase(::CreatePopupMenu()) {}

TMenuItem* TPopupMenu::Popup(HWND owner, int x, int y) {
    if (OnPopup) OnPopup();
    UINT command = static_cast<UINT>(
        ::TrackPopupMenu(menu_, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, x, y, 0, owner, nullptr));
    TMenuItem* item = command ? TMenuItem::FromCommand(command) : nullptr;
    if (item && item->Enabled()) item->Click();
    return item;
}

}  // namespace platform
