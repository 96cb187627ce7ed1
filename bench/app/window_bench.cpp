// The windows at the library's pace, each against its floor in the same run:
//   j  a job of 1,000 one-member ZIP archives dropped on the real main window (default settings: pre-test,
//      per-file display, bind folder), from the start button to the end of the job, with the window shown
//      and hidden, against the ZIP stand-in's own test and extraction calls for the same archives;
//   s  the search window over 200 listed archives of 1,000 members each, a keyword with 200 hits and one
//      with 20,000, from the search button until the hits are on screen, against the library's own listing
//      calls (open, find first, find next, close) of the same archives;
//   v  the log viewer on a 50 MB log file, from its show until its text is on screen, against one read of
//      the file and its conversion to UTF-16;
//   c  closing the main window with 30,000 lines in its log pane (the close query, the log file and the
//      settings written, the window destroyed), against one write of the same bytes.
// The variants of a section run in turn, the first one moving on by one each round; what a run leaves
// (extracted files, the log file) is removed between runs, untimed. Medians and spread are printed. Showing
// or hiding a window is left out of the times: without a window manager Wine waits up to 2 s for the X server
// to confirm a hidden window's state.
//   window_bench.exe [rounds [sections]]   (5 rounds, sections "jsvc" by default; needs a display: Xvfb)
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/engine/job_rules.h"
#include "app/forms/form_log_view.h"
#include "app/forms/form_main.h"
#include "app/forms/form_search.h"
#include "app/ini_control.h"
#include "archivers/archive_file.h"
#include "archivers/archiver_api.h"
#include "archivers/job_state.h"
#include "platform/application.h"
#include "platform/sjis.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"
#include "app_bench.h"

using namespace velmor;
using platform::Application;
using namespace benchsupport;

namespace {

// Prints each variant's median (min-max), times `scale` (1000 / count for ms per item), in `unit`.
std::vector<TSummary> PrintTable(const std::vector<TVariant>& variants, double scale, const char* unit) {
    std::vector<TSummary> sums;
    for (const TVariant& v : variants) {
        sums.push_back(Summarize(v.times));
        const TSummary& s = sums.back();
        std::printf("  %-40s %9.3f %s (%.3f-%.3f)\n", v.name.c_str(), s.median * scale, unit, s.min * scale,
                    s.max * scale);
    }
    return sums;
}

// Serves what is pending, then paints every window of the thread that waits for it: the state a user sees.
void SettleScreen(HWND window) {
    Application.ProcessMessages();
    ::RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    Application.ProcessMessages();
}

void PumpFor(double seconds) {
    const auto start = Clock::now();
    while (Seconds(start) < seconds) PumpUntil([] { return true; }), ::Sleep(5);
}

// A drop of these paths, as the shell hands it to a window (the receiver frees it).
HDROP MakeDrop(const std::vector<std::string>& paths) {
    std::wstring list;
    for (const std::string& p : paths) list += platform::SjisToWide(p) + L'\0';
    list += L'\0';
    const size_t bytes = sizeof(DROPFILES) + list.size() * sizeof(wchar_t);
    HGLOBAL memory = ::GlobalAlloc(GHND, bytes);
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), list.data(),
                list.size() * sizeof(wchar_t));
    ::GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

struct TZipLibrary {
    TZipLibrary() {
        HMODULE zip = ::LoadLibraryW(L"UNZIP32.DLL");
        command = Proc<TArcCommand>(zip, "UnZip");
        check = Proc<TArcCheckArchive>(zip, "UnZipCheckArchive");
        open = Proc<TArcOpenArchive>(zip, "UnZipOpenArchive");
        findFirst = Proc<TArcFindFirst>(zip, "UnZipFindFirst");
        findNext = Proc<TArcFindNext>(zip, "UnZipFindNext");
        close = Proc<TArcCloseArchive>(zip, "UnZipCloseArchive");
    }
    TArcCommand command = nullptr;
    TArcCheckArchive check = nullptr;
    TArcOpenArchive open = nullptr;
    TArcFindFirst findFirst = nullptr;
    TArcFindNext findNext = nullptr;
    TArcCloseArchive close = nullptr;
};

// The settings of an absent settings file, with no question and no end notice.
void QuietDefaults() {
    TDefaultsOnly defaults;
    IniControl.Load(defaults);
    IniControl.ConfirmDelete = false;
    IniControl.ConfirmIgnore = false;
    IniControl.ShowEndDlg = false;
    IniControl.AfterMethod = 0;
    IniControl.PutLocation = 0;
    IniControl.bLogFile = false;
}

// --- j: many archives ----------------------------------------------------------------------------------

