#include "Mp3Encoder.h"

#include "Mp3Lame.h"
#include "Mp3Tags.h"
#include "WaveFormat.h"
#include "WmErrors.h"

#include <algorithm>
#include <cerrno>
#include <lame/lame.h>
#include <new>

namespace cld::engine {

EncoderInfo Mp3Encoder::describe() {
    const Mp3EncoderParams p;
    return {
        "mp3",
        "MP3",
        ".mp3",
        false,
        {wholeSetting("bitrate", "Bitrate (kbit/s)", 8, 320, p.bitrate),
         wholeSetting("vbr", "Variable bitrate (0 off, 1 RH, 2 ABR, 3 MTRH)", 0, 3, p.vbrMethod),
         wholeSetting("vbrquality", "VBR quality (0 best)", 0, 9, p.vbrQuality),
         wholeSetting("maxbitrate", "Highest VBR bitrate (kbit/s)", 8, 320, p.vbrMaxBitrate),
         wholeSetting("meanbitrate", "Mean ABR bitrate (kbit/s)", 8, 320, p.abrMeanBitrate),
         wholeSetting("quality", "Encoding quality (0 best)", 0, 9, p.quality),
         wholeSetting("mode", "Channels (0 stereo, 1 joint, 2 forced joint, 3 mono, 4 auto)", 0, 4,
                      p.channelMode),
         wholeSetting("id3v2", "UTF-8 ID3 version 2 tag", 0, 1, 1)}};
}

Mp3Encoder::Mp3Encoder(EncoderOptions options) : FramedEncoder(".mp3", std::move(options)) {}

Mp3Encoder::~Mp3Encoder() {
    abort();
}

void Mp3Encoder::release() {
    if (m_lame)
        lame_close(m_lame);
    m_lame = nullptr;
}

void Mp3Encoder::abort() {
    m_file.Discard();
    release();
}

bool Mp3Encoder::readOptions(Mp3EncoderParams& p, bool& id3v2) {
    int tag = 1;
    if (!intOption(options(), "bitrate", 8, 320, p.bitrate, p.bitrate) ||
        !intOption(options(), "maxbitrate", 8, 320, p.vbrMaxBitrate, p.vbrMaxBitrate) ||
        !intOption(options(), "meanbitrate", 8, 320, p.abrMeanBitrate, p.abrMeanBitrate) ||
        !intOption(options(), "quality", 0, 9, p.quality, p.quality) ||
        !intOption(options(), "vbr", 0, 3, p.vbrMethod, p.vbrMethod) ||
        !intOption(options(), "vbrquality", 0, 9, p.vbrQuality, p.vbrQuality) ||
        !intOption(options(), "mode", 0, 4, p.channelMode, p.channelMode) ||
        !intOption(options(), "crc", 0, 1, p.crc, p.crc) ||
        !intOption(options(), "copyright", 0, 1, p.copyright, p.copyright) ||
        !intOption(options(), "original", 0, 1, p.original, p.original) ||
        !intOption(options(), "private", 0, 1, p.privateFlag, p.privateFlag) ||
        !intOption(options(), "id3v2", 0, 1, 1, tag))
        return false;
    id3v2 = tag == 1;
    return true;
}

bool Mp3Encoder::open(const std::string& path, const PcmFormat& format, const AudioTags& tags,
                      uint64_t, bool replaceExisting) {
    abort();
    clearFailure();
    Mp3EncoderParams params;
    if (!readOptions(params, m_id3v2))
        return false;
    if ((format.channels != 1 && format.channels != 2) ||
        (format.bitsPerSample != 16 && format.bitsPerSample != 24) || format.sampleRate <= 0) {
        setFailure(EncoderFault::Settings,
                   "MP3 files take one or two channels of 16- or 24-bit samples");
        return false;
    }
    m_lame = cld::createMp3Encoder(format.sampleRate, format.channels, params);
    if (!m_lame) {
        setFailure(EncoderFault::Settings,
                   "the MP3 encoder refused its settings: " + cld::lastLameReport());
        return false;
    }
    const WaveFormat wave = WaveFormat::Pcm(static_cast<uint16_t>(format.channels),
                                            static_cast<uint32_t>(format.sampleRate),
                                            static_cast<uint16_t>(format.bitsPerSample));
    beginFrames(wave.blockAlign);
    m_framesPerBlock = cld::mp3FramesPerBlock(m_lame);
    try {
        m_blocks.prepare(m_lame, wave, m_framesPerBlock);
    } catch (const std::bad_alloc&) {
        release();
        setFailure(EncoderFault::Encoder, "out of memory", cld::wmerr::kOutOfMemory);
        return false;
    }
    if (const uint32_t rc = m_file.Open(path, replaceExisting ? cld::files::Replace::RegularFile
                                                              : cld::files::Replace::Never)) {
        release();
        setFailure(EncoderFault::Output, "cannot create \"" + path + "\"", rc, takenCode(rc));
        return false;
    }
    m_tags = tags;
    return true;
}

bool Mp3Encoder::encodeFrames(const uint8_t* data, size_t frames) {
    while (frames > 0) {
        const int n =
            static_cast<int>(std::min<size_t>(frames, static_cast<size_t>(m_framesPerBlock)));
        const int encoded = m_blocks.encode(data, n);
        if (encoded < 0) {
            setFailure(EncoderFault::Encoder, "the MP3 encoder failed", cld::wmerr::kEncodeFailed);
            return false;
        }
        if (const uint32_t rc =
                cld::writeMp3Bytes(m_file.File(), m_blocks.data(), static_cast<size_t>(encoded))) {
            setFailure(EncoderFault::Write, "cannot write to \"" + m_file.FinalPath() + "\"", rc);
            return false;
        }
        data += static_cast<size_t>(n) * frameBytes();
        frames -= static_cast<size_t>(n);
    }
    return true;
}

bool Mp3Encoder::complete() {
    if (!failed()) {
        if (const uint32_t rc = cld::endMp3Stream(m_lame, m_blocks, m_file))
            setFailure(EncoderFault::Write, "cannot write to \"" + m_file.FinalPath() + "\"", rc);
    }
    release();
    if (!failed() && !m_tags.empty()) {
        if (const uint32_t rc = cld::writeMp3Tags(m_file.TempPath(), m_tags, m_id3v2))
            setFailure(EncoderFault::Write, "cannot tag \"" + m_file.FinalPath() + "\"", rc);
    }
    return commitFile(m_file);
}

} // namespace cld::engine
