#pragma once

#include "Job.h"

#include <cstdint>

class WmEncoderControl;

namespace cld::engine {

// One run of the media encoder: a video file or a capture to WMV, a recording to WMA. The
// caller has set up the encoder's source group, profile and output; the job starts it,
// waits for its end, stops it on cancel() and tells how it ended: Completed (the run ended
// by itself without a failure), Aborted (cancel) or Stopped (a failure, whose code the
// media layer gives). Never throws.
class MediaEncodeJob : public Job {
public:
    MediaEncodeJob(WmEncoderControl& encoder, int pollMilliseconds);
    JobEnd run(JobObserver& observer) override;
    // The media layer's code of the failure that ended the run (or came as it was
    // stopped), 0 when none.
    uint32_t failureCode() const { return m_code; }
    // Whether the encoder refused to start (nothing ran).
    bool failedAtStart() const { return m_failedAtStart; }

private:
    WmEncoderControl& m_encoder;
    int m_pollMs;
    uint32_t m_code = 0;
    bool m_failedAtStart = false;
};

} // namespace cld::engine
