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

Fault& fault(MapiOperation operation) noexcept {
    for (auto& entry : faults)
        if (entry.operation == operation) return entry;
    return faults[0];
}

} // namespace

bool mapi_operation_from_name(const wchar_t* name, MapiOperation* operation) noexcept {
    for (const auto& entry : faults) {
        if (name && ::lstrcmpiW(name, entry.name) == 0) {
            *operation = entry.operation;
            return true;
        }
    }
    return false;
}

void fail_next(MapiOperation operation) noexcept {
    fault(operation).pending = true;
}

bool take_failure(MapiOperation operation) noexcept {
    return std::exchange(fault(operation).pending, false);
}

void call_in_next(MapiOperation operation, HostCall callback, void* context) noexcept {
    fault(operation).callback = callback;
    fault(operation).context = context;
}

void take_call(MapiOperation operation) noexcept {
    Fault& entry = fault(operation);
    if (const auto callback = std::exchange(entry.callback, nullptr)) callback(entry.context);
}

} // namespace qs::standin
