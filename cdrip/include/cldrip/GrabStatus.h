#pragma once

#include <cstdint>

class NameText;

// Snapshot of a grab, made by CDRipObject::GetStatus. The caller destroys it with
// Destroy(). Slot order is fixed.
class GrabStatus {
public:
    // Result codes of GetError.
    enum Error : int32_t {
        ErrorNone = 0,         // running, finished, or stopped by AbortGrab
        ErrorOpenFailed = 1,   // the ripper could not be opened on a track
        ErrorCreateFailed = 2, // a WAV file could not be created
        ErrorReadFailed = 3,   // a chunk could not be read; the track is incomplete
        ErrorNameRefused = 4,  // a track's file name or path did not fit (AddTrack refused it)
        ErrorWriteFailed = 5,  // writing a WAV file failed (disk full ...); the track is incomplete
        ErrorTrackMissing = 6, // a job named a track the disc does not have; it was skipped
    };

    virtual int32_t IsRunning() = 0; // 0: 1 while the grab worker runs
    // 1: why the last grab failed, one of Error; 0 while it runs well or when it
    // ended well. The first failure is kept.
    virtual int32_t GetError() = 0;
    virtual NameText* GetFileName() = 0;       // 2: new record, the caller destroys it
    virtual int32_t GetTrackIndex() = 0;       // 3
    virtual int32_t GetPercent() = 0;          // 4: 0..99
    virtual int32_t GetPeak() = 0;             // 5: 0..32768
    virtual int32_t GetJitterErrorCount() = 0; // 6
    virtual void Destroy() = 0;                // 7

protected:
    ~GrabStatus() = default;
};
