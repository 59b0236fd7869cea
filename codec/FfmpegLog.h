#pragma once

namespace cld {

// Sends FFmpeg's own diagnostics to the program's log instead of standard error. Safe to
// call any number of times; only the first call installs the route.
void routeFfmpegLog();

} // namespace cld
