// Tar family archivers over the one TAR32.DLL binding: plain tar, gzip-compressed (TTgz32) and bzip2
// (TBZ232). Also the self-extracting file writer that tar, YZ1 and 7z share: a stub module followed by the
// archive, built without the library.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "archivers/archiver.h"
#include "archivers/archiver_type.h"

class TTar32 : public TArchiver {
public:
    void LoadDLL() override;
    void FreeDLL() override;
    TCustomArchiverDll* GetDll() override;

    // Writes stub + archive as <archive>.EXE (in `folder` when given); the library is not called.
    int MakeSfx(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                const std::string& folder, std::string& cmdLine, std::string& output) override;
    void BuildExtractCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                         const std::string& destFolder, const TFileItems& files, bool useResFile,
                         std::string& cmd) override;
    void BuildPackCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                      const std::string& baseFolder, const TFileItems& files, bool useResFile,
                      std::string& cmd) override;
    void BuildExtractMemCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                            const std::string& memberName, std::string& cmd) override;

protected:
    // The compression switch depends on the instance's class (-z for TTgz32, -B for TBZ232).
    std::string BuildTarCommand(const std::string& word, const std::string& archiveName,
                                const std::string& folder, const TFileItems& files, bool useResFile,
                                const TArchiverOptions& options) const;
};

class TTgz32 : public TTar32 {};
class TBZ232 : public TTar32 {};

TCustomArchiverDll* LoadTarDll();
void FreeTarDll();

// atTar, atTgz or atBZ2 from the library's archive type; atNone for anything else. Never throws.
TArchiverType GetTarArchiveType(const std::string& fileName);

// Full path of `name` found by the platform's search (the program's folder, the current folder, the system
// folders, PATH), or only in `folder` when one is given.
std::optional<std::string> SearchSfxStub(const std::string& name, const std::string& folder = {});

// The output of a self-extracting build: the archive name with `ext`, moved into `folder` when one is given.
std::string SfxOutputName(const std::string& archiveName, const std::string& ext, const std::string& folder);

// Writes stub, archive and `trailer(archiveSize)` to `outputName`. Both inputs are opened (and the trailer
// made, which may throw) before the output is created, and an output that is the archive or the stub itself
// is refused, so a failure never truncates an input or leaves an empty output behind. Throws
// EArchiverFileError when a file cannot be opened, created or written, EArchiver for a refused output.
void WriteSfxFile(const std::string& stubPath, const std::string& archiveName, const std::string& outputName,
                  const std::function<std::string(uint64_t archiveSize)>& trailer = {});
