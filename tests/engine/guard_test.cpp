// What the engine guarantees whatever an archive holds or the library does: no member lands outside the
// output folder (climbing, absolute and device names, with a library that follows them), an archive never
// replaces itself and only the extracted file is cleaned up, "./" tar members bind, "ask" and "skip" keep
// existing files in every format, and a relative output folder is refused.
#include <gtest/gtest.h>

#include "app/engine/unpack_thread.h"
#include "engine/engine_fakes.h"
#include "platform/sjis.h"
#include "support/fixtures.h"

using namespace enginetest;
using namespace testsupport;
using velmor::TUnPack;

namespace {

// No staging folder of an extraction is left in the folder.
bool NoStagingLeft(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((folder + L"\\~velmor*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return true;
    FindClose(find);
    return false;
}

}  // namespace

TEST(Guard, NoMemberLandsOutsideTheOutputFolderWhateverTheLibraryAndTheAnswers) {
    struct Case {
        const char* label;
        bool alert;
        int answer;
        const char* line;
    };
    const std::vector<Case> cases = {
        {"question off", false, 0, nullptr},
        {"question answered Yes", true, IDYES, nullptr},
        {"question answered No", true, IDNO, "> [ 中断 ] 絶対パス展開抑制による中断"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        JobWorld w;
        // A library without a path check of its own: it writes each member where its name points.
        ASSERT_TRUE(w.standins.SetScript(StandinScript().TrustNames()));
        ASSERT_TRUE(CreateDirectoryW(w.dir.File(L"sub").c_str(), nullptr));
        const std::string absolute = w.Path("abs.txt");
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"sub\\a.zip"), {{"ok.txt", "ok"},
                                                                {"../evil.txt", "evil"},
                                                                {"docs/../../evil2.txt", "evil"},
                                                                {absolute, "evil"}}));
        w.ui.rows = {w.Path("sub\\a.zip")};
        w.ini.AlertAbsExpand = c.alert;
        w.ini.AfterMethod = 1;
        if (c.answer) w.ui.answers = {c.answer};
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        EXPECT_FALSE(FileExists(w.dir.File(L"evil.txt"))) << w.ui.LogText();
        EXPECT_FALSE(FileExists(w.dir.File(L"evil2.txt")));
        EXPECT_FALSE(FileExists(w.dir.File(L"abs.txt")));
        EXPECT_TRUE(FileExists(w.dir.File(L"sub\\a.zip")));
        EXPECT_EQ(w.ui.rows.size(), 1u);
        EXPECT_EQ(w.ui.questions.size(), c.alert ? 1u : 0u);
        if (c.line) {
            EXPECT_TRUE(w.ui.Logged(c.line)) << w.ui.LogText();
        } else {
            EXPECT_TRUE(
                w.ui.Logged("> [ 解凍拒否 ] 解凍先フォルダの外に出る要素があります：\"../evil.txt\" ほか2件"))
                << w.ui.LogText();
            EXPECT_EQ(w.state.ItemFailed, 1);
        }
    }
}

TEST(Guard, AnArchiveWhoseMembersCannotAllBeSeenIsRefused) {
    // The library will not open it for listing, though its extraction would run.
    JobWorld w;
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kFlat));
    ASSERT_TRUE(w.standins.SetScript(StandinScript().OpenFail()));
    w.ui.rows = {w.Path("a.zip")};
    w.ini.AfterMethod = 1;
    TUnPack unpack(w.Context(), {});
    RunJob(w, unpack);
    EXPECT_TRUE(w.ui.Logged("> [ 解凍拒否 ] 書庫の要素を最後まで確認できませんでした")) << w.ui.LogText();
    EXPECT_TRUE(FileExists(w.dir.File(L"a.zip")));
    EXPECT_FALSE(FileExists(w.dir.File(L"x.txt")));
    EXPECT_TRUE(CallsOf(w.standins.Calls(), "UnZip").empty());
}

