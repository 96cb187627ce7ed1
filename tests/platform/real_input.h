// Keys pressed as a user presses them (SendInput, through the system's input queue, so the dialog keys and
// the modifier state are those of a real press) and a window's picture from the screen, for the window tests
// of the platform layer and of the program's windows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <thread>
#include <vector>

#include "platform/application.h"

namespace realinput {

inline void Serve(int ms) {
    DWORD end = ::GetTickCount() + static_cast<DWORD>(ms);
    while (static_cast<int>(end - ::GetTickCount()) > 0) {
        platform::Application.ProcessMessages();
        ::Sleep(5);
    }
}

inline void Key(WORD vk, bool down) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    ::SendInput(1, &in, sizeof in);
}

// A key with its modifiers held, then the queue served.
inline void Press(WORD vk, std::initializer_list<WORD> modifiers = {}) {
    for (WORD m : modifiers) Key(m, true);
    Key(vk, true);
    Key(vk, false);
    for (auto m = std::rbegin(modifiers); m != std::rend(modifiers); ++m) Key(*m, false);
    Serve(150);
}

// Presses a key from a thread of its own once `window` is shown in front: for a modal loop, which the test's
// thread leaves only when the key has done its work. The destructor waits for the press (or a minute).
class PressWhenShown {
public:
    PressWhenShown(HWND window, WORD vk)
        : thread_([window, vk] {
              for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < 60000;) {
                  if (::IsWindowVisible(window) && ::GetForegroundWindow() == window) {
                      ::Sleep(200);
                      Key(vk, true);
                      Key(vk, false);
                      return;
                  }
                  ::Sleep(10);
              }
          }) {}
    ~PressWhenShown() { thread_.join(); }
    PressWhenShown(const PressWhenShown&) = delete;
    PressWhenShown& operator=(const PressWhenShown&) = delete;

private:
    std::thread thread_;
};

// The form's child window that has the keys (a combo box for its edit part).
inline HWND FocusedControl(HWND form) {
    HWND f = ::GetFocus();
    while (f && ::GetParent(f) && ::GetParent(f) != form) f = ::GetParent(f);
    return f;
}

// The controls Tab (or Shift+Tab) reaches from where the keys are, until they come back there.
inline std::vector<HWND> TabRound(HWND form, bool back, size_t limit = 60) {
    std::vector<HWND> seen;
    HWND start = FocusedControl(form);
    for (size_t i = 0; i < limit; ++i) {
        Press(VK_TAB, back ? std::initializer_list<WORD>{VK_SHIFT} : std::initializer_list<WORD>{});
        HWND now = FocusedControl(form);
        seen.push_back(now);
        if (now == start) break;
    }
    return seen;
}

// The window's pixels on the screen, one value per pixel.
inline std::vector<uint32_t> Picture(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::SelectObject(memory, old);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h));
    ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(h), pixels.data(), &info, DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return pixels;
}

inline size_t DifferentPixels(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    if (a.size() != b.size()) return a.size() > b.size() ? a.size() : b.size();
    size_t n = 0;
    for (size_t i = 0; i < a.size(); ++i) n += (a[i] & 0xFFFFFF) != (b[i] & 0xFFFFFF);
    return n;
}

}  // namespace realinput
