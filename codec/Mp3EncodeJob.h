#pragma once

#include "AudioFileReader.h"
#include "AudioTags.h"
#include "CodecJob.h"
#include "LoudnessMeter.h"
#include "Mp3EncoderParams.h"
#include "WaveFormat.h"

#include <functional>
#include <memory>

struct lame_global_struct;

// Encodes a WAVE file to MP3 on a worker thread. Start() returns at once; the caller
// polls the CodecJob getters until IsRunning() is false and then reads GetErrorCode():
// 101 input unreadable, 102 output not created or not written, 103 encoder refused the
// parameters or failed. An aborted job still leaves a complete, shorter MP3 file (without
// tags); a job that failed leaves nothing under the output's name, and GetErrorDetail says
// why (the system's reason for a failed write, such as a full disk).
//
// Every file starts with the encoder's header frame (frame count, encoder delay and
// padding), so that decoders can trim it to the input's exact length. With tags set, a
// whole encode is tagged before it takes the output's name: an ID3 version 2.4 tag in
// UTF-8 at the front (unless switched off) and an ID3 version 1 tag at the end.
class Mp3EncodeJob : public CodecJob {
public:
    Mp3EncodeJob();
    ~Mp3EncodeJob() override;

    void SetParams(const Mp3EncoderParams& params) { m_params = params; }
    const Mp3EncoderParams& GetParams() const { return m_params; }
    // The names the next runs write into the file's tags; set between runs.
    void SetTags(const AudioTags& tags);
    // The next runs write no tags at all.
    void ClearTags();
    // The next runs write the input file's own names, when it carries any (a FLAC, Ogg,
    // Opus, M4A or MP3 file's tags); `genreNumberOf` gives a genre name's version 1
    // number (255 when it knows none).
    void SetTagsFromInput(std::function<int(const std::string& genre)> genreNumberOf);
    // Whether tagged files get the ID3 version 2 tag at the front (on by default).
    void SetId3v2Tag(bool write) { m_id3v2 = write; }
    // Whether the next runs measure the loudness and write the track's ReplayGain values
    // into the ID3 version 2 tag (off by default).
    void SetReplayGain(bool measure) { m_replayGain = measure; }
    // The loudness of the last whole run that measured it (for an album's values), handed
    // over to the caller; null when there is none.
    std::unique_ptr<LoudnessMeter> TakeLoudness();
    bool Start();
    // The names the input file carries (a FLAC, Ogg, Opus, M4A or MP3 file's tags), read
    // by the last successful Start; empty for WAVE input.
    const AudioTags& GetInputTags() const { return m_inputTags; }

private:
    void Work();
    void ReleaseInput();

    Mp3EncoderParams m_params;
    AudioTags m_tags;
    bool m_tagged = false;
    bool m_fromInput = false;
    std::function<int(const std::string&)> m_genreNumberOf;
    bool m_id3v2 = true;
    bool m_replayGain = false;
    std::unique_ptr<LoudnessMeter> m_loudness;
    std::unique_ptr<AudioFileReader> m_reader;
    WaveFormat m_format;
    AudioTags m_inputTags;
    lame_global_struct* m_lame = nullptr;
    int m_framesPerBlock = 0;
};
