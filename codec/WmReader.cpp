#include "WmReader.h"

#include "FfmpegLog.h"
#include "WMException.h"
#include "WmErrors.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <chrono>
#include <filesystem>
#include <strings.h>
#include <vector>

struct WmReader::Media {
    AVFormatContext* fmt = nullptr;
    AVCodecContext* dec = nullptr;
    SwrContext* swr = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int audio = -1;
    int channels = 0;
    int rate = 0;
    int64_t nextTime = 0; // 100 ns
    std::vector<uint8_t> pcm;
    bool playing = false;

    ~Media() {
        avformat_close_input(&fmt);
        avcodec_free_context(&dec);
        swr_free(&swr);
        av_packet_free(&packet);
        av_frame_free(&frame);
    }
};

namespace {

constexpr int64_t kHundredNs = 10000000;

} // namespace

WmReader::WmReader(IWmReaderSink* sink) : m_sink(sink) {
    cld::installFfmpegLog();
    try {
        m_thread = std::thread(&WmReader::ThreadMain, this);
    } catch (const std::system_error&) {
        throw WMException(cld::wmerr::kOutOfMemory);
    }
}

WmReader::~WmReader() {
    Post(Command::Quit);
    if (m_thread.joinable())
        m_thread.join();
}

std::string WmReader::MakeUrl(const std::string& path) {
    if (path.size() >= 7 && strncasecmp(path.c_str(), "file://", 7) == 0)
        return path;
    return "file://" + path;
}

void WmReader::Post(Command c) {
    std::lock_guard lock(m_mutex);
    m_commands.push_back(c);
    m_cv.notify_all();
}

void WmReader::Request(Command c, int wantStatus) {
    std::unique_lock lock(m_mutex);
    m_signalled = false;
    m_commands.push_back(c);
    m_cv.notify_all();
    const bool signalled =
        m_cv.wait_for(lock, std::chrono::milliseconds(kWaitMs), [this] { return m_signalled; });
    if (!signalled)
        throw WMException(cld::wmerr::kTimeout);
    if (m_status != wantStatus || (m_result & 0x80000000u))
        throw WMException(m_result ? m_result : cld::wmerr::kReaderState);
}

void WmReader::Report(int status, uint32_t result, bool reply) {
    // The sink hears of a state change before a waiting caller is released, so that the
    // caller finds the sink already in the new state.
    if (m_sink &&
        (status == kEndOfFile || status == kStopped || status == kClosed || status == kStarted))
        m_sink->OnStatus(status, result);
    if (!reply)
        return;
    // Only the answer to a request releases its caller; an end of file that follows a
    // start at once must not stand in for the start's answer.
    std::lock_guard lock(m_mutex);
    m_status = status;
    m_result = result;
    m_signalled = true;
    m_cv.notify_all();
}

void WmReader::Open(const std::string& path) {
    m_url = MakeUrl(path);
    Request(Command::Open, kOpened);
}

void WmReader::Start() {
    Request(Command::Start, kStarted);
}

void WmReader::Stop() {
    Request(Command::Stop, kStopped);
}

void WmReader::Close() {
    Request(Command::Close, kClosed);
}

int64_t WmReader::GetDuration() const {
    return m_duration;
}

WaveFormat WmReader::GetAudioFormat() const {
    if (!m_hasAudio)
        throw WMException(cld::wmerr::kNoAudio);
    return m_audioFormat;
}

