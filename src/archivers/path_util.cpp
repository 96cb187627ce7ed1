// Path helpers over Shift-JIS strings; separators are found by character, never by raw byte.
#include "archivers/path_util.h"

#include <vector>

#include "platform/sjis.h"

using platform::SjisCharLength;

std::string JoinPath(std::string_view folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    std::string out(folder);
    if (!platform::SjisEndsWithChar(folder, '\\')) out += '\\';
    out += name;
    return out;
}

namespace {
// Offset just past the last character of `path` that is one of `separators`; 0 when none.
size_t AfterLastOf(std::string_view path, std::string_view separators) {
    size_t after = 0;
    for (size_t i = 0; i < path.size(); i += SjisCharLength(path, i))
        if (SjisCharLength(path, i) == 1 && separators.find(path[i]) != std::string_view::npos) after = i + 1;
    return after;
}
}  // namespace

std::string ExtractBareName(std::string_view path) { return std::string(path.substr(AfterLastOf(path, "/\\:"))); }

std::string ExtractFileDir(std::string_view path) {
    size_t end = AfterLastOf(path, "\\/:");
    // Drop the separator itself unless it belongs to a root ("C:\\", "\\").
    if (end > 1 && (path[end - 1] == '\\' || path[end - 1] == '/')) {
        std::string_view before = path.substr(0, end - 1);
        if (!platform::SjisEndsWithChar(before, ':') && !platform::SjisEndsWithChar(before, '\\')) --end;
    }
    return std::string(path.substr(0, end));
}

std::string ExtractFileExt(std::string_view path) {
    size_t bare = AfterLastOf(path, "/\\:");
    size_t dot = std::string_view::npos;
    for (size_t i = bare; i < path.size(); i += SjisCharLength(path, i))
        if (path[i] == '.') dot = i;
    return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
    std::string current = ExtractFileExt(path);
    std::string out(path.substr(0, path.size() - current.size()));
    out += ext;
    return out;
}

bool HasWildcard(std::string_view mask) {
    for (size_t i = 0; i < mask.size(); i += SjisCharLength(mask, i))
        if (mask[i] == '?' || mask[i] == '*') return true;
    return false;
}

bool DosDateTimeToUtcFileTime(uint16_t dosDate, uint16_t dosTime, FILETIME& out) {
    if (dosDate == 0 && dosTime == 0) {
        out = FILETIME{};
        return true;
    }
    FILETIME local{};
    if (!::DosDateTimeToFileTime(dosDate, dosTime, &local)) return false;
    return ::LocalFileTimeToFileTime(&local, &out) != FALSE;
}

std::string ExpandFileName(std::string_view path) {
    std::wstring w = platform::SjisToWide(path);
    DWORD n = ::GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (n == 0) return std::string(path);
    std::vector<wchar_t> buf(n + 1);
    n = ::GetFullPathNameW(w.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
    if (n == 0 || n >= buf.size()) return std::string(path);
    return platform::WideToSjis(std::wstring_view(buf.data(), n));
}

bool FileExistsSjis(std::string_view path) {
    DWORD a = ::GetFileAttributesW(platform::SjisToWide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExistsSjis(std::string_view path) {
    DWORD a = ::GetFileAttributesW(platform::SjisToWide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
