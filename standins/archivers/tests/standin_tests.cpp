// Tests of the stand-in archiver libraries through their raw exported entries: real data from Python-made
// archives, progress and its stop answer, the call log, the output-buffer bound, unsafe member paths, the
// command dialects, the script, which entries each scenario folder exports, large members in bounded memory,
// zip64 records, a full disk and an allocation failure.
#include <gtest/gtest.h>
// clang-format off
#include <windows.h>
#include <psapi.h>  // needs <windows.h> first
// clang-format on

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "archive_formats.h"
#include "archivers/archiver_api.h"
#include "large_fixtures.h"
#include "platform/handle.h"
#include "platform/sjis.h"
#include "support/fixtures.h"
#include "support/standin_log.h"
#include "support/temp_dir.h"

using namespace testsupport;

namespace {

const std::string kDeflated = [] {
    std::string s;
    for (int i = 0; i < 200; ++i) s += "deflated text ";
    return s;
}();
const std::string kStored = [] {
    std::string s;
    for (int r = 0; r < 4; ++r)
        for (int i = 0; i < 256; ++i) s.push_back(static_cast<char>(i));
    return s;
}();
const std::string kSjisName = "日本語/表.txt";
const std::string kSjisData = "表示テスト\r\n";

std::string Sjis(const std::wstring& w) { return platform::WideToSjis(w); }
std::string Quote(const std::string& s) { return "\"" + s + "\""; }

class Library {
public:
    Library(const wchar_t* scenario, const wchar_t* file)
        : module_(LoadLibraryW((StandinFolder(scenario) + L"\\" + file).c_str())) {}
    explicit operator bool() const { return static_cast<bool>(module_); }
    bool Has(const char* name) const { return GetProcAddress(module_.Get(), name) != nullptr; }
    template <typename F>
    F Get(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_.Get(), name)));
    }
    int Run(const char* entry, const std::string& line, std::string* output = nullptr,
            HWND wnd = nullptr) const {
        auto cmd = Get<TArcCommand>(entry);
        if (!cmd) return -12345;
        char buf[8192] = {};
        int rc = cmd(wnd, line.c_str(), buf, sizeof(buf));
        if (output) *output = buf;
        return rc;
    }

    struct Listed {
        std::string name;
        uint32_t size;
        uint32_t crc;
        uint16_t dosDate;
    };
    std::vector<Listed> List(const std::string& prefix, const std::string& archive,
                             int* openResult = nullptr) const {
        std::vector<Listed> out;
        HARC arc = Get<TArcOpenArchive>((prefix + "OpenArchive").c_str())(nullptr, archive.c_str(), 0);
        if (openResult) *openResult = arc ? 1 : 0;
        if (!arc) return out;
        TArchiveMemberInfo info{};
        auto next = Get<TArcFindNext>((prefix + "FindNext").c_str());
        for (int rc = Get<TArcFindFirst>((prefix + "FindFirst").c_str())(arc, "*", &info); rc == 0;
             rc = next(arc, &info))
            out.push_back({info.FileName, info.OriginalSize, info.Crc, info.DosDate});
        Get<TArcCloseArchive>((prefix + "CloseArchive").c_str())(arc);
        return out;
    }

private:
    platform::UniqueModule module_;
};

std::vector<std::string> Names(const std::vector<Library::Listed>& listed) {
    std::vector<std::string> names;
    for (const auto& l : listed) names.push_back(l.name);
    return names;
}

std::string ReadOr(const std::wstring& path) { return ReadFileBytes(path).value_or("<missing>"); }

class StandinTest : public ::testing::Test {
protected:
    TempDir dir;
    StandinSession session{dir};
    std::string Out(const char* name = "out") {
        std::wstring p = dir.File(platform::SjisToWide(name));
        CreateDirectoryW(p.c_str(), nullptr);
        return Sjis(p) + "\\";
    }
};

// ---- real data ----

TEST_F(StandinTest, ListsAndExtractsPythonZipByteForByte) {
    Library unzip(L"full", L"UNZIP32.DLL");
    ASSERT_TRUE(unzip);
    std::string zip = Sjis(FixtureFile(L"python.zip"));
    auto listed = unzip.List("UnZip", zip);
    ASSERT_EQ(Names(listed),
              (std::vector<std::string>{"docs/", "docs/deflated.txt", "stored.bin", kSjisName}));
    EXPECT_EQ(listed[1].size, kDeflated.size());
    EXPECT_EQ(listed[2].crc, standin::Crc32(kStored));
    EXPECT_NE(listed[1].dosDate, 0);

    std::string out = Out();
    std::string text;
    ASSERT_EQ(unzip.Run("UnZip", "-x --i -o " + Quote(zip) + " " + Quote(out), &text), 0) << text;
    std::wstring wout = platform::SjisToWide(out);
    EXPECT_EQ(ReadOr(wout + L"docs\\deflated.txt"), kDeflated);
    EXPECT_EQ(ReadOr(wout + L"stored.bin"), kStored);
    EXPECT_EQ(ReadOr(wout + platform::SjisToWide("日本語\\表.txt")), kSjisData);
}

TEST_F(StandinTest, CheckArchiveVerifiesCrcs) {
    Library unzip(L"full", L"UNZIP32.DLL");
    auto check = unzip.Get<TArcCheckArchive>("UnZipCheckArchive");
    EXPECT_TRUE(check(Sjis(FixtureFile(L"python.zip")).c_str(), kCheckModeZip));
    std::string bytes = *ReadFileBytes(FixtureFile(L"python.zip"));
    size_t at = bytes.find(kStored.substr(0, 64));
    ASSERT_NE(at, std::string::npos);
    bytes[at + 10] ^= 0x55;  // damage the stored member's data
    ASSERT_TRUE(WriteFileBytes(dir.File(L"bad.zip"), bytes));
    EXPECT_FALSE(check(dir.SjisFile("bad.zip").c_str(), kCheckModeZip));
    EXPECT_FALSE(check(dir.SjisFile("missing.zip").c_str(), kCheckModeZip));
}

TEST_F(StandinTest, TarReadsPythonTarAndTgz) {
    Library tar(L"full", L"TAR32.DLL");
    auto type = tar.Get<TArcGetArchiveType>("TarGetArchiveType");
    struct Case {
        const wchar_t* file;
        int type;
    } cases[] = {{L"python.tar", 1}, {L"python.tgz", 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(Sjis(c.file));
        std::string path = Sjis(FixtureFile(c.file));
        EXPECT_EQ(type(path.c_str()), c.type);
        EXPECT_EQ(Names(tar.List("Tar", path)),
                  (std::vector<std::string>{"docs/", "docs/deflated.txt", "stored.bin"}));
        std::string out = Out(c.type == 1 ? "tar" : "tgz");
        ASSERT_EQ(tar.Run("Tar", "-x " + Quote(path) + " " + Quote(out)), 0);
        EXPECT_EQ(ReadOr(platform::SjisToWide(out) + L"docs\\deflated.txt"), kDeflated);
        EXPECT_EQ(ReadOr(platform::SjisToWide(out) + L"stored.bin"), kStored);
    }
    ASSERT_TRUE(WriteFileBytes(dir.File(L"x.bz2"), "BZh91AY&SY"));
    EXPECT_EQ(type(dir.SjisFile("x.bz2").c_str()), 7);
    EXPECT_EQ(type(dir.SjisFile("missing.tar").c_str()), 0);
}

TEST_F(StandinTest, TarCreatesGzipArchiveThatReadsBack) {
    Library tar(L"full", L"TAR32.DLL");
    ASSERT_TRUE(WriteFileMakingFolders(dir.File(L"src\\a.txt"), "alpha"));
    ASSERT_TRUE(WriteFileMakingFolders(dir.File(L"src\\sub\\b.txt"), "beta"));
    std::string tgz = dir.SjisFile("made.tgz");
    ASSERT_EQ(tar.Run("Tar", "c -z " + Quote(tgz) + " " + Quote(dir.SjisFile("src") + "\\") +
                                 " \"a.txt\" \"sub\\b.txt\""),
              0);
    EXPECT_EQ(tar.Get<TArcGetArchiveType>("TarGetArchiveType")(tgz.c_str()), 2);
    auto members = ReadTarMembers(dir.File(L"made.tgz"));
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(members[1].name, "sub/b.txt");
    EXPECT_EQ(members[1].data, "beta");
}

TEST_F(StandinTest, ArchivesWrittenByStandinsOpenInPython) {
    ASSERT_TRUE(WriteFileMakingFolders(dir.File(L"src\\d\\a.txt"), kDeflated));
    ASSERT_TRUE(WriteFileMakingFolders(dir.File(L"src\\b.bin"), kStored));
    std::string base = Quote(dir.SjisFile("src") + "\\");
    Library zip32j(L"full", L"ZIP32J.DLL");
    ASSERT_EQ(zip32j.Run("Zip", "-D -r " + Quote(dir.SjisFile("w.zip")) + " " + base + " \"d\" \"b.bin\""),
              0);
    ASSERT_EQ(zip32j.Run("Zip", "-0 " + Quote(dir.SjisFile("s.zip")) + " " + base + " \"b.bin\""), 0);
    Library tar(L"full", L"TAR32.DLL");
    ASSERT_EQ(tar.Run("Tar", "c -z " + Quote(dir.SjisFile("w.tgz")) + " " + base + " \"d\\a.txt\" \"b.bin\""),
              0);
    auto report = RunHostPython(dir, R"(import sys, tarfile, zipfile
out = open(sys.argv[1], "w")
for path in sys.argv[2:4]:
    with zipfile.ZipFile(path) as z:
        out.write("bad=%s" % z.testzip())
        for i in z.infolist():
            out.write(" %s:%d:%d" % (i.filename, i.file_size, i.compress_type))
    out.write("\n")
with tarfile.open(sys.argv[4]) as t:
    out.write(" ".join("%s:%d" % (m.name, len(t.extractfile(m).read())) for m in t.getmembers()))
out.close()
)",
                                {dir.File(L"w.zip"), dir.File(L"s.zip"), dir.File(L"w.tgz")});
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(*report,
              "bad=None d/:0:0 d/a.txt:2800:8 b.bin:1024:8\n"
              "bad=None b.bin:1024:0\n"
              "d/a.txt:2800 b.bin:1024");
}

