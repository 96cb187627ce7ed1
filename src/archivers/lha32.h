// LHA archiver: binds UNLHA32.DLL and builds its command lines from the whole switch model. The same builder
// serves ARJ (TArj32 derives from it).
#pragma once

#include "archivers/archiver.h"

class TLha32 : public TArchiver {
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
    void BuildUpdateCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                        const std::string& baseFolder, const TFileItems& files, bool useResFile,
                        std::string& cmd) override;
    void BuildSfxCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                     const std::string& folder, std::string& cmd) override;
    void BuildExtractMemCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                            const std::string& memberName, std::string& cmd) override;

protected:
    // The line: command word, then "-+1", every switch in property order, user options, archive and folder,
    // file list. Throws EArchiverAssertion when jse (for "x") or jso is not given.
    std::string BuildLhaCommand(const std::string& word, const std::string& archiveName, const std::string& folder,
                                const TFileItems& files, bool useResFile, const TArchiverOptions& options) const;
};

TCustomArchiverDll* EnsureLhaDll();
void FreeLhaDll();

// True when UNLHA32.DLL accepts the file as an LHA archive; never throws.
bool IsLhaArchive(const std::string& fileName);
