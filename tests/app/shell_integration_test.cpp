// Shell integration against the registry and the shell folders of a throw-away Wine prefix: verb keys and
// commands per top verb, extension attach and detach rules, and the shortcuts loaded back through the shell's
// link object. The cases change HKEY_CLASSES_ROOT and the SendTo folder, so they run only where the test's
// command line says the prefix is its own (VELMOR_SCRATCH_PREFIX).
#include "app/shell_integration.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/handle.h"
#include "platform/registry.h"
#include "platform/sjis.h"
#include "support/temp_dir.h"

using namespace velmor;
using platform::SjisToWide;
using platform::UniqueHKey;

namespace {

int gNotifications = 0;
void CountNotification() { ++gNotifications; }

std::vector<std::wstring> SubKeys(HKEY root, const std::wstring& path) {
    std::vector<std::wstring> names;
    UniqueHKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD n = 256;
        if (RegEnumKeyExW(key.Get(), i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, n);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The default value of a key as stored; nullopt when the key or the value is missing.
std::optional<std::wstring> DefaultValue(const std::wstring& path) {
    UniqueHKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
        return std::nullopt;
    wchar_t buffer[1024] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t), type = 0;
    if (RegQueryValueExW(key.Get(), L"", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(buffer);
}

void SetDefault(const std::wstring& path, const std::wstring& value) {
    UniqueHKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              key.Put(), nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key.Get(), L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

const wchar_t kShellFolders[] = L"Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

void SetSendToValue(const std::wstring* folder) {
    UniqueHKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              key.Put(), nullptr),
              ERROR_SUCCESS);
    if (folder) {
        RegSetValueExW(key.Get(), L"SendTo", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder->c_str()),
                       static_cast<DWORD>((folder->size() + 1) * sizeof(wchar_t)));
    } else {
        RegDeleteValueW(key.Get(), L"SendTo");
    }
}

struct TLinkInfo {
    std::wstring target, workingFolder, arguments;
};

std::optional<TLinkInfo> LoadLink(const std::wstring& path) {
    Microsoft::WRL::ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link))))
        return std::nullopt;
    Microsoft::WRL::ComPtr<IPersistFile> file;
    if (FAILED(link.As(&file)) || FAILED(file->Load(path.c_str(), STGM_READ))) return std::nullopt;
    TLinkInfo info;
    wchar_t buffer[MAX_PATH] = {};
    link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH);
    info.target = buffer;
    buffer[0] = 0;
    link->GetWorkingDirectory(buffer, MAX_PATH);
    info.workingFolder = buffer;
    buffer[0] = 0;
    link->GetArguments(buffer, MAX_PATH);
    info.arguments = buffer;
    return info;
}

class ShellIntegration : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t flag[8] = {};
        if (!GetEnvironmentVariableW(L"VELMOR_SCRATCH_PREFIX", flag, 8))
            GTEST_SKIP() << "changes the shell registry: runs only in its own Wine prefix";
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        CleanRegistry();
        exeFolder = dir.Path() + L"\\表ソフト";
        CreateDirectoryW(exeFolder.c_str(), nullptr);
        exe = exeFolder + L"\\Velmor.exe";
        testsupport::WriteFileBytes(exe, "MZ");
        shell.ExePath = platform::WideToSjis(exe);
        shell.Title = "Velmor";
        shell.ChangeNotify = &CountNotification;
        gNotifications = 0;
    }
    void TearDown() override {
        if (!shell.ExePath.empty()) CleanRegistry();
    }
    static void CleanRegistry() {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L"VelmorPlus");
        for (std::string_view ext : kShellExtensions)
            RegDeleteTreeW(HKEY_CLASSES_ROOT, SjisToWide("." + std::string(ext)).c_str());
    }

    testsupport::TempDir dir;
    std::wstring exeFolder, exe;
    TShellIntegration shell;
};

}  // namespace

