#include "CProgressBar.h"

#include <QLinearGradient>
#include <QPainter>
#include <algorithm>

CProgressBar::CProgressBar(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void CProgressBar::setRange(int lower, int upper) {
    if (upper < lower)
        std::swap(lower, upper);
    m_lower = lower;
    m_upper = upper;
    m_pos = std::clamp(m_pos, m_lower, m_upper);
    update();
}

void CProgressBar::setPos(int pos) {
    const int clamped = std::clamp(pos, m_lower, m_upper);
    if (clamped != m_pos) {
        m_pos = clamped;
        update();
    }
}

void CProgressBar::stepIt() {
    const qint64 next = static_cast<qint64>(m_pos) + m_step;
    setPos(next > m_upper ? m_lower : static_cast<int>(next));
}

void CProgressBar::setBarColour(QColor colour) {
    m_colour = colour;
    update();
}

int CProgressBar::filledWidth(int width) const {
    const qint64 span = static_cast<qint64>(m_upper) - m_lower;
    if (span <= 0 || width <= 0)
        return 0;
    return static_cast<int>((static_cast<qint64>(m_pos) - m_lower) * width / span);
}

void CProgressBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QColor(0x50, 0x58, 0x66));
    p.setBrush(QColor(0x1c, 0x21, 0x2a));
    p.drawRoundedRect(track, 3, 3);

    const int fill = filledWidth(width() - 4);
    if (fill <= 0)
        return;
    QRectF band(2, 2, fill, height() - 4);
    QLinearGradient g(band.topLeft(), band.bottomLeft());
    g.setColorAt(0.0, m_colour.lighter(160));
    g.setColorAt(0.45, m_colour);
    g.setColorAt(1.0, m_colour.darker(140));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(band, 2, 2);
}
