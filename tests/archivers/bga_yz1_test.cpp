// BGA and YZ1: command lines, extraction through the stand-ins, the YZ1 password retry (counts, a cancel, a
// library without the entries, a dialog that fills the whole buffer), the choice between YYZ32.DLL and
// YZ1.DLL, and the YZ1 self-extracting layout with its big-endian size trailer.
#include <cstring>

#include "archivers/bga32.h"
#include "archivers/yz132.h"
#include "format_cases.h"
#include "platform/handle.h"

using namespace formattest;
using namespace testsupport;

TEST(Bga32, CommandLines) {
    ExpectCommandLines<TBGA32>({
        {"all unset: -n and -j", Op::Extract, {}, "x -n -j  \"A\" \"D\\\" "},
        {"every switch", Op::Extract,
         [](TArchiverOptions& o) {
             o.a = 1;
             o.c = 1;
             o.n = 1;
             o.r = 1;
             o.x = 1;
             o.jm = 0;
         },
         "x -a -o -i -r -l0  \"A\" \"D\\\" "},
        {"owner window gives -i", Op::Extract, [](TArchiverOptions& o) { o.x = 1; },
         "x -n -i  \"A\" \"D\\\" ", true},
        {"pack", Op::Pack, {}, "a -n -j  \"A\" \"D\\\" \"f\" ", false, {std::string("f")}},
        {"delete: no folder", Op::Delete, {}, "d -n -j  \"A\" \"f\" ", false, {std::string("f")}},
        {"self-extracting: folder, no files", Op::Sfx, {}, "s -n -j  \"A\" \"D\\\" "},
    });
    TBGA32 bga;
    ExpectUnsupported(bga, Op::Update, "この形式の書庫では書庫の更新をサポートしておりません。");
    ExpectUnsupported(bga, Op::Mem, "この形式ではメモリ展開をサポートしておりません。");
}

// Delete and the self-extracting build take their response-file flag from the remove flag of the options,
// whatever the caller passes; extraction and packing take the caller's.
TEST(Bga32, ResponseFileFlags) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    const std::string resp = std::string(dir) + "velmor_bga_resp.txt";
    const std::string viaList = "\"@" + resp + "\" ";
    struct Case {
        const char* what;
        Op op;
        TResFileUsage usage;
        bool callerFlag;
        std::string expected;
    } cases[] = {
        {"delete, remove flag", Op::Delete, ResUse(ruOnRemoveItem), false, "d -n -j  \"A\" " + viaList},
        {"delete, pack flag only", Op::Delete, ResUse(ruOnPack), true, "d -n -j  \"A\" \"f\" "},
        {"extract, the caller's flag", Op::Extract, ResUse(ruOnRemoveItem), true,
         "x -n -j  \"A\" \"D\\\" " + viaList},
        {"extract, no caller's flag", Op::Extract, kDefaultResFileUsage, false,
         "x -n -j  \"A\" \"D\\\" \"f\" "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TBGA32 bga;
        TArchiverOptions o;
        o.ResFileName = resp;
        o.ResFileUsage = c.usage;
        EXPECT_EQ(Build(bga, c.op, o, {std::string("f")}, "A", c.callerFlag), c.expected);
    }
    DeleteFileA(resp.c_str());
}

TEST(Bga32, ExtractsThroughTheLibrary) {
    TBGA32 bga;
    TArchiverOptions o;
    o.x = 1;
    ExpectExtractsThroughLibrary(bga, "BGA", ".gza", o);
}

TEST(Yz1, CommandLines) {
    auto m = [](int m, int c) {
        return [m, c](TArchiverOptions& o) {
            o.m = static_cast<int8_t>(m);
            o.c = static_cast<int8_t>(c);
        };
    };
    ExpectCommandLines<TYZ1>({
        {"all unset", Op::Extract, {}, "x -+  \"A\" \"D\\\" "},
        {"m = 9 gives -y0 and keeps c", Op::Extract, m(9, 1), "x -+ -c1 -y0  \"A\" \"D\\\" "},
        {"m = 0 forces -c2 -y2", Op::Extract, m(0, 5), "x -+ -c2 -y2  \"A\" \"D\\\" "},
        {"m = 2 forces -c2 -y2", Op::Extract, m(2, -1), "x -+ -c2 -y2  \"A\" \"D\\\" "},
        {"m = 1 gives -y1", Op::Extract, m(1, 3), "x -+ -c3 -y1  \"A\" \"D\\\" "},
        {"m = 5 gives no -y", Op::Extract, m(5, 3), "x -+ -c3  \"A\" \"D\\\" "},
        {"n, p, x", Op::Extract,
         [](TArchiverOptions& o) {
             o.n = 1;
             o.p = 0;
             o.x = 0;
             o.UserOptions = "-k";
         },
         "x -+ -i -z0 -x0 -k \"A\" \"D\\\" "},
        {"owner window gives -i", Op::Extract, {}, "x -+ -i  \"A\" \"D\\\" ", true},
        {"pack", Op::Pack, {}, "c -+  \"A\" \"D\\\" \"f\" ", false, {std::string("f")}},
    });
    TYZ1 yz1;
    ExpectUnsupported(yz1, Op::Delete, "この形式の書庫ではファイルの削除をサポートしておりません。");
    ExpectUnsupported(yz1, Op::Update, "この形式の書庫では書庫の更新をサポートしておりません。");
    ExpectUnsupported(yz1, Op::Sfx, "この形式では自己解凍書庫の作成をサポートしておりません。");
    ExpectUnsupported(yz1, Op::Mem, "この形式ではメモリ展開をサポートしておりません。");
}

