#include "EventSource.h"

#include "result.h"

namespace qs::standin {

using Microsoft::WRL::ComPtr;

HRESULT ConnectionPoint::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IConnectionPoint) return E_NOINTERFACE;
    *object = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = events_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** owner) {
    if (!owner) return E_POINTER;
    *owner = &owner_;
    owner_.AddRef();
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) try {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    // The sink must implement the event interface; it is then called through IDispatch.
    ComPtr<IDispatch> dispatch;
    if (FAILED(sink->QueryInterface(events_, reinterpret_cast<void**>(dispatch.GetAddressOf()))))
        return CONNECT_E_CANNOTCONNECT;
    sinks_.push_back({nextCookie_, dispatch});
    *cookie = nextCookie_++;
    return S_OK;
}
QS_CATCH_RETURN()

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
        if (it->cookie == cookie) {
            // Released after removal: the sink's last reference may end its owner.
            const ComPtr<IDispatch> leaving = std::move(it->dispatch);
            sinks_.erase(it);
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** connections) {
    if (connections) *connections = nullptr;
    return E_NOTIMPL;
}

void ConnectionPoint::Fire(DISPID id, DISPPARAMS& params, FireStats& stats) const {
    // A sink may advise or unadvise while it is called: work on a copy.
    const std::vector<Sink> sinks = sinks_;
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    for (const Sink& sink : sinks) {
        LARGE_INTEGER start, end;
        ::QueryPerformanceCounter(&start);
        sink.dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                              nullptr, nullptr);
        ::QueryPerformanceCounter(&end);
        ++stats.sinksCalled;
        stats.microsecondsInSinks +=
            static_cast<double>(end.QuadPart - start.QuadPart) * 1e6 / frequency.QuadPart;
    }
}

EventSource::EventSource(IConnectionPointContainer& owner, std::initializer_list<IID> events) {
    for (const IID& iid : events)
        points_.push_back(std::make_unique<ConnectionPoint>(owner, iid));
}

HRESULT EventSource::Find(REFIID events, IConnectionPoint** point) noexcept {
    if (!point) return E_POINTER;
    *point = this->Point(events);
    if (!*point) return CONNECT_E_NOCONNECTION;
    (*point)->AddRef();
    return S_OK;
}

ConnectionPoint* EventSource::Point(REFIID events) noexcept {
    for (auto& point : points_)
        if (point->Events() == events) return point.get();
    return nullptr;
}

} // namespace qs::standin
