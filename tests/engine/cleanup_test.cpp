// The clean-up after an extraction gives nothing away that is not safely on disk: it runs only when every
// member the walk listed is there under its own name with its size, nothing was held back and no two members
// met on one name; and each act is judged by what the disk and the recycle bin show afterwards, never by a
// flag or a return code: a recycling the bin did not take, a move over a file nobody agreed to replace, a
// deletion that did not delete, an archive replaced meanwhile, and the staging folders of a killed run.
#include <gtest/gtest.h>

#include "app/engine/member_guard.h"
#include "app/engine/unpack_thread.h"
#include "engine/engine_fakes.h"
#include "platform/sjis.h"
#include "support/fixtures.h"

using namespace enginetest;
using namespace testsupport;
using velmor::TUnPack;

namespace {

const std::string kWithheld =
    "> [ 後始末中止 ] 解凍先に揃っていない要素があるため、書庫をそのまま残しました：";

int CountEntries(const std::wstring& folder, const wchar_t* pattern = L"*") {
    int n = 0;
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0) ++n;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return n;
}

}  // namespace

TEST(Verification, OnlyAnExtractionWhollyOnDiskIsCleanedUp) {
    using Members = std::vector<std::pair<std::string, uint32_t>>;
    const Members tree = {{"a.txt", 3}, {"docs/", 0}, {"docs/b.txt", 5}};
    struct Case {
        const char* label;
        Members members;
        std::map<std::string, long long> written{};  // what the library wrote instead of the listed size
        int overWrite = 1;
        int answer = 0;  // to the overwrite question
        bool ignoreDirectory = false;
        bool userFile = false;       // the user's a.txt, of the member's size, is there before
        const char* kept = nullptr;  // the members the log names; none: the archive is deleted
    };
    const std::vector<Case> cases = {
        {"everything there", tree},
        {"a member not written", tree, {{"docs/b.txt", -1}}, 1, 0, false, false, "\"docs/b.txt\""},
        {"a member of another size", tree, {{"a.txt", 2}}, 1, 0, false, false, "\"a.txt\""},
        {"a folder entry not made",
         {{"docs/", 0}, {"a.txt", 3}},
         {{"docs/", -1}},
         1,
         0,
         false,
         false,
         "\"docs/\""},
        {"two members missing",
         tree,
         {{"a.txt", -1}, {"docs/b.txt", -1}},
         1,
         0,
         false,
         false,
         "\"a.txt\" ほか1件"},
        {"skip kept the user's file", tree, {}, 2, 0, false, true, "\"a.txt\""},
        {"No kept the user's file", tree, {}, 0, IDNO, false, true, "\"a.txt\""},
        {"Yes replaced it", tree, {}, 0, IDYES, false, true},
        {"overwrite replaced it", tree, {}, 1, 0, false, true},
        {"names that differ in case", {{"a.txt", 3}, {"A.TXT", 3}}, {}, 1, 0, false, false, "\"A.TXT\""},
        {"trailing dots and blanks",
         {{"t", 1}, {"t.", 1}, {"t ", 1}},
         {},
         1,
         0,
         false,
         false,
         "\"t.\" ほか1件"},
        {"the same name twice", {{"a.txt", 3}, {"a.txt", 3}}, {}, 1, 0, false, false, "\"a.txt\""},
        {"junked paths", {{"d1/a.txt", 3}, {"d2/a.txt", 3}}, {}, 1, 0, true, false, "\"d2/a.txt\""},
        {"a file where a folder goes", {{"t", 1}, {"t/x.txt", 1}}, {}, 1, 0, false, false, "\"t/x.txt\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        JobWorld w;
        ASSERT_TRUE(WriteFileBytes(w.dir.File(L"a.zip"), "scripted"));
        // The user's file has the member's size: only the held-back rule can tell it from the member.
        if (c.userFile) {
            ASSERT_TRUE(WriteFileBytes(w.dir.File(L"a.txt"), "abc"));
        }
        ScriptedArchiveSpec spec;
        spec.members = c.members;
        spec.written = c.written;
        w.archives = ScriptedArchiveFactory(spec);
        w.ui.rows = {w.Path("a.zip")};
        w.ini.AfterMethod = 1;
        w.ini.OverWrite = c.overWrite;
        w.ini.IgnoreDirectory = c.ignoreDirectory;
        if (c.answer) w.ui.answers = {c.answer};
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        if (c.kept) {
            EXPECT_TRUE(FileExists(w.dir.File(L"a.zip"))) << w.ui.LogText();
            EXPECT_TRUE(w.ui.Logged(kWithheld + c.kept)) << w.ui.LogText();
            EXPECT_EQ(w.ui.rows.size(), 1u);  // not cleaned up: still listed
            EXPECT_TRUE(w.shell.calls.empty());
        } else {
            EXPECT_FALSE(FileExists(w.dir.File(L"a.zip"))) << w.ui.LogText();
            EXPECT_TRUE(w.ui.Logged("> [ 削除 ] 書庫を削除しました。"));
            EXPECT_TRUE(w.ui.rows.empty());
        }
        if (c.userFile) {
            EXPECT_EQ(ReadText(w.dir.File(L"a.txt")), c.kept ? "abc" : "ddd");
        }
    }
}

TEST(Verification, MembersMeetingOnOneNameAreNamedBeforeTheExtraction) {
    JobWorld w;
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), {{"a.txt", "one"}, {"b.txt", "b"}, {"A.TXT", "two"}}));
    ASSERT_TRUE(CreateDirectoryW(w.dir.File(L"moved").c_str(), nullptr));
    w.ui.rows = {w.Path("a.zip")};
    w.ini.OverWrite = 1;
    w.ini.MoveFolder = w.Path("moved");
    for (int method : {1, 2, 3}) {
        SCOPED_TRACE(method);
        w.ini.AfterMethod = method;
        w.ui.log.clear();
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        EXPECT_TRUE(w.ui.Logged("> [ 同名の要素 ] 解凍先で同じ名前になる要素があります：\"A.TXT\""))
            << w.ui.LogText();
        EXPECT_TRUE(w.ui.Logged(kWithheld + "\"A.TXT\""));
        EXPECT_TRUE(FileExists(w.dir.File(L"a.zip")));
        EXPECT_TRUE(w.shell.calls.empty());
    }
}

