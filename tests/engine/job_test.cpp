// Whole jobs over temp folders with the stand-in libraries: extraction of archives and a folder row, the
// after-extraction actions, failures, stops at a progress report and after the last one, the output-folder
// check, and a real worker thread whose end reaches the main thread once.
#include <gtest/gtest.h>

#include "app/engine/unpack_thread.h"
#include "engine/engine_fakes.h"
#include "platform/sjis.h"
#include "support/fixtures.h"

using namespace enginetest;
using namespace testsupport;
using velmor::TUnPack;
using velmor::TUnPackThread;

TEST(Job, ExtractsArchivesAndAFolderRowBesideThemAndKeepsThem) {
    JobWorld w;
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"one.zip"), kTree));
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"two.zip"), kFlat));
    ASSERT_TRUE(WriteFileMakingFolders(w.dir.File(L"dir\\notes.txt"), "not an archive"));
    ASSERT_TRUE(CreateDirectoryW(w.dir.File(L"dir\\deep").c_str(), nullptr));
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"dir\\deep\\three.zip"), {{"t.txt", "three"}}));
    w.ui.rows = {w.Path("one.zip"), w.Path("two.zip"), w.Path("dir")};
    w.ini.BindFolder = true;
    TUnPack unpack(w.Context(), {});
    RunJob(w, unpack);

    EXPECT_EQ(ReadText(w.dir.File(L"top\\a.txt")), "alpha");
    EXPECT_EQ(ReadText(w.dir.File(L"top\\sub\\b.txt")), "beta");
    EXPECT_EQ(ReadText(w.dir.File(L"two\\x.txt")), "x");  // two top-level entries: bound
    EXPECT_EQ(ReadText(w.dir.File(L"dir\\deep\\t.txt")), "three");
    EXPECT_TRUE(FileExists(w.dir.File(L"one.zip")));
    EXPECT_TRUE(FileExists(w.dir.File(L"two.zip")));
    // The successful rows and the folder row are gone; the text file stays as a refused row.
    EXPECT_EQ(w.ui.rows, (std::vector<std::string>{w.Path("dir\\notes.txt")})) << w.ui.LogText();
    EXPECT_TRUE(w.ui.Logged("> [ 最上位要素カウント ]\t1コ"));
    EXPECT_TRUE(w.ui.Logged("> [ バインド起動 ] まとめフォルダ新規作成 \"two\""));
    EXPECT_TRUE(w.ui.Logged("> [ 解凍 ]\t\"" + w.Path("two") + "\\\" へ解凍しました。")) << w.ui.LogText();
    EXPECT_TRUE(w.ui.Logged("> [ 前段階エラー ]： 扱えない形式の拡張子"));
    EXPECT_TRUE(w.shell.calls.empty());
    // Progress reached the bars.
    ASSERT_FALSE(w.ui.totalProgress.empty());
}

TEST(Job, AfterMethodDeleteRemovesOnlyArchivesThatExtracted) {
    JobWorld w;
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"good.zip"), kFlat));
    ASSERT_TRUE(WriteFileBytes(w.dir.File(L"bad.zip"), "not an archive at all"));
    w.ui.rows = {w.Path("good.zip"), w.Path("bad.zip")};
    w.ini.AfterMethod = 1;
    TUnPack unpack(w.Context(), {});
    RunJob(w, unpack);
    EXPECT_FALSE(FileExists(w.dir.File(L"good.zip")));
    EXPECT_TRUE(FileExists(w.dir.File(L"bad.zip")));
    EXPECT_TRUE(w.ui.Logged("> [ 削除 ] 書庫を削除しました。")) << w.ui.LogText();
    EXPECT_EQ(w.shell.calls, (std::vector<std::string>{"delete " + w.Path("good.zip")}));
    EXPECT_EQ(w.ui.rows, (std::vector<std::string>{w.Path("bad.zip")}));
}

TEST(Job, FailedResultKeepsArchiveAndRowAndNamesTheError) {
    struct Case {
        int result;
        const char* line;
    };
    const std::vector<Case> cases = {
        {0x8019, "> [ 解凍失敗 ]\t情報=「32793:\"ERROR_NOT_ARC_FILE\"」"},
        {-1, "> [ 解凍失敗 ]\t情報=「-1:\"\"」"},
        {0x8012, "> [ 解凍失敗 ]\t情報=「32786:\"ERROR_MAKEDIRECTORY\"」"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        JobWorld w;
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kTree));
        ASSERT_TRUE(w.standins.SetScript(StandinScript().Section("UNZIP32.DLL").CommandResult(c.result)));
        w.ui.rows = {w.Path("a.zip")};
        w.ini.AfterMethod = 1;
        TUnPack unpack(w.Context(), {});
        TUnPackThread job(w.Context(), unpack);
        job.Execute();
        EXPECT_TRUE(w.ui.Logged(c.line)) << w.ui.LogText();
        EXPECT_TRUE(FileExists(w.dir.File(L"a.zip")));
        EXPECT_EQ(w.ui.rows.size(), 1u);
        EXPECT_EQ(w.state.ItemFailed, 1);
        EXPECT_TRUE(w.shell.calls.empty());  // nothing deleted, recycled or moved
    }
}

