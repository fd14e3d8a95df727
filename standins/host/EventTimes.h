// Time spent inside add-ins per ItemSend or NewMail call, for --timing.
#pragma once

#include <string>
#include <vector>

namespace qs::standin {

class EventTimes {
public:
    void Add(double microseconds) { samples_.push_back(microseconds); }
    // "event-us COUNT MEDIAN P99"; the 99th percentile by the nearest rank.
    std::string Summary() const;
    // "window-us COUNT MEDIAN P99" of the calls since the previous window, for
    // following the cost as an archive grows.
    std::string NextWindow();

private:
    std::vector<double> samples_;
    size_t windowStart_ = 0;
};

} // namespace qs::standin
