#pragma once

#include "ControlTag.h"
#include "MessageService.h"

#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QCheckBox;
class QWidget;

namespace cld {

// Controls carrying their id and their text (the current language's, or the English
// one given).
QPushButton* makeButton(QWidget* parent, int dialogId, int controlId, const char* english);
QLabel* makeLabel(QWidget* parent, int dialogId, int controlId, const char* english);
QRadioButton* makeRadio(QWidget* parent, int dialogId, int controlId, const char* english);
QCheckBox* makeCheck(QWidget* parent, int dialogId, int controlId, const char* english);
QLineEdit* makeEdit(QWidget* parent, int controlId);
// A static text that has no id of its own.
QLabel* makeStatic(QWidget* parent, const char* english);

// Shows string-table text `stringId` with `icon` through the message service; "%1"
// and "%2" are replaced by the arguments given.
void showStringMessage(QWidget* parent, int stringId, MessageIcon icon,
                       const QString& arg1 = QString(), const QString& arg2 = QString());

} // namespace cld
