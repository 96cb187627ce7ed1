// The archive viewer. Everything runs on the main thread: listing and drag-out extraction keep the windows
// waiting until the archiver library returns, as the progress window of the library shows.
#include "app/forms/form_arc_view.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/icon_cache.h"
#include "app/shell_util.h"
#include "archivers/archive_file.h"
#include "archivers/job_state.h"
#include "archivers/path_util.h"
#include "platform/application.h"
#include "platform/handle.h"
#include "platform/sjis.h"

namespace velmor {

using platform::SjisToWide;

// --- row rules -------------------------------------------------------------------------------------------

std::string EntryExtension(std::string_view name) { return ExtractExt(name); }

bool IsFolderLike(std::string_view name) {
    return platform::SjisEndsWithChar(name, '/') || EntryExtension(name).empty();
}

std::string EntrySizeText(uint64_t bytes) { return std::to_string(bytes >> 10) + " KB"; }

std::string FormatEntryTime(const FILETIME& utc) {
    if (utc.dwLowDateTime == 0 && utc.dwHighDateTime == 0) return {};
    FILETIME local{};
    SYSTEMTIME st{};
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &st)) return {};
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%d/%.2d/%.2d %.2d:%.2d", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute);
    return buffer;
}

std::string MemberName(const char (&field)[513]) {
    return std::string(field, ::strnlen(field, sizeof field));
}

TDragPattern DragPatternOf(const std::string& name) {
    if (IsFolderLike(name)) return {name + "*", 1};
    return {"*" + name, 0};
}

void CloseArchiveQuietly(TArchiveFile& archive) noexcept {
    try {
        archive.CloseArchive();
    } catch (...) {
        // Runs while unwinding too: nothing may leave it.
    }
}

bool IsExtractableFolder(const std::string& path) {
    bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
                 path[2] == '\\';
    bool unc = path.size() >= 3 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\';
    return (drive || unc) && DirectoryExistsSjis(path);
}

// --- icons -----------------------------------------------------------------------------------------------

HICON FetchTypeIcon(const std::string& name, DWORD attributes, bool small) {
    SHFILEINFOW info{};
    UINT flags = SHGFI_SYSICONINDEX | SHGFI_ICON | SHGFI_USEFILEATTRIBUTES | (small ? SHGFI_SMALLICON : 0);
    if (!::SHGetFileInfoW(SjisToWide(name).c_str(), attributes, &info, sizeof info, flags)) return nullptr;
    return info.hIcon;
}

TExtIconCache::TExtIconCache(platform::TImageList& small, platform::TImageList& large, TFetch fetch)
    : small_(small), large_(large), fetch_(std::move(fetch)) {}

int TExtIconCache::GetEntryIconIndex(std::string key, const std::string& sizeText) {
    bool folderKey = key.empty() || key == "." || platform::SjisEndsWithChar(key, '/') ||
                     platform::SjisEndsWithChar(key, '\\');
    if (folderKey && sizeText == "0 KB") key = ".Folder";
    for (const auto& slot : slots_)
        if (slot.first == key) return slot.second;

    bool folder = key == ".Folder";
    platform::UniqueIcon small(
        fetch_ ? fetch_(folder ? "*" : "*" + key, folder ? FILE_ATTRIBUTE_DIRECTORY : 0, true) : nullptr);
    platform::UniqueIcon large(
        fetch_ ? fetch_(folder ? "*" : "*" + key, folder ? FILE_ATTRIBUTE_DIRECTORY : 0, false) : nullptr);
    // Both lists gain an image or neither does, so an index stays valid in both; a kind without icons is
    // remembered too, so the shell is asked once.
    int index = -1;
    if (small && large) {
        int s = small_.AddIcon(small.Get());
        if (s >= 0) {
            index = large_.AddIcon(large.Get());
            if (index < 0) small_.Delete(s);
        }
    }
    slots_.emplace_back(key, index);
    return index;
}

// --- column sort -----------------------------------------------------------------------------------------

void TColumnSort::Click(int column) {
    if (column < 0 || static_cast<size_t>(column) >= SortOrder.size()) return;
    SortColumn = column;
    uint8_t& order = SortOrder[static_cast<size_t>(column)];
    order = order == 1 ? 2 : 1;
}

int64_t SizeTextValue(std::string_view text) {
    std::string s(text);
    size_t kb = s.find(" KB");
    if (kb != std::string::npos) s.erase(kb, 3);
    return std::strtoll(s.c_str(), nullptr, 10);
}

int CompareTextNoCase(const std::string& a, const std::string& b) {
    std::wstring wa = SjisToWide(a), wb = SjisToWide(b);
    int r =
        ::CompareStringW(MAKELCID(MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), SORT_DEFAULT), NORM_IGNORECASE,
                         wa.c_str(), static_cast<int>(wa.size()), wb.c_str(), static_cast<int>(wb.size()));
    return r == 0 ? 0 : r - CSTR_EQUAL;
}

