#include "CMP3EncoderProgressDlg.h"

#include "AppResources.h"
#include "CProgressBar.h"
#include "CdDiscTags.h"
#include "ConvertIds.h"
#include "ConvertPaths.h"
#include "FileWorkers.h"
#include "GenreList.h"
#include "JobContext.h"
#include "Log.h"
#include "MessageService.h"
#include "Mp3AlbumGain.h"
#include "Mp3Bitrates.h"
#include "Mp3DecodeJob.h"
#include "Mp3EncodeJob.h"
#include "ProgressFigures.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "WaitService.h"

#include <QApplication>
#include <QScopeGuard>
#include <algorithm>
#include <deque>

using namespace cld;

namespace {

int titleFor(int mode) {
    switch (mode) {
    case 1:
        return 183;
    case 2:
        return 184;
    case 3:
        return 185;
    case 4:
        return 193;
    default:
        return 194;
    }
}

} // namespace

CMP3EncoderProgressDlg::CMP3EncoderProgressDlg(JobContext& context, const JobParameters& params,
                                               int mode, QWidget* parent)
    : CBatchProgressDlg(context, params, mode, kDialogId, titleFor(mode), true, parent),
      m_encoder(std::make_unique<Mp3EncodeJob>()), m_decoder(std::make_unique<Mp3DecodeJob>()) {
    // Figures not known yet (the rates until a job has measured them) show a dash.
    for (const int id : {IDC_ESTIMATED, IDC_OUTPUT_SIZE, IDC_PERFORMANCE, IDC_SAMPLES})
        setText(id, QStringLiteral("-"));
}

void CMP3EncoderProgressDlg::showRates(const CodecJob& job) {
    const uint32_t kilobytes = job.GetKilobytesPerSecond();
    const uint32_t samples = job.GetSamplesPerSecond();
    if (kilobytes > 0)
        setText(IDC_PERFORMANCE, kilobytesPerSecondText(kilobytes));
    if (samples > 0)
        setText(IDC_SAMPLES, samplesPerSecondText(samples));
}

CMP3EncoderProgressDlg::~CMP3EncoderProgressDlg() {
    // A job still running (the dialog closed on a failure elsewhere) stops at its next
    // block; the job objects wait for their workers.
    m_encoder->RequestAbort();
    m_decoder->RequestAbort();
    for (const auto& job : m_moreJobs)
        job->RequestAbort();
}

void CMP3EncoderProgressDlg::onAbort() {
    m_encoder->RequestAbort();
    m_decoder->RequestAbort();
    for (const auto& job : m_moreJobs)
        job->RequestAbort();
}

CodecJob& CMP3EncoderProgressDlg::shownJob() const {
    if (m_cdShownJob)
        return *m_cdShownJob;
    if (const auto* worker = dynamic_cast<const engine::CodecFileWorker*>(shownWorker()))
        return worker->job();
    return decoding() ? static_cast<CodecJob&>(*m_decoder) : *m_encoder;
}

engine::Mp3EncodeSettings CMP3EncoderProgressDlg::encodeSettings() const {
    engine::Mp3EncodeSettings s;
    s.params =
        mp3ParamsFromSettings(m_context.settings, m_params.encodingBitrate, m_encoder->GetParams());
    s.id3v2 = m_context.settings.mp3Id3v2Tag() != 0;
    s.replayGain = s.id3v2 && m_context.settings.mp3ReplayGain() != 0;
    const GenreList& genres = m_context.genres;
    s.genreNumberOf = [&genres](const std::string& genre) {
        for (int i = 0; i < genres.genreCount(); ++i) {
            if (QString::fromStdString(genres.genreName(i))
                    .compare(QString::fromStdString(genre), Qt::CaseInsensitive) == 0)
                return i;
        }
        return 255;
    };
    return s;
}

