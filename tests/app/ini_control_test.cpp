// Settings: the defaults of a first start, a save that writes all 55 keys, an exact round trip of every
// field through the real profile file, the bad-value rules, and a writer that fails part way.
#include "app/ini_control.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <vector>

#include "platform/sjis.h"

using namespace velmor;
using platform::SjisToWide;

namespace {
// A profile store in memory that records the order of writes and can refuse the n-th one.
class MemoryIni : public platform::TCustomIniFile {
public:
    std::map<std::pair<std::string, std::string>, std::string> values;
    std::vector<std::string> writes;
    int failAt = -1;

    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) override {
        auto it = values.find({std::string(section), std::string(key)});
        return it == values.end() ? std::string(def) : it->second;
    }
    void WriteString(std::string_view section, std::string_view key, std::string_view value) override {
        if (static_cast<int>(writes.size()) == failAt) throw platform::EIniFileException("read-only");
        writes.push_back(std::string(section) + "/" + std::string(key));
        values[{std::string(section), std::string(key)}] = std::string(value);
    }
};

std::string TempIniPath() {
    wchar_t buffer[MAX_PATH];
    GetTempPathW(MAX_PATH, buffer);
    return platform::WideToSjis(buffer) + "設定_test.ini";
}

// Every field set away from its default, strings in Shift-JIS.
TIniControl Unusual() {
    TIniControl c;
    c.WindowW = 800, c.WindowH = 600, c.FirstRun = false, c.WindowX = -5, c.WindowY = 7, c.TopMost = false;
    c.AfterMethod = 3, c.PutLocation = 6, c.OverWrite = 2, c.MoveOverWrite = 4;
    c.FileSpec = "*.txt *.表";
    c.BuffMegaSize = 100;
    c.SpecialFolder = "C:\\表\\解凍先";
    c.MoveFolder = "D:\\ソフト\\移動";
    for (int i = 0; i < 3; ++i) c.Favorite[i] = "E:\\定番" + std::to_string(i);
    c.ResistSendTo = true, c.ResistShell = true, c.bDebug = true;
    for (int i = 0; i < 6; ++i) {
        c.MRU_SpecialFolder[i] = "C:\\履歴\\" + std::to_string(i);
        c.MRU_MoveFolder[i] = "D:\\移動履歴\\" + std::to_string(i);
    }
    c.SameFolderProc = 1, c.RightMenuTopItem = 3, c.SpecialExt = true, c.PreTestArc = false,
    c.PreTestMode = 0;
    c.IgnoreDirectory = true, c.BindFolder = false, c.BindNum = 16, c.DelFolderNum = true,
    c.ShowEndDlg = true;
    c.ConfirmDelete = false, c.AlertAbsExpand = false, c.CheckDangerPath = false, c.ConfirmSendTo = true;
    c.IgnoredSingleBind = false, c.ConfirmIgnore = false, c.CheckDiv = false, c.IndicatePerFile = false;
    c.ClearAll = false, c.CmdHideWnd = false, c.KBDeleteLog = 1, c.bLogFile = false, c.iTabIndex = 2;
    return c;
}

void ExpectSame(const TIniControl& a, const TIniControl& b) {
#define SAME(f) EXPECT_EQ(a.f, b.f) << #f
    SAME(WindowW);
    SAME(WindowH);
    SAME(FirstRun);
    SAME(WindowX);
    SAME(WindowY);
    SAME(TopMost);
    SAME(AfterMethod);
    SAME(PutLocation);
    SAME(OverWrite);
    SAME(MoveOverWrite);
    SAME(FileSpec);
    SAME(BuffMegaSize);
    SAME(SpecialFolder);
    SAME(MoveFolder);
    SAME(ResistSendTo);
    SAME(ResistShell);
    SAME(bDebug);
    SAME(SameFolderProc);
    SAME(RightMenuTopItem);
    SAME(SpecialExt);
    SAME(PreTestArc);
    SAME(PreTestMode);
    SAME(IgnoreDirectory);
    SAME(BindFolder);
    SAME(BindNum);
    SAME(DelFolderNum);
    SAME(ShowEndDlg);
    SAME(ConfirmDelete);
    SAME(AlertAbsExpand);
    SAME(CheckDangerPath);
    SAME(ConfirmSendTo);
    SAME(IgnoredSingleBind);
    SAME(ConfirmIgnore);
    SAME(CheckDiv);
    SAME(IndicatePerFile);
    SAME(ClearAll);
    SAME(CmdHideWnd);
    SAME(KBDeleteLog);
    SAME(bLogFile);
    SAME(iTabIndex);
    for (int i = 0; i < 3; ++i) SAME(Favorite[i]);
    for (int i = 0; i < 6; ++i) {
        SAME(MRU_SpecialFolder[i]);
        SAME(MRU_MoveFolder[i]);
    }
#undef SAME
}
}  // namespace

