// ZIP binding: three optional libraries, entries found per call in a per-operation order, and a pack that
// cannot lose the archive it replaces.
#include "archivers/zip_dll.h"

#include "archivers/archiver_error.h"
#include "archivers/path_util.h"
#include "platform/sjis.h"

namespace {

constexpr const char* kUnzip32 = "UNZIP32.DLL";
constexpr const char* kZip32j = "ZIP32J.DLL";
constexpr const char* kLmzip32 = "LMZIP32.DLL";

TDllHolder& ZipHolder() {
    // Never destroyed: the libraries stay loaded until the process ends.
    static TDllHolder* holder = new TDllHolder([] { return new TZipDll; });
    return *holder;
}

void LoadInto(std::atomic<HMODULE>& slot, const char* fileName) {
    if (slot.load(std::memory_order_acquire)) return;
    HMODULE h = LoadArchiverLibrary(fileName);
    if (!h) return;
    HMODULE expected = nullptr;
    // Another thread may have loaded it meanwhile; keep one reference.
    if (!slot.compare_exchange_strong(expected, h)) ::FreeLibrary(h);
}

void FreeFrom(std::atomic<HMODULE>& slot) {
    if (HMODULE h = slot.exchange(nullptr)) ::FreeLibrary(h);
}

int CallCommand(FARPROC entry, HWND wnd, const std::string& cmdLine, char* output, DWORD outputSize) {
    auto f = reinterpret_cast<TArcCommand>(reinterpret_cast<void (*)()>(entry));
    return f(wnd, cmdLine.c_str(), outputSize ? output : nullptr, outputSize);
}

// The archive a pack replaces, moved to a unique name in its own folder while the library writes the new
// one. Dropped when the library succeeded, moved back over whatever it left when it failed or threw.
class TArchiveSetAside {
public:
    explicit TArchiveSetAside(const std::string& archiveName) {
        if (archiveName.empty()) return;
        std::wstring path = platform::SjisToWide(ExpandFileName(archiveName));
        DWORD attrs = ::GetFileAttributesW(path.c_str());
        if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY)) return;
        std::wstring folder = platform::SjisToWide(ExtractFileDir(platform::WideToSjis(path)));
        wchar_t temp[MAX_PATH + 16] = {};
        // Creates the placeholder, so the name stays ours until the archive takes its place.
        if (!::GetTempFileNameW(folder.empty() ? L"." : folder.c_str(), L"vlz", 0, temp)) return;
        if (!::MoveFileExW(path.c_str(), temp, MOVEFILE_REPLACE_EXISTING)) {
            // Cannot be moved (in use): the library works on it in place, as it would have anyway.
            ::DeleteFileW(temp);
            return;
        }
        original_ = std::move(path);
        aside_ = temp;
    }
    ~TArchiveSetAside() { Restore(); }
    TArchiveSetAside(const TArchiveSetAside&) = delete;
    TArchiveSetAside& operator=(const TArchiveSetAside&) = delete;

    void Drop() {
        if (aside_.empty()) return;
        ::DeleteFileW(aside_.c_str());
        aside_.clear();
    }
    void Restore() {
        if (aside_.empty()) return;
        // On a failed move back the old archive stays under its temporary name: kept, not lost.
        ::MoveFileExW(aside_.c_str(), original_.c_str(), MOVEFILE_REPLACE_EXISTING);
        aside_.clear();
    }

private:
    std::wstring original_;
    std::wstring aside_;
};

}  // namespace

TZipDll* EnsureZipDll() { return static_cast<TZipDll*>(ZipHolder().Ensure()); }
TZipDll* GetZipDll() { return static_cast<TZipDll*>(ZipHolder().Get()); }
void FreeZipDll() { ZipHolder().Free(); }

TZipDll::~TZipDll() { TZipDll::FreeDLL(); }

void TZipDll::LoadDLL() {
    LoadInto(unzip32_, kUnzip32);
    LoadInto(zip32j_, kZip32j);
    LoadInto(lmzip32_, kLmzip32);
}

void TZipDll::FreeDLL() {
    FreeFrom(unzip32_);
    FreeFrom(lmzip32_);
    FreeFrom(zip32j_);
    zipEntry_.store(nullptr, std::memory_order_release);
    unzipEntry_.store(nullptr, std::memory_order_release);
    TCustomArchiverDll::FreeDLL();
}

bool TZipDll::FindZipProc(std::atomic<FARPROC>& entry, std::span<const HMODULE> modules,
                          const std::string& name, bool raiseIfMissing) const {
    const HMODULE lmzip = Lmzip32Handle();
    FARPROC found = nullptr;
    for (HMODULE module : modules) {
        if (!module) continue;
        std::string lookup = name;
        if (module == lmzip && lookup.size() >= 3 && lookup[2] == 'Z') lookup[2] = 'z';
        found = ::GetProcAddress(module, lookup.c_str());
        if (found) break;
    }
    entry.store(found, std::memory_order_release);
    if (found) return true;
    if (raiseIfMissing) throw EEntryNotFound(name + " のエントリが DLL に見つかりませんでした。");
    return false;
}

void TZipDll::FindMember(TEntry e, const char* name, bool loadFirst) {
    if (loadFirst) LoadDLL();
    const Order order = MemberOrder();
    FindZipProc(Slot(e), order, name, true);
}

bool TZipDll::FindOptional(TEntry e, const char* name) {
    const Order order = MemberOrder();
    return FindZipProc(Slot(e), order, name, false);
}

