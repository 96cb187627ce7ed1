// The preparation and processing steps in detail: split-volume names, CutTail, bind decisions, the
// format switch table, progress arithmetic, the ZIP stop question, compression and self-extracting archives.
#include <gtest/gtest.h>

#include "app/engine/job_rules.h"
#include "app/engine/unpack_thread.h"
#include "archivers/archiver_options.h"
#include "engine/engine_fakes.h"
#include "platform/sjis.h"
#include "support/fixtures.h"

using namespace enginetest;
using namespace testsupport;
using velmor::TRarVolume;
using velmor::TUnPack;
using velmor::TUnPackThread;

TEST(RarVolumes, ClassifiesByTheFileNameAlone) {
    const std::vector<std::tuple<std::string, TRarVolume, std::string>> cases = {
        {"a.part1.rar", TRarVolume::FirstPart, "a"},
        {"a.part01.rar", TRarVolume::FirstPart, "a"},
        {"A.PART001.RAR", TRarVolume::FirstPart, "A"},
        {"a.part2.rar", TRarVolume::LaterPart, "a"},
        {"a.part10.rar", TRarVolume::LaterPart, "a"},
        {"my.data.part3.rar", TRarVolume::LaterPart, "my.data"},
        {"depart2.rar", TRarVolume::None, ""},
        {"a.part.rar", TRarVolume::None, ""},
        {"a.partx.rar", TRarVolume::None, ""},
        {"a.rar", TRarVolume::None, ""},
        {"banana.part3.zip", TRarVolume::None, ""},
        {".part1.rar", TRarVolume::None, ""},
    };
    for (const auto& [name, kind, base] : cases) {
        SCOPED_TRACE(name);
        std::string b;
        EXPECT_EQ(velmor::ClassifyRarVolume(name, &b), kind);
        if (kind != TRarVolume::None) {
            EXPECT_EQ(b, base);
        }
    }
    EXPECT_EQ(velmor::PartVolumeNumber("a", "A.Part3.RAR"), 3);
    EXPECT_EQ(velmor::PartVolumeNumber("a", "data.part1.rar"), -1);
    EXPECT_EQ(velmor::PartVolumeNumber("a", "a.part.doc"), -1);
    EXPECT_EQ(velmor::PartVolumeNumber("a+", "aa.part1.rar"), -1);  // the base is literal, not a pattern
    EXPECT_EQ(velmor::NumberedVolumeNumber("a", "a.r00"), 0);
    EXPECT_EQ(velmor::NumberedVolumeNumber("a", "a.R12"), 12);
    EXPECT_EQ(velmor::NumberedVolumeNumber("a", "a.rar"), -1);
    EXPECT_EQ(velmor::NumberedVolumeNumber("a", "a.r00.bak"), -1);
    EXPECT_EQ(velmor::NumberedVolumeNumber("\x95\x5C", "\x95\x5C.r01"), 1);  // 表: trail byte 0x5C
}

TEST(CutTail, CutsTrailingVersionNumbers) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"tool_1.20", "tool"}, {"game-2.0b", "game-"}, {"abc", "abc"}, {"2004", "2004"}, {"pkg 3", "pkg"}};
    for (const auto& [in, out] : cases) {
        SCOPED_TRACE(in);
        EXPECT_EQ(velmor::CutTail(in, true), out);
        EXPECT_EQ(velmor::CutTail(in, false), in);
    }
}

TEST(BindFolder, DecisionsAndAnExistingFolder) {
    struct Case {
        const char* label;
        std::vector<FixtureMember> members;
        bool bindFolder, ignoreDirectory, ignoredSingleBind;
        int sameFolderProc;
        bool existing;
        std::wstring expectedFile;
    };
    const std::vector<Case> cases = {
        {"two files bind", kFlat, true, false, false, 0, false, L"pkg\\x.txt"},
        {"one top folder does not", {{"top/x.txt", "x"}, {"top/y.txt", "y"}}, true, false, false, 0, false,
         L"top\\x.txt"},
        {"ignore directory without single bind", kFlat, false, true, false, 0, false, L"x.txt"},
        {"ignore directory with single bind", kFlat, false, true, true, 0, false, L"pkg\\x.txt"},
        {"existing folder reused", kFlat, true, false, false, 1, true, L"pkg\\x.txt"},
        {"existing folder moved aside", kFlat, true, false, false, 0, true, L"pkg\\x.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        JobWorld w;
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"pkg.zip"), c.members));
        if (c.existing) {
            ASSERT_TRUE(WriteFileMakingFolders(w.dir.File(L"pkg\\old.txt"), "old"));
        }
        w.ui.rows = {w.Path("pkg.zip")};
        w.ini.BindFolder = c.bindFolder;
        w.ini.IgnoreDirectory = c.ignoreDirectory;
        w.ini.IgnoredSingleBind = c.ignoredSingleBind;
        w.ini.SameFolderProc = c.sameFolderProc;
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        EXPECT_TRUE(FileExists(w.dir.File(c.expectedFile))) << w.ui.LogText();
        if (c.existing && c.sameFolderProc == 0) {
            EXPECT_TRUE(FileExists(w.dir.File(L"pkg_old1\\old.txt")));
            EXPECT_FALSE(FileExists(w.dir.File(L"pkg\\old.txt")));
            EXPECT_TRUE(w.ui.Logged("> [ バインド起動 ]\tまとめフォルダ新規作成 \"pkg\""));
            EXPECT_EQ(w.state.RenamedOldFolder, w.Path("pkg_old1"));
        } else if (c.existing) {
            EXPECT_TRUE(FileExists(w.dir.File(L"pkg\\old.txt")));
        }
    }
    // An archive whose bind name is only dots does not bind into a folder named "." or "".
    JobWorld w;
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"..zip"), kFlat));
    w.ui.rows = {w.Path("..zip")};
    w.ini.BindFolder = true;
    TUnPack unpack(w.Context(), {});
    RunJob(w, unpack);
    EXPECT_TRUE(FileExists(w.dir.File(L"x.txt"))) << w.ui.LogText();
}

