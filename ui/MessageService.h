#pragma once

#include <QString>
#include <memory>

class QWidget;

enum class MessageIcon { None, Error, Exclamation, Question, Information };
// ReplaceKeepBothCancel: "Replace" answers Yes, "Keep both" answers No.
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, ReplaceKeepBothCancel };
enum class MessageResult { Ok, Cancel, Yes, No };

// One message as the user sees it: the string-table id it came from (0 for a text that
// did not come from the table), the final text, the icon and the buttons.
struct Message {
    int stringId = 0;
    QString text;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    QWidget* parent = nullptr;
};

// Every message the program shows goes through the current message service. The
// standard service shows a message box; tests install their own to read what was shown
// and to answer questions.
class MessageService {
public:
    virtual ~MessageService() = default;
    virtual MessageResult show(const Message& message) = 0;

    // Installs a service and returns the previous one. Null restores the standard one.
    static std::unique_ptr<MessageService> setInstance(std::unique_ptr<MessageService> service);
    static MessageService& instance();

    // Shows string-table text `stringId`; "%1" in it is replaced by arg when given.
    static MessageResult message(int stringId, MessageIcon icon = MessageIcon::None,
                                 MessageButtons buttons = MessageButtons::Ok,
                                 QWidget* parent = nullptr, const QString& arg = QString());
    // Shows a text that has no string-table id (a component's own error text).
    static MessageResult text(const QString& text, MessageIcon icon = MessageIcon::None,
                              MessageButtons buttons = MessageButtons::Ok,
                              QWidget* parent = nullptr);
};

// The standard service: a modal message box titled with the program's name.
class MessageBoxService : public MessageService {
public:
    MessageResult show(const Message& message) override;
};
