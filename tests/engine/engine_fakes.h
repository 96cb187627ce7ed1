// Fakes of the engine's seams: a window that records rows, log lines, progress and questions and answers from
// a script; main threads that call directly or serve a real worker; a shell that records its calls over the
// real Win32 one; an archive factory that can press stop at the N-th progress report.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/engine/job_seams.h"
#include "app/engine/unpack_thread.h"
#include "app/ini_control.h"
#include "archivers/job_state.h"
#include "support/fixtures.h"
#include "support/standin_log.h"
#include "support/temp_dir.h"

namespace enginetest {

struct Question {
    std::string text;
    std::string caption;
    UINT flags;
};

class FakeUi : public velmor::IJobUi {
public:
    std::vector<std::string> rows;
    std::vector<std::string> log;
    std::vector<Question> questions;
    // Answers in order. A box with one button answers IDOK; any other question the script did not foresee
    // fails the test and answers 0, as a box that could not be shown does: never Yes by default.
    std::deque<int> answers;
    std::vector<int> fileProgress, totalProgress;
    std::vector<std::string> memberNames;
    std::vector<std::pair<velmor::TFolderCombo, std::string>> history;
    std::string specialFolderText;
    int compressionType = 0;
    bool minimized = false;
    int quitRequests = 0;

    int RowCount() override { return static_cast<int>(rows.size()); }
    std::string RowText(int index) override { return rows.at(index); }
    void AppendRow(const std::string& path) override { rows.push_back(path); }
    void DeleteRow(int index) override { rows.erase(rows.begin() + index); }
    void SelectRow(int) override {}
    void AppendLog(const std::string& line) override { log.push_back(line); }
    void SetStatusText(const std::string&) override {}
    void ShowMemberName(const std::string& name) override { memberNames.push_back(name); }
    void SetFileProgress(int percent) override { fileProgress.push_back(percent); }
    void SetTotalProgress(int percent) override { totalProgress.push_back(percent); }
    int minimizedChecks = 0;  // one per progress display call
    bool IsMinimized() override { return ++minimizedChecks, minimized; }
    void EnableButton(velmor::TJobButton, bool) override {}
    std::string SpecialFolderText() override { return specialFolderText; }
    void PushComboHistory(velmor::TFolderCombo combo, const std::string& folder) override {
        history.emplace_back(combo, folder);
    }
    int CompressionType() override { return compressionType; }
    int Ask(const std::string& text, const std::string& caption, UINT flags) override;
    void RequestQuit() override { ++quitRequests; }
    HWND MainWindow() override { return nullptr; }
    HWND LogWindow() override { return nullptr; }

