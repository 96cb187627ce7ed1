// Option values live under the AppDataLow branch on systems of major version 6 or later, which is the branch
// a low-integrity browser process may write; older systems use the classic product key.
#include "browserctl/option_store.h"

#include <shlwapi.h>

#include <vector>

#include "browserctl/com_module.h"

namespace tarnel {

const wchar_t* OptionsKeyPath() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (GetVersionExW(&info) && info.dwMajorVersion >= 6) return kOptionsKeyLow;
    return kOptionsKeyClassic;
}

bool IsOptionName(std::wstring_view name) { return name.find(L'\0') == std::wstring_view::npos; }

HRESULT GetOptions(std::wstring_view name, long* plVal) {
    if (!plVal) return E_POINTER;
    try {
        if (!IsOptionName(name)) {
            *plVal = -1;
            return S_OK;
        }
        // Zero-filled first: a shorter value (REG_BINARY of two bytes) must not leave stale bytes behind.
        DWORD data = 0;
        DWORD size = sizeof(data);
        DWORD type = 0;
        LSTATUS rc =
            SHGetValueW(HKEY_CURRENT_USER, OptionsKeyPath(), std::wstring(name).c_str(), &type, &data, &size);
        *plVal = rc == ERROR_SUCCESS ? static_cast<long>(data) : -1;
        return S_OK;
    } catch (...) {
        *plVal = -1;
        return S_OK;
    }
}

HRESULT SetOptions(std::wstring_view name, long lVal, short* pVal) {
    try {
        DWORD data = static_cast<DWORD>(lVal);
        LSTATUS rc = IsOptionName(name)
                         ? SHSetValueW(HKEY_CURRENT_USER, OptionsKeyPath(), std::wstring(name).c_str(),
                                       REG_DWORD, &data, sizeof(data))
                         : ERROR_INVALID_PARAMETER;
        if (pVal) *pVal = rc == ERROR_SUCCESS ? 1 : 0;
    } catch (...) {
        if (pVal) *pVal = 0;
    }
    return S_OK;
}

std::wstring GetModulePath(HMODULE module) {
    // A full buffer means the name was cut: grow until it fits, so nothing registers a truncated path.
    std::vector<wchar_t> buffer(kPathBuffer);
    for (;;) {
        DWORD n = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::wstring> GetParentPath(const wchar_t* path) {
    if (!path) return std::nullopt;
    wchar_t buffer[kPathBuffer];
    size_t len = wcsnlen(path, kPathBuffer);
    if (len >= kPathBuffer) return std::nullopt;
    wmemcpy(buffer, path, len + 1);
    PathRemoveFileSpecW(buffer);
    return std::wstring(buffer);
}

HMODULE ThisModule() {
    if (HINSTANCE instance = Module().Instance()) return instance;
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

}  // namespace tarnel
