#include "CEncoderProgressDlg.h"

#include "AppResources.h"
#include "CProgressBar.h"
#include "CdDiscTags.h"
#include "ConvertIds.h"
#include "ConvertPaths.h"
#include "GetErrorText.h"
#include "JobContext.h"
#include "MediaDuration.h"
#include "MessageService.h"
#include "ProgressFigures.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "WMException.h"
#include "WaitService.h"
#include "WmEncoderControl.h"
#include "WmaDecodeJob.h"
#include "WmaEncodeJob.h"
#include "WmaProfiles.h"
#include "cldrip/CDRipDriveSettings.h"

#include <QApplication>
#include <QScopeGuard>

using namespace cld;

namespace {

int titleFor(int mode) {
    switch (mode) {
    case 1:
        return IDS_WMA_CD_PROGRESS;
    case 2:
        return IDS_WMA_FOLDER_PROGRESS;
    case 3:
        return IDS_WMA_FILE_PROGRESS;
    case 4:
        return IDS_WMA_DECODE_FOLDER_PROGRESS;
    default:
        return IDS_WMA_DECODE_FILE_PROGRESS;
    }
}

// The encoder's settle time after a start: it normally leaves "starting" at once.
constexpr auto kSettleLimit = std::chrono::milliseconds(7000);

// The length of an input in whole seconds, for the current bar: a WAV input by its
// header, any other by the media reader; 0 when unknown.
int inputSeconds(const std::string& path) {
    if (!hasExtension(path, ".wav"))
        return static_cast<int>(getMediaDuration(path) / 10000000);
    const WavCheckResult r = checkWavHeader(path);
    return r.status == WavCheck::Ok ? r.durationSeconds : 0;
}

} // namespace

// One media encoder of a file batch, encoding one file at a time.
class CEncoderProgressDlg::EncodeSlot : public FileSlot {
public:
    EncodeSlot(CEncoderProgressDlg& dialog, WmaEncodeJob& job,
               const std::vector<std::string>& files, std::vector<FileEnd>& ends)
        : m_dialog(dialog), m_job(job), m_files(files), m_ends(ends) {}

    WmaEncodeJob& job() const { return m_job; }

    bool begin(size_t item) override {
        m_cut = false;
        m_startCode = 0;
        startedAt = std::time(nullptr);
        m_input = m_files[item];
        m_output = m_ends[item].output;
        const int seconds = inputSeconds(m_input);
        m_upper = seconds > 0 ? seconds : 100;
        try {
            m_job.EncodeFile(m_input, m_output, nullptr);
        } catch (const WMException& e) {
            m_startCode = e.GetCode();
            return false;
        }
        m_job.WaitWhileStarting(kSettleLimit);
        return true;
    }
    bool isBusy() const override { return m_job.IsEncoding(); }
    void stop() override {
        m_cut = m_job.IsEncoding();
        m_job.AbortEncoding();
    }
    cld::BatchOutcome end(size_t item) override {
        const bool started = m_startCode == 0;
        const uint32_t code = started ? m_job.GetLastErrorCode() : m_startCode;
        try {
            if (m_job.GetEncoder().GetRunState() != WmEncoderControl::kRunning &&
                m_job.GetEncoder().HasSourceGroup())
                m_job.GetEncoder().ReleaseSourceGroup();
        } catch (const WMException&) {
            // Releasing a group of a stopped encoder does not fail.
        }
        if (code != 0) {
            FileEnd& end = m_ends[item];
            const bool inputAtFault = isInputFailure(code);
            // An output failure after the start is a failed write, whose unfinished file
            // the encoder has removed.
            end.stringId = inputAtFault ? 195 : started ? IDS_WRITE_FAILED : 196;
            end.file = inputAtFault ? m_input : m_output;
            end.reason = failureReason(code);
            end.detail = code;
            return cld::BatchOutcome::Failed;
        }
        return m_cut ? cld::BatchOutcome::Stopped : cld::BatchOutcome::Converted;
    }
    int BarPosition() const override {
        try {
            return m_job.RefreshStatistics(m_upper).barPosition;
        } catch (const WMException&) {
            return 0;
        }
    }
    int BarUpper() const override { return m_upper; }
    std::string Input() const override { return m_input; }
    std::string Output() const override { return m_output; }

private:
    CEncoderProgressDlg& m_dialog;
    WmaEncodeJob& m_job;
    const std::vector<std::string>& m_files;
    std::vector<FileEnd>& m_ends;
    std::string m_input;
    std::string m_output;
    int m_upper = 100;
    uint32_t m_startCode = 0;
    bool m_cut = false;
};

