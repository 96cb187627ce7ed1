// CAB command lines and the open-in-check-mode content check.
#include "archivers/cab32.h"

#include "archivers/path_util.h"

namespace {
TDllHolder& CabHolder() {
    // Never destroyed: the library stays loaded until the process ends.
    static TDllHolder* holder =
        new TDllHolder([] { return new TArchiverDll("CAB 形式書庫", "CAB32.DLL", "Cab"); });
    return *holder;
}
}  // namespace

TCustomArchiverDll* LoadCabDll() { return CabHolder().Ensure(); }
void FreeCabDll() { CabHolder().Free(); }

void TCab32::LoadDLL() { LoadCabDll(); }
void TCab32::FreeDLL() { FreeCabDll(); }
TCustomArchiverDll* TCab32::GetDll() { return CabHolder().Get(); }

std::string TCab32::BuildCabCommand(const std::string& word, const std::string& archiveName,
                                    const std::string& folder, const TFileItems& files, bool useResFile,
                                    const TArchiverOptions& o) const {
    TCmdOpt cmd;
    if (o.c == 1) cmd.Add("-o");
    cmd.AddFlag("i", o.n > 0 || HasOwnerWindow());
    cmd.AddFlag("r", o.r > 0);
    cmd.AddFolder("h", o.w);
    cmd.AddFlag("j", o.x == 0);
    cmd.AddFlag("q", o.ji > 0);
    cmd.Add(o.UserOptions);
    AddArchiveAndDir(cmd, archiveName, folder);
    AddFileList(cmd, o, files, useResFile);
    return word + cmd.Text;
}

void TCab32::BuildExtractCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                             const std::string& destFolder, const TFileItems& files, bool, std::string& cmd) {
    cmd = BuildCabCommand("-x", ExpandFileName(archiveName), destFolder, files,
                          HasResUse(options.ResFileUsage, ruOnUnpack), options);
}

void TCab32::BuildPackCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                          const std::string& baseFolder, const TFileItems& files, bool, std::string& cmd) {
    cmd = BuildCabCommand("-a", archiveName, baseFolder, files, HasResUse(options.ResFileUsage, ruOnPack),
                          options);
}

void TCab32::BuildSfxCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                         const std::string& folder, std::string& cmd) {
    cmd = BuildCabCommand("-f", archiveName, folder, {}, false, options);
}

void TCab32::BuildExtractMemCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                                const std::string& memberName, std::string& cmd) {
    cmd = BuildCabCommand("", archiveName, "", {memberName}, false, options);
}

bool IsArchiveOpenable(TCustomArchiverDll* (*load)(), const std::string& fileName, bool mustExist) {
    try {
        TCustomArchiverDll* dll = load();
        const std::string path = ExpandFileName(fileName);
        if (mustExist && !FileExistsSjis(path)) return false;
        HARC arc = dll->OpenArchive(nullptr, path, kOpenModeContentCheck);
        // Closing handle 0 would hand the library a handle it never gave out.
        if (arc) dll->CloseArchive(arc);
        return arc != nullptr;
    } catch (...) {
        return false;
    }
}

bool IsCabArchive(const std::string& fileName) { return IsArchiveOpenable(LoadCabDll, fileName, false); }
