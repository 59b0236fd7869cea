#include "SubChannel.h"

#include <algorithm>

namespace cld::subq {
namespace {

bool fromBcd(uint8_t b, int& out) {
    if ((b >> 4) > 9 || (b & 0x0F) > 9)
        return false;
    out = (b >> 4) * 10 + (b & 0x0F);
    return true;
}

char isrcChar(unsigned code) {
    if (code <= 9)
        return static_cast<char>('0' + code);
    if (code >= 0x11 && code <= 0x2A)
        return static_cast<char>('A' + (code - 0x11));
    return '\0';
}

// The track number of the mode 1 frame at lba, or of the nearest one before it (up to a
// few sectors back); 0 when none could be read.
int trackAt(const ReadQ& readQ, int32_t lba, int32_t floor, int& reads) {
    for (int32_t at = lba; at >= floor && at > lba - 4; --at) {
        QFrame f;
        ++reads;
        if (!readQ(at, f))
            continue;
        if (f.mode == 1)
            return f.track;
    }
    return 0;
}

} // namespace

uint16_t crc(const uint8_t* q) {
    uint16_t c = 0;
    for (int i = 0; i < 10; ++i) {
        c ^= static_cast<uint16_t>(q[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            c = static_cast<uint16_t>((c & 0x8000) ? (c << 1) ^ 0x1021 : c << 1);
    }
    return static_cast<uint16_t>(~c);
}

bool decode(const uint8_t* q, QFrame& out) {
    out = QFrame{};
    if (crc(q) != static_cast<uint16_t>((q[10] << 8) | q[11]))
        return false;
    out.control = static_cast<uint8_t>(q[0] >> 4);
    out.mode = q[0] & 0x0F;
    if (out.mode == 1) {
        int m = 0, s = 0, f = 0, index = 0;
        if (q[1] == 0xAA)
            out.track = 0xAA;
        else if (!fromBcd(q[1], out.track))
            return false;
        if (!fromBcd(q[2], index) || !fromBcd(q[7], m) || !fromBcd(q[8], s) || !fromBcd(q[9], f) ||
            s > 59 || f > 74)
            return false;
        out.index = index;
        out.lba = (m * 60 + s) * 75 + f - 150;
        return true;
    }
    if (out.mode == 2) {
        for (int i = 0; i < 13; ++i) {
            const int digit = i % 2 == 0 ? q[1 + i / 2] >> 4 : q[1 + i / 2] & 0x0F;
            if (digit > 9)
                return false;
            out.mcn += static_cast<char>('0' + digit);
        }
        return true;
    }
    if (out.mode == 3) {
        const uint32_t bits = (static_cast<uint32_t>(q[1]) << 24) |
                              (static_cast<uint32_t>(q[2]) << 16) |
                              (static_cast<uint32_t>(q[3]) << 8) | q[4];
        for (int i = 0; i < 5; ++i) {
            const char c = isrcChar((bits >> (26 - 6 * i)) & 0x3F);
            if (!c)
                return false;
            out.isrc += c;
        }
        for (int i = 0; i < 7; ++i) {
            const int digit = i % 2 == 0 ? q[5 + i / 2] >> 4 : q[5 + i / 2] & 0x0F;
            if (digit > 9)
                return false;
            out.isrc += static_cast<char>('0' + digit);
        }
        return true;
    }
    return false;
}

bool isCatalog(const std::string& s) {
    return s.size() == 13 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isIsrc(const std::string& s) {
    if (s.size() != 12)
        return false;
    for (size_t i = 0; i < 12; ++i) {
        const char c = s[i];
        const bool digit = c >= '0' && c <= '9';
        const bool letter = c >= 'A' && c <= 'Z';
        if (i < 5 ? !(digit || letter) : !digit)
            return false;
    }
    return true;
}

int32_t findIndexZero(const ReadQ& readQ, int32_t previousStart, int32_t start, int trackNumber,
                      int& reads) {
    if (start <= previousStart + 1)
        return start;
    // Invariant: the frame at `inside` belongs to this track, the one at `before` to an
    // earlier one; the pregap starts in (before, inside].
    int32_t inside = start;
    int32_t before = -1;
    int32_t step = 1;
    while (before < 0) {
        const int32_t probe = std::max(previousStart, start - step);
        const int track = trackAt(readQ, probe, previousStart, reads);
        if (track == 0)
            return -1;
        if (track == trackNumber) {
            if (probe == previousStart)
                return -1; // the track before cannot lie inside this one
            inside = probe;
            step *= 2;
        } else if (track < trackNumber) {
            before = probe;
        } else {
            return -1;
        }
    }
    while (inside - before > 1) {
        const int32_t mid = before + (inside - before) / 2;
        const int track = trackAt(readQ, mid, previousStart, reads);
        if (track == 0)
            return -1;
        if (track == trackNumber)
            inside = mid;
        else if (track < trackNumber)
            before = mid;
        else
            return -1;
    }
    return inside;
}

} // namespace cld::subq
