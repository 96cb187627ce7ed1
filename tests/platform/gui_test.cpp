// The GUI layer's event rules on real Win32 controls: values set by code fire no change events, a check box
// fires its click only on a change, exceptions in handlers are reported instead of unwinding, and worker
// threads reach the main thread through Synchronize. Windows with controls need a display (the Xvfb run);
// the thread cases need only the application's message-only window and run anywhere.
#include <gtest/gtest.h>

#include "has_display.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "platform/application.h"
#include "platform/controls.h"
#include "platform/form.h"
#include "platform/list_view.h"
#include "platform/menus.h"
#include "platform/range_controls.h"
#include "platform/thread.h"

using namespace platform;

namespace {

class TTestForm : public TForm {
public:
    TTestForm() : TForm(L"TTestForm") {}
};

// Reports go to a list instead of message boxes.
class ThreadLayer : public ::testing::Test {
protected:
    void SetUp() override {
        Application.Initialize();
        Application.OnException = [this](const std::string& m) { reported.push_back(m); };
    }
    void TearDown() override { Application.OnException = nullptr; }
    std::vector<std::string> reported;
};

class GuiLayer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HasDisplay()) GTEST_SKIP() << "windows need a display";
        Application.Initialize();
        Application.OnException = [this](const std::string& m) { reported.push_back(m); };
        form.Create();
    }
    void TearDown() override {
        form.Destroy();
        Application.OnException = nullptr;
    }
    TTestForm form;
    std::vector<std::string> reported;
};

// A worker whose body is given as a function.
class TFnThread : public TThread {
public:
    explicit TFnThread(std::function<void(TFnThread&)> body) : body_(std::move(body)) {}
    using TThread::Synchronize;

protected:
    void Execute() override { body_(*this); }

private:
    std::function<void(TFnThread&)> body_;
};

}  // namespace

TEST_F(GuiLayer, ComboFiresChangeOnlyForUserInput) {
    for (TComboStyle style : {csDropDown, csDropDownList}) {
        SCOPED_TRACE(style);
        TComboBox combo;
        combo.Create(form, 0, 0, 200, 200, style);
        int changes = 0;
        combo.OnChange = [&] { ++changes; };
        combo.Add("書庫と同じフォルダ");
        combo.Add("C:\\表\\");
        combo.SetItemIndex(1);
        combo.SetText("書庫と同じフォルダ");
        combo.SetItem(0, "デスクトップ");
        combo.Clear();
        combo.Add("a");
        combo.Add("b");
        combo.SetItemIndex(0);
        EXPECT_EQ(changes, 0);
        // The user moves the selection with the keyboard.
        SendMessageW(combo.Handle(), WM_KEYDOWN, VK_DOWN, 0);
        EXPECT_EQ(changes, 1);
        EXPECT_EQ(combo.Text(), "b");
        if (style == csDropDown) {
            HWND edit = FindWindowExW(combo.Handle(), nullptr, L"Edit", nullptr);
            ASSERT_NE(edit, nullptr);
            SendMessageW(edit, WM_CHAR, L'x', 0);
            EXPECT_EQ(changes, 2);
        }
    }
}

TEST_F(GuiLayer, EditFiresChangeOnlyForUserInput) {
    TEdit edit;
    edit.Create(form, 0, 0, 100, 20);
    int changes = 0;
    edit.OnChange = [&] { ++changes; };
    edit.SetText("*.txt");
    EXPECT_EQ(changes, 0);
    SendMessageW(edit.Handle(), WM_CHAR, L'y', 0);
    EXPECT_EQ(changes, 1);
}

TEST_F(GuiLayer, CheckBoxSetByCodeClicksOnlyOnChange) {
    TCheckBox check;
    check.Create(form, 0, 0, 100, 20, "ログを記録する");
    int clicks = 0;
    check.OnClick = [&] { ++clicks; };
    check.SetChecked(false);  // already unchecked
    EXPECT_EQ(clicks, 0);
    check.SetChecked(true);
    EXPECT_EQ(clicks, 1);
    check.SetChecked(true);
    EXPECT_EQ(clicks, 1);
    check.SetChecked(false);
    EXPECT_EQ(clicks, 2);
    SendMessageW(check.Handle(), BM_CLICK, 0, 0);  // as the user clicks
    EXPECT_EQ(clicks, 3);
    EXPECT_TRUE(check.Checked());
}

