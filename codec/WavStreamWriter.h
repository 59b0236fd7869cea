#pragma once

#include "FormatConverter.h"
#include "WaveFormat.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Writes a PCM WAVE file with the 44-byte header. Until Close the header's sizes read
// "unknown", so a file cut short by a crash still opens with every sample written.
class WavStreamWriter {
public:
    WavStreamWriter() = default;
    ~WavStreamWriter();
    WavStreamWriter(const WavStreamWriter&) = delete;
    WavStreamWriter& operator=(const WavStreamWriter&) = delete;

    // Replaces any existing file. Throws Exception with the system's failure code.
    void Create(const std::string& path);
    // Source: the format of the data handed to Write; target: the format of the file.
    void SetFormat(const WaveFormat& target, const WaveFormat& source);
    // Returns false when the data could not be converted or written.
    bool Write(const void* data, size_t bytes);
    int64_t GetLengthMilliseconds() const;
    int64_t GetLengthFrames() const { return m_frames; }
    // Completes the header and closes the file; true when everything reached the disk.
    bool Close();
    bool IsOpen() const { return m_file != nullptr; }

private:
    bool WriteHeader(uint64_t dataBytes);

    std::FILE* m_file = nullptr;
    bool m_formatted = false;
    bool m_failed = false;
    WaveFormat m_target;
    FormatConverter m_converter;
    int64_t m_frames = 0;
    uint32_t m_bytesPerFrame = 1;
    std::vector<char> m_ioBuffer;
};
