#include "CMP3EncoderProgressDlg.h"

#include "AppResources.h"
#include "CProgressBar.h"
#include "ControlTag.h"
#include "ConvertIds.h"
#include "ConvertPaths.h"
#include "DialogPolish.h"
#include "Id3v1Tag.h"
#include "JobContext.h"
#include "MessageService.h"
#include "Mp3Bitrates.h"
#include "Mp3DecodeJob.h"
#include "Mp3EncodeJob.h"
#include "ProgressFigures.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "WaitService.h"

#include <QApplication>

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
    // No MP3 mode gives an output size, and the rates show once a job has measured them.
    for (const int id : {IDC_OUTPUT_SIZE, IDC_PERFORMANCE, IDC_SAMPLES})
        setFormRowVisible(findControl(this, id), false);
}

void CMP3EncoderProgressDlg::showRates(const CodecJob& job) {
    const uint32_t kilobytes = job.GetKilobytesPerSecond();
    const uint32_t samples = job.GetSamplesPerSecond();
    if (kilobytes > 0) {
        setText(IDC_PERFORMANCE, kilobytesPerSecondText(kilobytes));
        setFormRowVisible(findControl(this, IDC_PERFORMANCE), true);
    }
    if (samples > 0) {
        setText(IDC_SAMPLES, samplesPerSecondText(samples));
        setFormRowVisible(findControl(this, IDC_SAMPLES), true);
    }
}

CMP3EncoderProgressDlg::~CMP3EncoderProgressDlg() {
    // A job still running (the dialog closed on a failure elsewhere) stops at its next
    // block; the job objects wait for their workers.
    m_encoder->RequestAbort();
    m_decoder->RequestAbort();
}

void CMP3EncoderProgressDlg::onAbort() {
    m_encoder->RequestAbort();
    m_decoder->RequestAbort();
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
    if (&job == m_encoder.get()) {
        m_encoder->SetParams(mp3ParamsFromSettings(m_context.settings, m_params.encodingBitrate,
                                                   m_encoder->GetParams()));
        return m_encoder->Start();
    }
    return m_decoder->Start();
}

bool CMP3EncoderProgressDlg::reportJobFailure(const CodecJob& job, bool askToSkip) {
    const JobFailure f =
        jobFailure(decoding() ? JobKind::Mp3Decode : JobKind::Mp3Encode, job.GetErrorCode(),
                   job.GetErrorDetail(), job.GetBytesDone() > 0);
    return reportFileFailure(f.stringId, f.inputAtFault ? job.GetInput() : job.GetOutput(),
                             failureReason(job.GetErrorDetail()), askToSkip, job.GetInput());
}

