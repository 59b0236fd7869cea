#pragma once

#include "AudioTags.h"

struct JobContext;

namespace cld {

// The tags the files of a CD job share: the grabber's artist, album, year and genre, the
// number of tracks on the disc, the disc's CDDB id and the release's cover when the
// grabber found one. The job adds each track's title and number.
AudioTags cdDiscTags(const JobContext& context);

} // namespace cld
