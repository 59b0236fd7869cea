#include "CHyperLink.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>

CHyperLink::CHyperLink(QWidget* parent) : QLabel(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setTextFormat(Qt::PlainText);
    refreshLook();
}

CHyperLink::CHyperLink(const QString& text, const QUrl& url, QWidget* parent) : CHyperLink(parent) {
    setText(text);
    setUrl(url);
}

void CHyperLink::setUrl(const QUrl& url) {
    m_url = url;
    setToolTip(url.toDisplayString());
}

bool CHyperLink::open() {
    // Only addresses a browser or mail program handles; never a local program or file.
    const QString scheme = m_url.scheme().toLower();
    if (!m_url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https") &&
                             scheme != QLatin1String("mailto")))
        return false;
    if (!QDesktopServices::openUrl(m_url))
        return false;
    m_visited = true;
    refreshLook();
    emit opened(m_url);
    return true;
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        open();
    QLabel::mouseReleaseEvent(event);
}

void CHyperLink::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
        event->key() == Qt::Key_Space) {
        open();
        return;
    }
    QLabel::keyPressEvent(event);
}

void CHyperLink::refreshLook() {
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText,
                 m_visited ? QColor(0x80, 0x00, 0x80) : QColor(0x00, 0x00, 0xEE));
    setPalette(pal);
}
