// Failures the host can be told to inject, for fault tests. One flag per
// operation: set by the scenario, taken (and so cleared) by the next call.
#pragma once

namespace qs::standin {

void FailNextSave() noexcept;
// True once after FailNextSave(): the caller then fails.
bool TakeSaveFailure() noexcept;

} // namespace qs::standin