// ---- progress, enumeration, log, buffer ----

struct ProgressRecord {
    UINT state;
    std::string source;
    std::string dest;
    uint32_t size;
    uint32_t written;
};

struct ProgressSink {
    std::vector<ProgressRecord> seen;
    int stopAt = -1;  // index of the state-1 report that answers "stop"
    int inProcess = 0;
    std::function<bool(const ProgressRecord&)> answer;  // when set, its "stop" answers every report
};

LRESULT CALLBACK SinkProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    static const UINT kMsg = RegisterWindowMessageA(kArcExtractMessageName);
    auto* sink = reinterpret_cast<ProgressSink*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (msg == kMsg && sink) {
        auto* info = reinterpret_cast<EXTRACTINGINFOEX*>(lp);
        sink->seen.push_back({static_cast<UINT>(wp), info->SourceFileName, info->DestFileName, info->FileSize,
                              info->WriteSize});
        if (sink->answer) return sink->answer(sink->seen.back()) ? 1 : 0;
        if (wp == ARCEXTRACT_INPROCESS && sink->inProcess++ == sink->stopAt) return 1;
        return 0;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

class ProgressWindow {
public:
    explicit ProgressWindow(ProgressSink* sink) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = SinkProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"StandinProgressSink";
        RegisterClassW(&wc);
        wnd_.Reset(CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   wc.hInstance, nullptr));
        SetWindowLongPtrW(wnd_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(sink));
    }
    HWND Get() const { return wnd_.Get(); }

private:
    platform::UniqueWindow wnd_;
};

// Every member that went through ends with a report of its whole size (the bars reach 100 %).
void ExpectEachMemberEndsWhole(const std::vector<ProgressRecord>& seen) {
    std::map<std::string, ProgressRecord> last;
    for (const ProgressRecord& r : seen)
        if (r.state == ARCEXTRACT_INPROCESS) last[r.source] = r;
    for (const auto& [name, r] : last) EXPECT_EQ(r.written, r.size) << name;
}

TEST_F(StandinTest, ProgressReportsEachMemberAndStopAnswerCancels) {
    Library unzip(L"full", L"UNZIP32.DLL");
    std::string zip = Sjis(FixtureFile(L"python.zip"));
    // Reports: docs/ starts, docs/ ends, docs/deflated.txt starts (index 2), ...
    struct Case {
        int stopAt;
        int result;
        bool storedWritten;
    } cases[] = {{-1, 0, true}, {2, ERROR_ARC_USER_CANCEL, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stopAt);
        ProgressSink sink;
        sink.stopAt = c.stopAt;
        ProgressWindow window(&sink);
        ASSERT_TRUE(unzip.Get<TArcSetOwnerWindowEx>("UnZipSetOwnerWindowEx")(window.Get(), nullptr));
        std::string out = Out(c.stopAt < 0 ? "all" : "stopped");
        EXPECT_EQ(unzip.Run("UnZip", "-x -o " + Quote(zip) + " " + Quote(out)), c.result);
        unzip.Get<TArcKillOwnerWindowEx>("UnZipKillOwnerWindowEx")(window.Get());
        EXPECT_EQ(FileExists(platform::SjisToWide(out) + L"stored.bin"), c.storedWritten);
        ASSERT_GE(sink.seen.size(), 3u);
        EXPECT_EQ(sink.seen.front().state, ARCEXTRACT_BEGIN);
        std::vector<ProgressRecord> deflated;
        for (const ProgressRecord& r : sink.seen)
            if (r.source == "docs/deflated.txt") deflated.push_back(r);
        ASSERT_EQ(deflated.size(), c.stopAt < 0 ? 2u : 1u);
        EXPECT_EQ(deflated[0].state, ARCEXTRACT_INPROCESS);
        EXPECT_EQ(deflated[0].dest, out + "docs\\deflated.txt");
        EXPECT_EQ(deflated[0].size, kDeflated.size());
        EXPECT_EQ(deflated[0].written, 0u);
        if (c.stopAt < 0) ExpectEachMemberEndsWhole(sink.seen);
        EXPECT_EQ(sink.seen.back().state, c.stopAt < 0 ? ARCEXTRACT_END : ARCEXTRACT_INPROCESS);
    }
}

// A scripted hold keeps a member waiting, reported again meanwhile, until its file exists; a stop answered
// meanwhile ends the command there. Here the reports themselves make the file or stop, on the held
// member's third report, in an extraction and in a check alike.
TEST_F(StandinTest, AHoldKeepsTheMemberUntilItsFileExistsAndAStopEndsIt) {
    Library unzip(L"full", L"UNZIP32.DLL");
    const std::string zip = Sjis(FixtureFile(L"python.zip"));
    const std::wstring release = dir.File(L"release");
    ASSERT_TRUE(session.SetScript(StandinScript().Hold(Sjis(release), 1)));  // docs/ goes, deflated.txt waits
    auto check = unzip.Get<TArcCheckArchive>("UnZipCheckArchive");
    for (const bool extract : {true, false}) {
        for (const bool stop : {false, true}) {
            SCOPED_TRACE(std::string(extract ? "extract" : "check") + (stop ? ", stopped" : ", released"));
            DeleteFileW(release.c_str());
            ProgressSink sink;
            int heldReports = 0;
            sink.answer = [&](const ProgressRecord& r) {
                if (r.source != "docs/deflated.txt" || r.written != 0 || ++heldReports < 3) return false;
                if (!stop) {
                    EXPECT_TRUE(WriteFileBytes(release, ""));
                }
                return stop;
            };
            ProgressWindow window(&sink);
            ASSERT_TRUE(unzip.Get<TArcSetOwnerWindowEx>("UnZipSetOwnerWindowEx")(window.Get(), nullptr));
            const std::string out = Out(extract ? (stop ? "x-stopped" : "x-released") : "unused");
            if (extract) {
                EXPECT_EQ(unzip.Run("UnZip", "-x -o " + Quote(zip) + " " + Quote(out)),
                          stop ? ERROR_ARC_USER_CANCEL : 0);
            } else {
                EXPECT_TRUE(check(zip.c_str(), kCheckModeZip));
            }
            unzip.Get<TArcKillOwnerWindowEx>("UnZipKillOwnerWindowEx")(window.Get());
            EXPECT_EQ(heldReports, 3);
            const bool later = std::any_of(sink.seen.begin(), sink.seen.end(),
                                           [](const ProgressRecord& r) { return r.source == "stored.bin"; });
            EXPECT_EQ(later, !stop);
            if (extract) {
                EXPECT_EQ(FileExists(platform::SjisToWide(out) + L"stored.bin"), !stop);
                EXPECT_EQ(FileExists(platform::SjisToWide(out) + L"docs\\deflated.txt"), !stop);
            }
        }
    }
}

