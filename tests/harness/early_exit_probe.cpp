// A test program that ends from inside its second test with exit code 0, its other tests unrun, as a crash
// that a runtime turned into a plain exit would. Run by harness_test.sh, whose runner must report it as a
// failure although the code says success.
#include <gtest/gtest.h>
#include <windows.h>

TEST(EarlyExitProbe, Runs) { SUCCEED(); }

TEST(EarlyExitProbe, EndsTheProgram) { ::ExitProcess(0); }

TEST(EarlyExitProbe, NeverRuns) { SUCCEED(); }
