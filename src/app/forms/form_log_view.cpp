// The log viewer. The file is read in one go and where its lines start is found once; a row's text is made
// when the list shows that row, so a long log costs no work per line on the window's side.
#include "app/forms/form_log_view.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>

#include "platform/application.h"
#include "platform/handle.h"
#include "platform/sjis.h"

namespace velmor {

TLogText::TLogText(std::string text) : text_(std::move(text)) {
    const char* const begin = text_.data();
    const char* const end = begin + text_.size();
    size_t longestBytes = 0;
    // A line feed is never the second byte of a Shift-JIS character.
    for (const char* p = begin; p < end;) {
        const auto* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        const char* next = lf ? lf + 1 : end;
        if (static_cast<size_t>(next - p) > longestBytes) {
            longestBytes = static_cast<size_t>(next - p);
            longest_ = starts_.size();
        }
        starts_.push_back(static_cast<size_t>(p - begin));
        p = next;
    }
}

std::string_view TLogText::Line(size_t index) const {
    if (index >= starts_.size()) return {};
    const size_t start = starts_[index];
    size_t end = index + 1 < starts_.size() ? starts_[index + 1] : text_.size();
    if (end > start && text_[end - 1] == '\n') --end;
    if (end > start && text_[end - 1] == '\r') --end;
    return std::string_view(text_).substr(start, end - start);
}

void TLogLinesView::Create(platform::TForm& form, int x, int y, int width, int height) {
    CreateControl(form, WC_LISTVIEWW,
                  WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_NOCOLUMNHEADER | LVS_SHOWSELALWAYS,
                  WS_EX_CLIENTEDGE, x, y, width, height, {});
    Send(LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = width;
    Send(LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
}

std::wstring TLogLinesView::DisplayText(std::string_view line) {
    std::string expanded;
    expanded.reserve(line.size());
    // A byte is a column: the view's font draws a double-byte character two half-width columns wide.
    for (char c : line) {
        if (c == '\t')
            expanded.append(8 - expanded.size() % 8, ' ');
        else
            expanded += c;
    }
    return platform::SjisToWide(expanded);
}

void TLogLinesView::SetContent(TLogText text) {
    text_ = std::move(text);
    // No selection or scroll position of the previous text stays.
    Send(LVM_SETITEMCOUNT, 0, 0);
    Send(LVM_SETITEMCOUNT, static_cast<WPARAM>(text_.Count()), LVSICF_NOINVALIDATEALL);
    longestWidth_ = 0;
    if (text_.Count() > 0) {
        const std::wstring longest = DisplayText(text_.Line(text_.Longest()));
        longestWidth_ =
            static_cast<int>(Send(LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(longest.c_str()))) + 16;
    }
    FitColumn();
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void TLogLinesView::FitColumn() {
    if (!hwnd_) return;
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    Send(LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(std::max<int>(longestWidth_, client.right - client.left), 0));
}

std::string TLogLinesView::SelectedText() const {
    std::string out;
    for (int row = static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)); row >= 0;
         row = static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(row), LVNI_SELECTED))) {
        out += text_.Line(static_cast<size_t>(row));
        out += "\r\n";
    }
    return out;
}

void TLogLinesView::SelectAll() {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED;
    item.state = LVIS_SELECTED;
    Send(LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
}

void TLogLinesView::CopySelection() const {
    const std::wstring text = platform::SjisToWide(SelectedText());
    if (text.empty() || !::OpenClipboard(hwnd_)) return;
    platform::ScopeExit close([] { ::CloseClipboard(); });
    ::EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory) return;
    if (void* p = ::GlobalLock(memory)) {
        std::memcpy(p, text.c_str(), bytes);
        ::GlobalUnlock(memory);
        if (::SetClipboardData(CF_UNICODETEXT, memory)) return;  // the clipboard owns it now
    }
    ::GlobalFree(memory);
}

LRESULT TLogLinesView::HandleNotify(NMHDR* header) {
    switch (header->code) {
        case LVN_GETDISPINFOW: {
            auto* info = reinterpret_cast<NMLVDISPINFOW*>(header);
            if (!(info->item.mask & LVIF_TEXT) || info->item.iItem < 0) break;
            shown_ = DisplayText(text_.Line(static_cast<size_t>(info->item.iItem)));
            // The control reads the row from this buffer, so a line longer than its own buffer shows whole.
            info->item.pszText = shown_.data();
            break;
        }
        case LVN_ODFINDITEMW: return -1;
        case LVN_KEYDOWN: {
            const WORD key = reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey;
            if (::GetKeyState(VK_CONTROL) >= 0) break;
            if (key == 'A') SelectAll();
            if (key == 'C') CopySelection();
            break;
        }
        default: break;
    }
    return 0;
}

TfrmLogView::TfrmLogView() : TForm(L"TfrmLogView") {
    EscapeCloses = true;
    OnCreate = [this] { CreateControls(); };
    OnShow = [this] { FormShow(); };
    OnResize = [this] {
        if (!memoLogView.Handle()) return;
        memoLogView.SetBounds(0, 0, ClientWidth(), ClientHeight());
        memoLogView.FitColumn();
    };
}

void TfrmLogView::CreateControls() {
    SetCaption("処理の記録（標準ログファイル）閲覧");
    SetFont("ＭＳ ゴシック", 9);
    SetClientSize(640, 420);
    memoLogView.Create(*this, 0, 0, 640, 420);
}

void TfrmLogView::FormShow() {
    CenterOnMainForm();
    LoadLogFile();
}

void TfrmLogView::LoadLogFile() {
    std::optional<std::string> path = LogPath ? LogPath() : std::nullopt;
    platform::UniqueFile file;
    if (path)
        file.Reset(::CreateFileW(platform::SjisToWide(*path).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        bool exists =
            path && ::GetFileAttributesW(platform::SjisToWide(*path).c_str()) != INVALID_FILE_ATTRIBUTES;
        memoLogView.SetContent(TLogText(exists ? std::string() : std::string(kNoLogText)));
        if (exists)
            platform::Application.MessageBox(Handle(), kReadErrorText, Caption(), MB_OK | MB_ICONERROR);
        return;
    }
    std::string text;
    bool failed = false;
    try {
        LARGE_INTEGER size{};
        if (::GetFileSizeEx(file.Get(), &size)) text.resize(static_cast<size_t>(size.QuadPart));
        size_t got = 0;
        // One read of the whole file; a file that grew meanwhile is read to its new end.
        for (;;) {
            if (got == text.size()) text.resize(got + 65536);
            DWORD n = 0;
            const DWORD want = static_cast<DWORD>(std::min<size_t>(text.size() - got, 1u << 30));
            if (!::ReadFile(file.Get(), text.data() + got, want, &n, nullptr)) {
                failed = true;
                break;
            }
            if (n == 0) break;
            got += n;
        }
        text.resize(got);
    } catch (const std::exception&) {
        text.clear();
        failed = true;
    }
    // What was read so far stays on show.
    memoLogView.SetContent(TLogText(std::move(text)));
    if (failed) platform::Application.MessageBox(Handle(), kReadErrorText, Caption(), MB_OK | MB_ICONERROR);
}

}  // namespace velmor
