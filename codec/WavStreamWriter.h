#pragma once

#include "FormatConverter.h"
#include "OutputFile.h"
#include "WaveFormat.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Writes a PCM WAVE file with the 44-byte header. The file is written under a temporary
// name beside the output and takes the output's name when Close completes it, so a crash
// never leaves a half-written file under the output's name.
class WavStreamWriter {
public:
    WavStreamWriter() = default;
    ~WavStreamWriter();
    WavStreamWriter(const WavStreamWriter&) = delete;
    WavStreamWriter& operator=(const WavStreamWriter&) = delete;

    // Replaces any existing file once closed. Throws Exception with the failure code when
    // the path is not a regular file (a device, a pipe, a folder) or cannot be created.
    void Create(const std::string& path);
    // Source: the format of the data handed to Write; target: the format of the file.
    void SetFormat(const WaveFormat& target, const WaveFormat& source);
    // Returns false when the data could not be converted or written.
    bool Write(const void* data, size_t bytes);
    int64_t GetLengthMilliseconds() const;
    int64_t GetLengthFrames() const { return m_frames; }
    // Completes the header, closes the file and moves it to the output's name; true when
    // everything reached the disk. After a failed write nothing takes the output's name:
    // the temporary file is removed and false returned.
    bool Close();
    // Closes and removes what was written; an older file of that name stays as it was.
    void Discard();
    bool IsOpen() const { return m_file != nullptr; }
    // The failure code of the last Close that returned false (the system's reason when a
    // write failed).
    uint32_t GetCloseError() const { return m_closeError; }
    // The failure code of the first write that failed, 0 while every write succeeded.
    uint32_t GetWriteError() const { return m_writeError; }

private:
    bool WriteHeader(uint64_t dataBytes);
    // Records the first failure; Close then removes the file.
    void Fail(uint32_t code);

    cld::OutputFile m_out;
    std::FILE* m_file = nullptr;
    uint32_t m_closeError = 0;
    uint32_t m_writeError = 0;
    bool m_formatted = false;
    bool m_failed = false;
    WaveFormat m_target;
    FormatConverter m_converter;
    int64_t m_frames = 0;
    uint32_t m_bytesPerFrame = 1;
};
