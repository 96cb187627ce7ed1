// Script and call log of the stand-in libraries. Both files hold CP932 text; lines end with CR LF (a bare LF
// is accepted when reading).
//
// Script (VELMOR_STANDIN_SCRIPT), one directive per line, fields separated by one TAB:
//   # comment                    ignored, as are empty lines
//   [UNZIP32.DLL]                the lines that follow apply only to that library file (case-insensitive);
//   [*]                          ... or to every library again (also the state before any section)
//   command-result  N            every command entry returns N without doing anything (decimal or 0x hex)
//   check-result    N            CheckArchive returns N
//   open-fail       1            OpenArchive returns 0
//   archive-type    N            GetArchiveType returns N
//   password        TEXT         the archive needs TEXT: FindFirst and extraction answer 0x800A until
//                                SetDefaultPassword gave TEXT
//   dialog          TEXT         the answer of the next PasswordDialog call (one line per call, in order)
//   dialog-cancel                the next PasswordDialog call answers -1; calls past the list answer -1 too
//   member  NAME  SIZE  YYYY-MM-DD HH:MM:SS  [COMPRESSED]
//                                the archive holds these members instead of its real content (any path opens;
//                                times are UTC; extraction writes them as empty files)
//   delay           MS           sleep before each member
//   check-delay     MS           CheckArchive sleeps before each member it reports
//   hold    PATH  [N]            each member of an extraction, a test or a check after the first N (0 when
//                                not given) waits until the file PATH exists, reported again every 50 ms
//                                meanwhile as a long member is: a test acts during the job, then lets it go
//                                by making the file; a stop asked meanwhile ends the command
//   hold    PATH  end            an extraction, its members written, waits in the same way before it
//                                returns: a test acts on the output meanwhile
//   progress        0            send no "wm_arcextract" messages
//   write           0            extraction does everything but write: members are walked, reported and
//                                enumerated, nothing lands on disk (for timing the caller, not the disk)
//   trust-names     1            extraction writes every member where its name points, "..", drives and
//                                roots included, as a library without a path check of its own would
//   disk-full       BYTES        an extraction's file writes fail as on a full volume (ERROR_DISK_FULL) once
//                                BYTES have been written in that command
//   out-of-memory   1            the entries that do work (commands, opening, finding, checking, the type
//                                check) fail to allocate, as a library that ran out of memory would
//
// Call log (VELMOR_STANDIN_LOG), one line per entry call, five fields separated by TAB:
//   LIBRARY  ENTRY  ARGUMENTS  COMMAND-LINE  RESULT
// LIBRARY is the file name ("UNLHA32.DLL"), ENTRY the exported name that was called ("UnzipFindFirst"),
// ARGUMENTS the other arguments as "name=value" pairs separated by one blank (a path comes last and is given
// verbatim; a pointer or handle is hex, "0" when null: "out=" is a command entry's output buffer, "arc=" the
// handle CloseArchive was given), COMMAND-LINE the command text exactly as passed (empty for entries without
// one), RESULT the return value in decimal (OpenArchive: 1 for a handle, 0 for none).
#include "script.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "archive_formats.h"
#include "platform/handle.h"
#include "platform/sjis.h"

namespace standin {

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

std::vector<std::string> SplitTabs(std::string_view line) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        size_t tab = line.find('\t', start);
        fields.emplace_back(
            line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    return fields;
}

int ParseInt(const std::string& s) { return static_cast<int>(std::strtoll(s.c_str(), nullptr, 0)); }

int64_t ParseUtc(const std::string& s) {
    SYSTEMTIME st{};
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
    if (std::sscanf(s.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &se) < 3) return 0;
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(mo);
    st.wDay = static_cast<WORD>(d);
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(mi);
    st.wSecond = static_cast<WORD>(se);
    FILETIME ft{};
    if (!SystemTimeToFileTime(&st, &ft)) return 0;
    ULARGE_INTEGER u{};
    u.LowPart = ft.dwLowDateTime;
    u.HighPart = ft.dwHighDateTime;
    return static_cast<int64_t>(u.QuadPart / 10000000ULL) - 11644473600LL;
}

}  // namespace

std::wstring GetEnv(const wchar_t* name) {
    wchar_t buf[1024];
    DWORD n = GetEnvironmentVariableW(name, buf, 1024);
    return n > 0 && n < 1024 ? std::wstring(buf, n) : std::wstring();
}

Script ParseScript(std::string_view text, std::string_view library) {
    Script script;
    bool applies = true;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        std::string_view line =
            text.substr(pos, eol == std::string_view::npos ? std::string_view::npos : eol - pos);
        pos = eol == std::string_view::npos ? text.size() : eol + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            std::string_view section = line.substr(1, line.size() - 2);
            applies = section == "*" || EqualsNoCase(section, library);
            continue;
        }
        if (!applies) continue;
        std::vector<std::string> f = SplitTabs(line);
        const std::string& key = f[0];
        std::string value = f.size() > 1 ? f[1] : std::string();
        if (key == "command-result")
            script.commandResult = ParseInt(value);
        else if (key == "check-result")
            script.checkResult = ParseInt(value);
        else if (key == "archive-type")
            script.archiveType = ParseInt(value);
        else if (key == "open-fail")
            script.openFail = ParseInt(value) != 0;
        else if (key == "password")
            script.password = value;
        else if (key == "dialog")
            script.dialogAnswers.emplace_back(value);
        else if (key == "dialog-cancel")
            script.dialogAnswers.emplace_back(std::nullopt);
        else if (key == "delay")
            script.delayMs = ParseInt(value);
        else if (key == "check-delay")
            script.checkDelayMs = ParseInt(value);
        else if (key == "hold") {
            script.holdFile = value;
            script.holdAtEnd = f.size() > 2 && f[2] == "end";
            script.holdAfter = f.size() > 2 && !script.holdAtEnd ? ParseInt(f[2]) : 0;
        }
        else if (key == "progress")
            script.progress = ParseInt(value) != 0;
        else if (key == "write")
            script.write = ParseInt(value) != 0;
        else if (key == "trust-names")
            script.trustNames = ParseInt(value) != 0;
        else if (key == "disk-full")
            script.diskFullAfter = std::strtoull(value.c_str(), nullptr, 0);
        else if (key == "out-of-memory")
            script.outOfMemory = ParseInt(value) != 0;
        else if (key == "member" && f.size() >= 3) {
            ScriptedMember m;
            m.name = f[1];
            m.size = std::strtoull(f[2].c_str(), nullptr, 0);
            m.unixTime = f.size() > 3 ? ParseUtc(f[3]) : 0;
            m.compressedSize = f.size() > 4 ? std::strtoull(f[4].c_str(), nullptr, 0) : m.size;
            script.members.push_back(std::move(m));
        }
    }
    return script;
}

Script LoadScript(std::string_view library) {
    std::wstring path = GetEnv(L"VELMOR_STANDIN_SCRIPT");
    if (path.empty()) return Script{};
    std::string text;
    ReadWholeFile(path, text);
    return ParseScript(text, library);
}

void LogCall(std::string_view library, std::string_view entry, std::string_view args,
             std::string_view cmdLine, long long result) {
    std::wstring path = GetEnv(L"VELMOR_STANDIN_LOG");
    if (path.empty()) return;
    std::string line;
    line.append(library).append("\t").append(entry).append("\t").append(args).append("\t").append(cmdLine);
    line.append("\t").append(std::to_string(result)).append("\r\n");
    platform::UniqueFile f(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_ALWAYS, 0, nullptr));
    if (!f) return;
    DWORD written = 0;
    WriteFile(f.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace standin
