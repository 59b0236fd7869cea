#pragma once

#include <cstddef>
#include <vector>

namespace cld {

struct MonitorPoint {
    int x = 0;
    int y = 0;
    bool operator==(const MonitorPoint&) const = default;
};

// The oscilloscope trace of the signal monitor: one point per value, 512 units of
// sample value per pixel around the vertical centre, clamped to the client area; values
// beyond the width collapse onto the centre of the last column. At most 1024 points;
// `out` is overwritten (its capacity is reused).
void computeMonitorPoints(const double* values, size_t count, int width, int height,
                          std::vector<MonitorPoint>& out);

// Where the capture engine draws the trace. Called on the capture worker, so an
// implementation only hands the points over to its own thread.
class MonitorWindow {
public:
    virtual ~MonitorWindow() = default;
    // The client area's size in pixels.
    virtual void GetClientSize(int& width, int& height) const = 0;
    // Black background and the trace as one connected line.
    virtual void DrawTrace(const std::vector<MonitorPoint>& points) = 0;
};

} // namespace cld