TEST(FormatSwitches, TablePerExtensionAndOverwriteMode) {
    struct Case {
        const char* ext;
        int overWrite;
        bool ignoreDirectory;
        std::string userOptions;
        int x, c, u, jn;
    };
    const std::vector<Case> cases = {
        {".zip", 0, true, "-q --i  -j", 1, -1, -1, -1},
        {".zip", 2, false, "-q --i -n", 1, -1, -1, -1},
        {".cab", 1, true, "-j -i -o", 1, -1, -1, -1},
        {".cab", 3, false, "-i -n", 1, -1, -1, -1},
        {".rar", 3, false, "", 1, 0, -1, -1},
        {".rar", 2, true, "-o-", 0, 1, -1, -1},
        {".lzh", 2, false, kUnsetText, 1, -1, -1, 1},
        {".lha", 3, true, kUnsetText, 0, -1, 1, -1},
        {".tgz", 0, true, " --use-directory=0", -1, -1, -1, -1},
        {".gz", 0, false, "", -1, -1, -1, -1},
    };
    const velmor::TReadyFlags ready{true, true, true, true, true, false};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.ext) + " " + std::to_string(c.overWrite));
        TArchiverOptions o;
        const std::string before = o.UserOptions;
        std::string line;
        ASSERT_TRUE(velmor::ApplyFormatSwitches(c.ext, c.overWrite, c.ignoreDirectory, ready, o, line));
        EXPECT_EQ(o.UserOptions, c.userOptions == kUnsetText ? before : c.userOptions);
        EXPECT_EQ(o.x, c.x);
        EXPECT_EQ(o.c, c.c);
        EXPECT_EQ(o.u, c.u);
        EXPECT_EQ(o.jn, c.jn);
    }
    const std::vector<std::pair<const char*, const char*>> notReady = {
        {".gca", "> \"UnGCA32.DLL\"の準備ができていません"}, {".lzh", "> \"ULHA32.DLL\"の準備ができていません"},
        {".zip", "> \"UNzip32.DLL\"の準備ができていません"}};
    for (const auto& [ext, expected] : notReady) {
        TArchiverOptions o;
        std::string line;
        const velmor::TReadyFlags none{false, false, false, false, false, false};
        EXPECT_FALSE(velmor::ApplyFormatSwitches(ext, 0, false, none, o, line));
        EXPECT_EQ(line, expected);
    }
}

TEST(Progress, PercentArithmetic) {
    struct Case {
        uint32_t size, written;
        double done, total;
        int file, all;
    };
    const std::vector<Case> cases = {
        {0, 0, 0, 100, 0, 0},            // a member of size 0
        {100, 250, 0, 400, 100, 25},     // written beyond the size is capped
        {100, 50, 0, 0, 50, 0},          // no total known
        {100, 50, 950, 1000, 50, 100},   // capped at 100
        {1u << 31, 1u << 30, 6e9, 8e9, 50, 88},  // totals past 4 GB
    };
    for (const Case& c : cases) {
        velmor::TProgressPercents p = velmor::ProgressPercents(c.size, c.written, c.done, c.total);
        EXPECT_EQ(p.File, c.file);
        EXPECT_EQ(p.Total, c.all);
    }
}

