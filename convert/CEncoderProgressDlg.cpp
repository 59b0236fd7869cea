#include "CEncoderProgressDlg.h"

#include "AppResources.h"
#include "CProgressBar.h"
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

using namespace cld;

namespace {

int titleFor(cld::engine::JobMode mode) {
    using cld::engine::JobMode;
    switch (mode) {
    case JobMode::CdEncode:
        return IDS_WMA_CD_PROGRESS;
    case JobMode::FolderEncode:
        return IDS_WMA_FOLDER_PROGRESS;
    case JobMode::FileEncode:
        return IDS_WMA_FILE_PROGRESS;
    case JobMode::FolderDecode:
        return IDS_WMA_DECODE_FOLDER_PROGRESS;
    default:
        return IDS_WMA_DECODE_FILE_PROGRESS;
    }
}

} // namespace

CEncoderProgressDlg::CEncoderProgressDlg(JobContext& context, const cld::engine::JobSpec& params,
                                         std::unique_ptr<WmEncoderControl> encoder, QWidget* parent)
    : CBatchProgressDlg(context, params, kDialogId, titleFor(params.mode), false, parent),
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
    // The batch makes its workers in the order of the pool, one encoder each.
    const size_t place = shownWorkerPlace();
    return place < m_pool.size() ? *m_pool[place] : *m_encoder;
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
    m_pool = encoders(parallelWidth(files.size()));
    size_t made = 0;
    const engine::WorkerFactory makeWorker = [this,
                                              &made]() -> std::unique_ptr<engine::FileWorker> {
        if (made >= m_pool.size())
            return nullptr;
        return std::make_unique<engine::WmaEncodeWorker>(*m_pool[made++]);
    };
    finishFileBatch(files, ".wma", makeWorker, 1000);
    m_pool.clear();
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
    if (isCdJob())
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

void CEncoderProgressDlg::checkInput(const std::string& path, bool withMessages) {
    if (!hasExtension(path, ".wav")) {
        // Not a WAV file (an MP3 in the file and folder modes): the media reader measures
        // it, and no WAV message is shown for it.
        const int64_t duration = getMediaDuration(path);
        const int seconds = static_cast<int>(duration / 10000000);
        if (seconds > 0) {
            bar(IDC_CURRENT_BAR)->setRange(0, seconds);
            if (m_params.mode == engine::JobMode::FileEncode)
                bar(IDC_OVERALL_BAR)->setRange(0, seconds);
        }
        return;
    }
    const WavCheckResult r = checkWavHeader(path);
    if (r.status == WavCheck::Ok) {
        bar(IDC_CURRENT_BAR)->setRange(0, r.durationSeconds);
        if (m_params.mode == engine::JobMode::FileEncode)
            bar(IDC_OVERALL_BAR)->setRange(0, r.durationSeconds);
    } else if (withMessages) {
        message(r.status == WavCheck::CannotOpen ? 154 : 155, MessageIcon::None);
    }
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
    const int profile = m_encoder->GetProfileIndex();
    // The media bitrate is the chosen profile's.
    try {
        const WmProfile chosen = m_encoder->GetEncoder().GetProfile(profile);
        const WmStreamConfig* audio = chosen.FindStream(WmStreamConfig::Type::Audio);
        if (audio && audio->bitrate > 0)
            setText(IDC_MEDIA_BITRATE, QStringLiteral("%1 Kbps").arg(audio->bitrate / 1000));
    } catch (const WMException&) {
        // The encoder names a profile it cannot read when the track's encoding starts.
    }
    runCdJob("wma", wmaProfileOptions(m_context, profile), false);
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
    if (isCdJob()) {
        showCdFigures();
        return;
    }
    // The bars follow the batch's own figures; the encoder of the file shown gives the
    // media bitrate.
    if (!decoding() && m_encoder) {
        try {
            WmaEncodeJob& encoder = shownEncoder();
            if (encoder.IsEncoding())
                setText(IDC_MEDIA_BITRATE,
                        encoder.RefreshStatistics(bar(IDC_CURRENT_BAR)->upper()).bitrateText);
        } catch (const WMException& e) {
            reportEncoderFailure(e.GetCode());
            requestAbort();
            return;
        }
    }
    showFileBatchFigures();
    showDiskSpace(m_params.outputPath);
}
