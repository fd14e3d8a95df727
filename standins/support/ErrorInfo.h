// Described COM errors: the failing method sets IErrorInfo, so that a caller
// through IDispatch::Invoke gets DISP_E_EXCEPTION with the description.
#pragma once

#include "system_message.h"

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace qs::standin {

// Sets the thread's error information and returns `failure` unchanged.
HRESULT SetError(HRESULT failure, REFIID iid, const wchar_t* source,
                 const std::wstring& description) noexcept;

// Reads a property, or calls a method (its arguments in DISPPARAMS order,
// last first; without `result` its result is dropped), by name. A failure of
// the callee becomes this caller's own error information, under `callerIid`
// and `callerSource`, and its code is the callee's.
HRESULT GetByName(IDispatch* object, const wchar_t* name, VARIANT* value, REFIID callerIid,
                  const wchar_t* callerSource) noexcept;
HRESULT CallByName(IDispatch* object, const wchar_t* name, REFIID callerIid,
                   const wchar_t* callerSource, VARIANT* args = nullptr, UINT argCount = 0,
                   VARIANT* result = nullptr) noexcept;

} // namespace qs::standin
