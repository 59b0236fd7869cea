#include "VideoTranscoder.h"

#include "AlsaDeviceSource.h"
#include "DeviceLayer.h"
#include "FfmpegLog.h"
#include "OutputFile.h"
#include "PostviewDecoder.h"
#include "SameFile.h"
#include "TranscodeParts.h"
#include "ViewScaler.h"
#include "WMException.h"
#include "WmErrors.h"
#include "WmVideoErrors.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <strings.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace cld {

namespace {

// The most of the conversion's processor time its postview may take for decoding.
constexpr double kPostviewCpuShare = 0.08;

using Clock = std::chrono::steady_clock;

enum class InputKind { File, AudioDevice, VideoDevice, Screen };

struct InputLocation {
    InputKind kind = InputKind::File;
    std::string location; // path, device resource or X display
};

bool hasPrefix(const std::string& text, const char* prefix) {
    const size_t n = std::strlen(prefix);
    return text.size() >= n && strncasecmp(text.c_str(), prefix, n) == 0;
}

InputLocation parseInput(const std::string& text) {
    InputLocation where;
    if (hasPrefix(text, "FILE://")) {
        where.location = text.substr(7);
    } else if (hasPrefix(text, "DEVICE://")) {
        where.location = text.substr(9);
        where.kind = where.location.rfind("/dev/video", 0) == 0 ? InputKind::VideoDevice
                                                                : InputKind::AudioDevice;
    } else if (hasPrefix(text, "ScreenCap://")) {
        where.kind = InputKind::Screen;
        const char* display = std::getenv("DISPLAY");
        where.location = display ? display : "";
        if (where.location.empty())
            throw WMException(wmerr::kNoDisplay);
    } else if (text.find("://") != std::string::npos) {
        throw WMException(wmerr::kInputOpen);
    } else {
        where.location = text;
    }
    if (where.location.empty())
        throw WMException(where.kind == InputKind::File ? wmerr::kInputOpen : wmerr::kDeviceOpen);
    return where;
}

bool sameInput(const InputLocation& a, const InputLocation& b) {
    return a.kind == b.kind && a.location == b.location;
}

struct Input {
    AVFormatContext* fmt = nullptr;
    bool live = false;
    int audio = -1; // stream index of the audio this input feeds, or -1
    int video = -1;

    Input() = default;
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    ~Input() { avformat_close_input(&fmt); }
};

std::unique_ptr<Input> openInput(const InputLocation& where, const WmStreamConfig* audio,
                                 const WmStreamConfig* video) {
    auto in = std::make_unique<Input>();
    if (where.kind == InputKind::File) {
        in->fmt = openInputFile(where.location);
        return in;
    }

    // A sound device opened ahead, while the recorder's dialog waited, starts at once.
    if (where.kind == InputKind::AudioDevice) {
        if (AVFormatContext* parked = takeParkedDevice(where.location)) {
            in->fmt = parked;
            in->live = true;
            return in;
        }
    }
    registerDeviceInputs();
    const char* formatName = where.kind == InputKind::AudioDevice   ? "alsa"
                             : where.kind == InputKind::VideoDevice ? "video4linux2"
                                                                    : "x11grab";
    const AVInputFormat* format = av_find_input_format(formatName);
    if (!format)
        throw WMException(where.kind == InputKind::Screen ? wmerr::kNoDisplay : wmerr::kDeviceOpen);
    AVDictionary* options = nullptr;
    // Sound devices are asked for CD quality, which nearly every card records natively;
    // the profile's rate and channels are made from it.
    if (where.kind == InputKind::AudioDevice && audio) {
        av_dict_set_int(&options, "sample_rate", 44100, 0);
        av_dict_set_int(&options, "channels", 2, 0);
    }
    if (where.kind == InputKind::Screen && video) {
        av_dict_set_int(&options, "framerate", video->fps, 0);
        av_dict_set_int(&options, "draw_mouse", 1, 0);
    }
    in->fmt = avformat_alloc_context();
    if (!in->fmt)
        throw WMException(wmerr::kOutOfMemory);
    // Devices are opened and read without blocking, so that a busy device fails at once
    // and a silent one never holds up a stop.
    in->fmt->flags |= AVFMT_FLAG_NONBLOCK;
    int rc = avformat_open_input(&in->fmt, where.location.c_str(), format, &options);
    av_dict_free(&options);
    if (rc < 0 && where.kind == InputKind::AudioDevice && audio) {
        // A device that records only mono is asked again.
        options = nullptr;
        av_dict_set_int(&options, "sample_rate", 44100, 0);
        av_dict_set_int(&options, "channels", 1, 0);
        in->fmt = avformat_alloc_context();
        if (!in->fmt)
            throw WMException(wmerr::kOutOfMemory);
        in->fmt->flags |= AVFMT_FLAG_NONBLOCK;
        rc = avformat_open_input(&in->fmt, where.location.c_str(), format, &options);
        av_dict_free(&options);
    }
    if (rc < 0) {
        if (where.kind == InputKind::Screen)
            throw WMException(wmerr::kNoDisplay);
        // The device layer reports every sound device failure alike; the sound system is
        // asked again for the real cause.
        if (where.kind == InputKind::AudioDevice)
            throw WMException(captureFailureCode(where.location));
        throw WMException(rc == AVERROR(EBUSY)                             ? wmerr::kDeviceBusy
                          : rc == AVERROR(ENOENT) || rc == AVERROR(ENODEV) ? wmerr::kDeviceMissing
                                                                           : wmerr::kDeviceOpen);
    }
    in->live = true;
    return in;
}

int bestStream(AVFormatContext* fmt, AVMediaType type) {
    const int index = av_find_best_stream(fmt, type, -1, -1, nullptr, 0);
    return index >= 0 ? index : -1;
}

} // namespace

