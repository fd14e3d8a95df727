#include "ServerRegistration.h"

#include "result.h"
#include "unique.h"

#include <cwchar>

namespace qs {

const wchar_t* const kAutomationMarshaler = L"{00020424-0000-0000-C000-000000000046}";
const wchar_t* const kDispatchMarshaler = L"{00020420-0000-0000-C000-000000000046}";
const wchar_t* const kClassesKey = L"Software\\Classes\\";

namespace {

HRESULT SetText(HKEY hive, REGSAM view, const std::wstring& path, const std::wstring& name,
                const std::wstring& data) noexcept {
    unique_hkey key;
    QS_RETURN_IF_WIN32_ERROR(::RegCreateKeyExW(hive, path.c_str(), 0, nullptr, 0,
                                               KEY_SET_VALUE | view, nullptr, key.put(), nullptr));
    QS_RETURN_IF_WIN32_ERROR(
        ::RegSetValueExW(key.get(), name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(data.c_str()),
                         static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))));
    return S_OK;
}

} // namespace

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return text;
}

const wchar_t* NativePlatform() noexcept {
    return sizeof(void*) == 8 ? L"win64" : L"win32";
}

REGSAM NativeView() noexcept {
    return sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

std::vector<RegistryRow> ServerRows(const ServerDescription& server, const std::wstring& modulePath,
                                    const wchar_t* platform) {
    const TypeLibraryInfo* library = server.typeLibrary;
    const std::wstring libid = library ? GuidText(*library->libid) : std::wstring();
    std::vector<RegistryRow> rows;
    for (size_t i = 0; i < server.classCount; ++i) {
        const CreatableClass& cls = server.classes[i];
        const std::wstring clsid = GuidText(*cls.clsid);
        const std::wstring clsidKey = L"CLSID\\" + clsid;
        rows.push_back({clsidKey + L"\\InprocServer32", L"", modulePath, false});
        rows.push_back({clsidKey, L"", cls.progId, true});
        rows.push_back({clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment", false});
        rows.push_back({clsidKey + L"\\ProgID", L"", cls.progId, false});
        if (library) {
            rows.push_back({clsidKey + L"\\TypeLib", L"", libid, false});
            rows.push_back({clsidKey + L"\\VERSION", L"", library->version, false});
        }
        rows.push_back({cls.progId, L"", cls.progId, true});
        rows.push_back({std::wstring(cls.progId) + L"\\CLSID", L"", clsid, false});
    }
    if (!library) return rows;

    const size_t slash = modulePath.find_last_of(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? L"" : modulePath.substr(0, slash);
    const std::wstring versionKey = L"TypeLib\\" + libid + L"\\" + library->version;
    rows.push_back({versionKey, L"", library->name, true});
    rows.push_back({versionKey + L"\\FLAGS", L"", L"0", false});
    rows.push_back({versionKey + L"\\HELPDIR", L"", folder, false});
    rows.push_back({versionKey + L"\\0\\" + platform, L"", modulePath, false});
    for (size_t i = 0; i < server.interfaceCount; ++i) {
        const InterfaceInfo& itf = server.interfaces[i];
        const std::wstring key = L"Interface\\" + GuidText(*itf.iid);
        rows.push_back({key, L"", itf.name, true});
        rows.push_back({key + L"\\ProxyStubClsid", L"", itf.proxyStub, false});
        rows.push_back({key + L"\\ProxyStubClsid32", L"", itf.proxyStub, false});
        rows.push_back({key + L"\\TypeLib", L"", libid, false});
        rows.push_back({key + L"\\TypeLib", L"Version", library->version, false});
    }
    return rows;
}

HRESULT WriteRows(HKEY hive, REGSAM view, const std::vector<RegistryRow>& rows) noexcept try {
    for (const RegistryRow& row : rows)
        QS_RETURN_IF_FAILED(
            SetText(hive, view, std::wstring(kClassesKey) + row.key, row.name, row.data));
    return S_OK;
}
QS_CATCH_RETURN()

HRESULT DeleteOwnedRows(HKEY hive, REGSAM view, const std::vector<RegistryRow>& rows) noexcept try {
    for (auto row = rows.rbegin(); row != rows.rend(); ++row)
        if (row->owned)
            QS_RETURN_IF_FAILED(DeleteTree(hive, view, std::wstring(kClassesKey) + row->key));
    return S_OK;
}
QS_CATCH_RETURN()

HRESULT DeleteTree(HKEY hive, REGSAM view, const std::wstring& path) noexcept try {
    const size_t slash = path.find_last_of(L'\\');
    const std::wstring leaf = path.substr(slash + 1);
    unique_hkey parent;
    LSTATUS status = ::RegOpenKeyExW(hive, path.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | view,
                                     parent.put());
    if (status == ERROR_FILE_NOT_FOUND) return S_OK;
    QS_RETURN_IF_WIN32_ERROR(status);
    status = ::RegDeleteTreeW(parent.get(), leaf.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return HResultFromWin32(status);
    status = ::RegDeleteKeyExW(parent.get(), leaf.c_str(), view, 0);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return HResultFromWin32(status);
    return S_OK;
}
QS_CATCH_RETURN()

void DeleteIfEmpty(HKEY hive, REGSAM view, const std::wstring& path) noexcept try {
    // RegDeleteKeyEx refuses a key that still has subkeys.
    const size_t slash = path.find_last_of(L'\\');
    unique_hkey parent;
    if (::RegOpenKeyExW(hive, path.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | view,
                        parent.put()) == ERROR_SUCCESS)
        ::RegDeleteKeyExW(parent.get(), path.substr(slash + 1).c_str(), view, 0);
} catch (...) {
    // An empty key left behind does no harm.
}

bool KeyExists(HKEY hive, REGSAM view, const std::wstring& path) noexcept {
    unique_hkey key;
    return ::RegOpenKeyExW(hive, path.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
}

bool NamesFile(HKEY hive, REGSAM view, const std::wstring& path, const std::wstring& file) noexcept
    try {
    unique_hkey key;
    if (::RegOpenKeyExW(hive, path.c_str(), 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    if (::RegGetValueW(key.get(), nullptr, nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
            ERROR_SUCCESS ||
        size < sizeof(wchar_t))
        return false;
    std::wstring data(size / sizeof(wchar_t), L'\0');
    if (::RegGetValueW(key.get(), nullptr, nullptr, RRF_RT_REG_SZ, nullptr, data.data(), &size) !=
        ERROR_SUCCESS)
        return false;
    data.resize(::wcsnlen(data.c_str(), data.size()));
    return ::CompareStringOrdinal(data.c_str(), static_cast<int>(data.size()), file.c_str(),
                                  static_cast<int>(file.size()), TRUE) == CSTR_EQUAL;
} catch (...) {
    return false;
}

HRESULT DllInstallIn(BOOL install, LPCWSTR commandLine, RegisterFunction registerIn,
                     RegisterFunction unregisterIn) noexcept {
    HKEY hive = HKEY_LOCAL_MACHINE;
    if (commandLine && *commandLine) {
        if (::CompareStringOrdinal(commandLine, -1, L"user", -1, TRUE) != CSTR_EQUAL)
            return E_INVALIDARG;
        hive = HKEY_CURRENT_USER;
    }
    return install ? registerIn(hive) : unregisterIn(hive);
}

} // namespace qs
