// The worker of one job. It checks the output and move folders, then walks the job list row by row (folder
// rows expanded into their files): the preparation and completion steps run on the main thread through
// IMainThread::Invoke, the processing step (the library calls) on the worker. The worker's last act posts the
// end of the job to the main thread, which joins the thread and runs OnJobEnded exactly once.
//
// How the window runs a job: build one TJobContext (itself as IJobUi, a TApplicationMainThread, a
// TWin32ShellOps owned by the window, RealArchiveFactory(), JobState(), IniControl) and one TUnPack at
// creation; to start, make a TUnPackThread, set OnJobEnded to JobFinished, set Status to 1 and call Start.
// Stop sets CancelRequested; pause and resume are Suspend and Resume. JobFinished calls EndJobAfterStop and
// may free the TUnPackThread. Freeing it while it runs waits for the worker, and OnJobEnded is not called.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/engine/job_rules.h"
#include "app/engine/job_seams.h"
#include "app/engine/unpack.h"
#include "platform/thread.h"

namespace velmor {

// The result of a processing step besides the library's codes.
constexpr int kItemSkipped = 1;
constexpr int kItemStopped = 1000;

class TUnPackThread {
public:
    TUnPackThread(const TJobContext& context, TUnPack& unpack);
    // Waits for a running worker (serving its main-thread calls meanwhile).
    ~TUnPackThread();
    TUnPackThread(const TUnPackThread&) = delete;
    TUnPackThread& operator=(const TUnPackThread&) = delete;

    // Runs on the main thread once the worker has ended and been joined; set before Start.
    std::function<void()> OnJobEnded;

    // Starts the worker thread at a THREAD_PRIORITY_* value; false when the platform refuses (nothing runs
    // then, and OnJobEnded is not called).
    bool Start(int priority);
    bool Running() const noexcept { return running_ != 0; }

    // Runs the whole job on the calling thread (tests); OnJobEnded is not called.
    void Execute();

    // The stop request: set by the main window, taken up by the worker at the library's next progress report
    // or just before the library call. Never cleared inside a job except by a withdrawn ZIP stop.
    std::atomic<uint8_t> CancelRequested{0};
    // A stop that asks nothing (the session is ending): the ZIP stop question is not asked, the library is
    // told to stop.
    std::atomic<uint8_t> QuietStop{0};

    // Pause: the worker waits at its next progress report or row until resumed.
    void Suspend();
    void Resume();
    bool Suspended() const noexcept { return paused_ != 0; }

    // The three steps and their helpers, public for tests.
    void CheckOutputFolders();
    bool EnsureFolder(const std::string& folder, const std::string& word);
    // What a folder walk reports and asks: the folder it enters, and whether it is to stop now (asked at
    // every entry).
    struct TWalkHooks {
        std::function<void(const std::string& folder)> OnFolder;
        std::function<bool()> Stopped;
    };
    // The count of entries directly in `folder`, or -1 when the hooks stopped the walk (`list` then holds
    // what was found so far).
    static int ListFilesRecursive(const std::string& folder, std::vector<std::string>& list,
                                  const TWalkHooks* hooks = nullptr);
    void PrepareItem();
    // Creates or reuses the bind folder `name` in the output folder (part of the preparation step).
    void MakeBindFolder(const std::string& name);
    int ProcessArchive(const std::string& archive, const std::string& destination);
    void FinishItem();
    void LogLine(const std::string& text);

    // Folder and archive operations of the preparation and completion steps (main thread).
    std::string RenameToOld(const std::string& path);
    bool RenameFolder(const std::string& from, const std::string& to);
    int FindMatchingFiles(const std::string& folder, std::vector<std::string>& list, const std::string& pattern,
                          bool useRegex, const std::string& mask);
    // Fills SplitParts with the volumes of the current archive's set, in volume order.
    void CollectVolumes(const std::string& base, bool partSet);
    void TrimFolderNumber(const std::string& folder);
    bool DeleteFolder(const std::string& folder);
    void DeleteArchive(const std::string& source, bool split);
    void RecycleArchive(const std::string& source);
    void MoveArchive(const std::string& source);

