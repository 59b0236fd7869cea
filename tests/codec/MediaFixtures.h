#pragma once

#include "Processes.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct AudioTags;
struct Mp3EncoderParams;

namespace codectest {

// A short test signal: two sines per channel (different per channel), at 70% of full
// scale, so that channel swaps and offsets show.
std::vector<int16_t> makeSignal(int frames, int rate, int channels);

// Writes a canonical 44-byte-header PCM WAVE file. With bits 8 the signal is stored as
// unsigned bytes.
void writeWav(const std::filesystem::path& path, const std::vector<int16_t>& samples, int rate,
              int channels, int bits = 16);

struct Pcm {
    int rate = 0;
    int channels = 0;
    std::vector<int16_t> samples; // interleaved
};

// Reads a 16-bit PCM WAVE file with an independent, minimal parser.
Pcm readWav(const std::filesystem::path& path);

// Runs a shell command; returns its exit status and fills `out` with its standard output.
int shell(const std::string& command, std::string* out = nullptr);
std::string quote(const std::filesystem::path& p);

// ffprobe's key=value fields of the first stream of the given kind ("a" or "v") and of
// the format's tags, as "stream.KEY" and "tag.KEY".
std::map<std::string, std::string> probe(const std::filesystem::path& file,
                                         const std::string& kind = "a");

// The attributes of an ASF file as Python's mutagen reads them (name to value, several
// values joined by "; "), or nullopt when no python3 with mutagen is installed.
std::optional<std::map<std::string, std::string>> asfAttributes(const std::filesystem::path& file);

// Decodes any file with ffmpeg to 16-bit interleaved samples.
Pcm decodeWithFfmpeg(const std::filesystem::path& file);

// The lag (-maxLag..maxLag) of `test` against `ref` with the highest correlation over the
// first channel, and the signal-to-noise ratio in dB at that lag over the overlap.
struct Alignment {
    int lag = 0;
    double snrDb = 0;
};
Alignment align(const Pcm& ref, const Pcm& test, int maxLag);

// Append a little-endian 16- or 32-bit value.
void put16(std::vector<uint8_t>& b, uint16_t v);
void put32(std::vector<uint8_t>& b, uint32_t v);

// Polls `busy` every 5 ms until it turns false; false when `seconds` pass first.
bool waitWhile(const std::function<bool()>& busy, int seconds = cldtest::kHangLimitSeconds);

// Encodes `wav` into `mp3` with the MP3 encode job (with `tags` when given); returns the
// job's error code, or -1 when it never ended.
int encodeMp3WithJob(const std::filesystem::path& wav, const std::filesystem::path& mp3,
                     const Mp3EncoderParams& params, const AudioTags* tags = nullptr,
                     bool id3v2 = true);
// Decodes `mp3` into `wav` with the MP3 decode job and reads it back; no channels when
// the job failed.
Pcm decodeMp3WithJob(const std::filesystem::path& mp3, const std::filesystem::path& wav);

std::vector<uint8_t> readFile(const std::filesystem::path& p);
void writeFile(const std::filesystem::path& p, const std::vector<uint8_t>& bytes);

} // namespace codectest
