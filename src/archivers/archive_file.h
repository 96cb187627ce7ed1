// The archive component: the one class through which the application reaches an archive. It owns the
// format's archiver and the options, keeps the handle of an open enumeration, receives the libraries'
// progress reports in a hidden window of the calling thread, and writes extracted alternate-stream members
// back as named streams.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "archivers/archiver.h"
#include "archivers/archiver_type.h"
#include "archivers/ext_strms.h"
#include "platform/string_list.h"

class TArchiveFile {
public:
    using TArchiverProgressEvent =
        std::function<void(TArchiveFile* sender, int state, LPEXTRACTINGINFOEX info, bool& abort)>;
    using TArchiverEnumMemberEvent = std::function<void(TArchiveFile* sender, TEnumMemberInfo64& info, bool& abort)>;

    // The owner is ignored: whoever creates the component frees it.
    explicit TArchiveFile(void* owner = nullptr);
    TArchiveFile(const TArchiveFile&) = delete;
    TArchiveFile& operator=(const TArchiveFile&) = delete;
    ~TArchiveFile();

    const std::string& FileName() const { return fileName_; }
    // Detects the format by extension and creates its archiver; on an exception the name stays as it was.
    void SetFileName(const std::string& name);
    TArchiverType ArchiverType() const { return archiverType_; }
    void SetArchiverType(TArchiverType type);
    int OutputSize() const { return static_cast<int>(output_.size()); }
    // A negative size counts as 0 (no buffer).
    void SetOutputSize(int size);

    TArchiverOptions Options;
    TArchiverProgressEvent OnProgress;
    TArchiverEnumMemberEvent OnEnumMember;

    // `options` null means the component's own Options.
    int Extract(HWND wnd, const TArchiverOptions* options, const std::string& destFolder, const std::string& extra,
                const TFileItems& files);
    // 0x8020 when the component-side listing was cancelled.
    int Pack(HWND wnd, const TArchiverOptions* options, const std::string& baseFolder, const TFileItems& files);
    int MakeSfx(HWND wnd, const TArchiverOptions* options, const std::string& folder);
    int CheckArchive(int mode, int extraMode);
    // 0 when the library gave a handle, 1 when it gave none.
    int OpenArchive(HWND wnd, DWORD mode);
    int FindFirst(const std::string& wildName, TArchiveMemberInfo& info);
    int FindNext(TArchiveMemberInfo& info);
    int CloseArchive();
    DWORD GetArcOriginalSize();
    int SetBackGroundMode(int mode);
    int GetBackGroundMode();

    const std::string& CommandLine() const { return commandLine_; }
    // The library's output text, up to its NUL.
    std::string OutputText() const { return std::string(output_.c_str()); }
    TArchiver* Archiver() const { return archiver_.get(); }
    HARC ArchiveHandle() const { return archiveHandle_; }
    HWND ProgressWindow() const { return progressWindow_; }

private:
    friend struct TArchiveFileAccess;

    TArchiver& RequireArchiver() const;
    void ResolveAutoDetect();
    bool NeedsEnumCallback(const TArchiverOptions& options) const;
    void BeginCallbacks(const TArchiverOptions& options);
    void EndCallbacks(const TArchiverOptions& options);
    // Runs one library operation between BeginCallbacks and EndCallbacks (the latter also when it raises).
    template <typename Body>
    int WithCallbacks(const TArchiverOptions& options, Body body) {
        BeginCallbacks(options);
        int result = 0;
        try {
            result = body();
        } catch (...) {
            EndCallbacks(options);
            throw;
        }
        EndCallbacks(options);
        return result;
    }
    bool HasProgressHandler() const { return internalProgress_ || OnProgress; }
    void EnsureProgressWindow();
    LRESULT ProgressWndProc(UINT msg, WPARAM wParam, LPARAM lParam);
    void DoProgress(int state, LPEXTRACTINGINFOEX info, bool& abort);
    void DoEnumMember(TEnumMemberInfo64& info, bool& abort);
    void CollectExtraStream(int state, LPEXTRACTINGINFOEX info);
    int PackByArchiver(HWND wnd, const TArchiverOptions& options, const std::string& baseFolder,
                       const TFileItems& files);

    static LRESULT CALLBACK StaticProgressWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static BOOL WINAPI EnumMembersCallback(LPVOID info);

    TArchiverType archiverType_ = atAutoDetect;
    std::unique_ptr<TArchiver> archiver_;
    std::string fileName_;
    std::string commandLine_;
    std::string output_;
    HWND progressWindow_ = nullptr;
    std::function<void(int state, LPEXTRACTINGINFOEX info)> internalProgress_;
    const TArchiverOptions* streamOptions_ = nullptr;
    std::unique_ptr<platform::TStringList> streamList_;
    HARC archiveHandle_ = nullptr;
    TStreamWriteBack streamWriteBack_;
};

// The registered "wm_arcextract" message number (registered on first use).
UINT ArcExtractMessage();

// Writes the collected alternate-stream members back as named streams of their base files (see ext_strms).
void WriteExtraStreams(const platform::TStringList* list, const TArchiverOptions& options,
                       const std::string& destFolder, const TStreamWriteBack& steps = {});
