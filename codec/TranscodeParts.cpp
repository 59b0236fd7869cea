#include "TranscodeParts.h"

#include "AudioInputCheck.h"
#include "OutputFile.h"
#include "WMException.h"
#include "WmErrors.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <filesystem>

namespace cld {

AVFormatContext* openInputFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        throw WMException(wmerr::kInputOpen);
    AVFormatContext* fmt = nullptr;
    const std::string url = "file:" + path;
    if (avformat_open_input(&fmt, url.c_str(), nullptr, nullptr) < 0)
        throw WMException(wmerr::kInputOpen);
    if (avformat_find_stream_info(fmt, nullptr) < 0) {
        avformat_close_input(&fmt);
        throw WMException(wmerr::kInputOpen);
    }
    return fmt;
}

AVCodecContext* openDecoder(const AVStream* st, bool threadedVideo) {
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec)
        return nullptr;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    if (!ctx)
        return nullptr;
    if (threadedVideo && st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
        ctx->thread_count = 0;
    if (avcodec_parameters_to_context(ctx, st->codecpar) < 0 ||
        avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return nullptr;
    }
    ctx->pkt_timebase = st->time_base;
    return ctx;
}

namespace {

// Allocates the encoder named by the profile's stream.
AVCodecContext* allocEncoder(const WmStreamConfig& want, const AVCodec*& codec) {
    codec = avcodec_find_encoder_by_name(want.codec.c_str());
    if (!codec)
        throw WMException(wmerr::kCodecMissing);
    AVCodecContext* enc = avcodec_alloc_context3(codec);
    if (!enc)
        throw WMException(wmerr::kOutOfMemory);
    return enc;
}

// Opens the encoder and adds its stream to the output.
void openEncoderStream(AVFormatContext* out, const AVCodec* codec, AVCodecContext* enc,
                       AVStream*& st) {
    if (out->oformat->flags & AVFMT_GLOBALHEADER)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(enc, codec, nullptr) < 0)
        throw WMException(wmerr::kCodecOpen);
    st = avformat_new_stream(out, nullptr);
    if (!st || avcodec_parameters_from_context(st->codecpar, enc) < 0)
        throw WMException(wmerr::kOutOfMemory);
    st->time_base = enc->time_base;
}

} // namespace

void openAudioEncoder(AVFormatContext* out, const WmStreamConfig& want, AVCodecContext*& enc,
                      AVStream*& st) {
    const AVCodec* codec = nullptr;
    enc = allocEncoder(want, codec);
    enc->sample_rate = want.sampleRate;
    av_channel_layout_default(&enc->ch_layout, want.channels);
    enc->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    enc->bit_rate = want.bitrate;
    enc->time_base = AVRational{1, want.sampleRate};
    openEncoderStream(out, codec, enc, st);
}

void openVideoEncoder(AVFormatContext* out, const WmStreamConfig& want, AVCodecContext*& enc,
                      AVStream*& st) {
    const AVCodec* codec = nullptr;
    enc = allocEncoder(want, codec);
    enc->width = want.width;
    enc->height = want.height;
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    enc->bit_rate = want.bitrate;
    enc->time_base = AVRational{1, want.fps};
    enc->framerate = AVRational{want.fps, 1};
    enc->gop_size = want.fps * 5;
    openEncoderStream(out, codec, enc, st);
}

void preparePictureFrame(AVFrame* frame, const WmStreamConfig& want) {
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = want.width;
    frame->height = want.height;
    if (av_frame_get_buffer(frame, 0) < 0)
        throw WMException(wmerr::kOutOfMemory);
}

void setContentTags(AVFormatContext* out, const ContentDescription& info) {
    auto setTag = [&](const char* key, const std::string& value) {
        if (!value.empty())
            av_dict_set(&out->metadata, key, value.c_str(), 0);
    };
    setTag("author", info.author);
    setTag("title", info.title);
    setTag("copyright", info.copyright);
    setTag("comment", info.description);
    setTag("rating", info.rating);
    addAsfTags(out, info.music);
}

void openOutput(AVFormatContext* out, OutputFile& file) {
    const std::string outUrl = "file:" + file.TempPath();
    if (avio_open(&out->pb, outUrl.c_str(), AVIO_FLAG_WRITE) < 0) {
        file.Discard();
        throw WMException(wmerr::kOutputCreate);
    }
    if (avformat_write_header(out, nullptr) < 0) {
        avio_closep(&out->pb);
        file.Discard();
        throw WMException(wmerr::kOutputCreate);
    }
}

void freeOutput(AVFormatContext*& out) {
    if (!out)
        return;
    if (out->pb)
        avio_closep(&out->pb);
    avformat_free_context(out);
    out = nullptr;
}

TranscodeChain::~TranscodeChain() {
    freeOutput(out);
    avcodec_free_context(&audioDec);
    avcodec_free_context(&videoDec);
    avcodec_free_context(&audioEnc);
    avcodec_free_context(&videoEnc);
    swr_free(&swr);
    sws_freeContext(sws);
    if (fifo)
        av_audio_fifo_free(fifo);
    av_frame_free(&audioFrame);
    av_frame_free(&videoFrame);
    av_packet_free(&audioPacket);
    av_packet_free(&videoPacket);
}

