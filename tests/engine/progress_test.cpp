// The progress display and the worker's hand-overs: the worker never waits for the display, which takes the
// latest report at a pace a person can read and shows the archive's final values before its result line;
// nothing is drawn while the window is minimised; pause holds the worker at its next report and a stop ends
// the extraction at the report it meets; and the archive component's progress window is made once per thread,
// not once per archive.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "app/engine/unpack_thread.h"
#include "archivers/archive_file.h"
#include "engine/engine_fakes.h"
#include "platform/sjis.h"
#include "support/fixtures.h"

using namespace enginetest;
using namespace testsupport;
using velmor::TUnPack;
using velmor::TUnPackThread;

namespace {

std::vector<FixtureMember> Members(int count) {
    std::vector<FixtureMember> members;
    for (int i = 0; i < count; ++i)
        members.push_back(
            {"d" + std::to_string(i % 10) + "/m" + std::to_string(i) + ".txt", std::string(100, 'p')});
    return members;
}

// Records how many log lines stood when each whole-archive percentage was drawn, and the member name drawn
// last (for the worker's thread to read).
class TimedUi : public FakeUi {
public:
    std::vector<size_t> totalAtLine;
    void SetTotalProgress(int percent) override {
        FakeUi::SetTotalProgress(percent);
        totalAtLine.push_back(log.size());
    }
    void ShowMemberName(const std::string& name) override {
        FakeUi::ShowMemberName(name);
        std::lock_guard<std::mutex> lock(mutex);
        lastName = name;
    }
    std::string LastName() {
        std::lock_guard<std::mutex> lock(mutex);
        return lastName;
    }
    std::mutex mutex;
    std::string lastName;
};

// Waits on the worker until `done` holds (a guard against a hang, not a time budget).
bool WaitOnWorker(const std::function<bool()>& done) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 60000; Sleep(1))
        if (done()) return true;
    return false;
}

// The files under a folder, at any depth.
int CountFiles(const std::wstring& folder) {
    int n = 0;
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0) continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            n += CountFiles(folder + L"\\" + found.cFileName);
        else
            ++n;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return n;
}

// One job on a real worker thread, served by the test's thread; the hook counts the library's reports, notes
// when the first and the last came, and hands each report's number to `onReport` (on the worker, before the
// engine sees the report).
struct RealJob {
    JobWorld& w;
    PumpedMainThread main;
    std::atomic<int> reports{0};
    std::atomic<DWORD> firstReport{0}, lastReport{0};
    std::function<void(int report)> onReport;
    velmor::TJobContext context;
    TUnPack unpack;
    TUnPackThread job;
    bool ended = false;

    RealJob(JobWorld& world, velmor::IJobUi& ui)
        : w(world),
          context{ui,
                  main,
                  w.shell,
                  HookedArchiveFactory([this](int, int) {
                      const DWORD now = GetTickCount();
                      const int report = ++reports;
                      if (report == 1) firstReport = now;
                      lastReport = now;
                      if (onReport) onReport(report);
                  }),
                  w.state,
                  w.ini},
          unpack(context, {}),
          job(context, unpack) {
        job.OnJobEnded = [this] { ended = true; };
    }
    bool Start() { return job.Start(THREAD_PRIORITY_NORMAL); }
    bool Pump(const std::function<bool()>& done, DWORD ms) { return main.Pump(done, ms); }
};

}  // namespace

TEST(Progress, TheDisplayTakesTheLatestReportWithoutTheWorkerWaiting) {
    JobWorld w;
    TimedUi ui;
    constexpr int kMembers = 300;
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), Members(kMembers)));
    ASSERT_TRUE(w.standins.SetScript(StandinScript().Delay(3)));  // about a second in all
    ui.rows = {w.Path("a.zip")};
    w.ini.IndicatePerFile = true;
    RealJob run(w, ui);
    // Report 100 begins member 49. While the worker is held at the next one, the display shows that member:
    // it takes the latest report while the library works, not only at the end.
    bool shownWhileWorking = false;
    run.onReport = [&](int report) {
        if (report == 101) shownWhileWorking = WaitOnWorker([&] { return ui.LastName() == "d9/m49.txt"; });
    };
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.Pump([&] { return run.ended; }, 60000));
    EXPECT_TRUE(shownWhileWorking);

    // Two reports a member, none of them waited for: the calls the worker waits for are the row's steps.
    EXPECT_EQ(run.reports, 2 * kMembers + 2);
    EXPECT_LE(run.main.invokes, 4);
    // Never one picture per report: at most about thirty a second (a slower machine only draws fewer).
    const double ms = run.lastReport - run.firstReport;
    ASSERT_GT(ms, 300);
    EXPECT_LE(ui.memberNames.size(), ms / 33 + 3);
    EXPECT_LE(ui.totalProgress.size(), ms / 33 + 3);
    // A picture costs the worker one post, and the main thread one timer for the rest of its interval.
    EXPECT_LE(run.main.posts, 2 * (ms / 33) + 10);
    // The archive's last values, drawn before its result line.
    ASSERT_FALSE(ui.memberNames.empty());
    EXPECT_EQ(ui.memberNames.back(), "d9/m299.txt");
    ASSERT_FALSE(ui.fileProgress.empty());
    EXPECT_EQ(ui.fileProgress.back(), 100);
    ASSERT_FALSE(ui.totalProgress.empty());
    EXPECT_EQ(ui.totalProgress.back(), 100);
    const auto result = std::find_if(ui.log.begin(), ui.log.end(),
                                     [](const std::string& l) { return l.rfind("> [ 解凍 ]", 0) == 0; });
    ASSERT_NE(result, ui.log.end()) << ui.LogText();
    EXPECT_LE(ui.totalAtLine.back(), static_cast<size_t>(result - ui.log.begin()));
    EXPECT_TRUE(ui.rows.empty()) << ui.LogText();
}

