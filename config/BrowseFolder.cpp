#include "BrowseFolder.h"

#include <shlobj.h>

#include "unique.h"

std::wstring BrowseForFolder(HWND owner, const std::wstring& title) noexcept try {
    // Only file-system folders can be confirmed; no edit box, no new-style
    // dialog, no callback, so the picker opens at the shell's own selection.
    BROWSEINFOW request{};
    request.hwndOwner = owner;
    request.lpszTitle = title.c_str();
    request.ulFlags = BIF_RETURNONLYFSDIRS;

    const qs::unique_cotaskmem chosen(::SHBrowseForFolderW(&request));
    if (!chosen) return {};

    // The success flag is not needed: an item without a file-system path leaves
    // the buffer all NUL, which reads as no folder.
    wchar_t path[MAX_PATH] = {};
    ::SHGetPathFromIDListW(static_cast<PCIDLIST_ABSOLUTE>(chosen.get()), path);
    return std::wstring(path, ::wcsnlen(path, MAX_PATH));
} catch (...) {
    return {};
}
