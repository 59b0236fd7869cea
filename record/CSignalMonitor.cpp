#include "CSignalMonitor.h"

#include <QPainter>
#include <QPen>
#include <QPolygon>

CSignalMonitor::CSignalMonitor(QWidget* parent) : QFrame(parent) {
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

void CSignalMonitor::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    m_width = contentsRect().width();
    m_height = contentsRect().height();
}

void CSignalMonitor::paintEvent(QPaintEvent* event) {
    m_updatePending = false;
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
