// The search window. A search runs on the main thread and serves the window's messages between batches of
// hits, so the window answers, shows the hits so far and can stop it.
#include "app/forms/form_search.h"

#include <memory>

#include "app/forms/form_dialog_ex.h"
#include "app/forms/screen_batch.h"
#include "app/shell_util.h"
#include "archivers/archive_file.h"
#include "archivers/path_util.h"
#include "platform/application.h"
#include "platform/handle.h"
#include "platform/sjis.h"
#include "regexp/awk_str.h"

namespace velmor {

std::string SearchNamePart(std::string_view name) {
    size_t cut = 0;
    for (size_t i = 0; i < name.size(); i += platform::SjisCharLength(name, i))
        if (name[i] == '/' || name[i] == '\\') cut = i + 1;
    return std::string(name.substr(cut));
}

std::string WildcardPatternOf(std::string_view keyword) {
    size_t begin = 0, end = keyword.size();
    while (begin < end && keyword[begin] == ';') ++begin;
    // A trailing ";" is a separator only where it is not the second byte of a character.
    while (end > begin && platform::SjisEndsWithChar(keyword.substr(begin, end - begin), ';')) --end;
    if (begin == end) return {};
    return "*" + std::string(keyword.substr(begin, end - begin)) + "*";
}

std::string LowerExtensionOf(std::string_view path) {
    std::string ext = ExtractFileExt(path);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

TfrmSearch::TfrmSearch() : TForm(L"TfrmSearch") {
    OnCreate = [this] { CreateControls(); };
    OnShow = [this] { FormShow(); };
    OnResize = [this] { Layout(); };
    // Enter in a keyword box starts the search, Esc closes (the dialog keys arrive as IDOK and IDCANCEL).
    OnMessage = [this](UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
        if (msg != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return false;
        if (LOWORD(wParam) == IDOK) {
            // Enter starts a search from a keyword box only.
            HWND focus = ::GetFocus();
            for (platform::TComboBox* box : {&cmbWildCard, &cmbRegExp})
                if (focus && (focus == box->Handle() || ::IsChild(box->Handle(), focus)))
                    btnStartSearchClick();
        } else if (LOWORD(wParam) == IDCANCEL) {
            btnCloseClick();
        } else {
            return false;
        }
        result = 0;
        return true;
    };
}

void TfrmSearch::CreateControls() {
    SetCaption("検索（圧縮ファイル群内ファイル/フォルダ検索）");
    PaintUnderChildren(*this);
    SetFont("ＭＳ Ｐゴシック", 9);
    SetClientSize(660, 430);

    RadioGroup1.Create(*this, 8, 6, 644, 76, "検索するキーワード・パターンを指定して下さい");
    chkWildCard.Create(*this, 18, 26, 180, 20, "通常検索(ワイルドカード)", true);
    cmbWildCard.Create(*this, 200, 25, 300, 200);
    chkRegExp.Create(*this, 18, 52, 180, 20, "正規表現検索", false);
    cmbRegExp.Create(*this, 200, 51, 300, 200);
    chkRegExp.SetVisible(false);
    cmbRegExp.SetVisible(false);
    for (const char* preset : {"*.*", "*.jpg;*.png;*.gif;*.bmp", "*.mp3;*.wav;*.mid;",
                               "*.avi;*.wmv;*.mpg;*.mpeg;*.rm", "*.htm;*.html;", "*.exe", "*.jpg", "*.png"})
        cmbWildCard.Add(preset);
    cmbRegExp.Add("[0-9]");
    btnStartSearch.Create(*this, 512, 24, 64, 24, "検索", true);
    btnAbort.Create(*this, 580, 24, 64, 24, "停止");
    btnClose.Create(*this, 580, 398, 72, 24, "閉じる");

    Label3.Create(*this, 8, 90, 60, 16, "検索結果");
    lblMessage.Create(*this, 80, 90, 200, 16, "ヒット数");
    lblcntFind.Create(*this, 290, 90, 60, 16, "0", SS_RIGHT);
    Label4.Create(*this, 354, 90, 20, 16, "件");

    lvFile.Create(*this, 8, 110, 644, 280);
    lvFile.AddColumn("圧縮ファイル内ファイル名", 250);
    lvFile.AddColumn("圧縮ファイル名", 200);
    lvFile.AddColumn("展開サイズ", 80, platform::taRightJustify);
    lvFile.AddColumn("更新日時", 110);
    lvFile.SetSmallImages(&imgList);
    pmDeleteListItem = &pmSearchList.Add("リストから外す");
    pmDeleteListItem->OnClick = [this] { pmDeleteListItemClick(); };
    lvFile.PopupMenu = &pmSearchList;

    btnUnPack.Create(*this, 8, 398, 150, 24, "検索結果のみ抽出解凍");
    Label1.Create(*this, 166, 402, 40, 16, "抽出先");
    cmbSpecialFolder.Create(*this, 210, 399, 260, 200);
    btnSelectMoveFolder.Create(*this, 474, 398, 24, 24, "...");
    for (platform::TWinControl* c : std::initializer_list<platform::TWinControl*>{
             &btnUnPack, &Label1, &cmbSpecialFolder, &btnSelectMoveFolder})
        c->SetVisible(false);

    btnStartSearch.OnClick = [this] { btnStartSearchClick(); };
    btnAbort.OnClick = [this] { btnAbortClick(); };
    btnClose.OnClick = [this] { btnCloseClick(); };
    lvFile.OnColumnClick = [this](int column) { lvFileColumnClick(column); };
    Layout();
}

void TfrmSearch::Layout() {
    if (!Handle() || !lvFile.Handle()) return;
    int w = ClientWidth(), h = ClientHeight();
    lvFile.SetBounds(8, 110, std::max(w - 16, 10), std::max(h - 150, 10));
    btnClose.SetBounds(std::max(w - 80, 0), std::max(h - 32, 0), 72, 24);
}

int TfrmSearch::ShowForJobList() {
    if (!Source.ArchivePaths || Source.ArchivePaths().empty()) {
        platform::Application.MessageBox(kEmptyListText, "検索", MB_OK);
        return platform::mrCancel;
    }
    return ShowModal();
}

void TfrmSearch::FormShow() {
    SelectMode(false);
    // Over the main window, whole on the work area, ready for a keyword.
    CenterOnMainForm();
    SetActiveControl(cmbWildCard);
}

void TfrmSearch::SelectMode(bool regExp) {
    // Set directly: the group walk of a radio button does not end when it starts at a hidden button.
    ::SendMessageW(chkWildCard.Handle(), BM_SETCHECK, regExp ? BST_UNCHECKED : BST_CHECKED, 0);
    ::SendMessageW(chkRegExp.Handle(), BM_SETCHECK, regExp ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TfrmSearch::btnStartSearchClick() {
    // The button, Enter in a keyword box: served while a search runs, they start no second one.
    if (searching_) return;
    SearchHitCount = 0;
    WildcardMode = chkWildCard.Checked() && !WildcardPatternOf(cmbWildCard.Text()).empty();
    RegExpMode = chkRegExp.Checked() && !cmbRegExp.Text().empty();
    if (!WildcardMode && !RegExpMode) return;
    bool skip = false;
    if (RegExpMode) {
        try {
            regexp::TAWKStr check;
            check.SetRegExp(cmbRegExp.Text());
        } catch (const regexp::ERegExpParser&) {
            lblMessage.SetText(kBadRegExpText);
            skip = true;
        }
    }
    if (!skip) {
        lvFile.Clear();
        SearchHitCount = SearchArchives(Handle(), cmbWildCard.Text(), cmbRegExp.Text());
    }
    lblcntFind.SetText(std::to_string(SearchHitCount));
}

bool TfrmSearch::SearchStopped() const {
    return stopRequested_ || !Handle() || !::IsWindowVisible(Handle()) ||
           ModalResult() != modalResultAtStart_ || platform::Application.Terminated();
}

int TfrmSearch::SearchArchives(HWND wnd, const std::string& keyword, const std::string& regExp) {
    imgList.Clear();
    largeIcons_.Clear();
    // Image 0 is the folder icon, the image of every folder-like hit; both lists hold it, so the cache's
    // indexes are valid in both.
    {
        platform::UniqueIcon small{FetchTypeIcon("*", FILE_ATTRIBUTE_DIRECTORY, true)};
        platform::UniqueIcon large{FetchTypeIcon("*", FILE_ATTRIBUTE_DIRECTORY, false)};
        if (small && large && imgList.AddIcon(small.Get()) == 0 && largeIcons_.AddIcon(large.Get()) != 0)
            imgList.Clear();
    }
    icons_ = std::make_unique<TExtIconCache>(imgList, largeIcons_);
    int hits = 0;
    searching_ = true;
    stopRequested_ = false;
    modalResultAtStart_ = ModalResult();
    // The rows come in batches, each drawn once; between them the window's messages are served.
    TBatchClock clock;
    clock.Start();
    lvFile.BeginUpdate();
    platform::ScopeExit end([this] {
        lvFile.EndUpdate();
        searching_ = false;
    });
    auto serve = [&] {
        if (!clock.Due()) return;
        const DWORD start = ::GetTickCount();
        lvFile.EndUpdate();
        lblcntFind.SetText(std::to_string(hits));
        platform::Application.ProcessMessages();
        lvFile.BeginUpdate();
        clock.Drawn(start);
    };
    try {
        const std::string patterns = WildcardPatternOf(keyword);
        // Compiled once for the whole search.
        std::unique_ptr<regexp::TAWKStr> matcher;
        if (!WildcardMode && RegExpMode) {
            matcher = std::make_unique<regexp::TAWKStr>();
            matcher->SetRegExp(regExp);
        }
        auto isHit = [&](const std::string& namePart) {
            if (WildcardMode) return MatchesWildcardList(namePart, patterns);
            int32_t pos = 0, len = 0;
            return matcher && matcher->Match(namePart, pos, len) > 0;
        };
        std::vector<std::string> paths =
            Source.ArchivePaths ? Source.ArchivePaths() : std::vector<std::string>{};
        TArchiveFile archive;
        for (const std::string& path : paths) {
            if (SearchStopped()) break;
            if (DirectoryExistsSjis(path)) continue;
            if (Source.AcceptsExtension && !Source.AcceptsExtension(LowerExtensionOf(path))) continue;
            // One archive that cannot be read (damaged, its library missing) does not end the search.
            try {
                archive.SetFileName(path);
                if (archive.OpenArchive(wnd, kOpenModeList) != 0) continue;
                platform::ScopeExit close([&archive] { CloseArchiveQuietly(archive); });
                TArchiveMemberInfo info{};
                for (int r = archive.FindFirst("*.*", info); r == 0; r = archive.FindNext(info)) {
                    serve();
                    if (SearchStopped()) break;
                    std::string name = MemberName(info.FileName);
                    if (!isHit(SearchNamePart(name))) continue;
                    uint64_t size = info.OriginalSize64 ? info.OriginalSize64 : info.OriginalSize;
                    AddSearchHit(lvFile, name, EntrySizeText(size), info.WriteTime, path);
                    ++hits;
                }
            } catch (const regexp::ERegExpParser&) {
                throw;
            } catch (...) {
            }
        }
    } catch (...) {
        // The rows so far stay; the search ends without a message.
    }
    return hits;
}

void TfrmSearch::AddSearchHit(platform::TListView& list, const std::string& name, const std::string& sizeText,
                              const FILETIME& writeTime, const std::string& archivePath) {
    int image = 0;
    if (!IsFolderLike(name)) {
        if (!icons_) icons_ = std::make_unique<TExtIconCache>(imgList, largeIcons_);
        image = icons_->GetEntryIconIndex(EntryExtension(name), sizeText);
    }
    int row = list.AddItem(name, image);
    if (row < 0) return;
    list.AddSubItem(row, ExtractBareName(archivePath) + " (" + archivePath + ")");
    list.AddSubItem(row, sizeText);
    list.AddSubItem(row, FormatEntryTime(writeTime));
}

bool TfrmSearch::MatchesRegExp(const std::string& name, const std::string& expression) {
    regexp::TAWKStr matcher;
    matcher.SetRegExp(expression);
    int32_t pos = 0, len = 0;
    return matcher.Match(name, pos, len) > 0;
}

void TfrmSearch::pmDeleteListItemClick() {
    for (int i = lvFile.Count() - 1; i >= 0; --i)
        if (lvFile.Selected(i)) lvFile.Delete(i);
}

void TfrmSearch::lvFileColumnClick(int column) {
    Sort.Click(column);
    try {
        lvFile.CustomSort(
            [this](const platform::TListRow& a, const platform::TListRow& b) { return Sort.Compare(a, b); });
    } catch (...) {
    }
}

}  // namespace velmor
