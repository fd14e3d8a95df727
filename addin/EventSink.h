// Event subscriptions that behave like Basic's WithEvents members: storing an
// object advises a sink on one of its event interfaces, storing another object
// or nothing unadvises first.
#pragma once

#include "ComObject.h"

#include <windows.h>
#include <ocidl.h>
#include <wrl/client.h>

// Receives the events a sink is given.
class EventHandler {
public:
    virtual void OnEvent(REFIID events, DISPID id, DISPPARAMS* params) noexcept = 0;

protected:
    ~EventHandler() = default;
};

// A dispatch sink for one event interface. Every event is accepted and handed
// to the handler; the handler is detached before it goes away.
class EventSink final : public qs::DispatchSink<EventSink> {
public:
    EventSink(REFIID events, EventHandler* handler) noexcept
        : DispatchSink(events), handler_(handler) {}
    static HRESULT Create(REFIID events, EventHandler* handler, EventSink** sink) noexcept;
    void Detach() noexcept { handler_ = nullptr; }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO*, UINT*) override;

private:
    EventHandler* handler_;
};

// An advise cookie on one connection point; going away unadvises.
class EventConnection {
public:
    EventConnection() = default;
    EventConnection(const EventConnection&) = delete;
    EventConnection& operator=(const EventConnection&) = delete;
    ~EventConnection() { Disconnect(); }

    HRESULT Connect(IUnknown* source, REFIID events, IUnknown* sink) noexcept;
    void Disconnect() noexcept;

private:
    Microsoft::WRL::ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

// An object member subscribed to its events for as long as it is held.
class WithEventsMember {
public:
    explicit WithEventsMember(REFIID events) noexcept : events_(events) {}

    // Unadvises from the object held, then holds `object` (which may be null)
    // and advises `sink` on it. On failure the member stays empty.
    HRESULT Set(IDispatch* object, IUnknown* sink) noexcept;
    void Clear() noexcept;
    IDispatch* Get() const noexcept { return object_.Get(); }
    explicit operator bool() const noexcept { return object_ != nullptr; }

private:
    IID events_;
    EventConnection connection_;
    Microsoft::WRL::ComPtr<IDispatch> object_;
};
