// Per-module bookkeeping for an in-process COM server: its own HMODULE, the
// count of live objects and server locks (for DllCanUnloadNow), and its
// embedded type library, loaded once.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <string>

namespace qs {

inline HMODULE this_module() noexcept {
    static HMODULE module = [] {
        HMODULE found = nullptr;
        ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                 GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                             reinterpret_cast<LPCWSTR>(&this_module), &found);
        return found;
    }();
    return module;
}

// Full path of this module's file; empty when it cannot be had.
inline std::wstring this_module_path() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(this_module(), path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

inline LONG& module_count() noexcept {
    static LONG count = 0;
    return count;
}
inline void module_add_ref() noexcept {
    ::InterlockedIncrement(&module_count());
}
inline void module_release() noexcept {
    ::InterlockedDecrement(&module_count());
}

// The type library embedded in this module as resource TYPELIB 1. Loaded on
// first use and kept until the module may unload.
inline Microsoft::WRL::ComPtr<ITypeLib>& module_type_library_slot() noexcept {
    static Microsoft::WRL::ComPtr<ITypeLib> library;
    return library;
}

[[nodiscard]] inline HRESULT module_type_library(ITypeLib** library) noexcept {
    *library = nullptr;
    auto& slot = module_type_library_slot();
    if (!slot) {
        const std::wstring path = this_module_path();
        if (path.empty()) return E_UNEXPECTED;
        const HRESULT hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, slot.GetAddressOf());
        if (FAILED(hr)) return hr;
    }
    return slot.CopyTo(library);
}

[[nodiscard]] inline HRESULT module_type_info(REFGUID guid, ITypeInfo** info) noexcept {
    *info = nullptr;
    Microsoft::WRL::ComPtr<ITypeLib> library;
    const HRESULT hr = module_type_library(&library);
    if (FAILED(hr)) return hr;
    return library->GetTypeInfoOfGuid(guid, info);
}

inline void module_release_type_library() noexcept {
    module_type_library_slot().Reset();
}

} // namespace qs
