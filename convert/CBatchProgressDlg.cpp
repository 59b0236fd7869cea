#include "CBatchProgressDlg.h"

#include "AppResources.h"
#include "CProgressBar.h"
#include "ConvertIds.h"
#include "ConvertPaths.h"
#include "DialogKit.h"
#include "FileBatch.h"
#include "FolderCover.h"
#include "GenreList.h"
#include "GrabErrorText.h"
#include "GrabRun.h"
#include "JobContext.h"
#include "JobRun.h"
#include "Log.h"
#include "MediaErrorText.h"
#include "MessageService.h"
#include "ProgressFigures.h"
#include "RipperCalls.h"
#include "SafeFiles.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "TakenNames.h"
#include "VerifiedRip.h"
#include "WaitService.h"
#include "cldrip/CDRipDriveSettings.h"
#include "cldrip/CDRipObject.h"
#include "cldrip/GrabStatus.h"
#include "cldrip/NameText.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

using namespace cld;
using cld::engine::GrabSnapshot;
using cld::engine::lastTrackResult;
using cld::engine::LibraryText;
using cld::engine::snapshot;

namespace {

constexpr int kWaitStep = 10;

// The overall bar of a file batch counts in thousandths of the batch's audio.
constexpr int kOverallSteps = 1000;

QString joinedNames(const std::vector<std::string>& files) {
    QStringList names;
    for (const std::string& file : files)
        names << QString::fromStdString(file);
    return names.join(QStringLiteral("\n"));
}

constexpr char kDash[] = "-";

} // namespace

CBatchProgressDlg::CBatchProgressDlg(JobContext& context, const cld::engine::JobSpec& params,
                                     int dialogId, int titleStringId, bool samplesControl,
                                     QWidget* parent)
    : QDialog(parent), m_context(context), m_params(params), m_titleStringId(titleStringId) {
    setControlId(this, dialogId);
    setWindowTitle(AppResources::caption(dialogId));

    struct Row {
        int id;
        const char* label;
    };
    const Row texts[] = {
        {IDC_INPUT_FILE, "Input File:"},
        {IDC_OUTPUT_FILE, "Output File:"},
        {IDC_FILE_COUNT, "Current File:"},
        {IDC_ELAPSED, "Elapsed Time:"},
        {IDC_TOTAL_ELAPSED, "Total Elapsed Time:"},
        {IDC_ESTIMATED, "Estimated Time:"},
        {IDC_MEDIA_BITRATE, "Media Bitrate:"},
        {IDC_OUTPUT_SIZE, "Output File Size:"},
        {IDC_PERFORMANCE, "Performance:"},
        {IDC_SAMPLES, "Samples per Second:"},
        {IDC_DISK_FREE, "Disk space left:"},
        {IDC_DISK_TOTAL, "Total disk space:"},
    };
    auto* grid = new QGridLayout;
    int row = 0;
    for (const Row& r : texts) {
        if (r.id == IDC_SAMPLES && !samplesControl)
            continue;
        auto* value = new QLabel(this);
        setControlId(value, r.id);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(makeStatic(this, r.label), row, 0);
        grid->addWidget(value, row, 1);
        m_values[r.id] = value;
        ++row;
    }
    const Row bars[] = {{IDC_CURRENT_BAR, "Current File Progress"},
                        {IDC_OVERALL_BAR, "Overall Progress"},
                        {IDC_GRAB_BAR, "CDA Grabbing Progress"}};
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    for (const Row& r : bars) {
        auto* b = new CProgressBar(this);
        setControlId(b, r.id);
        b->setRange(0, 100);
        b->setStep(1);
        layout->addWidget(makeStatic(this, r.label));
        layout->addWidget(b);
        m_bars[r.id] = b;
    }
    m_abortButton = makeButton(this, dialogId, IDC_CANCEL, "&Abort");
    connect(m_abortButton, &QPushButton::clicked, this, &CBatchProgressDlg::requestAbort);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_abortButton);
    layout->addLayout(buttons);
    setMinimumWidth(460);

    m_timer = new QTimer(this);
    m_timer->setInterval(500);
    connect(m_timer, &QTimer::timeout, this, [this] { refreshFigures(); });
    // The batch starts once the dialog's own event loop runs.
    QTimer::singleShot(0, this, &CBatchProgressDlg::start);
}

