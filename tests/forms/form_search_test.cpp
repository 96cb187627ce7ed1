// The search window: the keyword rules without a window, and under Xvfb the search over a job list of real
// archives (stand-in libraries), with the folder and refused rows never opened, the regular-expression path,
// the hit rows, the count, the size sort, the remove pop-up, the empty-list box, and many hits with the
// window answering meanwhile.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "app/forms/form_search.h"
#include "app/shell_util.h"
#include "forms_test_util.h"
#include "has_display.h"
#include "platform/application.h"
#include "platform/sjis.h"
#include "regexp/errors.h"
#include "support/fixtures.h"
#include "support/standin_log.h"
#include "support/temp_dir.h"

using namespace velmor;
using namespace testsupport;
using formstest::Pump;

TEST(SearchRules, KeywordsAndNameParts) {
    struct Case {
        const char* keyword;
        const char* patterns;
    } cases[] = {
        {"*.*", "**.**"},      {".jpg", "*.jpg*"}, {"*.mp3;*.wav;*.mid;", "**.mp3;*.wav;*.mid*"},
        {";*.txt", "**.txt*"}, {";;", ""},         {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyword);
        EXPECT_EQ(WildcardPatternOf(c.keyword), c.patterns);
    }
    // A trailing ";" no longer matches every member.
    EXPECT_FALSE(MatchesWildcardList("readme.txt", WildcardPatternOf("*.mp3;*.wav;*.mid;")));
    EXPECT_TRUE(MatchesWildcardList("song.mid", WildcardPatternOf("*.mp3;*.wav;*.mid;")));

    EXPECT_EQ(SearchNamePart("a/b/photo.JPG"), "photo.JPG");
    EXPECT_EQ(SearchNamePart("a\\b/"), "");
    EXPECT_EQ(SearchNamePart("\x95\x5C\\x.txt"), "x.txt");  // 表\x.txt
    EXPECT_EQ(SearchNamePart("d/\x95\x5C.txt"), "\x95\x5C.txt");
    EXPECT_EQ(LowerExtensionOf("C:\\dl\\A.LZH"), ".lzh");
    EXPECT_EQ(LowerExtensionOf("C:\\dl.d\\readme"), "");
    EXPECT_TRUE(TfrmSearch::MatchesRegExp("file1.txt", "[0-9]"));
    EXPECT_TRUE(TfrmSearch::MatchesRegExp("1st", "[0-9]"));  // a match at the first character counts
    EXPECT_FALSE(TfrmSearch::MatchesRegExp("readme.txt", "[0-9]"));
    EXPECT_THROW(TfrmSearch::MatchesRegExp("a", "("), regexp::ERegExpParser);
}

namespace {

class SearchWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HasDisplay()) GTEST_SKIP() << "the search window needs a display";
        platform::Application.Initialize();
        SetDllDirectoryW(StandinFolder(L"full").c_str());
        ASSERT_TRUE(WriteZipFixture(dir_.File(L"a.zip"), {{"a/b/", ""},
                                                          {"a/b/photo.JPG", std::string(10 * 1024, 'j')},
                                                          {"file1.txt", std::string(9 * 1024, 'f')},
                                                          {"readme.txt", "r"}}));
        ASSERT_TRUE(
            WriteTaggedFixture(dir_.File(L"b.lzh"), "LHA", {{"x/notes.txt", std::string(100 * 1024, 'n')}}));
        ASSERT_TRUE(WriteFileBytes(dir_.File(L"notes.txt"), "not an archive"));
        CreateDirectoryW(dir_.File(L"folder.zip").c_str(), nullptr);  // a folder with an archive's name
        rows_ = {dir_.SjisFile("a.zip"), dir_.SjisFile("folder.zip"), dir_.SjisFile("notes.txt"),
                 dir_.SjisFile("b.lzh")};
        search_.Source.ArchivePaths = [this] { return rows_; };
        search_.Source.AcceptsExtension = [](const std::string& ext) {
            return ext == ".zip" || ext == ".lzh";
        };
        search_.Create();
        search_.SetBounds(0, 0, 700, 470);
        search_.Show();
    }
    void TearDown() override {
        if (search_.Handle()) search_.Destroy();
    }
    std::vector<std::string> Hits() {
        std::vector<std::string> out;
        for (int i = 0; i < search_.lvFile.Count(); ++i) out.push_back(search_.lvFile.Caption(i));
        std::sort(out.begin(), out.end());
        return out;
    }
    void Search(const std::string& keyword) {
        search_.cmbWildCard.SetText(keyword);
        search_.btnStartSearch.Click();
    }
    TempDir dir_;
    StandinSession session_{dir_};
    formstest::BoxRecorder boxes_;
    std::vector<std::string> rows_;
    TfrmSearch search_;
};

}  // namespace

