// Jobs run by the main window on real controls (the Xvfb pass), through the engine and the stand-in
// libraries: the start's confirmation, a whole job ending with the output folder, two stops, a cooperative
// pause, and closing during a job (asked in status 3; stop first and close after the job otherwise).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

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
    void SlowMembers(int ms) {
        ASSERT_TRUE(standins.SetScript(testsupport::StandinScript().Delay(ms).CheckDelay(ms)));
    }

    testsupport::TempDir dir;
    testsupport::StandinSession standins{dir};
    std::wstring archive;
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
    SlowMembers(150);
    form.btnUnPackClick();
    ASSERT_TRUE(Pump([] { return JobState().Status == jsWorking; }, 20000));
    form.btnBreakClick();
    EXPECT_EQ(form.statusBar.PanelText(0), "中断中...暫くお待ち下さい");
    form.btnBreakClick();
    EXPECT_TRUE(Logged("[ お知らせ ]　中断中です。"));
    ASSERT_TRUE(Pump([] { return JobState().Status == jsIdle; }, 30000));
    EXPECT_TRUE(Logged("> [ 強制中断 ] 中断されました。"));
    EXPECT_LT(Extracted(), 8);
    EXPECT_TRUE(testsupport::FileExists(archive));
    EXPECT_EQ(JobState().BreakPressed, 0);
    EXPECT_EQ(JobState().CancelSeen, 0);
}

TEST_F(MainWindowJob, PauseHoldsTheWorkerUntilResumed) {
    SlowMembers(100);
    form.btnUnPackClick();
    ASSERT_TRUE(Pump([] { return JobState().Status == jsWorking; }, 20000));
    form.btnSuspendClick();
    EXPECT_EQ(form.statusBar.PanelText(0), "一時停止中");
    EXPECT_TRUE(form.btnResume.Enabled());
    // One member in flight may still land; then nothing moves while paused.
    Pump([] { return false; }, 400);
    int held = Extracted();
    Pump([] { return false; }, 800);
    EXPECT_EQ(Extracted(), held);
    EXPECT_EQ(JobState().Status, jsWorking);
    form.btnResumeClick();
    EXPECT_EQ(form.statusBar.PanelText(0), "再開");
    ASSERT_TRUE(Pump([] { return JobState().Status == jsIdle; }, 30000));
    EXPECT_EQ(Extracted(), 8);
}

TEST_F(MainWindowJob, CloseWhileExtractingAsksAndStays) {
    SlowMembers(100);
    form.btnUnPackClick();
    ASSERT_TRUE(Pump([] { return JobState().Status == jsWorking; }, 20000));
    answer = IDNO;
    form.Close();
    EXPECT_EQ(boxes, std::vector<std::string>{"Velmor:解凍中です。中止に移りますか？"});
    EXPECT_TRUE(form.Visible());
    ASSERT_TRUE(Pump([] { return JobState().Status == jsIdle; }, 30000));
    EXPECT_EQ(Extracted(), 8);
    EXPECT_TRUE(form.Visible()) << "the job ended; the window was not asked to close";
}

TEST_F(MainWindowJob, CloseDuringPreTestStopsTheJobThenCloses) {
    IniControl.PreTestArc = true;
    SlowMembers(150);
    form.btnUnPackClick();
    ASSERT_TRUE(Pump([] { return JobState().Status == jsPreTesting; }, 20000));
    // A ZIP stop taken at a library report asks whether to end; Yes keeps the stop.
    answer = IDYES;
    form.Close();
    EXPECT_TRUE(form.Visible()) << "the window stays while the worker runs";
    ASSERT_TRUE(Pump([] { return JobState().Status == jsIdle; }, 30000));
    Pump([&] { return !form.Visible(); }, 2000);
    EXPECT_FALSE(form.Visible()) << "closed once the job had ended";
    EXPECT_EQ(Extracted(), 0);
}