TEST(Job, StopAtAProgressReportReachesTheLibraryAndRemovesTheLeftover) {
    JobWorld w;
    std::vector<FixtureMember> many;
    for (int i = 0; i < 6; ++i) many.push_back({"top/f" + std::to_string(i) + ".txt", "data"});
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), many));
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"b.zip"), kFlat));
    w.ui.rows = {w.Path("a.zip"), w.Path("b.zip")};
    w.ini.AfterMethod = 1;
    w.ui.answers = {IDYES};  // the ZIP stop question: the stop stands
    TUnPack unpack(w.Context(), {});
    TUnPackThread* running = nullptr;
    w.archives = HookedArchiveFactory([&](int report, int state) {
        if (report == 4 && state == 1) {  // the stop button, pressed in the middle of the first archive
            running->CancelRequested = 1;
            w.state.BreakPressed = 1;
            w.state.Status = jsStopRequested;
        }
    });
    RunJob(w, unpack, [&](TUnPackThread& job) { running = &job; });

    EXPECT_TRUE(w.ui.Logged("> 後始末キャンセル")) << w.ui.LogText();
    EXPECT_TRUE(w.ui.Logged("> [ 強制中断 ] 中断されました。"));
    EXPECT_TRUE(FileExists(w.dir.File(L"a.zip")));
    EXPECT_TRUE(FileExists(w.dir.File(L"b.zip")));
    EXPECT_FALSE(FileExists(w.dir.File(L"top")));  // the leftover of the interrupted archive
    EXPECT_FALSE(FileExists(w.dir.File(L"b")));    // the job ended after the stopped row
    EXPECT_EQ(w.ui.rows.size(), 2u);
    // The library received the stop: it answered with its cancel code.
    auto calls = CallsOf(w.standins.Calls(), "UnZip");
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().result, 0x8020);
}

TEST(Job, StopAfterTheLastReportDeletesNothing) {
    // One archive: the job ends by itself. Two: the stop is taken up before the second reaches the library.
    for (int archives : {1, 2}) {
        SCOPED_TRACE(archives);
        JobWorld w;
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kTree));
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"b.zip"), kFlat));
        w.ui.rows = {w.Path("a.zip")};
        if (archives == 2) w.ui.rows.push_back(w.Path("b.zip"));
        TUnPack unpack(w.Context(), {});
        TUnPackThread* running = nullptr;
        bool pressed = false;
        w.archives = HookedArchiveFactory([&](int, int state) {
            if (state == 2 && !pressed) {  // the library's end report: nothing is left to stop
                pressed = true;
                running->CancelRequested = 1;
                w.state.BreakPressed = 1;
            }
        });
        RunJob(w, unpack, [&](TUnPackThread& job) { running = &job; });
        EXPECT_EQ(ReadText(w.dir.File(L"top\\sub\\b.txt")), "beta");
        EXPECT_EQ(w.ui.Logged("> [ 強制中断 ] 中断されました。"), archives == 2) << w.ui.LogText();
        EXPECT_TRUE(w.shell.calls.empty());
        EXPECT_EQ(w.ui.rows.size(), static_cast<size_t>(archives - 1));
        EXPECT_FALSE(FileExists(w.dir.File(L"b")));
        EXPECT_EQ(CallsOf(w.standins.Calls(), "UnZip").size(), 1u);
    }
}

TEST(Job, ALibraryThatFinishesInSpiteOfTheStopLeavesItsOutput) {
    for (bool ignoreAbort : {true, false}) {
        SCOPED_TRACE(ignoreAbort);
        JobWorld w;
        ASSERT_TRUE(WriteFileBytes(w.dir.File(L"a.zip"), "scripted"));
        w.ui.rows = {w.Path("a.zip")};
        w.ui.answers = {IDYES};  // the ZIP stop question: the stop stands
        TUnPackThread* running = nullptr;
        w.archives = HookedArchiveFactory(
            [&](int report, int) {
                if (report != 3) return;
                running->CancelRequested = 1;  // pressed as the second member begins
                w.state.BreakPressed = 1;
            },
            ScriptedArchiveFactory({{{"top/1", 10}, {"top/2", 10}, {"top/3", 10}}, 0, ignoreAbort}));
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack, [&](TUnPackThread& job) { running = &job; });
        EXPECT_TRUE(w.ui.Logged("> [ 強制中断 ] 中断されました。")) << w.ui.LogText();
        // Complete output stays; an interrupted extraction's leftover goes.
        EXPECT_EQ(FileExists(w.dir.File(L"top\\3")), ignoreAbort) << w.ui.LogText();
        EXPECT_EQ(FileExists(w.dir.File(L"top")), ignoreAbort);
        EXPECT_EQ(w.ui.rows.size(), 1u);
    }
}

