// An event sink for the tests: answers QueryInterface for one event interface
// and records every call it gets through IDispatch::Invoke.
#pragma once

#include "ComObject.h"
#include "LateBound.h"
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

class TestSink final : public qs::DispatchSink<TestSink> {
public:
    // `events`: the interface the sink answers for; IID_NULL answers for none.
    TestSink(REFIID events, std::function<void(DISPPARAMS*)> onCall = {})
        : DispatchSink(events), onCall_(std::move(onCall)) {}

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
    std::function<void(DISPPARAMS*)> onCall_;
};

inline Microsoft::WRL::ComPtr<TestSink> MakeSink(REFIID events,
                                                 std::function<void(DISPPARAMS*)> onCall = {}) {
    return qs::MakeObject<TestSink>(events, std::move(onCall));
}

// Advises `sink` on `source`'s connection point for `events`.
inline HRESULT Advise(IUnknown* source, REFIID events, IUnknown* sink,
                      Microsoft::WRL::ComPtr<IConnectionPoint>* point, DWORD* cookie) {
    Microsoft::WRL::ComPtr<IConnectionPointContainer> container;
    HRESULT hr = source->QueryInterface(IID_PPV_ARGS(&container));
    if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(events, point->ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr)) hr = (*point)->Advise(sink, cookie);
    return hr;
}

// Calls a member by name through IDispatch: DISP_E_EXCEPTION when the callee
// raised one, and then `description` gets its text.
inline HRESULT Call(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> args,
                    VARIANT* result = nullptr, std::wstring* description = nullptr) {
    CallFailure failure;
    qs::unique_variant ignored;
    const HRESULT hr =
        InvokeByName(object, name, flags, args.data(), static_cast<UINT>(args.size()),
                     result ? result : ignored.put(), failure);
    if (description) *description = failure.raised ? failure.description : L"";
    return failure.raised ? DISP_E_EXCEPTION : hr;
}

inline std::wstring TextOf(IDispatch* object, const wchar_t* name) {
    qs::unique_variant value;
    if (FAILED(Call(object, name, DISPATCH_PROPERTYGET, {}, value.put())) ||
        FAILED(::VariantChangeType(&value, &value, 0, VT_BSTR)))
        return L"<failed>";
    return value.bstrVal ? value.bstrVal : L"";
}

inline std::wstring TypeNameOf(IDispatch* object) {
    Microsoft::WRL::ComPtr<ITypeInfo> info;
    qs::unique_bstr name;
    if (FAILED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)) ||
        FAILED(info->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr)))
        return L"<none>";
    return name.get();
}

inline VARIANT DispatchArg(IDispatch* object) {
    VARIANT arg;
    arg.vt = VT_DISPATCH;
    arg.pdispVal = object;
    return arg;
}

inline VARIANT TextArg(BSTR text) {
    VARIANT arg;
    arg.vt = VT_BSTR;
    arg.bstrVal = text;
    return arg;
}
