// Fakes of the engine's seams.
#include "engine/engine_fakes.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "platform/sjis.h"

namespace enginetest {

int FakeUi::Ask(const std::string& text, const std::string& caption, UINT flags) {
    questions.push_back({text, caption, flags});
    if (answers.empty()) {
        if ((flags & MB_TYPEMASK) == MB_OK) return IDOK;
        ADD_FAILURE() << "a question the test did not answer: " << platform::SjisToUtf8(caption) << ": "
                      << platform::SjisToUtf8(text);
        return 0;
    }
    int a = answers.front();
    answers.pop_front();
    return a;
}

bool FakeUi::Logged(const std::string& line) const {
    return std::find(log.begin(), log.end(), line) != log.end();
}

std::string FakeUi::LogText() const {
    std::string out;
    for (const std::string& l : log) out += platform::SjisToUtf8(l) + "\n";
    return out;
}

void DirectMainThread::Post(std::function<void()> fn) {
    std::lock_guard<std::mutex> lock(mutex_);
    posted_.push_back(std::move(fn));
}

int DirectMainThread::RunPosted() {
    std::vector<std::function<void()>> calls;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls.swap(posted_);
    }
    for (auto& fn : calls) fn();
    return static_cast<int>(calls.size());
}

PumpedMainThread::PumpedMainThread()
    : mainId_(::GetCurrentThreadId()), wake_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

PumpedMainThread::~PumpedMainThread() { ::CloseHandle(wake_); }

void PumpedMainThread::Invoke(const std::function<void()>& fn) {
    if (::GetCurrentThreadId() == mainId_) {
        fn();
        return;
    }
    Call call{fn, ::CreateEventW(nullptr, TRUE, FALSE, nullptr), nullptr};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++invokes;
        calls_.push_back(&call);
    }
    ::SetEvent(wake_);
    ::WaitForSingleObject(call.done, INFINITE);
    ::CloseHandle(call.done);
    if (call.error) std::rethrow_exception(call.error);
}

void PumpedMainThread::Post(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++posts;
        calls_.push_back(new Call{std::move(fn), nullptr, nullptr});
    }
    ::SetEvent(wake_);
}

void PumpedMainThread::PostLater(unsigned delayMs, std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++posts;
        later_.push_back({::GetTickCount() + delayMs, std::move(fn)});
    }
    ::SetEvent(wake_);
}

DWORD PumpedMainThread::RunDue() {
    for (;;) {
        std::function<void()> fn;
        DWORD wait = INFINITE;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const DWORD now = ::GetTickCount();
            for (size_t i = 0; i < later_.size(); ++i) {
                const int left = static_cast<int>(later_[i].due - now);
                if (left <= 0) {
                    fn = std::move(later_[i].fn);
                    later_.erase(later_.begin() + static_cast<std::ptrdiff_t>(i));
                    break;
                }
                wait = std::min<DWORD>(wait, static_cast<DWORD>(left));
            }
        }
        if (!fn) return wait;
        fn();
    }
}

bool PumpedMainThread::Pump(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        for (;;) {
            Call* call = nullptr;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (calls_.empty()) break;
                call = calls_.front();
                calls_.pop_front();
            }
            try {
                call->fn();
            } catch (...) {
                call->error = std::current_exception();
            }
            if (call->done)
                ::SetEvent(call->done);
            else
                delete call;
        }
        const DWORD nextDue = RunDue();
        if (done()) return true;
        DWORD spent = ::GetTickCount() - start;
        if (spent >= timeoutMs) return false;
        DWORD r =
            ::MsgWaitForMultipleObjects(1, &wake_, FALSE, std::min(nextDue, timeoutMs - spent), QS_ALLINPUT);
        if (r == WAIT_OBJECT_0 + 1) {
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
    }
}

