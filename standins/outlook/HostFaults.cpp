#include "HostFaults.h"

#include <utility>

namespace qs::standin {

namespace {
bool saveFailurePending = false;
}

void FailNextSave() noexcept {
    saveFailurePending = true;
}

bool TakeSaveFailure() noexcept {
    return std::exchange(saveFailurePending, false);
}

} // namespace qs::standin
