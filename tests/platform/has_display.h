// Whether the test runs with an X display (the Xvfb runs): windows with child controls need one under Wine,
// message-only windows do not.
#pragma once

#include <windows.h>

inline bool HasDisplay() {
    wchar_t value[64] = {};
    return GetEnvironmentVariableW(L"DISPLAY", value, 64) > 0 && value[0];
}