TEST_F(StandinTest, TestPackAndWalkOnlyEndEachMemberWhole) {
    Library lha(L"full", L"UNLHA32.DLL");
    ASSERT_TRUE(WriteFileMakingFolders(dir.File(L"src\\a.txt"), "alpha"));
    ASSERT_TRUE(WriteFileMakingFolders(dir.File(L"src\\sub\\b.txt"), std::string(3000, 'b')));
    const std::string lzh = Quote(dir.SjisFile("made.lzh"));
    const std::string base = Quote(dir.SjisFile("src") + "\\");
    struct Case {
        const char* what;
        std::string line;
        size_t reported;  // members with an in-process report
    } cases[] = {
        {"pack", "u -+1 -jso1 -r1 -x1 " + lzh + " " + base + " \"*.*\"", 3},
        {"test", "t -+1 -jso1 " + lzh, 3},
        {"walk only", "x -+1 -jso1 -x1 " + lzh + " " + Quote(Out("walked")), 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (std::string_view(c.what) == "walk only") session.SetScript(StandinScript().WalkOnly());
        ProgressSink sink;
        ProgressWindow window(&sink);
        lha.Get<TArcSetOwnerWindowEx>("UnlhaSetOwnerWindowEx")(window.Get(), nullptr);
        EXPECT_EQ(lha.Run("Unlha", c.line), 0);
        lha.Get<TArcKillOwnerWindowEx>("UnlhaKillOwnerWindowEx")(window.Get());
        std::set<std::string> sources;
        for (const ProgressRecord& r : sink.seen)
            if (r.state == ARCEXTRACT_INPROCESS) sources.insert(r.source);
        EXPECT_EQ(sources.size(), c.reported);
        ExpectEachMemberEndsWhole(sink.seen);
    }
    // Walking only reported every member and wrote none.
    EXPECT_FALSE(FileExists(dir.File(L"walked\\a.txt")));
    EXPECT_FALSE(FileExists(dir.File(L"walked\\sub")));
}

std::vector<std::string> g_enumerated;
int g_enumStopAfter = 100;
BOOL WINAPI EnumProc(LPVOID p) {
    auto* info = static_cast<TEnumMemberInfo64*>(p);
    g_enumerated.push_back(info->FileName);
    return static_cast<int>(g_enumerated.size()) >= g_enumStopAfter ? FALSE : -1;
}

TEST_F(StandinTest, EnumerationProcedureSeesMembersAndCanStop) {
    Library lha(L"full", L"UNLHA32.DLL");
    ASSERT_TRUE(WriteTaggedFixture(dir.File(L"a.lzh"), "LHA",
                                   {{"one.txt", "1"}, {"two.txt", "2"}, {"three.txt", "3"}}));
    auto set = lha.Get<TArcSetEnumMembersProc64>("UnlhaSetEnumMembersProc64");
    std::string cmd = "x -+1 -jso1 " + Quote(dir.SjisFile("a.lzh")) + " ";
    g_enumerated.clear();
    g_enumStopAfter = 100;
    set(EnumProc, kEnumMemberInfoSize);
    EXPECT_EQ(lha.Run("Unlha", cmd + Quote(Out("all"))), 0);
    EXPECT_EQ(g_enumerated, (std::vector<std::string>{"one.txt", "two.txt", "three.txt"}));
    g_enumerated.clear();
    g_enumStopAfter = 2;
    EXPECT_EQ(lha.Run("Unlha", cmd + Quote(Out("part"))), ERROR_ARC_USER_CANCEL);
    lha.Get<TArcClearEnumMembersProc64>("UnlhaClearEnumMembersProc64")();
    EXPECT_EQ(g_enumerated.size(), 2u);
    EXPECT_FALSE(FileExists(dir.File(L"part\\two.txt")));
}

TEST_F(StandinTest, LogRecordsEveryCallWithExactCommandLine) {
    Library lm(L"full", L"LMZIP32.DLL");
    std::string zip = Sjis(FixtureFile(L"python.zip"));
    lm.List("Unzip", zip);
    std::string line = "-x --i -j  " + Quote(zip) + " " + Quote(Out()) + " \"stored.bin\" ";
    EXPECT_EQ(lm.Run("Unzip", line), 0);
    auto calls = session.Calls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[0].library, "LMZIP32.DLL");
    EXPECT_EQ(calls[0].entry, "UnzipOpenArchive");
    EXPECT_EQ(calls[0].args, "wnd=0 mode=0 path=" + zip);
    EXPECT_EQ(calls[0].result, 1);
    EXPECT_EQ(calls[1].entry, "UnzipFindFirst");
    EXPECT_EQ(calls[1].args, "wild=*");
    auto commands = CallsOf(calls, "Unzip");
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].commandLine, line);
    EXPECT_EQ(commands[0].args.substr(0, 20), "wnd=0 size=8192 out=");
    EXPECT_NE(commands[0].args, "wnd=0 size=8192 out=0");
    auto closes = CallsOf(calls, "UnzipCloseArchive");
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].args.substr(0, 6), "arc=0x");
    EXPECT_TRUE(FileExists(dir.File(L"out\\stored.bin")));
    EXPECT_FALSE(FileExists(dir.File(L"out\\deflated.txt")));  // junk paths, and only the named member
}

TEST_F(StandinTest, OutputBufferIsNeverOverrun) {
    Library unzip(L"full", L"UNZIP32.DLL");
    auto cmd = unzip.Get<TArcCommand>("UnZip");
    std::string line = "-l " + Quote(Sjis(FixtureFile(L"python.zip")));
    char buf[16];
    memset(buf, '#', sizeof(buf));
    EXPECT_EQ(cmd(nullptr, line.c_str(), buf, 8), 0);
    EXPECT_EQ(buf[7], '\0');
    EXPECT_EQ(std::string(buf + 8, 8), std::string(8, '#'));
    EXPECT_EQ(cmd(nullptr, line.c_str(), nullptr, 0), 0);
    char big[4096] = {};
    EXPECT_EQ(cmd(nullptr, line.c_str(), big, sizeof(big)), 0);
    EXPECT_NE(std::string(big).find("stored.bin"), std::string::npos);
}

TEST_F(StandinTest, UnsafeMemberPathsAreListedVerbatimButNotExtracted) {
    // Each escapes deep\out one way; "表" ends in the byte 0x5C, which is no separator.
    const std::vector<std::string> unsafe = {
        "../evil.txt",       "..\\evil.txt",         "C:\\evil2.txt",
        "C:evil4.txt",       "/rooted.txt",          "\\rooted2.txt",
        "a/../../evil3.txt", "a\\..\\..\\evil5.txt", "\x95\x5C/../../evil6.txt"};
    const std::vector<std::string> safe = {"ok.txt", "\x95\x5C..txt", "a..b/\x95\x5C.txt"};
    // Read byte by byte this would hold a ".." step; it stays inside (whether the file system takes a folder
    // name ending in dots is its own matter).
    const std::string notRefused = "\x95\x5C../x.txt";
    std::vector<std::string> names = unsafe;
    names.insert(names.end(), safe.begin(), safe.end());
    names.push_back(notRefused);
    std::vector<FixtureMember> members;
    for (const std::string& n : names) members.push_back({n, "data"});
    ASSERT_TRUE(WriteZipFixture(dir.File(L"evil.zip"), members));
    ASSERT_TRUE(WriteTarFixture(dir.File(L"evil.tar"), members));
    struct Case {
        const wchar_t* scenarioFile;
        const char* prefix;
        const char* command;
        std::string archive;
    } cases[] = {{L"UNZIP32.DLL", "UnZip", "-x -o ", dir.SjisFile("evil.zip")},
                 {L"TAR32.DLL", "Tar", "-x ", dir.SjisFile("evil.tar")}};
    CreateDirectoryW(dir.File(L"deep").c_str(), nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prefix);
        Library lib(L"full", c.scenarioFile);
        EXPECT_EQ(Names(lib.List(c.prefix, c.archive)), names);
        std::string out = Out("deep\\out");
        std::string text;
        EXPECT_EQ(lib.Run(c.prefix, c.command + Quote(c.archive) + " " + Quote(out), &text), 0x8013);
        for (const std::string& n : safe)
            EXPECT_EQ(ReadOr(dir.File(L"deep\\out\\" + platform::SjisToWide(n))), "data") << n;
        const std::string refused = "the path leaves the output folder: ";
        for (const std::string& n : unsafe)
            EXPECT_NE(text.find(refused + n + "\r\n"), std::string::npos) << n;
        EXPECT_EQ(text.find(refused + notRefused), std::string::npos);
        // Nothing landed anywhere but the safe members in deep\out.
        for (const wchar_t* gone : {L"deep\\evil.txt", L"evil3.txt", L"deep\\evil5.txt", L"evil6.txt",
                                    L"deep\\out\\rooted.txt", L"deep\\out\\evil4.txt"})
            EXPECT_FALSE(FileExists(dir.File(gone))) << Sjis(gone);
        WIN32_FIND_DATAW fd;
        platform::UniqueFind find(FindFirstFileW(dir.File(L"deep\\*").c_str(), &fd));
        int entries = 0;
        if (find) do
                ++entries;
            while (FindNextFileW(find.Get(), &fd));
        EXPECT_EQ(entries, 3);  // ".", ".." and out
        DeleteTree(dir.File(L"deep\\out"));
    }
}

