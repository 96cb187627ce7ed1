// The program's side of the engine's seams: Synchronize and a posting window for the main thread, Win32 and
// the shell for file operations, TArchiveFile for archives.
#include "app/engine/job_seams.h"

#include <shellapi.h>

#include "archivers/archive_file.h"
#include "archivers/path_util.h"
#include "platform/application.h"
#include "platform/handle.h"
#include "platform/sjis.h"

namespace velmor {

namespace {

constexpr UINT kPostMessage = WM_APP + 0x51;
constexpr wchar_t kPostWindowClass[] = L"TVelmorJobPost";

std::wstring Wide(const std::string& s) { return platform::SjisToWide(s); }

// A path closed by a double zero, as the shell's file operation takes it.
std::wstring ZeroClosed(const std::string& path) {
    std::wstring w = Wide(path);
    w.push_back(L'\0');
    return w;  // the string's own terminator gives the second zero
}

int ShellOperation(HWND owner, UINT func, const std::string& from, const std::string* to, UINT flags) {
    std::wstring source = ZeroClosed(from);
    std::wstring target = to ? ZeroClosed(*to) : std::wstring();
    SHFILEOPSTRUCTW op{};
    op.hwnd = owner;
    op.wFunc = func;
    op.pFrom = source.c_str();
    op.pTo = to ? target.c_str() : nullptr;
    op.fFlags = static_cast<FILEOP_FLAGS>(flags);
    int result = -1;
    try {
        result = ::SHFileOperationW(&op);
    } catch (...) {
        return -1;
    }
    // A declined question or a source still in place is a failure, whatever the operation answered.
    if (result == 0 && op.fAnyOperationsAborted) return ERROR_CANCELLED;
    if (result == 0 && ::GetFileAttributesW(source.c_str()) != INVALID_FILE_ATTRIBUTES) return -1;
    return result;
}

class TRealJobArchive : public IJobArchive {
public:
    void SetFileName(const std::string& name) override { file_.SetFileName(name); }
    const std::string& FileName() const override { return file_.FileName(); }
    void SetArchiverType(TArchiverType type) override { file_.SetArchiverType(type); }
    void SetOutputSize(int size) override { file_.SetOutputSize(size); }
    TArchiverOptions& Options() override { return file_.Options; }
    void SetOnProgress(ProgressHandler handler) override {
        if (!handler) {
            file_.OnProgress = nullptr;
            return;
        }
        file_.OnProgress = [h = std::move(handler)](TArchiveFile*, int state, LPEXTRACTINGINFOEX info,
                                                    bool& abort) { h(state, info, abort); };
    }
    int CheckArchive(int mode, int extraMode) override { return file_.CheckArchive(mode, extraMode); }
    int Extract(HWND wnd, const std::string& destFolder, const std::string& extra,
                const TFileItems& files) override {
        return file_.Extract(wnd, nullptr, destFolder, extra, files);
    }
    int Pack(HWND wnd, const std::string& baseFolder, const TFileItems& files) override {
        return file_.Pack(wnd, nullptr, baseFolder, files);
    }
    int MakeSfx(HWND wnd, const std::string& folder) override { return file_.MakeSfx(wnd, nullptr, folder); }
    int OpenArchive(HWND wnd, DWORD mode) override { return file_.OpenArchive(wnd, mode); }
    int FindFirst(const std::string& wildName, TArchiveMemberInfo& info) override {
        return file_.FindFirst(wildName, info);
    }
    int FindNext(TArchiveMemberInfo& info) override { return file_.FindNext(info); }
    int CloseArchive() override { return file_.CloseArchive(); }
    DWORD GetArcOriginalSize() override { return file_.GetArcOriginalSize(); }

private:
    TArchiveFile file_;
};

}  // namespace

TApplicationMainThread::TApplicationMainThread() {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = &TApplicationMainThread::WndProc;
    wc.hInstance = instance;
    wc.lpszClassName = kPostWindowClass;
    ::RegisterClassW(&wc);  // fails harmlessly when already registered
    window_ = ::CreateWindowExW(0, kPostWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    if (window_) ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TApplicationMainThread::~TApplicationMainThread() {
    if (!window_) return;
    // Calls still queued are dropped with the window.
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    for (const auto& timer : timers_) ::KillTimer(window_, timer.first);
    ::DestroyWindow(window_);
}

void TApplicationMainThread::Invoke(const std::function<void()>& fn) {
    platform::Application.Synchronize([this, &fn] {
        ++serving_;
        ++running_;
        platform::ScopeExit done([this] {
            --serving_;
            --running_;
        });
        RunPosted();
        fn();
    });
}

void TApplicationMainThread::Post(std::function<void()> fn) {
    if (!window_) return;
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wake = posted_.empty();
        posted_.push_back(std::move(fn));
    }
    if (wake) ::PostMessageW(window_, kPostMessage, 0, 0);
}

void TApplicationMainThread::PostLater(unsigned delayMs, std::function<void()> fn) {
    if (!window_) return;
    // A timer belongs to its window's thread.
    if (!platform::Application.OnMainThread()) {
        Post([this, delayMs, call = std::move(fn)]() mutable { PostLater(delayMs, std::move(call)); });
        return;
    }
    const UINT_PTR id = nextTimer_++;
    if (::SetTimer(window_, id, delayMs, nullptr)) timers_.emplace(id, std::move(fn));
}

void TApplicationMainThread::RunPosted() {
    if (runningPosted_) return;
    runningPosted_ = true;
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (posted_.empty()) break;
            call = std::move(posted_.front());
            posted_.pop_front();
        }
        ++running_;
        try {
            call();
        } catch (...) {
            platform::Application.HandleException();
        }
        --running_;
    }
    runningPosted_ = false;
}

