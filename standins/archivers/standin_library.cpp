// Stand-in archiver libraries: real ZIP, tar and gzip data, tagged ZIP containers for the formats nothing
// here can decode, the command dialects, progress through "wm_arcextract", the member-enumeration procedure,
// and the script and call log that tests use. Extraction never writes outside its destination folder.
//
// Everything streams: listing reads headers only (the central directory for ZIP), extraction and the test
// inflate each member in chunks, and packing writes a new archive beside the old one, copying the members it
// keeps as they are stored. No exception leaves an entry: running out of memory is answered with the API's
// code for it, and a write that fails for want of space with DISK_SPACE.
#include "standin_library.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive_formats.h"
#include "command_line.h"
#include "platform/handle.h"
#include "platform/sjis.h"
#include "script.h"

namespace standin {

namespace {

constexpr int kErrDiskSpace = 0x8005;
constexpr int kErrMethod = 0x8009;
constexpr int kErrFileCrc = 0x800C;
constexpr int kErrFileOpen = 0x800D;
constexpr int kErrNotExist = 0x800F;
constexpr int kErrCannotWrite = 0x8013;
constexpr int kErrHeaderBroken = 0x8017;
constexpr int kErrNotArcFile = 0x8019;
constexpr int kErrCommandName = 0x801C;
constexpr int kErrEnoughMemory = 0x801E;
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

void FailAllocationIfScripted(const Script& script) {
    if (script.outOfMemory) throw std::bad_alloc();
}

// An archive opened for one call or one enumeration: its bytes and a walk over its members.
struct Opened {
    std::unique_ptr<ByteSource> source;
    std::unique_ptr<MemberWalk> walk;
    std::function<std::unique_ptr<MemberWalk>()> newWalk;  // another walk over the same bytes
    bool scripted = false;
    bool gzipped = false;
    std::string comment;
};

struct OpenArc {
    Opened arc;
    std::string wild;
    ArchiveMember current;  // the member last found
    bool haveCurrent = false;
    uint64_t walkTotal = 0;  // sizes of every member the current find walk passed
    bool totalKnown = false;
    uint64_t total = 0;
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

std::vector<ArchiveMember> ScriptedMembers(const Script& script) {
    std::vector<ArchiveMember> members;
    for (const ScriptedMember& s : script.members) {
        ArchiveMember m;
        m.name = s.name;
        m.size = s.size;
        m.compressedSize = s.compressedSize;
        m.unixTime = s.unixTime;
        m.hasCrc = false;
        UnixTimeToDos(s.unixTime, m.dosDate, m.dosTime);
        m.isDir = !m.name.empty() && (m.name.back() == '/' || platform::SjisEndsWithChar(m.name, '\\'));
        members.push_back(std::move(m));
    }
    return members;
}

std::string GzipMemberName(const std::string& path) {
    std::string name = path.substr(platform::SjisFindLast(path, '\\') + 1);
    if (name.size() > 3 && _stricmp(name.c_str() + name.size() - 3, ".gz") == 0) name.resize(name.size() - 3);
    return name;
}

// The file name of the volume after `path`, as RAR names a set's volumes: "x.part01.rar" -> "x.part02.rar"
// (the digits keep their width), "x.rar" -> "x.r00", "x.r00" -> "x.r01"; empty for any other name.
std::string NextVolumeName(const std::string& path) {
    const size_t cut = platform::SjisFindLast(path, '\\') + 1;  // npos + 1 is 0: no folder
    std::string name = path.substr(cut);
    std::string lower = name;
    for (char& ch : lower)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    // The digits that end at `end` ("." never is a trail byte: what follows it starts a character).
    auto bump = [&](size_t from, size_t end) -> std::string {
        if (from >= end || end - from > 9) return {};
        for (size_t i = from; i < end; ++i)
            if (name[i] < '0' || name[i] > '9') return {};
        std::string digits = std::to_string(std::stoull(name.substr(from, end - from)) + 1);
        if (digits.size() < end - from) digits.insert(0, end - from - digits.size(), '0');
        return path.substr(0, cut) + name.substr(0, from) + digits + name.substr(end);
    };
    const size_t n = lower.size();
    if (n > 4 && lower.compare(n - 4, 4, ".rar") == 0) {
        const size_t part = lower.rfind(".part");
        if (part != std::string::npos && part + 5 < n - 4) {
            std::string next = bump(part + 5, n - 4);
            if (!next.empty()) return next;
        }
        return path.substr(0, cut) + name.substr(0, n - 3) + name[n - 3] + "00";
    }
    const size_t dot = lower.rfind(".r");
    return dot == std::string::npos ? std::string() : bump(dot + 2, n);
}

// The members of a RAR set, volume after volume. Each volume is a tagged container whose comment gives its
// number, its set and whether more follow; a whole archive is a set of one. The next volume is found by its
// name and read only when its content says it is the next of the same set: where it is missing or is
// another, the walk ends damaged and Missing() names it. `onVolume` hears of each volume as it is begun.
class VolumeWalk final : public MemberWalk {
public:
    VolumeWalk(std::string path, ByteSource& first, std::string comment,
               std::function<void(const std::string&)> onVolume)
        : firstPath_(std::move(path)),
          first_(first),
          firstInfo_(ZipVolume(comment)),
          onVolume_(std::move(onVolume)) {
        Rewind();
    }
    bool Rewind() override {
        path_ = firstPath_;
        info_ = firstInfo_;
        later_.reset();
        walk_ = OpenZipWalk(first_);
        begun_ = false;
        damaged_ = !walk_;
        missing_.clear();
        return walk_ != nullptr;
    }
    bool Next(ArchiveMember& m) override {
        if (damaged_) return false;
        if (!begun_) {
            begun_ = true;
            if (onVolume_) onVolume_(path_);
        }
        for (;;) {
            if (walk_->Next(m)) return true;
            if (walk_->Damaged()) return Fail();
            if (info_.number == 0 || info_.last) return false;
            if (!OpenNext()) return Fail();
        }
    }
    std::unique_ptr<Reader> Data() override { return walk_ ? walk_->Data() : nullptr; }
    const std::string& Missing() const { return missing_; }

private:
    bool Fail() {
        damaged_ = true;
        return false;
    }
    bool OpenNext() {
        const std::string next = NextVolumeName(path_);
        missing_ = next.empty() ? path_ : next;
        if (next.empty()) return false;
        std::unique_ptr<ByteSource> src = OpenFileSource(platform::SjisToWide(next));
        if (!src) return false;
        std::string comment;
        std::unique_ptr<MemberWalk> walk = OpenZipWalk(*src, &comment);
        const VolumeInfo v = ZipVolume(comment);
        if (!walk || ZipTag(comment) != "RAR" || v.number != info_.number + 1 || v.set != info_.set)
            return false;
        walk_.reset();
        later_ = std::move(src);
        walk_ = std::move(walk);
        path_ = next;
        info_ = v;
        missing_.clear();
        if (onVolume_) onVolume_(path_);
        return true;
    }