TEST_F(StandinTest, TarOfOnlyEndBlocksIsEmpty) {
    Library tar(L"full", L"TAR32.DLL");
    const std::string zeros(10240, '\0');
    ASSERT_TRUE(WriteFileBytes(dir.File(L"empty.tar"), zeros));
    ASSERT_TRUE(WriteFileBytes(dir.File(L"empty.tgz"), standin::GzipCompress(zeros)));
    struct Case {
        const char* file;
        int type;
    } cases[] = {{"empty.tar", 1}, {"empty.tgz", 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = dir.SjisFile(c.file);
        EXPECT_EQ(tar.Get<TArcGetArchiveType>("TarGetArchiveType")(path.c_str()), c.type);
        int opened = -1;
        EXPECT_TRUE(tar.List("Tar", path, &opened).empty());
        EXPECT_EQ(opened, 1);
        std::string out = Out((std::string(c.file) + ".out").c_str());
        EXPECT_EQ(tar.Run("Tar", "-x " + Quote(path) + " " + Quote(out)), 0);
        WIN32_FIND_DATAW fd;
        platform::UniqueFind find(FindFirstFileW((platform::SjisToWide(out) + L"*").c_str(), &fd));
        int entries = 0;
        if (find) do
                ++entries;
            while (FindNextFileW(find.Get(), &fd));
        EXPECT_EQ(entries, 2);  // "." and ".."
    }
}

// A gzip stream that holds no tar is one member named after the file; every member of a concatenated stream
// belongs to it.
TEST_F(StandinTest, ALoneGzipStreamIsOneMemberOfAllItsParts) {
    Library tar(L"full", L"TAR32.DLL");
    ASSERT_TRUE(WriteFileBytes(dir.File(L"notes.txt.gz"),
                               standin::GzipCompress("first part, ") + standin::GzipCompress("second part")));
    const std::string path = dir.SjisFile("notes.txt.gz");
    EXPECT_EQ(tar.Get<TArcGetArchiveType>("TarGetArchiveType")(path.c_str()), 4);
    EXPECT_EQ(Names(tar.List("Tar", path)), std::vector<std::string>{"notes.txt"});
    const std::string out = Out();
    ASSERT_EQ(tar.Run("Tar", "-x " + Quote(path) + " " + Quote(out)), 0);
    EXPECT_EQ(ReadOr(dir.File(L"out\\notes.txt")), "first part, second part");
}

// ---- dialects ----

TEST_F(StandinTest, LhaDialectExtractsPacksAndBuildsSfx) {
    Library lha(L"full", L"UNLHA32.DLL");
    ASSERT_TRUE(WriteFileMakingFolders(dir.File(L"src\\a.txt"), "alpha"));
    ASSERT_TRUE(WriteFileMakingFolders(dir.File(L"src\\sub\\表.txt"), "hyou"));
    std::string res = dir.SjisFile("list.txt");
    ASSERT_TRUE(WriteFileBytes(dir.File(L"list.txt"), "\"a.txt\"\r\n\"sub\\表.txt\"\r\n"));
    std::string lzh = dir.SjisFile("made.lzh");
    std::string base = dir.SjisFile("src") + "\\";
    ASSERT_EQ(lha.Run("Unlha", "u -+1 -a1 -jso1 -x1 -jf0 " + Quote(lzh) + " " + Quote(base) + " " +
                                   Quote("@" + res) + " "),
              0);
    std::string comment;
    auto stored = ReadZipMembers(dir.File(L"made.lzh"), &comment);
    EXPECT_EQ(comment, FormatTag("LHA"));
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[1].name, "sub/表.txt");

    // The worked example of the builder, with a quoted folder switch beside it.
    std::string out = Out();
    ASSERT_EQ(lha.Run("Unlha", "x -+1 -a1 -n1 \"-w" + dir.SjisPath() + "\\\" -jse1 -jso1  " + Quote(lzh) +
                                   " " + Quote(out) + " "),
              0);
    EXPECT_EQ(ReadOr(dir.File(L"out\\sub\\表.txt")), "hyou");
    // -x0 drops the folders; -jn1 keeps what exists.
    ASSERT_TRUE(WriteFileBytes(dir.File(L"out\\a.txt"), "mine"));
    ASSERT_EQ(lha.Run("Unlha", "x -+1 -x0 -jn1 -jso1 " + Quote(lzh) + " " + Quote(out)), 0);
    EXPECT_EQ(ReadOr(dir.File(L"out\\a.txt")), "mine");
    EXPECT_EQ(ReadOr(dir.File(L"out\\表.txt")), "hyou");

    ASSERT_EQ(lha.Run("Unlha", "s -+1 -jso1 " + Quote(lzh) + " " + Quote(out) + " "), 0);
    EXPECT_EQ(Names(lha.List("Unlha", Sjis(dir.File(L"out\\made.exe")))),
              (std::vector<std::string>{"a.txt", "sub/表.txt"}));

    // Each personality takes only its own tag; the ZIP libraries take any ZIP.
    int opened = -1;
    Library cab(L"full", L"CAB32.DLL");
    cab.List("Cab", lzh, &opened);
    EXPECT_EQ(opened, 0);
    Library unzip(L"full", L"UNZIP32.DLL");
    unzip.List("UnZip", lzh, &opened);
    EXPECT_EQ(opened, 1);
}

TEST_F(StandinTest, ZipDialectsCreateDeleteAdjustAndUndoEscapes) {
    Library zip32j(L"full", L"ZIP32J.DLL");
    Library unzip(L"full", L"UNZIP32.DLL");
    ASSERT_TRUE(WriteFileMakingFolders(dir.File(L"src\\-x[1]\\a.txt"), "escaped"));
    ASSERT_TRUE(WriteFileMakingFolders(dir.File(L"src\\b.txt"), "bee"));
    std::string zip = dir.SjisFile("made.zip");
    std::string base = dir.SjisFile("src") + "\\";
    ASSERT_EQ(zip32j.Run("Zip",
                         "-S -D -r -o " + Quote(zip) + " " + Quote(base) + " \"[-]x[[]1]/a.txt\" \"b.txt\" "),
              0);
    EXPECT_EQ(Names(unzip.List("UnZip", zip)), (std::vector<std::string>{"-x[1]/a.txt", "b.txt"}));

    std::string out = Out();
    ASSERT_EQ(unzip.Run("UnZip", "-x --i " + Quote(zip) + " " + Quote(out) + " \"[-]x[[]1]/a.txt\" "), 0);
    EXPECT_EQ(ReadOr(dir.File(L"out\\-x[1]\\a.txt")), "escaped");
    EXPECT_FALSE(FileExists(dir.File(L"out\\b.txt")));

    // Without -o an existing file stays; -o overwrites.
    ASSERT_TRUE(WriteFileBytes(dir.File(L"out\\b.txt"), "mine"));
    ASSERT_EQ(unzip.Run("UnZip", "-x " + Quote(zip) + " " + Quote(out)), 0);
    EXPECT_EQ(ReadOr(dir.File(L"out\\b.txt")), "mine");
    ASSERT_EQ(unzip.Run("UnZip", "-x -o " + Quote(zip) + " " + Quote(out)), 0);
    EXPECT_EQ(ReadOr(dir.File(L"out\\b.txt")), "bee");

    ASSERT_EQ(zip32j.Run("Zip", "-d " + Quote(zip) + " \"b.txt\" "), 0);
    EXPECT_EQ(Names(unzip.List("UnZip", zip)), (std::vector<std::string>{"-x[1]/a.txt"}));

    // A stub put in front and "-A": the self-extracting file is a valid ZIP again.
    std::string exe = dir.SjisFile("made sfx.EXE");
    ASSERT_TRUE(WriteFileBytes(dir.File(L"made sfx.EXE"),
                               std::string(3000, 'S') + *ReadFileBytes(dir.File(L"made.zip"))));
    ASSERT_EQ(zip32j.Run("Zip", "-A " + exe), 0);
    auto members = ReadZipMembers(dir.File(L"made sfx.EXE"));
    ASSERT_EQ(members.size(), 1u);
    EXPECT_EQ(members[0].data, "escaped");
}

