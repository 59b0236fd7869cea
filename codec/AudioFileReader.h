#pragma once

#include "AudioTags.h"
#include "DecodedAudioReader.h"
#include "WaveFormat.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// Reads the PCM samples of a WAVE file in sample frames. Every failure throws Exception
// with a failure code. FLAC, Ogg, Opus, M4A/AAC and MP3 files (told by their extension)
// are decoded instead, read from start to end in order; their length is what the file
// declares, so they are read until a read returns nothing.
class AudioFileReader {
public:
    AudioFileReader() = default;
    ~AudioFileReader();
    AudioFileReader(const AudioFileReader&) = delete;
    AudioFileReader& operator=(const AudioFileReader&) = delete;

    void Open(const std::string& path);
    // Selects audio stream `index`; a WAVE file has exactly one.
    void GetAudioStream(int index);
    WaveFormat GetFormat() const;
    int64_t GetStart() const { return 0; }
    int64_t GetLength() const; // sample frames
    // True for WAVE files, whose length is exact; false for decoded files.
    bool HasExactLength() const { return !m_decoded; }
    // The input's own names (title, artist, ...); empty for WAVE files.
    const AudioTags& GetTags() const;
    // Reads up to `frames` sample frames from frame `start`; an empty result means the
    // end of the stream.
    std::vector<uint8_t> Read(int64_t start, int64_t frames);
    // As Read, into a caller's buffer of at least frames × block-align bytes; returns the
    // frames read.
    int64_t ReadInto(int64_t start, int64_t frames, void* buffer);
    void Close();
    bool IsOpen() const { return m_file != nullptr || m_decoded != nullptr; }

private:
    std::FILE* m_file = nullptr;
    bool m_streamOpen = false;
    WaveFormat m_format;
    uint64_t m_dataOffset = 0;
    uint64_t m_dataBytes = 0;
    uint64_t m_filePos = UINT64_MAX;
    std::vector<char> m_ioBuffer;
    std::unique_ptr<cld::DecodedAudioReader> m_decoded;
};