CBatchProgressDlg::~CBatchProgressDlg() = default;

void CBatchProgressDlg::start() {
    if (m_running)
        return;
    m_running = true;
    m_jobStart = std::time(nullptr);
    m_fileStart = m_jobStart;
    m_context.waits().pump();
    waitUntilPainted(500);
    setWindowTitle(windowTitle() + AppResources::string(m_titleStringId));
    bar(IDC_GRAB_BAR)->setEnabled(isCdJob());
    m_timer->start();
    if (!m_abort)
        runBatch();
    m_timer->stop();
    m_running = false;
    QApplication::restoreOverrideCursor();
    done(QDialog::Rejected);
}

void CBatchProgressDlg::requestAbort() {
    if (m_abort)
        return;
    m_abort = true;
    if (m_fileJob) {
        // The files in work stop now and no other starts; the workers close their files
        // after the block in progress.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_abortCursor = true;
        m_fileJob->abort();
    }
    if (m_cdJob) {
        // The job stops the read and the encoders after the block in progress.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_abortCursor = true;
        m_cdJob->cancel();
    }
    onAbort();
}

void CBatchProgressDlg::reject() {
    if (m_running) {
        requestAbort();
        return;
    }
    QDialog::reject();
}

void CBatchProgressDlg::waitUntil(int milliseconds, const std::function<bool()>& done) {
    m_context.waits().waitUntil(
        milliseconds, [&] { return m_abort || (done && done()); }, kWaitStep);
}

void CBatchProgressDlg::waitUntilPainted(int milliseconds) {
    m_painted = false;
    update();
    // One short wait even when the drawing is done at once, so that the window system
    // gets to show it.
    m_context.waits().waitAndPump(kWaitStep);
    waitUntil(milliseconds - kWaitStep, [this] { return m_painted; });
}

void CBatchProgressDlg::paintEvent(QPaintEvent* event) {
    m_painted = true;
    QDialog::paintEvent(event);
}

void CBatchProgressDlg::setText(int controlId, const QString& value) {
    const auto it = m_values.find(controlId);
    if (it != m_values.end())
        it->second->setText(value);
}

void CBatchProgressDlg::setText(int controlId, const std::string& value) {
    setText(controlId, QString::fromStdString(value));
}

QString CBatchProgressDlg::text(int controlId) const {
    const auto it = m_values.find(controlId);
    return it != m_values.end() ? it->second->text() : QString();
}

CProgressBar* CBatchProgressDlg::bar(int controlId) const {
    return m_bars.at(controlId);
}

void CBatchProgressDlg::showFileCount(int index, int count) {
    setText(IDC_FILE_COUNT, QStringLiteral("%1 of %2").arg(index).arg(count));
}

void CBatchProgressDlg::showTimes(int64_t remainingSeconds) {
    const std::time_t now = std::time(nullptr);
    setText(IDC_ELAPSED, clockText(now - m_fileStart));
    setText(IDC_TOTAL_ELAPSED, clockText(now - m_jobStart));
    if (remainingSeconds >= 0)
        setText(IDC_ESTIMATED, clockText(remainingSeconds));
}

void CBatchProgressDlg::showDiskSpace(const std::string& path) {
    if (const auto space = diskSpaceFor(path)) {
        setText(IDC_DISK_FREE, gigabytesText(space->freeBytes));
        setText(IDC_DISK_TOTAL, gigabytesText(space->totalBytes));
    }
}

void CBatchProgressDlg::setBarsToEnd() {
    for (int id : {IDC_CURRENT_BAR, IDC_OVERALL_BAR}) {
        CProgressBar* b = bar(id);
        b->setPos(b->upper());
    }
}

void CBatchProgressDlg::finishCompleted() {
    setBarsToEnd();
    refreshFigures();
    m_timer->stop();
    waitUntilPainted(500);
    m_completed = true;
    if (!m_inexactTracks.empty()) {
        std::string lines;
        for (const std::string& line : m_inexactTracks)
            lines += line + "\n";
        message(IDS_GRAB_NOT_EXACT, MessageIcon::Exclamation,
                QString::fromStdString(lines + grabAdviceText()));
        return;
    }
    if (m_total <= 0) {
        message(156, MessageIcon::Information);
        return;
    }
    QString text = AppResources::string(156) + QStringLiteral("\n\n") +
                   AppResources::string(IDS_FILES_CONVERTED).arg(m_converted).arg(m_total);
    if (!m_skipped.empty())
        text += QStringLiteral("\n") +
                AppResources::string(IDS_FILES_SKIPPED).arg(joinedNames(m_skipped));
    QApplication::restoreOverrideCursor();
    m_context.messages().show(
        Message{156, text, MessageIcon::Information, MessageButtons::Ok, this});
}