TEST_F(StandinTest, SevenZipAndRarDialects) {
    ASSERT_TRUE(WriteTaggedFixture(dir.File(L"a.7z"), "7Z", {{"keep/x.txt", "x"}, {"skip.log", "log"}}));
    Library sz(L"full", L"7-zip32.dll");
    std::string out = Out();
    ASSERT_EQ(sz.Run("SevenZip",
                     "x -aoa -ms=off \"-x!*.log\" \"-o" + out + "\"  " + Quote(dir.SjisFile("a.7z")) + " "),
              0);
    EXPECT_TRUE(FileExists(dir.File(L"out\\keep\\x.txt")));
    EXPECT_FALSE(FileExists(dir.File(L"out\\skip.log")));

    ASSERT_TRUE(WriteTaggedFixture(dir.File(L"a.rar"), "RAR", {{"d/r.txt", "r"}}));
    Library rar(L"full", L"UNRAR32.DLL");
    ASSERT_EQ(rar.Run("Unrar", "-e -o  " + Quote(dir.SjisFile("a.rar")) + " " + Quote(out) + " "), 0);
    EXPECT_EQ(ReadOr(dir.File(L"out\\r.txt")), "r");
}

// ---- script ----

TEST_F(StandinTest, ScriptForcesResultsAndSuppliesMembers) {
    Library cab(L"full", L"CAB32.DLL");
    session.SetScript(StandinScript()
                          .Section("CAB32.DLL")
                          .Member("big.iso", 5000000000ULL, "2022-01-02 03:04:06", 123)
                          .Member("dir/small.txt", 10)
                          .CommandResult(0x8019)
                          .CheckResult(0)
                          .Section("*")
                          .ArchiveType(5));
    std::string nowhere = dir.SjisFile("nowhere.cab");
    HARC arc = cab.Get<TArcOpenArchive>("CabOpenArchive")(nullptr, nowhere.c_str(), 0);
    ASSERT_NE(arc, nullptr);
    TArchiveMemberInfo info{};
    ASSERT_EQ(cab.Get<TArcFindFirst>("CabFindFirst")(arc, "*", &info), 0);
    EXPECT_STREQ(info.FileName, "big.iso");
    EXPECT_EQ(info.OriginalSize, static_cast<uint32_t>(5000000000ULL));
    ULARGE_INTEGER size{};
    EXPECT_TRUE(cab.Get<TArcGetSizeEx>("CabGetOriginalSizeEx")(arc, &size));
    EXPECT_EQ(size.QuadPart, 5000000000ULL);
    FILETIME ft{};
    EXPECT_TRUE(cab.Get<TArcGetTimeEx>("CabGetWriteTimeEx")(arc, &ft));
    SYSTEMTIME st{};
    FileTimeToSystemTime(&ft, &st);
    EXPECT_EQ(st.wYear, 2022);
    EXPECT_EQ(st.wSecond, 6);
    ASSERT_EQ(cab.Get<TArcFindNext>("CabFindNext")(arc, &info), 0);
    EXPECT_STREQ(info.FileName, "dir/small.txt");
    EXPECT_NE(cab.Get<TArcFindNext>("CabFindNext")(arc, &info), 0);
    cab.Get<TArcCloseArchive>("CabCloseArchive")(arc);
    EXPECT_EQ(cab.Run("Cab", "-x " + Quote(nowhere)), 0x8019);
    EXPECT_FALSE(cab.Get<TArcCheckArchive>("CabCheckArchive")(nowhere.c_str(), 0));
    EXPECT_EQ(cab.Get<TArcGetArchiveType>("CabGetArchiveType")(nowhere.c_str()), 5);

    session.SetScript(StandinScript().OpenFail());
    EXPECT_EQ(cab.Get<TArcOpenArchive>("CabOpenArchive")(nullptr, nowhere.c_str(), 0), nullptr);
}

TEST_F(StandinTest, Yz1PasswordIsAskedAndChecked) {
    ASSERT_TRUE(WriteTaggedFixture(dir.File(L"a.yz1"), "YZ1", {{"secret.txt", "s"}}));
    session.SetScript(
        StandinScript().Password("right").DialogAnswer("wrong").DialogAnswer("right").DialogCancel());
    Library yz1(L"full", L"YZ1.DLL");
    std::string path = dir.SjisFile("a.yz1");
    HARC arc = yz1.Get<TArcOpenArchive>("Yz1OpenArchive")(nullptr, path.c_str(), 0);
    ASSERT_NE(arc, nullptr);
    auto first = yz1.Get<TArcFindFirst>("Yz1FindFirst");
    auto dialog = yz1.Get<TArcPasswordDialog>("Yz1PasswordDialog");
    auto setPassword = yz1.Get<TArcSetDefaultPassword>("Yz1SetDefaultPassword");
    TArchiveMemberInfo info{};
    char buf[256];
    EXPECT_EQ(first(arc, "*", &info), ERROR_ARC_PASSWORD_FILE);
    ASSERT_EQ(dialog(nullptr, buf, sizeof(buf)), 0);
    setPassword(arc, buf);
    EXPECT_EQ(first(arc, "*", &info), ERROR_ARC_PASSWORD_FILE);
    ASSERT_EQ(dialog(nullptr, buf, sizeof(buf)), 0);
    setPassword(arc, buf);
    EXPECT_EQ(first(arc, "*", &info), 0);
    EXPECT_LT(dialog(nullptr, buf, sizeof(buf)), 0);
    yz1.Get<TArcCloseArchive>("Yz1CloseArchive")(arc);
    EXPECT_EQ(yz1.Run("Yz1", "x -+ " + Quote(path) + " " + Quote(Out())), 0);
    EXPECT_TRUE(FileExists(dir.File(L"out\\secret.txt")));
}

// ---- large members, zip64, a full disk, no memory ----

size_t PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof(pmc);
    return K32GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc)) ? pmc.PeakWorkingSetSize : 0;
}

// The in-process report of a member's progress: more than its first and last report.
void ExpectReportsAlongTheWay(const std::vector<ProgressRecord>& seen, const std::string& member,
                              uint32_t size) {
    std::vector<uint32_t> written;
    for (const ProgressRecord& r : seen)
        if (r.state == ARCEXTRACT_INPROCESS && r.source == member) written.push_back(r.written);
    ASSERT_GT(written.size(), 2u);
    EXPECT_EQ(written.front(), 0u);
    EXPECT_EQ(written.back(), size);
    EXPECT_TRUE(std::is_sorted(written.begin(), written.end()));
}

TEST_F(StandinTest, LargeMembersAreListedTestedExtractedAndPackedInBoundedMemory) {
    constexpr uint64_t kSize = 160ull << 20;
    constexpr size_t kBound = 64u << 20;  // what the library may hold for any archive
    using standin::Container;
    using standin::Filler;
    for (const auto& [file, container] :
         {std::pair{L"big.zip", Container::Zip}, {L"big.tgz", Container::Tgz}})
        ASSERT_TRUE(
            standin::WriteOneMemberArchive(dir.File(file), container, "big.bin", kSize, Filler::Repeated).ok);
    struct Case {
        const wchar_t* library;
        std::string prefix;
        const char* archive;
        const char* extract;
        const char* sizeEntry;
    } cases[] = {{L"UNZIP32.DLL", "UnZip", "big.zip", "-x -o ", "UnZipGetOriginalSize"},
                 {L"TAR32.DLL", "Tar", "big.tgz", "-x ", "TarGetArcOriginalSize"}};
    const size_t before = PeakWorkingSet();
    ASSERT_GT(before, 0u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prefix);
        Library lib(L"full", c.library);
        auto entry = [&](const char* suffix) { return (c.prefix + suffix); };
        const std::string path = dir.SjisFile(c.archive);
        auto listed = lib.List(c.prefix, path);
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].name, "big.bin");
        EXPECT_EQ(listed[0].size, kSize);
        HARC arc = lib.Get<TArcOpenArchive>(entry("OpenArchive").c_str())(nullptr, path.c_str(), 0);
        EXPECT_EQ(lib.Get<TArcGetArcOriginalSize>(c.sizeEntry)(arc), kSize);
        lib.Get<TArcCloseArchive>(entry("CloseArchive").c_str())(arc);
        EXPECT_LT(PeakWorkingSet() - before, kBound) << "listing reads headers only";
        EXPECT_TRUE(lib.Get<TArcCheckArchive>(entry("CheckArchive").c_str())(path.c_str(), 0));

        ProgressSink sink;
        ProgressWindow window(&sink);
        lib.Get<TArcSetOwnerWindowEx>(entry("SetOwnerWindowEx").c_str())(window.Get(), nullptr);
        const std::string out = Out(c.prefix.c_str());
        EXPECT_EQ(lib.Run(c.prefix.c_str(), c.extract + Quote(path) + " " + Quote(out)), 0);
        lib.Get<TArcKillOwnerWindowEx>(entry("KillOwnerWindowEx").c_str())(window.Get());
        EXPECT_TRUE(
            standin::FileMatchesFiller(platform::SjisToWide(out) + L"big.bin", kSize, Filler::Repeated));
        ExpectReportsAlongTheWay(sink.seen, "big.bin", kSize);
    }
    // Packed again from the extracted file, and read back.
    Library zip32j(L"full", L"ZIP32J.DLL");
    ASSERT_EQ(zip32j.Run("Zip", "-D " + Quote(dir.SjisFile("again.zip")) + " " + Quote(Out("UnZip")) +
                                    " \"big.bin\""),
              0);
    DeleteFileW(dir.File(L"UnZip\\big.bin").c_str());
    Library unzip(L"full", L"UNZIP32.DLL");
    EXPECT_TRUE(unzip.Get<TArcCheckArchive>("UnZipCheckArchive")(dir.SjisFile("again.zip").c_str(), 0));
    EXPECT_LT(PeakWorkingSet() - before, kBound);
}

