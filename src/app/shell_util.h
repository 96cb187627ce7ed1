// Shell helpers of Velmor: the folder of the Explorer window under the pointer, foreground control, opening
// folders, special folders, folder-path form, size text, wildcard matching and the folder-browse dialog.
// Texts are Shift-JIS; none of these keeps state between calls.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace velmor {

// The window's class name, "Error" when it cannot be read.
std::string GetWindowClassName(HWND window);
// The window's text, "Error" when it is empty or cannot be read. A window of another process that does not
// answer within a short time counts as unreadable, so a hung window cannot stall the caller.
std::string GetWindowCaption(HWND window);

// The folder shown by the Explorer window (or the desktop) under the mouse pointer; "Error" or empty when
// there is none.
std::string GetFolderUnderCursor();
// The same rules applied to the window found under the pointer.
std::string FolderOfWindow(HWND window);

// The size in whole kilobytes ("KB") or megabytes ("MB"), a space and the unit; any other unit gives " ".
std::string FormatFileSize(int64_t size, std::string_view unit);

void ForceForegroundWindow(HWND window);

// Opens "trash" (the recycle bin) or an existing folder in the shell. Anything else, or a failed open, shows
// a message box; the text is never started as a program or document.
void OpenFolder(const std::string& path);
// The shell call OpenFolder makes (replaceable by tests); true when the shell opened the target.
using ShellOpenFunction = bool (*)(HWND owner, const std::wstring& target);
void SetShellOpenFunction(ShellOpenFunction fn);

// Exactly one trailing backslash, examined by character (a trail byte 0x5C is not a backslash).
std::string NormalizeFolderPath(std::string_view path);
// A backslash appended unless the path already ends in one.
std::string WithTrailingBackslash(std::string_view path);

// "desktop" or "mydocument" with a trailing backslash; a lone backslash when the shell cannot resolve it.
std::string GetSpecialFolder(std::string_view name);

bool MatchesWildcard(std::string_view name, std::string_view pattern);
// Patterns separated by ";"; empty pieces are dropped, spaces belong to their pattern.
bool MatchesWildcardList(std::string_view name, std::string_view patterns);

// Where the browse dialog goes: centred when x or y is 0, then kept on the screen.
POINT PlaceBrowseDialog(int x, int y, int dialogWidth, int dialogHeight, int screenWidth, int screenHeight);

struct TBrowseRequest {
    std::string InitialFolder;
    int X;
    int Y;
};

int CALLBACK BrowseCallback(HWND dialog, UINT msg, LPARAM param, LPARAM data);

class TFileCtrl {
public:
    // The modal folder-browse dialog; true when a folder was chosen (then in `path`).
    bool BrowseForFolder(const std::string& title, const std::string& initialFolder, int x, int y,
                         std::string& path);
};

}  // namespace velmor
