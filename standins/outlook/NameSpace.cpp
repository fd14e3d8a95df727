#include "NameSpace.h"

namespace qs::standin {

NameSpace::NameSpace() : events_(*this, {DIID_NameSpaceEvents}) {}

HRESULT NameSpace::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID__NameSpace)
        *object = static_cast<_NameSpace*>(this);
    else if (iid == IID_IConnectionPointContainer)
        *object = static_cast<IConnectionPointContainer*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

HRESULT NameSpace::get_Class(long* value) {
    if (!value) return E_POINTER;
    *value = olNamespace;
    return S_OK;
}

} // namespace qs::standin
