#include "GrabWorker.h"

#include "RipReader.h"
#include "WavWriter.h"
#include "cldrip/CDDAObject.h"

#include <vector>

namespace cld {

void GrabShared::fail(int32_t error) {
    std::lock_guard<std::mutex> guard(statusLock);
    if (status.error == GrabStatus::ErrorNone)
        status.error = error;
}

bool GrabShared::aborted() {
    std::lock_guard<std::mutex> guard(abortLock);
    return abort.load() != 0;
}

GrabWorker::GrabWorker(CDDAObject& cdda, std::vector<TrackJob> jobs, GrabShared& shared)
    : m_cdda(cdda), m_jobs(std::move(jobs)), m_shared(shared) {}

void GrabWorker::Run() {
    for (const TrackJob& job : m_jobs) {
        if (m_shared.aborted())
            break;
        if (job.valid == TrackJobRefused) {
            m_shared.fail(GrabStatus::ErrorNameRefused);
            break;
        }
        if (job.valid != TrackJobValid) {
            m_shared.fail(GrabStatus::ErrorTrackMissing);
            continue;
        }
        if (!RipJob(job))
            break;
    }
    {
        std::lock_guard<std::mutex> guard(m_shared.statusLock);
        m_shared.status.running = 0;
    }
    m_cdda.LockDoor(0);
    std::lock_guard<std::mutex> guard(m_shared.abortLock);
    m_shared.abort.store(0);
}

bool GrabWorker::RipJob(const TrackJob& job) {
    {
        std::lock_guard<std::mutex> guard(m_shared.statusLock);
        m_shared.status.trackIndex = job.trackIndex;
        m_shared.status.fileName = job.fileName;
        m_shared.status.percent = 0;
    }
    int32_t bufferSize = 0;
    if (m_cdda.OpenRipper(&bufferSize, job.firstSector, job.lastSector) != 0 || bufferSize <= 0) {
        m_shared.fail(GrabStatus::ErrorOpenFailed);
        m_cdda.CloseRipper();
        return false;
    }
    WavWriter wav;
    if (!wav.Create(job.fullPath)) {
        m_shared.fail(GrabStatus::ErrorCreateFailed);
        m_cdda.CloseRipper();
        return false;
    }
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(bufferSize), 0);
    bool keepGoing = true;
    for (;;) {
        int32_t bytes = 0;
        const int32_t code = m_cdda.RipChunk(buffer.data(), &bytes, &m_shared.abort);
        if (code == RipChunkDone) {
            // The last chunk's percent was taken before it was read.
            std::lock_guard<std::mutex> guard(m_shared.statusLock);
            m_shared.status.percent = m_cdda.GetPercentCompleted();
            break;
        }
        bool written = true;
        if (bytes > 0)
            written =
                wav.Append(buffer.data(), static_cast<std::size_t>(std::min(bytes, bufferSize)));
        {
            std::lock_guard<std::mutex> guard(m_shared.statusLock);
            m_shared.status.percent = m_cdda.GetPercentCompleted();
            m_shared.status.peak = m_cdda.GetPeakValue();
            m_shared.status.jitterErrors = m_cdda.GetJitterErrorCount();
        }
        const bool abortNow = m_shared.aborted();
        if (code == RipChunkFailed && !abortNow)
            m_shared.fail(GrabStatus::ErrorReadFailed);
        if (!written)
            m_shared.fail(GrabStatus::ErrorWriteFailed);
        if (code == RipChunkFailed || abortNow || !written) {
            keepGoing = false;
            break;
        }
    }
    if (!wav.Finish() && keepGoing) {
        m_shared.fail(GrabStatus::ErrorWriteFailed);
        keepGoing = false;
    }
    m_cdda.CloseRipper();
    return keepGoing;
}

} // namespace cld
