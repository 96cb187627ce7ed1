// File-system and environment helpers of the test programs.
#include "support/temp_dir.h"

#include <windows.h>

#include <atomic>

#include "archive_formats.h"
#include "platform/handle.h"
#include "platform/sjis.h"
#include "support/test_paths.h"

namespace testsupport {

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    for (;;) {
        std::wstring candidate = std::wstring(base) + L"velmor-test-" +
                                 std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++);
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            path_ = candidate;
            break;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
}

TempDir::~TempDir() {
    if (!path_.empty()) DeleteTree(path_);
}

std::string TempDir::SjisPath() const { return platform::WideToSjis(path_); }
std::string TempDir::SjisFile(std::string_view name) const { return SjisPath() + "\\" + std::string(name); }

void DeleteTree(const std::wstring& path) {
    WIN32_FIND_DATAW fd{};
    platform::UniqueFind find(FindFirstFileW((path + L"\\*").c_str(), &fd));
    if (find) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring full = path + L"\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(full);
            } else {
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(find.Get(), &fd));
    }
    find.Reset();
    RemoveDirectoryW(path.c_str());
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::string> ReadFileBytes(const std::wstring& path) {
    std::string out;
    if (!standin::ReadWholeFile(path, out)) return std::nullopt;
    return out;
}

bool WriteFileBytes(const std::wstring& path, std::string_view data) {
    return standin::WriteWholeFile(path, data);
}

bool WriteFileMakingFolders(const std::wstring& path, std::string_view data) {
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    return WriteFileBytes(path, data);
}

ScopedEnv::ScopedEnv(const wchar_t* name, const std::wstring& value) : name_(name) {
    wchar_t buf[2048];
    DWORD n = GetEnvironmentVariableW(name, buf, 2048);
    if (n > 0 && n < 2048) old_ = std::wstring(buf, n);
    SetEnvironmentVariableW(name, value.c_str());
}

ScopedEnv::~ScopedEnv() { SetEnvironmentVariableW(name_.c_str(), old_ ? old_->c_str() : nullptr); }

std::string UnixPath(const std::wstring& path) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return {};
    char* unix = toUnix(path.c_str());
    if (!unix) return {};
    std::string out = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return out;
}

std::optional<std::string> RunHostPython(const TempDir& dir, std::string_view code,
                                         const std::vector<std::wstring>& args) {
    std::wstring script = dir.File(L"host-check.py"), result = dir.File(L"host-check.out");
    DeleteFileW(result.c_str());
    // Wine does not wait for a Unix child, so the script writes a part file and renames it when done.
    std::string wrapped = "import os, sys\n_final = sys.argv[1]\nsys.argv[1] = _final + '.part'\n";
    wrapped.append(code).append("\nos.replace(sys.argv[1], _final)\n");
    if (!WriteFileBytes(script, wrapped)) return std::nullopt;
    std::string cmd = std::string(kHostPython3) + " " + UnixPath(script) + " " + UnixPath(result);
    for (const std::wstring& a : args) cmd += " " + UnixPath(a);
    std::wstring wcmd = L"Z:" + platform::SjisToWide(cmd.substr(0, cmd.find(' ')));
    for (wchar_t& c : wcmd) c = c == L'/' ? L'\\' : c;
    wcmd += platform::SjisToWide(cmd.substr(cmd.find(' ')));
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, wcmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return std::nullopt;
    platform::UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
    for (int waited = 0; waited < 60000 && !FileExists(result); waited += 50) Sleep(50);
    return ReadFileBytes(result);
}

std::wstring StandinFolder(std::wstring_view scenario) {
    return std::wstring(kStandinsDir) + L"\\" + std::wstring(scenario);
}

std::wstring FixtureFile(std::wstring_view name) {
    return std::wstring(kFixturesDir) + L"\\" + std::wstring(name);
}

}  // namespace testsupport
