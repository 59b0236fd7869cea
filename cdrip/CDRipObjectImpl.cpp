#include "CDRipObjectImpl.h"

#include "CDDAObjectImpl.h"
#include "DiscInfoImpl.h"
#include "FlacWriter.h"
#include "RipperEngine.h"
#include "cldrip/CDDAObject.h"
#include "cldrip/NameText.h"
#include "cldrip/TrackInfo.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace cld {

void CDRipObjectImpl::CddaDeleter::operator()(CDDAObject* object) const {
    if (object)
        object->Dispose();
}

CDRipObjectImpl::CDRipObjectImpl() : m_cdda(new CDDAObjectImpl()) {
    // Without a drive the object still exists; every grab then finds no tracks.
    m_cdda->Init();
}

CDRipObjectImpl::~CDRipObjectImpl() {
    AbortGrab();
    JoinWorker();
}

void CDRipObjectImpl::JoinWorker() {
    if (m_worker.joinable())
        m_worker.join();
}

DiscInfo* CDRipObjectImpl::GetDiscInfo() {
    return DiscInfoImpl::create(*m_cdda);
}

int32_t CDRipObjectImpl::SetOutputFolder(NameText* folder) {
    std::string made;
    if (!makeOutputFolder(folder ? folder->text() : "", made)) {
        m_folderValid = false;
        return 1;
    }
    m_folder = made;
    m_folderValid = true;
    return 0;
}

int32_t CDRipObjectImpl::AddTrack(int32_t trackIndex, NameText* name, int32_t startSeconds,
                                  int32_t endSeconds) {
    m_lastQueued = false;
    TrackJob job;
    std::string error;
    const bool timesOk = startSeconds >= 0 && (endSeconds == -1 || endSeconds >= startSeconds);
    // A refused job is not queued: the list stays as it was, so the caller's refusal never
    // reaches this grab or a later one. The caller decides what to tell the user.
    if (!m_folderValid || !timesOk ||
        !makeTrackJob(job, trackIndex, name ? name->text() : "", m_folder, startSeconds, endSeconds,
                      error, m_format, m_replaceExisting))
        return 1;
    job.testAndCopy = m_testAndCopy ? 1 : 0;
    m_jobs.push_back(job);
    m_lastQueued = true;
    return 0;
}

int32_t CDRipObjectImpl::AddHiddenTrack(NameText* name) {
    m_lastQueued = false;
    TrackJob job;
    std::string error;
    if (!m_folderValid || !makeTrackJob(job, kHiddenTrackIndex, name ? name->text() : "", m_folder,
                                        0, -1, error, m_format, m_replaceExisting))
        return 1;
    job.hidden = 1;
    job.testAndCopy = m_testAndCopy ? 1 : 0;
    m_jobs.push_back(job);
    m_lastQueued = true;
    return 0;
}

int32_t CDRipObjectImpl::SetTestAndCopy(int32_t on) {
    m_testAndCopy = on != 0;
    return 0;
}

void CDRipObjectImpl::JobRange(int32_t first, int32_t last, uint32_t durationSeconds,
                               int32_t startSeconds, int32_t endSeconds, int32_t& outFirst,
                               int32_t& outLast) {
    outFirst = first;
    outLast = last;
    if (durationSeconds == 0 || (startSeconds == 0 && endSeconds == -1))
        return;
    const uint32_t rate = static_cast<uint32_t>(last - first) / durationSeconds;
    const float fLast = static_cast<float>(last);
    float f = static_cast<float>(first);
    float l = fLast;
    if (startSeconds != 0)
        f = std::min(fLast, f + static_cast<float>(startSeconds) * static_cast<float>(rate));
    if (endSeconds != -1)
        l = std::min(fLast,
                     f + static_cast<float>(rate) * static_cast<float>(endSeconds - startSeconds));
    outFirst = static_cast<int32_t>(f);
    outLast = static_cast<int32_t>(l);
}

int32_t CDRipObjectImpl::StartGrab() {
    {
        std::lock_guard<std::mutex> guard(m_shared.statusLock);
        if (m_shared.status.running)
            return 0;
    }
    JoinWorker();
    // The format was for the jobs queued now; whatever happens to them, later callers
    // start from WAV again.
    m_format = TrackFormatWav;
    m_replaceExisting = false;
    m_testAndCopy = false;
    m_lastQueued = false;
    m_cdda->LockDoor(1);
    DiscInfo* disc = GetDiscInfo();
    if (!disc) {
        m_cdda->LockDoor(0);
        return 0;
    }
    for (TrackJob& job : m_jobs) {
        if (job.hidden) {
            // Sectors 0 up to the first track, when there are any.
            TrackInfo* first = disc->GetTrack(0);
            const int32_t start = first ? first->GetFirstSector() : 0;
            if (first)
                first->Destroy();
            job.valid = start > 0 ? TrackJobValid : TrackJobMissing;
            job.firstSector = 0;
            job.lastSector = start - 1;
            continue;
        }
        TrackInfo* track = disc->GetTrack(job.trackIndex);
        if (!track || job.trackIndex < 0) {
            job.valid = TrackJobMissing;
            if (track)
                track->Destroy();
            continue;
        }
        job.valid = TrackJobValid;
        JobRange(track->GetFirstSector(), track->GetLastSector(), track->GetDurationSeconds(),
                 job.startSeconds, job.endSeconds, job.firstSector, job.lastSector);
        track->Destroy();
    }
    disc->Destroy();

    {
        std::lock_guard<std::mutex> guard(m_shared.statusLock);
        m_shared.status.running = 1;
        m_shared.status.error = GrabStatus::ErrorNone;
        m_shared.status.tracks.clear();
        m_shared.status.copies.clear();
    }
    {
        // An abort that came while no grab ran must not stop this one.
        std::lock_guard<std::mutex> guard(m_shared.abortLock);
        m_shared.abort.store(0);
    }
    // The job list is consumed by the grab; jobs are added again for the next one.
    std::vector<TrackJob> jobs;
    jobs.swap(m_jobs);
    // The grab stays on the drive that is active now, whatever the caller selects or
    // plays on while it runs.
    RipperEngine* engine = RipperEngine::current();
    const int32_t drive = engine ? engine->activeDrive() : 0;
    try {
        m_worker = std::thread([this, engine, drive, jobs = std::move(jobs)]() mutable {
            GrabWorker(engine, drive, std::move(jobs), m_shared).Run();
        });
    } catch (...) {
        std::lock_guard<std::mutex> guard(m_shared.statusLock);
        m_shared.status.running = 0;
        m_cdda->LockDoor(0);
        return 0;
    }
    return 1;
}

