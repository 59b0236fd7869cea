#include "CMIC2WMAProgressDlg.h"

#include "AlsaDeviceSource.h"
#include "AppResources.h"
#include "GetErrorText.h"
#include "JobContext.h"
#include "MediaEncodeJob.h"
#include "MessageService.h"
#include "RecorderLogic.h"
#include "RecorderSession.h"
#include "RecorderUi.h"
#include "StringIds.h"
#include "StringTable.h"
#include "WMException.h"
#include "WaitService.h"
#include "WaveInDevice.h"
#include "WmEncoderControl.h"
#include "WmaRecorderEncoder.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>

// The dialog as the observer of its recording: its figures once the encoder runs, its
// waits with the window's events flowing, and the user's Stop passed on.
class CMIC2WMAProgressDlg::RecordingObserver : public cld::engine::JobObserver {
public:
    RecordingObserver(CMIC2WMAProgressDlg& dialog, cld::engine::MediaEncodeJob& job)
        : m_dialog(dialog), m_job(job) {}
    void itemStarted(const cld::engine::ItemStart&) override { m_dialog.onTimer(); }
    cld::engine::Answer ask(const cld::engine::Question&) override {
        return cld::engine::Answer::Stop;
    }
    void wait(int milliseconds, const std::function<bool()>& ready) override {
        WaitService::instance().waitUntil(milliseconds,
                                          [&] { return m_dialog.m_stopFlag || ready(); });
        if (m_dialog.m_stopFlag && !m_job.cancelled()) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            m_stopCursor = true;
            m_job.cancel();
        }
    }
    ~RecordingObserver() override {
        if (m_stopCursor)
            QApplication::restoreOverrideCursor();
    }

private:
    CMIC2WMAProgressDlg& m_dialog;
    cld::engine::MediaEncodeJob& m_job;
    bool m_stopCursor = false;
};

CMIC2WMAProgressDlg::CMIC2WMAProgressDlg(JobContext& context, const QString& deviceUrl,
                                         QWidget* launcher)
    : CRecorderProgressDlg(kDialogId, launcher), m_context(context), m_deviceUrl(deviceUrl) {
    auto label = [this](int id) { return valueLabel(id, false); };
    m_elapsed = label(kElapsed);
    m_elapsed->setText(QStringLiteral("00:00:00"));
    m_total = label(kTotalSpace);
    m_free = label(kFreeSpace);
    m_device = label(kDevice);
    m_file = label(kFile);
    m_file->setWordWrap(true);
    m_bitrate = label(kBitrate);
    m_status = label(kStatus);
    auto button = [this](int id, const char* text) { return commandButton(id, text); };
    m_start = button(kStart, "&Start");
    m_stop = button(kStop, "S&top");
    auto* exit = button(cld::kIdOk, "&Exit");
    connect(m_start, &QPushButton::clicked, this, &CMIC2WMAProgressDlg::onStart);
    connect(m_stop, &QPushButton::clicked, this, &CMIC2WMAProgressDlg::onStop);
    connect(exit, &QPushButton::clicked, this, &CMIC2WMAProgressDlg::onExit);

    auto* grid = new QGridLayout;
    int row = 0;
    auto addRow = [&](int id, const char* caption, QLabel* value) {
        CRecorderProgressDlg::addRow(grid, row, id, caption, value);
    };
    addRow(kElapsed, "Elapsed Time:", m_elapsed);
    addRow(kDevice, "Input Device:", m_device);
    addRow(kFile, "Output File:", m_file);
    addRow(kBitrate, "Encoding Bitrate:", m_bitrate);
    addRow(kTotalSpace, "Total Disk Space:", m_total);
    addRow(kFreeSpace, "Disk Space Left:", m_free);
    addRow(kStatus, "Status:", m_status);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_start, m_stop, exit})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    resize(460, 260);

    m_timer = new QTimer(this);
    m_timer->setInterval(kTimerMs);
    connect(m_timer, &QTimer::timeout, this, &CMIC2WMAProgressDlg::onTimer);
    showDiskSpace(m_total, m_free);
    m_status->setText(AppResources::string(168));
    // The device is opened while the dialog waits, so that Start records at once.
    cld::parkDeviceSource(m_deviceUrl.toStdString());
}

CMIC2WMAProgressDlg::~CMIC2WMAProgressDlg() {
    m_timer->stop();
    cld::WmaRecorderEncoder::Release();
    cld::releaseParkedDevices();
}

