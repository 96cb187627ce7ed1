// Many members at the library's pace: one ZIP of 10,000 small members (100 folders, 100 bytes each)
// extracted by a whole job of the real main window (start button to end of job, default settings: pre-test,
// per-file display, bind folder), with the window shown and hidden, with and without the pre-test, and with
// the archive moved away afterwards (a clean-up, which waits for the check that every member is on disk),
// against the ZIP stand-in's own extraction and test calls made directly with the job's command line and no
// window.
// The variants run in turn, the first one moving on by one each round; the extracted files are deleted
// between runs (not timed). Medians and spread are printed, the ratios to the library's extraction, and
// the checks a clean-up waits for, alone (every member on disk; the CRC-32 read-back before a delete or a
// recycle), and where one more job (window shown, default settings, run by the engine on the same window with
// its archive calls timed) spent its time by phase: count walk, pre-test, extraction, completion, and the
// main-thread calls and posts made in each.
//   members_bench.exe [rounds [variants]]   (3 rounds by default; variants: the digits of those to run, in
//   the order of the table printed, "0123456" by default; needs a display: run it under Xvfb)
// Two more modes serve a comparison of whole programs (farm-bench "velmor.exe -k FILE" against the library):
//   members_bench.exe --make FILE      writes the archive
//   members_bench.exe --library FILE   extracts it by the library's extraction call alone, as the job would
//                                      (into the bind folder beside it), and nothing else
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/engine/job_rules.h"
#include "app/engine/job_seams.h"
#include "app/engine/unpack.h"
#include "app/engine/unpack_thread.h"
#include "app/forms/form_main.h"
#include "app/ini_control.h"
#include "archivers/archive_file.h"
#include "archivers/archiver_api.h"
#include "archivers/job_state.h"
#include "platform/application.h"
#include "platform/ini_file.h"
#include "platform/sjis.h"
#include "support/fixtures.h"
#include "support/standin_log.h"
#include "support/temp_dir.h"
#include "app_bench.h"

using namespace velmor;
using platform::Application;
using namespace benchsupport;

