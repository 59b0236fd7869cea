#pragma once

#include "JobProgress.h"
#include "cldrip/GrabStatus.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class CDRipObject;

namespace cld {

// One status snapshot of a grab, copied out of the ripper's GrabStatus record.
struct GrabSnapshot {
    bool valid = false; // false when the ripper handed out no snapshot
    bool running = false;
    int errorCode = 0;
    std::string fileName;
    int trackIndex = 0;
    int percent = 0;
    int peak = 0;
    int jitterErrors = 0;
};

// Reads one snapshot from the ripper object (and destroys the ripper's record).
GrabSnapshot readGrabSnapshot(CDRipObject& ripObject);

// How each track of the last grab ended, in the order they were grabbed, as the ripper
// keeps it until the next grab starts.
std::vector<GrabTrackResult> readTrackResults(CDRipObject& ripObject);

// A grab of the ripper object seen through the one progress contract. Made once
// StartGrab has returned 1; the ripper object is not owned and outlives the adapter.
class GrabProgress : public JobProgress {
public:
    explicit GrabProgress(CDRipObject& ripObject) : m_rip(ripObject) {}

    JobState state() const override;
    int perMille() const override;
    int errorCode() const override;
    std::string errorText() const override;
    void abort() override;

    // The full snapshot, for the figures a progress window shows.
    GrabSnapshot snapshot() const { return readGrabSnapshot(m_rip); }
    bool abortAsked() const { return m_abortAsked; }

private:
    CDRipObject& m_rip;
    // The ripper clears its abort flag when the grab ends; the adapter remembers it.
    std::atomic<bool> m_abortAsked{false};
};

} // namespace cld
