// The one late-bound call of the product, the stand-ins and the tests: calls by
// name through IDispatch, as an automation client makes them, keeping the
// failing component's own description of a failure.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

// A failed call: its code and the text that describes it.
struct CallFailure {
    HRESULT code = S_OK;
    std::wstring description;
    bool raised = false; // the callee raised it through IDispatch (DISP_E_EXCEPTION)
};

// Invokes `name` on `object`. `args` are in DISPPARAMS order (last argument
// first). On failure fills `failure` from the component's error information,
// else from the platform's message for the code.
HRESULT InvokeByName(IDispatch* object, const wchar_t* name, WORD flags, VARIANT* args,
                     UINT argCount, VARIANT* result, CallFailure& failure) noexcept;

// Invokes a known DISPID the same way.
HRESULT InvokeById(IDispatch* object, DISPID id, WORD flags, VARIANT* args, UINT argCount,
                   VARIANT* result, CallFailure& failure) noexcept;

// Reads a property as text (an empty or null value gives the empty text).
HRESULT GetTextProperty(IDispatch* object, const wchar_t* name, std::wstring& text,
                        CallFailure& failure) noexcept;

// Records a failure that did not come through IDispatch (creation, ...), taking
// pending error information if there is any; returns `code`, which may be a
// success and then records nothing:
//   QS_RETURN_IF_FAILED(RecordFailure(::CLSIDFromProgID(progId, &clsid), failure));
HRESULT RecordFailure(HRESULT code, CallFailure& failure) noexcept;

// The name of the object's type as its type information gives it, without the
// leading underscore of an interface name; empty when it has none.
std::wstring ItemTypeName(IDispatch* item) noexcept;
