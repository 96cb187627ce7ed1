// The component-side pack list on a real folder tree: date window, hidden files, recursion, exclusions,
// relative names, cancel, and the current folder put back afterwards.
#include "archivers/pack_list.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "archivers/archiver_error.h"
#include "archivers/path_util.h"
#include "platform/sjis.h"
#include "support/temp_dir.h"

namespace {

std::wstring W(const std::string& s) { return platform::SjisToWide(s); }

class PackListTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = dir_.SjisPath();
        Write("a.txt");
        Write("b.log");
        Write("\x95\x5C.txt");  // 表.txt: trail byte 0x5C
        Write("hidden.txt");
        SetFileAttributesW(W(root_ + "\\hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
        Write("sub\\c.txt");
        Write("sub\\d.bak");
        Write("sub\\deep\\e.txt");
        GetCurrentDirectoryW(MAX_PATH, saved_);
    }
    void TearDown() override {
        SetCurrentDirectoryW(saved_);
        SetFileAttributesW(W(root_ + "\\hidden.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    }

    void Write(const std::string& rel, const SYSTEMTIME* localTime = nullptr) {
        const std::wstring path = W(root_ + "\\" + rel);
        ASSERT_TRUE(testsupport::WriteFileMakingFolders(path, rel)) << rel;
        if (!localTime) return;
        HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        FILETIME local, utc;
        SystemTimeToFileTime(localTime, &local);
        LocalFileTimeToFileTime(&local, &utc);
        SetFileTime(h, nullptr, nullptr, &utc);
        CloseHandle(h);
    }

    std::vector<std::string> Build(TArchiverOptions& o, const TFileItems& specs, bool* cancelOut = nullptr,
                                   const TPackProgress& progress = nullptr) {
        platform::TStringList temps;
        bool cancel = false;
        auto list = BuildPackFileList(temps, o, root_, cancel, specs, progress);
        if (cancelOut) *cancelOut = cancel;
        return list->Items();
    }

    testsupport::TempDir dir_;
    std::string root_;
    wchar_t saved_[MAX_PATH];
};

using Names = std::vector<std::string>;

}  // namespace

TEST_F(PackListTest, SelectionRules) {
    struct Case {
        const char* what;
        std::function<void(TArchiverOptions&)> set;
        TFileItems specs;
        Names expected;
    };
    const Case cases[] = {
        {"empty specs pack the base folder, no hidden, no folders", [](TArchiverOptions&) {}, {},
         {"a.txt", "b.log", "\x95\x5C.txt"}},
        {"hidden files with a > 0", [](TArchiverOptions& o) { o.a = 1; }, {},
         {"a.txt", "b.log", "hidden.txt", "\x95\x5C.txt"}},
        {"mask", [](TArchiverOptions&) {}, {std::string("*.txt")}, {"a.txt", "\x95\x5C.txt"}},
        {"same file named twice is listed once", [](TArchiverOptions&) {},
         {std::string("a.txt"), std::string("*.txt")}, {"a.txt", "\x95\x5C.txt"}},
        {"recursion r=1 with a mask descends", [](TArchiverOptions& o) { o.r = 1; }, {std::string("*.txt")},
         {"a.txt", "sub\\c.txt", "sub\\deep\\e.txt", "\x95\x5C.txt"}},
        {"r=2 packs a named folder's tree", [](TArchiverOptions& o) { o.r = 2; }, {std::string("sub")},
         {"sub\\c.txt", "sub\\d.bak", "sub\\deep\\e.txt"}},
        {"r=1 takes a folder name as folder part and mask", [](TArchiverOptions& o) { o.r = 1; },
         {std::string("sub")}, {}},
        {"exclusions apply in subfolders", [](TArchiverOptions& o) {
             o.r = 1;
             o.jx.Add("*.bak");
             o.jx.Add("a.txt");
         },
         {std::string("*.*")}, {"b.log", "sub\\c.txt", "sub\\deep\\e.txt", "\x95\x5C.txt"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TArchiverOptions o;
        c.set(o);
        EXPECT_EQ(Build(o, c.specs), c.expected);
        EXPECT_EQ(o.r, -1);  // the library adds nothing of its own
        EXPECT_EQ(o.p, 1);
        EXPECT_TRUE(IsUnset(o.jo));
    }
}

TEST_F(PackListTest, DateWindowTakesWholeDays) {
    SYSTEMTIME lateIn{2026, 12, 0, 31, 23, 0, 0, 0};
    SYSTEMTIME before{2025, 12, 0, 31, 12, 0, 0, 0};
    Write("in.dat", &lateIn);
    Write("out.dat", &before);
    for (const char* lower : {"260101", "l260101", "20260101"}) {
        SCOPED_TRACE(lower);
        TArchiverOptions o;
        o.jo = lower;
        o.job = "261231";
        EXPECT_EQ(Build(o, {std::string("*.dat")}), Names{"in.dat"});
    }
    TArchiverOptions noLimit;
    noLimit.jo = "2601";  // four characters: no limit
    EXPECT_EQ(Build(noLimit, {std::string("*.dat")}), (Names{"in.dat", "out.dat"}));
    TArchiverOptions bad;
    bad.jo = "261301";
    EXPECT_THROW(Build(bad, {std::string("*.dat")}), EArchiver);
}

TEST_F(PackListTest, RelativeNamesAndShortNames) {
    TArchiverOptions o;
    o.jf = -2;
    // Absolute specifications become relative to the base (a base without "\" counts as a file in its parent).
    Names got = Build(o, {root_ + "\\sub\\c.txt"});
    EXPECT_EQ(got, Names{ExtractBareName(root_) + "\\sub\\c.txt"});
    EXPECT_EQ(ExtractRelativePath("C:\\a\\b\\", "C:\\a\\c\\d.txt"), "..\\c\\d.txt");
    EXPECT_EQ(ExtractRelativePath("C:\\a\\b\\", "D:\\x.txt"), "D:\\x.txt");
}

TEST_F(PackListTest, CancelStopsAndCurrentFolderIsRestored) {
    wchar_t before[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, before);
    TArchiverOptions o;
    o.r = 1;
    int reports = 0;
    std::string lastName;
    bool cancel = false;
    Names got = Build(o, {std::string("*.*")}, &cancel, [&](int state, LPEXTRACTINGINFOEX info, bool& abort) {
        EXPECT_EQ(state, kPackListProgressState);
        lastName = info->SourceFileName;
        if (++reports == 2) abort = true;
    });
    EXPECT_TRUE(cancel);
    EXPECT_EQ(reports, 2);
    EXPECT_EQ(got.size(), 2u);
    wchar_t after[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, after);
    EXPECT_STREQ(before, after);
}

TEST(PackListDates, TwoDigitYearWindow) {
    EXPECT_EQ(ExpandTwoDigitYear(75, 2026), 2075);
    EXPECT_EQ(ExpandTwoDigitYear(76, 2026), 1976);
    EXPECT_EQ(ParseDateSwitch("abcd", "000000"), 0u);
    EXPECT_EQ(ParseDateSwitch(kUnsetText, "000000"), 0u);
    EXPECT_LT(ParseDateSwitch("260101", "000000"), ParseDateSwitch("260101", "235959"));
}