void TApplicationMainThread::RunTimer(UINT_PTR id) {
    ::KillTimer(window_, id);
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    std::function<void()> call = std::move(it->second);
    timers_.erase(it);
    ++running_;
    try {
        call();
    } catch (...) {
        platform::Application.HandleException();
    }
    --running_;
}

LRESULT CALLBACK TApplicationMainThread::WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TApplicationMainThread*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (self && msg == kPostMessage) {
        self->RunPosted();
        return 0;
    }
    if (self && msg == WM_TIMER) {
        self->RunTimer(static_cast<UINT_PTR>(wParam));
        return 0;
    }
    return ::DefWindowProcW(wnd, msg, wParam, lParam);
}

bool TWin32ShellOps::FileExists(const std::string& path) {
    return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool TWin32ShellOps::FolderExists(const std::string& path) { return DirectoryExistsSjis(path); }

bool TWin32ShellOps::CreateFolder(const std::string& path) {
    return ::CreateDirectoryW(Wide(path).c_str(), nullptr) != FALSE;
}

bool TWin32ShellOps::DeleteFile(const std::string& path) {
    // Opened alone: a file that another handle holds would only be marked, and stay until that one closes.
    const std::wstring w = Wide(path);
    platform::UniqueFile file(::CreateFileW(w.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
                                            nullptr));
    if (!file) return false;
    file.Reset();
    return ::GetFileAttributesW(w.c_str()) == INVALID_FILE_ATTRIBUTES;
}

int TWin32ShellOps::Recycle(const std::string& path, UINT flags) {
    return ShellOperation(owner_, FO_DELETE, path, nullptr, flags);
}

long long TWin32ShellOps::RecycleBinItems(const std::string& path) {
    SHQUERYRBINFO info{};
    info.cbSize = sizeof(info);
    if (::SHQueryRecycleBinW(Wide(path).c_str(), &info) != S_OK) return -1;
    return info.i64NumItems;
}

int TWin32ShellOps::Move(const std::string& source, const std::string& targetFolder, UINT flags) {
    return ShellOperation(owner_, FO_MOVE, source, &targetFolder, flags);
}

int TWin32ShellOps::Rename(const std::string& from, const std::string& to, UINT flags) {
    return ShellOperation(owner_, FO_RENAME, from, &to, flags);
}

int TWin32ShellOps::DeleteTree(const std::string& path, UINT flags) {
    return ShellOperation(owner_, FO_DELETE, path, nullptr, flags);
}

bool TWin32ShellOps::HardLink(const std::string& existing, const std::string& link) {
    return ::CreateHardLinkW(Wide(link).c_str(), Wide(existing).c_str(), nullptr) != FALSE;
}

TArchiveFactory RealArchiveFactory() {
    return [] { return std::unique_ptr<IJobArchive>(std::make_unique<TRealJobArchive>()); };
}

}  // namespace velmor