TEST(Recycle, TheArchiveLeavesOnlyWhenTheBinIsSeenToHoldIt) {
    struct Case {
        const char* label;
        bool deletesForGood, noBin, recycled;
        bool noHardLinks = false;  // a FAT volume: the second name is a copy
    };
    const std::vector<Case> cases = {
        {"the bin takes it", false, false, true},
        {"the shell deletes it for good and reports success", true, false, false},
        {"no bin serves the volume", false, true, false},
        {"no hard links: the copy is made off the window's thread", false, false, true, true},
        {"no hard links, and the shell deletes for good", true, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        JobWorld w;
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kFlat));
        const std::string bytes = ReadText(w.dir.File(L"a.zip"));
        const int inBin = CountEntries(RecycleBinFiles());
        w.ui.rows = {w.Path("a.zip")};
        w.ini.AfterMethod = 2;
        w.shell.recycleDeletesForGood = c.deletesForGood;
        w.shell.noRecycleBin = c.noBin;
        w.shell.noHardLinks = c.noHardLinks;
        w.shell.main = &w.main;
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        EXPECT_EQ(w.shell.hardLinksOnMainThread, 0);
        if (c.recycled) {
            EXPECT_FALSE(FileExists(w.dir.File(L"a.zip"))) << w.ui.LogText();
            EXPECT_EQ(CountEntries(RecycleBinFiles()), inBin + 1);
            EXPECT_TRUE(w.ui.Logged("> [ ごみ箱 ] 書庫をごみ箱へ移しました。"));
        } else {
            EXPECT_EQ(ReadText(w.dir.File(L"a.zip")), bytes) << w.ui.LogText();
            EXPECT_TRUE(w.ui.Logged("> [ 後始末エラー ] 書庫をごみ箱へ移せませんでした。")) << w.ui.LogText();
            EXPECT_FALSE(w.ui.Logged("> [ ごみ箱 ] 書庫をごみ箱へ移しました。"));
        }
        if (c.noBin) {
            EXPECT_TRUE(w.shell.calls.empty());
        }
        EXPECT_EQ(CountEntries(w.dir.Path(), L"*velmor-spare*"), 0);
    }
}

