#pragma once

#include <QString>
#include <QWidget>

namespace cld {

// Gives a dialog or control its fixed resource id, by which tests and language
// libraries find it.
template <class W> W* tagControl(W* widget, int id) {
    widget->setObjectName(QString::number(id));
    widget->setProperty("cld_id", id);
    return widget;
}

// The control with resource id `id` inside `parent`, or null.
template <class W = QWidget> W* findControl(const QWidget* parent, int id) {
    return parent->findChild<W*>(QString::number(id));
}

} // namespace cld
