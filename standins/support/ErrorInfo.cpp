#include "ErrorInfo.h"

#include "LateBound.h"
#include "unique.h"

#include <oleauto.h>
#include <wrl/client.h>

namespace qs::standin {

using Microsoft::WRL::ComPtr;

namespace {

HRESULT Forward(HRESULT hr, const CallFailure& failure, REFIID callerIid,
                const wchar_t* callerSource) noexcept {
    if (SUCCEEDED(hr)) return hr;
    return SetError(failure.code, callerIid, callerSource, failure.description);
}

} // namespace

HRESULT SetError(HRESULT failure, REFIID iid, const wchar_t* source,
                 const std::wstring& description) noexcept {
    ComPtr<ICreateErrorInfo> create;
    if (FAILED(::CreateErrorInfo(&create))) return failure;
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(source));
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.As(&info))) ::SetErrorInfo(0, info.Get());
    return failure;
}

HRESULT GetByName(IDispatch* object, const wchar_t* name, VARIANT* value, REFIID callerIid,
                  const wchar_t* callerSource) noexcept {
    ::VariantClear(value);
    CallFailure failure;
    const HRESULT hr = InvokeByName(object, name, DISPATCH_PROPERTYGET, nullptr, 0, value, failure);
    return Forward(hr, failure, callerIid, callerSource);
}

HRESULT CallByName(IDispatch* object, const wchar_t* name, REFIID callerIid,
                   const wchar_t* callerSource, VARIANT* args, UINT argCount,
                   VARIANT* result) noexcept {
    unique_variant ignored;
    if (result) ::VariantClear(result);
    CallFailure failure;
    const HRESULT hr = InvokeByName(object, name, DISPATCH_METHOD, args, argCount,
                                    result ? result : ignored.put(), failure);
    return Forward(hr, failure, callerIid, callerSource);
}

} // namespace qs::standin
