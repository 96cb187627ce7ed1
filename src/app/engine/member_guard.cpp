// Member-name rules, landing checks, archive stamps and the staging folder of an extraction.
#include "app/engine/member_guard.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/engine/job_rules.h"
#include "app/engine/job_seams.h"
#include "platform/handle.h"
#include "platform/ini_file.h"
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

namespace {

// Eight tables: the loop takes eight bytes a step.
struct TCrcTables {
    uint32_t t[8][256];
    TCrcTables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][i] = c;
        }
        for (int k = 1; k < 8; ++k)
            for (uint32_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
};

}  // namespace

uint32_t Crc32(const void* data, size_t size, uint32_t crc) {
    static const TCrcTables tables;
    const auto& t = tables.t;
    const auto* p = static_cast<const uint8_t*>(data);
    crc = ~crc;
    for (; size >= 8; p += 8, size -= 8) {
        uint32_t a, b;
        memcpy(&a, p, 4);
        memcpy(&b, p + 4, 4);
        a ^= crc;
        crc = t[7][a & 0xFF] ^ t[6][(a >> 8) & 0xFF] ^ t[5][(a >> 16) & 0xFF] ^ t[4][a >> 24] ^
              t[3][b & 0xFF] ^ t[2][(b >> 8) & 0xFF] ^ t[1][(b >> 16) & 0xFF] ^ t[0][b >> 24];
    }
    while (size--) crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::vector<size_t> MembersWithOtherData(const std::string& folder,
                                         const std::vector<TCountedMember>& members, bool junkPaths,
                                         const std::function<bool()>& stopped, bool* wasStopped) {
    std::vector<size_t> other;
    std::vector<char> buffer;
    if (wasStopped) *wasStopped = false;
    for (size_t i = 0; i < members.size(); ++i) {
        const TCountedMember& m = members[i];
        if (m.Folder || m.Crc == 0 || m.Name.empty()) continue;
        if (buffer.empty()) buffer.resize(1 << 20);
        const std::wstring target = platform::SjisToWide(MemberTarget(folder, m.Name, junkPaths));
        platform::UniqueFile file(::CreateFileW(target.c_str(), GENERIC_READ,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        uint32_t crc = 0;
        bool read = static_cast<bool>(file);
        DWORD got = 0;
        while (read) {
            if (stopped && stopped()) {
                if (wasStopped) *wasStopped = true;
                return other;
            }
            read = ::ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr);
            if (!read || got == 0) break;
            crc = Crc32(buffer.data(), got, crc);
        }
        if (!read || crc != m.Crc) other.push_back(i);
    }
    return other;
}

bool SameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return FileIdentity(platform::SjisToWide(a), x) && FileIdentity(platform::SjisToWide(b), y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

namespace {

std::string Hex(uint64_t value) {
    char text[24];
    snprintf(text, sizeof(text), "%llx", static_cast<unsigned long long>(value));
    return text;
}

uint64_t FileIndexOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

bool SamePath(const std::string& a, const std::string& b) {
    return NameKey(platform::SjisToWide(a)) == NameKey(platform::SjisToWide(b));
}

// One process at a time extracts (the program runs once per user), but its worker and window both record.
std::mutex& RecordMutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<TWorkRecord::TEntry> ReadEntries(const std::string& file) {
    std::vector<TWorkRecord::TEntry> entries;
    if (file.empty()) return entries;
    const std::wstring path = platform::SjisToWide(file);
    platform::UniqueFile handle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                              nullptr, OPEN_EXISTING, 0, nullptr));
    if (!handle) return entries;
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(handle.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
        text.append(buffer, read);
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> f;
        for (size_t from = 0;;) {
            const size_t tab = line.find('\t', from);
            f.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
            if (tab == std::string::npos) break;
            from = tab + 1;
        }
        TWorkRecord::TEntry e;
        if (f.size() < 4 || f[0].size() != 1 || f[3].empty()) continue;
        e.Kind = f[0][0];
        e.VolumeSerial = static_cast<DWORD>(std::strtoull(f[1].c_str(), nullptr, 16));
        e.FileIndex = std::strtoull(f[2].c_str(), nullptr, 16);
        e.Path = f[3];
        if (e.Kind == TWorkRecord::kSpare) {
            if (f.size() < 9) continue;
            e.Archive = f[4];
            TFileStamp& a = e.ArchiveStamp;
            a.Valid = true;
            a.Size = std::strtoull(f[5].c_str(), nullptr, 16);
            const uint64_t time = std::strtoull(f[6].c_str(), nullptr, 16);
            a.WriteTime = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
            a.VolumeSerial = static_cast<DWORD>(std::strtoull(f[7].c_str(), nullptr, 16));
            a.FileIndex = std::strtoull(f[8].c_str(), nullptr, 16);
        } else if (e.Kind != TWorkRecord::kStaging) {
            continue;
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

bool Exists(const std::string& path) {
    return ::GetFileAttributesW(platform::SjisToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool DeleteOwnFile(const std::string& path) {
    const std::wstring w = platform::SjisToWide(path);
    const DWORD attributes = ::GetFileAttributesW(w.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesW(w.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    ::DeleteFileW(w.c_str());
    return ::GetFileAttributesW(w.c_str()) == INVALID_FILE_ATTRIBUTES;
}

}  // namespace

std::vector<TWorkRecord::TEntry> TWorkRecord::Entries() const {
    std::lock_guard<std::mutex> lock(RecordMutex());
    return ReadEntries(file_);
}

bool TWorkRecord::Write(const std::vector<TEntry>& entries) const {
    std::string text;
    for (const TEntry& e : entries) {
        text += std::string(1, e.Kind) + "\t" + Hex(e.VolumeSerial) + "\t" + Hex(e.FileIndex) + "\t" + e.Path;
        if (e.Kind == kSpare) {
            const TFileStamp& a = e.ArchiveStamp;
            const uint64_t time =
                (static_cast<uint64_t>(a.WriteTime.dwHighDateTime) << 32) | a.WriteTime.dwLowDateTime;
            text += "\t" + e.Archive + "\t" + Hex(a.Size) + "\t" + Hex(time) + "\t" + Hex(a.VolumeSerial) +
                    "\t" + Hex(a.FileIndex);
        }
        text += "\r\n";
    }
    if (text.empty()) {
        ::DeleteFileW(platform::SjisToWide(file_).c_str());
        return !Exists(file_);
    }
    return platform::ReplaceFileContents(file_, text);
}

bool TWorkRecord::Add(const TEntry& entry) {
    if (file_.empty()) return false;
    std::lock_guard<std::mutex> lock(RecordMutex());
    std::vector<TEntry> entries = ReadEntries(file_);
    entries.push_back(entry);
    return Write(entries);
}

void TWorkRecord::Drop(const std::string& path) {
    if (file_.empty()) return;
    std::lock_guard<std::mutex> lock(RecordMutex());
    std::vector<TEntry> entries = ReadEntries(file_);
    const size_t before = entries.size();
    // What holds nothing any more goes too: a folder the user removed, a second name gone with its folder.
    entries.erase(
        std::remove_if(entries.begin(), entries.end(),
                       [&path](const TEntry& e) { return SamePath(e.Path, path) || !Exists(e.Path); }),
        entries.end());
    if (entries.size() != before) Write(entries);
}

std::string CreateStagingFolder(const std::string& folder, TWorkRecord& record,
                                const std::vector<std::string>& avoid) {
    const std::wstring base = WithSlash(platform::SjisToWide(folder));
    std::unordered_set<std::wstring> taken;
    for (const std::string& name : avoid) taken.insert(NameKey(platform::SjisToWide(name)));
    const DWORD seed = ::GetTickCount() ^ (::GetCurrentProcessId() << 16);
    for (DWORD i = 0; i < 100; ++i) {
        wchar_t name[40];
        swprintf(name, 40, L"~velmor%08lx.tmp", static_cast<unsigned long>(seed + i));
        if (taken.count(NameKey(name))) continue;
        const std::wstring path = base + name;
        if (::CreateDirectoryW(path.c_str(), nullptr)) {
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
            BY_HANDLE_FILE_INFORMATION info{};
            if (FileIdentity(path, info)) {
                TWorkRecord::TEntry made;
                made.Kind = TWorkRecord::kStaging;
                made.VolumeSerial = info.dwVolumeSerialNumber;
                made.FileIndex = FileIndexOf(info);
                made.Path = platform::WideToSjis(path);
                record.Add(made);
            }
            return platform::WideToSjis(path) + "\\";
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return {};
}

void RemoveStagingFolder(const std::string& staging, TWorkRecord& record) {
    std::string path = staging;
    while (platform::SjisEndsWithChar(path, '\\')) path.pop_back();
    RemoveTree(path);
    if (!Exists(path)) record.Drop(path);
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

std::vector<std::string> RemoveStaleStagingFolders(const std::string& folder, TWorkRecord& record) {
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
    if (found.empty()) return removed;
    const std::vector<TWorkRecord::TEntry> entries = record.Entries();
    for (const std::wstring& path : found) {
        const std::string sjis = platform::WideToSjis(path);
        auto entry = std::find_if(entries.begin(), entries.end(), [&sjis](const TWorkRecord::TEntry& e) {
            return e.Kind == TWorkRecord::kStaging && SamePath(e.Path, sjis);
        });
        // Only a folder this program made as a staging folder: the name alone proves nothing.
        if (entry == entries.end()) continue;
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
            // Another folder put in its place since is not the one recorded.
            if (info.dwVolumeSerialNumber != entry->VolumeSerial || FileIndexOf(info) != entry->FileIndex) {
                alone.Reset();
                record.Drop(sjis);
                continue;
            }
        }
        RemoveTreeW(path);
        if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            record.Drop(sjis);
            removed.push_back(sjis);
        }
    }
    return removed;
}

TSpareName::TSpareName(const std::string& path, TWorkRecord& record, IShellOps& shell, bool allowCopy,
                       const std::function<bool()>& stopped)
    : path_(path), record_(record) {
    const TFileStamp stamp = ReadFileStamp(path);
    if (!stamp.Valid) return;
    std::string candidate;
    for (int i = 0; i < 100 && candidate.empty(); ++i) {
        std::string name = path + ".velmor-spare" + (i ? std::to_string(i) : std::string());
        if (!Exists(name)) candidate = std::move(name);
    }
    if (candidate.empty()) return;
    spare_ = candidate;
    // Recorded before it exists: a hard link is the archive's own file, and a kill right after the link
    // leaves a second name the next run knows.
    record_.Add({TWorkRecord::kSpare, stamp.VolumeSerial, stamp.FileIndex, spare_, path_, stamp});
    if (shell.HardLink(path_, spare_) && SameFile(path_, spare_)) return;
    if (!allowCopy || !Copy(stamp, stopped)) {
        record_.Drop(spare_);
        spare_.clear();
    }
}

bool TSpareName::Copy(const TFileStamp& stamp, const std::function<bool()>& stopped) {
    const std::wstring source = platform::SjisToWide(path_), target = platform::SjisToWide(spare_);
    platform::UniqueFile in(::CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) return false;
    bool ok = false;
    {
        platform::UniqueFile out(::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out) return false;
        // The copy is its own file: the record learns it before a byte is written.
        BY_HANDLE_FILE_INFORMATION info{};
        if (::GetFileInformationByHandle(out.Get(), &info)) {
            record_.Drop(spare_);
            record_.Add(
                {TWorkRecord::kSpare, info.dwVolumeSerialNumber, FileIndexOf(info), spare_, path_, stamp});
            std::vector<char> buffer(1 << 20);
            uint64_t copied = 0;
            DWORD read = 0, written = 0;
            ok = true;
            while (ok &&
                   ::ReadFile(in.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) &&
                   read > 0) {
                ok = !(stopped && stopped()) &&
                     ::WriteFile(out.Get(), buffer.data(), read, &written, nullptr) && written == read;
                copied += read;
            }
            ok = ok && copied == stamp.Size && ::SetFileTime(out.Get(), nullptr, nullptr, &stamp.WriteTime);
        }
    }
    if (!ok) {
        DeleteOwnFile(spare_);
        return false;
    }
    // Restored, it is the archive again, read-only or hidden as it was.
    const DWORD attributes = ::GetFileAttributesW(source.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) ::SetFileAttributesW(target.c_str(), attributes);
    return true;
}

TSpareName::~TSpareName() {
    if (!spare_.empty() && DeleteOwnFile(spare_)) record_.Drop(spare_);
}

bool TSpareName::Restore() {
    if (spare_.empty() ||
        !::MoveFileExW(platform::SjisToWide(spare_).c_str(), platform::SjisToWide(path_).c_str(), 0))
        return false;
    record_.Drop(spare_);
    spare_.clear();
    return true;
}

std::string TSpareName::Keep() {
    std::string kept;
    kept.swap(spare_);
    if (!kept.empty()) record_.Drop(kept);
    return kept;
}

TStaleSpares RemoveStaleSpares(TWorkRecord& record) {
    TStaleSpares result;
    if (record.File().empty() || !Exists(record.File())) return result;
    for (const TWorkRecord::TEntry& e : record.Entries()) {
        if (e.Kind != TWorkRecord::kSpare) continue;
        BY_HANDLE_FILE_INFORMATION info{};
        const bool ours = FileIdentity(platform::SjisToWide(e.Path), info) &&
                          !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                          info.dwVolumeSerialNumber == e.VolumeSerial && FileIndexOf(info) == e.FileIndex;
        if (ours) {
            // Its bytes are safe elsewhere: the archive is in its place as it was, or another name holds
            // this very file (the recycle bin took the archive's name, which the link shares).
            const bool safe = ReadFileStamp(e.Archive) == e.ArchiveStamp || SameFile(e.Archive, e.Path) ||
                              info.nNumberOfLinks >= 2;
            if (!safe)
                result.Kept.push_back(e.Path);
            else if (DeleteOwnFile(e.Path))
                result.Removed.push_back(e.Path);
            else
                continue;  // tried again by a later run
        }
        record.Drop(e.Path);
    }
    return result;
}

}  // namespace velmor