void JobSection(int rounds, TZipLibrary& zip) {
    constexpr int kArchives = 1000;
    testsupport::TempDir dir;
    std::vector<std::string> archives;
    for (int i = 0; i < kArchives; ++i) {
        testsupport::WriteZipFixture(dir.File(L"a" + std::to_wstring(i) + L".zip"),
                                     {{"f" + std::to_string(i) + ".txt", std::string(1024, 'v')}});
        archives.push_back(dir.SjisFile("a" + std::to_string(i) + ".zip"));
    }
    auto deleteExtracted = [&] {
        for (int i = 0; i < kArchives; ++i)
            ::DeleteFileW(dir.File(L"f" + std::to_wstring(i) + L".txt").c_str());
    };

    TfrmMain form;
    form.Create();
    JobState().CommandLineRun = 0;
    QuietDefaults();
    const bool preTest = IniControl.PreTestArc;
    const int checkMode = IniControl.PreTestMode;
    // One member each: no bind folder, the member lands beside its archive.
    std::vector<std::string> commandLines;
    for (const std::string& a : archives)
        commandLines.push_back(JobCommandLine(a, dir.SjisPath() + "\\", IniControl));
    std::string buffer(static_cast<size_t>(IniControl.BuffMegaSize) * 1024, '\0');

    auto showWindow = [&form](bool shown) {
        shown ? form.Show() : form.Hide();
        PumpFor(0.2);
    };
    auto job = [&form] {
        form.btnUnPackClick();
        PumpUntil([&] { return JobState().Status == jsIdle && !form.Worker; });
        SettleScreen(form.Handle());
    };
    size_t logLines = 0, rowsLeft = 0;
    auto prepareJob = [&](bool shown) {
        return [&, shown] {
            QuietDefaults();
            form.ClearLog();
            form.DropFiles(MakeDrop(archives));
            showWindow(shown);
        };
    };
    auto afterJob = [&] {
        logLines = form.memoLog.Lines().size();
        rowsLeft = static_cast<size_t>(form.lvFiles.Count());
        form.ClearFileList();
        deleteExtracted();
    };
    std::vector<TVariant> variants = {
        {preTest ? "library: test and extraction calls" : "library: extraction calls",
         [&] {
             for (int i = 0; i < kArchives; ++i) {
                 if (preTest) zip.check(archives[static_cast<size_t>(i)].c_str(), checkMode);
                 zip.command(nullptr, commandLines[static_cast<size_t>(i)].c_str(), buffer.data(),
                             static_cast<DWORD>(buffer.size()));
             }
         },
         nullptr,
         deleteExtracted,
         {}},
        {"job, window shown", job, prepareJob(true), afterJob, {}},
        {"job, window hidden", job, prepareJob(false), afterJob, {}},
    };
    std::printf(
        "\n[j] %d one-member ZIP archives (1 KB each) dropped on the "
        "main window, ZIP stand-in, "
        "default settings (pre-test %s), %d rounds; per archive, median "
        "(min-max):\n",
        kArchives, preTest ? "on" : "off", rounds);
    RunRounds(variants, rounds);
    const std::vector<TSummary> sums = PrintTable(variants, 1000.0 / kArchives, "ms");
    std::printf("  the last job: %zu log lines, %zu rows left\n", logLines, rowsLeft);
    for (size_t i = 1; i < variants.size(); ++i)
        std::printf("  %-40s %9.3f ms per archive beyond the library\n", variants[i].name.c_str(),
                    (sums[i].median - sums[0].median) * 1000.0 / kArchives);
    form.Destroy();
}

// --- s: many hits ---------------------------------------------------------------------------------------

