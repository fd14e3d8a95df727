#include "Faults.h"

#include <windows.h>

#include <utility>

namespace qs::standin {

namespace {

struct Fault {
    MapiOperation operation;
    const wchar_t* name;
    bool pending;
    HostCall callback;
    void* context;
};

Fault faults[] = {
    {MapiOperation::SaveAs, L"saveas", false, nullptr, nullptr},
    {MapiOperation::Subject, L"subject", false, nullptr, nullptr},
    {MapiOperation::Item, L"item", false, nullptr, nullptr},
    {MapiOperation::Wrapper, L"wrapper", false, nullptr, nullptr},
};

Fault& FaultOf(MapiOperation operation) noexcept {
    for (auto& entry : faults)
        if (entry.operation == operation) return entry;
    return faults[0];
}

} // namespace

bool MapiOperationFromName(const wchar_t* name, MapiOperation* operation) noexcept {
    for (const auto& entry : faults) {
        if (name && ::lstrcmpiW(name, entry.name) == 0) {
            *operation = entry.operation;
            return true;
        }
    }
    return false;
}

void FailNext(MapiOperation operation) noexcept {
    FaultOf(operation).pending = true;
}

bool TakeFailure(MapiOperation operation) noexcept {
    return std::exchange(FaultOf(operation).pending, false);
}

void CallInNext(MapiOperation operation, HostCall callback, void* context) noexcept {
    FaultOf(operation).callback = callback;
    FaultOf(operation).context = context;
}

void TakeCall(MapiOperation operation) noexcept {
    Fault& entry = FaultOf(operation);
    if (const auto callback = std::exchange(entry.callback, nullptr)) callback(entry.context);
}

} // namespace qs::standin