// One decoder of a file batch, decoding one file at a time.
class CEncoderProgressDlg::DecodeSlot : public FileSlot {
public:
    DecodeSlot(CEncoderProgressDlg& dialog, WmaDecodeJob& job,
               const std::vector<std::string>& files, std::vector<FileEnd>& ends)
        : m_dialog(dialog), m_job(job), m_files(files), m_ends(ends) {}

    WmaDecodeJob& job() const { return m_job; }

    bool begin(size_t item) override {
        m_cut = false;
        startedAt = std::time(nullptr);
        const std::string& input = m_files[item];
        const std::string& output = m_ends[item].output;
        return m_job.Open(input, output) != 0 && m_job.Start() != 0;
    }
    bool isBusy() const override { return m_job.IsRunning(); }
    void stop() override {
        m_cut = m_job.IsRunning();
        m_job.Stop();
    }
    cld::BatchOutcome end(size_t item) override {
        if (const int code = m_job.GetErrorCode()) {
            const JobFailure f = jobFailure(JobKind::WmaDecode, code, m_job.GetErrorDetail(),
                                            m_job.GetBytesDone() > 0);
            FileEnd& end = m_ends[item];
            end.stringId = f.stringId;
            end.file = f.inputAtFault ? m_job.GetInput() : m_job.GetOutput();
            end.reason = failureReason(m_job.GetErrorDetail());
            end.detail = m_job.GetErrorDetail();
            end.bytesDone = m_job.GetBytesDone();
            return cld::BatchOutcome::Failed;
        }
        m_ends[item].bytesDone = m_job.GetBytesDone();
        return m_cut ? cld::BatchOutcome::Stopped : cld::BatchOutcome::Converted;
    }
    int BarPosition() const override { return m_job.GetProgress(); }
    std::string Input() const override { return m_job.GetInput(); }
    std::string Output() const override { return m_job.GetOutput(); }
    bool HasCounters() const override { return true; }
    uint64_t BytesDone() const override { return m_job.IsRunning() ? m_job.GetBytesDone() : 0; }

private:
    CEncoderProgressDlg& m_dialog;
    WmaDecodeJob& m_job;
    const std::vector<std::string>& m_files;
    std::vector<FileEnd>& m_ends;
    bool m_cut = false;
};

CEncoderProgressDlg::CEncoderProgressDlg(JobContext& context, const JobParameters& params, int mode,
                                         std::unique_ptr<WmEncoderControl> encoder, QWidget* parent)
    : CBatchProgressDlg(context, params, mode, kDialogId, titleFor(mode), false, parent),
      m_decoder(std::make_unique<WmaDecodeJob>()) {
    if (encoder) {
        m_encoder = std::make_unique<WmaEncodeJob>(std::move(encoder));
        m_encoder->SetProfileIndex(params.wmaProfileIndex);
    }
    if (context.driveSettings) {
        const int setting = context.settings.errorCorrection();
        context.driveSettings->SetErrorCorrection(setting == 0 ? 0 : setting == 2 ? 5 : 1);
    }
    // Figures a mode does not measure (the encoder gives no remaining time and no speed)
    // show a dash.
    for (const int id : {IDC_ESTIMATED, IDC_OUTPUT_SIZE, IDC_PERFORMANCE})
        setText(id, QStringLiteral("-"));
}

CEncoderProgressDlg::~CEncoderProgressDlg() {
    m_decoder->Stop();
    for (const auto& decoder : m_moreDecoders)
        decoder->Stop();
    for (const auto& encoder : m_moreEncoders)
        encoder->AbortEncoding();
}

WmaEncodeJob& CEncoderProgressDlg::shownEncoder() const {
    if (m_mode == 1 && m_cdShownEncoder)
        return *m_cdShownEncoder;
    if (const FileSlot* slot = shownSlot(); slot && !decoding())
        return static_cast<const EncodeSlot*>(slot)->job();
    return *m_encoder;
}

WmaDecodeJob& CEncoderProgressDlg::shownDecoder() const {
    if (const FileSlot* slot = shownSlot(); slot && decoding())
        return static_cast<const DecodeSlot*>(slot)->job();
    return *m_decoder;
}

