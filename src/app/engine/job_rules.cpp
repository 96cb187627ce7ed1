// Pure rules of a job.
#include "app/engine/job_rules.h"

#include <array>
#include <utility>

#include "archivers/archiver_options.h"
#include "archivers/path_util.h"
#include "regexp/awk_str.h"

namespace velmor {

namespace {

std::string AsciiLowered(std::string_view s) {
    std::string out(s);
    for (size_t i = 0; i < out.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(out[i]);
        if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
            ++i;  // a trail byte is never a letter to fold
            continue;
        }
        if (c >= 'A' && c <= 'Z') out[i] = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace

std::string LowerExt(std::string_view path) { return AsciiLowered(ExtractFileExt(path)); }

bool CheckAbleExt(std::string_view ext) {
    static const char* const kAccepted[] = {".lzh", ".lha",     ".zip",    ".rar", ".cab",
                                            ".tar", ".tar.tar", ".tar.gz", ".tgz", ".gz"};
    std::string lower = AsciiLowered(ext);
    for (const char* a : kAccepted)
        if (lower == a) return true;
    return false;
}

std::string ResultCodeName(int code) {
    static const std::array<std::pair<int, const char*>, 40> kNames{{
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
