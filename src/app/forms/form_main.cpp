// The main window's construction, layout, creation step, show step, close and the option controls of its
// first tab. The job list lives in form_main_files.cpp, the log in form_main_log.cpp.
#include "app/forms/form_main.h"

#include <algorithm>
#include <initializer_list>

#include "app/ini_control.h"
#include "app/shell_util.h"
#include "archivers/job_state.h"
#include "archivers/path_util.h"
#include "platform/application.h"
#include "platform/sjis.h"

namespace velmor {

using platform::Application;

namespace {
constexpr int kMargin = 4;
constexpr int kTabHeight = 124;
constexpr int kRow = 23;
constexpr int kButtonHeight = 24;
constexpr int kSplitterHeight = 5;
constexpr int kLabelHeight = 16;
constexpr int kProgressHeight = 22;
constexpr int kMinPane = 40;
constexpr int kMinFolderWidth = 60;
constexpr int kMinFilterWidth = 100;
// A check box's mark, its gap and a little air beside its caption.
constexpr int kCheckBoxExtra = 24;
constexpr UINT kTrayMessage = WM_APP + 0x120;
constexpr int kSizeColumnWidth = 96;
// The frame and the text's inset of a drop-down list, both sides.
constexpr int kComboTextMargin = 12;
// The tool bar: 解凍, 閲覧, 除外, 検索, 圧縮, 一時停止, 再開, 強制終了.
constexpr int kBarWidths[] = {56, 48, 48, 48, 48, 64, 48, 64};
// The status texts of the window, its jobs and the viewer's drops; the first panel is wide enough for the
// longest.
const char* const kStatusTexts[] = {"登録待ち",   "書庫テスト中", "解凍開始", "中断中...暫くお待ち下さい",
                                    "一時停止中", "再開",         "処理終了", "ドロップ先のフォルダが分かりません"};

// The fixed rows below the job list's top, with their gaps: (list) tool bar, splitter, log header, (log
// pane) progress row, status bar.
int FixedRowsBelowList(int statusHeight) {
    return 2 + kButtonHeight + 2 + kSplitterHeight + kLabelHeight + 2 + 2 + kProgressHeight + 2 +
           statusHeight;
}

const char* const kOpenDirectoryEntries[] = {"同じ場所に解凍", "指定フォルダ",   "定番フォルダ１",
                                             "定番フォルダ２", "定番フォルダ３", "マイドキュメント",
                                             "デスクトップ"};
const char* const kAfterMethodEntries[] = {"何もしない", "完全削除する", "ごみ箱へ捨てる", "指定フォルダへ"};
const char* const kAfterMethodTexts[] = {"そのまま", "削除", "ごみ箱"};
const char* const kFilterEntries[] = {"*.*",
                                      "*.txt",
                                      "*.jpg *.jpeg *.gif *.png",
                                      "*.html *.htm",
                                      "*.mp3 *.wav *.wmv",
                                      "*.avi *.mpg *.mpeg *.wmv *.rm",
                                      "Readme.txt *.hlp *.cnt *.gid",
                                      "*.exe"};
}  // namespace

TfrmMain::TfrmMain(std::vector<std::string> args)
    : TForm(L"TfrmMain"), args_(std::move(args)), commandLine_(ParseCommandLine(args_)) {
    OnCreate = [this] {
        BuildMenus();
        BuildControls();
        WireEvents();
        FormCreate();
    };
    OnShow = [this] { FormShow(); };
    OnCloseQuery = [this](bool& canClose) { FormCloseQuery(canClose); };
    // The session may always end; what its end needs is done when it does end (another program may still
    // refuse it).
    OnQueryEndSession = [] { return true; };
    OnEndSession = [this](bool ending) {
        if (ending) EndSession();
    };
    OnClose = [this](platform::TCloseAction&) { FormClose(); };
    OnDestroy = [this] {
        ShowFromTray();
        // The worker uses the window and the engine object: it ends before either goes.
        Worker.reset();
        UnPack.reset();
        SetPreTestNameSink(nullptr);
        Application.HelpCommand(HELP_QUIT);
    };
    OnResize = [this] { LayoutControls(); };
    OnDesktopLost = [this] { DesktopLost(); };
    OnDropFiles = [this](HDROP drop) { DropFiles(drop); };
    OnMessage = [this](UINT msg, WPARAM, LPARAM lParam, LRESULT& result) {
        if (msg == kTrayMessage) {
            if (lParam == WM_LBUTTONDBLCLK) {
                ShowFromTray();
            } else if (lParam == WM_RBUTTONUP || lParam == WM_CONTEXTMENU) {
                POINT pt{};
                ::GetCursorPos(&pt);
                ::SetForegroundWindow(Handle());
                popupTrayIcon.Popup(Handle(), pt.x, pt.y);
            }
            result = 0;
            return true;
        }
        // Data sent by other programs is accepted and ignored.
        if (msg != WM_COPYDATA) return false;
        result = TRUE;
        return true;
    };
    timerEvent.SetInterval(500);
    timerEvent.OneShot = true;
    timerEvent.OnTimer = [this] { PreviewSelected(); };
}

TfrmMain::~TfrmMain() {
    Destroy();
    if (redBrush_) ::DeleteObject(redBrush_);
}

void TfrmMain::BuildMenus() {
    using platform::kCtrl;
    auto& file = mmMainMenu.Add("DLLと記録(&F)");
    mmCaldix = &file.Add("解凍・圧縮DLL(最新版)をインターネットから自動取得(&I)");
    mmChkDLLs = &file.Add("解凍・圧縮DLLを再読み込み(&R)");
    file.AddSeparator();
    mmLogView = &file.Add("処理の記録ファイルを見る(&V)");
    MMDelLog = &file.Add("処理の記録ファイルを初期化する (大きくなったときなど）");
    file.AddSeparator();
    mmSaveLog = &file.Add("\"処理の詳細\"を別ファイルに保存...");
    mmClearLog = &file.Add("\"処理の詳細\"ボックスをクリアする");
    file.AddSeparator();
    Find1 = &file.Add("検索(圧縮ファイルリスト内)");
    file.AddSeparator();
    N10 = &file.Add("タスクトレイに隠れる", 'H', kCtrl);
    mmExit = &file.Add("完全に終了する(&Q)", 'Q', kCtrl);

    mmShowOption = &mmMainMenu.Add("設定(&S)");
    mmOption = &mmShowOption->Add("設定画面を開く...");
    mmShowOption->AddSeparator();
    mmIgnoreDirectory = &mmShowOption->Add("ディレクトリ構成を無視して解凍する");
    mmDelFolderNum = &mmShowOption->Add("作成フォルダ名の末尾のバージョン番号の除去を試みる");
    mmClearAll = &mmShowOption->Add("解凍に失敗した要素もリストからクリアする");
    mmTopMost = &mmShowOption->Add("ウィンドウを常に手前に表示する");
    mmShowOption->AddSeparator();
    auto& trash = mmShowOption->Add("\"ごみ箱\"を開く");
    auto& moveFolder = mmShowOption->Add("\"移動先フォルダ\"を開く");
    auto& openDirectory = mmShowOption->Add("\"解凍先フォルダ\"を開く");
    auto& clearList = mmShowOption->Add("処理リストを全クリアする");
    // Suspend and resume keep their items for the job's enabling rules, but the menu does not show them:
    // the tool bar's buttons are the commands.
    mmSuspend = &mmShowOption->Add("一時停止");
    mmResume = &mmShowOption->Add("再開");
    mmSuspend->SetVisible(false);
    mmResume->SetVisible(false);

    auto& help = mmMainMenu.Add("ヘルプ(&H)");
    auto& showHelp = help.Add("ヘルプ(&A)");
    auto& chkUpdate = help.Add("アップデートの確認(&U)");
    auto& version = mmMainMenu.Add("バージョン情報(&V)");

    auto& trayShow = popupTrayIcon.Add("ウィンドウを表示する");
    auto& traySuspend = popupTrayIcon.Add("一時停止");
    auto& trayResume = popupTrayIcon.Add("再開");
    popupTrayIcon.AddSeparator();
    auto& trayQuit = popupTrayIcon.Add("終了する");
    trayShow.OnClick = [this] { ShowFromTray(); };
    traySuspend.OnClick = [this] { btnSuspend.Click(); };
    trayResume.OnClick = [this] { btnResume.Click(); };
    trayQuit.OnClick = [this] { Close(); };

    pmPreviewArc = &pmPopUp.Add("プレビュー");
    pmClearItem = &pmPopUp.Add("リストから外す", VK_DELETE);
    auto& addItem = pmPopUp.Add("アイテムを追加");
    addItem.SetEnabled(false);

    mmChkDLLs->OnClick = [this] { CheckArchiverDlls(); };
    mmCaldix->OnClick = [this] { mmCaldixClick(); };
    mmLogView->OnClick = [this] {
        if (Hooks.ShowLogView) Hooks.ShowLogView();
    };
    MMDelLog->OnClick = [this] { DeleteLogFile(); };
    mmSaveLog->OnClick = [this] { SaveLog(); };
    mmClearLog->OnClick = [this] { ClearLog(); };
    Find1->OnClick = [this] { btnSearch.Click(); };
    N10->OnClick = [this] { HideToTray(); };
    mmExit->OnClick = [this] { Close(); };
    mmShowOption->OnClick = [this] {
        mmIgnoreDirectory->SetChecked(IniControl.IgnoreDirectory);
        mmClearAll->SetChecked(IniControl.ClearAll);
        mmDelFolderNum->SetChecked(IniControl.DelFolderNum);
    };
    mmOption->OnClick = [this] { btnSetting.Click(); };
    mmIgnoreDirectory->OnClick = [this] { ToggleIgnoreDirectory(); };
    mmDelFolderNum->OnClick = [this] {
        mmDelFolderNum->SetChecked(!mmDelFolderNum->Checked());
        IniControl.DelFolderNum = mmDelFolderNum->Checked();
    };
    mmClearAll->OnClick = [this] {
        mmClearAll->SetChecked(!mmClearAll->Checked());
        IniControl.ClearAll = mmClearAll->Checked();
    };
    mmTopMost->OnClick = [this] { SetTopMost(!mmTopMost->Checked()); };
    trash.OnClick = [] { OpenFolder("trash"); };
    moveFolder.OnClick = [] { OpenFolder(IniControl.MoveFolder); };
    openDirectory.OnClick = [] { OpenFolder(IniControl.SpecialFolder); };
    clearList.OnClick = [this] { ClearFileList(); };
    mmSuspend->OnClick = [this] { btnSuspend.Click(); };
    mmResume->OnClick = [this] { btnResume.Click(); };
    showHelp.OnClick = [this] {
        SetTopMost(false);
        Application.SetHelpFile("Velmor.hlp");
        Application.HelpCommand(HELP_FINDER);
    };
    chkUpdate.OnClick = [this] {
        ::ShellExecuteW(Handle(), L"open", L"https://velmor.example/velmor_info/update.html", nullptr,
                        nullptr, SW_SHOW);
    };
    version.OnClick = [this] {
        if (Hooks.ShowAbout) Hooks.ShowAbout();
    };
    pmPreviewArc->OnClick = [this] { PreviewSelected(); };
    pmClearItem->OnClick = [this] { btnClearList.Click(); };
    SetMenu(&mmMainMenu);
}

void TfrmMain::BuildControls() {
    using platform::TComboStyle;
    SetFont("ＭＳ Ｐゴシック", 9);
    pageProcTab.Create(*this, 0, 0, 10, 10, 150, true);
    int pageExtract = pageProcTab.AddPage("解凍の手順");
    int pageCompress = pageProcTab.AddPage("圧縮の手順");
    int pageSettings = pageProcTab.AddPage("設定");

    lblOpenDirectory.Create(*this, 0, 0, 10, 10, "解凍先：");
    cmbOpenDirectory.Create(*this, 0, 0, 10, 200, platform::csDropDownList);
    cmbSpecialFolder.Create(*this, 0, 0, 10, 200);
    btnSelectFolder.Create(*this, 0, 0, 10, 10, "...");
    btnSpecialFolder.Create(*this, 0, 0, 10, 10, "開く");
    lblAfterProc.Create(*this, 0, 0, 10, 10, "ファイルの後始末：");
    cmbAfterMethod.Create(*this, 0, 0, 10, 200, platform::csDropDownList);
    cmbMoveFolder.Create(*this, 0, 0, 10, 200);
    btnSelectMoveFolder.Create(*this, 0, 0, 10, 10, "...");
    btnMoveFolder.Create(*this, 0, 0, 10, 10, "開く");
    chkSpecialExt.Create(*this, 0, 0, 10, 10, "抽出フィルタを使う");
    txtExt.Create(*this, 0, 0, 10, 200);
    chkIgnoreDirectory.Create(*this, 0, 0, 10, 10, "フォルダ構成を無視して解凍");
    chkPretestArc.Create(*this, 0, 0, 10, 10, "圧縮ファイルのテストを使う");
    cmbPreTestMode.Create(*this, 0, 0, 10, 200, platform::csDropDownList);
    for (platform::TWinControl* c : std::initializer_list<platform::TWinControl*>{
             &lblOpenDirectory, &cmbOpenDirectory, &cmbSpecialFolder, &btnSelectFolder, &btnSpecialFolder,
             &lblAfterProc, &cmbAfterMethod, &cmbMoveFolder, &btnSelectMoveFolder, &btnMoveFolder,
             &chkSpecialExt, &txtExt, &chkIgnoreDirectory, &chkPretestArc, &cmbPreTestMode})
        pageProcTab.AddToPage(pageExtract, *c);

    lblCompType.Create(*this, 0, 0, 10, 10, "圧縮形式：");
    cmbCompType.Create(*this, 0, 0, 10, 200, platform::csDropDownList);
    pageProcTab.AddToPage(pageCompress, lblCompType);
    pageProcTab.AddToPage(pageCompress, cmbCompType);

    btnDelLogFile.Create(*this, 0, 0, 10, 10, "ログファイル消去(&D)");
    btnOpenLogFile.Create(*this, 0, 0, 10, 10, "ログファイルを開く...(&L)");
    btnSetting.Create(*this, 0, 0, 10, 10, "詳細画面を開く...(&S)");
    btnIgnoreDirectory.Create(*this, 0, 0, 10, 10, "フォルダ構成を無視する／しない");
    chkLog.Create(*this, 0, 0, 10, 10, "ログを記録する");
    for (platform::TWinControl* c : std::initializer_list<platform::TWinControl*>{
             &btnDelLogFile, &btnOpenLogFile, &btnSetting, &btnIgnoreDirectory, &chkLog})
        pageProcTab.AddToPage(pageSettings, *c);
    pageProcTab.SetTabIndex(0);

    for (const char* e : kOpenDirectoryEntries) cmbOpenDirectory.Add(e);
    for (const char* e : kAfterMethodEntries) cmbAfterMethod.Add(e);
    // The two place combos are wide enough for their longest entry beside the arrow button.
    for (platform::TComboBox* combo : {&cmbOpenDirectory, &cmbAfterMethod})
        for (int i = 0; i < combo->Count(); ++i)
            kindComboWidth_ = std::max(kindComboWidth_, combo->TextWidth(combo->Item(i)) +
                                                            ::GetSystemMetrics(SM_CXVSCROLL) + kComboTextMargin);
    for (const char* e : kFilterEntries) txtExt.Add(e);
    cmbCompType.Add("LHA形式 (*.lzh)");
    cmbCompType.Add("自己解凍書庫形式 (*.exe)");
    cmbCompType.Add("Zip形式  (*.zip)");

    lblComplain.Create(
        *this, 0, 0, 10, 10,
        "▼ファイルまたはフォルダをウィンドウにドラッグ＆ドロップし、ボタンを押すと処理をはじめます");
    lvFiles.Create(*this, 0, 0, 10, 10);
    // The size caption keeps its trailing blanks, so its column is wide enough to show it whole; the path
    // column takes the rest of the list's width (see LayoutControls).
    lvFiles.AddColumn("解凍/圧縮するファイル または フォルダ", 375);
    lvFiles.AddColumn("サイズ      ", kSizeColumnWidth, platform::taRightJustify);
    lvFiles.AddColumn("NO", 30, platform::taRightJustify);
    lvFiles.PopupMenu = &pmPopUp;
    iconCache.SetListView(&lvFiles);

    // Made in the order of the tool bar, left to right, which is their tab order.
    btnUnPack.Create(*this, 0, 0, 10, 10, "解凍");
    btnPreview.Create(*this, 0, 0, 10, 10, "閲覧");
    btnClearList.Create(*this, 0, 0, 10, 10, "除外");
    btnSearch.Create(*this, 0, 0, 10, 10, "検索");
    btnCompress.Create(*this, 0, 0, 10, 10, "圧縮");
    btnSuspend.Create(*this, 0, 0, 10, 10, "一時停止");
    btnResume.Create(*this, 0, 0, 10, 10, "再開");
    btnBreak.Create(*this, 0, 0, 10, 10, "強制終了");
    btnBackGroundMode.Create(*this, 0, 0, 10, 10, "バックグラウンド");
    btnBackGroundMode.SetVisible(false);

    splitter.Create(*this, 0, 0, 10, kSplitterHeight);
    lblLog.Create(*this, 0, 0, 10, 10, "▼処理のログ");
    memoLog.Create(*this, 0, 0, 10, 10);

    progExpand.Create(*this, 0, 0, 10, 10);
    lblIndicate.Create(*this, 0, 0, 10, 10, "0%", SS_RIGHT);
    progExpandGlobal.Create(*this, 0, 0, 10, 10);
    lblIndicateGlobal.Create(*this, 0, 0, 10, 10, "0%", SS_RIGHT);
    chkIndicatePerFile.Create(*this, 0, 0, 10, 10, "ファイル表示");
    txtFileName.Create(*this, 0, 0, 10, 10, {}, true);
    progExpand.SetRange(0, 100);
    progExpandGlobal.SetRange(0, 100);

    statusBar.Create(*this);
    int statusWidth = 150;
    for (const char* text : kStatusTexts) statusWidth = std::max(statusWidth, statusBar.TextWidth(text) + 16);
    statusBar.SetPanels({statusWidth, 50});
    statusBar.SetPanelText(0, "登録待ち");

    // The pop-up menu also serves the folder combos and the labels of the first two tabs.
    for (platform::TWinControl* c : std::initializer_list<platform::TWinControl*>{
             &cmbSpecialFolder, &cmbMoveFolder, &lblOpenDirectory, &lblAfterProc, &lblCompType})
        c->PopupMenu = &pmPopUp;
}

void TfrmMain::LayoutControls() {
    if (!Handle() || !lvFiles.Handle()) return;
    const int cw = ClientWidth(), ch = ClientHeight();
    if (cw <= 0 || ch <= 0) return;  // minimised
    const int m = kMargin;

    pageProcTab.SetBounds(2, 2, cw - 4, kTabHeight);
    // Tabs of 150 pixels while the three fit (the button tabs add their own padding and gaps); narrower in a
    // narrow window, so that the tab control never scrolls a caption out of sight.
    int tabWidth = std::min(150, (cw - 12) / 3 - 16);
    pageProcTab.SetTabWidth(std::max(40, tabWidth));
    // Page rows, below the tab buttons.
    const int y0 = 32, labelW = 122, comboW = kindComboWidth_, openW = 40, dotsW = 24;
    const int folderX = m + labelW + comboW + 8;
    const int folderW = std::max(kMinFolderWidth, cw - folderX - m - 4 - openW - 2 - dotsW - 2);
    auto folderRow = [&](int y, platform::TLabel& label, platform::TComboBox& kind,
                         platform::TComboBox& folder, platform::TButton& dots, platform::TButton& open) {
        label.SetBounds(m + 6, y + 4, labelW - 6, kLabelHeight);
        kind.SetBounds(m + labelW, y, comboW, 300);
        folder.SetBounds(folderX, y, folderW, 300);
        dots.SetBounds(folderX + folderW + 2, y, dotsW, kRow - 1);
        open.SetBounds(folderX + folderW + 2 + dotsW + 2, y, openW, kRow - 1);
    };
    folderRow(y0, lblOpenDirectory, cmbOpenDirectory, cmbSpecialFolder, btnSelectFolder, btnSpecialFolder);
    folderRow(y0 + kRow + 2, lblAfterProc, cmbAfterMethod, cmbMoveFolder, btnSelectMoveFolder, btnMoveFolder);
    const int y3 = y0 + 2 * (kRow + 2), y4 = y3 + kRow + 2;
    chkSpecialExt.SetBounds(m + 6, y3 + 2, 130, kLabelHeight + 2);
    // The filter field gives way in a narrow window, so that the folder-structure box keeps its caption.
    const int ignoreW = chkIgnoreDirectory.TextWidth(chkIgnoreDirectory.Text()) + kCheckBoxExtra;
    const int extW = std::clamp(cw - (m + 140) - 10 - ignoreW - m, kMinFilterWidth, 150);
    txtExt.SetBounds(m + 140, y3, extW, 300);
    const int ignoreX = m + 140 + extW + 10;
    chkIgnoreDirectory.SetBounds(ignoreX, y3 + 2, std::max(ignoreW, cw - ignoreX - m - 2), kLabelHeight + 2);
    chkPretestArc.SetBounds(m + 6, y4 + 2, 180, kLabelHeight + 2);
    cmbPreTestMode.SetBounds(m + 190, y4, 150, 300);

    lblCompType.SetBounds(m + 6, y0 + 4, 80, kLabelHeight);
    cmbCompType.SetBounds(m + 90, y0, 200, 300);

    btnDelLogFile.SetBounds(m + 6, y0, 170, kButtonHeight);
    btnOpenLogFile.SetBounds(m + 186, y0, 190, kButtonHeight);
    btnSetting.SetBounds(m + 6, y0 + kButtonHeight + 6, 170, kButtonHeight);
    btnIgnoreDirectory.SetBounds(m + 186, y0 + kButtonHeight + 6, 190, kButtonHeight);
    chkLog.SetBounds(m + 6, y0 + 2 * (kButtonHeight + 6) + 2, 150, kLabelHeight + 2);

    int y = kTabHeight + 6;
    lblComplain.SetBounds(m, y, cw - 2 * m, 2 * kLabelHeight);
    y += 2 * kLabelHeight + 2;

    // The list and the log pane share what the fixed rows leave; the list keeps its share of it, so that it
    // grows back with the window.
    const int statusH = statusBar.HeightPixels();
    const int shared = std::max(2 * kMinPane, ch - y - FixedRowsBelowList(statusH));
    sharedHeight_ = shared;
    const int listH = SplitHeight(shared, listShare_, kMinPane);
    lvFiles.SetBounds(m, y, cw - 2 * m, listH);
    int pathWidth = std::min(375, cw - 2 * m - 4 - ::GetSystemMetrics(SM_CXVSCROLL) - kSizeColumnWidth - 30);
    ::SendMessageW(lvFiles.Handle(), LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(std::max(120, pathWidth), 0));
    y += listH + 2;

    platform::TButton* bar[] = {&btnUnPack,   &btnPreview, &btnClearList, &btnSearch,
                                &btnCompress, &btnSuspend, &btnResume,    &btnBreak};
    int x = m;
    for (size_t i = 0; i < std::size(bar); ++i) {
        bar[i]->SetBounds(x, y, kBarWidths[i], kButtonHeight);
        x += kBarWidths[i] + 2;
    }
    btnBackGroundMode.SetBounds(x, y, 96, kButtonHeight);
    y += kButtonHeight + 2;

    splitter.SetBounds(0, y, cw, kSplitterHeight);
    // The bar's top runs from the smallest list to the smallest log pane.
    splitterOffset_ = y - listH;
    splitter.MinTop = splitterOffset_ + kMinPane;
    splitter.MaxTop = splitterOffset_ + shared - kMinPane;
    y += kSplitterHeight;
    lblLog.SetBounds(m, y, cw - 2 * m, kLabelHeight);
    y += kLabelHeight + 2;
    const int memoH = shared - listH;
    memoLog.SetBounds(m, y, cw - 2 * m, memoH);
    y += memoH + 2;

    progExpand.SetBounds(m, y + 3, 100, kProgressHeight - 6);
    lblIndicate.SetBounds(m + 102, y + 3, 34, kLabelHeight);
    progExpandGlobal.SetBounds(m + 140, y + 3, 100, kProgressHeight - 6);
    lblIndicateGlobal.SetBounds(m + 242, y + 3, 34, kLabelHeight);
    chkIndicatePerFile.SetBounds(m + 282, y + 2, 92, kLabelHeight + 2);
    txtFileName.SetBounds(m + 378, y, std::max(20, cw - m - 378 - m), kProgressHeight);
}

void TfrmMain::SetMinimumSize() {
    // Wide enough for the tool bar and the option rows, high enough for every fixed row and both panes.
    int barWidth = 0;
    for (int w : kBarWidths) barWidth += w + 2;
    const int ignoreW = chkIgnoreDirectory.TextWidth(chkIgnoreDirectory.Text()) + kCheckBoxExtra;
    const int optionsWidth = kMargin + 140 + kMinFilterWidth + 10 + ignoreW + kMargin + 2;
    // The folder rows: label, place combo, the smallest folder field, "..." and "開く".
    const int folderRowWidth = kMargin + 122 + kindComboWidth_ + 8 + kMinFolderWidth + 4 + 2 + 24 + 2 + 40 + kMargin;
    MinClientWidth = std::max({kMargin + barWidth + kMargin, optionsWidth, folderRowWidth});
    MinClientHeight =
        kTabHeight + 6 + 2 * kLabelHeight + 2 + 2 * kMinPane + FixedRowsBelowList(statusBar.HeightPixels());
}

void TfrmMain::WireEvents() {
    splitter.OnMoved = [this](int top) {
        // The bar's top is the list's bottom plus a fixed offset; the list's height becomes its share.
        listShare_ = ShareOfHeight(top - splitterOffset_, sharedHeight_);
        LayoutControls();
    };
    cmbOpenDirectory.OnChange = [this] { cmbOpenDirectoryChange(); };
    cmbSpecialFolder.OnChange = [this] { cmbSpecialFolderChange(); };
    cmbAfterMethod.OnChange = [this] { cmbAfterMethodChange(); };
    cmbMoveFolder.OnChange = [this] { IniControl.MoveFolder = cmbMoveFolder.Text(); };
    chkSpecialExt.OnClick = [this] { chkSpecialExtClick(); };
    txtExt.OnChange = [this] { IniControl.FileSpec = txtExt.Text(); };
    chkPretestArc.OnClick = [this] { chkPretestArcClick(); };
    cmbPreTestMode.OnChange = [this] { IniControl.PreTestMode = cmbPreTestMode.ItemIndex(); };
    chkIndicatePerFile.OnClick = [this] { chkIndicatePerFileClick(); };
    chkLog.OnClick = [this] { IniControl.bLogFile = chkLog.Checked(); };
    btnIgnoreDirectory.OnClick = [this] { ToggleIgnoreDirectory(); };
    chkIgnoreDirectory.OnClick = [this] { chkIgnoreDirectoryClick(); };
    btnDelLogFile.OnClick = [this] { DeleteLogFile(); };
    btnOpenLogFile.OnClick = [this] {
        if (Hooks.ShowLogView) Hooks.ShowLogView();
    };
    btnSetting.OnClick = [this] {
        if (Hooks.ShowOptions) Hooks.ShowOptions();
    };
    btnSelectFolder.OnClick = [this] { setFolder(cmbSpecialFolder, "解凍先"); };
    btnSelectMoveFolder.OnClick = [this] { setFolder(cmbMoveFolder, "移動先"); };
    btnSpecialFolder.OnClick = [] { OpenFolder(IniControl.SpecialFolder); };
    btnMoveFolder.OnClick = [] { OpenFolder(IniControl.MoveFolder); };
    btnUnPack.OnClick = [this] { btnUnPackClick(); };
    btnCompress.OnClick = [this] { btnCompressClick(); };
    btnBackGroundMode.OnClick = [this] { btnBackGroundModeClick(); };
    btnBreak.OnClick = [this] { btnBreakClick(); };
    btnSuspend.OnClick = [this] { btnSuspendClick(); };
    btnResume.OnClick = [this] { btnResumeClick(); };
    btnPreview.OnClick = [this] { PreviewSelected(); };
    btnClearList.OnClick = [this] { RemoveSelectedRows(); };
    btnSearch.OnClick = [this] {
        if (lvFiles.Count() == 0) {
            Application.MessageBox(Handle(), "検索対象になる圧縮ファイルがありません。", "検索", MB_OK);
            return;
        }
        if (Hooks.ShowSearch) Hooks.ShowSearch();
    };
    lvFiles.OnDblClick = [this] { PreviewSelected(); };
    OnCtlColor = [this](HDC dc, HWND control) -> HBRUSH {
        // The after-extraction combo warns in red while "delete" is chosen.
        if (IniControl.AfterMethod != 1 || !cmbAfterMethod.Handle()) return nullptr;
        if (control != cmbAfterMethod.Handle() && ::GetParent(control) != cmbAfterMethod.Handle())
            return nullptr;
        if (!redBrush_) redBrush_ = ::CreateSolidBrush(RGB(255, 0, 0));
        ::SetBkColor(dc, RGB(255, 0, 0));
        return redBrush_;
    };
}

// --- creation and show ---------------------------------------------------------------------------------

void TfrmMain::FormCreate() {
    TJobState& js = JobState();
    // 1. settings; the window stays hidden until the loop or the command line shows it.
    IniControl.Load();
    Hide();
    // 2. the log file sits in My Documents; an unresolved folder gives no log file at all.
    js.LogFilePath = LogFilePath().value_or(std::string());
    // 3.
    SetCaption("Velmor");
    js.AppTitle = "Velmor";
    js.OutputFolder.clear();
    // 4.
    logLineCount_ = 0;
    memoLog.Clear();
    txtFileName.SetText({});
    // 5.
    CreateEngine();
    // 6.
    AppendLog("[ " + NowText() + " ]");
    // 7.
    CheckArchiverDlls();
    // 8.
    SetAcceptFiles(true);
    // 9.
    cmbPreTestMode.Add("簡易ヘッダチェック");
    cmbPreTestMode.Add("完全ヘッダチェック");
    if (IniControl.PreTestMode == 2) IniControl.PreTestMode = 1;
    // 10. A size that makes no window is not applied (a hand-edited file); a smaller one than the window
    // can show whole grows to the smallest that can.
    SetMinimumSize();
    const SIZE minimum = MinWindowSize();
    if (SizeApplies(IniControl.WindowW, IniControl.WindowH)) {
        SetSize(std::max<int>(IniControl.WindowW, minimum.cx), std::max<int>(IniControl.WindowH, minimum.cy));
    } else {
        SetSize(std::max<int>(495, minimum.cx), std::max<int>(434, minimum.cy));
    }
    cmbCompType.SetItemIndex(0);
    // 11.
    cmbPreTestMode.SetItemIndex(IniControl.PreTestMode);
    chkPretestArc.SetChecked(IniControl.PreTestArc);
    cmbPreTestMode.SetEnabled(IniControl.PreTestArc);
    chkLog.SetChecked(IniControl.bLogFile);
    cmbAfterMethod.SetItemIndex(IniControl.AfterMethod);
    cmbOpenDirectory.SetItemIndex(IniControl.PutLocation);
    // 12.
    for (int i = 0; i < 6; ++i) {
        cmbSpecialFolder.Add(IniControl.MRU_SpecialFolder[i]);
        cmbMoveFolder.Add(IniControl.MRU_MoveFolder[i]);
    }
    // 13.
    if (PositionApplies(IniControl.WindowX, IniControl.WindowY, ::GetSystemMetrics(SM_CXSCREEN),
                        ::GetSystemMetrics(SM_CYSCREEN))) {
        SetPosition(IniControl.WindowX, IniControl.WindowY);
    } else {
        CenterOnOwner();
    }
    // 14.
    cmbMoveFolder.SetText(IniControl.MoveFolder);
    SetSpecialFolderText();
    // 15.
    btnSuspend.SetEnabled(false);
    btnResume.SetEnabled(false);
    mmSuspend->SetEnabled(false);
    mmResume->SetEnabled(false);
    btnBreak.SetEnabled(false);
    mmTopMost->SetChecked(true);
    // 16.
    chkSpecialExt.SetChecked(IniControl.SpecialExt);
    chkIndicatePerFile.SetChecked(IniControl.IndicatePerFile);
    chkIndicatePerFileClick();
    chkIgnoreDirectory.SetChecked(IniControl.IgnoreDirectory);
    txtExt.SetEnabled(IniControl.SpecialExt);
    txtExt.SetText(IniControl.FileSpec);
    txtExt.SetColor(IniControl.SpecialExt ? RGB(255, 255, 255) : ::GetSysColor(COLOR_BTNFACE));
    // 17.
    SpecialFolderEnabled();
    MoveFolderEnabled();
    SetTopMost(IniControl.TopMost);
    LayoutControls();
    // 18. and 19.
    if (commandLine_.Kind == TCommandLine::ckNone) {
        pageProcTab.SetTabIndex(IniControl.iTabIndex);
        return;
    }
    HandleCommandLine();
}

void TfrmMain::HandleCommandLine() {
    JobState().CommandLineRun = 1;
    Hide();
    if (commandLine_.Kind == TCommandLine::ckPreview) {
        for (const std::string& f : commandLine_.Files) AddFileToList(ExpandFileName(f));
        pageProcTab.SetTabIndex(IniControl.iTabIndex);
        // The preview opens 500 ms after the window is shown; a hidden window would never show it and the
        // process would linger unseen, so a preview start shows the window.
        Application.ShowMainForm = true;
        return;
    }
    if (commandLine_.AfterMethod >= 0) {
        // The switch holds for this start only; the stored action stays the one chosen in the window.
        chosenAfterMethod_ = IniControl.AfterMethod;
        IniControl.AfterMethod = static_cast<uint8_t>(commandLine_.AfterMethod);
        cmbAfterMethod.SetItemIndex(commandLine_.AfterMethod);
    }
    // A relative name means the file in the folder the program was started in.
    for (const std::string& f : commandLine_.Files) AddFileToList(ExpandFileName(f));
    // With CmdHideWnd off the window is shown for the job; with it on it stays hidden.
    Application.ShowMainForm = !IniControl.CmdHideWnd;
    ShowOptionSummary();
    btnUnPackClick();
}

void TfrmMain::FormShow() {
    if (commandLine_.Kind != TCommandLine::ckPreview) return;
    lvFiles.SelectAll(true);
    timerEvent.SetEnabled(true);
}

// --- close -------------------------------------------------------------------------------------------

void TfrmMain::StoreGeometry() {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof(wp);
    RECT r{};
    // The normal position also holds for a minimised or maximised window.
    if (::GetWindowPlacement(Handle(), &wp)) {
        r = wp.rcNormalPosition;
    } else {
        ::GetWindowRect(Handle(), &r);
    }
    IniControl.WindowX = r.left;
    IniControl.WindowY = r.top;
    IniControl.WindowW = r.right - r.left;
    IniControl.WindowH = r.bottom - r.top;
    IniControl.iTabIndex = pageProcTab.TabIndex();
}

void TfrmMain::FormClose() {
    if (savedForSessionEnd_) return;
    StoreGeometry();
    StoreFolderHistory();
    if (IniControl.bLogFile) WriteLogFile();
    SaveSettings();
}

void TfrmMain::SaveSettings() {
    const uint8_t current = IniControl.AfterMethod;
    if (chosenAfterMethod_) IniControl.AfterMethod = *chosenAfterMethod_;
    IniControl.Save();
    IniControl.AfterMethod = current;
}

// --- option controls -----------------------------------------------------------------------------------

void TfrmMain::SetSpecialFolderText() {
    switch (IniControl.PutLocation) {
        case 0: cmbSpecialFolder.SetText("書庫と同じフォルダ"); break;
        case 1: cmbSpecialFolder.SetText(IniControl.SpecialFolder); break;
        case 2:
        case 3:
        case 4: cmbSpecialFolder.SetText(IniControl.Favorite[IniControl.PutLocation - 2]); break;
        case 5: cmbSpecialFolder.SetText(GetSpecialFolder("mydocument")); break;
        case 6: cmbSpecialFolder.SetText(GetSpecialFolder("desktop")); break;
        default: break;
    }
}

void TfrmMain::SpecialFolderEnabled() {
    bool on = IniControl.PutLocation >= 1 && IniControl.PutLocation <= 4;
    btnSpecialFolder.SetEnabled(on);
    cmbSpecialFolder.SetEnabled(on);
    btnSelectFolder.SetEnabled(on);
    cmbSpecialFolder.SetColor(::GetSysColor(on ? COLOR_WINDOW : COLOR_BTNFACE));
}

void TfrmMain::MoveFolderEnabled() {
    bool on = IniControl.AfterMethod == 3;
    btnMoveFolder.SetEnabled(on);
    cmbMoveFolder.SetEnabled(on);
    btnSelectMoveFolder.SetEnabled(on);
    cmbMoveFolder.SetColor(::GetSysColor(on ? COLOR_WINDOW : COLOR_BTNFACE));
}

void TfrmMain::cmbOpenDirectoryChange() {
    IniControl.PutLocation = static_cast<uint8_t>(std::max(0, cmbOpenDirectory.ItemIndex()));
    SpecialFolderEnabled();
    // The combo shows the words for My Documents and the desktop; the worker resolves them.
    if (IniControl.PutLocation == 5) {
        cmbSpecialFolder.SetText("マイドキュメント");
    } else if (IniControl.PutLocation == 6) {
        cmbSpecialFolder.SetText("デスクトップ");
    } else {
        SetSpecialFolderText();
    }
}

void TfrmMain::cmbSpecialFolderChange() {
    int place = IniControl.PutLocation;
    if (place == 1) {
        IniControl.SpecialFolder = cmbSpecialFolder.Text();
    } else if (place >= 2 && place <= 4) {
        IniControl.Favorite[place - 2] = cmbSpecialFolder.Text();
    }
}

void TfrmMain::cmbAfterMethodChange() {
    // A choice made in the window is the one to keep.
    chosenAfterMethod_.reset();
    IniControl.AfterMethod = static_cast<uint8_t>(std::max(0, cmbAfterMethod.ItemIndex()));
    ::InvalidateRect(cmbAfterMethod.Handle(), nullptr, TRUE);
    MoveFolderEnabled();
    if (IniControl.AfterMethod < 3) {
        cmbMoveFolder.SetText(kAfterMethodTexts[IniControl.AfterMethod]);
    } else {
        cmbMoveFolder.SetText(IniControl.MoveFolder);
    }
}

bool TfrmMain::setFolder(platform::TComboBox& combo, const std::string& word) {
    try {
        TFileCtrl dialog;
        std::string current = combo.Text();
        bool exists = DirectoryExistsSjis(current);
        std::string folder;
        if (!dialog.BrowseForFolder(word + "フォルダを選択してください", exists ? current : std::string(),
                                    Left() - 10, Top() - 10, folder))
            return false;
        PushComboHistory(combo, folder);
        combo.SetText(folder);
        (&combo == &cmbSpecialFolder ? IniControl.SpecialFolder : IniControl.MoveFolder) = folder;
        return true;
    } catch (...) {
        // A failure while choosing changes nothing.
        return false;
    }
}

void TfrmMain::chkSpecialExtClick() {
    IniControl.SpecialExt = chkSpecialExt.Checked();
    txtExt.SetEnabled(IniControl.SpecialExt);
    txtExt.SetColor(IniControl.SpecialExt ? RGB(255, 255, 255) : ::GetSysColor(COLOR_BTNFACE));
}

void TfrmMain::chkPretestArcClick() {
    IniControl.PreTestArc = chkPretestArc.Checked();
    cmbPreTestMode.SetEnabled(IniControl.PreTestArc);
}

void TfrmMain::chkIndicatePerFileClick() {
    IniControl.IndicatePerFile = chkIndicatePerFile.Checked();
    const char* text = IniControl.IndicatePerFile ? "" : "-";
    txtFileName.SetText(text);
    lblIndicate.SetText(IniControl.IndicatePerFile ? "0%" : "-");
}

void TfrmMain::ToggleIgnoreDirectory() {
    mmIgnoreDirectory->SetChecked(!IniControl.IgnoreDirectory);
    IniControl.IgnoreDirectory = mmIgnoreDirectory->Checked();
    chkIgnoreDirectory.SetChecked(IniControl.IgnoreDirectory);
    ShowOptionSummary();
}

void TfrmMain::chkIgnoreDirectoryClick() {
    // The box shows the setting the menu item toggles, and changes it the same way. Set from the setting (the
    // creation, the menu, the options dialog) it has nothing to change.
    if (IniControl.IgnoreDirectory == chkIgnoreDirectory.Checked()) return;
    IniControl.IgnoreDirectory = chkIgnoreDirectory.Checked();
    mmIgnoreDirectory->SetChecked(IniControl.IgnoreDirectory);
    ShowOptionSummary();
}

// --- commands ------------------------------------------------------------------------------------------

void TfrmMain::SetTopMost(bool topMost) {
    TForm::SetTopMost(topMost);
    mmTopMost->SetChecked(topMost);
    JobState().TopMostNow = topMost ? 1 : 0;
    IniControl.TopMost = topMost;
}

void TfrmMain::HideToTray() {
    if (!trayIcon_) {
        NOTIFYICONDATAW nid{};
        nid.cbSize = sizeof(nid);
        nid.hWnd = Handle();
        nid.uID = 1;
        nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        nid.uCallbackMessage = kTrayMessage;
        nid.hIcon = reinterpret_cast<HICON>(::GetClassLongPtrW(Handle(), GCLP_HICON));
        wcscpy_s(nid.szTip, L"Velmor");
        trayIcon_ = ::Shell_NotifyIconW(NIM_ADD, &nid) != FALSE;
    }
    // Without an icon there would be no way back: the window then stays.
    if (trayIcon_) Hide();
}

void TfrmMain::ShowFromTray() {
    if (trayIcon_) {
        NOTIFYICONDATAW nid{};
        nid.cbSize = sizeof(nid);
        nid.hWnd = Handle();
        nid.uID = 1;
        ::Shell_NotifyIconW(NIM_DELETE, &nid);
        trayIcon_ = false;
        Show();
    }
}

void TfrmMain::DesktopLost() {
    // The windows left the screen with their desktop and no question can be answered any more: the program
    // ends as a close does (the log file and the settings are written), a running job stopped first.
    quitAfterJob_ = true;
    TJobState& js = JobState();
    if (js.Status == jsIdle && !Worker) {
        Close();
    } else if (js.Status != jsStopRequested) {
        btnBreakClick();
    }
}

void TfrmMain::ControlsEnabled(bool on) {
    for (platform::TWinControl* c : std::initializer_list<platform::TWinControl*>{
             &btnUnPack, &btnCompress, &btnSelectFolder, &btnSelectMoveFolder, &cmbAfterMethod,
             &cmbOpenDirectory, &cmbSpecialFolder, &cmbMoveFolder, &chkPretestArc, &cmbPreTestMode,
             &chkSpecialExt, &lblOpenDirectory, &lblAfterProc})
        c->SetEnabled(on);
    mmShowOption->SetEnabled(on);
    for (platform::TWinControl* c : std::initializer_list<platform::TWinControl*>{
             &btnSuspend, &btnResume, &btnBackGroundMode, &btnBreak})
        c->SetEnabled(!on);
    mmSuspend->SetEnabled(!on);
    mmResume->SetEnabled(!on);
    // Rows cannot be removed while a job walks the list.
    btnClearList.SetEnabled(on);
    pmClearItem->SetEnabled(on);
    if (!on) return;
    if (!IniControl.PreTestArc) cmbPreTestMode.SetEnabled(false);
    if (IniControl.AfterMethod != 3) MoveFolderEnabled();
    if (IniControl.PutLocation != 1) SpecialFolderEnabled();
}

}  // namespace velmor
