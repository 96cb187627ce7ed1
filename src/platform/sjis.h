// Shift-JIS (code page 932) text helpers. All 8-bit text in Velmor is CP932; the lead-byte test is a fixed
// table so that results never depend on the ANSI code page of the machine.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

constexpr bool IsSjisLeadByte(unsigned char c) noexcept {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Length in bytes of the character at s[i]: 2 for a lead byte followed by a byte, else 1.
inline size_t SjisCharLength(std::string_view s, size_t i) noexcept {
    return (IsSjisLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}

// Start offset of the last character of s (npos when s is empty).
size_t SjisLastCharStart(std::string_view s) noexcept;

// True when the last character of s is the single byte c (a trail byte equal to c does not count).
bool SjisEndsWithChar(std::string_view s, char c) noexcept;

// Offset of the first single-byte character c, stepping by character; npos when absent.
size_t SjisFind(std::string_view s, char c, size_t from = 0) noexcept;
// Offset of the last single-byte character c, stepping by character; npos when absent.
size_t SjisFindLast(std::string_view s, char c) noexcept;

// CP932 <-> UTF-16. WideToSjis reports through *lossy whether some character had no CP932 form.
std::wstring SjisToWide(std::string_view s);
std::string WideToSjis(std::wstring_view w, bool* lossy = nullptr);

// UTF-8 <-> CP932, for texts that come from UTF-8 files or the host.
std::string Utf8ToSjis(std::string_view s);
std::string SjisToUtf8(std::string_view s);

}  // namespace platform
