// Described COM errors: the failing method sets IErrorInfo, so that a caller
// through IDispatch::Invoke gets DISP_E_EXCEPTION with the description.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace qs::standin {

// Sets the thread's error information and returns `failure` unchanged.
HRESULT set_error(HRESULT failure, REFIID iid, const wchar_t* source,
                  const std::wstring& description) noexcept;

// The platform's text for a failure code without its trailing line end, or
// "Error 0xHHHHHHHH" when the platform has none.
std::wstring system_message(HRESULT failure);

// Hands a failure reported through EXCEPINFO on to this method's caller as
// error information of its own; returns the failure code.
HRESULT forward_exception(HRESULT invokeResult, EXCEPINFO& exception, REFIID iid,
                          const wchar_t* source) noexcept;

} // namespace qs::standin
