// 7z command lines and self-extracting build.
#include "archivers/szip32.h"

#include "archivers/archiver_error.h"
#include "archivers/tar32.h"
#include "platform/registry.h"

namespace {
TDllHolder& SevenZipHolder() {
    // Never destroyed: the library stays loaded until the process ends.
    static TDllHolder* holder =
        new TDllHolder([] { return new TArchiverDll("7z 形式書庫", "7-zip32.dll", "SevenZip"); });
    return *holder;
}
}  // namespace

TCustomArchiverDll* LoadSevenZipDll() { return SevenZipHolder().Ensure(); }
void FreeSevenZipDll() { SevenZipHolder().Free(); }

void TSevenZip32::LoadDLL() { LoadSevenZipDll(); }
void TSevenZip32::FreeDLL() { FreeSevenZipDll(); }
TCustomArchiverDll* TSevenZip32::GetDll() { return SevenZipHolder().Get(); }

std::string TSevenZip32::BuildSevenZipCommand(const std::string& word, const std::string& archiveName,
                                              bool useResFile, const TFileItems& files,
                                              const std::string& folder, const TArchiverOptions& o) const {
    TCmdOpt cmd;
    if (word == "x") {
        if (o.m == 2)
            cmd.Add("-aou");
        else if (o.jn > 0)
            cmd.Add("-aos");
        else if (o.c > 0)
            cmd.Add("-aoa");
    }
    cmd.Add("-ms=off");
    cmd.AddFlag("hide", o.n > 0);
    if (o.r == 0) cmd.Add("-r-");
    if (o.r > 1) cmd.Add("-r");
    cmd.AddFolder("w", o.w);
    cmd.AddFlag("y", o.y > 0);
    cmd.AddFiles("x!", {&o.jx});
    cmd.AddFolder("o", folder);
    cmd.Add(o.UserOptions);
    cmd.AddString("", archiveName);
    AddFileList(cmd, o, files, useResFile);
    // The overwrite items above were chosen for "x" and stay with "e".
    return (word == "x" && o.x == 0 ? std::string("e") : word) + cmd.Text;
}

void TSevenZip32::BuildExtractCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                                  const std::string& destFolder, const TFileItems& files, bool,
                                  std::string& cmd) {
    cmd = BuildSevenZipCommand("x", archiveName, HasResUse(options.ResFileUsage, ruOnUnpack), files,
                               destFolder, options);
}

void TSevenZip32::BuildPackCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                               const std::string& baseFolder, const TFileItems& files, bool,
                               std::string& cmd) {
    cmd = BuildSevenZipCommand("u", archiveName, HasResUse(options.ResFileUsage, ruOnPack), files, baseFolder,
                               options);
}

void TSevenZip32::BuildDeleteCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                                 const std::string&, const TFileItems& files, bool, std::string& cmd) {
    cmd = BuildSevenZipCommand("d", archiveName, HasResUse(options.ResFileUsage, ruOnRemoveItem), files, "",
                               options);
}

int TSevenZip32::MakeSfx(HWND, const std::string& archiveName, const TArchiverOptions& options,
                         const std::string& folder, std::string&, std::string&) {
    const std::string installFolder = ReadRegistryString("SOFTWARE\\7-ZIP", "Path");
    if (options.gw <= 0) throw EArchiver("16bit SFX を作成することはできません。");
    std::optional<std::string> stub;
    if (!installFolder.empty()) stub = SearchSfxStub("7z.sfx", installFolder);
    if (!stub) stub = SearchSfxStub("7z.sfx");
    if (!stub) throw ESfxNoRequiredFile("7z", "", "7z.sfx");
    WriteSfxFile(*stub, archiveName, SfxOutputName(archiveName, ".exe", folder));
    return 0;
}

std::string ReadRegistryString(const std::string& key, const std::string& valueName) {
    platform::TRegistry registry(HKEY_LOCAL_MACHINE);
    if (!registry.OpenKeyReadOnly(key)) return {};
    return registry.ReadString(valueName).value_or(std::string());
}
