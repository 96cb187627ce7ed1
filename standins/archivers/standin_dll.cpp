// The exported entries of one stand-in archiver library. This file is compiled once per library file with
// STANDIN_LIBRARY set to its index; the generated .def gives the entries their public names. Every entry is
// guarded: whatever its work throws becomes the entry's failure answer, never an exception in the caller.
#include "standin_library.h"

#ifndef STANDIN_LIBRARY
#error STANDIN_LIBRARY must name the library index
#endif

namespace {

constexpr int kLib = STANDIN_LIBRARY;

// Result codes: out of memory, or a broken archive.
template <typename F>
int Code(F&& work) {
    return standin::Guarded<int>(standin::kResultOutOfMemory, standin::kResultBroken, work);
}
// Every other answer: the entry's own failure value either way.
template <typename R, typename F>
R Or(R failure, F&& work) {
    return standin::Guarded<R>(failure, failure, work);
}

}  // namespace

extern "C" {

int WINAPI StandinCommand(HWND wnd, LPCSTR cmdLine, LPSTR output, DWORD size) {
    return Code([&] { return standin::Command(kLib, false, wnd, cmdLine, output, size); });
}
int WINAPI StandinZipCommand(HWND wnd, LPCSTR cmdLine, LPSTR output, DWORD size) {
    return Code([&] { return standin::Command(kLib, true, wnd, cmdLine, output, size); });
}
HARC WINAPI StandinOpenArchive(HWND wnd, LPCSTR fileName, DWORD mode) {
    return Or<HARC>(nullptr, [&] { return standin::OpenArchive(kLib, wnd, fileName, mode); });
}
int WINAPI StandinCloseArchive(HARC arc) {
    return Or(-1, [&] { return standin::CloseArchive(kLib, arc); });
}
int WINAPI StandinFindFirst(HARC arc, LPCSTR wildName, TArchiveMemberInfo* info) {
    return Code([&] { return standin::FindFirst(kLib, arc, wildName, info); });
}
int WINAPI StandinFindNext(HARC arc, TArchiveMemberInfo* info) {
    return Code([&] { return standin::FindNext(kLib, arc, info); });
}
DWORD WINAPI StandinGetArcOriginalSize(HARC arc) {
    return Or<DWORD>(0, [&] { return standin::GetArcOriginalSize(kLib, arc); });
}
BOOL WINAPI StandinSetBackGroundMode(BOOL mode) {
    return Or<BOOL>(FALSE, [&] { return standin::SetBackGroundMode(kLib, mode); });
}
BOOL WINAPI StandinGetBackGroundMode() {
    return Or<BOOL>(FALSE, [&] { return standin::GetBackGroundMode(kLib); });
}
BOOL WINAPI StandinCheckArchive(LPCSTR fileName, int mode) {
    return Or<BOOL>(FALSE, [&] { return standin::CheckArchive(kLib, fileName, mode); });
}
int WINAPI StandinExtractMem(HWND wnd, LPCSTR cmdLine, LPBYTE buf, DWORD size, time_t* t, LPWORD attr,
                             LPDWORD written) {
    return Code([&] { return standin::ExtractMem(kLib, wnd, cmdLine, buf, size, t, attr, written); });
}
int WINAPI StandinGetArchiveType(LPCSTR fileName) {
    return Or(0, [&] { return standin::GetArchiveType(kLib, fileName); });
}
BOOL WINAPI StandinSetOwnerWindowEx(HWND wnd, TArcProgressProc proc) {
    return Or<BOOL>(FALSE, [&] { return standin::SetOwnerWindowEx(kLib, wnd, proc); });
}
BOOL WINAPI StandinKillOwnerWindowEx(HWND wnd) {
    return Or<BOOL>(FALSE, [&] { return standin::KillOwnerWindowEx(kLib, wnd); });
}
BOOL WINAPI StandinGetWriteTimeEx(HARC arc, FILETIME* time) {
    return Or<BOOL>(FALSE, [&] { return standin::GetTimeEx(kLib, arc, time, standin::TimeKind::Write); });
}
BOOL WINAPI StandinGetCreateTimeEx(HARC arc, FILETIME* time) {
    return Or<BOOL>(FALSE, [&] { return standin::GetTimeEx(kLib, arc, time, standin::TimeKind::Create); });
}
BOOL WINAPI StandinGetAccessTimeEx(HARC arc, FILETIME* time) {
    return Or<BOOL>(FALSE, [&] { return standin::GetTimeEx(kLib, arc, time, standin::TimeKind::Access); });
}
BOOL WINAPI StandinGetOriginalSizeEx(HARC arc, ULARGE_INTEGER* size) {
    return Or<BOOL>(FALSE, [&] { return standin::GetSizeEx(kLib, arc, size, false); });
}
BOOL WINAPI StandinGetCompressedSizeEx(HARC arc, ULARGE_INTEGER* size) {
    return Or<BOOL>(FALSE, [&] { return standin::GetSizeEx(kLib, arc, size, true); });
}
BOOL WINAPI StandinSetEnumMembersProc64(TArcEnumMembersProc proc, DWORD size) {
    return Or<BOOL>(FALSE, [&] { return standin::SetEnumMembersProc64(kLib, proc, size); });
}
BOOL WINAPI StandinClearEnumMembersProc64() {
    return Or<BOOL>(FALSE, [&] { return standin::ClearEnumMembersProc64(kLib); });
}
int WINAPI StandinPasswordDialog(HWND wnd, LPSTR buffer, DWORD size) {
    return Or(-1, [&] { return standin::PasswordDialog(kLib, wnd, buffer, size); });
}
BOOL WINAPI StandinSetDefaultPassword(HARC arc, LPCSTR password) {
    return Or<BOOL>(FALSE, [&] { return standin::SetDefaultPassword(kLib, arc, password); });
}

}  // extern "C"
