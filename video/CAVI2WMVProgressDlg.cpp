#include "CAVI2WMVProgressDlg.h"

#include "AppResources.h"
#include "CVideoViewArea.h"
#include "GetErrorText.h"
#include "JobContext.h"
#include "MediaDuration.h"
#include "MessageService.h"
#include "StringTable.h"
#include "VideoDialogKit.h"
#include "VideoJobState.h"
#include "VideoRules.h"
#include "WMException.h"
#include "WaitService.h"
#include "WmEncoderControl.h"
#include "WmErrors.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

using namespace cld;

CAVI2WMVProgressDlg::CAVI2WMVProgressDlg(JobContext& context, QWidget* parent)
    : QDialog(parent), m_context(context),
      m_encoder(std::make_unique<WmEncoderControl>(videoSystemProfileFolder(context),
                                                   videoUserProfileFolder(context))) {
    setControlId(this, kDialogId);
    setWindowTitle(AppResources::caption(kDialogId));
    const VideoJobState& state = videoJobState();

    m_previewArea = new CVideoViewArea(
        kPreview, AppResources::controlText(kDialogId, kPreview, QStringLiteral("Preview ...")),
        this);
    m_postviewArea = new CVideoViewArea(
        kPostview, AppResources::controlText(kDialogId, kPostview, QStringLiteral("Postview ...")),
        this);
    m_progress = new QProgressBar(this);
    setControlId(m_progress, kProgress);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_time = makeLabel(kDialogId, kTimeText, QStringLiteral("00:00:00"), this);
    m_size = makeLabel(kDialogId, kSizeText, QString::fromStdString(formatMegabytes(0)), this);
    m_cancelButton = makeButton(kDialogId, 2, QStringLiteral("&Cancel"), this);

    auto* grid = new QGridLayout;
    grid->addWidget(makeLabel(kDialogId, 0, QStringLiteral("Input File:"), this), 0, 0);
    grid->addWidget(makeLabel(kDialogId, kInputText, QString::fromStdString(state.inputPath), this),
                    0, 1);
    grid->addWidget(makeLabel(kDialogId, 0, QStringLiteral("Output File:"), this), 1, 0);
    grid->addWidget(
        makeLabel(kDialogId, kOutputText, QString::fromStdString(state.outputPath), this), 1, 1);
    grid->setColumnStretch(1, 1);
    auto* views = new QHBoxLayout;
    views->addWidget(m_previewArea);
    views->addWidget(m_postviewArea);
    auto* figures = new QGridLayout;
    figures->addWidget(makeLabel(kDialogId, 0, QStringLiteral("Encoded content time:"), this), 0,
                       0);
    figures->addWidget(m_time, 0, 1);
    figures->addWidget(makeLabel(kDialogId, 0, QStringLiteral("Output file size:"), this), 1, 0);
    figures->addWidget(m_size, 1, 1);
    figures->setColumnStretch(2, 1);
    figures->addWidget(m_cancelButton, 1, 3);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(views, 1);
    layout->addWidget(m_progress);
    layout->addLayout(figures);
    resize(560, 360);

    connect(m_cancelButton, &QPushButton::clicked, this, &CAVI2WMVProgressDlg::reject);
    m_timer.setInterval(500);
    connect(&m_timer, &QTimer::timeout, this, &CAVI2WMVProgressDlg::tick);
}

CAVI2WMVProgressDlg::~CAVI2WMVProgressDlg() {
    m_timer.stop();
    // The views stop before their areas go; the encoder finishes its file.
    m_preview.StopView();
    m_postview.StopView();
    if (m_encoder)
        m_encoder->Stop();
}

void CAVI2WMVProgressDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    // From here until the run ends, closing the dialog only asks the run to stop.
    m_running = true;
    QTimer::singleShot(0, this, [this] {
        WaitService::instance().waitAndPump(500);
        if (m_cancel) {
            m_running = false;
            MessageService::message(191, MessageIcon::Exclamation, MessageButtons::Ok, this);
            QDialog::reject();
            return;
        }
        run();
    });
}

void CAVI2WMVProgressDlg::reject() {
    // While the encoder runs, Cancel only asks the run to stop.
    if (m_running) {
        m_cancel = true;
        return;
    }
    QDialog::reject();
}