void CBatchProgressDlg::finishStopped() {
    refreshFigures();
    m_timer->stop();
    QString text = AppResources::string(IDS_BATCH_STOPPED) + QStringLiteral("\n\n") +
                   AppResources::string(IDS_FILES_CONVERTED).arg(m_converted).arg(m_total);
    if (!m_skipped.empty())
        text += QStringLiteral("\n") +
                AppResources::string(IDS_FILES_SKIPPED).arg(joinedNames(m_skipped));
    if (!m_notConverted.empty())
        text += QStringLiteral("\n") +
                AppResources::string(IDS_FILES_NOT_CONVERTED).arg(joinedNames(m_notConverted));
    QApplication::restoreOverrideCursor();
    m_context.messages().show(
        Message{IDS_BATCH_STOPPED, text, MessageIcon::Information, MessageButtons::Ok, this});
}

void CBatchProgressDlg::beginFileBatch(int total) {
    m_total = total;
    m_converted = 0;
    m_skipped.clear();
    m_notConverted.clear();
}

bool CBatchProgressDlg::reportFileFailure(int stringId, const std::string& file,
                                          const std::string& reason, bool askToSkip,
                                          const std::string& input, int addedStringId) {
    QString text = AppResources::string(stringId);
    if (text.isEmpty())
        text = QStringLiteral("Message %1").arg(stringId);
    text += QStringLiteral("\n\n") +
            AppResources::string(IDS_FAILED_FILE).arg(QString::fromStdString(file));
    if (!reason.empty())
        text += QStringLiteral("\n") +
                AppResources::string(IDS_FAILED_REASON).arg(QString::fromStdString(reason));
    if (addedStringId != 0)
        text += QStringLiteral("\n\n") + AppResources::string(addedStringId);
    if (askToSkip)
        text += QStringLiteral("\n\n") + AppResources::string(IDS_SKIP_FILE_ASK);
    QApplication::restoreOverrideCursor();
    const MessageResult answer = m_context.messages().show(
        Message{stringId, text, MessageIcon::Error,
                askToSkip ? MessageButtons::YesNo : MessageButtons::Ok, this});
    if (!askToSkip || answer != MessageResult::Yes || m_abort)
        return false;
    m_skipped.push_back(input);
    return true;
}

std::vector<std::string> CBatchProgressDlg::batchFiles(const std::string& extension) const {
    if (!m_params.inputFiles.empty())
        return m_params.inputFiles;
    return filesWithExtension(withTrailingSlash(m_params.inputPath), extension);
}

std::vector<std::string> CBatchProgressDlg::batchAudioFiles() const {
    if (!m_params.inputFiles.empty())
        return m_params.inputFiles;
    return audioFilesIn(withTrailingSlash(m_params.inputPath));
}

void CBatchProgressDlg::message(int stringId, MessageIcon icon, const QString& arg) {
    QApplication::restoreOverrideCursor();
    showStringMessage(this, stringId, icon, arg);
}

std::string CBatchProgressDlg::reasonText(uint32_t detail) {
    return detail != 0 ? cld::mediaErrorText(detail).toStdString() : std::string();
}

int CBatchProgressDlg::parallelWidth(size_t count) const {
    const size_t width = static_cast<size_t>(m_context.settings.parallelJobCount());
    return static_cast<int>(std::clamp<size_t>(std::min(width, count), 1, width));
}

void CBatchProgressDlg::reportAbort(const std::string& keptPartial) {
    QString text = AppResources::string(191);
    if (!keptPartial.empty())
        text += QStringLiteral("\n\n") +
                AppResources::string(IDS_PARTIAL_KEPT).arg(QString::fromStdString(keptPartial));
    QApplication::restoreOverrideCursor();
    m_context.messages().show(
        Message{191, text, MessageIcon::Exclamation, MessageButtons::Ok, this});
}