TEST(Guard, DeviceNamesAreMembersThatLeaveTheOutputFolder) {
    const std::vector<std::string> names = {"NUL", "nul.txt", "docs/Nul ", "aux .log", "a/PRN/b.txt", "con."};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        JobWorld w;
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), {{"readme.txt", "r"}, {name, "to the device"}}));
        w.ui.rows = {w.Path("a.zip")};
        w.ini.AfterMethod = 1;
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        EXPECT_TRUE(FileExists(w.dir.File(L"a.zip"))) << w.ui.LogText();
        EXPECT_FALSE(FileExists(w.dir.File(L"readme.txt")));
        EXPECT_TRUE(w.ui.Logged("> [ 解凍拒否 ] 解凍先フォルダの外に出る要素があります：\"" + name + "\""))
            << w.ui.LogText();
    }
    // With the question on, a device name is asked about like an absolute path.
    JobWorld w;
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), {{"COM1", "x"}, {"lpt1.log", "x"}}));
    w.ui.rows = {w.Path("a.zip")};
    w.ini.AlertAbsExpand = true;
    w.ui.answers = {IDNO};
    TUnPack unpack(w.Context(), {});
    RunJob(w, unpack);
    ASSERT_EQ(w.ui.questions.size(), 1u);
    EXPECT_NE(w.ui.questions[0].text.find("\"COM1\" ほか1件"), std::string::npos);
    EXPECT_TRUE(w.ui.Logged("> [ 中断 ] 絶対パス展開抑制による中断"));
}

TEST(Guard, AnArchiveIsNeverTheTargetOfItsOwnMembersNorOfAnotherListedArchive) {
    for (const char* self : {"pkg.zip", "PKG.ZIP", "./pkg.zip"}) {
        SCOPED_TRACE(self);
        JobWorld w;
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"pkg.zip"), {{self, "inner"}, {"readme.txt", "r"}}));
        const std::string before = ReadText(w.dir.File(L"pkg.zip"));
        w.ui.rows = {w.Path("pkg.zip")};
        w.ini.OverWrite = 1;
        w.ini.AfterMethod = 1;
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        EXPECT_EQ(ReadText(w.dir.File(L"pkg.zip")), before) << w.ui.LogText();
        EXPECT_TRUE(w.ui.Logged("> [ 解凍拒否 ] 書庫自身を上書きする要素があります：\"" +
                                std::string(velmor::StripCurrentFolderSteps(self)) + "\""))
            << w.ui.LogText();
        EXPECT_EQ(w.ui.rows.size(), 1u);
        EXPECT_TRUE(w.shell.calls.empty());
    }
    // a.zip holds b.zip, which is also in the list: a.zip is refused, b.zip extracts as it is.
    JobWorld w;
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"b.zip"), {{"b.txt", "b"}}));
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), {{"b.zip", "not b"}, {"a.txt", "a"}}));
    w.ui.rows = {w.Path("a.zip"), w.Path("b.zip")};
    w.ini.OverWrite = 1;
    TUnPack unpack(w.Context(), {});
    RunJob(w, unpack);
    EXPECT_EQ(ReadText(w.dir.File(L"b.txt")), "b") << w.ui.LogText();
    EXPECT_FALSE(FileExists(w.dir.File(L"a.txt")));
    EXPECT_EQ(w.ui.rows, (std::vector<std::string>{w.Path("a.zip")}));
}

TEST(Guard, TheCleanUpTakesOnlyTheFileThatWasExtracted) {
    for (int afterMethod : {1, 2, 3}) {
        SCOPED_TRACE(afterMethod);
        JobWorld w;
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kFlat));
        ASSERT_TRUE(CreateDirectoryW(w.dir.File(L"moved").c_str(), nullptr));
        w.ui.rows = {w.Path("a.zip")};
        w.ini.AfterMethod = afterMethod;
        w.ini.MoveFolder = w.Path("moved");
        // The library writes over the archive by a route the engine never saw, once it has read all of it (a
        // library that streams would fail on an archive replaced halfway).
        w.archives = HookedArchiveFactory([&](int, int state) {
            if (state == ARCEXTRACT_END) WriteFileBytes(w.dir.File(L"a.zip"), "replaced while extracting");
        });
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        EXPECT_EQ(ReadText(w.dir.File(L"a.zip")), "replaced while extracting") << w.ui.LogText();
        EXPECT_TRUE(w.ui.Logged("> [ 後始末エラー ] 書庫が解凍の前と変わっているため、そのままにしました。"));
        EXPECT_TRUE(w.shell.calls.empty());
    }
}

