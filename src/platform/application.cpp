// The application object and its hidden message-only window, which serves synchronous calls from worker
// threads and the timers. Message-only windows need no display, so workers can synchronise anywhere.
#include "platform/application.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/controls.h"
#include "platform/form.h"
#include "platform/menus.h"
#include "platform/sjis.h"

namespace platform {

TApplication Application;

namespace {
constexpr wchar_t kHiddenClass[] = L"TApplicationHidden";

struct SyncRequest {
    const std::function<void()>* fn;
    std::exception_ptr error;
    bool ran = false;
};

std::string MessageOf(std::exception_ptr e) {
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& ex) {
        return ex.what();
    } catch (...) {
        return "Unknown error";
    }
}

bool IsFault(DWORD code) {
    switch (code) {
        case EXCEPTION_ACCESS_VIOLATION:
        case EXCEPTION_IN_PAGE_ERROR:
        case EXCEPTION_ILLEGAL_INSTRUCTION:
        case EXCEPTION_PRIV_INSTRUCTION:
        case EXCEPTION_INT_DIVIDE_BY_ZERO:
        case EXCEPTION_INT_OVERFLOW:
        case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
        case EXCEPTION_DATATYPE_MISALIGNMENT:
        case EXCEPTION_STACK_OVERFLOW: return true;
        default: return false;
    }
}

HMODULE ModuleAt(const void* address) {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         static_cast<LPCWSTR>(address), &module);
    return module;
}

// The system answers a message sent from another thread, and calls a timer, inside a handler of its own that
// swallows a fault: a synchronous call that faulted would come back as if it had run, and the program would
// go on with half its work done. A fault in this program's own code ends the process instead, with a line on
// standard error, as an unhandled one does anywhere else. Faults in other modules are theirs to handle.
LONG CALLBACK EndOnOwnFault(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD& record = *info->ExceptionRecord;
    static const HMODULE own = ModuleAt(reinterpret_cast<const void*>(&EndOnOwnFault));
    if (!IsFault(record.ExceptionCode) || !own || ModuleAt(record.ExceptionAddress) != own)
        return EXCEPTION_CONTINUE_SEARCH;
    char line[128];
    const int n = wsprintfA(line, "Unhandled exception %08lx in the program's own code at %p (thread %lu)\r\n",
                            record.ExceptionCode, record.ExceptionAddress, ::GetCurrentThreadId());
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(n), &written, nullptr);
    ::TerminateProcess(::GetCurrentProcess(), record.ExceptionCode);
    return EXCEPTION_CONTINUE_SEARCH;
}

BYTE CurrentModifiers() {
    BYTE m = 0;
    if (::GetKeyState(VK_CONTROL) < 0) m |= kCtrl;
    if (::GetKeyState(VK_SHIFT) < 0) m |= kShift;
    if (::GetKeyState(VK_MENU) < 0) m |= kAlt;
    return m;
}
}  // namespace

TApplication::~TApplication() {
    // The windows are gone with the process at this point; only forget them.
    for (auto& f : forms_) (void)f.release();
}

