#include "CMIC2WMASettingsDlg.h"

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
#include "WMException.h"
#include "WmEncoderControl.h"
#include "WmaRecorderEncoder.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CMIC2WMASettingsDlg::CMIC2WMASettingsDlg(JobContext& context, QWidget* parent)
    : QDialog(parent), m_context(context) {
    using cld::controlText;
    cld::tagControl(this, kDialogId);
    setWindowTitle(AppResources::caption(kDialogId));

    m_profiles = new QComboBox(this);
    cld::tagControl(m_profiles, kProfiles);
    m_devices = new QComboBox(this);
    cld::tagControl(m_devices, kDevices);
    m_folder = new QLineEdit(this);
    cld::tagControl(m_folder, kFolder);
    auto* browse = new QPushButton(controlText(kDialogId, kBrowse, "..."), this);
    cld::tagControl(browse, kBrowse);
    auto* buttons = new QDialogButtonBox(this);
    auto* ok =
        buttons->addButton(controlText(kDialogId, cld::kIdOk, "O&K"), QDialogButtonBox::AcceptRole);
    cld::tagControl(ok, cld::kIdOk);
    auto* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cld::tagControl(cancel, cld::kIdCancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &CMIC2WMASettingsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(browse, &QPushButton::clicked, this, &CMIC2WMASettingsDlg::onBrowse);

    auto* grid = new QGridLayout(this);
    grid->addWidget(
        new QLabel(controlText(kDialogId, -kProfiles, "Please select the encoding bitrate:"), this),
        0, 0, 1, 2);
    grid->addWidget(m_profiles, 1, 0, 1, 2);
    grid->addWidget(
        new QLabel(controlText(kDialogId, -kDevices, "Select the Audio Capture Device:"), this), 2,
        0, 1, 2);
    grid->addWidget(m_devices, 3, 0, 1, 2);
    grid->addWidget(new QLabel(controlText(kDialogId, -kFolder, "&Output Folder:"), this), 4, 0, 1,
                    2);
    grid->addWidget(m_folder, 5, 0);
    grid->addWidget(browse, 5, 1);
    grid->addWidget(buttons, 6, 0, 1, 2);

    cld::routeAlsaMessages();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        WmEncoderControl& encoder =
            cld::WmaRecorderEncoder::Get(context.programFolder.toStdString());
        for (int i = 0; i < encoder.GetProfileCount(); ++i) {
            const WmProfileInfo info = encoder.GetProfileInfo(i);
            if (info.audioStreams > 0 && info.videoStreams == 0 && info.scriptStreams == 0)
                m_profiles->addItem(QString::fromStdString(info.name), i);
        }
    } catch (const WMException& e) {
        MessageService::text(QStringLiteral("Error: ") + QString::number(e.GetCode(), 16).toUpper(),
                             MessageIcon::Error, MessageButtons::Ok, this);
    }
    // The capture devices by the names a user knows them by; behind each, the device
    // URL the encoder takes.
    for (const cld::CaptureDeviceInfo& device : cld::listCaptureDevices()) {
        QString text = QString::fromStdString(device.productName);
        if (device.busy)
            text += QLatin1Char(' ') + cld::recorderTableText(cld::IDS_CAPTURE_DEVICE_BUSY_NOTE);
        const QString url = QStringLiteral("DEVICE://") + QString::fromStdString(device.pcmName);
        m_devices->addItem(text, url);
    }
    QApplication::restoreOverrideCursor();
    if (m_profiles->count() > 0)
        m_profiles->setCurrentIndex(0);
    if (m_devices->count() > 0)
        m_devices->setCurrentIndex(0);
    m_folder->setText(QString::fromStdString(
        cld::proposedRecorderFolder(context.settings.lastWMAOutFolder(), "WMA Recorder")));
}

void CMIC2WMASettingsDlg::onBrowse() {
    const QString chosen = PickerService::folder(this, 166, m_folder->text());
    if (chosen.isEmpty()) {
        MessageService::message(124, MessageIcon::Error, MessageButtons::Ok, this);
        return;
    }
    m_context.settings.setLastWMAOutFolder(chosen.toStdString());
    m_folder->setText(
        QString::fromStdString(cld::proposedRecorderFolder(chosen.toStdString(), "WMARecorder")));
}

void CMIC2WMASettingsDlg::accept() {
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
    cld::RecorderSession& session = cld::RecorderSession::Instance();
    session.folder = folder.toStdString();
    session.wmaProfileIndex =
        m_profiles->currentIndex() >= 0 ? m_profiles->currentData().toInt() : -1;
    m_context.settings.setLastRecWMAProfileIndex(std::max(0, m_profiles->currentIndex()));
    m_deviceUrl = m_devices->currentData().toString();
    QDialog::accept();
}
