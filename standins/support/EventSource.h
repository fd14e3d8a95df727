// Connection points for the dispinterfaces an object raises events on. The
// owning object answers IConnectionPointContainer by forwarding to an
// EventSource member; each connection point lives inside the source and keeps
// its owner alive while a client holds it. Sinks are called through
// IDispatch::Invoke, one after the other, on the calling thread.
#pragma once

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <initializer_list>
#include <memory>
#include <vector>

namespace qs::standin {

// What one round of calls to the sinks of an event cost.
struct FireStats {
    ULONG sinksCalled = 0;
    double microsecondsInSinks = 0;
};

class ConnectionPoint final : public IConnectionPoint {
public:
    ConnectionPoint(IConnectionPointContainer& owner, REFIID events)
        : owner_(owner), events_(events) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return owner_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner_.Release(); }

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE
    GetConnectionPointContainer(IConnectionPointContainer** owner) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override;

    const IID& Events() const noexcept { return events_; }
    size_t SinkCount() const noexcept { return sinks_.size(); }
    // Calls every sink advised when the call starts; a sink's failure is ignored.
    void Fire(DISPID id, DISPPARAMS& params, FireStats& stats) const;

private:
    struct Sink {
        DWORD cookie;
        Microsoft::WRL::ComPtr<IDispatch> dispatch;
    };

    IConnectionPointContainer& owner_;
    IID events_;
    std::vector<Sink> sinks_;
    DWORD nextCookie_ = 1;
};

class EventSource {
public:
    EventSource(IConnectionPointContainer& owner, std::initializer_list<IID> events);

    HRESULT Find(REFIID events, IConnectionPoint** point) noexcept;
    ConnectionPoint* Point(REFIID events) noexcept;

private:
    std::vector<std::unique_ptr<ConnectionPoint>> points_;
};

} // namespace qs::standin

// IConnectionPointContainer methods of a class with an EventSource member named events_.
#define QS_IMPLEMENT_CONNECTION_POINTS()                                                           \
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override {      \
        if (points) *points = nullptr;                                                             \
        return E_NOTIMPL;                                                                          \
    }                                                                                              \
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override { \
        return events_.Find(iid, point);                                                           \
    }
