// ZIP binding and archiver: member-name escaping, the command lines per library, which library file serves
// each call in every library combination, extraction of a Python-made ZIP, packing that never loses the old
// archive, the self-extracting build and the two-stage content check.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <map>

#include "archivers/archiver_error.h"
#include "archivers/zip32.h"
#include "platform/handle.h"
#include "platform/sjis.h"
#include "support/fixtures.h"
#include "support/standin_log.h"
#include "support/temp_dir.h"

using namespace testsupport;

namespace {

// The binding is process-wide: every test starts from a freshly loaded one over its own library folder.
class ZipTest : public ::testing::Test {
protected:
    void TearDown() override {
        FreeZipDll();
        SetDllDirectoryW(StandinFolder(L"full").c_str());
    }
    TZip32& Use(const std::wstring& folder) {
        FreeZipDll();
        SetDllDirectoryW(folder.c_str());
        zip_ = std::make_unique<TZip32>();
        zip_->Create();
        return *zip_;
    }
    TZip32& UseScenario(const wchar_t* scenario) { return Use(StandinFolder(scenario)); }

    std::string Sjis(const wchar_t* name) const { return dir_.SjisFile(platform::WideToSjis(name)); }
    std::vector<std::string> Names(const std::wstring& zipPath) const {
        std::vector<std::string> names;
        for (const auto& m : ReadZipMembers(zipPath)) names.push_back(m.name);
        return names;
    }
    // Files of the temp folder other than the session's log and script.
    std::vector<std::wstring> FolderFiles() const {
        std::vector<std::wstring> files;
        WIN32_FIND_DATAW fd{};
        platform::UniqueFind find(FindFirstFileW(dir_.File(L"*").c_str(), &fd));
        if (!find) return files;
        do {
            std::wstring n = fd.cFileName;
            if (n != L"." && n != L".." && !(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                n.rfind(L"standin-", 0) != 0)
                files.push_back(n);
        } while (FindNextFileW(find.Get(), &fd));
        return files;
    }

    TempDir dir_;
    StandinSession session_{dir_};
    std::unique_ptr<TZip32> zip_;
    std::string output_ = std::string(4096, '\0');
};

// Sets the process's current folder for the object's life.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::wstring& folder) {
        GetCurrentDirectoryW(MAX_PATH, old_);
        SetCurrentDirectoryW(folder.c_str());
    }
    ~CurrentFolder() { SetCurrentDirectoryW(old_); }

private:
    wchar_t old_[MAX_PATH] = {};
};

std::string FromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// Name and data of every file member as Python's zipfile reads them: another reader than the stand-ins'.
std::map<std::string, std::string> PythonMembers(const TempDir& dir, const std::wstring& zipPath) {
    auto listing =
        RunHostPython(dir,
                      "import zipfile\n"
                      "with zipfile.ZipFile(sys.argv[2]) as z, open(sys.argv[1], 'w') as out:\n"
                      "    for i in z.infolist():\n"
                      "        if not i.is_dir():\n"
                      "            n = i.filename.encode('utf-8' if i.flag_bits & 0x800 else 'cp437')\n"
                      "            out.write(n.hex() + ' ' + z.read(i).hex() + '\\n')\n",
                      {zipPath});
    std::map<std::string, std::string> members;
    if (!listing) return members;
    for (size_t p = 0, e; (e = listing->find('\n', p)) != std::string::npos; p = e + 1) {
        const std::string line = listing->substr(p, e - p);
        const size_t blank = line.find(' ');
        members[FromHex(line.substr(0, blank))] = FromHex(line.substr(blank + 1));
    }
    return members;
}

std::wstring Backslashed(const std::string& name) {
    std::string path = name;
    for (size_t i = 0; i < path.size(); i += platform::SjisCharLength(path, i))
        if (path[i] == '/') path[i] = '\\';
    return platform::SjisToWide(path);
}

}  // namespace

