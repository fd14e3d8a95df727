#include "MapiChannel.h"

#include "ComObject.h"
#include "EventSource.h"
#include "Faults.h"
#include "MAPIUtils.h"
#include "MessageItem.h"
#include "result.h"

#include <wrl/client.h>

namespace standin = qs::standin;

HRESULT WINAPI QsMapiRaiseNewMail(IDispatch* hostMailItem, ULONG* sinksCalled,
                                  double* microsecondsInSinks) try {
    if (!hostMailItem || !sinksCalled || !microsecondsInSinks) return E_POINTER;
    *sinksCalled = 0;
    *microsecondsInSinks = 0;
    const auto item = qs::MakeObject<standin::MessageItem>(hostMailItem);
    standin::FireStats stats;
    standin::MAPIUtils::RaiseNewMail(static_cast<_MessageItem*>(item.Get()), stats);
    *sinksCalled = stats.sinksCalled;
    *microsecondsInSinks = stats.microsecondsInSinks;
    return S_OK;
}
QS_CATCH_RETURN()

HRESULT WINAPI QsMapiFailNext(const wchar_t* operation) {
    standin::MapiOperation found;
    if (!standin::MapiOperationFromName(operation, &found)) return E_INVALIDARG;
    standin::FailNext(found);
    return S_OK;
}

HRESULT WINAPI QsMapiCallInNextSaveAs(void(WINAPI* callback)(void*), void* context) {
    if (!callback) return E_POINTER;
    standin::CallInNext(standin::MapiOperation::SaveAs, callback, context);
    return S_OK;
}

LONG WINAPI QsMapiLiveObjects() {
    return qs::ModuleObjectCount();
}
