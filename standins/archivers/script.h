// Test scripting of the stand-in libraries: the script that forces results (VELMOR_STANDIN_SCRIPT, read on
// every call) and the call log (VELMOR_STANDIN_LOG). The formats are described in script.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

struct ScriptedMember {
    std::string name;
    uint64_t size = 0;
    uint64_t compressedSize = 0;
    int64_t unixTime = 0;
};

struct Script {
    std::optional<int> commandResult;
    std::optional<int> checkResult;
    std::optional<int> archiveType;
    bool openFail = false;
    std::optional<std::string> password;
    std::vector<std::optional<std::string>> dialogAnswers;  // nullopt = the user cancels
    std::vector<ScriptedMember> members;
    int delayMs = 0;
    int checkDelayMs = 0;
    std::string holdFile;  // members after the first holdAfter wait until this file exists
    int holdAfter = 0;
    bool holdAtEnd = false;  // instead, an extraction waits for the file once its members are written
    bool progress = true;
    bool write = true;  // false: extraction walks, reports and enumerates the members but writes nothing
    bool trustNames = false;  // true: extraction follows "..", drives and roots in member names
    std::optional<uint64_t>
        diskFullAfter;         // extraction's writes fail as on a full volume past this many bytes
    bool outOfMemory = false;  // the entries that do work run out of memory
};

// The script as it applies to the library file `library` (an absent or unreadable file gives defaults).
Script LoadScript(std::string_view library);
Script ParseScript(std::string_view text, std::string_view library);

// Appends one line to the call log when VELMOR_STANDIN_LOG names a file.
void LogCall(std::string_view library, std::string_view entry, std::string_view args,
             std::string_view cmdLine, long long result);

std::wstring GetEnv(const wchar_t* name);

}  // namespace standin
