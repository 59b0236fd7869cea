#pragma once

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

// The check a WAV input gets before it is handed to the WMA encoder.
enum class WavCheck { Ok, CannotOpen, NotPcmWave };
struct WavCheckResult {
    WavCheck status = WavCheck::CannotOpen;
    int durationSeconds = 0;
};
// Reads the header: 'R' at 0 and 'W' at 8, then the duration from the data size, channels,
// bits per sample and sample rate (0 when they make no sense). The format and data chunks
// are found wherever they are, as other programs write them (a longer format chunk, tags
// before the data, a data size left open).
WavCheckResult checkWavHeader(const std::string& path);

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
// The media layer's text for a failure code (the system's reason for a failed write or
// open, such as "No space left on device"); empty for 0.
std::string failureReason(uint32_t detail);
// Whether a failure code of the media encoder is about its input (else its output).
bool isInputFailure(uint32_t code);
// Whether a failure code says the output's disk is full (or the user's quota spent): every
// further file of a batch would fail the same way.
bool isDiskFull(uint32_t detail);

} // namespace cld

namespace cld {} // namespace cld