// Checking a radio button clears the rest of its group and nothing past it, also when buttons of the group
// are hidden or disabled (a walk that skips them never came back to a hidden start).
TEST_F(GuiLayer, RadioGroupClearsItsOwnButtonsWhateverTheirState) {
    TRadioButton a, b, c, other;
    a.Create(form, 0, 0, 100, 20, "ごみ箱", true);
    b.Create(form, 0, 20, 100, 20, "削除", false);
    c.Create(form, 0, 40, 100, 20, "移動", false);
    other.Create(form, 0, 60, 100, 20, "別の組", true);
    other.SetChecked(true);
    a.SetChecked(true);
    ShowWindow(b.Handle(), SW_HIDE);
    EnableWindow(c.Handle(), FALSE);
    b.SetChecked(true);  // hidden
    EXPECT_FALSE(a.Checked());
    EXPECT_TRUE(b.Checked());
    c.SetChecked(true);  // disabled
    EXPECT_FALSE(b.Checked());
    EXPECT_TRUE(c.Checked());
    EXPECT_TRUE(other.Checked());
}

TEST_F(GuiLayer, ExceptionInHandlerIsReportedNotUnwound) {
    TButton button;
    button.Create(form, 0, 0, 80, 24, "解凍");
    button.OnClick = [] { throw std::runtime_error("処理できません"); };
    SendMessageW(button.Handle(), BM_CLICK, 0, 0);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], "処理できません");
}

TEST_F(ThreadLayer, ExceptionInTimerIsReported) {
    TTimer timer;
    timer.OneShot = true;
    timer.SetInterval(1);
    timer.OnTimer = [] { throw 42; };
    timer.SetEnabled(true);
    for (DWORD start = GetTickCount(); reported.empty() && GetTickCount() - start < 60000;) {
        Sleep(5);
        Application.ProcessMessages();
    }
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], "Unknown error");
    EXPECT_FALSE(timer.Enabled());
}

// The system swallows a fault in a message sent from another thread: without the layer's handler the worker
// would see its call return as if it had run. The fault ends the process with its code instead.
TEST(ThreadLayerDeathTest, AFaultInASynchronousCallEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto faultOnMainThread = [] {
        Application.Initialize();
        bool returned = false;
        TFnThread worker([&](TFnThread& self) {
            self.Synchronize([] {
                volatile int* volatile nowhere = nullptr;
                *nowhere = 1;
            });
            returned = true;
        });
        worker.Start();
        worker.WaitFor();
        std::fprintf(stderr, returned ? "the call came back\n" : "the worker ended without it\n");
        std::exit(0);
    };
    EXPECT_EXIT(faultOnMainThread(), ::testing::ExitedWithCode(static_cast<int>(EXCEPTION_ACCESS_VIOLATION)),
                "Unhandled exception c0000005 in the program's own code");
}