void CAVI2WMVProgressDlg::closeEvent(QCloseEvent* event) {
    if (m_running) {
        m_cancel = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CAVI2WMVProgressDlg::run() {
    const VideoJobState& state = videoJobState();
    m_running = true;
    m_timer.start();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        const std::string input = "FILE://" + state.inputPath;
        m_duration = GetMediaDuration(input);
        m_encoder->PrepareForFile();
        WmSourceGroup& group = m_encoder->AddSourceGroup();
        m_group = &group;
        group.SetInput(input);
        group.AddVideoSource(input, &m_preview, &m_postview);
        group.SetProfile(m_encoder->GetProfile(state.profileIndex));
        group.Activate();
        m_encoder->SetOutputFile(state.outputPath);
        m_encoder->Start();
        m_preview.SetWindow(m_previewArea);
        m_preview.StartView();
        m_postview.SetWindow(m_postviewArea);
        m_postview.StartView();
        QApplication::restoreOverrideCursor();

        WaitService& waits = WaitService::instance();
        waits.pump();
        while (m_encoder->GetRunState() == WmEncoderControl::kRunning) {
            if (m_cancel) {
                QApplication::setOverrideCursor(Qt::WaitCursor);
                m_encoder->Stop();
                QApplication::restoreOverrideCursor();
                finishViews();
                m_running = false;
                MessageService::message(191, MessageIcon::Exclamation, MessageButtons::Ok, this);
                QDialog::reject();
                return;
            }
            waits.waitAndPump(200);
        }
        finishViews();
        m_running = false;
        if (const uint32_t code = m_encoder->GetLastErrorCode()) {
            fail(code, true);
            return;
        }
        // An input that ended before its declared length is converted as far as it goes;
        // the user is told instead of seeing a clean "Process completed.".
        const auto& report = m_encoder->GetLastRunReport();
        if (report.inputEndedEarly) {
            const QString read = QString::number(report.readSeconds, 'f', 1);
            if (report.declaredSeconds > 0)
                showMessage(IDS_VIDEO_INPUT_ENDED_EARLY, MessageIcon::Exclamation, this, read,
                            QString::number(report.declaredSeconds, 'f', 1));
            else
                showMessage(IDS_VIDEO_INPUT_DAMAGED, MessageIcon::Exclamation, this, read);
            QDialog::accept();
            return;
        }
        MessageService::message(156, MessageIcon::Information, MessageButtons::Ok, this);
        QDialog::accept();
    } catch (const WMException& e) {
        if (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        finishViews();
        m_running = false;
        fail(e.GetCode());
    }
}

void CAVI2WMVProgressDlg::fail(uint32_t code, bool whileWriting) {
    const bool systemReason = (code & 0xFFFF0000u) == 0x80070000u || code == wmerr::kWriteFailed;
    if (whileWriting && systemReason)
        showMessage(IDS_VIDEO_WRITE_FAILED, MessageIcon::Error, this,
                    QString::fromStdString(videoJobState().outputPath),
                    QString::fromStdString(GetErrorText(code)));
    else
        MessageService::text(QString::fromStdString(GetErrorText(code)), MessageIcon::Error,
                             MessageButtons::Ok, this);
    QDialog::reject();
}

void CAVI2WMVProgressDlg::tick() {
    if (m_encoder->GetRunState() != WmEncoderControl::kStopped) {
        refreshFigures();
        return;
    }
    finishViews();
}

// The last figures, the views stopped and the source group gone; done once.
void CAVI2WMVProgressDlg::finishViews() {
    if (!m_group)
        return;
    refreshFigures();
    m_timer.stop();
    m_preview.StopView();
    m_postview.StopView();
    try {
        m_encoder->ReleaseSourceGroup();
    } catch (const WMException&) {
        // Still running: the group goes with the encoder.
    }
    m_group = nullptr;
}

void CAVI2WMVProgressDlg::refreshFigures() {
    try {
        const WmStatistics st = m_encoder->GetStatistics();
        m_time->setText(QString::fromStdString(formatClock(st.encodedMilliseconds)));
        m_size->setText(QString::fromStdString(formatMegabytes(st.fileSize)));
        m_progress->setValue(progressPercent(st.encodedMilliseconds, m_duration));
    } catch (const WMException& e) {
        MessageService::text(QString::fromStdString(GetErrorText(e.GetCode())), MessageIcon::Error,
                             MessageButtons::Ok, this);
    }
}
