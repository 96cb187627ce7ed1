// Controls that pick a number from a range: the track bar and the up-down. Both report through scroll
// messages to their parent form, which passes them to the control's HandleScroll.
// Positions set by code fire no event.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>

#include "platform/controls.h"

namespace platform {

class TForm;

class TTrackBar : public TWinControl {
public:
    // Horizontal, ticks below, one tick every `frequency` steps.
    void Create(TForm& form, int x, int y, int width, int height, int minimum, int maximum, int frequency);
    int Min() const;
    int Max() const;
    int Position() const;
    void SetPosition(int position);
    // Fires for the user's moves (mouse or keys).
    std::function<void()> OnChange;
    void HandleScroll(WORD code) override;
};

// An up-down that steps a number. It does not write its buddy itself: the owner decides what the buddy shows,
// so a stored value outside the range can stay visible while the position is clamped.
class TUpDown : public TWinControl {
public:
    void Create(TForm& form, TWinControl& buddy, int minimum, int maximum);
    int Min() const;
    int Max() const;
    int Position() const;
    // Clamped into the range.
    void SetPosition(int position);
    // Fires after the user changed the position.
    std::function<void()> OnClick;
    void HandleScroll(WORD code) override;
};

}  // namespace platform
