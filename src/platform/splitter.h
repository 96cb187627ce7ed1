// A horizontal splitter bar between two stacked areas of a form. Dragging it reports the bar's new top
// (client coordinates of the form); the form lays its areas out again and moves the bar.
#pragma once

#include <functional>

#include "platform/controls.h"

namespace platform {

class TSplitter : public TWinControl {
public:
    void Create(TForm& form, int x, int y, int width, int height);
    // The form keeps the bar between these tops (client coordinates); set by the form's layout.
    int MinTop = 0;
    int MaxTop = 0x7FFF;
    // The user moved the bar; `top` is already kept within MinTop and MaxTop.
    std::function<void(int top)> OnMoved;

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    int grab_ = 0;  // pointer offset inside the bar while dragging
};

}  // namespace platform
