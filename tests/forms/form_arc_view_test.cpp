// The archive viewer: the row, drag-pattern and icon-key rules, the column sort, and under Xvfb the window
// listing a ZIP written by Python, damaged and library-less archives, drag-out by simulated mouse input onto
// an Explorer-like window of another process, and the switches a drag-out hands the libraries.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "app/forms/form_arc_view.h"
#include "archivers/job_state.h"
#include "forms_test_util.h"
#include "has_display.h"
#include "platform/application.h"
#include "platform/sjis.h"
#include "support/fixtures.h"
#include "support/standin_log.h"
#include "support/temp_dir.h"

using namespace velmor;
using namespace testsupport;
using formstest::Pump;

// --- rules without a window --------------------------------------------------------------------------------

TEST(ArcViewRules, ExtensionAndFolderRules) {
    struct Case {
        const char* name;
        const char* ext;
        bool folder;
    } cases[] = {
        {"a/b/c.txt", ".txt", false},
        {"docs/", "", true},
        {"README", "", true},
        {"a.d/readme", ".d/readme", false},  // "/" is no separator for the extension
        {"a.d/sub/", ".d/sub/", true},       // ends in "/"
        {"a.b\\c", "", true},                // "\" after the dot
        {"x.y:z", "", true},
        {"\x95\x5C.txt", ".txt", false},     // 表.txt: the trail byte 0x5C is no separator
        {"a.\x95\x5C", ".\x95\x5C", false},  // an extension ending in that trail byte
        {"\x95\x5C", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(EntryExtension(c.name), c.ext);
        EXPECT_EQ(IsFolderLike(c.name), c.folder);
    }
    EXPECT_EQ(EntrySizeText(9 * 1024 + 1023), "9 KB");
    EXPECT_EQ(EntrySizeText(5ull << 30), "5242880 KB");
    char field[513];
    std::memset(field, 'a', sizeof field);  // no NUL inside the record's name field
    EXPECT_EQ(MemberName(field).size(), 513u);
}

TEST(ArcViewRules, DragPatterns) {
    struct Case {
        const char* name;
        const char* pattern;
        int x;
    } cases[] = {
        {"docs/", "docs/*", 1},
        {"README", "README*", 1},
        {"a/b/c.txt", "*a/b/c.txt", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TDragPattern p = DragPatternOf(c.name);
        EXPECT_EQ(p.Pattern, c.pattern);
        EXPECT_EQ(p.x, c.x);
    }
}

TEST(ArcViewRules, OnlyAnAbsoluteExistingFolderTakesADrop) {
    TempDir dir;
    std::string existing = dir.SjisPath();
    EXPECT_TRUE(IsExtractableFolder(existing));
    for (std::string bad :
         {std::string("デスクトップ"), std::string("http://example.com/"), std::string("sub\\dir"),
          existing + "\\missing", std::string("Error"), std::string()}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(IsExtractableFolder(bad));
    }
}

namespace {
// A fetch that hands out copies of a stock icon and keeps them, so the test can see they were destroyed.
struct RecordingFetch {
    std::vector<HICON> handed;
    std::vector<std::pair<std::string, DWORD>> asked;
    TExtIconCache::TFetch Fn() {
        return [this](const std::string& name, DWORD attributes, bool) {
            asked.emplace_back(name, attributes);
            HICON h = CopyIcon(LoadIconW(nullptr, IDI_APPLICATION));
            handed.push_back(h);
            return h;
        };
    }
};
}  // namespace

TEST(ArcViewRules, IconKeys) {
    platform::TImageList small(16, 16), large(32, 32);
    RecordingFetch fetch;
    TExtIconCache cache(small, large, fetch.Fn());
    EXPECT_EQ(cache.GetEntryIconIndex(".TXT", "1 KB"), 0);
    EXPECT_EQ(cache.GetEntryIconIndex(".txt", "1 KB"), 1);  // case matters: a second key
    EXPECT_EQ(cache.GetEntryIconIndex(".txt", "7 KB"), 1);
    EXPECT_EQ(fetch.asked.size(), 4u);  // small and large per key, once
    EXPECT_EQ(fetch.asked[0], (std::pair<std::string, DWORD>("*.TXT", 0)));
    // Folder keys ask for the directory icon under the pseudo-name "*"; without "0 KB" the empty key is slot
    // 0.
    EXPECT_EQ(cache.GetEntryIconIndex("", "0 KB"), 2);
    EXPECT_EQ(fetch.asked.back(), (std::pair<std::string, DWORD>("*", FILE_ATTRIBUTE_DIRECTORY)));
    EXPECT_EQ(cache.GetEntryIconIndex("a/", "0 KB"), 2);
    EXPECT_EQ(cache.GetEntryIconIndex("", "3 KB"), 0);
    EXPECT_EQ(small.Count(), 3);
    EXPECT_EQ(large.Count(), 3);

    // Far past the old fixed table of 1000 keys; each shell icon is gone once the lists hold their copies.
    for (int i = 0; i < 1100; ++i)
        EXPECT_EQ(cache.GetEntryIconIndex(".k" + std::to_string(i), "1 KB"), 3 + i);
    EXPECT_EQ(cache.Count(), 1103u);
    EXPECT_EQ(small.Count(), 1103);
    EXPECT_EQ(large.Count(), 1103);
    ICONINFO info{};
    for (HICON h : fetch.handed) ASSERT_FALSE(GetIconInfo(h, &info));
}

TEST(ArcViewRules, ColumnSortStates) {
    TColumnSort sort(3, 1);
    const int expected[] = {1, 2, 1, 2};
    for (int want : expected) {
        sort.Click(1);
        EXPECT_EQ(sort.SortOrder[1], want);
    }
    EXPECT_EQ(sort.SortOrder[0], 0);
    platform::TListRow nine{"b", {"9 KB", ""}, 0}, ten{"A", {"10 KB", ""}, 0};
    sort.SortOrder[1] = 1;
    EXPECT_LT(sort.Compare(nine, ten), 0);  // numeric, not text order
    sort.SortOrder[1] = 2;
    EXPECT_GT(sort.Compare(nine, ten), 0);
    sort.Click(0);
    EXPECT_GT(sort.Compare(nine, ten), 0);  // "b" after "A" without case
    sort.Reset();
    EXPECT_EQ(sort.SortOrder, (std::vector<uint8_t>{0, 0, 0}));
}

// --- the window under Xvfb ---------------------------------------------------------------------------------

namespace {

class ArcViewWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HasDisplay()) GTEST_SKIP() << "the viewer needs a display";
        platform::Application.Initialize();
        SetDllDirectoryW(StandinFolder(L"full").c_str());
        JobState().Status = jsIdle;
        viewer_.Create();
        viewer_.SetBounds(0, 0, 620, 420);
    }
    void TearDown() override {
        if (viewer_.Handle()) viewer_.Destroy();
        JobState().Status = jsIdle;
    }
    std::vector<std::string> Column(int column) {
        std::vector<std::string> out;
        for (int i = 0; i < viewer_.lvFullPath.Count(); ++i)
            out.push_back(column == 0 ? viewer_.lvFullPath.Caption(i)
                                      : viewer_.lvFullPath.SubItem(i, column - 1));
        return out;
    }
    void SelectRow(const std::string& caption) {
        viewer_.lvFullPath.SelectAll(false);
        for (int i = 0; i < viewer_.lvFullPath.Count(); ++i)
            if (viewer_.lvFullPath.Caption(i) == caption) viewer_.lvFullPath.SetSelected(i, true);
    }
    TempDir dir_;
    StandinSession session_{dir_};
    formstest::BoxRecorder boxes_;
    TfrmArcView viewer_;
};

