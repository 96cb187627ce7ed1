// The log viewer, the About box and the generic dialog: log lines found and reloaded on every show (missing,
// empty and large Shift-JIS files, to the last line), the version from the test program's own version
// resource, the logo from the program's folder, and the dialog's answers; where both viewers and the About
// box open, where their keys go and how Esc closes them; under Xvfb with screenshots.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "app/forms/form_arc_view.h"
#include "app/forms/form_dialog_ex.h"
#include "app/forms/form_log_view.h"
#include "app/forms/form_version.h"
#include "forms_test_util.h"
#include "has_display.h"
#include "platform/application.h"
#include "platform/sjis.h"
#include "real_input.h"
#include "support/temp_dir.h"

using namespace velmor;
using namespace testsupport;
using formstest::Pump;

namespace {
std::vector<std::string> LinesOf(const TLogText& text) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < text.Count(); ++i) lines.emplace_back(text.Line(i));
    return lines;
}
}  // namespace

TEST(LogViewRules, LinesAndPath) {
    EXPECT_EQ(LinesOf(TLogText("a\r\nb\nc")), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(LinesOf(TLogText("a\r\n\r\n")), (std::vector<std::string>{"a", ""}));
    EXPECT_TRUE(LinesOf(TLogText("")).empty());
    EXPECT_EQ(TLogText("ab\r\nabcd\r\nabc").Longest(), 1u);
    // Tabs stop at every eighth column, a double-byte character taking two.
    EXPECT_EQ(TLogLinesView::DisplayText("a\tb"), L"a       b");
    EXPECT_EQ(TLogLinesView::DisplayText("\x95\x5C\tb"), L"\u8868      b");  // 表
    std::optional<std::string> path = LogFilePath();
    ASSERT_TRUE(path);
    EXPECT_EQ(path->substr(path->size() - 14), "\\VelmorLog.txt");
}

TEST(VersionRules, ReadsTheJapaneseStringTable) {
    ReadFileVersion();
    EXPECT_EQ(FileVersionText, "1.4.1.1");
    // A program without a version resource gives no text.
    EXPECT_EQ(ReadFileVersionOf(formstest::ProgramFolder() + L"\\forms_explorer_window.exe"), "");
    EXPECT_EQ(ReadFileVersionOf(L"Z:\\no\\such.exe"), "");
}

namespace {

class SmallWindows : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HasDisplay()) GTEST_SKIP() << "these windows need a display";
        platform::Application.Initialize();
    }
    TempDir dir_;
    formstest::BoxRecorder boxes_;
};

// A 32x32 icon file of one colour.
std::string IconFile() {
    std::string f;
    auto put16 = [&f](uint16_t v) { f.append(reinterpret_cast<const char*>(&v), 2); };
    auto put32 = [&f](uint32_t v) { f.append(reinterpret_cast<const char*>(&v), 4); };
    const uint32_t pixels = 32 * 32 * 4, mask = 32 * 4, size = 40 + pixels + mask;
    put16(0), put16(1), put16(1);  // icon directory, one image
    f += static_cast<char>(32), f += static_cast<char>(32), f += '\0', f += '\0';
    put16(1), put16(32), put32(size), put32(22);           // entry: planes, bits, size, offset
    put32(40), put32(32), put32(64), put16(1), put16(32);  // header (height counts both masks)
    put32(0), put32(pixels + mask), put32(0), put32(0), put32(0), put32(0);
    for (uint32_t i = 0; i < 32 * 32; ++i) put32(0xFF2060C0);
    f.append(mask, '\0');
    return f;
}

}  // namespace

