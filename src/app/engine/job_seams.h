// The seams through which the job engine reaches the rest of the program: the main window (IJobUi), the
// synchronous call to the main thread (IMainThread), the shell's file operations (IShellOps) and the archive
// component (IJobArchive through a factory). The program fills them with the real window, the application's
// Synchronize, Win32 and TArchiveFile; engine tests fill them with recording fakes. No window code here.
#pragma once

#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archivers/archiver.h"
#include "archivers/archiver_api.h"
#include "archivers/archiver_type.h"

struct TJobState;

namespace velmor {

class TIniControl;

// The buttons the worker switches during a job.
enum TJobButton : uint8_t { jbBreak, jbBackGroundMode };
// The folder combos whose history the worker extends.
enum TFolderCombo : uint8_t { fcSpecialFolder, fcMoveFolder };

// What the worker asks of the main window. Every call is made on the main thread (through IMainThread).
class IJobUi {
public:
    virtual ~IJobUi() = default;

    // The job list.
    virtual int RowCount() = 0;
    virtual std::string RowText(int index) = 0;
    // A new last row for `path`; the window picks its icon.
    virtual void AppendRow(const std::string& path) = 0;
    virtual void DeleteRow(int index) = 0;
    // Selects the row (only that one), brings it into view and repaints the list.
    virtual void SelectRow(int index) = 0;

    // One log line as the window's AppendLog takes it (it numbers the line and replaces "%src").
    virtual void AppendLog(const std::string& line) = 0;
    virtual void SetStatusText(const std::string& text) = 0;

    // The progress display: the member-name box, the per-file bar with its label, the whole-archive bar with
    // its label. The engine calls these only when the value changed and the window is not minimised.
    virtual void ShowMemberName(const std::string& name) = 0;
    virtual void SetFileProgress(int percent) = 0;
    virtual void SetTotalProgress(int percent) = 0;
    virtual bool IsMinimized() = 0;

    virtual void EnableButton(TJobButton button, bool enabled) = 0;

    // The text of the output-folder combo (cmbSpecialFolder), which the user may have edited.
    virtual std::string SpecialFolderText() = 0;
    // Puts `folder` at the top of a folder combo's history.
    virtual void PushComboHistory(TFolderCombo combo, const std::string& folder) = 0;
    // The compression type combo: 0 LHA, 1 self-extracting, 2 ZIP.
    virtual int CompressionType() = 0;

    // A message box owned by the main window; `flags` are MB_* values, the answer an ID* value.
    virtual int Ask(const std::string& text, const std::string& caption, UINT flags) = 0;
    // The user chose to end the program (the ZIP stop question): the window closes once the job has ended.
    virtual void RequestQuit() = 0;

    // The main window (owner of shell operations and message boxes) and the log pane (owner handed to the
    // library calls). Either may be null.
    virtual HWND MainWindow() = 0;
    virtual HWND LogWindow() = 0;
};

// The call to the main thread.
class IMainThread {
public:
    virtual ~IMainThread() = default;
    // Runs fn on the main thread while the caller waits; what fn throws is rethrown to the caller.
    virtual void Invoke(const std::function<void()>& fn) = 0;
    // Queues fn to run on the main thread later; the caller does not wait.
    virtual void Post(std::function<void()> fn) = 0;
};

// The shell's file operations. Paths are Shift-JIS; flags are FOF_* values. The int results are those of the
// shell's file operation (0 success).
class IShellOps {
public:
    virtual ~IShellOps() = default;
    virtual bool FileExists(const std::string& path) = 0;    // a file or a folder
    virtual bool FolderExists(const std::string& path) = 0;
    virtual bool CreateFolder(const std::string& path) = 0;  // one level
    virtual bool DeleteFile(const std::string& path) = 0;    // permanent, a plain file
    virtual int Recycle(const std::string& path, UINT flags) = 0;
    virtual int Move(const std::string& source, const std::string& targetFolder, UINT flags) = 0;
    virtual int Rename(const std::string& from, const std::string& to, UINT flags) = 0;
    // Deletes a file or a folder with everything in it.
    virtual int DeleteTree(const std::string& path, UINT flags) = 0;
};

// The part of the archive component the engine uses. The real one wraps TArchiveFile.
class IJobArchive {
public:
    using ProgressHandler = std::function<void(int state, LPEXTRACTINGINFOEX info, bool& abort)>;

    virtual ~IJobArchive() = default;
    virtual void SetFileName(const std::string& name) = 0;
    virtual const std::string& FileName() const = 0;
    virtual void SetArchiverType(TArchiverType type) = 0;
    virtual void SetOutputSize(int size) = 0;
    virtual TArchiverOptions& Options() = 0;
    virtual void SetOnProgress(ProgressHandler handler) = 0;

    virtual int CheckArchive(int mode, int extraMode) = 0;
    virtual int Extract(HWND wnd, const std::string& destFolder, const std::string& extra,
                        const TFileItems& files) = 0;
    virtual int Pack(HWND wnd, const std::string& baseFolder, const TFileItems& files) = 0;
    virtual int MakeSfx(HWND wnd, const std::string& folder) = 0;
    virtual int OpenArchive(HWND wnd, DWORD mode) = 0;
    virtual int FindFirst(const std::string& wildName, TArchiveMemberInfo& info) = 0;
    virtual int FindNext(TArchiveMemberInfo& info) = 0;
    virtual int CloseArchive() = 0;
    virtual DWORD GetArcOriginalSize() = 0;
};

using TArchiveFactory = std::function<std::unique_ptr<IJobArchive>()>;

// Everything a job reaches. The referenced objects outlive every engine object built on the context.
struct TJobContext {
    IJobUi& Ui;
    IMainThread& Main;
    IShellOps& Shell;
    TArchiveFactory Archives;
    TJobState& State;
    TIniControl& Ini;
};

// The real seams of the program.
// The application's Synchronize, and a message-only window of the main thread for Post. Create it on the
// main thread.
class TApplicationMainThread : public IMainThread {
public:
    TApplicationMainThread();
    ~TApplicationMainThread() override;
    TApplicationMainThread(const TApplicationMainThread&) = delete;
    TApplicationMainThread& operator=(const TApplicationMainThread&) = delete;
    void Invoke(const std::function<void()>& fn) override;
    void Post(std::function<void()> fn) override;
    // True on the main thread while it runs a call that a worker waits for.
    bool Serving() const noexcept { return serving_ > 0; }

private:
    static LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
    int serving_ = 0;  // main thread only
};

// Win32's file functions and SHFileOperationW; `owner` is the owner of the shell's own windows.
class TWin32ShellOps : public IShellOps {
public:
    explicit TWin32ShellOps(HWND owner = nullptr) : owner_(owner) {}
    void SetOwner(HWND owner) { owner_ = owner; }
    bool FileExists(const std::string& path) override;
    bool FolderExists(const std::string& path) override;
    bool CreateFolder(const std::string& path) override;
    bool DeleteFile(const std::string& path) override;
    int Recycle(const std::string& path, UINT flags) override;
    int Move(const std::string& source, const std::string& targetFolder, UINT flags) override;
    int Rename(const std::string& from, const std::string& to, UINT flags) override;
    int DeleteTree(const std::string& path, UINT flags) override;

private:
    HWND owner_;
};

// A factory of real archive components (TArchiveFile).
TArchiveFactory RealArchiveFactory();

}  // namespace velmor
