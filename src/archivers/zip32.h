// ZIP archiver: works through the three-library ZIP binding and builds one kind of command line per library
// (the extraction line, the ZIP32J pack line and the shorter LMZIP32 pack line), joins a stub and an archive
// into a self-extracting file, and holds the ZIP content check of format detection.
#pragma once

#include "archivers/archiver.h"
#include "archivers/zip_dll.h"

class TZip32 : public TArchiver {
public:
    void LoadDLL() override;
    void FreeDLL() override;
    TCustomArchiverDll* GetDll() override;

    // Delete and update change the archive in place: "Zip" runs without the archive being moved aside.
    int Delete(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
               const std::string& baseFolder, const TFileItems& files, bool useResFile, std::string& cmdLine,
               std::string& output) override;
    int Update(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
               const std::string& baseFolder, const TFileItems& files, bool useResFile, std::string& cmdLine,
               std::string& output) override;

    void BuildExtractCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                         const std::string& destFolder, const TFileItems& files, bool useResFile,
                         std::string& cmd) override;
    void BuildPackCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                      const std::string& baseFolder, const TFileItems& files, bool useResFile,
                      std::string& cmd) override;
    void BuildDeleteCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                        const std::string& baseFolder, const TFileItems& files, bool useResFile,
                        std::string& cmd) override;
    void BuildUpdateCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                        const std::string& baseFolder, const TFileItems& files, bool useResFile,
                        std::string& cmd) override;
    // Writes stub + archive into the executable and returns the "-A" line that makes "Zip" fix its offsets.
    void BuildSfxCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                     const std::string& folder, std::string& cmd) override;
    void BuildExtractMemCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                            const std::string& memberName, std::string& cmd) override;

protected:
    std::string BuildUnzipCommand(const std::string& word, const std::string& archiveName,
                                  const std::string& folder, const TFileItems& files, bool useResFile,
                                  const TArchiverOptions& options) const;
    std::string BuildZip32jCommand(const std::string& word, const std::string& archiveName,
                                   const std::string& folder, const TFileItems& files, bool useResFile,
                                   const TArchiverOptions& options) const;
    std::string BuildLmzipPackCommand(const std::string& word, const std::string& archiveName,
                                      const TFileItems& files, bool useResFile,
                                      const TArchiverOptions& options) const;

private:
    TZipDll* ZipDll();
    using TBuilder = void (TZip32::*)(HWND, const std::string&, const TArchiverOptions&, const std::string&,
                                      const TFileItems&, bool, std::string&);
    // Builds with `build`, then runs "Zip" on the archive where it stands.
    int RunInPlace(TBuilder build, HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                   const std::string& baseFolder, const TFileItems& files, bool useResFile,
                   std::string& cmdLine, std::string& output);
};

// A member name in the libraries' wildcard syntax: a leading "-" becomes "[-]", every "\" "/", every "["
// "[[]". Double-byte aware: a trail byte 0x5C or 0x5B is left alone.
std::string EscapeZipName(const std::string& name);

// Stage one of the content check: the library's archive check answers above 0. Never throws.
bool ZipCheckArchiveOk(const std::string& fileName);
// Stage two: the file exists and the library opens it. Never throws.
bool ZipOpenArchiveOk(const std::string& fileName);
// True when both stages pass.
bool IsZipArchive(const std::string& fileName);
