// Measures what TArchiveFile adds over calling a library's entries directly: listing a 60,000-member archive
// (the fixture writer has no ZIP64, so a container holds at most 65,535 members) (FindFirst/FindNext with the
// record completion), and extracting 10,000 small members with and without OnProgress. Extraction is timed
// twice: with the stand-in only walking and reporting the members (the layer's own cost, which writing files
// under Wine would drown), and writing them for real. Each variant runs several times, alternating; the
// medians, the spread and the cost of one progress report are printed.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archivers/archive_file.h"
#include "archivers/archiver_api.h"
#include "platform/sjis.h"
#include "support/fixtures.h"
#include "support/standin_log.h"
#include "support/temp_dir.h"

using namespace testsupport;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::vector<FixtureMember> Members(int count, size_t size) {
    std::vector<FixtureMember> members;
    members.reserve(count);
    for (int i = 0; i < count; ++i)
        members.push_back({"d" + std::to_string(i % 100) + "/m" + std::to_string(i) + ".txt",
                           std::string(size, static_cast<char>('a' + i % 26)), false});
    return members;
}

template <typename F>
F Proc(HMODULE m, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(m, name)));
}

struct Summary {
    double median, min, max;
    double SpreadPercent() const { return median > 0 ? (max - min) / median * 100 : 0; }
};

Summary Summarize(std::vector<double> runs) {
    std::sort(runs.begin(), runs.end());
    const size_t n = runs.size();
    const double median = n % 2 ? runs[n / 2] : (runs[n / 2 - 1] + runs[n / 2]) / 2;
    return {median, runs.front(), runs.back()};
}

// Best of three runs.
template <typename F>
double Best(F f) {
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        auto start = Clock::now();
        f();
        best = std::min(best, Seconds(start));
    }
    return best;
}

long g_bareReports = 0;

LRESULT CALLBACK BareProgressProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == ArcExtractMessage()) {
        ++g_bareReports;
        return 0;
    }
    return DefWindowProcW(wnd, msg, wParam, lParam);
}

// A message-only window that counts progress reports and nothing else.
HWND BareProgressWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = BareProgressProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"BareProgress";
    RegisterClassW(&wc);
    return CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                           nullptr);
}

}  // namespace

