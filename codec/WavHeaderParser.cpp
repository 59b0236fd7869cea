#include "WavHeaderParser.h"

#include "Exception.h"
#include "WmErrors.h"

#include <cstring>

namespace cld {
namespace {

uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

[[noreturn]] void badFormat() {
    throw Exception(wmerr::kWavFormat);
}

bool readAt(std::FILE* f, uint64_t pos, uint8_t* buf, size_t n) {
    if (fseeko(f, static_cast<off_t>(pos), SEEK_SET) != 0)
        return false;
    return std::fread(buf, 1, n, f) == n;
}

WaveFormat parseFmt(std::FILE* f, uint64_t pos, uint32_t size) {
    if (size < 16)
        badFormat();
    uint8_t b[40] = {};
    const size_t n = size < sizeof b ? size : sizeof b;
    if (!readAt(f, pos, b, n))
        badFormat();
    WaveFormat fmt;
    fmt.formatTag = le16(b);
    fmt.channels = le16(b + 2);
    fmt.samplesPerSec = le32(b + 4);
    fmt.avgBytesPerSec = le32(b + 8);
    fmt.blockAlign = le16(b + 12);
    fmt.bitsPerSample = le16(b + 14);
    if (n >= 18) {
        size_t cb = le16(b + 16);
        if (cb > n - 18)
            cb = n - 18;
        fmt.extra.assign(b + 18, b + 18 + cb);
    }
    uint16_t sampleTag = fmt.formatTag;
    if (fmt.formatTag == WaveFormat::kExtensible) {
        // The sub-format GUID starts with the real format tag; the valid bits may be fewer
        // than the container's (24 valid bits in 32), the samples being left-aligned.
        if (fmt.extra.size() < 22)
            badFormat();
        sampleTag = le16(fmt.extra.data() + 6);
        const uint16_t validBits = le16(fmt.extra.data());
        if (validBits > fmt.bitsPerSample)
            badFormat();
    }
    if (sampleTag == WaveFormat::kPcm) {
        if (fmt.bitsPerSample != 8 && fmt.bitsPerSample != 16 && fmt.bitsPerSample != 24 &&
            fmt.bitsPerSample != 32)
            badFormat();
    } else if (sampleTag == WaveFormat::kIeeeFloat) {
        if (fmt.bitsPerSample != 32 && fmt.bitsPerSample != 64)
            badFormat();
    } else {
        badFormat();
    }
    if (fmt.channels < 1 || fmt.channels > 2)
        badFormat();
    if (fmt.samplesPerSec < 1000 || fmt.samplesPerSec > 384000)
        badFormat();
    // Some writers fill the derived fields wrongly; they follow from the others.
    fmt.blockAlign = static_cast<uint16_t>(fmt.channels * fmt.bitsPerSample / 8);
    fmt.avgBytesPerSec = fmt.blockAlign * fmt.samplesPerSec;
    return fmt;
}

} // namespace

WavLayout parseWavHeader(std::FILE* f, uint64_t fileSize) {
    uint8_t riff[12];
    if (fileSize < 12 || !readAt(f, 0, riff, sizeof riff))
        badFormat();
    if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
        badFormat();

    WavLayout layout;
    bool haveFmt = false;
    bool haveData = false;
    uint64_t pos = 12;
    // Every step moves forward by at least the 8-byte chunk header, so this ends.
    while (pos + 8 <= fileSize && !(haveFmt && haveData)) {
        uint8_t hdr[8];
        if (!readAt(f, pos, hdr, sizeof hdr))
            break;
        const uint32_t size = le32(hdr + 4);
        const uint64_t body = pos + 8;
        if (std::memcmp(hdr, "fmt ", 4) == 0 && !haveFmt) {
            layout.format = parseFmt(f, body, size);
            haveFmt = true;
        } else if (std::memcmp(hdr, "data", 4) == 0 && !haveData) {
            layout.dataOffset = body;
            const uint64_t avail = fileSize - body;
            layout.dataBytes = (size == 0xFFFFFFFFu || size > avail) ? avail : size;
            haveData = true;
        }
        pos = body + size + (size & 1u);
    }
    if (!haveFmt || !haveData)
        badFormat();
    layout.dataBytes -= layout.dataBytes % layout.format.blockAlign;
    return layout;
}

} // namespace cld
