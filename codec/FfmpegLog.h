#pragma once

namespace cld {

// Routes FFmpeg's own log lines through cld::log instead of the terminal. Quiet by
// default: lines of warning level and above are logged at Debug level, which the program
// drops unless it asks for debugging. With CLD_FFMPEG_LOG=verbose in the environment they
// are logged at their own level and FFmpeg also reports its informational lines. Safe to
// call any number of times; only the first call acts.
void installFfmpegLog();

} // namespace cld
