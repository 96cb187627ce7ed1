// Ini files and the registry: the integer rules, Shift-JIS values through the W functions, the write error,
// and read-only opens. Registry cases use a scratch key removed before and after.
#include <gtest/gtest.h>

#include <thread>

#include <windows.h>

#include "platform/file_stream.h"
#include "platform/ini_file.h"
#include "platform/registry.h"
#include "platform/sjis.h"

using namespace platform;

namespace {
std::string TempDir() {
    wchar_t buffer[MAX_PATH];
    GetTempPathW(MAX_PATH, buffer);
    return WideToSjis(buffer);
}
void Remove(const std::string& path) { DeleteFileW(SjisToWide(path).c_str()); }
}  // namespace

TEST(IniFile, IntegerRules) {
    struct Case {
        const char* text;
        bool ok;
        int value;
    } cases[] = {
        {"16", true, 16},
        {"0x10", true, 16},
        {"0X1f", true, 31},
        {"-7", true, -7},
        {" 42 ", true, 42},
        {"abc", false, 0},
        {"", false, 0},
        {"0x", false, 0},
        {"12a", false, 0},
        {"2147483648", false, 0},
        {"-2147483648", true, INT_MIN},
        {"0xFFFFFFFF", true, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int v = 0;
        EXPECT_EQ(ParseIniInteger(c.text, v), c.ok);
        if (c.ok) {
            EXPECT_EQ(v, c.value);
        }
    }
}

TEST(IniFile, ShiftJisRoundTripAndWriteError) {
    std::string path = TempDir() + "\x95\x5C_ini_test.ini";  // 表_ini_test.ini
    {
        TIniFile ini(path);
        ini.WriteString("Main", "SpecialFolder", "C:\\表\\ソフト");
        ini.WriteInteger("Main", "BindNum", -3);
        ini.WriteBool("App", "TopMost", true);
        EXPECT_EQ(ini.ReadString("Main", "SpecialFolder", ""), "C:\\表\\ソフト");
        EXPECT_EQ(ini.ReadInteger("Main", "BindNum", 0), -3);
        EXPECT_TRUE(ini.ReadBool("App", "TopMost", false));
        EXPECT_EQ(ini.ReadString("Main", "Missing", "既定"), "既定");
        EXPECT_EQ(ini.ReadInteger("Main", "SpecialFolder", 9), 9);
        // A long value is read through the 2048-byte buffer, never splitting a character.
        std::string longValue = "a";
        for (int i = 0; i < 1100; ++i) longValue += "表";
        ini.WriteString("Main", "Long", longValue);
        std::string read = ini.ReadString("Main", "Long", "");
        EXPECT_EQ(read.size(), 2047u);
        EXPECT_EQ(read, longValue.substr(0, 2047));
    }
    TIniFile bad(TempDir() + "no such folder\\sub\\x.ini");
    EXPECT_THROW(bad.WriteString("S", "K", "v"), EIniFileException);
    Remove(path);
}

TEST(IniFile, AWriteReplacesTheFileWholeOrNotAtAll) {
    const std::string path = TempDir() + "velmor_replace_test.ini";
    SetFileAttributesW(SjisToWide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    Remove(path);
    auto contents = [&] {
        std::string data;
        HANDLE f = CreateFileW(SjisToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE) return std::string("<missing>");
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(f, buffer, sizeof(buffer), &got, nullptr) && got) data.append(buffer, got);
        CloseHandle(f);
        return data;
    };
    {
        TIniFile first(path);
        first.WriteString("Main", "Keep", "1");
    }
    ASSERT_TRUE(ReplaceFileContents(path, "; a comment\r\n[Main]\r\nKeep=1\r\n"));
    {
        // Nothing reaches the file before UpdateFile, and then everything at once, the comment kept.
        TMemIniFile ini(path);
        ini.WriteString("Main", "BindNum", "3");
        ini.WriteString("新規", "値", "表");
        EXPECT_EQ(ini.ReadString("Main", "BindNum", ""), "3");
        EXPECT_EQ(contents(), "; a comment\r\n[Main]\r\nKeep=1\r\n");
        ini.UpdateFile();
    }
    EXPECT_EQ(contents(), "; a comment\r\n[Main]\r\nKeep=1\r\nBindNum=3\r\n[新規]\r\n値=表\r\n");
    // A read-only file is neither replaced nor truncated, by either kind of write.
    const std::string before = contents();
    ASSERT_TRUE(SetFileAttributesW(SjisToWide(path).c_str(), FILE_ATTRIBUTE_READONLY));
    TMemIniFile readOnly(path);
    readOnly.WriteString("Main", "BindNum", "9");
    EXPECT_THROW(readOnly.UpdateFile(), EIniFileException);
    EXPECT_THROW(TIniFile(path).WriteString("Main", "BindNum", "9"), EIniFileException);
    EXPECT_EQ(contents(), before);
    SetFileAttributesW(SjisToWide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    // No new file is left beside it.
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW(SjisToWide(path + ".*.tmp").c_str(), &found);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE);
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    TMemIniFile missing(TempDir() + "no such folder\\x.ini");
    EXPECT_THROW(missing.UpdateFile(), EIniFileException);
    Remove(path);
}

TEST(IniFile, AWriteWaitsOutAnotherProgramsGlanceAtTheFile) {
    const std::string path = TempDir() + "velmor_glance_test.ini";
    const std::wstring wide = SjisToWide(path);
    ASSERT_TRUE(ReplaceFileContents(path, "[Main]\r\nKeep=1\r\n"));
    auto open = [&] {
        HANDLE held = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(held, INVALID_HANDLE_VALUE);
        return held;
    };
    // Held open briefly, as a scanner does: let go once the write is seen waiting (its new file stands
    // beside the old one), the write goes through.
    HANDLE held = open();
    std::thread glance([&] {
        const std::wstring pattern = wide + L".*.tmp";
        const DWORD start = GetTickCount();
        for (bool waiting = false; !waiting && GetTickCount() - start < 60000; Sleep(1)) {
            WIN32_FIND_DATAW found{};
            HANDLE find = FindFirstFileW(pattern.c_str(), &found);
            waiting = find != INVALID_HANDLE_VALUE;
            if (waiting) FindClose(find);
        }
        CloseHandle(held);
    });
    EXPECT_TRUE(ReplaceFileContents(path, "[Main]\r\nKeep=2\r\n"));
    glance.join();
    EXPECT_EQ(TMemIniFile(path).ReadString("Main", "Keep", ""), "2");
    // Held for good (until the write has returned): the write gives up and the old file stays whole.
    held = open();
    EXPECT_FALSE(ReplaceFileContents(path, "[Main]\r\nKeep=3\r\n"));
    CloseHandle(held);
    EXPECT_EQ(TMemIniFile(path).ReadString("Main", "Keep", ""), "2");
    Remove(path);
}

TEST(Registry, ScratchKey) {
    const char* kKey = "Software\\VelmorPlatformTest";
    TRegistry reg(HKEY_CURRENT_USER);
    reg.DeleteKey(kKey);
    EXPECT_FALSE(reg.OpenKey(kKey, false));
    EXPECT_FALSE(reg.KeyExists(kKey));
    ASSERT_TRUE(reg.OpenKey(std::string(kKey) + "\\Sub", true));
    EXPECT_TRUE(reg.WriteString("", "圧縮ファイル"));
    EXPECT_TRUE(reg.WriteInteger("Count", 7));
    reg.CloseKey();
    ASSERT_TRUE(reg.OpenKey(std::string(kKey) + "\\Sub", false));
    EXPECT_EQ(reg.ReadString("").value_or(""), "圧縮ファイル");
    EXPECT_EQ(reg.ReadInteger("Count").value_or(0), 7u);
    EXPECT_FALSE(reg.ReadString("Missing"));
    // A non-creating open reads only.
    EXPECT_FALSE(reg.WriteString("x", "y"));
    reg.CloseKey();
    EXPECT_TRUE(reg.DeleteKey(kKey));
    EXPECT_FALSE(reg.KeyExists(kKey));
}

TEST(FileStream, WriteAppendRead) {
    std::string path = TempDir() + "velmor_stream_test.txt";
    {
        TFileStream f(path, fmCreate);
        EXPECT_TRUE(f.WriteText("一行目\r\n"));
    }
    {
        TFileStream f(path, fmOpenAppend);
        EXPECT_TRUE(f.WriteText("二行目\r\n"));
    }
    TFileStream f(path, fmOpenRead);
    std::string all(static_cast<size_t>(f.Size()), '\0');
    EXPECT_EQ(f.Read(all.data(), all.size()), all.size());
    EXPECT_EQ(all, "一行目\r\n二行目\r\n");
    EXPECT_THROW(TFileStream(TempDir() + "missing\\none.txt", fmOpenRead), EFileStreamError);
    Remove(path);
}
