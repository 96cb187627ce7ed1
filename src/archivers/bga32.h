// BGA archiver (.gza, .bza): binds BGA32.DLL and maps the switch model onto its command lines.
#pragma once

#include "archivers/archiver.h"

class TBGA32 : public TArchiver {
public:
    void LoadDLL() override;
    void FreeDLL() override;
    TCustomArchiverDll* GetDll() override;

    void BuildExtractCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                         const std::string& destFolder, const TFileItems& files, bool useResFile,
                         std::string& cmd) override;
    void BuildPackCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                      const std::string& baseFolder, const TFileItems& files, bool useResFile,
                      std::string& cmd) override;
    void BuildDeleteCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                        const std::string& baseFolder, const TFileItems& files, bool useResFile,
                        std::string& cmd) override;
    void BuildSfxCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                     const std::string& folder, std::string& cmd) override;

protected:
    std::string BuildBgaCommand(const std::string& word, const std::string& archiveName,
                                const std::string& folder, const TFileItems& files, bool useResFile,
                                const TArchiverOptions& options) const;
};

TCustomArchiverDll* LoadBgaDll();
void FreeBgaDll();

// True when the file exists and BGA32.DLL opens it as a BGA archive; never throws.
bool IsBgaArchive(const std::string& fileName);
