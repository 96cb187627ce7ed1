// The dialog keys on real windows, pressed as a user presses them (SendInput, through the system's input
// queue): Tab and Shift+Tab go round every control, a read-only multi-line text among them; the page keys of
// a property sheet change a tab control's page; a radio group is entered at its checked button; the keys come
// back to the control that had them; and a page container paints over none of its pages' controls, so a
// page's group boxes are whole at the first showing. The Xvfb pass runs them (GuiKeys.*).
#include <gtest/gtest.h>

#include "has_display.h"
#include "real_input.h"

#include <initializer_list>
#include <string>
#include <vector>

#include "platform/application.h"
#include "platform/controls.h"
#include "platform/dialog_support.h"
#include "platform/form.h"
#include "platform/list_view.h"

using namespace platform;

namespace {

class TKeysForm : public TForm {
public:
    TKeysForm() : TForm(L"TKeysForm") {}
};

using realinput::DifferentPixels;
using realinput::FocusedControl;
using realinput::Picture;
using realinput::Press;

void Pump(int ms = 150) { realinput::Serve(ms); }

class GuiKeys : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HasDisplay()) GTEST_SKIP() << "windows need a display";
        Application.Initialize();
        Application.OnException = [this](const std::string& m) { reported.push_back(m); };
        form.Create();
        form.SetBounds(60, 60, 420, 360);
    }
    void TearDown() override {
        form.Destroy();
        Application.OnException = nullptr;
        EXPECT_TRUE(reported.empty());
    }
    void ShowActive() {
        form.Show();
        ::SetForegroundWindow(form.Handle());
        Pump(300);
    }
    std::vector<HWND> Round(bool back) { return realinput::TabRound(form.Handle(), back); }
    TKeysForm form;
    std::vector<std::string> reported;
};

}  // namespace

TEST_F(GuiKeys, TabGoesRoundEveryControlAReadOnlyTextIncluded) {
    TEdit field;
    field.Create(form, 10, 10, 200, 22);
    TMemo log;
    log.Create(form, 10, 40, 300, 120);
    log.Add(" 1| 一行目");
    log.Add(" 2| 二行目");
    TButton ok, disabled;
    ok.Create(form, 10, 170, 80, 24, "OK");
    disabled.Create(form, 100, 170, 80, 24, "無効");
    disabled.SetEnabled(false);
    ShowActive();
    field.SetFocus();
    Pump();
    EXPECT_EQ(Round(false), (std::vector<HWND>{log.Handle(), ok.Handle(), field.Handle()}));
    EXPECT_EQ(Round(true), (std::vector<HWND>{ok.Handle(), log.Handle(), field.Handle()}));
    // Enter in the text presses no key of its own there: the text stays as it was.
    log.SetFocus();
    Press(VK_RETURN);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{" 1| 一行目", " 2| 二行目"}));
}

TEST_F(GuiKeys, PageKeysChangeThePageAsOnAPropertySheet) {
    TTabControl tabs;
    tabs.Create(form, 4, 4, 400, 200, 100);
    TCheckBox boxes[3];
    const char* captions[] = {"一", "二", "三"};
    for (int p = 0; p < 3; ++p) {
        tabs.AddPage(captions[p]);
        boxes[p].Create(form, 20, 50, 200, 20, std::string("ページ") + captions[p]);
        tabs.AddToPage(p, boxes[p]);
    }
    TButton ok;
    ok.Create(form, 20, 250, 80, 24, "OK");
    int changes = 0;
    tabs.OnChange = [&] { ++changes; };
    ShowActive();
    boxes[0].SetFocus();
    Pump();

    struct Step {
        WORD key;
        std::initializer_list<WORD> modifiers;
        int page;
    };
    // From a control of the page: the keys go round the pages, and the new page's control takes the keys.
    const Step fromPage[] = {
        {VK_TAB, {VK_CONTROL}, 1},         {VK_TAB, {VK_CONTROL, VK_SHIFT}, 0}, {VK_NEXT, {VK_CONTROL}, 1},
        {VK_PRIOR, {VK_CONTROL}, 0},       {VK_PRIOR, {VK_CONTROL}, 2},         {VK_TAB, {VK_CONTROL}, 0},
    };
    for (const Step& s : fromPage) {
        SCOPED_TRACE(std::to_string(s.key) + " to " + std::to_string(s.page));
        Press(s.key, s.modifiers);
        EXPECT_EQ(tabs.TabIndex(), s.page);
        for (int p = 0; p < 3; ++p) EXPECT_EQ(boxes[p].Visible(), p == s.page);
        EXPECT_EQ(FocusedControl(form.Handle()), boxes[s.page].Handle());
    }
    EXPECT_EQ(changes, 6);

    // On the focused tab the arrows, Home and End move along the row without going round.
    tabs.SetFocus();
    Pump();
    const Step onTab[] = {{VK_LEFT, {}, 0}, {VK_RIGHT, {}, 1}, {VK_DOWN, {}, 2}, {VK_RIGHT, {}, 2},
                          {VK_HOME, {}, 0}, {VK_END, {}, 2},   {VK_UP, {}, 1}};
    for (const Step& s : onTab) {
        SCOPED_TRACE(std::to_string(s.key) + " to " + std::to_string(s.page));
        Press(s.key, s.modifiers);
        EXPECT_EQ(tabs.TabIndex(), s.page);
        EXPECT_EQ(FocusedControl(form.Handle()), tabs.Handle());
    }

    // A control beside the pages keeps the keys.
    ok.SetFocus();
    Pump();
    Press(VK_TAB, {VK_CONTROL});
    EXPECT_EQ(tabs.TabIndex(), 2);
    EXPECT_EQ(FocusedControl(form.Handle()), ok.Handle());
}

