// ZIP command lines, the self-extracting build and the ZIP content check.
#include "archivers/zip32.h"

#include <vector>

#include "archivers/archiver_error.h"
#include "archivers/path_util.h"
#include "platform/handle.h"
#include "platform/sjis.h"

namespace {

void EscapeTransform(const std::string& source, std::string& dest) { dest = EscapeZipName(source); }

platform::UniqueFile OpenForReading(const std::string& path) {
    platform::UniqueFile f(::CreateFileW(platform::SjisToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) throw EArchiverFileError("ファイル " + path + " を開けません。");
    return f;
}

void CopyAll(HANDLE from, const std::string& fromName, HANDLE to, const std::string& toName) {
    std::vector<char> buf(64 * 1024);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(from, buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr))
            throw EArchiverFileError("ファイル " + fromName + " を読めません。");
        if (got == 0) return;
        DWORD put = 0;
        if (!::WriteFile(to, buf.data(), got, &put, nullptr) || put != got)
            throw EArchiverFileError("ファイル " + toName + " に書き込めません。");
    }
}

bool SamePath(const std::string& a, const std::string& b) {
    std::wstring wa = platform::SjisToWide(ExpandFileName(a)), wb = platform::SjisToWide(ExpandFileName(b));
    return ::CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(),
                                  static_cast<int>(wb.size()), TRUE) == CSTR_EQUAL;
}

std::string SearchStub(const std::string& name) {
    wchar_t buf[512] = {};
    DWORD n = ::SearchPathW(nullptr, platform::SjisToWide(name).c_str(), nullptr, 512, buf, nullptr);
    if (n == 0 || n >= 512) return {};
    return platform::WideToSjis(std::wstring_view(buf, n));
}

}  // namespace

std::string EscapeZipName(const std::string& name) {
    std::string r;
    size_t i = 0;
    if (!name.empty() && name[0] == '-') {
        r = "[-]";
        i = 1;
    }
    // Step by character: a trail byte 0x5C or 0x5B belongs to its two-byte character.
    while (i < name.size()) {
        size_t n = platform::SjisCharLength(name, i);
        char c = name[i];
        if (n == 1 && c == '\\')
            r += '/';
        else if (n == 1 && c == '[')
            r += "[[]";
        else
            r.append(name, i, n);
        i += n;
    }
    return r;
}

void TZip32::LoadDLL() { EnsureZipDll(); }
void TZip32::FreeDLL() { FreeZipDll(); }
// Ensure, not Get: an archiver outliving a FreeDLL must not reach a null binding.
TCustomArchiverDll* TZip32::GetDll() { return EnsureZipDll(); }
TZipDll* TZip32::ZipDll() { return EnsureZipDll(); }

std::string TZip32::BuildUnzipCommand(const std::string& word, const std::string& archiveName,
                                      const std::string& folder, const TFileItems& files, bool useResFile,
                                      const TArchiverOptions& o) const {
    TCmdOpt cmd;
    cmd.FileNameTransform = EscapeTransform;
    if (o.c == 1) cmd.Add("-o");
    if (o.n > 0 || HasOwnerWindow()) cmd.Add("--i");
    if (o.x == 0) cmd.Add("-j");
    cmd.Add(o.UserOptions);
    AddArchiveAndDir(cmd, archiveName, folder);
    AddFileList(cmd, o, files, useResFile);
    return word + cmd.Text;
}

std::string TZip32::BuildLmzipPackCommand(const std::string& word, const std::string& archiveName,
                                          const TFileItems& files, bool useResFile,
                                          const TArchiverOptions& o) const {
    TCmdOpt cmd;
    if (o.c == 1) cmd.Add("-o");
    if (o.x == 0) cmd.Add("-j");
    cmd.Add(o.UserOptions);
    AddArchiveAndDir(cmd, archiveName, "");
    AddFileList(cmd, o, files, useResFile);
    return word + cmd.Text;
}

std::string TZip32::BuildZip32jCommand(const std::string& word, const std::string& archiveName,
                                       const std::string& folder, const TFileItems& files, bool useResFile,
                                       const TArchiverOptions& o) const {
    TCmdOpt cmd;
    cmd.FileNameTransform = EscapeTransform;
    if (o.a > 0) cmd.Add("-S");
    if (o.a < 2) cmd.Add("-D");
    if (o.l > 0) cmd.Add("-v");
    if (o.n > 0) cmd.Add("-q");
    if (o.r > 0) cmd.Add("-r");
    // Shares the condition of "-q": no switch of the set is its own.
    if (o.n > 0) cmd.Add("-o");
    if (o.u > 0) cmd.Add("-u");
    if (o.x == 0) cmd.Add("-j");
    if (o.jc > 0) cmd.Add("-FF");
    if (o.ji > 0) cmd.Add("-k");
    cmd.AddNumber("", o.jm);
    if (o.gd > 0) cmd.Add("-J");
    cmd.Add(o.UserOptions);
    AddArchiveAndDir(cmd, archiveName, folder);
    AddFileList(cmd, o, files, useResFile);
    return word + cmd.Text;
}

