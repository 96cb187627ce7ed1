// Split ".rar" sets and "newer only" without a library switch. A set is the unbroken run of volumes from its
// first, by name, and of those the clean-up takes only what the library read: a file that merely looks like
// a volume (no archive, another set's, past a gap, beside a whole archive) stays and neither fails the job
// nor keeps the set from extracting. With overwrite mode 3 and a library that has no "newer only" switch
// (tar), the engine keeps every existing file newer than its member and holds the archive back for it.
#include <gtest/gtest.h>

#include "app/engine/job_rules.h"
#include "app/engine/unpack_thread.h"
#include "archive_formats.h"
#include "engine/engine_fakes.h"
#include "platform/sjis.h"
#include "support/fixtures.h"

using namespace enginetest;
using namespace testsupport;
using velmor::TUnPack;

namespace {

// Volume `number` of the set `set` (its last when `last`), as the RAR stand-in reads a set.
bool WriteVolume(const std::wstring& path, const std::vector<FixtureMember>& members, uint32_t number,
                 bool last, const char* set = "s1") {
    return WriteZipFixture(path, members, standin::VolumeComment("RAR", {number, set, last}));
}

const std::vector<FixtureMember> kFirst = {{"one.txt", "1"}};
const std::vector<FixtureMember> kSecond = {{"two.txt", "22"}};
const std::vector<FixtureMember> kThird = {{"three.txt", "333"}};

void SetFileTimeUtc(const std::wstring& path, int64_t unixTime) {
    HANDLE h =
        CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ULARGE_INTEGER u{};
    u.QuadPart = static_cast<ULONGLONG>(unixTime + 11644473600LL) * 10000000ULL;
    FILETIME ft{u.LowPart, u.HighPart};
    EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &ft));
    CloseHandle(h);
}

}  // namespace

