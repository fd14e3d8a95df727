// The MAPI session object that GetNamespace("MAPI") returns. It offers the
// NameSpaceEvents connection point; the host raises nothing on it.
#pragma once

#include "ComObject.h"
#include "EventSource.h"
#include "Outlook.h"
#include "dispatch.h"

namespace qs::standin {

class NameSpace final : public _NameSpace, public IConnectionPointContainer, private LiveObject {
public:
    NameSpace();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    QS_IMPLEMENT_REFCOUNT()
    QS_IMPLEMENT_DISPATCH(_NameSpace)
    QS_IMPLEMENT_CONNECTION_POINTS()

    HRESULT STDMETHODCALLTYPE get_Class(long* value) override;

private:
    RefCount refs_;
    qs::TypeInfoDispatch dispatch_{IID__NameSpace};
    EventSource events_;
};

} // namespace qs::standin
