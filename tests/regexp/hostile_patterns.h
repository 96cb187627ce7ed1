// Patterns that once took seconds or hundreds of megabytes to compile, shared by the budget tests, the
// benchmark and the fuzz targets' time limit.
#pragma once

#include <string>
#include <vector>

namespace regexp_test {

// The i-th of a run of consecutive double-byte characters (lead 0x88 onwards, every trail byte).
std::string DoubleByteRun(int i);

// A class of the first n characters of that run followed by m dots: every "." splits into n pieces.
std::string ClassThenDots(int n, int m);
// n double-byte characters, each followed by ".*".
std::string CharsThenAny(int n);

struct HostilePattern {
    const char* Label;
    std::string Pattern;
};
std::vector<HostilePattern> HostilePatterns();

}  // namespace regexp_test
