// CAB command lines and the open-in-check-mode content check that CAB, ARJ, RAR, BGA and YZ1 share: it
// answers from the stand-ins' tagged containers and never closes a handle it did not get.
#include "archivers/cab32.h"

#include "archivers/arj32.h"
#include "archivers/bga32.h"
#include "archivers/rar32.h"
#include "archivers/yz132.h"
#include "format_cases.h"

using namespace formattest;
using namespace testsupport;

namespace {
std::string CurrentFolder() {
    wchar_t buf[MAX_PATH];
    DWORD n = GetCurrentDirectoryW(MAX_PATH, buf);
    return platform::WideToSjis(std::wstring_view(buf, n));
}
}  // namespace

TEST(Cab32, CommandLines) {
    const std::string full = "C:\\w\\a.cab";
    ExpectCommandLines<TCab32>({
        {"extract, all unset", Op::Extract, {}, "-x  \"C:\\w\\a.cab\" \"D\\\" ", false, {}, full},
        {"c = 1 adds -o",
         Op::Extract,
         [](TArchiverOptions& o) { o.c = 1; },
         "-x -o  \"C:\\w\\a.cab\" \"D\\\" ",
         false,
         {},
         full},
        {"c = 2 adds no -o",
         Op::Extract,
         [](TArchiverOptions& o) { o.c = 2; },
         "-x  \"C:\\w\\a.cab\" \"D\\\" ",
         false,
         {},
         full},
        {"all switches in order",
         Op::Extract,
         [](TArchiverOptions& o) {
             o.c = 1;
             o.n = 1;
             o.r = 1;
             o.w = "C:\\t";
             o.x = 0;
             o.ji = 1;
             o.UserOptions = "-z";
         },
         "-x -o -i -r \"-hC:\\t\\\" -j -q -z \"C:\\w\\a.cab\" \"D\\\" ",
         false,
         {},
         full},
        {"owner window gives -i", Op::Extract, {}, "-x -i  \"C:\\w\\a.cab\" \"D\\\" ", true, {}, full},
        {"relative name is expanded for extraction",
         Op::Extract,
         {},
         "-x  \"" + CurrentFolder() + "\\a.cab\" \"D\\\" ",
         false,
         {},
         "a.cab"},
        {"pack keeps the name and lists the files",
         Op::Pack,
         {},
         "-a  \"a.cab\" \"D\\\" \"f1\" \"f 2\" ",
         false,
         {std::string("f1"), std::string("f 2")},
         "a.cab"},
        {"self-extracting: folder, no files", Op::Sfx, {}, "-f  \"A\" \"D\\\" "},
        {"memory: no command word, the member", Op::Mem, {}, "  \"A\" \"m.txt\" "},
    });
    TCab32 cab;
    ExpectUnsupported(cab, Op::Delete, "この形式の書庫ではファイルの削除をサポートしておりません。");
    ExpectUnsupported(cab, Op::Update, "この形式の書庫では書庫の更新をサポートしておりません。");
}

TEST(Cab32, ExtractsThroughTheLibrary) {
    TCab32 cab;
    ExpectExtractsThroughLibrary(cab, "CAB", ".cab", TArchiverOptions());
}

TEST(ContentChecks, AnswerFromTheLibraryAndCloseOnlyWhatWasOpened) {
    struct Format {
        const char* tag;
        const char* library;
        const char* prefix;
        bool (*check)(const std::string&);
    };
    const Format formats[] = {
        {"CAB", "CAB32.DLL", "Cab", IsCabArchive},     {"ARJ", "UNARJ32J.DLL", "Unarj", IsArjArchive},
        {"RAR", "UNRAR32.DLL", "Unrar", IsRarArchive}, {"BGA", "BGA32.DLL", "Bga", IsBgaArchive},
        {"YZ1", "YYZ32.DLL", "Yz1", IsYz1Archive},
    };
    SetDllDirectoryW(StandinFolder(L"full").c_str());
    TempDir dir;
    StandinSession session(dir);
    ASSERT_TRUE(WriteFileBytes(dir.File(L"plain.txt"), "not an archive"));
    for (const Format& f : formats) {
        SCOPED_TRACE(f.tag);
        const std::string own = dir.SjisFile(std::string("own.") + f.tag);
        const std::string other = dir.SjisFile(std::string("other.") + f.tag);
        ASSERT_TRUE(WriteTaggedFixture(platform::SjisToWide(own), f.tag, {{"x.txt", "x"}}));
        ASSERT_TRUE(WriteTaggedFixture(platform::SjisToWide(other),
                                       f.tag == std::string("LHA") ? "CAB" : "LHA", {{"x.txt", "x"}}));
        struct Row {
            std::string file;
            bool expected;
        };
        for (const Row& row : {Row{own, true}, Row{other, false}, Row{dir.SjisFile("plain.txt"), false},
                               Row{dir.SjisFile("missing.bin"), false}}) {
            SCOPED_TRACE(row.file);
            session.ClearLog();
            EXPECT_EQ(f.check(row.file), row.expected);
            const auto calls = session.Calls();
            const auto opens = CallsOf(calls, std::string(f.prefix) + "OpenArchive");
            const auto closes = CallsOf(calls, std::string(f.prefix) + "CloseArchive");
            EXPECT_EQ(closes.size(), row.expected ? 1u : 0u);
            for (const auto& open : opens) {
                EXPECT_EQ(open.library, f.library);
                EXPECT_NE(open.args.find("mode=0x800002"), std::string::npos);
            }
        }
    }
    // A relative name reaches the library as a full path.
    const std::string cwd = CurrentFolder();
    SetCurrentDirectoryW(dir.Path().c_str());
    session.ClearLog();
    EXPECT_TRUE(IsRarArchive("own.RAR"));
    SetCurrentDirectoryW(platform::SjisToWide(cwd).c_str());
    const auto opens = CallsOf(session.Calls(), "UnrarOpenArchive");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_NE(opens[0].args.find("path=" + dir.SjisFile("own.RAR")), std::string::npos);
}

TEST(ContentChecks, MissingLibraryAnswersFalse) {
    TempDir empty;
    TempDir dir;
    ASSERT_TRUE(WriteTaggedFixture(dir.File(L"a.cab"), "CAB", {{"x.txt", "x"}}));
    FreeCabDll();
    SetDllDirectoryW(empty.Path().c_str());
    TCab32 cab;
    try {
        cab.Create();
        ADD_FAILURE() << "no exception";
    } catch (const ENoArchiverDLL& e) {
        EXPECT_EQ(e.Message(), "CAB 形式書庫 を扱うには CAB32.DLL が 必要です。");
    }
    // The binding stays stored; its operations try to load again and the check turns that into false.
    EXPECT_FALSE(IsCabArchive(dir.SjisFile("a.cab")));
    SetDllDirectoryW(StandinFolder(L"full").c_str());
    FreeCabDll();
    EXPECT_TRUE(IsCabArchive(dir.SjisFile("a.cab")));
}