    const std::string firstPath_;
    ByteSource& first_;
    const VolumeInfo firstInfo_;
    std::function<void(const std::string&)> onVolume_;
    std::string path_;
    VolumeInfo info_;
    std::unique_ptr<ByteSource> later_;  // the source of a volume after the first
    std::unique_ptr<MemberWalk> walk_;
    bool begun_ = false;
    std::string missing_;
};

// Opens an archive of this library's family for walking its members. Returns 0 or a result code.
// `onVolume` hears of every archive file the walk begins to read (RAR: each volume of a set).
int OpenForWalk(int lib, const std::string& path, const Script& script, Opened& out,
                std::function<void(const std::string&)> onVolume = {}) {
    if (!script.members.empty()) {
        std::vector<ArchiveMember> members = ScriptedMembers(script);
        out.newWalk = [members] { return ListWalk(members); };
        out.walk = out.newWalk();
        out.scripted = true;
        return 0;
    }
    out.source = OpenFileSource(Wide(path));
    if (!out.source) return kErrNotFindArcFile;
    ByteSource* src = out.source.get();
    const LibraryInfo& li = Info(lib);
    if (li.family == Family::Tar) {
        char head[3];
        if (src->Size() >= 3 && src->ReadAt(0, head, 3) && std::string_view(head, 3) == "BZh")
            return kErrMethod;  // no bzip2 decoder here
        const std::string name = GzipMemberName(path);
        TarKind kind = TarKind::NotTar;
        out.walk = OpenTarWalk(*src, name, &kind);
        if (!out.walk) return kErrNotArcFile;
        out.gzipped = kind != TarKind::Tar;
        out.newWalk = [src, name] { return OpenTarWalk(*src, name); };
        return 0;
    }
    out.walk = OpenZipWalk(*src, &out.comment);
    if (!out.walk) return kErrNotArcFile;
    if (li.family == Family::Tagged && ZipTag(out.comment) != li.tag) return kErrNotArcFile;
    // A damaged central directory is no archive: one pass over the headers, no member data.
    ArchiveMember m;
    while (out.walk->Next(m)) {
    }
    if (out.walk->Damaged()) return kErrNotArcFile;
    out.walk->Rewind();
    out.newWalk = [src] { return OpenZipWalk(*src); };
    if (lib == kUnrar32) {
        // A set's later volumes are read as the walk reaches them.
        const std::string comment = out.comment;
        out.walk = std::make_unique<VolumeWalk>(path, *src, comment, std::move(onVolume));
        out.newWalk = [path, src, comment] {
            return std::unique_ptr<MemberWalk>(std::make_unique<VolumeWalk>(path, *src, comment, nullptr));
        };
    }
    return 0;
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

// The library's text output: kept no longer than the caller's buffer can take.
class Output {
public:
    Output(LPSTR buf, DWORD size) : buf_(buf), size_(size) {}
    ~Output() {
        if (!buf_ || size_ == 0) return;
        size_t n = text_.size() < size_ - 1 ? text_.size() : size_ - 1;
        memcpy(buf_, text_.data(), n);
        buf_[n] = '\0';
    }
    void Line(std::string_view s) {
        if (text_.size() >= size_) return;
        text_.append(s).append("\r\n");
    }

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
    // Sends one report; true when the owner asks to stop. The record's sizes are 32-bit: a member of 4 GiB
    // or more is reported in proportion, so that its bar still runs from 0 to 100 %.
    bool Report(UINT state, uint64_t fileSize, uint64_t written, std::string_view source,
                std::string_view dest) {
        if (!on_) return false;
        percent_ = fileSize ? written * 100 / fileSize : 0;
        const uint64_t scale = fileSize > UINT32_MAX ? fileSize / UINT32_MAX + 1 : 1;
        EXTRACTINGINFOEX info{};
        info.FileSize = static_cast<uint32_t>(fileSize / scale);
        info.WriteSize = static_cast<uint32_t>(written / scale);
        CopyName(info.SourceFileName, source);
        CopyName(info.DestFileName, dest);
        return SendMessageA(g_owner, msg_, state, reinterpret_cast<LPARAM>(&info)) != 0;
    }

    // A report partway through a member, sent when its whole percentage has moved on since the last report:
    // as often as a progress bar shows a change, whatever the member's size. True when asked to stop.
    bool Along(uint64_t fileSize, uint64_t written, std::string_view source, std::string_view dest) {
        if (!on_ || written >= fileSize || written * 100 / fileSize <= percent_) return false;
        return Report(ARCEXTRACT_INPROCESS, fileSize, written, source, dest);
    }

    // The next Along counts from 0 % again (a member without a first report of its own).
    void NewMember() { percent_ = 0; }

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
    uint64_t percent_ = 0;  // of the last report
};

// Calls the enumeration procedure; true when it answered 0 (stop). Its answer goes into the call log.
bool EnumStops(int lib, const ArchiveMember& m) {
    if (!g_enumProc) return false;
    TEnumMemberInfo64 info{};
    info.Size = kEnumMemberInfoSize;
    Progress::CopyName(info.FileName, m.name);
    info.OriginalSize64 = m.size;
    info.CompressedSize64 = m.compressedSize;
    int64_t t = MemberTime(m);
    if (t >= 0) info.WriteTime = UnixToFileTime(t);
    info.Attributes = m.isDir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    const BOOL answer = g_enumProc(&info);
    LogCall(Info(lib).file, "(enumeration procedure)", "member=" + m.name, "", answer);
    return answer == 0;
}

bool Selected(const ParsedCommand& c, const std::string& name) {
    for (const std::string& x : c.excludes)
        if (MatchMember(x, name, c.zipClasses)) return false;
    if (c.names.empty()) return true;
    for (const std::string& p : c.names)
        if (MatchMember(p, name, c.zipClasses)) return true;
    return false;
}

// The scripted hold: waits until the hold file exists, reporting `name` again every 50 ms as a long member
// is. True when the owner asked to stop meanwhile.
bool HoldUntilReleased(const Script& script, Progress& progress, uint64_t size, std::string_view name,
                       std::string_view dest) {
    const std::wstring file = Wide(script.holdFile);
    while (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (progress.Report(ARCEXTRACT_INPROCESS, size, 0, name, dest)) return true;
        Sleep(50);
    }
    return false;
}

// Past the first members, each member waits for the hold file.
bool HoldStops(const Script& script, int& members, Progress& progress, const ArchiveMember& m,
               std::string_view dest) {
    if (script.holdFile.empty() || script.holdAtEnd || members++ < script.holdAfter) return false;
    return HoldUntilReleased(script, progress, m.size, m.name, dest);
}

bool NeedsPassword(int lib, const Script& script, const std::string& given) {
    return Info(lib).dialect == Dialect::Yz1 && script.password && given != *script.password;
}

bool DiskFull(DWORD error) { return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL; }

// The result code of a member whose data did not come through whole.
int DataResult(DataStatus s, const ArchiveMember& m) {
    if (s != DataStatus::Unsupported) return kErrFileCrc;
    return (m.flags & 1) ? ERROR_ARC_PASSWORD_FILE : kErrMethod;
}

// A file being made; it goes again unless it is kept, so a failure (or an exception) leaves nothing behind.
class MadeFile {
public:
    explicit MadeFile(std::wstring path) : path_(std::move(path)), file_(path_), opened_(file_.IsOpen()) {}
    ~MadeFile() {
        if (kept_ || !opened_) return;
        file_.Close();
        DeleteFileW(path_.c_str());
    }
    MadeFile(const MadeFile&) = delete;
    MadeFile& operator=(const MadeFile&) = delete;
    FileWriter& File() { return file_; }
    const std::wstring& Path() const { return path_; }
    void Keep() { kept_ = true; }

private:
    std::wstring path_;
    FileWriter file_;
    bool opened_;
    bool kept_ = false;
};

// The result code of a write that failed on `file`.
int WriteFailure(const FileWriter& file) { return DiskFull(file.Error()) ? kErrDiskSpace : kErrCannotWrite; }

// Writes files for one command. The script's "disk-full" budget makes writes past it fail as a full volume
// would.
class MemberWriter {
public:
    explicit MemberWriter(const Script& script) : budget_(script.diskFullAfter) {}

    // Writes the data of the member the walk gave last into `target` (or nothing for a scripted member);
    // 0, or the result code of what failed: the partial file is removed then. `reportChunk` is told the
    // bytes written so far after each chunk and answers true to stop.
    int Write(MemberWalk& walk, const ArchiveMember& m, bool scripted, const std::wstring& target,
              const std::function<bool(uint64_t)>& reportChunk, bool& stopped) {
        MadeFile made(target);  // a member that did not come through whole leaves no file
        FileWriter& file = made.File();
        if (!file.IsOpen()) return WriteFailure(file);
        DataStatus s = DataStatus::Ok;
        bool full = false;
        stopped = false;
        if (!scripted) {
            uint64_t written = 0;
            s = StreamMemberData(walk, m, [&](std::string_view chunk) {
                if (!Put(file, chunk, full)) return false;
                written += chunk.size();
                if (reportChunk(written)) {
                    stopped = true;
                    return false;
                }
                return true;
            });
        }
        const int64_t t = MemberTime(m);
        if (s == DataStatus::Ok && t >= 0) {
            FILETIME ft = UnixToFileTime(t);
            SetFileTime(file.Handle(), nullptr, nullptr, &ft);
        }
        const bool closed = file.Close();
        if (s == DataStatus::Ok && closed) {
            made.Keep();
            return 0;
        }
        if (stopped) return ERROR_ARC_USER_CANCEL;
        if (full || DiskFull(file.Error())) return kErrDiskSpace;
        if (file.Error()) return kErrCannotWrite;
        return DataResult(s, m);
    }

private:
    bool Put(FileWriter& file, std::string_view chunk, bool& full) {
        if (budget_) {
            const size_t fits = static_cast<size_t>(std::min<uint64_t>(*budget_, chunk.size()));
            *budget_ -= fits;
            if (fits < chunk.size()) {
                file.Write(chunk.substr(0, fits));
                full = true;
                return false;
            }
        }
        return file.Write(chunk);
    }
    std::optional<uint64_t> budget_;
};

// The walk ended damaged: where a set's next volume was missing or another, the line says which.
int BrokenWalk(const MemberWalk& walk, const std::string& archive, Output& out) {
    const auto* volumes = dynamic_cast<const VolumeWalk*>(&walk);
    if (volumes && !volumes->Missing().empty()) {
        out.Line("the next volume is missing or not of this set: " + volumes->Missing());
        return kErrNotFindArcFile;
    }
    out.Line("broken header in " + archive);
    return kErrHeaderBroken;
}

std::wstring FullPath(const std::wstring& w) {
    wchar_t buf[MAX_PATH * 4];
    DWORD n = GetFullPathNameW(w.c_str(), MAX_PATH * 4, buf, nullptr);
    return n > 0 && n < MAX_PATH * 4 ? std::wstring(buf, n) : w;
}
std::wstring FullPath(const std::string& path) { return FullPath(Wide(path)); }

// A link member of a tar. A hard link becomes a copy of its target as the destination holds it (extracted
// earlier, or already there); a symbolic link becomes a small file holding its target's name, as on a system
// without links. 0 or a result code, with a line saying why.
int WriteLink(const ArchiveMember& m, const ParsedCommand& c, const Script& script, const std::string& dest,
              const std::wstring& target, Output& out) {
    if (m.link == '2') {
        MadeFile made(target);
        FileWriter& file = made.File();
        if (!file.IsOpen() || !file.Write(m.linkName)) return WriteFailure(file);
        if (const int64_t t = MemberTime(m); t >= 0) {
            FILETIME ft = UnixToFileTime(t);
            SetFileTime(file.Handle(), nullptr, nullptr, &ft);
        }
        if (!file.Close()) return WriteFailure(file);
        made.Keep();
        return 0;
    }
    if (!script.trustNames && (IsUnsafeName(m.linkName) || m.linkName.empty())) {
        out.Line("skipped, the link's target leaves the output folder: " + m.name);
        return kErrCannotWrite;
    }
    std::string rel = c.junkPaths ? LastComponent(m.linkName) : ToBackslashes(m.linkName);
    while (rel.substr(0, 2) == ".\\") rel.erase(0, 2);
    const std::wstring source = Wide(IsAbsolute(rel) ? rel : JoinPath(dest, rel));
    if (_wcsicmp(FullPath(source).c_str(), FullPath(target).c_str()) == 0 ||
        !CopyFileW(source.c_str(), target.c_str(), FALSE)) {
        out.Line("cannot link, the target is not there: " + m.name + " -> " + m.linkName);
        return kErrCannotWrite;
    }
    return 0;
}

int Extract(int lib, const ParsedCommand& c, const Script& script, Output& out) {
    bool writing = c.op == Operation::Extract;
    std::string dest = c.folder.empty() ? CurrentFolder() : c.folder;
    Progress progress(script);
    Opened arc;
    int rc = OpenForWalk(lib, c.archive, script, arc, [&](const std::string& volume) {
        progress.Report(ARCEXTRACT_OPEN, 0, 0, volume, dest);
    });
    if (rc) {
        out.Line("cannot open the archive: " + c.archive);
        return rc;
    }
    if (NeedsPassword(lib, script, g_defaultPassword)) return ERROR_ARC_PASSWORD_FILE;
    MemberWriter writer(script);
    int result = 0;
    int held = 0;
    if (progress.Report(ARCEXTRACT_BEGIN, 0, 0, c.archive, dest)) return ERROR_ARC_USER_CANCEL;
    MemberWalk& walk = *arc.walk;
    ArchiveMember m;
    while (walk.Next(m)) {
        if (!Selected(c, m.name)) continue;
        if (script.delayMs > 0) Sleep(static_cast<DWORD>(script.delayMs));
        if (c.op == Operation::List) {
            char line[64];
            std::snprintf(line, sizeof(line), "%10llu %10llu ", static_cast<unsigned long long>(m.size),
                          static_cast<unsigned long long>(m.compressedSize));
            out.Line(line + m.name);
            continue;
        }
        if (writing && EnumStops(lib, m)) return ERROR_ARC_USER_CANCEL;
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
        if (HoldStops(script, held, progress, m, target)) return ERROR_ARC_USER_CANCEL;
        // A member that went through ends with a report of its whole size: a progress bar reaches 100 %.
        auto done = [&] { return progress.Report(ARCEXTRACT_INPROCESS, m.size, m.size, m.name, target); };
        auto partway = [&](uint64_t written) { return progress.Along(m.size, written, m.name, target); };
        if (!writing) {
            if (!arc.scripted && !m.isDir && !m.link) {
                DataStatus s =
                    StreamMemberData(walk, m, [&, written = uint64_t{0}](std::string_view chunk) mutable {
                        written += chunk.size();
                        return !partway(written);
                    });
                if (s == DataStatus::Stopped) return ERROR_ARC_USER_CANCEL;
                if (s != DataStatus::Ok) {
                    out.Line("CRC error: " + m.name);
                    result = DataResult(s, m);
                    continue;
                }
            }
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
        if (m.link) {
            const int linked = WriteLink(m, c, script, dest, wtarget, out);
            if (linked) {
                result = linked;
                continue;
            }
            out.Line("extracted: " + rel);
            if (done()) return ERROR_ARC_USER_CANCEL;
            continue;
        }
        bool stopped = false;
        const int written = writer.Write(walk, m, arc.scripted, wtarget, partway, stopped);
        if (written == ERROR_ARC_USER_CANCEL || written == kErrDiskSpace) {
            out.Line(written == kErrDiskSpace ? "disk full: " + target : "stopped: " + target);
            return written;
        }
        if (written) {
            out.Line((written == kErrCannotWrite ? "cannot write: " : "CRC error: ") + target);
            result = written;
            continue;
        }
        out.Line("extracted: " + rel);
        if (done()) return ERROR_ARC_USER_CANCEL;
    }
    if (walk.Damaged()) result = BrokenWalk(walk, c.archive, out);
    if (writing && script.holdAtEnd && !script.holdFile.empty() &&
        HoldUntilReleased(script, progress, 0, c.archive, dest))
        return ERROR_ARC_USER_CANCEL;
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

// The new archive is written beside the old one and replaces it only when it is whole: a failure leaves the
// old one as it was.
std::wstring NewArchivePath(const std::string& archive) { return Wide(archive + ".tmp~"); }

// Closes the new archive and puts it in the old one's place; 0 or a result code.
int ReplaceArchive(MadeFile& made, Opened& old, const std::string& archive) {
    if (!made.File().Close()) return WriteFailure(made.File());
    old = Opened{};  // the old archive is let go before the new one takes its place
    if (!MoveFileExW(made.Path().c_str(), Wide(archive).c_str(), MOVEFILE_REPLACE_EXISTING))
        return kErrCannotWrite;
    made.Keep();
    return 0;
}

// One member of a pack: kept as the old archive stores it, or read from a file.
struct Planned {
    bool fromOld = false;
    size_t oldIndex = 0;
    ArchiveMember header;
    std::string path;  // the file on disk
};

// Copies a file into the archive being written, reporting each chunk; 0 or a result code.
int AddFile(const Planned& p, ZipWriter* zip, TarWriter* tar, Progress& progress, const FileWriter& file) {
    const ArchiveMember& m = p.header;
    std::unique_ptr<ByteSource> src;
    if (!m.isDir) {
        src = OpenFileSource(Wide(p.path));
        if (!src) return kErrFileOpen;
    }
    const uint64_t size = src ? src->Size() : 0;
    if (!(zip ? zip->Begin(m, size) : tar->Begin(m, size))) return WriteFailure(file);
    if (src) {
        std::unique_ptr<Reader> in = SourceReader(*src, 0, size);
        std::vector<char> buf(
            static_cast<size_t>(std::min<uint64_t>(kChunkSize, std::max<uint64_t>(size, 1))));
        uint64_t done = 0;
        while (const size_t got = in->Read(buf.data(), buf.size())) {
            const std::string_view chunk(buf.data(), got);
            if (!(zip ? zip->Write(chunk) : tar->Write(chunk))) return WriteFailure(file);
            done += got;
            if (progress.Along(size, done, p.path, m.name)) return ERROR_ARC_USER_CANCEL;
        }
        if (in->Failed()) return kErrFileOpen;
    }
    return (zip ? zip->End() : tar->End()) ? 0 : WriteFailure(file);
}

int Pack(int lib, const ParsedCommand& c, const Script& script, Output& out) {
    const LibraryInfo& li = Info(lib);
    const bool tarFamily = li.family == Family::Tar;
    std::string base = c.folder.empty() ? CurrentFolder() : c.folder;
    while (platform::SjisEndsWithChar(base, '\\') && base.size() > 3) base.pop_back();
    Opened old;
    std::vector<Planned> plan;
    bool exists = GetFileAttributesW(Wide(c.archive).c_str()) != INVALID_FILE_ATTRIBUTES;
    if (exists && !tarFamily) {
        int rc = OpenForWalk(lib, c.archive, Script{}, old);
        if (rc) return rc;
        ArchiveMember m;
        for (size_t i = 0; old.walk->Next(m); ++i) plan.push_back({true, i, std::move(m), {}});
        old.walk->Rewind();
    }
    if (tarFamily && c.bzip2) return kErrMethod;
    std::vector<PackFile> files = CollectFiles(c, li.dialect, base);
    if (files.empty()) {
        out.Line("nothing to pack");
        return kErrNotExist;
    }
    Progress progress(script);
    if (progress.Report(ARCEXTRACT_BEGIN, 0, 0, c.archive, c.archive)) return ERROR_ARC_USER_CANCEL;
    for (const PackFile& f : files) {
        if (script.delayMs > 0) Sleep(static_cast<DWORD>(script.delayMs));
        Planned p;
        p.path = f.path;
        ArchiveMember& m = p.header;
        m.name = f.name;
        m.isDir = f.isDir;
        m.method = c.store ? kMethodStored : kMethodDeflate;
        WIN32_FILE_ATTRIBUTE_DATA attrs{};
        if (GetFileAttributesExW(Wide(f.path).c_str(), GetFileExInfoStandard, &attrs))
            m.unixTime = FileTimeToUnix(attrs.ftLastWriteTime);
        UnixTimeToDos(m.unixTime, m.dosDate, m.dosTime);
        auto same = std::find_if(plan.begin(), plan.end(),
                                 [&](const Planned& q) { return SameName(q.header.name, m.name); });
        if (same == plan.end()) {
            if (c.op == Operation::Freshen) continue;
            plan.push_back(std::move(p));
        } else {
            if ((c.updateOnly || c.op == Operation::Freshen) && MemberTime(same->header) >= m.unixTime)
                continue;
            *same = std::move(p);
        }
    }

    int rc = 0;
    {
        MadeFile made(NewArchivePath(c.archive));
        FileWriter& file = made.File();
        if (!file.IsOpen()) return WriteFailure(file);
        std::unique_ptr<GzipWriter> gzip;
        Writer* w = &file;
        if (tarFamily && c.gzip) {
            gzip = std::make_unique<GzipWriter>(file);
            w = gzip.get();
        }
        std::unique_ptr<ZipWriter> zip;
        std::unique_ptr<TarWriter> tar;
        if (tarFamily)
            tar = std::make_unique<TarWriter>(*w);
        else
            zip = std::make_unique<ZipWriter>(*w);
        size_t oldAt = 0;
        ArchiveMember kept;
        for (const Planned& p : plan) {
            if (p.fromOld) {
                while (oldAt <= p.oldIndex)
                    if (old.walk->Next(kept))
                        ++oldAt;
                    else
                        return kErrHeaderBroken;
                std::unique_ptr<Reader> raw = ZipRawData(*old.walk);
                if (!raw) return kErrHeaderBroken;
                if (!zip->CopyRaw(kept, *raw)) return file.Error() ? WriteFailure(file) : kErrFileCrc;
                continue;
            }
            const uint64_t size = p.header.isDir ? 0 : [&] {
                WIN32_FILE_ATTRIBUTE_DATA a{};
                return GetFileAttributesExW(Wide(p.path).c_str(), GetFileExInfoStandard, &a)
                           ? (static_cast<uint64_t>(a.nFileSizeHigh) << 32) | a.nFileSizeLow
                           : 0;
            }();
            if (progress.Report(ARCEXTRACT_INPROCESS, size, 0, p.path, p.header.name))
                return ERROR_ARC_USER_CANCEL;
            rc = AddFile(p, zip.get(), tar.get(), progress, file);
            if (rc == kErrFileOpen) out.Line("cannot read: " + p.path);
            if (rc) return rc;
            out.Line("added: " + p.header.name);
            if (progress.Report(ARCEXTRACT_INPROCESS, size, size, p.path, p.header.name))
                return ERROR_ARC_USER_CANCEL;
        }
        const std::string comment =
            li.family == Family::Tagged ? std::string(kTagPrefix) + li.tag : old.comment;
        if (!(zip ? zip->Finish(comment) : tar->Finish()) || (gzip && !gzip->Finish()))
            return WriteFailure(file);
        rc = ReplaceArchive(made, old, c.archive);
        if (rc) return rc;
    }
    progress.Report(ARCEXTRACT_END, 0, 0, c.archive, c.archive);
    return 0;
}

int Delete(int lib, const ParsedCommand& c, Output& out) {
    if (Info(lib).family == Family::Tar) return kErrNotSupport;
    Opened old;
    int rc = OpenForWalk(lib, c.archive, Script{}, old);
    if (rc) return rc;
    size_t deleted = 0;
    {
        MadeFile made(NewArchivePath(c.archive));
        FileWriter& file = made.File();
        if (!file.IsOpen()) return WriteFailure(file);
        ZipWriter zip(file);
        ArchiveMember m;
        while (old.walk->Next(m)) {
            if (!c.names.empty() && Selected(c, m.name)) {
                ++deleted;
                continue;
            }
            std::unique_ptr<Reader> raw = ZipRawData(*old.walk);
            if (!raw) return kErrHeaderBroken;
            if (!zip.CopyRaw(m, *raw)) return file.Error() ? WriteFailure(file) : kErrFileCrc;
        }
        if (old.walk->Damaged()) return kErrHeaderBroken;
        if (!zip.Finish(old.comment)) return WriteFailure(file);
        rc = ReplaceArchive(made, old, c.archive);
        if (rc) return rc;
    }
    out.Line("deleted: " + std::to_string(deleted));
    return 0;
}

int MakeSfx(int lib, const ParsedCommand& c, Output& out) {
    Opened arc;
    int rc = OpenForWalk(lib, c.archive, Script{}, arc);
    if (rc) return rc;
    std::string name = LastComponent(c.archive);
    size_t dot = platform::SjisFindLast(name, '.');
    if (dot != std::string::npos) name.resize(dot);
    std::string folder = c.folder;
    if (folder.empty()) {
        size_t at = platform::SjisFindLast(c.archive, '\\');
        folder = at == std::string::npos ? CurrentFolder() : c.archive.substr(0, at);
    }
    std::string exe = JoinPath(folder, name + ".exe");
    // Written while the archive is read: it must not be the archive itself.
    if (_wcsicmp(FullPath(exe).c_str(), FullPath(c.archive).c_str()) == 0) return 0x8028;  // SAME_NAME_FILE
    MadeFile made(Wide(exe));
    FileWriter& file = made.File();
    if (!file.IsOpen() || !file.Write(kSfxStub)) return WriteFailure(file);
    std::unique_ptr<Reader> in = SourceReader(*arc.source, 0);
    std::vector<char> buf(kChunkSize);
    while (const size_t got = in->Read(buf.data(), buf.size()))
        if (!file.Write(std::string_view(buf.data(), got))) return WriteFailure(file);
    if (in->Failed()) return kErrFileOpen;
    if (!file.Close()) return WriteFailure(file);
    made.Keep();
    out.Line("made: " + exe);
    return 0;
}

int AdjustSfx(const ParsedCommand& c, Output& out) {
    const std::wstring path = Wide(c.sfxPath);
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return kErrNotFindArcFile;
    if (!AdjustZipFileOffsets(path)) return kErrNotArcFile;
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

// Moves the find walk on to the next member its wildcard matches; false at the end. A walk that reached the
// end whole knows the archive's total size.
bool FindMatch(OpenArc& a) {
    ArchiveMember m;
    while (a.arc.walk->Next(m)) {
        a.walkTotal += m.size;
        if (a.wild.empty() || MatchMember(a.wild, m.name, false)) {
            a.current = std::move(m);
            a.haveCurrent = true;
            return true;
        }
    }
    if (!a.arc.walk->Damaged()) {
        a.total = a.walkTotal;
        a.totalKnown = true;
    }
    return false;
}

int FillRecord(OpenArc& a, TArchiveMemberInfo* info) {
    if (!FindMatch(a)) return -1;
    const ArchiveMember& m = a.current;
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
        rc = Guarded<int>(kResultOutOfMemory, kResultBroken, [&] {
            FailAllocationIfScripted(script);
            return script.commandResult ? *script.commandResult
                                        : RunCommand(lib, zipEntry, line, script, out);
        });
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
    OpenArc* result = Guarded<OpenArc*>(nullptr, nullptr, [&]() -> OpenArc* {
        FailAllocationIfScripted(script);
        auto a = std::make_unique<OpenArc>();
        if (script.openFail || OpenForWalk(lib, path, script, a->arc) != 0) return nullptr;
        std::lock_guard lock(g_mutex);
        g_open.insert(a.get());
        return a.release();
    });
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
            rc = Guarded<int>(kResultOutOfMemory, kResultBroken, [&] {
                FailAllocationIfScripted(script);
                a->arc.walk->Rewind();
                a->wild = wild;
                a->walkTotal = 0;
                return info ? FillRecord(*a, info) : -1;
            });
        }
    }
    LogCall(Info(lib).file, EntryName(lib, "FindFirst"), "wild=" + wild, "", rc);
    return rc;
}

int FindNext(int lib, HARC arc, TArchiveMemberInfo* info) {
    int rc = ERROR_ARC_FIRST + 0x21;
    if (OpenArc* a = Find(arc))
        rc =
            Guarded<int>(kResultOutOfMemory, kResultBroken, [&] { return info ? FillRecord(*a, info) : -1; });
    LogCall(Info(lib).file, EntryName(lib, "FindNext"), "", "", rc);
    return rc;
}

DWORD GetArcOriginalSize(int lib, HARC arc) {
    uint64_t total = 0;
    if (OpenArc* a = Find(arc)) {
        if (!a->totalKnown) {
            // A walk of its own: the find walk keeps its place.
            std::unique_ptr<MemberWalk> walk = a->arc.newWalk();
            uint64_t sum = 0;
            ArchiveMember m;
            while (walk && walk->Next(m)) sum += m.size;
            if (walk && !walk->Damaged()) {
                a->total = sum;
                a->totalKnown = true;
            }
            total = sum;
        } else {
            total = a->total;
        }
    }
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
    BOOL rc = Guarded<BOOL>(FALSE, FALSE, [&]() -> BOOL {
        FailAllocationIfScripted(script);
        if (script.checkResult) return *script.checkResult;
        Progress progress(script);
        Opened arc;
        if (OpenForWalk(lib, path, script, arc, [&](const std::string& volume) {
                progress.Report(ARCEXTRACT_OPEN, 0, 0, volume, "");
            }) != 0)
            return FALSE;
        // Every member's data is inflated and its CRC compared, chunk by chunk.
        MemberWalk& walk = *arc.walk;
        ArchiveMember m;
        int held = 0;
        while (walk.Next(m)) {
            if (script.checkDelayMs > 0) Sleep(static_cast<DWORD>(script.checkDelayMs));
            if (HoldStops(script, held, progress, m, "")) return TRUE;
            if (!arc.scripted && !m.isDir && !m.link) {
                bool stop = false;
                uint64_t done = 0;
                progress.NewMember();
                const DataStatus s = StreamMemberData(walk, m, [&](std::string_view chunk) {
                    done += chunk.size();
                    stop = progress.Along(m.size, done, m.name, "");
                    return !stop;
                });
                if (stop) return TRUE;
                if (s != DataStatus::Ok) return FALSE;
            }
            if (progress.Report(ARCEXTRACT_INPROCESS, m.size, m.size, m.name, "")) return TRUE;
        }
        return walk.Damaged() ? FALSE : TRUE;
    });
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
    int type = Guarded<int>(0, 0, [&] {
        FailAllocationIfScripted(script);
        if (script.archiveType) return *script.archiveType;
        if (Info(lib).family != Family::Tar) {
            Opened a;
            return OpenForWalk(lib, path, script, a) == 0 ? 1 : 0;
        }
        // Only the first bytes are read (of a gzip stream, its first block inflated).
        std::unique_ptr<ByteSource> src = OpenFileSource(Wide(path));
        if (!src) return 0;
        unsigned char head[3] = {};
        src->ReadAt(0, head, std::min<uint64_t>(3, src->Size()));
        if (src->Size() >= 3 && memcmp(head, "BZh", 3) == 0)
            return 7;  // whether a tar lies inside is not told
        switch (DetectTar(*src)) {
            case TarKind::Tar:
                return 1;
            case TarKind::GzipTar:
                return 2;
            case TarKind::Gzip:
                return 4;
            case TarKind::NotTar:
                break;
        }
        return src->Size() >= 2 && head[0] == 0x1F && head[1] == 0x9D ? 3 : 0;  // compress (.Z)
    });
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
    if (a && time && a->haveCurrent && kind == TimeKind::Write) {
        int64_t t = MemberTime(a->current);
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
    if (a && size && a->haveCurrent) {
        size->QuadPart = compressed ? a->current.compressedSize : a->current.size;
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