std::vector<WmaEncodeJob*> CEncoderProgressDlg::encoders(int width) {
    std::vector<WmaEncodeJob*> all{m_encoder.get()};
    for (const auto& more : m_moreEncoders) {
        if (static_cast<int>(all.size()) >= width)
            return all;
        all.push_back(more.get());
    }
    // Each further encoder reads the same profile collection; one that lists another
    // profile under the chosen index is not used.
    try {
        const std::string profile =
            m_encoder->GetEncoder().GetProfileInfo(m_encoder->GetProfileIndex()).name;
        while (static_cast<int>(all.size()) < width) {
            auto encoder = std::make_unique<WmaEncodeJob>(createMediaEncoder(m_context));
            encoder->SetProfileIndex(m_encoder->GetProfileIndex());
            if (encoder->GetEncoder().GetProfileInfo(encoder->GetProfileIndex()).name != profile)
                break;
            m_moreEncoders.push_back(std::move(encoder));
            all.push_back(m_moreEncoders.back().get());
        }
    } catch (const WMException&) {
        // The encoders made so far do the work; the first one reports any profile trouble.
    }
    return all;
}

void CEncoderProgressDlg::encodeFiles(const std::vector<std::string>& files) {
    if (isFileBatch())
        beginFileBatch(static_cast<int>(files.size()));
    const int width = parallelWidth(files.size());
    std::vector<FileEnd> ends;
    std::vector<std::unique_ptr<EncodeSlot>> workers;
    for (WmaEncodeJob* encoder : encoders(width))
        workers.push_back(std::make_unique<EncodeSlot>(*this, *encoder, files, ends));
    std::vector<FileSlot*> places;
    for (const auto& w : workers)
        places.push_back(w.get());
    std::vector<std::string> kept;
    const FileBatchEnd end = runFileBatch(files, ".wma", places, ends, kept, 1000);
    if (end == FileBatchEnd::Aborted) {
        reportAbortKeeping(kept);
        return;
    }
    if (end == FileBatchEnd::Completed)
        finishCompleted();
    else if (isFileBatch())
        finishStopped();
}

void CEncoderProgressDlg::decodeFiles(const std::vector<std::string>& files) {
    if (isFileBatch())
        beginFileBatch(static_cast<int>(files.size()));
    const int width = parallelWidth(files.size());
    std::vector<FileEnd> ends;
    std::vector<std::unique_ptr<DecodeSlot>> workers;
    workers.push_back(std::make_unique<DecodeSlot>(*this, *m_decoder, files, ends));
    for (int i = 1; i < width; ++i) {
        m_moreDecoders.push_back(std::make_unique<WmaDecodeJob>());
        workers.push_back(std::make_unique<DecodeSlot>(*this, *m_moreDecoders.back(), files, ends));
    }
    std::vector<FileSlot*> places;
    for (const auto& w : workers)
        places.push_back(w.get());
    std::vector<std::string> kept;
    const FileBatchEnd end = runFileBatch(files, ".wav", places, ends, kept, 50);
    if (end == FileBatchEnd::Aborted) {
        reportAbortKeeping(kept);
        return;
    }
    if (end == FileBatchEnd::Completed)
        finishCompleted();
    else if (isFileBatch())
        finishStopped();
}

void CEncoderProgressDlg::runBatch() {
    if (decoding()) {
        runDecode();
        return;
    }
    if (!m_encoder) {
        reportEncoderFailure(0);
        return;
    }
    if (m_mode == 1)
        runCd();
    else
        runFiles();
}

void CEncoderProgressDlg::reportEncoderFailure(uint32_t code) {
    try {
        if (m_encoder && m_encoder->GetEncoder().GetRunState() != WmEncoderControl::kRunning &&
            m_encoder->GetEncoder().HasSourceGroup())
            m_encoder->GetEncoder().ReleaseSourceGroup();
    } catch (const WMException&) {
        // Releasing a group of a stopped encoder does not fail; nothing more to report.
    }
    QApplication::restoreOverrideCursor();
    MessageService::text(QString::fromStdString(GetErrorText(code)), MessageIcon::None,
                         MessageButtons::Ok, this);
}

