#include "CEncoderProgressDlg.h"

#include "AppResources.h"
#include "CProgressBar.h"
#include "CdDiscTags.h"
#include "ConvertIds.h"
#include "ConvertPaths.h"
#include "FileWorkers.h"
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

} // namespace

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
    for (const auto& encoder : m_moreEncoders)
        encoder->AbortEncoding();
}

WmaEncodeJob& CEncoderProgressDlg::shownEncoder() const {
    if (m_mode == 1 && m_cdShownEncoder)
        return *m_cdShownEncoder;
    if (const auto* worker = dynamic_cast<const engine::WmaEncodeWorker*>(shownWorker()))
        return worker->encoder();
    return *m_encoder;
}

WmaDecodeJob& CEncoderProgressDlg::shownDecoder() const {
    if (const auto* worker = dynamic_cast<const engine::WmaDecodeWorker*>(shownWorker()))
        return worker->decoder();
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
    const std::vector<WmaEncodeJob*> pool = encoders(parallelWidth(files.size()));
    size_t made = 0;
    const engine::WorkerFactory makeWorker = [&pool,
                                              &made]() -> std::unique_ptr<engine::FileWorker> {
        if (made >= pool.size())
            return nullptr;
        return std::make_unique<engine::WmaEncodeWorker>(*pool[made++]);
    };
    finishFileBatch(files, ".wma", makeWorker, 1000);
}

void CEncoderProgressDlg::decodeFiles(const std::vector<std::string>& files) {
    if (isFileBatch())
        beginFileBatch(static_cast<int>(files.size()));
    const engine::WorkerFactory makeWorker = [] {
        return std::make_unique<engine::WmaDecodeWorker>();
    };
    finishFileBatch(files, ".wav", makeWorker, 50);
}

void CEncoderProgressDlg::finishFileBatch(const std::vector<std::string>& files,
                                          const std::string& extension,
                                          const engine::WorkerFactory& makeWorker, int waitMs) {
    std::vector<std::string> kept;
    const FileBatchEnd end = runFileBatch(files, extension, makeWorker, kept, waitMs);
    if (end == FileBatchEnd::Aborted) {
        reportAbortKeeping(kept);
        return;
    }
    if (end == FileBatchEnd::Completed)
        finishCompleted();
    else if (isFileBatch())
        finishStopped();
}

int CEncoderProgressDlg::failureStringId(const engine::ItemFailure& f) const {
    if (f.worker == engine::WorkerKind::WmaEncode)
        return f.inputAtFault                          ? 195
               : f.what == engine::Failure::NotStarted ? 196
                                                       : IDS_WRITE_FAILED;
    return jobFailure(JobKind::WmaDecode, f.code, f.detail, f.wroteOutput).stringId;
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
    return reportFileFailure(stringId, inputAtFault ? input : output, reasonText(code), askToSkip,
                             input);
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
