// Shell integration: registry layout under HKEY_CLASSES_ROOT and the shortcut files, written through the
// shell link object. Diagnostic lines go to the debugger only.
#include "app/shell_integration.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include "app/shell_util.h"
#include "archivers/path_util.h"
#include "platform/registry.h"
#include "platform/sjis.h"

namespace velmor {

namespace {
using platform::SjisToWide;
using platform::TRegistry;
using platform::WideToSjis;

struct TVerb {
    const char* name;
    const char* caption;
    const char* switchText;
    TRightMenuTop code;
    const char* otherPrefix;  // prefix when another verb is at the top
};

// In the order the keys are written.
constexpr TVerb kVerbs[] = {
    {"VelmorOpen", "プレビュー(Velmor)", "-o", rmtOpen, "3"},
    {"VelmorDelete", "解凍して元ファイルを完全削除", "-d", rmtDelete, ""},
    {"VelmorTrash", "解凍して元ファイルをごみ箱に捨てる", "-t", rmtTrash, "1"},
    {"VelmorOnly", "解凍のみ(元ファイルそのまま)", "-k", rmtOnly, ""},
};

void Debug(const std::string& line) { ::OutputDebugStringW((SjisToWide(line) + L"\n").c_str()); }

std::string ExtKey(std::string_view ext) { return "." + std::string(ext); }

bool DeleteLinkFile(const std::string& path) { return ::DeleteFileW(SjisToWide(path).c_str()) != FALSE; }

// The folder part of a path, without the trailing backslash.
std::string FolderOf(const std::string& path) {
    size_t slash = platform::SjisFindLast(path, '\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// COM for the calling thread while a link is made; uninitialised only when this call initialised it.
class TComScope {
public:
    TComScope() : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~TComScope() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    TComScope(const TComScope&) = delete;
    TComScope& operator=(const TComScope&) = delete;

private:
    HRESULT hr_;
};
}  // namespace

void TShellIntegration::SendAssocChanged() {
    ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
}

std::string TShellIntegration::VerbCommand(std::string_view switchText) const {
    return "\"" + ExePath + "\" " + std::string(switchText) + " \"%1\"";
}

std::string TShellIntegration::VerbKeyName(std::string_view verb, TRightMenuTop top) {
    if (top == rmtNone) top = rmtOnly;
    for (const TVerb& v : kVerbs)
        if (verb == v.name) return (v.code == top ? "0" : v.otherPrefix) + std::string(verb);
    return std::string(verb);
}

bool TShellIntegration::IsProgIdRegistered(std::string_view progId) const {
    try {
        return TRegistry(HKEY_CLASSES_ROOT).KeyExists(progId);
    } catch (...) {
        return false;
    }
}

bool TShellIntegration::createVelmorPlusKey(TRightMenuTop top) {
    try {
        TRegistry reg(HKEY_CLASSES_ROOT);
        reg.DeleteKey(ProgId);  // a missing key is no error
        if (!reg.OpenKey(ProgId, true)) return false;
        Debug("Success" + ProgId + "   OpenKey");
        if (!reg.WriteString("", "圧縮ファイル")) return false;
        reg.CloseKey();
        bool ok = true;
        for (const TVerb& v : kVerbs) {
            std::string key = ProgId + "\\shell\\" + VerbKeyName(v.name, top);
            // A failure stops here; what was written so far stays.
            ok = reg.OpenKey(key, true) && reg.WriteString("", v.caption) &&
                 reg.OpenKey(key + "\\command", true) && reg.WriteString("", VerbCommand(v.switchText));
            reg.CloseKey();
            if (!ok) break;
        }
        ChangeNotify();
        return ok;
    } catch (...) {
        return false;
    }
}

bool TShellIntegration::deleteVelmorPlusKey() {
    try {
        bool ok = TRegistry(HKEY_CLASSES_ROOT).DeleteKey(ProgId);
        ChangeNotify();
        return ok;
    } catch (...) {
        return false;
    }
}

bool TShellIntegration::attachExt(std::string_view ext) {
    try {
        Debug("attachExt(" + std::string(ext));
        TRegistry reg(HKEY_CLASSES_ROOT);
        if (!reg.OpenKey(ExtKey(ext), true)) return false;
        std::string old = reg.ReadString("").value_or("");
        Debug(old);
        Debug("  aE OpenKey :\"" + std::string(ext) + "\" val=\"" + old);
        if (!reg.WriteString("", ProgId)) return false;
        Debug("  WriteString" + std::string(ext) + ProgId);
        reg.CloseKey();
        ChangeNotify();
        return true;
    } catch (...) {
        return false;
    }
}

bool TShellIntegration::DetachExt(std::string_view ext) {
    try {
        Debug("Del Open" + std::string(ext));
        TRegistry reg(HKEY_CLASSES_ROOT);
        if (!reg.KeyExists(ExtKey(ext))) return true;
        // Opened for writing only when the key exists, so a detach never creates a key.
        if (!reg.OpenKey(ExtKey(ext), true)) return false;
        if (reg.ReadString("") != ProgId) return true;
        if (!reg.DeleteValue("")) return false;
        Debug("DeleteKey\\" + ProgId);
        reg.CloseKey();
        ChangeNotify();
        return true;
    } catch (...) {
        return false;
    }
}

bool TShellIntegration::IsExtAttached(std::string_view ext, std::string_view progId) const {
    try {
        TRegistry reg(HKEY_CLASSES_ROOT);
        if (!reg.OpenKeyReadOnly(ExtKey(ext))) return false;
        if (reg.ReadString("") != progId) return false;
        return reg.KeyExists(progId);
    } catch (...) {
        return false;
    }
}

TRightMenuTop TShellIntegration::GetRightMenuTopItem() const {
    try {
        TRegistry reg(HKEY_CLASSES_ROOT);
        if (!reg.KeyExists(ProgId)) return rmtNone;
        for (const char* name : {"0VelmorOnly", "0VelmorTrash", "0VelmorDelete", "0VelmorOpen"}) {
            if (reg.KeyExists(ProgId + "\\shell\\" + name)) {
                for (const TVerb& v : kVerbs)
                    if (name + 1 == std::string_view(v.name)) return v.code;
            }
        }
        return rmtNone;
    } catch (...) {
        return rmtOnly;
    }
}

std::optional<std::string> TShellIntegration::SendToFolder() {
    TRegistry reg(HKEY_CURRENT_USER);
    if (reg.OpenKeyReadOnly("Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders")) {
        if (auto v = reg.ReadString("SendTo"); v && !v->empty()) return v;
    }
    wchar_t buffer[MAX_PATH] = {};
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_SENDTO, nullptr, SHGFP_TYPE_CURRENT, buffer)) &&
        buffer[0])
        return WideToSjis(buffer);
    return std::nullopt;
}

