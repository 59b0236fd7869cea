#pragma once

#include "MonitorTrace.h"

#include <QFrame>
#include <atomic>
#include <mutex>
#include <vector>

// The recorder's "Signal Monitor": a black frame showing the capture engine's latest
// trace in green. The engine draws from its worker thread; the points are handed over
// under a lock and painted on the user-interface thread.
class CSignalMonitor : public QFrame, public cld::MonitorWindow {
    Q_OBJECT
public:
    explicit CSignalMonitor(QWidget* parent = nullptr);

    void GetClientSize(int& width, int& height) const override;
    void DrawTrace(const std::vector<cld::MonitorPoint>& points) override;
    // Takes the trace away: the monitor shows a black frame again.
    void Clear();
    // The trace painted last (for the dialog's tests).
    std::vector<cld::MonitorPoint> trace() const;
    // The peak level of the trace shown, in decibels below full scale (-96 for silence).
    double levelDb() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::atomic<int> m_width{0};
    std::atomic<int> m_height{0};
    std::atomic<bool> m_updatePending{false};
    mutable std::mutex m_lock;
    std::vector<cld::MonitorPoint> m_points;
};