struct VideoTranscoder::State : TranscodeChain {
    std::vector<std::unique_ptr<Input>> inputs;
    Input* audioIn = nullptr;
    Input* videoIn = nullptr;
    bool live = false;

    // Audio path: the resampler is rebuilt when the decoded format changes.
    int swrRate = 0;
    int swrFormat = -1;
    AVChannelLayout swrLayout{};
    int64_t endSamples = -1; // the end of the sound once the input has ended

    // Video path: the pictures for the views. The preview's are made on the encoder's
    // thread; the postview decodes on a thread of its own.
    ViewScaler previewScaler;
    std::unique_ptr<PostviewDecoder> postDecoder;

    std::shared_ptr<WmViewCollection> preview;
    std::shared_ptr<WmViewCollection> postview;

    std::mutex muxMutex;
    Clock::time_point start;
    // Live inputs: the capture start on the devices' clock (microseconds), and the moment
    // of a stop request measured from it (-1 while none).
    int64_t startUs = 0;
    std::atomic<int64_t> stopUs{-1};
    bool audioStamped = false; // the first sound buffer has been placed on the time line
    int64_t audioSkip = 0;     // samples captured before the start, still to be dropped
    std::atomic<int> writeError{0};

    ~State() {
        inputs.clear();
        av_channel_layout_uninit(&swrLayout);
    }
};

VideoTranscoder::VideoTranscoder() : m_state(std::make_unique<State>()) {}

VideoTranscoder::~VideoTranscoder() = default;

int64_t VideoTranscoder::GetEncodedMilliseconds() const {
    return std::max(m_audioMs.load(), m_videoMs.load());
}

