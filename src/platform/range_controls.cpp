// Track bar and up-down over the common controls.
#include "platform/range_controls.h"

#include <algorithm>

#include "platform/form.h"

namespace platform {

void TTrackBar::Create(TForm& form, int x, int y, int width, int height, int minimum, int maximum,
                       int frequency) {
    CreateControl(form, TRACKBAR_CLASSW, WS_TABSTOP | TBS_HORZ | TBS_BOTTOM | TBS_AUTOTICKS, 0, x, y, width,
                  height, {});
    Send(TBM_SETRANGEMIN, FALSE, minimum);
    Send(TBM_SETRANGEMAX, FALSE, maximum);
    Send(TBM_SETTICFREQ, static_cast<WPARAM>(frequency));
    Send(TBM_SETPOS, TRUE, minimum);
}

int TTrackBar::Min() const { return static_cast<int>(Send(TBM_GETRANGEMIN)); }
int TTrackBar::Max() const { return static_cast<int>(Send(TBM_GETRANGEMAX)); }
int TTrackBar::Position() const { return static_cast<int>(Send(TBM_GETPOS)); }
void TTrackBar::SetPosition(int position) { Send(TBM_SETPOS, TRUE, position); }

void TTrackBar::HandleScroll(WORD code) {
    // The end of a drag repeats the last move.
    if (code != TB_ENDTRACK && OnChange) OnChange();
}

void TUpDown::Create(TForm& form, TWinControl& buddy, int minimum, int maximum) {
    RECT r{};
    ::GetWindowRect(buddy.Handle(), &r);
    POINT topLeft{r.left, r.top};
    ::ScreenToClient(form.Handle(), &topLeft);
    const int width = ::GetSystemMetrics(SM_CXVSCROLL);
    CreateControl(form, UPDOWN_CLASSW, UDS_ARROWKEYS | UDS_NOTHOUSANDS, 0, topLeft.x + (r.right - r.left),
                  topLeft.y, width, r.bottom - r.top, {});
    Send(UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy.Handle()));
    Send(UDM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
    Send(UDM_SETPOS32, 0, minimum);
}

int TUpDown::Min() const {
    INT lo = 0, hi = 0;
    Send(UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lo), reinterpret_cast<LPARAM>(&hi));
    return lo;
}

int TUpDown::Max() const {
    INT lo = 0, hi = 0;
    Send(UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lo), reinterpret_cast<LPARAM>(&hi));
    return hi;
}

int TUpDown::Position() const { return static_cast<int>(Send(UDM_GETPOS32)); }

void TUpDown::SetPosition(int position) { Send(UDM_SETPOS32, 0, std::clamp(position, Min(), Max())); }

void TUpDown::HandleScroll(WORD code) {
    if (code == SB_THUMBPOSITION && OnClick) OnClick();
}

}  // namespace platform
