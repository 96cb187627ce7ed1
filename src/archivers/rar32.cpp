// RAR command lines and content check.
#include "archivers/rar32.h"

#include "archivers/cab32.h"

namespace {
TDllHolder& RarHolder() {
    // Never destroyed: the library stays loaded until the process ends.
    static TDllHolder* holder =
        new TDllHolder([] { return new TArchiverDll("RAR 形式書庫", "UNRAR32.DLL", "Unrar"); });
    return *holder;
}
}  // namespace

TCustomArchiverDll* LoadRarDll() { return RarHolder().Ensure(); }
void FreeRarDll() { RarHolder().Free(); }

void TRar32::LoadDLL() { LoadRarDll(); }
void TRar32::FreeDLL() { FreeRarDll(); }
TCustomArchiverDll* TRar32::GetDll() { return RarHolder().Get(); }

std::string TRar32::BuildRarCommand(const std::string& word, const std::string& archiveName,
                                    const std::string& folder, const TFileItems& files, bool useResFile,
                                    const TArchiverOptions& o) const {
    TCmdOpt cmd;
    // c <= 0 includes the unset value -1.
    cmd.AddFlag("u", o.c <= 0);
    cmd.AddFlag("y", o.m > 0);
    cmd.AddFlag("s", o.p > 0);
    cmd.Add(o.UserOptions);
    AddArchiveAndDir(cmd, archiveName, folder);
    AddFileList(cmd, o, files, useResFile);
    return word + cmd.Text;
}

void TRar32::BuildExtractCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                             const std::string& destFolder, const TFileItems& files, bool, std::string& cmd) {
    cmd = BuildRarCommand(options.x == 0 ? "-e" : "-x", archiveName, destFolder, files,
                          HasResUse(options.ResFileUsage, ruOnUnpack), options);
}

void TRar32::BuildExtractMemCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                                const std::string& memberName, std::string& cmd) {
    cmd = BuildRarCommand("", archiveName, "", {memberName}, false, options);
}

bool IsRarArchive(const std::string& fileName) { return IsArchiveOpenable(LoadRarDll, fileName, false); }
