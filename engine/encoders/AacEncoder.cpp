#include "AacEncoder.h"

#include "FfmpegLog.h"
#include "Mp3Tags.h"
#include "PcmInputFrame.h"
#include "SafeFiles.h"
#include "TagFileStream.h"
#include "TranscodeParts.h"
#include "VorbisComments.h"
#include "WMException.h"
#include "WmErrors.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include "TagFileStream.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>

namespace cld::engine {

namespace {

constexpr int kDefaultKbps = 128;

bool aacRate(int rate) {
    for (int r :
         {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350})
        if (r == rate)
            return true;
    return false;
}

TagLib::String utf8(const std::string& text) {
    return TagLib::String(cld::files::oneLine(cld::wellFormedUtf8(text)), TagLib::String::UTF8);
}

} // namespace

struct AacEncoder::State {
    AVFormatContext* out = nullptr;
    AVCodecContext* enc = nullptr;
    AVStream* stream = nullptr;
    SwrContext* swr = nullptr;
    AVAudioFifo* fifo = nullptr;
    PcmInputFrame input;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    ResampleBuffer conv;
    int frameSize = 1024;
    int64_t queued = 0;  // the audio's samples put into the FIFO, at the encoder's rate
    int64_t sent = 0;    // samples handed to the encoder (the last frame's padding not counted)
    int64_t written = 0; // the end of the last packet written, in samples
    bool ended = false;  // all the input is queued: packets past it are cut to its end

