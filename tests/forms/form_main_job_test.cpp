// Jobs run by the main window on real controls (the Xvfb pass), through the engine and the stand-in
// libraries: the start's confirmation, a whole job ending with the output folder, two stops, a cooperative
// pause, closing during a job (asked in status 3; stop first and close after the job otherwise), and a job of
// many archives drawn in batches.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <thread>

#include "app/forms/form_main.h"
#include "app/ini_control.h"
#include "archivers/job_state.h"
#include "has_display.h"
#include "platform/application.h"
#include "platform/sjis.h"
#include "support/fixtures.h"
#include "support/standin_log.h"
#include "support/temp_dir.h"

using namespace velmor;
using platform::Application;

namespace {

class MainWindowJob : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HasDisplay()) GTEST_SKIP() << "windows need a display";
        ::SetDllDirectoryW(testsupport::StandinFolder(L"full").c_str());
        Application.Initialize();
        Application.OnMessageBox = [this](HWND, const std::string& text, const std::string& caption, UINT) {
            boxes.push_back(caption + ":" + text);
            return answer;
        };
        JobState().Status = jsIdle;
        JobState().CommandLineRun = 0;
        form.Create();
        form.Show();
        boxes.clear();
        IniControl.ConfirmDelete = false;
        IniControl.ConfirmIgnore = false;
        IniControl.ShowEndDlg = false;
        IniControl.PreTestArc = false;
        IniControl.AfterMethod = 0;
        IniControl.PutLocation = 0;
        IniControl.BindFolder = true;
        IniControl.BindNum = 2;
        IniControl.SpecialExt = false;
        IniControl.IgnoreDirectory = false;
        JobState().ZipReady = 1;
        std::vector<testsupport::FixtureMember> members;
        for (int i = 0; i < 8; ++i)
            members.push_back({"m" + std::to_string(i) + ".txt", std::string(4000, 'a')});
        archive = dir.File(L"job.zip");
        ASSERT_TRUE(testsupport::WriteZipFixture(archive, members));
        form.AddFileToList(platform::WideToSjis(archive));
    }
    void TearDown() override {
        Release();
        if (form.Worker) form.Worker->Resume();
        Pump([] { return JobState().Status == jsIdle; }, 30000);
        form.Destroy();
        Application.OnMessageBox = nullptr;
        ::SetDllDirectoryW(nullptr);
    }
    // Serves the window and the worker until `done` holds; false on time-out.
    template <typename F>
    bool Pump(F done, DWORD ms) {
        DWORD start = ::GetTickCount();
        while (!done()) {
            if (::GetTickCount() - start > ms) return false;
            Application.ProcessMessages();
            ::Sleep(5);
        }
        return true;
    }
    int Extracted() {
        int n = 0;
        for (int i = 0; i < 8; ++i)
            n += testsupport::FileExists(dir.File(L"job\\m" + std::to_wstring(i) + L".txt")) ? 1 : 0;
        return n;
    }
    bool Logged(const std::string& tail) {
        auto lines = form.memoLog.Lines();
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.size() >= tail.size() && l.compare(l.size() - tail.size(), tail.size(), tail) == 0;
        });
    }
    // The pane holds every line logged so far, numbered one after the other up to the last number given.
    void ExpectEveryLineInThePane() {
        std::vector<std::string> lines = form.memoLog.Lines();
        ASSERT_FALSE(lines.empty());
        int expected = std::atoi(lines.front().c_str());
        for (const std::string& line : lines) {
            ASSERT_EQ(std::atoi(line.c_str()), expected) << line;
            ++expected;
        }
        EXPECT_EQ(expected - 1, form.LogLineCount());
    }
    // What the job list shows on screen: for each row place of its client area from the top, whether
    // anything is drawn in the first column besides the background (text, icon or highlight).
    std::vector<bool> DrawnRows() {
        std::vector<bool> drawn;
        HWND list = form.lvFiles.Handle();
        RECT client{};
        GetClientRect(list, &client);
        const int top = static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
        RECT first = form.lvFiles.ItemRect(top);
        if (first.bottom <= first.top) return drawn;
        const int height = first.bottom - first.top;
        const int width = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0));
        const COLORREF background = static_cast<COLORREF>(SendMessageW(list, LVM_GETBKCOLOR, 0, 0));
        HDC dc = GetDC(list);
        for (int y0 = first.top; y0 + height <= client.bottom; y0 += height) {
            bool any = false;
            for (int y = y0 + 2; y < y0 + height - 2 && !any; ++y)
                for (int x = first.left + 2; x < first.left + width - 4 && !any; ++x)
                    any = GetPixel(dc, x, y) != background;
            drawn.push_back(any);
        }
        ReleaseDC(list, dc);
        return drawn;
    }
    // The rows that should show: from the top row to the last one, as far as the list has room.
    std::vector<bool> ExpectedRows(size_t places) {
        const int top = static_cast<int>(SendMessageW(form.lvFiles.Handle(), LVM_GETTOPINDEX, 0, 0));
        std::vector<bool> rows(places, false);
        for (size_t i = 0; i < places && top + static_cast<int>(i) < form.lvFiles.Count(); ++i)
            rows[i] = true;
        return rows;
    }
    // The library holds each member after the first `after` of an archive, in the pre-test and in the
    // extraction, until Release(): the test acts during the job, however slow the machine.
    void HoldMembers(int after = 0) {
        ASSERT_TRUE(standins.SetScript(testsupport::StandinScript().Hold(platform::WideToSjis(release), after)));
    }
    void Release() { testsupport::WriteFileBytes(release, ""); }
    void SlowMembers(int ms) {
        ASSERT_TRUE(standins.SetScript(testsupport::StandinScript().Delay(ms).CheckDelay(ms)));
    }
    // The pane shows every line logged so far (what a batch draws).
    bool PaneComplete() {
        std::vector<std::string> lines = form.memoLog.Lines();
        return !lines.empty() && std::atoi(lines.back().c_str()) == form.LogLineCount();
    }

    testsupport::TempDir dir;
    testsupport::StandinSession standins{dir};
    std::wstring archive;
    std::wstring release = dir.File(L"release");
    TfrmMain form;
    std::vector<std::string> boxes;
    int answer = IDNO;
};

}  // namespace

