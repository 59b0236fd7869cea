#include "CCapture2WMVProgressDlg.h"

#include "StringIds.h"
#include "StringTable.h"
#include "VideoDialogKit.h"
#include "VideoJobState.h"
#include "VideoRules.h"
#include "WMException.h"
#include "WmEncoderControl.h"
#include "WmVideoErrors.h"

#include <QEvent>
#include <QPushButton>

using namespace cld;

namespace {

CVideoProgressDlg::Look captureLook() {
    CVideoProgressDlg::Look look;
    look.dialogId = CCapture2WMVProgressDlg::kDialogId;
    look.inputCaption = QStringLiteral("Input Capture Device:");
    look.inputText = QString::fromStdString(videoJobState().videoInput);
    look.timeCaption = QStringLiteral("Elapsed Time:");
    look.buttonText = QStringLiteral("&Stop");
    look.withProgress = false;
    look.height = 340;
    look.pollMs = 100;
    look.figuresOnlyWhileRunning = true;
    return look;
}

} // namespace

CCapture2WMVProgressDlg::CCapture2WMVProgressDlg(JobContext& context, QWidget* mainWindow)
    : CVideoProgressDlg(context, mainWindow, captureLook()), m_audio(videoJobState().audioInput),
      m_video(videoJobState().videoInput), m_mainWindow(mainWindow) {
    stopButton()->setToolTip(tableText(IDS_SCREEN_CAPTURE_STOP_HINT));
}

void CCapture2WMVProgressDlg::prepareRun() {
    encoder().PrepareForFile();
    m_screen = isScreenCaptureEntry(m_video);
    // An empty list left nothing to choose: the device is missing.
    if (m_audio.empty())
        throw WMException(wmerr::kNoCaptureDevice);
    if (m_video.empty())
        throw WMException(wmerr::kDeviceOpen);
}

void CCapture2WMVProgressDlg::addSources(WmSourceGroup& group) {
    group.AddVideoSource(m_video, m_screen ? nullptr : &m_preview,
                         m_screen ? nullptr : &m_postview);
    group.SetInput(m_audio);
}

void CCapture2WMVProgressDlg::runStarted() {
    if (!m_screen) {
        startViews();
        return;
    }
    // The program gets out of the picture; a click on its task-bar entry brings this
    // dialog back with Stop ready (Alt+S or Escape).
    if (m_mainWindow) {
        m_mainWindow->installEventFilter(this);
        m_mainWindow->showMinimized();
    }
    showMinimized();
}

int CCapture2WMVProgressDlg::writeFailureText(uint32_t /*code*/) const {
    return encoder().GetLastRunReport().partialKept ? IDS_RECORDING_WRITE_FAILED : 0;
}

bool CCapture2WMVProgressDlg::eventFilter(QObject* watched, QEvent* event) {
    // The main window restored from the task bar while the screen is recorded: this
    // dialog comes with it, its Stop button ready.
    if (watched == m_mainWindow && event->type() == QEvent::WindowStateChange && running() &&
        m_screen && !m_mainWindow->isMinimized()) {
        showNormal();
        raise();
        activateWindow();
        stopButton()->setFocus();
    }
    return CVideoProgressDlg::eventFilter(watched, event);
}

// The program comes back to the top when the recording ends, however it ended.
void CCapture2WMVProgressDlg::runEnded() {
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
