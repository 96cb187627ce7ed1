// The application object: window classes, the forms it owns, the message loop with accelerators, message
// boxes, task-window disabling around modal work, help, and the hidden window that serves synchronous calls
// from worker threads and the timers. One instance per process, `Application`, used from the main thread.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class TForm;
class TTimer;

// Window classes of our forms are registered under these names; the form's class is its C++ type name.
class TApplication {
public:
    TApplication() = default;
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;
    ~TApplication();

    // Creates the hidden window and loads the common controls; call once on the main thread before anything
    // else of the layer. Later calls do nothing.
    void Initialize();
    bool Initialized() const noexcept { return hiddenWindow_ != nullptr; }
    HWND Handle() const noexcept { return hiddenWindow_; }
    DWORD MainThreadId() const noexcept { return mainThreadId_; }
    bool OnMainThread() const noexcept { return ::GetCurrentThreadId() == mainThreadId_; }

    // Registers a form window class under the given name (idempotent); false when the platform refuses.
    bool RegisterWindowClass(const std::wstring& className);

    const std::string& Title() const noexcept { return title_; }
    void SetTitle(std::string title) { title_ = std::move(title); }
    const std::string& HelpFile() const noexcept { return helpFile_; }
    void SetHelpFile(std::string file) { helpFile_ = std::move(file); }
    // Opens the help file with a WinHelp command (HELP_FINDER, HELP_QUIT...); false when it failed.
    bool HelpCommand(UINT command, ULONG_PTR data = 0);

    // Whether Run shows the main form first.
    bool ShowMainForm = true;

    // Takes ownership of a form; the first form taken is the main form. The form's window is created here.
    template <typename Form, typename... Args>
    Form& CreateForm(Args&&... args) {
        auto form = std::make_unique<Form>(std::forward<Args>(args)...);
        Form& ref = *form;
        AdoptForm(std::move(form));
        return ref;
    }
    TForm* MainForm() const noexcept { return mainForm_; }
    void SetMainForm(TForm* form) noexcept { mainForm_ = form; }
    // Destroys the owned forms, last created first.
    void DestroyForms();

    // Runs the message loop until Terminate or the end of the main form; then destroys the owned forms.
    void Run();
    // Dispatches every pending message of the calling thread and returns.
    void ProcessMessages();
    // Translates and dispatches one message (accelerators, popup shortcuts, dialog navigation).
    void DispatchOne(MSG& msg);
    void Terminate();
    bool Terminated() const noexcept { return terminated_; }

    // A message box; texts are Shift-JIS. Without an owner the active main form owns it. The OnMessageBox
    // hook, when set, answers instead of the platform (tests record the boxes through it).
    int MessageBox(HWND owner, std::string_view text, std::string_view caption, UINT flags);
    int MessageBox(std::string_view text, std::string_view caption, UINT flags);
    std::function<int(HWND owner, const std::string& text, const std::string& caption, UINT flags)>
        OnMessageBox;

    // Reports the exception in flight; call only inside a catch block. OnException, when set, gets the
    // Shift-JIS message; otherwise a message box shows it. Never throws.
    void HandleException() noexcept;
    std::function<void(const std::string& message)> OnException;

    // Disables every enabled, visible top-level window of the main thread except `keep`, and gives them back.
    std::vector<HWND> DisableTaskWindows(HWND keep = nullptr);
    void EnableTaskWindows(const std::vector<HWND>& windows);

    // Runs fn on the main thread while the calling thread waits; what fn throws is rethrown here. On the main
    // thread fn runs at once. Served by every message loop of the main thread, message boxes included.
    void Synchronize(const std::function<void()>& fn);

    // Used by TForm and TTimer.
    void AddFormWindow(HWND hwnd, TForm* form);
    void RemoveFormWindow(HWND hwnd);
    TForm* FormFromWindow(HWND hwnd) const;
    void StartTimer(TTimer* timer, UINT interval);
    void StopTimer(TTimer* timer);

private:
    static LRESULT CALLBACK HiddenWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    // Tells the main form (or ends the loop) once the desktop window has lost the thread that served it.
    void WatchDesktop();
    static void CALLBACK WatchTimerProc(HWND, UINT, UINT_PTR, DWORD);
    void AdoptForm(std::unique_ptr<TForm> form);

    HWND hiddenWindow_ = nullptr;
    DWORD mainThreadId_ = 0;
    std::string title_;
    std::string helpFile_;
    bool terminated_ = false;
    UINT_PTR watchTimer_ = 0;
    bool desktopServed_ = false;
    TForm* mainForm_ = nullptr;
    std::vector<std::unique_ptr<TForm>> forms_;
    std::vector<std::pair<HWND, TForm*>> formWindows_;
    std::vector<TTimer*> timers_;
};

extern TApplication Application;

// Message of the hidden window that carries a synchronous call.
inline constexpr UINT kSyncMessage = WM_APP + 0x101;

}  // namespace platform
