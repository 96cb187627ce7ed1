// Forms: window creation, geometry, modal show, close rules and the routing of control and menu messages.
#include "platform/form.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>

#include "platform/application.h"
#include "platform/controls.h"
#include "platform/menus.h"
#include "platform/sjis.h"

namespace platform {

TForm::TForm(std::wstring className) : className_(std::move(className)) {}

TForm::~TForm() {
    // Handlers may refer to members of a derived form that are gone by now.
    OnDestroy = nullptr;
    Destroy();
}

void TForm::Create(HWND owner) {
    if (hwnd_) return;
    Application.Initialize();
    Application.RegisterWindowClass(className_);
    hwnd_ = ::CreateWindowExW(WS_EX_CONTROLPARENT, className_.c_str(), L"",
                              WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT, 400, 300,
                              owner, nullptr, ::GetModuleHandleW(nullptr), this);
    if (!hwnd_) throw std::runtime_error("Cannot create the window");
    Application.AddFormWindow(hwnd_, this);
    if (!font_) SetFont("MS UI Gothic", 9);
    if (OnCreate) OnCreate();
}

void TForm::Destroy() {
    if (!hwnd_) return;
    try {
        if (OnDestroy) OnDestroy();
    } catch (...) {
        Application.HandleException();
    }
    HWND h = hwnd_;
    if (menu_) {
        ::SetMenu(h, nullptr);
        menu_->Detached();
        menu_ = nullptr;
    }
    ForgetWindow();
    ::DestroyWindow(h);
}

void TForm::ForgetWindow() noexcept {
    if (!hwnd_) return;
    HWND h = hwnd_;
    DetachControls();
    Application.RemoveFormWindow(h);
    if (accel_) {
        ::DestroyAcceleratorTable(accel_);
        accel_ = nullptr;
    }
    hwnd_ = nullptr;
    ::SetWindowLongPtrW(h, GWLP_USERDATA, 0);
}

void TForm::DetachControls() {
    for (TWinControl* c : controls_) c->Detach();
    controls_.clear();
    pageControl_ = nullptr;
    savedFocus_ = pendingFocus_ = defaultButton_ = nullptr;
}

std::string TForm::Caption() const {
    int n = ::GetWindowTextLengthW(hwnd_);
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    w.resize(static_cast<size_t>(::GetWindowTextW(hwnd_, w.data(), n + 1)));
    return WideToSjis(w);
}

void TForm::SetCaption(std::string_view caption) { ::SetWindowTextW(hwnd_, SjisToWide(caption).c_str()); }

void TForm::SetFont(std::string_view faceName, int points) {
    HDC dc = ::GetDC(nullptr);
    int height = -::MulDiv(points, ::GetDeviceCaps(dc, LOGPIXELSY), 72);
    ::ReleaseDC(nullptr, dc);
    std::wstring face = SjisToWide(faceName);
    UniqueFont font(::CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                  DEFAULT_PITCH | FF_DONTCARE, face.c_str()));
    if (!font) return;
    for (TWinControl* c : controls_)
        ::SendMessageW(c->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), TRUE);
    font_ = std::move(font);
}

namespace {
RECT WindowRect(HWND h) {
    RECT r{};
    ::GetWindowRect(h, &r);
    return r;
}
RECT ClientRect(HWND h) {
    RECT r{};
    ::GetClientRect(h, &r);
    return r;
}
}  // namespace

int TForm::Left() const { return WindowRect(hwnd_).left; }
int TForm::Top() const { return WindowRect(hwnd_).top; }
int TForm::Width() const {
    RECT r = WindowRect(hwnd_);
    return r.right - r.left;
}
int TForm::Height() const {
    RECT r = WindowRect(hwnd_);
    return r.bottom - r.top;
}
int TForm::ClientWidth() const { return ClientRect(hwnd_).right; }
int TForm::ClientHeight() const { return ClientRect(hwnd_).bottom; }

