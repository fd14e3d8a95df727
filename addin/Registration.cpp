#include "Registration.h"

#include "Classes.h"
#include "RegistryCmds.h"
#include "module.h"
#include "qsStow.h"
#include "result.h"
#include "unique.h"

#include <cwchar>

const wchar_t* const kAddinFriendlyName = L"Quillstow for Outlook";
const wchar_t* const kAddinDescription =
    L"Archives every sent and received message as an Outlook message file.";

namespace {

constexpr wchar_t kTypeLibVersion[] = L"3.0";
// Both architectures' views; on 32-bit Windows the flags are ignored and both name the one view.
constexpr REGSAM kBothViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

const qs::TypeLibraryInfo kTypeLibrary = {&LIBID_qsStow, kTypeLibVersion, L"Quillstow for Outlook"};
// Only the interfaces this library defines; IDTExtensibility2 belongs to Office
// and its registration is never written or removed here.
const qs::InterfaceInfo kOwnInterfaces[] = {
    {&IID__Addin, L"_Addin", qs::kAutomationMarshaler},
    {&IID__Settings, L"_Settings", qs::kAutomationMarshaler},
};
const qs::ServerDescription kServer = {qs::server::kClasses, qs::server::kClassCount, &kTypeLibrary,
                                       kOwnInterfaces, 2};

std::wstring ClassKey(const qs::CreatableClass& cls) {
    return qs::kClassesKey + (L"CLSID\\" + qs::GuidText(*cls.clsid));
}
std::wstring TypeLibKey() {
    return qs::kClassesKey + (L"TypeLib\\" + qs::GuidText(LIBID_qsStow));
}

bool AnyClassRegistered(HKEY hive, REGSAM view) {
    for (size_t i = 0; i < qs::server::kClassCount; ++i)
        if (qs::KeyExists(hive, view, ClassKey(qs::server::kClasses[i]) + L"\\InprocServer32"))
            return true;
    return false;
}

// Where Outlook looks for the loader values of a registration: a user's own in
// the settings key; every user's in the machine's Addins key, in the registry
// view of the build's architecture (32-bit Outlook reads the 32-bit view).
struct LoaderKey {
    HKEY hive;
    REGSAM view;
};

LoaderKey LoaderKeyOf(const ModuleRegistration& module, HKEY hive) noexcept {
    return hive == HKEY_LOCAL_MACHINE ? LoaderKey{HKEY_LOCAL_MACHINE, module.view}
                                      : LoaderKey{HKEY_CURRENT_USER, 0};
}

HRESULT WriteLoaderValues(LoaderKey where, const std::vector<LoaderValue>& values) noexcept {
    qs::unique_hkey key;
    QS_RETURN_IF_WIN32_ERROR(::RegCreateKeyExW(where.hive, kSettingsKeyPath, 0, nullptr, 0,
                                               KEY_SET_VALUE | where.view, nullptr, key.put(),
                                               nullptr));
    for (const LoaderValue& value : values) {
        const BYTE* data = value.type == REG_DWORD ? reinterpret_cast<const BYTE*>(&value.number)
                                                   : reinterpret_cast<const BYTE*>(value.text);
        const DWORD size = value.type == REG_DWORD
                               ? sizeof(value.number)
                               : static_cast<DWORD>((::wcslen(value.text) + 1) * sizeof(wchar_t));
        QS_RETURN_IF_WIN32_ERROR(
            ::RegSetValueExW(key.get(), value.name, 0, value.type, data, size));
    }
    return S_OK;
}

HRESULT RemoveLoaderValues(LoaderKey where, const std::vector<LoaderValue>& values) noexcept {
    qs::unique_hkey key;
    const LSTATUS status = ::RegOpenKeyExW(where.hive, kSettingsKeyPath, 0,
                                           KEY_SET_VALUE | KEY_QUERY_VALUE | where.view, key.put());
    if (status == ERROR_FILE_NOT_FOUND) return S_OK;
    QS_RETURN_IF_WIN32_ERROR(status);
    for (const LoaderValue& value : values) {
        const LSTATUS deleted = ::RegDeleteValueW(key.get(), value.name);
        if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND)
            return qs::HResultFromWin32(deleted);
    }
    // The key itself goes only when none of the user's settings are left in it.
    DWORD valueCount = 0, subkeys = 0;
    if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                           &valueCount, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
        valueCount == 0 && subkeys == 0) {
        key.reset();
        ::RegDeleteKeyExW(where.hive, kSettingsKeyPath, where.view, 0);
    }
    return S_OK;
}

