// Shell helpers: wildcard, folder-path, size and special-folder tables, the window rules of the folder under
// the pointer on window trees built here, and OpenFolder's refusal of anything but a folder.
#include "app/shell_util.h"

#include <gtest/gtest.h>

#include "has_display.h"

#include <string>
#include <thread>
#include <vector>

#include "platform/application.h"
#include "platform/sjis.h"

using namespace velmor;
using platform::SjisToWide;

TEST(Wildcard, PatternTable) {
    struct Case {
        const char* name;
        const char* pattern;
        bool match;
    } cases[] = {
        {"readme.txt", "*.TXT", true},
        {"abc", "a?c", true},
        {"ac", "a?c", false},
        {"abcb", "*b", true},
        {"readme", "*.", false},
        {"a.b", "*.", true},
        {"a", "**a", true},
        {"", "*", true},
        {"", "a", false},
        {"", "", true},
        {"x", "", false},
        {"abc", "*?*", true},
        {"", "?", false},
        {"aXbYc", "a*b*c", true},
        {"aXbY", "a*b*c", false},
        {"表.lzh", "?.LZH", true},
        {"ソフト.zip", "*ト.zip", true},
        {"ab", "a", false},
        {"a", "ab", false},
        {"abab", "*ab", true},
        {"x.tar.gz", "*.gz", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " / " + c.pattern);
        EXPECT_EQ(MatchesWildcard(c.name, c.pattern), c.match);
    }
}

TEST(Wildcard, ListTable) {
    struct Case {
        const char* name;
        const char* list;
        bool match;
    } cases[] = {
        {"x.lzh", "*.zip;;*.lzh", true}, {"x.lzh", " *.lzh", false}, {"x.lzh", "", false},
        {"x.lzh", ";;", false},          {"x.zip", "*.zip;", true},  {"表.rar", "*.lzh;表.*", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " / " + c.list);
        EXPECT_EQ(MatchesWildcardList(c.name, c.list), c.match);
    }
}

TEST(FolderPath, NormalizeTable) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"C:\\Temp", "C:\\Temp\\"},           {"C:\\Temp\\", "C:\\Temp\\"},
        {"C:\\Temp\\\\", "C:\\Temp\\"},       {"", "\\"},
        {"C:\\\x95\x5C", "C:\\\x95\x5C\\"},  // 表 ends in the trail byte 0x5C
        {"C:\\\x95\x5C\\", "C:\\\x95\x5C\\"}, {"D:\\", "D:\\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(NormalizeFolderPath(c.in), c.out);
    }
    EXPECT_EQ(WithTrailingBackslash("D:\\"), "D:\\");
    EXPECT_EQ(WithTrailingBackslash("C:\\\x83\x5C"), "C:\\\x83\x5C\\");  // ソ
    EXPECT_EQ(WithTrailingBackslash(""), "\\");
}

TEST(FileSize, Table) {
    struct Case {
        int64_t size;
        const char* unit;
        const char* text;
    } cases[] = {
        {1536, "KB", "1 KB"},   {500, "KB", "0 KB"}, {3145728, "MB", "3 MB"},         {1048575, "MB", "0 MB"},
        {-2048, "KB", "-2 KB"}, {100, "GB", " "},    {3221225472LL, "MB", "3072 MB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(FormatFileSize(c.size, c.unit), c.text);
    }
}

TEST(SpecialFolder, Table) {
    for (const char* name : {"desktop", "mydocument"}) {
        SCOPED_TRACE(name);
        std::string path = GetSpecialFolder(name);
        ASSERT_GT(path.size(), 3u);
        EXPECT_TRUE(platform::SjisEndsWithChar(path, '\\'));
        EXPECT_FALSE(platform::SjisEndsWithChar(path.substr(0, path.size() - 1), '\\'));
        DWORD attr = GetFileAttributesW(SjisToWide(path).c_str());
        EXPECT_TRUE(attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY));
    }
    EXPECT_EQ(GetSpecialFolder("Desktop"), "\\");
}

