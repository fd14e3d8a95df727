#include "LateBound.h"

#include "result.h"
#include "system_message.h"
#include "unique.h"

#include <wrl/client.h>

#include <cwchar>

namespace {

std::wstring FromBstr(BSTR text) {
    return std::wstring(text ? text : L"", ::SysStringLen(text));
}

// Fills `failure` from a dispatch exception, the thread's error information,
// or the platform's message table, in that order.
void Describe(HRESULT code, EXCEPINFO* exception, CallFailure& failure) noexcept {
    try {
        failure.code = code;
        failure.description.clear();
        failure.raised = code == DISP_E_EXCEPTION;
        if (code == DISP_E_EXCEPTION && exception) {
            if (exception->pfnDeferredFillIn) exception->pfnDeferredFillIn(exception);
            failure.description = FromBstr(exception->bstrDescription);
            if (FAILED(exception->scode)) failure.code = exception->scode;
        }
        if (failure.description.empty()) {
            Microsoft::WRL::ComPtr<IErrorInfo> info;
            if (::GetErrorInfo(0, &info) == S_OK && info) {
                qs::unique_bstr text;
                if (SUCCEEDED(info->GetDescription(text.put())))
                    failure.description = FromBstr(text.get());
            }
        }
        if (failure.description.empty()) failure.description = qs::SystemMessage(failure.code);
    } catch (...) {
        failure.description.clear();
    }
}

} // namespace

HRESULT RecordFailure(HRESULT code, CallFailure& failure) noexcept {
    if (FAILED(code)) Describe(code, nullptr, failure);
    return code;
}

HRESULT InvokeById(IDispatch* object, DISPID id, WORD flags, VARIANT* args, UINT argCount,
                   VARIANT* result, CallFailure& failure) noexcept {
    if (!object) return RecordFailure(E_POINTER, failure);
    DISPID named = DISPID_PROPERTYPUT;
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    DISPPARAMS params = {args, put ? &named : nullptr, argCount, put ? 1u : 0u};
    qs::unique_excepinfo exception;
    UINT argError = 0;
    ::SetErrorInfo(0, nullptr);
    const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                                      &exception, &argError);
    if (FAILED(hr)) Describe(hr, &exception, failure);
    return FAILED(hr) ? failure.code : hr;
}

HRESULT InvokeByName(IDispatch* object, const wchar_t* name, WORD flags, VARIANT* args,
                     UINT argCount, VARIANT* result, CallFailure& failure) noexcept {
    if (!object) return RecordFailure(E_POINTER, failure);
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    QS_RETURN_IF_FAILED(RecordFailure(
        object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), failure));
    return InvokeById(object, id, flags, args, argCount, result, failure);
}

HRESULT GetTextProperty(IDispatch* object, const wchar_t* name, std::wstring& text,
                        CallFailure& failure) noexcept try {
    qs::unique_variant value;
    QS_RETURN_IF_FAILED(InvokeByName(object, name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, nullptr,
                                     0, value.put(), failure));
    if (value.vt == VT_NULL || value.vt == VT_EMPTY) {
        text.clear();
        return S_OK;
    }
    qs::unique_variant converted;
    QS_RETURN_IF_FAILED(
        RecordFailure(::VariantChangeType(&converted, &value, 0, VT_BSTR), failure));
    text = FromBstr(converted.bstrVal);
    return S_OK;
} catch (...) {
    return RecordFailure(E_OUTOFMEMORY, failure);
}

std::wstring ItemTypeName(IDispatch* item) noexcept try {
    if (!item) return {};
    Microsoft::WRL::ComPtr<ITypeInfo> info;
    if (FAILED(item->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)) || !info) return {};
    qs::unique_bstr name;
    if (FAILED(info->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr)))
        return {};
    std::wstring text = FromBstr(name.get());
    if (!text.empty() && text[0] == L'_') text.erase(0, 1);
    return text;
} catch (...) {
    return {};
}
