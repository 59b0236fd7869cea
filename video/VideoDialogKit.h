#pragma once

#include <QString>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;
class WmEncoderControl;

// Small pieces the video dialogs share.
namespace cld {

// A control that a test finds by its id: object name and "cld_id" property.
void setControlId(QWidget* widget, int controlId);
QLabel* makeLabel(int dialogId, int controlId, const QString& english, QWidget* parent);
QPushButton* makeButton(int dialogId, int controlId, const QString& english, QWidget* parent);

// Fills a list with the video profiles of the encoder (profile index as item data) and
// selects the first. Throws WMException when the encoder fails.
void fillVideoProfiles(QListWidget* list, const WmEncoderControl& encoder);
// The profile index of the selected item, or -1.
int selectedProfileIndex(const QListWidget* list);

// The file-picker filter of the WMV output.
QString wmvSaveFilter();
// A saved file name without an extension gets ".wmv".
QString withWmvExtension(const QString& path);

} // namespace cld
