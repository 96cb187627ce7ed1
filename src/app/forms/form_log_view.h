// The log viewer "処理の記録（標準ログファイル）閲覧": shows the log file "VelmorLog.txt" of My Documents,
// reloaded on every show. One instance for the program, shown modeless; Esc closes it.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/ini_control.h"
#include "platform/controls.h"
#include "platform/form.h"

namespace velmor {

// A log file's text and where its lines start: CR LF or LF ends, a last line without an end counts, an empty
// text has no line.
class TLogText {
public:
    TLogText() = default;
    explicit TLogText(std::string text);
    size_t Count() const noexcept { return starts_.size(); }
    // Without its line end.
    std::string_view Line(size_t index) const;
    // The line with the most bytes (0 when there is none).
    size_t Longest() const noexcept { return longest_; }

private:
    std::string text_;
    std::vector<size_t> starts_;
    size_t longest_ = 0;
};

// The lines of a text in a read-only list that asks for a row's text only when it shows the row, so a log of
// any size is on screen at once. Rows can be selected; Ctrl+A selects every row, Ctrl+C copies the selected
// ones.
class TLogLinesView : public platform::TWinControl {
public:
    void Create(platform::TForm& form, int x, int y, int width, int height);
    void SetContent(TLogText text);
    const TLogText& Content() const noexcept { return text_; }
    // What a row shows: the line with its tabs expanded to every eighth column.
    static std::wstring DisplayText(std::string_view line);
    // The selected lines, each ended by CR LF.
    std::string SelectedText() const;
    void SelectAll();
    void CopySelection() const;
    // The rows fill the width, or are as wide as the longest line; after every change of size.
    void FitColumn();
    LRESULT HandleNotify(NMHDR* header) override;

private:
    TLogText text_;
    int longestWidth_ = 0;
    std::wstring shown_;  // the row handed to the control last
};

class TfrmLogView : public platform::TForm {
public:
    TfrmLogView();

    TLogLinesView memoLogView;
    // Where the log file is; LogFilePath unless a test says otherwise.
    std::function<std::optional<std::string>()> LogPath = LogFilePath;
    static constexpr const char* kNoLogText = "ログファイルがまだ生成されていません。";
    static constexpr const char* kReadErrorText = "ログファイルを読み込めませんでした。";

    // Runs on every show: the whole file, or the line saying there is none yet.
    void LoadLogFile();
    // Over the main window, whole on the work area, and the file read again.
    void FormShow();

private:
    // Builds the controls; runs as the form's OnCreate, so Create(owner) and Application.CreateForm both do.
    void CreateControls();
};

}  // namespace velmor
