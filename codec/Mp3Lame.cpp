#include "Mp3Lame.h"

#include "Log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <lame/lame.h>
#include <mutex>

namespace cld {
namespace {

std::mutex g_reportLock;
std::string g_lastReport;

// The library hands us printf-style reports; the format is its own, not outside input.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wformat-nonliteral"
#elif defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
void storeReport(const char* format, va_list args) {
    char buf[1024];
    std::vsnprintf(buf, sizeof buf, format, args);
#if defined(__clang__)
#pragma clang diagnostic pop
#elif defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    {
        std::lock_guard lock(g_reportLock);
        g_lastReport = buf;
    }
    size_t n = std::strlen(buf);
    while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r'))
        buf[--n] = '\0';
    if (n > 0)
        log(LogLevel::Debug, std::string("lame: ") + buf);
}

} // namespace

void routeLameReports(LameHandle lame) {
    lame_set_errorf(lame, storeReport);
    lame_set_debugf(lame, storeReport);
    lame_set_msgf(lame, storeReport);
}

void routeDecoderReports(hip_global_struct* hip) {
    hip_set_errorf(hip, storeReport);
    hip_set_debugf(hip, storeReport);
    hip_set_msgf(hip, storeReport);
}

std::string lastLameReport() {
    std::lock_guard lock(g_reportLock);
    return g_lastReport;
}

namespace {

int32_t clamp(int32_t v, int32_t lo, int32_t hi) {
    return v < lo ? lo : v > hi ? hi : v;
}

} // namespace

Mp3EncoderParams sanitizeMp3Params(const Mp3EncoderParams& in) {
    // The library asserts (and aborts the process) on some contradictory bounds, such
    // as an ABR mean above the VBR maximum, so every value is brought into its range and
    // the bounds into order: minimum <= mean <= maximum.
    Mp3EncoderParams p = in;
    p.channelMode = clamp(p.channelMode, 0, 4);
    p.bitrate = clamp(p.bitrate, 8, 320);
    p.vbrMaxBitrate = clamp(p.vbrMaxBitrate, 8, 320);
    p.abrMeanBitrate = clamp(p.abrMeanBitrate, 8, 320);
    p.quality = clamp(p.quality, 0, 9);
    p.vbrMethod = clamp(p.vbrMethod, 0, 3);
    p.vbrQuality = clamp(p.vbrQuality, 0, 9);
    if (p.vbrMethod != 0) {
        if (p.vbrMaxBitrate < p.bitrate)
            p.vbrMaxBitrate = p.bitrate;
        p.abrMeanBitrate = clamp(p.abrMeanBitrate, p.bitrate, p.vbrMaxBitrate);
    }
    p.crc = p.crc ? 1 : 0;
    p.copyright = p.copyright ? 1 : 0;
    p.original = p.original ? 1 : 0;
    p.privateFlag = p.privateFlag ? 1 : 0;
    return p;
}

LameHandle createMp3Encoder(int sampleRate, int channels, const Mp3EncoderParams& asked) {
    if (sampleRate < 8000 || sampleRate > 384000 || channels < 1 || channels > 2)
        return nullptr;
    const Mp3EncoderParams p = sanitizeMp3Params(asked);
    lame_t lame = lame_init();
    if (!lame)
        return nullptr;
    // Reports go to our buffer from the start, so that set-up complaints do not reach
    // the terminal either.
    routeLameReports(lame);
    lame_set_in_samplerate(lame, sampleRate);
    lame_set_num_channels(lame, channels);

    switch (p.channelMode) {
    case 0:
        lame_set_mode(lame, STEREO);
        break;
    case 1:
        lame_set_mode(lame, JOINT_STEREO);
        break;
    case 2:
        lame_set_force_ms(lame, 1);
        lame_set_mode(lame, JOINT_STEREO);
        break;
    case 3:
        lame_set_mode(lame, MONO);
        break;
    default:
        break; // the library chooses
    }
    lame_set_brate(lame, p.bitrate);
    lame_set_quality(lame, p.quality);
    switch (p.vbrMethod) {
    case 1:
        lame_set_VBR(lame, vbr_rh);
        break;
    case 2:
        lame_set_VBR(lame, vbr_abr);
        break;
    case 3:
        lame_set_VBR(lame, vbr_mtrh);
        break;
    default:
        lame_set_VBR(lame, vbr_off);
        // A constant-bitrate file carries no header frame; the library would otherwise
        // add an informational one.
        lame_set_bWriteVbrTag(lame, 0);
        break;
    }
    lame_set_VBR_min_bitrate_kbps(lame, p.bitrate);
    lame_set_VBR_max_bitrate_kbps(lame, p.vbrMaxBitrate);
    lame_set_VBR_mean_bitrate_kbps(lame, p.abrMeanBitrate);
    lame_set_VBR_q(lame, p.vbrQuality);
    lame_set_copyright(lame, p.copyright);
    lame_set_error_protection(lame, p.crc);
    lame_set_original(lame, p.original);
    lame_set_extension(lame, p.privateFlag);
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        return nullptr;
    }
    return lame;
}

