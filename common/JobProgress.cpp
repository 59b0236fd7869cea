#include "JobProgress.h"

#include <algorithm>

namespace cld {

const char* jobStateName(JobState state) {
    switch (state) {
    case JobState::Starting:
        return "starting";
    case JobState::Running:
        return "running";
    case JobState::Paused:
        return "paused";
    case JobState::Done:
        return "done";
    case JobState::Failed:
        return "failed";
    case JobState::Aborted:
        return "aborted";
    }
    return "unknown";
}

bool isFinal(JobState state) {
    return state == JobState::Done || state == JobState::Failed || state == JobState::Aborted;
}

int perMilleFromPercent(int percent) {
    return std::clamp(percent, 0, 100) * 10;
}

} // namespace cld