TEST(ZipStopQuestion, NoContinuesTheExtractionYesEndsTheJobAndAsksToQuit) {
    for (int answer : {IDNO, IDYES}) {
        SCOPED_TRACE(answer);
        JobWorld w;
        std::vector<FixtureMember> many;
        for (int i = 0; i < 5; ++i) many.push_back({"top/f" + std::to_string(i), "data"});
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), many));
        w.ui.rows = {w.Path("a.zip")};
        w.ui.answers = {answer};
        TUnPack unpack(w.Context(), {});
        TUnPackThread* running = nullptr;
        w.archives = HookedArchiveFactory([&](int report, int state) {
            if (report == 3 && state == 1) {
                running->CancelRequested = 1;
                w.state.BreakPressed = 1;
                w.state.Status = jsStopRequested;
            }
        });
        TUnPackThread job(w.Context(), unpack);
        running = &job;
        job.Execute();
        ASSERT_EQ(w.ui.questions.size(), 1u);
        EXPECT_EQ(w.ui.questions[0].caption, "終了確認");
        if (answer == IDNO) {
            EXPECT_EQ(w.state.Status, jsWorking);
            EXPECT_EQ(w.state.CancelSeen, 0);
            EXPECT_EQ(job.CancelRequested, 0);
            EXPECT_TRUE(FileExists(w.dir.File(L"top\\f4")));
            EXPECT_TRUE(w.ui.rows.empty());
            EXPECT_EQ(w.ui.quitRequests, 0);
        } else {
            EXPECT_EQ(w.state.CancelSeen, 1);
            EXPECT_EQ(w.ui.quitRequests, 1);
            EXPECT_EQ(CallsOf(w.standins.Calls(), "UnZip").back().result, 0x8020);
            EXPECT_EQ(w.ui.rows.size(), 1u);
        }
    }
}

TEST(Compression, ZipOfAFolderLhaOfAFileAndASelfExtractingArchive) {
    JobWorld w;
    w.state.CompressMode = 1;
    w.state.JobWord = "圧縮";
    ASSERT_TRUE(WriteFileMakingFolders(w.dir.File(L"a\\b\\one.txt"), "one"));
    ASSERT_TRUE(WriteFileMakingFolders(w.dir.File(L"a\\b\\sub\\two.txt"), "two"));
    ASSERT_TRUE(WriteFileMakingFolders(w.dir.File(L"doc.txt"), "doc"));
    {
        w.ui.rows = {w.Path("a\\b")};
        w.ui.compressionType = 2;
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        auto members = ReadZipMembers(w.dir.File(L"a\\b.zip"));
        std::vector<std::string> names;
        for (const auto& m : members) names.push_back(m.name);
        EXPECT_NE(std::find(names.begin(), names.end(), "b/one.txt"), names.end()) << w.ui.LogText();
        EXPECT_NE(std::find(names.begin(), names.end(), "b/sub/two.txt"), names.end());
        EXPECT_TRUE(w.ui.Logged("Zip圧縮"));
    }
    for (int type : {0, 1}) {
        SCOPED_TRACE(type);
        w.ui.rows = {w.Path("doc.txt")};
        w.ui.compressionType = type;
        w.standins.ClearLog();
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        EXPECT_TRUE(FileExists(w.dir.File(L"doc.lzh"))) << w.ui.LogText();
        EXPECT_TRUE(FileExists(w.dir.File(L"doc.txt")));
        EXPECT_EQ(!CallsOf(w.standins.Calls(), "Unlha").empty(), true);
        if (type == 1) {
            EXPECT_TRUE(FileExists(w.dir.File(L"doc.exe")));
        }
    }
    // An archive that would be written over its own source is refused.
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"self.ZIP"), kFlat));
    w.ui.rows = {w.Path("self.ZIP")};
    w.ui.compressionType = 2;
    TUnPack unpack(w.Context(), {});
    RunJob(w, unpack);
    EXPECT_TRUE(w.ui.Logged("> [ 圧縮スキップ ] 書庫名が元のファイルと同じです"));
    EXPECT_EQ(ReadZipMembers(w.dir.File(L"self.ZIP")).size(), 2u);
}

// A single archive that fails its pre-test is skipped, not extracted. A folder of its single top item's name
// that appears during the pre-test is not this extraction's: without a bind folder, a skipped row leaves no
// leftover to delete.
TEST(PreTest, ASingleArchiveThatFailsItsPreTestIsNotExtractedAndLeavesNothingToDelete) {
    JobWorld w;
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kTree));
    ASSERT_TRUE(w.standins.SetScript(StandinScript().Section("UNZIP32.DLL").CheckResult(0)));
    w.ui.rows = {w.Path("a.zip")};
    w.ini.PreTestArc = true;
    w.ini.AfterMethod = 1;
    w.archives = HookedArchiveFactory([](int, int) {}, velmor::RealArchiveFactory(),
                                      [&] { WriteFileMakingFolders(w.dir.File(L"top\\mine.txt"), "mine"); });
    TUnPack unpack(w.Context(), {});
    RunJob(w, unpack);
    EXPECT_TRUE(w.ui.Logged("> [ 書庫テスト ]\t 不正な書庫です。")) << w.ui.LogText();
    EXPECT_TRUE(w.ui.Logged("> 後始末キャンセル"));
    EXPECT_EQ(w.state.SkipItem, 1);
    EXPECT_TRUE(CallsOf(w.standins.Calls(), "UnZip").empty());
    EXPECT_FALSE(FileExists(w.dir.File(L"top\\a.txt")));
    EXPECT_EQ(ReadText(w.dir.File(L"top\\mine.txt")), "mine");
    EXPECT_TRUE(FileExists(w.dir.File(L"a.zip")));
    EXPECT_EQ(w.ui.rows.size(), 1u);
}
