#include "MediaTranscoder.h"

#include "AlsaDeviceSource.h"
#include "FfmpegLog.h"
#include "OutputFile.h"
#include "SameFile.h"
#include "WMException.h"
#include "WmErrors.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cstdio>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace cld {

struct MediaTranscoder::State {
    AVFormatContext* in = nullptr;
    AVFormatContext* out = nullptr;
    std::string outputPath;
    OutputFile file; // the output under its temporary name until the trailer is written
    bool headerWritten = false;
    bool deviceInput = false; // a capture device, not a file
    int ioError = 0;          // the output's first write error (an AVERROR), 0 when none

    int inAudio = -1;
    int inVideo = -1;
    AVCodecContext* audioDec = nullptr;
    AVCodecContext* videoDec = nullptr;
    AVCodecContext* audioEnc = nullptr;
    AVCodecContext* videoEnc = nullptr;
    AVStream* outAudio = nullptr;
    AVStream* outVideo = nullptr;
    SwrContext* swr = nullptr;
    SwsContext* sws = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVFrame* frame = nullptr;
    AVFrame* audioFrame = nullptr;
    AVFrame* videoFrame = nullptr;
    AVPacket* packet = nullptr;
    AVPacket* outPacket = nullptr;
    int64_t audioSamples = 0;
    // Silence fed to the audio encoder before the input: what the codec's decoder drops
    // at the start of a stream, so that decoded audio starts with the input's first sample.
    int64_t priming = 0;
    int64_t lastVideoPts = -1;
    std::vector<uint8_t*> convBuffers;
    int convCapacity = 0;

    ~State() {
        if (out) {
            if (out->pb)
                avio_closep(&out->pb);
            avformat_free_context(out);
        }
        avformat_close_input(&in);
        avcodec_free_context(&audioDec);
        avcodec_free_context(&videoDec);
        avcodec_free_context(&audioEnc);
        avcodec_free_context(&videoEnc);
        swr_free(&swr);
        sws_freeContext(sws);
        if (fifo)
            av_audio_fifo_free(fifo);
        av_frame_free(&frame);
        av_frame_free(&audioFrame);
        av_frame_free(&videoFrame);
        av_packet_free(&packet);
        av_packet_free(&outPacket);
        if (!convBuffers.empty())
            av_freep(&convBuffers[0]);
    }
};

namespace {

AVCodecContext* OpenDecoder(AVStream* st) {
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec)
        return nullptr;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    if (!ctx)
        return nullptr;
    if (avcodec_parameters_to_context(ctx, st->codecpar) < 0 ||
        avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return nullptr;
    }
    ctx->pkt_timebase = st->time_base;
    return ctx;
}

AVSampleFormat EncoderSampleFormat(const AVCodec* codec) {
    if (!codec->sample_fmts)
        return AV_SAMPLE_FMT_FLTP;
    return codec->sample_fmts[0];
}

} // namespace

MediaTranscoder::MediaTranscoder() : m_state(std::make_unique<State>()) {}

MediaTranscoder::~MediaTranscoder() = default;

