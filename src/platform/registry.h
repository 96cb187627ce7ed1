// Registry access under a selectable root key, one open key at a time. Texts are Shift-JIS. Failures are
// reported by return value; a non-creating open asks for read access only.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/handle.h"

namespace platform {

class TRegistry {
public:
    explicit TRegistry(HKEY root = HKEY_CURRENT_USER) : root_(root) {}
    HKEY RootKey() const noexcept { return root_; }
    void SetRootKey(HKEY root) {
        CloseKey();
        root_ = root;
    }

    // Opens a key below the root: with canCreate it is created when missing and opened for writing too.
    bool OpenKey(std::string_view path, bool canCreate);
    bool OpenKeyReadOnly(std::string_view path) { return OpenKey(path, false); }
    void CloseKey() noexcept { key_.Reset(); }
    HKEY CurrentKey() const noexcept { return key_.Get(); }

    bool KeyExists(std::string_view path) const;
    // Deletes a key below the root with everything under it.
    bool DeleteKey(std::string_view path);

    bool ValueExists(std::string_view name) const;
    std::optional<std::string> ReadString(std::string_view name) const;
    bool WriteString(std::string_view name, std::string_view value);
    std::optional<DWORD> ReadInteger(std::string_view name) const;
    bool WriteInteger(std::string_view name, DWORD value);
    bool DeleteValue(std::string_view name);

private:
    HKEY root_;
    UniqueHKey key_;
};

}  // namespace platform
