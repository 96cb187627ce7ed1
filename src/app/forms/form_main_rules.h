// The main window's rules that need no window: the command line, the log-line format, the log-file size
// limit, where a stored window geometry may be applied, and the size text of a dropped path. Texts are
// Shift-JIS.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmor {

// What the program's arguments ask for. The switch is the first argument only, compared exactly.
struct TCommandLine {
    enum TKind : uint8_t { ckNone, ckPreview, ckExtract };
    TKind Kind = ckNone;   // ckNone: no argument at all
    int AfterMethod = -1;  // -d 1, -t 2, -k 0; -1 leaves the setting as it is
    std::vector<std::string> Files;
};
TCommandLine ParseCommandLine(const std::vector<std::string>& args);

// The pane line for one log message, numbering it with the incremented counter. "***" is counted but carries
// no number; the first "%src" (any case) becomes the quoted current archive. The message is data, never a
// format.
std::string FormatLogLine(std::string_view message, int& lineCount, std::string_view currentArchive);

// The log-file limit in KB; a hand-edited 0 or below means the default.
inline constexpr int kDefaultKBDeleteLog = 2000;
bool LogFileOverLimit(uint64_t sizeBytes, int kbLimit);

// The stored window position is applied only when the top-left corner lies inside the screen, a size only
// when both sides are positive: a hand-edited file must not put the window out of reach.
bool PositionApplies(int x, int y, int screenWidth, int screenHeight);
bool SizeApplies(int width, int height);

// The job list and the log pane share a height: the list's part is its share (per mille) of it, each pane
// keeping at least `minimum` pixels. ShareOfHeight is the share that a list height makes.
inline constexpr int kDefaultListShare = 550;
int SplitHeight(int shared, int sharePerMille, int minimum);
int ShareOfHeight(int listHeight, int shared);

// The size sub-item of a dropped path: whole kilobytes of a directory entry, or "\"フォルダ\"" for a folder
// that has no entry of its own (a drive root); nothing (empty) for a path that names nothing.
std::string DropSizeText(bool isEntry, uint64_t size, bool isFolder);

// Puts a folder at the top of a history of fixed length: an exact (case-sensitive) duplicate changes
// nothing; otherwise the entries move down one place and the last one drops out.
void PushHistory(std::vector<std::string>& history, const std::string& folder);

}  // namespace velmor