TEST(VolumeRun, IsTheUnbrokenRunAfterTheFirstVolume) {
    using Numbered = std::vector<std::pair<long long, std::string>>;
    struct Case {
        const char* label;
        Numbered numbered;
        long long next;
        std::vector<std::string> run;
    };
    const std::vector<Case> cases = {
        {"in order whatever the listing", {{3, "p3"}, {2, "p2"}, {4, "p4"}}, 2, {"p2", "p3", "p4"}},
        {"a gap ends it", {{2, "p2"}, {3, "p3"}, {9, "p9"}}, 2, {"p2", "p3"}},
        {"nothing right after the first", {{3, "p3"}, {4, "p4"}}, 2, {}},
        {"another spelling of the first is none", {{1, "part01"}, {2, "p2"}}, 2, {"p2"}},
        {"two spellings of one number",
         {{2, "part2"}, {2, "part02"}, {3, "p3"}},
         2,
         {"part2", "part02", "p3"}},
        {"numbered from r00", {{0, "r00"}, {1, "r01"}, {3, "r03"}}, 0, {"r00", "r01"}},
        {"r01 without r00", {{1, "r01"}}, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(velmor::ContiguousVolumeRun(c.numbered, c.next), c.run);
    }
}

// Each case of a folder beside a first volume, with the clean-up by delete, recycle and move: the set's
// volumes go, every other file stays, the set extracts whole, and the pre-test neither fails for a file that
// is no volume nor passes a set the library cannot read.
TEST(RarSets, TheCleanUpTakesOnlyTheVolumesTheLibraryRead) {
    struct File {
        const wchar_t* name;
        enum Kind { Whole, Volume, LastVolume, OtherSetVolume, NoArchive } kind;
        uint32_t number = 0;
        bool goes = false;  // taken by the clean-up
        const std::vector<FixtureMember>* members = &kFirst;
    };
    struct Case {
        const char* label;
        std::vector<File> files;  // the first is the listed archive
        std::vector<const wchar_t*> extracted;
        bool fails = false;  // the library cannot read the set: nothing is extracted or cleaned up
    };
    const std::vector<Case> cases = {
        {"a whole .rar beside a user's .r00 that is no archive",
         {{L"single.rar", File::Whole, 0, true}, {L"single.r00", File::NoArchive}},
         {L"one.txt"}},
        {"a whole .rar beside an unrelated valid .r00",
         {{L"single.rar", File::Whole, 0, true}, {L"single.r00", File::Whole, 0, false, &kSecond}},
         {L"one.txt"}},
        {"a two-volume set beside another download's part 9",
         {{L"set.part1.rar", File::Volume, 1, true},
          {L"set.part2.rar", File::LastVolume, 2, true, &kSecond},
          {L"set.part9.rar", File::OtherSetVolume, 9, false, &kThird}},
         {L"one.txt", L"two.txt"}},
        {"a numbered set whose last volume ends it before a stray .r01",
         {{L"num.rar", File::Volume, 1, true},
          {L"num.r00", File::LastVolume, 2, true, &kSecond},
          {L"num.r01", File::NoArchive}},
         {L"one.txt", L"two.txt"}},
        {"a set whose second volume is another set's",
         {{L"mix.part1.rar", File::Volume, 1}, {L"mix.part2.rar", File::OtherSetVolume, 2, false, &kSecond}},
         {},
         true},
    };
    for (const Case& c : cases) {
        for (bool preTest : {false, true}) {
            for (int method : {1, 2, 3}) {
                SCOPED_TRACE(std::string(c.label) + (preTest ? ", pre-test" : "") + ", method " +
                             std::to_string(method));
                JobWorld w;
                for (const File& f : c.files) {
                    const std::wstring path = w.dir.File(f.name);
                    switch (f.kind) {
                        case File::Whole:
                            ASSERT_TRUE(WriteTaggedFixture(path, "RAR", *f.members));
                            break;
                        case File::Volume:
                            ASSERT_TRUE(WriteVolume(path, *f.members, f.number, false));
                            break;
                        case File::LastVolume:
                            ASSERT_TRUE(WriteVolume(path, *f.members, f.number, true));
                            break;
                        case File::OtherSetVolume:
                            ASSERT_TRUE(WriteVolume(path, *f.members, f.number, true, "other"));
                            break;
                        case File::NoArchive:
                            ASSERT_TRUE(WriteFileBytes(path, "the user's own file"));
                            break;
                    }
                }
                ASSERT_TRUE(CreateDirectoryW(w.dir.File(L"moved").c_str(), nullptr));
                w.ui.rows = {w.Path(platform::WideToSjis(c.files[0].name))};
                w.ini.CheckDiv = true;
                w.ini.PreTestArc = preTest;
                w.ini.AfterMethod = method;
                w.ini.MoveFolder = w.Path("moved");
                w.ini.OverWrite = 1;
                TUnPack unpack(w.Context(), {});
                RunJob(w, unpack);

                for (const wchar_t* name : c.extracted)
                    EXPECT_TRUE(FileExists(w.dir.File(name))) << w.ui.LogText();
                for (const File& f : c.files) {
                    SCOPED_TRACE(platform::WideToSjis(f.name));
                    const bool goes = f.goes && !c.fails;
                    EXPECT_EQ(FileExists(w.dir.File(f.name)), !goes) << w.ui.LogText();
                    EXPECT_EQ(FileExists(w.dir.File(std::wstring(L"moved\\") + f.name)), goes && method == 3);
                }
                if (c.fails) {
                    EXPECT_FALSE(FileExists(w.dir.File(L"one.txt"))) << w.ui.LogText();
                    if (preTest) {
                        EXPECT_TRUE(CallsOf(w.standins.Calls(), "Unrar").empty());
                    }
                } else {
                    EXPECT_FALSE(w.ui.Logged("> 後始末キャンセル")) << w.ui.LogText();
                }
            }
        }
    }
}

TEST(RarSets, AStrayFileThatLooksLikeAVolumeIsNamedInTheLog) {
    JobWorld w;
    ASSERT_TRUE(WriteTaggedFixture(w.dir.File(L"single.rar"), "RAR", kFirst));
    ASSERT_TRUE(WriteFileBytes(w.dir.File(L"single.r00"), "the user's own file"));
    w.ui.rows = {w.Path("single.rar")};
    w.ini.CheckDiv = true;
    w.ini.PreTestArc = true;
    w.ini.AfterMethod = 1;
    TUnPack unpack(w.Context(), {});
    RunJob(w, unpack);
    EXPECT_TRUE(w.ui.Logged("> [ 分割書庫 テスト ]\t テスト通過 - " + w.Path("single.rar")))
        << w.ui.LogText();
    EXPECT_TRUE(w.ui.Logged("> [ 削除 ] 書庫を削除しました。" + w.Path("single.rar")));
    EXPECT_TRUE(w.ui.Logged("> [ 後始末対象外 ] 解凍で読まれなかったファイルはそのまま残しました：" +
                            w.Path("single.r00")));
    EXPECT_EQ(ReadText(w.dir.File(L"single.r00")), "the user's own file");
}

TEST(RarSets, APartSetExtractsOnceAndItsLaterVolumesAreSkipped) {
    for (int afterMethod : {0, 1}) {
        SCOPED_TRACE(afterMethod);
        JobWorld w;
        ASSERT_TRUE(WriteVolume(w.dir.File(L"a.part1.rar"), kFirst, 1, false));
        ASSERT_TRUE(WriteVolume(w.dir.File(L"a.part2.rar"), kSecond, 2, false));
        ASSERT_TRUE(WriteVolume(w.dir.File(L"a.part3.rar"), kThird, 3, true));
        ASSERT_TRUE(WriteTaggedFixture(w.dir.File(L"data.part1.rar"), "RAR", kFlat));
        for (const wchar_t* name : {L"depart2.rar", L"a.part.doc", L"banana.part3.zip"})
            ASSERT_TRUE(WriteFileBytes(w.dir.File(name), "x"));
        w.ui.rows = {w.Path("a.part1.rar")};
        if (afterMethod == 0)
            w.ui.rows = {w.Path("a.part1.rar"), w.Path("a.part2.rar"), w.Path("a.part3.rar")};
        w.ini.CheckDiv = true;
        w.ini.AfterMethod = afterMethod;
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);

        const std::vector<std::string> expected = {" ",
                                                   ">>>> [ %src ]  --",
                                                   "> [ 分割圧縮ファイル検出 ]： ",
                                                   "> ************************** ",
                                                   "> " + w.Path("a.part1.rar"),
                                                   "> " + w.Path("a.part2.rar"),
                                                   "> " + w.Path("a.part3.rar"),
                                                   "> ************************** "};
        ASSERT_GE(w.ui.log.size(), expected.size());
        EXPECT_EQ(std::vector<std::string>(w.ui.log.begin(), w.ui.log.begin() + expected.size()), expected)
            << w.ui.LogText();
        EXPECT_EQ(ReadText(w.dir.File(L"three.txt")), "333");
        EXPECT_EQ(CallsOf(w.standins.Calls(), "Unrar").size(), 1u);
        if (afterMethod == 0) {
            int later = 0;
            for (const std::string& l : w.ui.log)
                later += l == "> [非先頭分割ファイル]：先頭以外の分割ファイルは無視されます。";
            EXPECT_EQ(later, 2);
            EXPECT_EQ(w.ui.rows.size(), 2u);
        } else {
            for (const char* v : {"a.part1.rar", "a.part2.rar", "a.part3.rar"}) {
                EXPECT_TRUE(w.ui.Logged("> [ 削除 ] 書庫を削除しました。" + w.Path(v))) << w.ui.LogText();
                EXPECT_FALSE(FileExists(w.dir.File(platform::SjisToWide(v))));
            }
            EXPECT_TRUE(FileExists(w.dir.File(L"data.part1.rar")));
            EXPECT_TRUE(FileExists(w.dir.File(L"depart2.rar")));
        }
    }
}

