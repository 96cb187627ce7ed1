// The version reader on small fixture programs, one per shape of version resource.
#include "browserctl/file_version_info.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace tarnel {
namespace {

std::wstring Fixture(const wchar_t* name) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.rfind(L'\\')) + L"\\fixtures\\" + name;
}

std::string LoadBlock(const std::wstring& path) {
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    std::string block(size, '\0');
    if (size && !GetFileVersionInfoW(path.c_str(), 0, size, block.data())) block.clear();
    return block;
}

void ExpectAllEmpty(const CFileVersionInfo& info) {
    for (const std::wstring* s :
         {&info.Comments, &info.CompanyName, &info.FileDescription, &info.FileVersion, &info.InternalName,
          &info.LegalCopyright, &info.LegalTrademarks, &info.OriginalFilename, &info.PrivateBuild,
          &info.ProductName, &info.ProductVersion, &info.SpecialBuild}) {
        EXPECT_EQ(*s, L"");
    }
    EXPECT_EQ(info.FixedInfo.dwSignature, 0u);
    EXPECT_EQ(info.FixedInfo.dwFileVersionMS, 0u);
}

TEST(FileVersionInfo, ReadsEveryMember) {
    std::wstring path = Fixture(L"vfix_full.exe");
    CFileVersionInfo info(path.c_str());
    EXPECT_EQ(info.FileName, path);
    EXPECT_EQ(info.Comments, L"comments");
    EXPECT_EQ(info.CompanyName, L"company");
    EXPECT_EQ(info.FileDescription, L"description");
    EXPECT_EQ(info.FileVersion, L"1, 2, 3, 4");
    EXPECT_EQ(info.InternalName, L"internal");
    EXPECT_EQ(info.LegalCopyright, L"copyright");
    EXPECT_EQ(info.LegalTrademarks, L"trademarks");
    EXPECT_EQ(info.OriginalFilename, L"original.exe");
    EXPECT_EQ(info.PrivateBuild, L"private");
    EXPECT_EQ(info.ProductName, L"product");
    EXPECT_EQ(info.ProductVersion, L"5, 6, 7, 8");
    EXPECT_EQ(info.SpecialBuild, L"special");
    EXPECT_EQ(info.FixedInfo.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(info.FixedInfo.dwFileVersionMS, 0x00010002u);
    EXPECT_EQ(info.FixedInfo.dwFileVersionLS, 0x00030004u);
    EXPECT_EQ(info.FixedInfo.dwProductVersionMS, 0x00050006u);
    EXPECT_EQ(info.Create(path.c_str()), S_OK);
}

TEST(FileVersionInfo, MissingStringLeavesOnlyThatMemberEmpty) {
    std::wstring path = Fixture(L"vfix_no_special.exe");
    CFileVersionInfo info(path.c_str());
    EXPECT_EQ(info.SpecialBuild, L"");
    EXPECT_EQ(info.Comments, L"comments");
    EXPECT_EQ(info.ProductVersion, L"5, 6, 7, 8");
    EXPECT_EQ(info.Create(path.c_str()), S_OK);
}

TEST(FileVersionInfo, FirstOfTwoTranslationsIsUsed) {
    std::wstring path = Fixture(L"vfix_two_translations.exe");
    CFileVersionInfo info(path.c_str());
    EXPECT_EQ(info.FileVersion, L"english");
    EXPECT_EQ(info.Comments, L"");

    std::string block = LoadBlock(path);
    ASSERT_FALSE(block.empty());
    std::vector<CFileVersionInfo::Translation> list;
    EXPECT_EQ(CFileVersionInfo::ReadTranslations(block.data(), list), S_OK);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], 0x04B00409u);
    EXPECT_EQ(list[1], 0x04B00411u);
    std::wstring value = L"stale";
    EXPECT_EQ(CFileVersionInfo::QueryStringValue(block.data(), list[1], L"SpecialBuild", value), S_OK);
    EXPECT_EQ(value, L"special");
    value = L"stale";
    EXPECT_TRUE(FAILED(CFileVersionInfo::QueryStringValue(block.data(), list[0], L"SpecialBuild", value)));
    EXPECT_EQ(value, L"");
    EXPECT_EQ(CFileVersionInfo::QueryStringValue(nullptr, list[0], L"FileVersion", value), E_FAIL);
    EXPECT_EQ(CFileVersionInfo::ReadTranslations(nullptr, list), E_FAIL);
}

TEST(FileVersionInfo, FailuresLeaveEverythingEmpty) {
    const struct {
        const wchar_t* fixture;
    } cases[] = {{L"vfix_no_varinfo.exe"}, {L"vfix_empty_translation.exe"}, {L"missing.exe"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.fixture)));
        std::wstring path = Fixture(c.fixture);
        CFileVersionInfo info(path.c_str());
        ExpectAllEmpty(info);
        HRESULT hr = info.Create(path.c_str());
        EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
        ExpectAllEmpty(info);
    }
    // The empty list really is empty (not a missing value), and is still refused.
    std::string block = LoadBlock(Fixture(L"vfix_empty_translation.exe"));
    ASSERT_FALSE(block.empty());
    std::vector<CFileVersionInfo::Translation> list{1};
    EXPECT_EQ(CFileVersionInfo::ReadTranslations(block.data(), list), S_OK);
    EXPECT_TRUE(list.empty());
    block = LoadBlock(Fixture(L"vfix_no_varinfo.exe"));
    ASSERT_FALSE(block.empty());
    EXPECT_TRUE(FAILED(CFileVersionInfo::ReadTranslations(block.data(), list)));

    CFileVersionInfo none(nullptr);
    EXPECT_EQ(none.Create(nullptr), E_FAIL);
    EXPECT_EQ(none.ReadStringFileInfo(nullptr, 0), E_FAIL);
    std::wstring missing = Fixture(L"missing.exe");
    EXPECT_EQ(none.ReadStringFileInfo(missing.c_str(), 0x04B00411), E_OUTOFMEMORY);
}

}  // namespace
}  // namespace tarnel
