#include "ClassFactory.h"

#include "MAPIUtils.h"
#include "Redemption.h"
#include "SafeMailItem.h"

#include <iterator>

namespace qs::standin {

namespace {

const CreatableClass classes[] = {
    {&CLSID_MAPIUtils, L"MAPIUtils", L"qsMapiLib.MAPIUtils", &MAPIUtils::create},
    {&CLSID_SafeMailItem, L"SafeMailItem", L"qsMapiLib.SafeMailItem", &SafeMailItem::create},
};

LONG locks = 0;

// Static objects, one per class: they live as long as the module.
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreateFunction create) : create_(create) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return create_(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            ::InterlockedIncrement(&locks);
        else
            ::InterlockedDecrement(&locks);
        return S_OK;
    }

private:
    CreateFunction create_;
};

ClassFactory factories[] = {ClassFactory(classes[0].create), ClassFactory(classes[1].create)};
static_assert(std::size(factories) == std::size(classes));

} // namespace

const CreatableClass* creatable_classes(size_t* count) noexcept {
    *count = std::size(classes);
    return classes;
}

HRESULT get_class_object(REFCLSID clsid, REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    for (size_t i = 0; i < std::size(classes); ++i)
        if (*classes[i].clsid == clsid) return factories[i].QueryInterface(iid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}

bool server_locked() noexcept {
    return locks > 0;
}

} // namespace qs::standin
