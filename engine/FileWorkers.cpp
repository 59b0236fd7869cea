#include "FileWorkers.h"

#include "CodecJob.h"
#include "ConvertPaths.h"
#include "Failures.h"
#include "MediaDuration.h"
#include "Mp3DecodeJob.h"
#include "Mp3EncodeJob.h"
#include "WMException.h"
#include "WmaDecodeJob.h"
#include "WmaEncodeJob.h"

#include <chrono>

namespace cld::engine {

namespace {

// How long a media encoder may take to leave its starting state.
constexpr auto kSettleLimit = std::chrono::milliseconds(7000);

Failure failureOf(int code, bool wroteOutput) {
    switch (static_cast<CodecError>(code)) {
    case CodecError::Input:
        return wroteOutput ? Failure::InputBroken : Failure::InputUnreadable;
    case CodecError::Output:
        return wroteOutput ? Failure::WriteFailed : Failure::OutputNotCreated;
    case CodecError::Encoder:
    case CodecError::Header:
        return Failure::EncoderRefused;
    case CodecError::Start:
        return Failure::NotStarted;
    default:
        return Failure::EncoderRefused;
    }
}

} // namespace

int inputSeconds(const std::string& path) {
    if (!hasExtension(path, ".wav"))
        return static_cast<int>(getMediaDuration(path) / 10000000);
    const WavCheckResult r = checkWavHeader(path);
    return r.status == WavCheck::Ok ? r.durationSeconds : 0;
}

bool CodecFileWorker::isBusy() const {
    return job().IsRunning();
}

int CodecFileWorker::position() const {
    return job().GetProgress();
}

uint64_t CodecFileWorker::bytesDone() const {
    return job().GetBytesDone();
}

uint64_t CodecFileWorker::samplesDone() const {
    return job().GetSamplesDone();
}

ItemOutcome CodecFileWorker::end(ItemFailure& failure) {
    const CodecJob& j = job();
    if (const int code = j.GetErrorCode()) {
        failure.worker = m_kind;
        failure.code = code;
        failure.detail = j.GetErrorDetail();
        failure.wroteOutput = j.GetBytesDone() > 0;
        failure.what = failureOf(code, failure.wroteOutput);
        // The WMA decoder's header failure: the WAV file cannot take the audio format.
        failure.inputAtFault = static_cast<CodecError>(code) != CodecError::Output &&
                               !(static_cast<CodecError>(code) == CodecError::Header &&
                                 m_kind == WorkerKind::WmaDecode);
        failure.file = failure.inputAtFault ? j.GetInput() : j.GetOutput();
        failure.reason = failureReason(failure.detail);
        failure.diskFull = isDiskFull(failure.detail);
        return ItemOutcome::Failed;
    }
    // Stopped as it finished the whole file: that output is complete.
    if (m_stopRequested && j.GetProgress() < 100)
        return ItemOutcome::Stopped;
    return ItemOutcome::Converted;
}

Mp3EncodeWorker::Mp3EncodeWorker(Mp3EncodeSettings settings)
    : CodecFileWorker(WorkerKind::Mp3Encode), m_settings(std::move(settings)),
      m_job(std::make_unique<Mp3EncodeJob>()) {}

Mp3EncodeWorker::~Mp3EncodeWorker() {
    m_job->RequestAbort();
}

CodecJob& Mp3EncodeWorker::job() const {
    return *m_job;
}

bool Mp3EncodeWorker::begin(const std::string& input, const std::string& output,
                            bool replaceExisting) {
    m_stopRequested = false;
    m_job->SetInput(input);
    m_job->SetOutput(output);
    m_job->SetReplaceExisting(replaceExisting);
    m_job->SetParams(m_settings.params);
    m_job->SetId3v2Tag(m_settings.id3v2);
    m_job->SetReplayGain(m_settings.id3v2 && m_settings.replayGain);
    auto genreNumberOf = m_settings.genreNumberOf;
    m_job->SetTagsFromInput([genreNumberOf](const std::string& genre) {
        return genreNumberOf ? genreNumberOf(genre) : 255;
    });
    return m_job->Start();
}

std::unique_ptr<LoudnessMeter> Mp3EncodeWorker::takeLoudness() {
    return m_job->TakeLoudness();
}

void Mp3EncodeWorker::stop() {
    m_stopRequested = true;
    m_job->RequestAbort();
}

Mp3DecodeWorker::Mp3DecodeWorker()
    : CodecFileWorker(WorkerKind::Mp3Decode), m_job(std::make_unique<Mp3DecodeJob>()) {}

Mp3DecodeWorker::~Mp3DecodeWorker() {
    m_job->RequestAbort();
}

CodecJob& Mp3DecodeWorker::job() const {
    return *m_job;
}

bool Mp3DecodeWorker::begin(const std::string& input, const std::string& output,
                            bool replaceExisting) {
    m_stopRequested = false;
    m_job->SetInput(input);
    m_job->SetOutput(output);
    m_job->SetReplaceExisting(replaceExisting);
    return m_job->Start();
}

void Mp3DecodeWorker::stop() {
    m_stopRequested = true;
    m_job->RequestAbort();
}

WmaDecodeWorker::WmaDecodeWorker()
    : CodecFileWorker(WorkerKind::WmaDecode), m_job(std::make_unique<WmaDecodeJob>()) {}

WmaDecodeWorker::~WmaDecodeWorker() {
    m_job->Stop();
}

CodecJob& WmaDecodeWorker::job() const {
    return *m_job;
}

bool WmaDecodeWorker::begin(const std::string& input, const std::string& output,
                            bool replaceExisting) {
    m_stopRequested = false;
    m_job->SetReplaceExisting(replaceExisting);
    return m_job->Open(input, output) != 0 && m_job->Start() != 0;
}

void WmaDecodeWorker::stop() {
    m_stopRequested = m_stopRequested || m_job->IsRunning();
    m_job->Stop();
}

ItemOutcome WmaDecodeWorker::end(ItemFailure& failure) {
    if (m_job->GetErrorCode() != 0)
        return CodecFileWorker::end(failure);
    return m_stopRequested ? ItemOutcome::Stopped : ItemOutcome::Converted;
}

bool WmaEncodeWorker::begin(const std::string& input, const std::string& output,
                            bool replaceExisting) {
    m_cut = false;
    m_startCode = 0;
    m_input = input;
    m_output = output;
    const int seconds = inputSeconds(input);
    m_upper = seconds > 0 ? seconds : 100;
    m_job.SetReplaceExisting(replaceExisting);
    try {
        m_job.EncodeFile(input, output, nullptr);
    } catch (const WMException& e) {
        m_startCode = e.GetCode();
        return false;
    }
    m_job.WaitWhileStarting(kSettleLimit);
    return true;
}

bool WmaEncodeWorker::isBusy() const {
    return m_job.IsEncoding();
}

void WmaEncodeWorker::stop() {
    m_cut = m_cut || m_job.IsEncoding();
    m_job.AbortEncoding();
}

ItemOutcome WmaEncodeWorker::end(ItemFailure& failure) {
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
        failure.worker = WorkerKind::WmaEncode;
        failure.code = static_cast<int>(code);
        failure.detail = code;
        failure.inputAtFault = isInputFailure(code);
        // An output failure after the start is a failed write, whose unfinished file the
        // encoder has removed.
        failure.what = failure.inputAtFault ? Failure::InputUnreadable
                       : started            ? Failure::WriteFailed
                                            : Failure::NotStarted;
        failure.wroteOutput = started;
        failure.file = failure.inputAtFault ? m_input : m_output;
        failure.reason = failureReason(code);
        failure.diskFull = isDiskFull(code);
        return ItemOutcome::Failed;
    }
    return m_cut ? ItemOutcome::Stopped : ItemOutcome::Converted;
}

int WmaEncodeWorker::position() const {
    try {
        return m_job.RefreshStatistics(m_upper).barPosition;
    } catch (const WMException&) {
        return 0;
    }
}

} // namespace cld::engine
