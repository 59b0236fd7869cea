#include "CodecJobProgress.h"

#include "CodecJob.h"

cld::JobState CodecJobProgress::state() const {
    if (m_job.IsRunning())
        return cld::JobState::Running;
    if (m_job.GetErrorCode() != 0)
        return cld::JobState::Failed;
    return m_abortAsked ? cld::JobState::Aborted : cld::JobState::Done;
}

int CodecJobProgress::perMille() const {
    return cld::perMilleFromPercent(m_job.GetProgress());
}

int CodecJobProgress::errorCode() const {
    return m_job.GetErrorCode();
}

std::string CodecJobProgress::errorText() const {
    return codecErrorText(m_job.GetErrorCode());
}

void CodecJobProgress::abort() {
    m_abortAsked = true;
    m_job.RequestAbort();
}

std::string codecErrorText(int code) {
    switch (static_cast<CodecError>(code)) {
    case CodecError::None:
        return {};
    case CodecError::Input:
        return "The input file could not be read.";
    case CodecError::Output:
        return "The output file could not be written.";
    case CodecError::Encoder:
        return "The encoder refused the settings or found no audio.";
    case CodecError::Header:
        return "The input file's format is not supported or no audio could be decoded.";
    case CodecError::Start:
        return "The job could not be started.";
    }
    return "The job failed (error " + std::to_string(code) + ").";
}
