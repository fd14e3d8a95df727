#include "Registration.h"

#include "ClassFactory.h"
#include "Redemption.h"
#include "module.h"
#include "result.h"
#include "unique.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <string>
#include <vector>

namespace qs::standin {

namespace {

struct Row {
    std::wstring key; // below the classes root
    const wchar_t* valueName;
    std::wstring data;
};

std::wstring guid_text(REFGUID guid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return text;
}

std::vector<Row> rows(const std::wstring& modulePath) {
    std::vector<Row> table;
    size_t count = 0;
    const CreatableClass* classes = creatable_classes(&count);
    for (size_t i = 0; i < count; ++i) {
        const CreatableClass& c = classes[i];
        const std::wstring clsidKey = L"CLSID\\" + guid_text(*c.clsid);
        table.push_back({clsidKey, nullptr, c.name});
        table.push_back({clsidKey + L"\\InprocServer32", nullptr, modulePath});
        table.push_back({clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"});
        table.push_back({clsidKey + L"\\ProgID", nullptr, c.progId});
        table.push_back({clsidKey + L"\\TypeLib", nullptr, guid_text(LIBID_Redemption)});
        table.push_back({c.progId, nullptr, c.name});
        table.push_back({std::wstring(c.progId) + L"\\CLSID", nullptr, guid_text(*c.clsid)});
    }
    return table;
}

// The type library's own keys, as RegisterTypeLib writes them machine-wide:
// written as rows for the current user, where Wine's RegisterTypeLibForUser
// would register machine-wide.
struct Interface {
    const IID* iid;
    const wchar_t* name;
    const wchar_t* proxyStub; // the automation marshaler for dual and dispatch interfaces
};
constexpr const wchar_t* oleautomation_marshaler = L"{00020424-0000-0000-C000-000000000046}";
constexpr const wchar_t* dispatch_marshaler = L"{00020420-0000-0000-C000-000000000046}";
const Interface interfaces[] = {
    {&IID_IMAPIUtils, L"IMAPIUtils", oleautomation_marshaler},
    {&DIID_IMAPIUtilsEvents, L"IMAPIUtilsEvents", dispatch_marshaler},
    {&IID_ISafeMailItem, L"ISafeMailItem", oleautomation_marshaler},
    {&IID__MessageItem, L"_MessageItem", oleautomation_marshaler},
};
constexpr const wchar_t* type_library_version = L"6.0";

std::vector<Row> type_library_rows(const std::wstring& modulePath) {
    const std::wstring libid = guid_text(LIBID_Redemption);
    const std::wstring version = std::wstring(L"TypeLib\\") + libid + L"\\" + type_library_version;
    const std::wstring folder = modulePath.substr(0, modulePath.find_last_of(L'\\'));
    std::vector<Row> table = {
        {version, nullptr, L"MAPI library stand-in (qsMapiLib)"},
        {version + (sizeof(void*) == 8 ? L"\\0\\win64" : L"\\0\\win32"), nullptr, modulePath},
        {version + L"\\FLAGS", nullptr, L"0"},
        {version + L"\\HELPDIR", nullptr, folder},
    };
    for (const Interface& i : interfaces) {
        const std::wstring key = L"Interface\\" + guid_text(*i.iid);
        table.push_back({key, nullptr, i.name});
        table.push_back({key + L"\\ProxyStubClsid32", nullptr, i.proxyStub});
        table.push_back({key + L"\\TypeLib", nullptr, libid});
        table.push_back({key + L"\\TypeLib", L"Version", type_library_version});
    }
    return table;
}

// The keys that unregistration removes with everything below them.
std::vector<std::wstring> top_keys(RegistrationScope scope) {
    std::vector<std::wstring> keys;
    size_t count = 0;
    const CreatableClass* classes = creatable_classes(&count);
    for (size_t i = 0; i < count; ++i) {
        keys.push_back(L"CLSID\\" + guid_text(*classes[i].clsid));
        keys.push_back(classes[i].progId);
    }
    if (scope == RegistrationScope::User) {
        keys.push_back(L"TypeLib\\" + guid_text(LIBID_Redemption));
        for (const Interface& i : interfaces)
            keys.push_back(L"Interface\\" + guid_text(*i.iid));
    }
    return keys;
}

HRESULT open_classes_root(RegistrationScope scope, unique_hkey* root) {
    const HKEY hive = scope == RegistrationScope::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    QS_RETURN_IF_WIN32_ERROR(::RegCreateKeyExW(hive, L"Software\\Classes", 0, nullptr, 0,
                                               KEY_ALL_ACCESS, nullptr, root->put(), nullptr));
    return S_OK;
}

HRESULT write_row(HKEY root, const Row& row) {
    unique_hkey key;
    QS_RETURN_IF_WIN32_ERROR(::RegCreateKeyExW(root, row.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                               nullptr, key.put(), nullptr));
    const DWORD bytes = static_cast<DWORD>((row.data.size() + 1) * sizeof(wchar_t));
    QS_RETURN_IF_WIN32_ERROR(::RegSetValueExW(key.get(), row.valueName, 0, REG_SZ,
                                              reinterpret_cast<const BYTE*>(row.data.c_str()),
                                              bytes));
    return S_OK;
}

HRESULT load_own_type_library(const std::wstring& path, ITypeLib** library) {
    return ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library);
}

} // namespace

HRESULT register_server(RegistrationScope scope) noexcept try {
    const std::wstring path = qs::this_module_path();
    if (path.empty()) return qs::hresult_from_last_error();
    unique_hkey root;
    QS_RETURN_IF_FAILED(open_classes_root(scope, &root));
    for (const Row& row : rows(path))
        QS_RETURN_IF_FAILED(write_row(root.get(), row));
    if (scope == RegistrationScope::User) {
        for (const Row& row : type_library_rows(path))
            QS_RETURN_IF_FAILED(write_row(root.get(), row));
        return S_OK;
    }
    Microsoft::WRL::ComPtr<ITypeLib> library;
    QS_RETURN_IF_FAILED(load_own_type_library(path, &library));
    std::wstring mutablePath = path; // RegisterTypeLib takes a non-const path
    return ::RegisterTypeLib(library.Get(), mutablePath.data(), nullptr);
}
QS_CATCH_RETURN()

HRESULT unregister_server(RegistrationScope scope) noexcept try {
    unique_hkey root;
    QS_RETURN_IF_FAILED(open_classes_root(scope, &root));
    const auto keys = top_keys(scope);
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        const LSTATUS status = ::RegDeleteTreeW(root.get(), key->c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            return qs::hresult_from_win32(status);
    }
    if (scope == RegistrationScope::User) return S_OK;

    Microsoft::WRL::ComPtr<ITypeLib> library;
    QS_RETURN_IF_FAILED(load_own_type_library(qs::this_module_path(), &library));
    TLIBATTR* attributes = nullptr;
    QS_RETURN_IF_FAILED(library->GetLibAttr(&attributes));
    const TLIBATTR a = *attributes;
    library->ReleaseTLibAttr(attributes);
    const HRESULT hr =
        ::UnRegisterTypeLib(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind);
    // A type library that is not registered counts as removed.
    return hr == TYPE_E_REGISTRYACCESS ? S_OK : hr;
}
QS_CATCH_RETURN()

} // namespace qs::standin