TEST_F(MainWindowJob, ConfirmDeleteAnsweredNoStartsNothing) {
    IniControl.ConfirmDelete = true;
    IniControl.AfterMethod = 1;
    size_t before = form.memoLog.Lines().size();
    form.btnUnPackClick();
    EXPECT_EQ(boxes, std::vector<std::string>{"確認:後始末が\"削除\"になっています。\r続行しますか？"});
    EXPECT_EQ(form.memoLog.Lines().size(), before);
    EXPECT_FALSE(form.Worker);
    EXPECT_EQ(JobState().Status, jsIdle);
}

TEST_F(MainWindowJob, WholeJobEndsWithItsOutputFolder) {
    IniControl.PreTestArc = true;
    IniControl.IndicatePerFile = true;
    form.btnUnPackClick();
    EXPECT_FALSE(form.btnUnPack.Enabled());
    ASSERT_TRUE(Pump([] { return JobState().Status == jsIdle; }, 30000));
    EXPECT_EQ(Extracted(), 8);
    EXPECT_EQ(form.lvFiles.Count(), 0);
    EXPECT_TRUE(form.btnUnPack.Enabled());
    EXPECT_FALSE(form.btnBreak.Enabled());
    EXPECT_EQ(form.statusBar.PanelText(0), "処理終了");
    // The name box ends on the last member extracted, not on a name of the test before it.
    EXPECT_EQ(form.txtFileName.Text(), "m7.txt");
    std::string last = form.memoLog.Lines().back();
    std::string folder = platform::WideToSjis(dir.File(L"job"));
    EXPECT_EQ(last.substr(last.find("| ") + 2), folder);
    EXPECT_TRUE(testsupport::FileExists(archive));
}