    // What keeps the members inside the output folder and off the user's files (main thread, from the
    // preparation step): false, with the row refused and logged, when a member would land outside `folder`
    // (the output folder the extraction will use) or on the archive itself or another archive of the list.
    bool GuardMembers(const std::string& folder);
    // With "ask" or "skip", whether existing files of the members' names are kept: "ask" asks once per
    // archive. Sets the row's overwrite mode and whether its extraction goes through a staging folder.
    void ChooseOverwrite();
    // The extraction call (worker): through a staging folder when existing files must stay; with a clean-up
    // to follow, the extraction is verified afterwards.
    int ExtractMembers(IJobArchive& arc, HWND wnd, const std::string& destination);
    // Whether everything the walk listed is in `destination` under its own name with its size, nothing was
    // held back and no two members met on one name; the members that are not (Unverified) are kept for the
    // log. Only a verified extraction is cleaned up.
    bool VerifyExtraction(const std::string& destination);
    const TFlaggedMembers& Unverified() const { return unverified_; }
    // True when the archive or volume is the same file (volume, file index, size and write time) as before
    // its extraction.
    bool ArchiveUnchanged(const std::string& path) const;
    // True for the archive itself and for a volume of its set that the library reported opening
    // (ARCEXTRACT_OPEN) during the extraction: only those were read.
    bool VolumeRead(const std::string& volume) const;
    // Before a recycle (worker): a second name for the archive or each volume, which the completion step's
    // recycle keeps until the bin is seen to hold the file. The second names go after the completion step.
    void PrepareSpares();
    TSpareName* PreparedSpare(const std::string& path);

    int RowIndex = 0;
    int ItemResult = 0;
    std::string ArchivePath;
    std::string ArchiveExt;
    int TopLevelCount = 0;
    std::vector<std::string> SplitParts;

private:
    class TWorker;
    void Run();
    void ResetItem();
    // The current row names a folder: its files are listed on the worker, the name box showing where the walk
    // is, and appended as rows in batches, so the window goes on answering. False when a stop ended it: no
    // row of it stays, and the folder row is kept for a later job.
    bool ExpandFolderRow(const std::string& folder);
    void Sync(const std::function<void()>& fn);
    // Queues fn for the main thread without waiting; it runs before the next synchronous call.
    void Post(std::function<void()> fn);
    void OnArchiveProgress(int state, LPEXTRACTINGINFOEX info, bool& abort);
    // On the worker: the member name and the two percentages of a report, handed to the display when one
    // of them changed.
    void UpdateProgress(LPEXTRACTINGINFOEX info);
    void WaitWhilePaused();
    int ExtractStaged(IJobArchive& arc, HWND wnd, const std::string& destination, const std::string& extra);

    // What the progress display shows: the member name, the member's and the archive's percentages.
    struct TProgressView {
        std::string Name;
        int FilePercent = 0;
        int TotalPercent = 0;
    };
    // Main thread: draws what differs from what is drawn, unless the window is minimised.
    void DrawProgress(const TProgressView& view);
    void ResetDrawnProgress();

    TJobContext context_;
    TUnPack& unpack_;
    std::unique_ptr<TWorker> worker_;
    std::shared_ptr<std::atomic<uint8_t>> alive_;
    std::atomic<uint8_t> running_{0};
    std::atomic<uint8_t> paused_{0};
    HANDLE resumeEvent_ = nullptr;

    // The row's overwrite mode, whether its extraction is staged, the existing files its members would
    // replace (with their members' indices and stamps), the members that meet on one name, the stamps of its
    // archive and volumes before the extraction, and whether the extraction was verified.
    int itemOverWrite_ = 0;
    bool stageExtraction_ = false;
    // "Newer only" kept by the engine itself: the staged files replace only older ones.
    bool newerOnly_ = false;
    TFlaggedMembers existingFiles_;
    std::vector<std::pair<size_t, TFileStamp>> existingStamps_;
    std::vector<size_t> sharingNames_;
    std::vector<std::pair<std::string, TFileStamp>> archiveStamps_;
    // The archive files the library reported opening while it extracted (a set's volumes).
    std::vector<std::string> volumesRead_;
    bool verified_ = false;
    TFlaggedMembers unverified_;
    std::vector<std::unique_ptr<TSpareName>> spares_;

    // The worker's side of the display: the last values handed over, and the finished members' bytes.
    TProgressView offered_;
    double doneBytes_ = 0;
    // The main thread's side: what the display shows ("xxxxxx" and 999: nothing yet in this row).
    TProgressView drawn_;
    // A report comes every few microseconds; the display takes the latest about 30 times a second, and
    // the worker never waits for it.
    TCoalescedPost<TProgressView> progress_;
    // The folder a walk is in, shown in the name box.
    TCoalescedPost<std::string> walkShown_;
    std::vector<int> folderRows_;
    // Read with the preparation step, once per row.
    int compressionType_ = 0;
    // The log pane, owner of the library calls; read once per job.
    HWND logWindow_ = nullptr;
    // The component's progress window lives on this thread; what is posted to it is served now and then.
    platform::TThrottledPump pump_{10};
};

// The stop-related part of the end of a job, for the window's JobFinished: after a stop the interrupted
// archive's leftover is deleted only when the worker took the stop up (CancelSeen), and the flags are cleared.
void EndJobAfterStop(const TJobContext& context, TUnPack& unpack);

}  // namespace velmor
