// The main window's log: numbered pane lines, the status panels, the option summary, the log file in My
// Documents (Shift-JIS, CR LF, appended at close in one write, deleted whole past its size limit), and the
// batches in which the window draws what a job changes.
#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <utility>

#include "app/forms/form_main.h"
#include "app/ini_control.h"
#include "archivers/job_state.h"
#include "platform/application.h"
#include "platform/dialogs.h"
#include "platform/file_stream.h"
#include "platform/handle.h"
#include "platform/sjis.h"

namespace velmor {

using platform::Application;

std::string NowText() {
    wchar_t date[128] = {}, time[128] = {};
    ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, 128);
    ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, time, 128);
    return platform::WideToSjis(date) + " " + platform::WideToSjis(time);
}

void TfrmMain::AppendLog(const std::string& message) {
    try {
        std::string line = FormatLogLine(message, logLineCount_, JobState().CurrentArchive);
        if (!pendingLog_.empty()) pendingLog_ += "\r\n";
        pendingLog_ += line;
        if (Batching()) {
            ScreenChanged();
            return;
        }
        // Lines of the job still waiting go first, so the pane stays in the order of the numbers.
        DrawPendingLog();
    } catch (...) {
        // Logging never reaches the user; the counter keeps its new value.
    }
}

void TfrmMain::DrawPendingLog() {
    if (pendingLog_.empty()) return;
    std::string text;
    text.swap(pendingLog_);
    HWND pane = memoLog.Handle();
    if (!pane) return;
    // One replacement at the end for all the waiting lines, and one repaint of the pane.
    const bool shown = ::IsWindowVisible(pane) != FALSE;
    if (shown) ::SendMessageW(pane, WM_SETREDRAW, FALSE, 0);
    memoLog.Add(text);
    // A long line would leave the pane scrolled to its end; the lines' beginnings are what matters.
    ::SendMessageW(pane, WM_HSCROLL, SB_LEFT, 0);
    if (shown) {
        ::SendMessageW(pane, WM_SETREDRAW, TRUE, 0);
        ::RedrawWindow(pane, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    }
}

void TfrmMain::SetStatusText(const std::string& text) {
    if (Batching()) {
        pendingStatus_ = text;
        ScreenChanged();
        return;
    }
    pendingStatus_.reset();
    try {
        statusBar.SetPanelText(0, text);
    } catch (...) {
    }
}

void TfrmMain::ShowOptionSummary() {
    std::string text;
    if (IniControl.IgnoreDirectory) text += "ディレクトリ構成無視 ";
    if (IniControl.IgnoreDirectory && IniControl.DelFolderNum) text += ", ";
    if (IniControl.DelFolderNum) text += "末尾数字等除去";
    statusBar.SetPanelText(1, text);
}

// --- batches of a job's screen changes ---------------------------------------------------------------------

bool TfrmMain::Batching() const noexcept { return screenBatch_ && !flushing_ && mainThread_.RunningCall(); }

void TfrmMain::BeginScreenBatch() {
    screenBatch_ = true;
    batchClock_.Start();
}

void TfrmMain::EndScreenBatch() {
    if (!screenBatch_) return;
    // The last batch is drawn before the end of the job resets the bars: they are seen at their end.
    FlushScreen();
    screenBatch_ = false;
}

void TfrmMain::ScreenChanged() {
    // A timer waits behind every other message: should a stream of hand-overs hold it back, the change
    // itself draws.
    if (batchClock_.Since() >= 4 * batchClock_.Interval()) {
        FlushScreen();
        return;
    }
    if (flushQueued_) return;
    flushQueued_ = true;
    // Drawn from the message loop, while the worker goes on with the library.
    mainThread_.PostLater(batchClock_.Left(), [this] {
        flushQueued_ = false;
        if (screenBatch_) FlushScreen();
    });
}

void TfrmMain::FreezeList() {
    if (listFrozen_) return;
    lvFiles.BeginUpdate();
    listFrozen_ = true;
}

void TfrmMain::FlushScreen() {
    const DWORD start = ::GetTickCount();
    flushing_ = true;
    platform::ScopeExit done([this] { flushing_ = false; });
    DrawPendingLog();
    // What shows the same already is left alone: setting it again would draw it again.
    if (std::optional<std::string> status = std::exchange(pendingStatus_, std::nullopt))
        if (statusBar.PanelText(0) != *status) SetStatusText(*status);
    if (std::optional<std::string> name = std::exchange(pendingMemberName_, std::nullopt))
        if (txtFileName.Text() != *name) ShowMemberName(*name);
    if (std::optional<int> percent = std::exchange(pendingFilePercent_, std::nullopt))
        if (progExpand.Position() != *percent) SetFileProgress(*percent);
    if (std::optional<int> percent = std::exchange(pendingTotalPercent_, std::nullopt))
        if (progExpandGlobal.Position() != *percent) SetTotalProgress(*percent);
    if (listFrozen_) {
        listFrozen_ = false;
        lvFiles.EndUpdate();
    }
    const int row = std::exchange(pendingVisibleRow_, -1);
    if (row >= 0 && row < lvFiles.Count())
        ::SendMessageW(lvFiles.Handle(), LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
    // Painted now, so that the batch's cost is known and the next one waits accordingly.
    if (Handle() && ::IsWindowVisible(Handle()))
        ::RedrawWindow(Handle(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    batchClock_.Drawn(start);
}

namespace {
// The pane's lines, each ended by CR LF, in one write.
void WriteLines(platform::TFileStream& file, const std::vector<std::string>& lines) {
    size_t size = 0;
    for (const std::string& line : lines) size += line.size() + 2;
    std::string text;
    text.reserve(size);
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    if (!file.WriteText(text)) throw platform::EFileStreamError("write");
}
}  // namespace

void TfrmMain::WriteLogFile() {
    const std::string path = JobState().LogFilePath;
    if (path.empty()) return;
    try {
        DrawPendingLog();
        {
            platform::TFileStream file(path, platform::fmOpenAppend);
            WriteLines(file, memoLog.Lines());
            file.Flush();
        }
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!::GetFileAttributesExW(platform::SjisToWide(path).c_str(), GetFileExInfoStandard, &data)) return;
        uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        if (LogFileOverLimit(size, IniControl.KBDeleteLog)) ::DeleteFileW(platform::SjisToWide(path).c_str());
    } catch (...) {
        // A failed write is abandoned; closing goes on with the settings.
    }
}

void TfrmMain::SaveLog() {
    platform::TSaveDialog dialog;
    dialog.Filter = "処理記録ファイル(*.txt)|*.TXT";
    dialog.Title = "処理記録を保存";
    if (!dialog.Execute(Handle())) return;
    std::string name = dialog.FileName;
    // Only an exact ".txt" counts as the extension.
    if (name.size() < 4 || name.compare(name.size() - 4, 4, ".txt") != 0) name += ".txt";
    try {
        DrawPendingLog();
        platform::TFileStream file(name, platform::fmCreate);
        WriteLines(file, memoLog.Lines());
    } catch (const std::exception&) {
        Application.MessageBox(Handle(), "処理記録を保存できませんでした", "処理記録を保存",
                               MB_OK | MB_ICONERROR);
    }
}

void TfrmMain::ClearLog() {
    pendingLog_.clear();
    memoLog.Clear();
    logLineCount_ = 0;
}

void TfrmMain::DeleteLogFile() {
    const std::string& path = JobState().LogFilePath;
    if (path.empty()) return;
    if (::DeleteFileW(platform::SjisToWide(path).c_str()))
        Application.MessageBox(Handle(), "記録ファイルを初期化しました", "情報", MB_OK);
}

}  // namespace velmor