TEST(Job, StopDuringThePreTestIsTakenBeforeTheLibraryCall) {
    JobWorld w;
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kTree));
    ASSERT_TRUE(w.standins.SetScript(StandinScript().NoProgress()));
    w.ui.rows = {w.Path("a.zip")};
    w.ini.PreTestArc = true;
    w.ini.BindFolder = true;
    w.ini.BindNum = 1;
    TUnPackThread* running = nullptr;
    w.archives = HookedArchiveFactory([](int, int) {}, velmor::RealArchiveFactory(), [&] {
        running->CancelRequested = 1;  // pressed while the pre-test runs
        w.state.BreakPressed = 1;
    });
    TUnPack unpack(w.Context(), {});
    TUnPackThread job(w.Context(), unpack);
    running = &job;
    job.Execute();
    EXPECT_EQ(job.ItemResult, velmor::kItemStopped);
    EXPECT_EQ(w.state.CancelSeen, 1);
    EXPECT_EQ(CallsOf(w.standins.Calls(), "UnZipCheckArchive").size(), 1u);
    EXPECT_TRUE(CallsOf(w.standins.Calls(), "UnZip").empty());
    velmor::EndJobAfterStop(w.Context(), unpack);
    EXPECT_FALSE(FileExists(w.dir.File(L"a")));  // the empty bind folder made for it is gone
    EXPECT_TRUE(FileExists(w.dir.File(L"a.zip")));
}

TEST(Job, OutputFolderCheckStopsBeforeTheFirstRow) {
    struct Case {
        int putLocation;
        int afterMethod;
        std::string comboText;
        std::string moveFolder;
        const char* line;
        const char* question;
    };
    JobWorld probe;
    const std::string missingParent = probe.Path("no\\such\\folder");
    const std::vector<Case> cases = {
        {1, 0, "", "", "[ 全体キャンセル ] 解凍先フォルダ ", "フォルダ(解凍先)が指定されていません"},
        {3, 0, missingParent, "", "[ 全体キャンセル ] 解凍先フォルダ ", nullptr},
        {0, 3, "", "", "[ キャンセル ] 移動先フォルダ ", "フォルダ(移動先)が指定されていません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        JobWorld w;
        ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kFlat));
        w.ui.rows = {w.Path("a.zip")};
        w.ui.specialFolderText = c.comboText;
        w.ini.PutLocation = c.putLocation;
        w.ini.AfterMethod = c.afterMethod;
        w.ini.MoveFolder = c.moveFolder;
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        EXPECT_TRUE(w.ui.Logged(c.line)) << w.ui.LogText();
        EXPECT_EQ(w.state.AbortJob, 1);
        ASSERT_EQ(w.ui.questions.size(), 1u);
        if (c.question) {
            EXPECT_EQ(w.ui.questions[0].text, c.question);
        }
        EXPECT_EQ(w.ui.rows.size(), 1u);
        EXPECT_TRUE(w.standins.Calls().empty());
    }
    // A missing output folder is created and enters the combo's history.
    JobWorld w;
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kFlat));
    w.ui.rows = {w.Path("a.zip")};
    w.ui.specialFolderText = w.Path("out");
    w.ini.PutLocation = 1;
    TUnPack unpack(w.Context(), {});
    RunJob(w, unpack);
    EXPECT_EQ(ReadText(w.dir.File(L"out\\x.txt")), "x");
    ASSERT_EQ(w.ui.history.size(), 1u);
    EXPECT_EQ(w.ui.history[0].second, w.Path("out"));
}

TEST(Job, RealWorkerPausesAtTheNextRowAndHandsItsEndToTheMainThreadOnce) {
    JobWorld w;
    PumpedMainThread main;
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kTree));
    w.ui.rows = {w.Path("a.zip")};
    velmor::TJobContext context{w.ui, main, w.shell, w.archives, w.state, w.ini};
    TUnPack unpack(context, {});
    int ended = 0;
    TUnPackThread job(context, unpack);
    job.OnJobEnded = [&] { ++ended; };
    job.Suspend();
    ASSERT_TRUE(job.Start(THREAD_PRIORITY_NORMAL));
    EXPECT_FALSE(main.Pump([&] { return ended > 0; }, 500));
    EXPECT_TRUE(job.Suspended());
    EXPECT_FALSE(FileExists(w.dir.File(L"top")));
    job.Resume();
    ASSERT_TRUE(main.Pump([&] { return ended > 0; }, 30000));
    EXPECT_FALSE(job.Running());
    EXPECT_EQ(ReadText(w.dir.File(L"top\\a.txt")), "alpha");
    main.Pump([] { return false; }, 200);
    EXPECT_EQ(ended, 1);  // the end reaches the main thread once
}