bool CEncoderProgressDlg::reportFileEncoderFailure(WmaEncodeJob& encoder, uint32_t code,
                                                   const std::string& input,
                                                   const std::string& output, bool started,
                                                   bool askToSkip) {
    try {
        if (encoder.GetEncoder().GetRunState() != WmEncoderControl::kRunning &&
            encoder.GetEncoder().HasSourceGroup())
            encoder.GetEncoder().ReleaseSourceGroup();
    } catch (const WMException&) {
        // Releasing a group of a stopped encoder does not fail; nothing more to report.
    }
    const bool inputAtFault = isInputFailure(code);
    // The encoder creates its output before it starts: an output failure after the start
    // is a failed write, whose unfinished file the encoder has removed.
    const int stringId = inputAtFault ? 195 : started ? IDS_WRITE_FAILED : 196;
    return reportFileFailure(stringId, inputAtFault ? input : output, failureReason(code),
                             askToSkip, input);
}

void CEncoderProgressDlg::checkInput(const std::string& path, bool withMessages) {
    if (!hasExtension(path, ".wav")) {
        // Not a WAV file (an MP3 in the file and folder modes): the media reader measures
        // it, and no WAV message is shown for it.
        const int64_t duration = getMediaDuration(path);
        const int seconds = static_cast<int>(duration / 10000000);
        if (seconds > 0) {
            bar(IDC_CURRENT_BAR)->setRange(0, seconds);
            if (m_mode == 3)
                bar(IDC_OVERALL_BAR)->setRange(0, seconds);
        }
        return;
    }
    const WavCheckResult r = checkWavHeader(path);
    if (r.status == WavCheck::Ok) {
        bar(IDC_CURRENT_BAR)->setRange(0, r.durationSeconds);
        if (m_mode == 3)
            bar(IDC_OVERALL_BAR)->setRange(0, r.durationSeconds);
    } else if (withMessages) {
        message(r.status == WavCheck::CannotOpen ? 154 : 155, MessageIcon::None);
    }
}

bool CEncoderProgressDlg::startEncoding(WmaEncodeJob& encoder, const std::string& input,
                                        const std::string& output, int cdTrack,
                                        const std::string& title, bool askToSkip) {
    m_goOn = false;
    m_askToSkip = askToSkip;
    setText(IDC_INPUT_FILE, input);
    setText(IDC_OUTPUT_FILE, output);
    m_fileStart = std::time(nullptr);
    try {
        AudioTags tags;
        if (cdTrack >= 0) {
            tags = cld::cdDiscTags(m_context);
            if (tags.artist.empty())
                tags.artist = "Unknown Artist";
            tags.title = title;
            tags.track = cdTrack + 1;
        }
        encoder.EncodeFile(input, output, cdTrack >= 0 ? &tags : nullptr);
    } catch (const WMException& e) {
        m_goOn = reportFileEncoderFailure(encoder, e.GetCode(), input, output, false, askToSkip);
        return false;
    }
    encoder.WaitWhileStarting(kSettleLimit);
    return true;
}

CEncoderProgressDlg::JobEnd CEncoderProgressDlg::waitForEncoder(WmaEncodeJob& encoder,
                                                                const std::string& input,
                                                                const std::string& output,
                                                                int waitMs) {
    m_context.waits().pump();
    while (encoder.IsEncoding()) {
        if (m_abort) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            encoder.AbortEncoding();
            QApplication::restoreOverrideCursor();
            return JobEnd::Aborted;
        }
        waitUntil(waitMs, [&encoder] { return !encoder.IsEncoding(); });
    }
    if (m_abort) {
        return JobEnd::Aborted;
    }
    refreshFigures();
    if (const uint32_t code = encoder.GetLastErrorCode()) {
        m_goOn = reportFileEncoderFailure(encoder, code, input, output, true, m_askToSkip);
        return JobEnd::Failed;
    }
    encoder.OnStopped();
    CProgressBar* current = bar(IDC_CURRENT_BAR);
    current->setPos(current->upper());
    return JobEnd::Done;
}

