// The options window under Wine and Xvfb, driven by messages as a user's clicks would arrive: a dump of every
// control per page against a stored file (which also pins the enabling rules), the mapping from settings to
// controls and back, Cancel keeping the settings and the registry, the all-on/all-off buttons sparing hidden
// boxes, and a hand-edited BindNum that must not cost the user the associations. The cases change
// HKEY_CLASSES_ROOT and the shell folders, so they run only in the throw-away prefix of their Xvfb pass
// (VELMOR_SCRATCH_PREFIX); each page is also saved as a picture (VELMOR_SHOT_DIR).
#include "app/forms/form_option.h"

#include <gtest/gtest.h>

#include "has_display.h"
#include "real_input.h"

#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/ini_control.h"
#include "platform/application.h"
#include "platform/handle.h"
#include "platform/ini_file.h"
#include "platform/registry.h"
#include "platform/sjis.h"
#include "support/temp_dir.h"

using namespace velmor;
using namespace platform;

namespace {

std::wstring EnvPath(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(name, value, MAX_PATH)) return {};
    std::wstring path = value;
    if (!path.empty() && path[0] == L'/') {
        for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
        path = L"Z:" + path;
    }
    return path;
}

// This source's folder seen through Wine's Z: drive, where the expected dump is kept.
std::wstring SourceFolder() {
    std::wstring path = SjisToWide(__FILE__);
    for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
    if (!path.empty() && path[0] == L'\\') path = L"Z:" + path;
    return path.substr(0, path.rfind(L'\\'));
}

