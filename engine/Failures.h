#pragma once

#include <cstdint>
#include <string>

// What the engine knows of failures and inputs before any front end puts them into words.
namespace cld {

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

// The media layer's text for a failure code (the system's reason for a failed write or
// open, such as "No space left on device"); empty for 0.
std::string failureReason(uint32_t detail);
// Whether a failure code of the media encoder is about its input (else its output).
bool isInputFailure(uint32_t code);
// Whether a failure code says the output's disk is full (or the user's quota spent): every
// further file of a batch would fail the same way.
bool isDiskFull(uint32_t detail);

} // namespace cld