    ~State() {
        freeOutput(out);
        avcodec_free_context(&enc);
        swr_free(&swr);
        if (fifo)
            av_audio_fifo_free(fifo);
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
};

EncoderInfo AacEncoder::describe() {
    return {"aac",
            "AAC (M4A)",
            ".m4a",
            false,
            {wholeSetting("bitrate", "Bitrate (kbit/s)", 16, 320, kDefaultKbps), coverSetting()}};
}

AacEncoder::AacEncoder(EncoderOptions options) : FramedEncoder(".m4a", std::move(options)) {}

AacEncoder::~AacEncoder() {
    abort();
}

void AacEncoder::release() {
    m.reset();
}

void AacEncoder::abort() {
    release();
    m_file.Discard();
}

std::string AacEncoder::gaplessInfo(int delay, int64_t padding, int64_t frames) {
    char text[160];
    std::snprintf(text, sizeof text,
                  " 00000000 %08X %08X %016llX 00000000 00000000 00000000 00000000 00000000 "
                  "00000000 00000000 00000000",
                  static_cast<unsigned>(delay), static_cast<unsigned>(padding),
                  static_cast<unsigned long long>(frames));
    return text;
}

std::string AacEncoder::soundCheckInfo(double gainDb, double peak) {
    // The gain as the power ratio against 1/1000 and against 1/2500 of a watt, both
    // channels alike; players take the larger pair and expect at most 65534.
    const auto ratio = [gainDb](double base) {
        const double v = std::round(base * std::pow(10.0, -gainDb / 10.0));
        return static_cast<unsigned>(std::clamp(v, 1.0, 65534.0));
    };
    const unsigned r1000 = ratio(1000);
    const unsigned r2500 = ratio(2500);
    // The peak as a 16-bit sample's size.
    const auto top = static_cast<unsigned>(std::clamp(std::round(peak * 32768.0), 0.0, 65535.0));
    char text[100];
    std::snprintf(text, sizeof text,
                  " %08X %08X %08X %08X 00000000 00000000 %08X %08X 00000000 00000000", r1000,
                  r1000, r2500, r2500, top, top);
    return text;
}

bool AacEncoder::open(const std::string& path, const PcmFormat& format, const AudioTags& tags,
                      uint64_t, bool replaceExisting) {
    abort();
    clearFailure();
    if (format.channels < 1 || format.channels > 8 ||
        (format.bitsPerSample != 16 && format.bitsPerSample != 24 && format.bitsPerSample != 32) ||
        format.sampleRate < 1000 || format.sampleRate > 768000) {
        setFailure(EncoderFault::Settings,
                   "AAC files take 1 to 8 channels of 16-, 24- or 32-bit samples");
        return false;
    }
    const int pairs = std::max(1, (format.channels + 1) / 2);
    int kbps = 0;
    if (!intOption(options(), "bitrate", 16, 320 * pairs, kDefaultKbps, kbps) ||
        !coverOption(options(), m_cover))
        return false;
    installFfmpegLog();
    m = std::make_unique<State>();
    State& s = *m;
    const int rate = aacRate(format.sampleRate) ? format.sampleRate : 48000;
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (!codec || avformat_alloc_output_context2(&s.out, nullptr, "ipod", nullptr) < 0 || !s.out ||
        !(s.enc = avcodec_alloc_context3(codec))) {
        release();
        setFailure(EncoderFault::Settings, "this build has no AAC encoder",
                   cld::wmerr::kCodecMissing);
        return false;
    }
    s.enc->sample_fmt = AV_SAMPLE_FMT_FLTP;
    s.enc->sample_rate = rate;
    av_channel_layout_default(&s.enc->ch_layout, format.channels);
    s.enc->bit_rate = static_cast<int64_t>(kbps) * 1000;
    s.enc->time_base = AVRational{1, rate};
    if (s.out->oformat->flags & AVFMT_GLOBALHEADER)
        s.enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(s.enc, codec, nullptr) < 0) {
        release();
        setFailure(EncoderFault::Settings, "the AAC encoder refused its settings",
                   cld::wmerr::kCodecOpen);
        return false;
    }
    s.frameSize = s.enc->frame_size > 0 ? s.enc->frame_size : 1024;
    s.stream = avformat_new_stream(s.out, nullptr);
    const bool input = s.input.allocate(format.channels, format.bitsPerSample) &&
                       s.input.openResampler(s.swr, s.enc, format.sampleRate);
    s.fifo = av_audio_fifo_alloc(s.enc->sample_fmt, format.channels, s.frameSize * 4);
    s.frame = av_frame_alloc();
    s.packet = av_packet_alloc();
    if (!s.stream || !input || !s.fifo || !s.frame || !s.packet ||
        avcodec_parameters_from_context(s.stream->codecpar, s.enc) < 0) {
        release();
        setFailure(EncoderFault::Encoder, "out of memory", cld::wmerr::kOutOfMemory);
        return false;
    }
    s.stream->time_base = s.enc->time_base;
    // The edit list counts in the movie's time scale: at the audio's rate it holds the
    // exact length, where the usual milliseconds would cut up to one off.
    av_opt_set_int(s.out->priv_data, "movie_timescale", rate, 0);
    // The output is created only once everything else is known to work.
    if (const uint32_t code =
            m_file.Prepare(path, replaceExisting ? cld::files::Replace::RegularFile
                                                 : cld::files::Replace::Never)) {
        release();
        setFailure(EncoderFault::Output, "cannot create \"" + path + "\"", code, takenCode(code));
        return false;
    }
    try {
        openOutput(s.out, m_file);
    } catch (const WMException& e) {
        release();
        m_file.Discard();
        setFailure(EncoderFault::Output, "cannot create \"" + path + "\"", e.GetCode());
        return false;
    }
    m_tags = tags;
    beginFrames(static_cast<size_t>(format.channels) *
                static_cast<size_t>(format.bitsPerSample / 8));
    return true;
}

void AacEncoder::writeFailure() {
    const int error = m && m->out && m->out->pb ? m->out->pb->error : 0;
    setFailure(EncoderFault::Write, "cannot write to \"" + m_file.FinalPath() + "\"",
               error < 0 ? writeFailureCode(error) : cld::wmerr::kWriteFailed);
}

bool AacEncoder::drain(bool final) {
    State& s = *m;
    const auto onPacket = [&s](AVPacket* p) {
        p->stream_index = s.stream->index;
        // The encoder's delay puts the first packet before 0; the padding of the last
        // frame is cut off by shortening the packets past the input's end, which the
        // muxer's edit list then leaves out.
        if (s.ended && p->pts + p->duration > s.queued)
            p->duration = std::max<int64_t>(1, s.queued - p->pts);
        s.written = p->pts + p->duration;
        av_packet_rescale_ts(p, s.enc->time_base, s.stream->time_base);
        return av_interleaved_write_frame(s.out, p) >= 0;
    };
    while (av_audio_fifo_size(s.fifo) >= s.frameSize || (final && av_audio_fifo_size(s.fifo) > 0)) {
        const int got = readFifoFrame(s.fifo, s.frame, s.enc, s.frameSize);
        if (got < 0) {
            setFailure(EncoderFault::Encoder, "out of memory", cld::wmerr::kOutOfMemory);
            return false;
        }
        s.frame->pts = s.sent;
        s.sent += got;
        if (!encodeFrame(s.enc, s.frame, s.packet, onPacket)) {
            writeFailure();
            return false;
        }
    }
    if (final && !encodeFrame(s.enc, nullptr, s.packet, onPacket)) {
        writeFailure();
        return false;
    }
    return true;
}

bool AacEncoder::encodeFrames(const uint8_t* data, size_t frames) {
    State& s = *m;
    constexpr size_t kStep = 8192;
    while (frames > 0) {
        const size_t n = std::min(frames, kStep);
        const int maxOut = swr_get_out_samples(s.swr, static_cast<int>(n));
        const int got = s.conv.Convert(s.swr, s.input.point(data, n), maxOut, s.enc);
        s.input.release();
        if (got < 0 ||
            (got > 0 && av_audio_fifo_write(s.fifo, reinterpret_cast<void**>(s.conv.planes.data()),
                                            got) < got)) {
            setFailure(EncoderFault::Encoder, "the AAC encoder's resampler failed",
                       cld::wmerr::kEncodeFailed);
            return false;
        }
        s.queued += got;
        if (!drain(false))
            return false;
        data += n * frameBytes();
        frames -= n;
    }
    return true;
}

bool AacEncoder::writeTags() {
    const State& s = *m;
    const std::unique_ptr<TagLib::FileStream> stream = cld::openOwnTagFile(m_file.TempPath());
    if (!stream)
        return false;
    TagLib::MP4::File file(stream.get(), false);
    TagLib::MP4::Tag* tag = file.isValid() ? file.tag() : nullptr;
    if (!tag)
        return false;
    const auto text = [tag](const char* atom, const std::string& value) {
        if (!value.empty())
            tag->setItem(atom, TagLib::MP4::Item(TagLib::StringList(utf8(value))));
    };
    text("\251nam", m_tags.title);
    text("\251ART", m_tags.artist);
    text("\251alb", m_tags.album);
    text("aART", m_tags.albumArtist);
    text("\251day", m_tags.year);
    text("\251gen", m_tags.genre);
    if (m_tags.track > 0)
        tag->setItem("trkn", TagLib::MP4::Item(m_tags.track, std::max(m_tags.trackTotal, 0)));
    text("----:com.apple.iTunes:DISCID", m_tags.discId);
    text("----:com.apple.iTunes:ISRC", m_tags.isrc);
    text("----:com.apple.iTunes:BARCODE", m_tags.barcode);
    if (m_tags.trackGainDb)
        text("----:com.apple.iTunes:replaygain_track_gain", replayGainText(*m_tags.trackGainDb));
    if (m_tags.trackPeak)
        text("----:com.apple.iTunes:replaygain_track_peak", replayPeakText(*m_tags.trackPeak));
    if (m_tags.albumGainDb)
        text("----:com.apple.iTunes:replaygain_album_gain", replayGainText(*m_tags.albumGainDb));
    if (m_tags.albumPeak)
        text("----:com.apple.iTunes:replaygain_album_peak", replayPeakText(*m_tags.albumPeak));
    if (m_tags.trackGainDb)
        text("----:com.apple.iTunes:iTunNORM",
             soundCheckInfo(*m_tags.trackGainDb, m_tags.trackPeak.value_or(1.0)));
    const int delay = s.enc->initial_padding;
    text("----:com.apple.iTunes:iTunSMPB",
         gaplessInfo(delay, (s.queued + s.frameSize - 1) / s.frameSize * s.frameSize - s.queued,
                     s.queued));
    const std::string mime = coverMime(m_tags);
    if (m_cover && !mime.empty()) {
        TagLib::MP4::CoverArtList covers;
        covers.append(TagLib::MP4::CoverArt(
            mime == "image/png" ? TagLib::MP4::CoverArt::PNG : TagLib::MP4::CoverArt::JPEG,
            TagLib::ByteVector(reinterpret_cast<const char*>(m_tags.cover.data()),
                               static_cast<unsigned int>(m_tags.cover.size()))));
        tag->setItem("covr", TagLib::MP4::Item(covers));
    }
    return file.save();
}

bool AacEncoder::complete() {
    State& s = *m;
    if (!failed()) {
        // What the resampler still holds, then the last frame and the encoder's flush.
        const int got = s.conv.Convert(s.swr, nullptr, s.frameSize * 4, s.enc);
        if (got < 0 ||
            (got > 0 && av_audio_fifo_write(s.fifo, reinterpret_cast<void**>(s.conv.planes.data()),
                                            got) < got))
            setFailure(EncoderFault::Encoder, "the AAC encoder's resampler failed",
                       cld::wmerr::kEncodeFailed);
        else
            s.queued += got;
    }
    s.ended = true;
    if (!failed())
        drain(true);
    if (!failed()) {
        int ioError = 0;
        bool ok = av_write_trailer(s.out) >= 0;
        if (s.out->pb) {
            avio_flush(s.out->pb);
            ioError = s.out->pb->error;
            ok = ioError >= 0 && avio_closep(&s.out->pb) >= 0 && ok;
        }
        if (!ok)
            setFailure(EncoderFault::Write, "cannot write to \"" + m_file.FinalPath() + "\"",
                       ioError < 0 ? writeFailureCode(ioError) : cld::wmerr::kWriteFailed);
    }
    if (!failed() && !writeTags())
        setFailure(EncoderFault::Write, "cannot tag \"" + m_file.FinalPath() + "\"",
                   cld::wmerr::kWriteFailed);
    release();
    return commitFile(m_file);
}

} // namespace cld::engine