std::optional<std::string> TShellIntegration::ProgramsFolder() const {
    std::optional<std::string> path;
    PIDLIST_ABSOLUTE pidl = nullptr;
    if (SUCCEEDED(::SHGetSpecialFolderLocation(Owner, CSIDL_PROGRAMS, &pidl)) && pidl) {
        wchar_t buffer[MAX_PATH] = {};
        if (::SHGetPathFromIDListW(pidl, buffer) && buffer[0]) path = WideToSjis(buffer);
        ::CoTaskMemFree(pidl);
    }
    return path;
}

std::optional<std::string> TShellIntegration::SendToLinkPath() const {
    auto folder = SendToFolder();
    if (!folder) return std::nullopt;
    return WithTrailingBackslash(*folder) + Title + ".lnk";
}

std::optional<std::string> TShellIntegration::ProgramsLinkPath() const {
    auto folder = ProgramsFolder();
    if (!folder) return std::nullopt;
    return WithTrailingBackslash(*folder) + Title + ".lnk";
}

bool TShellIntegration::SaveLink(const std::string& path, const std::string& workingFolder,
                                 const std::string* arguments) const {
    TComScope com;
    Microsoft::WRL::ComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link))))
        return false;
    if (arguments && FAILED(link->SetArguments(SjisToWide(*arguments).c_str()))) return false;
    if (FAILED(link->SetPath(SjisToWide(ExePath).c_str()))) return false;
    if (FAILED(link->SetWorkingDirectory(SjisToWide(workingFolder).c_str()))) return false;
    Microsoft::WRL::ComPtr<IPersistFile> file;
    if (FAILED(link.As(&file))) return false;
    return SUCCEEDED(file->Save(SjisToWide(path).c_str(), FALSE)) && FileExistsSjis(path);
}

bool TShellIntegration::UpdateSendToLink(bool wanted, bool& resistSendTo) const {
    try {
        // Without a SendTo folder nothing is written or deleted anywhere else.
        auto path = SendToLinkPath();
        if (!path) return false;
        if (wanted) {
            if (FileExistsSjis(*path)) return true;
            if (!SaveLink(*path, WithTrailingBackslash(FolderOf(ExePath)), nullptr)) return false;
            resistSendTo = true;
            return true;
        }
        if (!FileExistsSjis(*path)) return true;
        if (!DeleteLinkFile(*path)) return false;
        resistSendTo = false;
        return true;
    } catch (...) {
        return false;
    }
}

bool TShellIntegration::IsSendToLinkPresent() const {
    try {
        auto path = SendToLinkPath();
        return path && FileExistsSjis(*path);
    } catch (...) {
        return false;
    }
}

bool TShellIntegration::UpdateProgramsMenuLink(bool checkOnly, bool wanted) const {
    try {
        auto path = ProgramsLinkPath();
        if (!path) return false;
        Debug("WFileName=" + *path);
        bool exists = FileExistsSjis(*path);
        if (checkOnly) return exists;
        if (wanted) {
            const std::string noArguments;
            return exists || SaveLink(*path, FolderOf(ExePath), &noArguments);
        }
        return !exists || DeleteLinkFile(*path);
    } catch (...) {
        return false;
    }
}

}  // namespace velmor
