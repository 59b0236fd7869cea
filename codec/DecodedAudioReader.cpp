#include "DecodedAudioReader.h"

#include "AudioInputCheck.h"
#include "Exception.h"
#include "FfmpegLog.h"
#include "TranscodeParts.h"
#include "WMException.h"
#include "WmErrors.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <vector>

namespace cld {

namespace {

// The rate the MP3 encoder is given for a source rate: rates above 48 kHz come down to
// 44.1 or 48 kHz, whichever divides them.
int encoderRate(int rate) {
    if (rate <= 48000)
        return rate;
    return rate % 44100 == 0 ? 44100 : 48000;
}

// Interleaved 16-bit for sources of 16 bits or less, 32-bit integers for deeper integer
// sources, 32-bit float for everything the decoders give as floating point.
AVSampleFormat packedFormatFor(AVSampleFormat in) {
    switch (av_get_packed_sample_fmt(in)) {
    case AV_SAMPLE_FMT_U8:
    case AV_SAMPLE_FMT_S16:
        return AV_SAMPLE_FMT_S16;
    case AV_SAMPLE_FMT_S32:
    case AV_SAMPLE_FMT_S64:
        return AV_SAMPLE_FMT_S32;
    default:
        return AV_SAMPLE_FMT_FLT;
    }
}

} // namespace

struct DecodedAudioReader::State {
    AVFormatContext* in = nullptr;
    AVCodecContext* dec = nullptr;
    SwrContext* swr = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    bool draining = false; // the demuxer has ended; the decoder gives what it holds
    bool finished = false; // decoder and resampler are empty
    bool verified = false;

    // The source layout the output was set up for.
    int inFormat = -1;
    int inRate = 0;
    int inChannels = 0;

    WaveFormat format;
    int64_t declared = 0;
    int64_t position = 0;
    AudioTags tags;
    std::unique_ptr<FlacMd5Check> md5;

    // Converted samples not yet read.
    std::vector<uint8_t> pending;
    size_t offset = 0;

    ~State() {
        swr_free(&swr);
        avcodec_free_context(&dec);
        avformat_close_input(&in);
        av_frame_free(&frame);
        av_packet_free(&packet);
    }

    bool nextFrame();
    void setUpOutput(const AVFrame* f);
    void convert(const AVFrame* f);
    void fill();
};

bool DecodedAudioReader::State::nextFrame() {
    while (true) {
        const int rc = avcodec_receive_frame(dec, frame);
        if (rc == 0) {
            if (md5)
                md5->add(frame);
            return true;
        }
        if (rc == AVERROR_EOF || draining)
            return false;
        // Anything but "send more" is a damaged frame: it is passed over, as players do.
        const int read = av_read_frame(in, packet);
        if (read < 0) {
            if (read != AVERROR_EOF && in->pb && in->pb->error < 0)
                throw Exception(wmerr::kReadFailed);
            avcodec_send_packet(dec, nullptr);
            draining = true;
            continue;
        }
        if (packet->stream_index == stream)
            avcodec_send_packet(dec, packet); // a damaged packet is skipped
        av_packet_unref(packet);
    }
}

void DecodedAudioReader::State::setUpOutput(const AVFrame* f) {
    inFormat = f->format;
    inRate = f->sample_rate;
    inChannels = f->ch_layout.nb_channels;
    if (inChannels <= 0 || inRate <= 0)
        throw Exception(wmerr::kNoAudioDecoded);
    AVChannelLayout inLayout{};
    if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&inLayout, inChannels);
    else if (av_channel_layout_copy(&inLayout, &f->ch_layout) < 0)
        throw Exception(wmerr::kOutOfMemory);
    const int outChannels = std::min(inChannels, 2);
    AVChannelLayout outLayout{};
    av_channel_layout_default(&outLayout, outChannels);
    const int outRate = encoderRate(inRate);
    const AVSampleFormat outFormat = packedFormatFor(static_cast<AVSampleFormat>(inFormat));
    const int rc = swr_alloc_set_opts2(&swr, &outLayout, outFormat, outRate, &inLayout,
                                       static_cast<AVSampleFormat>(inFormat), inRate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    if (rc < 0 || swr_init(swr) < 0)
        throw Exception(wmerr::kCodecOpen);
    const uint16_t bits = outFormat == AV_SAMPLE_FMT_S16 ? 16 : 32;
    format =
        WaveFormat::Pcm(static_cast<uint16_t>(outChannels), static_cast<uint32_t>(outRate), bits);
    if (outFormat == AV_SAMPLE_FMT_FLT)
        format.formatTag = WaveFormat::kIeeeFloat;
}

void DecodedAudioReader::State::convert(const AVFrame* f) {
    if (f && (f->format != inFormat || f->sample_rate != inRate ||
              f->ch_layout.nb_channels != inChannels))
        throw Exception(wmerr::kDecodeFailed); // the stream changed its layout midway
    const int inSamples = f ? f->nb_samples : 0;
    const int room = swr_get_out_samples(swr, inSamples);
    if (room < 0)
        throw Exception(wmerr::kDecodeFailed);
    if (room == 0)
        return;
    if (offset > 0 && offset * 2 >= pending.size()) {
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(offset));
        offset = 0;
    }
    const size_t used = pending.size();
    pending.resize(used + static_cast<size_t>(room) * format.blockAlign);
    uint8_t* out = pending.data() + used;
    const int got = swr_convert(
        swr, &out, room, f ? const_cast<const uint8_t**>(f->extended_data) : nullptr, inSamples);
    if (got < 0)
        throw Exception(wmerr::kDecodeFailed);
    pending.resize(used + static_cast<size_t>(got) * format.blockAlign);
}