void WmReader::ThreadMain() {
    while (true) {
        Command cmd;
        {
            std::unique_lock lock(m_mutex);
            if (m_commands.empty() && m_media && m_media->playing) {
                lock.unlock();
                if (!Deliver()) {
                    m_media->playing = false;
                    Report(kEndOfFile, 0, false);
                }
                continue;
            }
            m_cv.wait(lock, [this] { return !m_commands.empty(); });
            cmd = m_commands.front();
            m_commands.pop_front();
        }
        switch (cmd) {
        case Command::Open: {
            m_media.reset();
            m_hasAudio = m_hasVideo = false;
            m_duration = 0;
            auto media = std::make_unique<Media>();
            // The URL's prefix is ours; FFmpeg gets the plain path.
            const std::string path = m_url.substr(7);
            const std::string url = "file:" + path;
            // Only regular files: a pipe or a device would block the open without end.
            std::error_code ec;
            if (!std::filesystem::is_regular_file(path, ec) ||
                avformat_open_input(&media->fmt, url.c_str(), nullptr, nullptr) < 0 ||
                avformat_find_stream_info(media->fmt, nullptr) < 0) {
                Report(kError, cld::wmerr::kInputOpen, true);
                break;
            }
            if (media->fmt->duration != AV_NOPTS_VALUE && media->fmt->duration > 0)
                m_duration = av_rescale(media->fmt->duration, kHundredNs, AV_TIME_BASE);
            m_hasVideo =
                av_find_best_stream(media->fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0) >= 0;
            media->audio = av_find_best_stream(media->fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
            if (media->audio >= 0) {
                AVStream* st = media->fmt->streams[media->audio];
                const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
                media->dec = codec ? avcodec_alloc_context3(codec) : nullptr;
                if (media->dec && avcodec_parameters_to_context(media->dec, st->codecpar) >= 0 &&
                    avcodec_open2(media->dec, codec, nullptr) >= 0 && media->dec->sample_rate > 0 &&
                    media->dec->ch_layout.nb_channels > 0) {
                    media->dec->pkt_timebase = st->time_base;
                    media->channels = media->dec->ch_layout.nb_channels > 2
                                          ? 2
                                          : media->dec->ch_layout.nb_channels;
                    media->rate = media->dec->sample_rate;
                    AVChannelLayout outLayout;
                    av_channel_layout_default(&outLayout, media->channels);
                    if (swr_alloc_set_opts2(&media->swr, &outLayout, AV_SAMPLE_FMT_S16, media->rate,
                                            &media->dec->ch_layout, media->dec->sample_fmt,
                                            media->rate, 0, nullptr) >= 0 &&
                        swr_init(media->swr) >= 0) {
                        m_hasAudio = true;
                        m_audioFormat = WaveFormat::Pcm(static_cast<uint16_t>(media->channels),
                                                        static_cast<uint32_t>(media->rate), 16);
                    }
                }
            }
            media->packet = av_packet_alloc();
            media->frame = av_frame_alloc();
            if (!media->packet || !media->frame) {
                Report(kError, cld::wmerr::kOutOfMemory, true);
                break;
            }
            m_media = std::move(media);
            Report(kOpened, 0, true);
            break;
        }
        case Command::Start:
            if (!m_media) {
                Report(kError, cld::wmerr::kReaderState, true);
                break;
            }
            if (av_seek_frame(m_media->fmt, -1, 0, AVSEEK_FLAG_BACKWARD) >= 0 && m_media->dec)
                avcodec_flush_buffers(m_media->dec);
            m_media->nextTime = 0;
            m_media->playing = true;
            Report(kStarted, 0, true);
            break;
        case Command::Stop:
            if (m_media)
                m_media->playing = false;
            Report(kStopped, 0, true);
            break;
        case Command::Close:
            m_media.reset();
            Report(kClosed, 0, true);
            break;
        case Command::Quit:
            m_media.reset();
            return;
        }
    }
}

bool WmReader::Deliver() {
    Media& m = *m_media;
    auto sendFrames = [&]() {
        while (avcodec_receive_frame(m.dec, m.frame) >= 0) {
            const int maxOut = swr_get_out_samples(m.swr, m.frame->nb_samples);
            if (maxOut > 0) {
                m.pcm.resize(static_cast<size_t>(maxOut) * static_cast<size_t>(m.channels) * 2);
                uint8_t* out[1] = {m.pcm.data()};
                const int got = swr_convert(m.swr, out, maxOut,
                                            const_cast<const uint8_t**>(m.frame->extended_data),
                                            m.frame->nb_samples);
                if (got > 0) {
                    const int64_t duration = av_rescale(got, kHundredNs, m.rate);
                    int64_t time = m.nextTime;
                    if (m.frame->best_effort_timestamp != AV_NOPTS_VALUE) {
                        const AVStream* st = m.fmt->streams[m.audio];
                        const int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
                        time = av_rescale_q(m.frame->best_effort_timestamp - start, st->time_base,
                                            AVRational{1, static_cast<int>(kHundredNs)});
                    }
                    m.nextTime = time + duration;
                    if (m_sink)
                        m_sink->OnSample(time, duration, m.pcm.data(),
                                         static_cast<size_t>(got) *
                                             static_cast<size_t>(m.channels) * 2);
                }
            }
            av_frame_unref(m.frame);
        }
    };
    if (!m.dec || !m_hasAudio)
        return false;
    const int rc = av_read_frame(m.fmt, m.packet);
    if (rc < 0) {
        avcodec_send_packet(m.dec, nullptr);
        sendFrames();
        return false;
    }
    if (m.packet->stream_index == m.audio && avcodec_send_packet(m.dec, m.packet) >= 0)
        sendFrames();
    av_packet_unref(m.packet);
    return true;
}
