// Dragging out of a control: capture, a drag image that follows the cursor over the whole screen, a cursor
// that says whether the window under it takes the drop, and exactly one Finished call however the drag ends
// (released, Esc, the right button, or the capture taken away).
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace platform {

// How a drag ended.
struct TDragEnd {
    HWND Target = nullptr;   // the window under the cursor at the end
    POINT Screen{};          // the cursor in screen coordinates
    bool Accepted = false;   // the target took the drop
    bool Cancelled = false;  // Esc, the right button or a lost capture ended the drag
};

// One drag; the source control's owner derives from it to act on the end.
class TDragObject {
public:
    // The drag image belongs to the object from here on (it may be null: no image).
    TDragObject(HWND control, HIMAGELIST image, POINT hotSpot);
    TDragObject(const TDragObject&) = delete;
    TDragObject& operator=(const TDragObject&) = delete;
    virtual ~TDragObject();

    HWND Control() const noexcept { return control_; }

    // Whether a window takes the drop; none does unless a derived object says so.
    virtual bool Accepts(HWND target, POINT screen);
    // The arrow over a window that takes the drop, the drag cursor (the arrow with a sheet) elsewhere.
    virtual HCURSOR GetDragCursor(bool accepted, POINT screen);
    virtual void ShowDragImage(POINT screen);
    virtual void HideDragImage();
    virtual void MoveDragImage(POINT screen);
    // Runs once when the drag ends, after the capture is released and the image hidden.
    virtual void Finished(const TDragEnd& end) = 0;

private:
    HWND control_;
    HIMAGELIST image_;
    POINT hotSpot_;
    bool imageShown_ = false;
};

// Runs the drag to its end on the calling (GUI) thread: the control takes the capture, the loop serves the
// thread's other messages meanwhile, and object.Finished runs once before this returns.
void BeginDrag(TDragObject& object);

}  // namespace platform
