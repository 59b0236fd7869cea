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
using RipLogJob = engine::RipLogJob;

struct RipLogOutcome {
    std::string logPath;     // empty when the log could not be written
    std::string reportLines; // the AccurateRip line and where the log is, in the user's language
};

// How the verification reaches the context's drive and database; its waits keep the
// window's events flowing.
engine::VerifyEnv verifyEnvOf(const JobContext& context);
// The user's words for a verification: the AccurateRip line and where the log is (or
// why it could not be written). Empty when nothing was attempted.
std::string verificationText(const engine::VerifyResult& result);

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
std::string recordRippedTrack(const JobContext& context, RipLogJob& job, int trackIndex,
                              const std::string& wavPath, const std::string& outputPath);
// Rewrites a CD conversion job's log and cue sheet once more when the job did not end
// well: the log says how it ended (`ending`) and what became of each track's file
// (`states` by output path; a track not named there kept no file; a partial file kept
// under another name is given in `keptAs`). Nothing happens when no log was written.
void finishRipLog(const JobContext& context, RipLogJob& job, const std::string& ending,
                  const std::vector<std::string>& completeOutputs,
                  const std::vector<std::pair<std::string, std::string>>& keptAs);

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
