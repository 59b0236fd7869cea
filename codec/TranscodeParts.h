#pragma once

// The pieces both transcoders are built from: opening inputs, decoders and the
// profile's encoders, the output file, and the audio path's resampling and framing.
// Every opening call throws WMException with the code the user is shown.

#include "OutputFile.h"
#include "Transcoder.h"
#include "WmProfile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cld {

// Opens a regular file for reading and reads its stream information. Only regular
// files: a pipe or a device node would block the open without end.
AVFormatContext* openInputFile(const std::string& path);

// A decoder for the stream, or nullptr when there is none that opens. Pictures are
// decoded on as many threads as the machine offers when `threadedVideo` is set.
AVCodecContext* openDecoder(const AVStream* st, bool threadedVideo);

// The profile's audio or video encoder, opened, with its stream added to `out`.
void openAudioEncoder(AVFormatContext* out, const WmStreamConfig& want, AVCodecContext*& enc,
                      AVStream*& st);
void openVideoEncoder(AVFormatContext* out, const WmStreamConfig& want, AVCodecContext*& enc,
                      AVStream*& st);
// Gives `frame` a picture buffer of the profile's size, the encoders' pixel format.
void preparePictureFrame(AVFrame* frame, const WmStreamConfig& want);

// Stores the content description's non-empty texts in the output's metadata.
void setContentTags(AVFormatContext* out, const ContentDescription& info);

// Opens the prepared output under its temporary name and writes the header; on a
// failure the temporary file is removed.
void openOutput(AVFormatContext* out, OutputFile& file);
// Closes and frees an output context that Run did not finish.
void freeOutput(AVFormatContext*& out);

// Fills `f` with the next `frameSize` samples of the FIFO in the encoder's format; a
// short last frame is padded with silence. Returns the real samples, or -1.
int readFifoFrame(AVAudioFifo* fifo, AVFrame* f, const AVCodecContext* enc, int frameSize);

// Sends one frame (or the flush request, for nullptr) to an encoder and writes every
// packet it gives back into `out` as packets of `st`. False on a failure.
bool encodeAndWrite(AVFormatContext* out, AVCodecContext* enc, AVStream* st, AVFrame* frame,
                    AVPacket* pkt);

// The resampler's output buffer, grown as needed.
struct ResampleBuffer {
    std::vector<uint8_t*> planes;
    int capacity = 0;

    ResampleBuffer() = default;
    ResampleBuffer(const ResampleBuffer&) = delete;
    ResampleBuffer& operator=(const ResampleBuffer&) = delete;
    ~ResampleBuffer();
    // Converts `in` (nullptr drains the resampler) for up to `maxOut` samples. Returns
    // the samples converted, or a negative number on a failure.
    int Convert(SwrContext* swr, const AVFrame* in, int maxOut, const AVCodecContext* enc);
};

// What both transcoders hold: the output, the profile's decoders and encoders, and the
// audio and video paths between them.
struct TranscodeChain {
    AVFormatContext* out = nullptr;
    std::string outputPath;
    OutputFile file; // the output under its temporary name until the run ends
    bool headerWritten = false;

    AVCodecContext* audioDec = nullptr;
    AVCodecContext* videoDec = nullptr;
    AVCodecContext* audioEnc = nullptr;
    AVCodecContext* videoEnc = nullptr;
    AVStream* outAudio = nullptr;
    AVStream* outVideo = nullptr;

    // Audio path: the resampler, a FIFO cut into the encoder's frame size, the frame
    // handed to the encoder.
    SwrContext* swr = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVFrame* audioFrame = nullptr;
    AVPacket* audioPacket = nullptr;
    ResampleBuffer conv;
    int64_t audioSamples = 0;
    // Silence fed to the audio encoder before the input: what the codec's decoder drops
    // at the start of a stream, so that decoded audio starts with the input's first sample.
    int64_t audioPriming = 0;

    // Video path: the scaler to the profile's picture and the frame handed to the encoder.
    SwsContext* sws = nullptr;
    AVFrame* videoFrame = nullptr;
    AVPacket* videoPacket = nullptr;
    int64_t lastVideoPts = -1;