// Listing (the count walk's calls) reads the central directory only: with every member's local header and
// data wiped out, the members are still listed whole, while the test finds the damage.
TEST_F(StandinTest, ListingReadsTheCentralDirectoryOnly) {
    ASSERT_TRUE(WriteZipFixture(dir.File(L"wiped.zip"), {{"a.txt", kDeflated}, {"d/b.bin", kStored, false}}));
    std::string bytes = *ReadFileBytes(dir.File(L"wiped.zip"));
    const size_t cdStart = bytes.find("PK\x01\x02");
    ASSERT_NE(cdStart, std::string::npos);
    std::fill(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cdStart), '\0');
    ASSERT_TRUE(WriteFileBytes(dir.File(L"wiped.zip"), bytes));
    const std::string path = dir.SjisFile("wiped.zip");
    Library unzip(L"full", L"UNZIP32.DLL");
    auto listed = unzip.List("UnZip", path);
    ASSERT_EQ(Names(listed), (std::vector<std::string>{"a.txt", "d/b.bin"}));
    EXPECT_EQ(listed[0].size, kDeflated.size());
    EXPECT_EQ(listed[1].crc, standin::Crc32(kStored));
    HARC arc = unzip.Get<TArcOpenArchive>("UnZipOpenArchive")(nullptr, path.c_str(), 0);
    EXPECT_EQ(unzip.Get<TArcGetArcOriginalSize>("UnZipGetOriginalSize")(arc),
              kDeflated.size() + kStored.size());
    unzip.Get<TArcCloseArchive>("UnZipCloseArchive")(arc);
    EXPECT_FALSE(unzip.Get<TArcCheckArchive>("UnZipCheckArchive")(path.c_str(), 0));
}

TEST_F(StandinTest, Zip64RecordsAreRead) {
    // Our writer with every zip64 record (sizes, offsets, the zip64 end records), checked by Python first.
    std::string bytes;
    {
        standin::StringWriter w(bytes);
        standin::ZipWriter zip(w, true);
        for (const auto& [name, data, method] : {std::tuple{"d/a.txt", kDeflated, standin::kMethodDeflate},
                                                 std::tuple{"b.bin", kStored, standin::kMethodStored}}) {
            standin::ArchiveMember m;
            m.name = name;
            m.method = method;
            ASSERT_TRUE(zip.Begin(m, data.size()));
            ASSERT_TRUE(zip.Write(data));
            ASSERT_TRUE(zip.End());
        }
        ASSERT_TRUE(zip.Finish());
    }
    ASSERT_TRUE(WriteFileBytes(dir.File(L"z64.zip"), bytes));
    ASSERT_TRUE(WriteFileBytes(dir.File(L"z64.exe"), std::string(5000, 'S') + bytes));
    const std::string python = R"(import sys, zipfile
out = open(sys.argv[1], "w")
for path in sys.argv[2:]:
    with zipfile.ZipFile(path) as z:
        members = " ".join("%s:%d" % (i.filename, i.file_size) for i in z.infolist())
        out.write("bad=%s %s\n" % (z.testzip(), members))
out.close()
)";
    EXPECT_EQ(RunHostPython(dir, python, {dir.File(L"z64.zip")}).value_or("<no python>"),
              "bad=None d/a.txt:2800 b.bin:1024\n");

    Library unzip(L"full", L"UNZIP32.DLL");
    for (const char* file : {"z64.zip", "z64.exe"}) {
        SCOPED_TRACE(file);
        auto listed = unzip.List("UnZip", dir.SjisFile(file));
        ASSERT_EQ(Names(listed), (std::vector<std::string>{"d/a.txt", "b.bin"}));
        EXPECT_EQ(listed[0].size, kDeflated.size());
        EXPECT_EQ(listed[1].crc, standin::Crc32(kStored));
        const std::string out = Out((std::string(file) + ".out").c_str());
        std::string text;
        ASSERT_EQ(unzip.Run("UnZip", "-x " + Quote(dir.SjisFile(file)) + " " + Quote(out), &text), 0) << text;
        EXPECT_EQ(ReadOr(platform::SjisToWide(out) + L"d\\a.txt"), kDeflated);
        EXPECT_EQ(ReadOr(platform::SjisToWide(out) + L"b.bin"), kStored);
    }
    // "-A" shifts the zip64 offsets too: Python reads the self-extracting file afterwards.
    Library zip32j(L"full", L"ZIP32J.DLL");
    ASSERT_EQ(zip32j.Run("Zip", "-A " + dir.SjisFile("z64.exe")), 0);
    EXPECT_EQ(RunHostPython(dir, python, {dir.File(L"z64.exe")}).value_or("<no python>"),
              "bad=None d/a.txt:2800 b.bin:1024\n");

    // Another writer's zip64 end records: Python writes them for more than 65,535 members.
    ASSERT_TRUE(RunHostPython(dir, R"(import sys, zipfile
with zipfile.ZipFile(sys.argv[2], "w") as z:
    for i in range(65537):
        z.writestr("m%d.txt" % i, "x")
open(sys.argv[1], "w").write("made")
)",
                              {dir.File(L"many.zip")}));
    const std::string many = dir.SjisFile("many.zip");
    HARC arc = unzip.Get<TArcOpenArchive>("UnZipOpenArchive")(nullptr, many.c_str(), 0);
    ASSERT_NE(arc, nullptr);
    EXPECT_EQ(unzip.Get<TArcGetArcOriginalSize>("UnZipGetOriginalSize")(arc), 65537u);
    TArchiveMemberInfo info{};
    EXPECT_EQ(unzip.Get<TArcFindFirst>("UnZipFindFirst")(arc, "m65536.txt", &info), 0);
    EXPECT_STREQ(info.FileName, "m65536.txt");
    unzip.Get<TArcCloseArchive>("UnZipCloseArchive")(arc);
}

TEST_F(StandinTest, AFullDiskEndsTheExtractionWithDiskSpaceAndNoPartialFile) {
    const std::string data(3000, 'd');
    ASSERT_TRUE(WriteZipFixture(dir.File(L"a.zip"), {{"first.txt", data}, {"second.txt", data}}));
    ASSERT_TRUE(WriteTarFixture(dir.File(L"a.tgz"), {{"first.txt", data}, {"second.txt", data}}, true));
    struct Case {
        const wchar_t* library;
        const char* prefix;
        const char* archive;
    } cases[] = {{L"UNZIP32.DLL", "UnZip", "a.zip"}, {L"TAR32.DLL", "Tar", "a.tgz"}};
    session.SetScript(StandinScript().DiskFullAfter(4000));  // the second member does not fit
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prefix);
        Library lib(L"full", c.library);
        const std::string out = Out(c.prefix);
        std::string text;
        EXPECT_EQ(lib.Run(c.prefix, "-x " + Quote(dir.SjisFile(c.archive)) + " " + Quote(out), &text),
                  0x8005);
        EXPECT_EQ(ReadOr(platform::SjisToWide(out) + L"first.txt"), data);
        EXPECT_FALSE(FileExists(platform::SjisToWide(out) + L"second.txt"));
        EXPECT_NE(text.find("disk full: " + out + "second.txt"), std::string::npos) << text;
    }
}

TEST_F(StandinTest, AnEntryThatRunsOutOfMemoryAnswersItsFailure) {
    Library unzip(L"full", L"UNZIP32.DLL");
    Library tar(L"full", L"TAR32.DLL");
    const std::string zip = Sjis(FixtureFile(L"python.zip"));
    HARC arc = unzip.Get<TArcOpenArchive>("UnZipOpenArchive")(nullptr, zip.c_str(), 0);
    ASSERT_NE(arc, nullptr);
    session.SetScript(StandinScript().OutOfMemory());
    EXPECT_EQ(unzip.Run("UnZip", "-x " + Quote(zip) + " " + Quote(Out())), 0x801E);
    EXPECT_EQ(unzip.Get<TArcOpenArchive>("UnZipOpenArchive")(nullptr, zip.c_str(), 0), nullptr);
    TArchiveMemberInfo info{};
    EXPECT_EQ(unzip.Get<TArcFindFirst>("UnZipFindFirst")(arc, "*", &info), 0x801E);
    EXPECT_FALSE(unzip.Get<TArcCheckArchive>("UnZipCheckArchive")(zip.c_str(), 0));
    EXPECT_EQ(tar.Get<TArcGetArchiveType>("TarGetArchiveType")(Sjis(FixtureFile(L"python.tgz")).c_str()), 0);
    unzip.Get<TArcCloseArchive>("UnZipCloseArchive")(arc);
    const auto commands = CallsOf(session.Calls(), "UnZip");
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].result, 0x801E);
}

