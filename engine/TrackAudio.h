#pragma once

#include "AccurateRip.h"
#include "Ctdb.h"

#include <cstdint>
#include <string>

// The sums a verified rip needs from a track's file: decoded through the program's own
// readers, whatever lossless format holds the track.
namespace cld::engine {

// Whether a file's kind (by its extension) keeps the disc's exact audio: WAV and FLAC.
// Any other format the program reads is lossy, and cannot be verified.
bool isLosslessAudioFile(const std::string& path);

struct TrackSums {
    accurip::TrackChecksums ar;
    accurip::CtdbTrackSums ctdb;
};

// Decodes the file and takes its AccurateRip and CTDB sums. `samples` is the track's
// length on the disc (it places the last track's left-out end); 0 = the file's own.
// False, with why, when the file cannot be read or is not 16-bit stereo at 44100 Hz.
bool trackSumsOfFile(const std::string& path, int64_t samples, bool firstTrack, bool lastTrack,
                     TrackSums& out, std::string& why);

} // namespace cld::engine
