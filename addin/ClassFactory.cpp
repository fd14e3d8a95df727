#include "Classes.h"

#include "module.h"
#include "result.h"

#include <unknwn.h>

#include <new>

namespace {

// One class factory for every creatable class, driven by its table entry.
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreateInstanceFunction create) noexcept : create_(create) {
        qs::module_add_ref();
    }
    ~ClassFactory() { qs::module_release(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ::InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG refs = ::InterlockedDecrement(&refs_);
        if (refs == 0) delete this;
        return refs;
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return create_(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            qs::module_add_ref();
        else
            qs::module_release();
        return S_OK;
    }

private:
    LONG refs_ = 1;
    CreateInstanceFunction create_;
};

} // namespace

HRESULT GetClassFactory(REFCLSID clsid, REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    for (size_t i = 0; i < kCreatableClassCount; ++i) {
        if (*kCreatableClasses[i].clsid != clsid) continue;
        auto* factory = new (std::nothrow) ClassFactory(kCreatableClasses[i].create);
        QS_RETURN_IF_NULL_ALLOC(factory);
        const HRESULT hr = factory->QueryInterface(iid, object);
        factory->Release();
        return hr;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}
