#include "LateBound.h"

#include "ErrorInfo.h"
#include "unique.h"

namespace qs::standin {

namespace {

HRESULT invoke_by_name(IDispatch* object, const wchar_t* name, WORD flags, VARIANT* result,
                       REFIID callerIid, const wchar_t* callerSource) noexcept {
    if (!object) return E_POINTER;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    const HRESULT found = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(found)) return found;
    DISPPARAMS none = {};
    EXCEPINFO exception = {};
    const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &none, result,
                                      &exception, nullptr);
    return forward_exception(hr, exception, callerIid, callerSource);
}

} // namespace

HRESULT get_by_name(IDispatch* object, const wchar_t* name, VARIANT* value, REFIID callerIid,
                    const wchar_t* callerSource) noexcept {
    ::VariantClear(value);
    return invoke_by_name(object, name, DISPATCH_PROPERTYGET, value, callerIid, callerSource);
}

HRESULT call_by_name(IDispatch* object, const wchar_t* name, REFIID callerIid,
                     const wchar_t* callerSource) noexcept {
    unique_variant ignored;
    return invoke_by_name(object, name, DISPATCH_METHOD, ignored.put(), callerIid, callerSource);
}

} // namespace qs::standin
