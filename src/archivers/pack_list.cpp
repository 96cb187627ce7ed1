// Pack-list walk. Stored names are relative to the base folder, which is the current folder during the walk.
#include "archivers/pack_list.h"

#include <cstring>
#include <vector>

#include "archivers/archiver_error.h"
#include "archivers/ext_strms.h"
#include "archivers/path_util.h"
#include "platform/handle.h"
#include "platform/sjis.h"


using platform::SjisToWide;
using platform::TStringList;
using platform::WideToSjis;

namespace {

struct TPackWalkState {
    TArchiverOptions* options;
    std::string baseFolder;
    bool mainWalk;
    bool* cancel;
    TPackProgress progress;
    const TStringList* exclusions;
    TStringList* list;
    TStringList* tempFiles;
    DWORD attributes;
    TLocalDateTime lower, upper;
    EXTRACTINGINFOEX info;
};

bool DateInRange(TLocalDateTime date, const TPackWalkState& st) {
    if (st.lower != 0 && date < st.lower) return false;
    if (st.upper != 0 && date > st.upper) return false;
    return true;
}

// A search entry passes when it has no hidden, system or folder attribute that the search did not ask for.
bool AttributesMatch(DWORD entry, DWORD wanted) {
    const DWORD special = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
    return (entry & special & ~wanted) == 0;
}

bool IsDots(const wchar_t* name) { return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0; }

// Copies at most 512 bytes and a NUL, never splitting a double-byte character.
void CopyBoundedName(char (&dest)[kMemberNameSize], const std::string& name) {
    size_t n = 0;
    while (n < name.size()) {
        size_t len = platform::SjisCharLength(name, n);
        if (n + len > kMemberNameSize - 1) break;
        n += len;
    }
    std::memcpy(dest, name.data(), n);
    dest[n] = '\0';
}

std::string MakeStoredName(const WIN32_FIND_DATAW& entry, const std::string& folder, const TPackWalkState& st) {
    std::wstring name = (st.options->ji > 0 && entry.cAlternateFileName[0]) ? entry.cAlternateFileName
                                                                            : entry.cFileName;
    std::string stored = JoinPath(folder, WideToSjis(name));
    if (st.options->jf == -2 && !st.baseFolder.empty()) stored = ExtractRelativePath(st.baseFolder, stored);
    return stored;
}

void ReportAdded(TPackWalkState& st, const std::string& stored) {
    if (!st.progress) return;
    CopyBoundedName(st.info.SourceFileName, stored);
    st.progress(kPackListProgressState, &st.info, *st.cancel);
}

void ExportFileStreams(TPackWalkState& st, const std::string& path, const WIN32_FIND_DATAW& entry,
                       const std::string& stored);

void AddPackFile(TPackWalkState& st, const std::string& stored, const std::string& path,
                 const WIN32_FIND_DATAW& entry, bool exportStreams) {
    if (st.exclusions && st.exclusions->IndexOf(stored) >= 0) return;
    size_t before = st.list->Count();
    st.list->Add(stored);
    if (exportStreams) ExportFileStreams(st, path, entry, stored);
    if (st.list->Count() > before) ReportAdded(st, stored);
}

void CollectPackFiles(const std::string& folder, const std::string& mask, bool exportStreams, TPackWalkState& st) {
    WIN32_FIND_DATAW fd;
    {
        platform::UniqueFind find(::FindFirstFileW(SjisToWide(JoinPath(folder, mask)).c_str(), &fd));
        if (find) {
            do {
                if (*st.cancel) return;
                if (IsDots(fd.cFileName) || !AttributesMatch(fd.dwFileAttributes, st.attributes)) continue;
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;  // folders are never entries
                if (!DateInRange(FileTimeToDateTimeEx(fd.ftLastWriteTime, true), st)) continue;
                AddPackFile(st, MakeStoredName(fd, folder, st), JoinPath(folder, WideToSjis(fd.cFileName)), fd,
                            exportStreams);
            } while (::FindNextFileW(find.Get(), &fd));
        }
    }
    const TArchiverOptions& o = *st.options;
    if (!(o.r > 0 && (o.p <= 0 || HasWildcard(mask)))) return;
    platform::UniqueFind find(::FindFirstFileW(SjisToWide(JoinPath(folder, "*.*")).c_str(), &fd));
    if (!find) return;
    do {
        if (*st.cancel) return;
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsDots(fd.cFileName)) continue;
        CollectPackFiles(MakeStoredName(fd, folder, st), mask, exportStreams, st);
    } while (::FindNextFileW(find.Get(), &fd));
}

