#pragma once

#include <QString>

class QWidget;

namespace cld {

// Gives a widget its control id, by which the tests find it.
void TagControl(QWidget* widget, int id);
// The control's text through the resources (a language library may replace it).
QString ControlText(int dialogId, int controlId, const char* english);
// Makes an empty folder (one level; an existing one is fine, errors are ignored).
void MakeFolder(const QString& folder);
// The standard control ids of the OK and Cancel buttons.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

} // namespace cld