TEST_F(ShellIntegration, TopVerbKeysAndCommands) {
    struct Case {
        TRightMenuTop top;
        std::vector<std::wstring> keys;  // sorted
        TRightMenuTop readBack;
    } cases[] = {
        {rmtOnly, {L"0VelmorOnly", L"1VelmorTrash", L"3VelmorOpen", L"VelmorDelete"}, rmtOnly},
        {rmtTrash, {L"0VelmorTrash", L"3VelmorOpen", L"VelmorDelete", L"VelmorOnly"}, rmtTrash},
        {rmtDelete, {L"0VelmorDelete", L"1VelmorTrash", L"3VelmorOpen", L"VelmorOnly"}, rmtDelete},
        {rmtOpen, {L"0VelmorOpen", L"1VelmorTrash", L"VelmorDelete", L"VelmorOnly"}, rmtOpen},
        {rmtNone, {L"0VelmorOnly", L"1VelmorTrash", L"3VelmorOpen", L"VelmorDelete"}, rmtOnly},
    };
    const std::wstring quoted = L"\"" + exe + L"\" ";
    const std::pair<std::wstring, std::pair<std::wstring, std::wstring>> verbs[] = {
        {L"VelmorOpen", {L"プレビュー(Velmor)", quoted + L"-o \"%1\""}},
        {L"VelmorDelete", {L"解凍して元ファイルを完全削除", quoted + L"-d \"%1\""}},
        {L"VelmorTrash", {L"解凍して元ファイルをごみ箱に捨てる", quoted + L"-t \"%1\""}},
        {L"VelmorOnly", {L"解凍のみ(元ファイルそのまま)", quoted + L"-k \"%1\""}},
    };
    EXPECT_EQ(shell.GetRightMenuTopItem(), rmtNone);
    EXPECT_FALSE(shell.IsProgIdRegistered("VelmorPlus"));
    // Each state is built over the one before, so a stale key of the old naming would show.
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.top));
        ASSERT_TRUE(shell.createVelmorPlusKey(c.top));
        EXPECT_TRUE(shell.IsProgIdRegistered("VelmorPlus"));
        EXPECT_EQ(DefaultValue(L"VelmorPlus"), L"圧縮ファイル");
        EXPECT_EQ(SubKeys(HKEY_CLASSES_ROOT, L"VelmorPlus"), std::vector<std::wstring>{L"shell"});
        EXPECT_EQ(SubKeys(HKEY_CLASSES_ROOT, L"VelmorPlus\\shell"), c.keys);
        for (const std::wstring& key : c.keys) {
            for (const auto& [verb, texts] : verbs) {
                if (!key.ends_with(verb)) continue;
                std::wstring path = L"VelmorPlus\\shell\\" + key;
                EXPECT_EQ(DefaultValue(path), texts.first);
                EXPECT_EQ(DefaultValue(path + L"\\command"), texts.second);
            }
        }
        EXPECT_EQ(shell.GetRightMenuTopItem(), c.readBack);
    }
    EXPECT_EQ(gNotifications, 5);
    ASSERT_TRUE(shell.deleteVelmorPlusKey());
    EXPECT_FALSE(shell.IsProgIdRegistered("VelmorPlus"));
    EXPECT_EQ(shell.GetRightMenuTopItem(), rmtNone);
    EXPECT_EQ(gNotifications, 6);
}

