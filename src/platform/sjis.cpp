// Shift-JIS helpers over the platform's conversion functions, always naming code page 932.
#include "platform/sjis.h"

#include <windows.h>

namespace platform {

namespace {
constexpr UINT kSjis = 932;

std::wstring ToWide(UINT cp, std::string_view s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string FromWide(UINT cp, std::wstring_view w, bool* lossy) {
    if (lossy) *lossy = false;
    if (w.empty()) return {};
    BOOL usedDefault = FALSE;
    const DWORD flags = cp == kSjis ? WC_NO_BEST_FIT_CHARS : 0;
    BOOL* pUsed = cp == kSjis ? &usedDefault : nullptr;
    int n = WideCharToMultiByte(cp, flags, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, pUsed);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(cp, flags, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, pUsed);
    if (lossy) *lossy = usedDefault != FALSE;
    return s;
}
}  // namespace

size_t SjisLastCharStart(std::string_view s) noexcept {
    if (s.empty()) return std::string_view::npos;
    size_t i = 0, last = 0;
    while (i < s.size()) {
        last = i;
        i += SjisCharLength(s, i);
    }
    return last;
}

bool SjisEndsWithChar(std::string_view s, char c) noexcept {
    size_t last = SjisLastCharStart(s);
    return last != std::string_view::npos && last == s.size() - 1 && s[last] == c;
}

size_t SjisFind(std::string_view s, char c, size_t from) noexcept {
    for (size_t i = 0; i < s.size(); i += SjisCharLength(s, i))
        if (i >= from && s[i] == c) return i;
    return std::string_view::npos;
}

size_t SjisFindLast(std::string_view s, char c) noexcept {
    size_t found = std::string_view::npos;
    for (size_t i = 0; i < s.size(); i += SjisCharLength(s, i))
        if (s[i] == c) found = i;
    return found;
}

std::wstring SjisToWide(std::string_view s) { return ToWide(kSjis, s); }
std::string WideToSjis(std::wstring_view w, bool* lossy) { return FromWide(kSjis, w, lossy); }
std::string Utf8ToSjis(std::string_view s) { return FromWide(kSjis, ToWide(CP_UTF8, s), nullptr); }
std::string SjisToUtf8(std::string_view s) { return FromWide(CP_UTF8, ToWide(kSjis, s), nullptr); }

}  // namespace platform
