// The MAPI session object that GetNamespace("MAPI") returns. It offers the
// NameSpaceEvents connection point; the host raises nothing on it.
#pragma once

#include "ComObject.h"
#include "EventSource.h"
#include "Outlook.h"
#include "dispatch.h"

namespace qs::standin {

class NameSpace final : public qs::ComObject<NameSpace, _NameSpace, IConnectionPointContainer> {
public:
    NameSpace();
    QS_IMPLEMENT_DISPATCH(_NameSpace)
    QS_IMPLEMENT_CONNECTION_POINTS()

    HRESULT STDMETHODCALLTYPE get_Class(long* value) override;

private:
    qs::TypeInfoDispatch dispatch_{IID__NameSpace};
    EventSource events_;
};

} // namespace qs::standin
