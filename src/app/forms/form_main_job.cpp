// The main window's side of a job: the library check, the start, stop, suspend and resume commands, the
// end of a job, the close query, and the worker's view of the window (IJobUi).
#include <windows.h>
#include <commctrl.h>

#include "app/forms/form_main.h"
#include "app/ini_control.h"
#include "app/shell_util.h"
#include "archivers/archive_file.h"
#include "archivers/job_state.h"
#include "platform/application.h"
#include "platform/sjis.h"

namespace velmor {

using platform::Application;

namespace {
struct TLibraryFlag {
    const char* kind;
    TJobState::Flag TJobState::*flag;
    bool needed;  // a missing one leads to the installer question
};
const TLibraryFlag kLibraries[] = {
    {"LHA", &TJobState::LhaReady, true}, {"ZIP", &TJobState::ZipReady, true},
    {"CAB", &TJobState::CabReady, false}, {"RAR", &TJobState::RarReady, true},
    {"TAR", &TJobState::TarReady, true},
};
}  // namespace

void TfrmMain::CreateEngine() {
    shellOps_.SetOwner(Handle());
    context_ = std::make_unique<TJobContext>(
        TJobContext{*this, mainThread_, shellOps_, RealArchiveFactory(), JobState(), IniControl});
    UnPack = std::make_unique<TUnPack>(*context_);
    // A pre-test reports each member name from the worker's progress window: it goes to the name box. (Putting
    // it in place of the log pane's text would throw away every line logged so far.) The worker does not wait
    // for it; a name that arrives once the test is over is not shown over the extraction's.
    preTestName_ =
        std::make_unique<TCoalescedPost<std::string>>(mainThread_, [this](const std::string& name) {
            if (JobState().Status == jsPreTesting && IniControl.IndicatePerFile) ShowMemberName(name);
        });
    SetPreTestNameSink([this](const std::string& name) { preTestName_->Offer(name); });
}

// --- library check ---------------------------------------------------------------------------------------

bool TfrmMain::CheckArchiverDll(const std::string& kind) {
    bool ready = UnPack && UnPack->LoadArchiverDll(kind);
    AppendLog("[ DLL ] \"" + kind + "\"\t" + (ready ? "「OK」" : "「なし　『ファイル』メニューからインストールできます」"));
    return ready;
}

void TfrmMain::CheckArchiverDlls() {
    TJobState& js = JobState();
    AppendLog("─── 解凍・圧縮用DLL検査 ──");
    bool missing = false;
    for (const TLibraryFlag& lib : kLibraries) {
        bool ready = CheckArchiverDll(lib.kind);
        js.*lib.flag = ready ? 1 : 0;
        if (lib.needed && !ready) missing = true;
    }
    if (missing && Application.MessageBox(Handle(),
                                          "圧縮解凍に必要なDLLに足りないものがあります。"
                                          "インターネットから最新版をインストールしますか？",
                                          "圧縮解凍DLLチェック", MB_YESNO) == IDYES) {
        Application.MessageBox(Handle(),
                               "インターネットから必要なものを自動取得します。"
                               "セキュリティソフトで通信を設定している場合は通信を許可してください。",
                               "圧縮解凍DLLチェック", MB_OK);
        // A new pass inside this one: it may ask again, as long as the answer is Yes and a library is
        // missing. A tool that could not start changed nothing and is not offered again.
        if (mmCaldixClick()) CheckArchiverDlls();
    }
    AppendLog("─── ─── ─── ─── ─── ");
    if (UnPack) UnPack->UnloadArchiverDlls();
}

bool TfrmMain::mmCaldixClick() {
    Application.MessageBox(Handle(), "インターネットから最新DLLを補完いたしますので、通信を許可してください。",
                           "最新DLLの取得", MB_OK);
    TJobState& js = JobState();
    const bool wasTopMost = js.TopMostNow != 0;
    SetTopMost(false);
    // The tool is taken from the program's own folder: a verb start runs in the archive's folder, where a
    // planted program must not start.
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self);
    folder.resize(folder.find_last_of(L'\\') + 1);
    std::wstring tool = folder + L"caldix\\caldix.exe";
    std::wstring commandLine = L"\"" + tool + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USEPOSITION | STARTF_USESIZE | STARTF_USESHOWWINDOW;
    si.dwX = 0;
    si.dwY = 0;
    si.dwXSize = 640;
    si.dwYSize = 480;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    const bool started = ::CreateProcessW(tool.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                          CREATE_DEFAULT_ERROR_MODE, nullptr, nullptr, &si, &pi) != FALSE;
    if (!started) {
        DWORD error = ::GetLastError();
        Application.MessageBox(Handle(), "caldixが実行できません (" + std::to_string(error) + ")",
                               Application.Title(), MB_OK);
    } else {
        ::CloseHandle(pi.hThread);
        // The window stays responsive while the tool runs.
        while (::MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0)
            Application.ProcessMessages();
        ::CloseHandle(pi.hProcess);
    }
    SetTopMost(wasTopMost);
    ForceForegroundWindow(Handle());
    return started;
}

