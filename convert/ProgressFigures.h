#pragma once

#include "Failures.h"
#include "GrabErrorText.h"

#include <cstdint>
#include <optional>
#include <string>

namespace cld {

// "%02d:%02d:%02d": hours (modulo 24), minutes and seconds of a number of seconds.
std::string clockText(int64_t seconds);
// "%u KB/sec."
std::string kilobytesPerSecondText(uint32_t kilobytes);
// "%u"
std::string samplesPerSecondText(uint32_t samples);
// "%.1f MB" of a byte count.
std::string megabytesText(int64_t bytes);

// Free and total space of the file system that holds `path` (a file that need not
// exist yet, or a folder), in bytes; nothing when the query fails.
struct DiskSpace {
    uint64_t freeBytes = 0;
    uint64_t totalBytes = 0;
};
std::optional<DiskSpace> diskSpaceFor(const std::string& path);
// "%.1f GB" of whole mebibytes / 1024.
std::string gigabytesText(uint64_t bytes);

// What a progress dialog tells the user about a job that could not be started or that
// failed: a string-table id. The MP3 dialog's encoders and decoders and the WMA dialog's
// decoder each map the job's error code their own way.
enum class JobKind { Mp3Encode, Mp3Decode, WmaDecode };
int startFailureStringId(JobKind kind, int errorCode);

// How a failed job is reported: the message, and whether the input (rather than the
// output) is the file at fault. `detail` is the media layer's failure code behind the
// error code; `wroteOutput` tells that output had been written before the failure.
struct JobFailure {
    int stringId = 200;
    bool inputAtFault = true;
};
JobFailure jobFailure(JobKind kind, int errorCode, uint32_t detail, bool wroteOutput);
} // namespace cld

namespace cld {} // namespace cld
