#pragma once

#include <cstdint>

class NameText;

// How one track of a grab came out, read with GrabStatus::GetTrackResult.
struct GrabTrackResult {
    int32_t trackIndex;        // the job's track index
    int32_t result;            // one of GrabStatus::TrackResult
    int32_t jitterErrors;      // the jitter error count the track ended with
    int32_t correctedSectors;  // sectors delivered exact only after a correction
    int32_t unverifiedSectors; // sectors whose audio could not be verified
    int32_t unreadSectors;     // sectors the drive never delivered (zeros in the WAV)
};

// How a track read twice (test and copy) came out, read with GrabStatus::GetTrackCopy.
struct GrabCopyResult {
    int32_t trackIndex; // the job's track index
    uint32_t testCrc;   // CRC32 of the audio of the test read
    uint32_t copyCrc;   // CRC32 of the audio of the copy (the file written)
    // Further reads of the track after the two differed; the copy is confirmed once one
    // of them gives the copy's CRC.
    int32_t rereads;
    int32_t copyOk; // 1: the copy matched the test read or a re-read; 0: it never did
};

// Snapshot of a grab, made by CDRipObject::GetStatus. The caller destroys it with
// Destroy(). Slot order is fixed.
class GrabStatus {
public:
    // Result codes of GetError.
    enum Error : int32_t {
        ErrorNone = 0,       // running, finished, or stopped by AbortGrab
        ErrorOpenFailed = 1, // the ripper could not be opened on a track
        // A WAV or FLAC file could not be created, or its path names something other than a
        // regular file (a folder, a device, a pipe, a symbolic link), which is never
        // replaced.
        ErrorCreateFailed = 2,
        ErrorReadFailed = 3, // a chunk could not be read; the track is incomplete
        ErrorNameRefused =
            4, // a track's file name or path did not fit (AddTrack's refusal, for callers)
        ErrorWriteFailed =
            5, // writing a track file failed (disk full ...); the track is incomplete
        ErrorTrackMissing = 6, // a job named a track the disc does not have; it was skipped
        // Some track's audio could not be verified (the grab went on; the WAV holds
        // the best audio read), or a track read twice never gave the same audio twice.
        // GetTrackResult and GetTrackCopy say which tracks and how much.
        ErrorNotVerified = 7,
    };

    // Results of GetTrackResult.
    enum TrackResult : int32_t {
        TrackExact = 0,       // every sector delivered and checked, nothing corrected
        TrackCorrected = 1,   // exact after correcting the drive (jitter, re-reads)
        TrackNotVerified = 2, // some audio could not be verified
        // Sectors were not delivered (zeros in their place), or the track ended early
        // (read error, write error, abort); the grab's GetError says which.
        TrackFailed = 3,
        // Every sector delivered, but nothing was checked (error correction type 0, or
        // a plain reader with no overlap to compare): not known to be exact. Sets no
        // GetError code, as the caller chose to read without checks.
        TrackUnchecked = 4,
        // The track's file name was taken by something the job may not replace (a
        // user's file, a folder, a link, a pipe): nothing was written or replaced, and
        // the grab went on with the next track. GetError says ErrorCreateFailed.
        TrackNameTaken = 5,
    };

    virtual int32_t IsRunning() = 0; // 0: 1 while the grab worker runs
    // 1: why the last grab failed, one of Error; 0 while it runs well or when it
    // ended well. The first failure is kept. ErrorReadFailed also stands for a track
    // the plain reader finished with sectors the drive never delivered.
    virtual int32_t GetError() = 0;
    virtual NameText* GetFileName() = 0;       // 2: new record, the caller destroys it
    virtual int32_t GetTrackIndex() = 0;       // 3
    virtual int32_t GetPercent() = 0;          // 4: 0..99
    virtual int32_t GetPeak() = 0;             // 5: 0..32768
    virtual int32_t GetJitterErrorCount() = 0; // 6
    virtual void Destroy() = 0;                // 7
    // 8: how many tracks of the grab have ended so far (each job that was read, in the
    // order they were grabbed); the results stay readable after the grab until the
    // next StartGrab.
    virtual int32_t GetTrackResultCount() = 0;
    // 9: the result of the n-th ended track (0-based). Returns 0, or 1 (out untouched)
    // for an n out of range or a null out.
    virtual int32_t GetTrackResult(int32_t n, GrabTrackResult* out) = 0;
    // 10: the test-and-copy result of the n-th ended track read twice (0-based, counting
    // only such tracks). Returns 0, or 1 (out untouched) for an n out of range or null.
    virtual int32_t GetTrackCopy(int32_t n, GrabCopyResult* out) = 0;
    virtual int32_t GetTrackCopyCount() = 0; // 11

protected:
    ~GrabStatus() = default;
};
