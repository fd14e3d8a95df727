// Writes a finished message file to its path, replacing a file of that name as
// Outlook's SaveAs does. Failures carry a description that names the path.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qs::standin {

// Checks a path before anything is built: not empty, not too long for the
// platform, no character that a file name cannot hold.
HRESULT CheckPath(const std::wstring& path, std::wstring* problem);

HRESULT WriteFile(const std::wstring& path, const std::vector<BYTE>& bytes, std::wstring* problem);

} // namespace qs::standin
