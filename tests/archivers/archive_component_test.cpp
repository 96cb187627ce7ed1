// The archive component end to end with the stand-in libraries: listing with 64-bit fields, extraction with
// progress (also from a second thread), stop answers, enumeration aborts, detection by content, LHA command
// lines as the library receives them, and packing through the component-side list.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "archivers/archive_file.h"
#include "archivers/archiver_error.h"
#include "archivers/detect.h"
#include "archivers/job_state.h"
#include "archivers/lha32.h"
#include "platform/handle.h"
#include "platform/sjis.h"
#include "support/fixtures.h"
#include "support/standin_log.h"
#include "support/temp_dir.h"

using namespace testsupport;

// The component's seam for the stream write-back.
struct TArchiveFileAccess {
    static TStreamWriteBack& WriteBack(TArchiveFile& af) { return af.streamWriteBack_; }
};

namespace {

const std::vector<FixtureMember> kMembers = {
    {"a.txt", "alpha"},
    {"dir/b.bin", std::string(70000, 'b'), true},
    {"dir/\x95\x5C.txt", "hyou", false},  // 表.txt: trail byte 0x5C
};

class ComponentTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetDllDirectoryW(StandinFolder(L"full").c_str());
        JobState().Status = jsIdle;
    }
    TempDir dir_;
    StandinSession session_{dir_};
};

std::string Read(const TempDir& dir, const std::string& rel) {
    auto bytes = ReadFileBytes(dir.File(platform::SjisToWide(rel)));
    return bytes ? *bytes : std::string("<missing>");
}

TArchiverOptions LhaExtractOptions() {
    TArchiverOptions o;
    o.jse = 0;
    o.jso = 1;
    o.x = 1;
    return o;
}

}  // namespace

TEST_F(ComponentTest, ListsMembersWithTheirSixtyFourBitFields) {
    ASSERT_TRUE(WriteTaggedFixture(dir_.File(L"a.lzh"), "LHA", kMembers));
    ASSERT_TRUE(WriteZipFixture(dir_.File(L"a.zip"), kMembers));
    for (const char* name : {"a.lzh", "a.zip"}) {
        SCOPED_TRACE(name);
        TArchiveFile af;
        af.SetFileName(dir_.SjisFile(name));
        ASSERT_EQ(af.OpenArchive(nullptr, 0), 0);
        std::vector<std::string> names;
        TArchiveMemberInfo info;
        for (int r = af.FindFirst("*", info); r == 0; r = af.FindNext(info)) {
            names.push_back(info.FileName);
            if (names.size() == 2) {
                EXPECT_EQ(info.OriginalSize64, 70000u);
            }
            EXPECT_NE(info.WriteTime.dwHighDateTime, 0u);
        }
        EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "dir/b.bin", "dir/\x95\x5C.txt"}));
        EXPECT_EQ(af.GetArcOriginalSize(), 5u + 70000u + 4u);
        af.CloseArchive();
        EXPECT_EQ(af.ArchiveHandle(), nullptr);
    }
}

TEST_F(ComponentTest, LhaExtractionWritesTheMembersAndReportsProgress) {
    ASSERT_TRUE(WriteTaggedFixture(dir_.File(L"a.lzh"), "LHA", kMembers));
    const std::string out = dir_.SjisFile("out");
    for (bool secondThread : {false, true}) {
        SCOPED_TRACE(secondThread ? "worker thread" : "calling thread");
        session_.ClearLog();
        int inProcess = 0;
        DWORD eventThread = 0;
        int result = -1;
        auto run = [&] {
            TArchiveFile af;
            af.SetFileName(dir_.SjisFile("a.lzh"));
            af.Options = LhaExtractOptions();
            af.OnProgress = [&](TArchiveFile*, int state, LPEXTRACTINGINFOEX info, bool&) {
                if (state == ARCEXTRACT_INPROCESS && info) ++inProcess;
                eventThread = GetCurrentThreadId();
            };
            result = af.Extract(nullptr, nullptr, out, "", {});
        };
        DWORD runner = 0;
        if (secondThread) {
            std::thread t([&] {
                runner = GetCurrentThreadId();
                run();
            });
            t.join();
        } else {
            runner = GetCurrentThreadId();
            run();
        }
        EXPECT_EQ(result, 0);
        EXPECT_GE(inProcess, 3);
        EXPECT_EQ(eventThread, runner);  // the progress window belongs to the thread that runs the operation
        EXPECT_EQ(Read(dir_, "out\\a.txt"), "alpha");
        EXPECT_EQ(Read(dir_, "out\\dir\\b.bin"), std::string(70000, 'b'));
        EXPECT_EQ(Read(dir_, "out\\dir\\\x95\x5C.txt"), "hyou");
        // The owner window forces the no-display switch.
        auto calls = CallsOf(session_.Calls(), "Unlha");
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].commandLine,
                  "x -+1 -n1 -x1 -jse0 -jso1  \"" + dir_.SjisFile("a.lzh") + "\" \"" + out + "\\\" ");
    }
}

