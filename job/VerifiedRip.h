#pragma once

#include "Verify.h"

#include <cstdint>
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

// The file name the ripper gives a track's WAV file for the name it was handed: ".wav"
// is added unless the name ends in it (any case).
std::string wavFileName(const std::string& name);
// The file name the ripper gives a track's FLAC file: ".flac" is added unless the name
// ends in it (any case).
std::string flacFileName(const std::string& name);
// The base name of the log and cue sheet of a rip of this disc: "ARTIST - ALBUM" made by
// the one file-name rule.
std::string ripLogName(const std::string& artist, const std::string& album);

// The log's words for an error correction as the ripper takes it (0..5).
using engine::errorCorrectionName;

using RipLogFile = engine::RipLogFile;
using RipLogRequest = engine::RipLogRequest;

// How the verification reaches the context's drive and database; its waits keep the
// window's events flowing.
engine::VerifyEnv verifyEnvOf(const JobContext& context);
// The user's words for a verification: the AccurateRip line and where the log is (or
// why it could not be written). Empty when nothing was attempted.
std::string verificationText(const engine::VerifyResult& result);

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
