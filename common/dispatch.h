// IDispatch for dual interfaces, driven by the type library: names and
// invocations go through ITypeInfo, never through a hand-written DISPID switch.
#pragma once

#include "module.h"

#include <oaidl.h>
#include <wrl/client.h>

namespace qs {

class TypeInfoDispatch {
public:
    // iid names the dual interface whose vtable `instance` points to.
    TypeInfoDispatch(REFIID iid) noexcept : iid_(iid) {}

    HRESULT GetTypeInfoCount(UINT* count) noexcept {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        HRESULT hr = Load();
        if (FAILED(hr)) return hr;
        return info_.CopyTo(info);
    }
    HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) noexcept {
        HRESULT hr = Load();
        if (FAILED(hr)) return hr;
        return ::DispGetIDsOfNames(info_.Get(), names, count, ids);
    }
    HRESULT Invoke(void* instance, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argError) noexcept {
        HRESULT hr = Load();
        if (FAILED(hr)) return hr;
        return info_->Invoke(instance, id, flags, params, result, exception, argError);
    }

private:
    HRESULT Load() noexcept {
        if (info_) return S_OK;
        return ModuleTypeInfo(iid_, &info_);
    }

    IID iid_;
    Microsoft::WRL::ComPtr<ITypeInfo> info_;
};

} // namespace qs

// Declares the four IDispatch methods of a dual-interface class as forwarders
// to a TypeInfoDispatch member named dispatch_, with `this` seen as Interface.
#define QS_IMPLEMENT_DISPATCH(Interface)                                                           \
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {                             \
        return dispatch_.GetTypeInfoCount(count);                                                  \
    }                                                                                              \
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {      \
        return dispatch_.GetTypeInfo(index, lcid, info);                                           \
    }                                                                                              \
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,             \
                                            DISPID* ids) override {                                \
        return dispatch_.GetIDsOfNames(names, count, ids);                                         \
    }                                                                                              \
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,      \
                                     VARIANT* result, EXCEPINFO* exception, UINT* argError)        \
        override {                                                                                 \
        return dispatch_.Invoke(static_cast<Interface*>(this), id, flags, params, result,          \
                                exception, argError);                                              \
    }