bool RecordingShell::DeleteFile(const std::string& path) {
    calls.push_back("delete " + path);
    if (fail) return false;
    if (deleteKeepsFile) return true;
    return TWin32ShellOps::DeleteFile(path);
}
int RecordingShell::Recycle(const std::string& path, UINT flags) {
    calls.push_back("recycle " + path);
    if (fail) return -1;
    lastRecycled_ = path;
    if (recycleDeletesForGood) return ::DeleteFileW(platform::SjisToWide(path).c_str()) ? 0 : -1;
    return TWin32ShellOps::Recycle(path, flags);
}
long long RecordingShell::RecycleBinItems(const std::string& path) {
    if (nameTakenAfterRecycle && !lastRecycled_.empty()) {
        testsupport::WriteFileBytes(platform::SjisToWide(lastRecycled_), "another program's");
        lastRecycled_.clear();
    }
    return noRecycleBin ? -1 : TWin32ShellOps::RecycleBinItems(path);
}
int RecordingShell::Move(const std::string& source, const std::string& target, UINT flags) {
    calls.push_back("move " + source);
    moveFlags.push_back(flags);
    if (fail) return -1;
    if (moveMode == kMoves) return TWin32ShellOps::Move(source, target, flags);
    const std::wstring from = platform::SjisToWide(source);
    std::wstring to = platform::SjisToWide(target);
    if (to.back() != L'\\') to += L'\\';
    to += from.substr(from.rfind(L'\\') + 1);
    const std::string bytes = testsupport::ReadFileBytes(from).value_or(std::string());
    if (moveMode == kPartial || moveMode == kLostPartial)
        testsupport::WriteFileBytes(to, bytes.substr(0, bytes.size() / 2));
    if (moveMode == kOtherTime) {
        testsupport::WriteFileBytes(to, bytes);
        WIN32_FILE_ATTRIBUTE_DATA a{};
        ::GetFileAttributesExW(from.c_str(), GetFileExInfoStandard, &a);
        a.ftLastWriteTime.dwHighDateTime += 1;  // some minutes later
        HANDLE h = ::CreateFileW(to.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 0, nullptr);
        ::SetFileTime(h, nullptr, nullptr, &a.ftLastWriteTime);
        ::CloseHandle(h);
    }
    if (moveMode != kPartial) ::DeleteFileW(from.c_str());
    return moveMode == kPartial ? ERROR_DISK_FULL : 0;
}
bool RecordingShell::HardLink(const std::string& existing, const std::string& link) {
    if (main && main->invoking) ++hardLinksOnMainThread;
    return !noHardLinks && TWin32ShellOps::HardLink(existing, link);
}
int RecordingShell::Rename(const std::string& from, const std::string& to, UINT flags) {
    calls.push_back("rename " + from);
    if (fail) return -1;
    return TWin32ShellOps::Rename(from, to, flags);
}
int RecordingShell::DeleteTree(const std::string& path, UINT flags) {
    calls.push_back("deletetree " + path);
    if (fail) return -1;
    return TWin32ShellOps::DeleteTree(path, flags);
}