const char kSjisMember[] = "日本語/表.txt";

}  // namespace

TEST_F(ArcViewWindow, ListsAZipMadeByPython) {
    std::string zip = platform::WideToSjis(FixtureFile(L"python.zip"));
    viewer_.ShowArchive(zip);
    Pump(200);
    EXPECT_EQ(viewer_.Caption(), "python.zip");
    EXPECT_EQ(viewer_.memoBasicInfo.Text().rfind(zip + " サイズ:", 0), 0u) << viewer_.memoBasicInfo.Text();
    EXPECT_EQ(Column(0), (std::vector<std::string>{"docs/", "docs/deflated.txt", "stored.bin", kSjisMember}));
    EXPECT_EQ(Column(1), (std::vector<std::string>{"0 KB", "2 KB", "1 KB", "0 KB"}));
    // The ZIP holds local DOS times; the stand-in gives UTC, shown back in local time.
    for (const std::string& date : Column(2)) EXPECT_EQ(date, "2021/03/04 05:06");
    EXPECT_EQ(viewer_.lvFullPath.ImageIndex(0), 0);  // the folder row shows the folder icon
    EXPECT_NE(viewer_.lvFullPath.ImageIndex(1), viewer_.lvFullPath.ImageIndex(2));
    EXPECT_EQ(viewer_.lvFullPath.ImageIndex(1), viewer_.lvFullPath.ImageIndex(3));  // both ".txt"
    EXPECT_TRUE(boxes_.boxes.empty());
    formstest::Screenshot(L"arc_view");

    // Size sort: ascending numerically, then descending; another archive resets the states.
    viewer_.lvFullPathColumnClick(viewer_.lvFullPath, 1);
    EXPECT_EQ(Column(1), (std::vector<std::string>{"0 KB", "0 KB", "1 KB", "2 KB"}));
    viewer_.lvFullPathColumnClick(viewer_.lvFullPath, 1);
    EXPECT_EQ(Column(0)[0], "docs/deflated.txt");
    viewer_.ShowArchive(zip);
    EXPECT_EQ(viewer_.Sort.SortOrder, (std::vector<uint8_t>{0, 0, 0}));
}