TEST(ZipName, Escape) {
    const std::pair<std::string, std::string> cases[] = {
        {"-x[1]\\a.txt", "[-]x[[]1]/a.txt"},
        {"[a]b", "[[]a]b"},  // no "[-]" unless the first character is "-"
        {"a-b\\c", "a-b/c"},
        {"--a", "[-]-a"},
        {"-", "[-]"},
        {"", ""},
        {"\x95\x5C\\x.txt", "\x95\x5C/x.txt"},  // 表: trail byte 0x5C is not a separator
        {"\x83\x5B[", "\x83\x5B[[]"},           // ゼ: trail byte 0x5B is not a bracket
        {"plain.txt", "plain.txt"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(EscapeZipName(in), out) << in;
}

TEST_F(ZipTest, CommandLinesWithEveryLibrary) {
    enum class Op { Extract, Pack, Delete, Update, Mem };
    struct Case {
        const char* what;
        Op op;
        std::function<void(TArchiverOptions&)> set;
        bool ownerWindow;
        TFileItems files;
        const char* expected;
    };
    const Case cases[] = {
        {"extract defaults", Op::Extract, [](TArchiverOptions&) {}, false, {}, "-x  \"A\" \"D\\\" "},
        {"extract switches, escaped names", Op::Extract,
         [](TArchiverOptions& o) { o.c = 1; o.n = 1; o.x = 0; o.UserOptions = "-X"; }, false,
         {std::string("-m[1]\\a")}, "-x -o --i -j -X \"A\" \"D\\\" \"[-]m[[]1]/a\" "},
        {"owner window gives --i", Op::Extract, [](TArchiverOptions& o) { o.n = 0; }, true, {},
         "-x --i  \"A\" \"D\\\" "},
        {"c other than 1 and x other than 0 add nothing", Op::Extract,
         [](TArchiverOptions& o) { o.c = 2; o.x = 1; }, false, {}, "-x  \"A\" \"D\\\" "},
        {"a unset: -D only", Op::Pack, [](TArchiverOptions&) {}, false, {std::string("f\\g")},
         " -D  \"A\" \"B\\\" \"f/g\" "},
        {"a = 1: -S and -D", Op::Pack, [](TArchiverOptions& o) { o.a = 1; }, false, {}, " -S -D  \"A\" \"B\\\" "},
        {"a = 2: -S alone", Op::Pack, [](TArchiverOptions& o) { o.a = 2; }, false, {}, " -S  \"A\" \"B\\\" "},
        {"every ZIP32J switch in order", Op::Pack,
         [](TArchiverOptions& o) {
             o.a = 2; o.l = 1; o.n = 1; o.r = 1; o.u = 1; o.x = 0; o.jc = 1; o.ji = 1; o.jm = 9; o.gd = 1;
             o.UserFileList = "-z";
         },
         false, {}, " -S -v -q -r -o -u -j -FF -k -9 -J  \"A\" \"B\\\" -z"},
        // "-o" shares the condition of "-q", n > 0, and no other switch's.
        {"n alone: -q and -o", Op::Pack, [](TArchiverOptions& o) { o.n = 1; }, false, {},
         " -D -q -o  \"A\" \"B\\\" "},
        {"n = 0 and every other switch: no -q, no -o", Op::Pack,
         [](TArchiverOptions& o) {
             o.a = 2; o.c = 1; o.l = 1; o.n = 0; o.r = 1; o.u = 1; o.x = 0; o.jc = 1; o.ji = 1; o.gd = 1;
         },
         false, {}, " -S -v -r -u -j -FF -k -J  \"A\" \"B\\\" "},
        {"jm = 0", Op::Pack, [](TArchiverOptions& o) { o.a = 2; o.jm = 0; }, false, {}, " -S -0  \"A\" \"B\\\" "},
        {"delete has no folder", Op::Delete, [](TArchiverOptions&) {}, false, {std::string("[x]")},
         "-d -D  \"A\" \"[[]x]\" "},
        {"update", Op::Update, [](TArchiverOptions&) {}, false, {}, "-f -D  \"A\" \"B\\\" "},
        {"memory line: no word, no folder", Op::Mem, [](TArchiverOptions&) {}, false, {}, "  \"A\" \"m/x.txt\" "},
    };
    TZip32& zip = UseScenario(L"full");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TArchiverOptions o;
        c.set(o);
        zip.OwnerWindow = c.ownerWindow ? reinterpret_cast<HWND>(1) : nullptr;
        std::string cmd;
        switch (c.op) {
            case Op::Extract: zip.BuildExtractCmd(nullptr, "A", o, "D", c.files, false, cmd); break;
            case Op::Pack: zip.BuildPackCmd(nullptr, "A", o, "B", c.files, false, cmd); break;
            case Op::Delete: zip.BuildDeleteCmd(nullptr, "A", o, "B", c.files, false, cmd); break;
            case Op::Update: zip.BuildUpdateCmd(nullptr, "A", o, "B", c.files, false, cmd); break;
            case Op::Mem: zip.BuildExtractMemCmd(nullptr, "A", o, "m\\x.txt", cmd); break;
        }
        EXPECT_EQ(cmd, c.expected);
    }
    zip.OwnerWindow = nullptr;

    // Names written into a response file are escaped too.
    TArchiverOptions o;
    o.ResFileName = Sjis(L"list.txt");
    std::string cmd;
    zip.BuildExtractCmd(nullptr, "A", o, "", {std::string("a\\b"), std::string("[c")}, true, cmd);
    EXPECT_EQ(cmd, "-x  \"A\" \"@" + o.ResFileName + "\" ");
    EXPECT_EQ(ReadFileBytes(dir_.File(L"list.txt")).value_or(""), "\"a/b\"\r\n\"[[]c\"\r\n");

    // Without ZIP32J the pack line is LMZIP32's: "-ru", no folder, names as given.
    TZip32& lmzip = UseScenario(L"zip-lmzip");
    o = TArchiverOptions();
    o.c = 1;
    o.x = 0;
    o.a = 1;
    lmzip.BuildPackCmd(nullptr, "A", o, "B", {std::string("a\\[b]")}, false, cmd);
    EXPECT_EQ(cmd, "-ru -o -j  \"A\" \"a\\[b]\" ");
}

TEST_F(ZipTest, EachCallGoesToTheLibraryOfItsOrder) {
    struct Scenario {
        const wchar_t* folder;
        std::map<std::string, std::string> served;  // logged entry name -> library file
        bool progress;                              // UNZIP32 present: owner-window entries resolve
    };
    const Scenario scenarios[] = {
        {L"zip-lmzip",
         {{"Unzip", "LMZIP32.DLL"},
          {"Zip", "LMZIP32.DLL"},
          {"UnzipOpenArchive", "LMZIP32.DLL"},
          {"UnzipFindFirst", "LMZIP32.DLL"},
          {"UnzipFindNext", "LMZIP32.DLL"},
          {"UnzipCloseArchive", "LMZIP32.DLL"},
          {"UnzipGetOriginalSize", "LMZIP32.DLL"},
          {"UnzipGetBackGroundMode", "LMZIP32.DLL"},
          {"UnzipCheckArchive", "LMZIP32.DLL"},
          {"UnzipGetWriteTimeEx", "LMZIP32.DLL"},
          {"UnzipGetCreateTimeEx", "LMZIP32.DLL"}},
         false},
        {L"zip-unzip-lmzip",
         {{"UnZip", "UNZIP32.DLL"},
          {"Zip", "LMZIP32.DLL"},
          {"UnzipOpenArchive", "LMZIP32.DLL"},
          {"UnzipFindFirst", "LMZIP32.DLL"},
          {"UnzipFindNext", "LMZIP32.DLL"},
          {"UnzipCloseArchive", "LMZIP32.DLL"},
          {"UnzipGetOriginalSize", "LMZIP32.DLL"},
          {"UnzipGetBackGroundMode", "LMZIP32.DLL"},
          {"UnZipCheckArchive", "UNZIP32.DLL"},
          {"UnzipGetWriteTimeEx", "LMZIP32.DLL"},
          {"UnZipSetOwnerWindowEx", "UNZIP32.DLL"}},
         true},
        // ZIP32J carries the "UnZip" member entries; the write time is asked as "Unzip..." and falls back.
        {L"zip-unzip-zip32j",
         {{"UnZip", "UNZIP32.DLL"},
          {"Zip", "ZIP32J.DLL"},
          {"UnZipOpenArchive", "ZIP32J.DLL"},
          {"UnZipFindFirst", "ZIP32J.DLL"},
          {"UnZipFindNext", "ZIP32J.DLL"},
          {"UnZipCloseArchive", "ZIP32J.DLL"},
          {"UnZipGetOriginalSize", "ZIP32J.DLL"},
          {"UnZipGetBackGroundMode", "ZIP32J.DLL"},
          {"UnZipCheckArchive", "UNZIP32.DLL"},
          {"UnZipGetCreateTimeEx", "ZIP32J.DLL"},
          {"UnZipSetOwnerWindowEx", "UNZIP32.DLL"}},
         true},
    };
    const std::string python = platform::WideToSjis(FixtureFile(L"python.zip"));
    ASSERT_TRUE(WriteFileMakingFolders(dir_.File(L"in\\a.txt"), "a"));
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(platform::WideToSjis(s.folder));
        TZip32& zip = UseScenario(s.folder);
        CurrentFolder cwd(dir_.File(L"in"));  // LMZIP32's pack line names no folder
        session_.ClearLog();
        HARC arc = zip.OpenArchive(nullptr, python, 0);
        ASSERT_NE(arc, nullptr);
        TArchiveMemberInfo info;
        std::vector<std::string> names;
        for (int r = zip.FindFirst(arc, &info, "*"); r == 0; r = zip.FindNext(arc, &info)) {
            names.push_back(info.FileName);
            EXPECT_EQ(info.OriginalSize64, info.OriginalSize);
            EXPECT_NE(info.WriteTime.dwHighDateTime, 0u);  // Ex entry or DOS-time fallback
        }
        EXPECT_EQ(names.size(), 4u);
        EXPECT_EQ(zip.GetArcOriginalSize(arc), 2800u + 1024u + 12u);  // the fixture's three files
        zip.GetBackGroundMode();
        zip.CloseArchive(arc);
        EXPECT_NE(zip.CheckArchive(python, kCheckModeZip, 0), 0);
        if (s.progress) {
            EXPECT_TRUE(zip.SetOwnerWindow(nullptr, nullptr));
            EXPECT_TRUE(zip.KillOwnerWindow(nullptr));
        } else {
            try {
                zip.SetOwnerWindow(nullptr, nullptr);
                ADD_FAILURE() << "no exception";
            } catch (const EEntryNotFound& e) {
                EXPECT_NE(e.Message().find(" に UnZipSetOwnerWindowEx のエントリが見つかりません。"),
                          std::string::npos);
            }
        }
        std::string cmdLine;
        TArchiverOptions o;
        o.c = 1;
        EXPECT_EQ(zip.Extract(nullptr, python, o, Sjis(L"out"), "", {}, false, cmdLine, output_), 0);
        EXPECT_EQ(zip.Pack(nullptr, Sjis(L"new.zip"), o, Sjis(L"in"), {std::string("a.txt")}, false, cmdLine,
                           output_),
                  0);

        const auto calls = session_.Calls();
        for (const auto& [entry, library] : s.served) {
            SCOPED_TRACE(entry);
            const auto of = CallsOf(calls, entry);
            EXPECT_FALSE(of.empty());
            for (const auto& c : of) EXPECT_EQ(c.library, library);
        }
        if (std::wstring(s.folder) == L"zip-unzip-zip32j") {
            EXPECT_TRUE(CallsOf(calls, "UnZipGetWriteTimeEx").empty());
        }
        EXPECT_EQ(Names(dir_.File(L"new.zip")), std::vector<std::string>{"a.txt"});
        DeleteFileW(dir_.File(L"new.zip").c_str());
    }
}

