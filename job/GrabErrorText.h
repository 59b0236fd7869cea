#pragma once

#include <string>

namespace cld {

// What a grab error code of the ripper library means, in a sentence (empty for none).
std::string grabErrorText(int errorCode);

// What happened to one track's sectors, for a line "<track>: <text>": how many are silent
// in the file because the drive never delivered them, and how many could not be verified.
// A failed track without either ended early: its file stops before the end of the track.
std::string grabTrackText(int unreadSectors, int unverifiedSectors, bool failed);

// For a line "<track>: <text>": a track whose file could not even be started, and a
// track the grab did not reach.
std::string grabNoFileText();
std::string grabNotReadText();
// For a line "<track>: <text>": a track not saved because `file` already had its name.
std::string grabNameTakenText(const std::string& file);

// The one line of advice after tracks that were not read exactly.
std::string grabAdviceText();

// The texts above are in the user's language (string ids 2200..2211), in English when no
// language resources are loaded.

} // namespace cld
