// Profile files read and written as Shift-JIS bytes by our own parser, and the integer rules that the
// settings depend on.
#include "platform/ini_file.h"

#include <windows.h>

#include <climits>
#include <vector>

#include "platform/handle.h"
#include "platform/sjis.h"

namespace platform {

bool ParseIniInteger(std::string_view text, int& value) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    long long v = 0;
    for (char c : text) {
        unsigned d;
        if (c >= '0' && c <= '9')
            d = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        v = v * base + d;
        // Hexadecimal may spell the full 32-bit pattern (0xFFFFFFFF is -1); decimal must fit.
        if (v > (base == 16 ? 0xFFFFFFFFLL : static_cast<long long>(INT_MAX) + 1)) return false;
    }
    if (base == 16) {
        v = static_cast<int>(static_cast<unsigned>(v));
    } else if (!negative && v > INT_MAX) {
        return false;
    }
    value = static_cast<int>(negative ? -v : v);
    return true;
}

int TCustomIniFile::ReadInteger(std::string_view section, std::string_view key, int def) {
    int value;
    return ParseIniInteger(ReadString(section, key, ""), value) ? value : def;
}

void TCustomIniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
    WriteString(section, key, std::to_string(value));
}

bool TCustomIniFile::ReadBool(std::string_view section, std::string_view key, bool def) {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

namespace {
// The file's bytes, or empty when it cannot be read (a missing file reads as an empty one).
std::string ReadAll(const std::string& fileName) {
    UniqueFile file(::CreateFileW(SjisToWide(fileName).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string data;
    if (!file) return data;
    char buffer[8192];
    DWORD got = 0;
    while (::ReadFile(file.Get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) data.append(buffer, got);
    return data;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::vector<std::string> SplitFileLines(const std::string& data) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        if (end == std::string::npos) end = data.size();
        std::string line = data.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

// "[name]" gives the section name; anything else nothing.
bool SectionOf(std::string_view line, std::string_view& name) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') return false;
    size_t close = line.find(']');
    if (close == std::string_view::npos) return false;
    name = Trim(line.substr(1, close - 1));
    return true;
}

// "key=value" gives both; comments and other lines nothing.
bool KeyOf(std::string_view line, std::string_view& key, std::string_view& value) {
    std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '[') return false;
    size_t eq = t.find('=');
    if (eq == std::string_view::npos) return false;
    key = Trim(t.substr(0, eq));
    value = Trim(t.substr(eq + 1));
    return true;
}

// Where a key sits: its line, and the last line of its section (npos when the section is missing).
struct Place {
    size_t keyLine = std::string::npos;
    size_t sectionEnd = std::string::npos;
};

Place Find(const std::vector<std::string>& lines, std::string_view section, std::string_view key) {
    Place place;
    bool inSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view name, k, v;
        if (SectionOf(lines[i], name)) {
            inSection = SameName(name, Trim(section));
            if (inSection) place.sectionEnd = i;
            continue;
        }
        if (!inSection) continue;
        if (!Trim(lines[i]).empty()) place.sectionEnd = i;
        if (place.keyLine == std::string::npos && KeyOf(lines[i], k, v) && SameName(k, Trim(key)))
            place.keyLine = i;
    }
    return place;
}

// The value of a key in the lines, or `def`; kept to what a byte buffer of kReadBufferBytes would have held,
// never half a character.
std::string ValueIn(const std::vector<std::string>& lines, std::string_view section, std::string_view key,
                    std::string_view def) {
    Place place = Find(lines, section, key);
    std::string value(def);
    std::string_view k, v;
    if (place.keyLine != std::string::npos && KeyOf(lines[place.keyLine], k, v)) {
        // Matching quotes round a value are not part of it.
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        value.assign(v);
    }
    if (value.size() >= TIniFile::kReadBufferBytes) {
        size_t keep = 0;
        for (size_t i = 0; i < value.size(); i += SjisCharLength(value, i)) {
            if (i + SjisCharLength(value, i) > TIniFile::kReadBufferBytes - 1) break;
            keep = i + SjisCharLength(value, i);
        }
        value.resize(keep);
    }
    return value;
}

void SetValueIn(std::vector<std::string>& lines, std::string_view section, std::string_view key,
                std::string_view value) {
    Place place = Find(lines, section, key);
    std::string entry = std::string(Trim(key)) + "=" + std::string(value);
    if (place.keyLine != std::string::npos) {
        lines[place.keyLine] = entry;
    } else if (place.sectionEnd != std::string::npos) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(place.sectionEnd) + 1, entry);
    } else {
        lines.push_back("[" + std::string(Trim(section)) + "]");
        lines.push_back(entry);
    }
}

void WriteLines(const std::string& fileName, const std::vector<std::string>& lines) {
    std::string data;
    for (const std::string& line : lines) data += line + "\r\n";
    if (!ReplaceFileContents(fileName, data)) throw EIniFileException("Unable to write to " + fileName);
}
}  // namespace

bool ReplaceFileContents(const std::string& fileName, std::string_view data) {
    const std::wstring target = SjisToWide(fileName);
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return false;
    // A name of our own beside the file: the replacement is a rename within one folder.
    std::wstring temp;
    UniqueFile file;
    for (unsigned n = 0; n < 100 && !file; ++n) {
        temp = target + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(n) + L".tmp";
        file.Reset(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
        if (!file && ::GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    if (!file) return false;
    DWORD written = 0;
    const bool ok =
        ::WriteFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
        written == data.size() && ::FlushFileBuffers(file.Get());
    file.Reset();
    bool moved = false;
    if (ok) {
        // Another program may hold the file open for a moment (a scanner, an indexer, a shell view reading
        // it); the rename is refused while it does. Wait out such a glance rather than lose the settings.
        for (int attempt = 0; attempt < 40; ++attempt) {
            if (::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                moved = true;
                break;
            }
            const DWORD error = ::GetLastError();
            if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED && error != ERROR_LOCK_VIOLATION)
                break;
            ::Sleep(50);
        }
    }
    if (!moved) ::DeleteFileW(temp.c_str());
    return moved;
}

// The file's bytes are Shift-JIS as they stand: no code-page conversion happens on the way in or out, so the
// values never depend on the machine's ANSI code page (a 0x5C trail byte stays a trail byte).
std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) {
    return ValueIn(SplitFileLines(ReadAll(fileName_)), section, key, def);
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    std::vector<std::string> lines = SplitFileLines(ReadAll(fileName_));
    SetValueIn(lines, section, key, value);
    WriteLines(fileName_, lines);
}

TMemIniFile::TMemIniFile(std::string fileName)
    : fileName_(std::move(fileName)), lines_(SplitFileLines(ReadAll(fileName_))) {}

std::string TMemIniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) {
    return ValueIn(lines_, section, key, def);
}

void TMemIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    SetValueIn(lines_, section, key, value);
}

void TMemIniFile::UpdateFile() { WriteLines(fileName_, lines_); }

}  // namespace platform