TEST_F(ComponentTest, WorkedExampleReachesTheLibraryByteForByte) {
    ASSERT_TRUE(WriteTaggedFixture(dir_.File(L"a.lzh"), "LHA", kMembers));
    TLha32 lha;
    lha.Create();
    TArchiverOptions o;
    o.a = 1;
    o.n = 1;
    o.jse = 1;
    o.jso = 1;
    std::string cmdLine, output(256, '\0');
    EXPECT_EQ(lha.Extract(nullptr, dir_.SjisFile("a.lzh"), o, dir_.SjisFile("D"), " -gm1", {}, false, cmdLine,
                          output),
              0);
    const std::string expected =
        "x -+1 -a1 -n1 -jse1 -jso1  \"" + dir_.SjisFile("a.lzh") + "\" \"" + dir_.SjisFile("D") + "\\\"  -gm1";
    EXPECT_EQ(cmdLine, expected);
    auto calls = CallsOf(session_.Calls(), "Unlha");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].commandLine, expected);
    EXPECT_EQ(Read(dir_, "D\\a.txt"), "alpha");
}

TEST_F(ComponentTest, StopAnswerGivesUserCancel) {
    ASSERT_TRUE(WriteTaggedFixture(dir_.File(L"a.lzh"), "LHA", kMembers));
    TArchiveFile af;
    af.SetFileName(dir_.SjisFile("a.lzh"));
    af.Options = LhaExtractOptions();
    int reports = 0;
    af.OnProgress = [&](TArchiveFile*, int state, LPEXTRACTINGINFOEX, bool& abort) {
        if (state == ARCEXTRACT_INPROCESS && ++reports == 1) abort = true;
    };
    EXPECT_EQ(af.Extract(nullptr, nullptr, dir_.SjisFile("out"), "", {}), ERROR_ARC_USER_CANCEL);
    EXPECT_EQ(reports, 1);
}

TEST_F(ComponentTest, PreTestReportsGoToTheSinkAndNeverStop) {
    ASSERT_TRUE(WriteTaggedFixture(dir_.File(L"a.lzh"), "LHA", kMembers));
    std::vector<std::string> shown;
    SetPreTestNameSink([&](const std::string& name) { shown.push_back(name); });
    TArchiveFile af;
    af.SetFileName(dir_.SjisFile("a.lzh"));
    af.Options = LhaExtractOptions();
    bool raised = false;
    af.OnProgress = [&](TArchiveFile*, int, LPEXTRACTINGINFOEX, bool& abort) {
        raised = true;
        abort = true;
    };
    JobState().Status = jsPreTesting;
    EXPECT_EQ(af.Extract(nullptr, nullptr, dir_.SjisFile("out"), "", {}), 0);
    JobState().Status = jsIdle;
    SetPreTestNameSink(nullptr);
    EXPECT_FALSE(raised);
    EXPECT_NE(std::find(shown.begin(), shown.end(), "dir/b.bin"), shown.end());
}

TEST_F(ComponentTest, EnumMemberAbortStopsTheEnumeration) {
    ASSERT_TRUE(WriteTaggedFixture(dir_.File(L"a.lzh"), "LHA", kMembers));
    TArchiveFile af;
    af.SetFileName(dir_.SjisFile("a.lzh"));
    af.Options = LhaExtractOptions();
    int seen = 0;
    af.OnEnumMember = [&](TArchiveFile*, TEnumMemberInfo64&, bool& abort) { abort = ++seen == 2; };
    af.Extract(nullptr, nullptr, dir_.SjisFile("out"), "", {});
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(Read(dir_, "out\\a.txt"), "alpha");
    EXPECT_EQ(Read(dir_, "out\\dir\\\x95\x5C.txt"), "<missing>");
    // What the library was told: all ones to go on (not just any non-zero value), 0 to stop.
    std::vector<long long> answers;
    for (const StandinCall& call : CallsOf(session_.Calls(), "(enumeration procedure)"))
        answers.push_back(call.result);
    EXPECT_EQ(answers, (std::vector<long long>{-1, 0}));
}