TEST(AfterAction, AMoveOverAFileOfTheSameNameReplacesItOnlyOnYes) {
    for (int answer : {IDYES, IDNO, IDCANCEL, 0, IDOK}) {
        SCOPED_TRACE(answer);
        JobWorld w;
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kFlat));
        const std::string bytes = ReadText(w.dir.File(L"a.zip"));
        ASSERT_TRUE(CreateDirectoryW(w.dir.File(L"moved").c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(w.dir.File(L"moved\\a.zip"), "older"));
        w.ui.rows = {w.Path("a.zip")};
        w.ini.AfterMethod = 3;
        w.ini.MoveFolder = w.Path("moved");
        w.ini.MoveOverWrite = 0;
        w.state.AppTitle = "Velmor";
        w.ui.answers = {answer};
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        ASSERT_EQ(w.ui.questions.size(), 1u) << w.ui.LogText();
        EXPECT_EQ(w.ui.questions[0].caption, "Velmor");
        EXPECT_EQ(w.ui.questions[0].flags & MB_TYPEMASK, UINT(MB_YESNO));
        EXPECT_NE(w.ui.questions[0].text.find(w.Path("moved\\a.zip")), std::string::npos);
        if (answer == IDYES) {
            EXPECT_EQ(ReadText(w.dir.File(L"moved\\a.zip")), bytes) << w.ui.LogText();
            EXPECT_FALSE(FileExists(w.dir.File(L"a.zip")));
            EXPECT_TRUE(w.ui.Logged("> [ 移動 ] 書庫を移動しました。=>移動先:\"" + w.Path("moved") + "\""));
        } else {
            EXPECT_EQ(ReadText(w.dir.File(L"moved\\a.zip")), "older") << w.ui.LogText();
            EXPECT_EQ(ReadText(w.dir.File(L"a.zip")), bytes);
            EXPECT_TRUE(w.ui.Logged("> [移動] 移動スキップ "));
        }
    }
}

TEST(AfterAction, ADeleteIsLoggedAsWhatIsTrueAfterwards) {
    // The system reports a deletion it did not make.
    {
        JobWorld w;
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kFlat));
        w.ui.rows = {w.Path("a.zip")};
        w.ini.AfterMethod = 1;
        w.shell.deleteKeepsFile = true;
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        EXPECT_TRUE(FileExists(w.dir.File(L"a.zip")));
        EXPECT_TRUE(w.ui.Logged("> [ 後始末エラー ] 書庫を削除できませんでした。")) << w.ui.LogText();
        EXPECT_FALSE(w.ui.Logged("> [ 削除 ] 書庫を削除しました。"));
    }
    // Another program has the archive open, allowing deletion: a deletion would only be marked, and the file
    // would stay in its place as long as that program holds it.
    JobWorld w;
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kFlat));
    const std::string bytes = ReadText(w.dir.File(L"a.zip"));
    HANDLE other = CreateFileW(w.dir.File(L"a.zip").c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    w.ui.rows = {w.Path("a.zip")};
    w.ini.AfterMethod = 1;
    TUnPack unpack(w.Context(), {});
    RunJob(w, unpack);
    EXPECT_TRUE(FileExists(w.dir.File(L"a.zip")));
    CloseHandle(other);
    EXPECT_EQ(ReadText(w.dir.File(L"a.zip")), bytes);
    EXPECT_TRUE(w.ui.Logged("> [ 後始末エラー ] 書庫を削除できませんでした。")) << w.ui.LogText();
}