// --- start and stop --------------------------------------------------------------------------------------

void TfrmMain::LogJobStart() {
    AppendLog(" ");
    AppendLog("-- \"処理開始\" -- [ " + NowText() + "] --------------");
    AppendLog("> -- 設定確認 --");
}

void TfrmMain::btnUnPackClick() {
    TJobState& js = JobState();
    if (js.Status != jsIdle || Worker) return;
    if (lvFiles.Count() == 0) {
        AppendLog("> 処理ファイルがありません。");
        // A command-line start that starts no job shows its window and log instead of lingering unseen.
        if (js.CommandLineRun) {
            Application.ShowMainForm = true;
            Show();
        }
        return;
    }
    SetTopMost(false);
    Application.ProcessMessages();
    js.CompressMode = 0;
    js.JobWord = "解凍";
    if (js.CommandLineRun && IniControl.ConfirmSendTo) {
        const uint8_t place = IniControl.PutLocation;
        IniControl.PutLocation = 1;
        cmbOpenDirectory.SetItemIndex(1);
        SpecialFolderEnabled();
        if (!setFolder(cmbSpecialFolder, "解凍先")) {
            // No folder chosen: the place and the settings stay as they were, and nothing is extracted.
            IniControl.PutLocation = place;
            cmbOpenDirectory.SetItemIndex(place);
            SpecialFolderEnabled();
            SetSpecialFolderText();
            AppendLog("> 解凍先フォルダが選ばれなかったため、解凍しません。");
            Application.ShowMainForm = true;
            Show();
            return;
        }
    }
    if (IniControl.ConfirmIgnore && IniControl.IgnoreDirectory &&
        Application.MessageBox(Handle(), "ディレクトリ構成を無視して展開します。\rよろしいですか？", "確認",
                               MB_YESNO) != IDYES) {
        if (js.CommandLineRun) Show();
        return;
    }
    if (IniControl.ConfirmDelete && IniControl.AfterMethod == 1 &&
        Application.MessageBox(Handle(), "後始末が\"削除\"になっています。\r続行しますか？", "確認", MB_YESNO) !=
            IDYES) {
        // A command-line start answered No shows its window rather than lingering unseen.
        if (js.CommandLineRun) Show();
        return;
    }
    if (IniControl.SpecialExt) IniControl.FileSpec = txtExt.Text();
    lvFiles.SelectAll(false);
    js.AbortJob = 0;
    js.SkipItem = 0;
    LogJobStart();
    if (IniControl.FileSpec != "*.*" && !IniControl.FileSpec.empty())
        AppendLog(">  ファイル抽出パターン：\"" + IniControl.FileSpec + "\" ");
    if (IniControl.IgnoreDirectory) AppendLog(">  ディレクトリ構成：無視 ");
    ControlsEnabled(false);
    btnBackGroundMode.SetEnabled(false);

    StartWorker(THREAD_PRIORITY_NORMAL);
}

void TfrmMain::btnCompressClick() {
    TJobState& js = JobState();
    if (js.Status != jsIdle || Worker) return;
    js.CompressMode = 1;
    js.JobWord = "圧縮";
    js.AbortJob = 0;
    js.SkipItem = 0;
    LogJobStart();
    ControlsEnabled(false);
    btnBackGroundMode.SetEnabled(false);
    StartWorker(THREAD_PRIORITY_BELOW_NORMAL);
}

void TfrmMain::StartWorker(int priority) {
    // Joined by the end of the job like every worker; none outlives the window.
    Worker = std::make_unique<TUnPackThread>(*context_, *UnPack);
    Worker->OnJobEnded = [this] { JobFinished(); };
    JobState().Status = jsStarted;
    BeginScreenBatch();
    if (!Worker->Start(priority)) {
        // No thread, no job: back to idle at once.
        Worker.reset();
        AppendLog("> 処理を開始できませんでした");
        JobFinished();
    }
}

void TfrmMain::btnBreakClick() {
    TJobState& js = JobState();
    switch (js.Status) {
        case jsIdle: AppendLog("[ お知らせ ]　" + js.JobWord + "処理が開始されていません。"); return;
        case jsStopRequested: AppendLog("[ お知らせ ]　中断中です。"); return;
        case jsWorking:
            for (platform::TWinControl* c : std::initializer_list<platform::TWinControl*>{
                     &btnBreak, &btnSuspend, &btnResume, &btnBackGroundMode})
                c->SetEnabled(false);
            mmSuspend->SetEnabled(false);
            mmResume->SetEnabled(false);
            if (Worker) Worker->CancelRequested = 1;
            if (Worker && Worker->Suspended()) {
                Worker->Resume();
                SetStatusText("再開");
            }
            js.Status = jsStopRequested;
            js.BreakPressed = 1;
            SetStatusText("中断中...暫くお待ち下さい");
            return;
        default:
            if (Worker) Worker->CancelRequested = 1;
            js.Status = jsStopRequested;
            js.BreakPressed = 1;
            return;
    }
}