void TForm::SetBounds(int left, int top, int width, int height) {
    ::SetWindowPos(hwnd_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}
void TForm::SetPosition(int left, int top) {
    ::SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
}
void TForm::SetSize(int width, int height) {
    ::SetWindowPos(hwnd_, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
}
namespace {
SIZE OuterSize(HWND h, int clientWidth, int clientHeight) {
    RECT r{0, 0, clientWidth, clientHeight};
    ::AdjustWindowRectEx(&r, static_cast<DWORD>(::GetWindowLongPtrW(h, GWL_STYLE)), ::GetMenu(h) != nullptr,
                         static_cast<DWORD>(::GetWindowLongPtrW(h, GWL_EXSTYLE)));
    return {r.right - r.left, r.bottom - r.top};
}
}  // namespace

void TForm::SetClientSize(int width, int height) {
    SIZE outer = OuterSize(hwnd_, width, height);
    SetSize(outer.cx, outer.cy);
}

SIZE TForm::MinWindowSize() const {
    if (MinClientWidth <= 0 && MinClientHeight <= 0) return {0, 0};
    return OuterSize(hwnd_, MinClientWidth, MinClientHeight);
}

void TForm::CenterOnOwner() {
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT area = work;
    HWND owner = ::GetWindow(hwnd_, GW_OWNER);
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) area = WindowRect(owner);
    const int w = Width(), h = Height();
    int left = area.left + (area.right - area.left - w) / 2;
    int top = area.top + (area.bottom - area.top - h) / 2;
    // Whole on the work area, the caption bar first: centred on an owner near an edge it would stick out.
    left = std::max(std::min(left, static_cast<int>(work.right) - w), static_cast<int>(work.left));
    top = std::max(std::min(top, static_cast<int>(work.bottom) - h), static_cast<int>(work.top));
    SetPosition(left, top);
}

void TForm::OwnByMainForm() {
    TForm* main = Application.MainForm();
    if (main == this || !main || !main->Handle() || ::GetWindow(hwnd_, GW_OWNER)) return;
    ::SetWindowLongPtrW(hwnd_, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(main->Handle()));
}

void TForm::Show() {
    ::ShowWindow(hwnd_, SW_SHOW);
    // Already active while hidden, the form is not activated again by its showing: the keys go to its control
    // now.
    HWND focus = ::GetFocus();
    if (::GetActiveWindow() == hwnd_ && (pendingFocus_ || !focus || !::IsChild(hwnd_, focus))) RestoreFocus();
    ::UpdateWindow(hwnd_);
}
void TForm::Hide() { ::ShowWindow(hwnd_, SW_HIDE); }
bool TForm::Visible() const { return hwnd_ && ::IsWindowVisible(hwnd_); }
void TForm::BringToFront() { ::SetForegroundWindow(hwnd_); }

void TForm::SetTopMost(bool topMost) {
    ::SetWindowPos(hwnd_, topMost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}
bool TForm::TopMost() const { return (::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }
bool TForm::Minimized() const { return ::IsIconic(hwnd_) != FALSE; }
void TForm::Minimize() { ::ShowWindow(hwnd_, SW_MINIMIZE); }
void TForm::Restore() { ::ShowWindow(hwnd_, SW_RESTORE); }

int TForm::ShowModal() {
    modalResult_ = mrNone;
    modal_ = true;
    // A dialog shown over the program's windows belongs to the main window: it stays above it, is centred on
    // it and goes with it to the task bar.
    OwnByMainForm();
    std::vector<HWND> disabled = Application.DisableTaskWindows(hwnd_);
    Show();
    ::SetForegroundWindow(hwnd_);
    MSG msg;
    while (modalResult_ == mrNone && hwnd_ && ::IsWindowVisible(hwnd_)) {
        BOOL r = ::GetMessageW(&msg, nullptr, 0, 0);
        if (r == 0 || r == -1) {
            // Leave the quit for the outer loop.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            if (modalResult_ == mrNone) modalResult_ = mrCancel;
            break;
        }
        Application.DispatchOne(msg);
    }
    if (modalResult_ == mrNone) modalResult_ = mrCancel;
    // Enable the others first so that activation goes back to them.
    Application.EnableTaskWindows(disabled);
    if (hwnd_) Hide();
    modal_ = false;
    return modalResult_;
}

bool TForm::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(canClose);
    return canClose;
}

void TForm::Close() {
    if (!hwnd_ || !CloseQuery()) return;
    TCloseAction action = caHide;
    if (OnClose) OnClose(action);
    if (action == caNone) return;
    if (modal_) {
        if (modalResult_ == mrNone) modalResult_ = mrCancel;
        return;
    }
    if (action == caMinimize) {
        Minimize();
        return;
    }
    if (Application.MainForm() == this) {
        Hide();
        Application.Terminate();
        return;
    }
    Hide();
}

void TForm::SetActiveControl(TWinControl& control) {
    pendingFocus_ = control.Handle();
    if (hwnd_ && ::GetActiveWindow() == hwnd_) RestoreFocus();
}

bool TForm::Focusable(HWND h) const {
    return h && ::IsWindow(h) && ::IsChild(hwnd_, h) && ::IsWindowVisible(h) && ::IsWindowEnabled(h);
}

void TForm::RestoreFocus() {
    // A hidden form (activated by a frame change, or before its showing is through) has no control to give
    // the keys to yet: the one named stays named for the showing.
    if (!::IsWindowVisible(hwnd_)) return;
    HWND target = nullptr;
    for (HWND h : {pendingFocus_, savedFocus_})
        if (!target && Focusable(h)) target = h;
    pendingFocus_ = nullptr;
    if (!target) target = ::GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    if (Focusable(target)) ::SetFocus(target);
}

bool TForm::HandleFormKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || !pageControl_ || !pageControl_->Handle()) return false;
    const bool ctrl = ::GetKeyState(VK_CONTROL) < 0, shift = ::GetKeyState(VK_SHIFT) < 0;
    if (::GetKeyState(VK_MENU) < 0) return false;
    return pageControl_->HandlePageKey(static_cast<WORD>(msg.wParam), ctrl, shift);
}