TEST_F(MainWindowJob, SecondStopOnlyLogsAndTheJobEndsStopped) {
    // An LHA archive: a stop taken during a ZIP extraction asks whether to quit, and this test is about the
    // stop itself, whichever side of the library call it lands on.
    form.ClearFileList();
    std::vector<testsupport::FixtureMember> members;
    for (int i = 0; i < 8; ++i) members.push_back({"m" + std::to_string(i) + ".txt", std::string(4000, 'a')});
    archive = dir.File(L"job.lzh");
    ASSERT_TRUE(testsupport::WriteTaggedFixture(archive, "LHA", members));
    JobState().LhaReady = 1;
    form.AddFileToList(platform::WideToSjis(archive));
    HoldMembers(2);
    form.btnUnPackClick();
    ASSERT_TRUE(Pump([&] { return JobState().Status == jsWorking && Extracted() == 2; }, 60000));
    form.btnBreakClick();
    EXPECT_EQ(form.statusBar.PanelText(0), "中断中...暫くお待ち下さい");
    form.btnBreakClick();
    EXPECT_TRUE(Logged("[ お知らせ ]　中断中です。"));
    ASSERT_TRUE(Pump([] { return JobState().Status == jsIdle; }, 30000));
    EXPECT_TRUE(Logged("> [ 強制中断 ] 中断されました。"));
    // The notices of the stop sit among the job's lines in the order of their numbers.
    ExpectEveryLineInThePane();
    EXPECT_LT(Extracted(), 8);
    EXPECT_TRUE(testsupport::FileExists(archive));
    EXPECT_EQ(JobState().BreakPressed, 0);
    EXPECT_EQ(JobState().CancelSeen, 0);
}

TEST_F(MainWindowJob, PauseHoldsTheWorkerUntilResumed) {
    HoldMembers(2);
    form.btnUnPackClick();
    ASSERT_TRUE(Pump([&] { return JobState().Status == jsWorking && Extracted() == 2; }, 60000));
    form.btnSuspendClick();
    EXPECT_EQ(form.statusBar.PanelText(0), "一時停止中");
    EXPECT_TRUE(form.btnResume.Enabled());
    // Let go by the library while paused: the member in flight may still land, no later one does, however
    // long the window serves (a slower machine only looks for a shorter part of the pause).
    Release();
    Pump([] { return false; }, 1500);
    EXPECT_LE(Extracted(), 3);
    EXPECT_EQ(JobState().Status, jsWorking);
    form.btnResumeClick();
    EXPECT_EQ(form.statusBar.PanelText(0), "再開");
    ASSERT_TRUE(Pump([] { return JobState().Status == jsIdle; }, 30000));
    EXPECT_EQ(Extracted(), 8);
}

TEST_F(MainWindowJob, CloseWhileExtractingAsksAndStays) {
    HoldMembers();
    form.btnUnPackClick();
    ASSERT_TRUE(Pump([] { return JobState().Status == jsWorking; }, 60000));
    answer = IDNO;
    form.Close();
    EXPECT_EQ(boxes, std::vector<std::string>{"Velmor:解凍中です。中止に移りますか？"});
    EXPECT_TRUE(form.Visible());
    Release();
    ASSERT_TRUE(Pump([] { return JobState().Status == jsIdle; }, 30000));
    EXPECT_EQ(Extracted(), 8);
    EXPECT_TRUE(form.Visible()) << "the job ended; the window was not asked to close";
}

TEST_F(MainWindowJob, CloseDuringPreTestStopsTheJobThenCloses) {
    IniControl.PreTestArc = true;
    HoldMembers();
    form.btnUnPackClick();
    ASSERT_TRUE(Pump([] { return JobState().Status == jsPreTesting; }, 60000));
    // A ZIP stop taken at a library report asks whether to end; Yes keeps the stop.
    answer = IDYES;
    form.Close();
    EXPECT_TRUE(form.Visible()) << "the window stays while the worker runs";
    ASSERT_TRUE(Pump([] { return JobState().Status == jsIdle; }, 30000));
    Pump([&] { return !form.Visible(); }, 30000);
    EXPECT_FALSE(form.Visible()) << "closed once the job had ended";
    EXPECT_EQ(Extracted(), 0);
}

