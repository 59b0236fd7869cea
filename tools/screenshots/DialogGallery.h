#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class QDialog;
class QWidget;
struct JobContext;

namespace cld {

// Every dialog of the program, made one at a time with what it needs and nothing running
// behind it: the screenshot tool photographs them, and the tests walk them (names,
// mnemonics, titles, the language of their texts).
class DialogGallery {
public:
    struct Entry {
        int dialogId;
        QString name;  // a file-name-safe name, e.g. "cd_grabber"
        QString title; // the whole window title the dialog should show in English
        std::function<std::unique_ptr<QDialog>(JobContext&, QWidget* launcher)> make;
    };

    // The entries in the order a user meets them.
    static const std::vector<Entry>& entries();
};

// Keeps a dialog's queued work (the batch, query or recording it starts as soon as its
// event loop runs) from running while it is being looked at. Installed on the dialog.
class HoldQueuedWork : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace cld
