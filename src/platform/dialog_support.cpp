// Border styles, hints and radio groups.
#include "platform/dialog_support.h"

#include <commctrl.h>

#include <map>

#include "platform/form.h"
#include "platform/sjis.h"

namespace platform {

void SetBorderStyle(TForm& form, TFormBorderStyle style) {
    HWND h = form.Handle();
    LONG_PTR s = ::GetWindowLongPtrW(h, GWL_STYLE);
    LONG_PTR ex = ::GetWindowLongPtrW(h, GWL_EXSTYLE);
    if (style == bsSizeable) {
        s |= WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
        ex &= ~static_cast<LONG_PTR>(WS_EX_DLGMODALFRAME);
    } else {
        s &= ~static_cast<LONG_PTR>(WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
        s |= WS_CAPTION | WS_SYSMENU | WS_BORDER;
        if (style == bsDialog) ex |= WS_EX_DLGMODALFRAME;
    }
    ::SetWindowLongPtrW(h, GWL_STYLE, s);
    ::SetWindowLongPtrW(h, GWL_EXSTYLE, ex);
    ::SetWindowPos(h, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void ArrangeInCreationOrder(TForm& form, HWND bottom) {
    std::map<int, HWND> children;  // control ids grow with creation
    for (HWND h = ::GetWindow(form.Handle(), GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT))
        if (h != bottom) children.emplace(::GetDlgCtrlID(h), h);
    HWND previous = HWND_TOP;
    for (auto [id, h] : children) {
        ::SetWindowPos(h, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        previous = h;
    }
    if (bottom) ::SetWindowPos(bottom, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

THint::~THint() {
    if (hwnd_ && ::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
}

void THint::Create(TForm& form) {
    if (hwnd_) return;
    hwnd_ =
        ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, form.Handle(), nullptr,
                          ::GetModuleHandleW(nullptr), nullptr);
    if (hwnd_ && form.Font()) ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(form.Font()), FALSE);
}

void THint::Add(TWinControl& control, std::string_view text) {
    if (!hwnd_) return;
    std::wstring w = SjisToWide(text);
    TTTOOLINFOW info{};
    info.cbSize = sizeof(info);
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = ::GetParent(control.Handle());
    info.uId = reinterpret_cast<UINT_PTR>(control.Handle());
    info.lpszText = w.data();
    ::SendMessageW(hwnd_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

std::string THint::Text(const TWinControl& control) const {
    if (!hwnd_) return {};
    wchar_t buffer[512] = {};
    TTTOOLINFOW info{};
    info.cbSize = sizeof(info);
    info.hwnd = ::GetParent(control.Handle());
    info.uId = reinterpret_cast<UINT_PTR>(control.Handle());
    info.lpszText = buffer;
    ::SendMessageW(hwnd_, TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&info));
    return WideToSjis(buffer);
}

int TRadioGroup::Checked() const {
    for (size_t i = 0; i < buttons_.size(); ++i)
        if (buttons_[i]->Checked()) return static_cast<int>(i);
    return -1;
}

void TRadioGroup::SetChecked(int index) {
    // Set each button's state directly: the group may hold hidden buttons, which the dialog-group walk of a
    // single radio button skips.
    for (size_t i = 0; i < buttons_.size(); ++i) {
        TRadioButton* b = buttons_[i];
        const bool checked = static_cast<int>(i) == index;
        if (b->Checked() == checked) continue;
        ::SendMessageW(b->Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
        if (checked && b->OnClick) b->OnClick();
    }
    if (!buttons_.empty()) TRadioButton::FixGroupTabStop(buttons_.front()->Handle());
}

}  // namespace platform
