// Reads a file's version resource: the twelve standard strings of its first translation and the fixed block.
// A failed read leaves every member empty; the individual steps report HRESULTs for callers that care.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tarnel {

class CFileVersionInfo {
public:
    explicit CFileVersionInfo(const wchar_t* path);
    virtual ~CFileVersionInfo() = default;

    // Language identifier in the low 16 bits, code page in the high 16 bits.
    using Translation = uint32_t;

    HRESULT Create(const wchar_t* path);
    static HRESULT ReadTranslations(const void* block, std::vector<Translation>& list);
    HRESULT ReadStringFileInfo(const wchar_t* path, Translation translation);
    static HRESULT QueryStringValue(const void* block, Translation translation, const wchar_t* key,
                                    std::wstring& target);

    std::wstring FileName;
    std::wstring Comments;
    std::wstring CompanyName;
    std::wstring FileDescription;
    std::wstring FileVersion;
    std::wstring InternalName;
    std::wstring LegalCopyright;
    std::wstring LegalTrademarks;
    std::wstring OriginalFilename;
    std::wstring PrivateBuild;
    std::wstring ProductName;
    std::wstring ProductVersion;
    std::wstring SpecialBuild;
    VS_FIXEDFILEINFO FixedInfo;

private:
    void Clear();
};

}  // namespace tarnel