namespace {

class HookedArchive : public velmor::IJobArchive {
public:
    HookedArchive(std::unique_ptr<velmor::IJobArchive> inner, std::function<void(int, int)> hook,
                  std::shared_ptr<int> counter, std::function<void()> onCheck)
        : inner_(std::move(inner)),
          hook_(std::move(hook)),
          counter_(std::move(counter)),
          onCheck_(std::move(onCheck)) {}
    void SetFileName(const std::string& name) override { inner_->SetFileName(name); }
    const std::string& FileName() const override { return inner_->FileName(); }
    void SetArchiverType(TArchiverType type) override { inner_->SetArchiverType(type); }
    void SetOutputSize(int size) override { inner_->SetOutputSize(size); }
    TArchiverOptions& Options() override { return inner_->Options(); }
    void SetOnProgress(ProgressHandler handler) override {
        inner_->SetOnProgress([this, handler](int state, LPEXTRACTINGINFOEX info, bool& abort) {
            hook_(++*counter_, state);
            if (handler) handler(state, info, abort);
        });
    }
    int CheckArchive(int mode, int extraMode) override {
        if (onCheck_) onCheck_();
        return inner_->CheckArchive(mode, extraMode);
    }
    int Extract(HWND wnd, const std::string& dest, const std::string& extra, const TFileItems& files) override {
        return inner_->Extract(wnd, dest, extra, files);
    }
    int Pack(HWND wnd, const std::string& base, const TFileItems& files) override {
        return inner_->Pack(wnd, base, files);
    }
    int MakeSfx(HWND wnd, const std::string& folder) override { return inner_->MakeSfx(wnd, folder); }
    int OpenArchive(HWND wnd, DWORD mode) override { return inner_->OpenArchive(wnd, mode); }
    int FindFirst(const std::string& wild, TArchiveMemberInfo& info) override {
        return inner_->FindFirst(wild, info);
    }
    int FindNext(TArchiveMemberInfo& info) override { return inner_->FindNext(info); }
    int CloseArchive() override { return inner_->CloseArchive(); }
    DWORD GetArcOriginalSize() override { return inner_->GetArcOriginalSize(); }

private:
    std::unique_ptr<velmor::IJobArchive> inner_;
    std::function<void(int, int)> hook_;
    std::shared_ptr<int> counter_;
    std::function<void()> onCheck_;
};

class ScriptedArchive : public velmor::IJobArchive {
public:
    ScriptedArchive(ScriptedArchiveSpec spec, std::vector<uint32_t> partialWrites)
        : spec_(std::move(spec)), partialWrites_(std::move(partialWrites)) {}
    void SetFileName(const std::string& name) override { name_ = name; }
    const std::string& FileName() const override { return name_; }
    void SetArchiverType(TArchiverType) override {}
    void SetOutputSize(int) override {}
    TArchiverOptions& Options() override { return options_; }
    void SetOnProgress(ProgressHandler handler) override { progress_ = std::move(handler); }
    int CheckArchive(int, int) override { return 1; }
    int Extract(HWND, const std::string& dest, const std::string&, const TFileItems&) override {
        if (spec_.throwOnExtract) throw std::runtime_error("scripted extraction failure");
        for (const auto& [name, size] : spec_.members) {
            EXTRACTINGINFOEX info{};
            info.FileSize = size;
            snprintf(info.SourceFileName, sizeof(info.SourceFileName), "%s", name.c_str());
            bool abort = false;
            if (progress_) progress_(1, &info, abort);
            if (abort && !spec_.ignoreAbort) return 0x8020;
            for (uint32_t written : partialWrites_) {
                info.WriteSize = written;
                if (progress_) progress_(1, &info, abort);
            }
            const bool folder = !name.empty() && name.back() == '/';
            const size_t slash = name.rfind('/');
            const bool junk = options_.UserOptions.find("-j") != std::string::npos && !folder;
            std::string path = dest + (junk && slash != std::string::npos ? name.substr(slash + 1) : name);
            for (char& c : path)
                if (c == '/') c = '\\';
            auto override = spec_.written.find(name);
            const long long bytes = override == spec_.written.end() ? size : override->second;
            if (bytes >= 0 && folder)
                ::SHCreateDirectoryExW(nullptr, platform::SjisToWide(path).c_str(), nullptr);
            else if (bytes >= 0)
                testsupport::WriteFileMakingFolders(platform::SjisToWide(path),
                                                    std::string(static_cast<size_t>(bytes), 'd'));
            info.WriteSize = size;
            if (progress_) progress_(1, &info, abort);
        }
        if (spec_.afterExtract) spec_.afterExtract(dest);
        return spec_.result;
    }
    int Pack(HWND, const std::string&, const TFileItems&) override { return spec_.result; }
    int MakeSfx(HWND, const std::string&) override { return 0; }
    int OpenArchive(HWND, DWORD) override {
        if (spec_.throwOnOpen) throw std::runtime_error("scripted open failure");
        return 0;
    }
    int FindFirst(const std::string&, TArchiveMemberInfo& info) override {
        next_ = 0;
        return FindNext(info);
    }
    int FindNext(TArchiveMemberInfo& info) override {
        if (next_ >= spec_.members.size()) return -1;
        info = TArchiveMemberInfo{};
        const auto& [name, size] = spec_.members[next_++];
        snprintf(info.FileName, sizeof(info.FileName), "%s", name.c_str());
        info.OriginalSize = size;
        info.OriginalSize64 = size;
        // The CRC-32 of what Extract writes, as a ZIP library lists it.
        if (!name.empty() && name.back() != '/')
            info.Crc = velmor::Crc32(std::string(size, 'd').data(), size);
        return 0;
    }
    int CloseArchive() override { return 0; }
    DWORD GetArcOriginalSize() override {
        DWORD total = 0;
        for (const auto& m : spec_.members) total += m.second;
        return total;
    }

private:
    ScriptedArchiveSpec spec_;
    std::vector<uint32_t> partialWrites_;
    std::string name_;
    TArchiverOptions options_;
    ProgressHandler progress_;
    size_t next_ = 0;
};

}  // namespace

