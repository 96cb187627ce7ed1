// The settings record of Velmor and its settings file "Velmor.ini" in My Documents. The forms and the worker
// read and assign the fields directly; Load and Save go through one table of sections, keys and defaults.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/ini_file.h"

namespace velmor {

class TIniControl {
public:
    int32_t WindowW = 0;
    int32_t WindowH = 0;
    bool FirstRun = false;
    int32_t WindowX = 0;
    int32_t WindowY = 0;
    bool TopMost = false;
    uint8_t AfterMethod = 0;
    uint8_t PutLocation = 0;
    uint8_t OverWrite = 0;
    uint8_t MoveOverWrite = 0;
    std::string FileSpec;
    int32_t BuffMegaSize = 0;
    std::string SpecialFolder;
    std::string MoveFolder;
    std::string Favorite[3];
    bool ResistSendTo = false;
    bool ResistShell = false;
    bool bDebug = false;
    std::string MRU_SpecialFolder[6];
    std::string MRU_MoveFolder[6];
    uint8_t SameFolderProc = 0;
    uint8_t RightMenuTopItem = 0;
    bool SpecialExt = false;
    bool PreTestArc = false;
    int32_t PreTestMode = 0;
    bool IgnoreDirectory = false;
    bool BindFolder = false;
    int32_t BindNum = 0;
    bool DelFolderNum = false;
    bool ShowEndDlg = false;
    bool ConfirmDelete = false;
    bool AlertAbsExpand = false;
    bool CheckDangerPath = false;
    bool ConfirmSendTo = false;
    bool IgnoredSingleBind = false;
    bool ConfirmIgnore = false;
    bool CheckDiv = false;
    bool IndicatePerFile = false;
    bool ClearAll = false;
    bool CmdHideWnd = false;
    int32_t KBDeleteLog = 0;
    bool bLogFile = false;
    int32_t iTabIndex = 0;

    // Reads or writes "Velmor.ini" in My Documents. When My Documents cannot be resolved, Load gives every
    // field its default and Save writes nothing.
    void Load();
    void Save();
    // Writes every key to the settings file at `path` in one write: a new file that replaces the old one, so
    // a save that fails leaves the old file whole.
    void SaveFile(const std::string& path);
    // The same over any profile store. A write error of the store ends the walk quietly.
    void Load(platform::TCustomIniFile& ini);
    void Save(platform::TCustomIniFile& ini);
};

// My Documents followed by "Velmor.ini"; nothing when the folder cannot be resolved.
std::optional<std::string> SettingsFilePath();
// The settings file in a folder as GetSpecialFolder gives it (a lone backslash when unresolved).
std::optional<std::string> SettingsFileIn(const std::string& folder);
// My Documents followed by "VelmorLog.txt"; nothing when the folder cannot be resolved.
std::optional<std::string> LogFilePath();

// The one settings record of the program.
extern TIniControl IniControl;

}  // namespace velmor
