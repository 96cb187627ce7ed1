// The control wrappers: creation on a form, text in Shift-JIS, and the notification rules of each kind.
#include "platform/controls.h"

#include <algorithm>
#include <stdexcept>

#include "platform/application.h"
#include "platform/form.h"
#include "platform/sjis.h"

namespace platform {

namespace {
std::wstring WindowTextW(HWND h) {
    int n = ::GetWindowTextLengthW(h);
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    w.resize(static_cast<size_t>(::GetWindowTextW(h, w.data(), n + 1)));
    return w;
}

// Splits at CR LF, as the multi-line edit keeps its lines.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            if (start < text.size()) lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}
}  // namespace

TWinControl::~TWinControl() {
    auto notifications = std::move(freeNotifications_);
    for (auto& [key, fn] : notifications) {
        try {
            fn(this);
        } catch (...) {
            Application.HandleException();
        }
    }
    if (form_) form_->UnregisterControl(this);
    if (hwnd_) ::DestroyWindow(hwnd_);
}

void TWinControl::Detach() noexcept {
    form_ = nullptr;
    hwnd_ = nullptr;
}

void TWinControl::CreateControl(TForm& form, const wchar_t* windowClass, DWORD style, DWORD exStyle, int x,
                                int y, int width, int height, std::string_view text) {
    if (hwnd_) throw std::logic_error("Control created twice");
    form_ = &form;
    id_ = form.RegisterControl(this);
    hwnd_ =
        ::CreateWindowExW(exStyle, windowClass, SjisToWide(text).c_str(), WS_CHILD | WS_VISIBLE | style, x, y,
                          width, height, form.Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)),
                          ::GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) {
        form.UnregisterControl(this);
        form_ = nullptr;
        throw std::runtime_error("Cannot create a control window");
    }
    if (form.Font()) Send(WM_SETFONT, reinterpret_cast<WPARAM>(form.Font()), FALSE);
}

std::string TWinControl::Text() const { return WideToSjis(WindowTextW(hwnd_)); }

void TWinControl::SetText(std::string_view text) {
    Updating quiet(*this);
    ::SetWindowTextW(hwnd_, SjisToWide(text).c_str());
}

