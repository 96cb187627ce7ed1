// Measures what TArchiveFile adds over calling a library's entries directly: listing a 60,000-member archive
// (the fixture writer has no ZIP64, so a container holds at most 65,535 members)
// (FindFirst/FindNext with the record completion), and extracting 10,000 small members with and without a
// progress handler. Prints the figures and the overhead ratios.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "archivers/archive_file.h"
#include "archivers/archiver_api.h"
#include "platform/sjis.h"
#include "support/fixtures.h"
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

}  // namespace

int main() {
    SetDllDirectoryW(StandinFolder(L"full").c_str());
    TempDir dir;
    const int kListCount = 60000, kExtractCount = 10000;
    std::printf("writing fixtures...\n");
    WriteTaggedFixture(dir.File(L"big.lzh"), "LHA", Members(kListCount, 16));
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
    std::printf("listing %d members: direct %.3f s (%.0f ns/member), component %.3f s (%.0f ns/member), "
                "overhead %.1f%%\n",
                directCount, direct, direct * 1e9 / directCount, component, component * 1e9 / componentCount,
                (component / direct - 1) * 100);

    // One extraction into a folder of its own; the variants alternate so that neither gains from running first
    // (the host file system slows down as extracted files pile up), and deleting is not timed.
    int folder = 0;
    auto extractOnce = [&](bool withProgress) {
        const std::string out = dir.SjisFile("out" + std::to_string(folder++));
        TArchiveFile af;
        af.SetFileName(dir.SjisFile("small.lzh"));
        af.Options.jse = 0;
        af.Options.jso = 1;
        af.Options.x = 1;
        long reports = 0;
        if (withProgress) af.OnProgress = [&](TArchiveFile*, int, LPEXTRACTINGINFOEX, bool&) { ++reports; };
        auto start = Clock::now();
        af.Extract(nullptr, nullptr, out, "", {});
        double s = Seconds(start);
        DeleteTree(platform::SjisToWide(out));
        return s;
    };
    double plain = 1e9, progress = 1e9;
    for (int i = 0; i < 3; ++i) {
        plain = std::min(plain, extractOnce(false));
        progress = std::min(progress, extractOnce(true));
    }
    std::printf("extracting %d members: without OnProgress %.3f s, with OnProgress %.3f s (%+.1f%%)\n",
                kExtractCount, plain, progress, (progress / plain - 1) * 100);
    return 0;
}