TEST_F(ArcViewWindow, RowsKeepTheirValuesSelectionAndSubItemsThroughSorts) {
    platform::TListView& list = viewer_.lvFullPath;
    const char* names[] = {"b", "c", "a"};
    for (int i = 0; i < 3; ++i) {
        int row = list.AddItem(names[i], 0, 100 + i);
        list.AddSubItem(row, std::to_string(3 - i) + " KB");
    }
    list.SetSelected(1, true);  // "c"
    EXPECT_EQ(list.SubItemCount(0), 1);
    list.CustomSort([](const platform::TListRow& a, const platform::TListRow& b) {
        return a.Caption.compare(b.Caption);
    });
    std::vector<std::string> order;
    for (int i = 0; i < 3; ++i) order.push_back(list.Caption(i) + "/" + list.SubItem(i, 0));
    EXPECT_EQ(order, (std::vector<std::string>{"a/1 KB", "b/3 KB", "c/2 KB"}));
    EXPECT_EQ(list.Data(0), 102);
    EXPECT_EQ(list.Data(2), 101);
    EXPECT_EQ(list.NextSelected(), 2);
    list.SetData(2, 7);
    list.AddSubItem(2, "x");  // appends after the row's last sub-item
    EXPECT_EQ(list.SubItem(2, 1), "x");
    EXPECT_EQ(list.Data(2), 7);
    // What the compare function throws ends the sort and reaches the caller.
    EXPECT_THROW(list.CustomSort([](const platform::TListRow&, const platform::TListRow&) -> int {
        throw std::runtime_error("stop");
    }),
                 std::runtime_error);
    list.Delete(0);
    EXPECT_EQ(list.Data(0), 100);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(ArcViewWindow, DamagedArchiveGivesAnEmptyListAndNoMessage) {
    ASSERT_TRUE(WriteFileBytes(dir_.File(L"damaged.zip"), std::string("PK\x03\x04 broken", 13)));
    viewer_.ShowArchive(platform::WideToSjis(FixtureFile(L"python.zip")));
    ASSERT_EQ(viewer_.lvFullPath.Count(), 4);
    viewer_.ShowArchive(dir_.SjisFile("damaged.zip"));
    EXPECT_EQ(viewer_.lvFullPath.Count(), 0);
    EXPECT_TRUE(boxes_.boxes.empty());
}

// Runs in a process of its own (see CMakeLists.txt): no LHA library may have been loaded before.
TEST_F(ArcViewWindow, LhaArchiveWithoutALibraryGivesAnEmptyListAndNoMessage) {
    ASSERT_TRUE(WriteTaggedFixture(dir_.File(L"a.lzh"), "LHA", {{"a.txt", "alpha"}}));
    ASSERT_EQ(GetModuleHandleW(L"UNLHA32.DLL"), nullptr);
    TempDir empty;
    SetDllDirectoryW(empty.Path().c_str());
    viewer_.ShowArchive(dir_.SjisFile("a.lzh"));
    SetDllDirectoryW(StandinFolder(L"full").c_str());
    EXPECT_EQ(viewer_.lvFullPath.Count(), 0);
    EXPECT_EQ(viewer_.Caption(), "a.lzh");
    EXPECT_TRUE(session_.Calls().empty());
    EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(ArcViewWindow, DragOutHandsTheLibraryThePatternAndSwitches) {
    ASSERT_TRUE(WriteTaggedFixture(dir_.File(L"a.lzh"), "LHA",
                                   {{"docs/", ""}, {"docs/a.txt", "alpha"}, {"README", "readme"}}));
    CreateDirectoryW(dir_.File(L"out").c_str(), nullptr);
    std::string out = dir_.SjisFile("out");
    viewer_.FolderUnderCursor = [&out] { return out; };
    viewer_.ShowArchive(dir_.SjisFile("a.lzh"));
    ASSERT_EQ(viewer_.lvFullPath.Count(), 3);
    viewer_.DragSource = "FullPathListView";
    for (int i = 0; i < 3; ++i) viewer_.lvFullPath.SetSelected(i, true);
    session_.ClearLog();
    viewer_.ExtractDraggedEntries({});
    auto calls = CallsOf(session_.Calls(), "Unlha");
    ASSERT_EQ(calls.size(), 3u);
    const char* patterns[] = {"docs/*", "*docs/a.txt", "README*"};
    const char* xs[] = {"-x1", "-x0", "-x1"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NE(calls[i].commandLine.find(patterns[i]), std::string::npos) << calls[i].commandLine;
        EXPECT_NE(calls[i].commandLine.find(xs[i]), std::string::npos) << calls[i].commandLine;
        EXPECT_NE(calls[i].commandLine.find("-jso1"), std::string::npos) << calls[i].commandLine;
        EXPECT_EQ(calls[i].result, 0);
    }
    EXPECT_TRUE(FileExists(dir_.File(L"out\\docs\\a.txt")));

    // A cancelled drag, a display name or a relative text under the cursor extract nothing; but for the
    // cancelled drag, the status bar says that the folder was not recognised.
    session_.ClearLog();
    std::vector<std::string> status;
    viewer_.OnStatusText = [&status](const std::string& text) { status.push_back(text); };
    platform::TDragEnd cancelled;
    cancelled.Cancelled = true;
    viewer_.ExtractDraggedEntries(cancelled);
    for (std::string where : {std::string("デスクトップ"), std::string("out"), std::string("Error"), std::string()}) {
        viewer_.FolderUnderCursor = [where] { return where; };
        viewer_.ExtractDraggedEntries({});
    }
    EXPECT_TRUE(session_.Calls().empty());
    EXPECT_EQ(status, std::vector<std::string>(4, TfrmArcView::kUnknownFolderText));
    viewer_.OnStatusText = nullptr;

    // While a job uses the libraries a drop only says so.
    viewer_.FolderUnderCursor = [&out] { return out; };
    JobState().Status = jsWorking;
    viewer_.ExtractDraggedEntries({});
    EXPECT_TRUE(session_.Calls().empty());
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0], TfrmArcView::kBusyText);
}

