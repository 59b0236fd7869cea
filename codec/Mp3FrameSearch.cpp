#include "Mp3FrameSearch.h"

#include <algorithm>
#include <cstring>
#include <lame/lame.h>

namespace cld {
namespace {

// kbit/s by version class (MPEG-1, MPEG-2/2.5), layer and index.
constexpr int kBitrates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};
constexpr int kRates[3] = {44100, 48000, 32000};

// Bounds of a free-format frame: the next header is looked for this far on.
constexpr uint64_t kMinFreeFrame = 24;
constexpr uint64_t kMaxFreeFrame = 2900;
// Look-ahead needed to confirm a header: three frames of the longest kind.
constexpr size_t kConfirmSpan = 3 * kMaxFreeFrame + 8;

// A read-only window over the file, reloaded when a look falls outside it.
class Window {
public:
    Window(std::FILE* f, uint64_t end) : m_file(f), m_end(end), m_buf(1 << 16) {}

    // `n` bytes at `offset`, or nullptr when they are not all before the end.
    const uint8_t* At(uint64_t offset, size_t n) {
        if (offset + n > m_end || offset + n < offset)
            return nullptr;
        if (offset < m_base || offset + n > m_base + m_have) {
            if (m_buf.size() < n)
                m_buf.resize(n);
            if (fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) != 0)
                return nullptr;
            const uint64_t want = std::min<uint64_t>(m_buf.size(), m_end - offset);
            m_base = offset;
            m_have = std::fread(m_buf.data(), 1, static_cast<size_t>(want), m_file);
            if (m_have < n)
                return nullptr;
        }
        return m_buf.data() + (offset - m_base);
    }

private:
    std::FILE* m_file;
    uint64_t m_end;
    std::vector<uint8_t> m_buf;
    uint64_t m_base = 0;
    size_t m_have = 0;
};

bool sameStream(const MpegHeader& a, const MpegHeader& b) {
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate &&
           a.mono == b.mono && (a.bitrate == 0) == (b.bitrate == 0);
}

// True when the frames that follow the header at `at` confirm it.
bool confirmed(Window& w, uint64_t at, const MpegHeader& first, uint64_t audioEnd) {
    if (first.frameBytes > 0) {
        uint64_t next = at + static_cast<uint64_t>(first.frameBytes);
        int seen = 1;
        while (true) {
            // A stream of two frames (or one cut short at the end) ends here.
            if (next >= audioEnd || next + 4 > audioEnd)
                return seen >= 2 && next <= audioEnd;
            const uint8_t* h = w.At(next, 4);
            MpegHeader m;
            if (!h || !parseMpegHeader(h, m) || !sameStream(first, m) || m.frameBytes == 0)
                return false;
            if (++seen == 3)
                return true;
            next += static_cast<uint64_t>(m.frameBytes);
        }
    }
    // Free format: the length is the distance to the next header of the same stream, and
    // a third header must follow at the same distance (give or take the padding byte).
    const uint8_t* span = w.At(at, 4);
    if (!span)
        return false;
    const uint8_t b1 = span[1];
    const uint8_t b2 = span[2] & 0xFC;
    const uint8_t b3 = span[3] & 0xC0;
    const uint64_t avail = std::min<uint64_t>(kConfirmSpan, audioEnd - at);
    const uint8_t* p = w.At(at, static_cast<size_t>(avail));
    if (!p)
        return false;
    auto matches = [&](uint64_t d) {
        return d + 4 <= avail && p[d] == 0xFF && p[d + 1] == b1 && (p[d + 2] & 0xFC) == b2 &&
               (p[d + 3] & 0xC0) == b3;
    };
    for (uint64_t d = kMinFreeFrame; d <= kMaxFreeFrame && d + 4 <= avail; ++d) {
        if (!matches(d))
            continue;
        for (uint64_t e = d - 1; e <= d + 1; ++e) {
            if (matches(d + e))
                return true;
        }
        return false;
    }
    return false;
}

// Skips an album-ID block and any ID3 version 2 tags at `pos`; returns the new offset.
uint64_t skipLeadingTags(Window& w, uint64_t pos) {
    if (const uint8_t* a = w.At(pos, 6); a && std::memcmp(a, "AiD\1", 4) == 0) {
        const uint64_t len = a[4] | (a[5] << 8);
        pos += len > 6 ? len : 6;
    }
    // Several tags may follow each other (some taggers add one in front of another).
    while (const uint8_t* t = w.At(pos, 10)) {
        if (std::memcmp(t, "ID3", 3) != 0 || t[3] == 0xFF || t[4] == 0xFF ||
            ((t[6] | t[7] | t[8] | t[9]) & 0x80) != 0)
            break;
        const uint64_t size =
            (static_cast<uint64_t>(t[6]) << 21) | (t[7] << 14) | (t[8] << 7) | t[9];
        const bool footer = t[3] >= 4 && (t[5] & 0x10) != 0;
        pos += 10 + size + (footer ? 10 : 0);
    }
    return pos;
}

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

} // namespace

