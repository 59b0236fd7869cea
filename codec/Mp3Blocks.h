#pragma once

#include "Mp3Lame.h"
#include "WaveFormat.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class LoudnessMeter;

namespace cld {

class OutputFile;

// Encodes blocks of PCM as a WAVE file stores it (unsigned 8-bit, signed 16-bit, deeper
// integers or floats) with an initialised encoder, into MP3 bytes held here. Shared by
// every writer of MP3 files that is given PCM in blocks.
class Mp3BlockEncoder {
public:
    Mp3BlockEncoder() = default;
    Mp3BlockEncoder(const Mp3BlockEncoder&) = delete;
    Mp3BlockEncoder& operator=(const Mp3BlockEncoder&) = delete;

    // Takes `lame` (not owned) for PCM of `format`, and makes room for blocks of up to
    // `maxFrames` frames. Throws std::bad_alloc.
    void prepare(LameHandle lame, const WaveFormat& format, int maxFrames);
    // Encodes `frames` frames of `raw` (at most maxFrames), adding them to `meter` when
    // given. The MP3 bytes made are at data(), their count returned; negative when the
    // encoder failed.
    int encode(const uint8_t* raw, int frames, LoudnessMeter* meter = nullptr);
    // Flushes the encoder's last frames into data(); returns their count (0 when none).
    int flush();
    const uint8_t* data() const { return m_mp3.data(); }

private:
    LameHandle m_lame = nullptr;
    WaveFormat m_format;
    bool m_deep = false;
    std::vector<uint8_t> m_mp3;
    std::vector<int16_t> m_pcm;
    std::vector<int> m_wide;
};

// Writes all `n` bytes; on failure returns the system's reason as a failure code.
uint32_t writeMp3Bytes(std::FILE* f, const uint8_t* data, size_t n);

// Ends a stream encoded into `file` (opened with OutputFile::Open) when every block went
// in: flushes the encoder, fills the header frame at the stream's start and closes the
// stream, keeping the temporary file. Returns 0 or the failure code; the file must then
// be discarded.
uint32_t endMp3Stream(LameHandle lame, Mp3BlockEncoder& blocks, OutputFile& file);

} // namespace cld
