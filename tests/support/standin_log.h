// Reader of the stand-in libraries' call log and writer of their script (formats:
// standins/archivers/script.cpp), plus an object that points both environment variables at files in a temp
// folder for one test.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/temp_dir.h"

namespace testsupport {

struct StandinCall {
    std::string library;      // "UNZIP32.DLL"
    std::string entry;        // "UnZipFindFirst"
    std::string args;         // "wnd=0 mode=0x800002 path=..."
    std::string commandLine;  // verbatim, CP932
    long long result = 0;
};

std::vector<StandinCall> ReadStandinLog(const std::wstring& path);
// The calls of one entry name, in order.
std::vector<StandinCall> CallsOf(const std::vector<StandinCall>& calls, std::string_view entry);

// Builds a script; each method adds one directive. Section("UNZIP32.DLL") limits the lines that follow.
class StandinScript {
public:
    StandinScript& Section(std::string_view library);
    StandinScript& CommandResult(int result);
    StandinScript& CheckResult(int result);
    StandinScript& OpenFail();
    StandinScript& ArchiveType(int type);
    StandinScript& Password(std::string_view password);
    StandinScript& DialogAnswer(std::string_view answer);
    StandinScript& DialogCancel();
    // time: "YYYY-MM-DD HH:MM:SS" in UTC.
    StandinScript& Member(std::string_view name, uint64_t size, std::string_view time = "2021-03-04 05:06:08",
                          uint64_t compressedSize = UINT64_MAX);
    StandinScript& Delay(int ms);
    // CheckArchive sleeps before each member it reports.
    StandinScript& CheckDelay(int ms);
    // The members of an extraction or a check after the first `after` wait until the file `path` exists,
    // reported again meanwhile (a stop answered then ends the command).
    StandinScript& Hold(std::string_view path, int after = 0);
    StandinScript& NoProgress();
    // Extraction walks, reports and enumerates the members but writes nothing.
    StandinScript& WalkOnly();
    // Extraction follows "..", drives and roots in member names (a library without a path check).
    StandinScript& TrustNames();
    // Extraction's file writes fail as on a full volume once `bytes` have been written in one command.
    StandinScript& DiskFullAfter(uint64_t bytes);
    // The entries that do work run out of memory.
    StandinScript& OutOfMemory();
    const std::string& Text() const { return text_; }
    bool Write(const std::wstring& path) const;

private:
    StandinScript& Line(std::string_view key, std::string_view value);
    std::string text_;
};

// Sets VELMOR_STANDIN_LOG and VELMOR_STANDIN_SCRIPT to files in `dir` for the object's life.
class StandinSession {
public:
    explicit StandinSession(const TempDir& dir);
    std::vector<StandinCall> Calls() const { return ReadStandinLog(logPath_); }
    void ClearLog() const;
    bool SetScript(const StandinScript& script) const { return script.Write(scriptPath_); }
    const std::wstring& LogPath() const { return logPath_; }

private:
    std::wstring logPath_;
    std::wstring scriptPath_;
    std::unique_ptr<ScopedEnv> logEnv_;
    std::unique_ptr<ScopedEnv> scriptEnv_;
};

}  // namespace testsupport
