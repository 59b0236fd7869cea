#include "RecorderUi.h"

#include "AppResources.h"

#include <QDir>
#include <QWidget>

namespace cld {

void TagControl(QWidget* widget, int id) {
    widget->setObjectName(QString::number(id));
    widget->setProperty("cld_id", id);
}

QString ControlText(int dialogId, int controlId, const char* english) {
    return AppResources::controlText(dialogId, controlId, QString::fromUtf8(english));
}

void MakeFolder(const QString& folder) {
    QDir().mkdir(folder);
}

} // namespace cld
