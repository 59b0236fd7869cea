#pragma once

#include "AccurateRip.h"
#include "Ctdb.h"

#include <string>
#include <vector>

// The log and the cue sheet written beside the files of a rip. Plain C++ (no Qt).
namespace accurip {

// How the ripper judged a track's read (the grab status's per-track result codes).
enum class ReadResult {
    Exact = 0,
    Corrected = 1,
    NotVerified = 2,
    Failed = 3,
    Unchecked = 4,
    Unknown = -1
};

// What is on disk of a track when the log is written.
enum class FileState {
    Complete,   // the whole track, under its name
    Incomplete, // a file that holds only part of the track (a rip or encoding cut short)
    NotWritten, // no file of the track was made
};

struct LogTrack {
    int number = 0;   // track number on the disc
    std::string file; // the written file's name (no folder)
    FileState state = FileState::Complete;
    std::string title;     // UTF-8; may be empty
    std::string performer; // UTF-8; empty = the disc's
    ReadResult result = ReadResult::Unknown;
    long correctedSectors = 0;
    long unverifiedSectors = 0;
    long unreadSectors = 0;
    // Samples beyond the disc's edge that the read offset moved into the track: no drive
    // reads them, the file holds silence there.
    long edgeSilentSamples = 0;
    bool hasChecksums = false;
    TrackChecksums sums;
    bool hasVerdict = false;
    TrackVerdict verdict;
    int peak = -1; // the track's highest sample magnitude, 0..32768; -1 = not measured
    // Test and copy: the CRC32 of the test read and of the copy, when the track was read
    // twice; copyRereads counts the further reads with correction a mismatch took, and
    // copyOk says whether the copy matched the test read or one of them.
    bool testAndCopy = false;
    uint32_t testCrc = 0;
    uint32_t copyCrc = 0;
    int copyRereads = 0;
    bool copyOk = false;
};

// What the disc's sub-channel says beyond its table of contents, per track.
struct TrackCodes {
    int number = 0;
    std::string isrc; // empty = none
    int control = 0;  // control bits: 0x01 pre-emphasis, 0x02 copy permitted, 0x08 4 channels
    int64_t indexZero =
        -1; // first sector of the pregap (== the track's start when none); -1 unknown
};

// What lies before track 1 (a hidden first track).
enum class HiddenAudio { None, Silent, Audio, Unreadable, NotLooked };

struct DiscDetails {
    bool read = false;   // the sub-channel was read (gap detection ran)
    std::string catalog; // media catalogue number; empty = none
    std::vector<TrackCodes> tracks;
    HiddenAudio hidden = HiddenAudio::NotLooked;
    int64_t hiddenSectors = 0;
    std::string hiddenFile; // the file the hidden audio was ripped into (complete); empty = none
    int subChannelReads = 0;
    const TrackCodes* track(int number) const;
};

// What became of the database look-up of the disc.
enum class LookupState {
    NotDone,       // no look-up was made (switched off, or the rip failed)
    Checked,       // the entry was read; the tracks carry their verdicts
    NotInDatabase, // the server has no entry for this disc
    Offline,       // the server could not be reached
    Failed,        // the answer was unusable (detail says why)
    OtherDisc,     // the entry is for another disc
};

// What became of the CTDB look-up of the disc.
struct CtdbLogResult {
    enum class State { NotDone, Checked, NotInDatabase, Offline, Failed };
    State state = State::NotDone;
    CtdbVerdict verdict; // Checked: the disc's and every track's verdict
    std::string detail;  // why a look-up failed
};

struct RipLogInfo {
    std::string program;         // program name and version
    std::string date;            // when the rip ended, as the log shows it
    std::string drive;           // vendor and product of the drive
    int readOffset = 0;          // samples
    std::string errorCorrection; // as the options name it
    std::string artist;          // UTF-8
    std::string album;           // UTF-8
    DiscLayout disc;
    std::vector<LogTrack> tracks; // the ripped tracks, in disc order
    LookupState lookup = LookupState::NotDone;
    std::string lookupDetail; // server answer, error text
    // How the job ended when it did not end well ("aborted by the user", "failed: ...");
    // empty for a rip that ran to its end.
    std::string ending;
    DiscDetails details;
    // The drive's features as the rip used them: each "name: what" as measured or assumed.
    std::vector<std::string> driveFeatures;
    CtdbLogResult ctdb;
};

// The disc-level result of the look-up, for the log's summary and the end-of-grab message.
struct ArSummary {
    enum Kind { AllAccurate, SomeNotAccurate, NotInDatabase, Offline, Failed, OtherDisc, NotDone };
    Kind kind = NotDone;
    int tracks = 0;                 // tracks verified
    int minConfidence = 0;          // AllAccurate: the lowest confidence of the tracks
    std::vector<int> notAccurate;   // SomeNotAccurate: track numbers not accurate
    std::vector<int> notInDatabase; // SomeNotAccurate: track numbers the entry lacks
};
ArSummary summarize(const RipLogInfo& info);
// English text of a summary (the log's summary line).
std::string summaryText(const ArSummary& summary, const std::string& detail);
// English text of the CTDB result (the log's CTDB line): the verdict, "not in the
// database", "not reachable (offline?)" or "look-up failed (why)"; empty when not done.
std::string ctdbSummaryText(const CtdbLogResult& ctdb);
// The databases that confirm the rip: "AccurateRip and CTDB", "AccurateRip", "CTDB", or
// empty when neither does.
std::string verifiedBy(const ArSummary& summary, const CtdbLogResult& ctdb);
// Per-track text of a verdict: "accurately ripped (confidence 7, v2)", ...
std::string verdictText(const TrackVerdict& verdict);

// The cue sheet describes the complete files only: a file cut short, or none, is left out.
// The cue sheet's file type for a track file: MP3 for ".mp3" (any case), else WAVE.
std::string cueFileType(const std::string& file);

// "ARTIST - ALBUM" made a file name by the one file-name rule ("Unknown Artist" and
// "Unknown Album" for empty names).
std::string ripLogBaseName(const std::string& artist, const std::string& album);
std::string logText(const RipLogInfo& info);
std::string cueText(const RipLogInfo& info);
// Writes BASE.log and BASE.cue (`base` a full path without extension), each through a
// temporary file of its own that takes the final name only when complete. A file already
// at either name stays as it is unless replaceExisting allows replacing a regular file
// there. logPath receives the log's path.
bool writeRipLog(const std::string& base, bool replaceExisting, const RipLogInfo& info,
                 std::string& logPath, std::string& error);

// The log's last line holds the SHA-256 of all the text above it:
// "==== Log checksum <64 lower-case hex digits> ====". logText ends with it.
enum class LogChecksum { Ok, Edited, Absent };
LogChecksum checkLogChecksum(const std::string& text);
// The line for a log's text (which ends with a newline).
std::string logChecksumLine(const std::string& textAbove);

// Checksums of a written WAV file's audio (the data chunk). False, with why, when the
// file cannot be read or is not a 16-bit stereo WAV file.
bool checksumWaveFile(const std::string& path, bool firstTrack, bool lastTrack, TrackChecksums& out,
                      std::string& why);
// The same for a FLAC file's decoded audio. False, with why, when the file cannot be read,
// is not 16-bit stereo at 44100 Hz, is damaged, or its audio does not match the MD5 of its
// stream info.
bool checksumFlacFile(const std::string& path, bool firstTrack, bool lastTrack, TrackChecksums& out,
                      std::string& why);
// Either of the two, by what the file holds (a FLAC stream, else a WAV file).
bool checksumTrackFile(const std::string& path, bool firstTrack, bool lastTrack,
                       TrackChecksums& out, std::string& why);

} // namespace accurip