TEST_F(ZipTest, ExtractsAPythonMadeZipByteForByte) {
    TZip32& zip = UseScenario(L"full");
    std::string cmdLine;
    TArchiverOptions o;
    EXPECT_EQ(zip.Extract(nullptr, platform::WideToSjis(FixtureFile(L"python.zip")), o, Sjis(L"out"), "", {},
                          false, cmdLine, output_),
              0);
    const auto expected = PythonMembers(dir_, FixtureFile(L"python.zip"));
    ASSERT_EQ(expected.size(), 3u);
    for (const auto& [name, data] : expected) {
        SCOPED_TRACE(name);
        auto bytes = ReadFileBytes(dir_.File(L"out\\" + Backslashed(name)));
        ASSERT_TRUE(bytes.has_value());
        EXPECT_TRUE(*bytes == data);
    }
    // Selected members reach the library escaped: "\" as "/".
    EXPECT_EQ(zip.Extract(nullptr, platform::WideToSjis(FixtureFile(L"python.zip")), o, Sjis(L"sel"), "",
                          {std::string("docs\\deflated.txt")}, false, cmdLine, output_),
              0);
    EXPECT_TRUE(FileExists(dir_.File(L"sel\\docs\\deflated.txt")));
    EXPECT_FALSE(FileExists(dir_.File(L"sel\\stored.bin")));
}