TEST_F(SearchWindow, WildcardSearchOverTheJobList) {
    EXPECT_TRUE(search_.chkWildCard.Checked());
    struct Case {
        const char* keyword;
        std::vector<std::string> hits;
    } cases[] = {
        {".jpg", {"a/b/photo.JPG"}},
        {"*",
         {"a/b/", "a/b/photo.JPG", "file1.txt", "readme.txt",
          "x/notes.txt"}},  // the folder's empty name part
        {"*.*", {"a/b/photo.JPG", "file1.txt", "readme.txt", "x/notes.txt"}},
        {"*.mp3;*.wav;*.mid;", {}},
        {".txt", {"file1.txt", "readme.txt", "x/notes.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyword);
        session_.ClearLog();
        Search(c.keyword);
        EXPECT_EQ(Hits(), c.hits);
        EXPECT_EQ(search_.lblcntFind.Text(), std::to_string(c.hits.size()));
        // Only the two archives were opened: not the folder, not the refused extension.
        std::vector<std::string> opened;
        for (const StandinCall& call : session_.Calls())
            if (call.entry.find("OpenArchive") != std::string::npos)
                opened.push_back(call.args.substr(call.args.rfind('\\') + 1));
        EXPECT_EQ(opened, (std::vector<std::string>{"a.zip", "b.lzh"}));
    }
    formstest::Screenshot(L"search");

    // The hit row: member, "archive (path)", size and local date.
    Search(".jpg");
    ASSERT_EQ(search_.lvFile.Count(), 1);
    EXPECT_EQ(search_.lvFile.SubItem(0, 0), "a.zip (" + dir_.SjisFile("a.zip") + ")");
    EXPECT_EQ(search_.lvFile.SubItem(0, 1), "10 KB");
    EXPECT_EQ(search_.lvFile.SubItem(0, 2).size(), std::string("2021/03/04 05:06").size());

    // An empty keyword changes nothing.
    Search("");
    EXPECT_EQ(search_.lvFile.Count(), 1);
    EXPECT_EQ(search_.lblcntFind.Text(), "1");
}

TEST_F(SearchWindow, SizeSortAndRemovingRows) {
    Search(".txt");
    ASSERT_EQ(search_.lblcntFind.Text(), "3");
    search_.lvFileColumnClick(2);
    search_.lvFileColumnClick(2);
    std::vector<std::string> sizes;
    for (int i = 0; i < search_.lvFile.Count(); ++i) sizes.push_back(search_.lvFile.SubItem(i, 1));
    EXPECT_EQ(sizes, (std::vector<std::string>{"100 KB", "9 KB", "0 KB"}));
    search_.lvFile.SelectAll(false);
    search_.lvFile.SetSelected(0, true);
    search_.pmDeleteListItem->Click();
    EXPECT_EQ(Hits(), (std::vector<std::string>{"file1.txt", "readme.txt"}));
}

TEST_F(SearchWindow, RegularExpressionMode) {
    search_.SelectMode(true);  // the hidden mode
    ASSERT_FALSE(search_.chkWildCard.Checked());
    search_.cmbRegExp.SetText("[0-9]");
    search_.btnStartSearch.Click();
    EXPECT_EQ(Hits(), (std::vector<std::string>{"file1.txt"}));
    search_.cmbRegExp.SetText("(");
    search_.btnStartSearch.Click();
    EXPECT_EQ(search_.lblMessage.Text(), TfrmSearch::kBadRegExpText);
    EXPECT_EQ(search_.lblcntFind.Text(), "0");
    EXPECT_EQ(Hits(), (std::vector<std::string>{"file1.txt"}));  // nothing searched, nothing cleared
}

TEST_F(SearchWindow, EmptyJobListGivesTheBox) {
    rows_.clear();
    EXPECT_EQ(search_.ShowForJobList(), platform::mrCancel);
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0], TfrmSearch::kEmptyListText);
    EXPECT_EQ(boxes_.captions[0], "検索");
}

