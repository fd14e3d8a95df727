#include "MAPIUtils.h"

#include "result.h"

#include <wrl/client.h>

#include <algorithm>
#include <vector>

namespace qs::standin {

namespace {

constexpr DISPID kDispidNewMail = 1;

// Every MAPIUtils object alive in the process; objects add and remove themselves.
std::vector<MAPIUtils*>& LiveInstances() {
    static std::vector<MAPIUtils*> instances;
    return instances;
}

} // namespace

MAPIUtils::MAPIUtils() : events_(*this, {DIID_IMAPIUtilsEvents}) {
    LiveInstances().push_back(this);
}

MAPIUtils::~MAPIUtils() {
    auto& instances = LiveInstances();
    instances.erase(std::remove(instances.begin(), instances.end(), this), instances.end());
}

HRESULT MAPIUtils::Create(REFIID iid, void** object) noexcept try {
    *object = nullptr;
    return MakeObject<MAPIUtils>()->QueryInterface(iid, object);
}
QS_CATCH_RETURN()

void MAPIUtils::RaiseNewMail(IDispatch* item, FireStats& stats) {
    // Hold every object for the round: a sink may release the one it came from.
    std::vector<Microsoft::WRL::ComPtr<MAPIUtils>> targets(LiveInstances().begin(),
                                                           LiveInstances().end());
    VARIANT arg;
    arg.vt = VT_DISPATCH;
    arg.pdispVal = item;
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    for (const auto& target : targets)
        target->events_.Point(DIID_IMAPIUtilsEvents)->Fire(kDispidNewMail, params, stats);
}

HRESULT MAPIUtils::Cleanup() {
    return S_OK;
}

} // namespace qs::standin
