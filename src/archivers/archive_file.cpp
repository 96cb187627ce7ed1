// The archive component. Exceptions never leave the progress window procedure or the enumeration callback:
// both are called from inside a foreign library.
#include "archivers/archive_file.h"

#include <atomic>
#include <cstring>

#include "archivers/archiver_error.h"
#include "archivers/detect.h"
#include "archivers/ext_strms.h"
#include "archivers/job_state.h"
#include "archivers/pack_list.h"
#include "platform/handle.h"
#include "platform/sjis.h"
#include "platform/thread.h"

namespace {

// Only one enumerating operation runs at a time on a thread; the library calls back on that thread.
thread_local TArchiveFile* t_enumerating = nullptr;

constexpr wchar_t kProgressWindowClass[] = L"TArchiveFileProgress";

// Making a window costs more than extracting a small archive does (under Wine about 2 ms to create and free
// one), and a job makes one component per archive: a thread keeps the window of a component freed on it and
// lends it to its next one. The system frees a kept window with its thread.
thread_local HWND t_spareProgressWindow = nullptr;

// A test reports every member; what is posted to the thread's windows is served every few milliseconds.
thread_local platform::TThrottledPump t_preTestPump(10);

std::string BoundedName(const char* field) { return std::string(field, strnlen(field, kMemberNameSize)); }

ATOM RegisterProgressClass(WNDPROC proc) {
    static std::atomic<ATOM> atom{0};
    if (ATOM a = atom.load()) return a;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kProgressWindowClass;
    ATOM a = ::RegisterClassExW(&wc);
    if (!a && ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS) a = 1;
    atom.store(a);
    return a;
}

}  // namespace

UINT ArcExtractMessage() {
    static const UINT message = ::RegisterWindowMessageA(kArcExtractMessageName);
    return message;
}

TArchiveFile::TArchiveFile(void*) : fileName_(kUnsetText) {}

TArchiveFile::~TArchiveFile() {
    if (progressWindow_) {
        // A message that reaches the window later must find no pointer to this object.
        ::SetWindowLongPtrW(progressWindow_, GWLP_USERDATA, 0);
        const bool ownThread = ::GetWindowThreadProcessId(progressWindow_, nullptr) == ::GetCurrentThreadId();
        if (ownThread && !t_spareProgressWindow) {
            t_spareProgressWindow = progressWindow_;
        } else if (!::DestroyWindow(progressWindow_)) {
            // Only the thread that made the window can destroy it; for another thread it closes itself at its
            // next message.
            ::PostMessageW(progressWindow_, WM_CLOSE, 0, 0);
        }
    }
    if (t_enumerating == this) t_enumerating = nullptr;
}

void TArchiveFile::SetFileName(const std::string& name) {
    SetArchiverType(DetectArchiverType(name, true));
    fileName_ = name;
}

void TArchiveFile::SetArchiverType(TArchiverType type) {
    switch (type) {
        case atNone:
            return;
        case atAutoDetect:
            archiverType_ = type;
            return;
        case atGCA:
        case atBel:
            throw EArchiver("書庫の形式を特定できませんでした。");
        default:
            break;
    }
    if (type > atAutoDetect) throw EArchiver("書庫の形式を特定できませんでした。");
    // Created before the old one goes, so a missing library leaves the old archiver and type in place.
    std::unique_ptr<TArchiver> created = CreateArchiver(type);
    if (!created) throw EArchiver("書庫の形式を特定できませんでした。");
    archiver_ = std::move(created);
    archiverType_ = type;
}

void TArchiveFile::SetOutputSize(int size) {
    output_.assign(static_cast<size_t>(size > 0 ? size : 0), '\0');
}

TArchiver& TArchiveFile::RequireArchiver() const {
    if (!archiver_) throw EArchiver("書庫の形式を判別できません。");
    return *archiver_;
}

void TArchiveFile::ResolveAutoDetect() {
    if (archiverType_ == atAutoDetect) SetArchiverType(DetectArchiverType(fileName_, false));
}

bool TArchiveFile::NeedsEnumCallback(const TArchiverOptions& options) const {
    return OnEnumMember || options.IncludeExtraStreams;
}

void TArchiveFile::BeginCallbacks(const TArchiverOptions& options) {
    if (NeedsEnumCallback(options)) {
        t_enumerating = this;
        archiver_->SetEnumMembersProc(&TArchiveFile::EnumMembersCallback, kEnumMemberInfoSize);
    }
    if (HasProgressHandler()) {
        try {
            ArcExtractMessage();
            EnsureProgressWindow();
            archiver_->SetOwnerWindow(progressWindow_, nullptr);
        } catch (...) {
        }
    }
}

