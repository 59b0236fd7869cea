#include "DialogKit.h"

#include "AppResources.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace cld {

QPushButton* makeButton(QWidget* parent, int dialogId, int controlId, const char* english) {
    auto* b = new QPushButton(
        AppResources::controlText(dialogId, controlId, QString::fromUtf8(english)), parent);
    setControlId(b, controlId);
    b->setAutoDefault(false);
    return b;
}

QLabel* makeLabel(QWidget* parent, int dialogId, int controlId, const char* english) {
    auto* l = new QLabel(AppResources::controlText(dialogId, controlId, QString::fromUtf8(english)),
                         parent);
    setControlId(l, controlId);
    return l;
}

QRadioButton* makeRadio(QWidget* parent, int dialogId, int controlId, const char* english) {
    auto* r = new QRadioButton(
        AppResources::controlText(dialogId, controlId, QString::fromUtf8(english)), parent);
    setControlId(r, controlId);
    return r;
}

QCheckBox* makeCheck(QWidget* parent, int dialogId, int controlId, const char* english) {
    auto* c = new QCheckBox(
        AppResources::controlText(dialogId, controlId, QString::fromUtf8(english)), parent);
    setControlId(c, controlId);
    return c;
}

QLineEdit* makeEdit(QWidget* parent, int controlId) {
    auto* e = new QLineEdit(parent);
    setControlId(e, controlId);
    return e;
}

QLabel* makeStatic(QWidget* parent, const char* english) {
    return new QLabel(QString::fromUtf8(english), parent);
}

void showStringMessage(QWidget* parent, int stringId, MessageIcon icon, const QString& arg1,
                       const QString& arg2) {
    QString text = AppResources::string(stringId);
    if (text.isEmpty())
        text = QStringLiteral("Message %1").arg(stringId);
    if (!arg1.isNull())
        text.replace(QStringLiteral("%1"), arg1);
    if (!arg2.isNull())
        text.replace(QStringLiteral("%2"), arg2);
    MessageService::instance().show(Message{stringId, text, icon, MessageButtons::Ok, parent});
}

} // namespace cld
