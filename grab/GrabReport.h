#pragma once

#include "GrabErrorText.h"
#include "cldrip/GrabStatus.h"

#include <cstdint>
#include <string>
#include <vector>

// What the end of a grab tells the user. The outcome of every track goes in, one
// message comes out: a user never has to guess whether a rip is exact.
namespace cld {

// How one track of a grab ended.
enum class TrackOutcome {
    Exact,       // read and verified
    Corrected,   // read; errors were found and corrected
    NotVerified, // written, but the drive's data could not be verified
    Failed,      // not read completely
    NotReached,  // the grab stopped before this track
    NameTaken,   // its file's name was taken by something that stays; nothing was written
};

struct TrackResult {
    std::string name; // the track's name as listed (UTF-8)
    TrackOutcome outcome = TrackOutcome::Exact;
    // From the ripper's own result, when it gave one: sectors the drive never delivered
    // (silent in the file) and sectors whose audio could not be verified.
    int unreadSectors = 0;
    int unverifiedSectors = 0;
    // NameTaken: the file name that was in the way.
    std::string file{};
};

struct GrabEnd {
    bool aborted = false;
    // The grab's error code (GrabStatus::Error), 0 when none.
    int errorCode = 0;
    std::vector<TrackResult> tracks;
    // Tracks that ended early left no file (a FLAC file is the whole track or nothing),
    // where a WAV file keeps what was read.
    bool partialFilesRemoved = false;
    // The verification lines of the rip (the AccurateRip result and where the log is),
    // in the user's language; empty when there are none.
    std::string verification;
};

enum class ReportIcon { Information, Exclamation, Error };

struct GrabReport {
    // The string-table text, and its "%1" argument (empty when it has none).
    int stringId = 0;
    std::string argument;
    ReportIcon icon = ReportIcon::Information;
};

// The message for the end of a grab: 126 after an abort; the failure with its reason when
// a track's file stops early or a track was not read; otherwise a list of the tracks that
// are not exact (by name, with what happened to their sectors) and one line of advice; or
// 127 when every track is exact. The verification lines, when given, follow the text
// (2609 instead of 127) and are left out after an abort.
GrabReport grabReport(const GrabEnd& end);

// The per-track outcomes when the ripper reports only the grab's error and the index of
// the track it stopped at (`stopIndex` counts the jobs in order): the tracks before it
// are exact, the one it stopped at failed (when there is an error) and the rest were
// not reached.
std::vector<TrackResult> outcomesFromStatus(const std::vector<std::string>& names, int errorCode,
                                            bool aborted, int stopIndex);

// The per-track outcomes from the ripper's own results: `names` and `trackIndices` are
// the grabbed tracks in order (name and the track index given to the ripper), `results`
// what the ripper kept for each track that ended. A track without a result was not
// reached. A track read without any checks (no error correction chosen) counts as exact:
// every sector arrived and the user asked for nothing more.
std::vector<TrackResult> outcomesFromResults(const std::vector<std::string>& names,
                                             const std::vector<int>& trackIndices,
                                             const std::vector<GrabTrackResult>& results);

} // namespace cld
