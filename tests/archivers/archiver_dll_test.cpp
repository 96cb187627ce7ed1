// Library bindings against the stand-in libraries: loading by file name, lazy entries, the exact messages of
// a missing library or entry, optional entries answering 0, and the member-record fallbacks.
#include "archivers/archiver_dll.h"

#include <gtest/gtest.h>

#include <cstring>

#include "archivers/archiver_error.h"
#include "archivers/zip_dll.h"
#include "platform/handle.h"
#include "platform/sjis.h"
#include "support/fixtures.h"
#include "support/standin_log.h"
#include "support/temp_dir.h"

using namespace testsupport;

namespace {

// Exposes which entries are resolved, to show that binding is lazy.
class TProbeDll : public TArchiverDll {
public:
    using TArchiverDll::TArchiverDll;
    bool IsResolved(TEntry e) const { return Resolved(e); }
};

std::string ScenarioLibrary(const wchar_t* scenario, const char* file) {
    return platform::WideToSjis(StandinFolder(scenario)) + "\\" + file;
}

}  // namespace

TEST(ArchiverDll, LoadsByNameAndBindsLazily) {
    TempDir dir;
    StandinSession session(dir);
    const std::string arc = dir.SjisFile("a.lzh");
    ASSERT_TRUE(WriteTaggedFixture(dir.File(L"a.lzh"), "LHA", {{"x.txt", "hello"}, {"d/y.txt", "world!"}}));

    TProbeDll dll("LHA 形式書庫", ScenarioLibrary(L"full", "UNLHA32.DLL"), "Unlha");
    EXPECT_EQ(dll.DllHandle(), nullptr);  // creating loads nothing
    dll.LoadDLL();
    ASSERT_NE(dll.DllHandle(), nullptr);
    EXPECT_FALSE(dll.IsResolved(TCustomArchiverDll::eOpenArchive));

    HARC arc1 = dll.OpenArchive(nullptr, arc, 0);
    ASSERT_NE(arc1, nullptr);
    EXPECT_TRUE(dll.IsResolved(TCustomArchiverDll::eOpenArchive));
    EXPECT_FALSE(dll.IsResolved(TCustomArchiverDll::eFindFirst));
    TArchiveMemberInfo info;
    std::memset(&info, 0x7E, sizeof(info));
    ASSERT_EQ(dll.FindFirst(arc1, "*", &info), 0);
    EXPECT_STREQ(info.FileName, "x.txt");
    EXPECT_EQ(info.OriginalSize64, 5u);
    EXPECT_EQ(info.Reserved[0], 0);  // zero-filled before the library fills it
    EXPECT_NE(info.WriteTime.dwHighDateTime, 0u);
    ASSERT_EQ(dll.FindNext(arc1, &info), 0);
    EXPECT_STREQ(info.FileName, "d/y.txt");
    EXPECT_NE(dll.FindNext(arc1, &info), 0);
    dll.CloseArchive(arc1);

    auto calls = session.Calls();
    ASSERT_FALSE(CallsOf(calls, "UnlhaOpenArchive").empty());
    EXPECT_EQ(CallsOf(calls, "UnlhaFindNext").size(), 2u);
}

TEST(ArchiverDll, MissingLibraryAndEntryMessages) {
    TArchiverDll missing("LHA 形式書庫", "NOSUCH32.DLL", "Unlha");
    try {
        missing.OpenArchive(nullptr, "a.lzh", 0);  // an operation loads first: never a lookup in module 0
        FAIL() << "no exception";
    } catch (const ENoArchiverDLL& e) {
        EXPECT_EQ(e.Message(), "LHA 形式書庫 を扱うには NOSUCH32.DLL が 必要です。");
    }

    const std::string path = ScenarioLibrary(L"noreq", "UNLHA32.DLL");
    TArchiverDll noreq("LHA 形式書庫", path, "Unlha");
    noreq.LoadDLL();
    HARC arc = noreq.OpenArchive(nullptr, "Z:\\nothing.lzh", 0);
    TArchiveMemberInfo info{};
    try {
        noreq.FindNext(arc, &info);
        FAIL() << "no exception";
    } catch (const EEntryNotFound& e) {
        char full[MAX_PATH];
        GetModuleFileNameA(noreq.DllHandle(), full, MAX_PATH);
        EXPECT_EQ(e.Message(), std::string(full) + " に UnlhaFindNext のエントリが見つかりません。");
    }
    // Still missing the next time: it is looked up again, and raises again.
    EXPECT_THROW(noreq.FindNext(arc, &info), EEntryNotFound);
    if (arc) noreq.CloseArchive(arc);
}