bool CMP3EncoderProgressDlg::startJob(CodecJob& job, const std::string& input,
                                      const std::string& output) {
    if (m_abort)
        return false;
    job.SetInput(input);
    job.SetOutput(output);
    setText(IDC_INPUT_FILE, input);
    setText(IDC_OUTPUT_FILE, output);
    m_fileStart = std::time(nullptr);
    if (auto* encoder = dynamic_cast<Mp3EncodeJob*>(&job)) {
        // The CD mode names each track before it starts.
        const engine::Mp3EncodeSettings s = encodeSettings();
        encoder->SetParams(s.params);
        encoder->SetId3v2Tag(s.id3v2);
        encoder->SetReplayGain(s.replayGain);
        return encoder->Start();
    }
    return static_cast<Mp3DecodeJob&>(job).Start();
}

bool CMP3EncoderProgressDlg::reportJobFailure(const CodecJob& job, bool askToSkip) {
    const JobFailure f =
        jobFailure(decoding() ? JobKind::Mp3Decode : JobKind::Mp3Encode, job.GetErrorCode(),
                   job.GetErrorDetail(), job.GetBytesDone() > 0);
    return reportFileFailure(f.stringId, f.inputAtFault ? job.GetInput() : job.GetOutput(),
                             reasonText(job.GetErrorDetail()), askToSkip, job.GetInput());
}

CMP3EncoderProgressDlg::JobEnd CMP3EncoderProgressDlg::waitForJob(CodecJob& job, int waitMs) {
    m_context.waits().pump();
    while (job.IsRunning()) {
        if (m_abort)
            break;
        if (decoding()) {
            const int percent = job.GetProgress();
            bar(IDC_CURRENT_BAR)->setPos(percent);
            if (m_mode == 5)
                bar(IDC_OVERALL_BAR)->setPos(percent);
        }
        waitUntil(waitMs, [&job] { return !job.IsRunning(); });
    }
    if (m_abort) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        job.RequestAbort();
        // The worker closes its file after the block in progress.
        while (job.IsRunning())
            m_context.waits().waitAndPump(10);
        QApplication::restoreOverrideCursor();
        return JobEnd::Aborted;
    }
    if (job.GetErrorCode() != 0)
        return JobEnd::Failed;
    bar(IDC_CURRENT_BAR)->setPos(100);
    return JobEnd::Done;
}

void CMP3EncoderProgressDlg::runBatch() {
    if (m_mode == 1)
        runCd();
    else
        runFiles();
}

void CMP3EncoderProgressDlg::runFiles() {
    bar(IDC_CURRENT_BAR)->setRange(0, 100);
    bar(IDC_CURRENT_BAR)->setPos(0);
    bar(IDC_OVERALL_BAR)->setPos(0);
    if (!isFileBatch()) {
        // One file: the scheduler of the batches with one file, so that it ends as they do.
        runFileBatchOf({m_params.inputPath});
        return;
    }
    const std::vector<std::string> files = decoding() ? batchFiles(".mp3") : batchAudioFiles();
    if (files.empty()) {
        if (decoding()) {
            // The decoders share one text, written for WMA files.
            QString text = AppResources::string(190);
            text.replace(QStringLiteral(".WMA"), QStringLiteral(".MP3"));
            QApplication::restoreOverrideCursor();
            m_context.messages().show(
                Message{190, text, MessageIcon::Exclamation, MessageButtons::Ok, this});
        } else {
            message(181, MessageIcon::Exclamation);
        }
        return;
    }
    runFileBatchOf(files);
}

void CMP3EncoderProgressDlg::runFileBatchOf(const std::vector<std::string>& files) {
    if (isFileBatch())
        beginFileBatch(static_cast<int>(files.size()));
    showDiskSpace(m_params.outputPath);
    // The figures show the bitrate the batch encodes at.
    const engine::Mp3EncodeSettings settings = encodeSettings();
    m_encoder->SetParams(settings.params);
    const bool decode = decoding();
    const engine::WorkerFactory makeWorker = [&settings, decode] {
        return decode ? std::unique_ptr<engine::FileWorker>(
                            std::make_unique<engine::Mp3DecodeWorker>())
                      : std::make_unique<engine::Mp3EncodeWorker>(settings);
    };
    std::vector<std::string> kept;
    const FileBatchEnd end =
        runFileBatch(files, decode ? ".wav" : ".mp3", makeWorker, kept, decode ? 50 : 1000);
    if (end == FileBatchEnd::Aborted) {
        // The encoding modes close without a word unless files cut short were kept aside
        // (and named); the decoding modes always say so.
        if (decode || !kept.empty())
            reportAbortKeeping(kept);
        return;
    }
    if (end == FileBatchEnd::Completed)
        finishCompleted();
    else if (isFileBatch())
        finishStopped();
}

