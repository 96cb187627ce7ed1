// TUnPack: the library presence check (never from the current folder), dangerous and escaping member paths,
// the top-level count with its two questions, and the leftover deletion's limits.
#include "app/engine/unpack.h"

#include <gtest/gtest.h>

#include <tuple>

#include "engine/engine_fakes.h"
#include "platform/sjis.h"
#include "support/fixtures.h"

using namespace enginetest;
using namespace testsupport;
using velmor::TUnPack;

namespace {

const std::string kHyou = "\x95\x5C";  // 表: trail byte 0x5C

struct CountCase {
    const char* label;
    std::vector<std::string> members;
    bool ignoreDirectory;
    int count;
    std::string topLevel;
};

}  // namespace

TEST(CheckDangerousPath, MatchesOnlyTheListedSpellings) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"Windows\\Start Menu\\Programs\\Startup\\", true},
        {"x\\WINDOWS\\", true},
        {"x\\windows\\", true},
        {"x\\system\\", true},
        {"x\\startup\\", true},
        {"x\\スタートアップ\\", true},
        {"x\\ｽﾀｰﾄｱｯﾌﾟ\\", true},
        {"x\\StartUp\\", false},
        {"x\\System\\", false},
        {"WinDows\\", false},
        {"docs\\", false},
        {"", false},
    };
    for (const auto& [path, danger] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(velmor::CheckDangerousPath(path), danger ? "DANGER" : "");
    }
}

TEST(EscapesOutputFolder, DrivesRootsParentStepsAndDevicesByCharacter) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"C:\\boot.ini", true}, {"C:x", true},          {"\\x", true},     {"/x", true},
        {"\\\\server\\x", true}, {"a.txt:stream", true}, {"..\\x", true}, {"a/../../b", true},
        {"a\\..", true},        {"...\\x", true},       {".. \\x", true}, {"a/. ./b", true},
        {"a\\b.txt", false},    {"..a\\b", false},      {"a..\\b", false}, {"readme", false},
        {"./a.txt", false},      {kHyou + "\\x", false},  {kHyou + ".txt", false}, {"x\\" + kHyou, false},
        // devices in any case and segment, with an extension, a stream form, trailing dots or blanks
        {"COM1", true},          {"aux.txt", true},       {"lpt1.log", true}, {"NUL", true},
        {"nul.", true},          {"Con ", true},          {"aux .txt", true}, {"a/PRN/b.txt", true},
        {"COM1;x;$DATA", true},  {"conin$", true},        {"clock$", true},   {"lpt9.tar.gz", true},
        {"COM10", false},        {"console.txt", false},  {"nully", false},   {"LPT", false},
        {"auxiliary", false},    {"xcon", false},         {" con", false},
    };
    for (const auto& [name, escapes] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(velmor::EscapesOutputFolder(name), escapes);
    }
}

TEST(LoadArchiverDll, LoadsFromTheGivenFoldersNeverTheCurrentOne) {
    JobWorld w;
    const std::string standins = platform::WideToSjis(StandinFolder(L"full"));
    {
        TUnPack unpack(w.Context(), {standins});
        EXPECT_TRUE(unpack.LoadArchiverDll("ZIP"));
        EXPECT_TRUE(unpack.LoadArchiverDll("TAR"));
        EXPECT_FALSE(unpack.LoadArchiverDll("zip"));  // kind words are exact
        EXPECT_FALSE(unpack.LoadArchiverDll("ARJ"));  // no library named
        EXPECT_FALSE(unpack.LoadArchiverDll("GCA"));  // not among the stand-ins
        unpack.UnloadArchiverDlls();
        EXPECT_EQ(unpack.Libraries()[1].Module, nullptr);
        EXPECT_NE(unpack.Libraries()[5].Module, nullptr);  // TAR stays loaded
    }
    // A library planted in the current folder (and the DLL directory emptied) does not load.
    TempDir planted;
    ASSERT_TRUE(CopyFileW((StandinFolder(L"full") + L"\\UNZIP32.DLL").c_str(), planted.File(L"UNZIP32.DLL").c_str(),
                          FALSE));
    wchar_t old[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, old);
    SetCurrentDirectoryW(planted.Path().c_str());
    SetDllDirectoryW(L"");
    TempDir empty;
    TUnPack unpack(w.Context(), {empty.SjisPath()});
    EXPECT_FALSE(unpack.LoadArchiverDll("ZIP"));
    SetCurrentDirectoryW(old);
}