void TForm::KeepDefaultButtonLook() {
    const LRESULT def = ::SendMessageW(hwnd_, DM_GETDEFID, 0, 0);
    HWND button = HIWORD(def) == DC_HASDEFID ? ::GetDlgItem(hwnd_, LOWORD(def)) : defaultButton_;
    HWND focus = ::GetFocus();
    if (!button || !focus) return;
    constexpr LRESULT kPushButton = DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON;
    if (::SendMessageW(focus, WM_GETDLGCODE, 0, 0) & kPushButton) return;
    if (::SendMessageW(button, WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON)
        ::SendMessageW(button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

void TForm::SetMenu(TMainMenu* menu) {
    if (menu_) menu_->Detached();
    menu_ = menu;
    ::SetMenu(hwnd_, menu ? menu->Handle() : nullptr);
    if (menu) menu->Attached(hwnd_);
    RebuildAccelerators();
}

void TForm::SetAcceptFiles(bool accept) { ::DragAcceptFiles(hwnd_, accept ? TRUE : FALSE); }

void TForm::RebuildAccelerators() {
    if (accel_) ::DestroyAcceleratorTable(accel_);
    accel_ = nullptr;
    std::vector<ACCEL> table;
    if (menu_) menu_->CollectShortcuts(table);
    if (!table.empty()) accel_ = ::CreateAcceleratorTableW(table.data(), static_cast<int>(table.size()));
}

int TForm::RegisterControl(TWinControl* control) {
    controls_.push_back(control);
    return nextId_++;
}

void TForm::UnregisterControl(TWinControl* control) {
    std::erase(controls_, control);
    if (pageControl_ == control) pageControl_ = nullptr;
}

TWinControl* TForm::ControlFromId(int id) const {
    for (TWinControl* c : controls_)
        if (c->Id() == id) return c;
    return nullptr;
}

TWinControl* TForm::ControlFromWindow(HWND hwnd) const {
    if (!hwnd) return nullptr;
    for (TWinControl* c : controls_)
        if (c->Handle() == hwnd) return c;
    return nullptr;
}

LRESULT TForm::DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(hwnd_, msg, wParam, lParam);
}

LRESULT TForm::HandleCtlColor(UINT msg, WPARAM wParam, LPARAM lParam) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    HWND ctlWnd = reinterpret_cast<HWND>(lParam);
    if (OnCtlColor)
        if (HBRUSH b = OnCtlColor(dc, ctlWnd)) return reinterpret_cast<LRESULT>(b);
    // The edit and list of a combo box ask for the combo's colour.
    TWinControl* ctl = ControlFromWindow(ctlWnd);
    if (!ctl) ctl = ControlFromWindow(::GetParent(ctlWnd));
    if (ctl && ctl->ColorBrush()) {
        ::SetBkColor(dc, ctl->Color());
        return reinterpret_cast<LRESULT>(ctl->ColorBrush());
    }
    return DefaultProc(msg, wParam, lParam);
}

bool TForm::HandleContextMenu(HWND window, POINT screen) {
    if (OnContextMenu) {
        OnContextMenu(window, screen);
        return true;
    }
    const bool fromKeyboard = screen.x == -1 && screen.y == -1;
    TWinControl* ctl = ControlFromWindow(window);
    if (!ctl) ctl = ControlFromWindow(::GetParent(window));
    // A label lets the mouse through to what lies beneath it (the form or a page control), which reports
    // the click: the menu is that of the control drawn at the point.
    if ((!ctl || !ctl->PopupMenu) && !fromKeyboard) ctl = ControlFromWindow(ChildAt(screen));
    if (!ctl || !ctl->PopupMenu) return false;
    if (fromKeyboard) {
        RECT r{};
        ::GetWindowRect(ctl->Handle(), &r);
        screen = {r.left + 8, r.top + 8};
    }
    ctl->PopupMenu->Popup(hwnd_, screen.x, screen.y);
    return true;
}

HWND TForm::ChildAt(POINT screen) const {
    for (HWND h = ::GetWindow(hwnd_, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        if (!::IsWindowVisible(h)) continue;
        // A group box frames the controls inside it and takes no click.
        wchar_t cls[16] = {};
        ::GetClassNameW(h, cls, 16);
        if (_wcsicmp(cls, L"Button") == 0 && (::GetWindowLongPtrW(h, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX)
            continue;
        RECT r = WindowRect(h);
        if (!::PtInRect(&r, screen)) continue;
        // A window with a region (a framed page control) is only where its region is.
        UniqueRegion region(::CreateRectRgn(0, 0, 0, 0));
        if (::GetWindowRgn(h, region.Get()) != ERROR &&
            !::PtInRegion(region.Get(), screen.x - r.left, screen.y - r.top))
            continue;
        return h;
    }
    return nullptr;
}

LRESULT TForm::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (OnMessage) {
        LRESULT result = 0;
        if (OnMessage(msg, wParam, lParam, result)) return result;
    }
    switch (msg) {
        case WM_COMMAND: {
            if (lParam) {
                if (TWinControl* c = ControlFromId(LOWORD(wParam))) c->HandleCommand(HIWORD(wParam));
                return 0;
            }
            if (TMenuItem* item = TMenuItem::FromCommand(LOWORD(wParam))) {
                if (item->Enabled()) item->Click();
                return 0;
            }
            // Escape closes a modal form, as a dialog box does, and a form that asks for it; never the main
            // window.
            if (LOWORD(wParam) == IDCANCEL && (modal_ || (EscapeCloses && Application.MainForm() != this))) {
                Close();
                return 0;
            }
            break;
        }
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (TWinControl* c = ControlFromId(static_cast<int>(header->idFrom)))
                return c->HandleNotify(header);
            break;
        }
        case WM_HSCROLL:
        case WM_VSCROLL:
            // A control's scroll report goes to that control; the form's own scroll bars are not ours.
            if (TWinControl* c = ControlFromWindow(reinterpret_cast<HWND>(lParam))) {
                c->HandleScroll(LOWORD(wParam));
                return 0;
            }
            break;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN: return HandleCtlColor(msg, wParam, lParam);
        case WM_INITMENUPOPUP: {
            HMENU menu = reinterpret_cast<HMENU>(wParam);
            if (TMenuItem* item = TMenuItem::FromSubMenu(menu)) item->Click();
            if (OnMenuPopup) OnMenuPopup(menu);
            return 0;
        }
        case WM_CONTEXTMENU: {
            POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            if (HandleContextMenu(reinterpret_cast<HWND>(wParam), pt)) return 0;
            break;
        }
        case WM_DROPFILES:
            if (OnDropFiles) {
                OnDropFiles(reinterpret_cast<HDROP>(wParam));
            } else {
                ::DragFinish(reinterpret_cast<HDROP>(wParam));
            }
            return 0;
        case WM_QUERYENDSESSION:
            if (OnQueryEndSession) return OnQueryEndSession() ? TRUE : FALSE;
            return CloseQuery() ? TRUE : FALSE;
        case WM_ENDSESSION:
            if (OnEndSession) OnEndSession(wParam != FALSE);
            return 0;
        case WM_CLOSE: Close(); return 0;

        case WM_ACTIVATE:
            // As a dialog box does: the control with the keys is remembered when the form is left and gets
            // them back when it is activated again.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = ::GetFocus();
                if (focus && ::IsChild(hwnd_, focus)) savedFocus_ = focus;
                return 0;
            }
            if (HIWORD(wParam)) break;  // minimised
            RestoreFocus();
            return 0;
        case WM_SETFOCUS:
            RestoreFocus();
            return 0;

        case WM_SHOWWINDOW:
            if (lParam == SW_PARENTOPENING || lParam == SW_PARENTCLOSING) {
                // The owner minimised or restored takes its owned forms along, by a showing or hiding of the
                // system's own nested in this message: no showing of the program's.
                const bool was = shownByOwner_;
                shownByOwner_ = true;
                const LRESULT r = DefaultProc(msg, wParam, lParam);
                shownByOwner_ = was;
                return r;
            }
            if (shownByOwner_) break;
            if (wParam && OnShow) OnShow();
            if (!wParam && OnHide) OnHide();
            break;
        case WM_SIZE:
            for (TWinControl* c : controls_) c->ParentResized();
            if (OnResize) OnResize();
            // Controls moved by a layout leave pictures of their old places behind (header texts, size grips,
            // labels): the form and everything on it are painted again.
            if (wParam != SIZE_MINIMIZED)
                ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
            return 0;
        case WM_GETMINMAXINFO:
            if (MinClientWidth > 0 || MinClientHeight > 0) {
                SIZE minimum = MinWindowSize();
                auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
                info->ptMinTrackSize.x = std::max<LONG>(info->ptMinTrackSize.x, minimum.cx);
                info->ptMinTrackSize.y = std::max<LONG>(info->ptMinTrackSize.y, minimum.cy);
                return 0;
            }
            break;
        default: break;
    }
    return DefaultProc(msg, wParam, lParam);
}

LRESULT CALLBACK TForm::StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<TForm*>(cs->lpCreateParams);
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TForm*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || self->hwnd_ != hwnd) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        // Destroyed from outside (an owner's destruction, DestroyWindow by someone else): the window took its
        // menu and child windows with it, so the form and its controls let go of every handle.
        if (self->menu_) self->menu_ = nullptr;
        self->ForgetWindow();
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    try {
        return self->WndProc(msg, wParam, lParam);
    } catch (...) {
        Application.HandleException();
        return 0;
    }
}

}  // namespace platform
