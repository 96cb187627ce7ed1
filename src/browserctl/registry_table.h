// Registry content described as a table and applied in register or removal mode, in place of registrar
// scripts. A key marked Own is ours: written on registration, removed whole on removal. A key marked Shared
// (HKCR\AppID, HKCR\CLSID, the PreApproved key and its parents) is created when missing but never removed.
// A key marked OwnParent is ours but may hold what is not (another version of the type library): it is
// removed only when nothing is left under it.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace tarnel {

// Owning HKEY.
class RegKey {
public:
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey() { Reset(); }
    HKEY Get() const { return key_; }
    HKEY* Put() {
        Reset();
        return &key_;
    }
    void Reset() {
        if (key_) RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    HKEY key_ = nullptr;
};

enum class KeyKind : uint8_t { Shared, Own, OwnReplaced, OwnParent };

struct RegValue {
    const wchar_t* name;  // nullptr: the key's default value
    const wchar_t* data;  // REG_SZ; may hold %NAME% replacements
};

struct RegEntry {
    HKEY root;
    const wchar_t* path;  // literal, no replacements
    KeyKind kind;
    std::vector<RegValue> values;
};

using Replacements = std::vector<std::pair<std::wstring, std::wstring>>;

// Creates every key and value in table order. An OwnReplaced key is deleted whole before it is written.
HRESULT RegisterTable(const std::vector<RegEntry>& table, const Replacements& replacements);
// Deletes the Own keys (with their subkeys) and the empty OwnParent keys, in reverse order; a key that is
// already gone is no failure, so a removal after a partial one, or of a table never written, succeeds.
HRESULT UnregisterTable(const std::vector<RegEntry>& table);

std::wstring ExpandReplacements(const wchar_t* text, const Replacements& replacements);

}  // namespace tarnel
