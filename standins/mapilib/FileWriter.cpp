#include "FileWriter.h"

#include "ErrorInfo.h"
#include "result.h"
#include "unique.h"

namespace qs::standin {

namespace {

HRESULT fail(DWORD error, const wchar_t* what, const std::wstring& path, std::wstring* problem) {
    const HRESULT hr = HRESULT_FROM_WIN32(error);
    *problem = std::wstring(what) + L" " + path + L": " + SystemMessage(hr);
    return hr;
}

bool ValidCharacters(const std::wstring& path) {
    // A colon only as the drive's; the \\?\ and \\.\ prefixes are not file names.
    for (size_t i = 0; i < path.size(); ++i) {
        const wchar_t c = path[i];
        if (c < 32 || wcschr(L"<>\"|?*", c)) return false;
        if (c == L':' && i != 1) return false;
    }
    return true;
}

} // namespace

HRESULT CheckPath(const std::wstring& path, std::wstring* problem) {
    if (path.empty()) return fail(ERROR_PATH_NOT_FOUND, L"Cannot create file", path, problem);
    if (path.size() >= MAX_PATH)
        return fail(ERROR_FILENAME_EXCED_RANGE, L"Cannot create file", path, problem);
    if (!ValidCharacters(path))
        return fail(ERROR_INVALID_NAME, L"Cannot create file", path, problem);
    return S_OK;
}

HRESULT WriteFile(const std::wstring& path, const std::vector<BYTE>& bytes, std::wstring* problem) {
    const unique_hfile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return fail(::GetLastError(), L"Cannot create file", path, problem);
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        return fail(::GetLastError(), L"Cannot write file", path, problem);
    if (written != bytes.size()) return fail(ERROR_DISK_FULL, L"Cannot write file", path, problem);
    return S_OK;
}

} // namespace qs::standin
