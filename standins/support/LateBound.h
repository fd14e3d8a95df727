// Calls by name through IDispatch, as a late-bound client does. A failure the
// callee described comes back as this thread's error information.
#pragma once

#include <oaidl.h>

namespace qs::standin {

// Reads a property. DISP_E_UNKNOWNNAME when the object has no such member.
HRESULT get_by_name(IDispatch* object, const wchar_t* name, VARIANT* value, REFIID callerIid,
                    const wchar_t* callerSource) noexcept;

// Calls a method without arguments, ignoring its result.
HRESULT call_by_name(IDispatch* object, const wchar_t* name, REFIID callerIid,
                     const wchar_t* callerSource) noexcept;

} // namespace qs::standin
