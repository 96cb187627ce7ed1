// The seams through which the job engine reaches the rest of the program: the main window (IJobUi), the
// synchronous call to the main thread (IMainThread), the shell's file operations (IShellOps) and the archive
// component (IJobArchive through a factory). The program fills them with the real window, the application's
// Synchronize, Win32 and TArchiveFile; engine tests fill them with recording fakes. No window code here.
#pragma once

#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
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

// The call to the main thread. Posted calls run in the order they were posted, and all of them before an
// Invoke made after them: a posted log line stays before the lines of a later synchronous step.
class IMainThread {
public:
    virtual ~IMainThread() = default;
    // Runs fn on the main thread while the caller waits; what fn throws is rethrown to the caller.
    virtual void Invoke(const std::function<void()>& fn) = 0;
    // Queues fn to run on the main thread later; the caller does not wait.
    virtual void Post(std::function<void()> fn) = 0;
    // Runs fn on the main thread once about `delayMs` have passed, in no order with other calls; the caller
    // does not wait.
    virtual void PostLater(unsigned delayMs, std::function<void()> fn) = 0;
};

// Hands the latest of a stream of values to the main thread without making the sender wait: at most one
// delivery is queued at a time, deliveries are at least `intervalMs` apart (a display need not change
// more often than a person can read it), and a value that a newer one replaced before its delivery is
// never delivered. The last value offered is delivered at most one interval after it came, or at once by
// Flush. Offer may be called on any thread; Flush and the deliveries run on the main thread.
template <typename T>
class TCoalescedPost {
public:
    using Deliver = std::function<void(const T&)>;
    TCoalescedPost(IMainThread& main, Deliver deliver, unsigned intervalMs = 33)
        : state_(std::make_shared<State>(main, std::move(deliver), intervalMs)) {}
    // Deliveries still queued find the object gone and do nothing.
    ~TCoalescedPost() {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->alive = false;
    }
    TCoalescedPost(const TCoalescedPost&) = delete;
    TCoalescedPost& operator=(const TCoalescedPost&) = delete;

    void Offer(T value) {
        {
            std::lock_guard<std::mutex> lock(state_->mutex);
            state_->latest = std::move(value);
            state_->fresh = true;
            if (state_->queued) return;
            state_->queued = true;
        }
        std::shared_ptr<State> s = state_;
        s->main.Post([s] { Run(s); });
    }
    // Delivers a value not yet delivered, now.
    void Flush() { Take(state_, false); }

private:
    struct State {
        State(IMainThread& m, Deliver d, unsigned interval)
            : main(m), deliver(std::move(d)), intervalMs(interval) {}
        IMainThread& main;
        Deliver deliver;
        const unsigned intervalMs;
        std::mutex mutex;
        T latest{};
        bool fresh = false;   // latest not delivered yet
        bool queued = false;  // a delivery is queued
        bool alive = true;
        bool delivered = false;
        uint32_t lastDelivery = 0;  // tick count, main thread only
    };

    // The queued delivery: too soon after the last one, it waits for the rest of the interval.
    static void Run(const std::shared_ptr<State>& s) {
        const uint32_t since = ::GetTickCount() - s->lastDelivery;
        if (s->delivered && since < s->intervalMs) {
            {
                std::lock_guard<std::mutex> lock(s->mutex);
                if (!s->alive) return;
            }
            s->main.PostLater(s->intervalMs - since, [s] { Run(s); });
            return;
        }
        Take(s, true);
    }
    static void Take(const std::shared_ptr<State>& s, bool queuedDelivery) {
        T value;
        {
            std::lock_guard<std::mutex> lock(s->mutex);
            if (queuedDelivery) s->queued = false;
            if (!s->alive || !s->fresh) return;
            value = std::move(s->latest);
            s->latest = T{};
            s->fresh = false;
        }
        s->delivered = true;
        s->lastDelivery = ::GetTickCount();
        s->deliver(value);
    }

    std::shared_ptr<State> state_;
};

// The shell's file operations. Paths are Shift-JIS; flags are FOF_* values. The int results are those of the
// shell's file operation (0 success).
class IShellOps {
public:
    virtual ~IShellOps() = default;
    virtual bool FileExists(const std::string& path) = 0;    // a file or a folder
    virtual bool FolderExists(const std::string& path) = 0;
    virtual bool CreateFolder(const std::string& path) = 0;  // one level
    // Permanent, a plain file; only when no other program has it open (else it could stay in its place).
    virtual bool DeleteFile(const std::string& path) = 0;
    virtual int Recycle(const std::string& path, UINT flags) = 0;
    // The number of items in the recycle bin that serves the path's volume; -1 when none does (the shell
    // then deletes for good, whatever the flags ask).
    virtual long long RecycleBinItems(const std::string& path) = 0;
    virtual int Move(const std::string& source, const std::string& targetFolder, UINT flags) = 0;
    virtual int Rename(const std::string& from, const std::string& to, UINT flags) = 0;
    // Deletes a file or a folder with everything in it.
    virtual int DeleteTree(const std::string& path, UINT flags) = 0;
    // A second name `link` for the existing file; false where the volume has no hard links (FAT, exFAT).
    virtual bool HardLink(const std::string& existing, const std::string& link) = 0;
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
// The application's Synchronize, and a message-only window of the main thread that serves the posted calls
// (one wake-up message for all the calls queued meanwhile) and the timers of PostLater. Create it on the
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
    // True on the main thread while it runs any call of a worker: waited for, posted or timed.
    bool RunningCall() const noexcept { return running_ > 0; }
    void PostLater(unsigned delayMs, std::function<void()> fn) override;

private:
    static LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    // Runs the queued calls in order (main thread). A call that serves messages meanwhile (a message box)
    // does not run the later ones inside it: they wait until it has returned.
    void RunPosted();
    void RunTimer(UINT_PTR id);

    HWND window_ = nullptr;
    int serving_ = 0;  // main thread only
    int running_ = 0;  // main thread only
    std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
    bool runningPosted_ = false;  // main thread only
    std::map<UINT_PTR, std::function<void()>> timers_;  // main thread only
    UINT_PTR nextTimer_ = 1;
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
    long long RecycleBinItems(const std::string& path) override;
    int Move(const std::string& source, const std::string& targetFolder, UINT flags) override;
    int Rename(const std::string& from, const std::string& to, UINT flags) override;
    int DeleteTree(const std::string& path, UINT flags) override;
    bool HardLink(const std::string& existing, const std::string& link) override;

private:
    HWND owner_;
};

// A factory of real archive components (TArchiveFile).
TArchiveFactory RealArchiveFactory();

}  // namespace velmor