void SearchSection(int rounds, TZipLibrary& zip) {
    constexpr int kArchives = 200, kMembers = 1000;
    testsupport::TempDir dir;
    std::vector<std::string> archives;
    for (int i = 0; i < kArchives; ++i) {
        // Member 0 is the one ".bmp" of its archive, members 1 to 100 are ".jpg", the rest ".txt".
        std::vector<testsupport::FixtureMember> members;
        members.reserve(kMembers);
        for (int j = 0; j < kMembers; ++j) {
            const std::string folder = "d" + std::to_string(j % 10) + "/";
            const std::string name = j == 0     ? "x" + std::to_string(i) + ".bmp"
                                     : j <= 100 ? "p" + std::to_string(j) + ".jpg"
                                                : "m" + std::to_string(j) + ".txt";
            members.push_back({folder + name, "0123456789", false});
        }
        testsupport::WriteZipFixture(dir.File(L"s" + std::to_wstring(i) + L".zip"), members);
        archives.push_back(dir.SjisFile("s" + std::to_string(i) + ".zip"));
    }

    TfrmSearch search;
    search.Source.ArchivePaths = [&archives] { return archives; };
    search.Source.AcceptsExtension = [](const std::string& ext) { return CheckAbleExt(ext); };
    search.Create();
    search.SetBounds(0, 0, 700, 470);
    search.Show();
    PumpFor(0.2);

    size_t listed = 0;
    auto library = [&] {
        listed = 0;
        for (const std::string& a : archives) {
            HARC arc = zip.open(nullptr, a.c_str(), kOpenModeList);
            if (!arc) continue;
            TArchiveMemberInfo info{};
            for (int r = zip.findFirst(arc, "*.*", &info); r == 0; r = zip.findNext(arc, &info)) ++listed;
            zip.close(arc);
        }
    };
    std::string counted;
    auto searchFor = [&](const char* keyword) {
        return [&, keyword] {
            search.cmbWildCard.SetText(keyword);
            search.btnStartSearch.Click();
            PumpUntil([&] { return !search.Searching(); });
            SettleScreen(search.Handle());
            counted = search.lblcntFind.Text() + " hits, " + std::to_string(search.lvFile.Count()) + " rows";
        };
    };
    std::string counts[2];
    std::vector<TVariant> variants = {
        {"library: listing calls", library, nullptr, nullptr, {}},
        {"search, 200 hits (.bmp)", searchFor(".bmp"), nullptr, [&] { counts[0] = counted; }, {}},
        {"search, 20,000 hits (.jpg)", searchFor(".jpg"), nullptr, [&] { counts[1] = counted; }, {}},
    };
    std::printf(
        "\n[s] the search window over %d listed ZIP archives of %d "
        "members, %d rounds; seconds, "
        "median (min-max):\n",
        kArchives, kMembers, rounds);
    RunRounds(variants, rounds);
    const std::vector<TSummary> sums = PrintTable(variants, 1.0, "s");
    std::printf("  the library listed %zu members; shown: %s; %s\n", listed, counts[0].c_str(),
                counts[1].c_str());
    for (size_t i = 1; i < variants.size(); ++i)
        std::printf("  %-40s %9.3f s beyond the library\n", variants[i].name.c_str(),
                    sums[i].median - sums[0].median);
    search.Destroy();
}

// --- v: a long log in the viewer ------------------------------------------------------------------------

// Numbered log lines as the pane writes them, Shift-JIS, CR LF, about `bytes` in all.
std::string LogText(size_t bytes, size_t* lines) {
    std::string text;
    text.reserve(bytes + 200);
    size_t n = 0;
    while (text.size() < bytes) {
        ++n;
        switch (n % 4) {
            case 0:
                text += " " + std::to_string(n) + "| > [ 解凍 ]　\"C:\\ダウンロード\\書庫" +
                        std::to_string(n) + ".zip\"";
                break;
            case 1:
                text += " " + std::to_string(n) + "| > 解凍先：C:\\ダウンロード\\書庫" + std::to_string(n);
                break;
            case 2: text += " " + std::to_string(n) + "| > [ 後始末 ] そのまま"; break;
            default: text += " " + std::to_string(n) + "| ──────────────────────"; break;
        }
        text += "\r\n";
    }
    if (lines) *lines = n;
    return text;
}

void LogViewSection(int rounds) {
    testsupport::TempDir dir;
    const std::wstring file = dir.File(L"VelmorLog.txt");
    size_t lines = 0;
    const std::string text = LogText(50u << 20, &lines);
    testsupport::WriteFileBytes(file, text);

    TfrmLogView view;
    view.LogPath = [&dir] { return std::optional<std::string>(dir.SjisFile("VelmorLog.txt")); };
    view.Create();
    std::string lastShown;
    size_t shownLength = 0;
    std::vector<TVariant> variants = {
        {"one read and one conversion",
         [&] {
             HANDLE h = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                      nullptr);
             std::string bytes(static_cast<size_t>(::GetFileSize(h, nullptr)), '\0');
             DWORD got = 0;
             ::ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
             ::CloseHandle(h);
             std::wstring wide = platform::SjisToWide(bytes);
             shownLength = wide.size();
         },
         nullptr,
         nullptr,
         {}},
        {"log viewer shown, 50 MB",
         [&] {
             view.Show();
             SettleScreen(view.Handle());
         },
         nullptr,
         [&] {
             // The last row as the list shows it.
             const int rows =
                 static_cast<int>(::SendMessageW(view.memoLogView.Handle(), LVM_GETITEMCOUNT, 0, 0));
             wchar_t row[1024] = {};
             LVITEMW item{};
             item.pszText = row;
             item.cchTextMax = 1024;
             ::SendMessageW(view.memoLogView.Handle(), LVM_GETITEMTEXTW, static_cast<WPARAM>(rows - 1),
                            reinterpret_cast<LPARAM>(&item));
             lastShown = std::to_string(rows) + " rows, the last: " + platform::WideToSjis(row);
             view.Hide();
             PumpFor(0.2);
         },
         {}},
    };
    std::printf(
        "\n[v] the log viewer on a log file of %.1f MB (%zu lines), %d "
        "rounds; seconds, median (min-max):\n",
        text.size() / 1048576.0, lines, rounds);
    RunRounds(variants, rounds);
    const std::vector<TSummary> sums = PrintTable(variants, 1.0, "s");
    std::printf("  last line shown: %s\n", platform::SjisToUtf8(lastShown).c_str());
    std::printf("  %-40s %9.3f s beyond the floor\n", variants[1].name.c_str(),
                sums[1].median - sums[0].median);
    view.Destroy();
}

