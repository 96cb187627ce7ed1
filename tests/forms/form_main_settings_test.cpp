// The settings file is Shift-JIS whatever the machine's ANSI code page: a saved folder whose trail bytes are
// 0x5C comes back unchanged, and the file holds the CP932 bytes. This program runs once more under a
// non-Japanese locale (ctest forms_tests_western) for exactly this case.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/ini_control.h"
#include "platform/handle.h"
#include "platform/ini_file.h"
#include "platform/sjis.h"

using namespace velmor;

TEST(MainWindowSettings, ShiftJisRoundTripUnderAnyCodePage) {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    std::string path = platform::WideToSjis(temp) + "velmor_settings_test.ini";
    ::DeleteFileW(platform::SjisToWide(path).c_str());
    const std::string folder = "C:\\表\\ソフト\\";
    {
        TIniControl saved;
        platform::TIniFile ini(path);
        saved.Load(ini);
        saved.SpecialFolder = folder;
        saved.MRU_MoveFolder[2] = "D:\\予定表\\";
        saved.WindowX = 123;
        saved.Save(ini);
    }
    TIniControl loaded;
    platform::TIniFile ini(path);
    loaded.Load(ini);
    EXPECT_EQ(loaded.SpecialFolder, folder);
    EXPECT_EQ(loaded.MRU_MoveFolder[2], "D:\\予定表\\");
    EXPECT_EQ(loaded.WindowX, 123);
    EXPECT_EQ(loaded.KBDeleteLog, 2000);

    platform::UniqueFile f(::CreateFileW(platform::SjisToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    char buffer[8192];
    DWORD got = 0;
    ASSERT_TRUE(::ReadFile(f.Get(), buffer, sizeof(buffer), &got, nullptr));
    std::string bytes(buffer, got);
    EXPECT_NE(bytes.find("SpecialFolder=C:\\\x95\x5C\\\x83\x5C\x83\x74\x83\x67\\\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("[App]\r\n"), std::string::npos);
    f.Reset();
    ::DeleteFileW(platform::SjisToWide(path).c_str());
}

TEST(MainWindowSettings, ProfileRules) {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    std::string path = platform::WideToSjis(temp) + "velmor_profile_rules.ini";
    {
        platform::UniqueFile f(::CreateFileW(platform::SjisToWide(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        std::string text =
            "; comment\r\n[Main]\r\n  Quoted = \"a b\"  \r\nplain=1\r\n\r\n[Other]\r\nplain=2\n";
        DWORD done = 0;
        ::WriteFile(f.Get(), text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    }
    platform::TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("main", "QUOTED", "-"), "a b");
    EXPECT_EQ(ini.ReadInteger("Other", "plain", 0), 2);
    ini.WriteString("Main", "added", "x");
    ini.WriteString("Main", "plain", "3");
    EXPECT_EQ(ini.ReadString("Main", "added", ""), "x");
    EXPECT_EQ(ini.ReadInteger("Main", "plain", 0), 3);
    EXPECT_EQ(ini.ReadInteger("Other", "plain", 0), 2);
    ::DeleteFileW(platform::SjisToWide(path).c_str());
}
