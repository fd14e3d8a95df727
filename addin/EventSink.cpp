#include "EventSink.h"

#include "module.h"
#include "result.h"

#include <new>

EventSink::EventSink(REFIID events, EventHandler* handler) noexcept
    : events_(events), handler_(handler) {
    qs::module_add_ref();
}

EventSink::~EventSink() {
    qs::module_release();
}

HRESULT EventSink::Create(REFIID events, EventHandler* handler, EventSink** sink) noexcept {
    if (!sink) return E_POINTER;
    *sink = new (std::nothrow) EventSink(events, handler);
    return *sink ? S_OK : E_OUTOFMEMORY;
}

HRESULT EventSink::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IDispatch && iid != events_) return E_NOINTERFACE;
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

ULONG EventSink::AddRef() {
    return ::InterlockedIncrement(&refs_);
}

ULONG EventSink::Release() {
    const ULONG refs = ::InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return refs;
}

// The event interfaces belong to their sources; the sink describes nothing.
HRESULT EventSink::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT EventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT EventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return DISP_E_UNKNOWNNAME;
}

// Events without a handler are accepted and ignored; handlers never fail.
HRESULT EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO*, UINT*) {
    if (result) ::VariantInit(result);
    // The source may drop its reference to this sink during the event.
    const Microsoft::WRL::ComPtr<IDispatch> self(this);
    if (handler_ && params) handler_->OnEvent(events_, id, params);
    return S_OK;
}

HRESULT EventConnection::Connect(IUnknown* source, REFIID events, IUnknown* sink) noexcept {
    Disconnect();
    Microsoft::WRL::ComPtr<IConnectionPointContainer> container;
    QS_RETURN_IF_FAILED(source->QueryInterface(IID_PPV_ARGS(&container)));
    Microsoft::WRL::ComPtr<IConnectionPoint> point;
    QS_RETURN_IF_FAILED(container->FindConnectionPoint(events, &point));
    DWORD cookie = 0;
    QS_RETURN_IF_FAILED(point->Advise(sink, &cookie));
    point_ = point;
    cookie_ = cookie;
    return S_OK;
}

void EventConnection::Disconnect() noexcept {
    if (!point_) return;
    point_->Unadvise(cookie_);
    point_.Reset();
    cookie_ = 0;
}

HRESULT WithEventsMember::Set(IDispatch* object, IUnknown* sink) noexcept {
    Clear();
    if (!object) return S_OK;
    QS_RETURN_IF_FAILED(connection_.Connect(object, events_, sink));
    object_ = object;
    return S_OK;
}

void WithEventsMember::Clear() noexcept {
    connection_.Disconnect();
    object_.Reset();
}