std::unique_ptr<TStringList> BuildFileListFromSpecs(TPackWalkState& st, const TStringList& specs) {
    std::memset(&st.info, 0, sizeof(st.info));
    auto list = std::make_unique<TStringList>();
    list->SetSorted(true);
    list->SetRefuseDuplicates(true);
    st.list = list.get();
    const TArchiverOptions& o = *st.options;
    st.lower = ParseDateSwitch(o.jo, "000000");
    st.upper = ParseDateSwitch(o.job, "235959");
    st.attributes = o.a > 0 ? 0x27 : 0x21;
    if (!specs.Empty()) {
        for (const auto& path : specs) {
            if (*st.cancel) break;
            if (o.r > 1 && IsDirectory(path))
                CollectPackFiles(path, "*.*", o.IncludeExtraStreams, st);
            else
                CollectPackFiles(ExtractFileDir(path), ExtractBareName(path), o.IncludeExtraStreams, st);
        }
    } else if (st.mainWalk) {
        CollectPackFiles("", "*.*", o.IncludeExtraStreams, st);
    }
    st.list = nullptr;
    return list;
}

std::wstring CurrentDirectoryW() {
    DWORD n = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring dir(n, L'\0');
    n = ::GetCurrentDirectoryW(n, dir.data());
    dir.resize(n);
    return dir;
}

// The current folder of a drive, as the process keeps it ("X:" resolves to it).
std::wstring DriveDirectoryW(wchar_t drive) {
    wchar_t drivePath[3] = {drive, L':', 0};
    wchar_t buf[MAX_PATH * 2];
    DWORD n = ::GetFullPathNameW(drivePath, MAX_PATH * 2, buf, nullptr);
    return (n > 0 && n < MAX_PATH * 2) ? std::wstring(buf, n) : std::wstring();
}

void ExportFileStreams(TPackWalkState& st, const std::string& path, const WIN32_FIND_DATAW& entry,
                       const std::string& stored) {
    ExportNamedStreams(path, stored, *st.options, entry, [&st](const std::string& exportedName) {
        st.list->Add(exportedName);
        st.tempFiles->Add(ExpandFileName(exportedName));
    });
}

}  // namespace

int CurrentYear() {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    return st.wYear;
}

int ExpandTwoDigitYear(int twoDigitYear, int currentYear) {
    int start = currentYear - 50;
    int year = twoDigitYear + (start / 100) * 100;
    if (year < start) year += 100;
    return year;
}

bool IsDirectory(const std::string& path) { return DirectoryExistsSjis(path); }

TLocalDateTime FileTimeToDateTimeEx(const FILETIME& ft, bool toLocal) {
    if (ft.dwLowDateTime == 0 && ft.dwHighDateTime == 0) return 0;
    FILETIME use = ft;
    if (toLocal && !::FileTimeToLocalFileTime(&ft, &use)) return 0;
    return (static_cast<uint64_t>(use.dwHighDateTime) << 32) | use.dwLowDateTime;
}