    bool Logged(const std::string& line) const;
    // The log as UTF-8, one line per line, for failure messages.
    std::string LogText() const;
};

// Runs calls at once on the calling thread; posted calls (delayed ones too) wait for RunPosted or the next
// Invoke, which runs them first, as the program's main thread does.
class DirectMainThread : public velmor::IMainThread {
public:
    void Invoke(const std::function<void()>& fn) override {
        RunPosted();
        ++invoking;
        fn();
        --invoking;
    }
    // Inside a call on "the main thread": what runs there holds the window up.
    int invoking = 0;
    void Post(std::function<void()> fn) override;
    void PostLater(unsigned, std::function<void()> fn) override { Post(std::move(fn)); }
    int RunPosted();

private:
    std::mutex mutex_;
    std::vector<std::function<void()>> posted_;
};

// The test's thread as the main thread of a real worker: Invoke and Post queue to it in order, PostLater
// waits for its time, Pump serves them (and the thread's sent messages) until a condition holds or a
// time-out passes.
class PumpedMainThread : public velmor::IMainThread {
public:
    PumpedMainThread();
    ~PumpedMainThread() override;
    void Invoke(const std::function<void()>& fn) override;
    void Post(std::function<void()> fn) override;
    void PostLater(unsigned delayMs, std::function<void()> fn) override;
    bool Pump(const std::function<bool()>& done, DWORD timeoutMs);
    // Main-thread calls the worker waited for, and calls it posted (delayed ones included).
    int invokes = 0, posts = 0;

private:
    struct Call {
        std::function<void()> fn;
        HANDLE done;  // null for a posted call
        std::exception_ptr error;
    };
    struct Later {
        DWORD due;
        std::function<void()> fn;
    };
    // Runs the delayed calls that are due; the time until the next one, INFINITE when none waits.
    DWORD RunDue();
    DWORD mainId_;
    HANDLE wake_;
    std::mutex mutex_;
    std::deque<Call*> calls_;
    std::vector<Later> later_;
};

// The real shell, with every mutating call recorded as "op source".
class RecordingShell : public velmor::TWin32ShellOps {
public:
    std::vector<std::string> calls;
    std::vector<UINT> moveFlags;  // the flags of each Move, in order
    bool fail = false;  // every mutating call fails without touching the disk
    // What a system does that promises more than it did: a deletion reported but not made, a "recycle"
    // that deletes for good and reports success, no recycle bin for any volume.
    bool deleteKeepsFile = false;
    bool recycleDeletesForGood = false;
    bool noRecycleBin = false;
    // After a recycle, another program puts a file of the archive's name in its place (read by the bin
    // count that follows): the archive's second name cannot be renamed back.
    bool nameTakenAfterRecycle = false;
    // A volume without hard links (FAT): every HardLink fails. The calls that ran inside a main-thread call
    // of `main` are counted.
    bool noHardLinks = false;
    const DirectMainThread* main = nullptr;
    int hardLinksOnMainThread = 0;
    // A move that does not do what it should: kPartial writes half of the archive into the move folder and
    // fails (the archive stays), kLost deletes the archive and writes nothing, kLostPartial deletes it after
    // writing half, kOtherTime writes all of it with another time and deletes it.
    enum MoveMode { kMoves, kPartial, kLost, kLostPartial, kOtherTime } moveMode = kMoves;
    bool DeleteFile(const std::string& path) override;
    int Recycle(const std::string& path, UINT flags) override;
    long long RecycleBinItems(const std::string& path) override;
    int Move(const std::string& source, const std::string& target, UINT flags) override;
    int Rename(const std::string& from, const std::string& to, UINT flags) override;
    int DeleteTree(const std::string& path, UINT flags) override;
    bool HardLink(const std::string& existing, const std::string& link) override;

private:
    std::string lastRecycled_;
};

// A scripted component: lists `members` (name, size, the CRC-32 of its bytes), and Extract writes each as a
// file of that many bytes under the destination with a report before and after it (and `partialWrites`
// between), then returns `result`. It can ignore Abort, as a library that finishes in spite of a stop would.
// A name ending in "/" is a folder entry: Extract makes the folder. The ZIP switch "-j" junks the paths.
struct ScriptedArchiveSpec {
    std::vector<std::pair<std::string, uint32_t>> members;
    int result = 0;
    bool ignoreAbort = false;
    bool throwOnOpen = false;     // OpenArchive raises, as a component that cannot read the archive does
    bool throwOnExtract = false;  // Extract raises
    // What Extract writes of a member instead of its listed size: that many bytes, or nothing (-1).
    std::map<std::string, long long> written{};
    // Called with the destination once the members are written, before Extract returns.
    std::function<void(const std::string& destination)> afterExtract{};
};
// `partialWrites`: reports between the two of each member, with these byte counts written.
velmor::TArchiveFactory ScriptedArchiveFactory(ScriptedArchiveSpec spec, std::vector<uint32_t> partialWrites = {});

// A component (the real one by default); the hook sees every progress report (count from 1) before the engine
// does, and `onCheck` the start of each test.
velmor::TArchiveFactory HookedArchiveFactory(std::function<void(int report, int state)> hook,
                                             velmor::TArchiveFactory inner = velmor::RealArchiveFactory(),
                                             std::function<void()> onCheck = {});

// Two files at the root; a tree under one top folder "top".
extern const std::vector<testsupport::FixtureMember> kFlat;
extern const std::vector<testsupport::FixtureMember> kTree;

// The folder that Wine's recycle bin keeps its files in for the tests (under XDG_DATA_HOME).
std::wstring RecycleBinFiles();

// The file's bytes, "<missing>" when it cannot be read.
std::string ReadText(const std::wstring& path);

// One job's world: settings, state, fakes and a temp folder with the stand-ins loaded from the "full" set.
struct JobWorld {
    JobWorld();
    ~JobWorld();
    testsupport::TempDir dir;
    testsupport::StandinSession standins{dir};
    velmor::TIniControl ini;
    TJobState state;
    FakeUi ui;
    DirectMainThread main;
    RecordingShell shell;
    velmor::TArchiveFactory archives = velmor::RealArchiveFactory();
    velmor::TJobContext Context() { return {ui, main, shell, archives, state, ini}; }
    std::string Path(const std::string& rel) const { return dir.SjisFile(rel); }
};

// Runs one job on the test's thread and then the stop part of the window's end-of-job handler.
void RunJob(JobWorld& w, velmor::TUnPack& unpack, const std::function<void(velmor::TUnPackThread&)>& before = {});

}  // namespace enginetest