bool TWinControl::Enabled() const { return ::IsWindowEnabled(hwnd_) != FALSE; }
void TWinControl::SetEnabled(bool enabled) { ::EnableWindow(hwnd_, enabled ? TRUE : FALSE); }
bool TWinControl::Visible() const { return (::GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0; }
void TWinControl::SetVisible(bool visible) { ::ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE); }
void TWinControl::SetBounds(int x, int y, int width, int height) {
    ::SetWindowPos(hwnd_, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}
void TWinControl::SetFocus() { ::SetFocus(hwnd_); }

int TextWidth(HWND window, HFONT font, std::string_view text) {
    HDC dc = ::GetDC(window);
    HGDIOBJ old = ::SelectObject(dc, font);
    std::wstring w = SjisToWide(text);
    SIZE size{};
    ::GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
    ::SelectObject(dc, old);
    ::ReleaseDC(window, dc);
    return size.cx;
}

int TWinControl::TextWidth(std::string_view text) const {
    return platform::TextWidth(hwnd_, reinterpret_cast<HFONT>(Send(WM_GETFONT)), text);
}

void TWinControl::SetColor(COLORREF color) {
    color_ = color;
    brush_.Reset(color == CLR_INVALID ? nullptr : ::CreateSolidBrush(color));
    if (hwnd_) ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void TWinControl::AddFreeNotification(void* key, std::function<void(TWinControl*)> fn) {
    RemoveFreeNotification(key);
    freeNotifications_.emplace_back(key, std::move(fn));
}

void TWinControl::RemoveFreeNotification(void* key) {
    std::erase_if(freeNotifications_, [key](const auto& p) { return p.first == key; });
}

// --- buttons -----------------------------------------------------------------------------------------------

void TButton::Create(TForm& form, int x, int y, int width, int height, std::string_view caption,
                     bool isDefault) {
    CreateControl(form, L"BUTTON", WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0, x, y,
                  width, height, caption);
    if (isDefault) form.SetDefaultButton(hwnd_);
}

void TButton::HandleCommand(WORD code) {
    if (code == BN_CLICKED) Click();
}

void TCheckBox::Create(TForm& form, int x, int y, int width, int height, std::string_view caption) {
    CreateControl(form, L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX, 0, x, y, width, height, caption);
}

bool TCheckableButton::Checked() const { return Send(BM_GETCHECK) == BST_CHECKED; }

void TCheckableButton::HandleCommand(WORD code) {
    if (code == BN_CLICKED && !updating_ && OnClick) OnClick();
}

void TCheckBox::SetChecked(bool checked) {
    if (Checked() == checked) return;
    Send(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED);
    if (OnClick) OnClick();
}

void TRadioButton::Create(TForm& form, int x, int y, int width, int height, std::string_view caption,
                          bool firstOfGroup) {
    CreateControl(form, L"BUTTON", BS_AUTORADIOBUTTON | (firstOfGroup ? WS_GROUP | WS_TABSTOP : 0), 0, x, y,
                  width, height, caption);
}

void TRadioButton::SetChecked(bool checked) {
    if (Checked() == checked) return;
    Send(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED);
    if (!hwnd_) return;
    if (!checked) {
        FixGroupTabStop(hwnd_);
        return;
    }
    // An automatic radio button clears the others of its group only on a user click; do it here too.
    // The group runs from the nearest sibling at or before this one with WS_GROUP to the next one with it.
    // Walked by window order, not by the dialog's group walk, which skips hidden and disabled buttons and so
    // never came back to a hidden start.
    auto style = [](HWND h) { return ::GetWindowLongPtrW(h, GWL_STYLE); };
    HWND first = hwnd_;
    for (HWND prev; !(style(first) & WS_GROUP) && (prev = ::GetWindow(first, GW_HWNDPREV));) first = prev;
    for (HWND h = first; h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        if (h != first && (style(h) & WS_GROUP)) break;
        if (h != hwnd_ && (style(h) & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
            ::SendMessageW(h, BM_SETCHECK, BST_UNCHECKED, 0);
    }
    FixGroupTabStop(hwnd_);
    if (OnClick) OnClick();
}

namespace {
bool IsRadioButton(HWND h) {
    wchar_t cls[16] = {};
    ::GetClassNameW(h, cls, 16);
    return _wcsicmp(cls, L"Button") == 0 && (::GetWindowLongPtrW(h, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON;
}
}  // namespace

void TRadioButton::FixGroupTabStop(HWND button) {
    if (!button || !IsRadioButton(button)) return;
    auto style = [](HWND h) { return ::GetWindowLongPtrW(h, GWL_STYLE); };
    // The group: from the button with WS_GROUP at or before this one, the radio buttons that follow it.
    HWND first = button;
    for (HWND prev; !(style(first) & WS_GROUP) && (prev = ::GetWindow(first, GW_HWNDPREV)) && IsRadioButton(prev);)
        first = prev;
    std::vector<HWND> group;
    for (HWND h = first; h && IsRadioButton(h) && (h == first || !(style(h) & WS_GROUP));
         h = ::GetWindow(h, GW_HWNDNEXT))
        group.push_back(h);
    auto reachable = [](HWND h) { return ::IsWindowVisible(h) && ::IsWindowEnabled(h); };
    HWND stop = nullptr;
    for (HWND h : group)
        if (!stop && reachable(h) && ::SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED) stop = h;
    for (HWND h : group)
        if (!stop && reachable(h)) stop = h;
    if (!stop) stop = group.front();
    for (HWND h : group) {
        LONG_PTR s = style(h);
        LONG_PTR wanted = h == stop ? (s | WS_TABSTOP) : (s & ~static_cast<LONG_PTR>(WS_TABSTOP));
        if (wanted != s) ::SetWindowLongPtrW(h, GWL_STYLE, wanted);
    }
}

void TRadioButton::HandleCommand(WORD code) {
    // A click or an arrow key checked this button: the group is entered here from now on.
    if (code == BN_CLICKED) FixGroupTabStop(hwnd_);
    TCheckableButton::HandleCommand(code);
}

void TLabel::Create(TForm& form, int x, int y, int width, int height, std::string_view caption, DWORD align) {
    CreateControl(form, L"STATIC", align | SS_NOPREFIX, 0, x, y, width, height, caption);
}

void TLabel::HandleCommand(WORD code) {
    if (code == STN_CLICKED && OnClick) OnClick();
}

void TGroupBox::Create(TForm& form, int x, int y, int width, int height, std::string_view caption) {
    // A group box paints only its frame and caption. Transparent, it is not clipped out of what its form
    // and a page control paint beneath it, so nothing of a page shown before stays inside it.
    CreateControl(form, L"BUTTON", BS_GROUPBOX, WS_EX_TRANSPARENT, x, y, width, height, caption);
}

// --- edits -------------------------------------------------------------------------------------------------

void TEdit::Create(TForm& form, int x, int y, int width, int height, std::string_view text, bool readOnly) {
    Updating quiet(*this);
    CreateControl(form, L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL | (readOnly ? ES_READONLY : 0), WS_EX_CLIENTEDGE,
                  x, y, width, height, text);
}

void TEdit::SetTextQuiet(std::string_view text) { SetText(text); }

void TEdit::SetReadOnly(bool readOnly) { Send(EM_SETREADONLY, readOnly ? TRUE : FALSE); }

void TEdit::HandleCommand(WORD code) {
    if (code == EN_CHANGE && !updating_ && OnChange) OnChange();
}

namespace {
constexpr wchar_t kMemoProp[] = L"TMemo";
}

TMemo::~TMemo() { Unsubclass(); }

void TMemo::Create(TForm& form, int x, int y, int width, int height, bool readOnly) {
    CreateControl(form, L"EDIT",
                  WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                      (readOnly ? ES_READONLY : 0),
                  WS_EX_CLIENTEDGE, x, y, width, height, {});
    // 0 lifts the default limit of about 32K characters.
    Send(EM_SETLIMITTEXT, 0);
    ::SetPropW(hwnd_, kMemoProp, this);
    memoProc_ = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TMemo::MemoProc)));
}

void TMemo::Unsubclass() noexcept {
    if (!memoProc_) return;
    if (hwnd_ && ::IsWindow(hwnd_) && ::GetPropW(hwnd_, kMemoProp) == this) {
        ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(memoProc_));
        ::RemovePropW(hwnd_, kMemoProp);
    }
    memoProc_ = nullptr;
}

LRESULT CALLBACK TMemo::MemoProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<TMemo*>(::GetPropW(hwnd, kMemoProp));
    if (!self || !self->memoProc_) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    WNDPROC original = self->memoProc_;
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        ::RemovePropW(hwnd, kMemoProp);
        self->memoProc_ = nullptr;
        return ::CallWindowProcW(original, hwnd, msg, wParam, lParam);
    }
    LRESULT result = ::CallWindowProcW(original, hwnd, msg, wParam, lParam);
    // A multi-line edit asks for every key, Tab included, to insert it; a read-only one has nothing to
    // insert, and holding on to Tab would keep the focus in it for good.
    if (msg == WM_GETDLGCODE && (::GetWindowLongPtrW(hwnd, GWL_STYLE) & ES_READONLY))
        result &= ~static_cast<LRESULT>(DLGC_WANTALLKEYS | DLGC_WANTTAB);
    return result;
}

