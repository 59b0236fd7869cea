#include "Mp3Lame.h"

#include "Log.h"
#include "WmErrors.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <lame/lame.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

namespace {

// Held by each decode call and while a decoder is created.
std::mutex g_decoderState;

} // namespace

hip_global_struct* createMp3Decoder() {
    std::lock_guard lock(g_decoderState);
    return hip_decode_init();
}

int decodeMp3Headers(hip_global_struct* hip, uint8_t* buffer, size_t length, int16_t* left,
                     int16_t* right, mp3data_struct* data) {
    std::lock_guard lock(g_decoderState);
    return hip_decode1_headers(hip, buffer, length, left, right, data);
}

int decodeMp3HeadersB(hip_global_struct* hip, uint8_t* buffer, size_t length, int16_t* left,
                      int16_t* right, mp3data_struct* data, int* delay, int* padding) {
    std::lock_guard lock(g_decoderState);
    return hip_decode1_headersB(hip, buffer, length, left, right, data, delay, padding);
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
        // A constant-bitrate file gets the library's informational header frame too: it
        // records the encoder's delay and padding, which decoders need to play it
        // gaplessly.
        lame_set_VBR(lame, vbr_off);
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
    return lame_get_bWriteVbrTag(lame) != 0;
}

uint32_t writeMp3HeaderFrame(LameHandle lame, std::FILE* out) {
    if (!mp3WantsVbrHeader(lame))
        return 0;
    // The largest MPEG audio frame: 320 kbit/s at 8 kHz in MPEG-2.5 layer III.
    unsigned char frame[2880];
    const size_t n = lame_get_lametag_frame(lame, frame, sizeof frame);
    if (n == 0 || n > sizeof frame)
        return 0; // the library wrote no placeholder to fill in
    errno = 0;
    if (std::fflush(out) != 0 || std::fseek(out, 0, SEEK_SET) != 0 ||
        std::fwrite(frame, 1, n, out) != n || std::fflush(out) != 0 ||
        std::fseek(out, 0, SEEK_END) != 0)
        return wmerr::fromErrno(errno ? errno : EIO);
    return 0;
}

namespace {

// The checksum of the LAME tag and of the music it describes (CRC-16, polynomial 0x8005,
// bits reflected, starting at 0).
uint16_t lameCrc(const uint8_t* data, size_t size, uint16_t crc = 0) {
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

// The length of the layer III frame whose header starts at `h`, or 0 when it is none.
size_t layer3FrameLength(const uint8_t* h) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || ((h[1] >> 1) & 3) != 1)
        return 0;
    const int version = (h[1] >> 3) & 3; // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    const int bitrateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    if (version == 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return 0;
    static constexpr int kMpeg1Rates[] = {0,   32,  40,  48,  56,  64,  80, 96,
                                          112, 128, 160, 192, 224, 256, 320};
    static constexpr int kMpeg2Rates[] = {0,  8,  16, 24,  32,  40,  48, 56,
                                          64, 80, 96, 112, 128, 144, 160};
    static constexpr int kSampleRates[] = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const int bitrate = (mpeg1 ? kMpeg1Rates : kMpeg2Rates)[bitrateIndex] * 1000;
    const int sampleRate = kSampleRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    const int padding = (h[2] >> 1) & 1;
    return static_cast<size_t>((mpeg1 ? 144 : 72) * bitrate / sampleRate + padding);
}

void putBigEndian32(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 24);
    at[1] = static_cast<uint8_t>(value >> 16);
    at[2] = static_cast<uint8_t>(value >> 8);
    at[3] = static_cast<uint8_t>(value);
}

} // namespace

uint32_t finishCutMp3(LameHandle lame, const std::string& path) {
    if (!mp3WantsVbrHeader(lame))
        return 0;
    uint8_t frame[2880];
    const size_t n = lame_get_lametag_frame(lame, frame, sizeof frame);
    if (n < 4 || n > sizeof frame)
        return 0;
    // The recording's own temporary file: never a link, and never anything but a file.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return wmerr::fromErrno(errno);
    const auto fail = [fd](int error) {
        ::close(fd);
        return wmerr::fromErrno(error ? error : EIO);
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return fail(errno);
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return wmerr::kOutputNotFile;
    }
    const size_t size = static_cast<size_t>(st.st_size);
    if (size < n) {
        // Not even the reserved frame is whole: nothing here can be played.
        ::close(fd);
        return 0;
    }
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED)
        return fail(errno);
    const uint8_t* data = static_cast<const uint8_t*>(mapped);
    // The whole frames after the reserved one, and the checksum of their bytes.
    std::vector<size_t> starts;
    size_t end = n;
    uint16_t musicCrc = 0;
    while (end + 4 <= size) {
        const size_t length = layer3FrameLength(data + end);
        if (length < 4 || end + length > size)
            break;
        starts.push_back(end);
        musicCrc = lameCrc(data + end, length, musicCrc);
        end += length;
    }
    ::munmap(mapped, size);
    if (end < size && ::ftruncate(fd, static_cast<off_t>(end)) != 0)
        return fail(errno);

    // The Xing/Info header follows the side information, whose size depends on the MPEG
    // version and the channel mode.
    const bool mpeg1 = ((frame[1] >> 3) & 3) == 3;
    const bool mono = (frame[3] >> 6) == 3;
    size_t at = 4 + ((frame[1] & 1) == 0 ? 2 : 0) + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    if (at + 8 > n ||
        (std::memcmp(frame + at, "Xing", 4) != 0 && std::memcmp(frame + at, "Info", 4) != 0)) {
        ::close(fd);
        return 0;
    }
    const uint32_t flags = (uint32_t{frame[at + 4]} << 24) | (uint32_t{frame[at + 5]} << 16) |
                           (uint32_t{frame[at + 6]} << 8) | frame[at + 7];
    at += 8;
    const uint32_t frames = static_cast<uint32_t>(starts.size());
    if (flags & 1) {
        putBigEndian32(frame + at, frames);
        at += 4;
    }
    if (flags & 2) {
        putBigEndian32(frame + at, static_cast<uint32_t>(end));
        at += 4;
    }
    if (flags & 4) {
        // The seek table: where each hundredth of the playing time begins, in 256ths of
        // the file.
        for (int i = 0; i < 100; ++i) {
            const size_t index = frames ? static_cast<size_t>(i) * frames / 100 : 0;
            const size_t offset = frames ? starts[index] : 0;
            frame[at + i] =
                static_cast<uint8_t>(std::min<size_t>(255, i == 0 ? 0 : 256 * offset / end));
        }
        at += 100;
    }
    if (flags & 8)
        at += 4;
    if (at + 36 <= n && std::memcmp(frame + at, "LAME", 4) == 0) {
        // Every frame left decodes whole: no padding at the end, the encoder's delay kept.
        frame[at + 22] &= 0xF0;
        frame[at + 23] = 0;
        putBigEndian32(frame + at + 28, static_cast<uint32_t>(end));
        frame[at + 32] = static_cast<uint8_t>(musicCrc >> 8);
        frame[at + 33] = static_cast<uint8_t>(musicCrc);
        const uint16_t tagCrc = lameCrc(frame, at + 34);
        frame[at + 34] = static_cast<uint8_t>(tagCrc >> 8);
        frame[at + 35] = static_cast<uint8_t>(tagCrc);
    }
    // Only the reserved frame's own bytes are written over: the file does not grow.
    if (::pwrite(fd, frame, n, 0) != static_cast<ssize_t>(n))
        return fail(errno);
    if (::close(fd) != 0)
        return wmerr::fromErrno(errno);
    return 0;
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
