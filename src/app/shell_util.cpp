// Shell helpers. Window texts of other processes are read with a time-out; wildcard matching works on the
// wide form so that a double-byte character is one character.
#include "app/shell_util.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "platform/application.h"
#include "platform/form.h"
#include "platform/handle.h"
#include "platform/sjis.h"

namespace velmor {

using platform::SjisToWide;
using platform::WideToSjis;

namespace {
constexpr UINT kTextTimeoutMs = 500;
constexpr int kDescentLimit = 101;

std::wstring UpperAscii(std::wstring s) {
    for (wchar_t& c : s)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    return s;
}

std::wstring ClassNameW(HWND window) {
    wchar_t buffer[100];
    int n = window ? ::GetClassNameW(window, buffer, 100) : 0;
    return n > 0 ? std::wstring(buffer, static_cast<size_t>(n)) : L"Error";
}

std::wstring CaptionW(HWND window) {
    if (!window) return L"Error";
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, kTextTimeoutMs,
                               &length))
        return L"Error";
    std::vector<wchar_t> buffer(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                               SMTO_ABORTIFHUNG | SMTO_BLOCK, kTextTimeoutMs, &copied) ||
        copied == 0)
        return L"Error";
    return std::wstring(buffer.data(), std::min<size_t>(copied, length));
}

// The first child of `parent` (or a later sibling) whose upper-cased class is `cls`, within the limit.
HWND FindChildOfClass(HWND parent, const wchar_t* cls) {
    if (!parent) return nullptr;
    HWND h = ::GetWindow(parent, GW_CHILD);
    for (int i = 0; h && i < kDescentLimit; ++i, h = ::GetWindow(h, GW_HWNDNEXT))
        if (UpperAscii(ClassNameW(h)) == cls) return h;
    return nullptr;
}

// Descends through the classes in turn; the caption of the last one, or empty when a step fails.
std::string Descend(HWND from, std::initializer_list<const wchar_t*> classes) {
    HWND h = from;
    for (const wchar_t* cls : classes) {
        h = FindChildOfClass(h, cls);
        if (!h) return {};
    }
    return WideToSjis(CaptionW(h));
}

bool DefaultShellOpen(HWND owner, const std::wstring& target) {
    auto r = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(owner, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return r > 32;
}
ShellOpenFunction g_shellOpen = DefaultShellOpen;

// ASCII letters compare without case, everything else exactly.
bool SameChar(wchar_t a, wchar_t b) {
    auto fold = [](wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c; };
    return fold(a) == fold(b);
}

std::wstring NormalizePattern(std::wstring_view pattern) {
    std::wstring out;
    size_t stars = 0, questions = 0;
    auto flush = [&] {
        out.append(questions, L'?');
        if (stars) out += L'*';
        stars = questions = 0;
    };
    for (wchar_t c : pattern) {
        if (c == L'*') {
            ++stars;
        } else if (c == L'?') {
            ++questions;
        } else {
            flush();
            out += c;
        }
    }
    flush();
    if (out.size() >= 2 && out.compare(out.size() - 2, 2, L"*.") == 0) out += L'*';
    return out;
}
}  // namespace

std::string GetWindowClassName(HWND window) { return WideToSjis(ClassNameW(window)); }
std::string GetWindowCaption(HWND window) { return WideToSjis(CaptionW(window)); }

std::string FolderOfWindow(HWND w0) {
    HWND w[6] = {w0};
    for (int i = 1; i < 6; ++i) w[i] = w[i - 1] ? ::GetParent(w[i - 1]) : nullptr;
    std::wstring cls[6], cap[6];
    for (int i = 0; i < 6; ++i) {
        cls[i] = UpperAscii(ClassNameW(w[i]));
        cap[i] = UpperAscii(CaptionW(w[i]));
    }
    std::string result;
    if (cls[0] == L"SYSLISTVIEW32" && cap[0] == L"FOLDERVIEW") {
        if (cls[1] == L"SHELLDLL_DEFVIEW") {
            result = GetSpecialFolder("desktop");
        } else {
            result = Descend(w[5], {L"WORKERW", L"REBARWINDOW32", L"COMBOBOXEX32", L"COMBOBOX", L"EDIT"});
        }
    }
    if (result.empty() && cls[0] == L"SYSLISTVIEW32" && cap[0] == L"ERROR" && cls[1] == L"SHELLDLL_DEFVIEW") {
        if (cls[2] == L"CABINETWCLASS") {
            result = Descend(w[2], {L"WORKERA", L"REBARWINDOW32", L"COMBOBOXEX32"});
        } else if (cls[2] == L"PROGMAN WN") {
            result = GetSpecialFolder("desktop");
        }
    }
    return result;
}

