// Large archives as whole programs: "velmor.exe -k ARCHIVE" on an archive of one large member, with the
// pre-test on and off, against the library's own extraction call made by a small program of its own with the
// job's command line (the same bytes written to the same place). Each run is timed from its start to its
// exit, and its peak working set is read from the process while it runs; every extraction is checked byte
// for byte (untimed) and deleted. The variants take turns, the first moving on by one each round. For a ZIP
// member, the CRC-32 read-back that a delete or a recycle waits for is timed alone too.
//   size_bench.exe [rounds [cases]]   (3 rounds; cases by name, comma-separated: zip200m, zip1g, tgz600m,
//                                      zip64; all by default, zip64 only where the disk has room for it)
//   size_bench.exe --library FILE     the library's extraction call alone, as the job would make it
//   size_bench.exe --make CASE FILE   writes the archive of one case (for runs by hand)
// Needs a display (Xvfb): Velmor is a window program even when its window stays hidden. The archives and
// the program folder live in a temp folder that is deleted at the end; the settings file and the log of My
// Documents are put back as they were.
// clang-format off
#include <windows.h>
#include <psapi.h>  // needs <windows.h> first
// clang-format on
#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/engine/job_rules.h"
#include "app/engine/member_guard.h"
#include "app/ini_control.h"
#include "archivers/archive_file.h"
#include "archivers/archiver_api.h"
#include "large_fixtures.h"
#include "platform/ini_file.h"
#include "platform/sjis.h"
#include "support/temp_dir.h"

using namespace velmor;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint64_t kMiB = 1ull << 20;

struct TCase {
    const char* name;
    const char* file;
    standin::Container container;
    uint64_t size;
    standin::Filler filler;
};

