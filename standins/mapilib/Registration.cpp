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

// Per-user type-library registration (oleaut32, Windows Vista and later); the
// MinGW-w64 headers lack the declarations, so they are repeated here as published.
WINOLEAUTAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* fullPath, OLECHAR* helpDir);
WINOLEAUTAPI UnRegisterTypeLibForUser(REFGUID libid, WORD majorVersion, WORD minorVersion,
                                      LCID lcid, SYSKIND syskind);

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

// The keys that unregistration removes with everything below them.
std::vector<std::wstring> top_keys() {
    std::vector<std::wstring> keys;
    size_t count = 0;
    const CreatableClass* classes = creatable_classes(&count);
    for (size_t i = 0; i < count; ++i) {
        keys.push_back(L"CLSID\\" + guid_text(*classes[i].clsid));
        keys.push_back(classes[i].progId);
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

    Microsoft::WRL::ComPtr<ITypeLib> library;
    QS_RETURN_IF_FAILED(load_own_type_library(path, &library));
    std::wstring mutablePath = path; // the registration functions take a non-const path
    return scope == RegistrationScope::User
               ? ::RegisterTypeLibForUser(library.Get(), mutablePath.data(), nullptr)
               : ::RegisterTypeLib(library.Get(), mutablePath.data(), nullptr);
}
QS_CATCH_RETURN()

HRESULT unregister_server(RegistrationScope scope) noexcept try {
    unique_hkey root;
    QS_RETURN_IF_FAILED(open_classes_root(scope, &root));
    const auto keys = top_keys();
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        const LSTATUS status = ::RegDeleteTreeW(root.get(), key->c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            return qs::hresult_from_win32(status);
    }

    Microsoft::WRL::ComPtr<ITypeLib> library;
    QS_RETURN_IF_FAILED(load_own_type_library(qs::this_module_path(), &library));
    TLIBATTR* attributes = nullptr;
    QS_RETURN_IF_FAILED(library->GetLibAttr(&attributes));
    const TLIBATTR a = *attributes;
    library->ReleaseTLibAttr(attributes);
    const HRESULT hr =
        scope == RegistrationScope::User
            ? ::UnRegisterTypeLibForUser(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind)
            : ::UnRegisterTypeLib(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind);
    // A type library that is not registered counts as removed.
    return hr == TYPE_E_REGISTRYACCESS ? S_OK : hr;
}
QS_CATCH_RETURN()

} // namespace qs::standin
