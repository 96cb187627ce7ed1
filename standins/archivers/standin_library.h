// The behaviour behind every entry of the stand-in archiver libraries. Each DLL passes its library index
// (kLibraries) on every call; its own state (open archives, owner window, background mode, enumeration
// procedure, password) lives in that DLL's copy of this code.
#pragma once

#include <windows.h>

#include <cstdint>
#include <new>
#include <stdexcept>

#include "archivers/archiver_api.h"

namespace standin {

enum LibraryIndex : int {
    kUnlha32,
    kUnzip32,
    kZip32j,
    kLmzip32,
    kCab32,
    kUnarj32j,
    kTar32,
    kUnrar32,
    kBga32,
    kYyz32,
    kYz1,
    kSevenZip32,
};

// What an entry answers when its work threw: out of memory ("ERROR_ENOUGH_MEMORY"), or anything else, which
// only a malformed archive can bring about here ("ERROR_HEADER_BROKEN").
constexpr int kResultOutOfMemory = 0x801E;
constexpr int kResultBroken = 0x8017;

// Runs the work of one entry; nothing it throws gets out. Running out of memory (or asking for an impossible
// length) answers `onMemory`, anything else `onOther`.
template <typename R, typename F>
R Guarded(R onMemory, R onOther, F&& work) noexcept {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        return onMemory;
    } catch (const std::length_error&) {
        return onMemory;
    } catch (...) {
        return onOther;
    }
}

int Command(int lib, bool zipEntry, HWND wnd, LPCSTR cmdLine, LPSTR output, DWORD size);
HARC OpenArchive(int lib, HWND wnd, LPCSTR fileName, DWORD mode);
int CloseArchive(int lib, HARC arc);
int FindFirst(int lib, HARC arc, LPCSTR wildName, TArchiveMemberInfo* info);
int FindNext(int lib, HARC arc, TArchiveMemberInfo* info);
DWORD GetArcOriginalSize(int lib, HARC arc);
BOOL SetBackGroundMode(int lib, BOOL mode);
BOOL GetBackGroundMode(int lib);
BOOL CheckArchive(int lib, LPCSTR fileName, int mode);
int ExtractMem(int lib, HWND wnd, LPCSTR cmdLine, LPBYTE buf, DWORD size, time_t* t, LPWORD attr,
               LPDWORD written);
int GetArchiveType(int lib, LPCSTR fileName);
BOOL SetOwnerWindowEx(int lib, HWND wnd, TArcProgressProc proc);
BOOL KillOwnerWindowEx(int lib, HWND wnd);
enum class TimeKind { Write, Create, Access };
BOOL GetTimeEx(int lib, HARC arc, FILETIME* time, TimeKind kind);
BOOL GetSizeEx(int lib, HARC arc, ULARGE_INTEGER* size, bool compressed);
BOOL SetEnumMembersProc64(int lib, TArcEnumMembersProc proc, DWORD size);
BOOL ClearEnumMembersProc64(int lib);
int PasswordDialog(int lib, HWND wnd, LPSTR buffer, DWORD size);
BOOL SetDefaultPassword(int lib, HARC arc, LPCSTR password);

}  // namespace standin