TEST_F(StandinTest, AMemberOf4GiBOrMoreIsReportedInProportion) {
    session.SetScript(StandinScript().Member("huge.iso", 5000000000ULL).Member("small.txt", 10));
    Library cab(L"full", L"CAB32.DLL");
    ProgressSink sink;
    ProgressWindow window(&sink);
    cab.Get<TArcSetOwnerWindowEx>("CabSetOwnerWindowEx")(window.Get(), nullptr);
    ASSERT_EQ(cab.Run("Cab", "-x " + Quote(dir.SjisFile("any.cab")) + " " + Quote(Out())), 0);
    cab.Get<TArcKillOwnerWindowEx>("CabKillOwnerWindowEx")(window.Get());
    std::vector<ProgressRecord> huge;
    for (const ProgressRecord& r : sink.seen)
        if (r.source == "huge.iso") huge.push_back(r);
    ASSERT_EQ(huge.size(), 2u);
    EXPECT_EQ(huge[0].size, 2500000000u);  // halved to fit
    EXPECT_EQ(huge[0].written, 0u);
    EXPECT_EQ(huge[1].written, huge[1].size);
    ExpectEachMemberEndsWhole(sink.seen);
}

// ---- damage, volumes and links ----

// A damaged archive fails the test command and CheckArchive both, not only in the text: a pre-test relies on
// the result.
TEST_F(StandinTest, ADamagedArchiveFailsTheTestCommandAndCheckArchive) {
    std::string zip = *ReadFileBytes(FixtureFile(L"python.zip"));
    zip[zip.find(kStored.substr(0, 64)) + 10] ^= 0x55;  // one data byte of the stored member
    ASSERT_TRUE(WriteFileBytes(dir.File(L"flipped.zip"), zip));
    const std::string tgz = *ReadFileBytes(FixtureFile(L"python.tgz"));
    ASSERT_TRUE(WriteFileBytes(dir.File(L"cut.tgz"), tgz.substr(0, tgz.size() / 2)));
    const std::string tar = *ReadFileBytes(FixtureFile(L"python.tar"));
    ASSERT_TRUE(WriteFileBytes(dir.File(L"cut.tar"), tar.substr(0, 1536)));  // inside the first file's data
    struct Case {
        const wchar_t* library;
        const char* prefix;
        const char* test;  // the dialect's command that reads every member's data
        const char* file;
        int result;
    } cases[] = {
        {L"UNZIP32.DLL", "UnZip", "-t ", "flipped.zip", 0x800C},
        {L"TAR32.DLL", "Tar", "-t ", "cut.tgz", 0x8017},
        {L"TAR32.DLL", "Tar", "-t ", "cut.tar", 0x8017},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Library lib(L"full", c.library);
        const std::string path = dir.SjisFile(c.file);
        std::string text;
        EXPECT_EQ(lib.Run(c.prefix, c.test + Quote(path), &text), c.result) << text;
        EXPECT_FALSE(
            lib.Get<TArcCheckArchive>((std::string(c.prefix) + "CheckArchive").c_str())(path.c_str(), 0));
        EXPECT_NE(lib.Run(c.prefix, "-x " + Quote(path) + " " + Quote(Out(c.file))), 0);
    }
}

// The size a ZIP states is checked as well as the CRC: data that ends early is damage even where its own CRC
// is the one stated.
TEST_F(StandinTest, AZipMemberShorterThanItsStatedSizeIsDamagedThoughItsCrcMatches) {
    for (uint16_t method : {standin::kMethodStored, standin::kMethodDeflate}) {
        SCOPED_TRACE(method);
        standin::Archive a;
        standin::ArchiveMember m;
        m.name = "short.txt";
        m.data = "short data";
        m.method = method;
        m.unixTime = 1614834368;
        a.members.push_back(m);
        std::string bytes = standin::WriteZip(a);
        // The uncompressed size, in the local header and in the central directory, says 20 bytes.
        const size_t central = bytes.find("PK\x01\x02");
        ASSERT_NE(central, std::string::npos);
        ASSERT_EQ(bytes.substr(22, 4), std::string("\x0a\0\0\0", 4));
        ASSERT_EQ(bytes.substr(central + 24, 4), std::string("\x0a\0\0\0", 4));
        bytes[22] = bytes[central + 24] = 20;
        ASSERT_TRUE(WriteFileBytes(dir.File(L"short.zip"), bytes));
        Library unzip(L"full", L"UNZIP32.DLL");
        const std::string path = dir.SjisFile("short.zip");
        auto listed = unzip.List("UnZip", path);
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].size, 20u);
        EXPECT_EQ(listed[0].crc, standin::Crc32("short data"));
        EXPECT_FALSE(unzip.Get<TArcCheckArchive>("UnZipCheckArchive")(path.c_str(), kCheckModeZip));
        std::string text;
        EXPECT_EQ(unzip.Run("UnZip", "-t " + Quote(path), &text), 0x800C);
        EXPECT_NE(text.find("CRC error: short.txt"), std::string::npos) << text;
        const std::string out = Out(method ? "deflated" : "stored");
        EXPECT_EQ(unzip.Run("UnZip", "-x -o " + Quote(path) + " " + Quote(out)), 0x800C);
        EXPECT_FALSE(FileExists(platform::SjisToWide(out) + L"short.txt"));
    }
}

namespace {

bool WriteVolume(const std::wstring& path, const std::vector<FixtureMember>& members, uint32_t number,
                 bool last, const char* set = "s1") {
    return WriteZipFixture(path, members, standin::VolumeComment("RAR", {number, set, last}));
}

}  // namespace

// A RAR set is read from its first volume on: the volumes that follow by name are read while their content
// says they are the next of the set, each reported as it is begun (ARCEXTRACT_OPEN with its path); a whole
// archive is read alone, whatever lies beside it.
TEST_F(StandinTest, RarVolumesAreReadAsOneSetFromTheFirst) {
    Library rar(L"full", L"UNRAR32.DLL");
    auto check = rar.Get<TArcCheckArchive>("UnrarCheckArchive");
    struct Volume {
        const wchar_t* name;
        uint32_t number;  // 0: a whole archive
        bool last;
        const char* set;
    };
    struct Case {
        const char* label;
        std::vector<Volume> files;  // the first is the one opened
        int read;                   // how many of them the library reads
        int result;                 // of the extraction
    };
    const std::vector<Case> cases = {
        {"part names keep their width",
         {{L"p.part01.rar", 1, false, "s1"},
          {L"p.part02.rar", 2, false, "s1"},
          {L"p.part03.rar", 3, true, "s1"},
          {L"p.part04.rar", 0, false, ""}},
         3,
         0},
        {"numbered volumes after the .rar",
         {{L"n.rar", 1, false, "s1"},
          {L"n.r00", 2, false, "s1"},
          {L"n.r01", 3, true, "s1"},
          {L"n.r02", 4, true, "s1"}},
         3,
         0},
        {"a whole archive beside a volume", {{L"w.rar", 0, false, ""}, {L"w.r00", 2, true, "s1"}}, 1, 0},
        {"the next volume is missing",
         {{L"m.part1.rar", 1, false, "s1"}, {L"m.part3.rar", 3, true, "s1"}},
         1,
         0x8029},
        {"the next volume is another set's",
         {{L"o.part1.rar", 1, false, "s1"}, {L"o.part2.rar", 2, true, "s2"}},
         1,
         0x8029},
        {"the next file is no volume", {{L"x.rar", 1, false, "s1"}, {L"x.r00", 0, false, ""}}, 1, 0x8029},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<std::string> names;
        for (size_t i = 0; i < c.files.size(); ++i) {
            const Volume& v = c.files[i];
            const std::string member = "m" + std::to_string(i) + ".txt";
            const std::vector<FixtureMember> members = {{member, "volume " + std::to_string(i)}};
            ASSERT_TRUE(v.number ? WriteVolume(dir.File(v.name), members, v.number, v.last, v.set)
                                 : WriteTaggedFixture(dir.File(v.name), "RAR", members));
            if (static_cast<int>(i) < c.read) names.push_back(member);
        }
        const std::string first = dir.SjisFile(Sjis(c.files[0].name));
        EXPECT_EQ(Names(rar.List("Unrar", first)), names);

        ProgressSink sink;
        ProgressWindow window(&sink);
        ASSERT_TRUE(rar.Get<TArcSetOwnerWindowEx>("UnrarSetOwnerWindowEx")(window.Get(), nullptr));
        EXPECT_EQ(check(first.c_str(), 0) != FALSE, c.result == 0);
        const std::string out = Out(Sjis(std::wstring(c.files[0].name) + L".out").c_str());
        std::string text;
        EXPECT_EQ(rar.Run("Unrar", "-x -o " + Quote(first) + " " + Quote(out), &text), c.result) << text;
        rar.Get<TArcKillOwnerWindowEx>("UnrarKillOwnerWindowEx")(window.Get());
        // Each volume read is reported once by the test and once by the extraction, in the order read.
        std::vector<std::string> opened, expected;
        for (const ProgressRecord& r : sink.seen)
            if (r.state == ARCEXTRACT_OPEN) opened.push_back(r.source);
        for (int pass = 0; pass < 2; ++pass)
            for (int i = 0; i < c.read; ++i) expected.push_back(dir.SjisFile(Sjis(c.files[i].name)));
        EXPECT_EQ(opened, expected);
        for (size_t i = 0; i < c.files.size(); ++i)
            EXPECT_EQ(FileExists(platform::SjisToWide(out) + L"m" + std::to_wstring(i) + L".txt"),
                      static_cast<int>(i) < c.read)
                << i;
        if (c.result) {
            EXPECT_NE(text.find("the next volume is missing or not of this set: "), std::string::npos)
                << text;
        }
    }
}

