#pragma once

#include "CtdbLookup.h"
#include "RipLog.h"
#include "cldrip/GrabStatus.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CDRipDriveSettings;
class CDRipObject;
class SettingsRecord;

// What makes a rip verifiable: the drive's read offset before it, and after it the
// checksums, the AccurateRip look-up and the log and cue sheet beside the files. Every
// result is a value; the front end turns it into its own words.
namespace cld::engine {

// How the verification reaches the drive and the database, and how it waits.
struct VerifyEnv {
    CDRipObject* rip = nullptr;
    CDRipDriveSettings* drives = nullptr;
    bool lookup = true;     // whether the disc is looked up in the database at all
    std::string server;     // the database's address
    int deadlineMs = 30000; // the look-up's deadline
    // Waits at most the milliseconds given, ending early once the condition holds (a
    // front end keeps its events flowing here). Empty: sleeps in short steps.
    std::function<void(int, const std::function<bool()>&)> wait;
    // Asked while the look-up or the offset read runs: true ends them early.
    std::function<bool()> cancelled;
    // The CUETools database, asked beside AccurateRip when `lookup` allows and ctdbLookup
    // is set (the settings set it), and the HTTP proxy its look-up goes through (empty
    // host: none).
    bool ctdbLookup = false;
    std::string ctdbServer = accurip::kCtdbDefaultServer;
    std::string proxyHost;
    int proxyPort = 80;
};

// The settings' look-up switch, server and deadline (clamped to 5..60 seconds).
VerifyEnv verifyEnv(SettingsRecord& settings, CDRipObject* rip, CDRipDriveSettings* drives);

// Gives the ripper the read offset stored for drive `driveIndex` (keyed by its vendor and
// product text). `refused` when the stored offset lies beyond +-5000 samples or the
// ripper refused it: the rip then reads without offset.
struct StoredOffset {
    bool refused = false;
    int offset = 0;
};
StoredOffset applyStoredReadOffset(SettingsRecord& settings, CDRipDriveSettings* drives,
                                   int driveIndex);

// The log's words for an error correction as the ripper takes it (0..5).
std::string errorCorrectionName(int type);

struct RipLogFile {
    int trackIndex = 0; // the track index given to the ripper
    std::string path;   // the written file (its checksums are computed from its audio when
                        // it is a WAV or FLAC file and no checksums are given)
    bool hasChecksums = false;
    unsigned v1 = 0, v2 = 0, crc32 = 0, crc32NoSilence = 0;
    std::string title;     // UTF-8
    std::string performer; // UTF-8; empty = the album's artist
    // What is on disk: the whole track under `path`, a file that holds part of it (the
    // name in `path`), or nothing.
    enum class State { Complete, Incomplete, NotWritten };
    State state = State::Complete;
    int peak = -1; // the read's highest sample magnitude (0..32768); -1 = not known
    // Test and copy: the two reads' CRC32s and the re-reads a mismatch took.
    bool testAndCopy = false;
    uint32_t testCrc = 0, copyCrc = 0;
    int copyRereads = 0;
    bool copyOk = false; // the copy matched the test read or a re-read
    // The track's CTDB sums when taken already (from the ripped audio); else they are
    // taken from a complete WAV or FLAC file at `path`.
    std::shared_ptr<const accurip::CtdbTrackSums> ctdb;
};

struct RipLogRequest {
    std::string folder;
    // Where the log and cue sheet go: BASE.log and BASE.cue (a full path without
    // extension); empty = "ARTIST - ALBUM" in the folder. A file already there is
    // replaced only when replaceExisting (a regular file, which the user agreed to
    // replace, or the job's own earlier log).
    std::string logBase;
    bool replaceExisting = false;
    std::string artist;
    std::string album;
    std::vector<RipLogFile> files;        // in the order they were grabbed
    std::vector<GrabTrackResult> results; // the ripper's per-track results
    int driveIndex = 0;
    // As the options name it; empty = what the ripper is set to use.
    std::string errorCorrection;
    // How the job ended when it did not end well ("aborted by the user", "failed: ..."),
    // in English as the log is; empty for a job that ran to its end.
    std::string ending;
    // What the sub-channel said (gap detection); `read` false when it was not asked.
    accurip::DiscDetails details;
};

// What the verification found and wrote.
struct VerifyResult {
    bool attempted = false;                // a log was to be written (false: nothing was done)
    accurip::ArSummary summary;            // the disc's verdict; NotDone when there was no look-up
    std::string lookupDetail;              // why a look-up failed, in the log's words
    bool lookupCancelled = false;          // the caller's cancel ended the look-up
    std::vector<accurip::LogTrack> tracks; // per track: its read, checksums and verdict
    std::string logPath;                   // the written log; empty when it could not be written
    std::string logError;                  // why the log could not be written
    accurip::CtdbLogResult ctdb;           // the CTDB look-up and its verdict
    std::string verifiedBy;                // the databases that confirm the rip ("" when none does)
};

// Checksums the WAV or FLAC files, looks the disc up (when allowed; waiting through
// env.wait, for at most the deadline, and ending early on env.cancelled) and writes
// "ARTIST - ALBUM.log" and ".cue" into the folder. Never throws.
VerifyResult writeRipLogAndCue(const VerifyEnv& env, const RipLogRequest& request);

// Offset detection with a disc the database knows: the disc's entry is fetched, the
// first seconds of a track are read without offset correction into a folder of its own
// inside tempFolder (removed afterwards) and every offset within +-5000 samples is tried
// against the entry's checksums. The drive's offset setting is restored afterwards. When
// AccurateRip does not know the disc or no offset matches, and CTDB may be asked, the
// shortest track (not the last) is read whole with the edges of its neighbours and its
// CRC is tried at every shift within +-5000 samples against the CTDB entries.
enum class OffsetFailure {
    None,
    NoDrive,        // no ripper or drive
    NoDisc,         // no audio CD in the drive
    NotInDatabase,  // the disc has no entry
    DatabaseFailed, // the entry could not be fetched (detail says why)
    TracksTooShort, // no track holds the frames compared
    NoTemporary,    // no temporary folder in tempFolder
    ReadFailed,     // the disc could not be read
    NoMatch,        // no offset matches the entry
    Cancelled,      // the caller's cancel ended the look-up or the read
};
struct OffsetDetection {
    bool found = false;
    int offset = 0;
    int confidence = 0;
    OffsetFailure failure = OffsetFailure::None;
    std::string detail; // DatabaseFailed: the look-up's reason
    bool byCtdb =
        false; // found through CTDB: AccurateRip did not know the disc or matched no offset
};
OffsetDetection detectReadOffset(const VerifyEnv& env, int driveIndex,
                                 const std::string& tempFolder);

} // namespace cld::engine