TEST_F(ShellIntegration, AttachAndDetach) {
    ASSERT_TRUE(shell.createVelmorPlusKey(rmtOnly));
    gNotifications = 0;

    // A foreign association survives a detach and is not ours.
    SetDefault(L".zip", L"OtherTool.zip");
    EXPECT_FALSE(shell.IsExtAttached("zip", "VelmorPlus"));
    EXPECT_TRUE(shell.DetachExt("zip"));
    EXPECT_EQ(DefaultValue(L".zip"), L"OtherTool.zip");

    // Attach overwrites it; detach then leaves the key without any default.
    EXPECT_TRUE(shell.attachExt("zip"));
    EXPECT_EQ(DefaultValue(L".zip"), L"VelmorPlus");
    EXPECT_TRUE(shell.IsExtAttached("zip", "VelmorPlus"));
    EXPECT_TRUE(shell.DetachExt("zip"));
    EXPECT_EQ(DefaultValue(L".zip"), std::nullopt);
    EXPECT_FALSE(shell.IsExtAttached("zip", "VelmorPlus"));
    EXPECT_EQ(gNotifications, 2);  // the attach and the detach that removed a value

    // Another letter case is neither attached nor detached.
    SetDefault(L".lzh", L"velmorplus");
    EXPECT_FALSE(shell.IsExtAttached("lzh", "VelmorPlus"));
    EXPECT_TRUE(shell.DetachExt("lzh"));
    EXPECT_EQ(DefaultValue(L".lzh"), L"velmorplus");

    // A detach of a missing extension creates nothing; a two-part extension works like any other.
    EXPECT_TRUE(shell.DetachExt("gca"));
    UniqueHKey probe;
    EXPECT_NE(RegOpenKeyExW(HKEY_CLASSES_ROOT, L".gca", 0, KEY_READ, probe.Put()), ERROR_SUCCESS);
    EXPECT_TRUE(shell.attachExt("tar.gz"));
    EXPECT_TRUE(shell.IsExtAttached("tar.gz", "VelmorPlus"));
    EXPECT_EQ(gNotifications, 3);

    // Pointing at the ProgID is not enough once the ProgID is gone.
    ASSERT_TRUE(shell.deleteVelmorPlusKey());
    EXPECT_EQ(DefaultValue(L".tar.gz"), L"VelmorPlus");
    EXPECT_FALSE(shell.IsExtAttached("tar.gz", "VelmorPlus"));
}

TEST_F(ShellIntegration, SendToLink) {
    std::wstring sendTo = dir.Path() + L"\\送る";
    CreateDirectoryW(sendTo.c_str(), nullptr);
    SetSendToValue(&sendTo);
    const std::wstring link = sendTo + L"\\Velmor.lnk";

    bool resist = false;
    ASSERT_TRUE(shell.UpdateSendToLink(true, resist));
    EXPECT_TRUE(resist);
    EXPECT_TRUE(shell.IsSendToLinkPresent());
    auto info = LoadLink(link);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->target, exe);
    EXPECT_EQ(info->workingFolder, exeFolder + L"\\");
    EXPECT_EQ(info->arguments, L"");

    // Unchecking deletes and clears the flag; the check follows the file.
    ASSERT_TRUE(shell.UpdateSendToLink(false, resist));
    EXPECT_FALSE(resist);
    EXPECT_FALSE(testsupport::FileExists(link));
    EXPECT_FALSE(shell.IsSendToLinkPresent());
    resist = true;
    EXPECT_FALSE(shell.IsSendToLinkPresent());  // the file decides, not the flag

    // A file of that name that we did not make is left alone, and the flag is not set.
    resist = false;
    testsupport::WriteFileBytes(link, "someone else's");
    ASSERT_TRUE(shell.UpdateSendToLink(true, resist));
    EXPECT_FALSE(resist);
    EXPECT_EQ(testsupport::ReadFileBytes(link), "someone else's");
    DeleteFileW(link.c_str());

    // A save that fails (the folder is gone) is reported and does not claim the shortcut.
    const std::wstring gone = dir.Path() + L"\\消えた送る";
    SetSendToValue(&gone);
    EXPECT_FALSE(shell.UpdateSendToLink(true, resist));
    EXPECT_FALSE(resist);
    EXPECT_FALSE(testsupport::FileExists(gone));

    // Without the registry value the shell's own SendTo folder is used, never the drive root.
    SetSendToValue(nullptr);
    wchar_t shellSendTo[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_SENDTO, nullptr, SHGFP_TYPE_CURRENT, shellSendTo)));
    ASSERT_TRUE(shell.UpdateSendToLink(true, resist));
    EXPECT_TRUE(testsupport::FileExists(std::wstring(shellSendTo) + L"\\Velmor.lnk"));
    EXPECT_FALSE(testsupport::FileExists(L"\\Velmor.lnk"));
    EXPECT_FALSE(testsupport::FileExists(L"C:\\Velmor.lnk"));
    ASSERT_TRUE(shell.UpdateSendToLink(false, resist));
    EXPECT_FALSE(testsupport::FileExists(std::wstring(shellSendTo) + L"\\Velmor.lnk"));
}

