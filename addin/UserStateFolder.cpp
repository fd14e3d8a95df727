#include "UserStateFolder.h"

#include <windows.h>

std::wstring UserStateFolder() {
    // The environment every user session has, rather than the shell: the add-in
    // does not load shell32 into Outlook's process for this.
    wchar_t folder[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::wstring path(folder, length);
    path += L"\\Quillstow";
    // An existing folder is what is wanted; any other failure shows when a file is opened.
    (void)::CreateDirectoryW(path.c_str(), nullptr);
    return path;
}
