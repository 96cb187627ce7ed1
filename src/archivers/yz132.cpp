// YZ1 binding with the password retry, command lines, content check and self-extracting build.
#include "archivers/yz132.h"

#include <memory>

#include "archivers/archiver_error.h"
#include "archivers/cab32.h"
#include "archivers/tar32.h"

namespace {

TDllHolder& Yz1Holder() {
    // Never destroyed: the library stays loaded until the process ends. A failed load keeps no binding, so
    // the next use tries both files again.
    static TDllHolder* holder = new TDllHolder([]() -> TCustomArchiverDll* {
        for (const char* file : {"YYZ32.DLL", "YZ1.DLL"}) {
            auto dll = std::make_unique<TYZ1Dll>("YZ1 形式書庫", file, "Yz1");
            try {
                dll->LoadDLL();
                return dll.release();
            } catch (...) {
            }
        }
        throw EArchiver(std::string("Yz1 形式書庫を扱うには ") + "YYZ32.DLL" + " か " + "YZ1.DLL" +
                        " が必要です。");
    });
    return *holder;
}

}  // namespace

HARC TYZ1Dll::OpenArchive(HWND wnd, const std::string& fileName, DWORD mode) {
    OwnerWindow.store(wnd);
    return TArchiverDll::OpenArchive(wnd, fileName, mode);
}

int TYZ1Dll::FindFirst(HARC arc, const std::string& wildName, TArchiveMemberInfo* info) {
    for (int attempts = kPasswordAttempts;;) {
        const int result = TArchiverDll::FindFirst(arc, wildName, info);
        if (result != ERROR_ARC_PASSWORD_FILE) return result;
        // Zeroed before every dialog and terminated before use: a dialog that fills the whole buffer or
        // leaves it alone must not hand on an earlier answer or read past the end.
        char password[kPasswordBufferSize] = {};
        if (PasswordDialog(OwnerWindow.load(), password, kPasswordBufferSize) < 0) return result;
        password[kPasswordBufferSize - 1] = '\0';
        SetDefaultPassword(arc, password);
        SecureZeroMemory(password, sizeof(password));
        if (--attempts <= 0) return result;
    }
}

void TYZ1Dll::FreeDLL() {
    setDefaultPasswordEntry_.store(nullptr);
    passwordDialogEntry_.store(nullptr);
    TArchiverDll::FreeDLL();
}

int TYZ1Dll::PasswordDialog(HWND wnd, char* buffer, DWORD size) {
    if (!GetDllProc(passwordDialogEntry_, DllHandle(), ApiPrefix + "PasswordDialog", false)) return -1;
    auto f = reinterpret_cast<TArcPasswordDialog>(reinterpret_cast<void (*)()>(passwordDialogEntry_.load()));
    return f(wnd, buffer, size);
}

int TYZ1Dll::SetDefaultPassword(HARC arc, const char* password) {
    if (!GetDllProc(setDefaultPasswordEntry_, DllHandle(), ApiPrefix + "SetDefaultPassword", false))
        return -1;
    auto f = reinterpret_cast<TArcSetDefaultPassword>(
        reinterpret_cast<void (*)()>(setDefaultPasswordEntry_.load()));
    return f(arc, password);
}

TCustomArchiverDll* LoadYz1Dll() { return Yz1Holder().Ensure(); }
void FreeYz1Dll() { Yz1Holder().Free(); }

void TYZ1::LoadDLL() { LoadYz1Dll(); }
void TYZ1::FreeDLL() { FreeYz1Dll(); }
TCustomArchiverDll* TYZ1::GetDll() { return Yz1Holder().Get(); }

std::string TYZ1::BuildYz1Command(const std::string& word, const std::string& archiveName,
                                  const std::string& folder, const TFileItems& files, bool useResFile,
                                  const TArchiverOptions& o) const {
    int y = -1;
    switch (o.m) {
        case 0:
        case 2:
            y = 2;
            break;
        case 1:
            y = 1;
            break;
        case 9:
            y = 0;
            break;
        default:
            break;
    }
    const int c = y == 2 ? 2 : o.c;
    TCmdOpt cmd;
    cmd.Add("-+");
    cmd.AddNumber("c", c);
    cmd.AddNumber("y", y);
    cmd.AddFlag("i", o.n > 0 || HasOwnerWindow());
    cmd.AddNumber("z", o.p);
    cmd.AddNumber("x", o.x);
    cmd.Add(o.UserOptions);
    AddArchiveAndDir(cmd, archiveName, folder);
    AddFileList(cmd, o, files, useResFile);
    return word + cmd.Text;
}

void TYZ1::BuildExtractCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                           const std::string& destFolder, const TFileItems& files, bool useResFile,
                           std::string& cmd) {
    cmd = BuildYz1Command("x", archiveName, destFolder, files, useResFile, options);
}

void TYZ1::BuildPackCmd(HWND, const std::string& archiveName, const TArchiverOptions& options,
                        const std::string& baseFolder, const TFileItems& files, bool useResFile,
                        std::string& cmd) {
    cmd = BuildYz1Command("c", archiveName, baseFolder, files, useResFile, options);
}

int TYZ1::MakeSfx(HWND, const std::string& archiveName, const TArchiverOptions& options,
                  const std::string& folder, std::string&, std::string&) {
    std::optional<std::string> stub;
    if (options.gw <= 0) {
        stub = SearchSfxStub("yzdos16.sfx");
        if (!stub)
            throw EArchiver(std::string("yz1 書庫からのDOS自己解凍書庫の作成には ") + "yzdos16.sfx" +
                            " が必要です。");
    } else {
        stub = SearchSfxStub("yzw32cui.sfx");
        if (!stub) stub = SearchSfxStub("yzdec.exe");
        if (!stub)
            throw EArchiver(
                "yz1 書庫からのWin32自己解凍書庫の作成には yzw32cui.sfx か yzdec.exe が必要です。");
    }
    WriteSfxFile(*stub, archiveName, SfxOutputName(archiveName, ".exe", folder), [](uint64_t size) {
        // The trailer holds 32 bits; checked before the output exists, so no empty file is left behind.
        if (size > 0xFFFFFFFFull)
            throw EArchiver("yz1 書庫が 4GB 以上あるため自己解凍書庫を作成できません。");
        std::string tail(4, '\0');
        for (int i = 0; i < 4; ++i) tail[i] = static_cast<char>((size >> (24 - 8 * i)) & 0xFF);
        return tail;
    });
    return 0;
}

bool IsYz1Archive(const std::string& fileName) { return IsArchiveOpenable(LoadYz1Dll, fileName, true); }
