// Tar family: command lines of the three classes, the archive-type map, real tar and .tgz files (made by
// Python) found by content under a setup.exe name and extracted byte for byte, and the self-extracting file.
#include "archivers/tar32.h"

#include "archivers/archive_file.h"
#include "archivers/detect.h"
#include "format_cases.h"

using namespace formattest;
using namespace testsupport;

TEST(Tar32, CommandLines) {
    ExpectCommandLines<TTar32>({
        {"extract, all unset", Op::Extract, {}, "-x  \"A\" \"D\\\" "},
        {"a = 0 gives -I", Op::Extract, [](TArchiverOptions& o) { o.a = 0; }, "-x -I  \"A\" \"D\\\" "},
        {"a = 1 gives -AH", Op::Extract, [](TArchiverOptions& o) { o.a = 1; }, "-x -AH  \"A\" \"D\\\" "},
        {"n, o, p and user options in order", Op::Extract,
         [](TArchiverOptions& o) {
             o.n = 1;
             o.o = 1;
             o.p = 0;
             o.jm = 9;
             o.UserOptions = "--x";
         },
         "-x --display-dialog=0 -g --check-all-path=0 --x \"A\" \"D\\\" "},
        {"owner window: no --display-dialog=0", Op::Extract, [](TArchiverOptions& o) { o.n = 1; },
         "-x  \"A\" \"D\\\" ", true},
        {"pack word c, a plain tar never gets -z",
         Op::Pack,
         [](TArchiverOptions& o) { o.jm = 9; },
         "c  \"A\" \"D\\\" \"f\" ",
         false,
         {std::string("f")}},
        {"memory: no word, no folder", Op::Mem, {}, "  \"A\" \"m.txt\" "},
        {"an empty archive name is left out", Op::Extract, {}, "-x  \"D\\\" ", false, {}, ""},
    });
    ExpectCommandLines<TTgz32>({
        {"jm = 9 gives -z9", Op::Pack, [](TArchiverOptions& o) { o.jm = 9; }, "c -z9  \"A\" \"D\\\" "},
        {"jm = 0 gives -z", Op::Pack, [](TArchiverOptions& o) { o.jm = 0; }, "c -z  \"A\" \"D\\\" "},
        {"jm unset gives -z", Op::Extract, {}, "-x -z  \"A\" \"D\\\" "},
    });
    ExpectCommandLines<TBZ232>({
        {"jm = 5 gives -B5", Op::Pack, [](TArchiverOptions& o) { o.jm = 5; }, "c -B5  \"A\" \"D\\\" "},
        {"jm unset gives -B", Op::Pack, {}, "c -B  \"A\" \"D\\\" "},
    });
    TTar32 tar;
    ExpectUnsupported(tar, Op::Delete, "この形式の書庫ではファイルの削除をサポートしておりません。");
    ExpectUnsupported(tar, Op::Update, "この形式の書庫では書庫の更新をサポートしておりません。");
    ExpectUnsupported(tar, Op::Sfx, "この形式では自己解凍書庫の作成をサポートしておりません。");
}

TEST(Tar32, ArchiveTypeMap) {
    SetDllDirectoryW(StandinFolder(L"full").c_str());
    TempDir dir;
    StandinSession session(dir);
    const TArchiverType expected[] = {atNone, atTar, atTgz, atTgz, atTgz, atTgz, atBZ2, atBZ2, atNone};
    for (int type = 0; type <= 8; ++type) {
        SCOPED_TRACE(type);
        ASSERT_TRUE(session.SetScript(StandinScript().ArchiveType(type)));
        session.ClearLog();
        EXPECT_EQ(GetTarArchiveType("rel\\x.tar"), expected[type]);
        const auto calls = CallsOf(session.Calls(), "TarGetArchiveType");
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].args, "path=rel\\x.tar");  // passed as given, not expanded
    }
}

TEST(Tar32, RealTarAndTgzNamedSetupExeAreFoundAndExtracted) {
    SetDllDirectoryW(StandinFolder(L"full").c_str());
    std::string stored;
    for (int i = 0; i < 4; ++i)
        for (int b = 0; b < 256; ++b) stored.push_back(static_cast<char>(b));
    std::string deflated;
    for (int i = 0; i < 200; ++i) deflated += "deflated text ";
    struct Row {
        const wchar_t* fixture;
        TArchiverType type;
    };
    for (const Row& row : {Row{L"python.tar", atTar}, Row{L"python.tgz", atTgz}}) {
        SCOPED_TRACE(platform::WideToSjis(row.fixture));
        TempDir dir;
        ASSERT_TRUE(CopyFileW(FixtureFile(row.fixture).c_str(), dir.File(L"setup.exe").c_str(), FALSE));
        const std::string setup = dir.SjisFile("setup.exe");
        EXPECT_EQ(DetectArchiverType(setup, true), row.type);
        TArchiveFile af;
        af.SetFileName(setup);
        ASSERT_EQ(af.ArchiverType(), row.type);
        EXPECT_EQ(af.Extract(nullptr, nullptr, dir.SjisFile("out"), "", {}), 0);
        EXPECT_EQ(ReadFileBytes(dir.File(L"out\\stored.bin")).value_or("<missing>"), stored);
        EXPECT_EQ(ReadFileBytes(dir.File(L"out\\docs\\deflated.txt")).value_or("<missing>"), deflated);
    }
}

