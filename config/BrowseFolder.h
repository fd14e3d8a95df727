// The shell's folder picker.
#pragma once

#include <windows.h>

#include <string>

// Shows the shell's folder picker, modal over `owner`, with `title` above the
// folder tree, and returns the chosen folder's file-system path exactly as the
// shell gives it. Returns empty text when the user cancels, when the chosen item
// has no file-system path, and when the picker fails; nothing is reported.
std::wstring BrowseForFolder(HWND owner, const std::wstring& title) noexcept;
