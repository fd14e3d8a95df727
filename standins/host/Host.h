// Plays a scenario: starts the host's Application, connects the add-ins,
// carries out each step, shuts down and reports what is still alive.
#pragma once

#include "CommandLine.h"
#include "Scenario.h"

namespace qs::standin {

// The program's exit status: 0, or 2 when an add-in failed to connect, or 1
// when a step could not be carried out.
int RunHost(const Options& options, const std::vector<Step>& steps);

} // namespace qs::standin
