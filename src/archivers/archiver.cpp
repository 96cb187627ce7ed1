// The base archiver: command running and forwarding to the format's binding.
#include "archivers/archiver.h"

#include "archivers/archiver_error.h"
#include "archivers/path_util.h"

void TArchiver::LoadDLL() { throw EArchiver("Abstract method 'TArchiver.LoadDLL' was called"); }
void TArchiver::FreeDLL() { throw EArchiver("Abstract method 'TArchiver.FreeDLL' was called"); }

HARC TArchiver::OpenArchive(HWND wnd, const std::string& archiveName, DWORD mode) {
    return GetDll()->OpenArchive(wnd, ExpandFileName(archiveName), mode);
}

int TArchiver::FindFirst(HARC arc, TArchiveMemberInfo* info, const std::string& wildName) {
    return GetDll()->FindFirst(arc, wildName, info);
}

int TArchiver::FindNext(HARC arc, TArchiveMemberInfo* info) { return GetDll()->FindNext(arc, info); }
int TArchiver::CloseArchive(HARC arc) { return GetDll()->CloseArchive(arc); }
DWORD TArchiver::GetArcOriginalSize(HARC arc) { return GetDll()->GetArcOriginalSize(arc); }
BOOL TArchiver::SetBackGroundMode(BOOL mode) { return GetDll()->SetBackGroundMode(mode); }
BOOL TArchiver::GetBackGroundMode() { return GetDll()->GetBackGroundMode(); }
void TArchiver::EnumMemberHook(TArchiveMemberInfo*, const TArchiverOptions&, bool&) {}

int TArchiver::Extract(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                       const std::string& destFolder, const std::string& extra, const TFileItems& files,
                       bool useResFile, std::string& cmdLine, std::string& output) {
    std::string cmd;
    BuildExtractCmd(wnd, archiveName, options, destFolder, files, useResFile, cmd);
    cmdLine = cmd + extra;
    return RunCommand(wnd, archiveName, cmdLine, output);
}

int TArchiver::Pack(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                    const std::string& baseFolder, const TFileItems& files, bool useResFile, std::string& cmdLine,
                    std::string& output) {
    std::string cmd;
    BuildPackCmd(wnd, archiveName, options, baseFolder, files, useResFile, cmd);
    cmdLine = cmd;
    return RunCommand2(wnd, archiveName, cmdLine, output);
}

int TArchiver::Delete(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                      const std::string& baseFolder, const TFileItems& files, bool useResFile, std::string& cmdLine,
                      std::string& output) {
    std::string cmd;
    BuildDeleteCmd(wnd, archiveName, options, baseFolder, files, useResFile, cmd);
    cmdLine = cmd;
    return RunCommand2(wnd, archiveName, cmdLine, output);
}

int TArchiver::Update(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                      const std::string& baseFolder, const TFileItems& files, bool useResFile, std::string& cmdLine,
                      std::string& output) {
    std::string cmd;
    BuildUpdateCmd(wnd, archiveName, options, baseFolder, files, useResFile, cmd);
    cmdLine = cmd;
    return RunCommand2(wnd, archiveName, cmdLine, output);
}

int TArchiver::MakeSfx(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                       const std::string& folder, std::string& cmdLine, std::string& output) {
    std::string cmd;
    BuildSfxCmd(wnd, archiveName, options, folder, cmd);
    cmdLine = cmd;
    return RunCommand2(wnd, archiveName, cmdLine, output);
}

int TArchiver::ExtractMem(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                          const std::string& memberName, LPBYTE buffer, DWORD bufferSize, DWORD& written,
                          std::string& cmdLine) {
    std::string cmd;
    BuildExtractMemCmd(wnd, archiveName, options, memberName, cmd);
    cmdLine = cmd;
    return GetDll()->ExtractMem(wnd, cmdLine, buffer, bufferSize, nullptr, nullptr, &written);
}

BOOL TArchiver::CheckArchive(const std::string& archiveName, int mode, int extraMode) {
    return GetDll()->CheckArchive(archiveName, mode + extraMode);
}

void TArchiver::BuildPackCmd(HWND, const std::string&, const TArchiverOptions&, const std::string&,
                             const TFileItems&, bool, std::string&) {
    throw EArchiver("この形式では書庫ファイルの作成をサポートしておりません。");
}

void TArchiver::BuildDeleteCmd(HWND, const std::string&, const TArchiverOptions&, const std::string&,
                               const TFileItems&, bool, std::string&) {
    throw EArchiver("この形式の書庫ではファイルの削除をサポートしておりません。");
}

void TArchiver::BuildUpdateCmd(HWND, const std::string&, const TArchiverOptions&, const std::string&,
                               const TFileItems&, bool, std::string&) {
    throw EArchiver("この形式の書庫では書庫の更新をサポートしておりません。");
}

void TArchiver::BuildSfxCmd(HWND, const std::string&, const TArchiverOptions&, const std::string&, std::string&) {
    throw EArchiver("この形式では自己解凍書庫の作成をサポートしておりません。");
}

void TArchiver::BuildExtractMemCmd(HWND, const std::string&, const TArchiverOptions&, const std::string&,
                                   std::string&) {
    throw EArchiver("この形式ではメモリ展開をサポートしておりません。");
}

bool TArchiver::SetOwnerWindow(HWND wnd, TArcProgressProc proc) {
    OwnerWindow = wnd;
    return GetDll()->SetOwnerWindowEx(wnd, proc) != 0;
}

bool TArchiver::KillOwnerWindow(HWND wnd) {
    BOOL r = FALSE;
    try {
        r = GetDll()->KillOwnerWindowEx(wnd);
    } catch (...) {
        OwnerWindow = nullptr;
        throw;
    }
    OwnerWindow = nullptr;
    return r != 0;
}

BOOL TArchiver::SetEnumMembersProc(TArcEnumMembersProc proc, DWORD recordSize) {
    return GetDll()->SetEnumMembersProc64(proc, recordSize);
}

BOOL TArchiver::ClearEnumMembersProc() { return GetDll()->ClearEnumMembersProc64(); }

int TArchiver::RunCommand(HWND wnd, const std::string& archiveName, const std::string& cmdLine,
                          std::string& output) {
    return GetDll()->Command(wnd, archiveName, cmdLine, output.empty() ? nullptr : output.data(),
                             static_cast<DWORD>(output.size()));
}

int TArchiver::RunCommand2(HWND wnd, const std::string& archiveName, const std::string& cmdLine,
                           std::string& output) {
    return GetDll()->Command2(wnd, archiveName, cmdLine, output.empty() ? nullptr : output.data(),
                              static_cast<DWORD>(output.size()));
}

void TArchiver::AddArchiveAndDir(TCmdOpt& cmd, const std::string& archiveName, const std::string& folder) {
    cmd.AddString("", archiveName);
    cmd.AddFolder("", folder);
}

int TArchiver::AddFileList(TCmdOpt& cmd, const TArchiverOptions& options, const TFileItems& files,
                           bool useResFile) {
    int count = (useResFile && options.HasResFile()) ? cmd.AddResponseFile(files, options.ResFileName)
                                                     : cmd.AddFiles("", files);
    cmd.Add(options.UserFileList);
    return count;
}
