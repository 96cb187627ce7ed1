// The process-wide state of the running job and of the current archive, shared by the main window, the worker
// thread and the archive component's progress window. It lives below the archiver layer because the progress
// window reads Status; the application owns everything else in it. One-byte flags that both threads touch are
// atomics: same size, no lock, no data race.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

struct TJobState {
    using Flag = std::atomic<uint8_t>;

    std::string AppTitle;
    std::string LogFilePath;
    std::string JobWord;
    Flag CompressMode{0};
    Flag CommandLineRun{0};
    std::string OutputFolder;
    std::string CurrentArchive;
    std::string RenamedOldFolder;
    std::string CurrentExt;
    std::atomic<double> ArchiveOriginalSize{0.0};
    Flag BindFolderExisted{0};
    Flag CancelSeen{0};
    // 0 idle, 1 started, 2 pre-testing, 3 extracting or compressing, 4 stop requested.
    Flag Status{0};
    Flag SplitArchive{0};
    Flag BreakPressed{0};
    Flag TopMostNow{0};
    Flag AbortJob{0};
    Flag SkipItem{0};
    Flag BindFolderCreated{0};
    std::string TopLevelItem;
    Flag TopLevelPreExisted{0};
    Flag ItemFailed{0};
    Flag BackgroundMode{0};
    Flag LhaReady{0};
    Flag ZipReady{0};
    Flag CabReady{0};
    Flag RarReady{0};
    Flag TarReady{0};
    Flag GcaReady{0};
};

enum TJobStatus : uint8_t { jsIdle = 0, jsStarted = 1, jsPreTesting = 2, jsWorking = 3, jsStopRequested = 4 };

TJobState& JobState();

// Where the progress window puts the member name of a pre-test report. The application installs a sink that
// shows it in the log pane (on the main thread); with none installed the name is dropped.
using TPreTestNameSink = std::function<void(const std::string& memberName)>;
void SetPreTestNameSink(TPreTestNameSink sink);
void ReportPreTestName(const std::string& memberName);
