// The main window's log: numbered pane lines, the status panels, the option summary, and the log file in My
// Documents (Shift-JIS, CR LF, appended at close, deleted whole past its size limit).
#include <windows.h>

#include "app/forms/form_main.h"
#include "app/ini_control.h"
#include "archivers/job_state.h"
#include "platform/application.h"
#include "platform/dialogs.h"
#include "platform/file_stream.h"
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
        memoLog.Add(FormatLogLine(message, logLineCount_, JobState().CurrentArchive));
        // A long line would leave the pane scrolled to its end; the lines' beginnings are what matters.
        ::SendMessageW(memoLog.Handle(), WM_HSCROLL, SB_LEFT, 0);
    } catch (...) {
        // Logging never reaches the user; the counter keeps its new value.
    }
}

void TfrmMain::SetStatusText(const std::string& text) {
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

namespace {
void WriteLines(platform::TFileStream& file, const std::vector<std::string>& lines, bool flushEach) {
    for (const std::string& line : lines) {
        if (!file.WriteText(line) || !file.WriteText("\r\n")) throw platform::EFileStreamError("write");
        if (flushEach) file.Flush();
    }
}
}  // namespace

void TfrmMain::WriteLogFile() {
    const std::string path = JobState().LogFilePath;
    if (path.empty()) return;
    try {
        {
            platform::TFileStream file(path, platform::fmOpenAppend);
            WriteLines(file, memoLog.Lines(), true);
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
        platform::TFileStream file(name, platform::fmCreate);
        WriteLines(file, memoLog.Lines(), false);
    } catch (const std::exception&) {
        Application.MessageBox(Handle(), "処理記録を保存できませんでした", "処理記録を保存",
                               MB_OK | MB_ICONERROR);
    }
}

void TfrmMain::ClearLog() {
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
