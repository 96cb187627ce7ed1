// CAB archiver: binds CAB32.DLL and maps the switch model onto its command lines. Also the content check that
// CAB, ARJ, RAR, BGA and YZ1 share: the library opens the file in its check mode.
#pragma once

#include "archivers/archiver.h"

class TCab32 : public TArchiver {
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
    void BuildSfxCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                     const std::string& folder, std::string& cmd) override;
    void BuildExtractMemCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                            const std::string& memberName, std::string& cmd) override;

protected:
    // Command word (may be empty), then the switches, user options, archive and folder, file list.
    std::string BuildCabCommand(const std::string& word, const std::string& archiveName,
                                const std::string& folder, const TFileItems& files, bool useResFile,
                                const TArchiverOptions& options) const;
};

TCustomArchiverDll* LoadCabDll();
void FreeCabDll();

// True when CAB32.DLL opens the file as a CAB archive; never throws.
bool IsCabArchive(const std::string& fileName);

// The shared content check: `load` binds the format's library, then the library opens the full path in the
// check mode. With `mustExist`, a missing file answers false before the library is asked. Never throws.
bool IsArchiveOpenable(TCustomArchiverDll* (*load)(), const std::string& fileName, bool mustExist);
