// Failures the host can be told to inject, for fault tests. One flag per
// operation: set by the scenario, taken (and so cleared) by the next call.
#pragma once

namespace qs::standin {

void fail_next_save() noexcept;
// True once after fail_next_save(): the caller then fails.
bool take_save_failure() noexcept;

} // namespace qs::standin
