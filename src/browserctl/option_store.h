// The product's per-user option values in the registry, and the path helpers that the version reader and the
// site check share. Options are REG_DWORD values of one key whose place depends on the system version.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tarnel {

inline constexpr wchar_t kOptionsKeyLow[] = L"Software\\AppDataLow\\Software\\Pexlo\\Plugin2\\Options";
inline constexpr wchar_t kOptionsKeyClassic[] = L"Software\\Pexlo\\Plugin2\\Options";
inline constexpr size_t kPathBuffer = MAX_PATH;

// The options key under HKEY_CURRENT_USER, decided again at every call.
const wchar_t* OptionsKeyPath();

// Reads the named option; a missing, unreadable or over-long value gives -1. Null out pointer: E_POINTER.
HRESULT GetOptions(const wchar_t* name, long* plVal);
// Writes the named option as REG_DWORD; *pVal (when given) is 1 on success, 0 on failure. Always S_OK.
HRESULT SetOptions(const wchar_t* name, long lVal, short* pVal);

// Full file name of a module, however long it is.
std::wstring GetModulePath(HMODULE module);
// The path without its last component; nullopt when the path does not fit the 260-character buffer.
std::optional<std::wstring> GetParentPath(const wchar_t* path);

// The module that holds this code (the server DLL, or a test program that links the library).
HMODULE ThisModule();

}  // namespace tarnel