TEST(RarSets, VolumesMatchTheirBaseNameWithoutRegardToCase) {
    JobWorld w;
    ASSERT_TRUE(WriteVolume(w.dir.File(L"Set.part1.rar"), kFirst, 1, false));
    ASSERT_TRUE(WriteVolume(w.dir.File(L"SET.PART2.RAR"), kSecond, 2, false));
    ASSERT_TRUE(WriteVolume(w.dir.File(L"set.Part3.rar"), kThird, 3, true));
    w.ui.rows = {w.Path("Set.part1.rar")};
    w.ini.CheckDiv = true;
    w.ini.AfterMethod = 1;
    TUnPack unpack(w.Context(), {});
    RunJob(w, unpack);
    EXPECT_EQ(w.shell.calls, (std::vector<std::string>{"delete " + w.Path("Set.part1.rar"),
                                                       "delete " + w.Path("SET.PART2.RAR"),
                                                       "delete " + w.Path("set.Part3.rar")}))
        << w.ui.LogText();
}

TEST(RarSets, ADamagedLaterVolumeFailsThePreTestOfTheSet) {
    JobWorld w;
    ASSERT_TRUE(WriteVolume(w.dir.File(L"a.part1.rar"), kFirst, 1, false));
    ASSERT_TRUE(WriteVolume(w.dir.File(L"a.part2.rar"), {{"two.txt", "stored data", false}}, 2, true));
    std::string bytes = ReadText(w.dir.File(L"a.part2.rar"));
    bytes[bytes.find("stored data") + 3] ^= 0x55;
    ASSERT_TRUE(WriteFileBytes(w.dir.File(L"a.part2.rar"), bytes));
    w.ui.rows = {w.Path("a.part1.rar")};
    w.ini.CheckDiv = true;
    w.ini.PreTestArc = true;
    w.ini.AfterMethod = 1;
    TUnPack unpack(w.Context(), {});
    RunJob(w, unpack);
    EXPECT_TRUE(w.ui.Logged("> [ 分割書庫 テスト ]\t不正な書庫です - " + w.Path("a.part1.rar")))
        << w.ui.LogText();
    EXPECT_TRUE(w.ui.Logged("> 後始末キャンセル"));
    EXPECT_TRUE(CallsOf(w.standins.Calls(), "Unrar").empty());
    EXPECT_FALSE(FileExists(w.dir.File(L"one.txt")));
    EXPECT_TRUE(w.shell.calls.empty());
}

