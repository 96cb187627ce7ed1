// The one binding over the three ZIP libraries: UNZIP32.DLL (extraction, listing), ZIP32J.DLL (creation) and
// LMZIP32.DLL (both). Each entry is looked up on every call, in the first loaded library of an order fixed
// per operation, so that whichever libraries are present serve what they can.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <span>
#include <string>

#include "archivers/archiver_dll.h"

class TZipDll : public TCustomArchiverDll {
public:
    TZipDll() = default;
    ~TZipDll() override;

    // Loads whichever of the three libraries are present; never raises, even when none is.
    void LoadDLL() override;
    void FreeDLL() override;

    // "UnZip": extraction and listing commands.
    int Command(HWND wnd, const std::string& archiveName, const std::string& cmdLine, char* output,
                DWORD outputSize) override;
    // "Zip" for a pack or a self-extracting build: the library writes a new archive, so the old one is moved
    // aside first and comes back when the library fails.
    int Command2(HWND wnd, const std::string& archiveName, const std::string& cmdLine, char* output,
                 DWORD outputSize) override;
    // "Zip" on the archive as it stands (delete, update): the archive is not moved.
    int ZipCommand(HWND wnd, const std::string& cmdLine, char* output, DWORD outputSize);

    BOOL CheckArchive(const std::string& fileName, int mode) override;
    int CloseArchive(HARC arc) override;
    int ExtractMem(HWND wnd, const std::string& cmdLine, LPBYTE buf, DWORD size, time_t* time, LPWORD attr,
                   LPDWORD written) override;
    int FindFirst(HARC arc, const std::string& wildName, TArchiveMemberInfo* info) override;
    int FindNext(HARC arc, TArchiveMemberInfo* info) override;
    DWORD GetArcOriginalSize(HARC arc) override;
    BOOL SetBackGroundMode(BOOL mode) override;
    BOOL GetBackGroundMode() override;
    BOOL KillOwnerWindowEx(HWND wnd) override;
    HARC OpenArchive(HWND wnd, const std::string& fileName, DWORD mode) override;
    BOOL SetOwnerWindowEx(HWND wnd, TArcProgressProc proc) override;
    BOOL GetWriteTimeEx(HARC arc, FILETIME* time) override;
    BOOL GetCreateTimeEx(HARC arc, FILETIME* time) override;
    BOOL GetAccessTimeEx(HARC arc, FILETIME* time) override;
    // No ZIP library is asked for the archive type: answers 0 (not available) instead of calling nothing.
    int GetArchiveType(const std::string& fileName) override;

    HMODULE Unzip32Handle() const { return unzip32_.load(std::memory_order_acquire); }
    HMODULE Lmzip32Handle() const { return lmzip32_.load(std::memory_order_acquire); }
    HMODULE Zip32jHandle() const { return zip32j_.load(std::memory_order_acquire); }

    // Stores in `entry` the address from the first module (handle 0 skipped) that has `name`, or null.
    // LMZIP32 exports the "UnZip" names with their third character lowered. A miss raises EEntryNotFound when
    // `raiseIfMissing`, else answers false.
    bool FindZipProc(std::atomic<FARPROC>& entry, std::span<const HMODULE> modules, const std::string& name,
                     bool raiseIfMissing) const;

private:
    // Module orders of the member entries.
    using Order = std::array<HMODULE, 3>;
    Order MemberOrder() const { return {Lmzip32Handle(), Zip32jHandle(), Unzip32Handle()}; }
    Order CheckOrder() const { return {Unzip32Handle(), Lmzip32Handle(), Zip32jHandle()}; }
    // Resolves a member entry (LMZIP32, ZIP32J, UNZIP32) on this call; loads the libraries first when asked.
    void FindMember(TEntry e, const char* name, bool loadFirst);
    bool FindOptional(TEntry e, const char* name);
    // Loads, then finds "Zip" (ZIP32J, LMZIP32); raises when neither has it.
    FARPROC ResolveZip();

    std::atomic<HMODULE> unzip32_{nullptr};
    std::atomic<HMODULE> lmzip32_{nullptr};
    std::atomic<HMODULE> zip32j_{nullptr};
    std::atomic<FARPROC> zipEntry_{nullptr};
    std::atomic<FARPROC> unzipEntry_{nullptr};
};

// The process-wide ZIP binding: created and loaded on first use, kept until the process ends.
TZipDll* EnsureZipDll();
// The binding, or null before the first EnsureZipDll (or after FreeZipDll).
TZipDll* GetZipDll();
void FreeZipDll();
