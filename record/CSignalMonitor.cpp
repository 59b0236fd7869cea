#include "CSignalMonitor.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>
#include <QPen>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// The quietest level the monitor reports: silence in 16-bit samples.
constexpr double kFloorDb = -96.0;

// The monitor as a screen reader meets it: a level indicator whose value is the peak of
// the trace it shows, in decibels below full scale.
class SignalMonitorAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit SignalMonitorAccessible(CSignalMonitor* monitor)
        : QAccessibleWidget(monitor, QAccessible::Indicator) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return QStringLiteral("%1 dB").arg(std::lround(level()));
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return level(); }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return 0.0; }
    QVariant minimumValue() const override { return kFloorDb; }
    QVariant minimumStepSize() const override { return 1.0; }

private:
    double level() const { return static_cast<CSignalMonitor*>(widget())->levelDb(); }
};

QAccessibleInterface* monitorAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("CSignalMonitor") && object && object->isWidgetType())
        return new SignalMonitorAccessible(static_cast<CSignalMonitor*>(object));
    return nullptr;
}

} // namespace

CSignalMonitor::CSignalMonitor(QWidget* parent) : QFrame(parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(monitorAccessible);
        return true;
    }();
    (void)factoryInstalled;
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setMinimumSize(300, 80);
    m_points.reserve(1024);
    m_width = contentsRect().width();
    m_height = contentsRect().height();
}

void CSignalMonitor::GetClientSize(int& width, int& height) const {
    width = m_width.load();
    height = m_height.load();
}

void CSignalMonitor::DrawTrace(const std::vector<cld::MonitorPoint>& points) {
    {
        std::lock_guard lock(m_lock);
        m_points.assign(points.begin(), points.end());
    }
    // One repaint request at a time: buffers finish faster than a screen needs them.
    if (!m_updatePending.exchange(true))
        QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
}

void CSignalMonitor::Clear() {
    {
        std::lock_guard lock(m_lock);
        m_points.clear();
    }
    update();
}

std::vector<cld::MonitorPoint> CSignalMonitor::trace() const {
    std::lock_guard lock(m_lock);
    return m_points;
}

double CSignalMonitor::levelDb() const {
    std::lock_guard lock(m_lock);
    const int centre = (m_height.load() - 1) / 2;
    int peak = 0;
    for (const cld::MonitorPoint& p : m_points)
        peak = std::max(peak, std::abs(p.y - centre));
    if (peak == 0)
        return kFloorDb;
    // The trace shows 512 units of sample value per pixel around the centre.
    const double amplitude = std::min(1.0, peak * 512.0 / 32768.0);
    return std::max(kFloorDb, 20.0 * std::log10(amplitude));
}

void CSignalMonitor::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    m_width = contentsRect().width();
    m_height = contentsRect().height();
}

void CSignalMonitor::paintEvent(QPaintEvent* event) {
    m_updatePending = false;
    // A screen reader following the monitor hears the level the new trace shows.
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent changed(this, levelDb());
        QAccessible::updateAccessibility(&changed);
    }
    QFrame::paintEvent(event);
    const QRect area = contentsRect();
    QPainter painter(this);
    painter.fillRect(area, Qt::black);
    QPolygon line;
    {
        std::lock_guard lock(m_lock);
        line.reserve(static_cast<int>(m_points.size()));
        for (const cld::MonitorPoint& p : m_points)
            line << QPoint(area.left() + p.x, area.top() + p.y);
    }
    if (line.size() < 2)
        return;
    QPen pen(QColor(0, 255, 128));
    pen.setWidth(0);
    painter.setPen(pen);
    painter.drawPolyline(line);
}
