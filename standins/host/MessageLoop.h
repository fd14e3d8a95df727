// The host's message loop, as Outlook's main thread runs it between its own
// work: posted messages, window messages and timers reach the add-ins only
// from here. It keeps the longest time one dispatch took (a window procedure
// or a timer's callback), which holds the host up as long.
#pragma once

#include <string>

namespace qs::standin {

class MessageLoop {
public:
    // Dispatches the messages waiting on this thread, until none is left.
    void DispatchWaiting();
    // Runs the loop for `milliseconds`, waiting while nothing is there: the host's idle time.
    void Idle(unsigned long milliseconds);
    // "dispatch-ms-total X": the time all dispatches took together.
    std::string Total() const;
    // "longest-dispatch-ms X".
    std::string Summary() const;

private:
    double longestMs_ = 0;
    double totalMs_ = 0;
};

} // namespace qs::standin
