// The main window on real Win32 controls (the Xvfb pass): drops with their size texts and NO numbers and
// none while extracting, the numbered log pane, the log file appended and cut at its limit, removing
// selected rows, the folder history, and a window destroyed from outside.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <fstream>
#include <iterator>

#include "app/forms/form_main.h"
#include "app/ini_control.h"
#include "archivers/job_state.h"
#include "app/forms/form_arc_view.h"
#include "app/shell_util.h"
#include "has_display.h"
#include "real_input.h"
#include "platform/application.h"
#include "platform/sjis.h"

using namespace velmor;
using platform::Application;

namespace {

std::string TempFolder(const char* name) {
    wchar_t buffer[MAX_PATH];
    ::GetTempPathW(MAX_PATH, buffer);
    std::string folder = platform::WideToSjis(buffer) + name + "\\";
    ::SHCreateDirectoryExW(nullptr, platform::SjisToWide(folder).c_str(), nullptr);
    return folder;
}

void WriteBytes(const std::string& path, size_t size) {
    platform::UniqueFile f(::CreateFileW(platform::SjisToWide(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string data(size, 'x');
    DWORD done = 0;
    ::WriteFile(f.Get(), data.data(), static_cast<DWORD>(data.size()), &done, nullptr);
}

std::string ReadBytes(const std::string& path) {
    platform::UniqueFile f(::CreateFileW(platform::SjisToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string data;
    char buffer[4096];
    DWORD got = 0;
    while (f && ::ReadFile(f.Get(), buffer, sizeof(buffer), &got, nullptr) && got) data.append(buffer, got);
    return data;
}

// A drop handle as the shell makes one, with wide names.
HDROP MakeDrop(const std::vector<std::string>& paths) {
    std::wstring names;
    for (const std::string& p : paths) names += platform::SjisToWide(p) + L'\0';
    names += L'\0';
    HGLOBAL mem = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size() * 2);
    auto* df = static_cast<DROPFILES*>(::GlobalLock(mem));
    df->pFiles = sizeof(DROPFILES);
    df->fWide = TRUE;
    memcpy(df + 1, names.data(), names.size() * 2);
    ::GlobalUnlock(mem);
    return static_cast<HDROP>(mem);
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HasDisplay()) GTEST_SKIP() << "windows need a display";
        Application.Initialize();
        Application.OnMessageBox = [this](HWND, const std::string& text, const std::string& caption, UINT) {
            boxes.push_back(caption + ":" + text);
            return IDOK;
        };
        JobState().Status = jsIdle;
        form.Create();
        created = boxes;
        boxes.clear();
    }
    void TearDown() override {
        JobState().Status = jsIdle;
        form.Destroy();
        Application.OnMessageBox = nullptr;
    }
    std::vector<std::string> Row(int i) {
        std::vector<std::string> r{form.lvFiles.Caption(i)};
        for (int s = 0; s < form.lvFiles.SubItemCount(i); ++s) r.push_back(form.lvFiles.SubItem(i, s));
        return r;
    }
    TfrmMain form;
    std::vector<std::string> boxes, created;
};

}  // namespace

TEST_F(MainWindow, DropsAddRowsUnlessExtracting) {
    std::string dir = TempFolder("velmor_drop_表");
    std::string file = dir + "写真.lzh", folder = dir + "sub";
    WriteBytes(file, 5000);
    ::CreateDirectoryW(platform::SjisToWide(folder).c_str(), nullptr);
    std::string missing = dir + "missing.zip";
    form.DropFiles(MakeDrop({file, folder, "Z:\\", missing}));
    ASSERT_EQ(form.lvFiles.Count(), 4);
    EXPECT_EQ(Row(0), (std::vector<std::string>{file, "4 KB", "1"}));
    EXPECT_EQ(Row(1), (std::vector<std::string>{folder, "0 KB", "2"}));
    EXPECT_EQ(Row(2), (std::vector<std::string>{"Z:\\", "\"フォルダ\"", "3"}));
    // A path that names nothing has no size; its number takes the next place.
    EXPECT_EQ(Row(3), (std::vector<std::string>{missing, "4"}));

    JobState().Status = jsWorking;
    form.DropFiles(MakeDrop({file}));
    EXPECT_EQ(form.lvFiles.Count(), 4);
    JobState().Status = jsPreTesting;
    form.DropFiles(MakeDrop({file}));
    EXPECT_EQ(form.lvFiles.Count(), 5);
}

TEST_F(MainWindow, LogPaneNumbersAndClear) {
    // The head line, then the library check: no library sits beside the test program, so each is reported
    // missing and the installer question is asked once (answered with OK, not Yes: nothing more happens).
    std::vector<std::string> lines = form.memoLog.Lines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0].rfind(" 1| [ ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], " 2| ─── 解凍・圧縮用DLL検査 ──");
    EXPECT_EQ(lines[2], " 3| [ DLL ] \"LHA\"\t「なし　『ファイル』メニューからインストールできます」");
    EXPECT_EQ(lines[4], " 5| [ DLL ] \"CAB\"\t「なし　『ファイル』メニューからインストールできます」");
    EXPECT_EQ(lines[7], " 8| ─── ─── ─── ─── ─── ");
    EXPECT_EQ(created, std::vector<std::string>{"圧縮解凍DLLチェック:圧縮解凍に必要なDLLに足りないものがあります。"
                                                "インターネットから最新版をインストールしますか？"});
    form.AppendLog("***");
    form.AppendLog("next");
    lines = form.memoLog.Lines();
    EXPECT_EQ(lines.back(), " 10| next");
    form.ClearLog();
    form.AppendLog("fresh");
    EXPECT_EQ(form.memoLog.Lines(), std::vector<std::string>{" 1| fresh"});
    // The stop command with no job only logs.
    form.btnBreakClick();
    EXPECT_EQ(form.memoLog.Lines().back(), " 2| [ お知らせ ]　処理が開始されていません。");
    form.btnUnPackClick();
    EXPECT_EQ(form.memoLog.Lines().back(), " 3| > 処理ファイルがありません。");
}

TEST_F(MainWindow, LogFileAppendedAndCutAtItsLimit) {
    std::string dir = TempFolder("velmor_log");
    std::string path = dir + "VelmorLog.txt";
    ::DeleteFileW(platform::SjisToWide(path).c_str());
    JobState().LogFilePath = path;
    IniControl.KBDeleteLog = 2000;
    form.ClearLog();
    form.AppendLog("C:\\表\\ソフト");
    form.WriteLogFile();
    form.WriteLogFile();
    std::string expected = " 1| C:\\表\\ソフト\r\n";
    EXPECT_EQ(ReadBytes(path), expected + expected);
    // Past the limit the file goes whole, this run's lines too.
    IniControl.KBDeleteLog = 1;
    for (int i = 0; i < 80; ++i) form.AppendLog(std::string(40, 'x'));
    form.WriteLogFile();
    EXPECT_EQ(::GetFileAttributesW(platform::SjisToWide(path).c_str()), INVALID_FILE_ATTRIBUTES);
    // A hand-edited 0 is the default limit, not "delete at every close".
    IniControl.KBDeleteLog = 0;
    form.WriteLogFile();
    EXPECT_NE(::GetFileAttributesW(platform::SjisToWide(path).c_str()), INVALID_FILE_ATTRIBUTES);
    // The delete command reports a deletion, and is silent when there is nothing to delete.
    form.DeleteLogFile();
    form.DeleteLogFile();
    EXPECT_EQ(boxes, std::vector<std::string>{"情報:記録ファイルを初期化しました"});
    IniControl.KBDeleteLog = 2000;
}

TEST_F(MainWindow, RemoveSelectedRowsAndPreview) {
    for (const char* name : {"1.zip", "2.txt", "3.zip", "4.zip", "5.lzh"}) form.AddFileToList(name);
    form.PreviewSelected();
    for (int i : {0, 2, 3}) form.lvFiles.SetSelected(i, true);
    JobState().Status = jsStarted;
    form.RemoveSelectedRows();
    EXPECT_EQ(form.lvFiles.Count(), 5) << "no removal while a job runs";
    JobState().Status = jsIdle;
    form.RemoveSelectedRows();
    ASSERT_EQ(form.lvFiles.Count(), 2);
    EXPECT_EQ(form.lvFiles.Caption(0), "2.txt");
    EXPECT_EQ(form.lvFiles.Caption(1), "5.lzh");
    form.lvFiles.SetSelected(0, true);
    form.PreviewSelected();
    std::string previewed;
    form.Hooks.ShowArchive = [&](const std::string& path) { previewed = path; };
    form.lvFiles.SetSelected(0, false);
    form.lvFiles.SetSelected(1, true);
    form.PreviewSelected();
    EXPECT_EQ(previewed, "5.lzh");
    EXPECT_EQ(boxes, (std::vector<std::string>{"圧縮ファイルの閲覧:閲覧する圧縮ファイルがありません",
                                               "圧縮ファイルの閲覧:閲覧できない形式（またはフォルダ）です"}));
}

TEST_F(MainWindow, FolderHistoryKeepsSixEntries) {
    platform::TComboBox& combo = form.cmbSpecialFolder;
    ASSERT_EQ(combo.Count(), 6);
    for (int i = 0; i < 6; ++i) combo.SetItem(i, "F" + std::to_string(i));
    form.PushComboHistory(combo, "F3");
    EXPECT_EQ(combo.Item(0), "F0");
    form.PushComboHistory(combo, "C:\\表\\");
    EXPECT_EQ(combo.Count(), 6);
    EXPECT_EQ(combo.Item(0), "C:\\表\\");
    EXPECT_EQ(combo.Item(1), "F0");
    EXPECT_EQ(combo.Item(5), "F4");
}

TEST_F(MainWindow, DestroyedFromOutsideLetsGoOfItsHandles) {
    ASSERT_NE(form.Handle(), nullptr);
    ::DestroyWindow(form.Handle());
    EXPECT_EQ(form.Handle(), nullptr);
    EXPECT_EQ(form.lvFiles.Handle(), nullptr);
    EXPECT_EQ(form.memoLog.Handle(), nullptr);
    EXPECT_EQ(Application.FormFromWindow(nullptr), nullptr);
}

TEST_F(MainWindow, OptionControlsFollowTheUsersChoice) {
    // A user's choice arrives as the combo's selection change; values set by code fire nothing.
    auto choose = [&](platform::TComboBox& combo, int index) {
        combo.SetItemIndex(index);
        ::SendMessageW(form.Handle(), WM_COMMAND, MAKEWPARAM(combo.Id(), CBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(combo.Handle()));
    };
    IniControl.Favorite[1] = "D:\\定番\\";
    choose(form.cmbOpenDirectory, 3);
    EXPECT_EQ(IniControl.PutLocation, 3);
    EXPECT_EQ(form.cmbSpecialFolder.Text(), "D:\\定番\\");
    EXPECT_TRUE(form.cmbSpecialFolder.Enabled());
    choose(form.cmbOpenDirectory, 5);
    EXPECT_EQ(form.cmbSpecialFolder.Text(), "マイドキュメント");
    EXPECT_FALSE(form.btnSelectFolder.Enabled());
    choose(form.cmbAfterMethod, 1);
    EXPECT_EQ(IniControl.AfterMethod, 1);
    EXPECT_EQ(form.cmbMoveFolder.Text(), "削除");
    EXPECT_FALSE(form.cmbMoveFolder.Enabled());
    IniControl.MoveFolder = "E:\\移動\\";
    choose(form.cmbAfterMethod, 3);
    EXPECT_EQ(form.cmbMoveFolder.Text(), "E:\\移動\\");
    EXPECT_TRUE(form.btnSelectMoveFolder.Enabled());
    // Text set by code is no user change: the setting stays.
    form.cmbMoveFolder.SetText("F:\\other\\");
    EXPECT_EQ(IniControl.MoveFolder, "E:\\移動\\");
    choose(form.cmbAfterMethod, 0);
    IniControl.MoveFolder.clear();
}

TEST_F(MainWindow, SearchOnAnEmptyListAndTheTrayIcon) {
    form.btnSearch.Click();
    EXPECT_EQ(boxes, std::vector<std::string>{"検索:検索対象になる圧縮ファイルがありません。"});
    form.Show();
    form.N10->Click();
    EXPECT_FALSE(form.Visible());
    form.popupTrayIcon[0].Click();
    EXPECT_TRUE(form.Visible());
}

TEST_F(MainWindow, StatusTextsFitTheirPanel) {
    form.Show();
    for (const char* text : {"登録待ち", "書庫テスト中", "解凍開始", "中断中...暫くお待ち下さい", "一時停止中",
                             "再開", "処理終了", TfrmArcView::kUnknownFolderText}) {
        SCOPED_TRACE(text);
        form.SetStatusText(text);
        RECT panel{};
        ::SendMessageW(form.statusBar.Handle(), SB_GETRECT, 0, reinterpret_cast<LPARAM>(&panel));
        // The panel's edge and the text's inset take a few pixels on each side.
        EXPECT_LE(form.statusBar.TextWidth(text) + 10, panel.right - panel.left);
    }
}

TEST_F(MainWindow, SettingsMenuShowsNoJobCommands) {
    // Suspend and resume are tool-bar commands; their menu items exist for the enabling rules only.
    HMENU settings = form.mmShowOption->SubMenu();
    for (int i = 0; i < ::GetMenuItemCount(settings); ++i) {
        wchar_t text[128] = {};
        ::GetMenuStringW(settings, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
        EXPECT_NE(std::wstring(text), L"一時停止");
        EXPECT_NE(std::wstring(text), L"再開");
    }
    EXPECT_FALSE(form.mmSuspend->Visible());
    // Hidden, the item keeps its state and comes back in its place.
    form.mmSuspend->SetEnabled(true);
    form.mmSuspend->SetVisible(true);
    const int count = ::GetMenuItemCount(settings);
    EXPECT_EQ(::GetMenuItemID(settings, count - 1), form.mmSuspend->Command());
    EXPECT_EQ(::GetMenuState(settings, form.mmSuspend->Command(), MF_BYCOMMAND) & MF_GRAYED, 0u);
    form.mmSuspend->SetVisible(false);
    EXPECT_EQ(::GetMenuItemCount(settings), count - 1);
}

TEST_F(MainWindow, ClosingStoresTheFolderHistory) {
    form.PushComboHistory(form.cmbMoveFolder, "G:\\履歴\\");
    form.StoreFolderHistory();
    EXPECT_EQ(IniControl.MRU_MoveFolder[0], "G:\\履歴\\");
}

TEST_F(MainWindow, SettingsMenuTicksAndToggles) {
    IniControl.ClearAll = true;
    IniControl.DelFolderNum = false;
    IniControl.IgnoreDirectory = false;
    form.mmShowOption->Click();
    EXPECT_TRUE(form.mmClearAll->Checked());
    EXPECT_FALSE(form.mmDelFolderNum->Checked());
    form.mmClearAll->Click();
    EXPECT_FALSE(IniControl.ClearAll);
    form.mmDelFolderNum->Click();
    EXPECT_TRUE(IniControl.DelFolderNum);
    form.mmIgnoreDirectory->Click();
    EXPECT_TRUE(IniControl.IgnoreDirectory);
    EXPECT_TRUE(form.chkIgnoreDirectory.Checked());
    EXPECT_EQ(form.statusBar.PanelText(1), "ディレクトリ構成無視 , 末尾数字等除去");
    form.btnIgnoreDirectory.Click();
    EXPECT_FALSE(IniControl.IgnoreDirectory);
    EXPECT_EQ(form.statusBar.PanelText(1), "末尾数字等除去");
    form.SetTopMost(true);
    form.mmTopMost->Click();
    EXPECT_FALSE(IniControl.TopMost);
    EXPECT_FALSE(form.TopMost());
    EXPECT_EQ(JobState().TopMostNow, 0);
    IniControl.DelFolderNum = false;
    IniControl.ClearAll = true;
}

// Keyboard only, on each page of the options tabs: Tab goes from the page buttons through the page's enabled
// controls, the job list, the tool bar, the log pane (read-only, it hands Tab on) and the progress row, in the
// order they are laid out, and back round; Shift+Tab goes the other way; Ctrl+Tab changes the page.
TEST_F(MainWindow, TabWalksEveryControlInLayoutOrder) {
    form.Show();
    ::SetForegroundWindow(form.Handle());
    realinput::Serve(300);
    ASSERT_EQ(realinput::FocusedControl(form.Handle()), form.pageProcTab.Handle());
    const std::vector<std::vector<platform::TWinControl*>> pages = {
        {&form.cmbOpenDirectory, &form.cmbSpecialFolder, &form.btnSelectFolder, &form.btnSpecialFolder,
         &form.cmbAfterMethod, &form.cmbMoveFolder, &form.btnSelectMoveFolder, &form.btnMoveFolder,
         &form.chkSpecialExt, &form.txtExt, &form.chkIgnoreDirectory, &form.chkPretestArc, &form.cmbPreTestMode},
        {&form.cmbCompType},
        {&form.btnDelLogFile, &form.btnOpenLogFile, &form.btnSetting, &form.btnIgnoreDirectory, &form.chkLog},
    };
    const std::vector<platform::TWinControl*> below = {
        &form.lvFiles,   &form.btnUnPack,  &form.btnPreview, &form.btnClearList,       &form.btnSearch,
        &form.btnCompress, &form.btnSuspend, &form.btnResume, &form.btnBreak, &form.memoLog,
        &form.chkIndicatePerFile, &form.txtFileName};
    for (int page = 0; page < 3; ++page) {
        SCOPED_TRACE(page);
        EXPECT_EQ(form.pageProcTab.TabIndex(), page);
        std::vector<HWND> expected;
        for (const auto* list : {&pages[static_cast<size_t>(page)], &below})
            for (platform::TWinControl* c : *list)
                if (c->Enabled()) expected.push_back(c->Handle());
        expected.push_back(form.pageProcTab.Handle());
        EXPECT_EQ(realinput::TabRound(form.Handle(), false), expected);
        std::vector<HWND> back(expected.rbegin() + 1, expected.rend());
        back.push_back(form.pageProcTab.Handle());
        EXPECT_EQ(realinput::TabRound(form.Handle(), true), back);
        realinput::Press(VK_TAB, {VK_CONTROL});
    }
    EXPECT_EQ(form.pageProcTab.TabIndex(), 0);
    // Space acts on the focused box.
    const bool perFile = IniControl.IndicatePerFile;
    form.chkIndicatePerFile.SetFocus();
    realinput::Press(VK_SPACE);
    EXPECT_NE(IniControl.IndicatePerFile, perFile);
    realinput::Press(VK_SPACE);
    EXPECT_EQ(IniControl.IndicatePerFile, perFile);
}

// The first tab's box for the folder structure is the setting the menu item toggles: its click changes the
// setting, the menu's tick and the option summary.
TEST_F(MainWindow, FolderStructureBoxChangesTheSetting) {
    IniControl.IgnoreDirectory = false;
    IniControl.DelFolderNum = false;
    form.chkIgnoreDirectory.SetChecked(false);
    for (bool on : {true, false}) {
        SCOPED_TRACE(on);
        ::SendMessageW(form.chkIgnoreDirectory.Handle(), BM_CLICK, 0, 0);
        EXPECT_EQ(IniControl.IgnoreDirectory, on);
        EXPECT_EQ(form.mmIgnoreDirectory->Checked(), on);
        EXPECT_EQ(form.statusBar.PanelText(1), on ? "ディレクトリ構成無視 " : "");
    }
}

// Every entry of the two place combos shows whole beside the arrow button ("マイドキュメント" was cut).
TEST_F(MainWindow, PlaceCombosShowTheirEntriesWhole) {
    form.Show();
    for (platform::TComboBox* combo : {&form.cmbOpenDirectory, &form.cmbAfterMethod}) {
        COMBOBOXINFO info{};
        info.cbSize = sizeof(info);
        ASSERT_TRUE(::GetComboBoxInfo(combo->Handle(), &info));
        const int room = info.rcItem.right - info.rcItem.left;
        for (int i = 0; i < combo->Count(); ++i) {
            SCOPED_TRACE(platform::SjisToUtf8(combo->Item(i)));
            // The item's text is drawn a few pixels in from the item's left.
            EXPECT_LE(combo->TextWidth(combo->Item(i)) + 4, room);
        }
    }
}

// The settings reach the settings file when the window closes.
TEST_F(MainWindow, ClosingSavesTheSettings) {
    const std::string ini = GetSpecialFolder("mydocument") + "Velmor.ini";
    const std::string log = GetSpecialFolder("mydocument") + "VelmorLog.txt";
    ::DeleteFileW(platform::SjisToWide(ini).c_str());
    IniControl.BindNum = 7;
    IniControl.SpecialFolder = "C:\\表\\";
    form.Close();
    std::string saved = ReadBytes(ini);
    EXPECT_NE(saved.find("BindNum=7\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("SpecialFolder=C:\\表\\\r\n"), std::string::npos);
    ::DeleteFileW(platform::SjisToWide(ini).c_str());
    ::DeleteFileW(platform::SjisToWide(log).c_str());
    IniControl.BindNum = 2;
    IniControl.SpecialFolder.clear();
}