TEST_F(ZipTest, PackedArchiveReadsBackInPython) {
    std::string binary;
    for (int i = 0; i < 2048; ++i) binary.push_back(static_cast<char>(i * 7));
    const std::map<std::string, std::string> files = {
        {"a.txt", "alpha"}, {"sub/b.bin", binary}, {"\x95\x5C/c.txt", "hyou"},  // 表/c.txt
    };
    for (const auto& [name, data] : files)
        ASSERT_TRUE(WriteFileMakingFolders(dir_.File(L"src\\" + Backslashed(name)), data));
    for (const wchar_t* scenario : {L"full", L"zip-lmzip"}) {
        SCOPED_TRACE(platform::WideToSjis(scenario));
        TZip32& zip = UseScenario(scenario);
        TArchiverOptions o;
        o.r = 1;
        std::string cmdLine;
        // LMZIP32's line names no folder: the names are taken from the current folder.
        CurrentFolder cwd(dir_.File(L"src"));
        ASSERT_EQ(
            zip.Pack(nullptr, Sjis(L"p.zip"), o, Sjis(L"src"), {std::string("*.*")}, false, cmdLine, output_),
            0)
            << cmdLine;
        EXPECT_TRUE(PythonMembers(dir_, dir_.File(L"p.zip")) == files);
        DeleteFileW(dir_.File(L"p.zip").c_str());
    }
}

