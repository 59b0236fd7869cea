#include "VideoDialogKit.h"

#include "AppResources.h"
#include "GetErrorText.h"
#include "MediaErrorText.h"
#include "SameFile.h"
#include "StringIds.h"
#include "StringTable.h"
#include "VideoRules.h"
#include "WmEncoderControl.h"
#include "WmErrors.h"
#include "WmVideoErrors.h"

#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace cld {

QString errorText(uint32_t code) {
    return mediaErrorText(code);
}

QLabel* makeLabel(int dialogId, int controlId, const QString& english, QWidget* parent) {
    auto* label = new QLabel(AppResources::controlText(dialogId, controlId, english), parent);
    if (controlId > 0)
        setControlId(label, controlId);
    return label;
}

QPushButton* makeButton(int dialogId, int controlId, const QString& english, QWidget* parent) {
    auto* button = new QPushButton(AppResources::controlText(dialogId, controlId, english), parent);
    setControlId(button, controlId);
    button->setAutoDefault(false);
    return button;
}

void fillVideoProfiles(QListWidget* list, const WmEncoderControl& encoder) {
    list->clear();
    for (int i = 0; i < encoder.GetProfileCount(); ++i) {
        const WmProfileInfo info = encoder.GetProfileInfo(i);
        if (!isVideoProfile(info))
            continue;
        auto* item = new QListWidgetItem(QString::fromStdString(info.name), list);
        item->setData(Qt::UserRole, i);
    }
    if (list->count() > 0)
        list->setCurrentRow(0);
}

int selectedProfileIndex(const QListWidget* list) {
    const QListWidgetItem* item = list->currentItem();
    return item ? item->data(Qt::UserRole).toInt() : -1;
}

QString tableText(int stringId) {
    QString text = AppResources::string(stringId);
    if (text.isEmpty())
        if (const char* english = findEntry(builtinStrings(), stringId))
            text = QString::fromUtf8(english);
    return text;
}

MessageResult showMessage(int stringId, MessageIcon icon, QWidget* parent, const QString& first,
                          const QString& second) {
    QString text = tableText(stringId);
    text = second.isNull() ? text.arg(first) : text.arg(first, second);
    return MessageService::instance().show(
        Message{stringId, text, icon, MessageButtons::Ok, parent});
}

bool mayReplaceOutput(const QString& output, const QString& input, const QString& confirmed,
                      QWidget* parent) {
    const QFileInfo info(output);
    if (!info.exists() || output == confirmed)
        return true;
    if (!input.isEmpty() && sameFile(input.toStdString(), output.toStdString()))
        return true;
    const QString text = tableText(IDS_OUTPUT_EXISTS_REPLACE).arg(output);
    return MessageService::instance().show(Message{IDS_OUTPUT_EXISTS_REPLACE, text,
                                                   MessageIcon::Exclamation, MessageButtons::YesNo,
                                                   parent}) == MessageResult::Yes;
}

QString wmvSaveFilter() {
    return QStringLiteral("Windows Media Video V8 (*.wmv);;All Files (*)");
}

QString withWmvExtension(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty())
        return path;
    return path + QStringLiteral(".wmv");
}

} // namespace cld
