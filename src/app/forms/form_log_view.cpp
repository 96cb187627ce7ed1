// The log viewer. The file is read whole, so a log of any size shows to its last line.
#include "app/forms/form_log_view.h"

#include "platform/application.h"
#include "platform/handle.h"
#include "platform/sjis.h"

namespace velmor {

std::vector<std::string> SplitLogLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t lf = text.find('\n', start);
        size_t end = lf == std::string::npos ? text.size() : lf;
        size_t cut = end > start && text[end - 1] == '\r' ? end - 1 : end;
        lines.push_back(text.substr(start, cut - start));
        if (lf == std::string::npos) break;
        start = lf + 1;
    }
    return lines;
}

TfrmLogView::TfrmLogView() : TForm(L"TfrmLogView") {
    OnCreate = [this] { CreateControls(); };
    OnShow = [this] { FormShow(); };
    OnResize = [this] {
        if (memoLogView.Handle()) memoLogView.SetBounds(0, 0, ClientWidth(), ClientHeight());
    };
}

void TfrmLogView::CreateControls() {
    SetCaption("処理の記録（標準ログファイル）閲覧");
    SetFont("ＭＳ ゴシック", 9);
    SetClientSize(640, 420);
    memoLogView.Create(*this, 0, 0, 640, 420);
}

void TfrmLogView::LoadLogFile() {
    memoLogView.Clear();
    std::optional<std::string> path = LogPath ? LogPath() : std::nullopt;
    platform::UniqueFile file;
    if (path)
        file.Reset(::CreateFileW(platform::SjisToWide(*path).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        bool exists =
            path && ::GetFileAttributesW(platform::SjisToWide(*path).c_str()) != INVALID_FILE_ATTRIBUTES;
        if (!exists) {
            memoLogView.Add(kNoLogText);
        } else {
            platform::Application.MessageBox(Handle(), kReadErrorText, Caption(), MB_OK | MB_ICONERROR);
        }
        return;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) {
            // What was read so far stays on show.
            memoLogView.SetLines(SplitLogLines(text));
            platform::Application.MessageBox(Handle(), kReadErrorText, Caption(), MB_OK | MB_ICONERROR);
            return;
        }
        if (got == 0) break;
        text.append(buffer, got);
    }
    memoLogView.SetLines(SplitLogLines(text));
}

}  // namespace velmor
