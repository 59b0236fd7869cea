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

struct RipLogFile {
    int trackIndex = 0;   // the track index given to the ripper
    std::string path;     // the written file
    std::string title;    // UTF-8
    std::string performer; // UTF-8; empty = the album's artist
};

struct RipLogRequest {
    std::string folder;
    std::string artist;
    std::string album;
    std::vector<RipLogFile> files;          // in the order they were grabbed
    std::vector<GrabTrackResult> results;   // the ripper's per-track results
    int driveIndex = 0;
    std::string errorCorrection;            // as the options name it
};

struct RipLogOutcome {
    std::string logPath;     // empty when the log could not be written
    std::string reportLines; // the AccurateRip line and where the log is, in the user's language
};

// Checksums the WAV files, looks the disc up (when the settings allow it; the window's
// events keep flowing meanwhile, for at most the network deadline) and writes
// "ARTIST - ALBUM.log" and ".cue" into the folder. Never throws; every failure ends up
// as a line of the report and of the log.
RipLogOutcome writeRipLogAndCue(const JobContext& context, const RipLogRequest& request);

} // namespace cld
