// LHA command lines and content check.
#include "archivers/lha32.h"

#include "archivers/archiver_error.h"
#include "archivers/path_util.h"

namespace {
TDllHolder& LhaHolder() {
    // Never destroyed: the library stays loaded until the process ends.
    static TDllHolder* holder =
        new TDllHolder([] { return new TArchiverDll("LHA 形式書庫", "UNLHA32.DLL", "Unlha"); });
    return *holder;
}
}  // namespace

TCustomArchiverDll* EnsureLhaDll() { return LhaHolder().Ensure(); }
void FreeLhaDll() { LhaHolder().Free(); }

void TLha32::LoadDLL() { EnsureLhaDll(); }
void TLha32::FreeDLL() { FreeLhaDll(); }
TCustomArchiverDll* TLha32::GetDll() { return LhaHolder().Get(); }

std::string TLha32::BuildLhaCommand(const std::string& word, const std::string& archiveName,
                                    const std::string& folder, const TFileItems& files, bool useResFile,
                                    const TArchiverOptions& o) const {
    TCmdOpt cmd;
    cmd.Add("-+1");
    if (word == "x" && o.jse == -1) throw EArchiverAssertion("jse オプションが設定されていません。");
    if (o.jso == -1) throw EArchiverAssertion("jso オプションが設定されていません。");

    auto numbers = [&cmd](std::initializer_list<std::pair<const char*, int8_t>> list) {
        for (const auto& [name, value] : list) cmd.AddNumber(name, value);
    };
    // The library's no-display switch whenever progress goes to a window.
    const int8_t n = HasOwnerWindow() ? 1 : o.n;
    numbers({{"a", o.a}, {"c", o.c}, {"e", o.e}, {"f", o.f}, {"h", o.h}, {"i", o.i}, {"l", o.l}, {"m", o.m},
             {"n", n}, {"o", o.o}, {"p", o.p}, {"r", o.r}, {"s", o.s}, {"t", o.t}, {"u", o.u}});
    cmd.AddFolder("w", o.w);
    numbers({{"x", o.x}, {"y", o.y}, {"z", o.z}, {"jc", o.jc}, {"jd", o.jd}, {"je", o.je}, {"jf", o.jf},
             {"jh", o.jh}, {"ji", o.ji}, {"jm", o.jm}, {"jn", o.jn}});
    cmd.AddString("jo", o.jo);
    cmd.AddString("job", o.job);
    numbers({{"jp", o.jp}, {"jr", o.jr}, {"jsb", o.jsb}, {"jsc", o.jsc}, {"jsd", o.jsd}, {"jse", o.jse},
             {"jsf", o.jsf}, {"jsl", o.jsl}, {"jso", o.jso}, {"jss", o.jss}, {"jst", o.jst}, {"jsv", o.jsv},
             {"jsz", o.jsz}, {"jw", o.jw}});
    for (const auto& pattern : o.jx) cmd.AddString("jx", pattern);
    numbers({{"jyc", o.jyc}, {"jyd", o.jyd}, {"jyk", o.jyk}, {"jyn", o.jyn}, {"jyo", o.jyo}});
    cmd.AddString("jz", o.jz);
    numbers({{"ga", o.ga}, {"gd", o.gd}, {"ge", o.ge}, {"gf", o.gf}, {"gj", o.gj}, {"gm", o.gm}, {"gn", o.gn},
             {"go", o.go}, {"gp", o.gp}});
    cmd.AddString("gr", o.gr);
    numbers({{"gs", o.gs}, {"gu", o.gu}, {"gw", o.gw}, {"gya", o.gya}, {"gyc", o.gyc}});
    cmd.AddString("gyd", o.gyd);
    cmd.AddString("gye", o.gye);
    numbers({{"gyo", o.gyo}, {"gyq", o.gyq}, {"gys", o.gys}});
    cmd.AddString("gyt", o.gyt);
    cmd.AddString("gyw", o.gyw);
    cmd.AddNumber("gyx", o.gyx);
    cmd.Add(o.UserOptions);
    AddArchiveAndDir(cmd, archiveName, folder);
    AddFileList(cmd, o, files, useResFile);
    return word + cmd.Text;
}

void TLha32::BuildExtractCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                             const std::string& destFolder, const TFileItems& files, bool, std::string& cmd) {
    cmd = BuildLhaCommand("x", archiveName, destFolder, files, HasResUse(options.ResFileUsage, ruOnUnpack), options);
}

void TLha32::BuildPackCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                          const std::string& baseFolder, const TFileItems& files, bool, std::string& cmd) {
    cmd = BuildLhaCommand("u", archiveName, baseFolder, files, HasResUse(options.ResFileUsage, ruOnPack), options);
}

void TLha32::BuildDeleteCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                            const std::string&, const TFileItems& files, bool, std::string& cmd) {
    cmd = BuildLhaCommand("d", archiveName, "", files, HasResUse(options.ResFileUsage, ruOnRemoveItem), options);
}

void TLha32::BuildUpdateCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                            const std::string& baseFolder, const TFileItems& files, bool, std::string& cmd) {
    cmd = BuildLhaCommand("f", archiveName, baseFolder, files, HasResUse(options.ResFileUsage, ruOnUpdate), options);
}

void TLha32::BuildSfxCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                         const std::string& folder, std::string& cmd) {
    cmd = BuildLhaCommand("s", archiveName, folder, {}, false, options);
}

void TLha32::BuildExtractMemCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                                const std::string& memberName, std::string& cmd) {
    cmd = BuildLhaCommand("", archiveName, "", {memberName}, false, options);
}

bool IsLhaArchive(const std::string& fileName) {
    try {
        TCustomArchiverDll* dll = EnsureLhaDll();
        std::string path = ExpandFileName(fileName);
        if (dll->CheckArchive(path, kCheckModeLha) == 0) return false;
        HARC arc = dll->OpenArchive(nullptr, path, kOpenModeContentCheck);
        // Closing handle 0 would hand the library a handle it never gave out.
        if (arc) dll->CloseArchive(arc);
        return arc != nullptr;
    } catch (...) {
        return false;
    }
}