std::string GetFolderUnderCursor() {
    POINT pt{};
    if (!::GetCursorPos(&pt)) return {};
    return FolderOfWindow(::WindowFromPoint(pt));
}

std::string FormatFileSize(int64_t size, std::string_view unit) {
    if (unit == "KB") return std::to_string(size / 1024) + " KB";
    if (unit == "MB") return std::to_string(size / 1048576) + " MB";
    return " ";
}

void ForceForegroundWindow(HWND window) {
    DWORD foregroundThread = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
    DWORD targetThread = ::GetWindowThreadProcessId(window, nullptr);
    ::AttachThreadInput(targetThread, foregroundThread, TRUE);
    DWORD timeout = 0;
    ::SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
    ::SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    ::SetForegroundWindow(window);
    ::SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                            reinterpret_cast<void*>(static_cast<uintptr_t>(timeout)), 0);
    ::AttachThreadInput(targetThread, foregroundThread, FALSE);
}

void SetShellOpenFunction(ShellOpenFunction fn) { g_shellOpen = fn ? fn : DefaultShellOpen; }

void OpenFolder(const std::string& path) {
    auto& app = platform::Application;
    if (path.empty()) {
        app.MessageBox("開くフォルダがありません。", "フォルダを開く", MB_OK);
        return;
    }
    HWND owner = app.MainForm() ? app.MainForm()->Handle() : nullptr;
    bool opened = false;
    try {
        std::wstring target;
        if (path == "trash") {
            target = L"::{645FF040-5081-101B-9F08-00AA002F954E}";
        } else {
            // Only a folder is opened: typed text must never start a program or a document.
            std::wstring w = SjisToWide(path);
            DWORD attr = ::GetFileAttributesW(w.c_str());
            if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY)) target = w;
        }
        opened = !target.empty() && g_shellOpen(owner, target);
    } catch (...) {
        opened = false;
    }
    if (!opened) app.MessageBox("フォルダを開けませんでした。", "フォルダを開く", MB_OK);
}

std::string NormalizeFolderPath(std::string_view path) {
    std::string s(path);
    if (!platform::SjisEndsWithChar(s, '\\')) return s + '\\';
    std::string_view before = std::string_view(s).substr(0, s.size() - 1);
    if (platform::SjisEndsWithChar(before, '\\')) s.pop_back();
    return s;
}

std::string WithTrailingBackslash(std::string_view path) {
    std::string s(path);
    if (!platform::SjisEndsWithChar(s, '\\')) s += '\\';
    return s;
}

std::string GetSpecialFolder(std::string_view name) {
    int csidl;
    if (name == "desktop") {
        csidl = CSIDL_DESKTOP;
    } else if (name == "mydocument") {
        csidl = CSIDL_PERSONAL;
    } else {
        return "\\";
    }
    std::string path;
    PIDLIST_ABSOLUTE pidl = nullptr;
    if (SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, csidl, &pidl)) && pidl) {
        wchar_t buffer[MAX_PATH] = {};
        if (::SHGetPathFromIDListW(pidl, buffer)) path = WideToSjis(buffer);
        ::CoTaskMemFree(pidl);
    }
    return WithTrailingBackslash(path);
}

bool MatchesWildcard(std::string_view nameSjis, std::string_view patternSjis) {
    const std::wstring n = SjisToWide(nameSjis);
    const std::wstring p = NormalizePattern(SjisToWide(patternSjis));
    const ptrdiff_t lastP = static_cast<ptrdiff_t>(p.size()) - 1,
                    lastN = static_cast<ptrdiff_t>(n.size()) - 1;
    auto at = [](const std::wstring& s, ptrdiff_t i) {
        return i >= 0 && i < static_cast<ptrdiff_t>(s.size()) ? s[i] : L'\0';
    };
    ptrdiff_t P = 0, N = 0, S = 0, M = 0;
    bool F = true;
    for (;;) {
        // Pattern and name used up together: a match (also the empty pattern against the empty name).
        if (P > lastP && N > lastN) return true;
        wchar_t pc = at(p, P);
        if (P <= lastP && pc == L'?') {
            if (N > lastN) return false;
            if (P == lastP && N == lastN) return true;
            ++P, ++N;
        } else if (P <= lastP && pc == L'*') {
            if (P == lastP) return true;
            wchar_t c = p[P + 1];
            ptrdiff_t j = N;
            while (j <= lastN && !SameChar(n[j], c)) ++j;
            if (j > lastN) return false;
            S = P, M = j, F = false;
            P = P + 1, N = j;
        } else {
            wchar_t nc = at(n, N);
            bool same = (P <= lastP) == (N <= lastN) && SameChar(pc, nc);
            if (!same) {
                if (F) return false;
                F = true;
                N = M + 1, P = S;
            } else {
                if (P == lastP && N == lastN) return true;
                ++P, ++N;
            }
        }
    }
}

