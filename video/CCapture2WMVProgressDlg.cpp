#include "CCapture2WMVProgressDlg.h"

#include "AppResources.h"
#include "CVideoViewArea.h"
#include "GetErrorText.h"
#include "JobContext.h"
#include "MessageService.h"
#include "StringTable.h"
#include "VideoDialogKit.h"
#include "VideoJobState.h"
#include "VideoRules.h"
#include "WMException.h"
#include "WaitService.h"
#include "WmEncoderControl.h"
#include "WmVideoErrors.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace cld;

CCapture2WMVProgressDlg::CCapture2WMVProgressDlg(JobContext& context, QWidget* mainWindow)
    : QDialog(mainWindow), m_context(context), m_audio(videoJobState().audioInput),
      m_video(videoJobState().videoInput),
      m_encoder(std::make_unique<WmEncoderControl>(videoSystemProfileFolder(context),
                                                   videoUserProfileFolder(context))),
      m_mainWindow(mainWindow) {
    setControlId(this, kDialogId);
    setWindowTitle(AppResources::caption(kDialogId));

    m_previewArea = new CVideoViewArea(
        kPreview, AppResources::controlText(kDialogId, kPreview, QStringLiteral("Preview ...")),
        this);
    m_postviewArea = new CVideoViewArea(
        kPostview, AppResources::controlText(kDialogId, kPostview, QStringLiteral("Postview ...")),
        this);
    m_time = makeLabel(kDialogId, kTimeText, QStringLiteral("00:00:00"), this);
    m_size = makeLabel(kDialogId, kSizeText, QString::fromStdString(formatMegabytes(0)), this);
    auto* stop = makeButton(kDialogId, 2, QStringLiteral("&Stop"), this);
    stop->setToolTip(tableText(IDS_SCREEN_CAPTURE_STOP_HINT));

    auto* grid = new QGridLayout;
    grid->addWidget(makeLabel(kDialogId, 0, QStringLiteral("Input Capture Device:"), this), 0, 0);
    grid->addWidget(makeLabel(kDialogId, kInputText, QString::fromStdString(m_video), this), 0, 1);
    grid->addWidget(makeLabel(kDialogId, 0, QStringLiteral("Output File:"), this), 1, 0);
    grid->addWidget(
        makeLabel(kDialogId, kOutputText, QString::fromStdString(videoJobState().outputPath), this),
        1, 1);
    grid->setColumnStretch(1, 1);
    auto* views = new QHBoxLayout;
    views->addWidget(m_previewArea);
    views->addWidget(m_postviewArea);
    auto* figures = new QGridLayout;
    figures->addWidget(makeLabel(kDialogId, 0, QStringLiteral("Elapsed Time:"), this), 0, 0);
    figures->addWidget(m_time, 0, 1);
    figures->addWidget(makeLabel(kDialogId, 0, QStringLiteral("Output file size:"), this), 1, 0);
    figures->addWidget(m_size, 1, 1);
    figures->setColumnStretch(2, 1);
    figures->addWidget(stop, 1, 3);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(views, 1);
    layout->addLayout(figures);
    resize(560, 340);

    connect(stop, &QPushButton::clicked, this, &CCapture2WMVProgressDlg::reject);
    m_timer.setInterval(500);
    connect(&m_timer, &QTimer::timeout, this, &CCapture2WMVProgressDlg::tick);
}

CCapture2WMVProgressDlg::~CCapture2WMVProgressDlg() {
    m_timer.stop();
    m_preview.StopView();
    m_postview.StopView();
    if (m_encoder)
        m_encoder->Stop();
}

void CCapture2WMVProgressDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    // From here until the run ends, closing the dialog only asks the run to stop.
    m_running = true;
    QTimer::singleShot(0, this, [this] {
        WaitService::instance().waitAndPump(500);
        if (m_stop) {
            m_running = false;
            MessageService::message(191, MessageIcon::Exclamation, MessageButtons::Ok, this);
            QDialog::reject();
            return;
        }
        run();
    });
}

void CCapture2WMVProgressDlg::reject() {
    if (m_running) {
        m_stop = true;
        return;
    }
    QDialog::reject();
}

