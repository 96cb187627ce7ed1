// The completion step in detail: recycle bin and move with their overwrite rules, shell failures logged as
// failures, the leftover of a failed bound extraction, and version-number trimming that renames only folders
// an extraction made.
#include <gtest/gtest.h>

#include "app/engine/unpack_thread.h"
#include "engine/engine_fakes.h"
#include "platform/sjis.h"
#include "support/fixtures.h"

using namespace enginetest;
using namespace testsupport;
using velmor::TUnPack;
using velmor::TUnPackThread;

namespace {

std::vector<FixtureMember> UnderTop(const std::string& top) {
    return {{top + "/a.txt", top}, {top + "/b.txt", "b"}};
}

}  // namespace

TEST(AfterAction, RecycleAndMoveWithTheirOverwriteRules) {
    {
        JobWorld w;
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kFlat));
        w.ui.rows = {w.Path("a.zip")};
        w.ini.AfterMethod = 2;
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        EXPECT_TRUE(w.ui.Logged("> [ ごみ箱 ] 書庫をごみ箱へ移しました。")) << w.ui.LogText();
        EXPECT_FALSE(FileExists(w.dir.File(L"a.zip")));
    }
    struct Case {
        int moveOverWrite;
        bool targetPresent;
        bool moved;
        const char* line;
    };
    const std::vector<Case> cases = {
        {1, false, true, nullptr},
        {1, true, true, nullptr},
        {4, true, false, "> [移動] 移動スキップ "},
        {2, true, false, "> [移動] 移動スキップ "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.moveOverWrite) + (c.targetPresent ? " present" : ""));
        JobWorld w;
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kFlat));
        ASSERT_TRUE(CreateDirectoryW(w.dir.File(L"moved").c_str(), nullptr));
        if (c.targetPresent) {
            ASSERT_TRUE(WriteFileBytes(w.dir.File(L"moved\\a.zip"), "older"));
        }
        w.ui.rows = {w.Path("a.zip")};
        w.ini.AfterMethod = 3;
        w.ini.MoveFolder = w.Path("moved");
        w.ini.MoveOverWrite = c.moveOverWrite;
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        EXPECT_EQ(FileExists(w.dir.File(L"a.zip")), !c.moved) << w.ui.LogText();
        if (c.moved) {
            EXPECT_TRUE(w.ui.Logged("> [ 移動 ] 書庫を移動しました。=>移動先:\"" + w.Path("moved") + "\""));
            EXPECT_NE(ReadText(w.dir.File(L"moved\\a.zip")), "older");
        } else {
            EXPECT_TRUE(w.ui.Logged(c.line));
            EXPECT_EQ(ReadText(w.dir.File(L"moved\\a.zip")), "older");
        }
    }
}

TEST(AfterAction, ShellFailuresAreLoggedAsFailures) {
    const std::vector<std::pair<int, const char*>> cases = {
        {1, "> [ 後始末エラー ] 書庫を削除できませんでした。"},
        {2, "> [ 後始末エラー ] 書庫をごみ箱へ移せませんでした。"},
        {3, "> [ 後始末エラー ] 書庫を移動できませんでした。"},
    };
    for (const auto& [method, line] : cases) {
        SCOPED_TRACE(method);
        JobWorld w;
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kFlat));
        ASSERT_TRUE(CreateDirectoryW(w.dir.File(L"moved").c_str(), nullptr));
        w.ui.rows = {w.Path("a.zip")};
        w.ini.AfterMethod = method;
        w.ini.MoveFolder = w.Path("moved");
        w.shell.fail = true;
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        EXPECT_TRUE(w.ui.Logged(line)) << w.ui.LogText();
        EXPECT_TRUE(FileExists(w.dir.File(L"a.zip")));
    }
}

TEST(AfterAction, AMoveIsJudgedByWhatTheMoveFolderHoldsAfterwards) {
    using Mode = RecordingShell::MoveMode;
    enum Left { kNothing, kHalf, kWhole };  // what stays in the move folder under the archive's name
    struct Case {
        const char* label;
        Mode mode;
        bool archiveStays;
        Left left;
    };
    const std::vector<Case> cases = {
        // A full drive: the partial copy goes, the archive is whole in its place.
        {"half written, the archive still there", Mode::kPartial, true, kNothing},
        // The archive gone is no proof of a move; what is left in the move folder is all there is.
        {"the archive gone, nothing in the move folder", Mode::kLost, false, kNothing},
        {"the archive gone, half of it in the move folder", Mode::kLostPartial, false, kHalf},
        {"the archive gone, its size there with another time", Mode::kOtherTime, false, kWhole},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        JobWorld w;
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kFlat));
        const std::string bytes = ReadText(w.dir.File(L"a.zip"));
        ASSERT_TRUE(CreateDirectoryW(w.dir.File(L"moved").c_str(), nullptr));
        w.ui.rows = {w.Path("a.zip")};
        w.ini.AfterMethod = 3;
        w.ini.MoveFolder = w.Path("moved");
        w.shell.moveMode = c.mode;
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        EXPECT_TRUE(w.ui.Logged("> [ 後始末エラー ] 書庫を移動できませんでした。")) << w.ui.LogText();
        EXPECT_FALSE(w.ui.Logged("> [ 移動 ] 書庫を移動しました。=>移動先:\"" + w.Path("moved") + "\""));
        if (c.archiveStays) {
            EXPECT_EQ(ReadText(w.dir.File(L"a.zip")), bytes);
        }
        const std::wstring there = w.dir.File(L"moved\\a.zip");
        if (c.left == kNothing) {
            EXPECT_FALSE(FileExists(there));
        } else {
            EXPECT_EQ(ReadText(there).size(), c.left == kWhole ? bytes.size() : bytes.size() / 2);
        }
        EXPECT_EQ(w.ui.Logged("> [ 残骸の削除 ] \"" + w.Path("moved\\a.zip") + "\""),
                  c.mode == Mode::kPartial);
    }
}

