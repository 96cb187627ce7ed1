// Settings: one table drives Load and Save so that both use exactly the same section, key and default for
// every field. The history stem "SpeciaFolder" is spelt as stored files have it.
#include "app/ini_control.h"

#include "app/shell_util.h"

namespace velmor {

TIniControl IniControl;

namespace {
using platform::TCustomIniFile;

enum class Form : uint8_t { Integer, Byte, Flag, String };

struct Key {
    const char* section;
    const char* key;
    Form form;
    int def;  // integer and flag default; strings default to empty
    void* (*field)(TIniControl&);
};

#define FIELD(name) [](TIniControl& c) -> void* { return &c.name; }

const Key kKeys[] = {
    {"App", "WindowX", Form::Integer, 300, FIELD(WindowX)},
    {"App", "WindowY", Form::Integer, 200, FIELD(WindowY)},
    {"App", "WindowW", Form::Integer, 495, FIELD(WindowW)},
    {"App", "WindowH", Form::Integer, 434, FIELD(WindowH)},
    {"App", "iTabIndex", Form::Integer, 0, FIELD(iTabIndex)},
    {"App", "TopMost", Form::Flag, 1, FIELD(TopMost)},
    {"App", "FirstRun", Form::Flag, 1, FIELD(FirstRun)},
    {"Main", "KBDeleteLog", Form::Integer, 2000, FIELD(KBDeleteLog)},
    {"Main", "bLogFile", Form::Flag, 1, FIELD(bLogFile)},
    {"Main", "bDebug", Form::Flag, 0, FIELD(bDebug)},
    {"Main", "PutLocation", Form::Byte, 0, FIELD(PutLocation)},
    {"Main", "AfterMethod", Form::Byte, 0, FIELD(AfterMethod)},
    {"Main", "OverWrite", Form::Byte, 0, FIELD(OverWrite)},
    {"Main", "MoveOverWrite", Form::Byte, 0, FIELD(MoveOverWrite)},
    {"Main", "IgnoreDirectory", Form::Flag, 0, FIELD(IgnoreDirectory)},
    {"Main", "RightMenuTopItem", Form::Byte, 0, FIELD(RightMenuTopItem)},
    {"Main", "SameFolderProc", Form::Byte, 0, FIELD(SameFolderProc)},
    {"Main", "PreTestArc", Form::Flag, 1, FIELD(PreTestArc)},
    {"Main", "SpecialFolder", Form::String, 0, FIELD(SpecialFolder)},
    {"Main", "MoveFolder", Form::String, 0, FIELD(MoveFolder)},
    {"Main", "FileSpec", Form::String, 0, FIELD(FileSpec)},
    {"Main", "BuffMegaSize", Form::Integer, 15, FIELD(BuffMegaSize)},
    {"Main", "PreTestMode", Form::Integer, 1, FIELD(PreTestMode)},
    {"Sub_Bind", "BindFolder", Form::Flag, 1, FIELD(BindFolder)},
    {"Sub_Bind", "BindNum", Form::Integer, 2, FIELD(BindNum)},
    {"Sub_Confirm", "ConfirmIgnore", Form::Flag, 1, FIELD(ConfirmIgnore)},
    {"Sub_Confirm", "ConfirmSendTo", Form::Flag, 0, FIELD(ConfirmSendTo)},
    {"Sub_Confirm", "ConfirmDelete", Form::Flag, 1, FIELD(ConfirmDelete)},
    {"Sub_Confirm", "ShowEndDlg", Form::Flag, 0, FIELD(ShowEndDlg)},
    {"Sub_Environment", "ResistSendTo", Form::Flag, 0, FIELD(ResistSendTo)},
    {"Sub_Environment", "ResistShell", Form::Flag, 0, FIELD(ResistShell)},
    {"Sub_Security", "AlertAbsExpand", Form::Flag, 1, FIELD(AlertAbsExpand)},
    {"Sub_Security", "CheckDangerPath", Form::Flag, 1, FIELD(CheckDangerPath)},
    {"Sub_TailCut", "DelFolderNum", Form::Flag, 0, FIELD(DelFolderNum)},
    {"Sub_TailCut", "ClearAll", Form::Flag, 1, FIELD(ClearAll)},
    {"Sub_Other", "IndicatePerFile", Form::Flag, 1, FIELD(IndicatePerFile)},
    {"Sub_Other", "CmdHideWnd", Form::Flag, 1, FIELD(CmdHideWnd)},
    {"Sub_Other", "SpecialExt", Form::Flag, 0, FIELD(SpecialExt)},
    {"Sub_Other", "CheckDiv", Form::Flag, 1, FIELD(CheckDiv)},
    {"Sub_Other", "IgnoredSingleBind", Form::Flag, 1, FIELD(IgnoredSingleBind)},
};
#undef FIELD

void LoadKey(TCustomIniFile& ini, const Key& k, TIniControl& c) {
    void* f = k.field(c);
    switch (k.form) {
        case Form::Integer: *static_cast<int32_t*>(f) = ini.ReadInteger(k.section, k.key, k.def); break;
        case Form::Byte:
            *static_cast<uint8_t*>(f) = static_cast<uint8_t>(ini.ReadInteger(k.section, k.key, k.def));
            break;
        case Form::Flag: *static_cast<bool*>(f) = ini.ReadBool(k.section, k.key, k.def != 0); break;
        case Form::String: *static_cast<std::string*>(f) = ini.ReadString(k.section, k.key, ""); break;
    }
}

void SaveKey(TCustomIniFile& ini, const Key& k, TIniControl& c) {
    void* f = k.field(c);
    switch (k.form) {
        case Form::Integer: ini.WriteInteger(k.section, k.key, *static_cast<int32_t*>(f)); break;
        case Form::Byte: ini.WriteInteger(k.section, k.key, *static_cast<uint8_t*>(f)); break;
        case Form::Flag: ini.WriteBool(k.section, k.key, *static_cast<bool*>(f)); break;
        case Form::String: ini.WriteString(k.section, k.key, *static_cast<std::string*>(f)); break;
    }
}

// Walks the table and then the history and favourite keys, in the order Load reads them.
template <typename Fn, typename ListFn>
void WalkKeys(TIniControl& c, Fn&& scalar, ListFn&& list) {
    for (const Key& k : kKeys) scalar(k);
    for (int i = 0; i < 6; ++i) {
        list("MRU_SpecialFolder", "SpeciaFolder" + std::to_string(i), c.MRU_SpecialFolder[i]);
        list("MRU_MoveFolder", "MoveFolder" + std::to_string(i), c.MRU_MoveFolder[i]);
    }
    for (int i = 0; i < 3; ++i) list("Favorite", "Favorite" + std::to_string(i), c.Favorite[i]);
}
}  // namespace

namespace {
std::optional<std::string> FileIn(const std::string& folder, const char* name) {
    // An unresolved folder comes back as a lone backslash: never put the file at a drive root.
    if (folder.size() <= 1) return std::nullopt;
    return folder + name;
}
}  // namespace

std::optional<std::string> SettingsFileIn(const std::string& folder) { return FileIn(folder, "Velmor.ini"); }

std::optional<std::string> SettingsFilePath() { return SettingsFileIn(GetSpecialFolder("mydocument")); }

std::optional<std::string> LogFilePath() { return FileIn(GetSpecialFolder("mydocument"), "VelmorLog.txt"); }

void TIniControl::Load(platform::TCustomIniFile& ini) {
    try {
        WalkKeys(
            *this, [&](const Key& k) { LoadKey(ini, k, *this); },
            [&](const char* section, const std::string& key, std::string& value) {
                value = ini.ReadString(section, key, "");
            });
    } catch (const platform::EIniFileException&) {
        // A profile error ends loading quietly; the fields read so far keep their values.
    }
}

void TIniControl::Save(platform::TCustomIniFile& ini) {
    try {
        WalkKeys(
            *this, [&](const Key& k) { SaveKey(ini, k, *this); },
            [&](const char* section, const std::string& key, std::string& value) {
                ini.WriteString(section, key, value);
            });
    } catch (const platform::EIniFileException&) {
        // A refused write (read-only file, unwritable folder) ends saving quietly.
    }
}

void TIniControl::Load() {
    std::optional<std::string> path = SettingsFilePath();
    if (!path) {
        // Without a settings folder every field takes its default.
        struct NoFile : platform::TCustomIniFile {
            std::string ReadString(std::string_view, std::string_view, std::string_view def) override {
                return std::string(def);
            }
            void WriteString(std::string_view, std::string_view, std::string_view) override {}
        } none;
        Load(none);
        return;
    }
    platform::TMemIniFile ini(*path);
    Load(ini);
}

void TIniControl::Save() {
    std::optional<std::string> path = SettingsFilePath();
    if (path) SaveFile(*path);
}

void TIniControl::SaveFile(const std::string& path) {
    try {
        platform::TMemIniFile ini(path);
        Save(ini);
        ini.UpdateFile();
    } catch (const platform::EIniFileException&) {
        // A refused write (read-only file, unwritable folder) leaves the old file as it was, quietly.
    }
}

}  // namespace velmor
