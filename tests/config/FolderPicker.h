// Drives the shell's folder picker of another process: its tree's items live
// in that process, so their texts are read through its memory.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace config_test {

class FolderPicker {
public:
    FolderPicker(HANDLE process, HWND window) : process_(process), window_(window) {}

    HWND Window() const { return window_; }
    // True when one of the picker's labels shows `text` (the caller's title).
    bool ShowsText(const std::wstring& text) const;
    // Expands the tree from its root along items whose texts end with the
    // given steps and selects the last; false when a step is not found.
    bool Select(const std::vector<std::wstring>& steps);
    void Confirm() const { ::PostMessageW(::GetDlgItem(window_, IDOK), BM_CLICK, 0, 0); }
    void Cancel() const { ::PostMessageW(::GetDlgItem(window_, IDCANCEL), BM_CLICK, 0, 0); }

private:
    HWND Tree() const;
    std::wstring ItemText(HTREEITEM item) const;

    HANDLE process_;
    HWND window_;
};

} // namespace config_test