TEST(Yz1, ExtractsThroughTheLibrary) {
    FreeYz1Dll();
    TYZ1 yz1;
    ExpectExtractsThroughLibrary(yz1, "YZ1", ".yz1", TArchiverOptions());
}

namespace {

// Each case starts from a freshly loaded library, so the stand-in's dialog answers and remembered password
// start over.
class Yz1PasswordTest : public ::testing::Test {
protected:
    void SetUp() override {
        FreeYz1Dll();
        SetDllDirectoryW(StandinFolder(L"full").c_str());
        ASSERT_TRUE(WriteTaggedFixture(dir_.File(L"p.yz1"), "YZ1", {{"x.txt", "x"}}));
    }
    void TearDown() override {
        FreeYz1Dll();
        SetDllDirectoryW(StandinFolder(L"full").c_str());
    }
    // Opens p.yz1 through TYZ1 and returns FindFirst's result.
    int FindFirst() {
        TYZ1 yz1;
        yz1.Create();
        HARC arc = yz1.OpenArchive(nullptr, dir_.SjisFile("p.yz1"), 0);
        EXPECT_NE(arc, nullptr);
        TArchiveMemberInfo info;
        int r = yz1.FindFirst(arc, &info, "*");
        if (arc) yz1.CloseArchive(arc);
        return r;
    }
    std::vector<std::string> PasswordsSet() const {
        std::vector<std::string> out;
        for (const auto& c : CallsOf(session_.Calls(), "Yz1SetDefaultPassword")) out.push_back(c.args);
        return out;
    }
    TempDir dir_;
    StandinSession session_{dir_};
};

}  // namespace

