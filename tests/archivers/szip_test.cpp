// 7z: command lines (overwrite items decided on "x", "-ms=off" always, recursion, exclusions), extraction
// through the stand-in, and the self-extracting file with its stub from the registry's folder or the path.
#include "archivers/szip32.h"

#include "format_cases.h"

using namespace formattest;
using namespace testsupport;

TEST(SevenZip32, CommandLines) {
    auto set = [](int m, int jn, int c) {
        return [m, jn, c](TArchiverOptions& o) {
            o.m = static_cast<int8_t>(m);
            o.jn = static_cast<int8_t>(jn);
            o.c = static_cast<int8_t>(c);
        };
    };
    ExpectCommandLines<TSevenZip32>({
        {"extract, all unset", Op::Extract, {}, "x -ms=off \"-oD\\\"  \"A\" "},
        {"m = 2 and c = 1: -aou only", Op::Extract, set(2, -1, 1), "x -aou -ms=off \"-oD\\\"  \"A\" "},
        {"jn = 1 and c = 1: -aos only", Op::Extract, set(-1, 1, 1), "x -aos -ms=off \"-oD\\\"  \"A\" "},
        {"c = 1: -aoa", Op::Extract, set(-1, -1, 1), "x -aoa -ms=off \"-oD\\\"  \"A\" "},
        {"x = 0 starts with e and keeps the overwrite item", Op::Extract,
         [](TArchiverOptions& o) {
             o.x = 0;
             o.c = 1;
         },
         "e -aoa -ms=off \"-oD\\\"  \"A\" "},
        {"x = 1 keeps x", Op::Extract, [](TArchiverOptions& o) { o.x = 1; }, "x -ms=off \"-oD\\\"  \"A\" "},
        {"pack never has -ao",
         Op::Pack,
         set(2, 1, 1),
         "u -ms=off \"-oD\\\"  \"A\" \"f\" ",
         false,
         {std::string("f")}},
        {"delete: no folder", Op::Delete, {}, "d -ms=off  \"A\" \"f\" ", false, {std::string("f")}},
        {"r = 0 gives -r-", Op::Delete, [](TArchiverOptions& o) { o.r = 0; }, "d -ms=off -r-  \"A\" "},
        {"r = 2 gives -r", Op::Delete, [](TArchiverOptions& o) { o.r = 2; }, "d -ms=off -r  \"A\" "},
        {"r = 1 gives neither", Op::Delete, [](TArchiverOptions& o) { o.r = 1; }, "d -ms=off  \"A\" "},
        {"every item in order", Op::Extract,
         [](TArchiverOptions& o) {
             o.n = 1;
             o.w = "C:\\t";
             o.y = 1;
             o.jx.Add("*.bak");
             o.jx.Add("a b.tmp");
             o.UserOptions = "-p1";
             o.UserFileList = "z";
         },
         "x -ms=off -hide \"-wC:\\t\\\" -y \"-x!*.bak\" \"-x!a b.tmp\" \"-oD\\\" -p1 \"A\" z"},
    });
    TSevenZip32 sz;
    ExpectUnsupported(sz, Op::Update, "この形式の書庫では書庫の更新をサポートしておりません。");
    ExpectUnsupported(sz, Op::Mem, "この形式ではメモリ展開をサポートしておりません。");
}

TEST(SevenZip32, ExtractsThroughTheLibrary) {
    TSevenZip32 sz;
    ExpectExtractsThroughLibrary(sz, "7Z", ".7z", TArchiverOptions());
}

namespace {
// HKEY_LOCAL_MACHINE\SOFTWARE\7-ZIP, removed before and after each case.
class SevenZipSfxTest : public SfxTest {
protected:
    void SetUp() override {
        SfxTest::SetUp();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey);
    }
    void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey); }
    void SetInstallFolder(const std::wstring& folder) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    static constexpr const wchar_t* kKey = L"SOFTWARE\\7-ZIP";
    TArchiverOptions win32_ = [] {
        TArchiverOptions o;
        o.gw = 1;
        return o;
    }();
    std::string cmdLine_ = "kept", output_ = "kept";
};
}  // namespace

