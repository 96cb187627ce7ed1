// The log viewer "処理の記録（標準ログファイル）閲覧": shows the log file "VelmorLog.txt" of My Documents,
// reloaded on every show. One instance for the program, shown modeless.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/ini_control.h"
#include "platform/controls.h"
#include "platform/form.h"

namespace velmor {

// The lines of a text (CR LF or LF line ends; a last line without an end counts).
std::vector<std::string> SplitLogLines(const std::string& text);

class TfrmLogView : public platform::TForm {
public:
    TfrmLogView();

    platform::TMemo memoLogView;
    // Where the log file is; LogFilePath unless a test says otherwise.
    std::function<std::optional<std::string>()> LogPath = LogFilePath;
    static constexpr const char* kNoLogText = "ログファイルがまだ生成されていません。";
    static constexpr const char* kReadErrorText = "ログファイルを読み込めませんでした。";

    // Runs on every show: the whole file, or the line saying there is none yet.
    void LoadLogFile();
    void FormShow() { LoadLogFile(); }

private:
    // Builds the controls; runs as the form's OnCreate, so Create(owner) and Application.CreateForm both do.
    void CreateControls();
};

}  // namespace velmor