// Every key and value below HKEY_CLASSES_ROOT that the dialog may touch, as "reg export" would list them.
void ExportKey(HKEY root, const std::wstring& path, std::wstring& out) {
    UniqueHKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return;
    out += L"[" + path + L"]\n";
    wchar_t name[512], data[1024];
    for (DWORD i = 0;; ++i) {
        DWORD n = 512, size = sizeof(data) - sizeof(wchar_t), type = 0;
        if (RegEnumValueW(key.Get(), i, name, &n, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
            ERROR_SUCCESS)
            break;
        data[size / sizeof(wchar_t)] = 0;
        out += L"\"" + std::wstring(name, n) + L"\"=\"" + data + L"\"\n";
    }
    std::vector<std::wstring> subKeys;
    for (DWORD i = 0;; ++i) {
        DWORD n = 512;
        if (RegEnumKeyExW(key.Get(), i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subKeys.emplace_back(name, n);
    }
    for (const std::wstring& sub : subKeys) ExportKey(root, path + L"\\" + sub, out);
}

std::wstring ExportShellKeys() {
    std::wstring out;
    ExportKey(HKEY_CLASSES_ROOT, L"VelmorPlus", out);
    for (std::string_view ext : kShellExtensions)
        ExportKey(HKEY_CLASSES_ROOT, SjisToWide("." + std::string(ext)), out);
    return out;
}

const char* ButtonKind(HWND h) {
    switch (GetWindowLongPtrW(h, GWL_STYLE) & BS_TYPEMASK) {
        case BS_AUTOCHECKBOX:
            return "check";
        case BS_AUTORADIOBUTTON:
            return "radio";
        case BS_GROUPBOX:
            return "group";
        case BS_DEFPUSHBUTTON:
            return "default";
        default:
            return "push";
    }
}

BOOL CALLBACK CollectChild(HWND h, LPARAM p) {
    reinterpret_cast<std::map<int, HWND>*>(p)->emplace(GetDlgCtrlID(h), h);
    return TRUE;
}

// One line per child window in creation order: class, text, visible, enabled, checked.
std::string DumpControls(HWND form) {
    std::map<int, HWND> children;
    EnumChildWindows(form, CollectChild, reinterpret_cast<LPARAM>(&children));
    std::string out;
    for (auto [id, h] : children) {
        if (GetParent(h) != form) continue;  // the combo boxes' own edit and list
        wchar_t cls[64] = {};
        GetClassNameW(h, cls, 64);
        std::wstring text(static_cast<size_t>(GetWindowTextLengthW(h)) + 1, L'\0');
        text.resize(static_cast<size_t>(GetWindowTextW(h, text.data(), static_cast<int>(text.size()))));
        std::string line = SjisToUtf8(WideToSjis(cls));
        if (lstrcmpiW(cls, L"Button") == 0) line += std::string("/") + ButtonKind(h);
        line += " \"" + SjisToUtf8(WideToSjis(text)) + "\"";
        line += (GetWindowLongPtrW(h, GWL_STYLE) & WS_VISIBLE) ? " visible" : " hidden";
        line += IsWindowEnabled(h) ? " enabled" : " disabled";
        if (lstrcmpiW(cls, L"Button") == 0 && SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED)
            line += " checked";
        out += line + "\n";
    }
    return out;
}

// The window's pixels from the screen as a 24-bit BMP file.
void SaveWindowPicture(HWND window, const std::wstring& file) {
    RECT r{};
    GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    std::string pixels(stride * static_cast<DWORD>(h), '\0');
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(h), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(header) + sizeof(info);
    header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size());
    std::string bytes(reinterpret_cast<const char*>(&header), sizeof(header));
    bytes.append(reinterpret_cast<const char*>(&info), sizeof(info));
    bytes += pixels;
    testsupport::WriteFileBytes(file, bytes);
}

const wchar_t kShellFolders[] = L"Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

class FormOption : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HasDisplay()) GTEST_SKIP() << "windows need a display";
        if (EnvPath(L"VELMOR_SCRATCH_PREFIX").empty())
            GTEST_SKIP() << "changes the shell registry: runs only in its own Wine prefix";
        Application.Initialize();
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        sendTo = dir.Path() + L"\\SendTo";
        CreateDirectoryW(sendTo.c_str(), nullptr);
        UniqueHKey key;
        RegCreateKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(),
                        nullptr);
        RegSetValueExW(key.Get(), L"SendTo", 0, REG_SZ, reinterpret_cast<const BYTE*>(sendTo.c_str()),
                       static_cast<DWORD>((sendTo.size() + 1) * sizeof(wchar_t)));
        CleanShell();
        IniControl = Baseline();
        form.Create();
        ASSERT_TRUE(form.Handle());
    }
    void TearDown() override {
        if (!form.Handle()) return;
        form.Destroy();
        CleanShell();
    }
    void CleanShell() {
        TShellIntegration shell;
        shell.Title = "Velmor";
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L"VelmorPlus");
        for (std::string_view ext : kShellExtensions)
            RegDeleteTreeW(HKEY_CLASSES_ROOT, SjisToWide("." + std::string(ext)).c_str());
        if (auto p = shell.ProgramsLinkPath()) DeleteFileW(SjisToWide(*p).c_str());
        DeleteFileW((sendTo + L"\\Velmor.lnk").c_str());
    }
    static TIniControl Baseline() {
        TIniControl c;
        c.CheckDangerPath = true, c.AlertAbsExpand = true, c.ConfirmIgnore = true, c.ConfirmDelete = true;
        c.BindFolder = true, c.BindNum = 2, c.BuffMegaSize = 15, c.CheckDiv = true, c.FileSpec = "*.txt";
        return c;
    }
    // The shell state the tests start from when they want the program registered.
    void Register(TRightMenuTop top, std::initializer_list<const char*> exts) {
        ASSERT_TRUE(form.Shell.createVelmorPlusKey(top));
        for (const char* e : exts) ASSERT_TRUE(form.Shell.attachExt(e));
    }
    void Pump(int rounds = 5) {
        for (int i = 0; i < rounds; ++i) {
            Application.ProcessMessages();
            Sleep(10);
        }
    }
    void ShowForm() {
        form.Show();
        Pump();
    }
    static void Click(TWinControl& c) { SendMessageW(c.Handle(), BM_CLICK, 0, 0); }
    void SelectPage(int page) {
        SendMessageW(form.PageControlSetting.Handle(), TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
        NMHDR header{form.PageControlSetting.Handle(), static_cast<UINT_PTR>(form.PageControlSetting.Id()),
                     static_cast<UINT>(TCN_SELCHANGE)};
        SendMessageW(form.Handle(), WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
        Pump();
    }
    void Ok() {
        Click(form.btnOK);
        Pump();
        EXPECT_FALSE(form.Visible());
        EXPECT_EQ(form.ModalResult(), mrOk);
    }
    // The checked button of the overwrite group, -1 when none is.
    int overWriteChecked() const {
        const TRadioButton* buttons[] = {&form.rbtnConfirm, &form.rbtnOverWrite, &form.rbtnSkip,
                                         &form.rbtnIfNew};
        for (int i = 0; i < 4; ++i)
            if (buttons[i]->Checked()) return i;
        return -1;
    }
    std::vector<TCheckBox*> ShownExtBoxes() {
        return {&form.chkLzh, &form.chkLha,   &form.chkZip, &form.chkRar, &form.chkCab,
                &form.chkTar, &form.chkTarGz, &form.chkTgz, &form.chkGz};
    }

    testsupport::TempDir dir;
    std::wstring sendTo;
    TfrmOption form;
};

}  // namespace

