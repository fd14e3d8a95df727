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

// Reads a property, or calls a method without arguments ignoring its result,
// by name; a failure of the callee becomes this caller's own error
// information, under `callerIid` and `callerSource`.
HRESULT GetByName(IDispatch* object, const wchar_t* name, VARIANT* value, REFIID callerIid,
                  const wchar_t* callerSource) noexcept;
HRESULT CallByName(IDispatch* object, const wchar_t* name, REFIID callerIid,
                   const wchar_t* callerSource) noexcept;

} // namespace qs::standin