TEST_F(ThreadLayer, SynchronizeRunsOnMainThreadAndRethrows) {
    const DWORD mainId = GetCurrentThreadId();
    DWORD seenId = 0, endEventId = 0;
    std::string caught;
    TFnThread worker([&](TFnThread& self) {
        self.Synchronize([&] { seenId = GetCurrentThreadId(); });
        try {
            self.Synchronize([] { throw std::runtime_error("main side failed"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        throw std::logic_error("body failed");
    });
    worker.OnTerminate = [&] { endEventId = GetCurrentThreadId(); };
    ASSERT_TRUE(worker.Start());
    worker.WaitFor();
    EXPECT_EQ(seenId, mainId);
    EXPECT_EQ(caught, "main side failed");
    EXPECT_EQ(endEventId, mainId);
    // What the body threw stays on the thread object and is reported on the main thread.
    EXPECT_TRUE(worker.FatalException);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], "body failed");
}

TEST_F(ThreadLayer, ThreadThatFreesItselfRunsItsEndEventFirst) {
    std::atomic<int> ended{0};
    auto* worker = new TFnThread([](TFnThread&) {});
    worker->FreeOnTerminate = true;
    worker->SetPriority(THREAD_PRIORITY_BELOW_NORMAL);
    worker->OnTerminate = [&] { ended = 1; };
    ASSERT_TRUE(worker->Start());
    for (DWORD start = GetTickCount(); !ended && GetTickCount() - start < 60000;) {
        Sleep(5);
        Application.ProcessMessages();
    }
    EXPECT_EQ(ended, 1);
}

TEST_F(GuiLayer, ListViewRowsAndSelection) {
    TListView list;
    list.Create(form, 0, 0, 400, 200);
    list.AddColumn("解凍/圧縮するファイル または フォルダ", 375);
    list.AddColumn("サイズ      ", 70, taRightJustify);
    list.AddColumn("NO", 30, taRightJustify);
    EXPECT_EQ(list.ColumnCount(), 3);
    list.BeginUpdate();
    for (const char* path : {"C:\\a.lzh", "C:\\表\\b.zip", "C:\\c.rar"}) {
        int row = list.AddItem(path, 0);
        list.AddSubItem(row, "1 KB");
        list.AddSubItem(row, std::to_string(list.Count()));
    }
    list.EndUpdate();
    EXPECT_EQ(list.Caption(1), "C:\\表\\b.zip");
    EXPECT_EQ(list.SubItem(1, 0), "1 KB");
    EXPECT_EQ(list.SubItem(2, 1), "3");
    EXPECT_EQ(list.SubItemCount(2), 2);
    list.SetSelected(0, true);
    list.SetSelected(2, true);
    EXPECT_EQ(list.SelectedCount(), 2);
    EXPECT_EQ(list.NextSelected(), 0);
    EXPECT_EQ(list.NextSelected(0), 2);
    list.Delete(0);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Caption(0), "C:\\表\\b.zip");
}

TEST_F(GuiLayer, MemoKeepsLinesPastTheDefaultLimit) {
    TMemo memo;
    memo.Create(form, 0, 0, 300, 100);
    const std::string line(100, 'x');
    for (int i = 0; i < 500; ++i) memo.Add(" " + std::to_string(i + 1) + "| " + line);
    std::vector<std::string> lines = memo.Lines();
    ASSERT_EQ(lines.size(), 500u);
    EXPECT_EQ(lines[499], " 500| " + line);
}

TEST_F(GuiLayer, MenuCommandsReachTheirItems) {
    TMainMenu menu;
    TMenuItem& file = menu.Add("DLLと記録(&F)");
    int clicks = 0, opened = 0;
    TMenuItem& exit = file.Add("完全に終了する(&Q)", 'Q', kCtrl);
    exit.OnClick = [&] { ++clicks; };
    file.OnClick = [&] { ++opened; };
    form.SetMenu(&menu);
    SendMessageW(form.Handle(), WM_COMMAND, exit.Command(), 0);
    EXPECT_EQ(clicks, 1);
    exit.SetEnabled(false);
    SendMessageW(form.Handle(), WM_COMMAND, exit.Command(), 0);
    EXPECT_EQ(clicks, 1);
    SendMessageW(form.Handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(file.SubMenu()), 0);
    EXPECT_EQ(opened, 1);
    exit.SetChecked(true);
    EXPECT_TRUE(GetMenuState(file.SubMenu(), exit.Command(), MF_BYCOMMAND) & MF_CHECKED);
    form.SetMenu(nullptr);
}

TEST_F(GuiLayer, CloseQueryCanRefuse) {
    bool allow = false;
    int closes = 0;
    form.OnCloseQuery = [&](bool& canClose) { canClose = allow; };
    form.OnClose = [&](TCloseAction&) { ++closes; };
    SendMessageW(form.Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(closes, 0);
    EXPECT_FALSE(SendMessageW(form.Handle(), WM_QUERYENDSESSION, 0, 0));
    allow = true;
    EXPECT_TRUE(SendMessageW(form.Handle(), WM_QUERYENDSESSION, 0, 0));
    SendMessageW(form.Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(closes, 1);
}

TEST_F(GuiLayer, MainWindowIsFoundByClassAndTitle) {
    class TfrmMain : public TForm {
    public:
        TfrmMain() : TForm(L"TfrmMain") {}
    } main;
    main.Create();
    main.SetCaption("Velmor");
    EXPECT_EQ(FindWindowW(L"TfrmMain", L"Velmor"), main.Handle());
    // Escape reaches a form as IDCANCEL; only a modal form closes on it.
    int closes = 0;
    main.OnClose = [&](TCloseAction&) { ++closes; };
    SendMessageW(main.Handle(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(closes, 0);
    main.Destroy();
    EXPECT_EQ(FindWindowW(L"TfrmMain", L"Velmor"), nullptr);
}

TEST_F(GuiLayer, SynchronizeWhileMessageBoxIsOpen) {
    Application.OnMessageBox = nullptr;
    const DWORD mainId = GetCurrentThreadId();
    DWORD seenId = 0;
    bool boxWasOpen = false;
    TFnThread worker([&](TFnThread& self) {
        HWND box = nullptr;
        for (DWORD start = GetTickCount(); !box && GetTickCount() - start < 60000;) {
            box = FindWindowW(L"#32770", L"同期テスト");
            if (!box) Sleep(10);
        }
        self.Synchronize([&] {
            seenId = GetCurrentThreadId();
            boxWasOpen = box && IsWindow(box);
        });
        if (box) PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    ASSERT_TRUE(worker.Start());
    int answer = Application.MessageBox(nullptr, "処理が終了しました。", "同期テスト", MB_OK);
    worker.WaitFor();
    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(seenId, mainId);
    EXPECT_TRUE(boxWasOpen);
}

TEST_F(GuiLayer, ShowModalDisablesTheOwner) {
    form.Show();
    TTestForm dialog;
    dialog.Create(form.Handle());
    TButton ok;
    ok.Create(dialog, 10, 10, 80, 24, "O K");
    ok.OnClick = [&] { dialog.SetModalResult(mrOk); };
    bool ownerDisabled = false;
    TTimer press;
    press.OneShot = true;
    press.SetInterval(50);
    press.OnTimer = [&] {
        ownerDisabled = !IsWindowEnabled(form.Handle());
        SendMessageW(ok.Handle(), BM_CLICK, 0, 0);
    };
    press.SetEnabled(true);
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(form.Handle()));
    EXPECT_FALSE(dialog.Visible());
    dialog.Destroy();
}

// Builds a small window from the layer's controls and keeps it on screen while the driving script takes a
// screenshot (it names a ready file to create and a done file to wait for).
TEST_F(GuiLayer, JapaneseWindowForScreenshot) {
    form.SetFont("ＭＳ Ｐゴシック", 9);
    form.SetCaption("Velmor");
    form.SetBounds(20, 20, 495, 434);
    TMainMenu menu;
    menu.Add("DLLと記録(&F)").Add("完全に終了する(&Q)", 'Q', kCtrl);
    menu.Add("設定(&S)").Add("ウィンドウを常に手前に表示する");
    menu.Add("ヘルプ(&H)").Add("ヘルプ(&A)");
    form.SetMenu(&menu);
    TTabControl tabs;
    tabs.Create(form, 4, 4, 480, 90, 150);
    int page0 = tabs.AddPage("解凍の手順");
    tabs.AddPage("圧縮の手順");
    tabs.AddPage("設定");
    TLabel label;
    label.Create(form, 12, 34, 60, 18, "解凍先：");
    TComboBox combo;
    combo.Create(form, 76, 30, 200, 200, csDropDownList);
    for (const char* s : {"同じ場所に解凍", "指定フォルダ", "デスクトップ"}) combo.Add(s);
    combo.SetItemIndex(0);
    TCheckBox check;
    check.Create(form, 12, 60, 220, 20, "圧縮ファイルのテストを使う");
    check.SetChecked(true);
    for (TWinControl* c : std::initializer_list<TWinControl*>{&label, &combo, &check})
        tabs.AddToPage(page0, *c);
    tabs.SetTabIndex(0);
    TListView list;
    list.Create(form, 4, 100, 480, 120);
    list.AddColumn("解凍/圧縮するファイル または フォルダ", 375);
    list.AddColumn("サイズ      ", 70, taRightJustify);
    int row = list.AddItem("C:\\圧縮ファイル\\表計算.lzh");
    list.AddSubItem(row, "12 KB");
    TButton button;
    button.Create(form, 4, 226, 80, 26, "解凍");
    TProgressBar progress;
    progress.Create(form, 90, 230, 200, 18);
    progress.SetRange(0, 100);
    progress.SetPosition(40);
    TMemo memo;
    memo.Create(form, 4, 258, 480, 80);
    memo.Add(" 1| [ 2026/12/10 10:00:00 ]");
    memo.Add(" 2| ─── 解凍・圧縮用DLL検査 ──");
    TStatusBar status;
    status.Create(form);
    status.SetPanels({150, 50});
    status.SetPanelText(0, "登録待ち");
    form.Show();
    Application.ProcessMessages();

    char ready[MAX_PATH] = {}, done[MAX_PATH] = {};
    if (GetEnvironmentVariableA("VELMOR_SHOT_READY", ready, MAX_PATH) &&
        GetEnvironmentVariableA("VELMOR_SHOT_DONE", done, MAX_PATH)) {
        for (int i = 0; i < 20; ++i) {
            Application.ProcessMessages();
            Sleep(25);
        }
        CloseHandle(CreateFileA(ready, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        for (int i = 0; i < 1200 && GetFileAttributesA(done) == INVALID_FILE_ATTRIBUTES; ++i) {
            Application.ProcessMessages();
            Sleep(25);
        }
    }
    EXPECT_EQ(status.PanelText(0), "登録待ち");
    EXPECT_EQ(combo.Text(), "同じ場所に解凍");
    form.SetMenu(nullptr);
}

// A page keeps the order in which its controls were added, right after its tabs: that order is the tab order
// and the window order by which a radio group ends, so it must not come out reversed.
TEST_F(GuiLayer, PageControlsKeepTheirOrder) {
    TTabControl tabs;
    tabs.Create(form, 4, 4, 300, 200, 100);
    int page = tabs.AddPage("一");
    tabs.AddPage("二");
    TRadioButton a, b, c;
    a.Create(form, 12, 40, 100, 20, "a", true);
    b.Create(form, 12, 64, 100, 20, "b", false);
    c.Create(form, 12, 88, 100, 20, "c", false);
    TButton after;
    after.Create(form, 12, 220, 80, 24, "OK");
    for (TWinControl* r : std::initializer_list<TWinControl*>{&a, &b, &c}) tabs.AddToPage(page, *r);
    std::vector<HWND> order;
    for (HWND h = GetWindow(form.Handle(), GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) order.push_back(h);
    EXPECT_EQ(order, (std::vector<HWND>{tabs.Handle(), a.Handle(), b.Handle(), c.Handle(), after.Handle()}));
    // The dialog navigation walks them in that order: the tabs, the page, what follows.
    EXPECT_EQ(GetNextDlgTabItem(form.Handle(), tabs.Handle(), FALSE), a.Handle());
    EXPECT_EQ(GetNextDlgTabItem(form.Handle(), a.Handle(), FALSE), after.Handle());
    EXPECT_EQ(GetNextDlgGroupItem(form.Handle(), a.Handle(), FALSE), b.Handle());
}

// Track bars and up-downs report through scroll messages to their form, which hands each to its control.
TEST_F(GuiLayer, ScrollMessagesReachTheirControl) {
    TTrackBar track;
    track.Create(form, 10, 10, 200, 30, 0, 10, 1);
    int moves = 0;
    track.OnChange = [&] { ++moves; };
    TEdit buddy;
    buddy.Create(form, 10, 50, 60, 20, "0");
    TUpDown upDown;
    upDown.Create(form, buddy, 0, 100);
    int clicks = 0;
    upDown.OnClick = [&] { ++clicks; };
    form.Show();
    // The keys a user presses: the track bar moves and tells its parent by WM_HSCROLL.
    SendMessageW(track.Handle(), WM_KEYDOWN, VK_RIGHT, 0);
    SendMessageW(track.Handle(), WM_KEYUP, VK_RIGHT, 0);
    EXPECT_EQ(track.Position(), 1);
    EXPECT_GE(moves, 1);
    SendMessageW(upDown.Handle(), WM_KEYDOWN, VK_UP, 0);
    SendMessageW(upDown.Handle(), WM_KEYUP, VK_UP, 0);
    EXPECT_EQ(upDown.Position(), 1);
    EXPECT_EQ(clicks, 1);
    // A scroll message from no control of ours reaches none of them.
    int movesBefore = moves;
    SendMessageW(form.Handle(), WM_HSCROLL, SB_LINERIGHT, 0);
    EXPECT_EQ(moves, movesBefore);
    EXPECT_EQ(clicks, 1);
}
