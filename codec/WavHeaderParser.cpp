#include "WavHeaderParser.h"

#include "Exception.h"
#include "WmErrors.h"

#include <cstring>

namespace cld {
namespace {

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

[[noreturn]] void BadFormat() {
    throw Exception(wmerr::kWavFormat);
}

bool ReadAt(std::FILE* f, uint64_t pos, uint8_t* buf, size_t n) {
    if (fseeko(f, static_cast<off_t>(pos), SEEK_SET) != 0)
        return false;
    return std::fread(buf, 1, n, f) == n;
}

WaveFormat ParseFmt(std::FILE* f, uint64_t pos, uint32_t size) {
    if (size < 16)
        BadFormat();
    uint8_t b[40] = {};
    const size_t n = size < sizeof b ? size : sizeof b;
    if (!ReadAt(f, pos, b, n))
        BadFormat();
    WaveFormat fmt;
    fmt.formatTag = Le16(b);
    fmt.channels = Le16(b + 2);
    fmt.samplesPerSec = Le32(b + 4);
    fmt.avgBytesPerSec = Le32(b + 8);
    fmt.blockAlign = Le16(b + 12);
    fmt.bitsPerSample = Le16(b + 14);
    if (n >= 18) {
        size_t cb = Le16(b + 16);
        if (cb > n - 18)
            cb = n - 18;
        fmt.extra.assign(b + 18, b + 18 + cb);
    }
    uint16_t sampleTag = fmt.formatTag;
    if (fmt.formatTag == WaveFormat::kExtensible) {
        // The sub-format GUID starts with the real format tag; the valid bits may be fewer
        // than the container's (24 valid bits in 32), the samples being left-aligned.
        if (fmt.extra.size() < 22)
            BadFormat();
        sampleTag = Le16(fmt.extra.data() + 6);
        const uint16_t validBits = Le16(fmt.extra.data());
        if (validBits > fmt.bitsPerSample)
            BadFormat();
    }
    if (sampleTag == WaveFormat::kPcm) {
        if (fmt.bitsPerSample != 8 && fmt.bitsPerSample != 16 && fmt.bitsPerSample != 24 &&
            fmt.bitsPerSample != 32)
            BadFormat();
    } else if (sampleTag == WaveFormat::kIeeeFloat) {
        if (fmt.bitsPerSample != 32 && fmt.bitsPerSample != 64)
            BadFormat();
    } else {
        BadFormat();
    }
    if (fmt.channels < 1 || fmt.channels > 2)
        BadFormat();
    if (fmt.samplesPerSec < 1000 || fmt.samplesPerSec > 384000)
        BadFormat();
    // Some writers fill the derived fields wrongly; they follow from the others.
    fmt.blockAlign = static_cast<uint16_t>(fmt.channels * fmt.bitsPerSample / 8);
    fmt.avgBytesPerSec = fmt.blockAlign * fmt.samplesPerSec;
    return fmt;
}

} // namespace

WavLayout ParseWavHeader(std::FILE* f, uint64_t fileSize) {
    uint8_t riff[12];
    if (fileSize < 12 || !ReadAt(f, 0, riff, sizeof riff))
        BadFormat();
    if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
        BadFormat();

    WavLayout layout;
    bool haveFmt = false;
    bool haveData = false;
    uint64_t pos = 12;
    // Every step moves forward by at least the 8-byte chunk header, so this ends.
    while (pos + 8 <= fileSize && !(haveFmt && haveData)) {
        uint8_t hdr[8];
        if (!ReadAt(f, pos, hdr, sizeof hdr))
            break;
        const uint32_t size = Le32(hdr + 4);
        const uint64_t body = pos + 8;
        if (std::memcmp(hdr, "fmt ", 4) == 0 && !haveFmt) {
            layout.format = ParseFmt(f, body, size);
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
        BadFormat();
    layout.dataBytes -= layout.dataBytes % layout.format.blockAlign;
    return layout;
}

} // namespace cld