void CMIC2WMAProgressDlg::onStart() {
    if (m_running)
        return;
    // A device held by another application, or one that is gone, is told as such
    // before anything is created.
    const QString prefix = QStringLiteral("DEVICE://");
    if (m_deviceUrl.startsWith(prefix, Qt::CaseInsensitive)) {
        const std::string name = m_deviceUrl.mid(prefix.size()).toStdString();
        // A device this dialog holds open for the recording is ready, not busy.
        const cld::CaptureCheck check =
            cld::isDeviceParked(name) ? cld::CaptureCheck::Ok : cld::checkCaptureDevice(name);
        if (check == cld::CaptureCheck::Busy || check == cld::CaptureCheck::Missing) {
            cld::showCaptureDeviceProblem(name, m_deviceUrl, this);
            return;
        }
    } else if (m_deviceUrl.isEmpty()) {
        MessageService::message(cld::IDS_NO_CAPTURE_DEVICE, MessageIcon::Error, MessageButtons::Ok,
                                this);
        return;
    }
    m_running = true;
    m_stopFlag = false;
    m_start->setEnabled(false);
    m_startTime = std::time(nullptr);
    m_timer->start();
    WmEncoderControl* encoder = nullptr;
    try {
        encoder = &cld::WmaRecorderEncoder::Get(m_context.programFolder.toStdString());
        const cld::RecorderSession& session = cld::RecorderSession::Instance();
        encoder->PrepareForFile();
        WmSourceGroup& group = encoder->AddSourceGroup();
        group.SetInput(m_deviceUrl.toStdString());
        group.Activate();
        group.SetProfile(encoder->GetProfile(session.wmaProfileIndex));
        m_device->setText(m_deviceUrl);
        m_outputFile = QString::fromStdString(
            cld::recordingFilePath(session.folder, m_startTime, cld::FileNameStyle::Wma, ".wma"));
        encoder->SetOutputFile(m_outputFile.toStdString());
        m_file->setText(m_outputFile);
        // The dialog stays responsive while the encoder records on its own thread; Stop
        // ends the run.
        cld::engine::MediaEncodeJob job(*encoder, 300);
        RecordingObserver observer(*this, job);
        job.run(observer);
        if (job.failedAtStart())
            throw WMException(job.failureCode());
        if (const uint32_t failure = job.failureCode()) {
            // A disk that filled up: the recording up to then is kept as a valid file.
            if (encoder->GetLastRunReport().partialKept) {
                encoder->ReleaseSourceGroup();
                m_status->setText(AppResources::string(168));
                cld::showMessage(cld::IDS_RECORDING_WRITE_FAILED, this, m_outputFile,
                                 QString::fromStdString(GetErrorText(failure)));
                m_timer->stop();
                onTimer();
                m_running = false;
                m_start->setEnabled(true);
                cld::parkDeviceSource(m_deviceUrl.toStdString());
                return;
            }
            throw WMException(failure);
        }
    } catch (const WMException& e) {
        if (encoder && encoder->GetRunState() != WmEncoderControl::kRunning)
            encoder->ReleaseSourceGroup();
        m_status->setText(AppResources::string(168));
        MessageService::text(QString::fromStdString(GetErrorText(e.GetCode())), MessageIcon::Error,
                             MessageButtons::Ok, this);
    }
    m_timer->stop();
    onTimer();
    m_running = false;
    m_start->setEnabled(true);
    cld::parkDeviceSource(m_deviceUrl.toStdString());
}

void CMIC2WMAProgressDlg::onTimer() {
    if (m_running)
        m_elapsed->setText(QString::fromStdString(
            cld::elapsedText(static_cast<int64_t>(std::time(nullptr) - m_startTime))));
    showDiskSpace(m_total, m_free);
    WmEncoderControl* encoder = cld::WmaRecorderEncoder::Current();
    const bool running = encoder && encoder->GetRunState() == WmEncoderControl::kRunning;
    m_status->setText(AppResources::string(running ? 169 : 168));
    if (encoder)
        m_bitrate->setText(QStringLiteral("%1 Kbps").arg(encoder->GetStatistics().bitrate / 1000));
}

void CMIC2WMAProgressDlg::onStop() {
    m_stopFlag = true;
    if (WmEncoderControl* encoder = cld::WmaRecorderEncoder::Current())
        encoder->Stop();
    m_status->setText(AppResources::string(168));
}

void CMIC2WMAProgressDlg::onExit() {
    m_stopFlag = true;
    QDialog::accept();
}
