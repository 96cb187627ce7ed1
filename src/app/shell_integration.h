// How Velmor plugs into the shell: a ProgID with four context-menu verbs that start the program with a
// switch, archive extensions pointed at that ProgID, and shortcuts in the user's SendTo folder and the Start
// menu's Programs folder. Every routine takes what it needs as explicit arguments (program path, title, top
// verb), catches its own errors and reports failure by its result; texts are Shift-JIS.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmor {

// Which verb goes to the top of the context menu; the values are the options dialog's codes.
enum TRightMenuTop : uint8_t { rmtOnly = 0, rmtTrash = 1, rmtDelete = 2, rmtOpen = 3, rmtNone = 99 };

inline constexpr std::string_view kDefaultProgId = "VelmorPlus";

// The extensions the dialog offers, without the dot.
inline constexpr std::string_view kShellExtensions[] = {"lzh",    "lha", "zip", "rar",     "cab", "tar",
                                                        "tar.gz", "tgz", "gz",  "tar.tar", "gca"};

class TShellIntegration {
public:
    // ProgID name; the options dialog sets it when it is created.
    std::string ProgId{kDefaultProgId};
    // Full path of the program that the verbs and shortcuts start.
    std::string ExePath;
    // Product title: the shortcut files are named after it.
    std::string Title;
    // Owner window for the shell's folder lookup.
    HWND Owner = nullptr;
    // Sent after every change of the associations; replaceable so that tests can count the notifications.
    void (*ChangeNotify)() = &SendAssocChanged;

    // The command line of a verb: the quoted program path, the switch and the quoted "%1".
    std::string VerbCommand(std::string_view switchText) const;
    // The key name of a verb for the chosen top verb (rmtNone puts "VelmorOnly" at the top).
    static std::string VerbKeyName(std::string_view verb, TRightMenuTop top);

    bool IsProgIdRegistered(std::string_view progId) const;
    // Rebuilds the ProgID with its four verbs from scratch, so no key of an older naming survives.
    bool createVelmorPlusKey(TRightMenuTop top);
    bool deleteVelmorPlusKey();
    bool attachExt(std::string_view ext);
    // Removes the extension's default value only when it names our ProgID exactly; a foreign association
    // stays.
    bool DetachExt(std::string_view ext);
    bool IsExtAttached(std::string_view ext, std::string_view progId) const;
    TRightMenuTop GetRightMenuTopItem() const;

    // The SendTo folder: the user's "Shell Folders" value, else the shell's own SendTo folder; nothing when
    // neither is known.
    static std::optional<std::string> SendToFolder();
    // The Start menu's Programs folder; nothing when the shell cannot resolve it.
    std::optional<std::string> ProgramsFolder() const;
    std::optional<std::string> SendToLinkPath() const;
    std::optional<std::string> ProgramsLinkPath() const;

    // Creates (wanted) or deletes the SendTo shortcut. `resistSendTo` becomes true only when the link was
    // saved here and false only when it was deleted here; an existing file is left as it is. False on error.
    bool UpdateSendToLink(bool wanted, bool& resistSendTo) const;
    // Whether the SendTo shortcut file exists.
    bool IsSendToLinkPresent() const;
    // Check only: whether the Start-menu shortcut exists. Otherwise creates or deletes it; false on error.
    bool UpdateProgramsMenuLink(bool checkOnly, bool wanted) const;

    static void SendAssocChanged();

private:
    bool SaveLink(const std::string& path, const std::string& workingFolder,
                  const std::string* arguments) const;
};

}  // namespace velmor