// A tar's links are members: a hard link is listed with its target's size and written as a copy of it, a
// symbolic link is a small file holding its target's name; a link whose target is not there, or leaves the
// output folder, is refused with a line and fails the extraction.
TEST_F(StandinTest, TarLinkMembersAreListedAndWritten) {
    auto member = [](std::string name, std::string data, char link = 0, std::string target = {}) {
        standin::ArchiveMember m;
        m.name = std::move(name);
        m.data = std::move(data);
        m.link = link;
        m.linkName = std::move(target);
        m.unixTime = 1614834368;
        return m;
    };
    const std::string longTarget = std::string(120, 'd') + "/target.txt";
    standin::Archive good;
    good.members = {member("sub/target.txt", "target data"), member(longTarget, "deep"),
                    member("sub/hard.txt", "", '1', "sub/target.txt"),
                    member("long.txt", "", '1', longTarget), member("sub/soft.txt", "", '2', "target.txt")};
    standin::Archive bad;
    bad.members = {member("orphan.txt", "", '1', "missing.txt"),
                   member("climb.txt", "", '1', "../../outside.txt"), member("ok.txt", "ok")};
    ASSERT_TRUE(WriteFileMakingFolders(dir.File(L"outside.txt"), "outside"));
    ASSERT_TRUE(WriteFileBytes(dir.File(L"links.tar"), standin::WriteTar(good)));
    ASSERT_TRUE(WriteFileBytes(dir.File(L"links.tgz"), standin::GzipCompress(standin::WriteTar(good))));
    ASSERT_TRUE(WriteFileBytes(dir.File(L"bad.tar"), standin::WriteTar(bad)));
    Library tar(L"full", L"TAR32.DLL");
    auto check = tar.Get<TArcCheckArchive>("TarCheckArchive");
    for (const char* file : {"links.tar", "links.tgz"}) {
        SCOPED_TRACE(file);
        const std::string path = dir.SjisFile(file);
        auto listed = tar.List("Tar", path);
        ASSERT_EQ(Names(listed), (std::vector<std::string>{"sub/target.txt", longTarget, "sub/hard.txt",
                                                           "long.txt", "sub/soft.txt"}));
        EXPECT_EQ(listed[2].size, 11u);
        EXPECT_EQ(listed[3].size, 4u);
        EXPECT_EQ(listed[4].size, 10u);
        EXPECT_TRUE(check(path.c_str(), 0));
        const std::string out = Out((std::string(file) + ".out").c_str());
        std::string text;
        ASSERT_EQ(tar.Run("Tar", "-x " + Quote(path) + " " + Quote(out), &text), 0) << text;
        const std::wstring w = platform::SjisToWide(out);
        EXPECT_EQ(ReadOr(w + L"sub\\hard.txt"), "target data");
        EXPECT_EQ(ReadOr(w + L"long.txt"), "deep");
        EXPECT_EQ(ReadOr(w + L"sub\\soft.txt"), "target.txt");
    }
    const std::string path = dir.SjisFile("bad.tar");
    EXPECT_EQ(Names(tar.List("Tar", path)), (std::vector<std::string>{"orphan.txt", "climb.txt", "ok.txt"}));
    const std::string out = Out("deep");
    std::string text;
    EXPECT_EQ(tar.Run("Tar", "-x " + Quote(path) + " " + Quote(out), &text), 0x8013);
    EXPECT_NE(text.find("cannot link, the target is not there: orphan.txt"), std::string::npos) << text;
    EXPECT_NE(text.find("the link's target leaves the output folder: climb.txt"), std::string::npos) << text;
    EXPECT_FALSE(FileExists(dir.File(L"deep\\orphan.txt")));
    EXPECT_FALSE(FileExists(dir.File(L"deep\\climb.txt")));
    EXPECT_EQ(ReadOr(dir.File(L"deep\\ok.txt")), "ok");
}

// ---- scenarios ----

TEST(StandinScenarios, FoldersHaveAndLackTheRightEntries) {
    struct Case {
        const wchar_t* scenario;
        const wchar_t* file;
        std::vector<const char*> present;
        std::vector<const char*> absent;
    };
    const Case cases[] = {
        {L"full",
         L"UNLHA32.DLL",
         {"Unlha", "UnlhaFindNext", "UnlhaGetWriteTimeEx", "UnlhaSetEnumMembersProc64"},
         {"UnlhaPasswordDialog"}},
        {L"full",
         L"UNZIP32.DLL",
         {"UnZip", "UnZipGetOriginalSize", "UnZipSetOwnerWindowEx"},
         {"Zip", "UnZipGetArcOriginalSize"}},
        {L"full", L"ZIP32J.DLL", {"Zip", "UnZipOpenArchive", "UnZipFindFirst"}, {"UnZip"}},
        {L"full",
         L"LMZIP32.DLL",
         {"Unzip", "Zip", "UnzipFindFirst", "UnzipGetWriteTimeEx"},
         {"UnZipFindFirst"}},
        {L"full", L"YYZ32.DLL", {"Yz1", "Yz1PasswordDialog", "Yz1SetDefaultPassword"}, {}},
        {L"full", L"7-zip32.dll", {"SevenZip", "SevenZipGetArchiveType"}, {}},
        {L"noopt",
         L"TAR32.DLL",
         {"Tar", "TarFindNext", "TarGetArchiveType"},
         {"TarSetOwnerWindowEx", "TarGetWriteTimeEx", "TarSetEnumMembersProc64"}},
        {L"noopt", L"YZ1.DLL", {"Yz1FindFirst"}, {"Yz1PasswordDialog", "Yz1SetDefaultPassword"}},
        {L"noreq", L"CAB32.DLL", {"Cab", "CabFindFirst", "CabSetOwnerWindowEx"}, {"CabFindNext"}},
        {L"noreq", L"LMZIP32.DLL", {"UnzipFindFirst"}, {"UnzipFindNext"}},
        {L"zip-lmzip", L"LMZIP32.DLL", {"Unzip", "Zip"}, {}},
        {L"zip-unzip-lmzip", L"UNZIP32.DLL", {"UnZip"}, {}},
        {L"zip-unzip-zip32j", L"ZIP32J.DLL", {"Zip"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Sjis(std::wstring(c.scenario) + L"\\" + c.file));
        Library lib(c.scenario, c.file);
        ASSERT_TRUE(lib);
        for (const char* name : c.present) EXPECT_TRUE(lib.Has(name)) << name;
        for (const char* name : c.absent) EXPECT_FALSE(lib.Has(name)) << name;
    }
    struct Presence {
        const wchar_t* scenario;
        const wchar_t* file;
        bool present;
    } files[] = {{L"zip-lmzip", L"UNZIP32.DLL", false},
                 {L"zip-lmzip", L"ZIP32J.DLL", false},
                 {L"zip-unzip-lmzip", L"ZIP32J.DLL", false},
                 {L"zip-unzip-zip32j", L"LMZIP32.DLL", false},
                 {L"noreq", L"7-zip32.dll", true}};
    for (const Presence& p : files)
        EXPECT_EQ(FileExists(StandinFolder(p.scenario) + L"\\" + p.file), p.present) << Sjis(p.file);
}

}  // namespace