TEST_F(ShellIntegration, ProgramsMenuLink) {
    auto path = shell.ProgramsLinkPath();
    ASSERT_TRUE(path);
    const std::wstring link = SjisToWide(*path);
    DeleteFileW(link.c_str());

    EXPECT_FALSE(shell.UpdateProgramsMenuLink(true, false));
    ASSERT_TRUE(shell.UpdateProgramsMenuLink(false, true));
    EXPECT_TRUE(shell.UpdateProgramsMenuLink(true, false));
    auto info = LoadLink(link);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->target, exe);
    EXPECT_EQ(info->workingFolder, exeFolder);
    EXPECT_EQ(info->arguments, L"");

    // An existing link is left as it is.
    FILETIME before{}, after{};
    {
        platform::UniqueFile f(
            CreateFileW(link.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        GetFileTime(f.Get(), nullptr, nullptr, &before);
    }
    Sleep(20);
    ASSERT_TRUE(shell.UpdateProgramsMenuLink(false, true));
    {
        platform::UniqueFile f(
            CreateFileW(link.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        GetFileTime(f.Get(), nullptr, nullptr, &after);
    }
    EXPECT_EQ(CompareFileTime(&before, &after), 0);

    // Unchecking deletes; checking again recreates.
    ASSERT_TRUE(shell.UpdateProgramsMenuLink(false, false));
    EXPECT_FALSE(testsupport::FileExists(link));
    EXPECT_FALSE(shell.UpdateProgramsMenuLink(true, false));
    ASSERT_TRUE(shell.UpdateProgramsMenuLink(false, true));
    EXPECT_TRUE(testsupport::FileExists(link));
    ASSERT_TRUE(shell.UpdateProgramsMenuLink(false, false));
}

// What the shell starts when the user picks one of our verbs on an archive of an attached extension, with
// the verb keys named for different top verbs.
TEST_F(ShellIntegration, ShellStartsTheRegisteredCommand) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring recorder = self;
    recorder = recorder.substr(0, recorder.rfind(L'\\')) + L"\\verb_recorder.exe";
    ASSERT_TRUE(testsupport::FileExists(recorder));
    shell.ExePath = platform::WideToSjis(recorder);
    const std::wstring log = dir.File(L"verbs.log");
    testsupport::ScopedEnv env(L"VELMOR_VERB_LOG", log);
    const std::wstring archive = dir.File(L"表の書庫.zip");
    testsupport::WriteFileBytes(archive, "PK");
    ASSERT_TRUE(shell.attachExt("zip"));

    struct Case {
        TRightMenuTop top;
        const wchar_t* verb;
        const wchar_t* switchText;
    } cases[] = {
        {rmtOnly, L"0VelmorOnly", L"-k"},     {rmtOnly, L"VelmorDelete", L"-d"},
        {rmtOnly, L"1VelmorTrash", L"-t"},    {rmtOnly, L"3VelmorOpen", L"-o"},
        {rmtOpen, L"0VelmorOpen", L"-o"},     {rmtTrash, L"0VelmorTrash", L"-t"},
        {rmtDelete, L"0VelmorDelete", L"-d"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::WideToSjis(c.verb));
        ASSERT_TRUE(shell.createVelmorPlusKey(c.top));
        DeleteFileW(log.c_str());
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
        info.lpVerb = c.verb;
        info.lpFile = archive.c_str();
        info.nShow = SW_HIDE;
        ASSERT_TRUE(ShellExecuteExW(&info));
        ASSERT_TRUE(info.hProcess);
        WaitForSingleObject(info.hProcess, 10000);
        CloseHandle(info.hProcess);
        auto bytes = testsupport::ReadFileBytes(log);
        ASSERT_TRUE(bytes);
        std::wstring line(reinterpret_cast<const wchar_t*>(bytes->data()), bytes->size() / sizeof(wchar_t));
        EXPECT_EQ(line, L"\"" + recorder + L"\" " + c.switchText + L" \"" + archive + L"\"\n");
    }
}