void CBatchProgressDlg::reportCdAbort(const std::vector<std::string>& keptPartials) {
    if (keptPartials.size() > 1)
        reportAbortKeeping(keptPartials);
    else
        reportAbort(keptPartials.empty() ? std::string() : keptPartials.front());
}

void CBatchProgressDlg::reportAbortKeeping(const std::vector<std::string>& keptPartials) {
    QString text = AppResources::string(191);
    if (!keptPartials.empty()) {
        QStringList names;
        for (const std::string& file : keptPartials)
            names << QString::fromStdString(file);
        text += QStringLiteral("\n\n") +
                AppResources::string(IDS_PARTIALS_KEPT).arg(names.join(QStringLiteral("\n")));
    }
    QApplication::restoreOverrideCursor();
    m_context.messages().show(
        Message{191, text, MessageIcon::Exclamation, MessageButtons::Ok, this});
}

// The dialog as the observer of its file batch, on the window's thread (the batch runs on
// a thread of its own): the figures on the bars and lines, the questions in message
// boxes.
class CBatchProgressDlg::BatchObserver : public cld::engine::JobObserver {
public:
    BatchObserver(CBatchProgressDlg& dialog, const std::vector<std::string>& files)
        : m_dialog(dialog), m_files(files), m_outputs(files.size()) {}

    void itemStarted(const cld::engine::ItemStart& start) override {
        m_outputs[start.index] = start.output;
    }
    void progress(const cld::engine::Progress& p) override {
        CBatchProgressDlg& d = m_dialog;
        d.m_batchProgress = p;
        if (!p.running.empty()) {
            CProgressBar* current = d.bar(IDC_CURRENT_BAR);
            if (current->upper() != p.itemUpper)
                current->setRange(0, p.itemUpper);
            d.m_fileStart = std::time(nullptr) - static_cast<std::time_t>(p.itemSeconds);
            if (p.running.size() == 1) {
                const size_t i = p.running.front();
                d.setText(IDC_INPUT_FILE, m_files[i]);
                d.setText(IDC_OUTPUT_FILE, m_outputs[i]);
                for (int id : {IDC_INPUT_FILE, IDC_OUTPUT_FILE})
                    d.m_values[id]->setToolTip(QString());
                d.showFileCount(static_cast<int>(i) + 1, static_cast<int>(p.count));
            } else {
                // Several files in work: the lines say how many, the tooltips name them.
                const QString many =
                    AppResources::string(IDS_N_FILES).arg(static_cast<int>(p.running.size()));
                std::vector<std::string> inputs;
                std::vector<std::string> outs;
                for (size_t i : p.running) {
                    inputs.push_back(m_files[i]);
                    outs.push_back(m_outputs[i]);
                }
                d.setText(IDC_INPUT_FILE, many);
                d.setText(IDC_OUTPUT_FILE, many);
                d.m_values[IDC_INPUT_FILE]->setToolTip(joinedNames(inputs));
                d.m_values[IDC_OUTPUT_FILE]->setToolTip(joinedNames(outs));
                d.setText(IDC_FILE_COUNT, QString::fromUtf8("%1\u2013%2 of %3")
                                              .arg(p.running.front() + 1)
                                              .arg(p.running.back() + 1)
                                              .arg(p.count));
            }
            current->setPos(p.itemPosition);
        }
        d.showFileBatchFigures();
    }
    cld::engine::Answer ask(const cld::engine::Question& q) override {
        CBatchProgressDlg& d = m_dialog;
        if (q.kind == cld::engine::QuestionKind::TakenNames) {
            switch (cld::askAboutTakenNames(d.m_context, q.taken, &d)) {
            case cld::TakenNamesChoice::Replace:
                return cld::engine::Answer::Replace;
            case cld::TakenNamesChoice::KeepBoth:
                return cld::engine::Answer::KeepBoth;
            default:
                return cld::engine::Answer::Cancel;
            }
        }
        const cld::engine::ItemFailure& f = q.failed.failure;
        // Every later file would fail for want of room as well: the message says the
        // batch stops.
        const bool diskFull = d.isFileBatch() && f.diskFull;
        if (d.reportFileFailure(d.failureStringId(f), f.file, reasonText(f.detail), q.canSkip,
                                q.failed.input, diskFull ? IDS_DISK_FULL_STOP : 0))
            return cld::engine::Answer::Skip;
        d.m_batchStopped = true;
        return cld::engine::Answer::Stop;
    }

private:
    CBatchProgressDlg& m_dialog;
    const std::vector<std::string>& m_files;
    std::vector<std::string> m_outputs;
};

