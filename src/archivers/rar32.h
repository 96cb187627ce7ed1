// RAR archiver: binds UNRAR32.DLL for extraction only; packing and self-extracting archives are not
// supported by the format's library.
#pragma once

#include "archivers/archiver.h"

class TRar32 : public TArchiver {
public:
    void LoadDLL() override;
    void FreeDLL() override;
    TCustomArchiverDll* GetDll() override;

    // "-x" keeps paths, "-e" (x = 0) drops them.
    void BuildExtractCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                         const std::string& destFolder, const TFileItems& files, bool useResFile,
                         std::string& cmd) override;
    void BuildExtractMemCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                            const std::string& memberName, std::string& cmd) override;

protected:
    std::string BuildRarCommand(const std::string& word, const std::string& archiveName,
                                const std::string& folder, const TFileItems& files, bool useResFile,
                                const TArchiverOptions& options) const;
};

TCustomArchiverDll* LoadRarDll();
void FreeRarDll();

// True when UNRAR32.DLL opens the file as a RAR archive; never throws.
bool IsRarArchive(const std::string& fileName);
