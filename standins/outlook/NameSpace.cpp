#include "NameSpace.h"

namespace qs::standin {

NameSpace::NameSpace() : events_(*this, {DIID_NameSpaceEvents}) {}

HRESULT NameSpace::get_Class(long* value) {
    if (!value) return E_POINTER;
    *value = olNamespace;
    return S_OK;
}

} // namespace qs::standin