// The caller's response-file flag of an extraction is the unpack one, never the pack one: ZIP passes the
// flag it is given on to its line.
TEST_F(ComponentTest, ExtractUsesAResponseFileByTheUnpackFlag) {
    ASSERT_TRUE(WriteZipFixture(dir_.File(L"a.zip"), kMembers));
    const std::string list = dir_.SjisFile("list.txt");
    struct Case {
        const char* what;
        TResFileUsage usage;
        bool responseFile;
    } cases[] = {{"unpack flag", ResUse(ruOnUnpack), true},
                 {"pack and remove flags only",
                  static_cast<TResFileUsage>(ResUse(ruOnPack) | ResUse(ruOnRemoveItem)), false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        session_.ClearLog();
        TArchiveFile af;
        af.SetFileName(dir_.SjisFile("a.zip"));
        af.Options.ResFileName = list;
        af.Options.ResFileUsage = c.usage;
        const std::string out = dir_.SjisFile(c.responseFile ? "with" : "without");
        EXPECT_EQ(af.Extract(nullptr, nullptr, out, "", {std::string("a.txt")}), 0);
        const auto commands = CallsOf(session_.Calls(), "UnZip");
        ASSERT_EQ(commands.size(), 1u);
        EXPECT_EQ(commands[0].commandLine.find("\"@" + list + "\"") != std::string::npos, c.responseFile)
            << commands[0].commandLine;
        EXPECT_EQ(Read(dir_, std::string(c.responseFile ? "with" : "without") + "\\a.txt"), "alpha");
    }
}

TEST_F(ComponentTest, ContentChecksAndDetectionByContent) {
    ASSERT_TRUE(WriteTaggedFixture(dir_.File(L"lha.lzh"), "LHA", kMembers));
    ASSERT_TRUE(WriteTaggedFixture(dir_.File(L"setup.exe"), "LHA", kMembers));
    ASSERT_TRUE(WriteZipFixture(dir_.File(L"plain.zip"), kMembers));
    ASSERT_TRUE(WriteFileBytes(dir_.File(L"random.bin"), std::string("\x13\x37 not an archive at all", 24)));
    ASSERT_TRUE(WriteFileBytes(dir_.File(L"random.exe"), std::string("MZ\x90\x00 nothing here", 17)));
    EXPECT_TRUE(IsLhaArchive(dir_.SjisFile("lha.lzh")));
    EXPECT_FALSE(IsLhaArchive(dir_.SjisFile("plain.zip")));
    EXPECT_FALSE(IsLhaArchive(dir_.SjisFile("random.bin")));
    EXPECT_EQ(DetectArchiverType(dir_.SjisFile("setup.exe"), true), atLha);  // LHA outranks ZIP
    EXPECT_EQ(DetectArchiverType(dir_.SjisFile("random.exe"), true), atNone);
}

// Which library wins when two take the same file: for each pair next to each other in the priority, the
// scripts make exactly those two accept a file no library takes on its own.
TEST_F(ComponentTest, DetectionByContentPrefersTheHigherFormatOfEveryPair) {
    struct Format {
        TArchiverType type;
        std::vector<const char*> libraries;  // the files whose content checks are made to accept
    };
    const std::vector<Format> priority = {
        {atLha, {"UNLHA32.DLL"}},
        {atCab, {"CAB32.DLL"}},
        {atYz1, {"YYZ32.DLL"}},
        {atBga, {"BGA32.DLL"}},
        {atZip, {"UNZIP32.DLL", "ZIP32J.DLL", "LMZIP32.DLL"}},
        {atArj, {"UNARJ32J.DLL"}},
        {atRar, {"UNRAR32.DLL"}},
        {atTar, {"TAR32.DLL"}},
    };
    ASSERT_TRUE(WriteFileBytes(dir_.File(L"setup.exe"), std::string("MZ\x90\x00 nothing here", 17)));
    const std::string file = dir_.SjisFile("setup.exe");
    auto accepting = [](std::initializer_list<const Format*> formats) {
        StandinScript script;
        for (const Format* f : formats)
            for (const char* library : f->libraries) {
                script.Section(library);
                if (f->type == atTar)
                    script.ArchiveType(1);
                else
                    script.Member("m.txt", 1);
            }
        return script;
    };
    ASSERT_TRUE(session_.SetScript(StandinScript()));
    EXPECT_EQ(DetectArchiverType(file, true), atNone);
    for (size_t i = 0; i < priority.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(session_.SetScript(accepting({&priority[i]})));
        EXPECT_EQ(DetectArchiverType(file, true), priority[i].type);
        if (i + 1 == priority.size()) continue;
        ASSERT_TRUE(session_.SetScript(accepting({&priority[i], &priority[i + 1]})));
        EXPECT_EQ(DetectArchiverType(file, true), priority[i].type);
    }
}

// The content check opens only what passed the check, and closes only a handle the library gave out.
TEST_F(ComponentTest, LhaContentCheckClosesOnlyWhatItOpened) {
    ASSERT_TRUE(WriteTaggedFixture(dir_.File(L"lha.lzh"), "LHA", kMembers));
    ASSERT_TRUE(WriteFileBytes(dir_.File(L"random.bin"), std::string("\x13\x37 not an archive at all", 24)));
    struct Case {
        const char* what;
        const char* file;
        StandinScript script;
        bool answer;
        size_t opens, closes;
    } cases[] = {
        {"an archive", "lha.lzh", StandinScript(), true, 1, 1},
        {"check passes, open fails", "lha.lzh", StandinScript().CheckResult(1).OpenFail(), false, 1, 0},
        {"check fails", "random.bin", StandinScript(), false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        session_.ClearLog();
        ASSERT_TRUE(session_.SetScript(c.script));
        EXPECT_EQ(IsLhaArchive(dir_.SjisFile(c.file)), c.answer);
        const auto calls = session_.Calls();
        EXPECT_EQ(CallsOf(calls, "UnlhaOpenArchive").size(), c.opens);
        const auto closes = CallsOf(calls, "UnlhaCloseArchive");
        EXPECT_EQ(closes.size(), c.closes);
        for (const auto& call : closes) EXPECT_NE(call.args, "arc=0");
    }
}

// OutputSize 0 means no buffer at all: the library gets a null pointer with the size 0.
TEST_F(ComponentTest, OutputSizeZeroGivesTheLibraryNoBuffer) {
    ASSERT_TRUE(WriteTaggedFixture(dir_.File(L"a.lzh"), "LHA", kMembers));
    ASSERT_TRUE(WriteZipFixture(dir_.File(L"a.zip"), kMembers));
    struct Case {
        const char* file;
        const char* entry;
        int size;
    } cases[] = {
        {"a.lzh", "Unlha", 0}, {"a.lzh", "Unlha", 64}, {"a.zip", "UnZip", 0}, {"a.zip", "UnZip", 64}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.size));
        session_.ClearLog();
        TArchiveFile af;
        af.SetFileName(dir_.SjisFile(c.file));
        af.Options = LhaExtractOptions();
        af.SetOutputSize(c.size);
        EXPECT_EQ(af.Extract(nullptr, nullptr, dir_.SjisFile("out" + std::to_string(n++)), "", {}), 0);
        const auto calls = CallsOf(session_.Calls(), c.entry);
        ASSERT_EQ(calls.size(), 1u);
        const std::string received = calls[0].args.substr(calls[0].args.find(" size="));
        if (c.size == 0)
            EXPECT_EQ(received, " size=0 out=0");
        else
            EXPECT_EQ(received.substr(0, 15), " size=64 out=0x");
    }
}

