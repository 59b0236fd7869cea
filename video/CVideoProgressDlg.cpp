#include "CVideoProgressDlg.h"

#include "AppResources.h"
#include "CVideoViewArea.h"
#include "GetErrorText.h"
#include "JobContext.h"
#include "MediaEncodeJob.h"
#include "MessageService.h"
#include "VideoDialogKit.h"
#include "VideoJobState.h"
#include "VideoRules.h"
#include "WMException.h"
#include "WaitService.h"
#include "WmEncoderControl.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

using namespace cld;

CVideoProgressDlg::CVideoProgressDlg(JobContext& context, QWidget* parent, const Look& look)
    : QDialog(parent), m_encoder(std::make_unique<WmEncoderControl>(
                           videoSystemProfileFolder(context), videoUserProfileFolder(context))),
      m_pollMs(look.pollMs), m_figuresOnlyWhileRunning(look.figuresOnlyWhileRunning) {
    const int id = look.dialogId;
    setControlId(this, id);
    setWindowTitle(AppResources::caption(id));

    m_previewArea = new CVideoViewArea(
        kPreview, AppResources::controlText(id, kPreview, QStringLiteral("Preview ...")), this);
    m_postviewArea = new CVideoViewArea(
        kPostview, AppResources::controlText(id, kPostview, QStringLiteral("Postview ...")), this);
    if (look.withProgress) {
        m_progress = new QProgressBar(this);
        setControlId(m_progress, kProgress);
        m_progress->setRange(0, 100);
        m_progress->setValue(0);
    }
    m_time = makeLabel(id, kTimeText, QStringLiteral("00:00:00"), this);
    m_size = makeLabel(id, kSizeText, QString::fromStdString(formatMegabytes(0)), this);
    m_button = makeButton(id, 2, look.buttonText, this);

    auto* grid = new QGridLayout;
    grid->addWidget(makeLabel(id, 0, look.inputCaption, this), 0, 0);
    grid->addWidget(makeLabel(id, kInputText, look.inputText, this), 0, 1);
    grid->addWidget(makeLabel(id, 0, QStringLiteral("Output File:"), this), 1, 0);
    grid->addWidget(
        makeLabel(id, kOutputText, QString::fromStdString(videoJobState().outputPath), this), 1, 1);
    grid->setColumnStretch(1, 1);
    auto* views = new QHBoxLayout;
    views->addWidget(m_previewArea);
    views->addWidget(m_postviewArea);
    auto* figures = new QGridLayout;
    figures->addWidget(makeLabel(id, 0, look.timeCaption, this), 0, 0);
    figures->addWidget(m_time, 0, 1);
    figures->addWidget(makeLabel(id, 0, QStringLiteral("Output file size:"), this), 1, 0);
    figures->addWidget(m_size, 1, 1);
    figures->setColumnStretch(2, 1);
    figures->addWidget(m_button, 1, 3);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(views, 1);
    if (m_progress)
        layout->addWidget(m_progress);
    layout->addLayout(figures);
    resize(560, look.height);

    connect(m_button, &QPushButton::clicked, this, &CVideoProgressDlg::reject);
    m_timer.setInterval(500);
    connect(&m_timer, &QTimer::timeout, this, &CVideoProgressDlg::tick);
}

CVideoProgressDlg::~CVideoProgressDlg() {
    m_timer.stop();
    // The views stop before their areas go; the encoder finishes its file.
    m_preview.StopView();
    m_postview.StopView();
    if (m_encoder)
        m_encoder->Stop();
}

void CVideoProgressDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    // From here until the run ends, closing the dialog only asks the run to stop.
    m_running = true;
    QTimer::singleShot(0, this, [this] {
        // The window is drawn before the run starts (at most half a second's wait).
        m_painted = false;
        update();
        WaitService& waits = WaitService::instance();
        waits.waitAndPump(10);
        waits.waitUntil(490, [this] { return m_painted || m_cancel; });
        if (m_cancel) {
            m_running = false;
            MessageService::message(191, MessageIcon::Exclamation, MessageButtons::Ok, this);
            QDialog::reject();
            return;
        }
        run();
    });
}

void CVideoProgressDlg::paintEvent(QPaintEvent* event) {
    m_painted = true;
    QDialog::paintEvent(event);
}

void CVideoProgressDlg::reject() {
    // While the encoder runs, the button only asks the run to stop.
    if (m_running) {
        m_cancel = true;
        return;
    }
    QDialog::reject();
}

