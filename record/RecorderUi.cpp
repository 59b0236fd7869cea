#include "RecorderUi.h"

#include "AlsaDeviceSource.h"
#include "AppResources.h"
#include "ControlTag.h"
#include "MessageService.h"
#include "RecorderSession.h"
#include "StringIds.h"
#include "StringTable.h"
#include "WaveInDevice.h"

#include <QDir>
#include <QWidget>

namespace cld {

void tagControl(QWidget* widget, int id) {
    setControlId(widget, id);
}

QString controlText(int dialogId, int controlId, const char* english) {
    return AppResources::controlText(dialogId, controlId, QString::fromUtf8(english));
}

void makeFolder(const QString& folder) {
    QDir().mkdir(folder);
}

QString recorderTableText(int stringId) {
    QString text = AppResources::string(stringId);
    if (text.isEmpty())
        if (const char* english = findEntry(builtinStrings(), stringId))
            text = QString::fromUtf8(english);
    return text;
}

void showMessage(int stringId, QWidget* parent, const QString& first, const QString& second) {
    QString text = recorderTableText(stringId);
    text = second.isNull() ? text.arg(first) : text.arg(first, second);
    MessageService::instance().show(
        Message{stringId, text, MessageIcon::Error, MessageButtons::Ok, parent});
}

void showCaptureDeviceProblem(const std::string& device, const QString& shown, QWidget* parent) {
    switch (checkCaptureDevice(device)) {
    case CaptureCheck::Busy:
        showMessage(IDS_REC_START_FAILED, parent, recorderTableText(IDS_CAPTURE_DEVICE_BUSY));
        return;
    case CaptureCheck::Missing:
        showMessage(IDS_CAPTURE_DEVICE_MISSING, parent, shown);
        return;
    case CaptureCheck::Ok:
    case CaptureCheck::CannotCapture:
        break;
    }
    MessageService::message(IDS_REC_NO_FORMAT, MessageIcon::Error, MessageButtons::Ok, parent);
}

} // namespace cld