TEST(Settings, FirstStartGivesDefaults) {
    MemoryIni empty;
    TIniControl c;
    c.Load(empty);
    EXPECT_EQ(c.WindowX, 300);
    EXPECT_EQ(c.WindowY, 200);
    EXPECT_EQ(c.WindowW, 495);
    EXPECT_EQ(c.WindowH, 434);
    EXPECT_TRUE(c.TopMost && c.FirstRun && c.bLogFile && c.PreTestArc && c.BindFolder && c.ConfirmIgnore);
    EXPECT_TRUE(c.ConfirmDelete && c.AlertAbsExpand && c.CheckDangerPath && c.ClearAll && c.IndicatePerFile);
    EXPECT_TRUE(c.CmdHideWnd && c.CheckDiv && c.IgnoredSingleBind);
    EXPECT_FALSE(c.bDebug || c.IgnoreDirectory || c.ConfirmSendTo || c.ShowEndDlg || c.ResistSendTo);
    EXPECT_FALSE(c.ResistShell || c.DelFolderNum || c.SpecialExt);
    EXPECT_EQ(c.KBDeleteLog, 2000);
    EXPECT_EQ(c.BuffMegaSize, 15);
    EXPECT_EQ(c.PreTestMode, 1);
    EXPECT_EQ(c.BindNum, 2);
    EXPECT_EQ(c.iTabIndex, 0);
    EXPECT_EQ(c.AfterMethod + c.PutLocation + c.OverWrite + c.MoveOverWrite + c.SameFolderProc, 0);
    EXPECT_TRUE(c.SpecialFolder.empty() && c.MoveFolder.empty() && c.FileSpec.empty());
}

TEST(Settings, SaveWritesAllKeysInTableOrder) {
    MemoryIni ini;
    TIniControl c;
    c.Load(ini);
    c.Save(ini);
    ASSERT_EQ(ini.writes.size(), 55u);
    EXPECT_EQ(ini.writes.front(), "App/WindowX");
    EXPECT_EQ(ini.writes[40], "MRU_SpecialFolder/SpeciaFolder0");
    EXPECT_EQ(ini.writes[41], "MRU_MoveFolder/MoveFolder0");
    EXPECT_EQ(ini.writes.back(), "Favorite/Favorite2");
    EXPECT_EQ((ini.values[{"App", "TopMost"}]), "1");
    EXPECT_EQ((ini.values[{"Main", "bDebug"}]), "0");
    EXPECT_EQ((ini.values[{"Favorite", "Favorite1"}]), "");
}

TEST(Settings, RoundTripThroughTheProfileFile) {
    const std::string path = TempIniPath();
    DeleteFileW(SjisToWide(path).c_str());
    TIniControl saved = Unusual();
    {
        platform::TIniFile ini(path);
        saved.Save(ini);
    }
    TIniControl loaded;
    platform::TIniFile ini(path);
    loaded.Load(ini);
    ExpectSame(saved, loaded);
    // Every key is present in the file, the empty history entries included.
    TIniControl blank;
    blank.Load(ini);
    for (auto& s : blank.MRU_MoveFolder) s.clear();
    blank.Save(ini);
    EXPECT_EQ(ini.ReadString("MRU_MoveFolder", "MoveFolder5", "absent"), "");
    EXPECT_EQ(ini.ReadString("Sub_Other", "IgnoredSingleBind", "absent"), "0");
    DeleteFileW(SjisToWide(path).c_str());
}