void TMemo::Add(std::string_view line) {
    Updating quiet(*this);
    int length = ::GetWindowTextLengthW(hwnd_);
    std::wstring w = (length > 0 ? L"\r\n" : L"") + SjisToWide(line);
    Send(EM_SETSEL, static_cast<WPARAM>(length), length);
    Send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(w.c_str()));
}

void TMemo::Clear() {
    SetText({});
    // Emptied, the edit paints only where its lines were; what lay below them (an earlier scroll's copy)
    // would stay.
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

size_t TMemo::LineCount() const { return Lines().size(); }

std::vector<std::string> TMemo::Lines() const { return SplitLines(Text()); }

void TMemo::SetLines(const std::vector<std::string>& lines) {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) text += "\r\n";
        text += lines[i];
    }
    SetText(text);
}

// --- combo box ---------------------------------------------------------------------------------------------

namespace {
constexpr wchar_t kComboProp[] = L"TComboBox";
}

TComboBox::~TComboBox() { Unsubclass(); }

void TComboBox::Create(TForm& form, int x, int y, int width, int height, TComboStyle style) {
    style_ = style;
    CreateControl(form, L"COMBOBOX",
                  WS_TABSTOP | WS_VSCROLL | CBS_AUTOHSCROLL |
                      (style == csDropDownList ? CBS_DROPDOWNLIST : CBS_DROPDOWN),
                  0, x, y, width, height, {});
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    if (style != csDropDown || !::GetComboBoxInfo(hwnd_, &info) || !info.hwndItem) return;
    edit_ = info.hwndItem;
    ::SetPropW(edit_, kComboProp, this);
    editProc_ = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TComboBox::EditProc)));
}