TEST_F(ZipTest, WithoutAnyLibrary) {
    TempDir empty;
    TZip32& zip = Use(empty.Path());  // loading finds nothing and raises nothing
    ASSERT_TRUE(WriteZipFixture(dir_.File(L"a.zip"), {{"x.txt", "x"}}));
    const auto before = ReadFileBytes(dir_.File(L"a.zip"));
    const std::string archive = Sjis(L"a.zip");
    TArchiverOptions o;
    std::string cmd;
    auto message = [](const std::function<void()>& f) -> std::string {
        try {
            f();
        } catch (const EArchiver& e) {
            return e.Message();
        }
        return "<no exception>";
    };
    EXPECT_EQ(message([&] { zip.BuildExtractCmd(nullptr, archive, o, "", {}, false, cmd); }),
              "ZIP 形式書庫の解凍には UNZIP32.DLL または LMZIP32.DLL が必要です。");
    EXPECT_EQ(message([&] { zip.BuildPackCmd(nullptr, archive, o, "", {}, false, cmd); }),
              "ZIP 形式書庫の作成には ZIP32J.DLL または LMZIP32.DLL が必要です。");
    EXPECT_EQ(message([&] { zip.BuildSfxCmd(nullptr, archive, o, "", cmd); }),
              "zip 書庫からの自己解凍書庫の作成には 'ZIP32J.DLL' ファイルが必要です。");
    EXPECT_EQ(message([&] { zip.OpenArchive(nullptr, archive, 0); }),
              "UnZipOpenArchive のエントリが DLL に見つかりませんでした。");
    // "Zip" missing: raised before the archive is touched.
    EXPECT_EQ(message([&] { zip.GetDll()->Command2(nullptr, archive, "x", nullptr, 0); }),
              "Zip のエントリが DLL に見つかりませんでした。");
    EXPECT_TRUE(ReadFileBytes(dir_.File(L"a.zip")) == before);
    // Without UNZIP32 the owner-window entries are looked up in module 0: the message names the program.
    const std::string owner = message([&] { zip.SetOwnerWindow(nullptr, nullptr); });
    EXPECT_NE(owner.find(".exe に UnZipSetOwnerWindowEx のエントリが見つかりません。"), std::string::npos)
        << owner;
    EXPECT_EQ(zip.GetDll()->GetArchiveType(archive), 0);
    EXPECT_FALSE(IsZipArchive(archive));
}