bool parseMpegHeader(const uint8_t* h, MpegHeader& out) {
    if (h[0] != 0xFF || h[1] < 0xE0)
        return false;
    const int version = (h[1] >> 3) & 3;   // 1 is reserved
    const int layerBits = (h[1] >> 1) & 3; // 0 is reserved
    if (version == 1 || layerBits == 0)
        return false;
    const int bitrateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    if (bitrateIndex == 15 || rateIndex == 3 || (h[3] & 3) == 2) // emphasis 2 is reserved
        return false;
    const int layer = 4 - layerBits;
    const bool mono = ((h[3] >> 6) & 3) == 3;
    if (layer == 2 && version == 3 && bitrateIndex != 0) {
        // Layer II: 32, 48, 56 and 80 kbit/s are mono only; 224 kbit/s and above stereo only.
        if (!mono &&
            (bitrateIndex == 1 || bitrateIndex == 2 || bitrateIndex == 3 || bitrateIndex == 5))
            return false;
        if (mono && bitrateIndex >= 11)
            return false;
    }
    out.version = version;
    out.layer = layer;
    out.mono = mono;
    out.sampleRate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    out.bitrate = kBitrates[version == 3 ? 0 : 1][layer - 1][bitrateIndex];
    const int padding = (h[2] >> 1) & 1;
    const int bps = out.bitrate * 1000;
    if (out.bitrate == 0)
        out.frameBytes = 0;
    else if (layer == 1)
        out.frameBytes = (12 * bps / out.sampleRate + padding) * 4;
    else if (layer == 3 && version != 3)
        out.frameBytes = 72 * bps / out.sampleRate + padding;
    else
        out.frameBytes = 144 * bps / out.sampleRate + padding;
    return true;
}

bool isMpegAudioHeader(const uint8_t* h) {
    MpegHeader m;
    return parseMpegHeader(h, m);
}

uint64_t findMp3AudioEnd(std::FILE* f, uint64_t size) {
    uint64_t end = size;
    uint8_t b[128];
    auto readAt = [&](uint64_t off, size_t n) {
        return fseeko(f, static_cast<off_t>(off), SEEK_SET) == 0 && std::fread(b, 1, n, f) == n;
    };
    if (end >= 128 && readAt(end - 128, 128) && std::memcmp(b, "TAG", 3) == 0)
        end -= 128;
    if (end >= 32 && readAt(end - 32, 32) && std::memcmp(b, "APETAGEX", 8) == 0) {
        const uint64_t tagSize = le32(b + 12); // items and footer
        const bool header = (le32(b + 20) & 0x80000000u) != 0;
        const uint64_t total = tagSize + (header ? 32 : 0);
        if (tagSize >= 32 && total <= end)
            end -= total;
    }
    return end;
}

void appendInterleaved(const int16_t* left, const int16_t* right, int n, int channels,
                       std::vector<int16_t>& out) {
    if (n <= 0 || channels < 1 || channels > 2)
        return;
    const size_t base = out.size();
    out.resize(base + static_cast<size_t>(n) * static_cast<size_t>(channels));
    int16_t* p = out.data() + base;
    if (channels == 1) {
        std::memcpy(p, left, static_cast<size_t>(n) * sizeof(int16_t));
        return;
    }
    for (int i = 0; i < n; ++i) {
        p[2 * i] = left[i];
        p[2 * i + 1] = right[i];
    }
}

bool findFirstMp3Frame(std::FILE* f, hip_global_struct* hip, Mp3StreamInfo& info,
                       uint64_t scanLimit) {
    info = Mp3StreamInfo{};
    if (fseeko(f, 0, SEEK_END) != 0)
        return false;
    const off_t size = ftello(f);
    if (size < 4)
        return false;
    const uint64_t audioEnd = findMp3AudioEnd(f, static_cast<uint64_t>(size));
    Window w(f, audioEnd);
    const uint64_t start = skipLeadingTags(w, 0);
    uint64_t found = UINT64_MAX;
    for (uint64_t pos = start; pos - start <= scanLimit; ++pos) {
        const uint8_t* h = w.At(pos, 4);
        if (!h)
            return false;
        MpegHeader m;
        if (h[0] == 0xFF && parseMpegHeader(h, m) && confirmed(w, pos, m, audioEnd)) {
            found = pos;
            break;
        }
    }
    if (found == UINT64_MAX || fseeko(f, static_cast<off_t>(found), SEEK_SET) != 0)
        return false;

    // The decoder gets the bytes from the first frame on, as a file reader would feed it:
    // the header, then blocks of 100 bytes until it has parsed it.
    static thread_local int16_t left[4608];
    static thread_local int16_t right[4608];
    mp3data_struct data{};
    int delay = -1;
    int padding = -1;
    uint8_t block[100];
    if (std::fread(block, 1, 4, f) != 4)
        return false;
    uint64_t fed = 4;
    int n = hip_decode1_headersB(hip, block, 4, left, right, &data, &delay, &padding);
    if (n < 0)
        return false;
    while (true) {
        if (n > 0) {
            // Samples without a usable channel count come from a damaged stream.
            if (data.stereo < 1 || data.stereo > 2 || n > 4608)
                return false;
            appendInterleaved(left, right, n, data.stereo, info.pendingPcm);
            if (info.pendingPcm.size() > (1u << 20))
                return false;
        }
        if (data.header_parsed)
            break;
        const uint64_t remaining = audioEnd - (found + fed);
        const size_t want = static_cast<size_t>(std::min<uint64_t>(sizeof block, remaining));
        if (want == 0 || std::fread(block, 1, want, f) != want)
            return false;
        fed += want;
        n = hip_decode1_headersB(hip, block, want, left, right, &data, &delay, &padding);
        if (n < 0)
            return false;
    }
    if (data.stereo < 1 || data.stereo > 2 || data.samplerate <= 0)
        return false;
    info.channels = data.stereo;
    info.sampleRate = data.samplerate;
    info.bitrate = data.bitrate;
    info.frameSize = data.framesize;
    info.totalFrames = data.totalframes;
    info.totalSamples = data.nsamp;
    info.encoderDelay = delay;
    info.encoderPadding = padding;
    info.firstFrame = found;
    info.audioEnd = audioEnd;
    return true;
}

} // namespace cld
