#include "Registration.h"

#include "Classes.h"
#include "RegistryCmds.h"
#include "module.h"
#include "qsStow.h"
#include "result.h"
#include "unique.h"

const wchar_t* const kAddinFriendlyName = L"Quillstow for Outlook";
const wchar_t* const kAddinDescription =
    L"Archives every sent and received message as an Outlook message file.";

namespace {

constexpr wchar_t kClassesKey[] = L"Software\\Classes\\";
constexpr wchar_t kTypeLibVersion[] = L"3.0";
constexpr wchar_t kTypeLibName[] = L"Quillstow for Outlook";
// The automation marshaler, for dual interfaces described by a type library.
constexpr wchar_t kOleAutomationProxy[] = L"{00020424-0000-0000-C000-000000000046}";
// Both architectures' views; on 32-bit Windows the flags are ignored and both name the one view.
constexpr REGSAM kBothViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

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

std::wstring ClassKey(const qs::CreatableClass& cls) {
    return kClassesKey + (L"CLSID\\" + GuidText(*cls.clsid));
}
std::wstring TypeLibKey() {
    return kClassesKey + (L"TypeLib\\" + GuidText(LIBID_qsStow));
}

HRESULT SetText(HKEY hive, REGSAM view, const std::wstring& path, const std::wstring& name,
                const std::wstring& data) noexcept {
    qs::unique_hkey key;
    QS_RETURN_IF_WIN32_ERROR(::RegCreateKeyExW(hive, path.c_str(), 0, nullptr, 0,
                                               KEY_SET_VALUE | view, nullptr, key.put(), nullptr));
    QS_RETURN_IF_WIN32_ERROR(
        ::RegSetValueExW(key.get(), name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(data.c_str()),
                         static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))));
    return S_OK;
}

bool KeyExists(HKEY hive, REGSAM view, const std::wstring& path) noexcept {
    qs::unique_hkey key;
    return ::RegOpenKeyExW(hive, path.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
}

// Whether the key's default value names the file at `file` (paths compare without case).
bool NamesFile(HKEY hive, REGSAM view, const std::wstring& path, const std::wstring& file) {
    qs::unique_hkey key;
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
}

// Removes the key at `path` with everything below it; a key that is not there counts as removed.
HRESULT DeleteTree(HKEY hive, REGSAM view, const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    const std::wstring leaf = path.substr(slash + 1);
    qs::unique_hkey parent;
    LSTATUS status = ::RegOpenKeyExW(hive, path.substr(0, slash).c_str(), 0,
                                     KEY_ALL_ACCESS | view, parent.put());
    if (status == ERROR_FILE_NOT_FOUND) return S_OK;
    QS_RETURN_IF_WIN32_ERROR(status);
    status = ::RegDeleteTreeW(parent.get(), leaf.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        return qs::hresult_from_win32(status);
    status = ::RegDeleteKeyExW(parent.get(), leaf.c_str(), view, 0);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        return qs::hresult_from_win32(status);
    return S_OK;
}

// Removes the key when nothing is left in it.
void DeleteIfEmpty(HKEY hive, REGSAM view, const std::wstring& path) {
    // RegDeleteKeyEx refuses a key that still has subkeys; values do not stop it, and
    // the keys passed here hold none of their own.
    const size_t slash = path.find_last_of(L'\\');
    qs::unique_hkey parent;
    if (::RegOpenKeyExW(hive, path.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | view,
                        parent.put()) == ERROR_SUCCESS)
        ::RegDeleteKeyExW(parent.get(), path.substr(slash + 1).c_str(), view, 0);
}

bool AnyClassRegistered(HKEY hive, REGSAM view) {
    for (size_t i = 0; i < kCreatableClassCount; ++i)
        if (KeyExists(hive, view, ClassKey(kCreatableClasses[i]) + L"\\InprocServer32"))
            return true;
    return false;
}

HRESULT WriteLoaderValues(const std::vector<LoaderValue>& values) noexcept {
    qs::unique_hkey key;
    QS_RETURN_IF_WIN32_ERROR(::RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0,
                                               KEY_SET_VALUE, nullptr, key.put(), nullptr));
    for (const LoaderValue& value : values) {
        const BYTE* data = value.type == REG_DWORD
                               ? reinterpret_cast<const BYTE*>(&value.number)
                               : reinterpret_cast<const BYTE*>(value.text);
        const DWORD size = value.type == REG_DWORD
                               ? sizeof(value.number)
                               : static_cast<DWORD>((::wcslen(value.text) + 1) * sizeof(wchar_t));
        QS_RETURN_IF_WIN32_ERROR(
            ::RegSetValueExW(key.get(), value.name, 0, value.type, data, size));
    }
    return S_OK;
}

HRESULT RemoveLoaderValues(const std::vector<LoaderValue>& values) noexcept {
    qs::unique_hkey key;
    const LSTATUS status = ::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0,
                                           KEY_SET_VALUE | KEY_QUERY_VALUE, key.put());
    if (status == ERROR_FILE_NOT_FOUND) return S_OK;
    QS_RETURN_IF_WIN32_ERROR(status);
    for (const LoaderValue& value : values) {
        const LSTATUS deleted = ::RegDeleteValueW(key.get(), value.name);
        if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND)
            return qs::hresult_from_win32(deleted);
    }
    // The key itself goes only when none of the user's settings are left in it.
    DWORD valueCount = 0, subkeys = 0;
    if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                           &valueCount, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
        valueCount == 0 && subkeys == 0) {
        key.reset();
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKeyPath);
    }
    return S_OK;
}

