// Member-name rules, landing checks, archive stamps and the staging folder of an extraction.
#include "app/engine/member_guard.h"

#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/engine/job_rules.h"
#include "platform/handle.h"
#include "platform/sjis.h"

namespace velmor {

namespace {

bool IsDelimiter(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::vector<std::string> PathSegments(std::string_view path) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < path.size();) {
        size_t n = platform::SjisCharLength(path, i);
        if (n == 1 && IsDelimiter(path[i]))
            parts.emplace_back();
        else
            parts.back().append(path.substr(i, n));
        i += n;
    }
    return parts;
}

namespace {

// Trailing dots and blanks go, as Windows drops them from a name ("." and ".." stay what they are). Neither
// is ever a trail byte, so cutting bytes from the end is safe.
std::string WithoutTrailingDotsAndBlanks(std::string s) {
    if (s == "." || s == "..") return s;
    while (!s.empty() && (s.back() == '.' || s.back() == ' ')) s.pop_back();
    return s;
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::wstring FullPath(const std::string& path) {
    std::wstring w = platform::SjisToWide(path);
    DWORD n = ::GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (n == 0) return {};
    std::wstring buffer(n + 1, L'\0');
    n = ::GetFullPathNameW(w.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (n == 0 || n >= buffer.size()) return {};
    buffer.resize(n);
    return buffer;
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() &&
           ::CompareStringOrdinal(text.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                                  static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

std::wstring WithSlash(std::wstring path) {
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path;
}

// A path as Windows compares names: without regard to case.
std::wstring NameKey(std::wstring path) {
    if (!path.empty()) ::CharUpperBuffW(path.data(), static_cast<DWORD>(path.size()));
    return path;
}

// The staging folders' names: "~velmor", eight hexadecimal digits, ".tmp".
bool IsStagingName(const std::wstring& name) {
    static const wchar_t kHead[] = L"~velmor", kTail[] = L".tmp";
    if (name.size() != 7 + 8 + 4 || name.compare(0, 7, kHead) != 0 || name.compare(15, 4, kTail) != 0)
        return false;
    for (size_t i = 7; i < 15; ++i)
        if (!iswxdigit(name[i])) return false;
    return true;
}

bool FileIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    platform::UniqueFile file(::CreateFileW(path.c_str(), 0,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && ::GetFileInformationByHandle(file.Get(), &info);
}

uint64_t WriteTicks(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

void Merge(const std::wstring& from, const std::wstring& to, TMergeResult& result, bool replaceOlder) {
    WIN32_FIND_DATAW found{};
    platform::UniqueFind find(::FindFirstFileW((from + L"*").c_str(), &found));
    if (!find) return;
    std::vector<std::pair<std::wstring, bool>> entries;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        entries.emplace_back(name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (::FindNextFileW(find.Get(), &found));
    find.Reset();
    for (const auto& [name, folder] : entries) {
        const std::wstring source = from + name, target = to + name;
        const DWORD existing = ::GetFileAttributesW(target.c_str());
        if (existing == INVALID_FILE_ATTRIBUTES) {
            // Nothing there yet: a whole staged folder moves in one rename.
            if (!::MoveFileExW(source.c_str(), target.c_str(), 0)) result.Ok = false;
        } else if (folder && (existing & FILE_ATTRIBUTE_DIRECTORY)) {
            Merge(source + L"\\", target + L"\\", result, replaceOlder);
        } else if (replaceOlder && !folder && !(existing & FILE_ATTRIBUTE_DIRECTORY) &&
                   !KeepsNewerExisting(WriteTicks(target), WriteTicks(source))) {
            // The member is newer: it takes the place in one rename; where it cannot, the file stays.
            if (!::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) ++result.Kept;
        } else {
            ++result.Kept;
        }
    }
}

void RemoveTreeW(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    {
        platform::UniqueFind find(::FindFirstFileW((folder + L"\\*").c_str(), &found));
        if (find) {
            do {
                std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                std::wstring path = folder + L"\\" + name;
                // A link is removed, never followed.
                if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                    RemoveTreeW(path);
                } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    ::RemoveDirectoryW(path.c_str());
                } else {
                    if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                    ::DeleteFileW(path.c_str());
                }
            } while (::FindNextFileW(find.Get(), &found));
        }
    }
    ::RemoveDirectoryW(folder.c_str());
}

}  // namespace

bool IsAbsolutePath(std::string_view path) {
    if (path.size() >= 3 && path[1] == ':' && path[2] == '\\' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')))
        return true;
    return path.size() >= 3 && path[0] == '\\' && path[1] == '\\';
}

bool IsDeviceName(std::string_view segment) {
    std::string s = WithoutTrailingDotsAndBlanks(std::string(segment));
    // The device is the part before the first "." (any extension) or ";" (a stream's file form).
    size_t end = 0;
    while (end < s.size() && s[end] != '.' && s[end] != ';' && s[end] != ':')
        end += platform::SjisCharLength(s, end);
    s.resize(end);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    for (char& c : s) c = Upper(c);
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* d : kDevices)
        if (s == d) return true;
    return s.size() == 4 && (s.compare(0, 3, "COM") == 0 || s.compare(0, 3, "LPT") == 0) && s[3] >= '0' &&
           s[3] <= '9';
}

bool EscapesOutputFolder(std::string_view memberName) {
    if (memberName.empty()) return false;
    for (size_t i = 0; i < memberName.size(); i += platform::SjisCharLength(memberName, i))
        if (memberName[i] == ':') return true;    // "C:\x", "C:x", a stream
    if (IsDelimiter(memberName[0])) return true;  // "\x", "/x", "\\server\x"
    for (const std::string& part : PathSegments(memberName)) {
        // "..", and "..." or ".. ", which Windows reads as ".." once trailing dots and blanks are gone.
        if (part.find_first_not_of(". ") == std::string::npos && part.find('.') != part.rfind('.'))
            return true;
        if (IsDeviceName(part)) return true;
    }
    return false;
}

std::string_view StripCurrentFolderSteps(std::string_view name) {
    while (name.size() >= 2 && name[0] == '.' && IsDelimiter(name[1])) {
        name.remove_prefix(2);
        while (!name.empty() && IsDelimiter(name[0])) name.remove_prefix(1);
    }
    return name == "." ? std::string_view() : name;
}

std::string MemberTarget(const std::string& folder, std::string_view memberName, bool junkPaths,
                         std::string* top) {
    std::vector<std::string> parts;
    for (std::string& part : PathSegments(StripCurrentFolderSteps(memberName))) {
        part = WithoutTrailingDotsAndBlanks(std::move(part));
        if (!part.empty()) parts.push_back(std::move(part));
    }
    if (junkPaths && parts.size() > 1) parts.erase(parts.begin(), parts.end() - 1);
    std::string target = folder;
    for (size_t i = 0; i < parts.size(); ++i) {
        target += (i ? "\\" : "") + parts[i];
        if (i == 0 && top) *top = target;
    }
    return target;
}

TLandingCheck::TLandingCheck(const std::string& folder) : root_(WithSlash(FullPath(folder))) {}

bool TLandingCheck::Inside(const std::string& target) const {
    const std::wstring full = FullPath(target);
    return root_.size() > 1 && full.size() > root_.size() && StartsWithNoCase(full, root_);
}

std::string TFlaggedMembers::Text() const {
    std::string text = "\"" + First + "\"";
    if (Count > 1) text += " ほか" + std::to_string(Count - 1) + "件";
    return text;
}

TFileStamp ReadFileStamp(const std::string& path) {
    TFileStamp stamp;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!FileIdentity(platform::SjisToWide(path), info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return stamp;
    stamp.Valid = true;
    stamp.Size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    stamp.WriteTime = info.ftLastWriteTime;
    stamp.VolumeSerial = info.dwVolumeSerialNumber;
    stamp.FileIndex = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return stamp;
}

std::vector<size_t> MembersSharingAName(const std::string& folder, const std::vector<TCountedMember>& members,
                                        bool junkPaths) {
    std::vector<size_t> sharing;
    const size_t rootLength = platform::SjisToWide(folder).size();
    std::unordered_set<std::wstring> files, folders;  // keys of the names taken so far
    for (size_t i = 0; i < members.size(); ++i) {
        const TCountedMember& m = members[i];
        if (m.Name.empty() || (m.Folder && junkPaths)) continue;
        const std::wstring key =
            NameKey(platform::SjisToWide(MemberTarget(folder, m.Name, junkPaths && !m.Folder)));
        if (key.size() <= rootLength) continue;
        // The folders on the way are taken as folders.
        bool meets = false;
        for (size_t at = key.find(L'\\', rootLength); at != std::wstring::npos;
             at = key.find(L'\\', at + 1)) {
            const std::wstring parent = key.substr(0, at);
            if (files.count(parent)) meets = true;
            folders.insert(parent);
        }
        if (m.Folder) {
            meets = meets || files.count(key);
            folders.insert(key);
        } else {
            meets = meets || files.count(key) || folders.count(key);
            files.insert(key);
        }
        if (meets) sharing.push_back(i);
    }
    return sharing;
}

std::vector<size_t> MembersNotOnDisk(const std::string& folder, const std::vector<TCountedMember>& members,
                                     bool junkPaths) {
    struct Entry {
        bool Folder;
        uint64_t Size;
    };
    using Listing = std::unordered_map<std::wstring, Entry>;  // by the key of the name
    std::unordered_map<std::wstring, Listing> listings;       // by the key of the folder
    auto listing = [&listings](const std::wstring& dir) -> const Listing& {
        const std::wstring key = NameKey(dir);
        auto found = listings.find(key);
        if (found != listings.end()) return found->second;
        Listing& entries = listings[key];
        WIN32_FIND_DATAW data{};
        platform::UniqueFind find(::FindFirstFileW((dir + L"\\*").c_str(), &data));
        if (find) {
            do {
                const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                entries[NameKey(data.cFileName)] = {
                    isFolder, (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow};
            } while (::FindNextFileW(find.Get(), &data));
        }
        return entries;
    };
    std::vector<size_t> missing;
    const size_t rootLength = platform::SjisToWide(folder).size();
    for (size_t i = 0; i < members.size(); ++i) {
        const TCountedMember& m = members[i];
        if (m.Name.empty() || (m.Folder && junkPaths)) continue;
        const std::wstring target =
            platform::SjisToWide(MemberTarget(folder, m.Name, junkPaths && !m.Folder));
        const size_t cut = target.rfind(L'\\');
        if (target.size() <= rootLength || cut == std::wstring::npos || cut + 1 >= target.size()) continue;
        const Listing& entries = listing(target.substr(0, cut));
        auto entry = entries.find(NameKey(target.substr(cut + 1)));
        const bool present = entry != entries.end() && entry->second.Folder == m.Folder &&
                             (m.Folder || entry->second.Size == m.Size);
        if (!present) missing.push_back(i);
    }
    return missing;
}

bool SameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return FileIdentity(platform::SjisToWide(a), x) && FileIdentity(platform::SjisToWide(b), y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

std::string CreateStagingFolder(const std::string& folder) {
    const std::wstring base = WithSlash(platform::SjisToWide(folder));
    const DWORD seed = ::GetTickCount() ^ (::GetCurrentProcessId() << 16);
    for (DWORD i = 0; i < 100; ++i) {
        wchar_t name[40];
        swprintf(name, 40, L"~velmor%08lx.tmp", static_cast<unsigned long>(seed + i));
        const std::wstring path = base + name;
        if (::CreateDirectoryW(path.c_str(), nullptr)) {
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
            return platform::WideToSjis(path) + "\\";
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return {};
}

TMergeResult MergeStagedFiles(const std::string& staging, const std::string& dest, bool replaceOlder) {
    TMergeResult result;
    Merge(WithSlash(platform::SjisToWide(staging)), WithSlash(platform::SjisToWide(dest)), result,
          replaceOlder);
    return result;
}

void RemoveTree(const std::string& folder) {
    std::wstring path = platform::SjisToWide(folder);
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    if (path.size() > 3) RemoveTreeW(path);
}

HANDLE HoldFolder(const std::string& folder) {
    // Shared for reading and writing, not for deletion: a removal of the folder fails while it is held.
    return ::CreateFileW(platform::SjisToWide(folder).c_str(), FILE_LIST_DIRECTORY,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::vector<std::string> RemoveStaleStagingFolders(const std::string& folder) {
    std::vector<std::string> removed;
    const std::wstring base = WithSlash(platform::SjisToWide(folder));
    std::vector<std::wstring> found;
    {
        WIN32_FIND_DATAW data{};
        platform::UniqueFind find(::FindFirstFileW((base + L"~velmor*").c_str(), &data));
        if (!find) return removed;
        do {
            const DWORD a = data.dwFileAttributes;
            if ((a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT) &&
                IsStagingName(data.cFileName))
                found.push_back(base + data.cFileName);
        } while (::FindNextFileW(find.Get(), &data));
    }
    for (const std::wstring& path : found) {
        {
            // Only when nobody holds it: an extraction still running keeps its staging folder open.
            platform::UniqueFile alone(
                ::CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            if (!alone) continue;
            BY_HANDLE_FILE_INFORMATION info{};
            if (!::GetFileInformationByHandle(alone.Get(), &info) ||
                (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
                !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                continue;
        }
        RemoveTreeW(path);
        if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            removed.push_back(platform::WideToSjis(path));
    }
    return removed;
}

TSpareName::TSpareName(const std::string& path) : path_(platform::SjisToWide(path)) {
    for (int i = 0; i < 100 && spare_.empty(); ++i) {
        const std::wstring candidate = path_ + L".velmor-spare" + (i ? std::to_wstring(i) : std::wstring());
        if (::GetFileAttributesW(candidate.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        if (::CreateHardLinkW(candidate.c_str(), path_.c_str(), nullptr) ||
            ::CopyFileW(path_.c_str(), candidate.c_str(), TRUE))
            spare_ = candidate;
        else
            break;
    }
}

TSpareName::~TSpareName() {
    if (!spare_.empty()) ::DeleteFileW(spare_.c_str());
}

bool TSpareName::Restore() {
    if (spare_.empty() || !::MoveFileExW(spare_.c_str(), path_.c_str(), 0)) return false;
    spare_.clear();
    return true;
}

}  // namespace velmor
