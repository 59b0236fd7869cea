#include "MessageService.h"

#include "AppResources.h"
#include "DialogPolish.h"
#include "ProductIdentity.h"
#include "StringIds.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

namespace {

std::unique_ptr<MessageService>& current() {
    static std::unique_ptr<MessageService> service;
    return service;
}

QMessageBox::Icon boxIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

std::unique_ptr<MessageService>
MessageService::setInstance(std::unique_ptr<MessageService> service) {
    std::swap(current(), service);
    return service;
}

MessageService& MessageService::instance() {
    if (!current())
        current() = std::make_unique<MessageBoxService>();
    return *current();
}

MessageResult MessageService::message(int stringId, MessageIcon icon, MessageButtons buttons,
                                      QWidget* parent, const QString& arg) {
    QString text = AppResources::string(stringId);
    if (text.isEmpty())
        text = QStringLiteral("Message %1").arg(stringId);
    else if (!arg.isNull())
        text = text.arg(arg);
    return instance().show(Message{stringId, text, icon, buttons, parent});
}

MessageResult MessageService::text(const QString& text, MessageIcon icon, MessageButtons buttons,
                                   QWidget* parent) {
    return instance().show(Message{0, text, icon, buttons, parent});
}

MessageResult MessageBoxService::show(const Message& message) {
    QMessageBox box(boxIcon(message.icon), QString::fromUtf8(cld::identity::kProduct), message.text,
                    QMessageBox::NoButton, message.parent);
    switch (message.buttons) {
    case MessageButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MessageButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MessageButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MessageButtons::YesNoCancel:
    case MessageButtons::ReplaceKeepBothCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    // The standard buttons' words in the chosen language.
    for (QAbstractButton* button : box.buttons())
        button->setText(cld::translatedText(button->text()));
    if (message.buttons == MessageButtons::ReplaceKeepBothCancel) {
        box.button(QMessageBox::Yes)->setText(AppResources::string(cld::IDS_BUTTON_REPLACE));
        box.button(QMessageBox::No)->setText(AppResources::string(cld::IDS_BUTTON_KEEP_BOTH));
        box.setDefaultButton(QMessageBox::Cancel);
    }
    // A message shown before any window exists still gets the normal cursor.
    const bool waitCursor = QApplication::overrideCursor() != nullptr;
    if (waitCursor)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = box.exec();
    if (waitCursor)
        QApplication::restoreOverrideCursor();
    // The window the box spoke for takes the keyboard back, with the focus where it was:
    // left to the window system, no window may be active once the box has gone, and the
    // next key would go nowhere.
    // The box itself may still count as the active window until the window system has
    // taken note that it closed.
    const QWidget* active = QApplication::activeWindow();
    if (message.parent && (!active || active == &box || !active->isVisible()))
        if (QWidget* window = message.parent->window(); window->isVisible())
            window->activateWindow();
    switch (answer) {
    case QMessageBox::Yes:
        return MessageResult::Yes;
    case QMessageBox::No:
        return MessageResult::No;
    case QMessageBox::Cancel:
        return MessageResult::Cancel;
    default:
        break;
    }
    // Closing a Yes/No box without choosing counts as No; an OK box answers OK.
    if (message.buttons == MessageButtons::YesNo)
        return MessageResult::No;
    if (message.buttons == MessageButtons::Ok)
        return MessageResult::Ok;
    return answer == QMessageBox::Ok ? MessageResult::Ok : MessageResult::Cancel;
}
