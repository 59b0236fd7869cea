#include "CBatchProgressDlg.h"

#include "AppResources.h"
#include "CProgressBar.h"
#include "ConvertIds.h"
#include "ConvertPaths.h"
#include "DialogKit.h"
#include "FolderCover.h"
#include "GrabErrorText.h"
#include "JobContext.h"
#include "Log.h"
#include "MessageService.h"
#include "ProgressFigures.h"
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

namespace {

// A name handed to the ripper library, destroyed with the scope.
class LibraryText {
public:
    explicit LibraryText(const std::string& text) : m_text(NameText::Create(text.c_str())) {}
    ~LibraryText() { NameText::Release(m_text); }
    LibraryText(const LibraryText&) = delete;
    LibraryText& operator=(const LibraryText&) = delete;
    NameText* get() const { return m_text; }

private:
    NameText* m_text;
};

// One status snapshot of the grab object, destroyed with the scope.
struct GrabSnapshot {
    bool running = false;
    int error = 0;
    int percent = 0;
};

GrabSnapshot snapshot(CDRipObject& rip) {
    GrabSnapshot s;
    if (GrabStatus* status = rip.GetStatus()) {
        s.running = status->IsRunning() != 0;
        s.error = status->GetError();
        s.percent = status->GetPercent();
        status->Destroy();
    }
    return s;
}

constexpr int kWaitStep = 10;

// The overall bar of a file batch counts in thousandths of the batch's audio.
constexpr int kOverallSteps = 1000;

uint64_t sizeOf(const std::string& path) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    return ec ? 0 : static_cast<uint64_t>(size);
}

QString joinedNames(const std::vector<std::string>& files) {
    QStringList names;
    for (const std::string& file : files)
        names << QString::fromStdString(file);
    return names.join(QStringLiteral("\n"));
}

constexpr char kDash[] = "-";

// The ripper's result for the one track of the last grab; false when it kept none.
bool lastTrackResult(CDRipObject& rip, GrabTrackResult& out) {
    GrabStatus* status = rip.GetStatus();
    if (!status)
        return false;
    const int32_t count = status->GetTrackResultCount();
    const bool found = count > 0 && status->GetTrackResult(count - 1, &out) == 0;
    status->Destroy();
    return found;
}

} // namespace