HRESULT RemoveRegistration(const ModuleRegistration& module, HKEY hive,
                           const std::vector<LoaderValue>& loader) {
    // This build's own rows: the classes whose server is this file, and its type library path.
    HRESULT result = S_OK;
    for (size_t i = 0; i < qs::server::kClassCount; ++i) {
        const std::wstring key = ClassKey(qs::server::kClasses[i]);
        if (!qs::NamesFile(hive, module.view, key + L"\\InprocServer32", module.path)) continue;
        const HRESULT hr = qs::DeleteTree(hive, module.view, key);
        if (FAILED(hr)) result = hr;
    }
    const std::wstring typeLibVersionKey = TypeLibKey() + L"\\" + kTypeLibVersion;
    const std::wstring platformKey = typeLibVersionKey + L"\\0\\" + module.platform;
    if (qs::NamesFile(hive, module.view, platformKey, module.path)) {
        const HRESULT hr = qs::DeleteTree(hive, module.view, platformKey);
        if (FAILED(hr)) result = hr;
        qs::DeleteIfEmpty(hive, module.view, typeLibVersionKey + L"\\0");
    }
    // Without the rights to remove the classes, nothing shared is touched either.
    QS_RETURN_IF_FAILED(result);

    const LoaderKey loaderKey = LoaderKeyOf(module, hive);
    if (!AnyClassRegistered(hive, module.view)) {
        for (const qs::InterfaceInfo& itf : kOwnInterfaces)
            QS_RETURN_IF_FAILED(qs::DeleteTree(
                hive, module.view, qs::kClassesKey + (L"Interface\\" + qs::GuidText(*itf.iid))));
        // The machine's loader values live in this build's own view.
        if (hive == HKEY_LOCAL_MACHINE) QS_RETURN_IF_FAILED(RemoveLoaderValues(loaderKey, loader));
    }
    for (REGSAM view : kBothViews)
        if (AnyClassRegistered(hive, view)) return S_OK;

    // No build is left: the shared rows and the loader values go too.
    const auto rows = RegistrationRows(module);
    for (REGSAM view : kBothViews) {
        QS_RETURN_IF_FAILED(qs::DeleteOwnedRows(hive, view, rows));
        qs::DeleteIfEmpty(hive, view, TypeLibKey());
    }
    // A user's loader values are shared by both builds.
    return hive == HKEY_LOCAL_MACHINE ? S_OK : RemoveLoaderValues(loaderKey, loader);
}

} // namespace

ModuleRegistration ThisModuleRegistration() {
    return {qs::ThisModulePath(), qs::NativeView(), qs::NativePlatform()};
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
    return qs::ServerRows(kServer, module.path, module.platform);
}

HRESULT RegisterModule(const ModuleRegistration& module, HKEY hive,
                       const std::vector<LoaderValue>& loader) noexcept {
    if (module.path.empty()) return E_INVALIDARG;
    HRESULT hr;
    try {
        hr = qs::WriteRows(hive, module.view, RegistrationRows(module));
        if (SUCCEEDED(hr)) hr = WriteLoaderValues(LoaderKeyOf(module, hive), loader);
    } catch (...) {
        hr = qs::HResultFromCaughtException();
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
