// File open and save dialogs over the W common dialogs.
#include "platform/dialogs.h"

#include <commdlg.h>

#include <vector>

#include "platform/sjis.h"

namespace platform {

bool TFileDialog::Execute(HWND owner) {
    // "desc|mask|desc|mask" becomes the NUL-separated, double-NUL-ended form.
    std::wstring filter = SjisToWide(Filter);
    for (wchar_t& c : filter)
        if (c == L'|') c = L'\0';
    filter.append(2, L'\0');
    std::wstring title = SjisToWide(Title), initialDir = SjisToWide(InitialDir),
                 defExt = SjisToWide(DefaultExt);
    if (!defExt.empty() && defExt[0] == L'.') defExt.erase(0, 1);
    std::vector<wchar_t> file(32768, L'\0');
    std::wstring current = SjisToWide(FileName);
    current.copy(file.data(), std::min(current.size(), file.size() - 1));

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = Filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(FilterIndex);
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
    ofn.lpstrDefExt = defExt.empty() ? nullptr : defExt.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    BOOL ok;
    if (save_) {
        if (static_cast<TSaveDialog*>(this)->OverwritePrompt) ofn.Flags |= OFN_OVERWRITEPROMPT;
        ok = ::GetSaveFileNameW(&ofn);
    } else {
        ofn.Flags |= OFN_FILEMUSTEXIST;
        ok = ::GetOpenFileNameW(&ofn);
    }
    if (!ok) return false;
    FileName = WideToSjis(file.data());
    FilterIndex = static_cast<int>(ofn.nFilterIndex);
    return true;
}

}  // namespace platform
