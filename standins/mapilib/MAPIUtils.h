// MAPIUtils: the object whose NewMail event tells of arriving mail. Every live
// MAPIUtils object gets NewMail for each mail the host receives; without one,
// nothing fires.
#pragma once

#include "ComObject.h"
#include "EventSource.h"
#include "Redemption.h"
#include "dispatch.h"

namespace qs::standin {

class MAPIUtils final : public qs::ComObject<MAPIUtils, IMAPIUtils, IConnectionPointContainer> {
public:
    static HRESULT Create(REFIID iid, void** object) noexcept;
    // Raises NewMail(item) on every live MAPIUtils object.
    static void RaiseNewMail(IDispatch* item, FireStats& stats);

    MAPIUtils();
    ~MAPIUtils();
    QS_IMPLEMENT_DISPATCH(IMAPIUtils)
    QS_IMPLEMENT_CONNECTION_POINTS()

    HRESULT STDMETHODCALLTYPE Cleanup() override;

private:
    qs::TypeInfoDispatch dispatch_{IID_IMAPIUtils};
    EventSource events_;
};

} // namespace qs::standin