TLocalDateTime ParseDateSwitch(const std::string& textIn, const std::string& defaultTime, int currentYear) {
    if (IsUnset(textIn)) return 0;
    std::string text = textIn;
    if (text.size() > 1 && text[0] == 'l') text.erase(0, 1);
    auto number = [&text](const std::string& s, size_t pos, size_t len) {
        int v = 0;
        for (size_t i = pos; i < pos + len; ++i) {
            if (s[i] < '0' || s[i] > '9') throw EArchiver("'" + text + "' は正しい日付ではありません。");
            v = v * 10 + (s[i] - '0');
        }
        return v;
    };
    SYSTEMTIME st{};
    std::string time;
    if (text.size() == 6 || text.size() == 12) {
        st.wYear = static_cast<WORD>(ExpandTwoDigitYear(number(text, 0, 2), currentYear));
        st.wMonth = static_cast<WORD>(number(text, 2, 2));
        st.wDay = static_cast<WORD>(number(text, 4, 2));
        time = text.size() == 12 ? text.substr(6) : defaultTime;
    } else if (text.size() == 8 || text.size() == 14) {
        st.wYear = static_cast<WORD>(number(text, 0, 4));
        st.wMonth = static_cast<WORD>(number(text, 4, 2));
        st.wDay = static_cast<WORD>(number(text, 6, 2));
        time = text.size() == 14 ? text.substr(8) : defaultTime;
    } else {
        return 0;
    }
    st.wHour = static_cast<WORD>(number(time, 0, 2));
    st.wMinute = static_cast<WORD>(number(time, 2, 2));
    st.wSecond = static_cast<WORD>(number(time, 4, 2));
    FILETIME ft;
    // The conversion validates the calendar (month 13, 31 February, hour 24 fail).
    if (!::SystemTimeToFileTime(&st, &ft)) throw EArchiver("'" + text + "' は正しい日付ではありません。");
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

std::string ExtractRelativePath(const std::string& baseName, const std::string& destName) {
    auto drive = [](const std::string& p) { return p.size() >= 2 && p[1] == ':' ? p.substr(0, 2) : std::string(); };
    if (platform::CompareTextSjis(drive(baseName), drive(destName)) != 0) return destName;
    auto split = [](const std::string& path) {
        std::vector<std::string> parts;
        std::string cur;
        for (size_t i = 0; i < path.size(); i += platform::SjisCharLength(path, i)) {
            size_t len = platform::SjisCharLength(path, i);
            if (len == 1 && path[i] == '\\') {
                parts.push_back(cur);
                cur.clear();
            } else {
                cur.append(path, i, len);
            }
        }
        return std::make_pair(parts, cur);  // folders, then what follows the last separator
    };
    auto [baseDirs, baseFile] = split(baseName);
    auto [destDirs, destFile] = split(destName);
    size_t common = 0;
    while (common < baseDirs.size() && common < destDirs.size() &&
           platform::CompareTextSjis(baseDirs[common], destDirs[common]) == 0)
        ++common;
    std::string out;
    for (size_t i = common; i < baseDirs.size(); ++i) out += "..\\";
    for (size_t i = common; i < destDirs.size(); ++i) out += destDirs[i] + "\\";
    return out + destFile;
}

std::unique_ptr<TStringList> BuildPackFileList(TStringList& tempFiles, TArchiverOptions& options,
                                               const std::string& baseFolder, bool& cancel, const TFileItems& specs,
                                               const TPackProgress& progress) {
    TStringList specList = ItemsToStringList(specs);
    std::wstring savedCurrent, savedDrive;
    if (!baseFolder.empty()) {
        savedCurrent = CurrentDirectoryW();
        if (baseFolder.size() >= 2 && baseFolder[1] == ':') savedDrive = DriveDirectoryW(baseFolder[0]);
        if (!::SetCurrentDirectoryW(SjisToWide(baseFolder).c_str()))
            throw EArchiver("フォルダ " + baseFolder + " に移動できません。");
    }
    // Best effort: a folder that has gone away must not fail a pack whose list is valid.
    auto restore = [&] {
        if (!savedDrive.empty()) ::SetCurrentDirectoryW(savedDrive.c_str());
        if (!savedCurrent.empty()) ::SetCurrentDirectoryW(savedCurrent.c_str());
    };
    std::unique_ptr<TStringList> list;
    try {
        TPackWalkState exclusionWalk{&options, baseFolder, false, &cancel, nullptr, nullptr, nullptr, &tempFiles,
                                     0, 0, 0, {}};
        std::unique_ptr<TStringList> exclusions = BuildFileListFromSpecs(exclusionWalk, options.jx);
        TPackWalkState mainWalk{&options, baseFolder, true, &cancel, progress, exclusions.get(), nullptr,
                                &tempFiles, 0, 0, 0, {}};
        list = BuildFileListFromSpecs(mainWalk, specList);
        options.r = -1;
        options.jo = kUnsetText;
        options.job = kUnsetText;
        options.p = 1;
    } catch (...) {
        restore();
        throw;
    }
    restore();
    return list;
}
