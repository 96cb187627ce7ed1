// Base class of the per-format archivers. A format builds its command text with TCmdOpt; this class passes it
// to the library's command entry and forwards the enumeration calls to the format's binding.
#pragma once

#include <windows.h>

#include <string>

#include "archivers/archiver_api.h"
#include "archivers/archiver_dll.h"
#include "archivers/archiver_options.h"
#include "archivers/cmd_opt.h"

class TArchiver {
public:
    TArchiver() = default;
    TArchiver(const TArchiver&) = delete;
    TArchiver& operator=(const TArchiver&) = delete;
    virtual ~TArchiver() = default;

    // Makes the format's process-wide binding on first use (loading the library). Call once after construction
    // (a constructor cannot reach the format's override).
    void Create() { LoadDLL(); }

    virtual void LoadDLL();
    virtual void FreeDLL();
    virtual TCustomArchiverDll* GetDll() = 0;

    virtual HARC OpenArchive(HWND wnd, const std::string& archiveName, DWORD mode);
    virtual int FindFirst(HARC arc, TArchiveMemberInfo* info, const std::string& wildName);
    virtual int FindNext(HARC arc, TArchiveMemberInfo* info);
    virtual int CloseArchive(HARC arc);
    virtual DWORD GetArcOriginalSize(HARC arc);
    virtual BOOL SetBackGroundMode(BOOL mode);
    virtual BOOL GetBackGroundMode();
    virtual void EnumMemberHook(TArchiveMemberInfo* info, const TArchiverOptions& options, bool& abort);
    virtual int Extract(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                        const std::string& destFolder, const std::string& extra, const TFileItems& files,
                        bool useResFile, std::string& cmdLine, std::string& output);
    virtual int Pack(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                     const std::string& baseFolder, const TFileItems& files, bool useResFile, std::string& cmdLine,
                     std::string& output);
    virtual int Delete(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                       const std::string& baseFolder, const TFileItems& files, bool useResFile, std::string& cmdLine,
                       std::string& output);
    virtual int Update(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                       const std::string& baseFolder, const TFileItems& files, bool useResFile, std::string& cmdLine,
                       std::string& output);
    virtual int MakeSfx(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                        const std::string& folder, std::string& cmdLine, std::string& output);
    virtual int ExtractMem(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                           const std::string& memberName, LPBYTE buffer, DWORD bufferSize, DWORD& written,
                           std::string& cmdLine);
    virtual BOOL CheckArchive(const std::string& archiveName, int mode, int extraMode);

    virtual void BuildExtractCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                                 const std::string& destFolder, const TFileItems& files, bool useResFile,
                                 std::string& cmd) = 0;
    virtual void BuildPackCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                              const std::string& baseFolder, const TFileItems& files, bool useResFile,
                              std::string& cmd);
    virtual void BuildDeleteCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                                const std::string& baseFolder, const TFileItems& files, bool useResFile,
                                std::string& cmd);
    virtual void BuildUpdateCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                                const std::string& baseFolder, const TFileItems& files, bool useResFile,
                                std::string& cmd);
    virtual void BuildSfxCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                             const std::string& folder, std::string& cmd);
    virtual void BuildExtractMemCmd(HWND wnd, const std::string& archiveName, const TArchiverOptions& options,
                                    const std::string& memberName, std::string& cmd);

    virtual bool SetOwnerWindow(HWND wnd, TArcProgressProc proc);
    virtual bool KillOwnerWindow(HWND wnd);
    virtual BOOL SetEnumMembersProc(TArcEnumMembersProc proc, DWORD recordSize);
    virtual BOOL ClearEnumMembersProc();
    virtual void EnsureDll() { LoadDLL(); }

    // The output text's storage (its whole length) is the library's buffer; an empty text passes none.
    int RunCommand(HWND wnd, const std::string& archiveName, const std::string& cmdLine, std::string& output);
    int RunCommand2(HWND wnd, const std::string& archiveName, const std::string& cmdLine, std::string& output);

    bool HasOwnerWindow() const { return OwnerWindow != nullptr; }
    HWND OwnerWindow = nullptr;

    static void AddArchiveAndDir(TCmdOpt& cmd, const std::string& archiveName, const std::string& folder);
    static int AddFileList(TCmdOpt& cmd, const TArchiverOptions& options, const TFileItems& files, bool useResFile);
};