void CVideoProgressDlg::closeEvent(QCloseEvent* event) {
    if (m_running) {
        m_cancel = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CVideoProgressDlg::startViews() {
    m_preview.SetWindow(m_previewArea);
    m_preview.StartView();
    m_postview.SetWindow(m_postviewArea);
    m_postview.StartView();
}

// The dialog as the observer of its run: the run's start and its waits, with the
// window's events flowing and the user's stop passed on.
class CVideoProgressDlg::RunObserver : public cld::engine::JobObserver {
public:
    RunObserver(CVideoProgressDlg& dialog, cld::engine::MediaEncodeJob& job)
        : m_dialog(dialog), m_job(job) {}
    void itemStarted(const cld::engine::ItemStart&) override {
        m_dialog.runStarted();
        QApplication::restoreOverrideCursor();
        WaitService::instance().pump();
    }
    cld::engine::Answer ask(const cld::engine::Question&) override {
        return cld::engine::Answer::Stop;
    }
    void wait(int milliseconds, const std::function<bool()>& ready) override {
        WaitService::instance().waitUntil(milliseconds,
                                          [&] { return m_dialog.m_cancel || (ready && ready()); });
        if (m_dialog.m_cancel && !m_job.cancelled()) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            m_stopCursor = true;
            m_job.cancel();
        }
    }
    ~RunObserver() override {
        if (m_stopCursor)
            QApplication::restoreOverrideCursor();
    }

private:
    CVideoProgressDlg& m_dialog;
    cld::engine::MediaEncodeJob& m_job;
    bool m_stopCursor = false;
};

void CVideoProgressDlg::run() {
    const VideoJobState& state = videoJobState();
    m_running = true;
    m_timer.start();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        prepareRun();
        WmSourceGroup& group = m_encoder->AddSourceGroup();
        m_group = &group;
        addSources(group);
        group.SetProfile(m_encoder->GetProfile(state.profileIndex));
        group.Activate();
        m_encoder->SetOutputFile(state.outputPath);
        // The views are ready before the first picture is encoded.
        if (showsViews())
            startViews();
    } catch (const WMException& e) {
        endWithFailure(e.GetCode());
        return;
    }
    cld::engine::MediaEncodeJob job(*m_encoder, m_pollMs);
    cld::engine::JobEnd end;
    {
        RunObserver observer(*this, job);
        end = job.run(observer);
    }
    if (job.failedAtStart()) {
        endWithFailure(job.failureCode());
        return;
    }
    finishViews();
    m_running = false;
    runEnded();
    if (end.result == cld::engine::JobResult::Aborted) {
        MessageService::message(191, MessageIcon::Exclamation, MessageButtons::Ok, this);
        QDialog::reject();
        return;
    }
    if (const uint32_t code = job.failureCode()) {
        fail(code, true);
        return;
    }
    if (!toldIncompleteEnd())
        MessageService::message(156, MessageIcon::Information, MessageButtons::Ok, this);
    QDialog::accept();
}

void CVideoProgressDlg::endWithFailure(uint32_t code) {
    if (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    finishViews();
    m_running = false;
    runEnded();
    fail(code);
}

void CVideoProgressDlg::fail(uint32_t code, bool whileWriting) {
    const int told = whileWriting ? writeFailureText(code) : 0;
    if (told != 0)
        showMessage(told, MessageIcon::Error, this,
                    QString::fromStdString(videoJobState().outputPath), errorText(code));
    else
        MessageService::text(errorText(code), MessageIcon::Error, MessageButtons::Ok, this);
    QDialog::reject();
}

void CVideoProgressDlg::tick() {
    const int state = m_encoder->GetRunState();
    if (state == WmEncoderControl::kStopped)
        finishViews();
    else if (state == WmEncoderControl::kRunning || !m_figuresOnlyWhileRunning)
        refreshFigures();
}

// The last figures, the views stopped and the source group gone; done once.
void CVideoProgressDlg::finishViews() {
    if (!m_group)
        return;
    refreshFigures();
    m_timer.stop();
    if (showsViews()) {
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

void CVideoProgressDlg::refreshFigures() {
    try {
        const WmStatistics st = m_encoder->GetStatistics();
        m_time->setText(QString::fromStdString(formatClock(st.encodedMilliseconds)));
        m_size->setText(QString::fromStdString(formatMegabytes(st.fileSize)));
        if (m_progress)
            m_progress->setValue(progressPercent(st.encodedMilliseconds, m_duration));
    } catch (const WMException& e) {
        MessageService::text(errorText(e.GetCode()), MessageIcon::Error, MessageButtons::Ok, this);
    }
}
