// Bindings of the outside archiver libraries: load by file name, resolve each entry on its first call, and
// complete the 64-bit extension of every member record found.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "archivers/archiver_api.h"

// The folders an archiver library is looked for in, in order: the program's own folder, the folder the
// process named with SetDllDirectory, the system folder and the Windows folder. Never the current folder: a
// verb start runs in the archive's folder, where a planted library must not load.
std::vector<std::wstring> ArchiverLibraryFolders();
// Loads the library file by its full path from the first of those folders that holds it; null when none
// does or the load fails.
HMODULE LoadArchiverLibrary(const std::string& fileName);

// Looks up `name` in `module` unless `entry` is resolved already. A miss leaves the entry null (so the next
// call looks again) and raises EEntryNotFound when `raiseIfMissing`, else answers false.
bool GetDllProc(std::atomic<FARPROC>& entry, HMODULE module, const std::string& name, bool raiseIfMissing);

class TCustomArchiverDll {
public:
    enum TEntry : uint8_t {
        eCommand, eOpenArchive, eCloseArchive, eFindFirst, eFindNext, eGetArcOriginalSize, eSetBackGroundMode,
        eGetBackGroundMode, eExtractMem, eCheckArchive, eSetOwnerWindowEx, eKillOwnerWindowEx, eGetWriteTimeEx,
        eGetCreateTimeEx, eGetAccessTimeEx, eGetOriginalSizeEx, eGetCompressedSizeEx, eGetArchiveType,
        eSetEnumMembersProc64, eClearEnumMembersProc64, kEntryCount
    };

    TCustomArchiverDll() = default;
    TCustomArchiverDll(const TCustomArchiverDll&) = delete;
    TCustomArchiverDll& operator=(const TCustomArchiverDll&) = delete;
    virtual ~TCustomArchiverDll() = default;

    virtual void LoadDLL() = 0;
    // Forgets every resolved entry.
    virtual void FreeDLL();
    virtual int Command(HWND wnd, const std::string& archiveName, const std::string& cmdLine, char* output,
                        DWORD outputSize);
    virtual int Command2(HWND wnd, const std::string& archiveName, const std::string& cmdLine, char* output,
                         DWORD outputSize);
    virtual BOOL CheckArchive(const std::string& fileName, int mode);
    virtual int CloseArchive(HARC arc);
    virtual int ExtractMem(HWND wnd, const std::string& cmdLine, LPBYTE buf, DWORD size, time_t* time, LPWORD attr,
                           LPDWORD written);
    virtual int FindFirst(HARC arc, const std::string& wildName, TArchiveMemberInfo* info);
    virtual int FindNext(HARC arc, TArchiveMemberInfo* info);
    virtual DWORD GetArcOriginalSize(HARC arc);
    virtual BOOL SetBackGroundMode(BOOL mode);
    virtual BOOL GetBackGroundMode();
    virtual BOOL KillOwnerWindowEx(HWND wnd);
    virtual HARC OpenArchive(HWND wnd, const std::string& fileName, DWORD mode);
    virtual BOOL SetOwnerWindowEx(HWND wnd, TArcProgressProc proc);
    virtual BOOL GetWriteTimeEx(HARC arc, FILETIME* time);
    virtual BOOL GetCreateTimeEx(HARC arc, FILETIME* time);
    virtual BOOL GetAccessTimeEx(HARC arc, FILETIME* time);
    virtual BOOL GetOriginalSizeEx(HARC arc, ULARGE_INTEGER* size);
    virtual BOOL GetCompressedSizeEx(HARC arc, ULARGE_INTEGER* size);
    virtual int GetArchiveType(const std::string& fileName);
    virtual BOOL SetEnumMembersProc64(TArcEnumMembersProc proc, DWORD size);
    virtual BOOL ClearEnumMembersProc64();

    // Fills the record's extension after a successful find: the Ex entries where they answer, else the DOS
    // date and the 32-bit sizes.
    void CompleteEntryInfo(HARC arc, TArchiveMemberInfo* info);

protected:
    template <typename F>
    F Entry(TEntry e) const {
        // Through void(*)(): the entry's real type is known only here.
        return reinterpret_cast<F>(reinterpret_cast<void (*)()>(entries_[e].load(std::memory_order_acquire)));
    }
    bool Resolved(TEntry e) const { return entries_[e].load(std::memory_order_acquire) != nullptr; }
    // An optional entry that is not resolved answers 0.
    template <typename F, typename... Args>
    BOOL CallOptional(TEntry e, Args... args) const {
        F f = Entry<F>(e);
        return f ? f(args...) : 0;
    }
    std::atomic<FARPROC>& Slot(TEntry e) { return entries_[e]; }

private:
    std::atomic<FARPROC> entries_[kEntryCount] = {};
};

// One library file with one API prefix; serves every format but ZIP.
class TArchiverDll : public TCustomArchiverDll {
public:
    TArchiverDll(std::string description, std::string dllFileName, std::string apiPrefix);
    ~TArchiverDll() override;

    void LoadDLL() override;
    void FreeDLL() override;
    int Command(HWND wnd, const std::string& archiveName, const std::string& cmdLine, char* output,
                DWORD outputSize) override;
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
    BOOL GetOriginalSizeEx(HARC arc, ULARGE_INTEGER* size) override;
    BOOL GetCompressedSizeEx(HARC arc, ULARGE_INTEGER* size) override;
    int GetArchiveType(const std::string& fileName) override;
    BOOL SetEnumMembersProc64(TArcEnumMembersProc proc, DWORD size) override;
    BOOL ClearEnumMembersProc64() override;

    HMODULE DllHandle() const { return dllHandle_.load(std::memory_order_acquire); }
    const std::string Description, DllFileName, ApiPrefix;

protected:
    // Loads the library when needed (never looks anything up in module 0), then resolves the entry.
    bool Bind(TEntry e, const char* suffix, bool required);

private:
    std::atomic<HMODULE> dllHandle_{nullptr};
};

// Process-wide holder of one format's binding: created on first use, loaded at once, and kept until the process
// ends (never freed by a static destructor: other statics' destructors may still call the library).
class TDllHolder {
public:
    using Factory = std::function<TCustomArchiverDll*()>;
    explicit TDllHolder(Factory factory) : factory_(std::move(factory)) {}

    // Creates the binding when there is none, stores it, then loads it (ENoArchiverDLL propagates; the binding
    // stays stored and its operations try to load again).
    TCustomArchiverDll* Ensure();
    TCustomArchiverDll* Get() const { return dll_.load(std::memory_order_acquire); }
    void Free();

private:
    Factory factory_;
    std::atomic<TCustomArchiverDll*> dll_{nullptr};
    std::mutex create_;
};