TEST(CountTopLevelEntries, TableOfMemberLists) {
    const std::vector<CountCase> cases = {
        {"folder twice and a file", {"a/x.txt", "a/y.txt", "b.txt"}, false, 2, ""},
        {"file and folder", {"readme", "docs/a.txt"}, false, 2, ""},
        {"interleaved folders", {"a/1", "b/1", "a/2"}, false, 3, ""},
        {"dotted root then its folder", {"data.old", "data.old\\file"}, false, 1, "data.old"},
        {"plain root then its folder", {"data", "data\\file"}, false, 2, ""},
        {"single folder", {"tool-1.2/a", "tool-1.2/b/c"}, false, 1, "tool-1.2"},
        {"folder entries skipped", {"top/", "top/a"}, false, 1, "top"},
        {"ignore directory counts files", {"a/x.txt", "a/y.txt", "b.txt"}, true, 3, ""},
        {"ignore directory single file", {"a/x.txt"}, true, 1, ""},
        {"trail byte 0x5C", {kHyou + "\\a", kHyou + "\\b"}, false, 1, kHyou},
        {"tar ./ steps are no folder", {"./", "./a.txt", "./dir/", "./dir/b"}, false, 2, ""},
        {"tar ./ single folder", {"./", "./tool/", "./tool/a", "././tool/b"}, false, 1, "tool"},
        {"empty archive", {}, false, 0, ""},
    };
    for (const CountCase& c : cases) {
        SCOPED_TRACE(c.label);
        JobWorld w;
        StandinScript script;
        for (const std::string& m : c.members) script.Member(m, 10);
        ASSERT_TRUE(w.standins.SetScript(script));
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), {}));
        w.ini.IgnoreDirectory = c.ignoreDirectory;
        TUnPack unpack(w.Context(), {});
        EXPECT_EQ(unpack.CountTopLevelEntries(nullptr, w.Path("a.zip")), c.count);
        EXPECT_EQ(w.state.TopLevelItem, c.topLevel);
        EXPECT_EQ(w.state.SkipItem, 0);
        EXPECT_EQ(w.state.ArchiveOriginalSize, 10.0 * c.members.size());
    }
}

TEST(CountTopLevelEntries, AsksOncePerArchiveAndKind) {
    struct Case {
        std::vector<std::string> members;
        bool alertAbs, checkDanger;
        int answer;            // to every question
        size_t questions;      // how many are asked
        std::string named;     // what the (first) question names
        const char* logLine;   // when refused
    };
    std::vector<std::string> climbing = {"ok.txt"};
    for (int i = 0; i < 30; ++i) climbing.push_back("../../evil" + std::to_string(i) + ".txt");
    const std::string startup = "Windows\\Start Menu\\Programs\\Startup\\a.exe";
    const std::vector<Case> cases = {
        {climbing, true, false, IDNO, 1, "\"../../evil0.txt\" ほか29件", "> [ 中断 ] 絶対パス展開抑制による中断"},
        {climbing, true, false, IDYES, 1, "\"../../evil0.txt\" ほか29件", nullptr},
        {{"C:\\boot.ini"}, true, false, IDNO, 1, "\"C:\\boot.ini\"\r", "> [ 中断 ] 絶対パス展開抑制による中断"},
        {{"/etc/x", "NUL"}, true, false, IDNO, 1, "\"/etc/x\" ほか1件", "> [ 中断 ] 絶対パス展開抑制による中断"},
        {{startup, startup, "docs/a"}, false, true, IDNO, 1, "\"" + startup + "\" ほか1件", "> [ 中断 ] 危険パスによる中断"},
        {{"C:\\x", startup}, true, true, IDYES, 2, "\"C:\\x\"\r", nullptr},
        {{"C:\\x", startup}, true, true, IDNO, 1, "\"C:\\x\"\r", "> [ 中断 ] 絶対パス展開抑制による中断"},
        {{"C:\\boot.ini"}, false, false, 0, 0, "", nullptr},  // no question at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.members.back());
        JobWorld w;
        StandinScript script;
        for (const std::string& m : c.members) script.Member(m, 1);
        ASSERT_TRUE(w.standins.SetScript(script));
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), {{"x", "x"}}));
        w.ini.AlertAbsExpand = c.alertAbs;
        w.ini.CheckDangerPath = c.checkDanger;
        w.state.CurrentArchive = w.Path("a.zip");
        for (size_t i = 0; i < c.questions; ++i) w.ui.answers.push_back(c.answer);
        TUnPack unpack(w.Context(), {});
        unpack.CountTopLevelEntries(nullptr, w.Path("a.zip"));
        ASSERT_EQ(w.ui.questions.size(), c.questions) << w.ui.LogText();
        if (c.questions) {
            EXPECT_EQ(w.ui.questions[0].caption, "確認");
            EXPECT_NE(w.ui.questions[0].text.find(c.named), std::string::npos) << w.ui.questions[0].text;
        }
        EXPECT_EQ(w.state.SkipItem, c.logLine ? 1 : 0);
        if (c.logLine) {
            EXPECT_TRUE(w.ui.Logged(c.logLine)) << w.ui.LogText();
        }
        EXPECT_EQ(unpack.Members.size(), c.members.size());
        EXPECT_TRUE(unpack.WalkComplete);
    }
}

