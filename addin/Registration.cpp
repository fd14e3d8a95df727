#include "Registration.h"

#include "Classes.h"
#include "RegistryCmds.h"
#include "qsStow.h"
#include "result.h"
#include "unique.h"

const wchar_t* const kAddinFriendlyName = L"Quillstow for Outlook";
const wchar_t* const kAddinDescription =
    L"Archives every sent and received message as an Outlook message file.";

namespace {

constexpr wchar_t kClassesKey[] = L"Software\\Classes";
constexpr wchar_t kTypeLibVersion[] = L"3.0";
constexpr wchar_t kTypeLibName[] = L"Quillstow for Outlook";
// The automation marshaler, for dual interfaces described by a type library.
constexpr wchar_t kOleAutomationProxy[] = L"{00020424-0000-0000-C000-000000000046}";
#ifdef _WIN64
constexpr wchar_t kTypeLibPlatform[] = L"win64";
#else
constexpr wchar_t kTypeLibPlatform[] = L"win32";
#endif

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return text;
}

struct Interface {
    const IID* iid;
    const wchar_t* name;
};
// Only the interfaces this library defines; IDTExtensibility2 belongs to Office
// and its registration is never written or removed here.
const Interface kOwnInterfaces[] = {{&IID__Addin, L"_Addin"}, {&IID__Settings, L"_Settings"}};

HRESULT SetText(HKEY root, const std::wstring& key, const std::wstring& name,
                const std::wstring& data) noexcept {
    qs::unique_hkey handle;
    QS_RETURN_IF_WIN32_ERROR(::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                               nullptr, handle.put(), nullptr));
    QS_RETURN_IF_WIN32_ERROR(
        ::RegSetValueExW(handle.get(), name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(data.c_str()),
                         static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))));
    return S_OK;
}

HRESULT DeleteTree(HKEY root, const std::wstring& key) noexcept {
    const LSTATUS status = ::RegDeleteTreeW(root, key.c_str());
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
        ::RegDeleteKeyW(root, key.c_str());
        return S_OK;
    }
    return qs::hresult_from_win32(status);
}

HRESULT OpenClassesRoot(HKEY hive, REGSAM access, qs::unique_hkey& root) noexcept {
    QS_RETURN_IF_WIN32_ERROR(
        ::RegCreateKeyExW(hive, kClassesKey, 0, nullptr, 0, access, nullptr, root.put(), nullptr));
    return S_OK;
}

} // namespace

std::vector<RegistryRow> RegistrationRows(const std::wstring& modulePath) {
    const std::wstring libid = GuidText(LIBID_qsStow);
    const size_t slash = modulePath.find_last_of(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? L"" : modulePath.substr(0, slash);

    std::vector<RegistryRow> rows;
    for (size_t i = 0; i < kCreatableClassCount; ++i) {
        const CreatableClass& cls = kCreatableClasses[i];
        const std::wstring clsidKey = L"CLSID\\" + GuidText(*cls.clsid);
        const std::wstring clsid = GuidText(*cls.clsid);
        rows.push_back({clsidKey, L"", cls.progId, true});
        rows.push_back({clsidKey + L"\\InprocServer32", L"", modulePath, false});
        rows.push_back({clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment", false});
        rows.push_back({clsidKey + L"\\ProgID", L"", cls.progId, false});
        rows.push_back({clsidKey + L"\\TypeLib", L"", libid, false});
        rows.push_back({clsidKey + L"\\VERSION", L"", kTypeLibVersion, false});
        rows.push_back({cls.progId, L"", cls.progId, true});
        rows.push_back({std::wstring(cls.progId) + L"\\CLSID", L"", clsid, false});
    }
    const std::wstring typeLibKey = L"TypeLib\\" + libid + L"\\" + kTypeLibVersion;
    rows.push_back({typeLibKey, L"", kTypeLibName, true});
    rows.push_back({typeLibKey + L"\\FLAGS", L"", L"0", false});
    rows.push_back({typeLibKey + L"\\HELPDIR", L"", folder, false});
    rows.push_back({typeLibKey + L"\\0\\" + kTypeLibPlatform, L"", modulePath, false});
    for (const Interface& itf : kOwnInterfaces) {
        const std::wstring key = L"Interface\\" + GuidText(*itf.iid);
        rows.push_back({key, L"", itf.name, true});
        rows.push_back({key + L"\\ProxyStubClsid", L"", kOleAutomationProxy, false});
        rows.push_back({key + L"\\ProxyStubClsid32", L"", kOleAutomationProxy, false});
        rows.push_back({key + L"\\TypeLib", L"", libid, false});
        rows.push_back({key + L"\\TypeLib", L"Version", kTypeLibVersion, false});
    }
    return rows;
}

HRESULT RegisterServer(HKEY hive, const std::wstring& modulePath) noexcept try {
    qs::unique_hkey root;
    QS_RETURN_IF_FAILED(OpenClassesRoot(hive, KEY_ALL_ACCESS, root));
    for (const RegistryRow& row : RegistrationRows(modulePath)) {
        const HRESULT hr = SetText(root.get(), row.key, row.name, row.data);
        if (FAILED(hr)) {
            UnregisterServer(hive);
            return hr;
        }
    }
    return S_OK;
}
QS_CATCH_RETURN()

HRESULT UnregisterServer(HKEY hive) noexcept try {
    qs::unique_hkey root;
    QS_RETURN_IF_FAILED(OpenClassesRoot(hive, KEY_ALL_ACCESS, root));
    HRESULT result = S_OK;
    const auto rows = RegistrationRows(L"");
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        if (!row->owned) continue;
        const HRESULT hr = DeleteTree(root.get(), row->key);
        if (FAILED(hr)) result = hr;
    }
    // The library's GUID key goes when no other version is left in it.
    ::RegDeleteKeyW(root.get(), (L"TypeLib\\" + GuidText(LIBID_qsStow)).c_str());
    return result;
}
QS_CATCH_RETURN()

HRESULT RegisterAddinLoader() noexcept {
    qs::unique_hkey key;
    QS_RETURN_IF_WIN32_ERROR(::RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0,
                                               KEY_SET_VALUE, nullptr, key.put(), nullptr));
    const DWORD loadAtStartup = 3;
    QS_RETURN_IF_WIN32_ERROR(::RegSetValueExW(key.get(), L"LoadBehavior", 0, REG_DWORD,
                                              reinterpret_cast<const BYTE*>(&loadAtStartup),
                                              sizeof(loadAtStartup)));
    QS_RETURN_IF_FAILED(SetText(key.get(), L"", L"FriendlyName", kAddinFriendlyName));
    QS_RETURN_IF_FAILED(SetText(key.get(), L"", L"Description", kAddinDescription));
    return S_OK;
}

HRESULT UnregisterAddinLoader() noexcept {
    qs::unique_hkey key;
    const LSTATUS status = ::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0,
                                           KEY_SET_VALUE | KEY_QUERY_VALUE, key.put());
    if (status == ERROR_FILE_NOT_FOUND) return S_OK;
    QS_RETURN_IF_WIN32_ERROR(status);
    for (const wchar_t* name : {L"LoadBehavior", L"FriendlyName", L"Description"}) {
        const LSTATUS deleted = ::RegDeleteValueW(key.get(), name);
        if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND)
            return qs::hresult_from_win32(deleted);
    }
    // The key itself goes only when none of the user's settings are left in it.
    DWORD values = 0, subkeys = 0;
    if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                           &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
        values == 0 && subkeys == 0) {
        key.reset();
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKeyPath);
    }
    return S_OK;
}