namespace {

constexpr int kMembers = 10000;

// The phases of one job, in order; the timed archive moves the job from one to the next.
enum TPhase : int {
    phPrepare,
    phCountWalk,
    phBeforeTest,
    phPreTest,
    phBeforeExtract,
    phExtract,
    phCompletion,
    phCount
};
const char* const kPhaseNames[phCount] = {
    "preparation before the count",    "count walk", "between count and pre-test", "pre-test",
    "between pre-test and extraction", "extraction", "completion and end of job"};

struct TPhaseFigures {
    double seconds = 0;
    long invokes = 0, posts = 0;
    double invokeWait = 0;  // the worker's wait for its main-thread calls
};

struct TProfile {
    std::atomic<int> phase{phPrepare};
    Clock::time_point phaseStart;
    std::array<TPhaseFigures, phCount> figures;
    void Enter(TPhase next) {
        const int from = phase.load();
        figures[static_cast<size_t>(from)].seconds += Seconds(phaseStart);
        phaseStart = Clock::now();
        phase = next;
    }
};
TProfile* g_profile = nullptr;

// The program's hand-over to the main thread, counted by phase.
class TCountingMainThread : public IMainThread {
public:
    // Counted in the phase it began in.
    void Invoke(const std::function<void()>& fn) override {
        TPhaseFigures& f = Current();
        const auto start = Clock::now();
        real_.Invoke(fn);
        ++f.invokes;
        f.invokeWait += Seconds(start);
    }
    void Post(std::function<void()> fn) override {
        ++Current().posts;
        real_.Post(std::move(fn));
    }
    void PostLater(unsigned delayMs, std::function<void()> fn) override {
        ++Current().posts;
        real_.PostLater(delayMs, std::move(fn));
    }

private:
    static TPhaseFigures& Current() {
        return g_profile->figures[static_cast<size_t>(g_profile->phase.load())];
    }
    TApplicationMainThread real_;
};

// The real component; its calls move the profile from phase to phase.
class TPhasedArchive : public IJobArchive {
public:
    TPhasedArchive() : inner_(RealArchiveFactory()()) {}
    void SetFileName(const std::string& name) override { inner_->SetFileName(name); }
    const std::string& FileName() const override { return inner_->FileName(); }
    void SetArchiverType(TArchiverType type) override { inner_->SetArchiverType(type); }
    void SetOutputSize(int size) override { inner_->SetOutputSize(size); }
    TArchiverOptions& Options() override { return inner_->Options(); }
    void SetOnProgress(ProgressHandler handler) override { inner_->SetOnProgress(std::move(handler)); }
    int CheckArchive(int mode, int extraMode) override {
        g_profile->Enter(phPreTest);
        const int r = inner_->CheckArchive(mode, extraMode);
        g_profile->Enter(phBeforeExtract);
        return r;
    }
    int Extract(HWND wnd, const std::string& destFolder, const std::string& extra,
                const TFileItems& files) override {
        g_profile->Enter(phExtract);
        const int r = inner_->Extract(wnd, destFolder, extra, files);
        g_profile->Enter(phCompletion);
        return r;
    }
    int Pack(HWND wnd, const std::string& baseFolder, const TFileItems& files) override {
        return inner_->Pack(wnd, baseFolder, files);
    }
    int MakeSfx(HWND wnd, const std::string& folder) override { return inner_->MakeSfx(wnd, folder); }
    int OpenArchive(HWND wnd, DWORD mode) override {
        g_profile->Enter(phCountWalk);
        return inner_->OpenArchive(wnd, mode);
    }
    int FindFirst(const std::string& wildName, TArchiveMemberInfo& info) override {
        return inner_->FindFirst(wildName, info);
    }
    int FindNext(TArchiveMemberInfo& info) override { return inner_->FindNext(info); }
    int CloseArchive() override {
        const int r = inner_->CloseArchive();
        g_profile->Enter(phBeforeTest);
        return r;
    }
    DWORD GetArcOriginalSize() override { return inner_->GetArcOriginalSize(); }

private:
    std::unique_ptr<IJobArchive> inner_;
};

// The variants in turn; the extracted files are deleted after each run, untimed.
void RunRounds(std::vector<TVariant>& variants, int rounds, const std::wstring& output) {
    for (TVariant& v : variants) v.cleanUp = [output] { testsupport::DeleteTree(output); };
    benchsupport::RunRounds(variants, rounds);
}

std::vector<TSummary> PrintTable(const std::vector<TVariant>& variants) {
    std::vector<TSummary> sums;
    for (const TVariant& v : variants) {
        sums.push_back(Summarize(v.times));
        std::printf("  %-28s %7.3f s (%.3f-%.3f)\n", v.name.c_str(), sums.back().median, sums.back().min,
                    sums.back().max);
    }
    return sums;
}

bool WriteFixture(const std::wstring& path) {
    std::vector<testsupport::FixtureMember> members;
    members.reserve(kMembers);
    for (int i = 0; i < kMembers; ++i)
        members.push_back({"d" + std::to_string(i % 100) + "/m" + std::to_string(i) + ".txt",
                           std::string(100, static_cast<char>('a' + i % 26))});
    return testsupport::WriteZipFixture(path, members);
}

// The library's extraction call, from the job's command line (the output folder made first, as the job's
// preparation does).
struct TLibraryCall {
    explicit TLibraryCall(int bufferSize) : buffer(static_cast<size_t>(bufferSize), '\0') {
        HMODULE zip = ::LoadLibraryW(L"UNZIP32.DLL");
        command = Proc<TArcCommand>(zip, "UnZip");
        check = Proc<TArcCheckArchive>(zip, "UnZipCheckArchive");
    }
    int Extract(const std::string& commandLine, const std::wstring& outputFolder) {
        ::CreateDirectoryW(outputFolder.c_str(), nullptr);
        return command(nullptr, commandLine.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    }
    TArcCommand command = nullptr;
    TArcCheckArchive check = nullptr;
    std::string buffer;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && (std::string(argv[1]) == "--make" || std::string(argv[1]) == "--library")) {
        const std::string file = argv[2];
        ::SetDllDirectoryW(testsupport::StandinFolder(L"full").c_str());
        if (std::string(argv[1]) == "--make") return WriteFixture(platform::SjisToWide(file)) ? 0 : 1;
        // The settings' defaults, as an absent settings file gives them.
        platform::TIniFile none(file + ".absent.ini");
        IniControl.Load(none);
        const std::string folder = file.substr(0, file.size() - 4);
        TLibraryCall library(IniControl.BuffMegaSize * 1024);
        return library.Extract(JobCommandLine(file, folder + "\\", IniControl), platform::SjisToWide(folder));
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::string chosen = argc > 2 ? argv[2] : "0123456";
    wchar_t display[64] = {};
    if (!::GetEnvironmentVariableW(L"DISPLAY", display, 64)) {
        std::fprintf(stderr, "members_bench needs a display (run it under Xvfb)\n");
        return 2;
    }
    Application.Initialize();
    Application.OnMessageBox = [](HWND, const std::string&, const std::string&, UINT) { return IDYES; };
    ::SetDllDirectoryW(testsupport::StandinFolder(L"full").c_str());

    testsupport::TempDir dir;
    std::printf("writing a ZIP of %d members...\n", kMembers);
    WriteFixture(dir.File(L"big.zip"));
    const std::string archive = dir.SjisFile("big.zip");
    // Beside the archive, in the bind folder the job makes (100 top-level folders).
    const std::wstring output = dir.File(L"big");
    const std::string outputSjis = dir.SjisFile("big") + "\\";

    TfrmMain form;
    form.Create();
    TDefaultsOnly defaults;
    IniControl.Load(defaults);
    JobState().CommandLineRun = 0;
    // The clean-up variant moves the archive away; every run finds it back in its place (untimed).
    const std::wstring movedFolder = dir.File(L"moved");
    const std::wstring movedArchive = movedFolder + L"\\big.zip";
    auto restoreArchive = [&] { ::MoveFileExW(movedArchive.c_str(), dir.File(L"big.zip").c_str(), 0); };
    auto settings = [&](bool preTest) {
        restoreArchive();
        IniControl.ConfirmDelete = false;
        IniControl.ConfirmIgnore = false;
        IniControl.ShowEndDlg = false;
        IniControl.AfterMethod = 0;
        IniControl.PutLocation = 0;
        IniControl.PreTestArc = preTest;
    };
    settings(true);

    const std::string commandLine = JobCommandLine(archive, outputSjis, IniControl);
    std::printf("library command line: %s\n", platform::SjisToUtf8(commandLine).c_str());
    TLibraryCall library(IniControl.BuffMegaSize * 1024);
    const int checkMode = IniControl.PreTestMode;

    // Showing or hiding the window is left out of the time: without a window manager Wine waits up to 2 s
    // for the X server to confirm a hidden window's state.
    auto showWindow = [&form](bool shown) {
        if (shown)
            form.Show();
        else
            form.Hide();
        const auto start = Clock::now();
        while (Seconds(start) < 0.2) PumpUntil([] { return true; });
    };
    auto job = [&](bool shown, bool preTest) {
        return TVariant{"",
                        [&form, &archive] {
                            form.AddFileToList(archive);
                            form.btnUnPackClick();
                            PumpUntil([&] { return JobState().Status == jsIdle && !form.Worker; });
                        },
                        [&settings, &showWindow, shown, preTest] {
                            settings(preTest);
                            showWindow(shown);
                        },
                        {},
                        {}};
    };
    auto named = [](const char* name, TVariant v) {
        v.name = name;
        return v;
    };
    TVariant moving = job(true, true);
    moving.prepare = [prepare = moving.prepare, &movedFolder] {
        prepare();
        IniControl.AfterMethod = 3;
        IniControl.MoveFolder = platform::WideToSjis(movedFolder);
    };
    const std::vector<TVariant> all = {
        {"library: extraction call", [&] { library.Extract(commandLine, output); }, restoreArchive, {}, {}},
        {"library: test call", [&] { library.check(archive.c_str(), checkMode); }, restoreArchive, {}, {}},
        named("job, window shown", job(true, true)),
        named("job, window hidden", job(false, true)),
        named("job, shown, no pre-test", job(true, false)),
        named("job, hidden, no pre-test", job(false, false)),
        named("job, shown, moved after", moving),
    };
    std::vector<TVariant> variants;
    for (char c : chosen)
        if (c >= '0' && c - '0' < static_cast<int>(all.size()))
            variants.push_back(all[static_cast<size_t>(c - '0')]);
    if (variants.empty() || chosen[0] != '0') {
        std::fprintf(stderr, "the variants must start with 0, the library's extraction call\n");
        return 2;
    }
    std::printf("\n%d members of 100 bytes in 100 folders, ZIP stand-in, %d rounds; median (min-max):\n",
                kMembers, rounds);
    RunRounds(variants, rounds, output);
    const std::vector<TSummary> sums = PrintTable(variants);
    std::printf("ratios to the library's extraction call:\n");
    for (size_t i = 1; i < variants.size(); ++i)
        std::printf("  %-28s %5.2f\n", variants[i].name.c_str(), sums[i].median / sums[0].median);
    restoreArchive();

    // The check a clean-up waits for, alone, on the files of one extraction: every member on disk under its
    // own name with its size (one directory read per folder) and no two members on one name.
    {
        library.Extract(commandLine, output);
        TJobState scratch;
        TIniControl ini;
        TApplicationMainThread mainThread;
        TWin32ShellOps shellOps;
        TJobContext plain{form, mainThread, shellOps, RealArchiveFactory(), scratch, ini};
        TUnPack walk(plain, {});
        walk.CountTopLevelEntries(nullptr, archive);
        std::vector<double> times;
        size_t missing = 0;
        for (int i = 0; i < 5; ++i) {
            const auto start = Clock::now();
            missing = MembersNotOnDisk(outputSjis, walk.Members, false).size() +
                      MembersSharingAName(outputSjis, walk.Members, false).size();
            times.push_back(Seconds(start));
        }
        const TSummary t = Summarize(times);
        std::printf("\nthe verification of %zu walked members on disk: %.3f s (%.3f-%.3f), %zu not there",
                    walk.Members.size(), t.median, t.min, t.max, missing);
        for (size_t i = 0; i < variants.size(); ++i)
            if (variants[i].name == "job, window shown")
                std::printf(", %.1f %% of the shown job", 100 * t.median / sums[i].median);
        std::printf("\n");
        // Before a delete or a recycle every member whose CRC-32 the listing gives is read back.
        times.clear();
        for (int i = 0; i < 5; ++i) {
            const auto start = Clock::now();
            missing = MembersWithOtherData(outputSjis, walk.Members, false).size();
            times.push_back(Seconds(start));
        }
        const TSummary crc = Summarize(times);
        std::printf("the CRC-32 read-back of the same members: %.3f s (%.3f-%.3f), %zu with other data",
                    crc.median, crc.min, crc.max, missing);
        for (size_t i = 0; i < variants.size(); ++i)
            if (variants[i].name == "job, window shown")
                std::printf(", %.1f %% of the shown job", 100 * crc.median / sums[i].median);
        std::printf("\n");
        testsupport::DeleteTree(output);
    }

    // The same with the library walking and reporting the members without writing them: what the job adds
    // without the disk's noise.
    const std::wstring walkScript = dir.File(L"walk.txt");
    testsupport::StandinScript().WalkOnly().Write(walkScript);
    {
        testsupport::ScopedEnv script(L"VELMOR_STANDIN_SCRIPT", walkScript);
        std::vector<TVariant> walk = {all[0], all[2], all[3]};
        const int walkRounds = 3 * rounds;
        std::printf("\nthe library walks and reports without writing, %d rounds:\n", walkRounds);
        RunRounds(walk, walkRounds, output);
        const std::vector<TSummary> w = PrintTable(walk);
        for (size_t i = 1; i < walk.size(); ++i)
            std::printf("  %-28s adds %.3f s, %.1f us a member\n", walk[i].name.c_str(),
                        w[i].median - w[0].median, (w[i].median - w[0].median) * 1e6 / kMembers);
    }

    // One more job each way on the same window, its archive calls timed: where the time goes.
    TCountingMainThread counting;
    TWin32ShellOps shell(form.Handle());
    TJobContext context{
        form,       counting,
        shell,      [] { return std::unique_ptr<IJobArchive>(std::make_unique<TPhasedArchive>()); },
        JobState(), IniControl};
    TUnPack unpack(context);
    auto profiled = [&](bool shown, const char* how) {
        settings(true);
        showWindow(shown);
        form.AddFileToList(archive);
        TProfile profile;
        g_profile = &profile;
        bool done = false;
        TUnPackThread worker(context, unpack);
        worker.OnJobEnded = [&] {
            profile.Enter(phCompletion);
            done = true;
        };
        JobState().Status = jsStarted;
        profile.phaseStart = Clock::now();
        const auto start = Clock::now();
        worker.Start(THREAD_PRIORITY_NORMAL);
        PumpUntil([&] { return done; });
        JobState().Status = jsIdle;
        std::printf("\none more job (window %s, default settings%s) by phase, %.3f s in all:\n",
                    shown ? "shown" : "hidden", how, Seconds(start));
        std::printf("  %-34s %8s %9s %10s %7s\n", "phase", "seconds", "calls", "waited s", "posts");
        for (int i = 0; i < phCount; ++i) {
            const TPhaseFigures& f = profile.figures[static_cast<size_t>(i)];
            std::printf("  %-34s %8.3f %9ld %10.3f %7ld\n", kPhaseNames[i], f.seconds, f.invokes,
                        f.invokeWait, f.posts);
        }
        testsupport::DeleteTree(output);
    };
    profiled(true, "");
    profiled(false, "");
    {
        testsupport::ScopedEnv script(L"VELMOR_STANDIN_SCRIPT", walkScript);
        profiled(true, ", the library only walking");
    }
    form.Destroy();
    return 0;
}
