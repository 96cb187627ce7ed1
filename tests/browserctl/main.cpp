// Test entry: the control lives in a single-threaded apartment, as in the browser.
#include <gtest/gtest.h>
#include <ole2.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (FAILED(OleInitialize(nullptr))) return 2;
    int rc = RUN_ALL_TESTS();
    OleUninitialize();
    return rc;
}