void CEncoderProgressDlg::runFiles() {
    bar(IDC_CURRENT_BAR)->setPos(0);
    bar(IDC_OVERALL_BAR)->setPos(0);
    showDiskSpace(m_params.outputPath);
    if (!isFileBatch()) {
        // One file: the WAV check says what it finds, then the scheduler of the batches
        // runs it, so that it ends as they do.
        bar(IDC_CURRENT_BAR)->setRange(0, 100);
        checkInput(m_params.inputPath, true);
        encodeFiles({m_params.inputPath});
        return;
    }
    std::vector<std::string> files;
    if (!m_params.inputFiles.empty()) {
        files = m_params.inputFiles;
    } else {
        // One pass over the WAV files, then one over the other audio files.
        files = batchAudioFiles();
        if (files.empty()) {
            message(181, MessageIcon::Exclamation);
            return;
        }
    }
    encodeFiles(files);
}

void CEncoderProgressDlg::runCd() {
    const GrabSelection& sel = m_context.grabSelection;
    const int count = static_cast<int>(sel.ticked.size());
    const std::string folder = withTrailingSlash(m_params.outputPath);
    // Every name is settled before the first track is read; the temporary WAV files live
    // in a folder of the job's own, removed with whatever is left in it when the job ends.
    if (!prepareCdFiles(".wma"))
        return;
    const auto endJob = qScopeGuard([this] { endCdJob(); });
    bar(IDC_OVERALL_BAR)->setRange(0, count);
    bar(IDC_OVERALL_BAR)->setPos(0);
    showDiskSpace(folder);
    // Earlier tracks encode on every core while the next one is read, as in the MP3
    // mode; with one encoder track i + 1 is read while track i is encoded. At most one
    // temporary WAV per encoder plus the one being read are on disk.
    const std::vector<WmaEncodeJob*> pool =
        encoders(parallelWidth(static_cast<size_t>(std::max(count, 1))));
    // The tracks being encoded, in disc order, with their lengths for the current bar.
    struct Encoding {
        WmaEncodeJob* job;
        std::string wav;
        std::string wma;
        int seconds;
    };
    std::deque<Encoding> encoding;
    // The WMA file of a track whose encoding Abort cut short stays as NAME.part.
    std::vector<std::string> keptPartials;
    auto showFirst = [&] {
        m_cdShownEncoder = encoding.empty() ? nullptr : encoding.front().job;
        if (!encoding.empty() && encoding.front().seconds > 0)
            bar(IDC_CURRENT_BAR)->setRange(0, encoding.front().seconds);
    };
    auto keepPartial = [&](const std::string& wma) {
        if (const std::string kept = keepCdPartial(wma); !kept.empty())
            keptPartials.push_back(kept);
    };
    // Ends the batch: the encoders still at work are stopped (their files kept as
    // NAME.part) and every temporary WAV removed; finished WMA files stay.
    auto stopAll = [&](const std::string& currentWav) {
        for (const Encoding& e : encoding) {
            if (e.job->IsEncoding()) {
                e.job->AbortEncoding();
                keepPartial(e.wma);
            } else if (e.job->GetEncoder().GetLastErrorCode() == 0) {
                noteCdOutputComplete(e.wma);
            }
            removeTemporary(e.wav);
        }
        encoding.clear();
        showFirst();
        removeTemporary(currentWav);
    };
    // Waits for the encoder of the first track in work, then removes its WAV; false when
    // the batch ends (after stopping everything).
    auto finishFirst = [&](const std::string& currentWav) {
        const Encoding e = encoding.front();
        const bool wasEncoding = e.job->IsEncoding();
        const JobEnd end = waitForEncoder(*e.job, e.wav, e.wma, 800);
        encoding.pop_front();
        showFirst();
        // Abort pressed after the encoder had written the whole track leaves that file
        // as it is; one cut short is kept under another name.
        if (end == JobEnd::Aborted && wasEncoding)
            keepPartial(e.wma);
        else if (end == JobEnd::Done || end == JobEnd::Aborted)
            noteCdOutputComplete(e.wma);
        removeTemporary(e.wav);
        if (end != JobEnd::Done) {
            stopAll(currentWav);
            return false;
        }
        return true;
    };
    auto finishDone = [&](const std::string& currentWav) {
        while (!encoding.empty() && !encoding.front().job->IsEncoding())
            if (!finishFirst(currentWav))
                return false;
        return true;
    };
    auto freeEncoder = [&] { return idleJob(pool, encoding); };
    auto endAborted = [&] {
        if (m_abort)
            reportCdAbort(keptPartials);
    };

    for (int i = 0; i < count; ++i) {
        const CdTrackFiles& files = cdTrackFiles(i);
        const std::string& title = files.title;
        const std::string& wav = files.wav;
        const std::string& wma = files.output;
        showFileCount(i + 1, count);
        const ReadResult read = m_abort ? ReadResult::Aborted : readCdTrack(files);
        if (read != ReadResult::Done) {
            if (read == ReadResult::Failed && !m_abort) {
                // The tracks before this one are still encoding and are good: finish them.
                while (!encoding.empty() && finishFirst(wav)) {
                }
            }
            stopAll(wav);
            endAborted();
            return;
        }
        if (!finishDone(wav)) {
            endAborted();
            return;
        }
        WmaEncodeJob* encoder = freeEncoder();
        while (!encoder) {
            if (!finishFirst(wav)) {
                endAborted();
                return;
            }
            encoder = freeEncoder();
        }
        bar(IDC_OVERALL_BAR)->setPos(i + 1);
        bar(IDC_CURRENT_BAR)->setPos(0);
        checkInput(wav, true);
        const int seconds = bar(IDC_CURRENT_BAR)->upper();
        encoder->SetReplaceExisting(cdReplaceExisting());
        if (m_abort || !startEncoding(*encoder, wav, wma, files.track, title, false)) {
            // The tracks before this one are good: finish them, unless the user aborted.
            while (!m_abort && !encoding.empty() && finishFirst(wav)) {
            }
            stopAll(wav);
            endAborted();
            return;
        }
        encoding.push_back({encoder, wav, wma, seconds});
        showFirst();
    }
    while (!encoding.empty()) {
        if (!finishFirst({})) {
            endAborted();
            return;
        }
    }
    finishCompleted();
}

