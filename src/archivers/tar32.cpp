// Tar family command lines, the archive-type content check and the self-extracting file writer.
#include "archivers/tar32.h"

#include <vector>

#include "archivers/archiver_error.h"
#include "archivers/path_util.h"
#include "platform/handle.h"
#include "platform/sjis.h"

namespace {

TDllHolder& TarHolder() {
    // Never destroyed: the library stays loaded until the process ends.
    static TDllHolder* holder =
        new TDllHolder([] { return new TArchiverDll("tar/tgz/taz/bz2 形式書庫", "TAR32.DLL", "Tar"); });
    return *holder;
}

platform::UniqueFile OpenForReading(const std::string& path) {
    // Others may read, not write, while we copy.
    platform::UniqueFile file(::CreateFileW(platform::SjisToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw EArchiverFileError("ファイル " + path + " を開けません。");
    return file;
}

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return ::GetFileInformationByHandle(a, &x) && ::GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

// True when `outputName` names the file open as `input`: by full path, or, for an existing file reached by
// another spelling, by file identity.
bool IsSameAsInput(const std::string& outputName, const std::string& inputName, HANDLE input) {
    const std::wstring out = platform::SjisToWide(ExpandFileName(outputName));
    const std::wstring in = platform::SjisToWide(ExpandFileName(inputName));
    if (::CompareStringOrdinal(out.c_str(), -1, in.c_str(), -1, TRUE) == CSTR_EQUAL) return true;
    platform::UniqueFile existing(::CreateFileW(out.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return existing && SameFile(existing.Get(), input);
}

void WriteAll(HANDLE to, const void* data, DWORD size, const std::string& outputName) {
    DWORD written = 0;
    if (size && (!::WriteFile(to, data, size, &written, nullptr) || written != size))
        throw EArchiverFileError("ファイル " + outputName + " に書き込めません。");
}

void CopyAll(HANDLE from, const std::string& sourceName, HANDLE to, const std::string& outputName) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            throw EArchiverFileError("ファイル " + sourceName + " を読み込めません。");
        if (got == 0) return;
        WriteAll(to, buffer.data(), got, outputName);
    }
}

}  // namespace

TCustomArchiverDll* LoadTarDll() { return TarHolder().Ensure(); }
void FreeTarDll() { TarHolder().Free(); }

void TTar32::LoadDLL() { LoadTarDll(); }
void TTar32::FreeDLL() { FreeTarDll(); }
TCustomArchiverDll* TTar32::GetDll() { return TarHolder().Get(); }

std::string TTar32::BuildTarCommand(const std::string& word, const std::string& archiveName,
                                    const std::string& folder, const TFileItems& files, bool useResFile,
                                    const TArchiverOptions& o) const {
    TCmdOpt cmd;
    cmd.QuoteApart = true;
    if (o.a > 0) cmd.Add("-AH");
    if (o.a == 0) cmd.Add("-I");
    if (!HasOwnerWindow() && o.n > 0) cmd.Add("--display-dialog=0");
    if (o.o > 0) cmd.Add("-g");
    cmd.AddNumber("-check-all-path=", o.p);
    if (dynamic_cast<const TTgz32*>(this)) {
        if (o.jm >= 1)
            cmd.AddNumber("z", o.jm);
        else
            cmd.Add("-z");
    }
    if (dynamic_cast<const TBZ232*>(this)) {
        if (o.jm >= 1)
            cmd.AddNumber("B", o.jm);
        else
            cmd.Add("-B");
    }
    cmd.Add(o.UserOptions);
    if (!archiveName.empty()) cmd.AddString("", archiveName);
    cmd.AddFolder("", folder);
    AddFileList(cmd, o, files, useResFile);
    return word + cmd.Text;
}

void TTar32::BuildExtractCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                             const std::string& destFolder, const TFileItems& files, bool, std::string& cmd) {
    cmd = BuildTarCommand("-x", archiveName, destFolder, files, HasResUse(options.ResFileUsage, ruOnUnpack),
                          options);
}

void TTar32::BuildPackCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                          const std::string& baseFolder, const TFileItems& files, bool, std::string& cmd) {
    cmd = BuildTarCommand("c", archiveName, baseFolder, files, HasResUse(options.ResFileUsage, ruOnPack),
                          options);
}

void TTar32::BuildExtractMemCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                                const std::string& memberName, std::string& cmd) {
    cmd = BuildTarCommand("", archiveName, "", {memberName}, false, options);
}

int TTar32::MakeSfx(HWND, const std::string& archiveName, const TArchiverOptions&, const std::string& folder,
                    std::string&, std::string&) {
    if (dynamic_cast<const TBZ232*>(this)) throw EArchiver("BZ2 形式書庫は自己解凍形式にできません。");
    const std::optional<std::string> stub = SearchSfxStub("kmtarsef.exe");
    if (!stub) throw ESfxNoRequiredFile("tar/tgz", "", "kmtarsef.exe");
    WriteSfxFile(*stub, archiveName, SfxOutputName(archiveName, ".EXE", folder));
    return 0;
}

TArchiverType GetTarArchiveType(const std::string& fileName) {
    try {
        switch (LoadTarDll()->GetArchiveType(fileName)) {
            case 1:
                return atTar;
            case 2:
            case 3:
            case 4:
            case 5:
                return atTgz;
            case 6:
            case 7:
                return atBZ2;
            default:
                return atNone;
        }
    } catch (...) {
        return atNone;
    }
}

std::optional<std::string> SearchSfxStub(const std::string& name, const std::string& folder) {
    const std::wstring wideFolder = platform::SjisToWide(folder);
    wchar_t found[512];
    DWORD n = ::SearchPathW(folder.empty() ? nullptr : wideFolder.c_str(), platform::SjisToWide(name).c_str(),
                            nullptr, 512, found, nullptr);
    if (n == 0 || n >= 512) return std::nullopt;
    return platform::WideToSjis(std::wstring_view(found, n));
}

std::string SfxOutputName(const std::string& archiveName, const std::string& ext, const std::string& folder) {
    std::string output = ChangeFileExt(archiveName, ext);
    return folder.empty() ? output : JoinPath(folder, ExtractBareName(output));
}

void WriteSfxFile(const std::string& stubPath, const std::string& archiveName, const std::string& outputName,
                  const std::function<std::string(uint64_t)>& trailer) {
    platform::UniqueFile stub = OpenForReading(stubPath);
    platform::UniqueFile archive = OpenForReading(archiveName);
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(archive.Get(), &size))
        throw EArchiverFileError("ファイル " + archiveName + " を読み込めません。");
    const std::string tail = trailer ? trailer(static_cast<uint64_t>(size.QuadPart)) : std::string();
    if (IsSameAsInput(outputName, archiveName, archive.Get()) ||
        IsSameAsInput(outputName, stubPath, stub.Get()))
        throw EArchiver("自己解凍書庫の出力先 " + outputName + " が元のファイルと同じです。");
    platform::UniqueFile output(::CreateFileW(platform::SjisToWide(outputName).c_str(), GENERIC_WRITE, 0,
                                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output) throw EArchiverFileError("ファイル " + outputName + " を作成できません。");
    CopyAll(stub.Get(), stubPath, output.Get(), outputName);
    CopyAll(archive.Get(), archiveName, output.Get(), outputName);
    WriteAll(output.Get(), tail.data(), static_cast<DWORD>(tail.size()), outputName);
}
