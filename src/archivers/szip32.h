// 7z archiver: binds 7-zip32.dll, maps the switch model onto its 7-Zip-style command lines, and joins the
// 7z.sfx stub and an archive into a self-extracting file itself.
#pragma once

#include "archivers/archiver.h"

class TSevenZip32 : public TArchiver {
public:
    void LoadDLL() override;
    void FreeDLL() override;
    TCustomArchiverDll* GetDll() override;

    // Writes stub + archive as <archive>.exe; the stub comes from the folder the registry names, else from
    // the search path. The library is not called.
    int MakeSfx(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                const std::string& folder, std::string& cmdLine, std::string& output) override;
    // "x", or "e" when x = 0.
    void BuildExtractCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                         const std::string& destFolder, const TFileItems& files, bool useResFile,
                         std::string& cmd) override;
    void BuildPackCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                      const std::string& baseFolder, const TFileItems& files, bool useResFile,
                      std::string& cmd) override;
    void BuildDeleteCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                        const std::string& baseFolder, const TFileItems& files, bool useResFile,
                        std::string& cmd) override;

protected:
    std::string BuildSevenZipCommand(const std::string& word, const std::string& archiveName, bool useResFile,
                                     const TFileItems& files, const std::string& folder,
                                     const TArchiverOptions& options) const;
};

TCustomArchiverDll* LoadSevenZipDll();
void FreeSevenZipDll();

// A text value under HKEY_LOCAL_MACHINE\`key`, read only (the key is never created); empty when absent.
std::string ReadRegistryString(const std::string& key, const std::string& valueName);