TEST(ArchiverDll, OptionalEntriesAnswerZeroAndFallbacksApply) {
    TempDir dir;
    StandinSession session(dir);
    StandinScript script;
    script.Member("old.txt", 0x123456789ull, "2021-03-04 05:06:08", 77);
    ASSERT_TRUE(session.SetScript(script));

    TArchiverDll dll("LHA 形式書庫", ScenarioLibrary(L"noopt", "UNLHA32.DLL"), "Unlha");
    EXPECT_EQ(dll.SetOwnerWindowEx(nullptr, nullptr), 0);
    EXPECT_EQ(dll.KillOwnerWindowEx(nullptr), 0);
    FILETIME ft{};
    ULARGE_INTEGER size{};
    EXPECT_EQ(dll.GetWriteTimeEx(nullptr, &ft), 0);
    EXPECT_EQ(dll.GetOriginalSizeEx(nullptr, &size), 0);
    EXPECT_EQ(dll.SetEnumMembersProc64(nullptr, kEnumMemberInfoSize), 0);
    EXPECT_EQ(dll.ClearEnumMembersProc64(), 0);

    HARC arc = dll.OpenArchive(nullptr, dir.SjisFile("scripted.lzh"), 0);
    ASSERT_NE(arc, nullptr);
    TArchiveMemberInfo info{};
    ASSERT_EQ(dll.FindFirst(arc, "*", &info), 0);
    // No Ex entries: the 64-bit sizes are the 32-bit fields, the times come from the DOS date (local time).
    EXPECT_EQ(info.OriginalSize64, info.OriginalSize);
    EXPECT_EQ(info.CompressedSize64, 77u);
    FILETIME expected{};
    ASSERT_TRUE(DosDateTimeToFileTime(info.DosDate, info.DosTime, &ft));
    LocalFileTimeToFileTime(&ft, &expected);
    EXPECT_EQ(info.WriteTime.dwLowDateTime, expected.dwLowDateTime);
    EXPECT_EQ(info.AccessTime.dwHighDateTime, expected.dwHighDateTime);
    EXPECT_EQ(info.CreateTime.dwLowDateTime, expected.dwLowDateTime);
    dll.CloseArchive(arc);

    // With the Ex entries the library's own 64-bit values and UTC times stand.
    TArchiverDll full("LHA 形式書庫", ScenarioLibrary(L"full", "UNLHA32.DLL"), "Unlha");
    arc = full.OpenArchive(nullptr, dir.SjisFile("scripted.lzh"), 0);
    ASSERT_EQ(full.FindFirst(arc, "*", &info), 0);
    EXPECT_EQ(info.OriginalSize64, 0x123456789ull);
    SYSTEMTIME st;
    FileTimeToSystemTime(&info.WriteTime, &st);
    EXPECT_EQ(st.wYear, 2021);
    EXPECT_EQ(st.wHour, 5);
    full.CloseArchive(arc);
}

TEST(ArchiverDll, SfxMessageAndCommand2) {
    EXPECT_EQ(ESfxNoRequiredFile("zip", "", "sfx32gui.dat").Message(),
              "zip 書庫からの自己解凍書庫の作成には 'sfx32gui.dat' ファイルが必要です。");
    EXPECT_EQ(ESfxNoRequiredFile("zip", "Win32", "sfx32gui.dat").Message(),
              "zip 書庫からのWin32自己解凍書庫の作成には 'sfx32gui.dat' ファイルが必要です。");

    TempDir dir;
    StandinSession session(dir);
    TArchiverDll dll("LHA 形式書庫", ScenarioLibrary(L"full", "UNLHA32.DLL"), "Unlha");
    // An output size of 0 passes a null buffer; Command2 is the same call as Command.
    dll.Command(nullptr, "", "l \"Z:\\none.lzh\"", nullptr, 0);
    dll.Command2(nullptr, "", "l \"Z:\\none.lzh\"", nullptr, 0);
    auto calls = CallsOf(session.Calls(), "Unlha");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].commandLine, calls[1].commandLine);
    EXPECT_EQ(calls[0].args, calls[1].args);
}

namespace {

std::wstring LoadedFrom(HMODULE module) {
    wchar_t path[MAX_PATH * 2] = {};
    GetModuleFileNameW(module, path, MAX_PATH * 2);
    return path;
}

bool SamePath(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

}  // namespace

// A verb start runs in the archive's folder: a library planted there must never load. The program's own
// folder comes first, then the folder the process named, then the system folders.
TEST(ArchiverDll, LoadsFromTheProgramFolderFirstAndNeverFromTheCurrentOne) {
    const std::wstring kName = L"PLANTED32.DLL";
    TempDir current;
    ASSERT_TRUE(
        CopyFileW((StandinFolder(L"full") + L"\\UNLHA32.DLL").c_str(), current.File(kName).c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((StandinFolder(L"full") + L"\\UNZIP32.DLL").c_str(),
                          current.File(L"UNZIP32.DLL").c_str(), FALSE));
    wchar_t before[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, before);
    ASSERT_TRUE(SetCurrentDirectoryW(current.Path().c_str()));
    platform::ScopeExit restore([&] {
        SetCurrentDirectoryW(before);
        SetDllDirectoryW(nullptr);
    });
    SetDllDirectoryW(nullptr);  // the system's own order, which takes the current folder
    HMODULE bare = LoadLibraryW(kName.c_str());
    ASSERT_NE(bare, nullptr) << "the plant would load by a bare name";
    FreeLibrary(bare);

    TArchiverDll lha("LHA 形式書庫", platform::WideToSjis(kName), "Unlha");
    EXPECT_THROW(lha.LoadDLL(), ENoArchiverDLL);
    TZipDll zip;
    zip.LoadDLL();
    EXPECT_EQ(zip.Unzip32Handle(), nullptr);

    TempDir named;
    ASSERT_TRUE(
        CopyFileW((StandinFolder(L"noopt") + L"\\UNLHA32.DLL").c_str(), named.File(kName).c_str(), FALSE));
    SetDllDirectoryW(named.Path().c_str());
    lha.LoadDLL();
    EXPECT_TRUE(SamePath(LoadedFrom(lha.DllHandle()), named.File(kName)));
    lha.FreeDLL();

    std::wstring program = LoadedFrom(nullptr);
    program.resize(program.find_last_of(L'\\'));
    const std::wstring besideProgram = program + L"\\" + kName;
    ASSERT_TRUE(CopyFileW((StandinFolder(L"full") + L"\\UNLHA32.DLL").c_str(), besideProgram.c_str(), FALSE));
    platform::ScopeExit remove([&] { DeleteFileW(besideProgram.c_str()); });
    lha.LoadDLL();
    EXPECT_TRUE(SamePath(LoadedFrom(lha.DllHandle()), besideProgram));
    lha.FreeDLL();
}
