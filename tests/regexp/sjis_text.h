// Test helper: turns UTF-8 literals (u8"...") into Shift-JIS bytes through a table generated from CP932,
// so test texts are the same in every build whatever the compiler's execution character set.
#pragma once

#include <string>
#include <string_view>

namespace regexp_test {

std::string Sj(std::u8string_view utf8);
// UTF-8 (as bytes) to code points.
std::u32string CodePoints(std::string_view utf8);

}  // namespace regexp_test
