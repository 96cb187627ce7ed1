// A small console program that the end-to-end driver runs beside Velmor, in the same Wine desktop, to act
// as a user would and to read what the user would see:
//   wait-window CLASS TITLE MS      exit 0 once a visible window of that class and title exists
//   count-windows CLASS TITLE       print how many windows of that class and title exist
//   close CLASS TITLE               post WM_CLOSE to the window
//   drop CLASS TITLE PATH...        post a shell drop of the paths (wide names) to the window
//   rows CLASS TITLE                print the first list view's rows, one per line, sub-items after tabs (UTF-8)
//   answer CAPTION BUTTON MS        click Yes, No, OK or Cancel of the dialog box with that caption
//   text CAPTION MS                 print the text of the message box with that caption
//   menu CLASS TITLE KEY [KEY...]   open a menu of the bar by its access key, then press keys (a letter,
//                                   down, enter, esc)
//   texts CLASS TITLE               print the texts of the window's visible child windows, one per line
//   style CLASS TITLE               print the window's extended style in hex (topmost is 0x8)
//   rect CLASS TITLE                print the window's outer rectangle: left top right bottom
//   settext CLASS TITLE N TEXT      put TEXT into the window's N-th edit field (0 first, combo edits too)
//   click CLASS TITLE TEXT          click the window's button (check box, radio button) with that caption
//   tab CLASS TITLE INDEX           click the tab of that index on the window's first tab control
//   shell VERB FILE MS              start FILE's verb through the shell, as a context-menu choice does, and
//                                   wait for the started program to end
// Reading what lies where, for the cases that drive the windows with real mouse and keyboard input:
//   children CLASS TITLE            print the window's direct child windows in creation order, one per line:
//                                   id, class, visible, enabled, screen rectangle, text (tab-separated)
//   hittest CLASS TITLE             check that every visible, enabled child is what a click at its centre
//                                   (and at a box's check mark, at each tab) reaches, and that no child lies
//                                   outside the client area; print the faults, exit 1 when there are any
//   client CLASS TITLE              print the client area's screen rectangle
//   tabrect CLASS TITLE INDEX       print the screen rectangle of a tab of the window's first tab control
//   focus CLASS TITLE               print the class, id and text of the window that has the keyboard focus
//   owner CLASS TITLE               print the class and title of the window's owner (empty: none)
//   workarea                        print the work area: left top right bottom
//   tabround CLASS TITLE [back]     press Tab (Shift+Tab) until the keys come back and check that they reached
//                                   every shown, enabled control once, in the window's tab order
//   tabindex CLASS TITLE            print the page shown by the window's first tab control
//   redraw CLASS TITLE              have the window and all its children painted again from scratch
//   popup MS                        print the screen rectangle of the pop-up menu shown within MS ms
// Texts on the command line are UTF-16 (the driver passes them through Wine as they are).
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

void Print(const std::wstring& text) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                  nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), n, nullptr,
                          nullptr);
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written,
                nullptr);
}

