// The host process's own footprint, for watching an add-in for leaks.
#pragma once

#include <string>

namespace qs::standin {

// "memory private-bytes N handles N": the process's committed private memory
// and its number of open kernel handles.
std::string MemoryReport();

} // namespace qs::standin
