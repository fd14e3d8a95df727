// An event sink for the tests: answers QueryInterface for one event interface
// and records every call it gets through IDispatch::Invoke.
#pragma once

#include "unique.h"

#include <oaidl.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct SinkCall {
    DISPID id;
    std::vector<VARTYPE> types;             // in rgvarg order (reversed)
    Microsoft::WRL::ComPtr<IDispatch> item; // the first VT_DISPATCH argument
};

class TestSink final : public IDispatch {
public:
    // `events`: the interface the sink answers for; IID_NULL answers for none.
    TestSink(REFIID events, std::function<void(DISPPARAMS*)> onCall = {})
        : events_(events), onCall_(std::move(onCall)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IDispatch && (iid != events_ || iid == IID_NULL))
            return E_NOINTERFACE;
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        SinkCall call{id, {}, nullptr};
        for (UINT i = 0; i < params->cArgs; ++i) {
            call.types.push_back(params->rgvarg[i].vt);
            if (params->rgvarg[i].vt == VT_DISPATCH && !call.item)
                call.item = params->rgvarg[i].pdispVal;
        }
        calls.push_back(call);
        if (onCall_) onCall_(params);
        return S_OK;
    }

    std::vector<SinkCall> calls;

private:
    ULONG refs_ = 1;
    IID events_;
    std::function<void(DISPPARAMS*)> onCall_;
};

// Creates a sink owned by a ComPtr (MinGW's ComPtr::Attach adds a reference).
inline Microsoft::WRL::ComPtr<TestSink> make_sink(REFIID events,
                                                  std::function<void(DISPPARAMS*)> onCall = {}) {
    Microsoft::WRL::ComPtr<TestSink> sink(new TestSink(events, std::move(onCall)));
    sink->Release();
    return sink;
}

// Advises `sink` on `source`'s connection point for `events`.
inline HRESULT advise(IUnknown* source, REFIID events, IUnknown* sink,
                      Microsoft::WRL::ComPtr<IConnectionPoint>* point, DWORD* cookie) {
    Microsoft::WRL::ComPtr<IConnectionPointContainer> container;
    HRESULT hr = source->QueryInterface(IID_PPV_ARGS(&container));
    if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(events, point->ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr)) hr = (*point)->Advise(sink, cookie);
    return hr;
}

// Calls a member by name through IDispatch. `description` gets EXCEPINFO's text.
inline HRESULT call(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> args,
                    VARIANT* result = nullptr, std::wstring* description = nullptr) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params = {args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        params.rgdispidNamedArgs = &put;
        params.cNamedArgs = 1;
    }
    EXCEPINFO exception = {};
    qs::unique_variant ignored;
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                        result ? result : ignored.put(), &exception, nullptr);
    const qs::unique_bstr text(exception.bstrDescription);
    ::SysFreeString(exception.bstrSource);
    ::SysFreeString(exception.bstrHelpFile);
    if (description) *description = text ? text.get() : L"";
    return hr;
}

inline std::wstring text_of(IDispatch* object, const wchar_t* name) {
    qs::unique_variant value;
    if (FAILED(call(object, name, DISPATCH_PROPERTYGET, {}, value.put())) ||
        FAILED(::VariantChangeType(&value, &value, 0, VT_BSTR)))
        return L"<failed>";
    return value.bstrVal ? value.bstrVal : L"";
}

inline std::wstring type_name_of(IDispatch* object) {
    Microsoft::WRL::ComPtr<ITypeInfo> info;
    qs::unique_bstr name;
    if (FAILED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)) ||
        FAILED(info->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr)))
        return L"<none>";
    return name.get();
}

inline VARIANT dispatch_arg(IDispatch* object) {
    VARIANT arg;
    arg.vt = VT_DISPATCH;
    arg.pdispVal = object;
    return arg;
}

inline VARIANT text_arg(BSTR text) {
    VARIANT arg;
    arg.vt = VT_BSTR;
    arg.bstrVal = text;
    return arg;
}