struct Match {
    const wchar_t* cls;
    const wchar_t* title;
    std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND hwnd, LPARAM lp) {
    auto* m = reinterpret_cast<Match*>(lp);
    wchar_t cls[256] = {}, title[512] = {};
    ::GetClassNameW(hwnd, cls, 256);
    ::GetWindowTextW(hwnd, title, 512);
    if ((!m->cls || wcscmp(cls, m->cls) == 0) && wcscmp(title, m->title) == 0) m->found.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> Windows(const wchar_t* cls, const wchar_t* title) {
    Match m{cls, title, {}};
    ::EnumWindows(Collect, reinterpret_cast<LPARAM>(&m));
    return m.found;
}

HWND WaitFor(const wchar_t* cls, const wchar_t* title, DWORD ms, bool visible) {
    DWORD start = ::GetTickCount();
    do {
        for (HWND h : Windows(cls, title))
            if (!visible || ::IsWindowVisible(h)) return h;
        ::Sleep(50);
    } while (::GetTickCount() - start < ms);
    return nullptr;
}

// The drop data is written into Velmor's own memory, as a shell drop would hand it over there: a drop handle
// is only meaningful inside the process that receives it.
int Drop(HWND target, int count, wchar_t** paths) {
    size_t chars = 1;
    for (int i = 0; i < count; ++i) chars += wcslen(paths[i]) + 1;
    std::vector<BYTE> data(sizeof(DROPFILES) + chars * sizeof(wchar_t), 0);
    auto* df = reinterpret_cast<DROPFILES*>(data.data());
    df->pFiles = sizeof(DROPFILES);
    df->fWide = TRUE;
    auto* p = reinterpret_cast<wchar_t*>(df + 1);
    for (int i = 0; i < count; ++i) {
        wcscpy(p, paths[i]);
        p += wcslen(paths[i]) + 1;
    }
    DWORD pid = 0;
    ::GetWindowThreadProcessId(target, &pid);
    HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return 3;
    void* remote = ::VirtualAllocEx(process, nullptr, data.size(), MEM_COMMIT, PAGE_READWRITE);
    SIZE_T done = 0;
    bool ok = remote && ::WriteProcessMemory(process, remote, data.data(), data.size(), &done);
    ::CloseHandle(process);
    if (!ok) return 4;
    return ::PostMessageW(target, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0) ? 0 : 1;
}

// Reads the rows through memory in Velmor's process: list-view messages carry pointers there.
BOOL CALLBACK FirstListView(HWND hwnd, LPARAM lp) {
    wchar_t cls[64] = {};
    ::GetClassNameW(hwnd, cls, 64);
    if (wcscmp(cls, WC_LISTVIEWW) != 0 || !::IsWindowVisible(hwnd)) return TRUE;
    *reinterpret_cast<HWND*>(lp) = hwnd;
    return FALSE;
}

int Rows(HWND form) {
    HWND lv = nullptr;
    ::EnumChildWindows(form, FirstListView, reinterpret_cast<LPARAM>(&lv));
    if (!lv) return 2;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(lv, &pid);
    HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return 3;
    constexpr SIZE_T kText = 2048;
    auto* remote = static_cast<BYTE*>(
        ::VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + kText * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
    int rows = static_cast<int>(::SendMessageW(lv, LVM_GETITEMCOUNT, 0, 0));
    HWND header = reinterpret_cast<HWND>(::SendMessageW(lv, LVM_GETHEADER, 0, 0));
    int columns = header ? static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
    for (int r = 0; r < rows; ++r) {
        std::wstring line;
        for (int c = 0; c < columns; ++c) {
            LVITEMW item{};
            item.iSubItem = c;
            item.cchTextMax = kText;
            item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
            SIZE_T done = 0;
            ::WriteProcessMemory(process, remote, &item, sizeof(item), &done);
            ::SendMessageW(lv, LVM_GETITEMTEXTW, r, reinterpret_cast<LPARAM>(remote));
            std::vector<wchar_t> text(kText, L'\0');
            ::ReadProcessMemory(process, remote + sizeof(LVITEMW), text.data(), kText * sizeof(wchar_t), &done);
            if (c) line += L'\t';
            line += text.data();
        }
        Print(line + L"\n");
    }
    ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    ::CloseHandle(process);
    return 0;
}

struct StaticText {
    std::wstring text;
};
BOOL CALLBACK CollectStatic(HWND hwnd, LPARAM lp) {
    wchar_t cls[64] = {};
    ::GetClassNameW(hwnd, cls, 64);
    if (_wcsicmp(cls, L"Static") == 0) {
        wchar_t text[2048] = {};
        ::GetWindowTextW(hwnd, text, 2048);
        if (text[0]) reinterpret_cast<StaticText*>(lp)->text += text;
    }
    return TRUE;
}

// WM_GETTEXT, not GetWindowText: only the message reaches an edit control's text in another process.
BOOL CALLBACK PrintChild(HWND hwnd, LPARAM) {
    if (!::IsWindowVisible(hwnd)) return TRUE;
    std::vector<wchar_t> text(1 << 16, L'\0');
    DWORD_PTR got = 0;
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                          SMTO_ABORTIFHUNG, 5000, &got);
    if (text[0]) Print(std::wstring(text.data()) + L"\n");
    return TRUE;
}

// Opens a menu of the bar by its access key and presses keys in it, as a user at the keyboard would; the
// keys are posted to the window's thread, where the menu loop reads them. Other processes cannot read
// Wine's menus, so the items are reached by key, not by text.
int MenuKeys(HWND form, wchar_t access, int count, wchar_t** keys) {
    if (!::PostMessageW(form, WM_SYSCOMMAND, SC_KEYMENU, access)) return 1;
    for (int i = 0; i < count; ++i) {
        ::Sleep(300);
        std::wstring k = keys[i];
        UINT vk = k == L"enter" ? VK_RETURN : k == L"down" ? VK_DOWN : k == L"esc" ? VK_ESCAPE : 0;
        if (vk) {
            ::PostMessageW(form, WM_KEYDOWN, vk, 1);
            ::PostMessageW(form, WM_KEYUP, vk, 0xC0000001);
        } else {
            ::PostMessageW(form, WM_CHAR, k[0], 1);
        }
    }
    return 0;
}

struct ChildByText {
    const wchar_t* text;
    const wchar_t* cls;
    HWND found;
};
BOOL CALLBACK FindChild(HWND hwnd, LPARAM lp) {
    auto* m = reinterpret_cast<ChildByText*>(lp);
    wchar_t text[512] = {}, cls[64] = {};
    ::GetWindowTextW(hwnd, text, 512);
    ::GetClassNameW(hwnd, cls, 64);
    if ((m->text && wcscmp(text, m->text) != 0) || (m->cls && _wcsicmp(cls, m->cls) != 0)) return TRUE;
    m->found = hwnd;
    return FALSE;
}

HWND Child(HWND parent, const wchar_t* text, const wchar_t* cls) {
    ChildByText m{text, cls, nullptr};
    ::EnumChildWindows(parent, FindChild, reinterpret_cast<LPARAM>(&m));
    return m.found;
}

BOOL CALLBACK CollectEdits(HWND w, LPARAM lp) {
    wchar_t cls[64] = {};
    ::GetClassNameW(w, cls, 64);
    if (_wcsicmp(cls, L"Edit") == 0) reinterpret_cast<std::vector<HWND>*>(lp)->push_back(w);
    return TRUE;
}

// A press and release in the middle of the tab: the tab control tells its form as for a user's click.
int ClickTab(HWND form, int index) {
    HWND tab = Child(form, nullptr, WC_TABCONTROLW);
    if (!tab) return 2;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(tab, &pid);
    HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return 3;
    void* remote = ::VirtualAllocEx(process, nullptr, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
    RECT r{};
    SIZE_T done = 0;
    bool ok = remote && ::SendMessageW(tab, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(remote)) &&
              ::ReadProcessMemory(process, remote, &r, sizeof(r), &done);
    if (remote) ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    ::CloseHandle(process);
    if (!ok) return 4;
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ::PostMessageW(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(tab, WM_LBUTTONUP, 0, at);
    return 0;
}

int ShellVerb(const wchar_t* verb, const wchar_t* file, DWORD ms) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = verb;
    info.lpFile = file;
    info.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExW(&info)) return 2;
    if (!info.hProcess) return 3;
    DWORD wait = ::WaitForSingleObject(info.hProcess, ms);
    DWORD code = 0;
    ::GetExitCodeProcess(info.hProcess, &code);
    ::CloseHandle(info.hProcess);
    if (wait != WAIT_OBJECT_0) return 124;
    Print(std::to_wstring(code) + L"\n");
    return 0;
}

}  // namespace

