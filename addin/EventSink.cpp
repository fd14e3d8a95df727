#include "EventSink.h"

#include "result.h"

HRESULT EventSink::Create(REFIID events, EventHandler* handler, EventSink** sink) noexcept {
    if (!sink) return E_POINTER;
    *sink = nullptr;
    try {
        *sink = qs::MakeObject<EventSink>(events, handler).Detach();
        return S_OK;
    }
    QS_CATCH_RETURN()
}

// Events without a handler are accepted and ignored; handlers never fail.
HRESULT EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO*, UINT*) {
    if (result) ::VariantInit(result);
    // The source may drop its reference to this sink during the event.
    const Microsoft::WRL::ComPtr<IDispatch> self(this);
    if (handler_ && params) handler_->OnEvent(Events(), id, params);
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
    // A source that refuses has dropped the sink already; there is nothing else to undo.
    (void)point_->Unadvise(cookie_);
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
