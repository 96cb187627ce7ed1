// The option store against Wine's registry, and the path helpers.
#include "browserctl/option_store.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <string>

namespace tarnel {
namespace {

class OptionStore : public testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kOptionsKeyLow);
        RegDeleteTreeW(HKEY_CURRENT_USER, kOptionsKeyClassic);
    }
    static void PutRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kOptionsKeyLow, name, type, data, size), ERROR_SUCCESS);
    }
};

TEST_F(OptionStore, UsesTheAppDataLowKeyOnThisSystem) { EXPECT_STREQ(OptionsKeyPath(), kOptionsKeyLow); }

TEST_F(OptionStore, NeverWrittenReadsMinusOne) {
    long value = 123;
    EXPECT_EQ(GetOptions(L"Never", &value), S_OK);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(GetOptions(L"Never", nullptr), E_POINTER);
}

TEST_F(OptionStore, RoundTripsUnderAppDataLow) {
    for (long written : {5L, 0L, -7L, LONG_MIN, LONG_MAX}) {
        SCOPED_TRACE(written);
        short ok = -5;
        EXPECT_EQ(SetOptions(L"A", written, &ok), S_OK);
        EXPECT_EQ(ok, 1);
        long read = 0;
        EXPECT_EQ(GetOptions(L"A", &read), S_OK);
        EXPECT_EQ(read, written);
        DWORD raw = 0, size = sizeof(raw), type = 0;
        ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kOptionsKeyLow, L"A", RRF_RT_ANY, &type, &raw, &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(static_cast<long>(raw), written);
    }
    HKEY classic = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, kOptionsKeyClassic, 0, KEY_READ, &classic), ERROR_SUCCESS);
}

TEST_F(OptionStore, NullOutStillWrites) {
    EXPECT_EQ(SetOptions(L"B", 42, nullptr), S_OK);
    long read = 0;
    EXPECT_EQ(GetOptions(L"B", &read), S_OK);
    EXPECT_EQ(read, 42);
}

TEST_F(OptionStore, FailedWriteReportsZero) {
    // The registry refuses a value name this long.
    std::wstring name(20000, L'n');
    short ok = 7;
    EXPECT_EQ(SetOptions(name.c_str(), 5, &ok), S_OK);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(SetOptions(name.c_str(), 5, nullptr), S_OK);
    ok = 7;
    EXPECT_EQ(SetOptions(L"C", 5, &ok), S_OK);
    EXPECT_EQ(ok, 1);
}

TEST_F(OptionStore, ReadsOddValueTypesWithinFourBytes) {
    const unsigned char two[] = {0x34, 0x12};
    const unsigned long long eight = 0x1122334455667788ull;
    const wchar_t oneChar[] = L"a";
    const wchar_t longText[] = L"longer text";
    PutRaw(L"Binary2", REG_BINARY, two, sizeof(two));
    PutRaw(L"Qword", REG_QWORD, &eight, sizeof(eight));
    PutRaw(L"Text1", REG_SZ, oneChar, sizeof(oneChar));
    PutRaw(L"TextLong", REG_SZ, longText, sizeof(longText));
    PutRaw(L"Empty", REG_BINARY, nullptr, 0);
    const struct {
        const wchar_t* name;
        long expected;
    } cases[] = {
        {L"Binary2", 0x1234},  // the upper bytes are zero, not left over
        {L"Qword", -1},       {L"Text1", 0x61}, {L"TextLong", -1}, {L"Empty", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        long read = 77;
        EXPECT_EQ(GetOptions(c.name, &read), S_OK);
        EXPECT_EQ(read, c.expected);
    }
}

TEST(PathHelpers, ParentPath) {
    const struct {
        const wchar_t* path;
        const wchar_t* parent;
    } cases[] = {
        {L"C:\\dir\\file.txt", L"C:\\dir"},
        {L"C:\\file.txt", L"C:\\"},
        {L"file://C:\\Pexlo\\a.html", L"file://C:\\Pexlo"},
        {L"file://\\\\srv\\share\\a.html", L"file://\\\\srv\\share"},
        {L"name", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.path)));
        std::optional<std::wstring> parent = GetParentPath(c.path);
        ASSERT_TRUE(parent);
        EXPECT_EQ(*parent, c.parent);
    }
    EXPECT_TRUE(GetParentPath(std::wstring(259, L'a').c_str()));
    EXPECT_FALSE(GetParentPath(std::wstring(260, L'a').c_str()));
    EXPECT_FALSE(GetParentPath(nullptr));
}

TEST(PathHelpers, ModulePathOfThisProgram) {
    wchar_t expected[MAX_PATH];
    GetModuleFileNameW(nullptr, expected, MAX_PATH);
    EXPECT_EQ(GetModulePath(nullptr), expected);
    EXPECT_EQ(GetModulePath(ThisModule()), expected);
}

TEST(PathHelpers, LongModulePathIsNotCut) {
    // A copy of a fixture program deep enough that its path passes 260 characters.
    wchar_t self[MAX_PATH], temp[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring source = self;
    source = source.substr(0, source.rfind(L'\\')) + L"\\fixtures\\vfix_full.exe";
    GetTempPathW(MAX_PATH, temp);
    std::wstring dir = std::wstring(L"\\\\?\\") + temp + L"tarnel-long";
    CreateDirectoryW(dir.c_str(), nullptr);
    while (dir.size() < 300) {
        dir += L"\\abcdefghijklmnopqrstuvwxyz0123456789";
        CreateDirectoryW(dir.c_str(), nullptr);
    }
    std::wstring target = dir + L"\\long.exe";
    ASSERT_TRUE(CopyFileW(source.c_str(), target.c_str(), FALSE)) << GetLastError();
    HMODULE module = LoadLibraryExW(target.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!module) GTEST_SKIP() << "this loader does not load from a long path";
    std::wstring path = GetModulePath(module);
    FreeLibrary(module);
    EXPECT_GT(path.size(), static_cast<size_t>(MAX_PATH));
    EXPECT_NE(path.find(L"long.exe"), std::wstring::npos);
}

}  // namespace
}  // namespace tarnel
