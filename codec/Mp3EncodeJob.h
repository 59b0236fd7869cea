#pragma once

#include "AudioFileReader.h"
#include "AudioTags.h"
#include "CodecJob.h"
#include "Mp3EncoderParams.h"
#include "WaveFormat.h"

#include <memory>

struct lame_global_struct;

// Encodes a WAVE file to MP3 on a worker thread. Start() returns at once; the caller
// polls the CodecJob getters until IsRunning() is false and then reads GetErrorCode():
// 101 input unreadable, 102 output not created or not written, 103 encoder refused the
// parameters or failed. An aborted job still leaves a complete, shorter MP3 file; a job
// that failed leaves nothing under the output's name, and GetErrorDetail says why (the
// system's reason for a failed write, such as a full disk).
class Mp3EncodeJob : public CodecJob {
public:
    Mp3EncodeJob();
    ~Mp3EncodeJob() override;

    void SetParams(const Mp3EncoderParams& params) { m_params = params; }
    const Mp3EncoderParams& GetParams() const { return m_params; }
    bool Start();
    // The names the input file carries (a FLAC, Ogg, Opus, M4A or MP3 file's tags), read
    // by the last successful Start; empty for WAVE input.
    const AudioTags& GetInputTags() const { return m_inputTags; }

private:
    void Work();
    void ReleaseInput();

    Mp3EncoderParams m_params;
    std::unique_ptr<AudioFileReader> m_reader;
    WaveFormat m_format;
    AudioTags m_inputTags;
    lame_global_struct* m_lame = nullptr;
    int m_framesPerBlock = 0;
    size_t m_mp3BufferBytes = 0;
};
