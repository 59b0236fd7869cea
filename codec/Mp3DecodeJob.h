#pragma once

#include "CodecJob.h"
#include "Mp3FrameSearch.h"
#include "WavStreamWriter.h"

#include <cstdio>
#include <memory>
#include <vector>

struct hip_global_struct;
struct mpg123_handle_struct;

// Decodes an MP3 file to a 16-bit PCM WAVE file on a worker thread (with libmpg123). Start()
// returns false with GetErrorCode() 101 (input not opened), 102 (output not created) or 104 (no
// MPEG audio header); a stream in which no frame decodes ends with 104 and leaves no
// output. The first encoder-delay + 529 samples, which the encoder and decoder add in
// front of the audio, are not written; when the file's header frame records the
// encoder's delay and padding, exactly those are removed, so that the WAV has the
// length of the encoder's input.
class Mp3DecodeJob : public CodecJob {
public:
    // Decoder delay added to the encoder's delay when the start is trimmed.
    static constexpr int kDecoderDelay = 529;

    Mp3DecodeJob();
    ~Mp3DecodeJob() override;

    bool Start();

private:
    void Work();
    // Next decoded block, interleaved into m_pcm; returns samples per channel (0 at the
    // end of the stream).
    int DecodeNext();
    void CloseAll();

    std::FILE* m_input = nullptr;
    uint64_t m_inputSize = 0;
    // The header search's decoder (it reads the encoder's header frame), then the
    // decoder of the audio from the first frame on.
    hip_global_struct* m_decoder = nullptr;
    mpg123_handle_struct* m_audio = nullptr;
    cld::Mp3StreamInfo m_info;
    std::unique_ptr<WavStreamWriter> m_writer;
    int m_skip = 0;
    int m_trimEnd = 0;        // sample frames held back and dropped at the end
    uint64_t m_remaining = 0; // input bytes of audio not yet read
    std::vector<int16_t> m_pcm;
    std::vector<int16_t> m_held; // decoded samples not yet known to be before the padding
    std::vector<uint8_t> m_readBuf;
    std::vector<char> m_inputBuffer; // stdio buffer of m_input; outlives it
    bool m_inputEnded = false;
};