namespace {

// Mouse and key input as the system queue gets it from a user.
void MouseTo(POINT p) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = static_cast<LONG>(p.x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1));
    in.mi.dy = static_cast<LONG>(p.y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1));
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof in);
}
void Mouse(DWORD flags) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    SendInput(1, &in, sizeof in);
}
void Key(WORD vk) {
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
}

// The Explorer-like window of the helper program, for one test.
class ExplorerWindow {
public:
    ExplorerWindow(const TempDir& dir, const std::string& folder, RECT r) {
        std::wstring ready = dir.File(L"explorer.ready");
        std::wstring cmd = L"\"" + formstest::ProgramFolder() + L"\\forms_explorer_window.exe\" \"" +
                           platform::SjisToWide(folder) + L"\" " + std::to_wstring(r.left) + L" " +
                           std::to_wstring(r.top) + L" " + std::to_wstring(r.right - r.left) + L" " +
                           std::to_wstring(r.bottom - r.top) + L" \"" + ready + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_))
            return;
        for (DWORD start = GetTickCount(); !FileExists(ready) && GetTickCount() - start < 60000;) Sleep(20);
        started_ = FileExists(ready);
    }
    ~ExplorerWindow() {
        if (pi_.hProcess) {
            TerminateProcess(pi_.hProcess, 0);
            WaitForSingleObject(pi_.hProcess, 5000);
            CloseHandle(pi_.hProcess);
            CloseHandle(pi_.hThread);
        }
    }
    bool Started() const { return started_; }