TEST(Settings, BadValues) {
    struct Case {
        const char* section;
        const char* key;
        const char* value;
        std::function<bool(const TIniControl&)> check;
    } cases[] = {
        {"Sub_Bind", "BindNum", "0x10", [](const TIniControl& c) { return c.BindNum == 16; }},
        {"Sub_Bind", "BindNum", "abc", [](const TIniControl& c) { return c.BindNum == 2; }},
        {"Sub_Bind", "BindNum", "", [](const TIniControl& c) { return c.BindNum == 2; }},
        {"Main", "AfterMethod", "258", [](const TIniControl& c) { return c.AfterMethod == 2; }},
        {"Main", "KBDeleteLog", "99999999999", [](const TIniControl& c) { return c.KBDeleteLog == 2000; }},
        {"App", "TopMost", "5", [](const TIniControl& c) { return c.TopMost; }},
        {"App", "TopMost", "0", [](const TIniControl& c) { return !c.TopMost; }},
        {"App", "TopMost", "yes", [](const TIniControl& c) { return c.TopMost; }},
        {"MRU_SpecialFolder", "SpecialFolder0", "C:\\x",
         [](const TIniControl& c) { return c.MRU_SpecialFolder[0].empty(); }},
        {"MRU_SpecialFolder", "SpeciaFolder0", "C:\\x",
         [](const TIniControl& c) { return c.MRU_SpecialFolder[0] == "C:\\x"; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        MemoryIni ini;
        ini.values[{c.section, c.key}] = c.value;
        TIniControl record;
        record.Load(ini);
        EXPECT_TRUE(c.check(record));
    }
    MemoryIni ini;
    ini.values[{"App", "TopMost"}] = "5";
    TIniControl record;
    record.Load(ini);
    record.Save(ini);
    EXPECT_EQ((ini.values[{"App", "TopMost"}]), "1");
}

TEST(Settings, FailingWriterStopsQuietly) {
    MemoryIni ini;
    ini.failAt = 10;
    TIniControl c = Unusual();
    EXPECT_NO_THROW(c.Save(ini));
    EXPECT_EQ(ini.writes.size(), 10u);
    EXPECT_EQ(ini.writes.back(), "Main/bDebug");  // the 11th key, PutLocation, was refused
    // The real profile file in a folder that cannot be written.
    wchar_t buffer[MAX_PATH];
    GetTempPathW(MAX_PATH, buffer);
    platform::TIniFile bad(platform::WideToSjis(buffer) + "no such folder\\Velmor.ini");
    EXPECT_NO_THROW(c.Save(bad));
}

// The file's identity on its volume; a file rewritten in place keeps it, a new file has its own.
uint64_t FileIndex(const std::string& path) {
    HANDLE file =
        CreateFileW(SjisToWide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    bool ok = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return ok ? (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow : 0;
}

TEST(Settings, ASaveWritesANewFileThatReplacesTheOldOne) {
    const std::string path = TempIniPath();
    DeleteFileW(SjisToWide(path).c_str());
    TIniControl saved = Unusual();
    saved.SaveFile(path);
    const uint64_t before = FileIndex(path);
    ASSERT_NE(before, 0u);
    // The old file is never truncated and rewritten: whatever stops a save half-way leaves it whole.
    TIniControl changed = Unusual();
    changed.BindNum = 42;
    changed.SaveFile(path);
    EXPECT_NE(FileIndex(path), before);
    TIniControl loaded;
    platform::TIniFile ini(path);
    loaded.Load(ini);
    ExpectSame(changed, loaded);
    DeleteFileW(SjisToWide(path).c_str());
}

TEST(Settings, FileLivesInMyDocuments) {
    std::optional<std::string> path = SettingsFilePath();
    ASSERT_TRUE(path);
    EXPECT_GT(path->size(), std::string("\\Velmor.ini").size());
    EXPECT_EQ(path->substr(path->size() - 11), "\\Velmor.ini");
    // Unresolved My Documents: no file at all, rather than "\\Velmor.ini" at the drive root.
    EXPECT_FALSE(SettingsFileIn("\\"));
    EXPECT_FALSE(SettingsFileIn(""));
    EXPECT_EQ(SettingsFileIn("C:\\表\\").value_or(""), "C:\\表\\Velmor.ini");
}
