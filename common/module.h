// Per-module bookkeeping for an in-process COM server: its own HMODULE, the
// count of live objects and server locks (for DllCanUnloadNow), and its
// embedded type library, loaded once.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <string>
#include <utility>

namespace qs {

inline HMODULE ThisModule() noexcept {
    static HMODULE module = [] {
        HMODULE found = nullptr;
        ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                 GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                             reinterpret_cast<LPCWSTR>(&ThisModule), &found);
        return found;
    }();
    return module;
}

// Full path of this module's file; empty when it cannot be had.
inline std::wstring ThisModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(ThisModule(), path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// The module's live COM objects and its server locks: it may unload when both are 0.
inline LONG& ModuleObjectCount() noexcept {
    static LONG count = 0;
    return count;
}
inline LONG& ModuleLockCount() noexcept {
    static LONG count = 0;
    return count;
}
inline bool ModuleCanUnload() noexcept {
    return ModuleObjectCount() == 0 && ModuleLockCount() == 0;
}

// The type library embedded in this module as resource TYPELIB 1, loaded on
// first use and kept until the module may unload. Objects of an
// apartment-threaded server may live in several apartments of one process, so
// the cache is guarded. It is a plain pointer on purpose: a static owner would
// release it at process detach, under the loader lock, into an oleaut32 that
// may be gone already; only DllCanUnloadNow releases it.
struct module_type_library_cache {
    SRWLOCK lock = SRWLOCK_INIT;
    ITypeLib* library = nullptr;
};

inline module_type_library_cache& ModuleTypeLibrarySlot() noexcept {
    static module_type_library_cache cache;
    return cache;
}

[[nodiscard]] inline HRESULT ModuleTypeLibrary(ITypeLib** library) noexcept {
    *library = nullptr;
    auto& cache = ModuleTypeLibrarySlot();
    ::AcquireSRWLockExclusive(&cache.lock);
    HRESULT hr = S_OK;
    if (!cache.library) {
        wchar_t path[MAX_PATH * 4];
        const DWORD length = ::GetModuleFileNameW(ThisModule(), path, MAX_PATH * 4);
        hr = length == 0 || length >= MAX_PATH * 4
                 ? E_UNEXPECTED
                 : ::LoadTypeLibEx(path, REGKIND_NONE, &cache.library);
    }
    if (SUCCEEDED(hr)) {
        *library = cache.library;
        (*library)->AddRef();
    }
    ::ReleaseSRWLockExclusive(&cache.lock);
    return hr;
}

[[nodiscard]] inline HRESULT ModuleTypeInfo(REFGUID guid, ITypeInfo** info) noexcept {
    *info = nullptr;
    Microsoft::WRL::ComPtr<ITypeLib> library;
    const HRESULT hr = ModuleTypeLibrary(&library);
    if (FAILED(hr)) return hr;
    return library->GetTypeInfoOfGuid(guid, info);
}

inline void ModuleReleaseTypeLibrary() noexcept {
    auto& cache = ModuleTypeLibrarySlot();
    ::AcquireSRWLockExclusive(&cache.lock);
    ITypeLib* library = std::exchange(cache.library, nullptr);
    ::ReleaseSRWLockExclusive(&cache.lock);
    if (library) library->Release();
}

} // namespace qs
