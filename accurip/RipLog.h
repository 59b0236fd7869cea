#pragma once

#include "AccurateRip.h"

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

struct LogTrack {
    int number = 0;        // track number on the disc
    std::string file;      // the written file's name (no folder)
    std::string title;     // UTF-8; may be empty
    std::string performer; // UTF-8; empty = the disc's
    ReadResult result = ReadResult::Unknown;
    long correctedSectors = 0;
    long unverifiedSectors = 0;
    long unreadSectors = 0;
    bool hasChecksums = false;
    TrackChecksums sums;
    bool hasVerdict = false;
    TrackVerdict verdict;
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
// Per-track text of a verdict: "accurately ripped (confidence 7, v2)", ...
std::string verdictText(const TrackVerdict& verdict);

// The cue sheet's file type for a track file: MP3 for ".mp3" (any case), else WAVE.
std::string cueFileType(const std::string& file);

// "ARTIST - ALBUM" made safe as a file name (no folder separators or control characters).
std::string ripLogBaseName(const std::string& artist, const std::string& album);
std::string logText(const RipLogInfo& info);
std::string cueText(const RipLogInfo& info);
// Writes <folder>/<base>.log and .cue (each through a temporary file and a rename, so
// an earlier log is replaced only by a complete one). logPath receives the log's path.
bool writeRipLog(const std::string& folder, const RipLogInfo& info, std::string& logPath,
                 std::string& error);

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