// --- real input: where things are and what a click reaches -------------------------------------------------
namespace input {

std::wstring Rect(const RECT& r) {
    return std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " + std::to_wstring(r.right) + L" " +
           std::to_wstring(r.bottom);
}

std::wstring ClassOf(HWND h) {
    wchar_t cls[64] = {};
    ::GetClassNameW(h, cls, 64);
    return cls;
}

// WM_GETTEXT reaches an edit control's text in another process; one line, at most 200 characters.
std::wstring TextOf(HWND h) {
    std::vector<wchar_t> text(1 << 16, L'\0');
    DWORD_PTR got = 0;
    ::SendMessageTimeoutW(h, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                          5000, &got);
    std::wstring t = text.data();
    for (wchar_t& c : t)
        if (c == L'\t' || c == L'\r' || c == L'\n') c = L' ';
    return t.substr(0, 200);
}

bool IsKind(HWND h, const wchar_t* cls, LONG_PTR buttonType = -1) {
    if (_wcsicmp(ClassOf(h).c_str(), cls) != 0) return false;
    return buttonType < 0 || (::GetWindowLongPtrW(h, GWL_STYLE) & BS_TYPEMASK) == buttonType;
}
bool IsGroupBox(HWND h) { return IsKind(h, L"Button", BS_GROUPBOX); }
bool IsCheckMark(HWND h) {
    return IsKind(h, L"Button", BS_AUTOCHECKBOX) || IsKind(h, L"Button", BS_AUTORADIOBUTTON) ||
           IsKind(h, L"Button", BS_CHECKBOX) || IsKind(h, L"Button", BS_RADIOBUTTON);
}

// Direct children in creation order (the forms number their controls as they create them).
std::vector<HWND> Children(HWND form) {
    std::vector<std::pair<int, HWND>> found;
    for (HWND h = ::GetWindow(form, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT))
        found.emplace_back(::GetDlgCtrlID(h), h);
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<HWND> out;
    for (auto& [id, h] : found) out.push_back(h);
    return out;
}

std::wstring Describe(HWND h) { return ClassOf(h) + L" '" + TextOf(h) + L"'"; }

// The child a click at the point is drawn on: the topmost visible sibling whose rectangle holds it; group
// boxes only frame what lies inside them.
HWND DrawnAt(HWND form, POINT pt) {
    for (HWND h = ::GetWindow(form, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        if (!::IsWindowVisible(h) || IsGroupBox(h)) continue;
        RECT r{};
        ::GetWindowRect(h, &r);
        if (!::PtInRect(&r, pt)) continue;
        // A window with a region is drawn only inside it (a framed tab control leaves its page area out).
        HRGN region = ::CreateRectRgn(0, 0, 0, 0);
        const bool outside =
            ::GetWindowRgn(h, region) != ERROR && !::PtInRegion(region, pt.x - r.left, pt.y - r.top);
        ::DeleteObject(region);
        if (!outside) return h;
    }
    return nullptr;
}

// The tab rectangles of a tab control, in screen coordinates, read through memory in its process.
std::vector<RECT> TabRects(HWND tab) {
    std::vector<RECT> out;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(tab, &pid);
    HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return out;
    void* remote = ::VirtualAllocEx(process, nullptr, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
    int count = static_cast<int>(::SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0));
    for (int i = 0; remote && i < count; ++i) {
        RECT r{};
        SIZE_T done = 0;
        if (!::SendMessageW(tab, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(remote)) ||
            !::ReadProcessMemory(process, remote, &r, sizeof(r), &done))
            break;
        ::MapWindowPoints(tab, nullptr, reinterpret_cast<POINT*>(&r), 2);
        out.push_back(r);
    }
    if (remote) ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    ::CloseHandle(process);
    return out;
}

int HitTest(HWND form) {
    RECT client{};
    ::GetClientRect(form, &client);
    ::MapWindowPoints(form, nullptr, reinterpret_cast<POINT*>(&client), 2);
    int faults = 0, checked = 0;
    auto fault = [&](const std::wstring& line) {
        Print(line + L"\n");
        ++faults;
    };
    for (HWND h : Children(form)) {
        if (!::IsWindowVisible(h)) continue;
        RECT r{};
        ::GetWindowRect(h, &r);
        if (r.left < client.left || r.top < client.top || r.right > client.right || r.bottom > client.bottom)
            fault(L"outside: " + Describe(h) + L" at " + Rect(r) + L", client " + Rect(client));
        if (!::IsWindowEnabled(h) || IsGroupBox(h)) continue;
        std::vector<POINT> points;
        if (IsKind(h, WC_TABCONTROLW)) {
            for (const RECT& t : TabRects(h))
                points.push_back({(t.left + t.right) / 2, (t.top + t.bottom) / 2});
        } else {
            points.push_back({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
            if (IsCheckMark(h)) points.push_back({r.left + 7, (r.top + r.bottom) / 2});
        }
        for (POINT pt : points) {
            HWND top = DrawnAt(form, pt);
            if (top != h)
                fault(L"covered: " + Describe(h) + L" at " + std::to_wstring(pt.x) + L"," +
                      std::to_wstring(pt.y) + L" lies under " + (top ? Describe(top) : L"nothing"));
        }
        ++checked;
    }
    Print(L"checked " + std::to_wstring(checked) + L" controls, " + std::to_wstring(faults) + L" faults\n");
    return faults ? 1 : 0;
}

// The window with the keys in the form's thread, or null.
HWND FocusOf(HWND form) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    return ::GetGUIThreadInfo(::GetWindowThreadProcessId(form, nullptr), &info) ? info.hwndFocus : nullptr;
}

// The form's direct child that holds the keys (a combo box for its edit part), or null.
HWND FocusedChild(HWND form) {
    HWND f = FocusOf(form);
    while (f && ::GetParent(f) && ::GetParent(f) != form) f = ::GetParent(f);
    return f && ::GetParent(f) == form ? f : nullptr;
}

bool IsRadio(HWND h) { return IsKind(h, L"Button", BS_AUTORADIOBUTTON) || IsKind(h, L"Button", BS_RADIOBUTTON); }

// The controls a user works with, which Tab must reach: buttons and boxes (a radio group once, at its
// button with the tab stop), fields, lists, track bars and tab controls that are shown and enabled, in the
// order of the window list, which is the order of the dialog keys.
std::vector<HWND> TabStops(HWND form, int& faults) {
    static const wchar_t* const kKinds[] = {L"Button", L"Edit", L"ComboBox", L"SysListView32", L"SysTreeView32",
                                            L"ListBox", L"msctls_trackbar32", L"SysTabControl32"};
    std::vector<HWND> out;
    std::vector<HWND> group;
    auto closeGroup = [&] {
        if (group.empty()) return;
        int stops = 0;
        for (HWND b : group)
            if (::GetWindowLongPtrW(b, GWL_STYLE) & WS_TABSTOP) {
                out.push_back(b);
                ++stops;
            }
        if (stops != 1) {
            Print(L"radio group at " + Describe(group.front()) + L" has " + std::to_wstring(stops) +
                  L" tab stops\n");
            ++faults;
        }
        group.clear();
    };
    for (HWND h = ::GetWindow(form, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        const LONG_PTR style = ::GetWindowLongPtrW(h, GWL_STYLE);
        if (IsRadio(h)) {
            if (style & WS_GROUP) closeGroup();
            if (::IsWindowVisible(h) && ::IsWindowEnabled(h)) group.push_back(h);
            continue;
        }
        closeGroup();
        if (!::IsWindowVisible(h) || !::IsWindowEnabled(h) || IsGroupBox(h)) continue;
        bool kind = false;
        for (const wchar_t* k : kKinds) kind = kind || IsKind(h, k);
        if (!kind) continue;
        if (!(style & WS_TABSTOP)) {
            Print(L"no tab stop: " + Describe(h) + L"\n");
            ++faults;
            continue;
        }
        out.push_back(h);
    }
    closeGroup();
    return out;
}

// Presses Tab (Shift+Tab) through the system's input queue until the keys come back to the control that
// had them, and compares the controls reached with the tab stops, in order.
int TabRound(HWND form, bool back) {
    int faults = 0;
    const std::vector<HWND> stops = TabStops(form, faults);
    HWND start = FocusedChild(form);
    auto where = std::find(stops.begin(), stops.end(), start);
    if (where == stops.end()) {
        Print(L"the keys are not on a control: " + (start ? Describe(start) : std::wstring(L"nothing")) + L"\n");
        return 1;
    }
    std::vector<HWND> expected;
    const size_t at = static_cast<size_t>(where - stops.begin());
    for (size_t i = 1; i <= stops.size(); ++i)
        expected.push_back(stops[(at + (back ? stops.size() * 2 - i : i)) % stops.size()]);
    auto key = [](WORD vk, bool down) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = vk;
        in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
        ::SendInput(1, &in, sizeof in);
    };
    std::vector<HWND> reached;
    HWND now = start;
    for (size_t i = 0; i < stops.size() + 4; ++i) {
        if (back) key(VK_SHIFT, true);
        key(VK_TAB, true);
        key(VK_TAB, false);
        if (back) key(VK_SHIFT, false);
        HWND before = now;
        // Velmor takes the key in its own time: a generous wait only catches a key that moved nothing.
        for (int wait = 0; wait < 1000 && (now = FocusedChild(form)) == before; ++wait) ::Sleep(10);
        reached.push_back(now);
        if (now == start) break;
    }
    auto list = [](const std::vector<HWND>& v) {
        std::wstring out;
        for (HWND h : v) out += L"  " + (h ? Describe(h) : std::wstring(L"(none)")) + L"\n";
        return out;
    };
    if (reached != expected) {
        Print(L"reached:\n" + list(reached) + L"expected:\n" + list(expected));
        ++faults;
    }
    Print(L"round of " + std::to_wstring(reached.size()) + L" controls, " + std::to_wstring(faults) +
          L" faults\n");
    return faults ? 1 : 0;
}

// -1: not a verb of this block.
int Run(int argc, wchar_t** argv) {
    std::wstring verb = argv[1];
    if (verb == L"workarea" && argc == 2) {
        RECT r{};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
        Print(Rect(r) + L"\n");
        return 0;
    }
    if (verb == L"popup" && argc == 3) {
        HWND menu = WaitFor(L"#32768", L"", _wtoi(argv[2]), true);
        RECT r{};
        if (!menu || !::GetWindowRect(menu, &r)) return 1;
        Print(Rect(r) + L"\n");
        return 0;
    }
    if (argc < 4) return -1;
    const bool known = verb == L"children" || verb == L"hittest" || verb == L"client" || verb == L"tabrect" ||
                       verb == L"focus" || verb == L"owner" || verb == L"redraw" || verb == L"tabround" ||
                       verb == L"tabindex";
    if (!known) return -1;
    HWND form = WaitFor(argv[2], argv[3], 0, true);
    if (!form) return 1;
    if (verb == L"children") {
        for (HWND h : Children(form)) {
            RECT r{};
            ::GetWindowRect(h, &r);
            Print(std::to_wstring(::GetDlgCtrlID(h)) + L"\t" + ClassOf(h) + L"\t" +
                  (::IsWindowVisible(h) ? L"1" : L"0") + L"\t" + (::IsWindowEnabled(h) ? L"1" : L"0") +
                  L"\t" + Rect(r) + L"\t" + TextOf(h) + L"\n");
        }
        return 0;
    }
    if (verb == L"hittest") return HitTest(form);
    if (verb == L"tabround") return TabRound(form, argc > 4 && std::wstring(argv[4]) == L"back");
    if (verb == L"tabindex") {
        HWND tab = Child(form, nullptr, WC_TABCONTROLW);
        if (!tab) return 2;
        Print(std::to_wstring(::SendMessageW(tab, TCM_GETCURSEL, 0, 0)) + L"\n");
        return 0;
    }
    if (verb == L"client") {
        RECT r{};
        ::GetClientRect(form, &r);
        ::MapWindowPoints(form, nullptr, reinterpret_cast<POINT*>(&r), 2);
        Print(Rect(r) + L"\n");
        return 0;
    }
    if (verb == L"tabrect" && argc == 5) {
        HWND tab = Child(form, nullptr, WC_TABCONTROLW);
        std::vector<RECT> tabs = tab ? TabRects(tab) : std::vector<RECT>{};
        size_t i = static_cast<size_t>(_wtoi(argv[4]));
        if (i >= tabs.size()) return 2;
        Print(Rect(tabs[i]) + L"\n");
        return 0;
    }
    if (verb == L"focus") {
        HWND f = FocusOf(form);
        if (!f) return 2;
        Print(ClassOf(f) + L"\t" + std::to_wstring(::GetDlgCtrlID(f)) + L"\t" + TextOf(f) + L"\t" +
              ClassOf(::GetParent(f)) + L"\n");
        return 0;
    }
    if (verb == L"owner") {
        HWND owner = ::GetWindow(form, GW_OWNER);
        wchar_t title[512] = {};
        if (owner) ::GetWindowTextW(owner, title, 512);
        Print(owner ? ClassOf(owner) + L"\t" + title + L"\n" : L"\n");
        return 0;
    }
    if (verb == L"redraw") {
        return ::RedrawWindow(form, nullptr, nullptr,
                              RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW)
                   ? 0
                   : 1;
    }
    return -1;
}

}  // namespace input

int wmain(int argc, wchar_t** argv) {
    // The harness tells a run that started from one that Wine never started.
    if (const wchar_t* mark = _wgetenv(L"E2E_HELPER_STARTED"))
        ::CloseHandle(
            ::CreateFileW(mark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (argc < 2) return 64;
    if (int rc = input::Run(argc, argv); rc != -1) return rc;
    std::wstring verb = argv[1];
    if (verb == L"wait-window" && argc == 5) return WaitFor(argv[2], argv[3], _wtoi(argv[4]), true) ? 0 : 1;
    if (verb == L"count-windows" && argc == 4) {
        Print(std::to_wstring(Windows(argv[2], argv[3]).size()) + L"\n");
        return 0;
    }
    if (verb == L"close" && argc == 4) {
        HWND h = WaitFor(argv[2], argv[3], 0, false);
        return h && ::PostMessageW(h, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    if (verb == L"drop" && argc >= 5) {
        HWND h = WaitFor(argv[2], argv[3], 0, false);
        return h ? Drop(h, argc - 4, argv + 4) : 1;
    }
    if (verb == L"menu" && argc >= 5) {
        HWND h = WaitFor(argv[2], argv[3], 0, false);
        return h ? MenuKeys(h, argv[4][0], argc - 5, argv + 5) : 1;
    }
    if (verb == L"texts" && argc == 4) {
        HWND h = WaitFor(argv[2], argv[3], 0, false);
        if (!h) return 1;
        ::EnumChildWindows(h, PrintChild, 0);
        return 0;
    }
    if (verb == L"style" && argc == 4) {
        HWND h = WaitFor(argv[2], argv[3], 0, false);
        if (!h) return 1;
        wchar_t hex[32];
        swprintf(hex, 32, L"%lx\n", static_cast<unsigned long>(::GetWindowLongW(h, GWL_EXSTYLE)));
        Print(hex);
        return 0;
    }
    if (verb == L"rect" && argc == 4) {
        HWND h = WaitFor(argv[2], argv[3], 0, false);
        RECT r{};
        if (!h || !::GetWindowRect(h, &r)) return 1;
        Print(std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " + std::to_wstring(r.right) +
              L" " + std::to_wstring(r.bottom) + L"\n");
        return 0;
    }
    if (verb == L"settext" && argc == 6) {
        HWND h = WaitFor(argv[2], argv[3], 0, false);
        if (!h) return 1;
        std::vector<HWND> edits;
        ::EnumChildWindows(h, CollectEdits, reinterpret_cast<LPARAM>(&edits));
        size_t n = static_cast<size_t>(_wtoi(argv[4]));
        DWORD_PTR got = 0;
        return n < edits.size() &&
                       ::SendMessageTimeoutW(edits[n], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[5]),
                                             SMTO_ABORTIFHUNG, 5000, &got)
                   ? 0
                   : 1;
    }
    if (verb == L"click" && argc == 5) {
        HWND h = WaitFor(argv[2], argv[3], 0, false);
        HWND button = h ? Child(h, argv[4], L"Button") : nullptr;
        return button && ::PostMessageW(button, BM_CLICK, 0, 0) ? 0 : 1;
    }
    if (verb == L"tab" && argc == 5) {
        HWND h = WaitFor(argv[2], argv[3], 0, false);
        return h ? ClickTab(h, _wtoi(argv[4])) : 1;
    }
    if (verb == L"shell" && argc == 5) return ShellVerb(argv[2], argv[3], _wtoi(argv[4]));
    if (verb == L"rows" && argc == 4) {
        HWND h = WaitFor(argv[2], argv[3], 0, false);
        return h ? Rows(h) : 1;
    }
    if ((verb == L"answer" && argc == 5) || (verb == L"text" && argc == 4)) {
        DWORD ms = _wtoi(argv[verb == L"answer" ? 4 : 3]);
        HWND box = WaitFor(L"#32770", argv[2], ms, true);
        if (!box) return 1;
        if (verb == L"text") {
            StaticText out;
            ::EnumChildWindows(box, CollectStatic, reinterpret_cast<LPARAM>(&out));
            Print(out.text + L"\n");
            return 0;
        }
        std::wstring b = argv[3];
        int id = b == L"yes" ? IDYES : b == L"no" ? IDNO : b == L"cancel" ? IDCANCEL : IDOK;
        HWND button = ::GetDlgItem(box, id);
        if (!button) return 2;
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        return 0;
    }
    return 64;
}
