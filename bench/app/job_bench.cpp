// What a job adds per archive: 1,000 small ZIP archives extracted by a whole job through the engine (rows,
// log lines, progress, the entry count, completion) against the same archives extracted by the archive
// component in a plain loop, both through the ZIP stand-in library. The window is a light recording one, so
// the figure is the engine's own overhead plus its main-thread hand-overs.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/engine/job_seams.h"
#include "app/engine/unpack.h"
#include "app/engine/unpack_thread.h"
#include "app/ini_control.h"
#include "archivers/archive_file.h"
#include "archivers/job_state.h"
#include "platform/application.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

using namespace velmor;

namespace {

class TBenchUi : public IJobUi {
public:
    std::vector<std::string> rows;
    size_t logLines = 0;
    int RowCount() override { return static_cast<int>(rows.size()); }
    std::string RowText(int index) override { return rows.at(static_cast<size_t>(index)); }
    void AppendRow(const std::string& path) override { rows.push_back(path); }
    void DeleteRow(int index) override { rows.erase(rows.begin() + index); }
    void SelectRow(int) override {}
    void AppendLog(const std::string&) override { ++logLines; }
    void SetStatusText(const std::string&) override {}
    void ShowMemberName(const std::string&) override {}
    void SetFileProgress(int) override {}
    void SetTotalProgress(int) override {}
    bool IsMinimized() override { return false; }
    void EnableButton(TJobButton, bool) override {}
    std::string SpecialFolderText() override { return {}; }
    void PushComboHistory(TFolderCombo, const std::string&) override {}
    int CompressionType() override { return 0; }
    int Ask(const std::string&, const std::string&, UINT) override { return IDYES; }
    void RequestQuit() override {}
    HWND MainWindow() override { return nullptr; }
    HWND LogWindow() override { return nullptr; }
};

// The real hand-over to the main thread, counted and timed.
class TCountingMainThread : public IMainThread {
public:
    size_t invokes = 0;
    double invokeSeconds = 0;
    void Invoke(const std::function<void()>& fn) override {
        ++invokes;
        auto start = std::chrono::steady_clock::now();
        real_.Invoke(fn);
        invokeSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    void Post(std::function<void()> fn) override { real_.Post(std::move(fn)); }

private:
    TApplicationMainThread real_;
};

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    constexpr int kArchives = 1000;
    platform::Application.Initialize();
    ::SetDllDirectoryW(testsupport::StandinFolder(L"full").c_str());
    testsupport::TempDir dir;
    ::CreateDirectoryW(dir.File(L"plain").c_str(), nullptr);
    ::CreateDirectoryW(dir.File(L"job").c_str(), nullptr);
    std::vector<std::string> plain, job;
    for (int i = 0; i < kArchives; ++i) {
        std::vector<testsupport::FixtureMember> members{
            {"f" + std::to_string(i) + ".txt", std::string(1024, 'v')}};
        std::wstring name = L"a" + std::to_wstring(i) + L".zip";
        testsupport::WriteZipFixture(dir.File(L"plain\\" + name), members);
        testsupport::WriteZipFixture(dir.File(L"job\\" + name), members);
        plain.push_back(dir.SjisFile("plain\\a" + std::to_string(i) + ".zip"));
        job.push_back(dir.SjisFile("job\\a" + std::to_string(i) + ".zip"));
    }

    auto start = std::chrono::steady_clock::now();
    std::string out = dir.SjisFile("plain\\out\\");
    ::CreateDirectoryW(dir.File(L"plain\\out").c_str(), nullptr);
    for (const std::string& archive : plain) {
        TArchiveFile af;
        af.SetFileName(archive);
        af.Extract(nullptr, nullptr, out, "", {});
    }
    double direct = Seconds(start);

    // What the job's entry count costs on its own: open, walk and close each archive once more.
    start = std::chrono::steady_clock::now();
    for (const std::string& archive : job) {
        TArchiveFile af;
        af.SetFileName(archive);
        TArchiveMemberInfo info{};
        if (af.OpenArchive(nullptr, 0) == 0) {
            for (int r = af.FindFirst("*", info); r == 0; r = af.FindNext(info)) {
            }
            af.CloseArchive();
        }
    }
    double counting = Seconds(start);

    TBenchUi ui;
    ui.rows = job;
    TCountingMainThread mainThread;
    TWin32ShellOps shell;
    TJobState& st = JobState();
    st.ZipReady = 1;
    IniControl.PutLocation = 0;
    IniControl.AfterMethod = 0;
    IniControl.PreTestArc = false;
    IniControl.BindFolder = true;
    IniControl.BindNum = 2;
    TJobContext context{ui, mainThread, shell, RealArchiveFactory(), st, IniControl};
    TUnPack unpack(context);
    bool done = false;
    start = std::chrono::steady_clock::now();
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
    double whole = Seconds(start);
    st.Status = jsIdle;

    std::printf("archives: %d (one 1 KB member each, ZIP stand-in)\n", kArchives);
    std::printf("direct TArchiveFile loop: %8.3f s  (%.3f ms per archive)\n", direct,
                direct * 1000 / kArchives);
    std::printf("entry-count loop alone:   %8.3f s  (%.3f ms per archive)\n", counting,
                counting * 1000 / kArchives);
    std::printf("whole job via the engine: %8.3f s  (%.3f ms per archive, %zu log lines, %zu rows left)\n",
                whole, whole * 1000 / kArchives, ui.logLines, ui.rows.size());
    std::printf("main-thread calls: %zu (%.1f per archive), %.3f s in them, their work included\n",
                mainThread.invokes, double(mainThread.invokes) / kArchives, mainThread.invokeSeconds);
    std::printf("overhead per archive: %.3f ms, ratio %.2f\n", (whole - direct) * 1000 / kArchives,
                direct > 0 ? whole / direct : 0.0);
    return 0;
}
