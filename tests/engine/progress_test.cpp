// The progress display's hand-overs: a report that would change nothing shown stays on the worker, and the
// archive component's progress window is made once per thread, not once per archive.
#include <gtest/gtest.h>

#include "app/engine/unpack_thread.h"
#include "archivers/archive_file.h"
#include "engine/engine_fakes.h"
#include "platform/sjis.h"
#include "support/fixtures.h"

using namespace enginetest;
using namespace testsupport;
using velmor::TUnPack;
using velmor::TUnPackThread;

TEST(Progress, OnlyReportsThatChangeTheDisplayReachTheMainThread) {
    for (bool minimized : {false, true}) {
        SCOPED_TRACE(minimized);
        JobWorld w;
        ASSERT_TRUE(WriteFileBytes(w.dir.File(L"a.zip"), "scripted"));
        w.ui.rows = {w.Path("a.zip")};
        w.ui.minimized = minimized;
        w.ini.IndicatePerFile = true;
        // Per member: 0, 1, 2, 999 and 1000 of 1000 bytes written: 0 %, 0 %, 0 %, 99 %, 100 %.
        w.archives = ScriptedArchiveFactory({{{"big.bin", 1000}, {"next.bin", 1000}}, 0, false}, {1, 2, 999});
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);

        if (!minimized) {
            EXPECT_EQ(w.ui.memberNames, (std::vector<std::string>{"big.bin", "next.bin"}));
            EXPECT_EQ(w.ui.fileProgress, (std::vector<int>{0, 99, 100, 0, 99, 100}));
            EXPECT_EQ(w.ui.totalProgress, (std::vector<int>{0, 49, 50, 99, 100}));
            EXPECT_EQ(w.ui.minimizedChecks, 6);  // of ten reports
        } else {
            // Nothing is drawn nor recorded as drawn while minimised: every report asks again.
            EXPECT_TRUE(w.ui.memberNames.empty() && w.ui.fileProgress.empty() && w.ui.totalProgress.empty());
            EXPECT_EQ(w.ui.minimizedChecks, 10);
        }
        EXPECT_TRUE(w.ui.rows.empty()) << w.ui.LogText();
    }
}

// Components made one after another on a thread share its window; each report reaches the component that
// runs, and a second component alive at the same time gets a window of its own.
TEST(ArchiveProgressWindow, AThreadLendsAFreedComponentsWindowToItsNextOne) {
    JobWorld w;  // the stand-ins
    TempDir& dir = w.dir;
    ASSERT_TRUE(WriteZipFixture(dir.File(L"a.zip"), kFlat));
    auto extract = [&](TArchiveFile& af, int& reports, const char* out) {
        ASSERT_TRUE(CreateDirectoryW(dir.File(platform::SjisToWide(out)).c_str(), nullptr));
        af.SetFileName(dir.SjisFile("a.zip"));
        af.OnProgress = [&reports](TArchiveFile*, int, LPEXTRACTINGINFOEX, bool&) { ++reports; };
        EXPECT_EQ(af.Extract(nullptr, nullptr, dir.SjisFile(out) + "\\", "", {}), 0);
    };
    HWND first = nullptr;
    int firstReports = 0;
    {
        TArchiveFile af;
        extract(af, firstReports, "one");
        first = af.ProgressWindow();
        ASSERT_NE(first, nullptr);
    }
    EXPECT_TRUE(IsWindow(first));  // kept for the next component
    ASSERT_GT(firstReports, 0);

    int secondReports = 0, thirdReports = 0;
    TArchiveFile second;
    extract(second, secondReports, "two");
    EXPECT_EQ(second.ProgressWindow(), first);
    EXPECT_EQ(secondReports, firstReports);
    {
        TArchiveFile third;
        extract(third, thirdReports, "three");
        EXPECT_NE(third.ProgressWindow(), first);
        EXPECT_EQ(thirdReports, firstReports);
    }
    EXPECT_EQ(secondReports, firstReports);  // the third's reports went to the third alone
    EXPECT_EQ(ReadText(dir.File(L"three\\x.txt")), "x");
}
