// BGA command lines and content check.
#include "archivers/bga32.h"

#include "archivers/cab32.h"

namespace {
TDllHolder& BgaHolder() {
    // Never destroyed: the library stays loaded until the process ends.
    static TDllHolder* holder =
        new TDllHolder([] { return new TArchiverDll("BGA 形式書庫", "BGA32.DLL", "Bga"); });
    return *holder;
}
}  // namespace

TCustomArchiverDll* LoadBgaDll() { return BgaHolder().Ensure(); }
void FreeBgaDll() { BgaHolder().Free(); }

void TBGA32::LoadDLL() { LoadBgaDll(); }
void TBGA32::FreeDLL() { FreeBgaDll(); }
TCustomArchiverDll* TBGA32::GetDll() { return BgaHolder().Get(); }

std::string TBGA32::BuildBgaCommand(const std::string& word, const std::string& archiveName,
                                    const std::string& folder, const TFileItems& files, bool useResFile,
                                    const TArchiverOptions& o) const {
    TCmdOpt cmd;
    cmd.AddFlag("a", o.a > 0);
    cmd.Add(o.c > 0 ? "-o" : "-n");
    cmd.AddFlag("i", o.n > 0 || HasOwnerWindow());
    cmd.AddFlag("r", o.r > 0);
    cmd.AddFlag("j", o.x <= 0);
    cmd.AddNumber("l", o.jm);
    cmd.Add(o.UserOptions);
    AddArchiveAndDir(cmd, archiveName, folder);
    AddFileList(cmd, o, files, useResFile);
    return word + cmd.Text;
}

void TBGA32::BuildExtractCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                             const std::string& destFolder, const TFileItems& files, bool useResFile,
                             std::string& cmd) {
    cmd = BuildBgaCommand("x", archiveName, destFolder, files, useResFile, options);
}

void TBGA32::BuildPackCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                          const std::string& baseFolder, const TFileItems& files, bool useResFile,
                          std::string& cmd) {
    cmd = BuildBgaCommand("a", archiveName, baseFolder, files, useResFile, options);
}

void TBGA32::BuildDeleteCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                            const std::string&, const TFileItems& files, bool, std::string& cmd) {
    cmd = BuildBgaCommand("d", archiveName, "", files, HasResUse(options.ResFileUsage, ruOnRemoveItem),
                          options);
}

void TBGA32::BuildSfxCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                         const std::string& folder, std::string& cmd) {
    cmd = BuildBgaCommand("s", archiveName, folder, {}, HasResUse(options.ResFileUsage, ruOnRemoveItem),
                          options);
}

bool IsBgaArchive(const std::string& fileName) { return IsArchiveOpenable(LoadBgaDll, fileName, true); }