void CCapture2WMVProgressDlg::closeEvent(QCloseEvent* event) {
    if (m_running) {
        m_stop = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CCapture2WMVProgressDlg::run() {
    const VideoJobState& state = videoJobState();
    m_running = true;
    m_timer.start();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        m_encoder->PrepareForFile();
        m_screen = isScreenCaptureEntry(m_video);
        // An empty list left nothing to choose: the device is missing.
        if (m_audio.empty())
            throw WMException(wmerr::kNoCaptureDevice);
        if (m_video.empty())
            throw WMException(wmerr::kDeviceOpen);
        WmSourceGroup& group = m_encoder->AddSourceGroup();
        m_group = &group;
        group.AddVideoSource(m_video, m_screen ? nullptr : &m_preview,
                             m_screen ? nullptr : &m_postview);
        group.SetInput(m_audio);
        group.SetProfile(m_encoder->GetProfile(state.profileIndex));
        group.Activate();
        m_encoder->SetOutputFile(state.outputPath);
        m_encoder->Start();
        if (m_screen) {
            // The program gets out of the picture; a click on its task-bar entry brings
            // this dialog back with Stop ready (Alt+S or Escape).
            if (m_mainWindow) {
                m_mainWindow->installEventFilter(this);
                m_mainWindow->showMinimized();
            }
            showMinimized();
        } else {
            m_preview.SetWindow(m_previewArea);
            m_preview.StartView();
            m_postview.SetWindow(m_postviewArea);
            m_postview.StartView();
        }
        QApplication::restoreOverrideCursor();

        WaitService& waits = WaitService::instance();
        waits.pump();
        while (m_encoder->GetRunState() == WmEncoderControl::kRunning) {
            if (m_stop) {
                QApplication::setOverrideCursor(Qt::WaitCursor);
                m_encoder->Stop();
                QApplication::restoreOverrideCursor();
                finishViews();
                m_running = false;
                restoreMainWindow();
                MessageService::message(191, MessageIcon::Exclamation, MessageButtons::Ok, this);
                QDialog::reject();
                return;
            }
            waits.waitAndPump(100);
        }
        finishViews();
        m_running = false;
        restoreMainWindow();
        if (const uint32_t code = m_encoder->GetLastErrorCode()) {
            fail(code, true);
            return;
        }
        MessageService::message(156, MessageIcon::Information, MessageButtons::Ok, this);
        QDialog::accept();
    } catch (const WMException& e) {
        if (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        finishViews();
        m_running = false;
        restoreMainWindow();
        fail(e.GetCode());
    }
}

void CCapture2WMVProgressDlg::fail(uint32_t code, bool whileWriting) {
    if (whileWriting && m_encoder->GetLastRunReport().partialKept)
        showMessage(IDS_RECORDING_WRITE_FAILED, MessageIcon::Error, this,
                    QString::fromStdString(videoJobState().outputPath),
                    QString::fromStdString(GetErrorText(code)));
    else
        MessageService::text(QString::fromStdString(GetErrorText(code)), MessageIcon::Error,
                             MessageButtons::Ok, this);
    QDialog::reject();
}

bool CCapture2WMVProgressDlg::eventFilter(QObject* watched, QEvent* event) {
    // The main window restored from the task bar while the screen is recorded: this
    // dialog comes with it, its Stop button ready.
    if (watched == m_mainWindow && event->type() == QEvent::WindowStateChange && m_running &&
        m_screen && !m_mainWindow->isMinimized()) {
        showNormal();
        raise();
        activateWindow();
        if (auto* stop = findChild<QPushButton*>(QStringLiteral("2")))
            stop->setFocus();
    }
    return QDialog::eventFilter(watched, event);
}

// The program comes back to the top when the recording ends, however it ended.
void CCapture2WMVProgressDlg::restoreMainWindow() {
    if (m_mainWindow)
        m_mainWindow->removeEventFilter(this);
    if (m_screen && isMinimized())
        showNormal();
    if (m_mainWindow) {
        if (m_mainWindow->isMinimized())
            m_mainWindow->showNormal();
        m_mainWindow->raise();
        m_mainWindow->activateWindow();
    }
}

void CCapture2WMVProgressDlg::tick() {
    const int state = m_encoder->GetRunState();
    if (state == WmEncoderControl::kStopped && m_group)
        finishViews();
    else if (state == WmEncoderControl::kRunning)
        refreshFigures();
}

void CCapture2WMVProgressDlg::finishViews() {
    if (!m_group)
        return;
    refreshFigures();
    m_timer.stop();
    if (!m_screen) {
        m_preview.StopView();
        m_postview.StopView();
    }
    try {
        m_encoder->ReleaseSourceGroup();
    } catch (const WMException&) {
        // Still running: the group goes with the encoder.
    }
    m_group = nullptr;
}

void CCapture2WMVProgressDlg::refreshFigures() {
    try {
        const WmStatistics st = m_encoder->GetStatistics();
        m_time->setText(QString::fromStdString(formatClock(st.encodedMilliseconds)));
        m_size->setText(QString::fromStdString(formatMegabytes(st.fileSize)));
    } catch (const WMException& e) {
        MessageService::text(QString::fromStdString(GetErrorText(e.GetCode())), MessageIcon::Error,
                             MessageButtons::Ok, this);
    }
}
