#pragma once

#include "GrabStatusImpl.h"
#include "TrackJob.h"

#include <atomic>
#include <mutex>
#include <vector>

class CDDAObject;

namespace cld {

// State shared by a grab object and its worker: the status fields under the status
// lock, the abort flag under the abort lock. The flag is atomic as well because the
// readers look at it through a pointer while a chunk is being read.
struct GrabShared {
    std::mutex statusLock;
    GrabStatusValues status;

    std::mutex abortLock;
    std::atomic<int32_t> abort{0};

    // Records the first failure of a grab; later ones keep it.
    void fail(int32_t error);
    bool aborted();
};

// Rips a list of track jobs to WAV files through a CDDAObject, one job after the
// other, publishing progress in the shared state. Runs on the grab's own thread.
class GrabWorker {
public:
    GrabWorker(CDDAObject& cdda, std::vector<TrackJob> jobs, GrabShared& shared);

    void Run();

private:
    // Rips one job; false when the grab must stop.
    bool RipJob(const TrackJob& job);

    CDDAObject& m_cdda;
    std::vector<TrackJob> m_jobs;
    GrabShared& m_shared;
};

} // namespace cld
