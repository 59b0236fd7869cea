#pragma once

#include <QString>

class QApplication;
class QDialog;
class QLabel;
class QWidget;

namespace cld {

// What every dialog gets before it is first shown, whatever job it belongs to:
//  - texts in the chosen language: a control with an id takes the language library's
//    text for (dialog id, control id); any other text that is one of the program's own
//    strings (a label without an id, a column header, a list entry) takes that string's
//    translation. English stays only where the library has nothing;
//  - every label that names a field gets that field as its buddy, so that its "&" becomes
//    an underlined mnemonic and Alt+letter moves there;
//  - every control a user can reach gets an accessible name: its label's text, or for
//    controls without a label (the "..." buttons, the track list) a name of its own;
//    progress bars take the name of the label above them;
//  - a size at which the title and a typical path show whole;
//  - labels that show a file path elide it in the middle and carry the whole path as
//    their tooltip.
// Doing it more than once is harmless.
void polishDialog(QDialog* dialog);

// Installs polishDialog for every dialog of the application, run when the dialog is first
// polished (just before it is shown). Idempotent.
void installDialogPolish(QApplication* app);

// The text a user sees for `text` in the chosen language: the translation of the
// program's own string with that English text (spaces around it kept), or `text`.
QString translatedText(const QString& text);
// The same, keeping the translation's own mnemonic also where the English text has none
// (for a label that names a field).
QString translatedText(const QString& text, bool keepOwnMark);

// A text without its mnemonic marks ("&&" stays one "&").
QString plainText(const QString& text);

// A label's text as a screen reader says it: without the mnemonic marks, the trailing
// colon and dots, and the spaces around it.
QString spokenText(const QString& labelText);

// The mnemonic letter of a text ("&Input File:" gives 'i'), or a null character.
QChar mnemonicOf(const QString& text);

// Shows or hides a field together with the label in front of it in its grid row.
void setFormRowVisible(QWidget* field, bool visible);

} // namespace cld