TEST(Progress, NothingIsDrawnWhileMinimised) {
    JobWorld w;
    ASSERT_TRUE(WriteFileBytes(w.dir.File(L"a.zip"), "scripted"));
    w.ui.rows = {w.Path("a.zip")};
    w.ui.minimized = true;
    w.ini.IndicatePerFile = true;
    // Ten reports: each member at 0, 1, 2, 999 and 1000 of 1000 bytes.
    w.archives = ScriptedArchiveFactory({{{"big.bin", 1000}, {"next.bin", 1000}}, 0, false}, {1, 2, 999});
    TUnPack unpack(w.Context(), {});
    RunJob(w, unpack);
    EXPECT_TRUE(w.ui.memberNames.empty() && w.ui.fileProgress.empty() && w.ui.totalProgress.empty());
    // Asked once per picture the display would draw, not once per report.
    EXPECT_LE(w.ui.minimizedChecks, 2);
    EXPECT_TRUE(w.ui.rows.empty()) << w.ui.LogText();
}

// On an LHA archive, so that the stop meets no ZIP question. Pause and stop are pressed, from the worker's
// side, just before a given report: what is asserted is what happened after it, not how fast.
TEST(Progress, PauseHoldsTheWorkerAtItsNextReportAndAStopEndsTheExtractionThere) {
    JobWorld w;
    constexpr int kMembers = 600;
    constexpr int kPauseAt = 31, kStopAt = 61;
    ASSERT_TRUE(WriteTaggedFixture(w.dir.File(L"a.lzh"), "LHA", Members(kMembers)));
    w.ui.rows = {w.Path("a.lzh")};
    RealJob run(w, w.ui);
    auto extracted = [&w] {
        int n = 0;
        for (int d = 0; d < 10; ++d) n += CountFiles(w.dir.File(L"d" + std::to_wstring(d)));
        return n;
    };
    std::atomic<int> filesAtStop{-1};
    run.onReport = [&](int report) {
        if (report == kPauseAt) run.job.Suspend();
        if (report == kStopAt) {
            filesAtStop = extracted();
            run.job.CancelRequested = 1;
            w.state.BreakPressed = 1;
        }
    };
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.Pump([&] { return run.job.Suspended(); }, 60000));

    // Paused: however long the main thread serves, no report comes after the one the pause met.
    run.Pump([] { return false; }, 300);
    EXPECT_EQ(run.reports, kPauseAt);
    EXPECT_TRUE(run.job.Running());
    run.job.Resume();

    ASSERT_TRUE(run.Pump([&] { return run.ended; }, 60000));
    // The stop reached the library at the report it met: no report and no file after it.
    EXPECT_EQ(run.reports, kStopAt);
    EXPECT_EQ(extracted(), filesAtStop);
    EXPECT_LT(filesAtStop, kMembers);
    EXPECT_EQ(w.state.CancelSeen, 1) << w.ui.LogText();
    EXPECT_TRUE(w.ui.Logged("> 後始末キャンセル"));
    EXPECT_EQ(w.ui.rows.size(), 1u);  // a stopped archive stays listed
}

// Components made one after another on a thread share its window; each report reaches the component that
// runs, and a second component alive at the same time gets a window of its own.
TEST(ArchiveProgressWindow, AThreadLendsAFreedComponentsWindowToItsNextOne) {
    JobWorld w;  // the stand-ins
    TempDir& dir = w.dir;
    ASSERT_TRUE(WriteZipFixture(dir.File(L"a.zip"), kFlat));
    auto extract = [&](TArchiveFile& af, int& reports, const char* out) {
        ASSERT_TRUE(CreateDirectoryW(dir.File(platform::SjisToWide(out)).c_str(), nullptr));
        af.SetFileName(dir.SjisFile("a.zip"));
        af.OnProgress = [&reports](TArchiveFile*, int, LPEXTRACTINGINFOEX, bool&) { ++reports; };
        EXPECT_EQ(af.Extract(nullptr, nullptr, dir.SjisFile(out) + "\\", "", {}), 0);
    };
    HWND first = nullptr;
    int firstReports = 0;
    {
        TArchiveFile af;
        extract(af, firstReports, "one");
        first = af.ProgressWindow();
        ASSERT_NE(first, nullptr);
    }
    EXPECT_TRUE(IsWindow(first));  // kept for the next component
    ASSERT_GT(firstReports, 0);

    int secondReports = 0, thirdReports = 0;
    TArchiveFile second;
    extract(second, secondReports, "two");
    EXPECT_EQ(second.ProgressWindow(), first);
    EXPECT_EQ(secondReports, firstReports);
    {
        TArchiveFile third;
        extract(third, thirdReports, "three");
        EXPECT_NE(third.ProgressWindow(), first);
        EXPECT_EQ(thirdReports, firstReports);
    }
    EXPECT_EQ(secondReports, firstReports);  // the third's reports went to the third alone
    EXPECT_EQ(ReadText(dir.File(L"three\\x.txt")), "x");
}
