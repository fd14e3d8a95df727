#include "MessageLoop.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

namespace qs::standin {

void MessageLoop::DispatchWaiting() {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        LARGE_INTEGER start, end;
        ::QueryPerformanceCounter(&start);
        // WM_TIMER of a thread's timer (no window) calls its TIMERPROC from here.
        ::DispatchMessageW(&message);
        ::QueryPerformanceCounter(&end);
        const double ms = static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
                          static_cast<double>(frequency.QuadPart);
        longestMs_ = std::max(longestMs_, ms);
        totalMs_ += ms;
    }
}

void MessageLoop::Idle(unsigned long milliseconds) {
    const ULONGLONG deadline = ::GetTickCount64() + milliseconds;
    for (;;) {
        DispatchWaiting();
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) return;
        // Whatever ends the wait (a message, the time, a failure), the loop looks again.
        ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT,
                                      MWMO_INPUTAVAILABLE);
    }
}

std::string MessageLoop::Total() const {
    char line[64];
    std::snprintf(line, sizeof line, "dispatch-ms-total %.1f", totalMs_);
    return line;
}

std::string MessageLoop::Summary() const {
    char line[64];
    std::snprintf(line, sizeof line, "longest-dispatch-ms %.1f", longestMs_);
    return line;
}

} // namespace qs::standin