void TComboBox::Unsubclass() noexcept {
    if (!edit_) return;
    if (::IsWindow(edit_) && ::GetPropW(edit_, kComboProp) == this) {
        ::SetWindowLongPtrW(edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(editProc_));
        ::RemovePropW(edit_, kComboProp);
    }
    edit_ = nullptr;
}

LRESULT CALLBACK TComboBox::EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<TComboBox*>(::GetPropW(hwnd, kComboProp));
    if (!self) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    WNDPROC original = self->editProc_;
    if (msg == WM_CONTEXTMENU && self->PopupMenu && self->form_) {
        ::SendMessageW(self->form_->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hwnd), lParam);
        return 0;
    }
    if (msg == WM_NCDESTROY) self->Unsubclass();
    return ::CallWindowProcW(original, hwnd, msg, wParam, lParam);
}

int TComboBox::Count() const { return static_cast<int>(Send(CB_GETCOUNT)); }

int TComboBox::Add(std::string_view item) {
    Updating quiet(*this);
    std::wstring w = SjisToWide(item);
    return static_cast<int>(Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str())));
}

void TComboBox::Insert(int index, std::string_view item) {
    Updating quiet(*this);
    std::wstring w = SjisToWide(item);
    Send(CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(w.c_str()));
}

void TComboBox::Delete(int index) {
    Updating quiet(*this);
    Send(CB_DELETESTRING, static_cast<WPARAM>(index));
}

void TComboBox::Clear() {
    Updating quiet(*this);
    Send(CB_RESETCONTENT);
}

