// Helpers of the window tests: serving messages for a while, recording message boxes instead of showing
// them, the test program's folder, and screenshots of the Xvfb screen (taken by the host's xwd and convert)
// saved next to the test program.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/application.h"
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

// Saves the whole screen as <test program folder>\<name>.png; false where it could not be taken.
inline bool Screenshot(const testsupport::TempDir& dir, const std::wstring& name) {
    Pump(300);
    std::wstring png = ProgramFolder() + L"\\" + name + L".png";
    auto r = testsupport::RunHostPython(dir,
                                        "import subprocess\n"
                                        "subprocess.run('xwd -root -silent | convert xwd:- \"%s\"' % sys.argv[2],"
                                        " shell=True)\n"
                                        "open(sys.argv[1], 'w').write('ok')\n",
                                        {png});
    return r.has_value();
}

}  // namespace formstest
