#pragma once

#include "AccurateRip.h"
#include "Ctdb.h"
#include "RipLog.h"
#include "Verify.h"

#include <cstdint>
#include <string>
#include <vector>

// Verifying a rip made long ago, from its files alone: the cue sheet gives the disc's
// layout and the files, the files are decoded through the program's readers, and the
// AccurateRip and CTDB sums are taken and looked up as the rip's own log step does.
namespace cld::engine {

// A rip as its cue sheet describes it: the disc's audio as a row of pieces (a file, or
// silence the sheet declares with PREGAP) and every track's place in that row.
struct RipPiece {
    std::string file;     // full path; empty for silence
    int64_t samples = 0;  // its length in samples (a file's as it declares)
    bool present = false; // the file exists
    bool lossless = true; // its kind keeps the disc's exact audio
    bool raw = false;     // a BINARY file: the disc's samples as they are, no header
};
struct RipSheetTrack {
    int number = 0;
    std::string file;  // the file its INDEX 01 lies in (full path)
    int64_t start = 0; // the sample of INDEX 01 in the row of pieces
    int64_t end = 0;   // where the next track's INDEX 01 (or the row) begins
};
struct RipSheet {
    std::vector<RipPiece> pieces;
    std::vector<RipSheetTrack> tracks;
    accurip::DiscLayout layout; // empty tracks when a missing file hides it
    std::string layoutWhy;      // why there is no layout
};

// Reads a cue sheet (one file per track, or one image; WAVE, FLAC or BINARY files;
// INDEX 00 gaps and PREGAP silence) and opens its files to learn their lengths. False, with why,
// when the sheet cannot be read, names no audio track, or holds something a CD rip cannot (a data
// track, a file type other than WAVE/FLAC/MP3/...). A missing or lossy file is no failure
// here: the check names it.
bool readRipSheet(const std::string& cuePath, RipSheet& sheet, std::string& why);

// The layout of a disc from the "CTDB TOC:" line of a rip log ("0:600:-1250:9000").
bool layoutFromTocQuery(const std::string& query, accurip::DiscLayout& layout);

struct CheckedTrack {
    int number = 0;
    std::string file;
    enum class Status { Ok, Missing, Lossy, Unreadable };
    Status status = Status::Ok;
    std::string error;
    accurip::TrackChecksums ar;
    bool hasVerdict = false;
    accurip::TrackVerdict arVerdict;
    bool hasCtdb = false;
    accurip::CtdbTrackVerdict ctdb;
};
struct RipCheck {
    std::vector<CheckedTrack> tracks;
    accurip::LookupState arLookup = accurip::LookupState::NotDone;
    std::string arDetail;
    accurip::ArSummary arSummary;
    accurip::CtdbLogResult ctdb;
    std::string verifiedBy; // "" when no database confirms the rip
};

// Decodes the sheet's files, takes the sums of every track and looks the disc up in both
// databases (as env allows; env.rip and env.drives are not used).
RipCheck checkRip(const RipSheet& sheet, const VerifyEnv& env);

} // namespace cld::engine
