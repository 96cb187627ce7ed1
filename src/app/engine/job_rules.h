// Pure rules of a job: which extensions are extracted, the names of the libraries' result codes, what counts
// as a failure, the version-number cut of folder names and the format switches of an extraction.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TArchiverOptions;

namespace velmor {

// The job-list extensions Velmor extracts; ext with its dot, compared without regard to case.
bool CheckAbleExt(std::string_view ext);

// The name of a library result code for the log, empty when the code has none.
std::string ResultCodeName(int code);
// A failure: an error code of the library (0x8000 and above) or anything negative.
inline bool IsFailureResult(int code) { return code < 0 || code >= 0x8000; }

// Cuts a trailing version or number suffix ("tool_1.20" -> "tool") when `enabled`.
std::string CutTail(const std::string& name, bool enabled);

// The format switches of an extraction by extension; false (and the not-ready log line in `notReadyLine`)
// when the format's library is not ready. Extensions without a table entry leave the options unchanged.
struct TReadyFlags {
    bool Lha, Zip, Cab, Rar, Tar, Gca;
};
bool ApplyFormatSwitches(std::string_view ext, int overWrite, bool ignoreDirectory, const TReadyFlags& ready,
                         TArchiverOptions& options, std::string& notReadyLine);

// Split ".rar" sets, judged on the file name alone with ASCII case ignored. A ".partN.rar" name is the first
// volume when N is all zeros but a final 1, else a later one; `base` is the name before ".partN.rar".
enum class TRarVolume : uint8_t { None, FirstPart, LaterPart };
TRarVolume ClassifyRarVolume(std::string_view name, std::string* base = nullptr);
// base + ".part" + digits + ".rar", or base + ".r" + digits; the volume number, or -1 when not a volume.
long long PartVolumeNumber(std::string_view base, std::string_view name);
long long NumberedVolumeNumber(std::string_view base, std::string_view name);
// The run of a set's volumes by name: of `numbered` (volume number, path), the files numbered `next`,
// next + 1, ... up to the first number no file has, in volume order (two spellings of one number both).
// A file past a gap is no volume of the set; neither is one numbered before `next`.
std::vector<std::string> ContiguousVolumeRun(std::vector<std::pair<long long, std::string>> numbered,
                                             long long next);

// Whether a format's library is given a "newer only" switch for overwrite mode 3 (its extension, lowered,
// with its dot); where it is not, the engine itself keeps the existing files that are newer.
bool HasNewerOnlySwitch(std::string_view ext);
// Mode 3 without a library switch: an existing file stays unless the member is strictly newer (write
// times in 100 ns ticks, as FILETIME counts them).
inline bool KeepsNewerExisting(uint64_t existingTime, uint64_t memberTime) {
    return existingTime >= memberTime;
}

// A bind folder name worth binding: not empty, not only dots and blanks.
bool UsableBindName(std::string_view name);

// Per-file and whole-archive percentages of one progress report, each 0 to 100.
struct TProgressPercents {
    int File;
    int Total;
};
TProgressPercents ProgressPercents(uint32_t size, uint32_t written, double doneBytes, double total);

// ASCII letters lowered by character (a trail byte is never folded).
std::string AsciiLower(std::string_view s);
// Lower-cased extension of a path's bare name, with its dot; empty when it has none.
std::string LowerExt(std::string_view path);

}  // namespace velmor
