// A start with "-d", "-t" or "-k" (the Xvfb pass): the switch holds for that start only, so the settings file
// the command-line job saves at its end keeps the after-extraction action the user chose in the window.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/forms/form_main.h"
#include "app/ini_control.h"
#include "app/shell_util.h"
#include "archivers/job_state.h"
#include "has_display.h"
#include "platform/application.h"
#include "platform/sjis.h"
#include "support/temp_dir.h"

using namespace velmor;
using platform::Application;

namespace {

class MainWindowStart : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HasDisplay()) GTEST_SKIP() << "windows need a display";
        Application.Initialize();
        Application.OnMessageBox = [](HWND, const std::string&, const std::string&, UINT) { return IDYES; };
        ini_ = platform::SjisToWide(GetSpecialFolder("mydocument") + "Velmor.ini");
        log_ = platform::SjisToWide(GetSpecialFolder("mydocument") + "VelmorLog.txt");
    }
    void TearDown() override {
        Application.OnMessageBox = nullptr;
        Application.ShowMainForm = true;
        JobState().CommandLineRun = 0;
        JobState().Status = jsIdle;
        ::DeleteFileW(ini_.c_str());
        ::DeleteFileW(log_.c_str());
    }
    std::wstring ini_, log_;
    testsupport::TempDir dir_;
};

}  // namespace

TEST_F(MainWindowStart, SwitchIsNotSavedAsTheSetting) {
    for (const char* option : {"-d", "-t", "-k"}) {
        SCOPED_TRACE(option);
        // The user's choice: move to a folder. Quiet otherwise, the window hidden for the job.
        ASSERT_TRUE(testsupport::WriteFileBytes(
            ini_, "[Main]\r\nAfterMethod=3\r\n[Sub_Confirm]\r\nConfirmDelete=0\r\nConfirmSendTo=0\r\nShowEndDlg=0\r\n"
                  "[Sub_Other]\r\nCmdHideWnd=1\r\n"));
        JobState().Status = jsIdle;
        TfrmMain form({option, dir_.SjisFile("missing.zip")});
        form.Create();
        EXPECT_EQ(IniControl.AfterMethod, std::string(option) == "-d" ? 1 : std::string(option) == "-t" ? 2 : 0);
        DWORD start = ::GetTickCount();
        while (JobState().Status != jsIdle || form.Visible()) {
            ASSERT_LT(::GetTickCount() - start, 30000u) << "the command-line job ends";
            Application.ProcessMessages();
            ::Sleep(5);
        }
        // The job's end saved the settings file: the stored action is the user's, not the switch's.
        auto saved = testsupport::ReadFileBytes(ini_);
        ASSERT_TRUE(saved);
        EXPECT_NE(saved->find("AfterMethod=3\r\n"), std::string::npos) << *saved;
        form.Destroy();
    }
}
