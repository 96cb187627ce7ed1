// The component-side pack list: the exact names to pack, chosen by the component's own rules (attributes,
// recursion, exclusions, a date window, 8.3 or relative names), with each file's named streams exported as
// extra files beside it. The list then goes to the format's pack command as an explicit file list.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archivers/archiver_api.h"
#include "archivers/archiver_options.h"
#include "archivers/cmd_opt.h"
#include "platform/string_list.h"

// Progress state reported for each name added to the list.
constexpr int kPackListProgressState = 0x805;

using TPackProgress = std::function<void(int state, LPEXTRACTINGINFOEX info, bool& cancel)>;

// A local date-time as the 100 ns count of a FILETIME; 0 means "no limit".
using TLocalDateTime = uint64_t;

// Builds the list with the process's current folder set to `baseFolder` and restores it afterwards (best
// effort). Changes `options` for the library's command (r, jo, job, p). Exported stream files are appended to
// `tempFiles` (full paths) for the caller to delete; only files this call created are listed.
std::unique_ptr<platform::TStringList> BuildPackFileList(platform::TStringList& tempFiles, TArchiverOptions& options,
                                                         const std::string& baseFolder, bool& cancel,
                                                         const TFileItems& specs, const TPackProgress& progress);

int CurrentYear();
int ExpandTwoDigitYear(int twoDigitYear, int currentYear = CurrentYear());
bool IsDirectory(const std::string& path);
// 0 for a zero FILETIME.
TLocalDateTime FileTimeToDateTimeEx(const FILETIME& ft, bool toLocal);
// YYMMDD, YYMMDDhhmmss, YYYYMMDD or YYYYMMDDhhmmss, optionally after an "l"; any other length gives 0.
// Throws EArchiver for a malformed date.
TLocalDateTime ParseDateSwitch(const std::string& text, const std::string& defaultTime,
                               int currentYear = CurrentYear());
// Relative path from the folder of `baseName` (a base without trailing "\" counts as a file in its parent) to
// `destName`; destName unchanged when the drives differ.
std::string ExtractRelativePath(const std::string& baseName, const std::string& destName);