TEST(Leftover, AFailedExtractionRemovesTheBindFolderItMade) {
    JobWorld w;
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kFlat));
    ASSERT_TRUE(w.standins.SetScript(StandinScript().Section("UNZIP32.DLL").CommandResult(0x8019)));
    w.ui.rows = {w.Path("a.zip")};
    w.ini.BindFolder = true;
    w.ini.AfterMethod = 1;
    TUnPack unpack(w.Context(), {});
    RunJob(w, unpack);
    EXPECT_TRUE(w.ui.Logged("> [ バインド起動 ] まとめフォルダ新規作成 \"a\"")) << w.ui.LogText();
    EXPECT_TRUE(w.ui.Logged("> [ 残骸の削除 ] \"" + w.Path("a") + "\""));
    EXPECT_FALSE(FileExists(w.dir.File(L"a")));
    EXPECT_TRUE(FileExists(w.dir.File(L"a.zip")));
    EXPECT_EQ(w.ui.rows.size(), 1u);
}

TEST(Leftover, AFailedExtractionKeepsTheUsersOwnTopFolder) {
    JobWorld w;
    ASSERT_TRUE(WriteFileMakingFolders(w.dir.File(L"top\\mine.txt"), "mine"));
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kTree));
    ASSERT_TRUE(w.standins.SetScript(StandinScript().Section("UNZIP32.DLL").CommandResult(0x8019)));
    w.ui.rows = {w.Path("a.zip")};
    TUnPack unpack(w.Context(), {});
    RunJob(w, unpack);
    EXPECT_EQ(w.state.ItemFailed, 1) << w.ui.LogText();
    EXPECT_EQ(ReadText(w.dir.File(L"top\\mine.txt")), "mine");
    EXPECT_FALSE(w.ui.Logged("> [ 残骸の削除 ] \"" + w.Path("top") + "\""));
}

TEST(TrimFolderNumber, RenamesOnlyFoldersAnExtractionMade) {
    struct Case {
        const char* label;
        std::vector<std::string> archives;  // top folders, one archive each, extracted in order
        std::wstring userFile;              // a file of the user's, "mine", before the job
        int sameFolderProc;
        std::vector<std::wstring> present, absent;
        bool noBin = false;  // no recycle bin serves the volume
    };
    const std::vector<Case> cases = {
        {"version cut", {"tool-1.2"}, L"", 0, {L"tool-\\a.txt"}, {L"tool-1.2"}},
        {"nothing to cut", {"docs"}, L"", 0, {L"docs\\a.txt"}, {}},
        {"user's folder of that name",
         {"tool_1.2"},
         L"tool\\mine.txt",
         0,
         {L"tool\\mine.txt", L"tool_1.2\\a.txt"},
         {L"tool_old1"}},
        {"user's own versioned folder",
         {"tool_1.2"},
         L"tool_1.2\\mine.txt",
         0,
         {L"tool_1.2\\mine.txt", L"tool_1.2\\a.txt"},
         {L"tool"}},
        {"created folder moved aside",
         {"tool", "tool_1.2"},
         L"",
         0,
         {L"tool_old1\\a.txt", L"tool\\a.txt"},
         {L"tool_1.2"}},
        {"created folder to the recycle bin",
         {"tool", "tool_1.2"},
         L"",
         1,
         {L"tool\\a.txt"},
         {L"tool_old1", L"tool_1.2"}},
        {"created folder kept where no bin serves the volume",
         {"tool", "tool_1.2"},
         L"",
         1,
         {L"tool_old1\\a.txt", L"tool\\a.txt"},
         {L"tool_1.2"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        JobWorld w;
        if (!c.userFile.empty()) {
            ASSERT_TRUE(WriteFileMakingFolders(w.dir.File(c.userFile), "mine"));
        }
        for (size_t i = 0; i < c.archives.size(); ++i) {
            std::string name = "arc" + std::to_string(i) + ".zip";
            ASSERT_TRUE(WriteZipFixture(w.dir.File(platform::SjisToWide(name)), UnderTop(c.archives[i])));
            w.ui.rows.push_back(w.Path(name));
        }
        w.ini.DelFolderNum = true;
        w.ini.SameFolderProc = c.sameFolderProc;
        w.shell.noRecycleBin = c.noBin;
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        for (const std::wstring& p : c.present) EXPECT_TRUE(FileExists(w.dir.File(p))) << w.ui.LogText();
        for (const std::wstring& p : c.absent) EXPECT_FALSE(FileExists(w.dir.File(p))) << w.ui.LogText();
        if (!c.userFile.empty()) {
            EXPECT_EQ(ReadText(w.dir.File(c.userFile)), "mine");
        }
    }
}
