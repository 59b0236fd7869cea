#pragma once

#include "Processes.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace codectest {

// A short test signal: two sines per channel (different per channel), at 70% of full
// scale, so that channel swaps and offsets show.
std::vector<int16_t> MakeSignal(int frames, int rate, int channels);

// Writes a canonical 44-byte-header PCM WAVE file. With bits 8 the signal is stored as
// unsigned bytes.
void WriteWav(const std::filesystem::path& path, const std::vector<int16_t>& samples, int rate,
              int channels, int bits = 16);

struct Pcm {
    int rate = 0;
    int channels = 0;
    std::vector<int16_t> samples; // interleaved
};

// Reads a 16-bit PCM WAVE file with an independent, minimal parser.
Pcm ReadWav(const std::filesystem::path& path);

// Runs a shell command; returns its exit status and fills `out` with its standard output.
int Shell(const std::string& command, std::string* out = nullptr);
std::string Quote(const std::filesystem::path& p);

// ffprobe's key=value fields of the first stream of the given kind ("a" or "v") and of
// the format's tags, as "stream.KEY" and "tag.KEY".
std::map<std::string, std::string> Probe(const std::filesystem::path& file,
                                         const std::string& kind = "a");

// Decodes any file with ffmpeg to 16-bit interleaved samples.
Pcm DecodeWithFfmpeg(const std::filesystem::path& file);

// The lag (-maxLag..maxLag) of `test` against `ref` with the highest correlation over the
// first channel, and the signal-to-noise ratio in dB at that lag over the overlap.
struct Alignment {
    int lag = 0;
    double snrDb = 0;
};
Alignment Align(const Pcm& ref, const Pcm& test, int maxLag);

// Append a little-endian 16- or 32-bit value.
void Put16(std::vector<uint8_t>& b, uint16_t v);
void Put32(std::vector<uint8_t>& b, uint32_t v);

// Polls `busy` every 5 ms until it turns false; false when `seconds` pass first.
bool WaitWhile(const std::function<bool()>& busy, int seconds = cldtest::kHangLimitSeconds);

std::vector<uint8_t> ReadFile(const std::filesystem::path& p);
void WriteFile(const std::filesystem::path& p, const std::vector<uint8_t>& bytes);

} // namespace codectest
