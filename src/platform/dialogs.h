// The platform's file open and save dialogs. Filters use the "description|mask|description|mask" form.
#pragma once

#include <windows.h>

#include <string>

namespace platform {

class TFileDialog {
public:
    std::string Filter;
    std::string Title;
    std::string FileName;
    std::string InitialDir;
    std::string DefaultExt;
    int FilterIndex = 1;
    // Runs the dialog; true when the user chose a file (FileName then holds it).
    bool Execute(HWND owner = nullptr);

protected:
    explicit TFileDialog(bool save) : save_(save) {}

private:
    bool save_;
};

class TOpenDialog : public TFileDialog {
public:
    TOpenDialog() : TFileDialog(false) {}
};

class TSaveDialog : public TFileDialog {
public:
    TSaveDialog() : TFileDialog(true) {}
    bool OverwritePrompt = true;
};

}  // namespace platform
