#include "CLauncherButton.h"

#include <QKeyEvent>
#include <QPainter>
#include <algorithm>

CLauncherButton::CLauncherButton(QWidget* parent) : CImageButton(parent) {
    // Tab, not the mouse, moves the focus: a click leaves no ring behind.
    setFocusPolicy(Qt::TabFocus);
}

QColor CLauncherButton::focusColour() {
    return {0x49, 0xb6, 0xff};
}

void CLauncherButton::paintEvent(QPaintEvent* event) {
    CImageButton::paintEvent(event);
    if (!hasFocus())
        return;
    // A soft glow under a crisp line, rounded like the skin's tiles, inside the button so
    // that the shaped window never cuts it off.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(2, 2, -2, -2);
    const qreal radius = std::min<qreal>(10, std::min(box.width(), box.height()) / 4);
    QColor glow = focusColour();
    glow.setAlpha(90);
    p.setPen(QPen(glow, 4));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(box, radius, radius);
    p.setPen(QPen(focusColour(), 2));
    p.drawRoundedRect(box, radius, radius);
}

void CLauncherButton::keyPressEvent(QKeyEvent* event) {
    const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        modifiers == Qt::NoModifier) {
        if (isEnabled())
            click();
        event->accept();
        return;
    }
    // The arrows belong to the launcher, which moves the focus by where buttons are.
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        event->ignore();
        return;
    default:
        break;
    }
    CImageButton::keyPressEvent(event);
}
