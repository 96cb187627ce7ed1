// Profile files through GetPrivateProfileStringW / WritePrivateProfileStringW, and the integer rules that
// the settings depend on.
#include "platform/ini_file.h"

#include <windows.h>

#include <climits>
#include <vector>

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

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) {
    std::wstring wSection = SjisToWide(section), wKey = SjisToWide(key), wDef = SjisToWide(def);
    std::wstring wFile = SjisToWide(fileName_);
    // Read wide, then keep what a byte buffer of kReadBufferBytes would have held, never half a character.
    std::vector<wchar_t> buffer(kReadBufferBytes, L'\0');
    DWORD n = ::GetPrivateProfileStringW(wSection.c_str(), wKey.c_str(), wDef.c_str(), buffer.data(),
                                         static_cast<DWORD>(buffer.size()), wFile.c_str());
    std::string value = WideToSjis(std::wstring_view(buffer.data(), n));
    if (value.size() >= kReadBufferBytes) {
        size_t keep = 0;
        for (size_t i = 0; i < value.size(); i += SjisCharLength(value, i)) {
            if (i + SjisCharLength(value, i) > kReadBufferBytes - 1) break;
            keep = i + SjisCharLength(value, i);
        }
        value.resize(keep);
    }
    return value;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    std::wstring wSection = SjisToWide(section), wKey = SjisToWide(key), wValue = SjisToWide(value);
    if (!::WritePrivateProfileStringW(wSection.c_str(), wKey.c_str(), wValue.c_str(),
                                      SjisToWide(fileName_).c_str())) {
        throw EIniFileException("Unable to write to " + fileName_);
    }
}

}  // namespace platform
