#include "GrabWorker.h"

#include "FlacWriter.h"
#include "RipReader.h"
#include "RipperEngine.h"
#include "WavWriter.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>
#include <zlib.h>

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

namespace {

// The file a track is read into.
class TrackOutput {
public:
    virtual ~TrackOutput() = default;
    virtual bool create(const TrackJob& job) = 0;
    virtual bool append(const std::uint8_t* data, std::size_t size) = 0;
    // complete: the whole track was read. False when the file could not be completed.
    virtual bool finish(bool complete) = 0;
    // The last failure was a name taken by something the job may not replace.
    virtual bool nameTaken() const = 0;

    static std::unique_ptr<TrackOutput> forJob(const TrackJob& job);
};

// A WAV file keeps whatever was read, with a header that matches it.
class WavOutput final : public TrackOutput {
public:
    bool create(const TrackJob& job) override {
        return m_wav.Create(job.fullPath, job.replaceExisting != 0);
    }
    bool append(const std::uint8_t* data, std::size_t size) override {
        return m_wav.Append(data, size);
    }
    bool finish(bool) override { return m_wav.Finish(); }
    bool nameTaken() const override { return m_wav.NameTaken(); }

private:
    WavWriter m_wav;
};

// A FLAC file is the whole track or nothing: a track that ended early is thrown away.
class FlacOutput final : public TrackOutput {
public:
    bool create(const TrackJob& job) override {
        const std::int64_t sectors =
            static_cast<std::int64_t>(job.lastSector) - job.firstSector + 1;
        return m_flac.create(job.fullPath, job.tags,
                             sectors > 0 ? static_cast<std::uint64_t>(sectors) * 588 : 0,
                             job.replaceExisting != 0);
    }
    bool append(const std::uint8_t* data, std::size_t size) override {
        return m_flac.append(data, size);
    }
    bool finish(bool complete) override {
        if (!complete) {
            m_flac.discard();
            return true;
        }
        return m_flac.finish();
    }
    bool nameTaken() const override { return m_flac.nameTaken(); }

private:
    FlacWriter m_flac;
};

std::unique_ptr<TrackOutput> TrackOutput::forJob(const TrackJob& job) {
    try {
        if (job.format == TrackFormatFlac)
            return std::make_unique<FlacOutput>();
        return std::make_unique<WavOutput>();
    } catch (...) {
        return nullptr;
    }
}

} // namespace

GrabWorker::GrabWorker(RipperEngine* engine, int32_t drive, std::vector<TrackJob> jobs,
                       GrabShared& shared)
    : m_engine(engine), m_drive(drive), m_jobs(std::move(jobs)), m_shared(shared) {}

int32_t GrabWorker::TrackResultOf(const ReadVerdict& v, bool complete) {
    if (!complete || v.unread > 0)
        return GrabStatus::TrackFailed;
    if (v.unverified > 0)
        return GrabStatus::TrackNotVerified;
    if (!v.checked)
        return GrabStatus::TrackUnchecked;
    if (v.corrected > 0)
        return GrabStatus::TrackCorrected;
    return GrabStatus::TrackExact;
}

void GrabWorker::Run() {
    for (const TrackJob& job : m_jobs) {
        if (m_shared.aborted())
            break;
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
    if (m_engine)
        m_engine->lockDoorOn(m_drive, false);
    std::lock_guard<std::mutex> guard(m_shared.abortLock);
    m_shared.abort.store(0);
}

void GrabWorker::Publish(const TrackJob& job, bool complete, const ReadVerdict& v,
                         int32_t jitterErrors, bool copyOk) {
    GrabTrackResult r{};
    r.trackIndex = job.trackIndex;
    r.result = TrackResultOf(v, complete);
    r.unverifiedSectors = v.unverified;
    // A copy no second read confirmed is not known to be the disc's audio.
    if (!copyOk && r.result != GrabStatus::TrackFailed) {
        r.result = GrabStatus::TrackNotVerified;
        r.unverifiedSectors = job.lastSector - job.firstSector + 1;
    }
    r.jitterErrors = jitterErrors;
    r.correctedSectors = v.corrected;
    r.unreadSectors = v.unread;
    {
        std::lock_guard<std::mutex> guard(m_shared.statusLock);
        m_shared.status.tracks.push_back(r);
    }
    if (v.unread > 0)
        m_shared.fail(GrabStatus::ErrorReadFailed);
    else if (v.unverified > 0 || !copyOk)
        m_shared.fail(GrabStatus::ErrorNotVerified);
}

void GrabWorker::PublishNameTaken(const TrackJob& job) {
    GrabTrackResult r{};
    r.trackIndex = job.trackIndex;
    r.result = GrabStatus::TrackNameTaken;
    std::lock_guard<std::mutex> guard(m_shared.statusLock);
    m_shared.status.tracks.push_back(r);
}

bool GrabWorker::ReadForCrc(const TrackJob& job, bool atLeastJitterCorrection, uint32_t& crc) {
    crc = static_cast<uint32_t>(crc32(0L, Z_NULL, 0));
    int32_t bufferSize = 0;
    if (!m_engine ||
        m_engine->openRipperOn(m_drive, &bufferSize, job.firstSector, job.lastSector,
                               atLeastJitterCorrection) != 0 ||
        bufferSize <= 0) {
        if (m_engine)
            m_engine->closeRipper();
        return false;
    }
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(bufferSize), 0);
    bool ok = false;
    for (;;) {
        int32_t bytes = 0;
        const int32_t code = m_engine->ripChunk(buffer.data(), &bytes, &m_shared.abort);
        if (code == RipChunkDone) {
            ok = true;
            break;
        }
        if (bytes > 0)
            crc = static_cast<uint32_t>(
                crc32(crc, buffer.data(), static_cast<uInt>(std::min(bytes, bufferSize))));
        if (code == RipChunkFailed || m_shared.aborted())
            break;
    }
    ok = ok && m_engine->readVerdict().unread == 0;
    m_engine->closeRipper();
    return ok;
}

