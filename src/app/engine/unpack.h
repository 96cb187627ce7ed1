// The extraction engine's checks that are not tied to one job: whether each format's library can be loaded
// (from the program's folder or the system folders, never the current folder), the dangerous-path test, the
// count of an archive's top-level entries with its two questions, and the deletion of what a failed or
// interrupted extraction left behind. Main thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/job_seams.h"

namespace velmor {

struct TArchiverLibrary {
    std::string Kind;  // "LHA", "ZIP", ...
    std::string DllName;
    std::string EntryName;
    uint8_t Ready = 0;
    HMODULE Module = nullptr;
    FARPROC Entry = nullptr;
};

// "DANGER" when the path holds a start-up or system folder word (case-sensitive, double-byte aware), else "".
std::string CheckDangerousPath(std::string_view path);
// True when a member path would leave the output folder: a drive ("C:\x", "C:x"), a rooted path ("\x", "/x")
// or a ".." step. A 0x5C trail byte is not a separator.
bool EscapesOutputFolder(std::string_view memberName);

class TUnPack {
public:
    // The folders searched for the libraries, in order; by default the program's folder, then the system
    // folder.
    explicit TUnPack(const TJobContext& context, std::vector<std::string> libraryFolders = DefaultLibraryFolders());
    ~TUnPack();
    TUnPack(const TUnPack&) = delete;
    TUnPack& operator=(const TUnPack&) = delete;

    static std::vector<std::string> DefaultLibraryFolders();

    // Loads one kind's library ("LHA", "ZIP", "CAB", "RAR", "ARJ", "TAR", "GCA") and finds its command entry.
    bool LoadArchiverDll(const std::string& kind);
    // Frees the LHA, ZIP, CAB and RAR libraries; TAR and GCA stay loaded.
    void UnloadArchiverDlls();
    const std::vector<TArchiverLibrary>& Libraries() const { return libraries_; }

    // The number of top-level elements of the archive. May ask about absolute or dangerous member paths and
    // set SkipItem; sets TopLevelItem (the single name, when the count is 1) and ArchiveOriginalSize.
    // Exceptions up to the first member reach the caller.
    int CountTopLevelEntries(HWND window, const std::string& archive);

    // Deletes TopLevelItem when this extraction created it and it lies strictly inside LeftoverRoot.
    void DeleteLeftover();
    // Folders that extractions of this program run created (bind folders, single top folders); only these
    // are renamed or moved aside when a version number is trimmed.
    void RecordCreatedFolder(const std::string& path);
    bool CreatedFolder(const std::string& path) const;

    // The current row's output folder as chosen before any bind folder (set by the preparation step).
    std::string LeftoverRoot;

private:
    TJobContext context_;
    std::vector<std::string> folders_;
    std::vector<TArchiverLibrary> libraries_;
    std::vector<std::string> createdFolders_;  // ASCII-lowered
};

}  // namespace velmor
