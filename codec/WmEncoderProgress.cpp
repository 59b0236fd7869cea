#include "WmEncoderProgress.h"

#include "GetErrorText.h"
#include "WmEncoderControl.h"

#include <algorithm>

cld::JobState WmEncoderProgress::state() const {
    switch (m_encoder.GetRunState()) {
    case WmEncoderControl::kStarting:
        return cld::JobState::Starting;
    case WmEncoderControl::kRunning:
    case WmEncoderControl::kStopping:
        return cld::JobState::Running;
    case WmEncoderControl::kPaused:
        return cld::JobState::Paused;
    default:
        break;
    }
    if (m_encoder.GetLastErrorCode() != 0)
        return cld::JobState::Failed;
    return m_abortAsked ? cld::JobState::Aborted : cld::JobState::Done;
}

int WmEncoderProgress::perMille() const {
    if (state() == cld::JobState::Done)
        return 1000;
    if (m_durationMs <= 0)
        return 0;
    const int64_t done = m_encoder.GetStatistics().encodedMilliseconds;
    return static_cast<int>(std::clamp<int64_t>(done * 1000 / m_durationMs, 0, 1000));
}

int WmEncoderProgress::errorCode() const {
    return static_cast<int>(m_encoder.GetLastErrorCode());
}

std::string WmEncoderProgress::errorText() const {
    const uint32_t code = m_encoder.GetLastErrorCode();
    return code == 0 ? std::string() : GetErrorText(code);
}

void WmEncoderProgress::abort() {
    m_abortAsked = true;
    m_encoder.Stop();
}