TEST_F(GuiKeys, PageControlLiesUnderNoneOfItsPagesAndComesFirst) {
    TTabControl flat, framed;
    flat.Create(form, 4, 4, 200, 300, 80);
    framed.Create(form, 210, 4, 200, 300, 0, false);
    TGroupBox group;
    group.Create(form, 10, 40, 180, 100, "枠");
    TCheckBox inside;
    inside.Create(form, 20, 60, 160, 20, "中");
    flat.AddPage("一");
    flat.AddToPage(0, group);
    flat.AddToPage(0, inside);
    framed.AddPage("全パス");
    const RECT page = framed.PageRect();
    TListView list;
    list.Create(form, page.left, page.top, page.right - page.left, page.bottom - page.top);
    framed.AddToPage(0, list);

    auto rectOf = [](const TWinControl& c) {
        RECT r{};
        ::GetWindowRect(c.Handle(), &r);
        return r;
    };
    RECT overlap{};
    const RECT flatRect = rectOf(flat);
    for (const TWinControl* c : std::initializer_list<const TWinControl*>{&group, &inside}) {
        RECT r = rectOf(*c);
        EXPECT_FALSE(::IntersectRect(&overlap, &flatRect, &r)) << c->Text();
    }
    // Framed, the window keeps its frame and leaves the page area out.
    UniqueRegion region(::CreateRectRgn(0, 0, 0, 0));
    ASSERT_NE(::GetWindowRgn(framed.Handle(), region.Get()), ERROR);
    const RECT framedRect = rectOf(framed), listRect = rectOf(list);
    EXPECT_FALSE(::PtInRegion(region.Get(), (listRect.left + listRect.right) / 2 - framedRect.left,
                              (listRect.top + listRect.bottom) / 2 - framedRect.top));
    EXPECT_TRUE(::PtInRegion(region.Get(), 2, 4));
    // In the tab order the tabs come before their page.
    EXPECT_EQ(::GetNextDlgTabItem(form.Handle(), flat.Handle(), FALSE), inside.Handle());
    EXPECT_EQ(::GetNextDlgTabItem(form.Handle(), framed.Handle(), FALSE), list.Handle());
}

TEST_F(GuiKeys, GroupBoxesOfAPageAreWholeAtTheFirstShowing) {
    TTabControl tabs;
    tabs.Create(form, 4, 4, 400, 320, 100);
    tabs.AddPage("一");
    tabs.AddPage("二");
    TGroupBox groups[3];
    TCheckBox boxes[3];
    for (int i = 0; i < 3; ++i) {
        groups[i].Create(form, 12, 40 + i * 90, 380, 80, "同名のファイルがあった時");
        boxes[i].Create(form, 24, 64 + i * 90, 300, 20, "確認する");
        tabs.AddToPage(0, groups[i]);
        tabs.AddToPage(0, boxes[i]);
    }
    tabs.SetTabIndex(0);
    form.Show();
    Pump(600);
    const std::vector<uint32_t> first = Picture(form.Handle());
    form.Hide();
    Pump(200);
    form.Show();
    Pump(600);
    // A few pixels for a caret or a focus mark; a missing frame is hundreds.
    EXPECT_LE(DifferentPixels(first, Picture(form.Handle())), 20u);
}