void CMP3EncoderProgressDlg::reportAbort(const std::string& keptPartial) {
    QString text = AppResources::string(191);
    if (!keptPartial.empty())
        text += QStringLiteral("\n\n") +
                AppResources::string(IDS_PARTIAL_KEPT).arg(QString::fromStdString(keptPartial));
    QApplication::restoreOverrideCursor();
    m_context.messages().show(
        Message{191, text, MessageIcon::Exclamation, MessageButtons::Ok, this});
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

CMP3EncoderProgressDlg::JobEnd
CMP3EncoderProgressDlg::runJob(CodecJob& job, const std::string& input, const std::string& output) {
    if (m_abort)
        return JobEnd::Aborted;
    if (!startJob(job, input, output))
        return m_abort ? JobEnd::Aborted : JobEnd::Failed;
    return waitForJob(job, decoding() ? 50 : 1000);
}

void CMP3EncoderProgressDlg::runBatch() {
    if (m_mode == 1)
        runCd();
    else
        runFiles();
}

void CMP3EncoderProgressDlg::runFiles() {
    CodecJob& job = decoding() ? static_cast<CodecJob&>(*m_decoder) : *m_encoder;
    const char* extension = decoding() ? ".wav" : ".mp3";
    bar(IDC_CURRENT_BAR)->setRange(0, 100);
    bar(IDC_CURRENT_BAR)->setPos(0);
    bar(IDC_OVERALL_BAR)->setPos(0);
    if (!isFileBatch()) {
        bar(IDC_OVERALL_BAR)->setRange(0, 100);
        showDiskSpace(m_params.outputPath);
        const JobEnd end = runJob(job, m_params.inputPath, m_params.outputPath);
        if (end == JobEnd::Aborted && decoding())
            reportAbort({});
        if (end == JobEnd::Failed)
            reportJobFailure(job, false);
        if (end == JobEnd::Done)
            finishCompleted();
        return;
    }
    const std::vector<std::string> files = batchFiles(decoding() ? ".mp3" : ".wav");
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
    const int count = static_cast<int>(files.size());
    beginFileBatch(count);
    bar(IDC_OVERALL_BAR)->setRange(0, count);
    showDiskSpace(m_params.outputPath);
    for (int i = 0; i < count; ++i) {
        showFileCount(i + 1, count);
        bar(IDC_OVERALL_BAR)->setPos(i);
        bar(IDC_CURRENT_BAR)->setPos(0);
        const std::string& input = files[static_cast<size_t>(i)];
        const std::string output =
            withTrailingSlash(m_params.outputPath) + fileTitle(input) + extension;
        const JobEnd end = runJob(job, input, output);
        if (end == JobEnd::Aborted) {
            // The encoding modes close without a word, the decoding modes say so.
            if (decoding())
                reportAbort({});
            return;
        }
        if (end == JobEnd::Failed) {
            if (!reportJobFailure(job, true))
                return;
            continue;
        }
        countConverted();
    }
    finishCompleted();
}

void CMP3EncoderProgressDlg::tagMp3(const std::string& path, const std::string& title) const {
    const GrabSelection& sel = m_context.grabSelection;
    Id3v1Tag tag;
    tag.title = title;
    tag.artist = sel.artist;
    tag.album = sel.album;
    tag.year = std::to_string(sel.year);
    tag.genre = sel.genreIndex;
    tag.track = 0;
    tag.Write(path);
}

void CMP3EncoderProgressDlg::runCd() {
    const GrabSelection& sel = m_context.grabSelection;
    const int count = static_cast<int>(sel.ticked.size());
    const std::string folder = withTrailingSlash(m_params.outputPath);
    const std::string artist = sel.artist.empty() ? "Unknown Artist" : sel.artist;
    bar(IDC_OVERALL_BAR)->setRange(0, count);
    bar(IDC_OVERALL_BAR)->setPos(0);
    bar(IDC_CURRENT_BAR)->setRange(0, 100);
    showDiskSpace(folder);

    std::string previousWav;
    std::string previousMp3;
    std::string previousTitle;
    // The MP3 of a track whose encoding was cut short by Abort stays, but as NAME.part:
    // under its own name it would pass for the whole track.
    std::string keptPartial;
    // Ends the batch: the encoder of the previous track is stopped and every temporary
    // WAV removed; finished MP3 files stay, tagged.
    auto stopAll = [&](const std::string& currentWav) {
        if (!previousWav.empty()) {
            if (m_encoder->IsRunning()) {
                m_encoder->RequestAbort();
                while (m_encoder->IsRunning())
                    m_context.waits().waitAndPump(10);
                keptPartial = keepAsPartial(previousMp3);
            } else if (m_encoder->GetErrorCode() == 0) {
                // It had finished the whole track before the batch ended.
                tagMp3(previousMp3, previousTitle);
            }
        }
        removeTemporary(previousWav);
        removeTemporary(currentWav);
        previousWav.clear();
    };
    // Waits for the previous track's encoder, then tags its MP3 and removes its WAV.
    auto finishPrevious = [&](const std::string& currentWav) {
        if (previousWav.empty())
            return true;
        const JobEnd end = waitForJob(*m_encoder, 800);
        // Abort pressed just as the encoder finished the whole track: that MP3 is complete.
        if (end == JobEnd::Aborted && m_encoder->GetErrorCode() == 0 &&
            m_encoder->GetProgress() == 100)
            tagMp3(previousMp3, previousTitle);
        else if (end == JobEnd::Aborted)
            keptPartial = keepAsPartial(previousMp3);
        else if (end == JobEnd::Failed)
            reportJobFailure(*m_encoder, false); // the job removed its unfinished file
        else
            tagMp3(previousMp3, previousTitle);
        removeTemporary(previousWav);
        previousWav.clear();
        if (end != JobEnd::Done) {
            stopAll(currentWav);
            return false;
        }
        return true;
    };
    auto endAborted = [&] {
        if (m_abort)
            reportAbort(keptPartial);
    };

    for (int i = 0; i < count; ++i) {
        const int track = sel.ticked[static_cast<size_t>(i)];
        const std::string title = static_cast<size_t>(track) < sel.trackNames.size()
                                      ? sel.trackNames[static_cast<size_t>(track)]
                                      : "Track" + std::to_string(track + 1);
        const std::string base = cdTrackBaseName(artist, title);
        const std::string wav = folder + base + ".wav";
        const std::string mp3 = folder + base + ".mp3";
        showFileCount(i + 1, count);
        const ReadResult read =
            m_abort ? ReadResult::Aborted : readCdTrack(track, folder, base, mp3);
        if (read != ReadResult::Done) {
            if (read == ReadResult::Failed && !previousWav.empty() && !m_abort) {
                // The track before this one is still encoding and is good: finish it.
                finishPrevious(wav);
            }
            stopAll(wav);
            endAborted();
            return;
        }
        if (!finishPrevious(wav)) {
            endAborted();
            return;
        }
        bar(IDC_OVERALL_BAR)->setPos(i + 1);
        bar(IDC_CURRENT_BAR)->setPos(0);
        if (!startJob(*m_encoder, wav, mp3)) {
            if (!m_abort)
                reportJobFailure(*m_encoder, false);
            removeTemporary(wav);
            endAborted();
            return;
        }
        previousWav = wav;
        previousMp3 = mp3;
        previousTitle = title;
    }
    if (!finishPrevious({})) {
        endAborted();
        return;
    }
    finishCompleted();
}

void CMP3EncoderProgressDlg::refreshFigures() {
    showTimes(-1);
    if (decoding()) {
        bar(IDC_CURRENT_BAR)->setPos(m_decoder->GetProgress());
        showTimes(m_decoder->GetRemainingSeconds());
        showRates(*m_decoder);
        showDiskSpace(m_params.outputPath);
        return;
    }
    if (m_encoder->IsRunning()) {
        bar(IDC_CURRENT_BAR)->setPos(m_encoder->GetProgress());
        setText(IDC_MEDIA_BITRATE, mp3BitrateText(m_encoder->GetParams()));
        showTimes(m_encoder->GetRemainingSeconds());
        showRates(*m_encoder);
        showDiskSpace(m_params.outputPath);
    } else if (m_encoder->GetProgress() > 95) {
        bar(IDC_CURRENT_BAR)->setPos(100);
    }
}