int CMP3EncoderProgressDlg::failureStringId(const engine::ItemFailure& f) const {
    return jobFailure(decoding() ? JobKind::Mp3Decode : JobKind::Mp3Encode, f.code, f.detail,
                      f.wroteOutput)
        .stringId;
}

void CMP3EncoderProgressDlg::runCd() {
    const GrabSelection& sel = m_context.grabSelection;
    const int count = static_cast<int>(sel.ticked.size());
    const std::string folder = withTrailingSlash(m_params.outputPath);
    // Every name is settled before the first track is read; the temporary WAV files live
    // in a folder of the job's own, removed with whatever is left in it when the job ends.
    if (!prepareCdFiles(".mp3"))
        return;
    const auto endJob = qScopeGuard([this] { endCdJob(); });
    bar(IDC_OVERALL_BAR)->setRange(0, count);
    bar(IDC_OVERALL_BAR)->setPos(0);
    bar(IDC_CURRENT_BAR)->setRange(0, 100);
    showDiskSpace(folder);
    // Each encoder tags its whole MP3 before it takes its name.
    AudioTags tags = cdDiscTags(m_context);
    // The disc's tracks are one album for the loudness, once all are encoded.
    Mp3AlbumGain album;

    // Earlier tracks encode on every core while the next one is read: the reader mostly
    // waits for the drive (a 10-minute disc costs it well under a second of processor
    // time), so it does not keep a core of its own. With one encoder this is the plain
    // pipeline: track i + 1 is read while track i is encoded. At most one temporary WAV
    // per encoder plus the one being read are on disk.
    const int width = parallelWidth(static_cast<size_t>(std::max(count, 1)));
    std::vector<Mp3EncodeJob*> encoders{m_encoder.get()};
    for (int i = 1; i < width; ++i) {
        m_moreJobs.push_back(std::make_unique<Mp3EncodeJob>());
        encoders.push_back(static_cast<Mp3EncodeJob*>(m_moreJobs.back().get()));
    }
    // The tracks being encoded, in disc order.
    struct Encoding {
        Mp3EncodeJob* job;
        std::string wav;
        std::string mp3;
    };
    std::deque<Encoding> encoding;
    // The MP3 of a track whose encoding was cut short by Abort stays, but as NAME.part:
    // under its own name it would pass for the whole track.
    std::vector<std::string> keptPartials;
    auto showFirst = [&] { m_cdShownJob = encoding.empty() ? nullptr : encoding.front().job; };
    // Ends the batch: the encoders still at work are stopped and every temporary WAV
    // removed; finished MP3 files stay, tagged.
    auto stopAll = [&](const std::string& currentWav) {
        for (const Encoding& e : encoding) {
            if (e.job->IsRunning()) {
                e.job->RequestAbort();
                while (e.job->IsRunning())
                    m_context.waits().waitAndPump(10);
            }
            // A job that failed removed its file; one that encoded the whole track before
            // the batch ended made a finished, tagged MP3; any other was cut short.
            if (e.job->GetErrorCode() == 0 && e.job->GetProgress() < 100) {
                if (const std::string kept = keepCdPartial(e.mp3); !kept.empty())
                    keptPartials.push_back(kept);
            } else if (e.job->GetErrorCode() == 0) {
                noteCdOutputComplete(e.mp3);
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
        const JobEnd end = waitForJob(*e.job, 800);
        encoding.pop_front();
        showFirst();
        // Abort pressed just as the encoder finished the whole track: that MP3 is complete
        // (and tagged); otherwise its partial file is kept under another name.
        if (end == JobEnd::Aborted &&
            !(e.job->GetErrorCode() == 0 && e.job->GetProgress() == 100)) {
            if (const std::string kept = keepCdPartial(e.mp3); !kept.empty())
                keptPartials.push_back(kept);
        } else if (end == JobEnd::Failed) {
            reportJobFailure(*e.job, false); // the job removed its unfinished file
        } else {
            noteCdOutputComplete(e.mp3);
        }
        album.add(e.mp3, e.job->TakeLoudness());
        removeTemporary(e.wav);
        if (end != JobEnd::Done) {
            stopAll(currentWav);
            return false;
        }
        return true;
    };
    // Finishes the tracks at the front whose encoders are done, in disc order.
    auto finishDone = [&](const std::string& currentWav) {
        while (!encoding.empty() && !encoding.front().job->IsRunning())
            if (!finishFirst(currentWav))
                return false;
        return true;
    };
    auto freeEncoder = [&] { return idleJob(encoders, encoding); };
    auto endAborted = [&] {
        if (m_abort)
            reportCdAbort(keptPartials);
    };

    for (int i = 0; i < count; ++i) {
        const CdTrackFiles& files = cdTrackFiles(i);
        const int track = files.track;
        const std::string& title = files.title;
        const std::string& wav = files.wav;
        const std::string& mp3 = files.output;
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
        Mp3EncodeJob* encoder = freeEncoder();
        while (!encoder) {
            if (!finishFirst(wav)) {
                endAborted();
                return;
            }
            encoder = freeEncoder();
        }
        bar(IDC_OVERALL_BAR)->setPos(i + 1);
        bar(IDC_CURRENT_BAR)->setPos(0);
        tags.title = title;
        tags.track = track + 1;
        encoder->SetTags(tags);
        encoder->SetReplaceExisting(cdReplaceExisting());
        if (!startJob(*encoder, wav, mp3)) {
            if (!m_abort) {
                reportJobFailure(*encoder, false);
                // The tracks before this one are good: finish them.
                while (!encoding.empty() && finishFirst(wav)) {
                }
            }
            stopAll(wav);
            endAborted();
            return;
        }
        encoding.push_back({encoder, wav, mp3});
        showFirst();
    }
    while (!encoding.empty()) {
        if (!finishFirst({})) {
            endAborted();
            return;
        }
    }
    for (const std::string& file : album.write())
        logf(LogLevel::Warning, "The album's loudness could not be added to %s", file.c_str());
    finishCompleted();
}

void CMP3EncoderProgressDlg::refreshFigures() {
    CodecJob& job = shownJob();
    if (m_mode != 1) {
        // The figures of the whole batch; the current bar follows the file shown.
        if (job.IsRunning())
            bar(IDC_CURRENT_BAR)->setPos(job.GetProgress());
        if (!decoding())
            setText(IDC_MEDIA_BITRATE,
                    mp3BitrateText(static_cast<Mp3EncodeJob&>(*m_encoder).GetParams()));
        showFileBatchFigures();
        showDiskSpace(m_params.outputPath);
        return;
    }
    showTimes(-1);
    if (decoding()) {
        bar(IDC_CURRENT_BAR)->setPos(job.GetProgress());
        showTimes(job.GetRemainingSeconds());
        showRates(job);
        showDiskSpace(m_params.outputPath);
        return;
    }
    if (job.IsRunning()) {
        bar(IDC_CURRENT_BAR)->setPos(job.GetProgress());
        setText(IDC_MEDIA_BITRATE, mp3BitrateText(static_cast<Mp3EncodeJob&>(job).GetParams()));
        showTimes(job.GetRemainingSeconds());
        showRates(job);
        showDiskSpace(m_params.outputPath);
    } else if (job.GetProgress() > 95) {
        bar(IDC_CURRENT_BAR)->setPos(100);
    }
}