TEST_F(ZipTest, FailedPackKeepsTheOldArchiveAndASuccessfulOneReplacesIt) {
    ASSERT_TRUE(WriteFileMakingFolders(dir_.File(L"src\\new.txt"), "new"));
    for (const wchar_t* scenario : {L"full", L"zip-lmzip"}) {
        SCOPED_TRACE(platform::WideToSjis(scenario));
        TZip32& zip = UseScenario(scenario);
        CurrentFolder cwd(dir_.File(L"src"));
        ASSERT_TRUE(WriteZipFixture(dir_.File(L"a.zip"), {{"old.txt", "old"}}));
        const auto before = ReadFileBytes(dir_.File(L"a.zip"));
        TArchiverOptions o;
        std::string cmdLine;
        const std::string lib = std::wstring(scenario) == L"full" ? "ZIP32J.DLL" : "LMZIP32.DLL";
        for (int failure : {0x8019, -1}) {  // a negative result is a failure too
            SCOPED_TRACE(failure);
            ASSERT_TRUE(session_.SetScript(StandinScript().Section(lib).CommandResult(failure)));
            EXPECT_EQ(zip.Pack(nullptr, Sjis(L"a.zip"), o, Sjis(L"src"), {std::string("new.txt")}, false,
                               cmdLine, output_),
                      failure);
            EXPECT_TRUE(ReadFileBytes(dir_.File(L"a.zip")) == before);
            EXPECT_EQ(FolderFiles(), std::vector<std::wstring>{L"a.zip"});  // nothing left aside
        }

        ASSERT_TRUE(session_.SetScript(StandinScript()));
        EXPECT_EQ(zip.Pack(nullptr, Sjis(L"a.zip"), o, Sjis(L"src"), {std::string("new.txt")}, false, cmdLine,
                           output_),
                  0);
        EXPECT_EQ(Names(dir_.File(L"a.zip")), std::vector<std::string>{"new.txt"});  // a new archive
        EXPECT_EQ(FolderFiles(), std::vector<std::wstring>{L"a.zip"});
    }
}

TEST_F(ZipTest, DeleteAndUpdateWorkOnTheArchiveInPlace) {
    TZip32& zip = UseScenario(L"full");
    ASSERT_TRUE(WriteZipFixture(dir_.File(L"a.zip"),
                                {{"a.txt", "old a", true, 1000000000}, {"b.txt", "b", true, 1000000000}}));
    ASSERT_TRUE(WriteFileBytes(dir_.File(L"a.txt"), "new a"));  // newer than the archived copy
    TArchiverOptions o;
    std::string cmdLine;
    EXPECT_EQ(zip.Update(nullptr, Sjis(L"a.zip"), o, dir_.SjisPath(), {std::string("a.txt")}, false, cmdLine,
                         output_),
              0);
    std::map<std::string, std::string> members;
    for (const auto& m : ReadZipMembers(dir_.File(L"a.zip"))) members[m.name] = m.data;
    EXPECT_EQ(members, (std::map<std::string, std::string>{{"a.txt", "new a"}, {"b.txt", "b"}}));

    EXPECT_EQ(zip.Delete(nullptr, Sjis(L"a.zip"), o, "", {std::string("a.txt")}, false, cmdLine, output_), 0);
    EXPECT_EQ(cmdLine, "-d -D  \"" + Sjis(L"a.zip") + "\" \"a.txt\" ");
    EXPECT_EQ(Names(dir_.File(L"a.zip")), std::vector<std::string>{"b.txt"});
}

