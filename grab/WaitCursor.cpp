#include "WaitCursor.h"

#include <QApplication>

namespace cld {

WaitCursor::WaitCursor(QWidget* window) : m_window(window) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (window && window->isEnabled()) {
        window->setEnabled(false);
        m_disabled = true;
    }
}

WaitCursor::~WaitCursor() {
    if (QWidget* window = m_window.data(); window && m_disabled)
        window->setEnabled(true);
    QApplication::restoreOverrideCursor();
}

} // namespace cld