void MediaTranscoder::Open(const std::string& inputPath, const WmProfile& profile,
                           const std::string& outputPath, const ContentDescription& info) {
    InstallFfmpegLog();
    m_state = std::make_unique<State>();
    State& s = *m_state;
    // Capture devices ("DEVICE://" + name) are opened by the device layer.
    const bool device = IsDeviceSource(inputPath);
    s.deviceInput = device;
    if (device)
        s.in = OpenDeviceSource(inputPath);
    // Only regular files: a pipe or a device would block the open without end.
    std::error_code ec;
    if (!device && !std::filesystem::is_regular_file(inputPath, ec))
        throw WMException(wmerr::kInputOpen);
    const std::string url = "file:" + inputPath;
    if (!device && avformat_open_input(&s.in, url.c_str(), nullptr, nullptr) < 0)
        throw WMException(wmerr::kInputOpen);
    if (avformat_find_stream_info(s.in, nullptr) < 0)
        throw WMException(wmerr::kInputOpen);

    const WmStreamConfig* wantAudio = profile.FindStream(WmStreamConfig::Type::Audio);
    const WmStreamConfig* wantVideo = profile.FindStream(WmStreamConfig::Type::Video);
    if (wantAudio)
        s.inAudio = av_find_best_stream(s.in, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (wantVideo)
        s.inVideo = av_find_best_stream(s.in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (s.inAudio >= 0 && !(s.audioDec = OpenDecoder(s.in->streams[s.inAudio])))
        s.inAudio = -1;
    if (s.inVideo >= 0 && !(s.videoDec = OpenDecoder(s.in->streams[s.inVideo])))
        s.inVideo = -1;
    if (s.inVideo >= 0 && (s.videoDec->width <= 0 || s.videoDec->height <= 0 ||
                           s.videoDec->pix_fmt == AV_PIX_FMT_NONE))
        s.inVideo = -1;
    if (!wantVideo && s.inAudio < 0)
        throw WMException(wmerr::kNoAudio);
    if (wantVideo && s.inVideo < 0 && s.inAudio < 0)
        throw WMException(wmerr::kNoVideo);

    if (avformat_alloc_output_context2(&s.out, nullptr, "asf", nullptr) < 0 || !s.out)
        throw WMException(wmerr::kOutOfMemory);
    const bool globalHeader = (s.out->oformat->flags & AVFMT_GLOBALHEADER) != 0;

    if (s.inAudio >= 0) {
        const AVCodec* codec = avcodec_find_encoder_by_name(wantAudio->codec.c_str());
        if (!codec)
            throw WMException(wmerr::kCodecMissing);
        s.audioEnc = avcodec_alloc_context3(codec);
        if (!s.audioEnc)
            throw WMException(wmerr::kOutOfMemory);
        s.audioEnc->sample_rate = wantAudio->sampleRate;
        av_channel_layout_default(&s.audioEnc->ch_layout, wantAudio->channels);
        s.audioEnc->sample_fmt = EncoderSampleFormat(codec);
        s.audioEnc->bit_rate = wantAudio->bitrate;
        s.audioEnc->time_base = AVRational{1, wantAudio->sampleRate};
        if (globalHeader)
            s.audioEnc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (avcodec_open2(s.audioEnc, codec, nullptr) < 0)
            throw WMException(wmerr::kCodecOpen);
        s.outAudio = avformat_new_stream(s.out, nullptr);
        if (!s.outAudio || avcodec_parameters_from_context(s.outAudio->codecpar, s.audioEnc) < 0)
            throw WMException(wmerr::kOutOfMemory);
        s.outAudio->time_base = s.audioEnc->time_base;
        m_bitrate += wantAudio->bitrate;
        s.priming = s.audioEnc->initial_padding > 0 ? s.audioEnc->initial_padding : 0;

        if (swr_alloc_set_opts2(&s.swr, &s.audioEnc->ch_layout, s.audioEnc->sample_fmt,
                                s.audioEnc->sample_rate, &s.audioDec->ch_layout,
                                s.audioDec->sample_fmt, s.audioDec->sample_rate, 0, nullptr) < 0 ||
            swr_init(s.swr) < 0)
            throw WMException(wmerr::kCodecOpen);
        s.fifo = av_audio_fifo_alloc(s.audioEnc->sample_fmt, wantAudio->channels,
                                     s.audioEnc->frame_size > 0 ? s.audioEnc->frame_size : 4096);
        s.audioFrame = av_frame_alloc();
        if (!s.fifo || !s.audioFrame)
            throw WMException(wmerr::kOutOfMemory);
    }
    if (s.inVideo >= 0) {
        const AVCodec* codec = avcodec_find_encoder_by_name(wantVideo->codec.c_str());
        if (!codec)
            throw WMException(wmerr::kCodecMissing);
        s.videoEnc = avcodec_alloc_context3(codec);
        if (!s.videoEnc)
            throw WMException(wmerr::kOutOfMemory);
        s.videoEnc->width = wantVideo->width;
        s.videoEnc->height = wantVideo->height;
        s.videoEnc->pix_fmt = AV_PIX_FMT_YUV420P;
        s.videoEnc->bit_rate = wantVideo->bitrate;
        s.videoEnc->time_base = AVRational{1, wantVideo->fps};
        s.videoEnc->framerate = AVRational{wantVideo->fps, 1};
        s.videoEnc->gop_size = wantVideo->fps * 5;
        if (globalHeader)
            s.videoEnc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (avcodec_open2(s.videoEnc, codec, nullptr) < 0)
            throw WMException(wmerr::kCodecOpen);
        s.outVideo = avformat_new_stream(s.out, nullptr);
        if (!s.outVideo || avcodec_parameters_from_context(s.outVideo->codecpar, s.videoEnc) < 0)
            throw WMException(wmerr::kOutOfMemory);
        s.outVideo->time_base = s.videoEnc->time_base;
        m_bitrate += wantVideo->bitrate;
        s.sws = sws_getContext(s.videoDec->width, s.videoDec->height, s.videoDec->pix_fmt,
                               wantVideo->width, wantVideo->height, AV_PIX_FMT_YUV420P, SWS_BICUBIC,
                               nullptr, nullptr, nullptr);
        s.videoFrame = av_frame_alloc();
        if (!s.sws || !s.videoFrame)
            throw WMException(wmerr::kOutOfMemory);
        s.videoFrame->format = AV_PIX_FMT_YUV420P;
        s.videoFrame->width = wantVideo->width;
        s.videoFrame->height = wantVideo->height;
        if (av_frame_get_buffer(s.videoFrame, 0) < 0)
            throw WMException(wmerr::kOutOfMemory);
    }

    auto setTag = [&](const char* key, const std::string& value) {
        if (!value.empty())
            av_dict_set(&s.out->metadata, key, value.c_str(), 0);
    };
    setTag("author", info.author);
    setTag("title", info.title);
    setTag("copyright", info.copyright);
    setTag("comment", info.description);
    setTag("rating", info.rating);

    s.frame = av_frame_alloc();
    s.packet = av_packet_alloc();
    s.outPacket = av_packet_alloc();
    if (!s.frame || !s.packet || !s.outPacket)
        throw WMException(wmerr::kOutOfMemory);

    // The output is created only once everything else is known to work.
    if (SameFile(inputPath, outputPath))
        throw WMException(wmerr::kOutputCreate);
    if (const uint32_t rc = s.file.Prepare(outputPath))
        throw WMException(rc == wmerr::kOutputNotFile ? rc : wmerr::kOutputCreate);
    const std::string outUrl = "file:" + s.file.TempPath();
    if (avio_open(&s.out->pb, outUrl.c_str(), AVIO_FLAG_WRITE) < 0) {
        s.file.Discard();
        throw WMException(wmerr::kOutputCreate);
    }
    s.outputPath = outputPath;
    if (avformat_write_header(s.out, nullptr) < 0) {
        avio_closep(&s.out->pb);
        s.file.Discard();
        throw WMException(wmerr::kOutputCreate);
    }
    s.headerWritten = true;
    m_fileSize = avio_tell(s.out->pb);
}

namespace {

// Sends one frame (or the flush request, for nullptr) to an encoder and writes every
// packet it gives back. Returns false on a write failure.
bool EncodeAndWrite(AVFormatContext* out, AVCodecContext* enc, AVStream* st, AVFrame* frame,
                    AVPacket* pkt) {
    if (avcodec_send_frame(enc, frame) < 0)
        return frame != nullptr ? false : true;
    while (true) {
        const int rc = avcodec_receive_packet(enc, pkt);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return true;
        if (rc < 0)
            return false;
        av_packet_rescale_ts(pkt, enc->time_base, st->time_base);
        pkt->stream_index = st->index;
        if (av_interleaved_write_frame(out, pkt) < 0)
            return false;
    }
}

} // namespace

uint32_t MediaTranscoder::Run(const std::atomic<bool>& stop) {
    State& s = *m_state;
    if (!s.headerWritten)
        return wmerr::kUnexpected;
    uint32_t failure = 0;
    const int frameSize = s.audioEnc && s.audioEnc->frame_size > 0 ? s.audioEnc->frame_size : 2048;
    const int outChannels = s.audioEnc ? s.audioEnc->ch_layout.nb_channels : 0;

    auto drainFifo = [&](bool final) -> bool {
        while (av_audio_fifo_size(s.fifo) >= frameSize ||
               (final && av_audio_fifo_size(s.fifo) > 0)) {
            AVFrame* f = s.audioFrame;
            av_frame_unref(f);
            f->nb_samples = frameSize;
            f->format = s.audioEnc->sample_fmt;
            f->sample_rate = s.audioEnc->sample_rate;
            if (av_channel_layout_copy(&f->ch_layout, &s.audioEnc->ch_layout) < 0 ||
                av_frame_get_buffer(f, 0) < 0)
                return false;
            const int got =
                av_audio_fifo_read(s.fifo, reinterpret_cast<void**>(f->data), frameSize);
            if (got < frameSize) // the last frame is padded with silence
                av_samples_set_silence(f->data, got, frameSize - got, outChannels,
                                       s.audioEnc->sample_fmt);
            // The encoder stamps each packet initial_padding before its frame, while the
            // packet decodes to the audio initial_padding after the frame's start; with the
            // priming in front, that audio is the input from audioSamples on. Stamped so,
            // the first packet is at 0 and the audio stays in step with the video.
            f->pts =
                s.audioSamples - s.priming + 2 * static_cast<int64_t>(s.audioEnc->initial_padding);
            s.audioSamples += got;
            if (!EncodeAndWrite(s.out, s.audioEnc, s.outAudio, f, s.outPacket))
                return false;
            const int64_t encoded = s.audioSamples > s.priming ? s.audioSamples - s.priming : 0;
            m_encodedMs = encoded * 1000 / s.audioEnc->sample_rate;
            m_fileSize = avio_tell(s.out->pb);
        }
        return true;
    };

    auto convertAudio = [&](const AVFrame* in) -> bool {
        const int maxOut = swr_get_out_samples(s.swr, in ? in->nb_samples : 0);
        if (maxOut <= 0)
            return true;
        if (maxOut > s.convCapacity) {
            if (!s.convBuffers.empty())
                av_freep(&s.convBuffers[0]);
            s.convBuffers.assign(static_cast<size_t>(outChannels), nullptr);
            if (av_samples_alloc(s.convBuffers.data(), nullptr, outChannels, maxOut,
                                 s.audioEnc->sample_fmt, 0) < 0) {
                s.convBuffers.clear();
                s.convCapacity = 0;
                return false;
            }
            s.convCapacity = maxOut;
        }
        const int got = swr_convert(s.swr, s.convBuffers.data(), maxOut,
                                    in ? const_cast<const uint8_t**>(in->extended_data) : nullptr,
                                    in ? in->nb_samples : 0);
        if (got < 0)
            return false;
        if (got > 0 &&
            av_audio_fifo_write(s.fifo, reinterpret_cast<void**>(s.convBuffers.data()), got) < got)
            return false;
        return drainFifo(false);
    };

    auto encodeVideo = [&](AVFrame* in) -> bool {
        const AVStream* ist = s.in->streams[s.inVideo];
        int64_t ts = in->best_effort_timestamp;
        if (ts == AV_NOPTS_VALUE)
            ts = s.lastVideoPts + 1;
        else
            ts = av_rescale_q(ts - (ist->start_time != AV_NOPTS_VALUE ? ist->start_time : 0),
                              ist->time_base, s.videoEnc->time_base);
        if (ts <= s.lastVideoPts)
            return true; // more input frames than the profile's rate: drop this one
        if (av_frame_make_writable(s.videoFrame) < 0)
            return false;
        sws_scale(s.sws, in->data, in->linesize, 0, in->height, s.videoFrame->data,
                  s.videoFrame->linesize);
        s.videoFrame->pts = ts;
        s.lastVideoPts = ts;
        if (!EncodeAndWrite(s.out, s.videoEnc, s.outVideo, s.videoFrame, s.outPacket))
            return false;
        if (!s.audioEnc)
            m_encodedMs = av_rescale_q(ts, s.videoEnc->time_base, AVRational{1, 1000});
        m_fileSize = avio_tell(s.out->pb);
        return true;
    };

    auto decode = [&](AVCodecContext* dec, const AVPacket* pkt, bool audio) -> bool {
        if (avcodec_send_packet(dec, pkt) < 0)
            return true; // a damaged packet is skipped
        while (true) {
            const int rc = avcodec_receive_frame(dec, s.frame);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return true;
            if (rc < 0)
                return true;
            const bool ok = audio ? convertAudio(s.frame) : encodeVideo(s.frame);
            av_frame_unref(s.frame);
            if (!ok)
                return false;
        }
    };

    // The priming silence goes in front of the input's first sample.
    auto prime = [&]() -> bool {
        if (!s.audioEnc || s.priming <= 0)
            return true;
        uint8_t** silence = nullptr;
        const int count = static_cast<int>(s.priming);
        if (av_samples_alloc_array_and_samples(&silence, nullptr, outChannels, count,
                                               s.audioEnc->sample_fmt, 0) < 0)
            return false;
        av_samples_set_silence(silence, 0, count, outChannels, s.audioEnc->sample_fmt);
        const bool written =
            av_audio_fifo_write(s.fifo, reinterpret_cast<void**>(silence), count) == count;
        av_freep(&silence[0]);
        av_freep(&silence);
        return written;
    };

    bool ok = prime();
    while (ok && !stop.load(std::memory_order_relaxed)) {
        const int rc = av_read_frame(s.in, s.packet);
        if (rc < 0)
            break; // end of input, or a read error treated as the end
        if (s.packet->stream_index == s.inAudio)
            ok = decode(s.audioDec, s.packet, true);
        else if (s.packet->stream_index == s.inVideo)
            ok = decode(s.videoDec, s.packet, false);
        av_packet_unref(s.packet);
    }
    if (!ok)
        failure = wmerr::kEncodeFailed;
    // Whatever has been encoded so far becomes a complete file, also after a stop.
    if (s.audioEnc) {
        if (ok && !stop.load())
            ok = decode(s.audioDec, nullptr, true) && convertAudio(nullptr);
        if (ok)
            ok = drainFifo(true);
        EncodeAndWrite(s.out, s.audioEnc, s.outAudio, nullptr, s.outPacket);
    }
    if (s.videoEnc) {
        if (ok && !stop.load())
            ok = decode(s.videoDec, nullptr, false);
        EncodeAndWrite(s.out, s.videoEnc, s.outVideo, nullptr, s.outPacket);
    }
    if (!ok && !failure)
        failure = wmerr::kEncodeFailed;
    if (av_write_trailer(s.out) < 0 && !failure)
        failure = wmerr::kWriteFailed;
    if (s.out->pb) {
        avio_flush(s.out->pb);
        s.ioError = s.out->pb->error;
        if (s.out->pb->error < 0 && !failure)
            failure = wmerr::kWriteFailed;
        if (avio_closep(&s.out->pb) < 0 && !failure)
            failure = wmerr::kWriteFailed;
        // The trailer rewrites the header, so the write position is not the size.
        std::error_code ec;
        const auto size = std::filesystem::file_size(s.file.TempPath(), ec);
        if (!ec)
            m_fileSize = static_cast<int64_t>(size);
    }
    // A failed write is reported with the system's reason (a full disk, a size limit).
    if (failure && s.ioError < 0 && s.ioError > -4096)
        failure = wmerr::FromErrno(AVUNERROR(s.ioError));
    if (failure && !s.deviceInput) {
        // A file conversion that failed would leave a shortened file that looks finished:
        // it is removed. A stopped one is complete up to where it was stopped and stays.
        s.file.Discard();
    } else if (const uint32_t rc = s.file.Commit(); rc != 0 && !failure) {
        // What was captured from a device stays, also after a failure.
        failure = rc;
    }
    s.headerWritten = false;
    return failure;
}

} // namespace cld
