#pragma once

#include "cldrip/GrabStatus.h"

#include <string>
#include <vector>

class CDRipDriveSettings;
class SettingsRecord;
struct JobContext;

// What every CD job does around a rip to make it verifiable: the drive's read offset
// before, and after it the AccurateRip look-up and the log and cue sheet beside the
// files. Shared by the grabber and the CD conversion jobs.
namespace cld {

// Gives the ripper the read offset stored for drive `driveIndex` (keyed by its vendor
// and product text). Returns an empty string, or the user's line about a stored offset
// the ripper refused (beyond +-5000 samples; the rip then reads without offset).
std::string applyStoredReadOffset(SettingsRecord& settings, CDRipDriveSettings* drives,
                                  int driveIndex);

// The file name the ripper gives a track's WAV file for the name it was handed (".wav"
// is added unless the name ends in an extension of three characters).
std::string wavFileName(const std::string& name);
// The file name the ripper gives a track's FLAC file: ".flac" is added unless the name
// ends in it (any case).
std::string flacFileName(const std::string& name);

struct RipLogFile {
    int trackIndex = 0; // the track index given to the ripper
    std::string path;   // the written file (its checksums are computed from its audio when
                        // it is a WAV or FLAC file and no checksums are given)
    bool hasChecksums = false;
    unsigned v1 = 0, v2 = 0, crc32 = 0, crc32NoSilence = 0;
    std::string title;     // UTF-8
    std::string performer; // UTF-8; empty = the album's artist
};

struct RipLogRequest {
    std::string folder;
    std::string artist;
    std::string album;
    std::vector<RipLogFile> files;        // in the order they were grabbed
    std::vector<GrabTrackResult> results; // the ripper's per-track results
    int driveIndex = 0;
    std::string errorCorrection; // as the options name it
};

struct RipLogOutcome {
    std::string logPath;     // empty when the log could not be written
    std::string reportLines; // the AccurateRip line and where the log is, in the user's language
};

// Checksums the WAV or FLAC files, looks the disc up (when the settings allow it; the window's
// events keep flowing meanwhile, for at most the network deadline) and writes
// "ARTIST - ALBUM.log" and ".cue" into the folder. Never throws; every failure ends up
// as a line of the report and of the log.
RipLogOutcome writeRipLogAndCue(const JobContext& context, const RipLogRequest& request);

// For the CD conversion jobs, which rip one track at a time into a WAV file they encode
// and remove: call right after a track was ripped into wavPath. The checksums are taken
// now; the log and cue sheet (naming outputPath's file) are rewritten beside outputPath
// with every track of the job so far, and once every track of the disc is in, the disc
// is looked up. Returns the report lines of the last write.
std::string recordRippedTrack(const JobContext& context, int trackIndex, const std::string& wavPath,
                              const std::string& outputPath);

// Offset detection with a disc the database knows: the disc's entry is fetched, the
// first seconds of a track are read without offset correction into tempFolder (the
// file is removed afterwards) and every offset within +-5000 samples is tried against the
// entry's checksums. The drive's offset setting is restored afterwards.
struct OffsetDetection {
    bool found = false;
    int offset = 0;
    int confidence = 0;
    std::string why; // when not found: one line for the user
};
OffsetDetection detectReadOffset(const JobContext& context, int driveIndex,
                                 const std::string& tempFolder);

} // namespace cld
