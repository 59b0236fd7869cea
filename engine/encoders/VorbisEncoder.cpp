#include "VorbisEncoder.h"

#include "VorbisComments.h"
#include "WmErrors.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ogg/ogg.h>
#include <random>
#include <vorbis/vorbisenc.h>

namespace cld::engine {

namespace {

constexpr double kDefaultQuality = 3.0;

} // namespace

struct VorbisEncoder::State {
    vorbis_info info;
    vorbis_comment comment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    ogg_stream_state stream;
    bool infoReady = false;
    bool dspReady = false;
    bool streamReady = false;

    State() {
        vorbis_info_init(&info);
        vorbis_comment_init(&comment);
    }
    ~State() {
        if (streamReady)
            ogg_stream_clear(&stream);
        if (dspReady) {
            vorbis_block_clear(&block);
            vorbis_dsp_clear(&dsp);
        }
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
};

EncoderInfo VorbisEncoder::describe() {
    return {"vorbis",
            "Ogg Vorbis",
            ".ogg",
            false,
            {decimalSetting("quality", "Quality", -1, 10, "3"), coverSetting()}};
}

VorbisEncoder::VorbisEncoder(EncoderOptions options) : FramedEncoder(".ogg", std::move(options)) {}

VorbisEncoder::~VorbisEncoder() {
    abort();
}

void VorbisEncoder::release() {
    m.reset();
}

void VorbisEncoder::abort() {
    release();
    m_file.Discard();
}

bool VorbisEncoder::open(const std::string& path, const PcmFormat& format, const AudioTags& tags,
                         uint64_t, bool replaceExisting) {
    abort();
    clearFailure();
    if (format.channels < 1 || format.channels > 8 ||
        (format.bitsPerSample != 16 && format.bitsPerSample != 24 && format.bitsPerSample != 32) ||
        format.sampleRate < 8000 || format.sampleRate > 192000) {
        setFailure(EncoderFault::Settings, "Ogg Vorbis files take 1 to 8 channels of 16-, 24- or "
                                           "32-bit samples at 8000 to 192000 Hz");
        return false;
    }
    double quality = kDefaultQuality;
    bool cover = true;
    if (!decimalOption(options(), "quality", -1.0, 10.0, kDefaultQuality, quality) ||
        !coverOption(options(), cover))
        return false;

    m = std::make_unique<State>();
    State& s = *m;
    if (vorbis_encode_init_vbr(&s.info, format.channels, format.sampleRate,
                               static_cast<float>(quality / 10.0)) != 0) {
        release();
        setFailure(EncoderFault::Settings,
                   "the Vorbis encoder refused the quality for this audio (" +
                       std::to_string(format.channels) + " channels at " +
                       std::to_string(format.sampleRate) + " Hz)");
        return false;
    }
    std::vector<std::string> texts = vorbisComments(tags);
    for (std::string& c : loudnessComments(tags, LoudnessTags::ReplayGain))
        texts.push_back(std::move(c));
    if (cover) {
        if (std::string picture = pictureComment(tags); !picture.empty())
            texts.push_back(std::move(picture));
    }
    for (const std::string& c : texts)
        vorbis_comment_add(&s.comment, c.c_str());
    if (vorbis_analysis_init(&s.dsp, &s.info) != 0) {
        release();
        setFailure(EncoderFault::Settings, "the Vorbis encoder refused the audio's format");
        return false;
    }
    vorbis_block_init(&s.dsp, &s.block);
    s.dspReady = true;
    std::random_device random;
    ogg_stream_init(&s.stream, static_cast<int>(random() & 0x7FFFFFFF));
    s.streamReady = true;

    if (const uint32_t code = m_file.Open(path, replaceExisting ? cld::files::Replace::RegularFile
                                                                : cld::files::Replace::Never)) {
        release();
        setFailure(EncoderFault::Output, "cannot create \"" + path + "\"", code, takenCode(code));
        return false;
    }
    ogg_packet header, comments, code;
    vorbis_analysis_headerout(&s.dsp, &s.comment, &header, &comments, &code);
    ogg_stream_packetin(&s.stream, &header);
    ogg_stream_packetin(&s.stream, &comments);
    ogg_stream_packetin(&s.stream, &code);
    // The headers on pages of their own, before the first audio page.
    ogg_page page;
    while (ogg_stream_flush(&s.stream, &page) != 0) {
        if (!writePage(page.header, page.header_len, page.body, page.body_len)) {
            abort();
            return false;
        }
    }
    m_channels = format.channels;
    m_bits = format.bitsPerSample;
    beginFrames(static_cast<size_t>(format.channels) * static_cast<size_t>(m_bits / 8));
    return true;
}

bool VorbisEncoder::writePage(const unsigned char* header, long headerBytes,
                              const unsigned char* body, long bodyBytes) {
    std::FILE* file = m_file.File();
    errno = 0;
    if (std::fwrite(header, 1, static_cast<size_t>(headerBytes), file) !=
            static_cast<size_t>(headerBytes) ||
        std::fwrite(body, 1, static_cast<size_t>(bodyBytes), file) !=
            static_cast<size_t>(bodyBytes)) {
        setFailure(EncoderFault::Write, "cannot write to \"" + m_file.FinalPath() + "\"",
                   cld::wmerr::fromErrno(errno ? errno : EIO));
        return false;
    }
    return true;
}

bool VorbisEncoder::writePackets(bool flush) {
    State& s = *m;
    ogg_packet packet;
    ogg_page page;
    while (vorbis_analysis_blockout(&s.dsp, &s.block) == 1) {
        if (vorbis_analysis(&s.block, nullptr) != 0 || vorbis_bitrate_addblock(&s.block) != 0) {
            setFailure(EncoderFault::Encoder, "the Vorbis encoder failed",
                       cld::wmerr::kEncodeFailed);
            return false;
        }
        while (vorbis_bitrate_flushpacket(&s.dsp, &packet) == 1) {
            ogg_stream_packetin(&s.stream, &packet);
            while (ogg_stream_pageout(&s.stream, &page) != 0) {
                if (!writePage(page.header, page.header_len, page.body, page.body_len))
                    return false;
            }
        }
    }
    while (flush && ogg_stream_flush(&s.stream, &page) != 0) {
        if (!writePage(page.header, page.header_len, page.body, page.body_len))
            return false;
    }
    return true;
}

bool VorbisEncoder::encodeFrames(const uint8_t* data, size_t frames) {
    constexpr size_t kStep = 4096;
    const size_t width = static_cast<size_t>(m_bits / 8);
    const double scale = 1.0 / 2147483648.0;
    while (frames > 0) {
        const size_t n = std::min(frames, kStep);
        float** planes = vorbis_analysis_buffer(&m->dsp, static_cast<int>(n));
        if (m_bits == 16) {
            const size_t channels = static_cast<size_t>(m_channels);
            for (size_t c = 0; c < channels; ++c) {
                float* plane = planes[c];
                const uint8_t* p = data + 2 * c;
                for (size_t f = 0; f < n; ++f, p += 2 * channels)
                    plane[f] = static_cast<float>(static_cast<int16_t>(p[0] | p[1] << 8)) *
                               (1.0f / 32768.0f);
            }
        }
        for (size_t f = 0; m_bits != 16 && f < n; ++f) {
            for (int c = 0; c < m_channels; ++c) {
                const uint8_t* p =
                    data + (f * static_cast<size_t>(m_channels) + static_cast<size_t>(c)) * width;
                uint32_t v = 0;
                for (size_t b = 0; b < width; ++b)
                    v |= static_cast<uint32_t>(p[b]) << (8 * (4 - width + b));
                planes[c][f] = static_cast<float>(static_cast<int32_t>(v) * scale);
            }
        }
        vorbis_analysis_wrote(&m->dsp, static_cast<int>(n));
        if (!writePackets(false))
            return false;
        data += n * frameBytes();
        frames -= n;
    }
    return true;
}

bool VorbisEncoder::complete() {
    if (!failed()) {
        // The end of the input: the last packet carries the total length.
        vorbis_analysis_wrote(&m->dsp, 0);
        writePackets(true);
    }
    release();
    return commitFile(m_file);
}

} // namespace cld::engine
