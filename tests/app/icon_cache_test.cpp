// Shell icon cache: the key rules and counts with a counting icon source, an injected icon failure that must
// not shift later indexes, the real shell's icons, the folder scan and its events, and list-view unbinding.
#include "app/icon_cache.h"

#include <gtest/gtest.h>

#include "has_display.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/application.h"
#include "platform/form.h"
#include "platform/list_view.h"
#include "platform/sjis.h"

using namespace velmor;
using platform::SjisToWide;

namespace {
// Hands out copies of a stock icon and counts the requests; names listed in failSmall get no small icon.
class CountingCache : public TFilerIconCache {
public:
    int requests = 0;
    std::vector<std::string> failSmall;

protected:
    HICON FetchShellIcon(const std::string& fileName, bool small) override {
        ++requests;
        for (const auto& f : failSmall)
            if (small && f == fileName) return nullptr;
        return CopyIcon(LoadIconW(nullptr, IDI_APPLICATION));
    }
};

std::string TempFolder(const std::string& leaf) {
    wchar_t buffer[MAX_PATH];
    GetTempPathW(MAX_PATH, buffer);
    std::string path = platform::WideToSjis(buffer) + leaf;
    CreateDirectoryW(SjisToWide(path).c_str(), nullptr);
    return path;
}

void WriteFile(const std::string& path, size_t size) {
    HANDLE h = CreateFileW(SjisToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    std::string data(size, 'x');
    DWORD done = 0;
    ::WriteFile(h, data.data(), static_cast<DWORD>(size), &done, nullptr);
    CloseHandle(h);
}
}  // namespace

TEST(IconCache, KeyRulesAndCounts) {
    platform::Application.Initialize();
    CountingCache cache;
    std::vector<std::pair<std::string, int>> registered;
    cache.OnRegist = [&](TCustomShellIconCache&, const std::string& name, int index) {
        registered.emplace_back(name, index);
    };
    struct Case {
        const char* name;
        int index;
    } cases[] = {
        {"a.txt", 0},    {"B.TXT", 0},         {"x.exe", 1},      {"y.exe", 2},      {"x.exe", 1},
        {"C:\\Temp", 3}, {"README", 3},        {"C:\\My.Dir", 4}, {"d.dir", 4},      {"s.LNK", 5},
        {"i.ico", 6},    {"C:\\表\\z.lzh", 7}, {"Q.Lzh", 7},      {"C:\\a.b\\c", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(cache.GetIconIndex(c.name), c.index);
    }
    EXPECT_EQ(cache.FileList.Count(), 8u);
    EXPECT_EQ(cache.FileList[0], ".TXT");
    EXPECT_EQ(cache.FileList[1], "x.exe");
    EXPECT_EQ(cache.FileList[3], "");
    // Two shell requests per new key, one OnRegist each, and one image per key in each list.
    EXPECT_EQ(cache.requests, 16);
    ASSERT_EQ(registered.size(), 8u);
    EXPECT_EQ(registered[0], (std::pair<std::string, int>{"a.txt", 0}));
    EXPECT_EQ(cache.LargeIcons.Count(), 8);
    EXPECT_EQ(cache.SmallIcons.Count(), 8);
    EXPECT_EQ(cache.RegistFiles({"n.txt", "m.zip", "k.exe"}), 3);
    EXPECT_EQ(cache.FileList.Count(), 10u);
}

TEST(IconCache, FailedIconLeavesIndexesAligned) {
    platform::Application.Initialize();
    CountingCache cache;
    cache.failSmall = {"bad.exe"};
    int regist = 0;
    cache.OnRegist = [&](TCustomShellIconCache&, const std::string&, int) { ++regist; };
    EXPECT_EQ(cache.GetIconIndex("a.txt"), 0);
    EXPECT_EQ(cache.GetIconIndex("bad.exe"), -1);
    EXPECT_EQ(cache.GetIconIndex("b.zip"), 1);
    EXPECT_EQ(cache.FileList.Count(), 2u);
    EXPECT_EQ(cache.LargeIcons.Count(), 2);
    EXPECT_EQ(cache.SmallIcons.Count(), 2);
    EXPECT_EQ(regist, 2);
    EXPECT_EQ(cache.RegistFiles({"bad.exe", "c.rar"}), 1);
}

TEST(IconCache, RealShellIcons) {
    platform::Application.Initialize();
    TFilerIconCache cache;
    EXPECT_EQ(cache.GetIconIndex("C:\\nowhere\\a.txt"), 0);  // the file need not exist
    EXPECT_EQ(cache.GetIconIndex("C:\\nowhere\\b.TXT"), 0);
    EXPECT_EQ(cache.LargeIcons.Count(), 1);
    EXPECT_EQ(cache.SmallIcons.Count(), 1);
    platform::UniqueIcon icon;
    cache.GetFileIcon("C:\\nowhere\\a.txt", icon, true);
    EXPECT_TRUE(icon);
    platform::UniqueIcon none;
    cache.GetFileIcon(TempFolder(""), none, true);  // an existing folder gives nothing
    EXPECT_FALSE(none);
}

TEST(IconCache, ScanDirectoryEventsAndErrors) {
    platform::Application.Initialize();
    const std::string root = TempFolder("velmor_scan_\x95\x5C");  // ..._表
    WriteFile(root + "\\a.txt", 10);
    WriteFile(root + "\\b.lzh", 1500);
    CreateDirectoryW(SjisToWide(root + "\\sub").c_str(), nullptr);
    WriteFile(root + "\\sub\\c.zip", 3);
    // A sparse file of 3 GB: its size is reported whole, and nothing raises.
    {
        HANDLE h = CreateFileW(SjisToWide(root + "\\big.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, 0, nullptr);
        LARGE_INTEGER at;
        at.QuadPart = 3LL << 30;
        SetFilePointerEx(h, at, nullptr, FILE_BEGIN);
        SetEndOfFile(h);
        CloseHandle(h);
    }
    CountingCache cache;
    std::vector<std::string> seen;
    uint64_t bigSize = 0;
    cache.OnFileLoad = [&](TFilerIconCache&, TFileInfo& info, const std::string& path) {
        seen.push_back(path.substr(root.size()) + info.Name);
        if (info.Name == "big.bin") bigSize = info.Size;
        if (info.Name == "a.txt") {
            EXPECT_EQ(info.Size, 10u);
            EXPECT_GT(info.LastWriteTime, 40000.0);  // after 2009
            EXPECT_EQ(info.Attributes & 0x10, 0);
        }
        if (info.Name == "sub") {
            EXPECT_EQ(info.Attributes & 0x10, 0x10);
        }
    };
    auto sorted = [](std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    };
    cache.ScanDirectory(root, false);
    EXPECT_EQ(sorted(seen), (std::vector<std::string>{"\\..", "\\a.txt", "\\b.lzh", "\\big.bin", "\\sub"}));
    EXPECT_EQ(bigSize, 3ULL << 30);

    seen.clear();
    cache.ScanDirectory(root + "\\", true);
    auto sub = std::find(seen.begin(), seen.end(), "\\sub");
    ASSERT_NE(sub, seen.end());
    // The subfolder's own entries follow its event.
    ASSERT_GE(seen.end() - sub, 3);
    EXPECT_EQ(*(sub + 1), "\\sub\\..");
    EXPECT_EQ(*(sub + 2), "\\sub\\c.zip");
    EXPECT_EQ(seen.size(), 7u);

    // After a stop every scan ends after its first entry until ClearStop.
    cache.StopScan();
    seen.clear();
    cache.ScanDirectory(root, true);
    EXPECT_LE(seen.size(), 1u);  // the first entry may be the skipped "."

    cache.ClearStop();

    try {
        cache.ScanDirectory("", false);
        ADD_FAILURE();
    } catch (const EInvalidFileName& e) {
        EXPECT_STREQ(e.what(), "パス名は空指定('')はできません");
    }
    try {
        cache.ScanDirectory("C:\\none", false);
        ADD_FAILURE();
    } catch (const EInvalidFileName& e) {
        EXPECT_STREQ(e.what(), "ディレクトリ'C:\\none\\'は検索できません");
    }
    for (const char* f : {"\\a.txt", "\\b.lzh", "\\big.bin", "\\sub\\c.zip"})
        DeleteFileW(SjisToWide(root + f).c_str());
    RemoveDirectoryW(SjisToWide(root + "\\sub").c_str());
    RemoveDirectoryW(SjisToWide(root).c_str());
}

TEST(IconCache, ListViewBindingFollowsTheListView) {
    if (!HasDisplay()) GTEST_SKIP() << "windows need a display";
    platform::Application.Initialize();
    struct TForm1 : platform::TForm {
        TForm1() : TForm(L"TIconCacheTestForm") {}
    } form;
    form.Create();
    TFilerIconCache cache;
    auto first = std::make_unique<platform::TListView>();
    first->Create(form, 0, 0, 100, 100);
    platform::TListView second;
    second.Create(form, 0, 0, 100, 100);
    cache.SetListView(first.get());
    EXPECT_EQ(first->SmallImages(), cache.SmallIcons.Handle());
    EXPECT_EQ(first->LargeImages(), cache.LargeIcons.Handle());
    cache.SetListView(&second);
    EXPECT_EQ(first->SmallImages(), nullptr);
    EXPECT_EQ(second.SmallImages(), cache.SmallIcons.Handle());
    cache.SetListView(first.get());
    first.reset();  // the bound list view goes away
    EXPECT_EQ(cache.ListView(), nullptr);
    form.Destroy();
}
