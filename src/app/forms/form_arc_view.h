// The archive viewer "圧縮ファイルエクスプローラ": lists the members of one archive without extracting it,
// sorts them by column, and extracts the rows the user drags out onto an Explorer window into that window's
// folder. One instance for the program, shown modeless over the main window; Esc closes it. The row rules,
// the extension icon cache and the column sort are plain functions and classes, so they are tested without a
// window; the search window shares the last two.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/controls.h"
#include "platform/drag.h"
#include "platform/form.h"
#include "platform/list_view.h"
#include "platform/menus.h"

class TArchiveFile;

namespace velmor {

// --- row rules -------------------------------------------------------------------------------------------

// The text from the member name's last "." to its end, when no "\" or ":" follows that dot; else empty.
// "/" is no separator here. Steps by character (a trail byte may be 0x5C).
std::string EntryExtension(std::string_view name);
// A member that ends in "/" or has no extension counts as a folder.
bool IsFolderLike(std::string_view name);
// Whole kilobytes and " KB".
std::string EntrySizeText(uint64_t bytes);
// The member's write time (UTC) in local time as "2021/03/04 14:06"; empty for a zero time.
std::string FormatEntryTime(const FILETIME& utc);
// The member name up to its NUL, never past the record's 513 bytes.
std::string MemberName(const char (&field)[513]);

// The file pattern and the "x" switch that extract one dragged member: a folder-like name takes everything
// under it (name + "*", x = 1), any other name itself wherever it sits ("*" + name, x = 0).
struct TDragPattern {
    std::string Pattern;
    int8_t x;
};
TDragPattern DragPatternOf(const std::string& name);

// Closes an archive's enumeration, swallowing any failure (for scope-exit use).
void CloseArchiveQuietly(TArchiveFile& archive) noexcept;

// True for "C:\..." or "\\server\..." naming an existing folder: a display name ("デスクトップ"), a URL or a
// relative text is no place to extract into.
bool IsExtractableFolder(const std::string& path);

// --- icons -----------------------------------------------------------------------------------------------

// The shell's icon for a kind of file (the file need not exist); the caller owns it. `attributes` is
// FILE_ATTRIBUTE_DIRECTORY for a folder's icon, 0 for a file's.
HICON FetchTypeIcon(const std::string& name, DWORD attributes, bool small);

// One image per key (an extension, or ".Folder"), both sizes in step, so an index is valid in both lists.
// Keys are compared exactly (".TXT" and ".txt" are two); the cache grows as needed and only grows. Icons are
// destroyed once the lists hold their copies.
class TExtIconCache {
public:
    using TFetch = std::function<HICON(const std::string& name, DWORD attributes, bool small)>;
    TExtIconCache(platform::TImageList& small, platform::TImageList& large, TFetch fetch = FetchTypeIcon);

    // The image index of an extension; asks the shell on its first use. An empty key, ".", or one ending in
    // "/" or "\" with the size text "0 KB" stands for a folder.
    int GetEntryIconIndex(std::string key, const std::string& sizeText);
    // Keys stored so far (the empty key of slot 0 not counted).
    size_t Count() const { return slots_.size() - 1; }

private:
    platform::TImageList& small_;
    platform::TImageList& large_;
    TFetch fetch_;
    std::vector<std::pair<std::string, int>> slots_{{std::string(), 0}};
};

// --- column sort -----------------------------------------------------------------------------------------

// Per-column sort state: a click on a column makes it the sort column and steps its order 0 -> 1 -> 2 -> 1
// (1 ascending, 2 descending). Texts compare without case; the size column compares the numbers before
// " KB".
class TColumnSort {
public:
    TColumnSort(size_t columns, int sizeColumn) : SortOrder(columns, 0), sizeColumn_(sizeColumn) {}
    int SortColumn = 0;
    std::vector<uint8_t> SortOrder;

    void Click(int column);
    void Reset() { std::fill(SortOrder.begin(), SortOrder.end(), 0); }
    int Compare(const platform::TListRow& a, const platform::TListRow& b) const;

private:
    int sizeColumn_;
};

// The number in a size text ("12 KB" -> 12); 0 when there is none.
int64_t SizeTextValue(std::string_view text);
// Case-insensitive text order of Shift-JIS texts.
int CompareTextNoCase(const std::string& a, const std::string& b);

// --- the window ------------------------------------------------------------------------------------------

class TfrmArcView;

// The drag of one list's rows; its end runs the viewer's extraction exactly once.
class TDragObject1 : public platform::TDragObject {
public:
    // The drag image (may be null) belongs to the object.
    TDragObject1(TfrmArcView& viewer, platform::TListView& list, HIMAGELIST image, POINT hotSpot);
    void Finished(const platform::TDragEnd& end) override;

private:
    TfrmArcView& viewer_;
};

class TfrmArcView : public platform::TForm {
public:
    TfrmArcView();

    // Shows the window and lists the archive at `path` (the main window's preview, "-o" and double-click).
    void ShowArchive(const std::string& path);
    // Fills lvFullPath from the archive; an archive that cannot be opened gives an empty list, no message.
    void LoadArchiveEntries(HWND wnd, const std::string& path);
    void AddEntryItem(platform::TListView& list, const std::string& name, const std::string& sizeText,
                      const FILETIME& writeTime);
    int GetEntryIconIndex(const std::string& ext, const std::string& sizeText) {
        return icons_.GetEntryIconIndex(ext, sizeText);
    }
    // Extracts the dragged rows into the folder under the cursor (nothing for a cancelled drag).
    void ExtractDraggedEntries(const platform::TDragEnd& end);

    // Components.
    platform::TLabel lblDataText;
    platform::TMemo memoBasicInfo;
    platform::TTabControl PageArcView;
    platform::TListView lvChildren;  // the explorer page's list: created hidden, never shown
    platform::TListView lvFullPath;
    platform::TImageList imgListSmall{16, 16};
    platform::TImageList imgListLarge{32, 32};
    platform::TMainMenu mainMenu;
    platform::TMenuItem* Show1 = nullptr;
    platform::TMenuItem* mmReport = nullptr;
    platform::TMenuItem* mmIcon = nullptr;

    std::string ViewedArchivePath;
    // "FullPathListView" or "lv": which list the current drag came from.
    std::string DragSource;
    TColumnSort Sort{3, 1};

    // Where a drop lands; the shell's folder under the cursor unless a test says otherwise.
    std::function<std::string()> FolderUnderCursor;
    // The program's status bar (the main window's), told when a drop lands where no folder is recognised.
    std::function<void(const std::string& text)> OnStatusText;
    static constexpr const char* kUnknownFolderText = "ドロップ先のフォルダが分かりません";
    // Text shown when a drop arrives while a job runs.
    static constexpr const char* kBusyText =
        "処理中のため展開できません。処理が終わってからもう一度ドラッグしてください。";

    // Handlers.
    void FormCreate();
    // Over the main window, whole on the work area.
    void FormShow() { CenterOnMainForm(); }
    void lvFullPathColumnClick(platform::TListView& list, int column);
    void lvFullPathStartDrag();
    void lvChildrenStartDrag();
    void lvChildrenEndDrag(const platform::TDragEnd& end) { ExtractDraggedEntries(end); }
    void mmIconClick();
    void mmReportClick();
    void Show1Click();

private:
    // Builds the controls; runs as the form's OnCreate, so Create(owner) and Application.CreateForm both do.
    void CreateControls();
    void StartDrag(platform::TListView& list, const char* source);
    void Layout();
    TExtIconCache icons_{imgListSmall, imgListLarge};
};

}  // namespace velmor
