// A stand-in for a shell folder window, run as its own process by the drag tests: a top-level window of the
// Explorer window class with the shell's folder view inside it and an address box naming a folder, built
// from plain windows of those class names. It writes a ready file and lives until it is closed or ended.
// usage: explorer_window.exe FOLDER X Y WIDTH HEIGHT READY_FILE
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>

namespace {
void Register(const wchar_t* cls) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = cls;
    RegisterClassExW(&wc);
}

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, int x, int y, int w, int h, bool visible) {
    Register(cls);
    return CreateWindowExW(0, cls, text, WS_CHILD | (visible ? WS_VISIBLE : 0), x, y, w, h, parent, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 7) return 2;
    int x = _wtoi(argv[2]), y = _wtoi(argv[3]), w = _wtoi(argv[4]), h = _wtoi(argv[5]);
    Register(L"CabinetWClass");
    HWND cabinet = CreateWindowExW(WS_EX_TOPMOST, L"CabinetWClass", L"folder", WS_POPUP | WS_VISIBLE, x, y, w,
                                   h, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    // The folder view: a caption-less list view in a DefView, filling the window.
    HWND defView = Child(cabinet, L"SHELLDLL_DefView", L"", 0, 0, w, h, true);
    Child(defView, L"SysListView32", L"", 0, 0, w, h, true);
    // The address box, reached from the window through these classes.
    HWND worker = Child(cabinet, L"WorkerA", L"", 0, 0, 1, 1, false);
    HWND rebar = Child(worker, L"ReBarWindow32", L"", 0, 0, 1, 1, false);
    Child(rebar, L"ComboBoxEx32", argv[1], 0, 0, 1, 1, false);
    UpdateWindow(cabinet);
    CloseHandle(CreateFileW(argv[6], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    MSG msg;
    while (IsWindow(cabinet) && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
