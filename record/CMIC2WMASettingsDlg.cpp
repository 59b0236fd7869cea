#include "CMIC2WMASettingsDlg.h"

#include "CaptureDevices.h"
#include "JobContext.h"
#include "MessageService.h"
#include "RecorderLogic.h"
#include "RecorderSession.h"
#include "RecorderUi.h"
#include "SettingsRecord.h"
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
    : CRecorderSettingsDlg(context, {kDialogId, kFolder, kBrowse, kDevices, 166, "WMARecorder"},
                           parent) {
    using cld::controlText;
    m_profiles = new QComboBox(this);
    cld::tagControl(m_profiles, kProfiles);

    auto* grid = new QGridLayout(this);
    grid->addWidget(
        new QLabel(controlText(kDialogId, -kProfiles, "Please select the encoding bitrate:"), this),
        0, 0, 1, 2);
    grid->addWidget(m_profiles, 1, 0, 1, 2);
    grid->addWidget(
        new QLabel(controlText(kDialogId, -kDevices, "Select the Audio Capture device:"), this), 2,
        0, 1, 2);
    grid->addWidget(m_devices, 3, 0, 1, 2);
    grid->addWidget(new QLabel(controlText(kDialogId, -kFolder, "&Output Folder:"), this), 4, 0, 1,
                    2);
    grid->addWidget(m_folder, 5, 0);
    grid->addWidget(m_browse, 5, 1);
    grid->addWidget(m_buttons, 6, 0, 1, 2);

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
    fillDevices(DeviceData::Url);
    QApplication::restoreOverrideCursor();
    if (m_profiles->count() > 0)
        m_profiles->setCurrentIndex(0);
    m_folder->setText(QString::fromStdString(
        cld::proposedRecorderFolder(context.settings.lastWMAOutFolder(), "WMA Recorder")));
}

void CMIC2WMASettingsDlg::acceptChoices() {
    cld::RecorderSession::Instance().wmaProfileIndex =
        m_profiles->currentIndex() >= 0 ? m_profiles->currentData().toInt() : -1;
    m_context.settings.setLastRecWMAProfileIndex(std::max(0, m_profiles->currentIndex()));
    m_deviceUrl = m_devices->currentData().toString();
}
