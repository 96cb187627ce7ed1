// Pure rules of a job: which extensions are extracted, the names of the libraries' result codes, what counts
// as a failure, the version-number cut of folder names and the format switches of an extraction.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

// Lower-cased extension of a path's bare name, with its dot; empty when it has none.
std::string LowerExt(std::string_view path);

}  // namespace velmor
