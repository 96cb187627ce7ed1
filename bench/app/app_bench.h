// What the app benchmarks share: seconds since a moment, the median and spread of a series, variants run in
// turn (the first one moving on by one each round, so that none gains from its place) with untimed steps
// before and after each run, serving the windows while a job or a search runs, a library's entry by name,
// and the command line a job gives the ZIP library.
#pragma once

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/job_rules.h"
#include "app/ini_control.h"
#include "archivers/archive_file.h"
#include "platform/application.h"
#include "platform/ini_file.h"

namespace benchsupport {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct TSummary {
    double median = 0, min = 0, max = 0;
};

inline TSummary Summarize(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    TSummary s{0, v.front(), v.back()};
    s.median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    return s;
}

struct TVariant {
    std::string name;
    std::function<void()> run;
    std::function<void()> prepare;  // untimed, before each run
    std::function<void()> cleanUp;  // untimed, after each run
    std::vector<double> times;
};

// Time inside a run that its figure leaves out (a window's hide, say): a TUntimed object lives through it.
inline double& UntimedSeconds() {
    static double seconds = 0;
    return seconds;
}
struct TUntimed {
    Clock::time_point start = Clock::now();
    ~TUntimed() { UntimedSeconds() += Seconds(start); }
};

inline void RunRounds(std::vector<TVariant>& variants, int rounds) {
    for (int round = 0; round < rounds; ++round)
        for (size_t k = 0; k < variants.size(); ++k) {
            TVariant& v = variants[(static_cast<size_t>(round) + k) % variants.size()];
            if (v.prepare) v.prepare();
            UntimedSeconds() = 0;
            const auto start = Clock::now();
            v.run();
            v.times.push_back(Seconds(start) - UntimedSeconds());
            if (v.cleanUp) v.cleanUp();
        }
}

// Serves the windows and the worker until `done` holds.
inline void PumpUntil(const std::function<bool()>& done) {
    while (!done()) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        platform::Application.ProcessMessages();
    }
}

// The program's defaults, as an absent settings file gives them: a bench's figures do not depend on the
// settings file a test or an earlier close left in the prefix's My Documents.
class TDefaultsOnly : public platform::TCustomIniFile {
public:
    std::string ReadString(std::string_view, std::string_view, std::string_view def) override {
        return std::string(def);
    }
    void WriteString(std::string_view, std::string_view, std::string_view) override {}
};

template <typename F>
F Proc(HMODULE m, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(m, name)));
}

// The command line the job gives the ZIP library, with the switches its settings choose.
inline std::string JobCommandLine(const std::string& archive, const std::string& outputFolder,
                                  const velmor::TIniControl& ini) {
    using namespace velmor;
    TArchiveFile af;
    af.SetFileName(archive);
    std::string notReady, commandLine;
    ApplyFormatSwitches(".zip", ini.OverWrite, ini.IgnoreDirectory,
                        TReadyFlags{true, true, true, true, true, false}, af.Options, notReady);
    af.Archiver()->BuildExtractCmd(nullptr, archive, af.Options, outputFolder, TFileItems{std::string()},
                                   false, commandLine);
    return commandLine;
}

}  // namespace benchsupport