TEST(Guard, TarMembersUnderDotSlashBindLikeAnyOthers) {
    JobWorld w;
    ASSERT_TRUE(WriteTarFixture(w.dir.File(L"x.tgz"),
                                {{"./", ""}, {"./readme.txt", "r"}, {"./docs/", ""}, {"./docs/a.txt", "a"}},
                                true));
    w.ui.rows = {w.Path("x.tgz")};
    w.ini.BindFolder = true;
    TUnPack unpack(w.Context(), {});
    RunJob(w, unpack);
    EXPECT_TRUE(w.ui.Logged("> [ 最上位要素カウント ]\t2コ")) << w.ui.LogText();
    EXPECT_EQ(ReadText(w.dir.File(L"x\\readme.txt")), "r");
    EXPECT_EQ(ReadText(w.dir.File(L"x\\docs\\a.txt")), "a");
    EXPECT_FALSE(FileExists(w.dir.File(L"readme.txt")));
}

TEST(Guard, AskAndSkipNeverReplaceAnExistingFileInAnyFormat) {
    struct Mode {
        const char* label;
        int overWrite;
        int answer;  // to the one question of "ask"
        bool replaced;
    };
    const std::vector<Mode> modes = {{"skip", 2, 0, false},
                                     {"ask, No", 0, IDNO, false},
                                     {"ask, Yes", 0, IDYES, true},
                                     {"overwrite", 1, 0, true}};
    const std::vector<FixtureMember> members = {{"./readme.txt", "theirs"}, {"./new.txt", "new"}};
    const std::vector<std::pair<std::wstring, std::string>> formats = {{L"a.tgz", ""},    {L"a.tar", ""},
                                                                       {L"a.zip", ""},    {L"a.lzh", "LHA"},
                                                                       {L"a.rar", "RAR"}, {L"a.cab", "CAB"}};
    for (const auto& [file, tag] : formats) {
        for (const Mode& mode : modes) {
            SCOPED_TRACE(platform::WideToSjis(file) + " " + mode.label);
            JobWorld w;
            const std::wstring path = w.dir.File(file);
            if (file == L"a.tgz" || file == L"a.tar") {
                ASSERT_TRUE(WriteTarFixture(path, members, file == L"a.tgz"));
            } else if (tag.empty()) {
                ASSERT_TRUE(WriteZipFixture(path, members));
            } else {
                ASSERT_TRUE(WriteTaggedFixture(path, tag, members));
            }
            ASSERT_TRUE(WriteFileBytes(w.dir.File(L"readme.txt"), "mine"));
            w.ui.rows = {w.Path(platform::WideToSjis(file))};
            w.ini.OverWrite = mode.overWrite;
            if (mode.answer) w.ui.answers = {mode.answer};
            TUnPack unpack(w.Context(), {});
            RunJob(w, unpack);
            EXPECT_EQ(ReadText(w.dir.File(L"readme.txt")), mode.replaced ? "theirs" : "mine")
                << w.ui.LogText();
            EXPECT_EQ(ReadText(w.dir.File(L"new.txt")), "new");
            EXPECT_TRUE(w.ui.rows.empty());
            EXPECT_TRUE(NoStagingLeft(w.dir.Path()));
            if (mode.answer) {
                ASSERT_EQ(w.ui.questions.size(), 1u);
                EXPECT_NE(w.ui.questions[0].text.find("\"readme.txt\""), std::string::npos);
            } else {
                EXPECT_TRUE(w.ui.questions.empty());
            }
            if (!mode.replaced) {
                EXPECT_TRUE(w.ui.Logged("> [ 上書きなし ] 既存のファイルをそのまま残しました：1個"));
            }
        }
    }
}

TEST(Guard, RelativeFoldersAreRefusedLikeEmptyOnes) {
    struct Case {
        int putLocation, afterMethod;
        std::string folder;  // the combo's text or the move folder
        const char* question;
    };
    const std::vector<Case> cases = {
        {1, 0, "relout", "フォルダ(解凍先)が指定されていません"},
        {1, 0, "C:relout", "フォルダ(解凍先)が指定されていません"},
        {1, 0, "\\relout", "フォルダ(解凍先)が指定されていません"},
        {2, 0, "relout", "フォルダ(お決まり1)が指定されていません"},
        {0, 3, "relout", "フォルダ(移動先)が指定されていません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        JobWorld w;
        TempDir cwd;
        wchar_t old[MAX_PATH];
        GetCurrentDirectoryW(MAX_PATH, old);
        ASSERT_TRUE(SetCurrentDirectoryW(cwd.Path().c_str()));
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kFlat));
        w.ui.rows = {w.Path("a.zip")};
        w.ini.PutLocation = c.putLocation;
        w.ini.AfterMethod = c.afterMethod;
        (c.afterMethod == 3 ? w.ini.MoveFolder : w.ui.specialFolderText) = c.folder;
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        SetCurrentDirectoryW(old);
        EXPECT_FALSE(FileExists(cwd.File(L"relout")));
        EXPECT_EQ(w.state.AbortJob, 1);
        ASSERT_EQ(w.ui.questions.size(), 1u);
        EXPECT_EQ(w.ui.questions[0].text, c.question);
        EXPECT_TRUE(w.standins.Calls().empty());
    }
    // A row given as a relative path never extracts into the root of the current drive.
    JobWorld w;
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kFlat));
    wchar_t old[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, old);
    ASSERT_TRUE(SetCurrentDirectoryW(w.dir.Path().c_str()));
    w.ui.rows = {"a.zip"};
    TUnPack unpack(w.Context(), {});
    RunJob(w, unpack);
    SetCurrentDirectoryW(old);
    EXPECT_TRUE(w.ui.Logged("> [ 前段階エラー ]： 解凍先フォルダが完全なパスではありません \"\\\""))
        << w.ui.LogText();
    EXPECT_TRUE(w.standins.Calls().empty());
}

