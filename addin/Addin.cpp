#include "Addin.h"

#include "dispatch.h"
#include "module.h"
#include "result.h"

#include <new>

namespace qs {

// Named apart from the coclass of the same name that the type library declares.
class Addin final : public _Addin, public IDTExtensibility2 {
public:
    Addin() noexcept { qs::module_add_ref(); }
    ~Addin() { qs::module_release(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID__Addin)
            *object = static_cast<_Addin*>(this);
        else if (iid == IID_IDTExtensibility2)
            *object = static_cast<IDTExtensibility2*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ::InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG refs = ::InterlockedDecrement(&refs_);
        if (refs == 0) delete this;
        return refs;
    }

    // _Addin has no members of its own, so both dispatch faces show the
    // IDTExtensibility2 members.
    QS_IMPLEMENT_DISPATCH(IDTExtensibility2)

    HRESULT STDMETHODCALLTYPE OnConnection(IDispatch*, ext_ConnectMode, IDispatch*,
                                           SAFEARRAY**) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDisconnection(ext_DisconnectMode, SAFEARRAY**) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY**) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY**) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY**) override { return S_OK; }

private:
    LONG refs_ = 1;
    qs::TypeInfoDispatch dispatch_{IID_IDTExtensibility2};
};

} // namespace qs

HRESULT Addin_CreateInstance(REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    auto* addin = new (std::nothrow) qs::Addin();
    QS_RETURN_IF_NULL_ALLOC(addin);
    const HRESULT hr = addin->QueryInterface(iid, object);
    addin->Release();
    return hr;
}
