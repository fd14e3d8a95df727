#include "EventTimes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qs::standin {

std::string EventTimes::summary() const {
    std::vector<double> sorted = samples_;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    double median = 0, p99 = 0;
    if (n > 0) {
        median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
        const size_t rank = static_cast<size_t>(std::ceil(0.99 * static_cast<double>(n)));
        p99 = sorted[std::max<size_t>(rank, 1) - 1];
    }
    char line[96];
    std::snprintf(line, sizeof line, "event-us %zu %.1f %.1f", n, median, p99);
    return line;
}

} // namespace qs::standin
