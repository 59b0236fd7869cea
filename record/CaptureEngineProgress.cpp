#include "CaptureEngineProgress.h"

#include "CaptureEngine.h"

namespace cld {

JobState CaptureEngineProgress::state() const {
    if (m_engine.IsRecording())
        return m_engine.IsPaused() ? JobState::Paused : JobState::Running;
    return errorCode() != 0 || !m_engine.GetErrorText().empty() ? JobState::Failed : JobState::Done;
}

int CaptureEngineProgress::errorCode() const {
    return m_engine.GetConsumerError();
}

std::string CaptureEngineProgress::errorText() const {
    return m_engine.GetErrorText();
}

void CaptureEngineProgress::abort() {
    m_engine.Stop();
}

} // namespace cld
