#pragma once

#include <cstdint>

class CDRipDriveSettings;
class DiscInfo;
class GrabStatus;
class NameText;

// The grab object: lists the disc, collects track jobs and rips them to WAV or FLAC files
// on a worker thread while the caller polls GetStatus. Slot order is fixed. Names are
// borrowed (the caller keeps and destroys its NameText records).
class CDRipObject {
public:
    virtual DiscInfo* GetDiscInfo() = 0; // 0: new object read now; the caller destroys it
    // 1: folder for later AddTrack calls. Returns 0, or 1 when the folder is too long
    // for a track record: later AddTrack calls are then refused until a folder fits.
    virtual int32_t SetOutputFolder(NameText* folder) = 0;
    // 2: end seconds -1 = to the track end. Returns 0, or 1 when the job is refused
    // (name or path longer than 259 characters, an empty name, a name holding a '/',
    // a name "." or starting with "..", negative start, end before start): the file
    // is never written outside the output folder, and names are refused, not changed.
    // A refused job is not queued: the job list stays as it was.
    virtual int32_t AddTrack(int32_t trackIndex, NameText* name, int32_t startSeconds,
                             int32_t endSeconds) = 0;
    // 3: 1 = worker started, 0 = no disc information or a grab is still running.
    virtual int32_t StartGrab() = 0;
    virtual void AbortGrab() = 0;                       // 4
    virtual int32_t PlayTrack(int32_t trackNumber) = 0; // 5: 1 playing, 0 failed
    virtual int32_t StopPlayback() = 0;                 // 6: 1 stopped, 0 failed
    virtual GrabStatus* GetStatus() = 0;                // 7: new snapshot; caller destroys it
    virtual CDRipDriveSettings* GetDriveSettings() = 0; // 8: owned by this object
    virtual void Dispose() = 0;                         // 9
    // 10: deleting destructor; bit 0 of flags frees the memory as well.
    virtual void Destroy(int32_t flags) = 0;

    // Output formats of SetOutputFormat.
    enum OutputFormat : int32_t {
        FormatWav = 0,  // canonical 44-byte-header PCM WAV (the default)
        FormatFlac = 1, // FLAC, compression level 5, with the audio's MD5 in its stream info
    };
    // 11: the kind of file the following AddTrack calls write, until StartGrab, which
    // returns to WAV. A FLAC file's name gets ".flac" unless it ends in it already. A
    // FLAC track that ends early (abort, read or write failure) leaves no file under its
    // name; a WAV track keeps what was read. Returns 0, or 1 for an unknown format (the
    // format is then unchanged).
    virtual int32_t SetOutputFormat(int32_t format) = 0;
    // 12: attaches one tag "NAME=value" (value in UTF-8) to the job the last successful
    // AddTrack queued; a FLAC file carries it as a Vorbis comment, a WAV file ignores
    // it. Returns 0, or 1 when no job is queued, the text is not NAME=value with a name
    // of printable ASCII other than '=', or the value is not UTF-8.
    virtual int32_t AddTrackTag(NameText* tag) = 0;
    // 13: whether the following AddTrack calls may replace a regular file that is
    // already at their name (1), or not (0, the default), until StartGrab, which returns
    // to 0. A track whose name is taken by anything it may not replace (any file when 0;
    // a folder, link, pipe or device always) fails with ErrorWriteFailed and leaves its
    // audio nowhere; the other tracks are still ripped. Returns 0.
    virtual int32_t SetReplaceExisting(int32_t replace) = 0;
    // 14: whether the following AddTrack calls read their track twice (1), a test read
    // and the copy that is written, comparing the CRC32 of their audio; when they differ
    // the track is read again, with jitter correction at least, up to twice, and the copy
    // stands only if a re-read gives its CRC (GrabStatus::GetTrackCopy says how it went;
    // a copy never confirmed is TrackNotVerified). Until StartGrab, which returns to 0.
    // Returns 0.
    virtual int32_t SetTestAndCopy(int32_t on) = 0;
    // 15: queues the audio before the disc's first track (a hidden track, "track 0") into
    // the file `name`, as AddTrack does; its results carry track index -1. At StartGrab a
    // disc whose first track starts at sector 0 has none: the job then counts as
    // ErrorTrackMissing. Returns 0, or 1 when the job is refused as AddTrack refuses one.
    virtual int32_t AddHiddenTrack(NameText* name) = 0;

protected:
    ~CDRipObject() = default;
};