int TColumnSort::Compare(const platform::TListRow& a, const platform::TListRow& b) const {
    int r;
    if (SortColumn == sizeColumn_) {
        int64_t d = SizeTextValue(a.Column(SortColumn)) - SizeTextValue(b.Column(SortColumn));
        r = d < 0 ? -1 : d > 0 ? 1 : 0;
    } else {
        r = CompareTextNoCase(a.Column(SortColumn), b.Column(SortColumn));
    }
    size_t c = static_cast<size_t>(SortColumn);
    return c < SortOrder.size() && SortOrder[c] == 2 ? -r : r;
}

// --- drag ------------------------------------------------------------------------------------------------

namespace {
POINT CursorNow() {
    POINT p{};
    ::GetCursorPos(&p);
    return p;
}
}  // namespace

TDragObject1::TDragObject1(TfrmArcView& viewer, platform::TListView& list, HIMAGELIST image, POINT hotSpot)
    : TDragObject(list.Handle(), image, hotSpot), viewer_(viewer) {}

void TDragObject1::Finished(const platform::TDragEnd& end) { viewer_.lvChildrenEndDrag(end); }

// --- the window ------------------------------------------------------------------------------------------

TfrmArcView::TfrmArcView() : TForm(L"TfrmArcView") {
    EscapeCloses = true;
    OnCreate = [this] { CreateControls(); };
    OnShow = [this] { FormShow(); };
    FolderUnderCursor = [] { return GetFolderUnderCursor(); };
    OnResize = [this] { Layout(); };
}

void TfrmArcView::CreateControls() {
    SetCaption("圧縮ファイルエクスプローラ");
    SetFont("ＭＳ Ｐゴシック", 9);
    SetClientSize(660, 440);

    lblDataText.Create(*this, 6, 6, 80, 16, "プロパティ");
    memoBasicInfo.Create(*this, 6, 24, 648, 40);
    PageArcView.Create(*this, 6, 70, 648, 364, 0, false);

    // The explorer page (folder tree beside a child list) is never filled, so it stays out of sight: no tab,
    // its list hidden and disabled.
    auto makeList = [this](platform::TListView& list, int nameWidth, int sizeWidth) {
        list.Create(*this, 10, 96, 640, 334);
        list.AddColumn("ファイル/フォルダ", nameWidth);
        list.AddColumn("展開サイズ", sizeWidth, platform::taRightJustify);
        list.AddColumn("更新日時", 110);
        list.SetSmallImages(&imgListSmall);
        list.SetLargeImages(&imgListLarge);
    };
    makeList(lvChildren, 210, 80);
    lvChildren.SetVisible(false);
    lvChildren.SetEnabled(false);

    int page = PageArcView.AddPage("全パスリスト");
    makeList(lvFullPath, 400, 100);
    PageArcView.AddToPage(page, lvFullPath);
    PageArcView.SetTabIndex(page);

    // The view-style menu belongs to the hidden page; its top item is invisible, so no menu bar is attached.
    Show1 = &mainMenu.Add("表示");
    mmReport = &Show1->Add("詳細");
    mmIcon = &Show1->Add("アイコン");
    Show1->OnClick = [this] { Show1Click(); };
    mmReport->OnClick = [this] { mmReportClick(); };
    mmIcon->OnClick = [this] { mmIconClick(); };

    lvFullPath.OnColumnClick = [this](int column) { lvFullPathColumnClick(lvFullPath, column); };
    lvChildren.OnColumnClick = [this](int column) { lvFullPathColumnClick(lvChildren, column); };
    lvFullPath.OnStartDrag = [this] { lvFullPathStartDrag(); };
    lvChildren.OnStartDrag = [this] { lvChildrenStartDrag(); };
    FormCreate();
    Layout();
}

void TfrmArcView::FormCreate() {
    // The folder icon takes image 0, the image every folder-like row shows.
    icons_.GetEntryIconIndex(".Folder", "0 KB");
}

void TfrmArcView::Layout() {
    if (!Handle() || !lvFullPath.Handle()) return;
    int w = ClientWidth(), h = ClientHeight();
    memoBasicInfo.SetBounds(6, 24, std::max(w - 12, 10), 40);
    PageArcView.SetBounds(6, 70, std::max(w - 12, 10), std::max(h - 76, 30));
    // The lists fill the page inside the tab's frame, which leaves that area to them.
    const RECT page = PageArcView.PageRect();
    const int pageW = std::max<int>(page.right - page.left, 10), pageH = std::max<int>(page.bottom - page.top, 10);
    lvFullPath.SetBounds(page.left, page.top, pageW, pageH);
    lvChildren.SetBounds(page.left, page.top, pageW, pageH);
}