void VideoTranscoder::Open(const std::string& audioInput, const std::string& videoInput,
                           const WmProfile& profile, const std::string& outputPath,
                           const ContentDescription& info,
                           std::shared_ptr<WmViewCollection> preview,
                           std::shared_ptr<WmViewCollection> postview) {
    installFfmpegLog();
    m_state = std::make_unique<State>();
    m_audioMs = 0;
    m_videoMs = 0;
    m_fileSize = 0;
    m_bitrate = 0;
    State& s = *m_state;
    s.preview = std::move(preview);
    s.postview = std::move(postview);

    const bool soundOnly = videoInput.empty();
    const WmStreamConfig* wantAudio = profile.FindStream(WmStreamConfig::Type::Audio);
    const WmStreamConfig* wantVideo =
        soundOnly ? nullptr : profile.FindStream(WmStreamConfig::Type::Video);
    if (!soundOnly &&
        (!wantVideo || wantVideo->width <= 0 || wantVideo->height <= 0 || wantVideo->fps <= 0))
        throw WMException(wmerr::kNoVideoStream);
    if (wantAudio && (wantAudio->sampleRate <= 0 || wantAudio->channels <= 0))
        throw WMException(wmerr::kProfileInvalid);
    if (soundOnly && (!wantAudio || audioInput.empty()))
        throw WMException(wmerr::kNoAudio);

    InputLocation videoSpec;
    if (!soundOnly) {
        videoSpec = parseInput(videoInput);
        if (videoSpec.kind == InputKind::AudioDevice)
            throw WMException(wmerr::kNoVideo);
        s.inputs.push_back(openInput(videoSpec, nullptr, wantVideo));
        s.videoIn = s.inputs.back().get();
        s.videoIn->video = bestStream(s.videoIn->fmt, AVMEDIA_TYPE_VIDEO);
        if (s.videoIn->video < 0 ||
            !(s.videoDec = openDecoder(s.videoIn->fmt->streams[s.videoIn->video], true)) ||
            s.videoDec->width <= 0 || s.videoDec->height <= 0 ||
            s.videoDec->pix_fmt == AV_PIX_FMT_NONE)
            throw WMException(wmerr::kNoVideo);
    }

    std::string audioFile;
    if (wantAudio && !audioInput.empty()) {
        const InputLocation audioSpec = parseInput(audioInput);
        if (audioSpec.kind == InputKind::File)
            audioFile = audioSpec.location;
        if (!soundOnly && sameInput(audioSpec, videoSpec)) {
            // One file for both: a file without sound gives a video-only output.
            s.audioIn = s.videoIn;
        } else {
            if (audioSpec.kind == InputKind::Screen)
                throw WMException(wmerr::kNoAudio);
            s.inputs.push_back(openInput(audioSpec, wantAudio, nullptr));
            s.audioIn = s.inputs.back().get();
        }
        const int index = bestStream(s.audioIn->fmt, AVMEDIA_TYPE_AUDIO);
        if (index >= 0 && (s.audioDec = openDecoder(s.audioIn->fmt->streams[index], true)))
            s.audioIn->audio = index;
        else if (soundOnly && audioSpec.kind == InputKind::File)
            throw WMException(wmerr::kNoAudio);
        else if (s.audioIn != s.videoIn)
            throw WMException(wmerr::kNoAudio);
        else
            s.audioIn = nullptr;
    }
    for (const auto& in : s.inputs)
        s.live = s.live || in->live;

    if (avformat_alloc_output_context2(&s.out, nullptr, "asf", nullptr) < 0 || !s.out)
        throw WMException(wmerr::kOutOfMemory);

    if (s.audioIn) {
        s.OpenAudio(*wantAudio);
        m_bitrate += wantAudio->bitrate;
    }

    if (!soundOnly) {
        s.OpenVideo(*wantVideo);
        // Every slot of the profile's frame grid holds a picture, so the rate is exact.
        s.outVideo->avg_frame_rate = s.videoEnc->framerate;
        s.outVideo->r_frame_rate = s.videoEnc->framerate;
        m_bitrate += wantVideo->bitrate;
        // The postview decodes what the encoder writes with the matching decoder.
        if (s.postview) {
            s.postDecoder = std::make_unique<PostviewDecoder>(s.postview, s.outVideo->codecpar,
                                                              s.videoEnc->time_base);
            if (!s.postDecoder->usable())
                s.postDecoder.reset();
            // A file converts faster than real time and the view shows a few pictures a
            // second of the hundreds encoded: decoding them all would cost the
            // conversion a third more processor time. A capture runs at real time, and
            // its view shows every picture the decoder keeps up with.
            else if (!s.live)
                s.postDecoder->setCpuShare(kPostviewCpuShare);
        }
    }

    setContentTags(s.out, info);

    // The output is created only once everything else is known to work.
    if (!soundOnly && videoSpec.kind == InputKind::File && sameFile(videoSpec.location, outputPath))
        throw WMException(wmerr::kOutputCreate);
    if (!audioFile.empty() && sameFile(audioFile, outputPath))
        throw WMException(wmerr::kOutputCreate);
    if (const uint32_t rc = s.file.Prepare(outputPath))
        throw WMException(rc);
    s.outputPath = s.file.TempPath();
    m_report = RunReport{};
    m_report.outputPath = s.file.FinalPath();
    openOutput(s.out, s.file);
    s.headerWritten = true;
    m_fileSize = avio_tell(s.out->pb);
}

