// The product's per-user option values in the registry, and the path helpers that the version reader and the
// site check share. Options are REG_DWORD values of one key whose place depends on the system version.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace tarnel {

inline constexpr wchar_t kOptionsKeyLow[] = L"Software\\AppDataLow\\Software\\Pexlo\\Plugin2\\Options";
inline constexpr wchar_t kOptionsKeyClassic[] = L"Software\\Pexlo\\Plugin2\\Options";
inline constexpr size_t kPathBuffer = MAX_PATH;

// The options key under HKEY_CURRENT_USER, decided again at every call.
const wchar_t* OptionsKeyPath();

// A name the store accepts: any name without a NUL inside (the registry would cut the name there, and it
// would meet another option). The empty name, which a null BSTR is too, is the key's default value. Other
// names the registry refuses (too long) fail when they are used.
bool IsOptionName(std::wstring_view name);

// Reads the named option; a missing, unreadable or over-long value gives -1, and so does a refused name. Null
// out pointer: E_POINTER.
HRESULT GetOptions(std::wstring_view name, long* plVal);
// Writes the named option as REG_DWORD; *pVal (when given) is 1 on success, 0 on failure (a refused name
// writes nothing). Always S_OK.
HRESULT SetOptions(std::wstring_view name, long lVal, short* pVal);

// Full file name of a module, however long it is.
std::wstring GetModulePath(HMODULE module);
// The path without its last component; nullopt when the path does not fit the 260-character buffer.
std::optional<std::wstring> GetParentPath(const wchar_t* path);

// The module that holds this code (the server DLL, or a test program that links the library).
HMODULE ThisModule();

}  // namespace tarnel