void TApplication::Initialize() {
    if (hiddenWindow_) return;
    mainThreadId_ = ::GetCurrentThreadId();
    ::AddVectoredExceptionHandler(1, EndOnOwnFault);
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES |
                                              ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = HiddenWndProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kHiddenClass;
    ::RegisterClassExW(&wc);
    hiddenWindow_ =
        ::CreateWindowExW(0, kHiddenClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

bool TApplication::RegisterWindowClass(const std::wstring& className) {
    HINSTANCE inst = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (::GetClassInfoExW(inst, className.c_str(), &existing)) return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = TForm::StaticWndProc;
    wc.hInstance = inst;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = ::LoadIconW(inst, MAKEINTRESOURCEW(1));
    if (!wc.hIcon) wc.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = className.c_str();
    return ::RegisterClassExW(&wc) != 0;
}

bool TApplication::HelpCommand(UINT command, ULONG_PTR data) {
    if (helpFile_.empty() && command != HELP_QUIT) return false;
    HWND owner = mainForm_ ? mainForm_->Handle() : hiddenWindow_;
    return ::WinHelpW(owner, SjisToWide(helpFile_).c_str(), command, data) != FALSE;
}

void TApplication::AdoptForm(std::unique_ptr<TForm> form) {
    TForm* f = form.get();
    forms_.push_back(std::move(form));
    if (!mainForm_) mainForm_ = f;
    f->Create();
}

void TApplication::DestroyForms() {
    while (!forms_.empty()) {
        std::unique_ptr<TForm> f = std::move(forms_.back());
        forms_.pop_back();
        if (f.get() == mainForm_) mainForm_ = nullptr;
        f->Destroy();
    }
}

void TApplication::Run() {
    if (mainForm_ && ShowMainForm) mainForm_->Show();
    // Under Wine the desktop is a program (explorer /desktop). When it ends, every window leaves the screen
    // while it still exists for its program, which would run on unseen, holding its single-instance mutex.
    // A timer notices the desktop window losing the thread that served it.
    desktopServed_ = false;
    watchTimer_ = ::SetTimer(nullptr, 0, 1000, &TApplication::WatchTimerProc);
    MSG msg;
    while (!terminated_) {
        BOOL r = ::GetMessageW(&msg, nullptr, 0, 0);
        if (r == 0 || r == -1) break;
        DispatchOne(msg);
    }
    terminated_ = true;
    if (watchTimer_) ::KillTimer(nullptr, watchTimer_);
    watchTimer_ = 0;
    DestroyForms();
}

void CALLBACK TApplication::WatchTimerProc(HWND, UINT, UINT_PTR, DWORD) {
    try {
        Application.WatchDesktop();
    } catch (...) {
        Application.HandleException();
    }
}

void TApplication::WatchDesktop() {
    if (terminated_) return;
    // A desktop that starts late (the first program of a Wine session starts it) is served from then on.
    const bool served = ::GetWindowThreadProcessId(::GetDesktopWindow(), nullptr) != 0;
    if (served || !desktopServed_) {
        desktopServed_ = desktopServed_ || served;
        return;
    }
    if (watchTimer_) ::KillTimer(nullptr, watchTimer_);
    watchTimer_ = 0;
    if (mainForm_ && mainForm_->OnDesktopLost) {
        mainForm_->OnDesktopLost();
    } else {
        Terminate();
    }
}

void TApplication::DispatchOne(MSG& msg) {
    if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
        // A pop-up menu's shortcut works while the control that shows the menu has the focus itself. A key
        // typed into a text field edits the text, also in the edit part of a combo box that carries a menu.
        HWND focus = ::GetFocus();
        HWND root = focus ? ::GetAncestor(focus, GA_ROOT) : nullptr;
        TForm* form = FormFromWindow(root);
        if (form && !(::SendMessageW(focus, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)) {
            TWinControl* ctl = form->ControlFromWindow(focus);
            if (ctl && ctl->PopupMenu) {
                if (TMenuItem* item =
                        ctl->PopupMenu->FindShortcut(static_cast<WORD>(msg.wParam), CurrentModifiers())) {
                    if (item->Enabled()) {
                        try {
                            item->Click();
                        } catch (...) {
                            HandleException();
                        }
                    }
                    return;
                }
            }
        }
    }
    HWND root = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (TForm* form = FormFromWindow(root)) {
        // The page keys first: the dialog keys would take Ctrl+Tab for Tab.
        try {
            if (form->HandleFormKey(msg)) return;
        } catch (...) {
            HandleException();
            return;
        }
        if (form->Accelerators() && ::TranslateAcceleratorW(root, form->Accelerators(), &msg)) return;
        if (::IsDialogMessageW(root, &msg)) {
            if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB) form->KeepDefaultButtonLook();
            return;
        }
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
}

void TApplication::ProcessMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            terminated_ = true;
            break;
        }
        DispatchOne(msg);
    }
}

void TApplication::Terminate() {
    terminated_ = true;
    ::PostQuitMessage(0);
}

int TApplication::MessageBox(HWND owner, std::string_view text, std::string_view caption, UINT flags) {
    if (OnMessageBox) return OnMessageBox(owner, std::string(text), std::string(caption), flags);
    return ::MessageBoxW(owner, SjisToWide(text).c_str(), SjisToWide(caption).c_str(), flags);
}