    TranscodeChain() = default;
    TranscodeChain(const TranscodeChain&) = delete;
    TranscodeChain& operator=(const TranscodeChain&) = delete;
    ~TranscodeChain();

    // The profile's audio encoder with its stream, FIFO, frame and packet; sets the
    // priming.
    void OpenAudio(const WmStreamConfig& want);
    // The profile's video encoder with its stream, picture frame and packet.
    void OpenVideo(const WmStreamConfig& want);

    // Converts `in` (nullptr drains the resampler) into the conversion buffer. Returns the
    // samples converted, a negative number on a failure, and nothing when the resampler
    // has nothing to give.
    std::optional<int> Resample(const AVFrame* in);

    // Puts the priming silence into the FIFO, in front of the input's first sample. False
    // when it could not.
    bool PrimeAudio();
    // Converts `in` (nullptr drains the resampler) into the FIFO. False on a failure.
    bool QueueAudio(const AVFrame* in);
    // The input's audio encoded so far, in milliseconds.
    int64_t EncodedAudioMs() const {
        const int64_t encoded = audioSamples > audioPriming ? audioSamples - audioPriming : 0;
        return encoded * 1000 / audioEnc->sample_rate;
    }
    // Writes the trailer and closes the output's file, which keeps its temporary name.
    // Returns 0 or the write-failure code; `ioError` gets the output's first write error
    // (an AVERROR; 0 when none).
    uint32_t CloseOutput(int& ioError);

    // Hands the FIFO's samples to `encode(frame, samples)` one encoder frame at a time;
    // with `final` also the rest, padded with silence. False when reading the FIFO or
    // `encode` fails.
    template <typename Encode> bool DrainFifo(bool final, int frameSize, Encode&& encode) {
        while (av_audio_fifo_size(fifo) >= frameSize || (final && av_audio_fifo_size(fifo) > 0)) {
            const int got = readFifoFrame(fifo, audioFrame, audioEnc, frameSize);
            if (got < 0 || !encode(audioFrame, got))
                return false;
        }
        return true;
    }

    // Encodes the FIFO's audio into the output (see DrainFifo), each frame stamped on the
    // input's time line with the priming in front; `afterFrame()` runs after each frame.
    // False when encoding or writing fails.
    template <typename After> bool WriteAudio(bool final, int frameSize, After&& afterFrame) {
        return DrainFifo(final, frameSize, [&](AVFrame* f, int got) {
            // The encoder stamps each packet initial_padding before its frame, while the
            // packet decodes to the audio initial_padding after the frame's start; with the
            // priming in front, that audio is the input from audioSamples on. Stamped so,
            // the first packet is at 0 and the audio stays in step with the video.
            f->pts =
                audioSamples - audioPriming + 2 * static_cast<int64_t>(audioEnc->initial_padding);
            audioSamples += got;
            if (!encodeAndWrite(out, audioEnc, outAudio, f, audioPacket))
                return false;
            afterFrame();
            return true;
        });
    }
};

// Where a decoded picture of a file falls on the encoder's frame grid (`grid`): its time
// from the stream's start; a picture without a time follows the last one (`lastPts`).
int64_t filePictureSlot(const AVStream* ist, const AVFrame* in, int64_t lastPts, AVRational grid);

// Sends one frame (or the flush request, for nullptr) to an encoder and hands every
// packet it gives back to `onPacket`, which returns false to end with a failure. False
// when encoding fails.
template <typename OnPacket>
bool encodeFrame(AVCodecContext* enc, AVFrame* frame, AVPacket* pkt, OnPacket&& onPacket) {
    if (avcodec_send_frame(enc, frame) < 0)
        return frame == nullptr;
    while (true) {
        const int rc = avcodec_receive_packet(enc, pkt);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return true;
        if (rc < 0)
            return false;
        if (!onPacket(pkt))
            return false;
    }
}

// The code for a failed write: the system's reason when FFmpeg carries one.
uint32_t writeFailureCode(int averror);

} // namespace cld
