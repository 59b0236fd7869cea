#pragma once

#include "GrabWorker.h"
#include "TrackJob.h"
#include "cldrip/CDRipDriveSettings.h"
#include "cldrip/CDRipObject.h"

#include <memory>
#include <string>
#include <thread>
#include <vector>

class CDDAObject;

namespace cld {

// The grab object handed out by GetClassObject("CDRipObject"). It owns a CDDAObject
// (initialised on construction; the object exists even when no drive was found) and
// one worker thread per grab.
class CDRipObjectImpl final : public CDRipObject {
public:
    CDRipObjectImpl();

    DiscInfo* GetDiscInfo() override;
    int32_t SetOutputFolder(NameText* folder) override;
    int32_t AddTrack(int32_t trackIndex, NameText* name, int32_t startSeconds,
                     int32_t endSeconds) override;
    int32_t StartGrab() override;
    void AbortGrab() override;
    int32_t PlayTrack(int32_t trackNumber) override;
    int32_t StopPlayback() override;
    GrabStatus* GetStatus() override;
    CDRipDriveSettings* GetDriveSettings() override;
    void Dispose() override;
    void Destroy(int32_t flags) override;
    int32_t SetOutputFormat(int32_t format) override;
    int32_t AddTrackTag(NameText* tag) override;
    int32_t SetReplaceExisting(int32_t replace) override;
    int32_t SetTestAndCopy(int32_t on) override;
    int32_t AddHiddenTrack(NameText* name) override;

    // The sector range a job covers, from the track's range and the job's start and
    // end seconds (intro grabs). durationSeconds is the track's whole seconds.
    static void JobRange(int32_t first, int32_t last, uint32_t durationSeconds,
                         int32_t startSeconds, int32_t endSeconds, int32_t& outFirst,
                         int32_t& outLast);

    // The drive-settings interface, working on the owner's CDDAObject.
    class DriveSettingsImpl final : public CDRipDriveSettings {
    public:
        explicit DriveSettingsImpl(CDRipObjectImpl& owner) : m_owner(owner) {}
        int32_t GetDriveCount() override;
        int32_t GetDriveName(NameText** name, int32_t index) override;
        void SetActiveDrive(int32_t index) override;
        void SetErrorCorrection(int32_t type) override;
        int32_t SetReadOffset(int32_t samples) override;
        int32_t GetReadOffset() override;
        int32_t GetErrorCorrection() override;

    private:
        CDRipObjectImpl& m_owner;
    };

private:
    ~CDRipObjectImpl();
    void JoinWorker();

    struct CddaDeleter {
        void operator()(CDDAObject* object) const;
    };
    std::unique_ptr<CDDAObject, CddaDeleter> m_cdda;
    DriveSettingsImpl m_settings{*this};
    std::vector<TrackJob> m_jobs;
    std::string m_folder = "/";
    bool m_folderValid = true;
    int32_t m_format = TrackFormatWav;
    bool m_replaceExisting = false;
    bool m_testAndCopy = false;
    // Whether the last AddTrack queued its job (the one AddTrackTag tags).
    bool m_lastQueued = false;
    GrabShared m_shared;
    std::thread m_worker;
};

} // namespace cld
