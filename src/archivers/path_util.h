// Small path and date helpers shared by the archivers; all double-byte aware (code page 932).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

// The name alone for an empty folder; folder + name when the folder ends in "\"; else folder + "\" + name.
std::string JoinPath(std::string_view folder, std::string_view name);

// Everything after the last "/", "\" or ":".
std::string ExtractBareName(std::string_view path);

// The folder part without its trailing separator (everything before the last "\", "/" or after a drive's ":").
std::string ExtractFileDir(std::string_view path);

// The path with its extension (from the last "." of the bare name) replaced by ext (ext includes the dot).
std::string ChangeFileExt(std::string_view path, std::string_view ext);

// The extension of the bare name, with its dot, or empty.
std::string ExtractFileExt(std::string_view path);

bool HasWildcard(std::string_view mask);

// DOS date and time (local time) to UTC. Both zero give FILETIME 0 and true; false when a conversion fails.
bool DosDateTimeToUtcFileTime(uint16_t dosDate, uint16_t dosTime, FILETIME& out);

// Full path of a Shift-JIS path (GetFullPathNameW underneath); the input unchanged when that fails.
std::string ExpandFileName(std::string_view path);

bool FileExistsSjis(std::string_view path);
bool DirectoryExistsSjis(std::string_view path);