TEST(BrowseDialog, Placement) {
    struct Case {
        int x, y;
        POINT at;
    } cases[] = {
        {0, 300, {312, 234}},  // centred on a 1024x768 screen for a 400x300 dialog
        {-10, 50, {0, 50}},
        {900, 700, {624, 468}},
        {100, -5, {100, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        POINT p = PlaceBrowseDialog(c.x, c.y, 400, 300, 1024, 768);
        EXPECT_EQ(p.x, c.at.x);
        EXPECT_EQ(p.y, c.at.y);
    }
}

namespace {
// A window tree like the shell's, built from plain windows of the classes the rules look for.
class WindowTree {
public:
    WindowTree() { platform::Application.Initialize(); }
    ~WindowTree() {
        for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) DestroyWindow(*it);
    }
    HWND Add(HWND parent, const wchar_t* cls, const wchar_t* caption = L"") {
        Register(cls);
        HWND h = CreateWindowExW(0, cls, caption, parent ? WS_CHILD : 0, 0, 0, 10, 10,
                                 parent ? parent : HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
        windows_.push_back(h);
        return h;
    }

private:
    // Local classes, also for names of common controls: the lookup prefers them to the system's.
    static void Register(const wchar_t* cls) {
        static std::vector<std::wstring> done;
        for (const auto& d : done)
            if (d == cls) return;
        done.emplace_back(cls);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = cls;
        RegisterClassExW(&wc);
    }
    std::vector<HWND> windows_;
};
}  // namespace

TEST(FolderUnderCursor, WindowRules) {
    if (!HasDisplay()) GTEST_SKIP() << "child windows need a display";
    // Classes as the shell names them, registered here as plain windows.
    WindowTree t;
    // Rule B: list view without caption in a DefView in an Explorer window: the address box's text.
    HWND cabinet = t.Add(nullptr, L"CabinetWClass", L"");
    HWND defView = t.Add(cabinet, L"SHELLDLL_DefView");
    HWND list = t.Add(defView, L"SysListView32");
    for (int i = 0; i < 3; ++i) t.Add(cabinet, L"Static");  // siblings before the wanted one
    HWND worker = t.Add(cabinet, L"WorkerA");
    HWND rebar = t.Add(worker, L"ReBarWindow32");
    t.Add(rebar, L"ComboBoxEx32", L"C:\\表\\書庫");
    EXPECT_EQ(FolderOfWindow(list), "C:\\表\\書庫");

    // Rule B on the desktop window.
    HWND progman = t.Add(nullptr, L"Progman WN");
    HWND deskView = t.Add(t.Add(progman, L"SHELLDLL_DefView"), L"SysListView32");
    EXPECT_EQ(FolderOfWindow(deskView), GetSpecialFolder("desktop"));

    // Rule A: "FolderView" list view directly in a DefView is the desktop.
    HWND folderView =
        t.Add(t.Add(t.Add(nullptr, L"Progman"), L"SHELLDLL_DefView"), L"SysListView32", L"FolderView");
    EXPECT_EQ(FolderOfWindow(folderView), GetSpecialFolder("desktop"));

    // Rule A elsewhere: descend from the fifth parent to the address edit.
    HWND top = t.Add(nullptr, L"ExploreWClass");
    HWND a = t.Add(top, L"Level4"), b = t.Add(a, L"Level3"), c = t.Add(b, L"Level2"), d = t.Add(c, L"Level1");
    HWND fv = t.Add(d, L"SysListView32", L"FOLDERVIEW");
    HWND combo = t.Add(t.Add(t.Add(top, L"WorkerW"), L"ReBarWindow32"), L"ComboBoxEx32");
    t.Add(t.Add(combo, L"ComboBox"), L"Edit", L"D:\\Data");
    EXPECT_EQ(FolderOfWindow(fv), "D:\\Data");

    // A wanted child beyond the 101-window limit of a step ends the search empty.
    HWND distant = t.Add(nullptr, L"CabinetWClass");
    HWND distantList = t.Add(t.Add(distant, L"SHELLDLL_DefView"), L"SysListView32");
    for (int i = 0; i < 101; ++i) t.Add(distant, L"Static");
    t.Add(t.Add(t.Add(distant, L"WorkerA"), L"ReBarWindow32"), L"ComboBoxEx32", L"C:\\far");
    EXPECT_EQ(FolderOfWindow(distantList), "");

    // No rule applies.
    EXPECT_EQ(FolderOfWindow(t.Add(nullptr, L"Static", L"x")), "");
    EXPECT_EQ(GetWindowCaption(t.Add(nullptr, L"Static", L"")), "Error");
    EXPECT_EQ(GetWindowClassName(nullptr), "Error");
}

namespace {
struct HungWindow {
    HWND window;
    HANDLE created, release;
};

DWORD WINAPI HungWindowThread(LPVOID p) {
    auto* c = static_cast<HungWindow*>(p);
    c->window =
        CreateWindowExW(0, L"STATIC", L"busy", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    SetEvent(c->created);
    WaitForSingleObject(c->release, INFINITE);
    DestroyWindow(c->window);
    return 0;
}
}  // namespace

TEST(WindowCaption, HungWindowDoesNotStallTheReader) {
    // A message-only window whose thread stops serving messages, as a hung program's would.
    HANDLE created = CreateEventW(nullptr, TRUE, FALSE, nullptr),
           release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HungWindow ctx{nullptr, created, release};
    HANDLE thread = CreateThread(nullptr, 0, HungWindowThread, &ctx, 0, nullptr);
    WaitForSingleObject(created, INFINITE);
    ASSERT_NE(ctx.window, nullptr);
    // The window's thread answers nothing until it is released, and it is released only after the read
    // returned: a reader that waited for the answer would never return (the wait only catches that).
    std::string caption = "unread";
    HANDLE read = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread reader([&] {
        caption = GetWindowCaption(ctx.window);
        SetEvent(read);
    });
    const bool returned = WaitForSingleObject(read, 60000) == WAIT_OBJECT_0;
    SetEvent(release);
    reader.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(caption, "Error");
    WaitForSingleObject(thread, INFINITE);
    for (HANDLE h : {thread, created, release, read}) CloseHandle(h);
}

namespace {
std::vector<std::wstring> g_opened;
bool g_shellResult = true;
bool RecordingShellOpen(HWND, const std::wstring& target) {
    g_opened.push_back(target);
    return g_shellResult;
}
}  // namespace

TEST(OpenFolder, OpensOnlyFoldersAndTheRecycleBin) {
    platform::Application.Initialize();
    std::vector<std::string> boxes;
    platform::Application.OnMessageBox = [&](HWND, const std::string& text, const std::string& caption,
                                             UINT) {
        EXPECT_EQ(caption, "フォルダを開く");
        boxes.push_back(text);
        return IDOK;
    };
    SetShellOpenFunction(RecordingShellOpen);
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::string folder = platform::WideToSjis(windows);
    struct Case {
        std::string path;
        bool shellResult;
        std::wstring opened;  // empty: the shell must not be asked
        const char* box;      // nullptr: no box
    } cases[] = {
        {"", true, L"", "開くフォルダがありません。"},
        {"trash", true, L"::{645FF040-5081-101B-9F08-00AA002F954E}", nullptr},
        {"Trash", true, L"", "フォルダを開けませんでした。"},
        {folder, true, windows, nullptr},
        {folder + "\\notepad.exe", true, L"", "フォルダを開けませんでした。"},
        {"notepad", true, L"", "フォルダを開けませんでした。"},
        {"C:\\no such folder", true, L"", "フォルダを開けませんでした。"},
        {folder, false, windows, "フォルダを開けませんでした。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        g_opened.clear();
        boxes.clear();
        g_shellResult = c.shellResult;
        OpenFolder(c.path);
        if (c.opened.empty()) {
            EXPECT_TRUE(g_opened.empty());
        } else {
            ASSERT_EQ(g_opened.size(), 1u);
            EXPECT_EQ(g_opened[0], c.opened);
        }
        if (c.box) {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0], c.box);
        } else {
            EXPECT_TRUE(boxes.empty());
        }
    }
    SetShellOpenFunction(nullptr);
    platform::Application.OnMessageBox = nullptr;
}
