#include "GrabProgress.h"

#include "GrabReport.h"
#include "cldrip/CDRipObject.h"
#include "cldrip/GrabStatus.h"
#include "cldrip/NameText.h"

namespace cld {

GrabSnapshot readGrabSnapshot(CDRipObject& ripObject) {
    GrabSnapshot s;
    GrabStatus* status = ripObject.GetStatus();
    if (!status)
        return s;
    s.valid = true;
    s.running = status->IsRunning() != 0;
    s.errorCode = status->GetError();
    if (NameText* name = status->GetFileName()) {
        s.fileName = name->text();
        name->Destroy();
    }
    s.trackIndex = status->GetTrackIndex();
    s.percent = status->GetPercent();
    s.peak = status->GetPeak();
    s.jitterErrors = status->GetJitterErrorCount();
    status->Destroy();
    return s;
}

JobState GrabProgress::state() const {
    const GrabSnapshot s = snapshot();
    if (!s.valid)
        return JobState::Failed;
    if (s.running)
        return JobState::Running;
    if (s.errorCode != 0)
        return JobState::Failed;
    return m_abortAsked ? JobState::Aborted : JobState::Done;
}

int GrabProgress::perMille() const {
    const GrabSnapshot s = snapshot();
    if (s.valid && !s.running && s.errorCode == 0 && !m_abortAsked)
        return 1000;
    return perMilleFromPercent(s.percent);
}

int GrabProgress::errorCode() const {
    return snapshot().errorCode;
}

std::string GrabProgress::errorText() const {
    const GrabSnapshot s = snapshot();
    if (!s.valid)
        return "The ripper gave no status.";
    return grabErrorText(s.errorCode);
}

void GrabProgress::abort() {
    m_abortAsked = true;
    m_rip.AbortGrab();
}

std::vector<GrabTrackResult> readTrackResults(CDRipObject& ripObject) {
    std::vector<GrabTrackResult> results;
    GrabStatus* status = ripObject.GetStatus();
    if (!status)
        return results;
    const int32_t count = status->GetTrackResultCount();
    for (int32_t n = 0; n < count; ++n) {
        GrabTrackResult r{};
        if (status->GetTrackResult(n, &r) == 0)
            results.push_back(r);
    }
    status->Destroy();
    return results;
}

} // namespace cld