TEST(DeleteLeftover, DeletesOnlyWhatLiesStrictlyInsideTheOutputFolder) {
    JobWorld w;
    TUnPack unpack(w.Context(), {});
    const std::string out = w.dir.SjisPath() + "\\";
    ASSERT_TRUE(WriteFileMakingFolders(w.dir.File(L"made\\a.txt"), "a"));
    ASSERT_TRUE(WriteFileMakingFolders(w.dir.File(L"keep\\a.txt"), "a"));

    struct Case {
        std::string item;
        bool preExisted;
        bool deleted;
    };
    const std::vector<Case> cases = {
        {out + "keep", true, false},            // existed before the extraction
        {out, false, false},                    // the output folder itself
        {out + ".", false, false},
        {out + "..", false, false},
        {out + "made\\..\\keep", false, false},
        {"keep", false, false},                 // not absolute
        {w.dir.SjisPath().substr(0, 3), false, false},  // a drive root
        {out + "made\\", false, true},
    };
    unpack.LeftoverRoot = out;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        w.shell.calls.clear();
        w.state.TopLevelItem = c.item;
        w.state.TopLevelPreExisted = c.preExisted;
        unpack.DeleteLeftover();
        EXPECT_EQ(!w.shell.calls.empty(), c.deleted);
    }
    EXPECT_FALSE(FileExists(w.dir.File(L"made")));
    EXPECT_TRUE(FileExists(w.dir.File(L"keep\\a.txt")));
    EXPECT_TRUE(w.ui.Logged("> [ 残骸の削除 ] \"" + out + "made\""));
}

// Each of the two "strictly inside" tests holds on its own, not only behind the checks around it.
TEST(StrictlyInside, TheLeftoverAndLandingChecksNeedTheWholeFolderAndMoreAfterIt) {
    const std::vector<std::tuple<std::string, std::string, bool>> leftover = {
        {"C:\\out\\x", "C:\\out\\", true},
        {"C:\\OUT\\x", "C:\\out\\", true},
        {"C:\\out\\", "C:\\out\\", false},  // the folder itself
        {"C:\\out", "C:\\out\\", false},
        {"C:\\outer\\x", "C:\\out\\", false},
        {"C:\\" + kHyou + "\\x", "C:\\" + kHyou + "\\", true},
        {"C:\\\x95\x7C\\x", "C:\\" + kHyou + "\\", false},  // another character with the same lead byte
    };
    for (const auto& [path, root, inside] : leftover) {
        SCOPED_TRACE(path + " in " + root);
        EXPECT_EQ(velmor::LiesStrictlyInside(path, root), inside);
    }

    TempDir dir;
    const std::string out = dir.SjisFile("out");
    for (const std::string& folder : {out, out + "\\"}) {
        SCOPED_TRACE(folder);
        const velmor::TLandingCheck landing(folder);
        EXPECT_TRUE(landing.Inside(out + "\\x.txt"));
        EXPECT_TRUE(landing.Inside(dir.SjisFile("OUT") + "\\sub\\x.txt"));
        EXPECT_FALSE(landing.Inside(out + "2\\x.txt"));  // a sibling whose name begins with the folder's
        EXPECT_FALSE(landing.Inside(out + "er"));
        EXPECT_FALSE(landing.Inside(out));
        EXPECT_FALSE(landing.Inside(out + "\\"));
        EXPECT_FALSE(landing.Inside(out + "\\..\\x.txt"));
    }
}