// Ticked on the first tab, "フォルダ構成を無視して解凍" reaches the job: the members land without their folders.
TEST_F(MainWindowJob, FolderStructureBoxReachesTheJob) {
    form.ClearFileList();
    archive = dir.File(L"tree.zip");
    ASSERT_TRUE(testsupport::WriteZipFixture(archive, {{"d/", ""}, {"d/a.txt", "a"}, {"d/e/b.txt", "b"}}));
    form.AddFileToList(platform::WideToSjis(archive));
    IniControl.BindFolder = false;
    IniControl.IgnoredSingleBind = false;
    ::SendMessageW(form.chkIgnoreDirectory.Handle(), BM_CLICK, 0, 0);
    ASSERT_TRUE(IniControl.IgnoreDirectory);
    form.btnUnPackClick();
    ASSERT_TRUE(Pump([] { return JobState().Status == jsIdle; }, 30000));
    EXPECT_TRUE(testsupport::FileExists(dir.File(L"a.txt")));
    EXPECT_TRUE(testsupport::FileExists(dir.File(L"b.txt")));
    EXPECT_FALSE(testsupport::FileExists(dir.File(L"d\\a.txt")));
    EXPECT_TRUE(Logged(">  ディレクトリ構成：無視 "));
}

// A job refused before its first row (no output folder) did nothing, and its end notice says so.
TEST_F(MainWindowJob, RefusedJobEndsWithANoticeOfWhatHappened) {
    IniControl.ShowEndDlg = true;
    IniControl.PutLocation = 1;
    form.cmbSpecialFolder.SetText("");
    answer = IDOK;
    form.btnUnPackClick();
    ASSERT_TRUE(Pump([] { return JobState().Status == jsIdle && !JobState().AbortJob; }, 30000));
    Pump([&] { return boxes.size() >= 2; }, 30000);
    EXPECT_EQ(boxes, (std::vector<std::string>{"フォルダ:フォルダ(解凍先)が指定されていません",
                                               std::string("Velmor お知らせ:") + TfrmMain::kRefusedJobText}));
    EXPECT_EQ(Extracted(), 0);
    EXPECT_EQ(form.lvFiles.Count(), 1);

    // A job that ran ends with the usual notice.
    boxes.clear();
    IniControl.PutLocation = 0;
    form.btnUnPackClick();
    ASSERT_TRUE(Pump([] { return JobState().Status == jsIdle; }, 30000));
    Pump([&] { return !boxes.empty(); }, 30000);
    EXPECT_EQ(boxes, std::vector<std::string>{"Velmor お知らせ:処理が終了しました。"});
    EXPECT_EQ(Extracted(), 8);
}

// A folder row of many files is walked on the worker: the window answers messages while the walk and the
// listing of its rows go on (the stop that follows the answers still finds rows to take out again, so they
// came before the listing ended), the name box shows where the walk is, and a stop ends the walk with
// nothing listed or extracted after it and the folder row kept for a later job.
TEST_F(MainWindowJob, FolderRowWalkKeepsTheWindowAnsweringAndStops) {
    form.ClearFileList();
    const std::wstring big = dir.File(L"大きいフォルダ");
    ::CreateDirectoryW(big.c_str(), nullptr);
    for (int d = 0; d < 12; ++d) {
        const std::wstring sub = big + L"\\sub" + std::to_wstring(d);
        ::CreateDirectoryW(sub.c_str(), nullptr);
        for (int f = 0; f < 2000; ++f) {
            HANDLE h = ::CreateFileW((sub + L"\\f" + std::to_wstring(f) + L".txt").c_str(), GENERIC_WRITE, 0,
                                     nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
        }
    }
    ASSERT_TRUE(testsupport::WriteZipFixture(big + L"\\sub0\\inside.zip", {{"inside.txt", "x"}}));
    const std::string bigText = platform::WideToSjis(big);
    form.AddFileToList(bigText);

    // Probed from the start of the job on the worker to the stop: the clicks' own work on the window's
    // thread is not the walk's.
    form.btnUnPackClick();
    std::atomic<bool> probing{true};
    std::atomic<int> answered{0}, unanswered{0};
    HWND window = form.Handle();
    std::thread prober([&] {
        while (probing) {
            DWORD_PTR result = 0;
            // The time-out only catches a hang: the order of the answers and the stop is what is checked.
            if (::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result))
                ++answered;
            else
                ++unanswered;
            ::Sleep(20);
        }
    });
    // The walk shows the folder it is in.
    const bool walkShown = Pump([&] { return form.txtFileName.Text().rfind(bigText, 0) == 0; }, 20000);
    // A few answers more while the walk goes on.
    Pump([&] { return answered + unanswered >= 5; }, 60000);
    probing = false;
    prober.join();
    form.btnBreakClick();
    const int rowsAtStop = form.lvFiles.Count();
    const bool ended = Pump([] { return JobState().Status == jsIdle; }, 30000);
    EXPECT_TRUE(walkShown);
    ASSERT_TRUE(ended);
    EXPECT_EQ(unanswered, 0) << answered << " answered";
    EXPECT_GT(answered, 0);
    // Nothing after the stop: no row listed, nothing extracted; the expansion's rows are gone again.
    EXPECT_LE(form.lvFiles.Count(), rowsAtStop);
    ASSERT_EQ(form.lvFiles.Count(), 1);
    EXPECT_EQ(form.lvFiles.Caption(0), bigText);
    EXPECT_FALSE(testsupport::FileExists(big + L"\\sub0\\inside.txt"));
    EXPECT_TRUE(Logged("> [ 強制中断 ] 中断されました。"));
}

