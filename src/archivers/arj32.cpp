// ARJ binding and extraction line; every other line is the LHA builder's.
#include "archivers/arj32.h"

#include "archivers/cab32.h"

namespace {
TDllHolder& ArjHolder() {
    // Never destroyed: the library stays loaded until the process ends.
    static TDllHolder* holder =
        new TDllHolder([] { return new TArchiverDll("ARJ 形式書庫", "UNARJ32J.DLL", "Unarj"); });
    return *holder;
}
}  // namespace

TCustomArchiverDll* LoadArjDll() { return ArjHolder().Ensure(); }
void FreeArjDll() { ArjHolder().Free(); }

void TArj32::LoadDLL() { LoadArjDll(); }
void TArj32::FreeDLL() { FreeArjDll(); }
TCustomArchiverDll* TArj32::GetDll() { return ArjHolder().Get(); }

void TArj32::BuildExtractCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                             const std::string& destFolder, const TFileItems& files, bool useResFile,
                             std::string& cmd) {
    cmd = BuildLhaCommand("x", archiveName, destFolder, files, useResFile, options);
}

bool IsArjArchive(const std::string& fileName) { return IsArchiveOpenable(LoadArjDll, fileName, false); }
