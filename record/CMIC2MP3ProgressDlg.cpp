#include "CMIC2MP3ProgressDlg.h"

#include "AppResources.h"
#include "CSignalMonitor.h"
#include "JobContext.h"
#include "MessageService.h"
#include "Mp3RecorderEngine.h"
#include "RecorderLogic.h"
#include "RecorderSession.h"
#include "RecorderUi.h"
#include "StringIds.h"
#include "StringTable.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>
#include <cstring>
#include <ctime>

CMIC2MP3ProgressDlg::CMIC2MP3ProgressDlg(JobContext& context, cld::Mp3RecorderEngine& engine,
                                         int deviceId, const QString& deviceName, QWidget* launcher)
    : CRecorderProgressDlg(kDialogId, launcher), m_context(context), m_engine(engine),
      m_progress(engine), m_deviceId(deviceId), m_deviceName(deviceName) {
    using cld::controlText;
    auto label = [this](int id) { return valueLabel(id, true); };
    auto* device = label(kDevice);
    device->setText(deviceName);
    m_file = label(kFile);
    m_file->setWordWrap(true);
    m_bitrate = label(kBitrate);
    m_total = label(kTotalSpace);
    m_free = label(kFreeSpace);
    m_status = label(kStatus);
    m_status->setText(controlText(kDialogId, kStatus, "Ready."));
    m_monitor = new CSignalMonitor(this);
    cld::tagControl(m_monitor, kMonitor);

    auto button = [this](int id, const char* text) { return commandButton(id, text); };
    m_start = button(kStart, "&Start");
    m_pause = button(kPause, "&Pause");
    m_stop = button(kStop, "S&top");
    auto* exit = button(cld::kIdOk, "E&xit");
    connect(m_start, &QPushButton::clicked, this, &CMIC2MP3ProgressDlg::onStart);
    connect(m_pause, &QPushButton::clicked, this, &CMIC2MP3ProgressDlg::onPause);
    connect(m_stop, &QPushButton::clicked, this, &CMIC2MP3ProgressDlg::onStop);
    connect(exit, &QPushButton::clicked, this, &CMIC2MP3ProgressDlg::onExit);

    auto* grid = new QGridLayout;
    int row = 0;
    auto addRow = [&](int id, const char* caption, QLabel* value) {
        CRecorderProgressDlg::addRow(grid, row, id, caption, value);
    };
    addRow(kDevice, "Input Device:", device);
    addRow(kFile, "Output File:", m_file);
    addRow(kBitrate, "Encoding Bitrate:", m_bitrate);
    addRow(kTotalSpace, "Total Disk Space:", m_total);
    addRow(kFreeSpace, "Free Disk Space:", m_free);
    addRow(kStatus, "Status:", m_status);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_start, m_pause, m_stop, exit})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(controlText(kDialogId, -kMonitor, "Signal Monitor"), this));
    layout->addWidget(m_monitor, 1);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    resize(460, 360);

    m_timer = new QTimer(this);
    m_timer->setInterval(kTimerMs);
    connect(m_timer, &QTimer::timeout, this, &CMIC2MP3ProgressDlg::onTimer);
    m_timer->start();
    showDiskSpace(m_total, m_free);
    prepareDevice();
    onTimer();
}

CMIC2MP3ProgressDlg::~CMIC2MP3ProgressDlg() {
    m_timer->stop();
    m_engine.Stop();
    m_engine.ReleasePreparedDevice();
    m_engine.SetMonitorWindow(nullptr);
}

void CMIC2MP3ProgressDlg::prepareDevice() {
    if (m_deviceId >= 0 && m_engine.SelectDevice(static_cast<uint32_t>(m_deviceId)))
        m_engine.PrepareDevice();
}

void CMIC2MP3ProgressDlg::onTimer() {
    const cld::JobState state = m_progress.state();
    bool recording = state == cld::JobState::Running || state == cld::JobState::Paused;
    if (recording && m_progress.errorCode() != 0) {
        // The file cannot take more (a full disk): what was written is closed and kept.
        m_progress.abort();
        recording = false;
        m_status->setText(AppResources::string(168));
        m_monitor->Clear();
        const int err = m_engine.GetWriteErrno();
        cld::showMessage(cld::IDS_RECORDING_WRITE_FAILED, this, m_outputFile,
                         err != 0 ? QString::fromLocal8Bit(std::strerror(err))
                                  : cld::recorderTableText(196));
        prepareDevice();
    }
    m_start->setEnabled(!recording);
    m_pause->setEnabled(recording);
    m_stop->setEnabled(recording);
    showDiskSpace(m_total, m_free);
}

void CMIC2MP3ProgressDlg::onStart() {
    if (m_engine.IsRecording())
        return;
    const cld::RecorderSession& session = cld::RecorderSession::Instance();
    m_status->setText(AppResources::string(169));
    Mp3EncoderParams& params = m_engine.Params();
    cld::fillRecorderParams(m_context.settings, session.mp3Bitrate, params);
    m_bitrate->setText(QString::fromStdString(cld::bitrateText(params)));
    m_outputFile = QString::fromStdString(cld::recordingFilePath(session.folder, std::time(nullptr),
                                                                 cld::FileNameStyle::Mp3, ".mp3"));
    m_file->setText(m_outputFile);
    m_engine.SetOutputFile(m_outputFile.toStdString());
    m_engine.SetMonitorWindow(m_monitor);
    // The device was opened when the dialog appeared; a device that was not ready then
    // is asked again now.
    const bool selected =
        m_engine.IsDevicePrepared() ||
        (m_deviceId >= 0 && m_engine.SelectDevice(static_cast<uint32_t>(m_deviceId)));
    if (!selected || !m_engine.Start())
        showStartFailure(selected);
    onTimer();
}

void CMIC2MP3ProgressDlg::showStartFailure(bool deviceUsable) {
    m_status->setText(AppResources::string(168));
    if (!deviceUsable) {
        // Why the device cannot record: none at all, held by another program, gone, or
        // none of the formats.
        if (m_deviceId < 0)
            MessageService::message(cld::IDS_NO_CAPTURE_DEVICE, MessageIcon::Error,
                                    MessageButtons::Ok, this);
        else
            cld::showCaptureDeviceProblem(m_engine.GetDeviceName(), m_deviceName, this);
    } else if (m_engine.GetEncoderError() != 0) {
        // The encoder's codes: 102 the file could not be made, 103 the encoder refused.
        MessageService::message(m_engine.GetEncoderError() == 102 ? 196 : 201, MessageIcon::Error,
                                MessageButtons::Ok, this);
    } else {
        MessageService::message(cld::IDS_REC_START_FAILED, MessageIcon::Error, MessageButtons::Ok,
                                this, QString::fromStdString(m_engine.GetErrorText()));
    }
}

void CMIC2MP3ProgressDlg::onPause() {
    if (!m_engine.IsRecording())
        return;
    m_status->setText(AppResources::string(m_engine.IsPaused() ? 169 : 171));
    m_engine.TogglePause();
}

void CMIC2MP3ProgressDlg::onStop() {
    m_status->setText(AppResources::string(168));
    m_engine.Stop();
    // The last waveform is not left standing as if the recording went on.
    m_monitor->Clear();
    prepareDevice();
    onTimer();
}

void CMIC2MP3ProgressDlg::onExit() {
    m_engine.Stop();
    QDialog::accept();
}
