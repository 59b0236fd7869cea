#include "MediaTranscoder.h"

#include "AlsaDeviceSource.h"
#include "AudioInputCheck.h"
#include "FfmpegLog.h"
#include "OutputFile.h"
#include "SameFile.h"
#include "TranscodeParts.h"
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

struct MediaTranscoder::State : TranscodeChain {
    AVFormatContext* in = nullptr;
    bool deviceInput = false; // a capture device, not a file
    int ioError = 0;          // the output's first write error (an AVERROR), 0 when none

    int inAudio = -1;
    int inVideo = -1;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    // A FLAC input's MD5, checked once its whole audio has been decoded.
    std::unique_ptr<FlacMd5Check> md5;
    // An audio file input (not a WAV file, not a device), which must decode to something.
    bool decodedAudioInput = false;
    int64_t decodedAudioFrames = 0;

    ~State() {
        avformat_close_input(&in);
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
};

MediaTranscoder::MediaTranscoder() : m_state(std::make_unique<State>()) {}

MediaTranscoder::~MediaTranscoder() = default;

void MediaTranscoder::Open(const std::string& inputPath, const WmProfile& profile,
                           const std::string& outputPath, const ContentDescription& info) {
    installFfmpegLog();
    m_state = std::make_unique<State>();
    State& s = *m_state;
    // Capture devices ("DEVICE://" + name) are opened by the device layer.
    const bool device = isDeviceSource(inputPath);
    s.deviceInput = device;
    if (device) {
        s.in = openDeviceSource(inputPath);
        if (avformat_find_stream_info(s.in, nullptr) < 0)
            throw WMException(wmerr::kInputOpen);
    } else {
        try {
            s.in = openInputFile(inputPath);
        } catch (const WMException& e) {
            throw WMException(explainOpenFailure(inputPath, e.GetCode()));
        }
        // A file whose content is not what its name says, or an Ogg file cut short, is
        // refused before anything is written.
        if (const uint32_t code = checkAudioInput(inputPath, s.in))
            throw WMException(code);
        s.decodedAudioInput = isDecodedAudioPath(inputPath);
    }

    const WmStreamConfig* wantAudio = profile.FindStream(WmStreamConfig::Type::Audio);
    const WmStreamConfig* wantVideo = profile.FindStream(WmStreamConfig::Type::Video);
    if (wantAudio)
        s.inAudio = av_find_best_stream(s.in, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (wantVideo)
        s.inVideo = av_find_best_stream(s.in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (s.inAudio >= 0 && !(s.audioDec = openDecoder(s.in->streams[s.inAudio], false)))
        s.inAudio = -1;
    if (s.inVideo >= 0 && !(s.videoDec = openDecoder(s.in->streams[s.inVideo], false)))
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

    if (s.inAudio >= 0) {
        s.OpenAudio(*wantAudio);
        m_bitrate += wantAudio->bitrate;

        if (swr_alloc_set_opts2(&s.swr, &s.audioEnc->ch_layout, s.audioEnc->sample_fmt,
                                s.audioEnc->sample_rate, &s.audioDec->ch_layout,
                                s.audioDec->sample_fmt, s.audioDec->sample_rate, 0, nullptr) < 0 ||
            swr_init(s.swr) < 0)
            throw WMException(wmerr::kCodecOpen);
    }
    if (s.inVideo >= 0) {
        s.OpenVideo(*wantVideo);
        m_bitrate += wantVideo->bitrate;
        s.sws = sws_getContext(s.videoDec->width, s.videoDec->height, s.videoDec->pix_fmt,
                               wantVideo->width, wantVideo->height, AV_PIX_FMT_YUV420P, SWS_BICUBIC,
                               nullptr, nullptr, nullptr);
        if (!s.sws)
            throw WMException(wmerr::kOutOfMemory);
    }

    setContentTags(s.out, info);
    if (!device && !wantVideo && s.inAudio >= 0) {
        // An audio file's own names fill what the content description leaves empty.
        AudioTags tags = readAudioTags(s.in, s.inAudio);
        if (!info.author.empty())
            tags.artist.clear();
        if (!info.title.empty())
            tags.title.clear();
        addAsfTags(s.out, tags);
        s.md5 = FlacMd5Check::create(s.in->streams[s.inAudio]);
    }

    s.frame = av_frame_alloc();
    s.packet = av_packet_alloc();
    if (!s.frame || !s.packet)
        throw WMException(wmerr::kOutOfMemory);

    // The output is created only once everything else is known to work.
    if (sameFile(inputPath, outputPath))
        throw WMException(wmerr::kOutputCreate);
    if (const uint32_t rc = s.file.Prepare(
            outputPath, m_replaceExisting ? files::Replace::RegularFile : files::Replace::Never))
        throw WMException(rc == wmerr::kOutputNotFile ? rc : wmerr::kOutputCreate);
    openOutput(s.out, s.file);
    s.outputPath = outputPath;
    s.headerWritten = true;
    m_fileSize = avio_tell(s.out->pb);
}

uint32_t MediaTranscoder::Run(const std::atomic<bool>& stop) {
    State& s = *m_state;
    if (!s.headerWritten)
        return wmerr::kUnexpected;
    uint32_t failure = 0;
    const int frameSize = s.audioEnc && s.audioEnc->frame_size > 0 ? s.audioEnc->frame_size : 2048;

    auto drainFifo = [&](bool final) -> bool {
        return s.WriteAudio(final, frameSize, [&] {
            m_encodedMs = s.EncodedAudioMs();
            m_fileSize = avio_tell(s.out->pb);
        });
    };

    auto convertAudio = [&](const AVFrame* in) -> bool {
        return s.QueueAudio(in) && drainFifo(false);
    };

    auto encodeVideo = [&](AVFrame* in) -> bool {
        const int64_t ts =
            filePictureSlot(s.in->streams[s.inVideo], in, s.lastVideoPts, s.videoEnc->time_base);
        if (ts <= s.lastVideoPts)
            return true; // more input frames than the profile's rate: drop this one
        if (av_frame_make_writable(s.videoFrame) < 0)
            return false;
        sws_scale(s.sws, in->data, in->linesize, 0, in->height, s.videoFrame->data,
                  s.videoFrame->linesize);
        s.videoFrame->pts = ts;
        s.lastVideoPts = ts;
        if (!encodeAndWrite(s.out, s.videoEnc, s.outVideo, s.videoFrame, s.videoPacket))
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
            if (audio) {
                ++s.decodedAudioFrames;
                if (s.md5)
                    s.md5->add(s.frame);
            }
            const bool ok = audio ? convertAudio(s.frame) : encodeVideo(s.frame);
            av_frame_unref(s.frame);
            if (!ok)
                return false;
        }
    };

    // The priming silence goes in front of the input's first sample.
    bool ok = s.PrimeAudio();
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
        encodeAndWrite(s.out, s.audioEnc, s.outAudio, nullptr, s.audioPacket);
    }
    if (s.videoEnc) {
        if (ok && !stop.load())
            ok = decode(s.videoDec, nullptr, false);
        encodeAndWrite(s.out, s.videoEnc, s.outVideo, nullptr, s.videoPacket);
    }
    if (!ok && !failure)
        failure = wmerr::kEncodeFailed;
    {
        const uint32_t closed = s.CloseOutput(s.ioError);
        if (closed && !failure)
            failure = closed;
        // The trailer rewrites the header, so the write position is not the size.
        std::error_code ec;
        const auto size = std::filesystem::file_size(s.file.TempPath(), ec);
        if (!ec)
            m_fileSize = static_cast<int64_t>(size);
    }
    // A file read to its end must decode to audio, and to the audio its checksum promises;
    // otherwise the output is no copy of it.
    if (!failure && !stop.load() && s.audioEnc) {
        if (s.decodedAudioInput && s.decodedAudioFrames == 0)
            failure = wmerr::kNoAudioDecoded;
        else if (s.md5 && !s.md5->matches())
            failure = wmerr::kChecksumMismatch;
    }
    // A failed write is reported with the system's reason (a full disk, a size limit).
    if (failure && s.ioError < 0 && s.ioError > -4096)
        failure = writeFailureCode(s.ioError);
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
