// Shell icon cache: one entry per kind of file (its extension; programs, shortcuts and icon files each get
// their own), holding the shell's 32x32 and 16x16 icons in two image lists whose indexes equal the entry's
// position. TFilerIconCache adds a list-view binding and a folder scan that reports entries with their icons.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/controls.h"
#include "platform/handle.h"
#include "platform/string_list.h"

namespace platform {
class TListView;
}

namespace velmor {

class EInvalidFileName : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// From the last "." after the last "\\" or ":", dot included; empty without one. ("/" is no delimiter here:
// archive member names keep it, and the icon cache and the viewer take the text after their last dot.)
std::string ExtractExt(std::string_view name);

class TCustomShellIconCache;
using TFileNameEvent =
    std::function<void(TCustomShellIconCache& sender, const std::string& fileName, int index)>;

class TCustomShellIconCache {
public:
    TCustomShellIconCache();
    TCustomShellIconCache(const TCustomShellIconCache&) = delete;
    TCustomShellIconCache& operator=(const TCustomShellIconCache&) = delete;
    virtual ~TCustomShellIconCache() = default;

    // The cache keys; a key's position is its image index.
    platform::TStringList FileList;
    platform::TImageList LargeIcons{32, 32};
    platform::TImageList SmallIcons{16, 16};
    TFileNameEvent OnRegist;

    // Copy the images of the given list into the owned one.
    virtual void SetLargeIcons(const platform::TImageList& images);
    virtual void SetSmallIcons(const platform::TImageList& images);
    // The shell's icon for the file's type (16x16 when `small`); nothing for an existing folder.
    virtual void GetFileIcon(const std::string& fileName, platform::UniqueIcon& icon, bool small);
    // The image index of the file's kind, asking the shell on the first name of a kind; -1 on failure.
    virtual int GetIconIndex(const std::string& fileName);
    // How many of the names got an index.
    virtual int RegistFiles(const std::vector<std::string>& fileNames);

    // The key a name is filed under: the upper-cased extension, or the name itself for .EXE, .LNK and .ICO.
    static std::string CacheKey(const std::string& fileName);

protected:
    // Asks the shell for the icon of a name by its type (the file need not exist); the caller owns it.
    virtual HICON FetchShellIcon(const std::string& fileName, bool small);
};

// One entry met by a folder scan. Times are local, in days since 1899-12-30.
struct TFileInfo {
    std::string Name;
    int32_t IconIndex = -1;
    uint8_t Attributes = 0;  // read-only, hidden, system, volume label, directory, archive: bits 0 to 5
    uint64_t Size = 0;
    double CreationTime = 0;
    double LastAccessTime = 0;
    double LastWriteTime = 0;
};

class TFilerIconCache;
using TFileLoadEvent = std::function<void(TFilerIconCache& sender, TFileInfo& info, const std::string& path)>;

class TFilerIconCache : public TCustomShellIconCache {
public:
    ~TFilerIconCache() override;
    platform::TListView* ListView() const noexcept { return listView_; }
    // Gives the list view the cache's image lists (and takes them from the previously bound one).
    void SetListView(platform::TListView* listView);
    TFileLoadEvent OnFileLoad;

    // Reports every entry of a folder (and with `recursive` of its subfolders) through OnFileLoad, serving
    // pending messages between entries. Raises EInvalidFileName for an empty or unsearchable path.
    virtual void ScanDirectory(const std::string& path, bool recursive);
    virtual void ClearStop() { Stopped = false; }
    virtual void StopScan() { Stopped = true; }
    bool Stopped = false;

private:
    platform::TListView* listView_ = nullptr;
};

// FILETIME (UTC) as a local date-time value in days since 1899-12-30.
double FileTimeToDateTime(const FILETIME& utc);

}  // namespace velmor
