// Registry access through the W functions, converting names and values at the boundary.
#include "platform/registry.h"

#include <vector>

#include "platform/sjis.h"

namespace platform {

bool TRegistry::OpenKey(std::string_view path, bool canCreate) {
    CloseKey();
    std::wstring w = SjisToWide(path);
    LONG r;
    if (canCreate) {
        r = ::RegCreateKeyExW(root_, w.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key_.Put(),
                              nullptr);
    } else {
        r = ::RegOpenKeyExW(root_, w.c_str(), 0, KEY_READ, key_.Put());
    }
    if (r != ERROR_SUCCESS) key_.Release();
    return r == ERROR_SUCCESS;
}

bool TRegistry::KeyExists(std::string_view path) const {
    UniqueHKey key;
    return ::RegOpenKeyExW(root_, SjisToWide(path).c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

bool TRegistry::DeleteKey(std::string_view path) {
    return ::RegDeleteTreeW(root_, SjisToWide(path).c_str()) == ERROR_SUCCESS &&
           ::RegDeleteKeyW(root_, SjisToWide(path).c_str()) != ERROR_ACCESS_DENIED;
}

bool TRegistry::ValueExists(std::string_view name) const {
    return key_ && ::RegQueryValueExW(key_.Get(), SjisToWide(name).c_str(), nullptr, nullptr, nullptr,
                                      nullptr) == ERROR_SUCCESS;
}

std::optional<std::string> TRegistry::ReadString(std::string_view name) const {
    if (!key_) return std::nullopt;
    std::wstring w = SjisToWide(name);
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key_.Get(), w.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key_.Get(), w.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                           &size) != ERROR_SUCCESS)
        return std::nullopt;
    return WideToSjis(buffer.data());
}

bool TRegistry::WriteString(std::string_view name, std::string_view value) {
    if (!key_) return false;
    std::wstring v = SjisToWide(value);
    return ::RegSetValueExW(key_.Get(), SjisToWide(name).c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(v.c_str()),
                            static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

std::optional<DWORD> TRegistry::ReadInteger(std::string_view name) const {
    if (!key_) return std::nullopt;
    DWORD type = 0, value = 0, size = sizeof(value);
    if (::RegQueryValueExW(key_.Get(), SjisToWide(name).c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return std::nullopt;
    return value;
}

bool TRegistry::WriteInteger(std::string_view name, DWORD value) {
    return key_ && ::RegSetValueExW(key_.Get(), SjisToWide(name).c_str(), 0, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&value), sizeof(value)) == ERROR_SUCCESS;
}

bool TRegistry::DeleteValue(std::string_view name) {
    return key_ && ::RegDeleteValueW(key_.Get(), SjisToWide(name).c_str()) == ERROR_SUCCESS;
}

}  // namespace platform
