// The common archiver API as Velmor uses it: wire records, entry signatures, mode values and result codes.
// Shared by the archiver layer and by the stand-in libraries that take the outside DLLs' place in tests.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)

// Member record filled by FindFirst/FindNext (first 558 bytes) and completed by the binding (last 40).
struct TArchiveMemberInfo {
    uint32_t OriginalSize;
    uint32_t CompressedSize;
    uint32_t Crc;
    uint32_t Flag;
    uint32_t OsType;
    uint16_t Ratio;
    uint16_t DosDate;
    uint16_t DosTime;
    char FileName[513];
    char Reserved[3];
    char Attribute[8];
    char Method[8];
    // Extension completed after every successful find.
    FILETIME WriteTime;
    FILETIME AccessTime;
    FILETIME CreateTime;
    uint64_t OriginalSize64;
    uint64_t CompressedSize64;
};

// Progress record carried by "wm_arcextract"; only the leading fields are read.
struct EXTRACTINGINFOEX {
    uint32_t FileSize;
    uint32_t WriteSize;
    char SourceFileName[513];
    char Filler[3];
    char DestFileName[513];
    char Dummy1[3];
    uint32_t CompressedSize;
    uint32_t Crc;
    uint32_t OsType;
    uint16_t Ratio;
    uint16_t Date;
    uint16_t Time;
    char Attribute[8];
    char Mode[8];
};
using LPEXTRACTINGINFOEX = EXTRACTINGINFOEX*;

// Member-enumeration record owned by the library; Velmor reads none of its fields.
struct TEnumMemberInfo64 {
    uint32_t Size;
    char FileName[513];
    char Reserved[3];
    uint64_t OriginalSize64;
    uint64_t CompressedSize64;
    FILETIME WriteTime;
    uint32_t Attributes;
    char Padding[1094 - 4 - 513 - 3 - 8 - 8 - 8 - 4];
};

#pragma pack(pop)

static_assert(sizeof(TArchiveMemberInfo) == 598);
static_assert(offsetof(TArchiveMemberInfo, Ratio) == 20);
static_assert(offsetof(TArchiveMemberInfo, DosDate) == 22);
static_assert(offsetof(TArchiveMemberInfo, FileName) == 26);
static_assert(offsetof(TArchiveMemberInfo, Attribute) == 542);
static_assert(offsetof(TArchiveMemberInfo, Method) == 550);
static_assert(offsetof(TArchiveMemberInfo, WriteTime) == 558);
static_assert(offsetof(TArchiveMemberInfo, AccessTime) == 566);
static_assert(offsetof(TArchiveMemberInfo, CreateTime) == 574);
static_assert(offsetof(TArchiveMemberInfo, OriginalSize64) == 582);
static_assert(offsetof(TArchiveMemberInfo, CompressedSize64) == 590);
static_assert(offsetof(EXTRACTINGINFOEX, SourceFileName) == 8);
static_assert(offsetof(EXTRACTINGINFOEX, DestFileName) == 524);
static_assert(sizeof(TEnumMemberInfo64) == 1094);

// The library's part of the member record.
constexpr size_t kMemberRecordLibrarySize = 558;
constexpr size_t kMemberNameSize = 513;
constexpr uint32_t kEnumMemberInfoSize = 1094;

using HARC = HANDLE;  // 32-bit archive handle; 0 = not opened

// Entry signatures (all stdcall).
using TArcCommand = int(WINAPI*)(HWND wnd, LPCSTR cmdLine, LPSTR output, DWORD size);
using TArcOpenArchive = HARC(WINAPI*)(HWND wnd, LPCSTR fileName, DWORD mode);
using TArcCloseArchive = int(WINAPI*)(HARC arc);
using TArcFindFirst = int(WINAPI*)(HARC arc, LPCSTR wildName, TArchiveMemberInfo* info);
using TArcFindNext = int(WINAPI*)(HARC arc, TArchiveMemberInfo* info);
using TArcGetArcOriginalSize = DWORD(WINAPI*)(HARC arc);
using TArcSetBackGroundMode = BOOL(WINAPI*)(BOOL mode);
using TArcGetBackGroundMode = BOOL(WINAPI*)();
using TArcExtractMem = int(WINAPI*)(HWND wnd, LPCSTR cmdLine, LPBYTE buf, DWORD size, time_t* t, LPWORD attr,
                                    LPDWORD written);
using TArcCheckArchive = BOOL(WINAPI*)(LPCSTR fileName, int mode);
using TArcProgressProc = BOOL(WINAPI*)(HWND wnd, UINT msg, UINT state, LPEXTRACTINGINFOEX info);
using TArcSetOwnerWindowEx = BOOL(WINAPI*)(HWND wnd, TArcProgressProc proc);
using TArcKillOwnerWindowEx = BOOL(WINAPI*)(HWND wnd);
using TArcGetTimeEx = BOOL(WINAPI*)(HARC arc, FILETIME* time);
using TArcGetSizeEx = BOOL(WINAPI*)(HARC arc, ULARGE_INTEGER* size);
using TArcGetArchiveType = int(WINAPI*)(LPCSTR fileName);
using TArcEnumMembersProc = BOOL(WINAPI*)(LPVOID info);
using TArcSetEnumMembersProc64 = BOOL(WINAPI*)(TArcEnumMembersProc proc, DWORD size);
using TArcClearEnumMembersProc64 = BOOL(WINAPI*)();
using TArcPasswordDialog = int(WINAPI*)(HWND wnd, LPSTR buffer, DWORD size);
using TArcSetDefaultPassword = BOOL(WINAPI*)(HARC arc, LPCSTR password);

// The registered progress message.
constexpr const char* kArcExtractMessageName = "wm_arcextract";

// Progress states (wParam of "wm_arcextract").
enum : UINT {
    ARCEXTRACT_BEGIN = 0,
    ARCEXTRACT_INPROCESS = 1,
    ARCEXTRACT_END = 2,
    ARCEXTRACT_OPEN = 3,
    ARCEXTRACT_COPY = 4,
};

// Mode values Velmor passes.
constexpr DWORD kOpenModeList = 0;
constexpr DWORD kOpenModeContentCheck = 0x800002;
constexpr int kCheckModeLha = 16;
constexpr int kCheckModeZip = 24;

// Result codes.
constexpr int ERROR_ARC_FIRST = 0x8000;
constexpr int ERROR_ARC_PASSWORD_FILE = 0x800A;
constexpr int ERROR_ARC_USER_CANCEL = 0x8020;
constexpr int ERROR_ARC_LAST = 0x802D;
