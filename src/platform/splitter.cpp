// The splitter bar: its own small window class with the sizing cursor; the drag runs with the mouse captured.
#include "platform/splitter.h"

#include "platform/application.h"

namespace platform {

namespace {
constexpr wchar_t kClass[] = L"TSplitter";
}

void TSplitter::Create(TForm& form, int x, int y, int width, int height) {
    HINSTANCE inst = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (!::GetClassInfoExW(inst, kClass, &existing)) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = WndProc;
        wc.hInstance = inst;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_SIZENS);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kClass;
        ::RegisterClassExW(&wc);
    }
    CreateControl(form, kClass, 0, 0, x, y, width, height, {});
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

LRESULT CALLBACK TSplitter::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TSplitter*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || self->hwnd_ != hwnd) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    try {
        switch (msg) {
            case WM_LBUTTONDOWN:
                self->grab_ = static_cast<short>(HIWORD(lParam));
                ::SetCapture(hwnd);
                return 0;
            case WM_MOUSEMOVE:
                if (::GetCapture() == hwnd) {
                    POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
                    ::MapWindowPoints(hwnd, ::GetParent(hwnd), &pt, 1);
                    int top = pt.y - self->grab_;
                    if (top > self->MaxTop) top = self->MaxTop;
                    if (top < self->MinTop) top = self->MinTop;
                    if (self->OnMoved) self->OnMoved(top);
                }
                return 0;
            case WM_LBUTTONUP:
                if (::GetCapture() == hwnd) ::ReleaseCapture();
                return 0;
            default: break;
        }
    } catch (...) {
        Application.HandleException();
        return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace platform