void CDRipObjectImpl::AbortGrab() {
    std::lock_guard<std::mutex> guard(m_shared.abortLock);
    m_shared.abort.store(1);
}

int32_t CDRipObjectImpl::PlayTrack(int32_t trackNumber) {
    return m_cdda->PlayTrack(trackNumber) == 0 ? 1 : 0;
}

int32_t CDRipObjectImpl::StopPlayback() {
    return m_cdda->StopPlayback() == 0 ? 1 : 0;
}

GrabStatus* CDRipObjectImpl::GetStatus() {
    GrabStatusValues values;
    {
        std::lock_guard<std::mutex> guard(m_shared.statusLock);
        values = m_shared.status;
    }
    return new (std::nothrow) GrabStatusImpl(std::move(values));
}

int32_t CDRipObjectImpl::SetOutputFormat(int32_t format) {
    if (format != TrackFormatWav && format != TrackFormatFlac)
        return 1;
    m_format = format;
    return 0;
}

int32_t CDRipObjectImpl::SetReplaceExisting(int32_t replace) {
    m_replaceExisting = replace != 0;
    return 0;
}

int32_t CDRipObjectImpl::AddTrackTag(NameText* tag) {
    if (!m_lastQueued || m_jobs.empty() || !tag || !FlacWriter::isLegalComment(tag->text()))
        return 1;
    try {
        m_jobs.back().tags.emplace_back(tag->text());
    } catch (...) {
        return 1;
    }
    return 0;
}

CDRipDriveSettings* CDRipObjectImpl::GetDriveSettings() {
    return &m_settings;
}

void CDRipObjectImpl::Dispose() {
    Destroy(1);
}

void CDRipObjectImpl::Destroy(int32_t flags) {
    if (flags & 1)
        delete this;
    else
        this->~CDRipObjectImpl();
}

int32_t CDRipObjectImpl::DriveSettingsImpl::GetDriveCount() {
    return m_owner.m_cdda->GetDriveCount();
}

int32_t CDRipObjectImpl::DriveSettingsImpl::GetDriveName(NameText** name, int32_t index) {
    if (!name)
        return 1;
    *name = nullptr;
    RipperEngine* engine = RipperEngine::current();
    if (!engine || index < 0 || index >= engine->driveCount())
        return 1;
    // Read straight from the drive list: switching the active drive for the query
    // would move a grab or a playback running on another thread.
    DriveParams params = engine->paramsAt(index);
    params.name[sizeof params.name - 1] = '\0';
    *name = NameText::Create(params.name);
    return *name ? 0 : 1;
}

void CDRipObjectImpl::DriveSettingsImpl::SetActiveDrive(int32_t index) {
    m_owner.m_cdda->SetActiveDrive(index);
}

void CDRipObjectImpl::DriveSettingsImpl::SetErrorCorrection(int32_t type) {
    static constexpr int32_t table[6][3] = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0},
                                            {1, 0, 1}, {1, 0, 2}, {1, 0, 3}};
    if (type < 0 || type > 5)
        return;
    DriveParams params;
    m_owner.m_cdda->GetDriveParams(&params);
    params.rippingMethod = table[type][0];
    params.jitterCorrection = table[type][1];
    params.paranoiaLevel = table[type][2];
    m_owner.m_cdda->SetDriveParams(&params);
}

} // namespace cld

namespace cld {

int32_t CDRipObjectImpl::DriveSettingsImpl::SetReadOffset(int32_t samples) {
    return m_owner.m_cdda->SetReadOffset(samples);
}

int32_t CDRipObjectImpl::DriveSettingsImpl::GetReadOffset() {
    return m_owner.m_cdda->GetReadOffset();
}

int32_t CDRipObjectImpl::DriveSettingsImpl::GetErrorCorrection() {
    DriveParams params;
    m_owner.m_cdda->GetDriveParams(&params);
    if (params.rippingMethod != 0)
        return 2 + std::clamp<int32_t>(params.paranoiaLevel, 0, 3);
    return params.jitterCorrection != 0 ? 1 : 0;
}

} // namespace cld
