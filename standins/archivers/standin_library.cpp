// Stand-in archiver libraries: real ZIP, tar and gzip data, tagged ZIP containers for the formats nothing
// here can decode, the command dialects, progress through "wm_arcextract", the member-enumeration procedure,
// and the script and call log that tests use. Extraction never writes outside its destination folder.
#include "standin_library.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "archive_formats.h"
#include "command_line.h"
#include "platform/handle.h"
#include "platform/sjis.h"
#include "script.h"

namespace standin {

namespace {

constexpr int kErrFileCrc = 0x800C;
constexpr int kErrFileOpen = 0x800D;
constexpr int kErrNotExist = 0x800F;
constexpr int kErrMethod = 0x8009;
constexpr int kErrCannotWrite = 0x8013;
constexpr int kErrNotArcFile = 0x8019;
constexpr int kErrCommandName = 0x801C;
constexpr int kErrNotSupport = 0x8023;
constexpr int kErrNotFindArcFile = 0x8029;
constexpr int kErrResponseRead = 0x802A;

// What a self-extracting file made by these libraries starts with.
constexpr std::string_view kSfxStub = "MZ VELMOR stand-in self-extracting stub\r\n\x1a";

enum class Family { Zip, Tagged, Tar };

struct LibraryInfo {
    const char* file;
    const char* prefix;   // of the member entries
    const char* command;  // the main command entry
    Family family;
    const char* tag;
    Dialect dialect;
};

const LibraryInfo kLibraries[] = {
    {"UNLHA32.DLL", "Unlha", "Unlha", Family::Tagged, "LHA", Dialect::Lha},
    {"UNZIP32.DLL", "UnZip", "UnZip", Family::Zip, "", Dialect::UnZip},
    {"ZIP32J.DLL", "UnZip", "Zip", Family::Zip, "", Dialect::Zip},
    {"LMZIP32.DLL", "Unzip", "Unzip", Family::Zip, "", Dialect::UnZip},
    {"CAB32.DLL", "Cab", "Cab", Family::Tagged, "CAB", Dialect::Cab},
    {"UNARJ32J.DLL", "Unarj", "Unarj", Family::Tagged, "ARJ", Dialect::Lha},
    {"TAR32.DLL", "Tar", "Tar", Family::Tar, "", Dialect::Tar},
    {"UNRAR32.DLL", "Unrar", "Unrar", Family::Tagged, "RAR", Dialect::Rar},
    {"BGA32.DLL", "Bga", "Bga", Family::Tagged, "BGA", Dialect::Bga},
    {"YYZ32.DLL", "Yz1", "Yz1", Family::Tagged, "YZ1", Dialect::Yz1},
    {"YZ1.DLL", "Yz1", "Yz1", Family::Tagged, "YZ1", Dialect::Yz1},
    {"7-zip32.dll", "SevenZip", "SevenZip", Family::Tagged, "7Z", Dialect::SevenZip},
};

const LibraryInfo& Info(int lib) { return kLibraries[lib]; }

std::string EntryName(int lib, const char* suffix) {
    const LibraryInfo& li = Info(lib);
    if (li.family == Family::Zip && std::string_view(suffix) == "GetArcOriginalSize")
        suffix = "GetOriginalSize";
    return std::string(li.prefix) + suffix;
}

struct OpenArc {
    Archive archive;
    std::vector<size_t> order;  // members the current find matched
    size_t next = 0;
    long long current = -1;  // index of the member last found
    std::string password;
};

// Per-DLL state.
std::mutex g_mutex;
std::set<OpenArc*> g_open;
HWND g_owner = nullptr;
BOOL g_background = FALSE;
TArcEnumMembersProc g_enumProc = nullptr;
std::string g_defaultPassword;
size_t g_dialogCalls = 0;

std::string Hex(uintptr_t v) {
    char buf[32];
    std::snprintf(buf, sizeof(buf), "0x%llx", static_cast<unsigned long long>(v));
    return v ? buf : "0";
}
std::string WndArg(HWND w) { return "wnd=" + Hex(reinterpret_cast<uintptr_t>(w)); }

std::wstring Wide(std::string_view s) { return platform::SjisToWide(s); }

bool ReadFileBytes(const std::string& path, std::string& out) { return ReadWholeFile(Wide(path), out); }
bool WriteFileBytes(const std::wstring& path, std::string_view data) { return WriteWholeFile(path, data); }

FILETIME UnixToFileTime(int64_t t) {
    ULARGE_INTEGER u{};
    u.QuadPart = static_cast<ULONGLONG>(t + 11644473600LL) * 10000000ULL;
    return FILETIME{u.LowPart, u.HighPart};
}
int64_t FileTimeToUnix(const FILETIME& ft) {
    ULARGE_INTEGER u{};
    u.LowPart = ft.dwLowDateTime;
    u.HighPart = ft.dwHighDateTime;
    return static_cast<int64_t>(u.QuadPart / 10000000ULL) - 11644473600LL;
}
int64_t MemberTime(const ArchiveMember& m) {
    if (m.unixTime >= 0) return m.unixTime;
    return m.dosDate ? DosToUnixTime(m.dosDate, m.dosTime) : -1;
}

Archive ScriptedArchive(const Script& script) {
    Archive a;
    for (const ScriptedMember& s : script.members) {
        ArchiveMember m;
        m.name = s.name;
        m.size = s.size;
        m.compressedSize = s.compressedSize;
        m.unixTime = s.unixTime;
        UnixTimeToDos(s.unixTime, m.dosDate, m.dosTime);
        m.isDir = !m.name.empty() && (m.name.back() == '/' || platform::SjisEndsWithChar(m.name, '\\'));
        a.members.push_back(std::move(m));
    }
    return a;
}

// Loads an archive of this library's family. Returns 0 or a result code.
int LoadArchive(int lib, const std::string& path, const Script& script, Archive& out,
                bool* gzipped = nullptr) {
    if (!script.members.empty()) {
        out = ScriptedArchive(script);
        return 0;
    }
    std::string bytes;
    if (!ReadFileBytes(path, bytes)) return kErrNotFindArcFile;
    const LibraryInfo& li = Info(lib);
    if (li.family == Family::Tar) {
        if (bytes.size() >= 3 && bytes.compare(0, 3, "BZh") == 0) return kErrMethod;  // no bzip2 decoder here
        if (IsGzip(bytes)) {
            std::string plain;
            if (!GzipDecompress(bytes, plain)) return kErrNotArcFile;
            if (gzipped) *gzipped = true;
            if (!LooksLikeTar(plain)) {  // a lone gzip stream is one member named after the file
                std::string name = path.substr(platform::SjisFindLast(path, '\\') + 1);
                if (name.size() > 3 && _stricmp(name.c_str() + name.size() - 3, ".gz") == 0)
                    name.resize(name.size() - 3);
                ArchiveMember m;
                m.name = name;
                m.data = plain;
                m.size = plain.size();
                m.compressedSize = bytes.size();
                m.crc = Crc32(plain);
                out = Archive{};
                out.members.push_back(std::move(m));
                return 0;
            }
            bytes = std::move(plain);
        }
        return LooksLikeTar(bytes) && ReadTar(bytes, out) ? 0 : kErrNotArcFile;
    }
    if (!ReadZip(bytes, out)) return kErrNotArcFile;
    if (li.family == Family::Tagged && ZipTag(out) != li.tag) return kErrNotArcFile;
    return 0;
}

bool SaveArchive(int lib, const std::string& path, Archive archive, bool gzip) {
    const LibraryInfo& li = Info(lib);
    std::string bytes;
    if (li.family == Family::Tar) {
        bytes = WriteTar(archive);
        if (gzip) bytes = GzipCompress(bytes);
    } else {
        if (li.family == Family::Tagged) archive.comment = std::string(kTagPrefix) + li.tag;
        bytes = WriteZip(archive);
    }
    return WriteFileBytes(Wide(path), bytes);
}

// A member path that would land outside the destination: a drive, a rooted path or a ".." component.
bool IsUnsafeName(std::string_view name) {
    if (name.size() >= 2 && name[1] == ':') return true;
    if (!name.empty() && (name[0] == '\\' || name[0] == '/')) return true;
    size_t start = 0;
    for (size_t i = 0; i <= name.size();) {
        bool sep = i == name.size() || (name[i] == '\\' || name[i] == '/');
        if (sep) {
            std::string_view part = name.substr(start, i - start);
            if (part == "..") return true;
            start = i + 1;
            ++i;
        } else {
            i += platform::SjisCharLength(name, i);
        }
    }
    return false;
}

bool IsAbsolute(std::string_view p) {
    return (p.size() >= 2 && p[1] == ':') || (!p.empty() && (p[0] == '\\' || p[0] == '/'));
}

std::string ToBackslashes(std::string_view name) {
    std::string out;
    for (size_t i = 0; i < name.size();) {
        size_t n = platform::SjisCharLength(name, i);
        out.append(name.substr(i, n));
        if (n == 1 && out.back() == '/') out.back() = '\\';
        i += n;
    }
    return out;
}

std::string LastComponent(std::string_view path) {
    std::string p = ToBackslashes(path);
    while (platform::SjisEndsWithChar(p, '\\')) p.pop_back();
    size_t at = platform::SjisFindLast(p, '\\');
    return at == std::string::npos ? p : p.substr(at + 1);
}

std::string JoinPath(std::string folder, std::string_view name) {
    if (!folder.empty() && !platform::SjisEndsWithChar(folder, '\\')) folder += '\\';
    return folder + std::string(name);
}

std::string CurrentFolder() {
    wchar_t buf[MAX_PATH * 2];
    DWORD n = GetCurrentDirectoryW(MAX_PATH * 2, buf);
    return platform::WideToSjis(std::wstring_view(buf, n));
}

void CreateFolders(const std::string& folder) {
    std::string path;
    for (size_t i = 0; i < folder.size();) {
        size_t n = platform::SjisCharLength(folder, i);
        if (n == 1 && folder[i] == '\\' && !path.empty() && path.back() != ':')
            CreateDirectoryW(Wide(path).c_str(), nullptr);
        path.append(folder, i, n);
        i += n;
    }
    if (!path.empty()) CreateDirectoryW(Wide(path).c_str(), nullptr);
}

class Output {
public:
    Output(LPSTR buf, DWORD size) : buf_(buf), size_(size) {}
    ~Output() {
        if (!buf_ || size_ == 0) return;
        size_t n = text_.size() < size_ - 1 ? text_.size() : size_ - 1;
        memcpy(buf_, text_.data(), n);
        buf_[n] = '\0';
    }
    void Line(std::string_view s) { text_.append(s).append("\r\n"); }

private:
    LPSTR buf_;
    DWORD size_;
    std::string text_;
};

class Progress {
public:
    explicit Progress(const Script& script) : on_(script.progress && g_owner != nullptr) {
        msg_ = RegisterWindowMessageA(kArcExtractMessageName);
    }
    // Sends one report; true when the owner asks to stop.
    bool Report(UINT state, uint64_t fileSize, uint64_t written, std::string_view source,
                std::string_view dest) {
        if (!on_) return false;
        EXTRACTINGINFOEX info{};
        info.FileSize = static_cast<uint32_t>(fileSize);
        info.WriteSize = static_cast<uint32_t>(written);
        CopyName(info.SourceFileName, source);
        CopyName(info.DestFileName, dest);
        return SendMessageA(g_owner, msg_, state, reinterpret_cast<LPARAM>(&info)) != 0;
    }

