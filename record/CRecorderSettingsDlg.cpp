#include "CRecorderSettingsDlg.h"

#include "AppResources.h"
#include "CaptureDevices.h"
#include "JobContext.h"
#include "MessageService.h"
#include "PickerService.h"
#include "RecorderLogic.h"
#include "RecorderSession.h"
#include "RecorderUi.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "StringTable.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>

CRecorderSettingsDlg::CRecorderSettingsDlg(JobContext& context, const Shape& shape, QWidget* parent)
    : QDialog(parent), m_context(context), m_shape(shape) {
    using cld::controlText;
    cld::tagControl(this, shape.dialogId);
    setWindowTitle(AppResources::caption(shape.dialogId));

    m_folder = new QLineEdit(this);
    cld::tagControl(m_folder, shape.folderControl);
    m_browse = new QPushButton(controlText(shape.dialogId, shape.browseControl, "..."), this);
    cld::tagControl(m_browse, shape.browseControl);
    m_devices = new QComboBox(this);
    cld::tagControl(m_devices, shape.devicesControl);
    m_buttons = new QDialogButtonBox(this);
    auto* ok = m_buttons->addButton(controlText(shape.dialogId, cld::kIdOk, "O&K"),
                                    QDialogButtonBox::AcceptRole);
    cld::tagControl(ok, cld::kIdOk);
    cld::tagControl(m_buttons->addButton(QDialogButtonBox::Cancel), cld::kIdCancel);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CRecorderSettingsDlg::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_browse, &QPushButton::clicked, this, &CRecorderSettingsDlg::onBrowse);
}

void CRecorderSettingsDlg::fillDevices(DeviceData carried) {
    m_devices->clear();
    const auto devices = cld::listCaptureDevices();
    for (size_t i = 0; i < devices.size(); ++i) {
        QString text = QString::fromStdString(devices[i].productName);
        if (devices[i].busy)
            text += QLatin1Char(' ') + cld::recorderTableText(cld::IDS_CAPTURE_DEVICE_BUSY_NOTE);
        if (carried == DeviceData::Url)
            m_devices->addItem(text, QString(QStringLiteral("DEVICE://") +
                                             QString::fromStdString(devices[i].pcmName)));
        else
            m_devices->addItem(text, static_cast<int>(i));
    }
    if (m_devices->count() > 0)
        m_devices->setCurrentIndex(0);
}

void CRecorderSettingsDlg::onBrowse() {
    const QString chosen = PickerService::folder(this, m_shape.folderPicker, m_folder->text());
    if (chosen.isEmpty()) {
        MessageService::message(124, MessageIcon::Error, MessageButtons::Ok, this);
        return;
    }
    m_context.settings.setLastWMAOutFolder(chosen.toStdString());
    m_folder->setText(QString::fromStdString(
        cld::proposedRecorderFolder(chosen.toStdString(), m_shape.browsedFolderName)));
}

void CRecorderSettingsDlg::accept() {
    const QString folder = m_folder->text().trimmed();
    if (folder.isEmpty()) {
        MessageService::message(157, MessageIcon::Exclamation, MessageButtons::Ok, this);
        return;
    }
    if (m_devices->count() == 0) {
        MessageService::message(cld::IDS_NO_CAPTURE_DEVICE, MessageIcon::Error, MessageButtons::Ok,
                                this);
        return;
    }
    cld::makeFolder(folder);
    cld::RecorderSession::Instance().folder = folder.toStdString();
    acceptChoices();
    QDialog::accept();
}
