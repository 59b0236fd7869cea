#pragma once

#include "Mp3EncoderParams.h"
#include "OutputFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct lame_global_struct;

// The MP3 encoder driven by pushed PCM buffers (the line-in recorder's path). The file is
// written under a temporary name and takes its own name when Close completes it.
class Mp3StreamEncoder {
public:
    Mp3StreamEncoder() = default;
    ~Mp3StreamEncoder();
    Mp3StreamEncoder(const Mp3StreamEncoder&) = delete;
    Mp3StreamEncoder& operator=(const Mp3StreamEncoder&) = delete;

    void SetParams(const Mp3EncoderParams& params) { m_params = params; }
    // Returns 1, or 0 with GetErrorCode() 103 (encoder refused) or 102 (file not created).
    int Open(const std::string& outputPath, int channels, int sampleRate, int bitsPerSample = 16);
    // Encodes `bytes` bytes of interleaved PCM; returns the MP3 bytes written (0 on an
    // encoder or write failure, which also sets the error code).
    int Write(const void* data, size_t bytes);
    // Flushes, closes the file and adds the VBR header frame when one is due.
    void Close();
    int GetErrorCode() const { return m_error; }
    // The failure code behind the error code, for GetErrorText (0 when none).
    uint32_t GetErrorDetail() const { return m_detail; }
    bool IsOpen() const { return m_file != nullptr; }

private:
    Mp3EncoderParams m_params;
    lame_global_struct* m_lame = nullptr;
    cld::OutputFile m_out;
    std::FILE* m_file = nullptr;
    int m_channels = 0;
    int m_bits = 16;
    int m_error = 0;
    uint32_t m_detail = 0;
    std::vector<uint8_t> m_mp3;
    std::vector<int16_t> m_pcm;
};
