#include "CCapture2WMVSettingsDlg.h"

#include "StringIds.h"
#include "StringTable.h"
#include "VideoDialogKit.h"
#include "VideoJobState.h"
#include "VideoRules.h"
#include "WmEncoderControl.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <vector>

using namespace cld;

CCapture2WMVSettingsDlg::CCapture2WMVSettingsDlg(JobContext& context, QWidget* parent)
    : CVideoSettingsDlg(context, parent, kDialogId) {
    m_video = new QComboBox(this);
    setControlId(m_video, kVideoList);
    m_audio = new QComboBox(this);
    setControlId(m_audio, kAudioList);
    makeOutputEdit();
    auto* browse = makeOutputBrowse();
    makeOkCancel();

    auto* grid = new QGridLayout;
    grid->addWidget(makeLabel(kDialogId, 0, QStringLiteral("Input &Video Capture Device:"), this),
                    0, 0);
    grid->addWidget(m_video, 0, 1, 1, 2);
    grid->addWidget(makeLabel(kDialogId, 0, QStringLiteral("Input &Audio Capture Device:"), this),
                    1, 0);
    grid->addWidget(m_audio, 1, 1, 1, 2);
    grid->addWidget(makeLabel(kDialogId, 0, QStringLiteral("&Output File:"), this), 2, 0);
    grid->addWidget(m_output, 2, 1);
    grid->addWidget(browse, 2, 2);
    grid->setColumnStretch(1, 1);
    finishLayout(grid, 480, 360);

    fillFromEncoder([this](WmEncoderControl& encoder) {
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
    });
}

void CCapture2WMVSettingsDlg::accept() {
    if (!takeOutput(QString(), false))
        return;
    // The lists show what a user recognises; the entries stay behind the names.
    VideoJobState& state = videoJobState();
    state.audioInput = m_audio->currentData().toString().toStdString();
    state.videoInput = m_video->currentData().toString().toStdString();
    finishAccept();
}
