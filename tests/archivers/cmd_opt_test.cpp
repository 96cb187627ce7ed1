// Command-text building and the option model: quoting rules, folder endings, file items, response files.
#include "archivers/cmd_opt.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>

#include "archivers/archiver_options.h"
#include "archivers/path_util.h"
#include "platform/sjis.h"
#include "support/temp_dir.h"


TEST(CmdOpt, AppendRules) {
    struct Case {
        const char* what;
        bool quoteApart;
        std::function<void(TCmdOpt&)> build;
        const char* expected;
    };
    const Case cases[] = {
        {"number -1 adds nothing", false, [](TCmdOpt& c) { c.AddNumber("x", -1); }, ""},
        {"number -2 adds nothing", false, [](TCmdOpt& c) { c.AddNumber("x", -2); }, ""},
        {"number 0", false, [](TCmdOpt& c) { c.AddNumber("x", 0); }, " -x0"},
        {"flag", false, [](TCmdOpt& c) { c.AddFlag("r", true); c.AddFlag("q", false); }, " -r"},
        {"empty text is given", false, [](TCmdOpt& c) { c.AddString("jo", ""); }, " \"-jo\""},
        {"empty text apart", true, [](TCmdOpt& c) { c.AddString("jo", ""); }, " -jo \"\""},
        {"unset text adds nothing", false, [](TCmdOpt& c) { c.AddString("jo", kUnsetText); }, ""},
        {"leading blank drops the dash", false, [](TCmdOpt& c) { c.AddString(" y", "v"); }, " \"yv\""},
        {"no name: value in quotes", false, [](TCmdOpt& c) { c.AddString("", "a.lzh"); }, " \"a.lzh\""},
        {"folder gets a backslash", false, [](TCmdOpt& c) { c.AddFolder("w", "C:\\tmp"); }, " \"-wC:\\tmp\\\""},
        {"folder apart", true, [](TCmdOpt& c) { c.AddFolder("w", "C:\\tmp\\"); }, " -w \"C:\\tmp\\\""},
        {"root stays", false, [](TCmdOpt& c) { c.AddFolder("", "C:\\"); }, " \"C:\\\""},
        // 表 is 95 5C: its trail byte is not a separator.
        {"trail byte 0x5C", false, [](TCmdOpt& c) { c.AddFolder("", "C:\\\x95\x5C"); }, " \"C:\\\x95\x5C\\\""},
        {"empty folder adds nothing", false, [](TCmdOpt& c) { c.AddFolder("w", ""); }, ""},
        {"unset folder adds nothing", false, [](TCmdOpt& c) { c.AddFolder("w", kUnsetText); }, ""},
        {"empty item still adds a blank", false, [](TCmdOpt& c) { c.Add(""); }, " "},
        {"transform applies to file names", false,
         [](TCmdOpt& c) {
             c.FileNameTransform = [](const std::string& s, std::string& d) { d = "<" + s + ">"; };
             c.AddFileName("", "a");
         },
         " \"<a>\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TCmdOpt cmd;
        cmd.QuoteApart = c.quoteApart;
        c.build(cmd);
        EXPECT_EQ(cmd.Text, c.expected);
    }
}

TEST(CmdOpt, FileItemsOfEveryKind) {
    platform::TStringList three;
    three.SetText("a\r\n\r\nb");
    const char* const array[] = {"p", "", "q", nullptr};
    struct Case {
        const char* what;
        TFileItems items;
        int count;
        const char* expected;
    };
    const Case cases[] = {
        {"string list with an empty line", {&three}, 2, " \"a\" \"b\""},
        {"nil pointer", {static_cast<const char*>(nullptr)}, 0, ""},
        {"nil list", {static_cast<const platform::TStringList*>(nullptr)}, 0, ""},
        {"integer is ignored", {42}, 0, ""},
        {"mixed", {std::string("s"), "c", std::wstring(L"\u8868"), array}, 5, " \"s\" \"c\" \"\x95\x5C\" \"p\" \"q\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TCmdOpt cmd;
        EXPECT_EQ(cmd.AddFiles("", c.items), c.count);
        EXPECT_EQ(cmd.Text, c.expected);
    }
}

TEST(CmdOpt, ResponseFileIsCrLfQuotedAndKept) {
    testsupport::TempDir dir;
    const std::string path = dir.SjisFile("resp.txt");
    auto ReadAll = [](const std::string& p) {
        return testsupport::ReadFileBytes(platform::SjisToWide(p)).value_or("?");
    };
    TCmdOpt cmd;
    EXPECT_EQ(cmd.AddResponseFile({std::string("a"), std::string("b")}, path), 2);
    EXPECT_EQ(ReadAll(path), "\"a\"\r\n\"b\"\r\n");
    EXPECT_EQ(cmd.Text, " \"@" + path + "\"");
    // An empty list writes an empty file, replacing what was there.
    TCmdOpt empty;
    EXPECT_EQ(empty.AddResponseFile({}, path), 0);
    EXPECT_EQ(ReadAll(path), "");

    TCmdOpt bad;
    EXPECT_ANY_THROW(bad.AddResponseFile({std::string("a")}, "Z:\\no\\such\\folder\\x.txt"));
}

TEST(ArchiverOptions, ResetAndAssign) {
    TArchiverOptions o;
    EXPECT_EQ(o.a, -1);
    EXPECT_EQ(o.jyc, -1);
    EXPECT_TRUE(IsUnset(o.w));
    EXPECT_EQ(o.PackFilter, pfComponent);
    EXPECT_EQ(o.ResFileUsage, ResUse(ruOnPack) | ResUse(ruOnUnpack) | ResUse(ruOnRemoveItem));
    EXPECT_TRUE(o.IncludeExtraStreams);
    EXPECT_EQ(o.StreamSeparator, ";#");

    o.IncludeExtraStreams = false;
    o.StreamSeparator = ":";
    o.x = 1;
    o.jo = "";
    o.jx.Add("*.bak");
    o.ResFileUsage = ResUse(ruOnUpdate);
    o.UserOptions = "-q";

    TArchiverOptions copy;
    copy.Assign(o);
    EXPECT_EQ(copy.x, 1);
    EXPECT_EQ(copy.jo, "");
    EXPECT_EQ(copy.ResFileUsage, ResUse(ruOnUpdate));
    ASSERT_EQ(copy.jx.Count(), 1u);
    copy.jx.Add("*.tmp");
    EXPECT_EQ(o.jx.Count(), 1u);  // the copy's list is its own

    o.Reset();
    EXPECT_EQ(o.x, -1);
    EXPECT_TRUE(IsUnset(o.jo));
    EXPECT_TRUE(o.jx.Empty());
    EXPECT_TRUE(o.UserOptions.empty());
    EXPECT_FALSE(o.IncludeExtraStreams);  // kept by Reset
    EXPECT_EQ(o.StreamSeparator, ":");
}

TEST(PathUtil, Helpers) {
    EXPECT_EQ(JoinPath("", "a"), "a");
    EXPECT_EQ(JoinPath("C:\\", "a"), "C:\\a");
    EXPECT_EQ(JoinPath("C:\\\x95\x5C", "a"), "C:\\\x95\x5C\\a");
    EXPECT_EQ(ExtractBareName("C:\\d/e\\f.zip"), "f.zip");
    EXPECT_EQ(ExtractBareName("C:f.zip"), "f.zip");
    EXPECT_EQ(ExtractBareName("\x95\x5C.zip"), "\x95\x5C.zip");
    EXPECT_EQ(ExtractFileDir("C:\\a\\b.txt"), "C:\\a");
    EXPECT_EQ(ExtractFileDir("C:\\b.txt"), "C:\\");
    EXPECT_EQ(ChangeFileExt("C:\\a.b\\c.lzh", ".exe"), "C:\\a.b\\c.exe");
    EXPECT_EQ(ChangeFileExt("C:\\a.b\\c", ".exe"), "C:\\a.b\\c.exe");
    EXPECT_TRUE(HasWildcard("*.txt"));
    EXPECT_FALSE(HasWildcard("a.txt"));

    FILETIME ft{1, 1};
    EXPECT_TRUE(DosDateTimeToUtcFileTime(0, 0, ft));
    EXPECT_EQ(ft.dwLowDateTime | ft.dwHighDateTime, 0u);
    EXPECT_TRUE(DosDateTimeToUtcFileTime((45 << 9) | (1 << 5) | 2, 0, ft));  // 2025-01-02
    SYSTEMTIME st;
    FileTimeToSystemTime(&ft, &st);
    EXPECT_EQ(st.wYear, 2025);
}
