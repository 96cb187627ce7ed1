// Removal walks the table backwards so that subkeys go before their parents, and it never touches a Shared
// key: those belong to the system and to other servers.
#include "browserctl/registry_table.h"

namespace tarnel {

std::wstring ExpandReplacements(const wchar_t* text, const Replacements& replacements) {
    std::wstring out = text ? text : L"";
    for (const auto& [name, value] : replacements) {
        std::wstring token = L"%" + name + L"%";
        for (size_t at = out.find(token); at != std::wstring::npos; at = out.find(token, at + value.size())) {
            out.replace(at, token.size(), value);
        }
    }
    return out;
}

HRESULT RegisterTable(const std::vector<RegEntry>& table, const Replacements& replacements) {
    try {
        for (const RegEntry& entry : table) {
            std::wstring path = entry.path;
            if (entry.kind == KeyKind::OwnReplaced) {
                LSTATUS rc = RegDeleteTreeW(entry.root, path.c_str());
                if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(rc);
            }
            RegKey key;
            LSTATUS rc = RegCreateKeyExW(entry.root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                         key.Put(), nullptr);
            if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
            for (const RegValue& value : entry.values) {
                std::wstring data = ExpandReplacements(value.data, replacements);
                rc = RegSetValueExW(key.Get(), value.name, 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(data.c_str()),
                                    static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
                if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
            }
        }
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

namespace {

bool HasSubkeys(HKEY root, const wchar_t* path) {
    RegKey key;
    DWORD subkeys = 0;
    return RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, key.Put()) == ERROR_SUCCESS &&
           RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys > 0;
}

}  // namespace

HRESULT UnregisterTable(const std::vector<RegEntry>& table) {
    for (auto it = table.rbegin(); it != table.rend(); ++it) {
        if (it->kind == KeyKind::Shared) continue;
        if (it->kind == KeyKind::OwnParent) {
            if (HasSubkeys(it->root, it->path)) continue;
            LSTATUS rc = RegDeleteKeyW(it->root, it->path);
            if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(rc);
            continue;
        }
        LSTATUS rc = RegDeleteTreeW(it->root, it->path);
        if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) rc = RegDeleteKeyW(it->root, it->path);
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(rc);
    }
    return S_OK;
}

}  // namespace tarnel
