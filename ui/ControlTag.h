#pragma once

#include <QString>
#include <QWidget>

namespace cld {

// Gives a dialog or control its fixed resource id, by which tests and language
// libraries find it.
inline void setControlId(QWidget* widget, int id) {
    widget->setObjectName(QString::number(id));
    widget->setProperty("cld_id", id);
}

template <class W> W* tagControl(W* widget, int id) {
    setControlId(widget, id);
    return widget;
}

// The control with resource id `id` inside `parent`, or null.
template <class W = QWidget> W* findControl(const QWidget* parent, int id) {
    return parent->findChild<W*>(QString::number(id));
}

} // namespace cld