private:
    PROCESS_INFORMATION pi_{};
    bool started_ = false;
};

}  // namespace

TEST_F(ArcViewWindow, DragByMouseOntoAnExplorerWindow) {
    CreateDirectoryW(dir_.File(L"drop").c_str(), nullptr);
    const RECT target{700, 100, 900, 300};
    ExplorerWindow explorer(dir_, dir_.SjisFile("drop"), target);
    ASSERT_TRUE(explorer.Started());
    viewer_.ShowArchive(platform::WideToSjis(FixtureFile(L"python.zip")));
    Pump(300);
    RECT row = viewer_.lvFullPath.ItemRect(2);  // stored.bin
    POINT start{row.left + 30, (row.top + row.bottom) / 2};
    ClientToScreen(viewer_.lvFullPath.Handle(), &start);

    struct Run {
        const char* what;
        POINT end;
        bool escape;
        bool lands;
    } runs[] = {
        {"Esc cancels", {800, 200}, true, false},
        {"released where no folder window is", {500, 600}, false, false},
        {"released over the folder window", {800, 200}, false, true},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(run.what);
        session_.ClearLog();
        std::atomic<bool> finished{false};
        std::thread user([&] {
            MouseTo(start);
            Sleep(150);
            Mouse(MOUSEEVENTF_LEFTDOWN);
            Sleep(150);
            for (int i = 1; i <= 10; ++i) {
                MouseTo({start.x + (run.end.x - start.x) * i / 10, start.y + (run.end.y - start.y) * i / 10});
                Sleep(60);
            }
            if (run.escape) {
                Key(VK_ESCAPE);
                Sleep(150);
            }
            Mouse(MOUSEEVENTF_LEFTUP);
            Sleep(300);
            finished = true;
        });
        Pump(10000, [&] { return finished.load(); });
        user.join();
        Pump(300);
        EXPECT_EQ(FileExists(dir_.File(L"drop\\stored.bin")), run.lands);
        EXPECT_EQ(CallsOf(session_.Calls(), "UnZip").size(), run.lands ? 1u : 0u);
    }
    EXPECT_EQ(viewer_.DragSource, "FullPathListView");
}