void TfrmMain::btnSuspendClick() {
    if (JobState().Status != jsWorking || !Worker || Worker->Suspended()) return;
    Worker->Suspend();
    SetStatusText("一時停止中");
    btnResume.SetEnabled(true);
    mmResume->SetEnabled(true);
}

void TfrmMain::btnResumeClick() {
    if (!Worker || !Worker->Suspended()) return;
    Worker->Resume();
    SetStatusText("再開");
    btnSuspend.SetEnabled(true);
    mmSuspend->SetEnabled(true);
}

void TfrmMain::JobFinished() {
    TJobState& js = JobState();
    EndScreenBatch();
    // A job refused before its first row (an output or move folder that is not there) did nothing: its end
    // notice says so instead of announcing a finished job.
    const bool refused = js.AbortJob != 0;
    // The worker has been joined. Its object is running this very call, so it is freed from the message loop
    // once the call has returned; the next job gets a new one.
    if (Worker) {
        TUnPackThread* ended = Worker.release();
        mainThread_.Post([ended] { delete ended; });
    }
    Application.ProcessMessages();
    if (!(js.CommandLineRun && IniControl.CmdHideWnd)) {
        mmTopMost->SetChecked(true);
        SetTopMost(!mmTopMost->Checked());
    }
    if (UnPack) EndJobAfterStop(*context_, *UnPack);
    js.Status = jsIdle;
    ControlsEnabled(true);
    btnBackGroundMode.SetText("バックグラウンド");
    js.AbortJob = 0;
    if (IniControl.IndicatePerFile) lblIndicate.SetText("0%");
    progExpand.SetPosition(0);
    progExpandGlobal.SetPosition(0);
    lblIndicateGlobal.SetText("0%");
    SetStatusText("処理終了");
    try {
        std::string folder = js.OutputFolder;
        if (!folder.empty()) folder.pop_back();
        AppendLog(folder);
        if (!folder.empty())
            if (HWND w = ::FindWindowW(nullptr, platform::SjisToWide(folder).c_str())) ::UpdateWindow(w);
    } catch (...) {
    }
    if (IniControl.ShowEndDlg && !sessionEnding_) {
        if (Minimized()) Restore();
        try {
            ForceForegroundWindow(Handle());
        } catch (...) {
        }
        const std::string notice = refused ? kRefusedJobText : "処理が終了しました。";
        Application.MessageBox(Handle(), js.CommandLineRun ? notice + "\r（OKで終了）" : notice, "Velmor お知らせ",
                               MB_OK);
    }
    if (js.CommandLineRun) {
        SaveSettings();
        Close();
        return;
    }
    if (quitAfterJob_) Close();
}

// --- background mode ------------------------------------------------------------------------------------

void TfrmMain::btnBackGroundModeClick() {
    TJobState& js = JobState();
    try {
        TArchiveFile archive;
        archive.SetFileName(js.CurrentArchive);
        const std::string& ext = js.CurrentExt;
        if (ext == ".lha") archive.SetArchiverType(atLha);
        if (ext == ".zip") archive.SetArchiverType(atZip);
        if (ext == ".cab") archive.SetArchiverType(atCab);
        if (ext == ".rar") archive.SetArchiverType(atRar);
        js.BackgroundMode = archive.GetBackGroundMode() ? 1 : 0;
        if (btnBackGroundMode.Text() == "バックグラウンド") {
            if (!js.BackgroundMode && !archive.SetBackGroundMode(1))
                AppendLog("> バックグラウンドに変更できませんでした");
            btnBackGroundMode.SetText("フォアグラウンド");
        } else {
            if (js.BackgroundMode && !archive.SetBackGroundMode(0))
                AppendLog("> フォアグラウンドに変更できませんでした");
            btnBackGroundMode.SetText("バックグラウンド");
        }
    } catch (const std::exception&) {
        // No archive or no library: the mode cannot be read or changed.
        AppendLog(btnBackGroundMode.Text() == "バックグラウンド" ? "> バックグラウンドに変更できませんでした"
                                                                : "> フォアグラウンドに変更できませんでした");
    }
}

// --- close ---------------------------------------------------------------------------------------------