TEST(Guard, AnArchiveReplacedByAFileOfTheSameSizeIsNotCleanedUp) {
    struct Case {
        const char* label;
        bool sameTime;  // another file of the same size and time put in its place; else rewritten in place
    };
    for (const Case& c : {Case{"rewritten with the same size", false},
                          Case{"another file of the same size and time in its place", true}}) {
        SCOPED_TRACE(c.label);
        JobWorld w;
        const std::wstring arc = w.dir.File(L"a.zip");
        ASSERT_TRUE(WriteZipFixture(arc, kFlat));
        const std::string bytes = ReadText(arc);
        w.ui.rows = {w.Path("a.zip")};
        w.ini.AfterMethod = 1;
        w.ini.PreTestArc = true;
        auto replace = [&] {
            FILETIME time{};
            {
                HANDLE h = CreateFileW(arc.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
                GetFileTime(h, nullptr, nullptr, &time);
                CloseHandle(h);
            }
            const std::wstring target = c.sameTime ? w.dir.File(L"copy.tmp") : arc;
            WriteFileBytes(target, bytes);
            if (!c.sameTime) {
                time.dwHighDateTime += 1;  // later, whatever the clock's resolution
            }
            HANDLE h = CreateFileW(target.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
            SetFileTime(h, nullptr, nullptr, &time);
            CloseHandle(h);
            if (c.sameTime) MoveFileExW(target.c_str(), arc.c_str(), MOVEFILE_REPLACE_EXISTING);
        };
        // Before the pre-test: the extraction that follows reads the replacement.
        w.archives = HookedArchiveFactory([](int, int) {}, velmor::RealArchiveFactory(), replace);
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        EXPECT_EQ(ReadText(arc), bytes) << w.ui.LogText();
        EXPECT_EQ(ReadText(w.dir.File(L"x.txt")), "x");
        EXPECT_TRUE(w.ui.Logged("> [ 後始末エラー ] 書庫が解凍の前と変わっているため、そのままにしました。"))
            << w.ui.LogText();
        EXPECT_TRUE(w.shell.calls.empty());
    }
}

TEST(Staging, OnlyTheStagingFoldersTheProgramMadeGoAsAKilledRunsLeftovers) {
    JobWorld w;
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kFlat));
    ASSERT_TRUE(CreateDirectoryW(w.dir.File(L"settings").c_str(), nullptr));
    TUnPack unpack(w.Context(), {});
    unpack.WorkRecord = velmor::TWorkRecord(w.Path("settings\\VelmorWork.txt"));
    w.ini.OverWrite = 1;
    // Made by a run that was killed before it removed them.
    const std::string killed = velmor::CreateStagingFolder(w.dir.SjisPath(), unpack.WorkRecord);
    ASSERT_FALSE(killed.empty());
    ASSERT_TRUE(WriteFileMakingFolders(platform::SjisToWide(killed + "sub\\y.txt"), "staged"));
    const std::string held = velmor::CreateStagingFolder(w.dir.SjisPath(), unpack.WorkRecord);
    ASSERT_TRUE(WriteFileBytes(platform::SjisToWide(held + "z.txt"), "in use"));
    HANDLE hold = velmor::HoldFolder(held);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    // Made by the program, but another folder of that name has taken its place since.
    const std::string made = velmor::CreateStagingFolder(w.dir.SjisPath(), unpack.WorkRecord);
    std::wstring replaced = platform::SjisToWide(made);
    replaced.pop_back();
    ASSERT_TRUE(MoveFileW(replaced.c_str(), w.dir.File(L"moved aside").c_str()));
    ASSERT_TRUE(WriteFileMakingFolders(replaced + L"\\z.txt", "mine"));
    // Only the name: a user's folder, an archive's member folder, a file.
    ASSERT_TRUE(WriteFileMakingFolders(w.dir.File(L"~velmor0000abcd.tmp\\x.txt"), "mine"));
    ASSERT_TRUE(WriteFileMakingFolders(w.dir.File(L"~velmor1234ABCD.tmp\\sub\\y.txt"), "a member"));
    ASSERT_TRUE(WriteFileBytes(w.dir.File(L"~velmor0000abce.tmp"), "a file"));
    w.ui.rows = {w.Path("a.zip")};
    RunJob(w, unpack);
    CloseHandle(hold);
    std::string killedFolder = killed;
    killedFolder.pop_back();
    EXPECT_FALSE(FileExists(platform::SjisToWide(killedFolder))) << w.ui.LogText();
    EXPECT_TRUE(w.ui.Logged("> [ 残骸の削除 ] \"" + killedFolder + "\""));
    EXPECT_EQ(ReadText(platform::SjisToWide(held + "z.txt")), "in use");
    EXPECT_EQ(ReadText(replaced + L"\\z.txt"), "mine");
    EXPECT_EQ(ReadText(w.dir.File(L"~velmor0000abcd.tmp\\x.txt")), "mine");
    EXPECT_EQ(ReadText(w.dir.File(L"~velmor1234ABCD.tmp\\sub\\y.txt")), "a member");
    EXPECT_EQ(ReadText(w.dir.File(L"~velmor0000abce.tmp")), "a file");
    EXPECT_EQ(ReadText(w.dir.File(L"x.txt")), "x");
    // What stays recorded is the folder still held, and it goes with the next extraction after that.
    w.ui.rows = {w.Path("a.zip")};
    RunJob(w, unpack);
    EXPECT_FALSE(FileExists(platform::SjisToWide(held))) << w.ui.LogText();
    EXPECT_EQ(ReadText(replaced + L"\\z.txt"), "mine");
    EXPECT_FALSE(FileExists(w.dir.File(L"settings\\VelmorWork.txt")));
}