// The rows the log viewer's list shows, as the list itself gives them.
std::vector<std::string> ShownRows(const TLogLinesView& view) {
    std::vector<std::string> rows;
    const int count = static_cast<int>(SendMessageW(view.Handle(), LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t buffer[1024] = {};
        LVITEMW item{};
        item.pszText = buffer;
        item.cchTextMax = 1024;
        SendMessageW(view.Handle(), LVM_GETITEMTEXTW, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(&item));
        rows.push_back(platform::WideToSjis(buffer));
    }
    return rows;
}

TEST_F(SmallWindows, LogViewerReloadsOnEveryShow) {
    TfrmLogView view;
    std::wstring file = dir_.File(L"VelmorLog.txt");
    view.LogPath = [&] { return std::optional<std::string>(platform::WideToSjis(file)); };
    view.Create();
    view.Show();
    EXPECT_EQ(ShownRows(view.memoLogView), (std::vector<std::string>{TfrmLogView::kNoLogText}));
    view.Hide();

    ASSERT_TRUE(WriteFileBytes(file, ""));
    view.Show();
    EXPECT_TRUE(ShownRows(view.memoLogView).empty());
    view.Hide();

    // Lines appended between two shows appear; a Shift-JIS log past 100 KB shows whole, to its last line,
    // which has no line end; a line longer than the list's own text buffer shows whole.
    std::string log;
    for (int i = 0; log.size() < 120 * 1024; ++i) log += std::to_string(i) + "：解凍しました\t表示\r\n";
    ASSERT_TRUE(WriteFileBytes(file, log));
    view.Show();
    view.Hide();
    const std::string longLine = "長い行 " + std::string(600, 'x');
    ASSERT_TRUE(WriteFileBytes(file, log + longLine + "\r\n最後の行"));
    view.Show();
    std::vector<std::string> rows = ShownRows(view.memoLogView);
    ASSERT_GT(rows.size(), 3000u);
    EXPECT_EQ(rows.front(), "0：解凍しました 表示");
    EXPECT_EQ(rows[rows.size() - 2], longLine);
    EXPECT_EQ(rows.back(), "最後の行");
    EXPECT_TRUE(boxes_.boxes.empty());

    // Ctrl+A and Ctrl+C take every line, as the file has them.
    view.memoLogView.SelectAll();
    EXPECT_EQ(view.memoLogView.SelectedText(), log + longLine + "\r\n最後の行\r\n");
    view.SetBounds(0, 0, 640, 420);
    SendMessageW(view.memoLogView.Handle(), LVM_ENSUREVISIBLE, 0, FALSE);
    formstest::Screenshot(L"log_view");
    view.Destroy();
}

TEST_F(SmallWindows, AboutBoxShowsTheVersionAndTheProgramFoldersLogo) {
    std::wstring icon = formstest::ProgramFolder() + L"\\Icon.ico";
    ASSERT_TRUE(WriteFileBytes(icon, IconFile()));
    // The current folder has no logo; the program's folder has.
    wchar_t old[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, old);
    SetCurrentDirectoryW(dir_.Path().c_str());
    TfrmVersion box;
    std::string opened;
    box.OpenUrl = [&opened](HWND, const std::string& url) { opened = url; };
    box.Create();
    box.Show();
    SetCurrentDirectoryW(old);
    EXPECT_EQ(box.Edit1.Text(), "1.4.1.1");
    EXPECT_TRUE(box.HasLogo());
    box.lblAuthorWebClick();
    EXPECT_EQ(opened, TfrmVersion::kWebAddress);
    box.SetPosition(0, 0);
    formstest::Screenshot(L"version");
    box.btnOK.Click();
    EXPECT_FALSE(box.Visible());
    box.Destroy();
    DeleteFileW(icon.c_str());

    // Without the file the box still shows, without its picture.
    TfrmVersion bare;
    bare.Create();
    bare.Show();
    EXPECT_FALSE(bare.HasLogo());
    EXPECT_EQ(bare.Edit1.Text(), "1.4.1.1");
    bare.Destroy();
}

TEST_F(SmallWindows, GenericDialogAnswers) {
    TfrmDialogEx dialog;
    dialog.Create();
    dialog.ShowDialogEx("上書きしますか？", "確認");
    EXPECT_TRUE(dialog.Visible());
    EXPECT_EQ(dialog.Caption(), "確認");
    EXPECT_EQ(dialog.memoMsg.Text(), "上書きしますか？");
    dialog.SetPosition(0, 0);
    formstest::Screenshot(L"dialog_ex");
    struct Case {
        platform::TButton* button;
        int result;
    } cases[] = {{&dialog.btnYes, platform::mrYes},
                 {&dialog.btnNo, platform::mrNo},
                 {&dialog.btnCancel, platform::mrCancel}};
    for (const Case& c : cases) {
        dialog.ShowDialogEx("m", "c");
        c.button->Click();
        EXPECT_EQ(dialog.ModalResult(), c.result);
        EXPECT_FALSE(dialog.Visible());
    }
    dialog.Destroy();
}

namespace {
class TOwnerForm : public platform::TForm {
public:
    TOwnerForm() : TForm(L"TSmallWindowsOwner") {}
};

// The test's form as the program's main window while it lives.
class MainFormScope {
public:
    explicit MainFormScope(platform::TForm& form) : old_(platform::Application.MainForm()) {
        platform::Application.SetMainForm(&form);
    }
    ~MainFormScope() { platform::Application.SetMainForm(old_); }

private:
    platform::TForm* old_;
};

RECT RectOf(HWND h) {
    RECT r{};
    GetWindowRect(h, &r);
    return r;
}
}  // namespace

// Both viewers open over the main window that owns them, centred on it and whole on the work area where the
// main window sits at its edge; Esc closes them as it closes the dialogs. A viewer the user moved stays where
// it is when the main window comes back from the task bar, and the log viewer keeps the lines it shows.
TEST_F(SmallWindows, ViewersOpenOverTheMainWindowAndEscClosesThem) {
    TOwnerForm owner;
    owner.Create();
    MainFormScope mainForm(owner);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const std::wstring file = dir_.File(L"VelmorLog.txt");
    ASSERT_TRUE(WriteFileBytes(file, "  1| 一行目\r\n"));
    TfrmArcView arcView;
    TfrmLogView logView;
    logView.LogPath = [&] { return std::optional<std::string>(platform::WideToSjis(file)); };
    arcView.Create();
    logView.Create();
    struct Case {
        int left, top;
        bool centred;  // false: at the work area's edge, where centring would leave it
    } cases[] = {{200, 150, true},
                 {static_cast<int>(work.right) - 300, static_cast<int>(work.bottom) - 200, false},
                 {static_cast<int>(work.left) - 200, static_cast<int>(work.top), false}};
    for (platform::TForm* viewer : std::initializer_list<platform::TForm*>{&arcView, &logView}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(platform::WideToSjis(viewer->ClassName()) + " " + std::to_string(c.left));
            owner.SetBounds(c.left, c.top, 500, 400);
            owner.Show();
            viewer->Show();
            SetForegroundWindow(viewer->Handle());
            Pump(300);
            formstest::ExpectPlacedOver(viewer->Handle(), owner.Handle(), c.centred);
            realinput::Press(VK_ESCAPE);
            EXPECT_FALSE(viewer->Visible()) << "Esc closes the viewer";
            EXPECT_TRUE(owner.Visible());
        }
        owner.SetBounds(200, 150, 500, 400);
        viewer->Show();
        viewer->SetPosition(10, 20);
        ASSERT_TRUE(WriteFileBytes(file, "  1| 一行目\r\n  2| 二行目\r\n"));
        // As the caption's buttons do: the system hides the owned windows and shows them again.
        SendMessageW(owner.Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
        Pump(300);
        SendMessageW(owner.Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
        Pump(300);
        EXPECT_TRUE(viewer->Visible());
        EXPECT_EQ(RectOf(viewer->Handle()).left, 10);
        EXPECT_EQ(RectOf(viewer->Handle()).top, 20);
        if (viewer == &logView) {
            EXPECT_EQ(logView.memoLogView.Content().Count(), 1u) << "the log viewer read the file again";
        }
        viewer->Hide();
        ASSERT_TRUE(WriteFileBytes(file, "  1| 一行目\r\n"));
    }
    EXPECT_TRUE(boxes_.boxes.empty());
    arcView.Destroy();
    logView.Destroy();
    owner.Destroy();
}

// The About box gives the keys to OK, where Enter and Esc close it; its version field, a borderless text,
// never takes them at the showing. OK looks the default button whenever it has the keys.
TEST_F(SmallWindows, AboutBoxGivesTheKeysToOk) {
    TOwnerForm owner;
    owner.Create();
    MainFormScope mainForm(owner);
    owner.SetBounds(100, 100, 500, 400);
    owner.Show();
    TfrmVersion box;
    box.Create();
    for (WORD key : {VK_RETURN, VK_ESCAPE}) {
        SCOPED_TRACE(key);
        box.Show();
        SetForegroundWindow(box.Handle());
        Pump(300);
        EXPECT_EQ(GetFocus(), box.btnOK.Handle());
        EXPECT_EQ(GetWindow(box.Handle(), GW_OWNER), owner.Handle());
        // Tab round and back: OK keeps the keys' and the default button's look.
        EXPECT_EQ(realinput::TabRound(box.Handle(), false).back(), box.btnOK.Handle());
        EXPECT_EQ(GetWindowLongPtrW(box.btnOK.Handle(), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
        realinput::Press(key);
        EXPECT_FALSE(box.Visible());
    }
    box.Destroy();
    owner.Destroy();
}