void TfrmArcView::ShowArchive(const std::string& path) {
    // The keys go to the member list, where the rows are chosen.
    SetActiveControl(lvFullPath);
    Show();
    BringToFront();
    ViewedArchivePath = path;
    SetCaption(ExtractBareName(path));

    WIN32_FILE_ATTRIBUTE_DATA data{};
    std::string size = "不明";
    if (::GetFileAttributesExW(SjisToWide(path).c_str(), GetFileExInfoStandard, &data))
        size = FormatFileSize(static_cast<int64_t>((uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow),
                              "KB");
    memoBasicInfo.SetText(path + " サイズ:" + size);

    LoadArchiveEntries(Handle(), path);
    Sort.Reset();
}

void TfrmArcView::LoadArchiveEntries(HWND wnd, const std::string& path) {
    lvFullPath.Clear();
    lvChildren.Clear();
    lvFullPath.BeginUpdate();
    platform::ScopeExit endUpdate([this] { lvFullPath.EndUpdate(); });
    try {
        TArchiveFile archive;
        archive.SetFileName(path);
        // Only an archive that opened is walked and closed.
        if (archive.OpenArchive(wnd, kOpenModeList) != 0) return;
        platform::ScopeExit close([&archive] { CloseArchiveQuietly(archive); });
        TArchiveMemberInfo info{};
        for (int r = archive.FindFirst("*", info); r == 0; r = archive.FindNext(info)) {
            // The library's 64-bit size, so members of 4 GB and more show their real size.
            uint64_t size = info.OriginalSize64 ? info.OriginalSize64 : info.OriginalSize;
            AddEntryItem(lvFullPath, MemberName(info.FileName), EntrySizeText(size), info.WriteTime);
        }
    } catch (...) {
        // A missing library, a damaged archive or a failing walk: the rows so far stay, no message.
    }
}

void TfrmArcView::AddEntryItem(platform::TListView& list, const std::string& name,
                               const std::string& sizeText, const FILETIME& writeTime) {
    try {
        int image = 0;
        std::string ext = EntryExtension(name);
        if (!ext.empty()) image = GetEntryIconIndex(ext, sizeText);
        if (IsFolderLike(name) && sizeText == "0 KB") image = 0;
        int row = list.AddItem(name, image);
        if (row < 0) return;
        list.AddSubItem(row, sizeText);
        list.AddSubItem(row, FormatEntryTime(writeTime));
    } catch (...) {
        // One bad row does not end the listing.
    }
}

void TfrmArcView::lvFullPathColumnClick(platform::TListView& list, int column) {
    Sort.Click(column);
    try {
        list.CustomSort(
            [this](const platform::TListRow& a, const platform::TListRow& b) { return Sort.Compare(a, b); });
    } catch (...) {
    }
}

void TfrmArcView::StartDrag(platform::TListView& list, const char* source) {
    DragSource = source;
    POINT hotSpot{};
    HIMAGELIST image = list.CreateDragImage(CursorNow(), hotSpot);
    TDragObject1 drag(*this, list, image, hotSpot);
    platform::BeginDrag(drag);
}

void TfrmArcView::lvFullPathStartDrag() { StartDrag(lvFullPath, "FullPathListView"); }
void TfrmArcView::lvChildrenStartDrag() { StartDrag(lvChildren, "lv"); }

void TfrmArcView::ExtractDraggedEntries(const platform::TDragEnd& end) {
    if (end.Cancelled) return;
    std::string dest;
    try {
        dest = FolderUnderCursor ? FolderUnderCursor() : std::string();
    } catch (...) {
        return;
    }
    if (dest.empty() || dest == "Error" || !IsExtractableFolder(dest)) {
        // Nothing is extracted; the user learns why instead of waiting for files that never come.
        if (OnStatusText) OnStatusText(kUnknownFolderText);
        return;
    }
    // The archiver libraries have one progress window each: a drag-out must not run beside a job.
    if (JobState().Status != jsIdle) {
        platform::Application.MessageBox(Handle(), kBusyText, "圧縮ファイルエクスプローラ",
                                         MB_OK | MB_ICONINFORMATION);
        return;
    }
    platform::TListView& list = DragSource == "lv" ? lvChildren : lvFullPath;
    std::vector<std::string> names;
    for (int i = list.NextSelected(); i >= 0; i = list.NextSelected(i)) names.push_back(list.Caption(i));
    try {
        TArchiveFile archive;
        archive.SetOutputSize(5120);
        archive.SetFileName(ViewedArchivePath);
        archive.Options.jse = 1;
        // The LHA builder refuses a command without this switch; the job's extraction sets it the same way.
        if (archive.ArchiverType() == atLha) archive.Options.jso = 1;
        for (const std::string& name : names) {
            archive.Options.PackFilter = pfComponent;
            TDragPattern p = DragPatternOf(name);
            archive.Options.x = p.x;
            archive.Extract(Handle(), nullptr, dest, std::string(), TFileItems{p.Pattern});
        }
    } catch (...) {
        // Extraction failures of a drag-out are the library's to show.
    }
    ForceForegroundWindow(Handle());
}

void TfrmArcView::mmIconClick() {
    lvChildren.SetViewStyle(platform::vsIcon);
    mmIcon->SetChecked(true);
    mmReport->SetChecked(false);
}

void TfrmArcView::mmReportClick() {
    lvChildren.SetViewStyle(platform::vsReport);
    mmReport->SetChecked(true);
    mmIcon->SetChecked(false);
}

void TfrmArcView::Show1Click() {
    bool report = lvChildren.ViewStyle() == platform::vsReport;
    mmReport->SetChecked(report);
    mmIcon->SetChecked(!report);
}

}  // namespace velmor