bool GrabWorker::RipJob(const TrackJob& job) {
    // Test and copy: a read whose audio only counts through its CRC, then the copy.
    uint32_t testCrc = 0;
    bool tested = false;
    if (job.testAndCopy) {
        {
            std::lock_guard<std::mutex> guard(m_shared.statusLock);
            m_shared.status.trackIndex = job.trackIndex;
            m_shared.status.fileName = job.fileName;
            m_shared.status.percent = 0;
        }
        tested = ReadForCrc(job, false, testCrc);
        if (m_shared.aborted())
            return false;
    }
    uint32_t copyCrc = static_cast<uint32_t>(crc32(0L, Z_NULL, 0));
    {
        std::lock_guard<std::mutex> guard(m_shared.statusLock);
        m_shared.status.trackIndex = job.trackIndex;
        m_shared.status.fileName = job.fileName;
        m_shared.status.percent = 0;
    }
    int32_t bufferSize = 0;
    if (!m_engine ||
        m_engine->openRipperOn(m_drive, &bufferSize, job.firstSector, job.lastSector) != 0 ||
        bufferSize <= 0) {
        m_shared.fail(GrabStatus::ErrorOpenFailed);
        if (m_engine)
            m_engine->closeRipper();
        return false;
    }
    // Files a killed grab left behind in this folder are of no use to anyone.
    WavWriter::RemoveStaleTemporaries(std::filesystem::path(job.fullPath).parent_path());
    std::unique_ptr<TrackOutput> out = TrackOutput::forJob(job);
    if (!out || !out->create(job)) {
        m_shared.fail(GrabStatus::ErrorCreateFailed);
        m_engine->closeRipper();
        // A name taken by something that stays (a user's file, a folder, a link, a
        // pipe) is this track's failure alone: the other tracks are still ripped.
        if (out && out->nameTaken()) {
            PublishNameTaken(job);
            return true;
        }
        return false;
    }
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(bufferSize), 0);
    bool keepGoing = true;
    bool complete = false;
    for (;;) {
        int32_t bytes = 0;
        const int32_t code = m_engine->ripChunk(buffer.data(), &bytes, &m_shared.abort);
        if (code == RipChunkDone) {
            // The last chunk's percent was taken before it was read.
            std::lock_guard<std::mutex> guard(m_shared.statusLock);
            m_shared.status.percent = m_engine->percentCompleted();
            complete = true;
            break;
        }
        bool written = true;
        if (bytes > 0) {
            const auto n = static_cast<std::size_t>(std::min(bytes, bufferSize));
            written = out->append(buffer.data(), n);
            copyCrc = static_cast<uint32_t>(crc32(copyCrc, buffer.data(), static_cast<uInt>(n)));
        }
        {
            std::lock_guard<std::mutex> guard(m_shared.statusLock);
            m_shared.status.percent = m_engine->percentCompleted();
            m_shared.status.peak = m_engine->peakValue();
            m_shared.status.jitterErrors = m_engine->jitterErrorCount();
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
    if (!out->finish(complete) && keepGoing) {
        if (out->nameTaken()) {
            m_shared.fail(GrabStatus::ErrorCreateFailed);
            m_engine->closeRipper();
            PublishNameTaken(job);
            return true;
        }
        m_shared.fail(GrabStatus::ErrorWriteFailed);
        keepGoing = false;
        complete = false;
    }
    // The copy's verdict is taken before any re-read opens the ripper again.
    const ReadVerdict verdict = m_engine->readVerdict();
    const int32_t jitterErrors = m_engine->jitterErrorCount();
    m_engine->closeRipper();
    bool copyOk = true;
    if (job.testAndCopy && complete && keepGoing) {
        GrabCopyResult c{};
        c.trackIndex = job.trackIndex;
        c.testCrc = testCrc;
        c.copyCrc = copyCrc;
        bool same = tested && testCrc == copyCrc;
        // A mismatch is read again with correction: the copy stands once a re-read agrees
        // with it; reads that keep differing leave it unconfirmed.
        constexpr int kRereads = 2;
        while (!same && c.rereads < kRereads && !m_shared.aborted()) {
            ++c.rereads;
            uint32_t again = 0;
            same = ReadForCrc(job, true, again) && again == copyCrc;
        }
        c.copyOk = same ? 1 : 0;
        copyOk = same;
        std::lock_guard<std::mutex> guard(m_shared.statusLock);
        m_shared.status.copies.push_back(c);
    }
    Publish(job, complete, verdict, jitterErrors, copyOk);
    return keepGoing;
}

} // namespace cld
