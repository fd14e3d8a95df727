#include "EventTimes.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>

namespace qs::standin {

namespace {

std::string describe(const char* label, std::vector<double> sorted) {
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    double median = 0, p99 = 0;
    if (n > 0) {
        median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
        const size_t rank = static_cast<size_t>(std::ceil(0.99 * static_cast<double>(n)));
        p99 = sorted[std::max<size_t>(rank, 1) - 1];
    }
    char line[96];
    std::snprintf(line, sizeof line, "%s %zu %.1f %.1f", label, n, median, p99);
    return line;
}

} // namespace

std::string EventTimes::Summary() const {
    return describe("event-us", samples_);
}

std::string EventTimes::NextWindow() {
    const std::vector<double> window(samples_.begin() + static_cast<std::ptrdiff_t>(windowStart_),
                                     samples_.end());
    windowStart_ = samples_.size();
    return describe("window-us", window);
}

} // namespace qs::standin