int TZipDll::Command(HWND wnd, const std::string&, const std::string& cmdLine, char* output,
                     DWORD outputSize) {
    LoadDLL();
    const HMODULE order[] = {Unzip32Handle(), Lmzip32Handle()};
    FindZipProc(unzipEntry_, order, "UnZip", true);
    return CallCommand(unzipEntry_.load(std::memory_order_acquire), wnd, cmdLine, output, outputSize);
}

FARPROC TZipDll::ResolveZip() {
    LoadDLL();
    const HMODULE order[] = {Zip32jHandle(), Lmzip32Handle()};
    FindZipProc(zipEntry_, order, "Zip", true);
    return zipEntry_.load(std::memory_order_acquire);
}

int TZipDll::ZipCommand(HWND wnd, const std::string& cmdLine, char* output, DWORD outputSize) {
    return CallCommand(ResolveZip(), wnd, cmdLine, output, outputSize);
}

int TZipDll::Command2(HWND wnd, const std::string& archiveName, const std::string& cmdLine, char* output,
                      DWORD outputSize) {
    // Raises before the archive is touched when no library can pack.
    const FARPROC zip = ResolveZip();
    TArchiveSetAside old(archiveName);
    int result = CallCommand(zip, wnd, cmdLine, output, outputSize);
    // A negative result is a failure as much as an error code is: the old archive comes back.
    if (result >= 0 && result < ERROR_ARC_FIRST)
        old.Drop();
    else
        old.Restore();
    return result;
}

BOOL TZipDll::CheckArchive(const std::string& fileName, int mode) {
    LoadDLL();
    const Order order = CheckOrder();
    FindZipProc(Slot(eCheckArchive), order, "UnZipCheckArchive", true);
    return TCustomArchiverDll::CheckArchive(fileName, mode);
}

int TZipDll::ExtractMem(HWND wnd, const std::string& cmdLine, LPBYTE buf, DWORD size, time_t* time,
                        LPWORD attr, LPDWORD written) {
    const Order order = CheckOrder();
    FindZipProc(Slot(eExtractMem), order, "UnZipExtractMem", true);
    return TCustomArchiverDll::ExtractMem(wnd, cmdLine, buf, size, time, attr, written);
}

HARC TZipDll::OpenArchive(HWND wnd, const std::string& fileName, DWORD mode) {
    FindMember(eOpenArchive, "UnZipOpenArchive", true);
    return TCustomArchiverDll::OpenArchive(wnd, fileName, mode);
}

int TZipDll::CloseArchive(HARC arc) {
    FindMember(eCloseArchive, "UnZipCloseArchive", true);
    return TCustomArchiverDll::CloseArchive(arc);
}

int TZipDll::FindFirst(HARC arc, const std::string& wildName, TArchiveMemberInfo* info) {
    FindMember(eFindFirst, "UnZipFindFirst", true);
    return TCustomArchiverDll::FindFirst(arc, wildName, info);
}

int TZipDll::FindNext(HARC arc, TArchiveMemberInfo* info) {
    FindMember(eFindNext, "UnZipFindNext", false);
    return TCustomArchiverDll::FindNext(arc, info);
}

DWORD TZipDll::GetArcOriginalSize(HARC arc) {
    FindMember(eGetArcOriginalSize, "UnZipGetOriginalSize", false);
    return TCustomArchiverDll::GetArcOriginalSize(arc);
}

BOOL TZipDll::SetBackGroundMode(BOOL mode) {
    FindMember(eSetBackGroundMode, "UnZipSetBackGroundMode", false);
    return TCustomArchiverDll::SetBackGroundMode(mode);
}

BOOL TZipDll::GetBackGroundMode() {
    FindMember(eGetBackGroundMode, "UnZipGetBackGroundMode", false);
    return TCustomArchiverDll::GetBackGroundMode();
}

BOOL TZipDll::GetWriteTimeEx(HARC arc, FILETIME* time) {
    // Spelled "Unzip" here, unlike its sister entries; LMZIP32's lowering makes both forms the same there.
    return FindOptional(eGetWriteTimeEx, "UnzipGetWriteTimeEx")
               ? TCustomArchiverDll::GetWriteTimeEx(arc, time)
               : 0;
}

BOOL TZipDll::GetCreateTimeEx(HARC arc, FILETIME* time) {
    return FindOptional(eGetCreateTimeEx, "UnZipGetCreateTimeEx")
               ? TCustomArchiverDll::GetCreateTimeEx(arc, time)
               : 0;
}

BOOL TZipDll::GetAccessTimeEx(HARC arc, FILETIME* time) {
    return FindOptional(eGetAccessTimeEx, "UnZipGetAccessTimeEx")
               ? TCustomArchiverDll::GetAccessTimeEx(arc, time)
               : 0;
}

BOOL TZipDll::SetOwnerWindowEx(HWND wnd, TArcProgressProc proc) {
    // Only UNZIP32 reports progress; resolved once and kept.
    GetDllProc(Slot(eSetOwnerWindowEx), Unzip32Handle(), "UnZipSetOwnerWindowEx", true);
    return TCustomArchiverDll::SetOwnerWindowEx(wnd, proc);
}

BOOL TZipDll::KillOwnerWindowEx(HWND wnd) {
    GetDllProc(Slot(eKillOwnerWindowEx), Unzip32Handle(), "UnZipKillOwnerWindowEx", true);
    return TCustomArchiverDll::KillOwnerWindowEx(wnd);
}

int TZipDll::GetArchiveType(const std::string&) { return 0; }
