#include "Faults.h"

#include <windows.h>

#include <utility>

namespace qs::standin {

namespace {

struct Fault {
    MapiOperation operation;
    const wchar_t* name;
    bool pending;
};

Fault faults[] = {
    {MapiOperation::SaveAs, L"saveas", false},
    {MapiOperation::Subject, L"subject", false},
    {MapiOperation::Item, L"item", false},
    {MapiOperation::Wrapper, L"wrapper", false},
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

} // namespace qs::standin
