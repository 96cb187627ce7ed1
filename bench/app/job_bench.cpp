// What a job adds per archive: 1,000 small ZIP archives extracted by a whole job through the engine (rows,
// log lines, progress, the entry count, completion) against the same archives extracted by the archive
// component in a plain loop, both through the ZIP stand-in library and both beside the archives. The window
// is a light recording one, so the figure is the engine's own overhead plus its main-thread hand-overs.
//
// The variants run in turn, several rounds, the first one moving on by one each round; the extracted files
// are deleted between runs (not timed), so every run starts from the same folder. Medians and spread are
// printed, then where the job's time went (from its median run): the main-thread calls by what they did, the
// archive component's calls on the worker, the progress handler, and the rest.
//   job_bench.exe [rounds]   (5 by default)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/engine/job_seams.h"
#include "app/engine/unpack.h"
#include "app/engine/unpack_thread.h"
#include "app/ini_control.h"
#include "archivers/archive_file.h"
#include "archivers/job_state.h"
#include "platform/application.h"
#include "platform/ini_file.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"
#include "app_bench.h"

using namespace velmor;
using namespace benchsupport;

namespace {

// Where the time of one job went, in seconds unless counted.
struct TJobProfile {
    struct TKind {
        size_t calls = 0;
        double total = 0;  // as the worker waited for them
        double work = 0;   // spent running the call on the main thread
    };
    std::map<std::string, TKind> invokes;  // by the window calls made inside
    std::map<std::string, TKind> archive;  // archive component calls, by name and thread
    std::map<std::string, TKind> shell;    // file and folder questions, by answer
    size_t reports = 0;
    double handler = 0;  // progress handler, main-thread calls inside it included
    double handlerInvokes = 0;
};

TJobProfile* g_profile = nullptr;

// The window calls made during the current main-thread call, in first-call order.
std::string g_calls;

void Note(const char* call) {
    if (g_calls.find(call) == std::string::npos) g_calls += g_calls.empty() ? call : std::string(" ") + call;
}

class TBenchUi : public IJobUi {
public:
    std::vector<std::string> rows;
    size_t logLines = 0;
    std::string outputFolder;
    int RowCount() override { return Note("RowCount"), static_cast<int>(rows.size()); }
    std::string RowText(int index) override { return Note("RowText"), rows.at(static_cast<size_t>(index)); }
    void AppendRow(const std::string& path) override { Note("AppendRow"), rows.push_back(path); }
    void DeleteRow(int index) override { Note("DeleteRow"), rows.erase(rows.begin() + index); }
    void SelectRow(int) override { Note("SelectRow"); }
    void AppendLog(const std::string&) override { Note("AppendLog"), ++logLines; }
    void SetStatusText(const std::string&) override { Note("SetStatusText"); }
    void ShowMemberName(const std::string&) override { Note("ShowMemberName"); }
    void SetFileProgress(int) override { Note("SetFileProgress"); }
    void SetTotalProgress(int) override { Note("SetTotalProgress"); }
    bool IsMinimized() override { return Note("IsMinimized"), false; }
    void EnableButton(TJobButton, bool) override { Note("EnableButton"); }
    std::string SpecialFolderText() override { return Note("SpecialFolderText"), outputFolder; }
    void PushComboHistory(TFolderCombo, const std::string&) override { Note("PushComboHistory"); }
    int CompressionType() override { return Note("CompressionType"), 0; }
    int Ask(const std::string&, const std::string&, UINT) override { return Note("Ask"), IDYES; }
    void RequestQuit() override { Note("RequestQuit"); }
    HWND MainWindow() override { return Note("MainWindow"), nullptr; }
    HWND LogWindow() override { return Note("LogWindow"), nullptr; }
};

thread_local bool t_inHandler = false;

// The real hand-over to the main thread, timed and sorted by the window calls made inside.
class TTimedMainThread : public IMainThread {
public:
    void Invoke(const std::function<void()>& fn) override {
        double work = 0;
        std::string calls;
        auto start = Clock::now();
        real_.Invoke([&] {
            g_calls.clear();
            auto begin = Clock::now();
            try {
                fn();
            } catch (...) {
                work = Seconds(begin);
                calls = g_calls;
                throw;
            }
            work = Seconds(begin);
            calls = g_calls;
        });
        const double total = Seconds(start);
        TJobProfile::TKind& kind = g_profile->invokes[calls.empty() ? "(no window call)" : calls];
        ++kind.calls;
        kind.total += total;
        kind.work += work;
        if (t_inHandler) g_profile->handlerInvokes += total;
    }
    void Post(std::function<void()> fn) override { real_.Post(std::move(fn)); }
    void PostLater(unsigned delayMs, std::function<void()> fn) override {
        real_.PostLater(delayMs, std::move(fn));
    }

private:
    TApplicationMainThread real_;
};

// The real archive component, each call timed; the progress handler's own time is taken out of the call
// that reported.
class TTimedArchive : public IJobArchive {
    static void Add(const std::string& name, double s) {
        const bool main = platform::Application.OnMainThread();
        TJobProfile::TKind& kind = g_profile->archive[name + (main ? "  [main]" : "  [worker]")];
        ++kind.calls;
        kind.total += s;
    }
    template <typename F>
    auto Time(const std::string& name, F f) {
        handlerInCall_ = 0;
        auto start = Clock::now();
        struct Done {
            const std::string& name;
            Clock::time_point start;
            double& handler;
            ~Done() { Add(name, Seconds(start) - handler); }
        } done{name, start, handlerInCall_};
        return f();
    }