size_t CBatchProgressDlg::shownWorkerPlace() const {
    if (!m_fileJob || m_batchProgress.running.empty())
        return static_cast<size_t>(-1);
    return m_batchProgress.firstWorker;
}

void CBatchProgressDlg::showFileBatchFigures() {
    if (!m_fileJob)
        return;
    const cld::engine::Progress& p = m_batchProgress;
    // After Abort or a stop the bar stays where the batch was.
    if (!m_abort && !m_batchStopped)
        bar(IDC_OVERALL_BAR)->setPos(static_cast<int>(p.share * kOverallSteps));
    showJobFigures(p);
}

void CBatchProgressDlg::showJobFigures(const cld::engine::Progress& p) {
    const std::time_t now = std::time(nullptr);
    // Between two items the time of the last one stays.
    if (!p.running.empty())
        setText(IDC_ELAPSED, clockText(now - m_fileStart));
    setText(IDC_TOTAL_ELAPSED, clockText(now - m_jobStart));
    if (p.remaining >= 0)
        setText(IDC_ESTIMATED, clockText(static_cast<int64_t>(p.remaining + 0.5)));
    else
        setText(IDC_ESTIMATED, std::string(kDash));
    setText(IDC_OUTPUT_SIZE, megabytesText(static_cast<int64_t>(p.outputBytes)));
    if (p.counters && p.seconds > 0.5) {
        setText(IDC_PERFORMANCE,
                kilobytesPerSecondText(static_cast<uint32_t>(p.audioBytesDone / p.seconds / 1024)));
        setText(IDC_SAMPLES,
                samplesPerSecondText(static_cast<uint32_t>(p.samplesDone / p.seconds)));
    } else {
        setText(IDC_PERFORMANCE, QString::fromLatin1(kDash));
        setText(IDC_SAMPLES, QString::fromLatin1(kDash));
    }
}

CBatchProgressDlg::FileBatchEnd
CBatchProgressDlg::runFileBatch(const std::vector<std::string>& files,
                                const std::string& outputExtension,
                                const cld::engine::WorkerFactory& makeWorker,
                                std::vector<std::string>& keptPartials, int waitMs) {
    cld::engine::FileBatchSpec setup;
    setup.inputs = files;
    setup.batch = isFileBatch();
    if (setup.batch) {
        setup.outputFolder = m_params.outputPath;
        setup.extension = outputExtension;
    } else {
        setup.outputs.assign(files.size(), m_params.outputPath);
    }
    setup.width = parallelWidth(files.size());
    // The window's bars move with the batch's looks at its workers.
    setup.pollMilliseconds = std::min(waitMs, 250);
    cld::engine::FileBatch job(std::move(setup), makeWorker);
    BatchObserver observer(*this, files);
    m_batchProgress = cld::engine::Progress{};
    m_batchStopped = false;
    CProgressBar* overall = bar(IDC_OVERALL_BAR);
    overall->setRange(0, kOverallSteps);
    overall->setPos(0);
    m_fileJob = &job;
    if (m_abort)
        job.cancel();
    // The batch runs on a thread of its own; the window shows its events as they come
    // and answers its questions, until it is done.
    cld::JobRun run(job, observer);
    run.start();
    while (!run.done())
        m_context.waits().waitUntil(
            500, [&run] { return run.done(); }, kWaitStep);
    const cld::engine::JobEnd end = run.finish();
    // The events the window has not shown yet.
    m_context.waits().pump();
    m_fileJob = nullptr;
    if (m_abortCursor) {
        QApplication::restoreOverrideCursor();
        m_abortCursor = false;
    }
    keptPartials = end.keptPartials;
    m_converted = static_cast<int>(end.converted);
    m_skipped = end.skipped;
    m_notConverted = end.notConverted;
    switch (end.result) {
    case cld::engine::JobResult::Aborted:
        return FileBatchEnd::Aborted;
    case cld::engine::JobResult::Completed:
        // Every file had its turn: the count ends on the last one, as one after another
        // would leave it.
        if (!files.empty())
            showFileCount(static_cast<int>(files.size()), static_cast<int>(files.size()));
        return FileBatchEnd::Completed;
    default:
        return FileBatchEnd::Stopped;
    }
}

