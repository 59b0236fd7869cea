#include "CProgressBar.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QLinearGradient>
#include <QPainter>
#include <algorithm>

namespace {

// What a screen reader sees of the bar: a progress bar with its range and position, and
// the position as a percentage for its value text.
class ProgressBarAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit ProgressBarAccessible(CProgressBar* bar)
        : QAccessibleWidget(bar, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) {
            const CProgressBar* b = bar();
            const qint64 span = static_cast<qint64>(b->upper()) - b->lower();
            const qint64 percent =
                span > 0 ? (static_cast<qint64>(b->pos()) - b->lower()) * 100 / span : 0;
            return QStringLiteral("%1%").arg(percent);
        }
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return bar()->pos(); }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return bar()->upper(); }
    QVariant minimumValue() const override { return bar()->lower(); }
    QVariant minimumStepSize() const override { return 0; }

private:
    CProgressBar* bar() const { return static_cast<CProgressBar*>(widget()); }
};

QAccessibleInterface* progressBarFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("CProgressBar") && object && object->isWidgetType())
        return new ProgressBarAccessible(static_cast<CProgressBar*>(object));
    return nullptr;
}

} // namespace

CProgressBar::CProgressBar(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(progressBarFactory);
        return true;
    }();
    (void)factoryInstalled;
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
        if (QAccessible::isActive()) {
            QAccessibleValueChangeEvent event(this, m_pos);
            QAccessible::updateAccessibility(&event);
        }
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