// An existing readme.txt with "skip": the extraction goes through a staging folder.
TEST(Staging, WhatCouldNotMoveInIsAFailureAndAFailedExtractionMovesNothingIn) {
    struct Case {
        const char* label;
        int result;        // of the library
        bool holdStaged;   // another program holds a staged file open, so that it cannot move
        const char* line;  // logged besides the failure line
    };
    const std::vector<Case> cases = {
        {"a staged file that cannot move in", 0, true,
         "> [ 解凍エラー ] 解凍したファイルを解凍先へ移せませんでした。"},
        {"a failed extraction", 0x8019, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        JobWorld w;
        ASSERT_TRUE(WriteFileBytes(w.dir.File(L"a.zip"), "scripted"));
        ASSERT_TRUE(WriteFileBytes(w.dir.File(L"readme.txt"), "mine"));
        HANDLE held = INVALID_HANDLE_VALUE;
        ScriptedArchiveSpec spec;
        spec.members = {{"readme.txt", 6}, {"x.txt", 1}, {"docs/y.txt", 1}};
        spec.result = c.result;
        if (c.holdStaged) {
            spec.afterExtract = [&held](const std::string& staging) {
                held = CreateFileW(platform::SjisToWide(staging + "x.txt").c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
            };
        }
        w.archives = ScriptedArchiveFactory(spec);
        w.ui.rows = {w.Path("a.zip")};
        w.ini.OverWrite = 2;
        w.ini.AfterMethod = 1;
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        EXPECT_EQ(c.holdStaged, held != INVALID_HANDLE_VALUE);
        EXPECT_EQ(w.state.ItemFailed, 1) << w.ui.LogText();
        EXPECT_FALSE(w.ui.Logged("> [ 解凍 ]\t\"" + w.dir.SjisPath() + "\\\" へ解凍しました。"));
        if (c.line) {
            EXPECT_TRUE(w.ui.Logged(c.line)) << w.ui.LogText();
        }
        EXPECT_TRUE(FileExists(w.dir.File(L"a.zip")));
        EXPECT_EQ(w.ui.rows.size(), 1u);
        EXPECT_EQ(ReadText(w.dir.File(L"readme.txt")), "mine");
        EXPECT_FALSE(FileExists(w.dir.File(L"x.txt")));
        if (!c.holdStaged) {
            EXPECT_FALSE(FileExists(w.dir.File(L"docs")));
            EXPECT_TRUE(NoStagingLeft(w.dir.Path()));
        }
    }
}

TEST(Guard, OnlyYesToTheOverwriteQuestionReplacesAFile) {
    for (int answer : {IDYES, IDNO, IDCANCEL, 0, IDOK, IDABORT}) {
        SCOPED_TRACE(answer);
        JobWorld w;
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), {{"readme.txt", "theirs"}, {"new.txt", "new"}}));
        ASSERT_TRUE(WriteFileBytes(w.dir.File(L"readme.txt"), "mine"));
        w.ui.rows = {w.Path("a.zip")};
        w.ini.OverWrite = 0;
        w.ui.answers = {answer};
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        ASSERT_EQ(w.ui.questions.size(), 1u);
        EXPECT_EQ(w.ui.questions[0].flags & MB_TYPEMASK, UINT(MB_YESNO));
        EXPECT_EQ(ReadText(w.dir.File(L"readme.txt")), answer == IDYES ? "theirs" : "mine") << w.ui.LogText();
        EXPECT_EQ(ReadText(w.dir.File(L"new.txt")), "new");
    }
}