CBatchProgressDlg::CBatchProgressDlg(JobContext& context, const JobParameters& params, int mode,
                                     int dialogId, int titleStringId, bool samplesControl,
                                     QWidget* parent)
    : QDialog(parent), m_context(context), m_params(params), m_mode(mode),
      m_titleStringId(titleStringId) {
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
    bar(IDC_GRAB_BAR)->setEnabled(m_mode == 1);
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
    onAbort();
    if (m_context.ripObject && m_mode == 1)
        m_context.ripObject->AbortGrab();
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

bool CBatchProgressDlg::prepareCdFiles(const std::string& outputExtension) {
    const GrabSelection& sel = m_context.grabSelection;
    const std::string folder = withTrailingSlash(m_params.outputPath);
    const std::string artist = sel.artist.empty() ? "Unknown Artist" : sel.artist;
    m_cdFiles.clear();
    std::vector<std::string> outputs;
    for (const uint16_t track : sel.ticked) {
        CdTrackFiles f;
        f.track = track;
        f.title = static_cast<size_t>(f.track) < sel.trackNames.size()
                      ? sel.trackNames[static_cast<size_t>(f.track)]
                      : "Track" + std::to_string(f.track + 1);
        f.base = cdTrackBaseName(artist, f.title);
        if (f.base.empty())
            f.base = "Track" + std::to_string(f.track + 1);
        outputs.push_back(folder + f.base + outputExtension);
        m_cdFiles.push_back(std::move(f));
    }
    cld::OutputPlan plan =
        cld::makeOutputPlan(std::move(outputs), folder + cld::ripLogName(sel.artist, sel.album));
    if (cld::settleTakenNames(m_context, plan, this) == cld::TakenNamesChoice::Cancel)
        return false;
    m_cdReplace = plan.replaceExisting;
    m_cdComplete.clear();
    m_cdKept.clear();
    m_cdLog = cld::RipLogJob{};
    m_cdLog.request.logBase = plan.logBase;
    m_cdLog.request.replaceExisting = plan.replaceExisting;
    m_cdTempFolder = cld::files::createTemporaryFolder(folder);
    if (m_cdTempFolder.empty()) {
        message(cld::IDS_CD_TEMP_FOLDER_FAILED, MessageIcon::Error,
                QString::fromStdString(m_params.outputPath));
        return false;
    }
    for (size_t i = 0; i < m_cdFiles.size(); ++i) {
        CdTrackFiles& f = m_cdFiles[i];
        f.output = plan.tracks[i];
        char name[32];
        std::snprintf(name, sizeof name, "/Track %02d.wav", f.track + 1);
        f.wav = m_cdTempFolder + name;
    }
    return true;
}

const CBatchProgressDlg::CdTrackFiles& CBatchProgressDlg::cdTrackFiles(int index) const {
    return m_cdFiles.at(static_cast<size_t>(index));
}

void CBatchProgressDlg::noteCdOutputComplete(const std::string& output) {
    m_cdComplete.push_back(output);
}

std::string CBatchProgressDlg::keepCdPartial(const std::string& output) {
    const std::string kept = keepAsPartial(output);
    if (!kept.empty())
        m_cdKept.emplace_back(output, kept);
    return kept;
}

void CBatchProgressDlg::endCdJob() {
    if (!m_completed)
        cld::finishRipLog(m_context, m_cdLog, m_abort ? "aborted by the user" : "failed",
                          m_cdComplete, m_cdKept);
    if (m_cdTempFolder.empty())
        return;
    // The folder was made by this job, readable by nobody else: everything in it is the
    // job's own.
    std::error_code ec;
    std::filesystem::remove_all(m_cdTempFolder, ec);
    if (ec)
        logf(LogLevel::Warning, "The temporary folder %s could not be removed: %s",
             m_cdTempFolder.c_str(), ec.message().c_str());
    m_cdTempFolder.clear();
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

// What the figures of a running file batch are made of.
struct CBatchProgressDlg::FileBatchState {
    const cld::ParallelBatch* batch = nullptr;
    const std::vector<FileEnd>* ends = nullptr;
    // Each file's share of the batch's audio: its size in bytes (at least 1).
    std::vector<uint64_t> weights;
    uint64_t totalWeight = 0;
    std::chrono::steady_clock::time_point started;
    // Whether the jobs keep counters of the audio they handled.
    bool counters = false;
};

void CBatchProgressDlg::showFileBatchFigures() {
    if (!m_fileBatch)
        return;
    const FileBatchState& st = *m_fileBatch;
    const cld::ParallelBatch& batch = *st.batch;
    const std::vector<FileEnd>& ends = *st.ends;
    // Share done: the files the batch is past (converted, or failed and reported), and the
    // part done of each file in work.
    double done = 0;
    uint64_t written = 0;
    uint64_t bytes = 0;
    uint64_t samples = 0;
    for (size_t i = 0; i < batch.count(); ++i) {
        const cld::BatchOutcome o = batch.outcomeOf(i);
        const bool past = o == cld::BatchOutcome::Converted ||
                          (o == cld::BatchOutcome::Failed && i < batch.takenCount());
        if (past)
            done += static_cast<double>(st.weights[i]);
        if (o == cld::BatchOutcome::Converted)
            written += ends[i].outputBytes;
        if (o == cld::BatchOutcome::Converted || o == cld::BatchOutcome::Failed ||
            o == cld::BatchOutcome::Stopped) {
            bytes += ends[i].bytesDone;
            samples += ends[i].samplesDone;
        }
    }
    const std::vector<size_t> running = batch.running();
    for (size_t i : running) {
        const auto* slot = static_cast<const FileSlot*>(batch.slotOf(i));
        if (!slot)
            continue;
        const int upper = std::max(slot->BarUpper(), 1);
        const int pos = std::clamp(slot->BarPosition(), 0, upper);
        done += static_cast<double>(st.weights[i]) * pos / upper;
        // A job that has given its file its name but not yet ended.
        written += sizeOf(ends[i].output);
        bytes += slot->BytesDone();
        samples += slot->SamplesDone();
    }
    // The other outputs in work are the temporary files in the output folder, until each
    // takes its name.
    if (!running.empty())
        written += cld::files::temporaryBytesIn(
            std::filesystem::path(ends[running.front()].output).parent_path().string());
    const double share =
        st.totalWeight > 0 ? std::min(1.0, done / static_cast<double>(st.totalWeight)) : 0.0;
    // After Abort or a stop the bar stays where the batch was.
    if (!m_abort && !batch.isStopped())
        bar(IDC_OVERALL_BAR)->setPos(static_cast<int>(share * kOverallSteps));

    const std::time_t now = std::time(nullptr);
    // Between two files the time of the last one stays.
    if (!running.empty())
        setText(IDC_ELAPSED, clockText(now - m_fileStart));
    setText(IDC_TOTAL_ELAPSED, clockText(now - m_jobStart));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - st.started).count();
    if (share > 0 && share < 1 && seconds > 0.5)
        setText(IDC_ESTIMATED,
                clockText(static_cast<int64_t>(seconds * (1 - share) / share + 0.5)));
    else
        setText(IDC_ESTIMATED, share >= 1 ? clockText(0) : std::string(kDash));
    setText(IDC_OUTPUT_SIZE, megabytesText(static_cast<int64_t>(written)));
    if (st.counters && seconds > 0.5) {
        setText(IDC_PERFORMANCE,
                kilobytesPerSecondText(static_cast<uint32_t>(bytes / seconds / 1024)));
        setText(IDC_SAMPLES, samplesPerSecondText(static_cast<uint32_t>(samples / seconds)));
    } else {
        setText(IDC_PERFORMANCE, QString::fromLatin1(kDash));
        setText(IDC_SAMPLES, QString::fromLatin1(kDash));
    }
}

CBatchProgressDlg::FileBatchEnd
CBatchProgressDlg::runFileBatch(const std::vector<std::string>& files,
                                const std::string& outputExtension,
                                const std::vector<FileSlot*>& workers, std::vector<FileEnd>& ends,
                                std::vector<std::string>& keptPartials, int waitMs) {
    const size_t count = files.size();
    ends.assign(count, FileEnd{});
    // A single file goes to the output chosen for it (its settings dialog asked before a
    // file there is replaced); a batch names its outputs, and asks once, before anything
    // runs, when some of those names are taken.
    std::vector<std::string> outputs =
        isFileBatch() ? cld::batchOutputNames(files, m_params.outputPath, outputExtension)
                      : std::vector<std::string>(count, m_params.outputPath);
    if (isFileBatch()) {
        cld::OutputPlan plan = cld::makeOutputPlan(outputs, {});
        const cld::TakenNamesChoice choice = cld::settleTakenNames(m_context, plan, this);
        if (choice == cld::TakenNamesChoice::Cancel)
            return FileBatchEnd::Stopped;
        outputs = plan.tracks;
    }
    for (size_t i = 0; i < count; ++i)
        ends[i].output = outputs[i];
    cld::ParallelBatch batch(count, std::vector<cld::BatchSlot*>(workers.begin(), workers.end()));
    FileBatchState state;
    state.batch = &batch;
    state.ends = &ends;
    state.started = std::chrono::steady_clock::now();
    for (const std::string& file : files) {
        state.weights.push_back(std::max<uint64_t>(sizeOf(file), 1));
        state.totalWeight += state.weights.back();
    }
    state.counters = !workers.empty() && workers.front()->HasCounters();
    m_fileBatch = &state;
    std::vector<bool> settled(count, false);
    size_t firstUnsettled = 0;
    bool stoppedAfterFailure = false;
    bool waitCursor = false;
    CProgressBar* overall = bar(IDC_OVERALL_BAR);
    CProgressBar* current = bar(IDC_CURRENT_BAR);
    overall->setRange(0, kOverallSteps);
    overall->setPos(0);
    for (;;) {
        if (m_abort && !batch.isStopped()) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            waitCursor = true;
            batch.stop();
        }
        batch.poll();
        // Files cut short are never left under their final names: kept aside on Abort,
        // removed after a stop for a failure.
        for (size_t i = firstUnsettled; i < count; ++i) {
            const cld::BatchOutcome o = batch.outcomeOf(i);
            if (o == cld::BatchOutcome::Waiting)
                break;
            if (settled[i] || o == cld::BatchOutcome::Running)
                continue;
            settled[i] = true;
            if (o == cld::BatchOutcome::Converted)
                ends[i].outputBytes = sizeOf(ends[i].output);
            if (o != cld::BatchOutcome::Stopped || ends[i].output.empty())
                continue;
            if (stoppedAfterFailure && !m_abort) {
                std::remove(ends[i].output.c_str());
            } else if (const std::string kept = keepAsPartial(ends[i].output); !kept.empty()) {
                keptPartials.push_back(kept);
            }
        }
        while (firstUnsettled < count && settled[firstUnsettled])
            ++firstUnsettled;
        while (const std::optional<size_t> item = batch.takeNext()) {
            const size_t i = *item;
            const cld::BatchOutcome o = batch.outcomeOf(i);
            if (o == cld::BatchOutcome::Converted) {
                countConverted();
            } else if (o == cld::BatchOutcome::Failed && !m_abort && !stoppedAfterFailure) {
                const FileEnd& e = ends[i];
                // Every later file would fail for want of room as well: say so and stop.
                // A single file has nothing to skip to.
                const bool diskFull = cld::isDiskFull(e.detail);
                if (!reportFileFailure(e.stringId, e.file, e.reason, isFileBatch() && !diskFull,
                                       files[i],
                                       isFileBatch() && diskFull ? IDS_DISK_FULL_STOP : 0)) {
                    stoppedAfterFailure = !m_abort;
                    batch.stop();
                }
            }
        }
        const std::vector<size_t> running = batch.running();
        if (!running.empty()) {
            auto* first = static_cast<FileSlot*>(batch.slotOf(running.front()));
            if (first != m_shownSlot || current->upper() != first->BarUpper()) {
                m_shownSlot = first;
                current->setRange(0, first->BarUpper());
            }
            m_fileStart = first->startedAt;
            if (running.size() == 1) {
                setText(IDC_INPUT_FILE, first->Input());
                setText(IDC_OUTPUT_FILE, first->Output());
                for (int id : {IDC_INPUT_FILE, IDC_OUTPUT_FILE})
                    m_values[id]->setToolTip(QString());
                showFileCount(static_cast<int>(running.front()) + 1, static_cast<int>(count));
            } else {
                // Several files in work: the lines say how many, the tooltips name them.
                const QString many =
                    AppResources::string(IDS_N_FILES).arg(static_cast<int>(running.size()));
                std::vector<std::string> inputs;
                std::vector<std::string> outs;
                for (size_t i : running) {
                    inputs.push_back(files[i]);
                    outs.push_back(ends[i].output);
                }
                setText(IDC_INPUT_FILE, many);
                setText(IDC_OUTPUT_FILE, many);
                m_values[IDC_INPUT_FILE]->setToolTip(joinedNames(inputs));
                m_values[IDC_OUTPUT_FILE]->setToolTip(joinedNames(outs));
                setText(IDC_FILE_COUNT, QString::fromUtf8("%1\u2013%2 of %3")
                                            .arg(running.front() + 1)
                                            .arg(running.back() + 1)
                                            .arg(count));
            }
            current->setPos(first->BarPosition());
        }
        showFileBatchFigures();
        if (batch.isFinished()) {
            // Every file had its turn: the count ends on the last one, as one after
            // another would leave it.
            if (!m_abort && !stoppedAfterFailure && count > 0)
                showFileCount(static_cast<int>(count), static_cast<int>(count));
            break;
        }
        if (m_abort)
            // The jobs close their files after the block in progress.
            m_context.waits().waitAndPump(kWaitStep);
        else
            waitUntil(waitMs, [&batch] { return batch.hasEnded(); });
    }
    m_shownSlot = nullptr;
    m_fileBatch = nullptr;
    if (waitCursor)
        QApplication::restoreOverrideCursor();
    if (m_abort)
        return FileBatchEnd::Aborted;
    if (!stoppedAfterFailure)
        return FileBatchEnd::Completed;
    m_notConverted.clear();
    for (size_t i = 0; i < count; ++i)
        if (batch.outcomeOf(i) != cld::BatchOutcome::Converted &&
            std::find(m_skipped.begin(), m_skipped.end(), files[i]) == m_skipped.end())
            m_notConverted.push_back(files[i]);
    return FileBatchEnd::Stopped;
}