// The program's own seams: Synchronize for calls, a posting window for the end of the job.
TEST(Job, ApplicationMainThreadServesARealJob) {
    JobWorld w;
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"a.zip"), kTree));
    w.ui.rows = {w.Path("a.zip")};
    velmor::TApplicationMainThread main;
    velmor::TJobContext context{w.ui, main, w.shell, w.archives, w.state, w.ini};
    TUnPack unpack(context, {});
    int ended = 0;
    DWORD endedOn = 0;
    auto job = std::make_unique<TUnPackThread>(context, unpack);
    job->OnJobEnded = [&] {
        ++ended;
        endedOn = GetCurrentThreadId();
        job.reset();  // the window may free the worker object in its end handler
    };
    ASSERT_TRUE(job->Start(THREAD_PRIORITY_NORMAL));
    const DWORD start = GetTickCount();
    MSG msg;
    while (ended == 0 && GetTickCount() - start < 30000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(endedOn, GetCurrentThreadId());
    EXPECT_EQ(job, nullptr);
    EXPECT_EQ(ReadText(w.dir.File(L"top\\a.txt")), "alpha");
    EXPECT_TRUE(w.ui.Logged("> [ 最上位要素カウント ]\t1コ"));
}

TEST(Job, RowsThatFailBeforeOrDuringTheirExtractionKeepTheirArchives) {
    struct Case {
        const char* label;
        ScriptedArchiveSpec spec;
        const char* line;
    };
    const std::vector<Case> cases = {
        {"the count raises",
         {{{"a.txt", 1}}, 0, false, true, false},
         "> [ エラー ] ファイル数の取得に失敗しました。書庫でない可能性があります。"},
        {"the extraction raises",
         {{{"a.txt", 1}}, 0, false, false, true},
         "> [ 実行エラー ]　解凍関数実行時に例外が発生しました"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        JobWorld w;
        ASSERT_TRUE(WriteFileBytes(w.dir.File(L"a.zip"), "scripted"));
        w.ui.rows = {w.Path("a.zip")};
        w.ini.AfterMethod = 1;
        w.archives = ScriptedArchiveFactory(c.spec);
        TUnPack unpack(w.Context(), {});
        RunJob(w, unpack);
        EXPECT_TRUE(w.ui.Logged(c.line)) << w.ui.LogText();
        EXPECT_TRUE(FileExists(w.dir.File(L"a.zip")));
        EXPECT_EQ(w.ui.rows.size(), 1u);
        EXPECT_TRUE(w.shell.calls.empty());
    }
    // A bind folder that cannot be made (a file has its name): the archive is not extracted beside it.
    JobWorld w;
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"pkg.zip"), kFlat));
    ASSERT_TRUE(WriteFileBytes(w.dir.File(L"pkg"), "a file of the bind folder's name"));
    w.ui.rows = {w.Path("pkg.zip")};
    w.ini.BindFolder = true;
    w.ini.AfterMethod = 1;
    TUnPack unpack(w.Context(), {});
    RunJob(w, unpack);
    EXPECT_TRUE(
        w.ui.Logged("> [ バインドエラー ] まとめフォルダを作成できませんでした。\"" + w.Path("pkg") + "\""))
        << w.ui.LogText();
    EXPECT_TRUE(FileExists(w.dir.File(L"pkg.zip")));
    EXPECT_FALSE(FileExists(w.dir.File(L"x.txt")));
    EXPECT_EQ(ReadText(w.dir.File(L"pkg")), "a file of the bind folder's name");
}

TEST(Job, ASkippedRowDoesNotSkipTheNextOne) {
    JobWorld w;
    ASSERT_TRUE(WriteZipFixture(w.dir.File(L"b.zip"), kTree));
    w.ui.rows = {w.Path("missing.zip"), w.Path("b.zip")};
    TUnPack unpack(w.Context(), {});
    RunJob(w, unpack);
    EXPECT_TRUE(w.ui.Logged("> [ 前段階エラー]： ファイルが存在しません"));
    EXPECT_EQ(ReadText(w.dir.File(L"top\\a.txt")), "alpha") << w.ui.LogText();
    EXPECT_EQ(w.ui.rows, (std::vector<std::string>{w.Path("missing.zip")}));
}
