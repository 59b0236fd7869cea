#include "CCapture2WMVSettingsDlg.h"

#include "AppResources.h"
#include "GetErrorText.h"
#include "JobContext.h"
#include "MessageService.h"
#include "PickerService.h"
#include "StringTable.h"
#include "VideoDialogKit.h"
#include "VideoJobState.h"
#include "VideoRules.h"
#include "WMException.h"
#include "WmEncoderControl.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

using namespace cld;

CCapture2WMVSettingsDlg::CCapture2WMVSettingsDlg(JobContext& context, QWidget* parent)
    : QDialog(parent), m_context(context) {
    setControlId(this, kDialogId);
    setWindowTitle(AppResources::caption(kDialogId));

    m_profiles = new QListWidget(this);
    setControlId(m_profiles, kProfileList);
    m_video = new QComboBox(this);
    setControlId(m_video, kVideoList);
    m_audio = new QComboBox(this);
    setControlId(m_audio, kAudioList);
    m_output = new QLineEdit(this);
    setControlId(m_output, kOutputEdit);
    auto* browse = makeButton(kDialogId, kOutputBrowse, QStringLiteral("..."), this);
    auto* ok = makeButton(kDialogId, 1, QStringLiteral("O&K"), this);
    ok->setDefault(true);
    auto* cancel = makeButton(kDialogId, 2, QStringLiteral("&Cancel"), this);

    auto* grid = new QGridLayout;
    grid->addWidget(makeLabel(kDialogId, 0, QStringLiteral("&Input Video Capture Device:"), this),
                    0, 0);
    grid->addWidget(m_video, 0, 1, 1, 2);
    grid->addWidget(makeLabel(kDialogId, 0, QStringLiteral("&Input Audio Capture Device:"), this),
                    1, 0);
    grid->addWidget(m_audio, 1, 1, 1, 2);
    grid->addWidget(makeLabel(kDialogId, 0, QStringLiteral("&Output File:"), this), 2, 0);
    grid->addWidget(m_output, 2, 1);
    grid->addWidget(browse, 2, 2);
    grid->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        makeLabel(kDialogId, 0, QStringLiteral("Please select the encoding bitrate:"), this));
    layout->addWidget(m_profiles, 1);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    resize(480, 360);

    connect(browse, &QPushButton::clicked, this, &CCapture2WMVSettingsDlg::browseOutput);
    connect(ok, &QPushButton::clicked, this, &CCapture2WMVSettingsDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CCapture2WMVSettingsDlg::reject);

    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        WmEncoderControl& encoder = sharedVideoEncoder(m_context);
        fillVideoProfiles(m_profiles, encoder);
        std::vector<WmSourcePluginInfo> plugins;
        const int count = encoder.GetSourcePluginCount();
        for (int i = 0; i < count; ++i)
            plugins.push_back(encoder.GetSourcePluginInfo(i));
        const CaptureDeviceLists lists =
            buildCaptureDeviceLists(plugins, tableText(IDS_CAPTURE_DEVICE_BUSY_NOTE).toStdString());
        for (size_t i = 0; i < lists.video.size(); ++i)
            m_video->addItem(QString::fromStdString(lists.videoNames[i]),
                             QString::fromStdString(lists.video[i]));
        for (size_t i = 0; i < lists.audio.size(); ++i)
            m_audio->addItem(QString::fromStdString(lists.audioNames[i]),
                             QString::fromStdString(lists.audio[i]));
    } catch (const WMException& e) {
        QApplication::restoreOverrideCursor();
        MessageService::text(QString::fromStdString(GetErrorText(e.GetCode())), MessageIcon::Error,
                             MessageButtons::Ok, this);
        return;
    }
    QApplication::restoreOverrideCursor();
}

void CCapture2WMVSettingsDlg::saveProfileIndex() {
    const int index = selectedProfileIndex(m_profiles);
    if (index >= 0)
        videoJobState().profileIndex = index;
}

void CCapture2WMVSettingsDlg::browseOutput() {
    saveProfileIndex();
    const QString path = PickerService::instance().saveFile(
        this, AppResources::string(IDS_OPEN_TITLE), wmvSaveFilter(), m_output->text());
    if (!path.isEmpty()) {
        m_output->setText(withWmvExtension(path));
        m_confirmedOutput = path == m_output->text() ? path : QString();
    }
}

void CCapture2WMVSettingsDlg::accept() {
    const QString output = m_output->text().trimmed();
    if (output.isEmpty()) {
        MessageService::message(204, MessageIcon::Exclamation, MessageButtons::Ok, this);
        return;
    }
    if (!mayReplaceOutput(output, QString(), m_confirmedOutput, this))
        return;
    VideoJobState& state = videoJobState();
    state.outputPath = output.toStdString();
    saveProfileIndex();
    // The lists show what a user recognises; the entries stay behind the names.
    state.audioInput = m_audio->currentData().toString().toStdString();
    state.videoInput = m_video->currentData().toString().toStdString();
    QDialog::accept();
}