TEST_F(Yz1PasswordTest, RetryCounts) {
    struct Case {
        const char* what;
        std::vector<const char*> answers;  // nullptr = the user cancels
        int result;
        size_t finds, dialogs;
        std::vector<std::string> set;
    };
    const Case cases[] = {
        {"no password needed", {}, -2, 1, 0, {}},
        {"four wrong answers",
         {"a", "b", "c", "d"},
         ERROR_ARC_PASSWORD_FILE,
         4,
         4,
         {"password=a", "password=b", "password=c", "password=d"}},
        {"second answer right", {"wrong", "secret"}, 0, 3, 2, {"password=wrong", "password=secret"}},
        {"cancel at once", {nullptr}, ERROR_ARC_PASSWORD_FILE, 1, 1, {}},
        {"fourth answer is set but not tried",
         {"a", "b", "c", "secret"},
         ERROR_ARC_PASSWORD_FILE,
         4,
         4,
         {"password=a", "password=b", "password=c", "password=secret"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FreeYz1Dll();
        StandinScript script;
        if (c.result != -2) script.Password("secret");
        for (const char* a : c.answers) a ? script.DialogAnswer(a) : script.DialogCancel();
        ASSERT_TRUE(session_.SetScript(script));
        session_.ClearLog();
        EXPECT_EQ(FindFirst(), c.result == -2 ? 0 : c.result);
        const auto calls = session_.Calls();
        EXPECT_EQ(CallsOf(calls, "Yz1FindFirst").size(), c.finds);
        const auto dialogs = CallsOf(calls, "Yz1PasswordDialog");
        EXPECT_EQ(dialogs.size(), c.dialogs);
        for (const auto& d : dialogs) EXPECT_EQ(d.args, "wnd=0 size=256");
        EXPECT_EQ(PasswordsSet(), c.set);
    }
    // The fourth answer stays set in the library for what follows.
    session_.ClearLog();
    EXPECT_EQ(FindFirst(), 0);
    EXPECT_EQ(CallsOf(session_.Calls(), "Yz1PasswordDialog").size(), 0u);
}

TEST_F(Yz1PasswordTest, LibraryWithoutPasswordEntriesReturnsAtOnce) {
    SetDllDirectoryW(StandinFolder(L"noopt").c_str());
    ASSERT_TRUE(session_.SetScript(StandinScript().Password("secret").DialogAnswer("secret")));
    EXPECT_EQ(FindFirst(), ERROR_ARC_PASSWORD_FILE);
    EXPECT_EQ(CallsOf(session_.Calls(), "Yz1FindFirst").size(), 1u);
}

namespace {
// A dialog that fills all 256 bytes with no terminator, then answers right; records what reaches the library.
class TFillingDialogDll : public TYZ1Dll {
public:
    using TYZ1Dll::TYZ1Dll;
    int PasswordDialog(HWND, char* buffer, DWORD size) override {
        bool zeroed = true;
        for (DWORD i = 0; i < size; ++i) zeroed = zeroed && buffer[i] == 0;
        ZeroedOnEntry.push_back(zeroed);
        if (ZeroedOnEntry.size() == 1)
            std::memset(buffer, 'x', size);
        else
            std::memcpy(buffer, "secret", 6);
        return 0;
    }
    int SetDefaultPassword(HARC arc, const char* password) override {
        Passed.emplace_back(password);
        return TYZ1Dll::SetDefaultPassword(arc, password);
    }
    std::vector<bool> ZeroedOnEntry;
    std::vector<std::string> Passed;
};
}  // namespace

TEST_F(Yz1PasswordTest, BufferIsZeroedBeforeEachDialogAndTerminated) {
    ASSERT_TRUE(session_.SetScript(StandinScript().Password("secret")));
    TFillingDialogDll dll("YZ1 形式書庫", platform::WideToSjis(StandinFolder(L"full")) + "\\YYZ32.DLL",
                          "Yz1");
    dll.LoadDLL();
    HARC arc = dll.OpenArchive(nullptr, dir_.SjisFile("p.yz1"), 0);
    ASSERT_NE(arc, nullptr);
    TArchiveMemberInfo info;
    EXPECT_EQ(dll.FindFirst(arc, "*", &info), 0);
    dll.CloseArchive(arc);
    EXPECT_EQ(dll.ZeroedOnEntry, (std::vector<bool>{true, true}));
    ASSERT_EQ(dll.Passed.size(), 2u);
    EXPECT_EQ(dll.Passed[0], std::string(255, 'x'));  // cut at the buffer's last byte
    EXPECT_EQ(dll.Passed[1], "secret");               // no leftover of the first answer
}

TEST(Yz1, FallsBackToYz1DllAndNamesBothWhenNeitherLoads) {
    TempDir only, empty, dir;
    ASSERT_TRUE(
        CopyFileW((StandinFolder(L"full") + L"\\YZ1.DLL").c_str(), only.File(L"YZ1.DLL").c_str(), FALSE));
    ASSERT_TRUE(WriteTaggedFixture(dir.File(L"a.yz1"), "YZ1", {{"x.txt", "x"}}));
    StandinSession session(dir);
    FreeYz1Dll();
    SetDllDirectoryW(only.Path().c_str());
    {
        TYZ1 yz1;
        ASSERT_NO_THROW(yz1.Create());
        auto* dll = dynamic_cast<TYZ1Dll*>(yz1.GetDll());
        ASSERT_NE(dll, nullptr);
        EXPECT_EQ(dll->DllFileName, "YZ1.DLL");
        EXPECT_EQ(dll->ApiPrefix, "Yz1");
        EXPECT_TRUE(IsYz1Archive(dir.SjisFile("a.yz1")));
        const auto opens = CallsOf(session.Calls(), "Yz1OpenArchive");
        ASSERT_EQ(opens.size(), 1u);
        EXPECT_EQ(opens[0].library, "YZ1.DLL");
    }
    FreeYz1Dll();
    SetDllDirectoryW(empty.Path().c_str());
    TYZ1 yz1;
    try {
        yz1.Create();
        ADD_FAILURE() << "no exception";
    } catch (const EArchiver& e) {
        EXPECT_EQ(e.Message(), "Yz1 形式書庫を扱うには YYZ32.DLL か YZ1.DLL が必要です。");
    }
    EXPECT_EQ(yz1.GetDll(), nullptr);  // nothing kept: the next use tries both files again
    EXPECT_FALSE(IsYz1Archive(dir.SjisFile("a.yz1")));
    SetDllDirectoryW(StandinFolder(L"full").c_str());
    EXPECT_TRUE(IsYz1Archive(dir.SjisFile("a.yz1")));
    FreeYz1Dll();
}

TEST_F(SfxTest, Yz1LayoutAndStubChoice) {
    ASSERT_TRUE(WriteFileBytes(dir_.File(L"a.yz1"), std::string(1000, 'A')));
    CreateDirectoryW(dir_.File(L"D").c_str(), nullptr);
    TYZ1 yz1;
    TArchiverOptions win32;
    win32.gw = 1;
    std::string cmdLine = "kept", output = "kept";
    // Only yzdec.exe on the path: it is the Win32 stub.
    Stub(L"yzdec.exe", std::string(3000, 'S'));
    EXPECT_EQ(yz1.MakeSfx(nullptr, dir_.SjisFile("a.yz1"), win32, dir_.SjisFile("D"), cmdLine, output), 0);
    const std::string sfx = ReadFileBytes(dir_.File(L"D\\a.exe")).value_or("");
    ASSERT_EQ(sfx.size(), 4004u);
    EXPECT_EQ(sfx.substr(0, 3000), std::string(3000, 'S'));
    EXPECT_EQ(sfx.substr(3000, 1000), std::string(1000, 'A'));
    EXPECT_EQ(sfx.substr(4000), std::string("\x00\x00\x03\xE8", 4));
    EXPECT_EQ(cmdLine, "kept");
    EXPECT_EQ(output, "kept");
    // yzw32cui.sfx comes first when both are there.
    Stub(L"yzw32cui.sfx", "W");
    EXPECT_EQ(yz1.MakeSfx(nullptr, dir_.SjisFile("a.yz1"), win32, "", cmdLine, output), 0);
    EXPECT_EQ(ReadFileBytes(dir_.File(L"a.exe")).value_or("").substr(0, 2), "WA");
    // gw unset is the DOS stub.
    Stub(L"yzdos16.sfx", "DOS");
    EXPECT_EQ(yz1.MakeSfx(nullptr, dir_.SjisFile("a.yz1"), TArchiverOptions(), "", cmdLine, output), 0);
    EXPECT_EQ(ReadFileBytes(dir_.File(L"a.exe")).value_or("").substr(0, 4), "DOSA");
}

TEST_F(SfxTest, Yz1Errors) {
    ASSERT_TRUE(WriteFileBytes(dir_.File(L"a.yz1"), "yz1"));
    TYZ1 yz1;
    TArchiverOptions win32;
    win32.gw = 1;
    std::string cmdLine, output;
    struct Row {
        const TArchiverOptions* options;
        const char* message;
    };
    const TArchiverOptions dos;
    for (const Row& row :
         {Row{&dos, "yz1 書庫からのDOS自己解凍書庫の作成には yzdos16.sfx が必要です。"},
          Row{&win32, "yz1 書庫からのWin32自己解凍書庫の作成には yzw32cui.sfx か yzdec.exe が必要です。"}}) {
        try {
            yz1.MakeSfx(nullptr, dir_.SjisFile("a.yz1"), *row.options, "", cmdLine, output);
            ADD_FAILURE() << "no exception";
        } catch (const EArchiver& e) {
            EXPECT_EQ(e.Message(), row.message);
        }
        EXPECT_FALSE(FileExists(dir_.File(L"a.exe")));
    }
    // An archive named after the stub would overwrite the stub itself: refused.
    Stub(L"yzdec.exe", "stub");
    ASSERT_TRUE(WriteFileBytes(stubs_.File(L"yzdec.yz1"), "yz1"));
    EXPECT_THROW(
        yz1.MakeSfx(nullptr, platform::WideToSjis(stubs_.File(L"yzdec.yz1")), win32, "", cmdLine, output),
        EArchiver);
    EXPECT_EQ(ReadFileBytes(stubs_.File(L"yzdec.exe")).value_or(""), "stub");
    // An archive of 4 GiB does not fit the trailer: an error, and no empty output left behind.
    {
        platform::UniqueFile big(CreateFileW(dir_.File(L"big.yz1").c_str(), GENERIC_WRITE, 0, nullptr,
                                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(big);
        LARGE_INTEGER size;
        size.QuadPart = 0x100000000LL;
        ASSERT_TRUE(SetFilePointerEx(big.Get(), size, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(big.Get()));
    }
    try {
        yz1.MakeSfx(nullptr, dir_.SjisFile("big.yz1"), win32, "", cmdLine, output);
        ADD_FAILURE() << "no exception";
    } catch (const EArchiver& e) {
        EXPECT_EQ(e.Message(), "yz1 書庫が 4GB 以上あるため自己解凍書庫を作成できません。");
    }
    EXPECT_FALSE(FileExists(dir_.File(L"big.exe")));
    DeleteFileW(dir_.File(L"big.yz1").c_str());
}