TEST(NewerOnly, TheRule) {
    for (const char* ext : {".lzh", ".lha", ".zip", ".ZIP", ".cab", ".rar"})
        EXPECT_TRUE(velmor::HasNewerOnlySwitch(ext)) << ext;
    for (const char* ext : {".tar", ".tgz", ".gz", ".tbz", ""})
        EXPECT_FALSE(velmor::HasNewerOnlySwitch(ext)) << ext;
    EXPECT_TRUE(velmor::KeepsNewerExisting(200, 100));
    EXPECT_TRUE(velmor::KeepsNewerExisting(100, 100));  // the same time: nothing newer comes
    EXPECT_FALSE(velmor::KeepsNewerExisting(99, 100));
}

// A tar or tgz member of 2017 meets the user's newer file and the user's older one: the newer stays (logged,
// and the archive is held back), the older is replaced; with only older files the archive is cleaned up.
TEST(NewerOnly, TarKeepsTheUsersNewerFiles) {
    constexpr int64_t k2017 = 1500000000;  // 2017-07-14
    constexpr int64_t k2020 = 1600000000;  // 2020-09-13
    constexpr int64_t k2010 = 1270000000;  // 2010-03-31
    for (bool gzip : {false, true}) {
        for (bool withNewer : {true, false}) {
            SCOPED_TRACE(std::string(gzip ? "tgz" : "tar") + (withNewer ? ", a newer file" : ", older only"));
            JobWorld w;
            const wchar_t* archive = gzip ? L"p.tgz" : L"p.tar";
            ASSERT_TRUE(WriteTarFixture(w.dir.File(archive),
                                        {{"newer.txt", "archived", true, k2017},
                                         {"older.txt", "archived", true, k2017},
                                         {"fresh.txt", "fresh", true, k2017}},
                                        gzip));
            ASSERT_TRUE(WriteFileBytes(w.dir.File(L"newer.txt"), "mine"));
            SetFileTimeUtc(w.dir.File(L"newer.txt"), withNewer ? k2020 : k2010);
            ASSERT_TRUE(WriteFileBytes(w.dir.File(L"older.txt"), "mine"));
            SetFileTimeUtc(w.dir.File(L"older.txt"), k2010);
            w.ui.rows = {w.Path(platform::WideToSjis(archive))};
            w.ini.OverWrite = 3;
            w.ini.AfterMethod = 1;
            TUnPack unpack(w.Context(), {});
            RunJob(w, unpack);
            EXPECT_EQ(ReadText(w.dir.File(L"newer.txt")), withNewer ? "mine" : "archived") << w.ui.LogText();
            EXPECT_EQ(ReadText(w.dir.File(L"older.txt")), "archived");
            EXPECT_EQ(ReadText(w.dir.File(L"fresh.txt")), "fresh");
            EXPECT_EQ(FileExists(w.dir.File(archive)), withNewer);
            EXPECT_EQ(
                w.ui.Logged("> [ 上書きなし ] 書庫の要素より新しい既存のファイルをそのまま残しました：1個"),
                withNewer);
            EXPECT_EQ(
                w.ui.Logged("> [ 後始末中止 ] "
                            "解凍先に揃っていない要素があるため、書庫をそのまま残しました：\"newer.txt\""),
                withNewer);
        }
    }
}
