#include "HostFaults.h"

#include <utility>

namespace qs::standin {

namespace {
bool saveFailurePending = false;
}

void fail_next_save() noexcept {
    saveFailurePending = true;
}

bool take_save_failure() noexcept {
    return std::exchange(saveFailurePending, false);
}

} // namespace qs::standin
