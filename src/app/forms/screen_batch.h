// When a window draws the next batch of a stream of changes (a job's log lines and rows, a search's hits):
// at least a tenth of a second after the previous batch (a person reads no faster), and at least ten times
// as long as the previous batch took to draw. Under Wine each control's update costs round trips to the
// window system (on a busy machine a scroll bar's alone about 15 ms), so drawing keeps to about a tenth of
// the window's time however slow the display is.
#pragma once

#include <windows.h>

#include <algorithm>

namespace velmor {

class TBatchClock {
public:
    static constexpr DWORD kMinMs = 100;
    static constexpr DWORD kMaxMs = 1000;
    static constexpr DWORD kCostFactor = 10;

    // A stream begins: its first batch comes after the shortest wait.
    void Start() noexcept {
        interval_ = kMinMs;
        last_ = ::GetTickCount();
    }
    DWORD Since() const noexcept { return ::GetTickCount() - last_; }
    DWORD Interval() const noexcept { return interval_; }
    bool Due() const noexcept { return Since() >= interval_; }
    // How long until the next batch is due.
    DWORD Left() const noexcept {
        const DWORD since = Since();
        return since >= interval_ ? 0 : interval_ - since;
    }
    // A batch was drawn from `start` (a tick count) until now.
    void Drawn(DWORD start) noexcept {
        last_ = ::GetTickCount();
        interval_ = std::clamp<DWORD>((last_ - start) * kCostFactor, kMinMs, kMaxMs);
    }

private:
    DWORD interval_ = kMinMs;
    DWORD last_ = 0;
};

}  // namespace velmor
