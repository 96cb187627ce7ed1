// Stands in for the program behind a shell verb: appends its own command line, as the shell built it, to the
// file named by VELMOR_VERB_LOG (UTF-16), so that a test sees exactly what a user's double-click would start.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    wchar_t log[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"VELMOR_VERB_LOG", log, MAX_PATH)) return 2;
    HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    const wchar_t* line = GetCommandLineW();
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(lstrlenW(line) * sizeof(wchar_t)), &written, nullptr);
    WriteFile(file, L"\n", sizeof(wchar_t), &written, nullptr);
    CloseHandle(file);
    return 0;
}