void CBatchProgressDlg::removeTemporary(const std::string& path) {
    if (!path.empty())
        std::remove(path.c_str());
}

void CBatchProgressDlg::recordWholeTrack(int trackIndex, const std::string& wavPath,
                                         const std::string& outputPath, int endSeconds) {
    // Intro-only reads are no rip of the disc: they get no log and no cue sheet.
    if (outputPath.empty() || endSeconds != -1)
        return;
    cld::recordRippedTrack(m_context, m_cdLog, trackIndex, wavPath, outputPath);
    // The release's cover goes beside the files once; a rip without it is still whole.
    const std::string& cover = m_context.grabSelection.coverImage;
    std::string why;
    if (!cover.empty() &&
        !keepFolderCover(std::filesystem::path(outputPath).parent_path().string(), cover, why))
        logf(LogLevel::Warning, "The cover could not be kept: %s", why.c_str());
}

CBatchProgressDlg::ReadResult CBatchProgressDlg::readCdTrack(const CdTrackFiles& files) {
    const int trackIndex = files.track;
    const std::string folder = withTrailingSlash(m_cdTempFolder);
    const std::string& outputPath = files.output;
    CProgressBar* grab = bar(IDC_GRAB_BAR);
    grab->setRange(0, 100);
    grab->setPos(1);
    CDRipObject* rip = m_context.ripObject;
    if (!rip) {
        message(IDS_NO_RIPPER, MessageIcon::Error);
        return ReadResult::Failed;
    }
    if (m_driveName.isNull()) {
        m_driveName = QStringLiteral("");
        NameText* name = nullptr;
        if (m_context.driveSettings &&
            m_context.driveSettings->GetDriveName(&name, m_context.grabSelection.driveIndex) == 0 &&
            name)
            m_driveName = QString::fromUtf8(name->text()).trimmed();
        NameText::Release(name);
    }
    const GrabSelection& sel = m_context.grabSelection;
    const std::string fileName = std::filesystem::path(files.wav).filename().string();
    const int endSeconds = sel.introOnly ? (sel.introSeconds > 0 ? sel.introSeconds : 15) : -1;
    {
        LibraryText folderText(folder);
        LibraryText nameText(fileName);
        if (rip->SetOutputFolder(folderText.get()) != 0 ||
            rip->AddTrack(trackIndex, nameText.get(), 0, endSeconds) != 0) {
            // A refused job is not queued; nothing is left behind for the next grab.
            message(IDS_GRAB_FAILED, MessageIcon::Error,
                    QString::fromStdString(grabErrorText(GrabStatus::ErrorNameRefused)));
            return ReadResult::Failed;
        }
    }
    setText(IDC_INPUT_FILE,
            QStringLiteral("%1, CD-Audio Track Nr. %2").arg(m_driveName).arg(trackIndex + 1));
    setText(IDC_OUTPUT_FILE, files.base + ".wav");
    cld::applyStoredReadOffset(m_context.settings, m_context.driveSettings, sel.driveIndex);
    if (rip->StartGrab() == 0) {
        message(IDS_GRAB_FAILED, MessageIcon::Error,
                QString::fromStdString(grabErrorText(GrabStatus::ErrorOpenFailed)));
        return ReadResult::Failed;
    }
    GrabSnapshot s = snapshot(*rip);
    waitUntil(500, [&] {
        s = snapshot(*rip);
        return !s.running;
    });
    for (;;) {
        s = snapshot(*rip);
        grab->setPos(s.percent + 1);
        showTimes(-1);
        if (m_abort) {
            rip->AbortGrab();
            // The worker finishes its chunk and closes the WAV file; wait for that, so
            // the partial file can be removed.
            for (int i = 0; i < 1000 && snapshot(*rip).running; ++i)
                m_context.waits().waitAndPump(kWaitStep);
            return ReadResult::Aborted;
        }
        if (!s.running)
            break;
        waitUntil(300, [&] { return !snapshot(*rip).running; });
    }
    grab->setPos(100);
    if (s.error == GrabStatus::ErrorReadFailed || s.error == GrabStatus::ErrorNotVerified) {
        // A track saved at full length whose sectors were not all read exactly (silent
        // gaps, audio that could not be verified) is kept and named when the job ends;
        // only a track whose file stops early fails the job.
        GrabTrackResult r{};
        if (lastTrackResult(*rip, r) && r.trackIndex == trackIndex &&
            (r.result == GrabStatus::TrackNotVerified ||
             (r.result == GrabStatus::TrackFailed && r.unreadSectors > 0))) {
            m_inexactTracks.push_back(files.base + ": " +
                                      grabTrackText(r.unreadSectors, r.unverifiedSectors, false));
            recordWholeTrack(trackIndex, folder + fileName, outputPath, endSeconds);
            return ReadResult::Done;
        }
    }
    if (s.error != GrabStatus::ErrorNone) {
        message(IDS_GRAB_FAILED, MessageIcon::Error,
                QString::fromStdString(grabErrorText(s.error)));
        return ReadResult::Failed;
    }
    recordWholeTrack(trackIndex, folder + fileName, outputPath, endSeconds);
    return ReadResult::Done;
}