TEST(Spare, ASecondNameAKilledRunLeftGoesOnlyWhereTheArchiveIsSafe) {
    enum Fate { kInPlace, kInTheBin, kDeleted, kReplaced };
    struct Case {
        const char* label;
        bool copy;  // no hard links on the volume: the second name is a copy
        Fate fate;  // what became of the archive after the kill
        bool removed;
    };
    const std::vector<Case> cases = {
        {"a link, the archive in its place", false, kInPlace, true},
        {"a link, the archive in the bin", false, kInTheBin, true},
        {"a link, the archive deleted for good", false, kDeleted, false},
        {"a link, another file in the archive's place", false, kReplaced, false},
        {"a copy, the archive in its place", true, kInPlace, true},
        {"a copy, the archive in the bin, which is not seen", true, kInTheBin, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        JobWorld w;
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kFlat));
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"t.zip"), kTree));
        const std::string bytes = ReadText(w.dir.File(L"t.zip"));
        ASSERT_TRUE(WriteFileBytes(w.dir.File(L"u.zip.velmor-spare"), "the user's own"));
        ASSERT_TRUE(CreateDirectoryW(w.dir.File(L"settings").c_str(), nullptr));
        w.shell.noHardLinks = c.copy;
        w.ini.OverWrite = 1;
        TUnPack unpack(w.Context(), {});
        unpack.WorkRecord = velmor::TWorkRecord(w.Path("settings\\VelmorWork.txt"));
        // The kill: the second name's owner never ends (leaked on purpose).
        auto* spare = new velmor::TSpareName(w.Path("t.zip"), unpack.WorkRecord, w.shell, true);
        ASSERT_TRUE(spare->Made());
        const std::wstring second = w.dir.File(L"t.zip.velmor-spare");
        ASSERT_EQ(ReadText(second), bytes);
        if (c.fate == kInTheBin) {
            ASSERT_EQ(w.shell.Recycle(w.Path("t.zip"), FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_FILESONLY),
                      0);
        } else if (c.fate != kInPlace) {
            ASSERT_TRUE(DeleteFileW(w.dir.File(L"t.zip").c_str()));
        }
        if (c.fate == kReplaced) {
            ASSERT_TRUE(WriteFileBytes(w.dir.File(L"t.zip"), "a new download"));
        }
        w.ui.rows = {w.Path("a.zip")};
        RunJob(w, unpack);
        EXPECT_EQ(FileExists(second), !c.removed) << w.ui.LogText();
        if (c.removed) {
            EXPECT_TRUE(w.ui.Logged("> [ 残骸の削除 ] \"" + w.Path("t.zip.velmor-spare") + "\""));
        } else {
            EXPECT_EQ(ReadText(second), bytes);
            EXPECT_TRUE(w.ui.Logged("> [ 後始末エラー ] 書庫が元の場所にないため、その予備を残しました：\"" +
                                    w.Path("t.zip.velmor-spare") + "\""))
                << w.ui.LogText();
        }
        EXPECT_EQ(ReadText(w.dir.File(L"u.zip.velmor-spare")), "the user's own");
        // Said once: the record forgets it.
        w.ui.log.clear();
        w.ui.rows = {w.Path("a.zip")};
        RunJob(w, unpack);
        EXPECT_EQ(FileExists(second), !c.removed);
        EXPECT_EQ(w.ui.LogText().find("velmor-spare"), std::string::npos) << w.ui.LogText();
    }
}