// "--walk-only": only the extraction figures without disk writes (quick).
int main(int argc, char** argv) {
    const bool walkOnlyRun = argc > 1 && std::string(argv[1]) == "--walk-only";
    SetDllDirectoryW(StandinFolder(L"full").c_str());
    TempDir dir;
    const int kListCount = 60000, kExtractCount = 10000;
    std::printf("writing fixtures...\n");
    if (!walkOnlyRun) WriteTaggedFixture(dir.File(L"big.lzh"), "LHA", Members(kListCount, 16));
    WriteTaggedFixture(dir.File(L"small.lzh"), "LHA", Members(kExtractCount, 64));
    const std::string big = dir.SjisFile("big.lzh");

    HMODULE lib = LoadLibraryW(L"UNLHA32.DLL");
    auto open = Proc<TArcOpenArchive>(lib, "UnlhaOpenArchive");
    auto first = Proc<TArcFindFirst>(lib, "UnlhaFindFirst");
    auto next = Proc<TArcFindNext>(lib, "UnlhaFindNext");
    auto close = Proc<TArcCloseArchive>(lib, "UnlhaCloseArchive");
    auto writeTime = Proc<TArcGetTimeEx>(lib, "UnlhaGetWriteTimeEx");
    auto accessTime = Proc<TArcGetTimeEx>(lib, "UnlhaGetAccessTimeEx");
    auto createTime = Proc<TArcGetTimeEx>(lib, "UnlhaGetCreateTimeEx");
    auto origSize = Proc<TArcGetSizeEx>(lib, "UnlhaGetOriginalSizeEx");
    auto compSize = Proc<TArcGetSizeEx>(lib, "UnlhaGetCompressedSizeEx");

    if (!walkOnlyRun) {
        int directCount = 0, componentCount = 0;
        double direct = Best([&] {
            directCount = 0;
            HARC arc = open(nullptr, big.c_str(), 0);
            TArchiveMemberInfo info{};
            FILETIME ft;
            ULARGE_INTEGER size;
            for (int r = first(arc, "*", &info); r == 0; r = next(arc, &info)) {
                // The same five questions the component asks to complete each record.
                writeTime(arc, &ft);
                accessTime(arc, &ft);
                createTime(arc, &ft);
                origSize(arc, &size);
                compSize(arc, &size);
                ++directCount;
            }
            close(arc);
        });
        double component = Best([&] {
            componentCount = 0;
            TArchiveFile af;
            af.SetFileName(big);
            af.OpenArchive(nullptr, 0);
            TArchiveMemberInfo info{};
            for (int r = af.FindFirst("*", info); r == 0; r = af.FindNext(info)) ++componentCount;
            af.CloseArchive();
        });
        std::printf(
            "listing %d members: direct %.3f s (%.0f ns/member), component %.3f s (%.0f ns/member), "
            "overhead %.1f%%\n",
            directCount, direct, direct * 1e9 / directCount, component, component * 1e9 / componentCount,
            (component / direct - 1) * 100);
    }

    // Extraction variants, each into a folder of its own. They run in turn, the first one moving on by one
    // each round, so that none gains from its place (the host file system slows down as extracted files pile
    // up); deleting is not timed. The library alone and the library reporting to a bare window that only
    // counts set the floor that the component's handling adds to.
    auto command = Proc<TArcCommand>(lib, "Unlha");
    auto setOwner = Proc<TArcSetOwnerWindowEx>(lib, "UnlhaSetOwnerWindowEx");
    auto killOwner = Proc<TArcKillOwnerWindowEx>(lib, "UnlhaKillOwnerWindowEx");
    const HWND bare = BareProgressWindow();
    const std::string small = dir.SjisFile("small.lzh");
    int folder = 0;
    long reports = 0;
    auto timed = [&](const std::function<void(const std::string& out)>& run) {
        const std::string out = dir.SjisFile("out" + std::to_string(folder++));
        reports = 0;
        g_bareReports = 0;
        auto start = Clock::now();
        run(out);
        const double s = Seconds(start);
        DeleteTree(platform::SjisToWide(out));
        return s;
    };
    auto libraryCall = [&](const std::string& out) {
        const std::string line = "x -+1 -x1 -jse0 -jso1 \"" + small + "\" \"" + out + "\\\"";
        command(nullptr, line.c_str(), nullptr, 0);
    };
    auto viaComponent = [&](const std::string& out, bool withProgress) {
        TArchiveFile af;
        af.SetFileName(small);
        af.Options.jse = 0;
        af.Options.jso = 1;
        af.Options.x = 1;
        if (withProgress) af.OnProgress = [&](TArchiveFile*, int, LPEXTRACTINGINFOEX, bool&) { ++reports; };
        af.Extract(nullptr, nullptr, out, "", {});
    };
    struct Variant {
        const char* name;
        std::function<void(const std::string&)> run;
        std::vector<double> times;
        long reports = 0;
    };
    std::vector<Variant> variants = {
        {"library alone", libraryCall, {}},
        {"library reporting to a bare window",
         [&](const std::string& out) {
             setOwner(bare, nullptr);
             libraryCall(out);
             killOwner(bare);
             reports = g_bareReports;
         },
         {}},
        {"component without OnProgress", [&](const std::string& out) { viaComponent(out, false); }, {}},
        {"component with OnProgress", [&](const std::string& out) { viaComponent(out, true); }, {}},
    };
    const std::wstring walkScript = dir.File(L"walk.txt");
    StandinScript().WalkOnly().Write(walkScript);
    for (bool walkOnly : {true, false}) {
        if (!walkOnly && walkOnlyRun) break;
        std::optional<ScopedEnv> script;
        if (walkOnly) script.emplace(L"VELMOR_STANDIN_SCRIPT", walkScript);
        const int runs = walkOnly ? 15 : 5;
        for (Variant& v : variants) v.times.clear();
        for (int round = 0; round < runs; ++round)
            for (size_t k = 0; k < variants.size(); ++k) {
                Variant& v = variants[(round + k) % variants.size()];
                v.times.push_back(timed(v.run));
                v.reports = reports;
            }
        std::printf("extracting %d members, %s; %d runs each, median (min-max, spread):\n", kExtractCount,
                    walkOnly ? "the library walks and reports without writing" : "written to disk", runs);
        std::vector<Summary> sums;
        for (const Variant& v : variants) {
            sums.push_back(Summarize(v.times));
            const Summary& m = sums.back();
            std::printf("  %-36s %8.4f s (%.4f-%.4f, %3.0f%%)", v.name, m.median, m.min, m.max,
                        m.SpreadPercent());
            if (v.reports) std::printf(", %ld reports", v.reports);
            std::printf("\n");
        }
        const long n = variants[3].reports;
        const double library = sums[0].median, bareReports = sums[1].median;
        const double plain = sums[2].median, progress = sums[3].median;
        std::printf(
            "  OnProgress: %+.1f%% over the library's own time, %+.1f%% over the component without it\n",
            (progress / library - 1) * 100, (progress / plain - 1) * 100);
        if (n > 0)
            std::printf(
                "  per report: %.2f us in all, of which %.2f us the message to a bare window and %.2f us "
                "the component's handling\n",
                (progress - plain) * 1e6 / n, (bareReports - library) * 1e6 / n,
                (progress - plain - (bareReports - library)) * 1e6 / n);
    }
    return 0;
}
