// The main window's job list: rows from the command line and from drops, the preview of the first selected
// row, removing rows and the folder-combo history.
#include <windows.h>
#include <shellapi.h>

#include "app/engine/job_rules.h"
#include "app/forms/form_main.h"
#include "app/ini_control.h"
#include "archivers/job_state.h"
#include "platform/application.h"
#include "platform/handle.h"
#include "platform/sjis.h"

namespace velmor {

using platform::Application;

void TfrmMain::AddFileToList(const std::string& path) { lvFiles.AddItem(path, iconCache.GetIconIndex(path)); }

void TfrmMain::DropFiles(HDROP drop) {
    platform::ScopeExit release([drop] { ::DragFinish(drop); });
    // While an archive is being extracted or packed, drops are ignored.
    if (JobState().Status == jsWorking) return;
    UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        try {
            wchar_t buffer[1025] = {};
            UINT length = ::DragQueryFileW(drop, i, buffer, 1025);
            if (length == 0) continue;
            std::wstring wide(buffer, length);
            std::string path = platform::WideToSjis(wide);
            int row = lvFiles.AddItem(path, iconCache.GetIconIndex(path));
            WIN32_FIND_DATAW found{};
            platform::UniqueFind find(::FindFirstFileW(wide.c_str(), &found));
            DWORD attributes = ::GetFileAttributesW(wide.c_str());
            bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
            uint64_t size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
            std::string sizeText = DropSizeText(static_cast<bool>(find), size, folder);
            if (!sizeText.empty()) lvFiles.AddSubItem(row, sizeText);
            lvFiles.AddSubItem(row, std::to_string(lvFiles.Count()));
        } catch (...) {
            // A row that failed stays as far as it got; the next path goes on.
        }
    }
}

void TfrmMain::PreviewSelected() {
    SetTopMost(false);
    int row = lvFiles.NextSelected(-1);
    if (row < 0) {
        Application.MessageBox(Handle(), "閲覧する圧縮ファイルがありません", "圧縮ファイルの閲覧", MB_OK);
        return;
    }
    std::string path = lvFiles.Caption(row);
    // Only the last extension is tested: ".TAR.GZ" is previewed as ".gz".
    if (!CheckAbleExt(LowerExt(path))) {
        Application.MessageBox(Handle(), "閲覧できない形式（またはフォルダ）です", "圧縮ファイルの閲覧", MB_OK);
        return;
    }
    if (Hooks.ShowArchive) Hooks.ShowArchive(path);
}

void TfrmMain::RemoveSelectedRows() {
    // The worker walks the rows during a job: no removal then.
    if (JobState().Status != jsIdle) return;
    for (int i = lvFiles.Count() - 1; i >= 0; --i)
        if (lvFiles.Selected(i)) lvFiles.Delete(i);
}

void TfrmMain::ClearFileList() {
    if (JobState().Status != jsIdle) return;
    lvFiles.Clear();
}

namespace {
std::vector<std::string> ComboItems(const platform::TComboBox& combo) {
    std::vector<std::string> items;
    for (int i = 0; i < combo.Count(); ++i) items.push_back(combo.Item(i));
    return items;
}
}  // namespace

void TfrmMain::PushComboHistory(platform::TComboBox& combo, const std::string& folder) {
    std::vector<std::string> items = ComboItems(combo);
    std::vector<std::string> before = items;
    PushHistory(items, folder);
    if (items == before) return;
    std::string text = combo.Text();
    for (size_t i = 0; i < items.size(); ++i) combo.SetItem(static_cast<int>(i), items[i]);
    combo.SetText(text);
}

void TfrmMain::StoreFolderHistory() {
    // The combos' histories are what the settings file keeps.
    std::vector<std::string> special = ComboItems(cmbSpecialFolder), move = ComboItems(cmbMoveFolder);
    for (size_t i = 0; i < 6; ++i) {
        IniControl.MRU_SpecialFolder[i] = i < special.size() ? special[i] : std::string();
        IniControl.MRU_MoveFolder[i] = i < move.size() ? move[i] : std::string();
    }
}

}  // namespace velmor
