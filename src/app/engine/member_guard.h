// What keeps an extraction inside its output folder and off the user's files, whatever the library does:
// the rules for member names (drives, roots, "..", device names, as Windows reads a name), where a member
// lands, the stamp of an archive that a later clean-up compares, and the staging folder that an extraction
// goes through when existing files must be kept. Names are Shift-JIS; a 0x5C trail byte is no separator.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
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

// A member as the count walk saw it: its name without leading "./" steps, whether it is a folder entry,
// whether its name as the library gave it would leave the output folder (EscapesOutputFolder), its
// uncompressed size, and the CRC-32 of its data where the format's listing gives one (0: none given).
struct TCountedMember {
    std::string Name;
    bool Folder = false;
    bool Escapes = false;
    uint64_t Size = 0;
    uint32_t Crc = 0;
};

// The first of a kind of members and how many there are, for one question or log line per archive.
struct TFlaggedMembers {
    std::string First;
    int Count = 0;
    void Add(const std::string& name) {
        if (Count++ == 0) First = name;
    }
    // "\"first\"" and, with more of them, " ほかN件".
    std::string Text() const;
};

// What a clean-up may rely on. Windows reads a name without regard to case and without its trailing dots and
// blanks, so members can land on one name: these are the members (indices, in walk order) whose target an
// earlier member takes as well, as a file or as a folder (a folder entry meeting a folder is no loss).
std::vector<size_t> MembersSharingAName(const std::string& folder, const std::vector<TCountedMember>& members,
                                        bool junkPaths);
// The members that are not on disk as the walk listed them: a file missing, of another size or a folder, a
// folder entry that is no folder. One directory read per folder; no file is opened.
std::vector<size_t> MembersNotOnDisk(const std::string& folder, const std::vector<TCountedMember>& members,
                                     bool junkPaths);

// The CRC-32 (the ZIP one) of data, continuing from `crc` (0 to start).
uint32_t Crc32(const void* data, size_t size, uint32_t crc = 0);
// The members with a listed CRC-32 whose file on disk holds other data (or cannot be read): each such file is
// read whole. `stopped` is asked between reads; when it says stop, the check ends and *wasStopped is set.
std::vector<size_t> MembersWithOtherData(const std::string& folder,
                                         const std::vector<TCountedMember>& members, bool junkPaths,
                                         const std::function<bool()>& stopped = {},
                                         bool* wasStopped = nullptr);

// What identifies a file: its volume and index on it (another file put in its place has other ones, even
// with the same size and time), its size and its last write time; `Valid` false when it cannot be read.
struct TFileStamp {
    bool Valid = false;
    uint64_t Size = 0;
    FILETIME WriteTime{};
    DWORD VolumeSerial = 0;
    uint64_t FileIndex = 0;
    bool operator==(const TFileStamp& o) const {
        return Valid && o.Valid && Size == o.Size && WriteTime.dwLowDateTime == o.WriteTime.dwLowDateTime &&
               WriteTime.dwHighDateTime == o.WriteTime.dwHighDateTime && VolumeSerial == o.VolumeSerial &&
               FileIndex == o.FileIndex;
    }
};
// The stamp of a file (not a folder), read through a handle that disturbs no other program's use of it.
TFileStamp ReadFileStamp(const std::string& path);
// True when both paths open the same existing file (another spelling, a short name, a hard link).
bool SameFile(const std::string& a, const std::string& b);

// The program's own record of what its extractions make that a killed run can leave behind: staging folders
// and second names of archives. Such a leftover is removed only when the record holds it as that very folder
// or file (its volume and index, read when it was made), so that neither an archive member nor a user's file
// of the same name is ever taken for one. The record is a small file in the settings folder, rewritten whole
// at each change (a kill leaves the old or the new one); without a file nothing is recorded, and nothing is
// then taken for a leftover.
class TWorkRecord {
public:
    TWorkRecord() = default;
    explicit TWorkRecord(std::string file) : file_(std::move(file)) {}
    const std::string& File() const { return file_; }

    struct TEntry {
        char Kind = 0;  // kStaging or kSpare
        DWORD VolumeSerial = 0;
        uint64_t FileIndex = 0;
        std::string Path;
        // A second name: the archive it is one of, and that archive's stamp when it was made.
        std::string Archive;
        TFileStamp ArchiveStamp;
    };
    static constexpr char kStaging = 'S', kSpare = 'P';

    // Drop also drops the entries whose path holds nothing any more.
    bool Add(const TEntry& entry);
    void Drop(const std::string& path);
    std::vector<TEntry> Entries() const;

private:
    bool Write(const std::vector<TEntry>& entries) const;
    std::string file_;
};

// A new, empty folder inside `folder` for one extraction, recorded in `record`; none of its members' first
// segments (`avoid`) has its name, so each member lands inside it like any other. Empty when none could be
// made.
std::string CreateStagingFolder(const std::string& folder, TWorkRecord& record,
                                const std::vector<std::string>& avoid = {});
// Deletes a staging folder with everything in it and drops it from the record once it is gone.
void RemoveStagingFolder(const std::string& staging, TWorkRecord& record);
// Moves what an extraction put into `staging` to the same places under `dest`, never over an existing file
// or folder: those stay, and the staged copy goes. With `replaceOlder` ("newer only"), a staged file does
// replace an existing file whose write time is older than its own. Counts what was kept; false when a move
// failed.
struct TMergeResult {
    bool Ok = true;
    int Kept = 0;
};
TMergeResult MergeStagedFiles(const std::string& staging, const std::string& dest, bool replaceOlder = false);
// Deletes a folder with everything in it (no recycle bin); errors are ignored.
void RemoveTree(const std::string& folder);
// Removes the staging folders that an interrupted extraction left in `folder`: only those the record holds as
// these very folders, no link, and none that a running extraction holds (HoldFolder). A folder that only has
// the name (an archive's member, a user's own) stays. Returns the paths removed.
std::vector<std::string> RemoveStaleStagingFolders(const std::string& folder, TWorkRecord& record);
// A handle on a folder that keeps others from removing it while it is open.
HANDLE HoldFolder(const std::string& folder);

class IShellOps;

// A second name for a file in its own folder, so that an act the system may turn into a deletion for good can
// be undone: Restore puts the file back under its name, Keep leaves it (the archive's last copy); otherwise
// the second name goes when the object does. A hard link where the volume makes one; else, with `allowCopy`,
// a copy, which takes as long as the file is large (never on the window's thread) and ends early when
// `stopped` says so. Recorded in `record` while it exists.
class TSpareName {
public:
    TSpareName(const std::string& path, TWorkRecord& record, IShellOps& shell, bool allowCopy,
               const std::function<bool()>& stopped = {});
    ~TSpareName();
    TSpareName(const TSpareName&) = delete;
    TSpareName& operator=(const TSpareName&) = delete;
    bool Made() const { return !spare_.empty(); }
    const std::string& Path() const { return path_; }
    bool Restore();
    // The second name, left on disk and out of the record from now on.
    std::string Keep();

private:
    bool Copy(const TFileStamp& stamp, const std::function<bool()>& stopped);
    std::string path_, spare_;
    TWorkRecord& record_;
};

// What became of the second names that a killed run left (those in the record): removed where the archive is
// still in its place as it was, or its bytes live on under another name (the recycle bin took the hard link's
// other name); kept, and dropped from the record, where they may be the archive's last copy. A file that only
// has such a name is not touched.
struct TStaleSpares {
    std::vector<std::string> Removed, Kept;
};
TStaleSpares RemoveStaleSpares(TWorkRecord& record);

}  // namespace velmor
