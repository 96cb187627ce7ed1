// The extraction engine's checks that are not tied to one job: whether each format's library can be loaded
// (from the folders the archive component loads them from, never the current folder), the dangerous-path test, the
// count of an archive's top-level entries with its two questions, and the deletion of what a failed or
// interrupted extraction left behind. Main thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/job_seams.h"
#include "app/engine/member_guard.h"

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

// True when `path` lies strictly inside `root` (a folder with its trailing delimiter): it starts with it,
// ASCII letters compared without regard to case and by character, and goes on after it.
bool LiesStrictlyInside(std::string_view path, std::string_view root);

class TUnPack {
public:
    // The folders searched for the libraries, in order; by default those of the archive component's loading.
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

    // The number of top-level elements of the archive. Asks once per archive about members that would leave
    // the output folder and once about dangerous paths, and sets SkipItem on a No; sets TopLevelItem (the
    // single name, when the count is 1), ArchiveOriginalSize, Members and WalkComplete. Exceptions up to the
    // first member reach the caller.
    int CountTopLevelEntries(HWND window, const std::string& archive);
    // Every member the last count walked, folder entries included, and whether the walk reached the end of
    // the archive (one that broke off has not seen every member the library would write).
    std::vector<TCountedMember> Members;
    bool WalkComplete = false;

    // Deletes TopLevelItem when this extraction created it and it lies strictly inside LeftoverRoot.
    void DeleteLeftover();
    // Folders that extractions of this program run created (bind folders, single top folders); only these
    // are renamed or moved aside when a version number is trimmed.
    void RecordCreatedFolder(const std::string& path);
    bool CreatedFolder(const std::string& path) const;

    // The current row's output folder as chosen before any bind folder (set by the preparation step).
    std::string LeftoverRoot;
    // What the extractions make that a killed run can leave behind; by default "VelmorWork.txt" in My
    // Documents, beside the settings file.
    TWorkRecord WorkRecord;

private:
    TJobContext context_;
    std::vector<std::string> folders_;
    std::vector<TArchiverLibrary> libraries_;
    std::vector<std::string> createdFolders_;  // ASCII-lowered
};

}  // namespace velmor