TEST_F(ZipTest, SelfExtractingBuild) {
    const std::string stub = "STUB-16";
    const std::string stub32 = "STUB-WIN32";
    ASSERT_TRUE(WriteFileBytes(dir_.File(L"sfx16.dat"), stub));
    ASSERT_TRUE(WriteFileBytes(dir_.File(L"sfx32gui.dat"), stub32));
    ASSERT_TRUE(WriteZipFixture(dir_.File(L"a b.zip"), {{"x.txt", "x"}}));
    const std::string archiveBytes = *ReadFileBytes(dir_.File(L"a b.zip"));
    TZip32& zip = UseScenario(L"full");
    CurrentFolder cwd(dir_.Path());  // the stubs are found on the search path
    TArchiverOptions o;
    std::string cmd;

    // The build alone: stub + archive exactly, into the folder given, and the path quoted after "-A".
    EXPECT_THROW(zip.BuildSfxCmd(nullptr, Sjis(L"a b.zip"), o, Sjis(L"out dir"), cmd), EArchiverFileError);
    CreateDirectoryW(dir_.File(L"out dir").c_str(), nullptr);
    zip.BuildSfxCmd(nullptr, Sjis(L"a b.zip"), o, Sjis(L"out dir"), cmd);
    EXPECT_EQ(cmd, "-A \"" + Sjis(L"out dir\\a b.EXE") + "\"");
    EXPECT_TRUE(ReadFileBytes(dir_.File(L"out dir\\a b.EXE")) == stub + archiveBytes);
    o.gw = 1;
    zip.BuildSfxCmd(nullptr, Sjis(L"a b.zip"), o, "", cmd);
    EXPECT_EQ(cmd, "-A \"" + Sjis(L"a b.EXE") + "\"");
    EXPECT_TRUE(ReadFileBytes(dir_.File(L"a b.EXE")) == stub32 + archiveBytes);
    DeleteFileW(dir_.File(L"a b.EXE").c_str());

    // Through the library: a failure brings the archive back, a success leaves only the executable.
    std::string cmdLine;
    ASSERT_TRUE(session_.SetScript(StandinScript().Section("ZIP32J.DLL").CommandResult(0x8013)));
    EXPECT_EQ(zip.MakeSfx(nullptr, Sjis(L"a b.zip"), o, "", cmdLine, output_), 0x8013);
    EXPECT_TRUE(ReadFileBytes(dir_.File(L"a b.zip")) == archiveBytes);
    ASSERT_TRUE(session_.SetScript(StandinScript()));
    session_.ClearLog();
    EXPECT_EQ(zip.MakeSfx(nullptr, Sjis(L"a b.zip"), o, "", cmdLine, output_), 0);
    const auto zips = CallsOf(session_.Calls(), "Zip");
    ASSERT_EQ(zips.size(), 1u);
    EXPECT_EQ(zips[0].library, "ZIP32J.DLL");
    EXPECT_EQ(zips[0].commandLine, "-A \"" + Sjis(L"a b.EXE") + "\"");
    EXPECT_FALSE(FileExists(dir_.File(L"a b.zip")));
    EXPECT_EQ(Names(dir_.File(L"a b.EXE")), std::vector<std::string>{"x.txt"});
    EXPECT_EQ(ReadFileBytes(dir_.File(L"a b.EXE")).value_or("").substr(0, stub32.size()), stub32);

    // Refusals: a missing stub, and an output that is the archive itself.
    o.gw = -1;
    DeleteFileW(dir_.File(L"sfx16.dat").c_str());
    ASSERT_TRUE(WriteZipFixture(dir_.File(L"c.zip"), {{"x.txt", "x"}}));
    try {
        zip.BuildSfxCmd(nullptr, Sjis(L"c.zip"), o, "", cmd);
        ADD_FAILURE() << "no exception";
    } catch (const ESfxNoRequiredFile& e) {
        EXPECT_EQ(e.Message(), "zip 書庫からのDOS自己解凍書庫の作成には 'sfx16.dat' ファイルが必要です。");
    }
    o.gw = 1;
    ASSERT_TRUE(WriteZipFixture(dir_.File(L"d.exe"), {{"x.txt", "x"}}));
    const auto exeArchive = ReadFileBytes(dir_.File(L"d.exe"));
    // Refused by name, before anything is opened (the share mode alone would turn it into a file error), also
    // through MakeSfx, which would go on to delete the archive.
    for (const std::string& folder : {std::string(), dir_.SjisPath(), dir_.SjisPath() + "\\.\\"}) {
        SCOPED_TRACE(folder);
        try {
            zip.BuildSfxCmd(nullptr, Sjis(L"d.exe"), o, folder, cmd);
            ADD_FAILURE() << "no exception";
        } catch (const EArchiverFileError& e) {
            ADD_FAILURE() << "a file error instead of the refusal: " << e.Message();
        } catch (const EArchiver& e) {
            const std::string exe = folder.empty()            ? Sjis(L"d.EXE")
                                    : folder.back() == '\\' ? folder + "d.EXE"
                                                            : folder + "\\d.EXE";
            EXPECT_EQ(e.Message(), "自己解凍書庫 " + exe + " の作成先が元の書庫と同じファイルです。");
        }
        EXPECT_TRUE(ReadFileBytes(dir_.File(L"d.exe")) == exeArchive);
    }
    EXPECT_THROW(zip.MakeSfx(nullptr, Sjis(L"d.exe"), o, "", cmdLine, output_), EArchiver);
    EXPECT_TRUE(ReadFileBytes(dir_.File(L"d.exe")) == exeArchive);
}

