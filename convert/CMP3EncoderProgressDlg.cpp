#include "CMP3EncoderProgressDlg.h"

#include "AppResources.h"
#include "CProgressBar.h"
#include "ConvertIds.h"
#include "ConvertPaths.h"
#include "FileWorkers.h"
#include "GenreList.h"
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
#include <algorithm>

using namespace cld;

namespace {

int titleFor(cld::engine::JobMode mode) {
    using cld::engine::JobMode;
    switch (mode) {
    case JobMode::CdEncode:
        return 183;
    case JobMode::FolderEncode:
        return 184;
    case JobMode::FileEncode:
        return 185;
    case JobMode::FolderDecode:
        return 193;
    default:
        return 194;
    }
}

} // namespace

CMP3EncoderProgressDlg::CMP3EncoderProgressDlg(JobContext& context,
                                               const cld::engine::JobSpec& params, QWidget* parent)
    : CBatchProgressDlg(context, params, kDialogId, titleFor(params.mode), true, parent),
      m_encoder(std::make_unique<Mp3EncodeJob>()), m_decoder(std::make_unique<Mp3DecodeJob>()) {
    // Figures not known yet (the rates until a job has measured them) show a dash.
    for (const int id : {IDC_ESTIMATED, IDC_OUTPUT_SIZE, IDC_PERFORMANCE, IDC_SAMPLES})
        setText(id, QStringLiteral("-"));
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

void CMP3EncoderProgressDlg::runBatch() {
    if (isCdJob())
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
    const engine::Mp3EncodeSettings settings = encodeSettings();
    m_encoder->SetParams(settings.params);
    setText(IDC_MEDIA_BITRATE, mp3BitrateText(settings.params));
    runCdJob("mp3", mp3EncoderOptions(settings.params, settings.id3v2), settings.replayGain);
}

void CMP3EncoderProgressDlg::refreshFigures() {
    if (isCdJob()) {
        showCdFigures();
        return;
    }
    // The figures of the whole batch; the bars follow the batch's own figures.
    if (!decoding())
        setText(IDC_MEDIA_BITRATE, mp3BitrateText(m_encoder->GetParams()));
    showFileBatchFigures();
    showDiskSpace(m_params.outputPath);
}