HRESULT WriteRegistration(const ModuleRegistration& module, HKEY hive,
                          const std::vector<LoaderValue>& loader) {
    for (const RegistryRow& row : RegistrationRows(module))
        QS_RETURN_IF_FAILED(SetText(hive, module.view, kClassesKey + row.key, row.name, row.data));
    return WriteLoaderValues(loader);
}

HRESULT RemoveRegistration(const ModuleRegistration& module, HKEY hive,
                           const std::vector<LoaderValue>& loader) {
    // This build's own rows: the classes whose server is this file, and its type library path.
    HRESULT result = S_OK;
    for (size_t i = 0; i < kCreatableClassCount; ++i) {
        const std::wstring key = ClassKey(kCreatableClasses[i]);
        if (!NamesFile(hive, module.view, key + L"\\InprocServer32", module.path)) continue;
        const HRESULT hr = DeleteTree(hive, module.view, key);
        if (FAILED(hr)) result = hr;
    }
    const std::wstring typeLibVersionKey = TypeLibKey() + L"\\" + kTypeLibVersion;
    const std::wstring platformKey = typeLibVersionKey + L"\\0\\" + module.platform;
    if (NamesFile(hive, module.view, platformKey, module.path)) {
        const HRESULT hr = DeleteTree(hive, module.view, platformKey);
        if (FAILED(hr)) result = hr;
        DeleteIfEmpty(hive, module.view, typeLibVersionKey + L"\\0");
    }
    // Without the rights to remove the classes, nothing shared is touched either.
    QS_RETURN_IF_FAILED(result);

    if (!AnyClassRegistered(hive, module.view)) {
        for (const Interface& itf : kOwnInterfaces)
            QS_RETURN_IF_FAILED(
                DeleteTree(hive, module.view, kClassesKey + (L"Interface\\" + GuidText(*itf.iid))));
    }
    for (REGSAM view : kBothViews)
        if (AnyClassRegistered(hive, view)) return S_OK;

    // No build is left: the shared rows and the loader values go too.
    const auto rows = RegistrationRows(module);
    for (REGSAM view : kBothViews) {
        for (auto row = rows.rbegin(); row != rows.rend(); ++row)
            if (row->owned) QS_RETURN_IF_FAILED(DeleteTree(hive, view, kClassesKey + row->key));
        DeleteIfEmpty(hive, view, TypeLibKey());
    }
    return RemoveLoaderValues(loader);
}

} // namespace

ModuleRegistration ThisModuleRegistration() {
#ifdef _WIN64
    return {qs::this_module_path(), KEY_WOW64_64KEY, L"win64"};
#else
    return {qs::this_module_path(), KEY_WOW64_32KEY, L"win32"};
#endif
}

const std::vector<LoaderValue>& AddinLoaderValues() {
    static const std::vector<LoaderValue> values = {
        {L"LoadBehavior", REG_DWORD, 3, nullptr}, // load at every start of Outlook
        {L"FriendlyName", REG_SZ, 0, kAddinFriendlyName},
        {L"Description", REG_SZ, 0, kAddinDescription},
    };
    return values;
}

std::vector<RegistryRow> RegistrationRows(const ModuleRegistration& module) {
    const std::wstring libid = GuidText(LIBID_qsStow);
    const size_t slash = module.path.find_last_of(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? L"" : module.path.substr(0, slash);

    std::vector<RegistryRow> rows;
    for (size_t i = 0; i < kCreatableClassCount; ++i) {
        const qs::CreatableClass& cls = kCreatableClasses[i];
        const std::wstring clsid = GuidText(*cls.clsid);
        const std::wstring clsidKey = L"CLSID\\" + clsid;
        rows.push_back({clsidKey + L"\\InprocServer32", L"", module.path, false});
        rows.push_back({clsidKey, L"", cls.progId, true});
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
    rows.push_back({typeLibKey + L"\\0\\" + module.platform, L"", module.path, false});
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

HRESULT RegisterModule(const ModuleRegistration& module, HKEY hive,
                       const std::vector<LoaderValue>& loader) noexcept {
    if (module.path.empty()) return E_INVALIDARG;
    HRESULT hr;
    try {
        hr = WriteRegistration(module, hive, loader);
    } catch (...) {
        hr = qs::hresult_from_caught_exception();
    }
    // The roll-back's own failure changes nothing of the answer.
    if (FAILED(hr)) (void)UnregisterModule(module, hive, loader);
    return hr;
}

HRESULT UnregisterModule(const ModuleRegistration& module, HKEY hive,
                         const std::vector<LoaderValue>& loader) noexcept try {
    return RemoveRegistration(module, hive, loader);
}
QS_CATCH_RETURN()
