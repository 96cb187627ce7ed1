// Version resources come from files we do not control, so every value is copied only within the length the
// system returns, and a failure that sets no error code is still reported as a failure.
#include "browserctl/file_version_info.h"

#include <objbase.h>

#include <cwchar>
#include <memory>

namespace tarnel {
namespace {

struct TaskMemFree {
    void operator()(void* p) const { CoTaskMemFree(p); }
};
using TaskBlock = std::unique_ptr<void, TaskMemFree>;

// HRESULT_FROM_WIN32(0) would be S_OK; a failed call must not read as success.
HRESULT LastErrorHr() {
    DWORD err = GetLastError();
    return err ? HRESULT_FROM_WIN32(err) : E_FAIL;
}

// Loads the version resource into task memory; size 0 or any failure leaves the block empty.
TaskBlock LoadVersionBlock(const wchar_t* path) {
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) return nullptr;
    TaskBlock block(CoTaskMemAlloc(size));
    if (!block) return nullptr;
    if (!GetFileVersionInfoW(path, 0, size, block.get())) return nullptr;
    return block;
}

// The twelve standard strings, in member order.
const struct {
    const wchar_t* key;
    std::wstring CFileVersionInfo::*member;
} kStrings[] = {
    {L"Comments", &CFileVersionInfo::Comments},
    {L"CompanyName", &CFileVersionInfo::CompanyName},
    {L"FileDescription", &CFileVersionInfo::FileDescription},
    {L"FileVersion", &CFileVersionInfo::FileVersion},
    {L"InternalName", &CFileVersionInfo::InternalName},
    {L"LegalCopyright", &CFileVersionInfo::LegalCopyright},
    {L"LegalTrademarks", &CFileVersionInfo::LegalTrademarks},
    {L"OriginalFilename", &CFileVersionInfo::OriginalFilename},
    {L"PrivateBuild", &CFileVersionInfo::PrivateBuild},
    {L"ProductName", &CFileVersionInfo::ProductName},
    {L"ProductVersion", &CFileVersionInfo::ProductVersion},
    {L"SpecialBuild", &CFileVersionInfo::SpecialBuild},
};

}  // namespace

CFileVersionInfo::CFileVersionInfo(const wchar_t* path) : FileName(path ? path : L"") {
    Clear();
    Create(path);
}

void CFileVersionInfo::Clear() {
    for (const auto& s : kStrings) (this->*s.member).clear();
    FixedInfo = VS_FIXEDFILEINFO{};
}

HRESULT CFileVersionInfo::Create(const wchar_t* path) {
    if (!path) return E_FAIL;
    try {
        std::vector<Translation> list;
        {
            TaskBlock block = LoadVersionBlock(path);
            if (!block) return E_FAIL;
            HRESULT hr = ReadTranslations(block.get(), list);
            if (FAILED(hr)) return hr;
        }
        // Without a translation there is no string table to read; report it rather than guess one.
        if (list.empty()) return HRESULT_FROM_WIN32(ERROR_RESOURCE_LANG_NOT_FOUND);
        return ReadStringFileInfo(path, list.front());
    } catch (...) {
        Clear();
        return E_OUTOFMEMORY;
    }
}

HRESULT CFileVersionInfo::ReadTranslations(const void* block, std::vector<Translation>& list) {
    if (!block) return E_FAIL;
    list.clear();
    void* data = nullptr;
    UINT len = 0;
    SetLastError(0);
    if (!VerQueryValueW(block, L"\\VarFileInfo\\Translation", &data, &len)) return LastErrorHr();
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (UINT at = 0; data && at + sizeof(Translation) <= len; at += sizeof(Translation)) {
        WORD language, codePage;
        memcpy(&language, bytes + at, sizeof(WORD));
        memcpy(&codePage, bytes + at + sizeof(WORD), sizeof(WORD));
        list.push_back(static_cast<Translation>(language) | (static_cast<Translation>(codePage) << 16));
    }
    return S_OK;
}

HRESULT CFileVersionInfo::ReadStringFileInfo(const wchar_t* path, Translation translation) {
    if (!path) return E_FAIL;
    TaskBlock block = LoadVersionBlock(path);
    if (!block) return E_OUTOFMEMORY;
    for (const auto& s : kStrings) QueryStringValue(block.get(), translation, s.key, this->*s.member);
    void* data = nullptr;
    UINT len = 0;
    if (VerQueryValueW(block.get(), L"\\", &data, &len) && data) {
        FixedInfo = VS_FIXEDFILEINFO{};
        memcpy(&FixedInfo, data, len < sizeof(FixedInfo) ? len : sizeof(FixedInfo));
    }
    return S_OK;
}

HRESULT CFileVersionInfo::QueryStringValue(const void* block, Translation translation, const wchar_t* key,
                                           std::wstring& target) {
    if (!block) return E_FAIL;
    target.clear();
    if (!key) return E_INVALIDARG;
    wchar_t name[128];
    int n =
        swprintf(name, std::size(name), L"\\StringFileInfo\\%04x%04x\\%ls",
                 static_cast<unsigned>(translation & 0xFFFF), static_cast<unsigned>(translation >> 16), key);
    if (n < 0 || static_cast<size_t>(n) >= std::size(name)) return E_INVALIDARG;
    void* data = nullptr;
    UINT len = 0;
    SetLastError(0);
    if (!VerQueryValueW(block, name, &data, &len)) return LastErrorHr();
    // len counts characters; the value need not be terminated within it.
    if (data)
        target.assign(static_cast<const wchar_t*>(data), wcsnlen(static_cast<const wchar_t*>(data), len));
    return S_OK;
}

}  // namespace tarnel
