// The drag loop. It reads the thread's messages itself while the control holds the capture, so mouse and
// key messages of the drag never reach the controls; everything else is dispatched as usual.
#include "platform/drag.h"

#include <algorithm>
#include <iterator>

namespace platform {

TDragObject::TDragObject(HWND control, HIMAGELIST image, POINT hotSpot)
    : control_(control), image_(image), hotSpot_(hotSpot) {}

TDragObject::~TDragObject() {
    HideDragImage();
    if (image_) ImageList_Destroy(image_);
}

bool TDragObject::Accepts(HWND, POINT) { return false; }

namespace {
// The drag cursor: the arrow with a sheet of paper under it. B black, W white, anything else transparent.
// clang-format off
constexpr const char* kDragCursorRows[] = {
    "B",
    "BB",
    "BWB",
    "BWWB",
    "BWWWB",
    "BWWWWB",
    "BWWWWWB",
    "BWWWWWWB",
    "BWWWWWWWB",
    "BWWWWWBBBB",
    "BWWBWWB",
    "BWB BWWB",
    "BB  BWWB",
    "B    BWWB",
    "     BWWB",
    "      BB",
    "",
    "      BBBBBBBBB",
    "      BWWWWWWWB",
    "      BWWWWWWWB",
    "      BWWWWWWWB",
    "      BWWWWWWWB",
    "      BWWWWWWWB",
    "      BWWWWWWWB",
    "      BWWWWWWWB",
    "      BBBBBBBBB",
};
// clang-format on

HCURSOR DragCursor() {
    static HCURSOR cursor = [] {
        BYTE andPlane[32 * 4], xorPlane[32 * 4];
        std::fill(std::begin(andPlane), std::end(andPlane), BYTE(0xFF));
        std::fill(std::begin(xorPlane), std::end(xorPlane), BYTE(0));
        int y = 0;
        for (const char* row : kDragCursorRows) {
            for (int x = 0; row[x] && x < 32; ++x) {
                BYTE bit = static_cast<BYTE>(0x80 >> (x % 8));
                if (row[x] != 'B' && row[x] != 'W') continue;
                andPlane[y * 4 + x / 8] &= static_cast<BYTE>(~bit);
                if (row[x] == 'W') xorPlane[y * 4 + x / 8] |= bit;
            }
            ++y;
        }
        HCURSOR made = ::CreateCursor(::GetModuleHandleW(nullptr), 0, 0, 32, 32, andPlane, xorPlane);
        return made ? made : ::LoadCursorW(nullptr, IDC_ARROW);
    }();
    return cursor;
}
}  // namespace

HCURSOR TDragObject::GetDragCursor(bool accepted, POINT) {
    return accepted ? ::LoadCursorW(nullptr, IDC_ARROW) : DragCursor();
}

void TDragObject::ShowDragImage(POINT screen) {
    if (!image_ || imageShown_) return;
    if (ImageList_BeginDrag(image_, 0, hotSpot_.x, hotSpot_.y)) {
        ImageList_DragEnter(nullptr, screen.x, screen.y);
        imageShown_ = true;
    }
}

void TDragObject::HideDragImage() {
    if (!imageShown_) return;
    ImageList_DragLeave(nullptr);
    ImageList_EndDrag();
    imageShown_ = false;
}

void TDragObject::MoveDragImage(POINT screen) {
    if (imageShown_) ImageList_DragMove(screen.x, screen.y);
}

void BeginDrag(TDragObject& object) {
    HWND control = object.Control();
    TDragEnd end;
    ::GetCursorPos(&end.Screen);
    ::SetCapture(control);
    object.ShowDragImage(end.Screen);
    auto track = [&] {
        ::GetCursorPos(&end.Screen);
        end.Target = ::WindowFromPoint(end.Screen);
        end.Accepted = object.Accepts(end.Target, end.Screen);
        ::SetCursor(object.GetDragCursor(end.Accepted, end.Screen));
        object.MoveDragImage(end.Screen);
    };
    track();
    bool done = false;
    while (!done) {
        MSG msg;
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            // The quit message belongs to the outer loop.
            if (got == 0) ::PostQuitMessage(static_cast<int>(msg.wParam));
            end.Cancelled = true;
            break;
        }
        switch (msg.message) {
            case WM_MOUSEMOVE: track(); continue;
            case WM_LBUTTONUP:
                track();
                done = true;
                continue;
            case WM_RBUTTONDOWN:
            case WM_RBUTTONUP: end.Cancelled = done = true; continue;
            case WM_KEYDOWN:
            case WM_SYSKEYDOWN:
                if (msg.wParam == VK_ESCAPE) end.Cancelled = done = true;
                continue;
            case WM_KEYUP:
            case WM_SYSKEYUP:
            case WM_CHAR:
            case WM_LBUTTONDOWN:
            case WM_LBUTTONDBLCLK: continue;
            default: ::TranslateMessage(&msg); ::DispatchMessageW(&msg);
        }
        if (!done && ::GetCapture() != control) end.Cancelled = done = true;
    }
    object.HideDragImage();
    if (::GetCapture() == control) ::ReleaseCapture();
    if (end.Cancelled) end.Accepted = false;
    object.Finished(end);
}

}  // namespace platform
