#include "ErrorInfo.h"

#include "system_message.h"

#include "unique.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <cwchar>

namespace qs::standin {

using Microsoft::WRL::ComPtr;

HRESULT set_error(HRESULT failure, REFIID iid, const wchar_t* source,
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

std::wstring system_message(HRESULT failure) {
    return qs::system_message(failure);
}

HRESULT forward_exception(HRESULT invokeResult, EXCEPINFO& exception, REFIID iid,
                          const wchar_t* source) noexcept {
    if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
    const unique_bstr description(exception.bstrDescription);
    const unique_bstr ignoredSource(exception.bstrSource);
    const unique_bstr ignoredHelpFile(exception.bstrHelpFile);
    const HRESULT reported = exception.scode;
    exception = {};
    if (invokeResult != DISP_E_EXCEPTION) return invokeResult;
    const HRESULT failure = FAILED(reported) ? reported : E_FAIL;
    try {
        return set_error(failure, iid, source,
                         description && description.get()[0] ? std::wstring(description.get())
                                                             : system_message(failure));
    } catch (...) {
        return failure;
    }
}

} // namespace qs::standin