void TfrmMain::FormCloseQuery(bool& canClose) {
    TJobState& js = JobState();
    if (js.Status == jsWorking) {
        canClose = false;
        if (Application.MessageBox(Handle(), js.JobWord + "中です。中止に移りますか？", Caption(),
                                   MB_YESNO | MB_ICONINFORMATION) == IDYES)
            btnBreakClick();
        return;
    }
    if (js.Status != jsIdle || Worker) {
        // The worker still uses the list, the log and the settings: stop it and close when it has ended.
        canClose = false;
        quitAfterJob_ = true;
        if (js.Status != jsStopRequested) btnBreakClick();
        return;
    }
    canClose = true;
}

void TfrmMain::EndSession() {
    if (sessionEnding_) return;
    sessionEnding_ = true;
    quitAfterJob_ = true;
    TJobState& js = JobState();
    if (Worker) {
        if (Worker->Running()) {
            // Stopped without the ZIP question: nobody is there to answer it.
            Worker->QuietStop = 1;
            Worker->CancelRequested = 1;
            js.BreakPressed = 1;
            js.Status = jsStopRequested;
            Worker->Resume();
            if (mainThread_.Serving()) {
                // The worker waits for a call this thread is inside of: it cannot be joined from here. The
                // session may end the program at any moment, so what the close writes is written now.
                FormClose();
                savedForSessionEnd_ = true;
                return;
            }
        }
        // Joined here, its calls served meanwhile; then the end of the job as usual, which closes.
        Worker.reset();
        JobFinished();
        return;
    }
    Close();
}

// --- the worker's view of the window -------------------------------------------------------------------

int TfrmMain::RowCount() { return lvFiles.Count(); }
std::string TfrmMain::RowText(int index) { return lvFiles.Caption(index); }
// During a job the list's rows change at once, its drawing waits for the next batch.
void TfrmMain::AppendRow(const std::string& path) {
    if (Batching()) {
        FreezeList();
        ScreenChanged();
    }
    AddFileToList(path);
}

void TfrmMain::DeleteRow(int index) {
    if (Batching()) {
        FreezeList();
        ScreenChanged();
    }
    lvFiles.Delete(index);
}

void TfrmMain::SelectRow(int index) {
    const bool batch = Batching();
    if (batch) FreezeList();
    // Only the selected rows are cleared: clearing every row walks the whole list.
    for (int row = lvFiles.NextSelected(-1); row >= 0; row = lvFiles.NextSelected(row))
        lvFiles.SetSelected(row, false);
    lvFiles.SetSelected(index, true);
    if (batch) {
        pendingVisibleRow_ = index;
        ScreenChanged();
        return;
    }
    ::SendMessageW(lvFiles.Handle(), LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
    ::UpdateWindow(lvFiles.Handle());
}

void TfrmMain::ShowMemberName(const std::string& name) {
    if (Batching()) {
        pendingMemberName_ = name;
        ScreenChanged();
        return;
    }
    txtFileName.SetText(name);
}

void TfrmMain::SetFileProgress(int percent) {
    if (Batching()) {
        pendingFilePercent_ = percent;
        ScreenChanged();
        return;
    }
    progExpand.SetPosition(percent);
    lblIndicate.SetText(std::to_string(percent) + "%");
}

void TfrmMain::SetTotalProgress(int percent) {
    if (Batching()) {
        pendingTotalPercent_ = percent;
        ScreenChanged();
        return;
    }
    progExpandGlobal.SetPosition(percent);
    lblIndicateGlobal.SetText(std::to_string(percent) + "%");
}

bool TfrmMain::IsMinimized() { return Minimized(); }

void TfrmMain::EnableButton(TJobButton button, bool enabled) {
    (button == jbBreak ? btnBreak : btnBackGroundMode).SetEnabled(enabled);
}

std::string TfrmMain::SpecialFolderText() { return cmbSpecialFolder.Text(); }

void TfrmMain::PushComboHistory(TFolderCombo combo, const std::string& folder) {
    PushComboHistory(combo == fcSpecialFolder ? cmbSpecialFolder : cmbMoveFolder, folder);
}

int TfrmMain::CompressionType() { return cmbCompType.ItemIndex(); }

int TfrmMain::Ask(const std::string& text, const std::string& caption, UINT flags) {
    // While the session ends nobody answers: No keeps whatever the question protects.
    if (sessionEnding_) return (flags & MB_YESNO) == MB_YESNO ? IDNO : IDOK;
    // The question comes after the lines that lead to it.
    if (screenBatch_) FlushScreen();
    return Application.MessageBox(Handle(), text, caption, flags);
}

void TfrmMain::RequestQuit() { quitAfterJob_ = true; }
HWND TfrmMain::MainWindow() { return Handle(); }
HWND TfrmMain::LogWindow() { return memoLog.Handle(); }

}  // namespace velmor