    static void CopyName(char (&dst)[kMemberNameSize], std::string_view src) {
        size_t n = 0;  // cut at a character boundary, leave room for the NUL
        while (n < src.size() && n + platform::SjisCharLength(src, n) < kMemberNameSize)
            n += platform::SjisCharLength(src, n);
        memcpy(dst, src.data(), n);
        dst[n] = '\0';
    }

private:
    bool on_;
    UINT msg_ = 0;
};

// Calls the enumeration procedure; true when it answered 0 (stop).
bool EnumStops(const ArchiveMember& m) {
    if (!g_enumProc) return false;
    TEnumMemberInfo64 info{};
    info.Size = kEnumMemberInfoSize;
    Progress::CopyName(info.FileName, m.name);
    info.OriginalSize64 = m.size;
    info.CompressedSize64 = m.compressedSize;
    int64_t t = MemberTime(m);
    if (t >= 0) info.WriteTime = UnixToFileTime(t);
    info.Attributes = m.isDir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    return g_enumProc(&info) == 0;
}

bool Selected(const ParsedCommand& c, const std::string& name) {
    for (const std::string& x : c.excludes)
        if (MatchMember(x, name, c.zipClasses)) return false;
    if (c.names.empty()) return true;
    for (const std::string& p : c.names)
        if (MatchMember(p, name, c.zipClasses)) return true;
    return false;
}

bool NeedsPassword(int lib, const Script& script, const std::string& given) {
    return Info(lib).dialect == Dialect::Yz1 && script.password && given != *script.password;
}

int Extract(int lib, const ParsedCommand& c, const Script& script, Output& out) {
    Archive archive;
    int rc = LoadArchive(lib, c.archive, script, archive);
    if (rc) {
        out.Line("cannot open the archive: " + c.archive);
        return rc;
    }
    if (NeedsPassword(lib, script, g_defaultPassword)) return ERROR_ARC_PASSWORD_FILE;
    bool writing = c.op == Operation::Extract;
    std::string dest = c.folder.empty() ? CurrentFolder() : c.folder;
    Progress progress(script);
    int result = 0;
    if (progress.Report(ARCEXTRACT_BEGIN, 0, 0, c.archive, dest)) return ERROR_ARC_USER_CANCEL;
    for (const ArchiveMember& m : archive.members) {
        if (!Selected(c, m.name)) continue;
        if (script.delayMs > 0) Sleep(static_cast<DWORD>(script.delayMs));
        if (c.op == Operation::List) {
            char line[64];
            std::snprintf(line, sizeof(line), "%10llu %10llu ", static_cast<unsigned long long>(m.size),
                          static_cast<unsigned long long>(m.compressedSize));
            out.Line(line + m.name);
            continue;
        }
        if (writing && EnumStops(m)) return ERROR_ARC_USER_CANCEL;
        if (writing && !script.trustNames && IsUnsafeName(m.name)) {
            out.Line("skipped, the path leaves the output folder: " + m.name);
            result = kErrCannotWrite;
            continue;
        }
        std::string rel = c.junkPaths ? LastComponent(m.name) : ToBackslashes(m.name);
        while (platform::SjisEndsWithChar(rel, '\\')) rel.pop_back();
        // A library that trusts its names writes an absolute one where it points.
        const bool absolute = script.trustNames && !c.junkPaths && IsAbsolute(rel);
        std::string target = absolute ? rel : JoinPath(dest, rel);
        if (progress.Report(ARCEXTRACT_INPROCESS, m.size, 0, m.name, target)) return ERROR_ARC_USER_CANCEL;
        // A member that went through ends with a report of its whole size: a progress bar reaches 100 %.
        auto done = [&] { return progress.Report(ARCEXTRACT_INPROCESS, m.size, m.size, m.name, target); };
        bool scripted = !script.members.empty();
        if (!scripted && !m.isDir && !m.crcOk) {
            out.Line("CRC error: " + m.name);
            result = kErrFileCrc;
            continue;
        }
        if (!writing) {
            out.Line("ok: " + m.name);
            if (done()) return ERROR_ARC_USER_CANCEL;
            continue;
        }
        if (!script.write) {  // walk and report only: measures the caller, not the disk
            out.Line("extracted: " + rel);
            if (done()) return ERROR_ARC_USER_CANCEL;
            continue;
        }
        if (m.isDir) {
            if (!c.junkPaths) CreateFolders(target);
            if (done()) return ERROR_ARC_USER_CANCEL;
            continue;
        }
        if (rel.empty()) continue;
        std::wstring wtarget = Wide(target);
        WIN32_FILE_ATTRIBUTE_DATA existing{};
        if (GetFileAttributesExW(wtarget.c_str(), GetFileExInfoStandard, &existing)) {
            bool skip = c.overwrite == Overwrite::Never ||
                        (c.overwrite == Overwrite::Newer &&
                         FileTimeToUnix(existing.ftLastWriteTime) >= MemberTime(m));
            if (skip) {
                out.Line("exists, skipped: " + rel);
                continue;
            }
            if (c.overwrite == Overwrite::Rename) {
                for (int k = 1;; ++k) {
                    std::string candidate = target + "_" + std::to_string(k);
                    if (GetFileAttributesW(Wide(candidate).c_str()) == INVALID_FILE_ATTRIBUTES) {
                        target = candidate;
                        wtarget = Wide(target);
                        break;
                    }
                }
            }
        }
        size_t sep = platform::SjisFindLast(target, '\\');
        if (sep != std::string::npos) CreateFolders(target.substr(0, sep));
        if (!WriteFileBytes(wtarget, m.data)) {
            out.Line("cannot write: " + target);
            result = kErrCannotWrite;
            continue;
        }
        int64_t t = MemberTime(m);
        if (t >= 0) {
            platform::UniqueFile f(
                CreateFileW(wtarget.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            FILETIME ft = UnixToFileTime(t);
            if (f) SetFileTime(f.Get(), nullptr, nullptr, &ft);
        }
        out.Line("extracted: " + rel);
        if (done()) return ERROR_ARC_USER_CANCEL;
    }
    progress.Report(ARCEXTRACT_END, 0, 0, c.archive, dest);
    return result;
}

bool HasWildcard(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

struct PackFile {
    std::string path;  // on disk
    std::string name;  // in the archive
    bool isDir;
};

std::string MemberNameFor(const std::string& base, const std::string& path, bool junk) {
    std::string rel = path;
    std::string prefix = JoinPath(base, "");
    if (!base.empty() && path.size() > prefix.size() &&
        _strnicmp(path.c_str(), prefix.c_str(), prefix.size()) == 0)
        rel = path.substr(prefix.size());
    else if (rel.size() >= 2 && rel[1] == ':')
        rel = rel.substr(2);
    while (!rel.empty() && rel[0] == '\\') rel.erase(0, 1);
    if (junk) rel = LastComponent(rel);
    std::string out;
    for (size_t i = 0; i < rel.size();) {
        size_t n = platform::SjisCharLength(rel, i);
        out.append(rel, i, n);
        if (n == 1 && out.back() == '\\') out.back() = '/';
        i += n;
    }
    return out;
}

void CollectFolder(const std::string& dir, const std::string& pattern, bool recurse,
                   std::vector<PackFile>& out) {
    WIN32_FIND_DATAW fd{};
    platform::UniqueFind find(FindFirstFileW(Wide(JoinPath(dir, "*")).c_str(), &fd));
    if (!find) return;
    std::vector<std::string> subdirs;
    do {
        std::string name = platform::WideToSjis(fd.cFileName);
        if (name == "." || name == "..") continue;
        bool isDir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isDir)
            subdirs.push_back(name);
        else if (MatchMember(pattern, name, false))
            out.push_back({JoinPath(dir, name), {}, false});
    } while (FindNextFileW(find.Get(), &fd));
    if (!recurse) return;
    for (const std::string& s : subdirs) {
        out.push_back({JoinPath(dir, s), {}, true});
        CollectFolder(JoinPath(dir, s), pattern, true, out);
    }
}

std::vector<PackFile> CollectFiles(const ParsedCommand& c, Dialect d, const std::string& base) {
    std::vector<PackFile> files;
    for (std::string pattern : c.names) {
        if (d == Dialect::Zip) pattern = UnescapeZipName(pattern);
        pattern = ToBackslashes(pattern);
        std::string full = IsAbsolute(pattern) ? pattern : JoinPath(base, pattern);
        std::string last = LastComponent(full);
        if (HasWildcard(last)) {
            size_t at = platform::SjisFindLast(full, '\\');
            CollectFolder(at == std::string::npos ? base : full.substr(0, at), last, c.recurse, files);
            continue;
        }
        while (platform::SjisEndsWithChar(full, '\\')) full.pop_back();
        DWORD attrs = GetFileAttributesW(Wide(full).c_str());
        if (attrs == INVALID_FILE_ATTRIBUTES) continue;
        if (attrs & FILE_ATTRIBUTE_DIRECTORY) {
            files.push_back({full, {}, true});
            if (c.recurse) CollectFolder(full, "*", true, files);
        } else {
            files.push_back({full, {}, false});
        }
    }
    for (PackFile& f : files) f.name = MemberNameFor(base, f.path, c.junkPaths) + (f.isDir ? "/" : "");
    return files;
}

bool SameName(const std::string& a, const std::string& b) { return ToBackslashes(a) == ToBackslashes(b); }

int Pack(int lib, const ParsedCommand& c, const Script& script, Output& out) {
    const LibraryInfo& li = Info(lib);
    std::string base = c.folder.empty() ? CurrentFolder() : c.folder;
    while (platform::SjisEndsWithChar(base, '\\') && base.size() > 3) base.pop_back();
    Archive archive;
    bool gzip = c.gzip;
    bool exists = GetFileAttributesW(Wide(c.archive).c_str()) != INVALID_FILE_ATTRIBUTES;
    if (exists && li.family != Family::Tar) {
        int rc = LoadArchive(lib, c.archive, Script{}, archive);
        if (rc) return rc;
    }
    if (li.family == Family::Tar && c.bzip2) return kErrMethod;
    std::vector<PackFile> files = CollectFiles(c, li.dialect, base);
    if (files.empty()) {
        out.Line("nothing to pack");
        return kErrNotExist;
    }
    Progress progress(script);
    if (progress.Report(ARCEXTRACT_BEGIN, 0, 0, c.archive, c.archive)) return ERROR_ARC_USER_CANCEL;
    for (const PackFile& f : files) {
        if (script.delayMs > 0) Sleep(static_cast<DWORD>(script.delayMs));
        ArchiveMember m;
        m.name = f.name;
        m.isDir = f.isDir;
        m.method = c.store ? kMethodStored : kMethodDeflate;
        WIN32_FILE_ATTRIBUTE_DATA attrs{};
        if (GetFileAttributesExW(Wide(f.path).c_str(), GetFileExInfoStandard, &attrs))
            m.unixTime = FileTimeToUnix(attrs.ftLastWriteTime);
        if (!f.isDir && !ReadFileBytes(f.path, m.data)) {
            out.Line("cannot read: " + f.path);
            return kErrFileOpen;
        }
        m.size = m.data.size();
        const uint64_t size = m.size;
        UnixTimeToDos(m.unixTime, m.dosDate, m.dosTime);
        if (progress.Report(ARCEXTRACT_INPROCESS, m.size, 0, f.path, m.name)) return ERROR_ARC_USER_CANCEL;
        auto same = std::find_if(archive.members.begin(), archive.members.end(),
                                 [&](const ArchiveMember& a) { return SameName(a.name, m.name); });
        if (same == archive.members.end()) {
            if (c.op == Operation::Freshen) continue;
            archive.members.push_back(std::move(m));
        } else {
            if ((c.updateOnly || c.op == Operation::Freshen) && MemberTime(*same) >= m.unixTime) continue;
            *same = std::move(m);
        }
        out.Line("added: " + f.name);
        if (progress.Report(ARCEXTRACT_INPROCESS, size, size, f.path, f.name)) return ERROR_ARC_USER_CANCEL;
    }
    for (ArchiveMember& m : archive.members)
        if (m.method == kMethodDeflate && c.store) m.method = kMethodStored;
    if (!SaveArchive(lib, c.archive, std::move(archive), gzip)) return kErrCannotWrite;
    progress.Report(ARCEXTRACT_END, 0, 0, c.archive, c.archive);
    return 0;
}

int Delete(int lib, const ParsedCommand& c, Output& out) {
    Archive archive;
    int rc = LoadArchive(lib, c.archive, Script{}, archive);
    if (rc) return rc;
    size_t before = archive.members.size();
    std::erase_if(archive.members,
                  [&](const ArchiveMember& m) { return !c.names.empty() && Selected(c, m.name); });
    out.Line("deleted: " + std::to_string(before - archive.members.size()));
    return SaveArchive(lib, c.archive, std::move(archive), false) ? 0 : kErrCannotWrite;
}

int MakeSfx(int lib, const ParsedCommand& c, Output& out) {
    Archive archive;
    int rc = LoadArchive(lib, c.archive, Script{}, archive);
    if (rc) return rc;
    std::string bytes;
    ReadFileBytes(c.archive, bytes);
    std::string name = LastComponent(c.archive);
    size_t dot = platform::SjisFindLast(name, '.');
    if (dot != std::string::npos) name.resize(dot);
    std::string folder = c.folder;
    if (folder.empty()) {
        size_t at = platform::SjisFindLast(c.archive, '\\');
        folder = at == std::string::npos ? CurrentFolder() : c.archive.substr(0, at);
    }
    std::string exe = JoinPath(folder, name + ".exe");
    if (!WriteFileBytes(Wide(exe), std::string(kSfxStub) + bytes)) return kErrCannotWrite;
    out.Line("made: " + exe);
    return 0;
}

int AdjustSfx(const ParsedCommand& c, Output& out) {
    std::string bytes;
    if (!ReadFileBytes(c.sfxPath, bytes)) return kErrNotFindArcFile;
    if (!AdjustZipOffsets(bytes)) return kErrNotArcFile;
    if (!WriteFileBytes(Wide(c.sfxPath), bytes)) return kErrCannotWrite;
    out.Line("adjusted: " + c.sfxPath);
    return 0;
}

int RunCommand(int lib, bool zipEntry, const std::string& line, const Script& script, Output& out) {
    Dialect d = zipEntry ? Dialect::Zip : Info(lib).dialect;
    ParsedCommand c = ParseCommand(d, line);
    if (!c.error.empty()) {
        out.Line(c.error);
        return kErrResponseRead;
    }
    if (c.op != Operation::AdjustSfx && c.archive.empty()) {
        out.Line("no archive name");
        return kErrNotFindArcFile;
    }
    switch (c.op) {
        case Operation::Extract:
        case Operation::Test:
        case Operation::List:
            return Extract(lib, c, script, out);
        case Operation::Add:
        case Operation::Freshen:
            return Pack(lib, c, script, out);
        case Operation::Delete:
            return Delete(lib, c, out);
        case Operation::MakeSfx:
            return MakeSfx(lib, c, out);
        case Operation::AdjustSfx:
            return AdjustSfx(c, out);
        case Operation::None:
            break;
    }
    out.Line("unknown command");
    return kErrCommandName;
}

OpenArc* Find(HARC arc) {
    std::lock_guard lock(g_mutex);
    OpenArc* p = static_cast<OpenArc*>(arc);
    return g_open.count(p) ? p : nullptr;
}

int FillRecord(OpenArc& a, TArchiveMemberInfo* info) {
    if (a.next >= a.order.size()) return -1;
    a.current = static_cast<long long>(a.order[a.next++]);
    const ArchiveMember& m = a.archive.members[static_cast<size_t>(a.current)];
    memset(info, 0, kMemberRecordLibrarySize);
    info->OriginalSize = static_cast<uint32_t>(m.size);
    info->CompressedSize = static_cast<uint32_t>(m.compressedSize);
    info->Crc = m.crc;
    info->Ratio = static_cast<uint16_t>(m.size ? m.compressedSize * 1000 / m.size : 0);
    info->DosDate = m.dosDate;
    info->DosTime = m.dosTime;
    Progress::CopyName(info->FileName, m.name);
    memcpy(info->Attribute, m.isDir ? "d----" : "----a", 6);
    memcpy(info->Method, m.method == kMethodStored ? "stored" : "deflate", m.method == kMethodStored ? 7 : 8);
    return 0;
}

}  // namespace

int Command(int lib, bool zipEntry, HWND wnd, LPCSTR cmdLine, LPSTR output, DWORD size) {
    std::string line = cmdLine ? cmdLine : "";
    Script script = LoadScript(Info(lib).file);
    int rc = 0;
    {
        Output out(output, size);
        if (script.commandResult)
            rc = *script.commandResult;
        else
            rc = RunCommand(lib, zipEntry, line, script, out);
    }
    LogCall(
        Info(lib).file, zipEntry ? "Zip" : Info(lib).command,
        WndArg(wnd) + " size=" + std::to_string(size) + " out=" + Hex(reinterpret_cast<uintptr_t>(output)),
        line, rc);
    return rc;
}

HARC OpenArchive(int lib, HWND wnd, LPCSTR fileName, DWORD mode) {
    std::string path = fileName ? fileName : "";
    Script script = LoadScript(Info(lib).file);
    OpenArc* result = nullptr;
    Archive archive;
    if (!script.openFail && LoadArchive(lib, path, script, archive) == 0) {
        result = new OpenArc{std::move(archive), {}, 0, -1, {}};
        std::lock_guard lock(g_mutex);
        g_open.insert(result);
    }
    LogCall(Info(lib).file, EntryName(lib, "OpenArchive"),
            WndArg(wnd) + " mode=" + Hex(mode) + " path=" + path, "", result ? 1 : 0);
    return result;
}

int CloseArchive(int lib, HARC arc) {
    int rc = -1;
    {
        std::lock_guard lock(g_mutex);
        OpenArc* p = static_cast<OpenArc*>(arc);
        if (g_open.erase(p)) {
            delete p;
            rc = 0;
        }
    }
    LogCall(Info(lib).file, EntryName(lib, "CloseArchive"), "arc=" + Hex(reinterpret_cast<uintptr_t>(arc)),
            "", rc);
    return rc;
}

int FindFirst(int lib, HARC arc, LPCSTR wildName, TArchiveMemberInfo* info) {
    std::string wild = wildName ? wildName : "*";
    int rc = ERROR_ARC_FIRST + 0x21;  // archive not opened
    if (OpenArc* a = Find(arc)) {
        Script script = LoadScript(Info(lib).file);
        if (NeedsPassword(lib, script, a->password.empty() ? g_defaultPassword : a->password)) {
            rc = ERROR_ARC_PASSWORD_FILE;
        } else {
            a->order.clear();
            a->next = 0;
            for (size_t i = 0; i < a->archive.members.size(); ++i)
                if (wild.empty() || MatchMember(wild, a->archive.members[i].name, false))
                    a->order.push_back(i);
            rc = info ? FillRecord(*a, info) : -1;
        }
    }
    LogCall(Info(lib).file, EntryName(lib, "FindFirst"), "wild=" + wild, "", rc);
    return rc;
}

int FindNext(int lib, HARC arc, TArchiveMemberInfo* info) {
    int rc = ERROR_ARC_FIRST + 0x21;
    if (OpenArc* a = Find(arc)) rc = info ? FillRecord(*a, info) : -1;
    LogCall(Info(lib).file, EntryName(lib, "FindNext"), "", "", rc);
    return rc;
}

DWORD GetArcOriginalSize(int lib, HARC arc) {
    uint64_t total = 0;
    if (OpenArc* a = Find(arc))
        for (const ArchiveMember& m : a->archive.members) total += m.size;
    LogCall(Info(lib).file, EntryName(lib, "GetArcOriginalSize"), "", "", static_cast<DWORD>(total));
    return static_cast<DWORD>(total);
}

BOOL SetBackGroundMode(int lib, BOOL mode) {
    g_background = mode;
    LogCall(Info(lib).file, EntryName(lib, "SetBackGroundMode"), "mode=" + std::to_string(mode), "", TRUE);
    return TRUE;
}

BOOL GetBackGroundMode(int lib) {
    BOOL mode = g_background;
    LogCall(Info(lib).file, EntryName(lib, "GetBackGroundMode"), "", "", mode);
    return mode;
}

BOOL CheckArchive(int lib, LPCSTR fileName, int mode) {
    std::string path = fileName ? fileName : "";
    Script script = LoadScript(Info(lib).file);
    BOOL rc = FALSE;
    if (script.checkResult) {
        rc = *script.checkResult;
    } else {
        Archive archive;
        if (LoadArchive(lib, path, script, archive) == 0) {
            rc = TRUE;
            Progress progress(script);
            for (const ArchiveMember& m : archive.members) {
                if (script.checkDelayMs > 0) Sleep(static_cast<DWORD>(script.checkDelayMs));
                if (progress.Report(ARCEXTRACT_INPROCESS, m.size, m.size, m.name, "")) break;
                if (script.members.empty() && !m.isDir && !m.crcOk) rc = FALSE;
            }
        }
    }
    LogCall(Info(lib).file, EntryName(lib, "CheckArchive"), "mode=" + std::to_string(mode) + " path=" + path,
            "", rc);
    return rc;
}

int ExtractMem(int lib, HWND wnd, LPCSTR cmdLine, LPBYTE, DWORD size, time_t*, LPWORD, LPDWORD written) {
    if (written) *written = 0;
    LogCall(Info(lib).file, EntryName(lib, "ExtractMem"), WndArg(wnd) + " size=" + std::to_string(size),
            cmdLine ? cmdLine : "", kErrNotSupport);
    return kErrNotSupport;
}

int GetArchiveType(int lib, LPCSTR fileName) {
    std::string path = fileName ? fileName : "";
    Script script = LoadScript(Info(lib).file);
    int type = 0;
    std::string bytes;
    if (script.archiveType) {
        type = *script.archiveType;
    } else if (ReadFileBytes(path, bytes)) {
        if (Info(lib).family != Family::Tar) {
            Archive a;
            type = LoadArchive(lib, path, script, a) == 0 ? 1 : 0;
        } else if (bytes.compare(0, 3, "BZh") == 0) {
            type = 7;  // bzip2; whether a tar lies inside cannot be told without a decoder
        } else if (IsGzip(bytes)) {
            std::string plain;
            type = GzipDecompress(bytes, plain) ? (LooksLikeTar(plain) ? 2 : 4) : 0;
        } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1F &&
                   static_cast<unsigned char>(bytes[1]) == 0x9D) {
            type = 3;  // compress (.Z)
        } else if (LooksLikeTar(bytes)) {
            type = 1;
        }
    }
    LogCall(Info(lib).file, EntryName(lib, "GetArchiveType"), "path=" + path, "", type);
    return type;
}

BOOL SetOwnerWindowEx(int lib, HWND wnd, TArcProgressProc proc) {
    g_owner = wnd;
    LogCall(Info(lib).file, EntryName(lib, "SetOwnerWindowEx"),
            WndArg(wnd) + " proc=" + Hex(reinterpret_cast<uintptr_t>(proc)), "", TRUE);
    return TRUE;
}

BOOL KillOwnerWindowEx(int lib, HWND wnd) {
    if (g_owner == wnd) g_owner = nullptr;
    LogCall(Info(lib).file, EntryName(lib, "KillOwnerWindowEx"), WndArg(wnd), "", TRUE);
    return TRUE;
}

BOOL GetTimeEx(int lib, HARC arc, FILETIME* time, TimeKind kind) {
    BOOL rc = FALSE;
    OpenArc* a = Find(arc);
    if (a && time && a->current >= 0 && kind == TimeKind::Write) {
        int64_t t = MemberTime(a->archive.members[static_cast<size_t>(a->current)]);
        if (t >= 0) {
            *time = UnixToFileTime(t);
            rc = TRUE;
        }
    }
    const char* name = kind == TimeKind::Write    ? "GetWriteTimeEx"
                       : kind == TimeKind::Create ? "GetCreateTimeEx"
                                                  : "GetAccessTimeEx";
    LogCall(Info(lib).file, EntryName(lib, name), "", "", rc);
    return rc;
}

BOOL GetSizeEx(int lib, HARC arc, ULARGE_INTEGER* size, bool compressed) {
    BOOL rc = FALSE;
    OpenArc* a = Find(arc);
    if (a && size && a->current >= 0) {
        const ArchiveMember& m = a->archive.members[static_cast<size_t>(a->current)];
        size->QuadPart = compressed ? m.compressedSize : m.size;
        rc = TRUE;
    }
    LogCall(Info(lib).file, EntryName(lib, compressed ? "GetCompressedSizeEx" : "GetOriginalSizeEx"), "", "",
            rc);
    return rc;
}

BOOL SetEnumMembersProc64(int lib, TArcEnumMembersProc proc, DWORD size) {
    g_enumProc = size == kEnumMemberInfoSize ? proc : nullptr;
    LogCall(Info(lib).file, EntryName(lib, "SetEnumMembersProc64"), "size=" + std::to_string(size), "", TRUE);
    return TRUE;
}

BOOL ClearEnumMembersProc64(int lib) {
    g_enumProc = nullptr;
    LogCall(Info(lib).file, EntryName(lib, "ClearEnumMembersProc64"), "", "", TRUE);
    return TRUE;
}

int PasswordDialog(int lib, HWND wnd, LPSTR buffer, DWORD size) {
    Script script = LoadScript(Info(lib).file);
    size_t call = g_dialogCalls++;
    int rc = -1;
    if (call < script.dialogAnswers.size() && script.dialogAnswers[call] && buffer && size > 0) {
        const std::string& answer = *script.dialogAnswers[call];
        size_t n = answer.size() < size - 1 ? answer.size() : size - 1;
        memcpy(buffer, answer.data(), n);
        buffer[n] = '\0';
        rc = 0;
    }
    LogCall(Info(lib).file, EntryName(lib, "PasswordDialog"), WndArg(wnd) + " size=" + std::to_string(size),
            "", rc);
    return rc;
}

BOOL SetDefaultPassword(int lib, HARC arc, LPCSTR password) {
    std::string pw = password ? password : "";
    g_defaultPassword = pw;
    if (OpenArc* a = Find(arc)) a->password = pw;
    LogCall(Info(lib).file, EntryName(lib, "SetDefaultPassword"), "password=" + pw, "", TRUE);
    return TRUE;
}

}  // namespace standin
