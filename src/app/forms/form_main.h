// The main window: the options tabs, the job list that drops and the command line fill, the tool bar, the
// log pane with its log file, the progress row and the status bar. The window runs jobs on the engine's
// worker thread; the secondary windows are reached through hooks that the program's start-up fills, so this
// form depends on none of them.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/job_seams.h"
#include "app/engine/unpack.h"
#include "app/engine/unpack_thread.h"
#include "app/forms/form_main_rules.h"
#include "app/forms/screen_batch.h"
#include "app/icon_cache.h"
#include "platform/controls.h"
#include "platform/form.h"
#include "platform/list_view.h"
#include "platform/menus.h"
#include "platform/splitter.h"

namespace velmor {

// How the main window opens the secondary windows; a hook left empty makes its command do nothing.
struct TMainWindowHooks {
    std::function<void(const std::string& archive)> ShowArchive;  // the archive viewer
    std::function<void()> ShowSearch;                             // modal search window
    std::function<void()> ShowOptions;                            // modal options dialog
    std::function<void()> ShowLogView;                            // log viewer, not waited for
    std::function<void()> ShowAbout;                              // modal About box
};

// The current date and time as the log shows it: the system's short date, a blank, the long time.
std::string NowText();

class TfrmMain : public platform::TForm, public IJobUi {
public:
    // `args` are the program's arguments (Shift-JIS), without the program name.
    explicit TfrmMain(std::vector<std::string> args = {});
    ~TfrmMain() override;

    TMainWindowHooks Hooks;

    // --- log pane and log file (form_main_log.cpp) ---
    void AppendLog(const std::string& message) override;
    void SetStatusText(const std::string& text) override;
    void ShowOptionSummary();
    void WriteLogFile();
    void SaveLog();
    void ClearLog();
    void DeleteLogFile();
    int LogLineCount() const noexcept { return logLineCount_; }
    // Draws what a running job changed since the last batch: its log lines, the job list's rows, the status
    // text and the progress display (see screenBatch_).
    void FlushScreen();

    // --- job list (form_main_files.cpp) ---
    void AddFileToList(const std::string& path);
    // WM_DROPFILES: rows for the dropped paths unless a job is extracting; always releases the drop.
    void DropFiles(HDROP drop);
    void PreviewSelected();
    void RemoveSelectedRows();
    void ClearFileList();
    void PushComboHistory(platform::TComboBox& combo, const std::string& folder);
    // Copies the two folder combos' histories into the settings record.
    void StoreFolderHistory();

    // --- jobs (form_main_job.cpp) ---
    void btnUnPackClick();
    void btnCompressClick();
    void btnBreakClick();
    void btnSuspendClick();
    void btnResumeClick();
    // The worker's end, on the main thread, once per job.
    void JobFinished();
    // The end notice of a job that a missing output or move folder stopped before its first row.
    static constexpr const char* kRefusedJobText = "フォルダが用意できなかったため、処理を行いませんでした。";
    void CheckArchiverDlls();
    bool CheckArchiverDll(const std::string& kind);
    // Runs the installer tool and waits for it; false when it could not be started.
    bool mmCaldixClick();
    // The job engine's objects: the library checks and the current job's worker.
    std::unique_ptr<TUnPack> UnPack;
    std::unique_ptr<TUnPackThread> Worker;

    // IJobUi: the worker's view of the window, always called on the main thread.
    int RowCount() override;
    std::string RowText(int index) override;
    void AppendRow(const std::string& path) override;
    void DeleteRow(int index) override;
    void SelectRow(int index) override;
    void ShowMemberName(const std::string& name) override;
    void SetFileProgress(int percent) override;
    void SetTotalProgress(int percent) override;
    bool IsMinimized() override;
    void EnableButton(TJobButton button, bool enabled) override;
    std::string SpecialFolderText() override;
    void PushComboHistory(TFolderCombo combo, const std::string& folder) override;
    int CompressionType() override;
    int Ask(const std::string& text, const std::string& caption, UINT flags) override;
    void RequestQuit() override;
    HWND MainWindow() override;
    HWND LogWindow() override;

    // --- commands (form_main.cpp) ---
    void SetTopMost(bool topMost);
    // "タスクトレイに隠れる": hides the window behind a notification-area icon whose pop-up brings it back.
    void HideToTray();
    void ShowFromTray();
    void btnBackGroundModeClick();
    // The folder dialog for a folder combo; the choice goes into the combo, its history and the setting.
    // False when no folder was chosen.
    bool setFolder(platform::TComboBox& combo, const std::string& word);
    void SpecialFolderEnabled();
    void MoveFolderEnabled();
    void ControlsEnabled(bool on);
    // The desktop that showed the windows has ended (see TForm::OnDesktopLost).
    void DesktopLost();

    const TCommandLine& CommandLine() const noexcept { return commandLine_; }

    // Components, named as the window's design names them.
    platform::TMainMenu mmMainMenu;
    platform::TPopupMenu pmPopUp;
    platform::TPopupMenu popupTrayIcon;
    platform::TMenuItem* mmCaldix = nullptr;
    platform::TMenuItem* mmChkDLLs = nullptr;
    platform::TMenuItem* mmLogView = nullptr;
    platform::TMenuItem* MMDelLog = nullptr;
    platform::TMenuItem* mmSaveLog = nullptr;
    platform::TMenuItem* mmClearLog = nullptr;
    platform::TMenuItem* Find1 = nullptr;
    platform::TMenuItem* N10 = nullptr;
    platform::TMenuItem* mmExit = nullptr;
    platform::TMenuItem* mmShowOption = nullptr;
    platform::TMenuItem* mmOption = nullptr;
    platform::TMenuItem* mmIgnoreDirectory = nullptr;
    platform::TMenuItem* mmDelFolderNum = nullptr;
    platform::TMenuItem* mmClearAll = nullptr;
    platform::TMenuItem* mmTopMost = nullptr;
    platform::TMenuItem* mmSuspend = nullptr;
    platform::TMenuItem* mmResume = nullptr;
    platform::TMenuItem* pmPreviewArc = nullptr;
    platform::TMenuItem* pmClearItem = nullptr;

