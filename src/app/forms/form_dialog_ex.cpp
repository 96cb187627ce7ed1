// The generic dialog. A button sets the modal result; shown modeless, the answer closes (hides) the dialog.
#include "app/forms/form_dialog_ex.h"

namespace velmor {

void SetDialogBorder(platform::TForm& form) {
    HWND h = form.Handle();
    LONG style = ::GetWindowLongW(h, GWL_STYLE);
    style = (style & ~(WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX)) | WS_DLGFRAME;
    ::SetWindowLongW(h, GWL_STYLE, style);
    ::SetWindowLongW(h, GWL_EXSTYLE, ::GetWindowLongW(h, GWL_EXSTYLE) | WS_EX_DLGMODALFRAME);
    // No activation: a form made at start-up would take it from the main window while still hidden.
    ::SetWindowPos(h, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void PaintUnderChildren(platform::TForm& form) {
    HWND h = form.Handle();
    ::SetWindowLongW(h, GWL_STYLE, ::GetWindowLongW(h, GWL_STYLE) & ~WS_CLIPCHILDREN);
}

TfrmDialogEx::TfrmDialogEx() : TForm(L"TfrmDialogEx") {
    OnCreate = [this] { CreateControls(); };
    // Enter answers Yes (the default button), Esc Cancel.
    OnMessage = [this](UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
        if (msg != WM_COMMAND || (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL)) return false;
        Answer(LOWORD(wParam) == IDOK ? platform::mrYes : platform::mrCancel);
        result = 0;
        return true;
    };
}

void TfrmDialogEx::CreateControls() {
    SetCaption("ダイアログ");
    SetDialogBorder(*this);
    PaintUnderChildren(*this);
    SetFont("ＭＳ Ｐゴシック", 9);
    SetClientSize(360, 160);
    Bevel1.Create(*this, 8, 8, 344, 84, "", SS_ETCHEDFRAME);
    memoMsg.Create(*this, 16, 16, 328, 68, "", SS_CENTER);
    chkSaveSelection.Create(*this, 16, 98, 200, 20, "以後設定を記憶する");
    btnYes.Create(*this, 96, 126, 80, 26, "はい", true);
    btnNo.Create(*this, 184, 126, 80, 26, "いいえ");
    btnCancel.Create(*this, 272, 126, 80, 26, "キャンセル");
    btnYes.OnClick = [this] { Answer(platform::mrYes); };
    btnNo.OnClick = [this] { Answer(platform::mrNo); };
    btnCancel.OnClick = [this] { Answer(platform::mrCancel); };
    // Centred on the screen, whoever owns it.
    SetPosition((::GetSystemMetrics(SM_CXSCREEN) - Width()) / 2,
                (::GetSystemMetrics(SM_CYSCREEN) - Height()) / 2);
    FormCreate();
}

void TfrmDialogEx::ShowDialogEx(const std::string& message, const std::string& caption) {
    memoMsg.SetText(message);
    SetCaption(caption);
    ::MessageBeep(MB_OK);
    SetModalResult(platform::mrNone);
    Show();
}

void TfrmDialogEx::Answer(int result) {
    SetModalResult(result);
    if (!Modal()) Hide();
}

}  // namespace velmor