namespace {

// The objects of an ASF file that hold its length, as GUIDs in file byte order.
constexpr uint8_t kAsfHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                        0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr uint8_t kAsfFilePropertiesGuid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr uint8_t kAsfDataGuid[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                      0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

uint64_t readLe64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

bool writeLe64(int fd, uint64_t value, off_t at) {
    uint8_t b[8];
    for (int i = 0; i < 8; ++i)
        b[i] = static_cast<uint8_t>(value >> (8 * i));
    return ::pwrite(fd, b, sizeof b, at) == static_cast<ssize_t>(sizeof b);
}

// The latest end time of any packet of a finished ASF file, in 100 ns units; -1 when no
// packet can be read.
int64_t asfContentEnd(const std::string& path) {
    AVFormatContext* in = nullptr;
    const std::string url = "file:" + path;
    if (avformat_open_input(&in, url.c_str(), nullptr, nullptr) < 0)
        return -1;
    AVPacket* pkt = av_packet_alloc();
    int64_t end = -1;
    while (pkt && av_read_frame(in, pkt) >= 0) {
        const AVStream* st = in->streams[pkt->stream_index];
        const int64_t pts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        if (pts != AV_NOPTS_VALUE)
            end = std::max(end, av_rescale_q(pts + std::max<int64_t>(pkt->duration, 0),
                                             st->time_base, AVRational{1, 10'000'000}));
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    avformat_close_input(&in);
    return end;
}

// Makes the ASF file that a failed write left behind a valid one: the data is cut after
// its last complete packet, and the header is given the size, packet count and playing
// time of what is there. Everything happens inside the existing file, so it works on a
// disk that is full. False when nothing playable is left.
bool repairAsfFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    uint8_t head[30];
    if (::pread(fd, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head) ||
        std::memcmp(head, kAsfHeaderGuid, 16) != 0)
        return false;
    const uint64_t headerSize = readLe64(head + 16);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || headerSize < 30 || headerSize > (1u << 22) ||
        headerSize + 50 > static_cast<uint64_t>(st.st_size))
        return false;
    std::vector<uint8_t> header(headerSize + 50);
    if (::pread(fd, header.data(), header.size(), 0) != static_cast<ssize_t>(header.size()) ||
        std::memcmp(header.data() + headerSize, kAsfDataGuid, 16) != 0)
        return false;
    uint64_t props = 0;
    for (uint64_t at = 30; at + 24 <= headerSize;) {
        const uint64_t size = readLe64(header.data() + at + 16);
        if (size < 24 || at + size > headerSize)
            return false;
        if (std::memcmp(header.data() + at, kAsfFilePropertiesGuid, 16) == 0 && size >= 104) {
            props = at;
            break;
        }
        at += size;
    }
    if (props == 0)
        return false;
    const uint8_t* p = header.data() + props;
    const uint32_t packetSize = static_cast<uint32_t>(p[92]) | (static_cast<uint32_t>(p[93]) << 8) |
                                (static_cast<uint32_t>(p[94]) << 16) |
                                (static_cast<uint32_t>(p[95]) << 24);
    const uint64_t preroll = readLe64(p + 80);
    const uint64_t dataStart = headerSize + 50;
    if (packetSize == 0)
        return false;
    const uint64_t packets = (static_cast<uint64_t>(st.st_size) - dataStart) / packetSize;
    if (packets == 0)
        return false;
    const uint64_t size = dataStart + packets * packetSize;
    uint8_t flags[4];
    std::memcpy(flags, p + 88, 4);
    flags[0] = static_cast<uint8_t>((flags[0] & ~1u) | 2u); // seekable, no longer broadcast
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0 ||
        !writeLe64(fd, size, static_cast<off_t>(props + 40)) ||
        !writeLe64(fd, packets, static_cast<off_t>(props + 56)) ||
        ::pwrite(fd, flags, 4, static_cast<off_t>(props + 88)) != 4 ||
        !writeLe64(fd, 50 + packets * packetSize, static_cast<off_t>(headerSize + 16)) ||
        !writeLe64(fd, packets, static_cast<off_t>(headerSize + 40)))
        return false;
    // With the size right, the file reads back; its last packet gives the playing time.
    const int64_t end = asfContentEnd(path);
    if (end <= 0)
        return false;
    const uint64_t play = static_cast<uint64_t>(end) + preroll * 10'000;
    if (!writeLe64(fd, play, static_cast<off_t>(props + 64)) ||
        !writeLe64(fd, static_cast<uint64_t>(end), static_cast<off_t>(props + 72)))
        return false;
    return ::fsync(fd) == 0;
}

} // namespace