TEST_F(SevenZipSfxTest, StubFromTheRegistryFolderThenThePath) {
    TempDir install;
    ASSERT_TRUE(WriteFileBytes(install.File(L"7z.sfx"), "REG-STUB"));
    Stub(L"7z.sfx", "PATH-STUB");
    ASSERT_TRUE(WriteFileBytes(dir_.File(L"a.7z"), "7z-bytes"));
    TSevenZip32 sz;
    SetInstallFolder(install.Path());
    EXPECT_EQ(ReadRegistryString("SOFTWARE\\7-ZIP", "Path"), platform::WideToSjis(install.Path()));
    EXPECT_EQ(sz.MakeSfx(nullptr, dir_.SjisFile("a.7z"), win32_, "", cmdLine_, output_), 0);
    EXPECT_EQ(ReadFileBytes(dir_.File(L"a.exe")).value_or(""), "REG-STUB7z-bytes");
    EXPECT_EQ(cmdLine_, "kept");
    EXPECT_EQ(output_, "kept");
    // No registry value: the search path's stub, into the given folder.
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey);
    EXPECT_EQ(ReadRegistryString("SOFTWARE\\7-ZIP", "Path"), "");
    CreateDirectoryW(dir_.File(L"D").c_str(), nullptr);
    EXPECT_EQ(sz.MakeSfx(nullptr, dir_.SjisFile("a.7z"), win32_, dir_.SjisFile("D"), cmdLine_, output_), 0);
    EXPECT_EQ(ReadFileBytes(dir_.File(L"D\\a.exe")).value_or(""), "PATH-STUB7z-bytes");
}

TEST_F(SevenZipSfxTest, Errors) {
    ASSERT_TRUE(WriteFileBytes(dir_.File(L"a.7z"), "7z-bytes"));
    TSevenZip32 sz;
    // 16-bit is refused before any search, even with a stub there.
    Stub(L"7z.sfx", "stub");
    for (int8_t gw : {-1, 0}) {
        TArchiverOptions o;
        o.gw = gw;
        try {
            sz.MakeSfx(nullptr, dir_.SjisFile("a.7z"), o, "", cmdLine_, output_);
            ADD_FAILURE() << "no exception";
        } catch (const EArchiver& e) {
            EXPECT_EQ(e.Message(), "16bit SFX を作成することはできません。");
        }
    }
    EXPECT_FALSE(FileExists(dir_.File(L"a.exe")));
    // The output would be the archive itself: refused, and the archive is not truncated.
    ASSERT_TRUE(WriteFileBytes(dir_.File(L"b.exe"), "7z-in-exe"));
    EXPECT_THROW(sz.MakeSfx(nullptr, dir_.SjisFile("b.exe"), win32_, "", cmdLine_, output_), EArchiver);
    EXPECT_EQ(ReadFileBytes(dir_.File(L"b.exe")).value_or(""), "7z-in-exe");
    // A missing archive: no empty output is left behind.
    EXPECT_THROW(sz.MakeSfx(nullptr, dir_.SjisFile("none.7z"), win32_, "", cmdLine_, output_),
                 EArchiverFileError);
    EXPECT_FALSE(FileExists(dir_.File(L"none.exe")));
    // No stub anywhere.
    DeleteFileW(stubs_.File(L"7z.sfx").c_str());
    try {
        sz.MakeSfx(nullptr, dir_.SjisFile("a.7z"), win32_, "", cmdLine_, output_);
        ADD_FAILURE() << "no exception";
    } catch (const ESfxNoRequiredFile& e) {
        EXPECT_EQ(e.Message(), "7z 書庫からの自己解凍書庫の作成には '7z.sfx' ファイルが必要です。");
    }
}