void TArchiveFile::EndCallbacks(const TArchiverOptions& options) {
    if (NeedsEnumCallback(options)) {
        if (t_enumerating == this) t_enumerating = nullptr;
        archiver_->ClearEnumMembersProc();
    }
    if (HasProgressHandler()) {
        try {
            archiver_->KillOwnerWindow(progressWindow_);
        } catch (...) {
        }
    }
}

void TArchiveFile::EnsureProgressWindow() {
    if (progressWindow_) return;
    if (t_spareProgressWindow) {
        HWND spare = t_spareProgressWindow;
        t_spareProgressWindow = nullptr;
        if (::IsWindow(spare)) {
            progressWindow_ = spare;
            ::SetWindowLongPtrW(progressWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            return;
        }
    }
    RegisterProgressClass(&TArchiveFile::StaticProgressWndProc);
    // Message-only: no display is needed, and it belongs to the thread that runs the operation.
    progressWindow_ = ::CreateWindowExW(0, kProgressWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        ::GetModuleHandleW(nullptr), nullptr);
    if (progressWindow_) ::SetWindowLongPtrW(progressWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

LRESULT CALLBACK TArchiveFile::StaticProgressWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TArchiveFile*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(wnd, msg, wParam, lParam);
    try {
        return self->ProgressWndProc(msg, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

LRESULT TArchiveFile::ProgressWndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != ArcExtractMessage()) return ::DefWindowProcW(progressWindow_, msg, wParam, lParam);
    if (JobState().Status.load() == jsPreTesting) {
        // A pre-test shows the member being tested; it never stops the test (a user's stop sets Status 4
        // and is answered below).
        if (lParam) ReportPreTestName(BoundedName(reinterpret_cast<LPEXTRACTINGINFOEX>(lParam)->SourceFileName));
        t_preTestPump.Serve();
        return 0;
    }
    bool abort = false;
    DoProgress(static_cast<int>(wParam), reinterpret_cast<LPEXTRACTINGINFOEX>(lParam), abort);
    return abort ? 1 : 0;
}

void TArchiveFile::DoProgress(int state, LPEXTRACTINGINFOEX info, bool& abort) {
    if (internalProgress_) internalProgress_(state, info);
    if (OnProgress) OnProgress(this, state, info, abort);
}

BOOL WINAPI TArchiveFile::EnumMembersCallback(LPVOID info) {
    TArchiveFile* self = t_enumerating;
    if (!self || !info) return -1;
    try {
        bool abort = false;
        self->DoEnumMember(*static_cast<TEnumMemberInfo64*>(info), abort);
        return abort ? 0 : -1;
    } catch (...) {
        return -1;
    }
}

void TArchiveFile::DoEnumMember(TEnumMemberInfo64& info, bool& abort) {
    archiver_->EnumMemberHook(reinterpret_cast<TArchiveMemberInfo*>(&info), Options, abort);
    if (!abort && OnEnumMember) OnEnumMember(this, info, abort);
}

void TArchiveFile::CollectExtraStream(int state, LPEXTRACTINGINFOEX info) {
    if (state != ARCEXTRACT_INPROCESS || !info || !streamOptions_ || !streamList_) return;
    // Most members hold no separator at all: find that out before building any text (this runs per report).
    const std::string& separator = streamOptions_->StreamSeparator;
    if (separator.empty() ||
        !memchr(info->SourceFileName, separator[0], strnlen(info->SourceFileName, kMemberNameSize)))
        return;
    // Every member in stream form ("base;name;$DATA"), not only those holding the separator pair: the pack list
    // exports ":extra:$DATA" as ";extra;$DATA", which must come back as a stream too.
    if (!ParseStreamFileName(BoundedName(info->SourceFileName), streamOptions_->StreamSeparator)) return;
    streamList_->Add(BoundedName(info->DestFileName));
}

int TArchiveFile::Extract(HWND wnd, const TArchiverOptions* options, const std::string& destFolder,
                          const std::string& extra, const TFileItems& files) {
    commandLine_.clear();
    TArchiver& archiver = RequireArchiver();
    const TArchiverOptions& o = options ? *options : Options;
    return WithCallbacks(o, [&] {
        streamList_.reset();
        streamOptions_ = nullptr;
        internalProgress_ = nullptr;
        // Write-back and reset run before EndCallbacks, also when the library call raises.
        platform::ScopeExit streams([&] {
            try {
                WriteExtraStreams(streamList_.get(), o, destFolder, streamWriteBack_);
            } catch (...) {
            }
            streamList_.reset();
            streamOptions_ = nullptr;
            internalProgress_ = nullptr;
        });
        if (o.IncludeExtraStreams && !o.StreamSeparator.empty()) {
            streamList_ = std::make_unique<platform::TStringList>();
            streamList_->SetSorted(true);
            streamList_->SetRefuseDuplicates(true);
            streamOptions_ = &o;
            internalProgress_ = [this](int state, LPEXTRACTINGINFOEX info) { CollectExtraStream(state, info); };
        }
        return archiver.Extract(wnd, fileName_, o, destFolder, extra, files, HasResUse(o.ResFileUsage, ruOnUnpack),
                                commandLine_, output_);
    });
}

int TArchiveFile::PackByArchiver(HWND wnd, const TArchiverOptions& options, const std::string& baseFolder,
                                 const TFileItems& files) {
    return WithCallbacks(options, [&] {
        return archiver_->Pack(wnd, fileName_, options, baseFolder, files, HasResUse(options.ResFileUsage, ruOnPack),
                               commandLine_, output_);
    });
}

int TArchiveFile::Pack(HWND wnd, const TArchiverOptions* options, const std::string& baseFolder,
                       const TFileItems& files) {
    ResolveAutoDetect();
    TArchiver& archiver = RequireArchiver();
    const TArchiverOptions& o = options ? *options : Options;
    archiver.EnsureDll();
    if (o.PackFilter == pfArchiver) return PackByArchiver(wnd, o, baseFolder, files);

    platform::TStringList tempFiles;
    // Exported stream files go in every case, also when listing or packing raises.
    platform::ScopeExit deleteTemps([&tempFiles] {
        for (const auto& f : tempFiles) ::DeleteFileW(platform::SjisToWide(f).c_str());
    });
    TArchiverOptions copy;
    copy.Assign(o);
    bool cancel = false;
    std::unique_ptr<platform::TStringList> names =
        BuildPackFileList(tempFiles, copy, baseFolder, cancel, files,
                          [this](int state, LPEXTRACTINGINFOEX info, bool& abort) { DoProgress(state, info, abort); });
    if (cancel) return ERROR_ARC_USER_CANCEL;
    if (names && !names->Empty()) {
        copy.jx.Clear();
        return PackByArchiver(wnd, copy, baseFolder, {static_cast<const platform::TStringList*>(names.get())});
    }
    if (!output_.empty()) output_[0] = '\0';
    return 0;
}

int TArchiveFile::MakeSfx(HWND wnd, const TArchiverOptions* options, const std::string& folder) {
    commandLine_.clear();
    TArchiver& archiver = RequireArchiver();
    const TArchiverOptions& o = options ? *options : Options;
    return WithCallbacks(o, [&] { return archiver.MakeSfx(wnd, fileName_, o, folder, commandLine_, output_); });
}

int TArchiveFile::CheckArchive(int mode, int extraMode) {
    TArchiver& archiver = RequireArchiver();
    return WithCallbacks(Options, [&] { return archiver.CheckArchive(fileName_, mode, extraMode); });
}

int TArchiveFile::OpenArchive(HWND wnd, DWORD mode) {
    ResolveAutoDetect();
    TArchiver& archiver = RequireArchiver();
    archiveHandle_ = archiver.OpenArchive(wnd, fileName_, mode);
    return archiveHandle_ ? 0 : 1;
}

// Without an open archive the library is not asked: there is nothing to find, size or close.
int TArchiveFile::FindFirst(const std::string& wildName, TArchiveMemberInfo& info) {
    if (!archiveHandle_) return -1;
    return RequireArchiver().FindFirst(archiveHandle_, &info, wildName);
}

int TArchiveFile::FindNext(TArchiveMemberInfo& info) {
    if (!archiveHandle_) return -1;
    return RequireArchiver().FindNext(archiveHandle_, &info);
}

int TArchiveFile::CloseArchive() {
    if (!archiveHandle_) return 0;
    int result = RequireArchiver().CloseArchive(archiveHandle_);
    archiveHandle_ = nullptr;
    return result;
}

DWORD TArchiveFile::GetArcOriginalSize() {
    if (!archiveHandle_) return 0;
    return RequireArchiver().GetArcOriginalSize(archiveHandle_);
}

int TArchiveFile::SetBackGroundMode(int mode) { return RequireArchiver().SetBackGroundMode(mode); }
int TArchiveFile::GetBackGroundMode() { return RequireArchiver().GetBackGroundMode(); }

void WriteExtraStreams(const platform::TStringList* list, const TArchiverOptions& options,
                       const std::string& destFolder, const TStreamWriteBack& steps) {
    if (!list || list->Empty() || !steps.HasNamedStreams(destFolder)) return;
    for (const auto& name : *list) {
        try {
            ImportStreamFile(name, options, steps);
        } catch (const std::exception&) {
            // One stream that cannot be written back does not spoil the extraction.
        }
    }
}