bool MatchesWildcardList(std::string_view name, std::string_view patterns) {
    size_t start = 0;
    while (start <= patterns.size()) {
        size_t end = platform::SjisFind(patterns, ';', start);
        if (end == std::string_view::npos) end = patterns.size();
        std::string_view piece = patterns.substr(start, end - start);
        if (!piece.empty() && MatchesWildcard(name, piece)) return true;
        start = end + 1;
    }
    return false;
}

POINT PlaceBrowseDialog(int x, int y, int dialogWidth, int dialogHeight, int screenWidth, int screenHeight) {
    if (x == 0 || y == 0) {
        x = (screenWidth - dialogWidth) / 2;
        y = (screenHeight - dialogHeight) / 2;
    }
    if (x > screenWidth - dialogWidth) x = screenWidth - dialogWidth;
    if (x < 0) x = 0;
    if (y > screenHeight - dialogHeight) y = screenHeight - dialogHeight;
    if (y < 0) y = 0;
    return {x, y};
}

int CALLBACK BrowseCallback(HWND dialog, UINT msg, LPARAM param, LPARAM data) {
    try {
        auto* request = reinterpret_cast<const TBrowseRequest*>(data);
        if (msg == BFFM_INITIALIZED && request) {
            if (request->InitialFolder.size() > 1) {
                std::wstring w = SjisToWide(request->InitialFolder);
                ::SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(w.c_str()));
            }
            RECT r{};
            ::GetWindowRect(dialog, &r);
            POINT at = PlaceBrowseDialog(request->X, request->Y, r.right - r.left, r.bottom - r.top,
                                         ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
            ::SetWindowPos(dialog, nullptr, at.x, at.y, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
        } else if (msg == BFFM_SELCHANGED && param) {
            wchar_t path[MAX_PATH] = {};
            if (::SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(param), path))
                ::SendMessageW(dialog, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path));
        }
    } catch (...) {
        // Nothing may unwind into the shell's dialog.
    }
    return 0;
}

bool TFileCtrl::BrowseForFolder(const std::string& title, const std::string& initialFolder, int x, int y,
                                std::string& path) {
    path.clear();
    IMalloc* malloc = nullptr;
    if (FAILED(::SHGetMalloc(&malloc)) || !malloc) return false;
    platform::ScopeExit releaseMalloc([malloc] { malloc->Release(); });
    auto* display = static_cast<wchar_t*>(malloc->Alloc(MAX_PATH * sizeof(wchar_t)));
    if (!display) return false;
    platform::ScopeExit freeDisplay([malloc, display] { malloc->Free(display); });

    TBrowseRequest request{initialFolder, x, y};
    std::wstring wTitle = SjisToWide(title);
    auto& app = platform::Application;
    BROWSEINFOW info{};
    info.hwndOwner = app.MainForm() ? app.MainForm()->Handle() : nullptr;
    info.pszDisplayName = display;
    info.lpszTitle = wTitle.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(&request);

    PIDLIST_ABSOLUTE chosen = nullptr;
    {
        std::vector<HWND> disabled = app.DisableTaskWindows();
        platform::ScopeExit enable([&] { app.EnableTaskWindows(disabled); });
        chosen = ::SHBrowseForFolderW(&info);
    }
    if (!chosen) return false;
    wchar_t buffer[MAX_PATH] = {};
    bool ok = ::SHGetPathFromIDListW(chosen, buffer) != FALSE;
    malloc->Free(chosen);
    if (!ok) return false;
    path = WideToSjis(buffer);
    return true;
}

}  // namespace velmor
