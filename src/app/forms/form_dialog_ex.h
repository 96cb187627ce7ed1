// The generic dialog "ダイアログ": a message, Yes, No and Cancel, and a remember-this-choice box. One
// instance for the program; the main window's ShowDialogEx fills it and shows it modeless, ShowModal waits
// for an answer.
#pragma once

#include <string>

#include "platform/controls.h"
#include "platform/form.h"

namespace velmor {

// A fixed dialog frame (caption and close box, no resizing) instead of the sizeable window frame.
void SetDialogBorder(platform::TForm& form);
// Lets the form paint its background under its children too, so group boxes and frames, which draw only
// their edges, show the form's colour inside.
void PaintUnderChildren(platform::TForm& form);

class TfrmDialogEx : public platform::TForm {
public:
    TfrmDialogEx();

    platform::TLabel memoMsg;  // the message: read-only, centred, no border, not a tab stop
    platform::TCheckBox chkSaveSelection;
    platform::TButton btnYes;
    platform::TButton btnNo;
    platform::TButton btnCancel;
    platform::TLabel Bevel1;  // the frame around the message

    // Message into memoMsg, caption into the window, the system beep, shown without waiting.
    void ShowDialogEx(const std::string& message, const std::string& caption);
    void FormCreate() {}

private:
    // Builds the controls; runs as the form's OnCreate, so Create(owner) and Application.CreateForm both do.
    void CreateControls();
    void Answer(int result);
};

}  // namespace velmor
