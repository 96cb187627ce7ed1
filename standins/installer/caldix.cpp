// A stand-in for the installer tool: what it does is set by environment variables, so that tests can make it
// place a library, fail, or take its time.
//   VELMOR_CALDIX_INSTALL  a library file to copy into the folder above the tool's own (the program's folder)
//   VELMOR_CALDIX_WAIT_MS  milliseconds to wait before ending
//   VELMOR_CALDIX_EXIT     the exit code (default 0)
//   VELMOR_CALDIX_LOG      a file that gets one line per run: the tool's command line
#include <windows.h>

#include <cwchar>
#include <string>

namespace {
std::wstring Env(const wchar_t* name) {
    wchar_t buffer[4096] = {};
    DWORD n = ::GetEnvironmentVariableW(name, buffer, 4096);
    return n > 0 && n < 4096 ? std::wstring(buffer, n) : std::wstring();
}

std::wstring FolderOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}
}  // namespace

int wmain() {
    if (std::wstring log = Env(L"VELMOR_CALDIX_LOG"); !log.empty()) {
        HANDLE f = ::CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f != INVALID_HANDLE_VALUE) {
            std::wstring line = std::wstring(::GetCommandLineW()) + L"\r\n";
            int n = ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
            std::string utf8(static_cast<size_t>(n), '\0');
            ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, utf8.data(), n, nullptr, nullptr);
            DWORD done = 0;
            ::WriteFile(f, utf8.data(), static_cast<DWORD>(utf8.size() - 1), &done, nullptr);
            ::CloseHandle(f);
        }
    }
    if (std::wstring library = Env(L"VELMOR_CALDIX_INSTALL"); !library.empty()) {
        wchar_t self[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring target =
            FolderOf(FolderOf(self)) + L"\\" + library.substr(library.find_last_of(L"\\/") + 1);
        if (!::CopyFileW(library.c_str(), target.c_str(), FALSE)) return 2;
    }
    if (std::wstring wait = Env(L"VELMOR_CALDIX_WAIT_MS"); !wait.empty())
        ::Sleep(static_cast<DWORD>(_wtoi(wait.c_str())));
    std::wstring code = Env(L"VELMOR_CALDIX_EXIT");
    return code.empty() ? 0 : _wtoi(code.c_str());
}
