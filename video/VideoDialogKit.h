#pragma once

#include "ControlTag.h"
#include "MessageService.h"

#include <QString>
#include <cstdint>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;
class WmEncoderControl;

// Small pieces the video dialogs share.
namespace cld {

QLabel* makeLabel(int dialogId, int controlId, const QString& english, QWidget* parent);
QPushButton* makeButton(int dialogId, int controlId, const QString& english, QWidget* parent);

// Fills a list with the video profiles of the encoder (profile index as item data) and
// selects the first. Throws WMException when the encoder fails.
void fillVideoProfiles(QListWidget* list, const WmEncoderControl& encoder);
// The profile index of the selected item, or -1.
int selectedProfileIndex(const QListWidget* list);

// String-table text `stringId`: the language's, or the program's own English text when no
// resources are loaded.
QString tableText(int stringId);

// The text of an encoder error in the chosen language where the program has one, else the
// encoder's own text.
QString errorText(uint32_t code);

// Shows string-table text `stringId` with "%1" and "%2" replaced.
MessageResult showMessage(int stringId, MessageIcon icon, QWidget* parent, const QString& first,
                          const QString& second = QString());

// True when the output may be written: it does not exist yet, it is the file the save
// dialog already confirmed (`confirmed`), or the user agrees to replace it. An output that
// is the input itself is left for the encoder to refuse.
bool mayReplaceOutput(const QString& output, const QString& input, const QString& confirmed,
                      QWidget* parent);

// The file-picker filter of the WMV output.
QString wmvSaveFilter();
// A saved file name without an extension gets ".wmv".
QString withWmvExtension(const QString& path);

} // namespace cld