// --- c: closing with a long log -------------------------------------------------------------------------

void CloseSection(int rounds) {
    constexpr int kLines = 30000;
    testsupport::TempDir dir;
    const std::wstring logFile = dir.File(L"VelmorLog.txt");
    // The pane's lines as a long job leaves them.
    std::vector<std::string> lines;
    std::string written;
    for (int i = 1; i <= kLines; ++i) {
        lines.push_back(" " + std::to_string(i) + "| > [ 解凍 ]\t\"C:\\ダウンロード\\書庫" +
                        std::to_string(i) + ".zip\" へ解凍しました。");
        written += lines.back() + "\r\n";
    }
    std::unique_ptr<TfrmMain> form;
    size_t fileLines = 0;
    std::vector<TVariant> variants = {
        {"one write of the same bytes",
         [&] {
             HANDLE h = ::CreateFileW(logFile.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
             ::SetFilePointer(h, 0, nullptr, FILE_END);
             DWORD done = 0;
             ::WriteFile(h, written.data(), static_cast<DWORD>(written.size()), &done, nullptr);
             ::FlushFileBuffers(h);
             ::CloseHandle(h);
         },
         nullptr,
         [&] { ::DeleteFileW(logFile.c_str()); },
         {}},
        {"close with 30,000 log lines",
         [&] {
             form->Close();
             {
                 TUntimed hide;
                 form->Hide();
                 PumpFor(0.2);
             }
             form->Destroy();
         },
         [&] {
             form = std::make_unique<TfrmMain>();
             form->Create();
             QuietDefaults();
             IniControl.bLogFile = true;
             IniControl.KBDeleteLog = 1 << 20;
             JobState().LogFilePath = dir.SjisFile("VelmorLog.txt");
             form->memoLog.SetLines(lines);
             form->Show();
             PumpFor(0.2);
             // The close's own work is timed; the hide that follows it is not (see the top of this file).
             auto close = form->OnClose;
             form->OnClose = [close](platform::TCloseAction& action) {
                 close(action);
                 action = platform::caNone;
             };
         },
         [&] {
             const auto bytes = testsupport::ReadFileBytes(logFile);
             fileLines = bytes ? static_cast<size_t>(std::count(bytes->begin(), bytes->end(), '\n')) : 0;
             form.reset();
             ::DeleteFileW(logFile.c_str());
         },
         {}},
    };
    std::printf(
        "\n[c] closing the main window with %d lines in its log pane "
        "(logging on), %d rounds; seconds, "
        "median (min-max):\n",
        kLines, rounds);
    RunRounds(variants, rounds);
    const std::vector<TSummary> sums = PrintTable(variants, 1.0, "s");
    std::printf("  the log file held %zu lines (%zu bytes in the pane's lines)\n", fileLines, written.size());
    std::printf("  %-40s %9.3f s beyond the floor\n", variants[1].name.c_str(),
                sums[1].median - sums[0].median);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string sections = argc > 2 ? argv[2] : "jsvc";
    wchar_t display[64] = {};
    if (!::GetEnvironmentVariableW(L"DISPLAY", display, 64)) {
        std::fprintf(stderr, "window_bench needs a display (run it under Xvfb)\n");
        return 2;
    }
    Application.Initialize();
    Application.OnMessageBox = [](HWND, const std::string&, const std::string&, UINT) { return IDYES; };
    ::SetDllDirectoryW(testsupport::StandinFolder(L"full").c_str());
    TZipLibrary zip;
    if (!zip.command || !zip.open) {
        std::fprintf(stderr, "the ZIP stand-in library did not load\n");
        return 2;
    }
    for (char c : sections) {
        if (c == 'j') JobSection(rounds, zip);
        if (c == 's') SearchSection(rounds, zip);
        if (c == 'v') LogViewSection(rounds);
        if (c == 'c') CloseSection(rounds);
        std::fflush(stdout);
    }
    return 0;
}