int TApplication::MessageBox(std::string_view text, std::string_view caption, UINT flags) {
    HWND owner = nullptr;
    if (mainForm_ && mainForm_->Handle() && ::IsWindowVisible(mainForm_->Handle()))
        owner = mainForm_->Handle();
    return MessageBox(owner, text, caption, flags);
}

void TApplication::HandleException() noexcept {
    try {
        std::string message = MessageOf(std::current_exception());
        if (OnException) {
            OnException(message);
        } else {
            MessageBox(message, title_, MB_OK | MB_ICONERROR);
        }
    } catch (...) {
        // Reporting must not fail its caller, a window or thread procedure.
    }
}

namespace {
struct TaskWindows {
    HWND keep;
    std::vector<HWND> disabled;
};

BOOL CALLBACK CollectTaskWindow(HWND hwnd, LPARAM lp) {
    auto* c = reinterpret_cast<TaskWindows*>(lp);
    try {
        if (hwnd != c->keep && ::IsWindowVisible(hwnd) && ::IsWindowEnabled(hwnd))
            c->disabled.push_back(hwnd);
    } catch (...) {
        return FALSE;
    }
    return TRUE;
}
}  // namespace

std::vector<HWND> TApplication::DisableTaskWindows(HWND keep) {
    TaskWindows ctx{keep, {}};
    ::EnumThreadWindows(mainThreadId_ ? mainThreadId_ : ::GetCurrentThreadId(), CollectTaskWindow,
                        reinterpret_cast<LPARAM>(&ctx));
    for (HWND h : ctx.disabled) ::EnableWindow(h, FALSE);
    return ctx.disabled;
}

void TApplication::EnableTaskWindows(const std::vector<HWND>& windows) {
    for (HWND h : windows)
        if (::IsWindow(h)) ::EnableWindow(h, TRUE);
}

void TApplication::Synchronize(const std::function<void()>& fn) {
    if (!hiddenWindow_ || OnMainThread()) {
        fn();
        return;
    }
    SyncRequest request{&fn, nullptr};
    ::SendMessageW(hiddenWindow_, kSyncMessage, 0, reinterpret_cast<LPARAM>(&request));
    if (request.error) std::rethrow_exception(request.error);
    if (!request.ran) throw std::runtime_error("The main thread no longer serves synchronous calls");
}

void TApplication::AddFormWindow(HWND hwnd, TForm* form) { formWindows_.emplace_back(hwnd, form); }

void TApplication::RemoveFormWindow(HWND hwnd) {
    std::erase_if(formWindows_, [hwnd](const auto& p) { return p.first == hwnd; });
}

TForm* TApplication::FormFromWindow(HWND hwnd) const {
    if (!hwnd) return nullptr;
    for (const auto& [h, f] : formWindows_)
        if (h == hwnd) return f;
    return nullptr;
}

void TApplication::StartTimer(TTimer* timer, UINT interval) {
    if (std::find(timers_.begin(), timers_.end(), timer) == timers_.end()) timers_.push_back(timer);
    ::SetTimer(hiddenWindow_, reinterpret_cast<UINT_PTR>(timer), interval, nullptr);
}

void TApplication::StopTimer(TTimer* timer) {
    std::erase(timers_, timer);
    if (hiddenWindow_) ::KillTimer(hiddenWindow_, reinterpret_cast<UINT_PTR>(timer));
}

LRESULT CALLBACK TApplication::HiddenWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kSyncMessage) {
        auto* request = reinterpret_cast<SyncRequest*>(lParam);
        try {
            request->ran = true;
            (*request->fn)();
        } catch (...) {
            request->error = std::current_exception();
        }
        return 0;
    }
    if (msg == WM_TIMER) {
        auto* timer = reinterpret_cast<TTimer*>(wParam);
        auto& timers = Application.timers_;
        if (std::find(timers.begin(), timers.end(), timer) != timers.end()) {
            try {
                timer->Fire();
            } catch (...) {
                Application.HandleException();
            }
        }
        return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace platform