void TranscodeChain::OpenAudio(const WmStreamConfig& want) {
    openAudioEncoder(out, want, audioEnc, outAudio);
    audioPriming = audioEnc->initial_padding > 0 ? audioEnc->initial_padding : 0;
    const int frameSize = audioEnc->frame_size > 0 ? audioEnc->frame_size : 4096;
    fifo = av_audio_fifo_alloc(audioEnc->sample_fmt, want.channels, frameSize);
    audioFrame = av_frame_alloc();
    audioPacket = av_packet_alloc();
    if (!fifo || !audioFrame || !audioPacket)
        throw WMException(wmerr::kOutOfMemory);
}

void TranscodeChain::OpenVideo(const WmStreamConfig& want) {
    openVideoEncoder(out, want, videoEnc, outVideo);
    videoFrame = av_frame_alloc();
    videoPacket = av_packet_alloc();
    if (!videoFrame || !videoPacket)
        throw WMException(wmerr::kOutOfMemory);
    preparePictureFrame(videoFrame, want);
}

std::optional<int> TranscodeChain::Resample(const AVFrame* in) {
    const int maxOut = swr_get_out_samples(swr, in ? in->nb_samples : 0);
    if (maxOut <= 0)
        return std::nullopt;
    return conv.Convert(swr, in, maxOut, audioEnc);
}

bool TranscodeChain::PrimeAudio() {
    if (!audioEnc || audioPriming <= 0)
        return true;
    const int channels = audioEnc->ch_layout.nb_channels;
    uint8_t** silence = nullptr;
    const int count = static_cast<int>(audioPriming);
    if (av_samples_alloc_array_and_samples(&silence, nullptr, channels, count, audioEnc->sample_fmt,
                                           0) < 0)
        return false;
    av_samples_set_silence(silence, 0, count, channels, audioEnc->sample_fmt);
    const bool written =
        av_audio_fifo_write(fifo, reinterpret_cast<void**>(silence), count) == count;
    av_freep(&silence[0]);
    av_freep(&silence);
    return written;
}

bool TranscodeChain::QueueAudio(const AVFrame* in) {
    const std::optional<int> converted = Resample(in);
    if (!converted)
        return true;
    const int got = *converted;
    if (got < 0)
        return false;
    return got == 0 ||
           av_audio_fifo_write(fifo, reinterpret_cast<void**>(conv.planes.data()), got) >= got;
}

uint32_t TranscodeChain::CloseOutput(int& ioError) {
    uint32_t failure = 0;
    ioError = 0;
    if (av_write_trailer(out) < 0)
        failure = wmerr::kWriteFailed;
    if (out->pb) {
        avio_flush(out->pb);
        ioError = out->pb->error;
        if (out->pb->error < 0 && !failure)
            failure = wmerr::kWriteFailed;
        if (avio_closep(&out->pb) < 0 && !failure)
            failure = wmerr::kWriteFailed;
    }
    return failure;
}

bool encodeAndWrite(AVFormatContext* out, AVCodecContext* enc, AVStream* st, AVFrame* frame,
                    AVPacket* pkt) {
    return encodeFrame(enc, frame, pkt, [&](AVPacket* p) {
        av_packet_rescale_ts(p, enc->time_base, st->time_base);
        p->stream_index = st->index;
        return av_interleaved_write_frame(out, p) >= 0;
    });
}

int64_t filePictureSlot(const AVStream* ist, const AVFrame* in, int64_t lastPts, AVRational grid) {
    const int64_t ts = in->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE)
        return lastPts + 1;
    return av_rescale_q(ts - (ist->start_time != AV_NOPTS_VALUE ? ist->start_time : 0),
                        ist->time_base, grid);
}

int readFifoFrame(AVAudioFifo* fifo, AVFrame* f, const AVCodecContext* enc, int frameSize) {
    av_frame_unref(f);
    f->nb_samples = frameSize;
    f->format = enc->sample_fmt;
    f->sample_rate = enc->sample_rate;
    if (av_channel_layout_copy(&f->ch_layout, &enc->ch_layout) < 0 || av_frame_get_buffer(f, 0) < 0)
        return -1;
    const int got = av_audio_fifo_read(fifo, reinterpret_cast<void**>(f->data), frameSize);
    if (got < frameSize) // the last frame is padded with silence
        av_samples_set_silence(f->data, got, frameSize - got, enc->ch_layout.nb_channels,
                               enc->sample_fmt);
    return got;
}

ResampleBuffer::~ResampleBuffer() {
    if (!planes.empty())
        av_freep(&planes[0]);
}

int ResampleBuffer::Convert(SwrContext* swr, const AVFrame* in, int maxOut,
                            const AVCodecContext* enc) {
    const int channels = enc->ch_layout.nb_channels;
    if (maxOut > capacity) {
        if (!planes.empty())
            av_freep(&planes[0]);
        planes.assign(static_cast<size_t>(channels), nullptr);
        if (av_samples_alloc(planes.data(), nullptr, channels, maxOut, enc->sample_fmt, 0) < 0) {
            planes.clear();
            capacity = 0;
            return -1;
        }
        capacity = maxOut;
    }
    return swr_convert(swr, planes.data(), maxOut,
                       in ? const_cast<const uint8_t**>(in->extended_data) : nullptr,
                       in ? in->nb_samples : 0);
}

uint32_t writeFailureCode(int averror) {
    if (averror < 0 && averror > -4096)
        return wmerr::fromErrno(-averror);
    return wmerr::kWriteFailed;
}

} // namespace cld