TEST_F(ComponentTest, PackThroughTheComponentSideList) {
    const std::wstring src = dir_.File(L"src");
    ASSERT_TRUE(WriteFileMakingFolders(src + L"\\a.txt", "A"));
    ASSERT_TRUE(WriteFileMakingFolders(src + L"\\b.bak", "B"));
    ASSERT_TRUE(WriteFileMakingFolders(src + L"\\sub\\c.txt", "C"));
    const std::string base = platform::WideToSjis(src);
    wchar_t before[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, before);

    TArchiveFile af;
    af.SetFileName(dir_.SjisFile("new.lzh"));
    af.Options.jso = 1;
    af.Options.r = 1;
    af.Options.jx.Add("*.bak");
    std::vector<std::string> reported;
    af.OnProgress = [&](TArchiveFile*, int state, LPEXTRACTINGINFOEX info, bool&) {
        if (state == 0x805) reported.push_back(info->SourceFileName);
    };
    EXPECT_EQ(af.Pack(nullptr, nullptr, base, {std::string("*.*")}), 0);
    EXPECT_EQ(reported, (std::vector<std::string>{"a.txt", "sub\\c.txt"}));
    auto calls = CallsOf(session_.Calls(), "Unlha");
    ASSERT_EQ(calls.size(), 1u);
    // Explicit names, no recursion switch, p1 so the library keeps the paths.
    EXPECT_EQ(calls[0].commandLine, "u -+1 -n1 -p1 -jso1  \"" + dir_.SjisFile("new.lzh") + "\" \"" + base +
                                        "\\\" \"a.txt\" \"sub\\c.txt\" ");
    std::vector<std::string> packed;
    for (const auto& m : ReadZipMembers(dir_.File(L"new.lzh"))) packed.push_back(m.name);
    EXPECT_EQ(packed.size(), 2u);

    // Cancel: 0x8020, nothing packed, the current folder back where it was.
    session_.ClearLog();
    TArchiveFile cancelled;
    cancelled.SetFileName(dir_.SjisFile("cancel.lzh"));
    cancelled.Options.jso = 1;
    cancelled.OnProgress = [](TArchiveFile*, int, LPEXTRACTINGINFOEX, bool& abort) { abort = true; };
    EXPECT_EQ(cancelled.Pack(nullptr, nullptr, base, {}), ERROR_ARC_USER_CANCEL);
    EXPECT_TRUE(CallsOf(session_.Calls(), "Unlha").empty());
    wchar_t after[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, after);
    EXPECT_STREQ(before, after);

    // Nothing to pack: 0 without a library call, and the output text starts with NUL.
    TArchiveFile empty;
    empty.SetFileName(dir_.SjisFile("empty.lzh"));
    empty.Options.jso = 1;
    empty.SetOutputSize(8);
    EXPECT_EQ(empty.Pack(nullptr, nullptr, base, {std::string("*.none")}), 0);
    EXPECT_EQ(empty.OutputText(), "");
    EXPECT_TRUE(CallsOf(session_.Calls(), "Unlha").empty());
}

