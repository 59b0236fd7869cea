#pragma once

#include <cstdint>
#include <string>

namespace cld {

// The playing time of a media file in 100-nanosecond units, or 0 when it cannot be
// measured (no such file, not a media file, no length in its headers). The path may
// carry a "FILE://" prefix in any case.
int64_t getMediaDuration(const std::string& input);

} // namespace cld
