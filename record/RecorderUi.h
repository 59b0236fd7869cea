#pragma once

#include <QString>
#include <string>

class QWidget;

namespace cld {

// Gives a widget its control id, by which the tests find it.
void tagControl(QWidget* widget, int id);
// The control's text through the resources (a language library may replace it).
QString controlText(int dialogId, int controlId, const char* english);
// Makes an empty folder (one level; an existing one is fine, errors are ignored).
void makeFolder(const QString& folder);
// String-table text `stringId`: the language's, or the program's own English text when no
// resources are loaded.
QString recorderTableText(int stringId);
// Shows string-table text `stringId` with "%1" and "%2" replaced.
void showMessage(int stringId, QWidget* parent, const QString& first,
                 const QString& second = QString());
// Tells why a capture device cannot record: busy, missing, or none of the formats.
// `device` is the sound system's name, `shown` what the user knows it by.
void showCaptureDeviceProblem(const std::string& device, const QString& shown, QWidget* parent);
// The standard control ids of the OK and Cancel buttons.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

} // namespace cld
