// The main window's pure rules: the command line, the log-line format, the log-file size limit, the
// stored geometry and the drop size texts.
#include <gtest/gtest.h>

#include "app/forms/form_main_rules.h"

using namespace velmor;

TEST(MainWindowRules, CommandLine) {
    struct Case {
        std::vector<std::string> args;
        TCommandLine::TKind kind;
        int afterMethod;
        std::vector<std::string> files;
    } cases[] = {
        {{}, TCommandLine::ckNone, -1, {}},
        {{"-k", "a.zip", "b.lzh"}, TCommandLine::ckExtract, 0, {"a.zip", "b.lzh"}},
        {{"-d", "a.zip"}, TCommandLine::ckExtract, 1, {"a.zip"}},
        {{"-t", "a.zip"}, TCommandLine::ckExtract, 2, {"a.zip"}},
        {{"a.zip"}, TCommandLine::ckExtract, -1, {"a.zip"}},
        {{"-d"}, TCommandLine::ckExtract, 1, {}},
        {{"-o", "a.zip", "b.zip"}, TCommandLine::ckPreview, -1, {"a.zip"}},
        {{"-o"}, TCommandLine::ckPreview, -1, {}},
        // The switches are exact: a capital is a file name.
        {{"-K", "a.zip"}, TCommandLine::ckExtract, -1, {"-K", "a.zip"}},
        {{"a.zip", "-d"}, TCommandLine::ckExtract, -1, {"a.zip", "-d"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? std::string("(none)") : c.args[0]);
        TCommandLine cl = ParseCommandLine(c.args);
        EXPECT_EQ(cl.Kind, c.kind);
        EXPECT_EQ(cl.AfterMethod, c.afterMethod);
        EXPECT_EQ(cl.Files, c.files);
    }
}

TEST(MainWindowRules, LogLines) {
    int n = 0;
    const std::string archive = "C:\\表\\a.zip";
    EXPECT_EQ(FormatLogLine("[ head ]", n, archive), " 1| [ head ]");
    EXPECT_EQ(FormatLogLine("two", n, archive), " 2| two");
    EXPECT_EQ(FormatLogLine("three", n, archive), " 3| three");
    EXPECT_EQ(FormatLogLine("four", n, archive), " 4| four");
    // "***" is counted but carries no number.
    EXPECT_EQ(FormatLogLine("***", n, archive), " ********************************************");
    EXPECT_EQ(FormatLogLine("---", n, archive), " 6|  ──────────────────────");
    // Only the first "%src", in any case, becomes the quoted archive.
    EXPECT_EQ(FormatLogLine("> %SRC and %src", n, archive), " 7| > \"C:\\表\\a.zip\" and %src");
    // A message is data: printf directives stay as they are.
    EXPECT_EQ(FormatLogLine("%s%n%d 100%", n, archive), " 8| %s%n%d 100%");
    // After a clear (counter 0) the next line is 1 again.
    n = 0;
    EXPECT_EQ(FormatLogLine("again", n, archive), " 1| again");
}

TEST(MainWindowRules, LogFileLimit) {
    EXPECT_FALSE(LogFileOverLimit(2048000, 2000));  // 2000 KB exactly stays
    EXPECT_TRUE(LogFileOverLimit(2049024, 2000));   // 2001 KB goes
    // A hand-edited 0 or negative limit means the default, never "delete at every close".
    EXPECT_FALSE(LogFileOverLimit(5000, 0));
    EXPECT_FALSE(LogFileOverLimit(5000, -1));
    EXPECT_TRUE(LogFileOverLimit(2049024, 0));
    EXPECT_TRUE(LogFileOverLimit(2048, 1));
}

TEST(MainWindowRules, GeometryAndSizeTexts) {
    EXPECT_TRUE(PositionApplies(300, 200, 1024, 768));
    EXPECT_FALSE(PositionApplies(0, 200, 1024, 768));
    EXPECT_FALSE(PositionApplies(1024, 200, 1024, 768));
    EXPECT_FALSE(PositionApplies(300, -5, 1024, 768));
    EXPECT_FALSE(PositionApplies(300, 5000, 1024, 768));
    EXPECT_TRUE(SizeApplies(495, 434));
    EXPECT_FALSE(SizeApplies(-10, 434));
    EXPECT_FALSE(SizeApplies(495, 0));
    EXPECT_EQ(DropSizeText(true, 0, true), "0 KB");
    EXPECT_EQ(DropSizeText(true, 5000, false), "4 KB");
    EXPECT_EQ(DropSizeText(false, 0, true), "\"フォルダ\"");
    EXPECT_EQ(DropSizeText(false, 0, false), "");
}

TEST(MainWindowRules, FolderHistory) {
    struct Case {
        std::vector<std::string> before;
        std::string folder;
        std::vector<std::string> after;
    } cases[] = {
        {{"a", "b", "c", "d", "e", "f"}, "n", {"n", "a", "b", "c", "d", "e"}},
        {{"a", "b", "c", "d", "e", "f"}, "d", {"a", "b", "c", "d", "e", "f"}},
        // Exact comparison: another case is another folder.
        {{"C:\\x\\", "", "", "", "", ""}, "C:\\X\\", {"C:\\X\\", "C:\\x\\", "", "", "", ""}},
        {{"", "", "", "", "", ""}, "C:\\表\\", {"C:\\表\\", "", "", "", "", ""}},
        {{}, "a", {}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.folder);
        PushHistory(c.before, c.folder);
        EXPECT_EQ(c.before, c.after);
    }
}

TEST(MainWindowRules, ListAndLogShareTheHeight) {
    struct Case {
        int shared, share, list;
    } cases[] = {
        // the list's share, also after the window grew
        {400, 550, 220},
        {800, 550, 440},
        {100, 550, 55},
        // each pane keeps its minimum
        {90, 550, 50},
        {400, 50, 40},
        {400, 990, 360},
        // too little for two minimums: halves
        {70, 550, 35},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shared);
        EXPECT_EQ(SplitHeight(c.shared, c.share, 40), c.list);
    }
    // The share that a list height makes gives that height back.
    EXPECT_EQ(SplitHeight(500, ShareOfHeight(123, 500), 40), 123);
    EXPECT_EQ(ShareOfHeight(10, 0), kDefaultListShare);
}