void CEncoderProgressDlg::runDecode() {
    bar(IDC_CURRENT_BAR)->setRange(0, 100);
    bar(IDC_CURRENT_BAR)->setPos(0);
    bar(IDC_OVERALL_BAR)->setPos(0);
    showDiskSpace(m_params.outputPath);
    if (!isFileBatch()) {
        decodeFiles({m_params.inputPath});
        return;
    }
    const std::vector<std::string> files = batchFiles(".wma");
    if (files.empty()) {
        message(190, MessageIcon::Exclamation);
        return;
    }
    decodeFiles(files);
}

void CEncoderProgressDlg::refreshFigures() {
    if (decoding()) {
        WmaDecodeJob& decoder = shownDecoder();
        if (decoder.IsRunning())
            bar(IDC_CURRENT_BAR)->setPos(decoder.GetProgress());
        showFileBatchFigures();
        showDiskSpace(m_params.outputPath);
        return;
    }
    if (m_mode != 1) {
        if (!m_encoder)
            return;
        try {
            CProgressBar* current = bar(IDC_CURRENT_BAR);
            WmaEncodeJob& encoder = shownEncoder();
            const WmaEncodeJob::Figures f = encoder.RefreshStatistics(current->upper());
            if (encoder.IsEncoding()) {
                current->setPos(f.barPosition);
                setText(IDC_MEDIA_BITRATE, f.bitrateText);
            }
        } catch (const WMException& e) {
            reportEncoderFailure(e.GetCode());
            requestAbort();
            return;
        }
        showFileBatchFigures();
        showDiskSpace(m_params.outputPath);
        return;
    }
    showTimes(-1);
    if (decoding()) {
        WmaDecodeJob& decoder = shownDecoder();
        bar(IDC_CURRENT_BAR)->setPos(decoder.GetProgress());
        showTimes(decoder.GetRemainingSeconds());
        if (const uint32_t kilobytes = decoder.GetKilobytesPerSecond())
            setText(IDC_PERFORMANCE, kilobytesPerSecondText(kilobytes));
        showDiskSpace(m_params.outputPath);
        return;
    }
    if (!m_encoder)
        return;
    try {
        CProgressBar* current = bar(IDC_CURRENT_BAR);
        WmaEncodeJob& encoder = shownEncoder();
        const WmaEncodeJob::Figures f = encoder.RefreshStatistics(current->upper());
        if (encoder.IsEncoding())
            current->setPos(f.barPosition);
        setText(IDC_MEDIA_BITRATE, f.bitrateText);
        setText(IDC_OUTPUT_SIZE, f.fileSizeText);
        showDiskSpace(m_params.outputPath);
    } catch (const WMException& e) {
        reportEncoderFailure(e.GetCode());
        requestAbort();
    }
}