    platform::TTabControl pageProcTab;
    platform::TLabel lblOpenDirectory, lblAfterProc;
    platform::TComboBox cmbOpenDirectory, cmbSpecialFolder, cmbAfterMethod, cmbMoveFolder, txtExt,
        cmbPreTestMode, cmbCompType;
    platform::TButton btnSelectFolder, btnSpecialFolder, btnSelectMoveFolder, btnMoveFolder;
    platform::TCheckBox chkSpecialExt, chkPretestArc, chkIgnoreDirectory;
    platform::TLabel lblCompType;
    platform::TButton btnDelLogFile, btnOpenLogFile, btnSetting, btnIgnoreDirectory;
    platform::TCheckBox chkLog;

    platform::TLabel lblComplain;
    platform::TListView lvFiles;
    platform::TButton btnUnPack, btnCompress, btnSuspend, btnResume, btnPreview, btnClearList, btnSearch,
        btnBreak, btnBackGroundMode;
    platform::TSplitter splitter;
    platform::TLabel lblLog;
    platform::TMemo memoLog;
    platform::TProgressBar progExpand, progExpandGlobal;
    platform::TLabel lblIndicate, lblIndicateGlobal;
    platform::TCheckBox chkIndicatePerFile;
    platform::TEdit txtFileName;
    platform::TStatusBar statusBar;

    platform::TTimer timerEvent;
    TFilerIconCache iconCache;

private:
    void BuildMenus();
    void BuildControls();
    void WireEvents();
    void LayoutControls();
    void SetMinimumSize();
    void FormCreate();
    void FormShow();
    void FormClose();
    void FormCloseQuery(bool& canClose);
    void HandleCommandLine();
    void ApplyOptionControls();
    void SetSpecialFolderText();
    void StoreGeometry();
    // Saves the settings file; the after-extraction action saved is the one chosen in the window.
    void SaveSettings();
    // The end of the Windows session: a running job is stopped and joined, the log file and the settings
    // are written, and the window closes.
    void EndSession();

    // option controls
    void cmbOpenDirectoryChange();
    void cmbSpecialFolderChange();
    void cmbAfterMethodChange();
    void chkSpecialExtClick();
    void chkPretestArcClick();
    void chkIndicatePerFileClick();
    void ToggleIgnoreDirectory();
    void chkIgnoreDirectoryClick();

    void CreateEngine();
    void StartWorker(int priority);
    void LogJobStart();
    // The batches of a job's screen changes (form_main_log.cpp).
    void BeginScreenBatch();
    void EndScreenBatch();
    // A change made on the job's behalf: drawn with the next batch, at once when the batches fall far behind.
    void ScreenChanged();
    // True for a change that waits for the next batch: one the worker made while its job runs.
    bool Batching() const noexcept;
    void FreezeList();
    // Puts the waiting log lines into the pane.
    void DrawPendingLog();

    TApplicationMainThread mainThread_;
    TWin32ShellOps shellOps_;
    std::unique_ptr<TJobContext> context_;
    // The member names a pre-test reports from the worker, shown at a pace a person can read.
    std::unique_ptr<TCoalescedPost<std::string>> preTestName_;
    // Close the window once the running job has ended (a close or a session end during a job, the ZIP stop
    // question).
    bool quitAfterJob_ = false;
    // The action the user chose while a command-line switch (-d, -t, -k) stands in for it for this start.
    std::optional<uint8_t> chosenAfterMethod_;
    // The session is ending: no question is shown any more, and what the close writes has been written.
    bool sessionEnding_ = false;
    bool savedForSessionEnd_ = false;

    std::vector<std::string> args_;
    TCommandLine commandLine_;
    int logLineCount_ = 0;

    // While a job runs, what the worker changes on screen is drawn in batches (TBatchClock): each drawing
    // of a control costs the window system's round trips, and a job of small archives would otherwise
    // redraw the log pane, the list, the status bar and the bars several times per archive. Log lines wait
    // as text; the list's rows change at once with its drawing off until the batch; the status text and
    // the progress display keep their latest values. A batch also comes before a question and at the end
    // of the job; a line the user's own command logs brings the waiting lines before it.
    bool screenBatch_ = false;
    bool flushing_ = false;
    bool flushQueued_ = false;
    TBatchClock batchClock_;
    std::string pendingLog_;
    bool listFrozen_ = false;
    int pendingVisibleRow_ = -1;
    std::optional<std::string> pendingStatus_;
    std::optional<std::string> pendingMemberName_;
    std::optional<int> pendingFilePercent_;
    std::optional<int> pendingTotalPercent_;
    // The job list's share of the height it shares with the log pane, per mille, moved by the splitter; the
    // shared height and the splitter's distance from the list's top, from the last layout.
    int listShare_ = kDefaultListShare;
    int sharedHeight_ = 0;
    int splitterOffset_ = 0;
    HBRUSH redBrush_ = nullptr;
    // The output-place and after-extraction combos: at least the designed width, and their longest entry.
    int kindComboWidth_ = 114;
    bool trayIcon_ = false;
};

}  // namespace velmor