TEST_F(ComponentTest, StreamMembersStayFilesWhereTheVolumeHasNoNamedStreams) {
    ASSERT_TRUE(WriteTaggedFixture(dir_.File(L"s.lzh"), "LHA", {{"a.txt", "base"}, {"a.txt;extra;$DATA", "side"}}));
    TArchiveFile quiet;
    quiet.SetFileName(dir_.SjisFile("s.lzh"));
    quiet.Options = LhaExtractOptions();
    EXPECT_EQ(quiet.Extract(nullptr, nullptr, dir_.SjisFile("q"), "", {}), 0);
    EXPECT_EQ(quiet.ProgressWindow(), nullptr);  // no handler, no window

    TArchiveFile af;
    af.SetFileName(dir_.SjisFile("s.lzh"));
    af.Options = LhaExtractOptions();
    af.OnProgress = [](TArchiveFile*, int, LPEXTRACTINGINFOEX, bool&) {};
    EXPECT_EQ(af.Extract(nullptr, nullptr, dir_.SjisFile("out"), "", {}), 0);
    EXPECT_NE(af.ProgressWindow(), nullptr);
    // Wine's volumes report no named streams: the extracted stream member is left as it was written.
    EXPECT_EQ(Read(dir_, "out\\a.txt"), "base");
    EXPECT_EQ(Read(dir_, "out\\a.txt;extra;$DATA"), "side");
}