    std::unique_ptr<IJobArchive> inner_;
    double handlerInCall_ = 0;

public:
    TTimedArchive() {
        auto start = Clock::now();
        inner_ = RealArchiveFactory()();
        Add("create", Seconds(start));
    }
    ~TTimedArchive() override {
        auto start = Clock::now();
        inner_.reset();
        Add("free", Seconds(start));
    }
    void SetFileName(const std::string& name) override {
        Time("SetFileName", [&] { inner_->SetFileName(name); });
    }
    const std::string& FileName() const override { return inner_->FileName(); }
    void SetArchiverType(TArchiverType type) override { inner_->SetArchiverType(type); }
    void SetOutputSize(int size) override {
        Time("SetOutputSize", [&] { inner_->SetOutputSize(size); });
    }
    TArchiverOptions& Options() override { return inner_->Options(); }
    void SetOnProgress(ProgressHandler handler) override {
        if (!handler) return inner_->SetOnProgress(nullptr);
        inner_->SetOnProgress([this, h = std::move(handler)](int state, LPEXTRACTINGINFOEX info, bool& abort) {
            ++g_profile->reports;
            t_inHandler = true;
            auto start = Clock::now();
            h(state, info, abort);
            const double s = Seconds(start);
            t_inHandler = false;
            g_profile->handler += s;
            handlerInCall_ += s;
        });
    }
    int CheckArchive(int mode, int extraMode) override {
        return Time("CheckArchive", [&] { return inner_->CheckArchive(mode, extraMode); });
    }
    int Extract(HWND wnd, const std::string& destFolder, const std::string& extra,
                const TFileItems& files) override {
        return Time("Extract (handler taken out)", [&] { return inner_->Extract(wnd, destFolder, extra, files); });
    }
    int Pack(HWND wnd, const std::string& baseFolder, const TFileItems& files) override {
        return Time("Pack", [&] { return inner_->Pack(wnd, baseFolder, files); });
    }
    int MakeSfx(HWND wnd, const std::string& folder) override {
        return Time("MakeSfx", [&] { return inner_->MakeSfx(wnd, folder); });
    }
    int OpenArchive(HWND wnd, DWORD mode) override {
        return Time("OpenArchive", [&] { return inner_->OpenArchive(wnd, mode); });
    }
    int FindFirst(const std::string& wildName, TArchiveMemberInfo& info) override {
        return Time("FindFirst/FindNext", [&] { return inner_->FindFirst(wildName, info); });
    }
    int FindNext(TArchiveMemberInfo& info) override {
        return Time("FindFirst/FindNext", [&] { return inner_->FindNext(info); });
    }
    int CloseArchive() override {
        return Time("CloseArchive", [&] { return inner_->CloseArchive(); });
    }
    DWORD GetArcOriginalSize() override {
        return Time("GetArcOriginalSize", [&] { return inner_->GetArcOriginalSize(); });
    }

};

// The real file operations, timed (the preparation and completion steps ask about files and folders).
class TTimedShell : public TWin32ShellOps {
public:
    bool FileExists(const std::string& path) override {
        return Time("FileExists", [&] { return TWin32ShellOps::FileExists(path); });
    }
    bool FolderExists(const std::string& path) override {
        return Time("FolderExists", [&] { return TWin32ShellOps::FolderExists(path); });
    }

private:
    template <typename F>
    static bool Time(const char* name, F f) {
        auto start = Clock::now();
        const bool result = f();
        TJobProfile::TKind& kind = g_profile->shell[std::string(name) + (result ? " (found)" : " (absent)")];
        ++kind.calls;
        kind.total += Seconds(start);
        return result;
    }
};

void DeleteExtracted(const testsupport::TempDir& dir, int count) {
    for (int i = 0; i < count; ++i) ::DeleteFileW(dir.File(L"f" + std::to_wstring(i) + L".txt").c_str());
}

}  // namespace

