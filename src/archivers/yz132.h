// YZ1 archiver: binds YYZ32.DLL, else YZ1.DLL, through TYZ1Dll, which asks the user for a password when the
// library reports an encrypted archive. Self-extracting YZ1 files are stub + archive + a big-endian size.
#pragma once

#include <atomic>

#include "archivers/archiver.h"

class TYZ1Dll : public TArchiverDll {
public:
    using TArchiverDll::TArchiverDll;

    // Remembers the window, so the password dialog has an owner.
    HARC OpenArchive(HWND wnd, const std::string& fileName, DWORD mode) override;
    // While the library answers ERROR_ARC_PASSWORD_FILE: asks for a password, sets it, tries again; at most
    // kPasswordAttempts finds and dialogs.
    int FindFirst(HARC arc, const std::string& wildName, TArchiveMemberInfo* info) override;
    void FreeDLL() override;

    // The optional library entries; -1 when the library lacks them. A negative dialog result is a cancel.
    virtual int PasswordDialog(HWND wnd, char* buffer, DWORD size);
    virtual int SetDefaultPassword(HARC arc, const char* password);

    static constexpr int kPasswordAttempts = 4;
    static constexpr DWORD kPasswordBufferSize = 256;
    std::atomic<HWND> OwnerWindow{nullptr};

private:
    std::atomic<FARPROC> setDefaultPasswordEntry_{nullptr};
    std::atomic<FARPROC> passwordDialogEntry_{nullptr};
};

class TYZ1 : public TArchiver {
public:
    void LoadDLL() override;
    void FreeDLL() override;
    TCustomArchiverDll* GetDll() override;

    // Writes stub + archive + the archive's size (4 bytes, big-endian) as <archive>.exe; gw > 0 picks a Win32
    // stub, else the DOS one. The library is not called.
    int MakeSfx(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                const std::string& folder, std::string& cmdLine, std::string& output) override;
    void BuildExtractCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                         const std::string& destFolder, const TFileItems& files, bool useResFile,
                         std::string& cmd) override;
    void BuildPackCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                      const std::string& baseFolder, const TFileItems& files, bool useResFile,
                      std::string& cmd) override;

protected:
    std::string BuildYz1Command(const std::string& word, const std::string& archiveName,
                                const std::string& folder, const TFileItems& files, bool useResFile,
                                const TArchiverOptions& options) const;
};

// Binds YYZ32.DLL, else YZ1.DLL; raises EArchiver naming both when neither loads (and keeps no binding).
TCustomArchiverDll* LoadYz1Dll();
void FreeYz1Dll();

// True when the file exists and the YZ1 library opens it; never throws.
bool IsYz1Archive(const std::string& fileName);
