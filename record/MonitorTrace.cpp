#include "MonitorTrace.h"

#include <algorithm>

namespace cld {

void computeMonitorPoints(const double* values, size_t count, int width, int height,
                          std::vector<MonitorPoint>& out) {
    constexpr size_t kMaxPoints = 1024;
    const size_t points = std::min(count, kMaxPoints);
    out.resize(points);
    const int centre = (height - 1) / 2;
    for (size_t i = 0; i < points; ++i) {
        const int x = static_cast<int>(i);
        if (x < width) {
            int y = centre + static_cast<int>(values[i]) / 512;
            if (y < 0)
                y = 0;
            if (y >= height)
                y = height - 1;
            out[i] = {x, y};
        } else {
            out[i] = {width - 1, centre};
        }
    }
}

} // namespace cld