int mp3FramesPerBlock(LameHandle lame) {
    const int perFrame = lame_get_version(lame) == 1 ? 1152 : 576;
    return lame_get_num_channels(lame) * perFrame;
}

size_t mp3BufferBytes(int samplesPerChannel) {
    return static_cast<size_t>(samplesPerChannel) * 5 / 4 + 7200;
}

int mp3EncodeInterleaved(LameHandle lame, int16_t* pcm, int samplesPerChannel, int channels,
                         uint8_t* out, size_t outSize) {
    const int size = static_cast<int>(outSize);
    if (channels == 1)
        return lame_encode_buffer(lame, pcm, pcm, samplesPerChannel, out, size);
    return lame_encode_buffer_interleaved(lame, pcm, samplesPerChannel, out, size);
}

int mp3EncodeInterleavedInt(LameHandle lame, int* pcm, int samplesPerChannel, int channels,
                            uint8_t* out, size_t outSize) {
    const int size = static_cast<int>(outSize);
    if (channels == 1)
        return lame_encode_buffer_int(lame, pcm, pcm, samplesPerChannel, out, size);
    return lame_encode_buffer_interleaved_int(lame, pcm, samplesPerChannel, out, size);
}

namespace {

int floatToInt32(double v) {
    if (!(v > -1.0)) // also NaN
        return v < 0 ? INT32_MIN : 0;
    if (v >= 1.0)
        return INT32_MAX;
    return static_cast<int>(v * 2147483648.0);
}

} // namespace

void widenToInt32(const uint8_t* in, size_t count, int bitsPerSample, bool isFloat, int* out) {
    for (size_t i = 0; i < count; ++i) {
        if (isFloat && bitsPerSample == 32) {
            float f;
            std::memcpy(&f, in + 4 * i, 4);
            out[i] = floatToInt32(f);
        } else if (isFloat) {
            double d;
            std::memcpy(&d, in + 8 * i, 8);
            out[i] = floatToInt32(d);
        } else if (bitsPerSample == 24) {
            const uint8_t* p = in + 3 * i;
            const uint32_t v = (static_cast<uint32_t>(p[0]) << 8) |
                               (static_cast<uint32_t>(p[1]) << 16) |
                               (static_cast<uint32_t>(p[2]) << 24);
            out[i] = static_cast<int>(v);
        } else {
            uint32_t v;
            std::memcpy(&v, in + 4 * i, 4);
            out[i] = static_cast<int>(v);
        }
    }
}

bool mp3WantsVbrHeader(LameHandle lame) {
    return lame_get_bWriteVbrTag(lame) != 0 && lame_get_VBR(lame) != vbr_off;
}

void widen8Bit(const uint8_t* in, size_t count, int16_t* out) {
    for (size_t i = 0; i < count; ++i)
        out[i] = static_cast<int16_t>((static_cast<int>(in[i]) - 128) * 256);
}

} // namespace cld

Mp3EncoderParams Mp3EncoderParams::LibraryDefaults() {
    Mp3EncoderParams p;
    lame_t lame = lame_init();
    if (!lame)
        return p;
    cld::routeLameReports(lame);
    if (lame_init_params(lame) >= 0) {
        p.channelMode = lame_get_force_ms(lame) ? 2 : static_cast<int32_t>(lame_get_mode(lame));
        p.bitrate = lame_get_brate(lame);
        p.quality = lame_get_quality(lame);
        const vbr_mode vbr = lame_get_VBR(lame);
        p.vbrMethod = vbr == vbr_off ? 0 : vbr == vbr_rh ? 1 : vbr == vbr_abr ? 2 : 3;
        p.vbrMaxBitrate = lame_get_VBR_max_bitrate_kbps(lame);
        p.abrMeanBitrate = lame_get_VBR_mean_bitrate_kbps(lame);
        p.vbrQuality = lame_get_VBR_q(lame);
        p.crc = lame_get_error_protection(lame);
        p.copyright = lame_get_copyright(lame);
        p.original = lame_get_original(lame);
        p.privateFlag = lame_get_extension(lame);
    }
    lame_close(lame);
    return p;
}