// Opened, the window sits over its owner, whole on the work area, with the keys in the keyword box.
TEST_F(SearchWindow, OpensOverItsOwnerReadyForAKeyword) {
    class TOwner : public platform::TForm {
    public:
        TOwner() : TForm(L"TSearchTestOwner") {}
    } owner;
    owner.Create();
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    platform::TForm* oldMain = platform::Application.MainForm();
    platform::Application.SetMainForm(&owner);
    search_.Hide();
    struct Case {
        int left, top;
        bool whole;  // centred on the owner without leaving the work area
    } cases[] = {{40, 30, true}, {static_cast<int>(work.right) - 300, static_cast<int>(work.bottom) - 200, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.left);
        owner.SetBounds(c.left, c.top, 800, 600);
        owner.Show();
        search_.Show();
        SetForegroundWindow(search_.Handle());
        Pump(300);
        formstest::ExpectPlacedOver(search_.Handle(), owner.Handle(), c.whole);
        HWND focus = GetFocus();
        EXPECT_TRUE(focus == search_.cmbWildCard.Handle() || IsChild(search_.cmbWildCard.Handle(), focus));
        search_.Hide();
    }
    platform::Application.SetMainForm(oldMain);
    SetWindowLongPtrW(search_.Handle(), GWLP_HWNDPARENT, 0);  // the owner's end would take the window along
    owner.Destroy();
}

namespace {
// What a timer saw while a search ran: the count shown and the rows listed; it can press stop.
struct TDuringSearch {
    TfrmSearch* search = nullptr;
    bool pressStop = false;
    std::vector<std::pair<std::string, int>> seen;
};
TDuringSearch* g_during = nullptr;
void CALLBACK LookDuringSearch(HWND, UINT, UINT_PTR, DWORD) {
    if (!g_during || !g_during->search->Searching()) return;
    g_during->seen.emplace_back(g_during->search->lblcntFind.Text(), g_during->search->lvFile.Count());
    if (g_during->pressStop) g_during->search->btnAbort.Click();
}
}  // namespace

// Many hits: every one listed and counted, their icons asked of the shell once per extension, and the window
// serving its messages meanwhile (a timer sees the count grow, and can stop the search).
TEST_F(SearchWindow, ManyHitsListedWhileTheWindowAnswers) {
    rows_.clear();
    constexpr int kArchives = 6, kMembers = 1500;
    for (int i = 0; i < kArchives; ++i) {
        std::vector<FixtureMember> members;
        for (int j = 0; j < kMembers; ++j) {
            const char* ext = j % 3 == 0 ? ".jpg" : j % 3 == 1 ? ".JPG" : ".txt";
            members.push_back({"d/p" + std::to_string(j) + ext, "x", false});
        }
        const std::wstring name = L"many" + std::to_wstring(i) + L".zip";
        ASSERT_TRUE(WriteZipFixture(dir_.File(name), members));
        rows_.push_back(dir_.SjisFile(platform::WideToSjis(name)));
    }
    const int kHits = kArchives * kMembers * 2 / 3;

    TDuringSearch during;
    during.search = &search_;
    g_during = &during;
    const UINT_PTR timer = SetTimer(nullptr, 0, 30, LookDuringSearch);
    Search(".jpg");
    EXPECT_EQ(search_.lvFile.Count(), kHits);
    EXPECT_EQ(search_.lblcntFind.Text(), std::to_string(kHits));
    EXPECT_EQ(search_.lvFile.Caption(kHits - 1), "d/p" + std::to_string(kMembers - 2) + ".JPG");
    // The folder image, then one per extension met: ".jpg" and ".JPG".
    EXPECT_EQ(search_.imgList.Count(), 3);
    ASSERT_FALSE(during.seen.empty()) << "the window served no message during the search";
    EXPECT_TRUE(std::any_of(during.seen.begin(), during.seen.end(), [&](const auto& s) {
        return s.second > 0 && s.second < kHits && s.first == std::to_string(s.second);
    })) << "no count of the hits so far was shown";

    // "停止" ends the search at once; the hits so far stay, counted.
    during.seen.clear();
    during.pressStop = true;
    Search(".txt");
    KillTimer(nullptr, timer);
    g_during = nullptr;
    ASSERT_FALSE(during.seen.empty());
    EXPECT_LT(search_.lvFile.Count(), kArchives * kMembers / 3);
    EXPECT_EQ(search_.lblcntFind.Text(), std::to_string(search_.lvFile.Count()));
    EXPECT_FALSE(search_.Searching());
}
