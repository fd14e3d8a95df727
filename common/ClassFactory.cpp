#include "ClassFactory.h"

#include "ComObject.h"
#include "module.h"

namespace qs {

namespace {

class ClassFactory final : public ComObject<ClassFactory, IClassFactory> {
public:
    explicit ClassFactory(CreateFunction create) noexcept : create_(create) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return create_(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            ::InterlockedIncrement(&ModuleLockCount());
        else
            ::InterlockedDecrement(&ModuleLockCount());
        return S_OK;
    }

private:
    CreateFunction create_;
};

} // namespace

HRESULT GetClassObject(const CreatableClass* classes, size_t count, REFCLSID clsid, REFIID iid,
                       void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    for (size_t i = 0; i < count; ++i)
        if (*classes[i].clsid == clsid)
            return qs::CreateInstance<ClassFactory>(iid, object, classes[i].create);
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadNow() noexcept {
    if (!ModuleCanUnload()) return S_FALSE;
    ModuleReleaseTypeLibrary();
    return S_OK;
}

} // namespace qs
