// The About box. The logo "Icon.ico" comes from the program's folder, not from whatever folder is current.
#include "app/forms/form_version.h"

#include <shellapi.h>

#include <vector>

#include "app/forms/form_dialog_ex.h"
#include "platform/sjis.h"

namespace velmor {

std::string FileVersionText;

std::string ReadFileVersionOf(const std::wstring& modulePath) {
    DWORD handle = 0;
    DWORD size = ::GetFileVersionInfoSizeW(modulePath.c_str(), &handle);
    if (size == 0) return {};
    std::vector<char> block(size);
    if (!::GetFileVersionInfoW(modulePath.c_str(), 0, size, block.data())) return {};
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), L"\\StringFileInfo\\041103A4\\FileVersion",
                          reinterpret_cast<void**>(&value), &length) ||
        !value || length == 0)
        return {};
    return platform::WideToSjis(std::wstring(value, ::wcsnlen(value, length)));
}

namespace {
std::wstring ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) return path.substr(0, n);
        path.resize(path.size() * 2);
    }
}
}  // namespace

void ReadFileVersion() {
    static bool read = false;
    if (read) return;
    read = true;
    FileVersionText = ReadFileVersionOf(ProgramPath());
}

std::wstring ProgramFolderPath() {
    std::wstring path = ProgramPath();
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

TfrmVersion::TfrmVersion() : TForm(L"TfrmVersion") {
    OnCreate = [this] { CreateControls(); };
    OnShow = [this] { FormShow(); };
    OpenUrl = [](HWND owner, const std::string& url) {
        ::ShellExecuteW(owner, L"open", platform::SjisToWide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    };
    OnCtlColor = [this](HDC dc, HWND control) -> HBRUSH {
        if (control == Label2.Handle()) {
            ::SetTextColor(dc, RGB(0, 0, 128));
        } else if (control == lblAuthorWeb.Handle()) {
            ::SetTextColor(dc, RGB(0, 0, 255));
        } else {
            return nullptr;
        }
        ::SetBkMode(dc, TRANSPARENT);
        return ::GetSysColorBrush(COLOR_BTNFACE);
    };
    // The link shows the hand; a click on it opens the web address.
    OnMessage = [this](UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
        if (msg == WM_SETCURSOR && reinterpret_cast<HWND>(wParam) == lblAuthorWeb.Handle()) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
            result = TRUE;
            return true;
        }
        if (msg == WM_COMMAND && HIWORD(wParam) == STN_CLICKED && LOWORD(wParam) == lblAuthorWeb.Id()) {
            lblAuthorWebClick();
            result = 0;
            return true;
        }
        if (msg == DM_GETDEFID) {
            // OK is the default button, also while it has the keys: the dialog keys ask, and keep its look.
            result = MAKELRESULT(btnOK.Id(), DC_HASDEFID);
            return true;
        }
        if (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
            btnOKClick();
            result = 0;
            return true;
        }
        return false;
    };
}

void TfrmVersion::CreateControls() {
    ReadFileVersion();
    SetCaption("バージョン情報");
    SetDialogBorder(*this);
    SetFont("ＭＳ Ｐゴシック", 9);
    SetClientSize(400, 300);

    imgLogo.Create(*this, 16, 16, 32, 32, "", SS_ICON);
    Label2.Create(*this, 64, 14, 200, 24, "Velmor");
    LOGFONTW lf{};
    ::GetObjectW(Font(), sizeof lf, &lf);
    lf.lfWeight = FW_BOLD;
    lf.lfHeight = lf.lfHeight * 3 / 2;
    titleFont_.Reset(::CreateFontIndirectW(&lf));
    ::SendMessageW(Label2.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(titleFont_.Get()), TRUE);
    lblVersion.Create(*this, 64, 44, 60, 16, "バージョン");
    Edit1.Create(*this, 128, 44, 120, 16, "", true);
    ::SetWindowLongW(Edit1.Handle(), GWL_EXSTYLE,
                     ::GetWindowLongW(Edit1.Handle(), GWL_EXSTYLE) & ~WS_EX_CLIENTEDGE);
    ::SetWindowPos(Edit1.Handle(), nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);

    lblAuthorWeb.Create(*this, 64, 66, 300, 16, kWebAddress, SS_LEFT | SS_NOTIFY);
    ::GetObjectW(Font(), sizeof lf, &lf);
    lf.lfUnderline = TRUE;
    linkFont_.Reset(::CreateFontIndirectW(&lf));
    ::SendMessageW(lblAuthorWeb.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(linkFont_.Get()), TRUE);

    Memo1.Create(*this, 16, 92, 368, 70);
    Memo1.SetLines(
        {"《更新履歴》", "設定ファイルとログファイルの保存先がマイドキュメン", "トになりました。"});
    Memo2.Create(*this, 16, 170, 368, 84);
    // Lines short enough for the memo's width: the note is read without scrolling.
    Memo2.SetLines({"Velmor をお使いいただき、ありがとうございます。", "ご意見・ご感想、不具合の報告は",
                    "ウェブサイトまでお寄せください。"});
    btnOK.Create(*this, 160, 264, 80, 26, "OK", true);
    btnOK.OnClick = [this] { btnOKClick(); };
}

void TfrmVersion::FormShow() {
    CenterOnMainForm();
    // The keys on OK, where Enter and Space close the box; the version field is a text to read.
    SetActiveControl(btnOK);
    try {
        Edit1.SetTextQuiet(FileVersionText);
        std::wstring logo = ProgramFolderPath() + L"Icon.ico";
        logo_.Reset(
            static_cast<HICON>(::LoadImageW(nullptr, logo.c_str(), IMAGE_ICON, 32, 32, LR_LOADFROMFILE)));
        ::SendMessageW(imgLogo.Handle(), STM_SETICON, reinterpret_cast<WPARAM>(logo_.Get()), 0);
    } catch (...) {
        // The box shows without its picture.
    }
}

void TfrmVersion::btnOKClick() {
    if (Modal()) {
        SetModalResult(platform::mrOk);
    } else {
        Close();
    }
}

void TfrmVersion::lblAuthorWebClick() {
    if (OpenUrl) OpenUrl(Handle(), kWebAddress);
}

}  // namespace velmor
