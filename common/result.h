// Error-handling helpers: each macro evaluates its expression once and returns
// the failure to the caller, so straight-line code needs no nested ladders.
#pragma once

#include <windows.h>

#include <new>

namespace qs {

[[nodiscard]] inline HRESULT HResultFromWin32(LSTATUS status) noexcept {
    return HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
}

[[nodiscard]] inline HRESULT HResultFromLastError() noexcept {
    const DWORD error = ::GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// The HRESULT for an exception caught at a COM boundary.
[[nodiscard]] inline HRESULT HResultFromCaughtException() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

} // namespace qs

#define QS_RETURN_IF_FAILED(expr)                                                                  \
    do {                                                                                           \
        const HRESULT qs_hr_ = (expr);                                                             \
        if (FAILED(qs_hr_)) return qs_hr_;                                                         \
    } while (0)

#define QS_RETURN_IF_WIN32_ERROR(expr)                                                             \
    do {                                                                                           \
        const LSTATUS qs_status_ = (expr);                                                         \
        if (qs_status_ != ERROR_SUCCESS) return ::qs::HResultFromWin32(qs_status_);                \
    } while (0)

#define QS_RETURN_IF_NULL_ALLOC(ptr)                                                               \
    do {                                                                                           \
        if ((ptr) == nullptr) return E_OUTOFMEMORY;                                                \
    } while (0)

// Ends every COM method body: no C++ exception crosses a COM boundary.
#define QS_CATCH_RETURN()                                                                          \
    catch (...) {                                                                                  \
        return ::qs::HResultFromCaughtException();                                                 \
    }