velmor::TArchiveFactory ScriptedArchiveFactory(ScriptedArchiveSpec spec, std::vector<uint32_t> partialWrites) {
    return [spec, partialWrites] {
        return std::unique_ptr<velmor::IJobArchive>(std::make_unique<ScriptedArchive>(spec, partialWrites));
    };
}

velmor::TArchiveFactory HookedArchiveFactory(std::function<void(int report, int state)> hook,
                                             velmor::TArchiveFactory inner, std::function<void()> onCheck) {
    auto counter = std::make_shared<int>(0);
    return [hook, counter, inner, onCheck] {
        return std::unique_ptr<velmor::IJobArchive>(
            std::make_unique<HookedArchive>(inner(), hook, counter, onCheck));
    };
}

const std::vector<testsupport::FixtureMember> kFlat = {{"x.txt", "x"}, {"y.txt", "y"}};
const std::vector<testsupport::FixtureMember> kTree = {{"top/a.txt", "alpha"}, {"top/sub/b.txt", "beta"}};

void RunJob(JobWorld& w, velmor::TUnPack& unpack, const std::function<void(velmor::TUnPackThread&)>& before) {
    velmor::TUnPackThread job(w.Context(), unpack);
    if (before) before(job);
    job.Execute();
    velmor::EndJobAfterStop(w.Context(), unpack);
}

std::string ReadText(const std::wstring& path) {
    auto bytes = testsupport::ReadFileBytes(path);
    return bytes ? *bytes : std::string("<missing>");
}

std::wstring RecycleBinFiles() {
    wchar_t unix[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"XDG_DATA_HOME", unix, MAX_PATH)) return {};
    std::wstring path = std::wstring(L"Z:") + unix;
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path + L"\\Trash\\files";
}

JobWorld::JobWorld() {
    // Wine's recycle bin lives in XDG_DATA_HOME, which must exist before the first recycling of the process
    // (Wine looks once): without it no volume has a bin.
    static const bool binReady = [] {
        const std::wstring files = RecycleBinFiles();
        if (files.empty()) return false;
        const std::wstring data = files.substr(0, files.rfind(L'\\', files.rfind(L'\\') - 1));
        return SHCreateDirectoryExW(nullptr, data.c_str(), nullptr) == ERROR_SUCCESS;
    }();
    (void)binReady;
    SetDllDirectoryW(testsupport::StandinFolder(L"full").c_str());
    ini.BuffMegaSize = 15;
    ini.BindNum = 2;
    ini.PreTestMode = 0;
    state.JobWord = "解凍";
    state.Status = jsStarted;
    state.LhaReady = state.ZipReady = state.CabReady = state.RarReady = state.TarReady = 1;
}

JobWorld::~JobWorld() { SetDllDirectoryW(nullptr); }

}  // namespace enginetest
