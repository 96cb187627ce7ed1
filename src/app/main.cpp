// Velmor's entry: one instance per user (the named mutex "Velmor"), the application object, the windows in
// their fixed order, the message loop, and the stop sequence that the main window's close starts.
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "app/engine/job_rules.h"
#include "app/forms/form_arc_view.h"
#include "app/forms/form_dialog_ex.h"
#include "app/forms/form_log_view.h"
#include "app/forms/form_main.h"
#include "app/forms/form_option.h"
#include "app/forms/form_search.h"
#include "app/forms/form_version.h"
#include "app/ini_control.h"
#include "platform/application.h"
#include "platform/sjis.h"

namespace {

// The program's arguments without its own name, in Shift-JIS.
std::vector<std::string> ProgramArguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!argv) return args;
    for (int i = 1; i < count; ++i) args.push_back(platform::WideToSjis(argv[i]));
    ::LocalFree(argv);
    return args;
}

// OLE for the main thread and the shell allocator, released in reverse order at the end.
class TModuleStartUp {
public:
    TModuleStartUp() {
        oleReady_ = SUCCEEDED(::OleInitialize(nullptr));
        if (FAILED(::SHGetMalloc(&malloc_))) malloc_ = nullptr;
    }
    ~TModuleStartUp() {
        if (malloc_) malloc_->Release();
        if (oleReady_) ::OleUninitialize();
    }
    TModuleStartUp(const TModuleStartUp&) = delete;
    TModuleStartUp& operator=(const TModuleStartUp&) = delete;

private:
    bool oleReady_ = false;
    IMalloc* malloc_ = nullptr;
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    using platform::Application;
    try {
        TModuleStartUp startUp;

        // Held until the process ends; never released by hand.
        HANDLE mutex = ::CreateMutexW(nullptr, FALSE, L"Velmor");
        if (mutex && ::WaitForSingleObject(mutex, 0) == WAIT_TIMEOUT) {
            // Another instance runs: bring its window forward and end; the arguments are not passed on.
            if (HWND other = ::FindWindowW(L"TfrmMain", L"Velmor")) ::SetForegroundWindow(other);
            return 0;
        }

        Application.Initialize();
        Application.SetHelpFile("Velmor.hlp");
        Application.SetTitle("Velmor");
        std::vector<std::string> args = ProgramArguments();
        if (!args.empty()) Application.ShowMainForm = false;

        velmor::TfrmMain& frmMain = Application.CreateForm<velmor::TfrmMain>(args);
        // The secondary windows, each created once and alive until exit; the main window reaches them only
        // through its hooks.
        auto& frmArcView = Application.CreateForm<velmor::TfrmArcView>();
        auto& frmSearch = Application.CreateForm<velmor::TfrmSearch>();
        Application.CreateForm<velmor::TfrmDialogEx>();
        auto& frmOption = Application.CreateForm<velmor::TfrmOption>();
        auto& frmLogView = Application.CreateForm<velmor::TfrmLogView>();
        auto& frmVersion = Application.CreateForm<velmor::TfrmVersion>();
        velmor::ReadFileVersion();

        frmSearch.Source.ArchivePaths = [&frmMain] {
            std::vector<std::string> paths;
            for (int i = 0; i < frmMain.lvFiles.Count(); ++i) paths.push_back(frmMain.lvFiles.Caption(i));
            return paths;
        };
        frmSearch.Source.AcceptsExtension = [](const std::string& ext) { return velmor::CheckAbleExt(ext); };
        frmOption.OnIgnoreDirectoryChanged = [&frmMain](bool on) {
            frmMain.chkIgnoreDirectory.SetChecked(on);
            frmMain.ShowOptionSummary();
        };
        frmMain.Hooks.ShowArchive = [&frmArcView](const std::string& path) { frmArcView.ShowArchive(path); };
        frmArcView.OnStatusText = [&frmMain](const std::string& text) { frmMain.SetStatusText(text); };
        frmMain.Hooks.ShowSearch = [&frmSearch] { frmSearch.ShowForJobList(); };
        frmMain.Hooks.ShowOptions = [&frmOption] { frmOption.ShowModal(); };
        frmMain.Hooks.ShowLogView = [&frmLogView] { frmLogView.Show(); };
        frmMain.Hooks.ShowAbout = [&frmVersion] { frmVersion.ShowModal(); };

        Application.Run();
        return 0;
    } catch (...) {
        Application.HandleException();
        return 1;
    }
}