int main(int argc, char** argv) {
    constexpr int kArchives = 1000;
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    platform::Application.Initialize();
    ::SetDllDirectoryW(testsupport::StandinFolder(L"full").c_str());
    testsupport::TempDir dir;
    std::vector<std::string> archives;
    for (int i = 0; i < kArchives; ++i) {
        std::vector<testsupport::FixtureMember> members{
            {"f" + std::to_string(i) + ".txt", std::string(1024, 'v')}};
        testsupport::WriteZipFixture(dir.File(L"a" + std::to_wstring(i) + L".zip"), members);
        archives.push_back(dir.SjisFile("a" + std::to_string(i) + ".zip"));
    }
    const std::string beside = dir.SjisPath() + "\\";

    TDefaultsOnly defaults;
    IniControl.Load(defaults);
    IniControl.PutLocation = 0;
    IniControl.AfterMethod = 0;
    IniControl.PreTestArc = false;
    IniControl.BindFolder = true;
    IniControl.BindNum = 2;

    auto direct = [&](bool withProgress) {
        for (const std::string& archive : archives) {
            TArchiveFile af;
            af.SetFileName(archive);
            if (withProgress) af.OnProgress = [](TArchiveFile*, int, LPEXTRACTINGINFOEX, bool&) {};
            af.Extract(nullptr, nullptr, beside, "", {});
        }
    };

    TBenchUi ui;
    TTimedMainThread mainThread;
    TTimedShell shell;
    TJobState& st = JobState();
    st.ZipReady = 1;
    TArchiveFactory timedArchives = [] { return std::unique_ptr<IJobArchive>(std::make_unique<TTimedArchive>()); };
    TJobContext context{ui, mainThread, shell, timedArchives, st, IniControl};
    TUnPack unpack(context);
    std::vector<TJobProfile> profiles;
    size_t logLines = 0, rowsLeft = 0;
    auto job = [&] {
        ui.rows = archives;
        ui.logLines = 0;
        profiles.emplace_back();
        g_profile = &profiles.back();
        bool done = false;
        {
            TUnPackThread worker(context, unpack);
            worker.OnJobEnded = [&] { done = true; };
            st.Status = jsStarted;
            worker.Start(THREAD_PRIORITY_NORMAL);
            while (!done) {
                ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
                platform::Application.ProcessMessages();
            }
        }
        st.Status = jsIdle;
        logLines = ui.logLines;
        rowsLeft = ui.rows.size();
    };

    struct TVariant {
        const char* name;
        std::function<void()> run;
        std::vector<double> times;
    };
    std::vector<TVariant> variants = {
        {"direct TArchiveFile loop", [&] { direct(false); }, {}},
        {"direct loop with OnProgress", [&] { direct(true); }, {}},
        {"whole job via the engine", job, {}},
    };
    for (int round = 0; round < rounds; ++round)
        for (size_t k = 0; k < variants.size(); ++k) {
            TVariant& v = variants[(round + k) % variants.size()];
            auto start = Clock::now();
            v.run();
            v.times.push_back(Seconds(start));
            DeleteExtracted(dir, kArchives);
        }

    std::printf("archives: %d (one 1 KB member each, ZIP stand-in), %d rounds; per archive, median (min-max):\n",
                kArchives, rounds);
    std::vector<TSummary> sums;
    for (const TVariant& v : variants) {
        sums.push_back(Summarize(v.times));
        const TSummary& s = sums.back();
        std::printf("  %-30s %7.3f ms (%.3f-%.3f)\n", v.name, s.median * 1000 / kArchives, s.min * 1000 / kArchives,
                    s.max * 1000 / kArchives);
    }
    const TSummary& plain = sums[0];
    const TSummary& whole = sums[2];
    std::printf("  job: %zu log lines, %zu rows left\n", logLines, rowsLeft);
    std::printf("overhead per archive: %.3f ms (%.3f-%.3f), ratio %.2f\n",
                (whole.median - plain.median) * 1000 / kArchives, (whole.min - plain.max) * 1000 / kArchives,
                (whole.max - plain.min) * 1000 / kArchives, plain.median > 0 ? whole.median / plain.median : 0.0);
    std::printf("OnProgress alone (progress window and reports): %+.3f ms per archive\n",
                (sums[1].median - plain.median) * 1000 / kArchives);

    // The job run nearest the median, broken down.
    const std::vector<double>& jobTimes = variants[2].times;
    size_t pick = 0;
    for (size_t i = 0; i < jobTimes.size(); ++i)
        if (std::abs(jobTimes[i] - whole.median) < std::abs(jobTimes[pick] - whole.median)) pick = i;
    const TJobProfile& p = profiles[pick];
    const double wall = jobTimes[pick];
    auto ms = [&](double s) { return s * 1000 / kArchives; };
    double invokeTotal = 0, workerArchive = 0;
    size_t invokeCalls = 0;
    std::printf("where the job's time went (run of %.3f ms per archive), ms per archive:\n", ms(wall));
    std::printf("  main-thread calls (count per archive: waited = round trip + work):\n");
    for (const auto& [calls, k] : p.invokes) {
        std::printf("    %5.2f x %6.3f = %6.3f + %6.3f  %s\n", double(k.calls) / kArchives, ms(k.total),
                    ms(k.total - k.work), ms(k.work), calls.c_str());
        invokeTotal += k.total;
        invokeCalls += k.calls;
    }
    std::printf("    %5.2f calls, %.3f ms in all\n", double(invokeCalls) / kArchives, ms(invokeTotal));
    std::printf("  archive component (main: inside the calls above; worker: on its own):\n");
    for (const auto& [name, k] : p.archive) {
        std::printf("    %5.2f x %6.3f  %s\n", double(k.calls) / kArchives, ms(k.total), name.c_str());
        if (name.find("[worker]") != std::string::npos) workerArchive += k.total;
    }
    std::printf("  file and folder questions (inside the main-thread calls):\n");
    for (const auto& [name, k] : p.shell)
        std::printf("    %5.2f x %6.3f  %s\n", double(k.calls) / kArchives, ms(k.total), name.c_str());
    const double handlerOwn = p.handler - p.handlerInvokes;
    std::printf("  progress handler: %.2f reports, %.3f ms besides its main-thread calls (%.3f ms)\n",
                double(p.reports) / kArchives, ms(handlerOwn), ms(p.handlerInvokes));
    std::printf("  rest of the worker (engine code, thread start and end): %.3f ms\n",
                ms(wall - invokeTotal - workerArchive - handlerOwn));
    return 0;
}