// Another message of the progress window during a pre-test is the system's, not a member report.
TEST_F(ComponentTest, PreTestTakesOnlyProgressMessages) {
    ASSERT_TRUE(WriteTaggedFixture(dir_.File(L"a.lzh"), "LHA", kMembers));
    TArchiveFile af;
    af.SetFileName(dir_.SjisFile("a.lzh"));
    af.Options = LhaExtractOptions();
    af.OnProgress = [](TArchiveFile*, int, LPEXTRACTINGINFOEX, bool&) {};
    ASSERT_EQ(af.Extract(nullptr, nullptr, dir_.SjisFile("out"), "", {}), 0);
    const HWND wnd = af.ProgressWindow();
    ASSERT_NE(wnd, nullptr);

    std::vector<std::string> shown;
    SetPreTestNameSink([&](const std::string& name) { shown.push_back(name); });
    JobState().Status = jsPreTesting;
    std::vector<wchar_t> caption(600, L'\0');  // room for a misread report
    wcscpy(caption.data(), L"caption");
    EXPECT_TRUE(SendMessageW(wnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(caption.data())));
    EXTRACTINGINFOEX info{};
    strcpy(info.SourceFileName, "member.txt");
    EXPECT_EQ(SendMessageW(wnd, ArcExtractMessage(), ARCEXTRACT_INPROCESS, reinterpret_cast<LPARAM>(&info)),
              0);
    JobState().Status = jsIdle;
    SetPreTestNameSink(nullptr);

    wchar_t text[32] = {};
    GetWindowTextW(wnd, text, 32);
    EXPECT_STREQ(text, L"caption");
    EXPECT_EQ(shown, std::vector<std::string>{"member.txt"});
}

// The enumerating component is per thread: two extractions at once, each inside its first member until the
// other has reached its own, each see only their own members.
TEST_F(ComponentTest, TwoThreadsEnumerateAtOnceEachWithItsOwnMembers) {
    ASSERT_TRUE(WriteTaggedFixture(dir_.File(L"a.lzh"), "LHA", {{"lha1.txt", "1"}, {"lha2.txt", "2"}}));
    ASSERT_TRUE(WriteTaggedFixture(dir_.File(L"a.cab"), "CAB", {{"cab1.txt", "1"}, {"cab2.txt", "2"}}));
    std::mutex lock;
    std::condition_variable met;
    int arrived = 0;
    auto meet = [&] {
        std::unique_lock<std::mutex> hold(lock);
        ++arrived;
        met.notify_all();
        met.wait_for(hold, std::chrono::seconds(5), [&] { return arrived >= 2; });
    };
    struct Run {
        const char* file;
        std::vector<std::string> seen;
        bool foreign = false;  // a call for another component or from another thread
    } runs[] = {{"a.lzh", {}}, {"a.cab", {}}};
    auto extract = [&](Run& run) {
        TArchiveFile af;
        af.SetFileName(dir_.SjisFile(run.file));
        af.Options = LhaExtractOptions();
        const DWORD thread = GetCurrentThreadId();
        af.OnEnumMember = [&](TArchiveFile* sender, TEnumMemberInfo64& info, bool&) {
            if (sender != &af || GetCurrentThreadId() != thread) run.foreign = true;
            run.seen.push_back(info.FileName);
            if (run.seen.size() == 1) meet();
        };
        af.Extract(nullptr, nullptr, dir_.SjisFile(std::string(run.file) + ".out"), "", {});
    };
    std::thread first(extract, std::ref(runs[0])), second(extract, std::ref(runs[1]));
    first.join();
    second.join();
    EXPECT_EQ(arrived, 2);
    EXPECT_EQ(runs[0].seen, (std::vector<std::string>{"lha1.txt", "lha2.txt"}));
    EXPECT_EQ(runs[1].seen, (std::vector<std::string>{"cab1.txt", "cab2.txt"}));
    EXPECT_FALSE(runs[0].foreign);
    EXPECT_FALSE(runs[1].foreign);
}

