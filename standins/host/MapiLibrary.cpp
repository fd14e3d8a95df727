#include "MapiLibrary.h"

#include "ErrorInfo.h"
#include "MapiChannel.h"
#include "result.h"

#include <objbase.h>

namespace qs::standin {

namespace {

constexpr const wchar_t* kModuleName = L"qsMapiLib.dll";

template <typename Function> Function FindExport(const char* name) noexcept {
    const HMODULE module = ::GetModuleHandleW(kModuleName);
    return module
               ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)))
               : nullptr;
}

} // namespace

HRESULT MapiLibrary::RaiseNewMail(IDispatch* hostMailItem, FireStats* stats) noexcept {
    const auto raise = FindExport<RaiseNewMailFunction>("QsMapiRaiseNewMail");
    if (!raise) return S_FALSE;
    return raise(hostMailItem, &stats->sinksCalled, &stats->microsecondsInSinks);
}

HRESULT MapiLibrary::FailNext(const std::wstring& operation, std::wstring* problem) {
    if (!::GetModuleHandleW(kModuleName)) QS_RETURN_IF_FAILED(Load(problem));
    const auto failNext = FindExport<FailNextFunction>("QsMapiFailNext");
    if (!failNext) {
        *problem = L"qsMapiLib.dll has no QsMapiFailNext";
        return E_NOINTERFACE;
    }
    const HRESULT hr = failNext(operation.c_str());
    if (FAILED(hr)) *problem = L"qsMapiLib.dll refused fail-next-" + operation;
    return hr;
}

HRESULT MapiLibrary::CallInNextSaveAs(HostCallback callback, void* context, std::wstring* problem) {
    if (!::GetModuleHandleW(kModuleName)) QS_RETURN_IF_FAILED(Load(problem));
    const auto callInNext = FindExport<CallInNextSaveAsFunction>("QsMapiCallInNextSaveAs");
    if (!callInNext) {
        *problem = L"qsMapiLib.dll has no QsMapiCallInNextSaveAs";
        return E_NOINTERFACE;
    }
    return callInNext(callback, context);
}

long MapiLibrary::LiveObjects() noexcept {
    const auto count = FindExport<LiveObjectsFunction>("QsMapiLiveObjects");
    return count ? count() : 0;
}

HRESULT MapiLibrary::Load(std::wstring* problem) {
    // Where COM would load it from: the server registered for its SafeMailItem class.
    CLSID clsid;
    HRESULT hr = ::CLSIDFromProgID(L"qsMapiLib.SafeMailItem", &clsid);
    if (FAILED(hr)) {
        *problem = L"qsMapiLib is not registered: " + SystemMessage(hr);
        return hr;
    }
    wchar_t clsidText[40] = {};
    ::StringFromGUID2(clsid, clsidText, 40);
    const std::wstring key = std::wstring(L"CLSID\\") + clsidText + L"\\InprocServer32";
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof path;
    const LSTATUS status = ::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ,
                                          nullptr, path, &size);
    if (status != ERROR_SUCCESS) {
        *problem =
            L"qsMapiLib has no registered server: " + SystemMessage(HRESULT_FROM_WIN32(status));
        return HRESULT_FROM_WIN32(status);
    }
    loadedByHost_.reset(::LoadLibraryW(path));
    if (!loadedByHost_) {
        hr = qs::HResultFromLastError();
        *problem = std::wstring(L"cannot load ") + path + L": " + SystemMessage(hr);
        return hr;
    }
    return S_OK;
}

} // namespace qs::standin
