// The shell icon cache. Both icons of a new kind are fetched and added before its key is filed, so a
// failure leaves keys and image indexes aligned; the shell's icon handles are destroyed once copied.
#include "app/icon_cache.h"

#include <shellapi.h>

#include "archivers/path_util.h"
#include "platform/application.h"
#include "platform/list_view.h"
#include "platform/sjis.h"

namespace velmor {

using platform::SjisToWide;
using platform::UniqueIcon;
using platform::WideToSjis;

namespace {
// Upper-cases ASCII letters, stepping by character so that trail bytes stay as they are.
std::string UpperSjis(const std::string& s) {
    std::string out = s;
    for (size_t i = 0; i < out.size(); i += platform::SjisCharLength(out, i))
        if (out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 32);
    return out;
}

}  // namespace

std::string ExtractExt(std::string_view name) {
    size_t dot = std::string_view::npos;
    for (size_t i = 0; i < name.size(); i += platform::SjisCharLength(name, i)) {
        if (name[i] == '\\' || name[i] == ':')
            dot = std::string_view::npos;
        else if (name[i] == '.')
            dot = i;
    }
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

double FileTimeToDateTime(const FILETIME& utc) {
    FILETIME local{};
    SYSTEMTIME st{};
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &st)) return 0;
    // Days from 1899-12-30 by the civil-from-days formula, plus the time of day.
    auto days = [](int y, unsigned m, unsigned d) {
        y -= m <= 2;
        const int era = (y >= 0 ? y : y - 399) / 400;
        const unsigned yoe = static_cast<unsigned>(y - era * 400);
        const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return era * 146097 + static_cast<int>(doe) - 719468;
    };
    const int base = days(1899, 12, 30);
    double day = days(st.wYear, st.wMonth, st.wDay) - base;
    return day + (st.wHour * 3600000.0 + st.wMinute * 60000.0 + st.wSecond * 1000.0 + st.wMilliseconds) /
                     86400000.0;
}

TCustomShellIconCache::TCustomShellIconCache() = default;

void TCustomShellIconCache::SetLargeIcons(const platform::TImageList& images) { LargeIcons.Assign(images); }
void TCustomShellIconCache::SetSmallIcons(const platform::TImageList& images) { SmallIcons.Assign(images); }

HICON TCustomShellIconCache::FetchShellIcon(const std::string& fileName, bool small) {
    SHFILEINFOW info{};
    UINT flags = SHGFI_ICON | SHGFI_USEFILEATTRIBUTES | (small ? SHGFI_SMALLICON : SHGFI_LARGEICON);
    if (!::SHGetFileInfoW(SjisToWide(fileName).c_str(), 0, &info, sizeof(info), flags)) return nullptr;
    return info.hIcon;
}

void TCustomShellIconCache::GetFileIcon(const std::string& fileName, UniqueIcon& icon, bool small) {
    if (DirectoryExistsSjis(fileName)) return;
    if (HICON h = FetchShellIcon(fileName, small)) icon.Reset(h);
}

std::string TCustomShellIconCache::CacheKey(const std::string& fileName) {
    std::string ext = ExtractExt(UpperSjis(fileName));
    if (ext == ".EXE" || ext == ".LNK" || ext == ".ICO") return fileName;
    return ext;
}

int TCustomShellIconCache::GetIconIndex(const std::string& fileName) {
    std::string ext = ExtractExt(UpperSjis(fileName));
    ptrdiff_t hit = FileList.IndexOf(ext);
    if (hit < 0) hit = FileList.IndexOf(fileName);
    if (hit >= 0) return static_cast<int>(hit);
    try {
        UniqueIcon large(FetchShellIcon(fileName, false));
        UniqueIcon small(FetchShellIcon(fileName, true));
        if (!large || !small) return -1;
        int largeIndex = LargeIcons.AddIcon(large.Get());
        if (largeIndex < 0) return -1;
        int smallIndex = SmallIcons.AddIcon(small.Get());
        if (smallIndex < 0) {
            LargeIcons.Delete(largeIndex);
            return -1;
        }
        int position = static_cast<int>(FileList.Count());
        FileList.Add(CacheKey(fileName));
        if (OnRegist) OnRegist(*this, fileName, position);
        return position;
    } catch (...) {
        return -1;
    }
}

int TCustomShellIconCache::RegistFiles(const std::vector<std::string>& fileNames) {
    int count = 0;
    for (const std::string& name : fileNames)
        if (GetIconIndex(name) != -1) ++count;
    return count;
}

TFilerIconCache::~TFilerIconCache() { SetListView(nullptr); }

void TFilerIconCache::SetListView(platform::TListView* listView) {
    if (listView == listView_) return;
    if (listView_) {
        if (listView_->LargeImages() == LargeIcons.Handle()) listView_->SetLargeImages(nullptr);
        if (listView_->SmallImages() == SmallIcons.Handle()) listView_->SetSmallImages(nullptr);
        listView_->RemoveFreeNotification(this);
    }
    if (listView) {
        listView->SetLargeImages(&LargeIcons);
        listView->SetSmallImages(&SmallIcons);
        // The list view going away unbinds it.
        listView->AddFreeNotification(this, [this](platform::TWinControl*) { listView_ = nullptr; });
    }
    listView_ = listView;
}

void TFilerIconCache::ScanDirectory(const std::string& pathIn, bool recursive) {
    if (pathIn.empty()) throw EInvalidFileName("パス名は空指定('')はできません");
    std::string path = pathIn;
    if (!platform::SjisEndsWithChar(path, '\\')) path += '\\';
    WIN32_FIND_DATAW data{};
    platform::UniqueFind find(::FindFirstFileW(SjisToWide(path + "*.*").c_str(), &data));
    if (!find) {
        const std::string format = "ディレクトリ'%s'は検索できません";
        const size_t at = format.find("%s");
        throw EInvalidFileName(format.substr(0, at) + path + format.substr(at + 2));
    }
    // Hidden, system and volume entries are left out, as the search mask asks for.
    constexpr DWORD kExcluded = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | 0x08;
    bool more = true;
    while (more) {
        std::string name = WideToSjis(data.cFileName);
        if (!(data.dwFileAttributes & kExcluded) && !name.empty() && name != ".") {
            TFileInfo info;
            info.Name = name;
            info.Attributes = static_cast<uint8_t>(data.dwFileAttributes & 0x3F);
            info.Size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            info.CreationTime = FileTimeToDateTime(data.ftCreationTime);
            info.LastAccessTime = FileTimeToDateTime(data.ftLastAccessTime);
            info.LastWriteTime = FileTimeToDateTime(data.ftLastWriteTime);
            bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            info.IconIndex = (folder || name == "..") ? GetIconIndex(path.substr(0, path.size() - 1))
                                                      : GetIconIndex(path + name);
            if (OnFileLoad) OnFileLoad(*this, info, path);
            if (folder && name != ".." && recursive) ScanDirectory(path + name, true);
        }
        platform::Application.ProcessMessages();
        if (Stopped) break;
        more = ::FindNextFileW(find.Get(), &data) != FALSE;
    }
}

}  // namespace velmor
