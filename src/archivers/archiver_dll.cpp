// Lazy library binding. Entry addresses only go from null to resolved (except in FreeDLL); two threads that
// resolve the same entry at once store the same address.
#include "archivers/archiver_dll.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archivers/archiver_error.h"
#include "archivers/path_util.h"
#include "platform/sjis.h"

namespace {

std::wstring ModuleFullPathW(HMODULE module) {
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        DWORD n = ::GetModuleFileNameW(module, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) return std::wstring(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

std::string ModuleFullPath(HMODULE module) { return platform::WideToSjis(ModuleFullPathW(module)); }

// "C:\x" or "\\server\x": a path that names its folder whatever the current one is.
bool IsAbsolutePath(std::wstring_view path) {
    auto sep = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    return (path.size() >= 3 && path[1] == L':' && sep(path[2])) ||
           (path.size() >= 2 && sep(path[0]) && sep(path[1]));
}

template <typename Getter>
std::wstring SystemFolder(Getter get) {
    wchar_t buf[MAX_PATH];
    const UINT n = get(buf, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(buf, n) : std::wstring();
}

}  // namespace

std::vector<std::wstring> ArchiverLibraryFolders() {
    std::vector<std::wstring> folders;
    auto add = [&folders](std::wstring folder) {
        while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
        if (!folder.empty()) folders.push_back(std::move(folder));
    };
    const std::wstring program = ModuleFullPathW(nullptr);
    add(program.substr(0, std::min(program.find_last_of(L"\\/"), program.size())));
    wchar_t dllFolder[MAX_PATH * 2];
    const DWORD n = ::GetDllDirectoryW(MAX_PATH * 2, dllFolder);
    if (n > 0 && n < MAX_PATH * 2) add(std::wstring(dllFolder, n));
    add(SystemFolder(::GetSystemDirectoryW));
    add(SystemFolder(::GetWindowsDirectoryW));
    return folders;
}

HMODULE LoadArchiverLibrary(const std::string& fileName) {
    auto load = [](const std::wstring& path) -> HMODULE {
        const DWORD attrs = ::GetFileAttributesW(path.c_str());
        if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY)) return nullptr;
        // What the library itself needs comes from its own folder and the system folder, not the current one;
        // systems without these flags refuse them, and take the library's folder first instead.
        HMODULE h = ::LoadLibraryExW(path.c_str(), nullptr,
                                     LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!h && ::GetLastError() == ERROR_INVALID_PARAMETER)
            h = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        return h;
    };
    const std::wstring name = platform::SjisToWide(fileName);
    if (IsAbsolutePath(name)) return load(name);
    for (const std::wstring& folder : ArchiverLibraryFolders())
        if (HMODULE h = load(folder + L"\\" + name)) return h;
    return nullptr;
}

bool GetDllProc(std::atomic<FARPROC>& entry, HMODULE module, const std::string& name, bool raiseIfMissing) {
    if (entry.load(std::memory_order_acquire)) return true;
    if (module) {
        FARPROC p = ::GetProcAddress(module, name.c_str());
        if (p) {
            entry.store(p, std::memory_order_release);
            return true;
        }
    }
    if (raiseIfMissing) throw EEntryNotFound(ModuleFullPath(module), name);
    return false;
}

// ---- TCustomArchiverDll: calls the resolved entries; a subclass resolves the required ones first.

void TCustomArchiverDll::FreeDLL() {
    for (auto& e : entries_) e.store(nullptr, std::memory_order_release);
}

int TCustomArchiverDll::Command(HWND wnd, const std::string&, const std::string& cmdLine, char* output,
                                DWORD outputSize) {
    return Entry<TArcCommand>(eCommand)(wnd, cmdLine.c_str(), outputSize ? output : nullptr, outputSize);
}

int TCustomArchiverDll::Command2(HWND wnd, const std::string& archiveName, const std::string& cmdLine, char* output,
                                 DWORD outputSize) {
    return Command(wnd, archiveName, cmdLine, output, outputSize);
}

BOOL TCustomArchiverDll::CheckArchive(const std::string& fileName, int mode) {
    return Entry<TArcCheckArchive>(eCheckArchive)(fileName.c_str(), mode);
}

int TCustomArchiverDll::CloseArchive(HARC arc) { return Entry<TArcCloseArchive>(eCloseArchive)(arc); }

int TCustomArchiverDll::ExtractMem(HWND wnd, const std::string& cmdLine, LPBYTE buf, DWORD size, time_t* time,
                                   LPWORD attr, LPDWORD written) {
    return Entry<TArcExtractMem>(eExtractMem)(wnd, cmdLine.c_str(), buf, size, time, attr, written);
}

int TCustomArchiverDll::FindFirst(HARC arc, const std::string& wildName, TArchiveMemberInfo* info) {
    // Zero-filled first: a library that leaves fields alone must not leave stale bytes behind.
    std::memset(info, 0, sizeof(*info));
    int r = Entry<TArcFindFirst>(eFindFirst)(arc, wildName.c_str(), info);
    if (r == 0) CompleteEntryInfo(arc, info);
    return r;
}

int TCustomArchiverDll::FindNext(HARC arc, TArchiveMemberInfo* info) {
    std::memset(info, 0, sizeof(*info));
    int r = Entry<TArcFindNext>(eFindNext)(arc, info);
    if (r == 0) CompleteEntryInfo(arc, info);
    return r;
}

DWORD TCustomArchiverDll::GetArcOriginalSize(HARC arc) {
    return Entry<TArcGetArcOriginalSize>(eGetArcOriginalSize)(arc);
}

BOOL TCustomArchiverDll::SetBackGroundMode(BOOL mode) {
    return Entry<TArcSetBackGroundMode>(eSetBackGroundMode)(mode);
}

BOOL TCustomArchiverDll::GetBackGroundMode() { return Entry<TArcGetBackGroundMode>(eGetBackGroundMode)(); }

BOOL TCustomArchiverDll::KillOwnerWindowEx(HWND wnd) {
    return CallOptional<TArcKillOwnerWindowEx>(eKillOwnerWindowEx, wnd);
}

HARC TCustomArchiverDll::OpenArchive(HWND wnd, const std::string& fileName, DWORD mode) {
    return Entry<TArcOpenArchive>(eOpenArchive)(wnd, fileName.c_str(), mode);
}

BOOL TCustomArchiverDll::SetOwnerWindowEx(HWND wnd, TArcProgressProc proc) {
    return CallOptional<TArcSetOwnerWindowEx>(eSetOwnerWindowEx, wnd, proc);
}

BOOL TCustomArchiverDll::GetWriteTimeEx(HARC arc, FILETIME* time) {
    return CallOptional<TArcGetTimeEx>(eGetWriteTimeEx, arc, time);
}

BOOL TCustomArchiverDll::GetCreateTimeEx(HARC arc, FILETIME* time) {
    return CallOptional<TArcGetTimeEx>(eGetCreateTimeEx, arc, time);
}

BOOL TCustomArchiverDll::GetAccessTimeEx(HARC arc, FILETIME* time) {
    return CallOptional<TArcGetTimeEx>(eGetAccessTimeEx, arc, time);
}

BOOL TCustomArchiverDll::GetOriginalSizeEx(HARC arc, ULARGE_INTEGER* size) {
    return CallOptional<TArcGetSizeEx>(eGetOriginalSizeEx, arc, size);
}

BOOL TCustomArchiverDll::GetCompressedSizeEx(HARC arc, ULARGE_INTEGER* size) {
    return CallOptional<TArcGetSizeEx>(eGetCompressedSizeEx, arc, size);
}

int TCustomArchiverDll::GetArchiveType(const std::string& fileName) {
    return Entry<TArcGetArchiveType>(eGetArchiveType)(fileName.c_str());
}

BOOL TCustomArchiverDll::SetEnumMembersProc64(TArcEnumMembersProc proc, DWORD size) {
    return CallOptional<TArcSetEnumMembersProc64>(eSetEnumMembersProc64, proc, size);
}

BOOL TCustomArchiverDll::ClearEnumMembersProc64() {
    return CallOptional<TArcClearEnumMembersProc64>(eClearEnumMembersProc64);
}

void TCustomArchiverDll::CompleteEntryInfo(HARC arc, TArchiveMemberInfo* info) {
    // All three time fallbacks use the same DOS date and time; a failed conversion stores 0.
    auto fallbackTime = [info](FILETIME& field) {
        if (!DosDateTimeToUtcFileTime(info->DosDate, info->DosTime, field)) field = FILETIME{};
    };
    FILETIME ft{};
    if (GetWriteTimeEx(arc, &ft)) info->WriteTime = ft; else fallbackTime(info->WriteTime);
    ft = {};
    if (GetAccessTimeEx(arc, &ft)) info->AccessTime = ft; else fallbackTime(info->AccessTime);
    ft = {};
    if (GetCreateTimeEx(arc, &ft)) info->CreateTime = ft; else fallbackTime(info->CreateTime);
    ULARGE_INTEGER size{};
    if (GetOriginalSizeEx(arc, &size)) info->OriginalSize64 = size.QuadPart; else info->OriginalSize64 = info->OriginalSize;
    size = {};
    if (GetCompressedSizeEx(arc, &size))
        info->CompressedSize64 = size.QuadPart;
    else
        info->CompressedSize64 = info->CompressedSize;
}

// ---- TArchiverDll

TArchiverDll::TArchiverDll(std::string description, std::string dllFileName, std::string apiPrefix)
    : Description(std::move(description)), DllFileName(std::move(dllFileName)), ApiPrefix(std::move(apiPrefix)) {}

TArchiverDll::~TArchiverDll() { TArchiverDll::FreeDLL(); }

void TArchiverDll::LoadDLL() {
    if (DllHandle()) return;
    HMODULE h = LoadArchiverLibrary(DllFileName);
    if (!h) throw ENoArchiverDLL(Description, DllFileName);
    HMODULE expected = nullptr;
    // Another thread may have loaded it meanwhile; keep one reference.
    if (!dllHandle_.compare_exchange_strong(expected, h)) ::FreeLibrary(h);
}

void TArchiverDll::FreeDLL() {
    TCustomArchiverDll::FreeDLL();
    HMODULE h = dllHandle_.exchange(nullptr);
    if (h) ::FreeLibrary(h);
}

bool TArchiverDll::Bind(TEntry e, const char* suffix, bool required) {
    if (Resolved(e)) return true;
    LoadDLL();
    return GetDllProc(Slot(e), DllHandle(), ApiPrefix + suffix, required);
}

int TArchiverDll::Command(HWND wnd, const std::string& archiveName, const std::string& cmdLine, char* output,
                          DWORD outputSize) {
    Bind(eCommand, "", true);
    return TCustomArchiverDll::Command(wnd, archiveName, cmdLine, output, outputSize);
}

BOOL TArchiverDll::CheckArchive(const std::string& fileName, int mode) {
    Bind(eCheckArchive, "CheckArchive", true);
    return TCustomArchiverDll::CheckArchive(fileName, mode);
}

int TArchiverDll::CloseArchive(HARC arc) {
    Bind(eCloseArchive, "CloseArchive", true);
    return TCustomArchiverDll::CloseArchive(arc);
}

int TArchiverDll::ExtractMem(HWND wnd, const std::string& cmdLine, LPBYTE buf, DWORD size, time_t* time,
                             LPWORD attr, LPDWORD written) {
    Bind(eExtractMem, "ExtractMem", true);
    return TCustomArchiverDll::ExtractMem(wnd, cmdLine, buf, size, time, attr, written);
}

int TArchiverDll::FindFirst(HARC arc, const std::string& wildName, TArchiveMemberInfo* info) {
    Bind(eFindFirst, "FindFirst", true);
    return TCustomArchiverDll::FindFirst(arc, wildName, info);
}

int TArchiverDll::FindNext(HARC arc, TArchiveMemberInfo* info) {
    Bind(eFindNext, "FindNext", true);
    return TCustomArchiverDll::FindNext(arc, info);
}

DWORD TArchiverDll::GetArcOriginalSize(HARC arc) {
    Bind(eGetArcOriginalSize, "GetArcOriginalSize", true);
    return TCustomArchiverDll::GetArcOriginalSize(arc);
}

BOOL TArchiverDll::SetBackGroundMode(BOOL mode) {
    Bind(eSetBackGroundMode, "SetBackGroundMode", true);
    return TCustomArchiverDll::SetBackGroundMode(mode);
}

BOOL TArchiverDll::GetBackGroundMode() {
    Bind(eGetBackGroundMode, "GetBackGroundMode", true);
    return TCustomArchiverDll::GetBackGroundMode();
}

HARC TArchiverDll::OpenArchive(HWND wnd, const std::string& fileName, DWORD mode) {
    Bind(eOpenArchive, "OpenArchive", true);
    return TCustomArchiverDll::OpenArchive(wnd, fileName, mode);
}

int TArchiverDll::GetArchiveType(const std::string& fileName) {
    Bind(eGetArchiveType, "GetArchiveType", true);
    return TCustomArchiverDll::GetArchiveType(fileName);
}

BOOL TArchiverDll::KillOwnerWindowEx(HWND wnd) {
    return Bind(eKillOwnerWindowEx, "KillOwnerWindowEx", false) ? TCustomArchiverDll::KillOwnerWindowEx(wnd) : 0;
}

BOOL TArchiverDll::SetOwnerWindowEx(HWND wnd, TArcProgressProc proc) {
    return Bind(eSetOwnerWindowEx, "SetOwnerWindowEx", false) ? TCustomArchiverDll::SetOwnerWindowEx(wnd, proc) : 0;
}

BOOL TArchiverDll::GetWriteTimeEx(HARC arc, FILETIME* time) {
    return Bind(eGetWriteTimeEx, "GetWriteTimeEx", false) ? TCustomArchiverDll::GetWriteTimeEx(arc, time) : 0;
}

BOOL TArchiverDll::GetCreateTimeEx(HARC arc, FILETIME* time) {
    return Bind(eGetCreateTimeEx, "GetCreateTimeEx", false) ? TCustomArchiverDll::GetCreateTimeEx(arc, time) : 0;
}

BOOL TArchiverDll::GetAccessTimeEx(HARC arc, FILETIME* time) {
    return Bind(eGetAccessTimeEx, "GetAccessTimeEx", false) ? TCustomArchiverDll::GetAccessTimeEx(arc, time) : 0;
}

BOOL TArchiverDll::GetOriginalSizeEx(HARC arc, ULARGE_INTEGER* size) {
    return Bind(eGetOriginalSizeEx, "GetOriginalSizeEx", false) ? TCustomArchiverDll::GetOriginalSizeEx(arc, size)
                                                                 : 0;
}

BOOL TArchiverDll::GetCompressedSizeEx(HARC arc, ULARGE_INTEGER* size) {
    return Bind(eGetCompressedSizeEx, "GetCompressedSizeEx", false)
               ? TCustomArchiverDll::GetCompressedSizeEx(arc, size)
               : 0;
}

BOOL TArchiverDll::SetEnumMembersProc64(TArcEnumMembersProc proc, DWORD size) {
    return Bind(eSetEnumMembersProc64, "SetEnumMembersProc64", false)
               ? TCustomArchiverDll::SetEnumMembersProc64(proc, size)
               : 0;
}

BOOL TArchiverDll::ClearEnumMembersProc64() {
    return Bind(eClearEnumMembersProc64, "ClearEnumMembersProc64", false)
               ? TCustomArchiverDll::ClearEnumMembersProc64()
               : 0;
}

// ---- TDllHolder

TCustomArchiverDll* TDllHolder::Ensure() {
    TCustomArchiverDll* dll = dll_.load(std::memory_order_acquire);
    if (dll) return dll;
    {
        std::lock_guard<std::mutex> lock(create_);
        dll = dll_.load(std::memory_order_acquire);
        if (dll) return dll;
        dll = factory_();
        dll_.store(dll, std::memory_order_release);
    }
    dll->LoadDLL();
    return dll;
}

void TDllHolder::Free() {
    delete dll_.exchange(nullptr);
}
