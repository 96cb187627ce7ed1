// ARJ archiver: binds UNARJ32J.DLL and reuses the LHA command builder, so ARJ lines carry the LHA switch set.
#pragma once

#include "archivers/lha32.h"

class TArj32 : public TLha32 {
public:
    void LoadDLL() override;
    void FreeDLL() override;
    TCustomArchiverDll* GetDll() override;

    // Unlike LHA, the caller's response-file flag decides.
    void BuildExtractCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                         const std::string& destFolder, const TFileItems& files, bool useResFile,
                         std::string& cmd) override;
};

TCustomArchiverDll* LoadArjDll();
void FreeArjDll();

// True when UNARJ32J.DLL opens the file as an ARJ archive; never throws.
bool IsArjArchive(const std::string& fileName);