// A stream member's extracted file is the stream's only copy until the copy into the stream succeeded.
TEST_F(ComponentTest, StreamWriteBackDeletesTheExtractedFileOnlyAfterItsCopy) {
    ASSERT_TRUE(
        WriteTaggedFixture(dir_.File(L"s.lzh"), "LHA", {{"a.txt", "base"}, {"a.txt;extra;$DATA", "side"}}));
    enum class Copy { Succeeds, Fails, Raises };
    struct Case {
        const char* what;
        Copy copy;
        bool fileStays;
    } cases[] = {{"copied", Copy::Succeeds, false},
                 {"not copied", Copy::Fails, true},
                 {"copy raised", Copy::Raises, true}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string out = dir_.SjisFile("out" + std::to_string(n++));
        TArchiveFile af;
        af.SetFileName(dir_.SjisFile("s.lzh"));
        af.Options = LhaExtractOptions();
        af.OnProgress = [](TArchiveFile*, int, LPEXTRACTINGINFOEX, bool&) {};
        std::vector<std::pair<std::string, std::string>> copies;
        TStreamWriteBack& steps = TArchiveFileAccess::WriteBack(af);
        steps.HasNamedStreams = [](const std::string&) { return true; };
        steps.Copy = [&](const std::string& source, const std::string& target, bool, DWORD, const FILETIME&,
                         const FILETIME&, const FILETIME&, uint64_t size) {
            copies.emplace_back(source, target);
            EXPECT_EQ(size, 4u);
            if (c.copy == Copy::Raises) throw std::runtime_error("disk full");
            return c.copy == Copy::Succeeds;
        };
        EXPECT_EQ(af.Extract(nullptr, nullptr, out, "", {}), 0);
        ASSERT_EQ(copies.size(), 1u);
        EXPECT_EQ(copies[0].first, out + "\\a.txt;extra;$DATA");
        EXPECT_EQ(copies[0].second, out + "\\a.txt:extra:$DATA");
        EXPECT_EQ(FileExists(platform::SjisToWide(copies[0].first)), c.fileStays);
        EXPECT_EQ(Read(dir_, out.substr(dir_.SjisPath().size() + 1) + "\\a.txt"), "base");
    }
}

// A component freed on another thread than its window's leaves no pointer to itself there: a late message
// reaches the system's procedure, and the window closes itself on its own thread.
TEST_F(ComponentTest, AComponentFreedAwayFromItsWindowLeavesNoPointerBehind) {
    ASSERT_TRUE(WriteTaggedFixture(dir_.File(L"a.lzh"), "LHA", kMembers));
    std::atomic<HWND> wnd{nullptr};
    std::atomic<DWORD> ownerThread{0};
    platform::UniqueKernelHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    TArchiveFile* af = nullptr;
    std::thread owner([&] {
        af = new TArchiveFile;
        af->SetFileName(dir_.SjisFile("a.lzh"));
        af->Options = LhaExtractOptions();
        af->OnProgress = [](TArchiveFile*, int, LPEXTRACTINGINFOEX, bool&) {};
        af->Extract(nullptr, nullptr, dir_.SjisFile("out"), "", {});
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread has a queue before it is announced
        wnd = af->ProgressWindow();
        ownerThread = GetCurrentThreadId();
        // The queue is served only once the component is gone and a report is waiting in it.
        WaitForSingleObject(go.Get(), 60000);
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    });
    platform::ScopeExit stop([&] {
        while (!ownerThread) Sleep(1);
        SetEvent(go.Get());
        PostThreadMessageW(ownerThread, WM_QUIT, 0, 0);
        owner.join();
    });
    while (!ownerThread) Sleep(1);
    ASSERT_NE(wnd.load(), nullptr);
    delete af;
    ASSERT_TRUE(!IsWindow(wnd) || GetWindowLongPtrW(wnd, GWLP_USERDATA) == 0);
    // A report that reaches the window after the component has gone. It is sent without waiting: a sent
    // message is served before the window's own posted close, and the answer comes back as a callback
    // (a blocking send racing the window's destruction can hang under Wine).
    static EXTRACTINGINFOEX info{};
    struct Reply {
        bool Came = false;
        LRESULT Answer = 7;
        static void CALLBACK Take(HWND, UINT, ULONG_PTR data, LRESULT answer) {
            auto* r = reinterpret_cast<Reply*>(data);
            r->Came = true;
            r->Answer = answer;
        }
    } reply;
    ASSERT_TRUE(SendMessageCallbackW(wnd, ArcExtractMessage(), ARCEXTRACT_INPROCESS,
                                     reinterpret_cast<LPARAM>(&info), &Reply::Take,
                                     reinterpret_cast<ULONG_PTR>(&reply)));
    SetEvent(go.Get());
    MSG msg;
    for (DWORD start = GetTickCount(); (!reply.Came || IsWindow(wnd)) && GetTickCount() - start < 60000;) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(10);
    }
    EXPECT_TRUE(reply.Came);
    EXPECT_NE(reply.Answer, 1);
    EXPECT_FALSE(IsWindow(wnd));
}
