#include "CEncoderProgressDlg.h"

#include "AppResources.h"
#include "CProgressBar.h"
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
#include "cldrip/CDRipDriveSettings.h"

#include <QApplication>

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
}

CEncoderProgressDlg::~CEncoderProgressDlg() {
    m_decoder->Stop();
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

void CEncoderProgressDlg::reportAbort(const std::string& keptPartial) {
    QString text = AppResources::string(191);
    if (!keptPartial.empty())
        text += QStringLiteral("\n\n") +
                AppResources::string(IDS_PARTIAL_KEPT).arg(QString::fromStdString(keptPartial));
    QApplication::restoreOverrideCursor();
    m_context.messages().show(
        Message{191, text, MessageIcon::Exclamation, MessageButtons::Ok, this});
}

bool CEncoderProgressDlg::reportFileEncoderFailure(uint32_t code, const std::string& input,
                                                   const std::string& output, bool started,
                                                   bool askToSkip) {
    try {
        if (m_encoder && m_encoder->GetEncoder().GetRunState() != WmEncoderControl::kRunning &&
            m_encoder->GetEncoder().HasSourceGroup())
            m_encoder->GetEncoder().ReleaseSourceGroup();
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

bool CEncoderProgressDlg::startEncoding(const std::string& input, const std::string& output,
                                        bool cdTrack, const std::string& title, bool askToSkip) {
    m_goOn = false;
    m_askToSkip = askToSkip;
    m_currentInput = input;
    m_currentOutput = output;
    setText(IDC_INPUT_FILE, input);
    setText(IDC_OUTPUT_FILE, output);
    m_fileStart = std::time(nullptr);
    try {
        WmaEncodeJob::DisplayTexts display;
        if (cdTrack) {
            const GrabSelection& sel = m_context.grabSelection;
            display.artist = sel.artist.empty() ? "Unknown Artist" : sel.artist;
            display.title = title;
            display.album = sel.album;
        }
        m_encoder->EncodeFile(input, output, cdTrack ? &display : nullptr);
    } catch (const WMException& e) {
        m_goOn = reportFileEncoderFailure(e.GetCode(), input, output, false, askToSkip);
        return false;
    }
    m_encoder->WaitWhileStarting(kSettleLimit);
    return true;
}

CEncoderProgressDlg::JobEnd CEncoderProgressDlg::waitForEncoder(int waitMs) {
    m_context.waits().pump();
    while (m_encoder->IsEncoding()) {
        if (m_abort) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            m_encoder->AbortEncoding();
            QApplication::restoreOverrideCursor();
            return JobEnd::Aborted;
        }
        waitUntil(waitMs, [this] { return !m_encoder->IsEncoding(); });
    }
    if (m_abort) {
        return JobEnd::Aborted;
    }
    refreshFigures();
    if (const uint32_t code = m_encoder->GetLastErrorCode()) {
        m_goOn = reportFileEncoderFailure(code, m_currentInput, m_currentOutput, true, m_askToSkip);
        return JobEnd::Failed;
    }
    m_encoder->OnStopped();
    CProgressBar* current = bar(IDC_CURRENT_BAR);
    current->setPos(current->upper());
    return JobEnd::Done;
}

void CEncoderProgressDlg::runFiles() {
    bar(IDC_CURRENT_BAR)->setPos(0);
    bar(IDC_OVERALL_BAR)->setPos(0);
    showDiskSpace(m_params.outputPath);
    if (!isFileBatch()) {
        bar(IDC_CURRENT_BAR)->setRange(0, 100);
        bar(IDC_OVERALL_BAR)->setRange(0, 100);
        checkInput(m_params.inputPath, true);
        if (!startEncoding(m_params.inputPath, m_params.outputPath, false, {}, false))
            return;
        const JobEnd end = waitForEncoder(500);
        if (end == JobEnd::Aborted)
            reportAbort({});
        if (end == JobEnd::Done)
            finishCompleted();
        return;
    }
    std::vector<std::string> files;
    if (!m_params.inputFiles.empty()) {
        files = m_params.inputFiles;
    } else {
        const std::string folder = withTrailingSlash(m_params.inputPath);
        files = filesWithExtension(folder, ".wav");
        if (files.empty()) {
            message(181, MessageIcon::Exclamation);
            return;
        }
        // One pass over the WAV files, then one over the MP3 files.
        const std::vector<std::string> mp3s = filesWithExtension(folder, ".mp3");
        files.insert(files.end(), mp3s.begin(), mp3s.end());
    }
    const int count = static_cast<int>(files.size());
    beginFileBatch(count);
    bar(IDC_OVERALL_BAR)->setRange(0, count);
    for (int i = 0; i < count; ++i) {
        if (m_abort)
            break;
        const std::string& input = files[static_cast<size_t>(i)];
        showFileCount(i + 1, count);
        bar(IDC_OVERALL_BAR)->setPos(i);
        bar(IDC_CURRENT_BAR)->setRange(0, 100);
        bar(IDC_CURRENT_BAR)->setPos(0);
        checkInput(input, false);
        const std::string output = WmaEncodeJob::FolderOutputName(m_params.outputPath, input);
        if (!startEncoding(input, output, false, {}, true)) {
            if (m_abort || !m_goOn)
                return;
            continue;
        }
        const JobEnd end = waitForEncoder(1000);
        if (end == JobEnd::Aborted) {
            reportAbort({});
            return;
        }
        if (end == JobEnd::Failed) {
            if (!m_goOn)
                return;
            continue;
        }
        countConverted();
    }
    if (m_abort) {
        reportAbort({});
        return;
    }
    finishCompleted();
}

void CEncoderProgressDlg::runCd() {
    const GrabSelection& sel = m_context.grabSelection;
    const int count = static_cast<int>(sel.ticked.size());
    const std::string folder = withTrailingSlash(m_params.outputPath);
    const std::string artist = sel.artist.empty() ? "Unknown Artist" : sel.artist;
    bar(IDC_OVERALL_BAR)->setRange(0, count);
    bar(IDC_OVERALL_BAR)->setPos(0);
    showDiskSpace(folder);
    std::string previousWav;
    std::string previousWma;
    // The WMA file of a track whose encoding Abort cut short stays as NAME.part.
    std::string keptPartial;
    auto stopAll = [&](const std::string& currentWav) {
        if (m_encoder->IsEncoding()) {
            m_encoder->AbortEncoding();
            if (!previousWav.empty())
                keptPartial = keepAsPartial(previousWma);
        }
        removeTemporary(previousWav);
        removeTemporary(currentWav);
        previousWav.clear();
    };
    auto finishPrevious = [&](const std::string& currentWav) {
        if (previousWav.empty())
            return true;
        const JobEnd end = waitForEncoder(800);
        if (end != JobEnd::Done) {
            if (end == JobEnd::Aborted)
                keptPartial = keepAsPartial(previousWma);
            stopAll(currentWav);
            return false;
        }
        removeTemporary(previousWav);
        previousWav.clear();
        return true;
    };
    for (int i = 0; i < count; ++i) {
        const int track = sel.ticked[static_cast<size_t>(i)];
        const std::string title = static_cast<size_t>(track) < sel.trackNames.size()
                                      ? sel.trackNames[static_cast<size_t>(track)]
                                      : "Track" + std::to_string(track + 1);
        const std::string base = cdTrackBaseName(artist, title);
        const std::string wav = folder + base + ".wav";
        const std::string wma = folder + base + ".wma";
        showFileCount(i + 1, count);
        const ReadResult read =
            m_abort ? ReadResult::Aborted : readCdTrack(track, folder, base, wma);
        if (read != ReadResult::Done) {
            if (read == ReadResult::Failed && !m_abort)
                finishPrevious(wav);
            stopAll(wav);
            if (m_abort)
                reportAbort(keptPartial);
            return;
        }
        if (!finishPrevious(wav)) {
            if (m_abort)
                reportAbort(keptPartial);
            return;
        }
        bar(IDC_OVERALL_BAR)->setPos(i + 1);
        bar(IDC_CURRENT_BAR)->setPos(0);
        checkInput(wav, true);
        if (m_abort || !startEncoding(wav, wma, true, title, false)) {
            removeTemporary(wav);
            if (m_abort)
                reportAbort(keptPartial);
            return;
        }
        previousWav = wav;
        previousWma = wma;
    }
    if (!finishPrevious({})) {
        if (m_abort)
            reportAbort(keptPartial);
        return;
    }
    finishCompleted();
}

CEncoderProgressDlg::JobEnd CEncoderProgressDlg::decodeOne(const std::string& input,
                                                           const std::string& output) {
    setText(IDC_INPUT_FILE, input);
    setText(IDC_OUTPUT_FILE, output);
    m_fileStart = std::time(nullptr);
    if (m_abort)
        return JobEnd::Aborted;
    if (m_decoder->Open(input, output) == 0 || m_decoder->Start() == 0)
        return JobEnd::Failed;
    m_context.waits().pump();
    while (m_decoder->IsRunning()) {
        if (m_abort) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            m_decoder->Stop();
            QApplication::restoreOverrideCursor();
            return JobEnd::Aborted;
        }
        const int percent = m_decoder->GetProgress();
        bar(IDC_CURRENT_BAR)->setPos(percent);
        if (m_mode == 5)
            bar(IDC_OVERALL_BAR)->setPos(percent);
        waitUntil(50, [this] { return !m_decoder->IsRunning(); });
    }
    // Abort pressed as the decoder ended by itself: nothing more is started.
    if (m_abort)
        return JobEnd::Aborted;
    if (m_decoder->GetErrorCode() != 0)
        return JobEnd::Failed;
    bar(IDC_CURRENT_BAR)->setPos(100);
    return JobEnd::Done;
}

void CEncoderProgressDlg::runDecode() {
    bar(IDC_CURRENT_BAR)->setRange(0, 100);
    bar(IDC_CURRENT_BAR)->setPos(0);
    bar(IDC_OVERALL_BAR)->setPos(0);
    showDiskSpace(m_params.outputPath);
    auto reportFailure = [this](bool askToSkip) {
        const JobFailure f = jobFailure(JobKind::WmaDecode, m_decoder->GetErrorCode(),
                                        m_decoder->GetErrorDetail(), m_decoder->GetBytesDone() > 0);
        return reportFileFailure(
            f.stringId, f.inputAtFault ? m_decoder->GetInput() : m_decoder->GetOutput(),
            failureReason(m_decoder->GetErrorDetail()), askToSkip, m_decoder->GetInput());
    };
    if (!isFileBatch()) {
        bar(IDC_OVERALL_BAR)->setRange(0, 100);
        const JobEnd end = decodeOne(m_params.inputPath, m_params.outputPath);
        if (end == JobEnd::Aborted)
            reportAbort({});
        if (end == JobEnd::Failed)
            reportFailure(false);
        if (end == JobEnd::Done)
            finishCompleted();
        return;
    }
    const std::vector<std::string> files = batchFiles(".wma");
    if (files.empty()) {
        message(190, MessageIcon::Exclamation);
        return;
    }
    const int count = static_cast<int>(files.size());
    beginFileBatch(count);
    bar(IDC_OVERALL_BAR)->setRange(0, count);
    for (int i = 0; i < count; ++i) {
        showFileCount(i + 1, count);
        bar(IDC_OVERALL_BAR)->setPos(i);
        const std::string& input = files[static_cast<size_t>(i)];
        const JobEnd end =
            decodeOne(input, withTrailingSlash(m_params.outputPath) + fileTitle(input) + ".wav");
        if (end == JobEnd::Aborted) {
            reportAbort({});
            return;
        }
        if (end == JobEnd::Failed) {
            if (!reportFailure(true))
                return;
            continue;
        }
        countConverted();
    }
    finishCompleted();
}

void CEncoderProgressDlg::refreshFigures() {
    showTimes(-1);
    if (decoding()) {
        bar(IDC_CURRENT_BAR)->setPos(m_decoder->GetProgress());
        showTimes(m_decoder->GetRemainingSeconds());
        setText(IDC_PERFORMANCE, kilobytesPerSecondText(m_decoder->GetKilobytesPerSecond()));
        showDiskSpace(m_params.outputPath);
        return;
    }
    if (!m_encoder)
        return;
    try {
        CProgressBar* current = bar(IDC_CURRENT_BAR);
        const WmaEncodeJob::Figures f = m_encoder->RefreshStatistics(current->upper());
        if (m_encoder->IsEncoding())
            current->setPos(f.barPosition);
        setText(IDC_MEDIA_BITRATE, f.bitrateText);
        setText(IDC_OUTPUT_SIZE, f.fileSizeText);
        showDiskSpace(m_params.outputPath);
    } catch (const WMException& e) {
        reportEncoderFailure(e.GetCode());
        requestAbort();
    }
}