TEST(Recycle, ASecondNameThatCannotBeRenamedBackStaysAndIsNamed) {
    JobWorld w;
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kFlat));
    const std::string bytes = ReadText(w.dir.File(L"a.zip"));
    w.ui.rows = {w.Path("a.zip")};
    w.ini.AfterMethod = 2;
    // The shell deletes the archive for good, and another program takes its name before it is put back.
    w.shell.recycleDeletesForGood = true;
    w.shell.nameTakenAfterRecycle = true;
    TUnPack unpack(w.Context(), {});
    RunJob(w, unpack);
    EXPECT_EQ(ReadText(w.dir.File(L"a.zip.velmor-spare")), bytes) << w.ui.LogText();
    EXPECT_EQ(ReadText(w.dir.File(L"a.zip")), "another program's");
    EXPECT_TRUE(w.ui.Logged("> [ 後始末エラー ] 書庫をごみ箱へ移せませんでした。"));
    EXPECT_TRUE(w.ui.Logged("> [ 後始末エラー ] 書庫を元の名前に戻せなかったため、その予備を残しました：\"" +
                            w.Path("a.zip.velmor-spare") + "\""))
        << w.ui.LogText();
}

TEST(Verification, AFileRewrittenAtTheSameSizeIsSeenBeforeADeleteOrARecycle) {
    for (int method : {1, 2, 3}) {
        SCOPED_TRACE(method);
        JobWorld w;
        ASSERT_TRUE(WriteFileBytes(w.dir.File(L"a.zip"), "scripted"));
        ASSERT_TRUE(CreateDirectoryW(w.dir.File(L"moved").c_str(), nullptr));
        ScriptedArchiveSpec spec;
        spec.members = {{"a.txt", 3}, {"docs/b.txt", 5}};
        // Another program rewrites b.txt, at the same size, before the clean-up.
        spec.afterExtract = [](const std::string& destination) {
            WriteFileBytes(platform::SjisToWide(destination + "docs\\b.txt"), "other");
        };
        w.archives = ScriptedArchiveFactory(spec);
        w.ui.rows = {w.Path("a.zip")};
        w.ini.AfterMethod = method;
        w.ini.MoveFolder = w.Path("moved");
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        if (method == 3) {
            // A move keeps the archive whole: nothing is read back for it.
            EXPECT_TRUE(FileExists(w.dir.File(L"moved\\a.zip"))) << w.ui.LogText();
        } else {
            EXPECT_EQ(ReadText(w.dir.File(L"a.zip")), "scripted") << w.ui.LogText();
            EXPECT_TRUE(w.ui.Logged(kWithheld + "\"docs/b.txt\"")) << w.ui.LogText();
            EXPECT_TRUE(w.shell.calls.empty());
        }
    }
}

TEST(Verification, AnEmptyMemberMetByTheOtherKindOnDiskKeepsTheArchive) {
    struct Case {
        const char* label;
        std::string member;      // empty: a file of no bytes, or a folder entry
        std::wstring userThing;  // what is there before, of the member's name
        bool userFolder;
    };
    const std::vector<Case> cases = {
        {"an empty file where a folder is", "e.txt", L"e.txt", true},
        {"an empty folder where a file is", "d/", L"d", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        JobWorld w;
        ASSERT_TRUE(WriteFileBytes(w.dir.File(L"a.zip"), "scripted"));
        if (c.userFolder) {
            ASSERT_TRUE(WriteFileMakingFolders(w.dir.File(c.userThing + L"\\mine.txt"), "mine"));
        } else {
            ASSERT_TRUE(WriteFileBytes(w.dir.File(c.userThing), "mine"));
        }
        ScriptedArchiveSpec spec;
        spec.members = {{c.member, 0}, {"b.txt", 1}};
        w.archives = ScriptedArchiveFactory(spec);
        w.ui.rows = {w.Path("a.zip")};
        w.ini.AfterMethod = 1;
        w.ini.OverWrite = 1;
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        EXPECT_TRUE(FileExists(w.dir.File(L"a.zip"))) << w.ui.LogText();
        EXPECT_TRUE(w.ui.Logged(kWithheld + "\"" + c.member + "\"")) << w.ui.LogText();
        EXPECT_EQ(ReadText(w.dir.File(c.userFolder ? c.userThing + L"\\mine.txt" : c.userThing)), "mine");
    }
}
