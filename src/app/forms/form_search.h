// The search window "検索（圧縮ファイル群内ファイル/フォルダ検索）": finds members by name in every archive
// of the main window's job list, by wildcard or (hidden mode) regular expression, and lists the hits with
// their archive, size and date. One instance for the program, shown modal. The job list reaches it through
// TSearchSource, so the search runs the same with a plain list of paths.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/forms/form_arc_view.h"
#include "platform/controls.h"
#include "platform/form.h"
#include "platform/list_view.h"
#include "platform/menus.h"

namespace velmor {

// What the search reads from the job list.
struct TSearchSource {
    // The rows' captions (archive or folder paths), top to bottom.
    std::function<std::vector<std::string>()> ArchivePaths;
    // The job list's extension test (checkAbleExt): the lower-cased last extension with its dot. Without
    // one every extension is tried.
    std::function<bool(const std::string& ext)> AcceptsExtension;
};

// The text after the member name's last "/" or "\" (stepping by character); empty for a folder entry.
std::string SearchNamePart(std::string_view memberName);
// The wildcard list a keyword searches with: "*" + keyword + "*", with empty pieces at either end dropped
// first, so "*.mid;" never leaves a bare "*" that matches every member. Empty when nothing is left.
std::string WildcardPatternOf(std::string_view keyword);
// The lower-cased last extension of a path with its dot ("" when there is none).
std::string LowerExtensionOf(std::string_view path);

class TfrmSearch : public platform::TForm {
public:
    TfrmSearch();

    TSearchSource Source;
    // The main window's search command: the modal window, or with an empty job list the box that says so.
    int ShowForJobList();

    // Components.
    platform::TGroupBox RadioGroup1;
    platform::TRadioButton chkWildCard;
    platform::TComboBox cmbWildCard;
    platform::TRadioButton chkRegExp;  // created hidden, as its combo box
    platform::TComboBox cmbRegExp;
    platform::TButton btnStartSearch;
    platform::TButton btnAbort;
    platform::TButton btnClose;
    platform::TLabel Label3;
    platform::TLabel lblMessage;
    platform::TLabel lblcntFind;
    platform::TLabel Label4;
    platform::TListView lvFile;
    platform::TImageList imgList{16, 16};
    platform::TPopupMenu pmSearchList;
    platform::TMenuItem* pmDeleteListItem = nullptr;
    // The extract-the-hits panel: hidden, no actions.
    platform::TButton btnUnPack;
    platform::TLabel Label1;
    platform::TButton btnSelectMoveFolder;
    platform::TComboBox cmbSpecialFolder;

    bool WildcardMode = false;
    bool RegExpMode = false;
    int SearchHitCount = 0;
    TColumnSort Sort{4, 2};

    static constexpr const char* kBadRegExpText = "正規表現に誤りがあります";
    static constexpr const char* kEmptyListText = "検索対象になる圧縮ファイルがありません。";

    // Runs the search to its end, the stop button or the window's close; the window answers meanwhile and
    // shows the hits as they come. A click while a search runs does nothing.
    void btnStartSearchClick();
    bool Searching() const noexcept { return searching_; }
    // "停止": the running search ends after the member at hand; the hits so far stay.
    void btnAbortClick() { stopRequested_ = true; }
    int SearchArchives(HWND wnd, const std::string& keyword, const std::string& regExp);
    // One hit row; its icon is the one of its extension, asked of the shell once per search.
    void AddSearchHit(platform::TListView& list, const std::string& name, const std::string& sizeText,
                      const FILETIME& writeTime, const std::string& archivePath);
    static bool MatchesRegExp(const std::string& name, const std::string& expression);
    void FormShow();
    // Checks the wildcard mode, or the (hidden) regular-expression mode.
    void SelectMode(bool regExp);
    void btnCloseClick() { Close(); }
    void pmDeleteListItemClick();
    void lvFileColumnClick(int column);

private:
    // Builds the controls; runs as the form's OnCreate, so Create(owner) and Application.CreateForm both do.
    void CreateControls();
    void Layout();
    // True when the search at hand is to end: the stop button, the window closed or the program ending.
    bool SearchStopped() const;

    bool searching_ = false;
    bool stopRequested_ = false;
    int modalResultAtStart_ = 0;
    // The large icons the icon cache keeps in step with imgList; the list shows only the small ones.
    platform::TImageList largeIcons_{32, 32};
    std::unique_ptr<TExtIconCache> icons_;
};

}  // namespace velmor
