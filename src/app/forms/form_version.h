// The About box "バージョン情報": product name, the version read once from the program's own version
// resource, the logo, the web link and two notes. One instance for the program, shown modal.
#pragma once

#include <windows.h>

#include <string>

#include "platform/controls.h"
#include "platform/form.h"
#include "platform/handle.h"

namespace velmor {

// The "FileVersion" of the Japanese Shift-JIS string table ("041103A4") of a module's version resource;
// empty when the module has none.
std::string ReadFileVersionOf(const std::wstring& modulePath);
// Reads the running program's version once into FileVersionText (start-up calls it; later calls keep it).
void ReadFileVersion();
extern std::string FileVersionText;

// The folder of the running program with a trailing backslash: where the files the windows load sit.
std::wstring ProgramFolderPath();

class TfrmVersion : public platform::TForm {
public:
    TfrmVersion();

    platform::TLabel Label2;
    platform::TLabel lblVersion;
    platform::TEdit Edit1;
    platform::TLabel imgLogo;  // an icon static
    platform::TLabel lblAuthorWeb;
    platform::TMemo Memo1;
    platform::TMemo Memo2;
    platform::TButton btnOK;

    static constexpr const char* kWebAddress = "https://velmor.example.jp/";
    // Opens the web address; replaceable by tests.
    std::function<void(HWND owner, const std::string& url)> OpenUrl;

    void FormShow();
    void btnOKClick();
    void lblAuthorWebClick();
    bool HasLogo() const { return logo_.Get() != nullptr; }

private:
    // Builds the controls; runs as the form's OnCreate, so Create(owner) and Application.CreateForm both do.
    void CreateControls();
    platform::UniqueIcon logo_;
    platform::UniqueFont titleFont_;
    platform::UniqueFont linkFont_;
};

}  // namespace velmor
