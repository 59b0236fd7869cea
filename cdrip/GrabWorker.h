#pragma once

#include "GrabStatusImpl.h"
#include "RipperEngine.h"
#include "TrackJob.h"

#include <atomic>
#include <mutex>
#include <vector>

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

// Rips a list of track jobs to WAV files on one drive of the engine, one job after the
// other, publishing progress and each track's result in the shared state. Runs on the
// grab's own thread; the drive stays the same whatever the caller makes active
// meanwhile. engine may be null (no drive): every job then fails to open.
class GrabWorker {
public:
    GrabWorker(RipperEngine* engine, int32_t drive, std::vector<TrackJob> jobs, GrabShared& shared);

    void Run();

    // The result of a track from what its reader found and how it ended.
    static int32_t TrackResultOf(const ReadVerdict& verdict, bool complete);

private:
    // Rips one job; false when the grab must stop.
    bool RipJob(const TrackJob& job);
    // Reads the job's sectors without writing them: the CRC32 of their audio. False when
    // the read failed, delivered sectors as zeros, or was aborted.
    bool ReadForCrc(const TrackJob& job, bool atLeastJitterCorrection, uint32_t& crc);
    void Publish(const TrackJob& job, bool complete, const ReadVerdict& verdict,
                 int32_t jitterErrors, bool copyOk);
    // Records a track whose name was taken: nothing of it was written.
    void PublishNameTaken(const TrackJob& job);

    RipperEngine* m_engine;
    int32_t m_drive;
    std::vector<TrackJob> m_jobs;
    GrabShared& m_shared;
};

} // namespace cld
