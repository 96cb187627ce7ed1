// Pure rules of a job.
#include "app/engine/job_rules.h"

#include <algorithm>
#include <array>
#include <utility>

#include "archivers/archiver_options.h"
#include "archivers/path_util.h"
#include "platform/sjis.h"
#include "regexp/awk_str.h"

namespace velmor {

std::string AsciiLower(std::string_view s) {
    std::string out(s);
    for (size_t i = 0; i < out.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(out[i]);
        if (platform::IsSjisLeadByte(c)) {
            ++i;  // a trail byte is never a letter to fold
            continue;
        }
        if (c >= 'A' && c <= 'Z') out[i] = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string LowerExt(std::string_view path) { return AsciiLower(ExtractFileExt(path)); }

bool CheckAbleExt(std::string_view ext) {
    static const char* const kAccepted[] = {".lzh", ".lha",     ".zip",    ".rar", ".cab",
                                            ".tar", ".tar.tar", ".tar.gz", ".tgz", ".gz"};
    std::string lower = AsciiLower(ext);
    for (const char* a : kAccepted)
        if (lower == a) return true;
    return false;
}

namespace {

// The value of s when it is one or more ASCII digits, else -1.
long long DigitsValue(std::string_view s) {
    if (s.empty() || s.size() > 18) return -1;
    long long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

// The lowered rest of `name` after `prefix` (compared with ASCII case ignored).
bool StripPrefix(std::string_view name, std::string_view prefix, std::string& rest) {
    std::string n = AsciiLower(name);
    std::string p = AsciiLower(prefix);
    if (n.size() < p.size() || n.compare(0, p.size(), p) != 0) return false;
    // The prefix ends at a character boundary of the name.
    size_t i = 0;
    while (i < p.size()) i += platform::SjisCharLength(n, i);
    if (i != p.size()) return false;
    rest = n.substr(p.size());
    return true;
}

bool EndsWith(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

TRarVolume ClassifyRarVolume(std::string_view name, std::string* base) {
    std::string lower = AsciiLower(name);
    if (!EndsWith(lower, ".rar")) return TRarVolume::None;
    std::string stem = lower.substr(0, lower.size() - 4);
    // "." is never a trail byte, so a found ".part" starts a character.
    size_t dot = stem.rfind(".part");
    if (dot == std::string::npos || dot == 0) return TRarVolume::None;
    std::string digits = stem.substr(dot + 5);
    if (DigitsValue(digits) < 0) return TRarVolume::None;
    if (base) *base = std::string(name.substr(0, dot));
    return DigitsValue(digits) == 1 ? TRarVolume::FirstPart : TRarVolume::LaterPart;
}

long long PartVolumeNumber(std::string_view base, std::string_view name) {
    std::string rest;
    if (!StripPrefix(name, std::string(base) + ".part", rest) || !EndsWith(rest, ".rar")) return -1;
    return DigitsValue(std::string_view(rest).substr(0, rest.size() - 4));
}

long long NumberedVolumeNumber(std::string_view base, std::string_view name) {
    std::string rest;
    if (!StripPrefix(name, std::string(base) + ".r", rest)) return -1;
    return DigitsValue(rest);
}

std::vector<std::string> ContiguousVolumeRun(std::vector<std::pair<long long, std::string>> numbered,
                                             long long next) {
    // In volume order, whatever order the folder lists them in.
    std::stable_sort(numbered.begin(), numbered.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> run;
    const long long first = next;
    for (auto& [number, path] : numbered) {
        if (number < first) continue;
        // Another spelling of the number just taken is a candidate too; a gap ends the run.
        if (number == next) {
            ++next;
        } else if (number != next - 1 || run.empty()) {
            break;
        }
        run.push_back(std::move(path));
    }
    return run;
}

bool HasNewerOnlySwitch(std::string_view ext) {
    static const char* const kWithSwitch[] = {".lzh", ".lha", ".zip", ".cab", ".rar", ".gca"};
    const std::string lower = AsciiLower(ext);
    for (const char* e : kWithSwitch)
        if (lower == e) return true;
    return false;
}

bool UsableBindName(std::string_view name) {
    return name.find_first_not_of(". ") != std::string_view::npos;
}

TProgressPercents ProgressPercents(uint32_t size, uint32_t written, double doneBytes, double total) {
    written = written < size ? written : size;
    TProgressPercents p{0, 0};
    if (written != 0) p.File = static_cast<int>(static_cast<double>(written) / size * 100.0);
    if (total > 0) {
        double t = (static_cast<double>(written) + doneBytes) / total * 100.0;
        if (t > 0 && t < 1e9) p.Total = static_cast<int>(t);
    }
    p.File = p.File < 0 ? 0 : (p.File > 100 ? 100 : p.File);
    p.Total = p.Total < 0 ? 0 : (p.Total > 100 ? 100 : p.Total);
    return p;
}

std::string ResultCodeName(int code) {
    static const std::array<std::pair<int, const char*>, 41> kNames{{
        {0x8005, "DISK_SPACE"},
        {0x8006, "READ_ONLY"},
        {0x8007, "USER_SKIP"},
        {0x8008, "UNKNOWN_TYPE"},
        {0x8009, "METHOD"},
        {0x800A, "PASSWORD_FILE"},
        {0x800B, "VERSION"},
        {0x800C, "FILE_CRC"},
        {0x800D, "FILE_OPEN"},
        {0x800E, "MORE_FRESH"},
        {0x800F, "NOT_EXIST"},
        {0x8010, "ERROR_ALREADY_EXIST"},
        {0x8011, "ERROR_TOO_MANY_FILES"},
        {0x8012, "ERROR_MAKEDIRECTORY"},
        {0x8013, "ERROR_CANNOT_WRITE"},
        {0x8014, "ERROR_HUFFMAN_CODE"},
        {0x8015, "ERROR_COMMENT_HEADER"},
        {0x8016, "ERROR_HEADER_CRC"},
        {0x8017, "ERROR_HEADER_BROKEN"},
        {0x8018, "ERROR_ARC_FILE_OPEN"},
        {0x8019, "ERROR_NOT_ARC_FILE"},
        {0x801A, "ERROR_CANNOT_READ"},
        {0x801B, "ERROR_FILE_STYLE"},
        {0x801C, "ERROR_COMMAND_NAME"},
        {0x801D, "ERROR_MORE_HEAP_MEMORY"},
        {0x801E, "ERROR_ENOUGH_MEMORY"},
        {0x801F, "ERROR_ALREADY_RUNNING"},
        {0x8020, "ERROR_USER_CANCEL"},
        {0x8021, "ERROR_HARC_ISNOT_OPENED"},
        {0x8022, "ERROR_NOT_SEARCH_MODE"},
        {0x8023, "ERROR_NOT_SUPPORT"},
        {0x8024, "ERROR_TIME_STAMP"},
        {0x8025, "ERROR_TMP_OPEN"},
        {0x8026, "ERROR_LONG_FILE_NAME"},
        {0x8027, "ERROR_ARC_READ_ONLY"},
        {0x8028, "ERROR_SAME_NAME_FILE"},
        {0x8029, "ERROR_NOT_FIND_ARC_FILE"},
        {0x802A, "ERROR_RESPONSE_READ"},
        {0x802B, "ERROR_NOT_FILENAME"},
        {0x802C, "ERROR_TMP_COPY"},
        {0x802D, "ERROR_EOF"},
    }};
    for (const auto& [c, name] : kNames)
        if (c == code) return name;
    return "";
}

std::string CutTail(const std::string& name, bool enabled) {
    if (!enabled) return name;
    regexp::TAWKStr matcher;
    matcher.SetRegExp("[_ \\.0-9]+[a-z]?$");
    int32_t pos = 0;
    int32_t len = 0;
    matcher.Match(name, pos, len);
    if (pos >= 2) return name.substr(0, static_cast<size_t>(pos - 1));
    return name;
}

bool ApplyFormatSwitches(std::string_view ext, int overWrite, bool ignoreDirectory, const TReadyFlags& ready,
                         TArchiverOptions& o, std::string& notReadyLine) {
    auto notReady = [&](const char* line) {
        notReadyLine = line;
        return false;
    };
    if (ext == ".lzh" || ext == ".lha") {
        if (!ready.Lha) return notReady("> \"ULHA32.DLL\"の準備ができていません");
        o.n = o.jse = o.jso = o.a = 1;
        switch (overWrite) {
            case 0: o.u = 0; o.jyo = 0; o.jyc = 1; break;
            case 1: o.u = 0; break;
            case 2: o.jn = 1; break;
            case 3: o.u = 1; break;
            default: break;
        }
        o.x = ignoreDirectory ? 0 : 1;
    } else if (ext == ".zip") {
        if (!ready.Zip) return notReady("> \"UNzip32.DLL\"の準備ができていません");
        o.x = o.a = o.n = 1;
        static const char* const kZip[] = {"", "-o", "-n", "-u"};
        std::string s = (overWrite >= 0 && overWrite <= 3) ? kZip[overWrite] : "";
        if (ignoreDirectory) s += " -j";
        o.UserOptions = "-q --i " + s;
    } else if (ext == ".cab") {
        if (!ready.Cab) return notReady("> \"Cab32.DLL\"の準備ができていません");
        o.x = 1;
        static const char* const kCab[] = {"", "-o", "", "-n"};
        std::string s = (overWrite >= 0 && overWrite <= 3) ? kCab[overWrite] : "";
        o.UserOptions = std::string(ignoreDirectory ? "-j " : "") + "-i " + s;
    } else if (ext == ".rar" || ext == ".gca") {
        if (ext == ".rar" && !ready.Rar) return notReady("> \"Unrar32.DLL\"の準備ができていません");
        if (ext == ".gca" && !ready.Gca) return notReady("> \"UnGCA32.DLL\"の準備ができていません");
        o.x = ignoreDirectory ? 0 : 1;
        o.c = 1;
        std::string s;
        switch (overWrite) {
            case 1: s = "-o"; break;
            case 2: s = "-o-"; break;
            case 3: o.c = 0; break;
            default: break;
        }
        o.UserOptions = s;
    } else if (ext == ".tar" || ext == ".tgz" || ext == ".tbz" || ext == ".gz") {
        if (!ready.Tar) return notReady("> \"tar32.dll\"の準備ができていません");
        o.UserOptions = ignoreDirectory ? " --use-directory=0" : "";
    }
    return true;
}

}  // namespace velmor
