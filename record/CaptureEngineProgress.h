#pragma once

#include "JobProgress.h"

namespace cld {

class CaptureEngine;

// A recording seen through the one progress contract: running or paused while the
// engine records, then done, or failed when the consumer reported an error. A recording
// has no known length, so progress stays 0. The engine is not owned.
class CaptureEngineProgress : public JobProgress {
public:
    explicit CaptureEngineProgress(CaptureEngine& engine) : m_engine(engine) {}

    JobState state() const override;
    int perMille() const override { return 0; }
    int errorCode() const override;
    std::string errorText() const override;
    // Stops the recording; call it on the thread that drives the engine.
    void abort() override;

private:
    CaptureEngine& m_engine;
};

} // namespace cld
