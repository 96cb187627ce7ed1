// What keeps an extraction inside its output folder and off the user's files, whatever the library does:
// the rules for member names (drives, roots, "..", device names, as Windows reads a name), where a member
// lands, the stamp of an archive that a later clean-up compares, and the staging folder that an extraction
// goes through when existing files must be kept. Names are Shift-JIS; a 0x5C trail byte is no separator.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmor {

// A Windows device (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$, CLOCK$) in any case, whatever
// follows a "." or ";" and with trailing dots or blanks: opening such a name reaches the device, not a file.
bool IsDeviceName(std::string_view segment);
// True when a member path would not land on a file inside the output folder: a drive or stream (":"), a
// rooted or UNC path, a ".." step (also spelt with more dots or trailing blanks), or a device name in any
// segment.
bool EscapesOutputFolder(std::string_view memberName);
// A full path: a drive and its root ("C:\...") or a share ("\\server\..."); anything else is relative to
// some current folder.
bool IsAbsolutePath(std::string_view path);
// A path's segments split at "\" and "/" by character, empty ones kept.
std::vector<std::string> PathSegments(std::string_view path);
// The name without its leading "./" steps (tar writes "./a.txt"); empty for "./" or "." itself.
std::string_view StripCurrentFolderSteps(std::string_view memberName);

// The path a member is written to: the folder (with its trailing "\") and the name with "\" separators, or
// only the name's last segment when paths are junked. Windows drops a segment's trailing dots and blanks.
// `top`, when given, receives the path of the member's first segment under the folder.
std::string MemberTarget(const std::string& folder, std::string_view memberName, bool junkPaths,
                         std::string* top = nullptr);
// Whether the system resolves a path to one strictly inside a folder (the folder is resolved once).
class TLandingCheck {
public:
    explicit TLandingCheck(const std::string& folder);
    bool Inside(const std::string& target) const;

private:
    std::wstring root_;
};

// Size and last write time of a file; `Valid` false when it cannot be read.
struct TFileStamp {
    bool Valid = false;
    uint64_t Size = 0;
    FILETIME WriteTime{};
    bool operator==(const TFileStamp& o) const {
        return Valid && o.Valid && Size == o.Size && WriteTime.dwLowDateTime == o.WriteTime.dwLowDateTime &&
               WriteTime.dwHighDateTime == o.WriteTime.dwHighDateTime;
    }
};
TFileStamp ReadFileStamp(const std::string& path);
// True when both paths open the same existing file (another spelling, a short name, a hard link).
bool SameFile(const std::string& a, const std::string& b);

// A new, empty folder inside `folder` for one extraction; empty when none could be made.
std::string CreateStagingFolder(const std::string& folder);
// Moves what an extraction put into `staging` to the same places under `dest`, never over an existing file
// or folder: those stay, and the staged copy goes. Counts what was kept; false when a move failed.
struct TMergeResult {
    bool Ok = true;
    int Kept = 0;
};
TMergeResult MergeStagedFiles(const std::string& staging, const std::string& dest);
// Deletes a folder with everything in it (no recycle bin); errors are ignored.
void RemoveTree(const std::string& folder);

}  // namespace velmor
