#include "OpusEncoder.h"

#include "VorbisComments.h"
#include "WmErrors.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <opus/opusenc.h>

namespace cld::engine {

namespace {

// The opusenc command's rule for a bitrate not given: 64 kbit/s a channel, 32 less for
// each stereo pair (64 for mono, 96 for stereo).
int defaultKbps(int channels) {
    return 64 * channels - 32 * (channels / 2);
}

} // namespace

EncoderInfo OpusEncoder::describe() {
    return {"opus",
            "Opus",
            ".opus",
            false,
            {wholeSetting("bitrate", "Bitrate (kbit/s)", 6, 512, defaultKbps(2)),
             choiceSetting("bitratemode", "Bitrate mode", {"vbr", "cvbr", "cbr"}, "vbr"),
             wholeSetting("complexity", "Complexity", 0, 10, 10), coverSetting()}};
}

OpusEncoder::OpusEncoder(EncoderOptions options) : FramedEncoder(".opus", std::move(options)) {}

OpusEncoder::~OpusEncoder() {
    abort();
}

void OpusEncoder::release() {
    if (m_encoder)
        ope_encoder_destroy(m_encoder);
    m_encoder = nullptr;
}

void OpusEncoder::abort() {
    release();
    m_file.Discard();
}

int OpusEncoder::writePage(void* self, const unsigned char* data, int32_t bytes) {
    auto* me = static_cast<OpusEncoder*>(self);
    std::FILE* file = me->m_file.File();
    if (!file)
        return 1;
    errno = 0;
    if (std::fwrite(data, 1, static_cast<size_t>(bytes), file) != static_cast<size_t>(bytes)) {
        me->m_writeErrno = errno ? errno : EIO;
        return 1;
    }
    return 0;
}

int OpusEncoder::closeStream(void*) {
    return 0; // the output file is closed as it takes its name
}

void OpusEncoder::libraryFailure(int rc, const std::string& what) {
    if (m_writeErrno != 0 || rc == OPE_WRITE_FAIL)
        setFailure(EncoderFault::Write, "cannot write to \"" + m_file.FinalPath() + "\"",
                   cld::wmerr::fromErrno(m_writeErrno ? m_writeErrno : EIO));
    else if (rc == OPE_ALLOC_FAIL)
        setFailure(EncoderFault::Encoder, "out of memory", cld::wmerr::kOutOfMemory);
    else
        setFailure(EncoderFault::Encoder, what + ": " + ope_strerror(rc),
                   cld::wmerr::kEncodeFailed);
}

bool OpusEncoder::open(const std::string& path, const PcmFormat& format, const AudioTags& tags,
                       uint64_t, bool replaceExisting) {
    abort();
    clearFailure();
    m_writeErrno = 0;
    if (format.channels < 1 || format.channels > 8 ||
        (format.bitsPerSample != 16 && format.bitsPerSample != 24 && format.bitsPerSample != 32) ||
        format.sampleRate < 100 || format.sampleRate > 768000) {
        setFailure(EncoderFault::Settings,
                   "Opus files take 1 to 8 channels of 16-, 24- or 32-bit samples");
        return false;
    }
    int kbps = 0;
    bool cover = true;
    int complexity = 10;
    if (!intOption(options(), "bitrate", 6, 256 * format.channels, defaultKbps(format.channels),
                   kbps) ||
        !intOption(options(), "complexity", 0, 10, 10, complexity) ||
        !coverOption(options(), cover))
        return false;
    std::string mode = "vbr";
    if (const auto it = options().find("bitratemode"); it != options().end()) {
        mode = it->second;
        if (mode != "vbr" && mode != "cvbr" && mode != "cbr") {
            setFailure(EncoderFault::Settings,
                       "the setting bitratemode=\"" + mode + "\" is not one of vbr, cvbr and cbr");
            return false;
        }
    }

    OggOpusComments* comments = ope_comments_create();
    if (!comments) {
        setFailure(EncoderFault::Encoder, "out of memory", cld::wmerr::kOutOfMemory);
        return false;
    }
    std::vector<std::string> texts = vorbisComments(tags);
    for (std::string& c : loudnessComments(tags, LoudnessTags::R128))
        texts.push_back(std::move(c));
    if (cover) {
        if (std::string picture = pictureComment(tags); !picture.empty())
            texts.push_back(std::move(picture));
    }
    bool ok = true;
    for (const std::string& c : texts)
        ok = ope_comments_add_string(comments, c.c_str()) == OPE_OK && ok;
    if (!ok) {
        ope_comments_destroy(comments);
        setFailure(EncoderFault::Encoder, "out of memory", cld::wmerr::kOutOfMemory);
        return false;
    }

    // The output is created once the library has taken its settings.
    static const OpusEncCallbacks kCallbacks = {&OpusEncoder::writePage, &OpusEncoder::closeStream};
    int rc = OPE_OK;
    m_encoder = ope_encoder_create_callbacks(&kCallbacks, this, comments, format.sampleRate,
                                             format.channels, format.channels > 2 ? 1 : 0, &rc);
    ope_comments_destroy(comments);
    if (!m_encoder) {
        setFailure(EncoderFault::Settings,
                   std::string("the Opus encoder refused the audio's format: ") + ope_strerror(rc));
        return false;
    }
    ok = ope_encoder_ctl(m_encoder, OPUS_SET_BITRATE(kbps * 1000)) == OPE_OK &&
         ope_encoder_ctl(m_encoder, OPUS_SET_VBR(mode == "cbr" ? 0 : 1)) == OPE_OK &&
         ope_encoder_ctl(m_encoder, OPUS_SET_COMPLEXITY(complexity)) == OPE_OK;
    if (ok && mode != "cbr")
        ok = ope_encoder_ctl(m_encoder, OPUS_SET_VBR_CONSTRAINT(mode == "cvbr" ? 1 : 0)) == OPE_OK;
    if (!ok) {
        release();
        setFailure(EncoderFault::Settings, "the Opus encoder refused its settings");
        return false;
    }
    if (const uint32_t code = m_file.Open(path, replaceExisting ? cld::files::Replace::RegularFile
                                                                : cld::files::Replace::Never)) {
        release();
        setFailure(EncoderFault::Output, "cannot create \"" + path + "\"", code, takenCode(code));
        return false;
    }
    m_channels = format.channels;
    m_bits = format.bitsPerSample;
    beginFrames(static_cast<size_t>(format.channels) * static_cast<size_t>(m_bits / 8));
    m_written = 0;
    return true;
}

bool OpusEncoder::encodeFrames(const uint8_t* data, size_t frames) {
    constexpr size_t kStep = 4800;
    while (frames > 0) {
        const size_t n = std::min(frames, kStep);
        int rc = OPE_OK;
        if (m_bits == 16) {
            // Interleaved 16-bit little-endian samples, as the library takes them.
            std::vector<int16_t>& samples = m_shorts;
            samples.resize(n * static_cast<size_t>(m_channels));
            for (size_t i = 0; i < samples.size(); ++i)
                samples[i] = static_cast<int16_t>(static_cast<uint16_t>(data[2 * i]) |
                                                  static_cast<uint16_t>(data[2 * i + 1]) << 8);
            rc = ope_encoder_write(m_encoder, samples.data(), static_cast<int>(n));
        } else {
            const size_t values = n * static_cast<size_t>(m_channels);
            m_floats.resize(values);
            const size_t width = static_cast<size_t>(m_bits / 8);
            for (size_t i = 0; i < values; ++i) {
                const uint8_t* p = data + i * width;
                uint32_t v = 0;
                for (size_t b = 0; b < width; ++b)
                    v |= static_cast<uint32_t>(p[b]) << (8 * (4 - width + b));
                m_floats[i] = static_cast<float>(static_cast<int32_t>(v) / 2147483648.0);
            }
            rc = ope_encoder_write_float(m_encoder, m_floats.data(), static_cast<int>(n));
        }
        if (rc != OPE_OK || m_writeErrno != 0) {
            libraryFailure(rc, "the Opus encoder failed");
            return false;
        }
        m_written += n;
        data += n * frameBytes();
        frames -= n;
    }
    return true;
}

bool OpusEncoder::complete() {
    // The library cannot end a stream that never had audio (it would mark its end with a
    // position it never set): such a file is refused rather than made broken.
    if (!failed() && m_written == 0)
        setFailure(EncoderFault::Encoder, "cannot write \"" + m_file.FinalPath() +
                                              "\": an Opus file cannot be made of no audio");
    if (!failed()) {
        const int rc = ope_encoder_drain(m_encoder);
        if (rc != OPE_OK || m_writeErrno != 0)
            libraryFailure(rc, "the Opus encoder failed");
    }
    release();
    return commitFile(m_file);
}

} // namespace cld::engine
