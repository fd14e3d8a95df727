// RAII owners for the handle kinds the project uses. Like WIL's, they take the
// standard library's names (unique_..., get, put, reset, release), where the
// rest of the code names functions in PascalCase. put() frees the old value
// before handing out its address, so out-parameters never leak. A closer may
// carry what the release needs besides the value (the window of a window's
// device context); it is kept with the value and moves with it.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <objbase.h>

#include <utility>

namespace qs {

// What an owner holds when it holds nothing: a constant, or INVALID_HANDLE_VALUE
// for file handles (which no template argument can name).
template <typename T, T Empty = T()> struct EmptyIs {
    static T Value() noexcept { return Empty; }
};
struct EmptyIsInvalidHandle {
    static HANDLE Value() noexcept { return INVALID_HANDLE_VALUE; }
};

template <typename T, typename Close, typename Empty = EmptyIs<T>> class unique_any {
public:
    unique_any() noexcept = default;
    explicit unique_any(T value, Close close = Close()) noexcept : value_(value), close_(close) {}
    unique_any(unique_any&& other) noexcept : value_(other.release()), close_(other.close_) {}
    unique_any& operator=(unique_any&& other) noexcept {
        if (this != &other) {
            reset();
            close_ = other.close_;
            value_ = other.release();
        }
        return *this;
    }
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    ~unique_any() { reset(); }

    T get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Empty::Value(); }
    T* put() noexcept {
        reset();
        return &value_;
    }
    // For an in-out argument: the callee may replace the value, which this then owns.
    T* addressof() noexcept { return &value_; }
    T release() noexcept { return std::exchange(value_, Empty::Value()); }
    void reset(T value = Empty::Value()) noexcept {
        T old = std::exchange(value_, value);
        if (old != Empty::Value()) close_(old);
    }

private:
    T value_ = Empty::Value();
    Close close_{};
};

struct CloseHKey {
    void operator()(HKEY key) const noexcept { ::RegCloseKey(key); }
};
struct CloseHandle {
    void operator()(HANDLE handle) const noexcept { ::CloseHandle(handle); }
};
struct FreeBstr {
    void operator()(BSTR text) const noexcept { ::SysFreeString(text); }
};
struct FreeCoTaskMem {
    void operator()(void* block) const noexcept { ::CoTaskMemFree(block); }
};
struct FreeLocalMemory {
    void operator()(void* block) const noexcept { ::LocalFree(block); }
};
struct FreeLibraryModule {
    void operator()(HMODULE module) const noexcept { ::FreeLibrary(module); }
};
struct DestroySafeArray {
    void operator()(SAFEARRAY* array) const noexcept { ::SafeArrayDestroy(array); }
};
// GetDC's counterpart needs the window as well as the device context.
struct ReleaseWindowDc {
    HWND window = nullptr;
    void operator()(HDC dc) const noexcept { ::ReleaseDC(window, dc); }
};
// Puts a device context back into the state SaveDC recorded under `saved`.
struct RestoreDcState {
    HDC dc = nullptr;
    void operator()(int saved) const noexcept { ::RestoreDC(dc, saved); }
};
struct UninitializeCom {
    void operator()(bool) const noexcept { ::CoUninitialize(); }
};

using unique_hkey = unique_any<HKEY, CloseHKey>;
using unique_handle = unique_any<HANDLE, CloseHandle>;
using unique_bstr = unique_any<BSTR, FreeBstr>;
using unique_cotaskmem = unique_any<void*, FreeCoTaskMem>;
// Memory the system allocated with LocalAlloc for the caller (FormatMessage,
// CommandLineToArgvW).
template <typename T> using unique_hlocal_ptr = unique_any<T*, FreeLocalMemory>;
using unique_hmodule = unique_any<HMODULE, FreeLibraryModule>;
using unique_safearray = unique_any<SAFEARRAY*, DestroySafeArray>;
using unique_window_dc = unique_any<HDC, ReleaseWindowDc>;
// SaveDC answers 0 when it fails, and then there is nothing to restore.
using unique_saved_dc = unique_any<int, RestoreDcState>;
// Holds one successful CoInitializeEx of the current thread (S_FALSE included,
// which must be balanced as well); a failed one leaves it empty.
using unique_com_apartment = unique_any<bool, UninitializeCom>;

inline unique_window_dc GetWindowDc(HWND window) noexcept {
    return unique_window_dc(::GetDC(window), ReleaseWindowDc{window});
}

inline unique_saved_dc SaveDc(HDC dc) noexcept {
    return unique_saved_dc(::SaveDC(dc), RestoreDcState{dc});
}

// Enters an apartment on the current thread until the result goes; the result
// is empty when COM could not be initialised (for example in another model).
inline unique_com_apartment EnterApartment(DWORD model) noexcept {
    return unique_com_apartment(SUCCEEDED(::CoInitializeEx(nullptr, model)));
}

// A file handle, whose empty value is INVALID_HANDLE_VALUE rather than null.
using unique_hfile = unique_any<HANDLE, CloseHandle, EmptyIsInvalidHandle>;

// A VARIANT that is always initialised and always cleared.
class unique_variant : public VARIANT {
public:
    unique_variant() noexcept { ::VariantInit(this); }
    unique_variant(const unique_variant&) = delete;
    unique_variant& operator=(const unique_variant&) = delete;
    ~unique_variant() { ::VariantClear(this); }
    VARIANT* put() noexcept {
        reset();
        return this;
    }
    void reset() noexcept { ::VariantClear(this); }
    // Hands the content over to the caller, leaving this empty.
    VARIANT release() noexcept {
        VARIANT out = *this;
        ::VariantInit(this);
        return out;
    }
};

// An EXCEPINFO for one IDispatch::Invoke, whose texts are freed when it goes.
class unique_excepinfo : public EXCEPINFO {
public:
    unique_excepinfo() noexcept : EXCEPINFO{} {}
    unique_excepinfo(const unique_excepinfo&) = delete;
    unique_excepinfo& operator=(const unique_excepinfo&) = delete;
    ~unique_excepinfo() {
        ::SysFreeString(bstrSource);
        ::SysFreeString(bstrDescription);
        ::SysFreeString(bstrHelpFile);
    }
};

// Makes a BSTR from a UTF-16 text of any content (NULs included).
inline unique_bstr MakeBstr(const wchar_t* text, size_t length) noexcept {
    return unique_bstr(::SysAllocStringLen(text, static_cast<UINT>(length)));
}

} // namespace qs