TEST_F(GuiKeys, RadioGroupIsEnteredAtItsCheckedButton) {
    TEdit before;
    before.Create(form, 10, 10, 100, 22);
    TRadioButton a, b, c;
    a.Create(form, 10, 40, 100, 20, "a", true);
    b.Create(form, 10, 64, 100, 20, "b", false);
    c.Create(form, 10, 88, 100, 20, "c", false);
    TButton after;
    after.Create(form, 10, 120, 80, 24, "OK");
    TRadioGroup group{&a, &b, &c};
    ShowActive();
    struct Case {
        int checked;
        HWND entered;
    } cases[] = {{2, c.Handle()}, {-1, a.Handle()}, {1, b.Handle()}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.checked);
        group.SetChecked(k.checked);
        before.SetFocus();
        Pump();
        EXPECT_EQ(Round(false), (std::vector<HWND>{k.entered, after.Handle(), before.Handle()}));
    }
    // A user's arrow key moves the check, and the group is entered there from then on.
    b.SetFocus();
    Press(VK_DOWN);
    EXPECT_TRUE(c.Checked());
    before.SetFocus();
    Pump();
    EXPECT_EQ(Round(false), (std::vector<HWND>{c.Handle(), after.Handle(), before.Handle()}));
}

TEST_F(GuiKeys, KeysComeBackToTheControlThatHadThem) {
    TButton first, second;
    first.Create(form, 10, 10, 80, 24, "一");
    second.Create(form, 100, 10, 80, 24, "二");
    ShowActive();
    // Shown, the form gives the keys to its first control, not to its own window.
    EXPECT_EQ(::GetFocus(), first.Handle());
    second.SetFocus();
    TKeysForm other;
    other.Create();
    other.SetBounds(300, 300, 200, 150);
    other.Show();
    ::SetForegroundWindow(other.Handle());
    Pump(300);
    ::SetForegroundWindow(form.Handle());
    Pump(300);
    EXPECT_EQ(::GetFocus(), second.Handle());
    // A control named for the next activation takes them then.
    form.SetActiveControl(first);
    EXPECT_EQ(::GetFocus(), first.Handle());
    other.Destroy();
}

// A push button takes the default look while it has the keys; when Tab moves on to a box, the form's default
// button gets it back, or Enter would press a button that does not look like it.
TEST_F(GuiKeys, DefaultButtonLooksDefaultAgainWhenTheKeysLeaveAButton) {
    TCheckBox box;
    box.Create(form, 10, 10, 200, 20, "箱");
    TButton ok, cancel;
    ok.Create(form, 10, 40, 80, 24, "OK", true);
    cancel.Create(form, 100, 40, 80, 24, "取消");
    ShowActive();
    box.SetFocus();
    Pump();
    auto looksDefault = [](const TButton& b) {
        return (::GetWindowLongPtrW(b.Handle(), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    };
    EXPECT_EQ(Round(false), (std::vector<HWND>{ok.Handle(), cancel.Handle(), box.Handle()}));
    EXPECT_TRUE(looksDefault(ok));
    EXPECT_FALSE(looksDefault(cancel));
    Press(VK_TAB);
    Press(VK_TAB);
    EXPECT_TRUE(looksDefault(cancel)) << "the button with the keys looks default";
}

// Rows that move up when one goes are painted at their new places at once, not left as they were drawn.
TEST_F(GuiKeys, ListRowsArePaintedAgainAfterEachRowChange) {
    TListView list;
    list.Create(form, 10, 10, 380, 200);
    list.AddColumn("ファイル", 260);
    list.AddColumn("NO", 60, taRightJustify);
    for (const char* name : {"ok1.zip", "truncated.zip", "ok2.zip"}) {
        int row = list.AddItem(name);
        list.AddSubItem(row, std::to_string(row + 1));
    }
    ShowActive();
    Pump(300);
    for (int row : {0, 1}) {
        list.SetSelected(row, true);
        ::UpdateWindow(list.Handle());
        list.Delete(row);
        Pump(300);
        const std::vector<uint32_t> shown = Picture(list.Handle());
        ::RedrawWindow(list.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
        Pump(300);
        EXPECT_EQ(DifferentPixels(shown, Picture(list.Handle())), 0u) << "after deleting row " << row;
    }
}
