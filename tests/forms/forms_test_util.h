// Helpers of the window tests: serving messages for a while, recording message boxes instead of showing
// them, where a window opened over another lies, the test program's folder, and screenshots of the Xvfb screen (taken by the host's xwd and convert)
// saved next to the test program.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/application.h"
#include "platform/sjis.h"
#include "support/temp_dir.h"

namespace formstest {

// Serves the thread's messages for `ms` milliseconds, or until `done` says so.
inline void Pump(int ms, const std::function<bool()>& done = {}) {
    DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    while (static_cast<int>(end - GetTickCount()) > 0) {
        platform::Application.ProcessMessages();
        if (done && done()) return;
        Sleep(10);
    }
}

inline std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return p.substr(0, p.find_last_of(L'\\'));
}

// Message boxes of the test are recorded (text and caption) and answered with IDOK.
class BoxRecorder {
public:
    BoxRecorder() {
        platform::Application.OnMessageBox = [this](HWND, const std::string& text, const std::string& caption,
                                                    UINT) {
            boxes.push_back(text);
            captions.push_back(caption);
            return IDOK;
        };
    }
    ~BoxRecorder() { platform::Application.OnMessageBox = nullptr; }
    std::vector<std::string> boxes;
    std::vector<std::string> captions;
};

// Saves the whole screen as <test program folder>\<name>.png; false where it could not be taken. The host's
// shell runs xwd and convert with its standard streams on NUL, so the test's own output stays untouched.
inline bool Screenshot(const std::wstring& name) {
    for (const wchar_t* tool : {L"Z:\\usr\\bin\\xwd", L"Z:\\usr\\bin\\convert"})
        if (GetFileAttributesW(tool) == INVALID_FILE_ATTRIBUTES) return false;
    Pump(300);
    testsupport::TempDir dir;
    std::wstring script = dir.File(L"shot.sh"), done = dir.File(L"shot.done");
    std::wstring png = ProgramFolder() + L"\\" + name + L".png";
    if (!testsupport::WriteFileBytes(script, "xwd -root -silent | convert xwd:- \"$1\"; touch \"$2\"\n"))
        return false;
    std::wstring cmd = L"Z:\\bin\\sh " + platform::SjisToWide(testsupport::UnixPath(script)) + L" " +
                       platform::SjisToWide(testsupport::UnixPath(png)) + L" " +
                       platform::SjisToWide(testsupport::UnixPath(done));
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = nul;
    PROCESS_INFORMATION pi{};
    bool started = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(nul);
    if (!started) return false;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    // Wine does not wait for a host program: its last step leaves a file.
    for (int i = 0; i < 600 && !testsupport::FileExists(done); ++i) Pump(50);
    return testsupport::FileExists(done);
}

// A window opened from `owner`: owned by it, whole on the work area and, where `centred`, centred on it.
inline void ExpectPlacedOver(HWND window, HWND owner, bool centred) {
    RECT work{}, r{}, o{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(window, &r);
    GetWindowRect(owner, &o);
    EXPECT_EQ(GetWindow(window, GW_OWNER), owner);
    if (centred) {
        EXPECT_NEAR((r.left + r.right) / 2, (o.left + o.right) / 2, 1);
        EXPECT_NEAR((r.top + r.bottom) / 2, (o.top + o.bottom) / 2, 1);
    }
    EXPECT_GE(r.left, work.left);
    EXPECT_GE(r.top, work.top);
    EXPECT_LE(r.right, work.right);
    EXPECT_LE(r.bottom, work.bottom);
}

}  // namespace formstest