void TZip32::BuildExtractCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                             const std::string& destFolder, const TFileItems& files, bool useResFile,
                             std::string& cmd) {
    TZipDll* dll = ZipDll();
    if (!dll->Unzip32Handle() && !dll->Lmzip32Handle())
        throw EArchiver("ZIP 形式書庫の解凍には UNZIP32.DLL または LMZIP32.DLL が必要です。");
    cmd = BuildUnzipCommand("-x", archiveName, destFolder, files, useResFile, options);
}

void TZip32::BuildPackCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                          const std::string& baseFolder, const TFileItems& files, bool useResFile,
                          std::string& cmd) {
    TZipDll* dll = ZipDll();
    if (dll->Zip32jHandle())
        cmd = BuildZip32jCommand("", archiveName, baseFolder, files, useResFile, options);
    else if (dll->Lmzip32Handle())
        cmd = BuildLmzipPackCommand("-ru", archiveName, files, useResFile, options);
    else
        throw EArchiver("ZIP 形式書庫の作成には ZIP32J.DLL または LMZIP32.DLL が必要です。");
}

void TZip32::BuildDeleteCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                            const std::string&, const TFileItems& files, bool useResFile, std::string& cmd) {
    cmd = BuildZip32jCommand("-d", archiveName, "", files, useResFile, options);
}

void TZip32::BuildUpdateCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                            const std::string& baseFolder, const TFileItems& files, bool useResFile,
                            std::string& cmd) {
    cmd = BuildZip32jCommand("-f", archiveName, baseFolder, files, useResFile, options);
}

void TZip32::BuildExtractMemCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                                const std::string& memberName, std::string& cmd) {
    cmd = BuildUnzipCommand("", archiveName, "", {memberName}, false, options);
}

void TZip32::BuildSfxCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                         const std::string& folder, std::string& cmd) {
    if (!ZipDll()->Zip32jHandle()) throw ESfxNoRequiredFile("zip", "", "ZIP32J.DLL");
    const bool win32 = options.gw > 0;
    const std::string stubName = win32 ? "sfx32gui.dat" : "sfx16.dat";
    const std::string stub = SearchStub(stubName);
    if (stub.empty()) throw ESfxNoRequiredFile("zip", win32 ? "Win32" : "DOS", stubName);

    std::string exe = ChangeFileExt(archiveName, ".EXE");
    if (!folder.empty()) exe = JoinPath(folder, ExtractBareName(exe));
    // An archive already named *.exe would be truncated by creating the executable over it.
    if (SamePath(exe, archiveName))
        throw EArchiver("自己解凍書庫 " + exe + " の作成先が元の書庫と同じファイルです。");

    platform::UniqueFile archive = OpenForReading(archiveName);
    platform::UniqueFile out(::CreateFileW(platform::SjisToWide(exe).c_str(), GENERIC_WRITE, 0, nullptr,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) throw EArchiverFileError("ファイル " + exe + " を作成できません。");
    platform::UniqueFile stubFile = OpenForReading(stub);
    CopyAll(stubFile.Get(), stub, out.Get(), exe);
    CopyAll(archive.Get(), archiveName, out.Get(), exe);
    // Quoted like every other path argument: the path may hold blanks.
    cmd = "-A \"" + exe + "\"";
}

int TZip32::RunInPlace(TBuilder build, HWND wnd, const std::string& archiveName,
                       const TArchiverOptions& options, const std::string& baseFolder,
                       const TFileItems& files, bool useResFile, std::string& cmdLine, std::string& output) {
    std::string cmd;
    (this->*build)(wnd, archiveName, options, baseFolder, files, useResFile, cmd);
    cmdLine = cmd;
    return ZipDll()->ZipCommand(wnd, cmdLine, output.empty() ? nullptr : output.data(),
                                static_cast<DWORD>(output.size()));
}

int TZip32::Delete(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                   const std::string& baseFolder, const TFileItems& files, bool useResFile,
                   std::string& cmdLine, std::string& output) {
    return RunInPlace(&TZip32::BuildDeleteCmd, wnd, archiveName, options, baseFolder, files, useResFile,
                      cmdLine, output);
}

int TZip32::Update(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                   const std::string& baseFolder, const TFileItems& files, bool useResFile,
                   std::string& cmdLine, std::string& output) {
    return RunInPlace(&TZip32::BuildUpdateCmd, wnd, archiveName, options, baseFolder, files, useResFile,
                      cmdLine, output);
}

bool ZipCheckArchiveOk(const std::string& fileName) {
    try {
        return EnsureZipDll()->CheckArchive(ExpandFileName(fileName), kCheckModeZip) > 0;
    } catch (...) {
        return false;
    }
}

bool ZipOpenArchiveOk(const std::string& fileName) {
    try {
        TZipDll* dll = EnsureZipDll();
        std::string path = ExpandFileName(fileName);
        if (!FileExistsSjis(path)) return false;
        HARC arc = dll->OpenArchive(nullptr, path, kOpenModeContentCheck);
        if (!arc) return false;
        dll->CloseArchive(arc);
        return true;
    } catch (...) {
        return false;
    }
}

bool IsZipArchive(const std::string& fileName) {
    return ZipCheckArchiveOk(fileName) && ZipOpenArchiveOk(fileName);
}