TEST(Tar32, TgzPackThroughTheLibraryWritesAGzipTar) {
    SetDllDirectoryW(StandinFolder(L"full").c_str());
    TempDir dir;
    StandinSession session(dir);
    ASSERT_TRUE(WriteFileBytes(dir.File(L"f.txt"), "packed"));
    TTgz32 tgz;
    tgz.Create();
    TArchiverOptions o;
    o.jm = 9;
    std::string cmdLine, output;
    EXPECT_EQ(tgz.Pack(nullptr, dir.SjisFile("p.tgz"), o, dir.SjisPath(), {std::string("f.txt")}, false,
                       cmdLine, output),
              0);
    EXPECT_EQ(cmdLine, "c -z9  \"" + dir.SjisFile("p.tgz") + "\" \"" + dir.SjisPath() + "\\\" \"f.txt\" ");
    const auto calls = CallsOf(session.Calls(), "Tar");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].commandLine, cmdLine);
    const auto members = ReadTarMembers(dir.File(L"p.tgz"));
    ASSERT_EQ(members.size(), 1u);
    EXPECT_EQ(members[0].data, "packed");
}

TEST_F(SfxTest, TarStubThenArchive) {
    Stub(L"kmtarsef.exe", "MZ-tar-stub");
    ASSERT_TRUE(WriteFileBytes(dir_.File(L"x.tgz"), "tgz-bytes"));
    CreateDirectoryW(dir_.File(L"D").c_str(), nullptr);
    TTgz32 tgz;
    std::string cmdLine = "kept", output = "kept";
    EXPECT_EQ(
        tgz.MakeSfx(nullptr, dir_.SjisFile("x.tgz"), TArchiverOptions(), dir_.SjisFile("D"), cmdLine, output),
        0);
    EXPECT_EQ(ReadFileBytes(dir_.File(L"D\\x.EXE")).value_or("<missing>"), "MZ-tar-stubtgz-bytes");
    EXPECT_EQ(cmdLine, "kept");
    EXPECT_EQ(output, "kept");
    // Without a folder the file lands beside the archive.
    TTar32 tar;
    ASSERT_TRUE(WriteFileBytes(dir_.File(L"y.tar"), "tar-bytes"));
    EXPECT_EQ(tar.MakeSfx(nullptr, dir_.SjisFile("y.tar"), TArchiverOptions(), "", cmdLine, output), 0);
    EXPECT_EQ(ReadFileBytes(dir_.File(L"y.EXE")).value_or("<missing>"), "MZ-tar-stubtar-bytes");
}

TEST_F(SfxTest, TarErrors) {
    ASSERT_TRUE(WriteFileBytes(dir_.File(L"x.bz2"), "bz"));
    std::string cmdLine, output;
    // BZ2 fails before any search or write, even with the stub present.
    Stub(L"kmtarsef.exe", "stub");
    TBZ232 bz2;
    try {
        bz2.MakeSfx(nullptr, dir_.SjisFile("x.bz2"), TArchiverOptions(), "", cmdLine, output);
        ADD_FAILURE() << "no exception";
    } catch (const EArchiver& e) {
        EXPECT_EQ(e.Message(), "BZ2 形式書庫は自己解凍形式にできません。");
    }
    EXPECT_FALSE(FileExists(dir_.File(L"x.EXE")));
    // An archive named setup.exe would become its own output: refused, the archive stays whole.
    ASSERT_TRUE(WriteFileBytes(dir_.File(L"setup.exe"), "tar-bytes"));
    TTar32 tar;
    EXPECT_THROW(tar.MakeSfx(nullptr, dir_.SjisFile("setup.exe"), TArchiverOptions(), "", cmdLine, output),
                 EArchiver);
    EXPECT_EQ(ReadFileBytes(dir_.File(L"setup.exe")).value_or(""), "tar-bytes");
    // A missing archive leaves no output behind.
    EXPECT_THROW(tar.MakeSfx(nullptr, dir_.SjisFile("none.tar"), TArchiverOptions(), "", cmdLine, output),
                 EArchiverFileError);
    EXPECT_FALSE(FileExists(dir_.File(L"none.EXE")));
    // No stub.
    DeleteFileW(stubs_.File(L"kmtarsef.exe").c_str());
    try {
        tar.MakeSfx(nullptr, dir_.SjisFile("x.tar"), TArchiverOptions(), "", cmdLine, output);
        ADD_FAILURE() << "no exception";
    } catch (const ESfxNoRequiredFile& e) {
        EXPECT_EQ(e.Message(),
                  "tar/tgz 書庫からの自己解凍書庫の作成には 'kmtarsef.exe' ファイルが必要です。");
    }
}
