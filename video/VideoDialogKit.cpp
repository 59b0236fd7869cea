#include "VideoDialogKit.h"

#include "AppResources.h"
#include "VideoRules.h"
#include "WmEncoderControl.h"

#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace cld {

void setControlId(QWidget* widget, int controlId) {
    widget->setObjectName(QString::number(controlId));
    widget->setProperty("cld_id", controlId);
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

QString wmvSaveFilter() {
    return QStringLiteral("Windows Media Video V8 (*.wmv);;All Files (*)");
}

QString withWmvExtension(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty())
        return path;
    return path + QStringLiteral(".wmv");
}

} // namespace cld