// Text-like data inflates at the pace of real data; the zip64 member repeats one block, so that its archive
// stays a few MB and only the output needs the disk.
const TCase kCases[] = {
    {"zip200m", "m200.zip", standin::Container::Zip, 200 * kMiB, standin::Filler::Text},
    {"zip1g", "g1.zip", standin::Container::Zip, 1024 * kMiB, standin::Filler::Text},
    {"tgz600m", "m600.tgz", standin::Container::Tgz, 600 * kMiB, standin::Filler::Text},
    {"zip64", "g45.zip", standin::Container::Zip, 4608 * kMiB, standin::Filler::Repeated},
};
constexpr const char* kMemberName = "member.bin";

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::wstring WinePath(const char* unix) {
    std::wstring w = L"Z:" + platform::SjisToWide(unix);
    std::replace(w.begin(), w.end(), L'/', L'\\');
    return w;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

uint64_t FreeBytes(const std::wstring& folder) {
    ULARGE_INTEGER free{};
    return GetDiskFreeSpaceExW(folder.c_str(), &free, nullptr, nullptr) ? free.QuadPart : 0;
}

// The job's command line for the archive's library, with the switches of the default settings.
std::string JobCommandLine(const std::string& archive, const std::string& outputFolder,
                           const TIniControl& ini, std::string& ext) {
    TArchiveFile af;
    af.SetFileName(archive);
    ext = LowerExt(archive);
    std::string notReady, commandLine;
    ApplyFormatSwitches(ext, ini.OverWrite, ini.IgnoreDirectory,
                        TReadyFlags{true, true, true, true, true, false}, af.Options, notReady);
    af.Archiver()->BuildExtractCmd(nullptr, archive, af.Options, outputFolder, TFileItems{std::string()},
                                   false, commandLine);
    return commandLine;
}

// The library's extraction call with the job's line, into the folder of the archive; the library is loaded
// from `libraries` (empty: the program's own folder).
int CallLibrary(const std::string& archive, const std::wstring& libraries) {
    platform::TIniFile none(archive + ".absent.ini");
    IniControl.Load(none);  // the settings' defaults, as an absent settings file gives them
    const std::string folder = archive.substr(0, archive.find_last_of('\\') + 1);
    std::string ext;
    const std::string line = JobCommandLine(archive, folder, IniControl, ext);
    const bool zip = ext == ".zip";
    const std::wstring file = zip ? L"UNZIP32.DLL" : L"TAR32.DLL";
    HMODULE lib = LoadLibraryW((libraries.empty() ? file : libraries + L"\\" + file).c_str());
    auto command = reinterpret_cast<TArcCommand>(
        reinterpret_cast<void (*)()>(GetProcAddress(lib, zip ? "UnZip" : "Tar")));
    if (!command) return 2;
    std::string buffer(static_cast<size_t>(IniControl.BuffMegaSize) * 1024, '\0');
    return command(nullptr, line.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
}

struct TRun {
    double seconds = 0;
    size_t peak = 0;
    DWORD exitCode = 1;
};

// Runs a program to its end, reading its peak working set while it runs.
TRun RunProgram(const std::wstring& exe, const std::wstring& args, const std::wstring& folder) {
    TRun run;
    std::wstring line = L"\"" + exe + L"\" " + args;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    const auto start = Clock::now();
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si,
                        &pi))
        return run;
    for (;;) {
        PROCESS_MEMORY_COUNTERS pmc{};
        pmc.cb = sizeof(pmc);
        if (K32GetProcessMemoryInfo(pi.hProcess, &pmc, sizeof(pmc)))
            run.peak = std::max(run.peak, static_cast<size_t>(pmc.PeakWorkingSetSize));
        if (WaitForSingleObject(pi.hProcess, 20) == WAIT_OBJECT_0) break;
    }
    run.seconds = Seconds(start);
    GetExitCodeProcess(pi.hProcess, &run.exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return run;
}

std::wstring MyDocuments() {
    wchar_t buf[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, buf);
    return buf;
}

// Keeps a file's content and puts it back (or removes the file) at the end.
class TKeptFile {
public:
    explicit TKeptFile(std::wstring path) : path_(std::move(path)), old_(testsupport::ReadFileBytes(path_)) {}
    ~TKeptFile() {
        if (old_)
            testsupport::WriteFileBytes(path_, *old_);
        else
            DeleteFileW(path_.c_str());
    }

private:
    std::wstring path_;
    std::optional<std::string> old_;
};

void WriteSettings(const std::wstring& path, bool preTest) {
    std::string text =
        "[Main]\r\nbLogFile=1\r\nPreTestArc=" + std::to_string(preTest ? 1 : 0) +
        "\r\nAfterMethod=0\r\nPutLocation=0\r\n[Sub_Confirm]\r\nConfirmIgnore=0\r\nConfirmSendTo=0\r\n"
        "ConfirmDelete=0\r\nShowEndDlg=0\r\n[App]\r\nFirstRun=0\r\n";
    testsupport::WriteFileBytes(path, text);
}

enum class TKind { Call, LibraryProgram, Velmor };

struct TVariant {
    const char* name;
    TKind kind;
    bool preTest;
    std::vector<TRun> runs;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--library") return CallLibrary(argv[2], L"");
    if (argc == 4 && std::string(argv[1]) == "--make") {
        for (const TCase& c : kCases) {
            if (argv[2] != std::string(c.name)) continue;
            const std::wstring file = platform::SjisToWide(argv[3]);
            return standin::WriteOneMemberArchive(file, c.container, kMemberName, c.size, c.filler, 1).ok ? 0
                                                                                                          : 1;
        }
        return 2;
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::string chosen = argc > 2 ? "," + std::string(argv[2]) + "," : std::string();
    wchar_t display[64] = {};
    if (!GetEnvironmentVariableW(L"DISPLAY", display, 64)) {
        std::fprintf(stderr, "size_bench needs a display (run it under Xvfb)\n");
        return 2;
    }

    testsupport::TempDir dir;
    // The program folder: velmor.exe with the stand-in libraries beside it, as it ships.
    const std::wstring app = dir.File(L"app");
    CreateDirectoryW(app.c_str(), nullptr);
    const std::wstring velmor = app + L"\\velmor.exe";
    CopyFileW(WinePath(VELMOR_EXE).c_str(), velmor.c_str(), FALSE);
    const std::wstring standins = testsupport::StandinFolder(L"full");
    WIN32_FIND_DATAW fd{};
    HANDLE find = FindFirstFileW((standins + L"\\*.*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                CopyFileW((standins + L"\\" + fd.cFileName).c_str(), (app + L"\\" + fd.cFileName).c_str(),
                          FALSE);
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    // The library program loads the libraries from the same folder.
    const std::wstring libraryExe = app + L"\\size_bench_library.exe";
    CopyFileW(self, libraryExe.c_str(), FALSE);

    // This process builds the job's command lines through the component, which loads the libraries too.
    SetDllDirectoryW(app.c_str());
    const std::wstring docs = MyDocuments();
    const std::wstring ini = docs + L"\\Velmor.ini";
    TKeptFile keptIni(ini), keptLog(docs + L"\\VelmorLog.txt");

    std::printf("velmor-x64 build under wine64; %d rounds; median (min-max) seconds, peak working set\n",
                rounds);
    bool allGood = true;
    for (const TCase& c : kCases) {
        if (!chosen.empty() && chosen.find("," + std::string(c.name) + ",") == std::string::npos) continue;
        const std::wstring archive = dir.File(platform::SjisToWide(c.file));
        const std::wstring output = FolderOf(archive) + L"\\" + platform::SjisToWide(kMemberName);
        // Room for the archive, one extraction and 15 GB left for everyone else.
        const uint64_t free = FreeBytes(dir.Path());
        if (free < c.size * 2 + 15ull * 1024 * kMiB) {
            std::printf("\n%s: skipped, %.1f GB free is too little\n", c.name, free / 1e9);
            continue;
        }
        std::printf("\n%s: one member of %llu MiB, making the archive...\n", c.name,
                    static_cast<unsigned long long>(c.size / kMiB));
        std::fflush(stdout);
        const auto made = Clock::now();
        if (!standin::WriteOneMemberArchive(archive, c.container, kMemberName, c.size, c.filler, 1).ok) {
            std::printf("  could not write the archive\n");
            allGood = false;
            continue;
        }
        WIN32_FILE_ATTRIBUTE_DATA attrs{};
        GetFileAttributesExW(archive.c_str(), GetFileExInfoStandard, &attrs);
        std::printf("  archive %.1f MB, made in %.1f s\n",
                    ((static_cast<uint64_t>(attrs.nFileSizeHigh) << 32) | attrs.nFileSizeLow) / 1e6,
                    Seconds(made));

        std::vector<TVariant> variants = {{"library call in this process", TKind::Call, false, {}},
                                          {"library's program", TKind::LibraryProgram, false, {}},
                                          {"velmor -k, pre-test on", TKind::Velmor, true, {}},
                                          {"velmor -k, pre-test off", TKind::Velmor, false, {}}};
        const std::wstring arg = L"\"" + archive + L"\"";
        for (int round = 0; round < rounds; ++round)
            for (size_t k = 0; k < variants.size(); ++k) {
                TVariant& v = variants[(static_cast<size_t>(round) + k) % variants.size()];
                TRun run;
                if (v.kind == TKind::Call) {
                    const auto start = Clock::now();
                    run.exitCode = static_cast<DWORD>(CallLibrary(platform::WideToSjis(archive), app));
                    run.seconds = Seconds(start);
                } else if (v.kind == TKind::LibraryProgram) {
                    run = RunProgram(libraryExe, L"--library " + arg, app);
                } else {
                    WriteSettings(ini, v.preTest);
                    run = RunProgram(velmor, L"-k " + arg, app);
                }
                const bool exact = standin::FileMatchesFiller(output, c.size, c.filler);
                if (run.exitCode != 0 || !exact) {
                    std::printf("  %s: exit code %lu, output %s\n", v.name, run.exitCode,
                                exact ? "byte-exact" : "NOT byte-exact");
                    allGood = false;
                }
                DeleteFileW(output.c_str());
                v.runs.push_back(run);
            }
        double call = 0, program = 0;
        for (const TVariant& v : variants) {
            std::vector<double> times;
            size_t peak = 0;
            for (const TRun& r : v.runs) {
                times.push_back(r.seconds);
                peak = std::max(peak, r.peak);
            }
            const double median = Median(times);
            if (v.kind == TKind::Call) call = median;
            if (v.kind == TKind::LibraryProgram) program = median;
            std::printf("  %-30s %7.2f s (%.2f-%.2f)", v.name, median,
                        *std::min_element(times.begin(), times.end()),
                        *std::max_element(times.begin(), times.end()));
            if (v.kind != TKind::Call) std::printf("  peak %6.1f MB", peak / 1e6);
            if (v.kind == TKind::Velmor)
                std::printf("  %.2f x the library's program, %.2f x its call", median / program,
                            median / call);
            std::printf("\n");
        }
        std::printf("  every extraction byte-exact: %s\n", allGood ? "yes" : "NO");
        if (c.container == standin::Container::Zip) {
            // What a delete or a recycle adds: the member read back against the CRC-32 the listing gives.
            const std::string archiveSjis = platform::WideToSjis(archive);
            CallLibrary(archiveSjis, app);
            TArchiveFile listing;
            listing.SetFileName(archiveSjis);
            TArchiveMemberInfo info{};
            listing.OpenArchive(nullptr, 0);
            listing.FindFirst("*.*", info);
            listing.CloseArchive();
            const std::vector<TCountedMember> members = {{kMemberName, false, false, c.size, info.Crc}};
            const std::string folder = platform::WideToSjis(FolderOf(archive)) + "\\";
            std::vector<double> times;
            size_t other = 0;
            for (int round = 0; round < rounds; ++round) {
                const auto start = Clock::now();
                other += MembersWithOtherData(folder, members, false).size();
                times.push_back(Seconds(start));
            }
            double velmor = 0;
            for (const TVariant& v : variants)
                if (v.kind == TKind::Velmor && v.preTest) {
                    std::vector<double> t;
                    for (const TRun& r : v.runs) t.push_back(r.seconds);
                    velmor = Median(t);
                }
            std::printf(
                "  CRC-32 read-back before a delete or recycle %7.2f s (%.2f-%.2f), %.0f %% of velmor -k "
                "with the pre-test%s\n",
                Median(times), *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()), 100 * Median(times) / velmor,
                other ? ", OTHER DATA" : "");
            DeleteFileW(output.c_str());
        }
        DeleteFileW(archive.c_str());
    }
    return allGood ? 0 : 1;
}