uint32_t VideoTranscoder::Run(const std::atomic<bool>& stop) {
    State& s = *m_state;
    if (!s.headerWritten)
        return wmerr::kUnexpected;
    s.start = Clock::now();
    s.startUs = av_gettime();
    s.stopUs = -1;
    std::atomic<bool> halt{false};
    std::atomic<uint32_t> failure{0};
    auto fail = [&](uint32_t code) {
        uint32_t none = 0;
        failure.compare_exchange_strong(none, code);
        halt = true;
    };
    auto stopping = [&] { return stop.load(std::memory_order_relaxed) || halt.load(); };
    auto elapsedSeconds = [&] {
        return std::chrono::duration<double>(Clock::now() - s.start).count();
    };
    auto nowUs = [&] { return av_gettime() - s.startUs; };
    // The moment a live input captured something, on the capture time line. The device
    // layer stamps with the wall clock; a stamp from another clock is taken as "now".
    auto liveStampUs = [&](const AVStream* st, int64_t pts) -> int64_t {
        const int64_t now = nowUs();
        if (pts == AV_NOPTS_VALUE)
            return now;
        const int64_t rel = av_rescale_q(pts, st->time_base, AVRational{1, 1'000'000}) - s.startUs;
        if (rel < -5'000'000 || rel > now + 5'000'000)
            return now;
        return rel;
    };

    auto write = [&](AVCodecContext* enc, AVStream* st, AVPacket* pkt) -> bool {
        av_packet_rescale_ts(pkt, enc->time_base, st->time_base);
        pkt->stream_index = st->index;
        std::lock_guard lock(s.muxMutex);
        if (const int rc = av_interleaved_write_frame(s.out, pkt); rc < 0) {
            int none = 0;
            s.writeError.compare_exchange_strong(
                none, s.out->pb && s.out->pb->error < 0 ? s.out->pb->error : rc);
            return false;
        }
        // A recording goes to the disk as it comes, so that a full disk ends it at once
        // rather than when a large buffer is written out much later.
        if (s.live)
            avio_flush(s.out->pb);
        if (s.out->pb->error < 0) {
            int none = 0;
            s.writeError.compare_exchange_strong(none, s.out->pb->error);
            return false;
        }
        m_fileSize = avio_tell(s.out->pb);
        return true;
    };

    // ---- audio ----
    const int frameSize = s.audioEnc && s.audioEnc->frame_size > 0 ? s.audioEnc->frame_size : 2048;
    const int outChannels = s.audioEnc ? s.audioEnc->ch_layout.nb_channels : 0;
    const int outRate = s.audioEnc ? s.audioEnc->sample_rate : 0;

    auto encodeAudio = [&](AVFrame* frame) -> bool {
        return encodeFrame(s.audioEnc, frame, s.audioPacket, [&](AVPacket* pkt) {
            // The codec's priming packet lies before the first sample. Written, it would
            // shift every stream by its length (the container has no negative times) and
            // lengthen the file by one audio frame; the pictures and the sound stay in
            // step without it.
            if (pkt->pts != AV_NOPTS_VALUE && pkt->pts < 0) {
                av_packet_unref(pkt);
                return true;
            }
            // The last frame is padded with silence; the file ends with the sound.
            if (s.endSamples >= 0) {
                const int64_t left = s.endSamples - pkt->pts;
                if (left <= 0) {
                    av_packet_unref(pkt);
                    return true;
                }
                if (pkt->duration > left)
                    pkt->duration = left;
            }
            return write(s.audioEnc, s.outAudio, pkt);
        });
    };

    auto drainFifo = [&](bool final) -> bool {
        return s.DrainFifo(final, frameSize, [&](AVFrame* f, int got) {
            f->pts = s.audioSamples;
            s.audioSamples += got;
            if (!encodeAudio(f))
                return false;
            m_audioMs = s.audioSamples * 1000 / s.audioEnc->sample_rate;
            return true;
        });
    };

    // Appends `count` samples of silence to the sound.
    auto addSilence = [&](int64_t count) -> bool {
        while (count > 0) {
            const int n = static_cast<int>(std::min<int64_t>(count, frameSize));
            std::vector<uint8_t*> planes(static_cast<size_t>(outChannels), nullptr);
            if (av_samples_alloc(planes.data(), nullptr, outChannels, n, s.audioEnc->sample_fmt,
                                 0) < 0)
                return false;
            av_samples_set_silence(planes.data(), 0, n, outChannels, s.audioEnc->sample_fmt);
            const bool ok =
                av_audio_fifo_write(s.fifo, reinterpret_cast<void**>(planes.data()), n) == n;
            av_freep(&planes[0]);
            if (!ok)
                return false;
            count -= n;
        }
        return true;
    };

    // (Re)builds the resampler for the decoded format; a stream whose format changes
    // midway keeps being converted correctly.
    auto prepareResampler = [&](const AVFrame* in) -> bool {
        if (s.swr && in->sample_rate == s.swrRate && in->format == s.swrFormat &&
            av_channel_layout_compare(&in->ch_layout, &s.swrLayout) == 0)
            return true;
        swr_free(&s.swr);
        av_channel_layout_uninit(&s.swrLayout);
        if (in->sample_rate <= 0 || in->ch_layout.nb_channels <= 0 ||
            av_channel_layout_copy(&s.swrLayout, &in->ch_layout) < 0)
            return false;
        s.swrRate = in->sample_rate;
        s.swrFormat = in->format;
        if (swr_alloc_set_opts2(&s.swr, &s.audioEnc->ch_layout, s.audioEnc->sample_fmt,
                                s.audioEnc->sample_rate, &s.swrLayout,
                                static_cast<AVSampleFormat>(in->format), in->sample_rate, 0,
                                nullptr) < 0)
            return false;
        // Mono goes to both sides at its full level; the resampler's own mix would put
        // it 3 dB lower on each.
        if (in->ch_layout.nb_channels == 1 && outChannels == 2) {
            const double both[2] = {1.0, 1.0};
            if (swr_set_matrix(s.swr, both, 1) < 0)
                return false;
        }
        return swr_init(s.swr) >= 0;
    };

    // `stampUs`: for a live input, when the device captured the frame's first sample.
    auto convertAudio = [&](const AVFrame* in, int64_t stampUs) -> bool {
        if (in && !prepareResampler(in))
            return true; // an undecodable format change: the frame is skipped
        if (!s.swr)
            return true;
        const std::optional<int> converted = s.Resample(in);
        if (!converted)
            return true;
        if (*converted < 0)
            return false;
        int keep = *converted;
        if (s.live && in) {
            // The first buffer places the sound on the capture time line: what the device
            // captured after the start is preceded by silence, what it captured before
            // is dropped.
            if (!s.audioStamped) {
                s.audioStamped = true;
                const int64_t offset = av_rescale(stampUs, outRate, 1'000'000);
                if (offset > 0 && !addSilence(offset))
                    return false;
                if (offset < 0)
                    s.audioSkip = -offset;
            }
            // Nothing captured after a stop request is kept.
            const int64_t stopAt = s.stopUs.load();
            if (stopAt >= 0) {
                const int64_t room = av_rescale(stopAt, outRate, 1'000'000) - s.audioSamples -
                                     av_audio_fifo_size(s.fifo) + s.audioSkip;
                keep = static_cast<int>(std::clamp<int64_t>(room, 0, keep));
            }
        }
        if (keep > 0 && av_audio_fifo_write(s.fifo, reinterpret_cast<void**>(s.conv.planes.data()),
                                            keep) < keep)
            return false;
        if (s.audioSkip > 0) {
            const int drop =
                static_cast<int>(std::min<int64_t>(s.audioSkip, av_audio_fifo_size(s.fifo)));
            av_audio_fifo_drain(s.fifo, drop);
            s.audioSkip -= drop;
        }
        if (!drainFifo(false))
            return false;
        // A live source that delivers faster than real time is held to the clock, so that
        // sound and pictures stay together.
        if (s.live && in) {
            while (!stopping()) {
                const double ahead =
                    static_cast<double>(s.audioSamples) / outRate - elapsedSeconds();
                if (ahead < 0.25)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        return true;
    };

    // ---- video ----
    auto encodeVideo = [&](AVFrame* frame) -> bool {
        return encodeFrame(s.videoEnc, frame, s.videoPacket, [&](AVPacket* pkt) {
            // The postview gets a reference to the packet before it is rescaled for the
            // file; it decodes on its own thread.
            if (s.postDecoder)
                s.postDecoder->push(pkt);
            return write(s.videoEnc, s.outVideo, pkt);
        });
    };

    // Slots of the frame grid that a picture left empty hold the picture before them
    // again, so that a 25 fps input on a 30 fps grid moves evenly. A jump of more than a
    // few seconds stays a jump.
    auto fillGap = [&](int64_t upTo) -> bool {
        if (s.lastVideoPts < 0 || upTo - s.lastVideoPts - 1 > 5LL * s.videoEnc->framerate.num)
            return true;
        for (int64_t pts = s.lastVideoPts + 1; pts < upTo; ++pts) {
            s.videoFrame->pts = pts;
            s.videoFrame->pict_type = AV_PICTURE_TYPE_NONE;
            if (!encodeVideo(s.videoFrame))
                return false;
        }
        return true;
    };

    auto takePicture = [&](AVFrame* in) -> bool {
        int64_t ts = 0;
        if (s.live) {
            const AVStream* ist = s.videoIn->fmt->streams[s.videoIn->video];
            const int64_t us = liveStampUs(ist, in->best_effort_timestamp);
            ts = std::max<int64_t>(0, av_rescale(us, s.videoEnc->framerate.num,
                                                 1'000'000LL * s.videoEnc->framerate.den));
            const int64_t stopAt = s.stopUs.load();
            if (stopAt >= 0 && ts >= av_rescale(stopAt, s.videoEnc->framerate.num,
                                                1'000'000LL * s.videoEnc->framerate.den))
                return true; // captured after the stop request
        } else {
            ts = filePictureSlot(s.videoIn->fmt->streams[s.videoIn->video], in, s.lastVideoPts,
                                 s.videoEnc->time_base);
        }
        if (ts <= s.lastVideoPts)
            return true; // more input pictures than the profile's rate: this one is dropped
        if (in->width <= 0 || in->height <= 0)
            return true;
        s.sws = sws_getCachedContext(
            s.sws, in->width, in->height, static_cast<AVPixelFormat>(in->format), s.videoEnc->width,
            s.videoEnc->height, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!s.sws)
            return true; // a picture format the scaler does not know is skipped
        if (!fillGap(ts))
            return false;
        if (av_frame_make_writable(s.videoFrame) < 0)
            return false;
        sws_scale(s.sws, in->data, in->linesize, 0, in->height, s.videoFrame->data,
                  s.videoFrame->linesize);
        s.videoFrame->pts = ts;
        // A postview that began watching after the last key picture waits for the next
        // one, which may be seconds away: one is asked for now.
        const bool wantKey = s.postDecoder && s.postDecoder->wantsKeyPicture();
        s.videoFrame->pict_type = wantKey ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        s.lastVideoPts = ts;
        // The preview takes only the pictures its views can show, made at their size.
        if (s.preview && s.preview->WantsPicture()) {
            const int64_t time = av_rescale_q(ts, s.videoEnc->time_base, {1, 10'000'000});
            s.preview->Offer(s.videoFrame->width, s.videoFrame->height, [&](int w, int h) {
                return s.previewScaler.make(s.videoFrame, w, h, time);
            });
        }
        if (!encodeVideo(s.videoFrame))
            return false;
        m_videoMs = av_rescale_q(ts + 1, s.videoEnc->time_base, AVRational{1, 1000});
        return true;
    };

    auto decode = [&](AVCodecContext* dec, const AVStream* st, const AVPacket* pkt, AVFrame* frame,
                      bool audio) -> bool {
        if (avcodec_send_packet(dec, pkt) < 0)
            return true; // a damaged packet is skipped
        while (true) {
            const int rc = avcodec_receive_frame(dec, frame);
            if (rc < 0)
                return true; // EAGAIN, end, or a damaged picture
            bool ok = true;
            if (audio)
                ok =
                    convertAudio(frame, s.live ? liveStampUs(st, frame->best_effort_timestamp) : 0);
            else
                ok = takePicture(frame);
            av_frame_unref(frame);
            if (!ok)
                return false;
        }
    };

    struct FileEnd {
        bool early = false;
        double read = 0;
        double declared = 0;
    };
    std::mutex endMutex;
    FileEnd fileEnd;

    // Reads one input until it ends (a file), `stop` is set, or anything fails. After a
    // stop, a live input is read on until it has delivered what it captured up to the
    // stop request (at most 1.5 s more), so that both tracks end at the same moment.
    auto readInput = [&](Input& in) {
        AVPacket* pkt = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        if (!pkt || !frame) {
            av_packet_free(&pkt);
            av_frame_free(&frame);
            fail(wmerr::kOutOfMemory);
            return;
        }
        bool ended = false;
        int endCode = 0;
        int64_t reachedUs = -1;
        Clock::time_point drainUntil{};
        while (!halt.load()) {
            if (stop.load(std::memory_order_relaxed)) {
                if (!in.live)
                    break;
                int64_t none = -1;
                s.stopUs.compare_exchange_strong(none, nowUs());
                if (drainUntil == Clock::time_point{})
                    drainUntil = Clock::now() + std::chrono::milliseconds(1500);
                if (reachedUs >= s.stopUs.load() || Clock::now() >= drainUntil)
                    break;
            }
            const int rc = av_read_frame(in.fmt, pkt);
            if (rc == AVERROR(EAGAIN)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            if (rc < 0) {
                if (in.live)
                    fail(wmerr::kDeviceLost);
                else
                    ended = true; // end of the file, or a read error treated as its end
                endCode = rc;
                break;
            }
            if (in.live && pkt->stream_index >= 0 &&
                pkt->stream_index < static_cast<int>(in.fmt->nb_streams)) {
                const AVStream* st = in.fmt->streams[pkt->stream_index];
                int64_t us = liveStampUs(st, pkt->pts);
                if (pkt->duration > 0)
                    us += av_rescale_q(pkt->duration, st->time_base, AVRational{1, 1'000'000});
                reachedUs = std::max(reachedUs, us);
            }
            bool ok = true;
            if (pkt->stream_index == in.audio && s.audioDec)
                ok = decode(s.audioDec, in.fmt->streams[in.audio], pkt, frame, true);
            else if (pkt->stream_index == in.video && s.videoDec)
                ok = decode(s.videoDec, in.fmt->streams[in.video], pkt, frame, false);
            av_packet_unref(pkt);
            if (!ok)
                fail(wmerr::kEncodeFailed);
        }
        // The decoders' last pictures and samples belong to a file that ended by itself.
        if (ended && !stopping()) {
            bool ok = true;
            if (in.audio >= 0 && s.audioDec)
                ok = decode(s.audioDec, in.fmt->streams[in.audio], nullptr, frame, true) &&
                     convertAudio(nullptr, 0);
            if (ok && in.video >= 0 && s.videoDec)
                ok = decode(s.videoDec, in.fmt->streams[in.video], nullptr, frame, false);
            if (!ok)
                fail(wmerr::kEncodeFailed);
            // A file that ends before the length its header declares, or with a read
            // error, was cut short or damaged: what was read is kept, and the user told.
            const double read =
                static_cast<double>(std::max(m_audioMs.load(), m_videoMs.load())) / 1000.0;
            double declared = 0;
            if (in.fmt->duration > 0 &&
                in.fmt->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE)
                declared = static_cast<double>(in.fmt->duration) / AV_TIME_BASE;
            // A container such as AVI measures its length by what it finds, but its header
            // still counts the pictures it was meant to hold.
            if (in.video >= 0) {
                const AVStream* vst = in.fmt->streams[in.video];
                if (vst->nb_frames > 0 && vst->avg_frame_rate.num > 0 &&
                    vst->avg_frame_rate.den > 0)
                    declared = std::max(declared, static_cast<double>(vst->nb_frames) *
                                                      av_q2d(av_inv_q(vst->avg_frame_rate)));
            }
            const bool damaged = endCode != AVERROR_EOF;
            const bool shortfall = declared > 0 && read + std::max(1.0, declared * 0.02) < declared;
            if (damaged || shortfall) {
                std::lock_guard lock(endMutex);
                fileEnd.early = true;
                fileEnd.read = read;
                fileEnd.declared = std::max(fileEnd.declared, declared);
            }
        }
        av_packet_free(&pkt);
        av_frame_free(&frame);
    };

    std::vector<std::thread> helpers;
    try {
        for (size_t i = 1; i < s.inputs.size(); ++i)
            helpers.emplace_back([&, i] { readInput(*s.inputs[i]); });
    } catch (const std::system_error&) {
        fail(wmerr::kOutOfMemory);
    }
    readInput(*s.inputs[0]);
    for (std::thread& t : helpers)
        t.join();

    // Whatever has been encoded so far becomes a complete file, also after a stop or a
    // failure.
    bool ok = true;
    if (s.audioEnc) {
        const int64_t real = s.audioSamples + av_audio_fifo_size(s.fifo);
        int64_t target = real;
        // A capture's sound ends with its pictures: the device's last moments, if it
        // delivered them late or not at all, are silence.
        if (s.live && s.videoEnc && s.lastVideoPts >= 0)
            target =
                av_rescale_q(s.lastVideoPts + 1, s.videoEnc->time_base, AVRational{1, outRate});
        if (target > real)
            ok = addSilence(target - real);
        // The codec holds back one frame: a frame of silence after the end brings out
        // the last real one.
        if (ok && target > 0) {
            s.endSamples = target;
            ok = drainFifo(true);
            // The last frame was padded to the codec's frame size; the silence follows it.
            s.audioSamples = (s.audioSamples + frameSize - 1) / frameSize * frameSize;
            ok = ok && addSilence(frameSize) && drainFifo(true);
            s.audioSamples = target;
            m_audioMs = target * 1000 / outRate;
        }
        encodeAudio(nullptr);
    }
    if (s.videoEnc)
        encodeVideo(nullptr);
    // The postview shows the last pictures too; its thread ends with them.
    if (s.postDecoder)
        s.postDecoder->finish();
    uint32_t code = failure.load();
    if (!ok && !code)
        code = wmerr::kEncodeFailed;
    if (av_write_trailer(s.out) < 0 && !code)
        code = wmerr::kWriteFailed;
    int writeError = s.writeError.load();
    if (s.out->pb) {
        avio_flush(s.out->pb);
        if (s.out->pb->error < 0 && !writeError)
            writeError = s.out->pb->error;
        if (const int rc = avio_closep(&s.out->pb); rc < 0 && !writeError)
            writeError = rc;
    }
    // A write that failed is the cause, whatever else it made fail after it.
    if (writeError)
        code = writeFailureCode(writeError);

    if (code == 0 || (s.live && !writeError)) {
        // Finished, stopped, or a device that went away with the file intact.
        if (const uint32_t rc = s.file.Commit(); rc != 0 && !code)
            code = rc;
    } else if (s.live && repairAsfFile(s.file.TempPath())) {
        // A recording keeps what it captured up to the failure.
        if (s.file.Commit() == 0)
            m_report.partialKept = true;
    } else {
        s.file.Discard();
    }
    {
        std::error_code ec;
        const auto size = std::filesystem::file_size(m_report.outputPath, ec);
        m_fileSize = ec ? 0 : static_cast<int64_t>(size);
    }
    if (code == 0 && fileEnd.early) {
        m_report.inputEndedEarly = true;
        m_report.readSeconds = fileEnd.read;
        m_report.declaredSeconds = fileEnd.declared;
    }
    s.headerWritten = false;
    return code;
}

} // namespace cld
