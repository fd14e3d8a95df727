#include "ProcessMemory.h"

#include <windows.h>

#include <cstdint>

namespace qs::standin {

namespace {

// Committed private memory, region by region. GetProcessMemoryInfo's
// PrivateUsage would say the same on Windows, but Wine reports 0 there.
unsigned long long PrivateBytes() {
    unsigned long long total = 0;
    SYSTEM_INFO system;
    ::GetSystemInfo(&system);
    auto address = reinterpret_cast<std::uintptr_t>(system.lpMinimumApplicationAddress);
    const auto end = reinterpret_cast<std::uintptr_t>(system.lpMaximumApplicationAddress);
    MEMORY_BASIC_INFORMATION region;
    while (address < end && ::VirtualQuery(reinterpret_cast<void*>(address), &region,
                                           sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        address = reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
    }
    return total;
}

// Open kernel handles. Wine's GetProcessHandleCount is a stub that says 0, so
// then every handle value is tried instead (handles are multiples of 4).
unsigned long HandleCount() {
    DWORD count = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count > 0) return count;
    unsigned long probed = 0;
    DWORD flags = 0;
    for (std::uintptr_t value = 4; value < (1u << 18); value += 4)
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++probed;
    return probed;
}

} // namespace

std::string MemoryReport() {
    return "memory private-bytes " + std::to_string(PrivateBytes()) + " handles " +
           std::to_string(HandleCount());
}

} // namespace qs::standin