TEST_F(FormOption, ControlDumpPerPage) {
    const char* pageNames[] = {"■全般", "■解凍の設定", "■通知の設定", "■関連付け"};
    std::string dump = "# Not registered, folder structure kept\n";
    ShowForm();
    EXPECT_EQ(form.PageControlSetting.TabIndex(), 1);  // the first showing opens the extraction page
    EXPECT_EQ(form.ClientWidth(), 471);
    EXPECT_EQ(form.ClientHeight(), 461);
    EXPECT_EQ(GetWindowLongPtrW(form.Handle(), GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
    EXPECT_EQ(form.Hint.Text(form.stBindNum), "個数を設定します");
    const std::wstring shots = EnvPath(L"VELMOR_SHOT_DIR");
    for (int page = 0; page < 4; ++page) {
        SelectPage(page);
        dump += std::string("## ") + SjisToUtf8(pageNames[page]) + "\n" + DumpControls(form.Handle());
        if (shots.empty()) continue;
        Pump(30);  // let the page paint
        SaveWindowPicture(form.Handle(), shots + L"\\form_option_page" + std::to_wstring(page + 1) + L".bmp");
    }
    form.Hide();

    // Registered with the preview verb on top and the folder structure ignored: the association controls and
    // the single-bind box come alive.
    Register(rmtOpen, {"zip", "tar.tar"});
    IniControl.IgnoreDirectory = true;
    IniControl.IgnoredSingleBind = true;
    ShowForm();
    EXPECT_EQ(form.PageControlSetting.TabIndex(), 3);  // the page last chosen
    for (int page : {1, 3}) {
        SelectPage(page);
        dump += std::string("# Registered, folder structure ignored\n## ") + SjisToUtf8(pageNames[page]) +
                "\n" + DumpControls(form.Handle());
    }
    if (!shots.empty()) {
        Pump(30);
        SaveWindowPicture(form.Handle(), shots + L"\\form_option_page4_registered.bmp");
    }

    const std::wstring expectedFile = SourceFolder() + L"\\form_option_dump.txt";
    if (!EnvPath(L"VELMOR_UPDATE_EXPECTED").empty()) testsupport::WriteFileBytes(expectedFile, dump);
    auto expected = testsupport::ReadFileBytes(expectedFile);
    ASSERT_TRUE(expected) << "missing " << WideToSjis(expectedFile);
    EXPECT_EQ(dump, *expected);
}

TEST_F(FormOption, SettingsToControlsAndBack) {
    struct Case {
        const char* name;
        uint8_t TIniControl::*field;
        uint8_t stored;
        TRadioButton* shown;  // nullptr: none checked
        uint8_t afterOk;
    } cases[] = {
        {"MoveOverWrite 0", &TIniControl::MoveOverWrite, 0, &form.rbtnMoveConfirm, 0},
        {"MoveOverWrite 1", &TIniControl::MoveOverWrite, 1, &form.rbtnMoveOverwrite, 1},
        {"MoveOverWrite 2", &TIniControl::MoveOverWrite, 2, &form.rbtnMoveSkip, 2},
        {"MoveOverWrite 3", &TIniControl::MoveOverWrite, 3, nullptr, 3},
        {"MoveOverWrite 4", &TIniControl::MoveOverWrite, 4, &form.rbtnMoveGenNummed, 4},
        {"OverWrite 0", &TIniControl::OverWrite, 0, &form.rbtnConfirm, 0},
        {"OverWrite 1", &TIniControl::OverWrite, 1, &form.rbtnOverWrite, 1},
        {"OverWrite 2", &TIniControl::OverWrite, 2, &form.rbtnSkip, 2},
        {"OverWrite 3", &TIniControl::OverWrite, 3, &form.rbtnIfNew, 3},
        {"OverWrite 9", &TIniControl::OverWrite, 9, nullptr, 9},
        // No item for 5: the list shows nothing and OK keeps the stored value.
        {"SameFolderProc 1", &TIniControl::SameFolderProc, 1, nullptr, 1},
        {"SameFolderProc 5", &TIniControl::SameFolderProc, 5, nullptr, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IniControl = Baseline();
        IniControl.*c.field = c.stored;
        ShowForm();
        if (c.field == &TIniControl::SameFolderProc) {
            EXPECT_EQ(form.cmbSameFolderProc.ItemIndex(), c.stored < 2 ? c.stored : -1);
        } else {
            for (TRadioButton* r :
                 {&form.rbtnMoveConfirm, &form.rbtnMoveOverwrite, &form.rbtnMoveSkip, &form.rbtnMoveGenNummed,
                  &form.rbtnConfirm, &form.rbtnOverWrite, &form.rbtnSkip, &form.rbtnIfNew}) {
                bool sameGroup = (c.field == &TIniControl::MoveOverWrite) ==
                                 (r == &form.rbtnMoveConfirm || r == &form.rbtnMoveOverwrite ||
                                  r == &form.rbtnMoveSkip || r == &form.rbtnMoveGenNummed);
                if (sameGroup) {
                    EXPECT_EQ(r->Checked(), r == c.shown) << r->Text();
                }
            }
        }
        Ok();
        EXPECT_EQ(IniControl.*c.field, c.afterOk);
        EXPECT_EQ(IniControl.FileSpec, "*.txt");  // no control of this dialog edits the member filter
    }

    // The user's own choices, then the next showing shows them again.
    IniControl = Baseline();
    bool mirrored = false;
    form.OnIgnoreDirectoryChanged = [&](bool on) { mirrored = on; };
    ShowForm();
    SelectPage(1);
    Click(form.rbtnMoveSkip);
    Click(form.rbtnIfNew);
    EXPECT_FALSE(form.chkIgnoredSingleBind.Enabled());
    Click(form.chkIgnoreDirectory);
    EXPECT_TRUE(form.chkIgnoredSingleBind.Enabled());
    SendMessageW(form.trackBufferSize.Handle(), TBM_SETPOS, TRUE, 100);
    SendMessageW(form.Handle(), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 100),
                 reinterpret_cast<LPARAM>(form.trackBufferSize.Handle()));
    EXPECT_EQ(form.lblBuffSize.Text(), "100MB");
    SendMessageW(form.upBindNum.Handle(), UDM_SETPOS32, 0, 7);
    SendMessageW(form.Handle(), WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 7),
                 reinterpret_cast<LPARAM>(form.upBindNum.Handle()));
    EXPECT_EQ(form.stBindNum.Text(), "7");
    SelectPage(2);
    Click(form.chkEndDlg);
    // The owner coming back from the task bar re-shows the dialog without reloading it.
    SendMessageW(form.Handle(), WM_SHOWWINDOW, TRUE, SW_PARENTOPENING);
    EXPECT_TRUE(form.rbtnMoveSkip.Checked());
    Ok();
    EXPECT_EQ(IniControl.MoveOverWrite, 2);
    EXPECT_EQ(IniControl.OverWrite, 3);
    EXPECT_EQ(IniControl.BuffMegaSize, 100);
    EXPECT_EQ(IniControl.BindNum, 7);
    EXPECT_TRUE(IniControl.IgnoreDirectory);
    EXPECT_TRUE(IniControl.ShowEndDlg);
    EXPECT_TRUE(mirrored);
    ShowForm();
    EXPECT_TRUE(form.rbtnMoveSkip.Checked());
    EXPECT_TRUE(form.rbtnIfNew.Checked());
    EXPECT_EQ(form.lblBuffSize.Text(), "100MB");
    EXPECT_TRUE(form.chkIgnoredSingleBind.Enabled());
    form.Hide();
}

TEST_F(FormOption, CancelKeepsSettingsAndRegistry) {
    Register(rmtTrash, {"lzh", "zip"});
    bool resist = false;
    ASSERT_TRUE(form.Shell.UpdateSendToLink(true, resist));
    IniControl.ResistSendTo = resist;
    const std::wstring registryBefore = ExportShellKeys();
    const std::string iniA = dir.SjisFile("a.ini"), iniB = dir.SjisFile("b.ini");
    {
        TIniFile file(iniA);
        IniControl.Save(file);
    }

    // Clicks queued for the modal loop, then Cancel.
    for (TWinControl* c : std::initializer_list<TWinControl*>{
             &form.chkEnableRightMenu, &form.btnAllOn, &form.chkResistSendTo, &form.chkResistStartMenu,
             &form.rbtnSkip, &form.chkBindFolder, &form.btnCancel})
        PostMessageW(c->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(form.ShowModal(), mrCancel);
    {
        TIniFile file(iniB);
        IniControl.Save(file);
    }
    EXPECT_EQ(testsupport::ReadFileBytes(SjisToWide(iniA)), testsupport::ReadFileBytes(SjisToWide(iniB)));
    EXPECT_EQ(ExportShellKeys(), registryBefore);
    EXPECT_TRUE(form.Shell.IsSendToLinkPresent());
    EXPECT_FALSE(form.Shell.UpdateProgramsMenuLink(true, false));
}

TEST_F(FormOption, TrackBarKeepsItsRange) {
    // Below the track bar's minimum the dialog shows and stores the minimum.
    for (int stored : {1, 3, 5, 100}) {
        SCOPED_TRACE(stored);
        IniControl = Baseline();
        IniControl.BuffMegaSize = stored;
        ShowForm();
        EXPECT_EQ(form.lblBuffSize.Text(), std::to_string(std::max(stored, 5)) + "MB");
        Ok();
        EXPECT_EQ(IniControl.BuffMegaSize, std::max(stored, 5));
    }
}

TEST_F(FormOption, CancelAfterTheTrackBarAndTheUpDownMoved) {
    ShowForm();
    SelectPage(1);
    // Keys as the user presses them: End on the track bar, Up twice in the bind count field, whose up-down
    // takes the arrow keys.
    SendMessageW(form.trackBufferSize.Handle(), WM_KEYDOWN, VK_END, 0);
    SendMessageW(form.trackBufferSize.Handle(), WM_KEYUP, VK_END, 0);
    for (int i = 0; i < 2; ++i) {
        SendMessageW(form.stBindNum.Handle(), WM_KEYDOWN, VK_UP, 0);
        SendMessageW(form.stBindNum.Handle(), WM_KEYUP, VK_UP, 0);
    }
    Pump();
    EXPECT_EQ(form.lblBuffSize.Text(), "100MB");
    EXPECT_EQ(form.stBindNum.Text(), "4");
    Click(form.btnCancel);
    Pump();
    EXPECT_FALSE(form.Visible());
    EXPECT_EQ(IniControl.BuffMegaSize, 15);
    EXPECT_EQ(IniControl.BindNum, 2);
    // The next showing starts from the record again.
    ShowForm();
    EXPECT_EQ(form.lblBuffSize.Text(), "15MB");
    EXPECT_EQ(form.stBindNum.Text(), "2");
    form.Hide();
}

TEST_F(FormOption, CentredOnTheMainWindow) {
    class TOwner : public TForm {
    public:
        TOwner() : TForm(L"TOptionTestOwner") {}
    } owner;
    owner.Create();
    owner.SetBounds(40, 30, 600, 500);
    owner.Show();
    TForm* oldMain = Application.MainForm();
    Application.SetMainForm(&owner);
    ShowForm();
    EXPECT_EQ(GetWindow(form.Handle(), GW_OWNER), owner.Handle());
    EXPECT_NEAR(form.Left() + form.Width() / 2, 40 + 300, 1);
    EXPECT_NEAR(form.Top() + form.Height() / 2, 30 + 250, 1);
    form.Hide();
    Application.SetMainForm(oldMain);
    SetWindowLongPtrW(form.Handle(), GWLP_HWNDPARENT, 0);  // the owner's end would take the dialog along
    owner.Destroy();
    EXPECT_TRUE(IsWindow(form.Handle()));
}

TEST_F(FormOption, EnterIsOkAndEscapeIsCancel) {
    PostMessageW(form.chkEndDlg.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(form.ShowModal(), mrOk);
    PostMessageW(form.chkEndDlg.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(form.ShowModal(), mrCancel);
}

TEST_F(FormOption, AllOnAndOffSpareHiddenBoxes) {
    Register(rmtOnly, {"zip", "tar.tar", "gca"});
    ShowForm();
    SelectPage(3);
    EXPECT_TRUE(form.chkTarTar.Checked());
    EXPECT_TRUE(form.chkGCA.Checked());
    Click(form.btnAllOff);
    for (TCheckBox* b : ShownExtBoxes()) EXPECT_FALSE(b->Checked()) << b->Text();
    EXPECT_TRUE(form.chkTarTar.Checked());
    EXPECT_TRUE(form.chkGCA.Checked());
    Click(form.btnAllOn);
    for (TCheckBox* b : ShownExtBoxes()) EXPECT_TRUE(b->Checked()) << b->Text();
    Ok();
    for (const char* ext :
         {"lzh", "lha", "zip", "rar", "cab", "tar", "tar.gz", "tgz", "gz", "tar.tar", "gca"})
        EXPECT_TRUE(form.Shell.IsExtAttached(ext, "VelmorPlus")) << ext;

    // Switching the context menu off removes every association, the hidden ones included.
    ShowForm();
    SelectPage(3);
    Click(form.chkEnableRightMenu);
    EXPECT_FALSE(form.chkZip.Enabled());
    EXPECT_FALSE(form.radioVelmorOnly.Enabled());
    EXPECT_FALSE(form.btnAllOn.Enabled());
    Ok();
    EXPECT_FALSE(form.Shell.IsProgIdRegistered("VelmorPlus"));
    EXPECT_EQ(ExportShellKeys().find(L"VelmorPlus"), std::wstring::npos);
}

TEST_F(FormOption, OutOfRangeBindNumKeepsAssociations) {
    Register(rmtDelete, {"zip", "rar"});
    IniControl.BindNum = 70000;
    ShowForm();
    EXPECT_EQ(form.stBindNum.Text(), "70000");
    EXPECT_EQ(form.upBindNum.Position(), 100);
    EXPECT_TRUE(form.LoadComplete());
    EXPECT_TRUE(form.chkEnableRightMenu.Checked());
    EXPECT_TRUE(form.radioVelmorDelete.Checked());
    const std::wstring before = ExportShellKeys();
    Ok();
    EXPECT_EQ(IniControl.BindNum, 70000);
    EXPECT_EQ(ExportShellKeys(), before);
}

TEST_F(FormOption, ShortcutsFollowTheirBoxes) {
    ShowForm();
    SelectPage(3);
    EXPECT_FALSE(form.chkResistSendTo.Checked());
    EXPECT_TRUE(form.chkConfirmSendTo.Enabled());  // only the SendTo box's clicks switch it
    Click(form.chkResistSendTo);
    Click(form.chkResistStartMenu);
    Ok();
    EXPECT_TRUE(IniControl.ResistSendTo);
    EXPECT_TRUE(testsupport::FileExists(sendTo + L"\\Velmor.lnk"));
    EXPECT_TRUE(form.Shell.UpdateProgramsMenuLink(true, false));

    ShowForm();
    EXPECT_TRUE(form.chkResistSendTo.Checked());
    EXPECT_TRUE(form.chkResistStartMenu.Checked());
    Click(form.chkResistSendTo);
    EXPECT_FALSE(form.chkConfirmSendTo.Enabled());
    Click(form.chkResistStartMenu);
    Ok();
    EXPECT_FALSE(IniControl.ResistSendTo);
    EXPECT_FALSE(testsupport::FileExists(sendTo + L"\\Velmor.lnk"));
    EXPECT_FALSE(form.Shell.UpdateProgramsMenuLink(true, false));
}

// The first showing in a fresh window is drawn whole: every frame of the extraction page and its caption is
// there (the page container used to paint over them), as at the second showing.
TEST_F(FormOption, FirstShowingEqualsTheSecond) {
    ShowForm();
    ::SetForegroundWindow(form.Handle());
    realinput::Serve(800);
    const std::vector<uint32_t> first = realinput::Picture(form.Handle());
    form.Hide();
    realinput::Serve(300);
    ShowForm();
    ::SetForegroundWindow(form.Handle());
    realinput::Serve(800);
    const std::vector<uint32_t> second = realinput::Picture(form.Handle());
    // A caret or a focus mark is a few pixels; four missing frames with their captions are thousands.
    EXPECT_LE(realinput::DifferentPixels(first, second), 40u);
    form.Hide();
}

// Every page by keyboard: Tab goes from the page buttons through the page's enabled controls (a radio group
// at its checked button) to OK and Cancel and back; the page keys change the page.
TEST_F(FormOption, KeyboardReachesEveryPageAndControl) {
    ShowForm();
    ::SetForegroundWindow(form.Handle());
    realinput::Serve(300);
    HWND tab = form.PageControlSetting.Handle();
    ASSERT_EQ(realinput::FocusedControl(form.Handle()), tab) << "the keys start on the page buttons";
    const std::vector<std::vector<TWinControl*>> pages = {
        {&form.chkAlertAbsExpand, &form.chkCheckDangerPath},
        {&form.chkBindFolder, &form.stBindNum, &form.chkDelFolderNum, &form.cmbSameFolderProc,
         &form.chkIgnoreDirectory, &form.rbtnConfirm, &form.rbtnMoveConfirm, &form.trackBufferSize,
         &form.chkCheckDiv},
        {&form.chkEndDlg, &form.CheckBox1, &form.chkConfirmIgnore, &form.chkConfirmDelete, &form.chkConfirmSendTo},
        {&form.chkResistSendTo, &form.chkResistStartMenu, &form.chkEnableRightMenu},
    };
    // The extraction page first, then round by Ctrl+Tab (its arrows in the platform's tests).
    for (int page : {1, 2, 3, 0}) {
        SCOPED_TRACE(page);
        EXPECT_EQ(form.PageControlSetting.TabIndex(), page);
        std::vector<HWND> expected;
        for (TWinControl* c : pages[static_cast<size_t>(page)]) expected.push_back(c->Handle());
        expected.insert(expected.end(), {form.btnOK.Handle(), form.btnCancel.Handle(), tab});
        EXPECT_EQ(realinput::TabRound(form.Handle(), false), expected);
        std::vector<HWND> back(expected.rbegin() + 1, expected.rend());
        back.push_back(tab);
        EXPECT_EQ(realinput::TabRound(form.Handle(), true), back);
        realinput::Press(VK_TAB, {VK_CONTROL});
    }
    EXPECT_EQ(form.PageControlSetting.TabIndex(), 1);
    realinput::Press(VK_PRIOR, {VK_CONTROL});
    EXPECT_EQ(form.PageControlSetting.TabIndex(), 0);
    realinput::Press(VK_TAB, {VK_CONTROL, VK_SHIFT});
    EXPECT_EQ(form.PageControlSetting.TabIndex(), 3);
    realinput::Press(VK_NEXT, {VK_CONTROL});
    EXPECT_EQ(form.PageControlSetting.TabIndex(), 0);
    // Space acts on the focused box.
    form.chkCheckDangerPath.SetFocus();
    realinput::Press(VK_SPACE);
    EXPECT_FALSE(form.chkCheckDangerPath.Checked());
    form.Hide();
    realinput::Serve(200);
    // Shown modal, as the program shows it: Esc is Cancel, which keeps nothing; Enter is OK.
    {
        realinput::PressWhenShown esc(form.Handle(), VK_ESCAPE);
        EXPECT_EQ(form.ShowModal(), mrCancel);
    }
    {
        realinput::PressWhenShown enter(form.Handle(), VK_RETURN);
        EXPECT_EQ(form.ShowModal(), mrOk);
    }
    EXPECT_TRUE(IniControl.CheckDangerPath);
}

// Off the page buttons the arrows, Home and End belong to the control with the keys: they move the caret in
// the bind count field (Up and Down its number, through the up-down), the check in a radio group and the
// track bar's slider, and the page stays. On the page buttons they change the page.
TEST_F(FormOption, ArrowsHomeAndEndStayInTheControlOffThePageButtons) {
    IniControl.BindNum = 42;
    IniControl.OverWrite = 0;
    ShowForm();
    ::SetForegroundWindow(form.Handle());
    realinput::Serve(300);
    ASSERT_EQ(form.PageControlSetting.TabIndex(), 1);
    auto caret = [this] {
        DWORD start = 0, end = 0;
        SendMessageW(form.stBindNum.Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        return start == end ? static_cast<int>(start) : -1;  // -1: a selection, no plain caret
    };
    struct Step {
        WORD key;
        int expected;  // the caret, the checked button's index or the slider's position after the key
    };
    struct Control {
        const char* what;
        TWinControl* control;
        std::function<int()> state;
        std::vector<Step> steps;
    };
    const Control controls[] = {
        {"bind count field", &form.stBindNum, caret,
         {{VK_HOME, 0}, {VK_END, 2}, {VK_LEFT, 1}, {VK_HOME, 0}, {VK_RIGHT, 1}, {VK_END, 2}}},
        {"bind count by the up-down", &form.stBindNum, [this] { return std::stoi(form.stBindNum.Text()); },
         {{VK_UP, 43}, {VK_UP, 44}, {VK_DOWN, 43}}},
        {"overwrite group", &form.rbtnConfirm, [this] { return overWriteChecked(); },
         {{VK_DOWN, 1}, {VK_RIGHT, 2}, {VK_UP, 1}, {VK_LEFT, 0}, {VK_END, 0}, {VK_HOME, 0}}},
        {"buffer size", &form.trackBufferSize, [this] { return form.trackBufferSize.Position(); },
         {{VK_END, 100}, {VK_HOME, 5}, {VK_RIGHT, 6}, {VK_LEFT, 5}}},
    };
    for (const Control& c : controls) {
        c.control->SetFocus();
        realinput::Serve(100);
        for (const Step& s : c.steps) {
            SCOPED_TRACE(std::string(c.what) + ", key " + std::to_string(s.key));
            realinput::Press(s.key);
            EXPECT_EQ(form.PageControlSetting.TabIndex(), 1) << "the page stays";
            EXPECT_TRUE(c.control->Visible());
            EXPECT_EQ(c.state(), s.expected);
        }
    }
    // On the page buttons the same keys change the page.
    form.PageControlSetting.SetFocus();
    realinput::Serve(100);
    for (const Step& s : {Step{VK_RIGHT, 2}, Step{VK_HOME, 0}, Step{VK_END, 3}, Step{VK_LEFT, 2}}) {
        SCOPED_TRACE(s.key);
        realinput::Press(s.key);
        EXPECT_EQ(form.PageControlSetting.TabIndex(), s.expected);
    }
    form.Hide();
}

// A load that stops half-way leaves the boxes of the shell state unloaded: OK must then not apply them, or the
// user's shortcuts and associations would go. The first step's click handler throws, so nothing of the shell
// state has been read when OK is pressed.
TEST_F(FormOption, IncompleteLoadLeavesTheShellAlone) {
    Register(rmtTrash, {"lzh", "zip"});
    bool resist = false;
    ASSERT_TRUE(form.Shell.UpdateSendToLink(true, resist));
    ASSERT_TRUE(form.Shell.UpdateProgramsMenuLink(false, true));
    const std::wstring registryBefore = ExportShellKeys();
    IniControl.CheckDangerPath = true;
    form.chkCheckDangerPath.OnClick = [] { throw std::runtime_error("the load breaks off here"); };
    ShowForm();
    EXPECT_FALSE(form.LoadComplete());
    EXPECT_FALSE(form.chkEnableRightMenu.Checked()) << "the shell state was not loaded";
    form.chkCheckDangerPath.OnClick = nullptr;
    Ok();
    EXPECT_EQ(ExportShellKeys(), registryBefore);
    EXPECT_TRUE(form.Shell.IsSendToLinkPresent());
    EXPECT_TRUE(form.Shell.UpdateProgramsMenuLink(true, false));
}