void DecodedAudioReader::State::fill() {
    if (nextFrame()) {
        convert(frame);
        av_frame_unref(frame);
        return;
    }
    convert(nullptr);
    finished = true;
}

DecodedAudioReader::DecodedAudioReader(const std::string& path) : m(std::make_unique<State>()) {
    installFfmpegLog();
    State& s = *m;
    try {
        s.in = openInputFile(path);
    } catch (const WMException& e) {
        throw Exception(explainOpenFailure(path, e.GetCode()));
    }
    if (const uint32_t code = checkAudioInput(path, s.in))
        throw Exception(code);
    s.stream = av_find_best_stream(s.in, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (s.stream < 0)
        throw Exception(wmerr::kNoAudio);
    for (unsigned i = 0; i < s.in->nb_streams; ++i)
        if (static_cast<int>(i) != s.stream)
            s.in->streams[i]->discard = AVDISCARD_ALL;
    const AVStream* st = s.in->streams[s.stream];
    s.dec = openDecoder(st, false);
    if (!s.dec)
        throw Exception(wmerr::kNoAudio);
    s.md5 = FlacMd5Check::create(st);
    s.tags = readAudioTags(s.in, s.stream);
    s.packet = av_packet_alloc();
    s.frame = av_frame_alloc();
    if (!s.packet || !s.frame)
        throw Exception(wmerr::kOutOfMemory);
    // The first decoded frame fixes the format handed on; a file without one is refused
    // before any output exists.
    if (!s.nextFrame())
        throw Exception(wmerr::kNoAudioDecoded);
    s.setUpOutput(s.frame);
    s.convert(s.frame);
    av_frame_unref(s.frame);

    const AVRational outRate{1, static_cast<int>(s.format.samplesPerSec)};
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
        s.declared = av_rescale_q(st->duration, st->time_base, outRate);
    else if (s.in->duration > 0)
        s.declared = av_rescale_q(s.in->duration, AVRational{1, AV_TIME_BASE}, outRate);
}

DecodedAudioReader::~DecodedAudioReader() = default;

const WaveFormat& DecodedAudioReader::getFormat() const {
    return m->format;
}

int64_t DecodedAudioReader::getDeclaredLength() const {
    return m->declared;
}

const AudioTags& DecodedAudioReader::getTags() const {
    return m->tags;
}

int64_t DecodedAudioReader::getPosition() const {
    return m->position;
}

int64_t DecodedAudioReader::read(int64_t frames, void* buffer) {
    State& s = *m;
    if (frames <= 0)
        return 0;
    const size_t align = s.format.blockAlign;
    const size_t want = static_cast<size_t>(frames) * align;
    while (s.pending.size() - s.offset < want && !s.finished)
        s.fill();
    const size_t take = std::min(want, (s.pending.size() - s.offset) / align * align);
    std::memcpy(buffer, s.pending.data() + s.offset, take);
    s.offset += take;
    if (s.offset == s.pending.size()) {
        s.pending.clear();
        s.offset = 0;
    }
    const int64_t got = static_cast<int64_t>(take / align);
    s.position += got;
    if (got == 0 && s.finished && !s.verified) {
        s.verified = true;
        if (s.md5 && !s.md5->matches())
            throw Exception(wmerr::kChecksumMismatch);
    }
    return got;
}

} // namespace cld