// Many small archives: the window draws the job in batches, and what it shows is still what happened: every
// log line in the order of its number and the archives' lines in the order of the archives, at a pause and at
// the end; the list drawn with the rows that are left (the one that failed); the log file written at the
// close with every line.
TEST_F(MainWindowJob, ManyArchivesShowEveryLineAndTheRowsLeft) {
    form.ClearFileList();
    IniControl.ClearAll = false;
    // Room for several rows in the list.
    form.SetBounds(0, 0, 640, 720);
    constexpr int kArchives = 24, kBroken = 7;
    std::vector<std::string> paths;
    for (int i = 0; i < kArchives; ++i) {
        const std::wstring file = dir.File(L"s" + std::to_wstring(i) + L".zip");
        if (i == kBroken)
            ASSERT_TRUE(testsupport::WriteFileBytes(file, "not an archive"));
        else
            ASSERT_TRUE(testsupport::WriteZipFixture(file, {{"f" + std::to_string(i) + ".txt", "data"}}));
        paths.push_back(platform::WideToSjis(file));
        form.AddFileToList(paths.back());
    }
    SlowMembers(40);
    form.btnUnPackClick();
    ASSERT_TRUE(Pump([&] { return form.lvFiles.Count() <= kArchives - 8; }, 30000));
    form.btnSuspendClick();
    // The next batch comes while paused: then the pane and the list show everything so far.
    Pump([&] { return PaneComplete(); }, 30000);
    ExpectEveryLineInThePane();
    std::vector<bool> drawn = DrawnRows();
    ASSERT_GE(drawn.size(), 4u);
    EXPECT_EQ(drawn, ExpectedRows(drawn.size()));
    form.btnResumeClick();
    ASSERT_TRUE(Pump([] { return JobState().Status == jsIdle; }, 60000));
    Pump([&] { return PaneComplete(); }, 30000);

    ExpectEveryLineInThePane();
    ASSERT_EQ(form.lvFiles.Count(), 1);
    EXPECT_EQ(form.lvFiles.Caption(0), paths[kBroken]);
    drawn = DrawnRows();
    EXPECT_EQ(drawn, ExpectedRows(drawn.size()));
    EXPECT_TRUE(drawn.front());
    // Each archive's head line, in the order of the archives.
    std::vector<std::string> heads;
    for (const std::string& line : form.memoLog.Lines())
        if (line.find(">>>> [ ") != std::string::npos) heads.push_back(line.substr(line.find('"') + 1));
    ASSERT_EQ(heads.size(), static_cast<size_t>(kArchives));
    for (size_t i = 0; i < heads.size(); ++i) EXPECT_EQ(heads[i].find(paths[i] + "\""), 0u) << heads[i];
    for (int i = 0; i < kArchives; ++i) {
        if (i == kBroken) continue;
        EXPECT_TRUE(testsupport::FileExists(dir.File(L"f" + std::to_wstring(i) + L".txt"))) << i;
    }

    // Closed, the window writes the pane's lines to the log file, each ended by CR LF.
    std::string expected;
    for (const std::string& line : form.memoLog.Lines()) expected += line + "\r\n";
    JobState().LogFilePath = platform::WideToSjis(dir.File(L"VelmorLog.txt"));
    IniControl.bLogFile = true;
    IniControl.KBDeleteLog = 2000;
    form.Close();
    EXPECT_EQ(testsupport::ReadFileBytes(dir.File(L"VelmorLog.txt")).value_or(""), expected);
}