TEST_F(ZipTest, ContentCheckHasTwoStages) {
    UseScenario(L"full");
    const std::string python = platform::WideToSjis(FixtureFile(L"python.zip"));
    ASSERT_TRUE(WriteFileBytes(dir_.File(L"plain.zip"), "not an archive"));
    struct Row {
        const char* what;
        std::string file;
        StandinScript script;
        bool expected;
        size_t opens;
    };
    const Row rows[] = {
        {"a real zip", python, StandinScript(), true, 1},
        {"not a zip: stage one fails", Sjis(L"plain.zip"), StandinScript(), false, 0},
        {"negative check answer", python, StandinScript().CheckResult(-1), false, 0},
        {"check passes, open fails", python, StandinScript().CheckResult(1).OpenFail(), false, 1},
        {"check passes, file missing", Sjis(L"missing.zip"), StandinScript().CheckResult(1), false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(session_.SetScript(row.script));
        session_.ClearLog();
        EXPECT_EQ(IsZipArchive(row.file), row.expected);
        const auto calls = session_.Calls();
        const auto checks = CallsOf(calls, "UnZipCheckArchive");
        ASSERT_EQ(checks.size(), 1u);
        EXPECT_EQ(checks[0].library, "UNZIP32.DLL");
        EXPECT_NE(checks[0].args.find("mode=24"), std::string::npos);
        const auto opens = CallsOf(calls, "UnzipOpenArchive");  // LMZIP32 comes first for opening
        EXPECT_EQ(opens.size(), row.opens);
        for (const auto& open : opens) EXPECT_NE(open.args.find("mode=0x800002"), std::string::npos);
        EXPECT_EQ(CallsOf(calls, "UnzipCloseArchive").size(), row.expected ? 1u : 0u);
    }
}