int CBatchProgressDlg::cdFailureStringId(const cld::engine::ItemFailure& f,
                                         const std::string& encoder) {
    using cld::engine::Failure;
    switch (f.what) {
    case Failure::InputUnreadable:
    case Failure::InputBroken:
        return 195;
    case Failure::WriteFailed:
        return f.wroteOutput ? IDS_WRITE_FAILED : 196;
    case Failure::EncoderRefused:
        // The MP3 encoder has a message of its own; the WMA encoder refuses a profile as
        // an output it cannot create.
        return encoder == "mp3" ? 201 : 196;
    default:
        return 196;
    }
}

void CBatchProgressDlg::showCdFigures() {
    showJobFigures(m_cdProgress);
    showDiskSpace(m_params.outputPath);
}

void CBatchProgressDlg::runCdJob(const std::string& encoder,
                                 const cld::engine::EncoderOptions& options, bool replayGain) {
    const cld::engine::DiscSelection& sel = m_params.disc;
    const std::string folder = withTrailingSlash(m_params.outputPath);
    const std::string artist = sel.artist.empty() ? "Unknown Artist" : sel.artist;
    const cld::engine::EncoderInfo* info = cld::engine::EncoderRegistry::instance().info(encoder);
    const std::string extension = info ? info->extension : "." + encoder;
    const int count = static_cast<int>(sel.ticked.size());

    // Every name is settled before the first track is read.
    cld::engine::CdRipSpec setup;
    std::vector<std::string> outputs;
    for (const uint16_t track : sel.ticked) {
        cld::engine::CdRipSpec::Track t;
        t.index = track;
        // The grabber's name as it came, for the tags; "TrackN" without one.
        t.title = static_cast<size_t>(track) < sel.trackNames.size()
                      ? sel.trackNames[static_cast<size_t>(track)]
                      : "Track" + std::to_string(track + 1);
        std::string base = cdTrackBaseName(artist, t.title);
        if (base.empty())
            base = "Track" + std::to_string(track + 1);
        outputs.push_back(folder + base + extension);
        setup.tracks.push_back(std::move(t));
    }
    cld::OutputPlan plan =
        cld::makeOutputPlan(std::move(outputs), folder + cld::ripLogName(sel.artist, sel.album));
    if (cld::settleTakenNames(m_context, plan, this) == cld::TakenNamesChoice::Cancel)
        return;
    setup.names = plan;
    setup.folder = m_params.outputPath;
    setup.encoder = encoder;
    setup.options = options;
    setup.width = parallelWidth(static_cast<size_t>(std::max(count, 1)));
    setup.artist = sel.artist;
    setup.album = sel.album;
    if (sel.year > 0)
        setup.year = std::to_string(sel.year);
    setup.genre = m_context.genres.genreName(sel.genreIndex);
    setup.genreNumber = sel.genreIndex >= 0 && sel.genreIndex <= 255 ? sel.genreIndex : 255;
    setup.driveIndex = sel.driveIndex;
    setup.introSeconds = sel.introOnly ? (sel.introSeconds > 0 ? sel.introSeconds : 15) : 0;
    setup.errorCorrection = cld::errorCorrectionName(sel.errorCorrectionType);
    setup.coverImage = sel.coverImage;
    setup.replayGain = replayGain;

    if (m_driveName.isNull()) {
        m_driveName = QStringLiteral("");
        NameText* name = nullptr;
        if (m_context.driveSettings &&
            m_context.driveSettings->GetDriveName(&name, sel.driveIndex) == 0 && name)
            m_driveName = QString::fromUtf8(name->text()).trimmed();
        NameText::Release(name);
    }
    CProgressBar* grab = bar(IDC_GRAB_BAR);
    CProgressBar* current = bar(IDC_CURRENT_BAR);
    CProgressBar* overall = bar(IDC_OVERALL_BAR);
    grab->setRange(0, 100);
    current->setRange(0, 100);
    overall->setRange(0, count);
    overall->setPos(0);
    showDiskSpace(folder);

    // The job waits on its own thread: its verification must not pump the window's events.
    cld::engine::CdPipeline job(
        m_context.ripObject, setup,
        cld::engine::verifyEnv(m_context.settings, m_context.ripObject, m_context.driveSettings),
        &m_context.settings);
    cld::GrabRun run(job);
    run.onStatus = [&](const cld::GrabRunStatus& s) {
        m_cdProgress = s.progress;
        if (!s.progress.running.empty())
            m_fileStart = std::time(nullptr) - static_cast<std::time_t>(s.progress.itemSeconds);
        if (s.trackIndex >= 0 && s.item < plan.tracks.size()) {
            setText(
                IDC_INPUT_FILE,
                QStringLiteral("%1, CD-Audio Track Nr. %2").arg(m_driveName).arg(s.trackIndex + 1));
            setText(IDC_OUTPUT_FILE,
                    std::filesystem::path(plan.tracks[s.item]).stem().string() + ".wav");
            showFileCount(static_cast<int>(s.item) + 1, count);
            grab->setPos(std::clamp(s.percent, 0, 99) + 1);
        }
        if (m_abort)
            return;
        overall->setPos(
            static_cast<int>(std::min<size_t>(s.itemsRead, static_cast<size_t>(count))));
        if (!s.progress.running.empty())
            current->setPos(s.progress.itemPosition);
    };
    m_cdJob = &job;
    m_cdProgress = cld::engine::Progress{};
    if (m_abort)
        job.cancel();
    run.start();
    while (!run.done())
        m_context.waits().waitUntil(
            500, [&run] { return run.done(); }, kWaitStep);
    const cld::engine::JobEnd end = run.finish();
    m_cdJob = nullptr;
    if (m_abortCursor) {
        QApplication::restoreOverrideCursor();
        m_abortCursor = false;
    }
    // The figures the window had not shown yet.
    m_context.waits().pump();
    const cld::engine::CdRipReport& report = job.report();
    for (const std::string& file : report.albumGainFailed)
        logf(LogLevel::Warning, "The album's loudness could not be added to %s", file.c_str());
    if (!report.coverWhy.empty())
        logf(LogLevel::Warning, "The cover could not be kept: %s", report.coverWhy.c_str());

    switch (report.setupFailure) {
    case cld::engine::Failure::None:
        break;
    case cld::engine::Failure::NoRipper:
        message(IDS_NO_RIPPER, MessageIcon::Error);
        return;
    case cld::engine::Failure::OutputNotCreated:
        message(cld::IDS_CD_TEMP_FOLDER_FAILED, MessageIcon::Error,
                QString::fromStdString(m_params.outputPath));
        return;
    default:
        message(IDS_GRAB_FAILED, MessageIcon::Error,
                QString::fromStdString(grabErrorText(GrabStatus::ErrorCreateFailed)));
        return;
    }
    if (end.result == cld::engine::JobResult::Cancelled)
        return;
    if (end.result == cld::engine::JobResult::Aborted) {
        reportCdAbort(end.keptPartials);
        return;
    }
    // The first track that failed says why the job stopped.
    for (const cld::engine::ItemEnd& e : run.itemEnds()) {
        if (e.outcome != cld::engine::ItemOutcome::Failed)
            continue;
        const cld::engine::ItemFailure& f = e.failure;
        if (f.worker == cld::engine::WorkerKind::CdRead)
            message(IDS_GRAB_FAILED, MessageIcon::Error,
                    QString::fromStdString(grabErrorText(f.code)));
        else
            reportFileFailure(cdFailureStringId(f, encoder), f.inputAtFault ? f.file : e.output,
                              reasonText(f.detail), false, e.input);
        return;
    }
    if (end.result != cld::engine::JobResult::Completed &&
        end.result != cld::engine::JobResult::NothingToDo)
        return;
    // Tracks saved whole but not read exactly are named at the end.
    for (const cld::engine::InexactTrack& t : report.inexact)
        m_inexactTracks.push_back(
            std::filesystem::path(t.output).stem().string() + ": " +
            grabTrackText(t.result.unreadSectors, t.result.unverifiedSectors, false));
    grab->setPos(100);
    finishCompleted();
}