std::string TComboBox::Item(int index) const {
    LRESULT n = Send(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (n == CB_ERR) return {};
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    n = Send(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(w.data()));
    if (n == CB_ERR) return {};
    w.resize(static_cast<size_t>(n));
    return WideToSjis(w);
}

void TComboBox::SetItem(int index, std::string_view item) {
    Updating quiet(*this);
    int selected = ItemIndex();
    std::string text = Text();
    Delete(index);
    Insert(index, item);
    if (selected == index)
        SetItemIndex(index);
    else if (style_ == csDropDown)
        SetText(text);
}

int TComboBox::ItemIndex() const { return static_cast<int>(Send(CB_GETCURSEL)); }

void TComboBox::SetItemIndex(int index) {
    Updating quiet(*this);
    Send(CB_SETCURSEL, static_cast<WPARAM>(index));
}

std::string TComboBox::Text() const {
    if (style_ == csDropDownList) {
        int i = ItemIndex();
        return i >= 0 ? Item(i) : std::string();
    }
    return TWinControl::Text();
}

void TComboBox::SetText(std::string_view text) {
    Updating quiet(*this);
    if (style_ == csDropDownList) {
        std::wstring w = SjisToWide(text);
        Send(CB_SETCURSEL, static_cast<WPARAM>(Send(CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                    reinterpret_cast<LPARAM>(w.c_str()))));
        return;
    }
    Send(CB_SETCURSEL, static_cast<WPARAM>(-1));
    TWinControl::SetText(text);
}

void TComboBox::HandleCommand(WORD code) {
    if (updating_) return;
    if (code == CBN_SELCHANGE) {
        // The edit part still shows the old text at this point; readers of Text() want the new one.
        int i = ItemIndex();
        if (style_ == csDropDown && i >= 0) {
            Updating quiet(*this);
            TWinControl::SetText(Item(i));
            Send(CB_SETCURSEL, static_cast<WPARAM>(i));
        }
        if (OnChange) OnChange();
    } else if (code == CBN_EDITCHANGE) {
        if (OnChange) OnChange();
    }
}

// --- progress, status, tabs --------------------------------------------------------------------------------

void TProgressBar::Create(TForm& form, int x, int y, int width, int height) {
    CreateControl(form, PROGRESS_CLASSW, 0, 0, x, y, width, height, {});
}
void TProgressBar::SetRange(int minimum, int maximum) {
    Send(PBM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
}
int TProgressBar::Position() const { return static_cast<int>(Send(PBM_GETPOS)); }
void TProgressBar::SetPosition(int position) { Send(PBM_SETPOS, static_cast<WPARAM>(position)); }

void TStatusBar::Create(TForm& form) {
    CreateControl(form, STATUSCLASSNAMEW, SBARS_SIZEGRIP, 0, 0, 0, 0, 0, {});
}

void TStatusBar::SetPanels(const std::vector<int>& widths) {
    std::vector<int> edges;
    int x = 0;
    for (size_t i = 0; i < widths.size(); ++i) {
        x += widths[i];
        edges.push_back(i + 1 == widths.size() ? -1 : x);
    }
    if (edges.empty()) edges.push_back(-1);
    Send(SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
}

std::string TStatusBar::PanelText(int panel) const {
    LRESULT n = LOWORD(Send(SB_GETTEXTLENGTHW, static_cast<WPARAM>(panel)));
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    Send(SB_GETTEXTW, static_cast<WPARAM>(panel), reinterpret_cast<LPARAM>(w.data()));
    w.resize(static_cast<size_t>(n));
    return WideToSjis(w);
}

void TStatusBar::SetPanelText(int panel, std::string_view text) {
    std::wstring w = SjisToWide(text);
    Send(SB_SETTEXTW, static_cast<WPARAM>(panel), reinterpret_cast<LPARAM>(w.c_str()));
}

int TStatusBar::HeightPixels() const {
    RECT r{};
    ::GetWindowRect(hwnd_, &r);
    return r.bottom - r.top;
}

void TStatusBar::ParentResized() { Send(WM_SIZE); }

void TTabControl::Create(TForm& form, int x, int y, int width, int height, int tabWidth, bool flatButtons) {
    flat_ = flatButtons;
    DWORD style = WS_TABSTOP | WS_CLIPSIBLINGS | (flatButtons ? TCS_BUTTONS | TCS_FLATBUTTONS : 0) |
                  (tabWidth > 0 ? TCS_FIXEDWIDTH : 0);
    CreateControl(form, WC_TABCONTROLW, style, 0, x, y, width, height, {});
    if (tabWidth > 0) Send(TCM_SETITEMSIZE, 0, MAKELPARAM(tabWidth, 0));
    if (!form.PageControl()) form.SetPageControl(this);
    SetBounds(x, y, width, height);
}

void TTabControl::SetBounds(int x, int y, int width, int height) {
    bounds_ = {x, y, x + width, y + height};
    Fit();
}

void TTabControl::SetTabWidth(int width) {
    Send(TCM_SETITEMSIZE, 0, MAKELPARAM(width, 0));
    Fit();
}

RECT TTabControl::PageRect() const {
    // The control's own page area for the bounds given, whatever part of them its window covers.
    RECT r{0, 0, bounds_.right - bounds_.left, bounds_.bottom - bounds_.top};
    if (hwnd_) Send(TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    if (flat_) r = {0, r.top, bounds_.right - bounds_.left, bounds_.bottom - bounds_.top};
    ::OffsetRect(&r, bounds_.left, bounds_.top);
    return r;
}

void TTabControl::Fit() {
    if (!hwnd_) return;
    const int width = bounds_.right - bounds_.left, height = bounds_.bottom - bounds_.top;
    RECT page = PageRect();
    ::OffsetRect(&page, -bounds_.left, -bounds_.top);
    if (flat_) {
        // The buttons' row and nothing below it: the page area belongs to the form.
        const int strip = std::clamp(static_cast<int>(page.top), 1, std::max(height, 1));
        ::SetWindowPos(hwnd_, nullptr, bounds_.left, bounds_.top, width, strip, SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    ::SetWindowPos(hwnd_, nullptr, bounds_.left, bounds_.top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    // The frame and the tabs only: the page's controls lie in the hole.
    HRGN region = ::CreateRectRgn(0, 0, width, height);
    UniqueRegion hole(::CreateRectRgn(page.left, page.top, page.right, page.bottom));
    ::CombineRgn(region, region, hole.Get(), RGN_DIFF);
    // The window owns the region from here on.
    if (!::SetWindowRgn(hwnd_, region, TRUE)) ::DeleteObject(region);
}

int TTabControl::AddPage(std::string_view caption) {
    std::wstring w = SjisToWide(caption);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = w.data();
    int index = static_cast<int>(Send(TCM_INSERTITEMW, pages_.size(), reinterpret_cast<LPARAM>(&item)));
    pages_.emplace_back();
    // The first tab sets the height of the row.
    Fit();
    return index;
}

void TTabControl::AddToPage(int page, TWinControl& control) {
    pages_.at(static_cast<size_t>(page)).push_back(&control);
    control.SetVisible(page == TabIndex() || (TabIndex() < 0 && page == 0));
    // Right after the tab control and the controls added before: the pages keep the order in which their
    // controls were added, which is their tab order and what closes a radio group.
    HWND after = lastOnPage_ ? lastOnPage_ : hwnd_;
    if (after != control.Handle())
        ::SetWindowPos(control.Handle(), after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    lastOnPage_ = control.Handle();
}

int TTabControl::PageCount() const { return static_cast<int>(pages_.size()); }
int TTabControl::TabIndex() const { return static_cast<int>(Send(TCM_GETCURSEL)); }

void TTabControl::SetTabIndex(int index) {
    // As buttons, the focused tab is a second state of its own: it follows the page.
    if (flat_) Send(TCM_SETCURFOCUS, static_cast<WPARAM>(index));
    Send(TCM_SETCURSEL, static_cast<WPARAM>(index));
    ShowPage(index);
}

void TTabControl::SelectPage(int index) {
    if (index < 0 || index >= PageCount()) return;
    HWND focus = ::GetFocus();
    const bool focusOnForm = form_ && (focus == form_->Handle() || !focus || !::IsChild(form_->Handle(), focus));
    bool focusLeaves = false;
    for (TWinControl* c : pages_[static_cast<size_t>(TabIndex() < 0 ? 0 : TabIndex())])
        if (focus && (focus == c->Handle() || ::IsChild(c->Handle(), focus))) focusLeaves = true;
    if (index != TabIndex()) SetTabIndex(index);
    // A control that is no longer shown must not keep the keys: the new page's first control takes them.
    if (form_ && (focusLeaves || (focusOnForm && ::GetActiveWindow() == form_->Handle()))) {
        HWND next = ::GetNextDlgTabItem(form_->Handle(), hwnd_, FALSE);
        ::SetFocus(next ? next : hwnd_);
    }
    if (OnChange) OnChange();
}

bool TTabControl::HandlePageKey(WORD key, bool ctrl, bool shift) {
    const int count = PageCount();
    if (count < 2 || !::IsWindowVisible(hwnd_) || !::IsWindowEnabled(hwnd_)) return false;
    const int current = std::max(TabIndex(), 0);
    int next = -1;
    if (ctrl) {
        // Anywhere on the form, round the pages as a property sheet does.
        int step = 0;
        if (key == VK_TAB)
            step = shift ? -1 : 1;
        else if (key == VK_NEXT)
            step = 1;
        else if (key == VK_PRIOR)
            step = -1;
        else
            return false;
        next = (current + step + count) % count;
    } else {
        // On the focused tab, along the row without going round.
        if (::GetFocus() != hwnd_) return false;
        switch (key) {
            case VK_LEFT:
            case VK_UP: next = std::max(current - 1, 0); break;
            case VK_RIGHT:
            case VK_DOWN: next = std::min(current + 1, count - 1); break;
            case VK_HOME: next = 0; break;
            case VK_END: next = count - 1; break;
            default: return false;
        }
    }
    if (next != current) SelectPage(next);
    return true;
}

void TTabControl::ShowPage(int index) {
    for (size_t p = 0; p < pages_.size(); ++p)
        for (TWinControl* c : pages_[p]) c->SetVisible(static_cast<int>(p) == index);
}

LRESULT TTabControl::HandleNotify(NMHDR* header) {
    if (header->code == TCN_SELCHANGE) {
        ShowPage(TabIndex());
        if (OnChange) OnChange();
    }
    return 0;
}

// --- image list and timer ----------------------------------------------------------------------------------

TImageList::TImageList(int width, int height) : width_(width), height_(height) {
    handle_ = ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, 8, 8);
}

TImageList::~TImageList() {
    if (handle_) ImageList_Destroy(handle_);
}

int TImageList::Count() const { return handle_ ? ImageList_GetImageCount(handle_) : 0; }

int TImageList::AddIcon(HICON icon) {
    if (!handle_ || !icon) return -1;
    return ImageList_ReplaceIcon(handle_, -1, icon);
}

bool TImageList::Delete(int index) { return handle_ && ImageList_Remove(handle_, index) != FALSE; }

void TImageList::Clear() {
    if (handle_) ImageList_RemoveAll(handle_);
}

bool TImageList::Assign(const TImageList& other) {
    if (&other == this || !handle_) return false;
    Clear();
    for (int i = 0; i < other.Count(); ++i) {
        UniqueIcon icon(ImageList_GetIcon(other.handle_, i, ILD_NORMAL));
        if (AddIcon(icon.Get()) < 0) return false;
    }
    return true;
}

TTimer::~TTimer() {
    if (enabled_) Application.StopTimer(this);
}

void TTimer::SetInterval(UINT ms) {
    interval_ = ms;
    if (enabled_) Application.StartTimer(this, interval_);
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled) {
        Application.StartTimer(this, interval_);
    } else {
        Application.StopTimer(this);
    }
}

void TTimer::Fire() {
    if (OneShot) SetEnabled(false);
    if (OnTimer) OnTimer();
}

}  // namespace platform
