#include "AccurateRip.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <map>
#include <zlib.h>

namespace accurip {

namespace {

uint32_t sampleAt(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

} // namespace

TrackChecksummer::TrackChecksummer(int64_t totalSamples, bool firstTrack, bool lastTrack)
    : m_total(std::max<int64_t>(totalSamples, 0)), m_from(firstTrack ? kSkipSamples : 1),
      m_to(lastTrack ? m_total - kSkipSamples : m_total), m_crc(crc32(0L, Z_NULL, 0)),
      m_crcNoSilence(m_crc) {}

void TrackChecksummer::addSamples(const uint8_t* bytes, size_t samples) {
    // Positions are 1-based within the track; only m_from..m_to count.
    const int64_t start = m_position + 1;
    const int64_t lo = std::max(m_from, start);
    const int64_t hi = std::min(m_to, start + static_cast<int64_t>(samples) - 1);
    if (lo <= hi) {
        // v1 sums the low halves of sample x position, v2 both halves. With 64-bit sums of
        // the products and of their low halves, the high halves' sum is their difference
        // shifted down (exact while fewer than 2^32 products are summed, as here). Both
        // sums are plain 64-bit additions of 32 x 32 bit products, which vectorise.
        // Positions fit 32 bits: a disc holds far fewer than 2^32 samples.
        const uint8_t* p = bytes + (lo - start) * 4;
        const auto first = static_cast<uint32_t>(lo);
        const auto count = static_cast<uint32_t>(hi - lo + 1);
        uint64_t products = 0;
        uint64_t lows = 0;
        for (uint32_t k = 0; k < count; ++k) {
            uint32_t sample;
            std::memcpy(&sample, p + static_cast<size_t>(k) * 4, 4);
            if constexpr (std::endian::native == std::endian::big)
                sample = __builtin_bswap32(sample);
            const uint64_t product = static_cast<uint64_t>(sample) * (first + k);
            products += product;
            lows += static_cast<uint32_t>(product);
        }
        const auto lowSum = static_cast<uint32_t>(products);
        const auto highSum = static_cast<uint32_t>((products - lows) >> 32);
        m_v1 += lowSum;
        m_v2 += lowSum + highSum;
    }
    m_position += static_cast<int64_t>(samples);

    const size_t bytesIn = samples * 4;
    // One CRC pass serves both CRCs: each run of 16-bit samples that are not zero is
    // summed once and joined onto both (CRC32 is linear, crc32_combine appends a CRC);
    // a zero sample goes into the full CRC only. Short runs are summed directly.
    const auto addRun = [&](size_t from, size_t to) {
        const size_t n = to - from;
        if (n == 0)
            return;
        if (n < 256) {
            m_crc = crc32(m_crc, bytes + from, static_cast<uInt>(n));
            m_crcNoSilence = crc32(m_crcNoSilence, bytes + from, static_cast<uInt>(n));
            return;
        }
        const uLong c = crc32(0L, bytes + from, static_cast<uInt>(n));
        m_crc = crc32_combine(m_crc, c, static_cast<z_off_t>(n));
        m_crcNoSilence = crc32_combine(m_crcNoSilence, c, static_cast<z_off_t>(n));
    };
    static const uint8_t kZeroSample[2] = {0, 0};
    size_t run = 0; // start of the current run of loud samples
    size_t i = 0;
    // The zero-lane test of a 64-bit word (see below).
    const auto zeroLanesOf = [](const uint8_t* at) {
        uint64_t w;
        std::memcpy(&w, at, 8);
        return (w - 0x0001000100010001ULL) & ~w & 0x8000800080008000ULL;
    };
    while (i < bytesIn) {
        // Loud audio is passed over 32 bytes at a time.
        while (i + 32 <= bytesIn &&
               (zeroLanesOf(bytes + i) | zeroLanesOf(bytes + i + 8) | zeroLanesOf(bytes + i + 16) |
                zeroLanesOf(bytes + i + 24)) == 0)
            i += 32;
        if (i >= bytesIn)
            break;
        if (i + 8 <= bytesIn) {
            uint64_t w;
            std::memcpy(&w, bytes + i, 8);
            // No 16-bit lane is zero when this is zero (a lane above a zero one may show
            // falsely, which the exact test below sorts out).
            const uint64_t zeroLanes = (w - 0x0001000100010001ULL) & ~w & 0x8000800080008000ULL;
            if (!zeroLanes) {
                i += 8;
                continue;
            }
        }
        if ((bytes[i] | bytes[i + 1]) == 0) {
            addRun(run, i);
            m_crc = crc32(m_crc, kZeroSample, 2);
            run = i + 2;
        }
        i += 2;
    }
    addRun(run, bytesIn);
}

void TrackChecksummer::add(const uint8_t* bytes, size_t length) {
    // addSamples passes over its samples twice (the sums, then the CRCs): in steps of 64
    // sectors the second pass finds them still in the cache.
    m_feed.feed(bytes, length, 588 * 64,
                [this](const uint8_t* samples, size_t n) { addSamples(samples, n); });
}

TrackChecksums TrackChecksummer::result() const {
    TrackChecksums r;
    r.v1 = m_v1;
    r.v2 = m_v2;
    r.crc32 = static_cast<uint32_t>(m_crc);
    r.crc32NoSilence = static_cast<uint32_t>(m_crcNoSilence);
    r.samples = m_position;
    return r;
}

uint32_t frameChecksum(const uint8_t* sectorBytes) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < kSamplesPerSector; ++i)
        sum += sampleAt(sectorBytes + i * 4) * (i + 1);
    return sum;
}

int64_t DiscLayout::audioEnd() const {
    // The end of the last audio track: where a data track follows the last audio
    // track, the session gap lies before it.
    for (size_t i = tracks.size(); i-- > 0;) {
        if (!tracks[i].audio)
            continue;
        if (i + 1 < tracks.size())
            return tracks[i + 1].start - kSessionGap;
        return leadOut;
    }
    return leadOut;
}

int64_t DiscLayout::trackEnd(size_t i) const {
    if (i + 1 >= tracks.size())
        return leadOut;
    if (tracks[i].audio && !tracks[i + 1].audio)
        return std::max(tracks[i].start, tracks[i + 1].start - kSessionGap);
    return tracks[i + 1].start;
}

int DiscLayout::audioTrackCount() const {
    return static_cast<int>(
        std::count_if(tracks.begin(), tracks.end(), [](const DiscTrack& t) { return t.audio; }));
}

bool DiscLayout::valid(std::string& why) const {
    if (tracks.empty() || tracks.size() > 99) {
        why = "the disc has no tracks or more than 99";
        return false;
    }
    int64_t last = -1;
    for (const DiscTrack& t : tracks) {
        if (t.start < 0 || t.start <= last) {
            why = "track " + std::to_string(t.number) + " does not start after the one before";
            return false;
        }
        last = t.start;
    }
    if (leadOut <= last) {
        why = "the lead-out lies before the last track";
        return false;
    }
    return true;
}

uint32_t freedbId(const DiscLayout& disc) {
    auto digitSum = [](int64_t n) {
        int64_t s = 0;
        for (; n > 0; n /= 10)
            s += n % 10;
        return s;
    };
    int64_t n = 0;
    for (const DiscTrack& t : disc.tracks)
        n += digitSum((t.start + 150) / 75);
    const int64_t first = disc.tracks.empty() ? 0 : disc.tracks.front().start;
    const int64_t length = (disc.leadOut + 150) / 75 - (first + 150) / 75;
    return static_cast<uint32_t>(((n % 0xFF) << 24) | ((length & 0xFFFF) << 8) |
                                 static_cast<int64_t>(disc.tracks.size() & 0xFF));
}

DiscIds discIds(const DiscLayout& disc) {
    DiscIds ids;
    int counted = 0;
    for (const DiscTrack& t : disc.tracks) {
        if (!t.audio)
            continue;
        ++counted;
        ids.id1 += static_cast<uint32_t>(t.start);
        ids.id2 += static_cast<uint32_t>(std::max<int64_t>(t.start, 1) * counted);
    }
    const auto end = static_cast<uint32_t>(disc.audioEnd());
    ids.id1 += end;
    ids.id2 += end * static_cast<uint32_t>(counted + 1);
    ids.trackCount = counted;
    ids.freedb = disc.knownFreedbId ? disc.knownFreedbId : freedbId(disc);
    return ids;
}

std::string entryFileName(const DiscIds& ids) {
    char name[64];
    std::snprintf(name, sizeof name, "dBAR-%03d-%08x-%08x-%08x.bin", ids.trackCount % 1000, ids.id1,
                  ids.id2, ids.freedb);
    return name;
}

std::string entryPath(const DiscIds& ids) {
    char dirs[16];
    std::snprintf(dirs, sizeof dirs, "%x/%x/%x/", ids.id1 & 0xF, (ids.id1 >> 4) & 0xF,
                  (ids.id1 >> 8) & 0xF);
    return dirs + entryFileName(ids);
}

bool parseEntry(const uint8_t* data, size_t size, std::vector<EntryResponse>& out,
                std::string& error) {
    out.clear();
    if (!data || size == 0) {
        error = "the entry is empty";
        return false;
    }
    if (size > kMaxEntryBytes) {
        error = "the entry is larger than " + std::to_string(kMaxEntryBytes) + " bytes";
        return false;
    }
    size_t at = 0;
    while (at < size) {
        if (size - at < 13) {
            error = "the entry is truncated (response header at byte " + std::to_string(at) + ")";
            out.clear();
            return false;
        }
        EntryResponse r;
        const int count = data[at];
        r.ids.trackCount = count;
        r.ids.id1 = sampleAt(data + at + 1);
        r.ids.id2 = sampleAt(data + at + 5);
        r.ids.freedb = sampleAt(data + at + 9);
        at += 13;
        if (count == 0) {
            error = "a response of the entry names no tracks";
            out.clear();
            return false;
        }
        if (size - at < static_cast<size_t>(count) * 9) {
            error = "the entry is truncated (tracks of response " + std::to_string(out.size() + 1) +
                    ")";
            out.clear();
            return false;
        }
        for (int i = 0; i < count; ++i) {
            EntryTrack t;
            t.confidence = data[at];
            t.crc = sampleAt(data + at + 1);
            t.frame450 = sampleAt(data + at + 5);
            r.tracks.push_back(t);
            at += 9;
        }
        out.push_back(std::move(r));
    }
    return true;
}

std::vector<uint8_t> buildEntry(const std::vector<EntryResponse>& responses) {
    std::vector<uint8_t> out;
    for (const EntryResponse& r : responses) {
        out.push_back(static_cast<uint8_t>(r.tracks.size()));
        put32(out, r.ids.id1);
        put32(out, r.ids.id2);
        put32(out, r.ids.freedb);
        for (const EntryTrack& t : r.tracks) {
            out.push_back(static_cast<uint8_t>(std::clamp(t.confidence, 0, 255)));
            put32(out, t.crc);
            put32(out, t.frame450);
        }
    }
    return out;
}

namespace {
bool sameDisc(const DiscIds& a, const DiscIds& b) {
    return a.trackCount == b.trackCount && a.id1 == b.id1 && a.id2 == b.id2 && a.freedb == b.freedb;
}
} // namespace

std::vector<TrackVerdict> verify(const DiscIds& ids, const std::vector<TrackChecksums>& tracks,
                                 const std::vector<EntryResponse>& responses, bool& otherDisc) {
    std::vector<TrackVerdict> verdicts(tracks.size());
    otherDisc = true;
    std::vector<const EntryResponse*> counted;
    for (const EntryResponse& r : responses) {
        if (!sameDisc(r.ids, ids) || r.tracks.size() != tracks.size())
            continue;
        otherDisc = false;
        const bool repeated =
            std::any_of(counted.begin(), counted.end(), [&r](const EntryResponse* seen) {
                return std::equal(seen->tracks.begin(), seen->tracks.end(), r.tracks.begin(),
                                  r.tracks.end(), [](const EntryTrack& a, const EntryTrack& b) {
                                      return a.confidence == b.confidence && a.crc == b.crc &&
                                             a.frame450 == b.frame450;
                                  });
            });
        if (repeated)
            continue;
        counted.push_back(&r);
        for (size_t i = 0; i < tracks.size(); ++i) {
            const EntryTrack& e = r.tracks[i];
            TrackVerdict& v = verdicts[i];
            if (e.confidence <= 0)
                continue;
            if (e.crc == tracks[i].v2) {
                v.confidence += e.confidence;
                v.confidenceV2 += e.confidence;
                v.version = 2;
            } else if (e.crc == tracks[i].v1) {
                v.confidence += e.confidence;
                v.confidenceV1 += e.confidence;
                if (v.version == 0)
                    v.version = 1;
            } else {
                v.otherRips += e.confidence;
            }
        }
    }
    for (TrackVerdict& v : verdicts) {
        if (v.confidence > 0)
            v.kind = TrackVerdict::Accurate;
        else if (v.otherRips > 0)
            v.kind = TrackVerdict::NotAccurate;
        else
            v.kind = TrackVerdict::NotInDatabase;
    }
    return verdicts;
}

std::vector<OffsetMatch> findOffsets(const uint8_t* raw, size_t rawSamples, int64_t rawStartSample,
                                     int64_t trackStartSector, size_t trackIndex,
                                     const std::vector<EntryResponse>& responses, int maxOffset) {
    std::map<uint32_t, int> wanted; // sector 450 checksum -> confidence
    for (const EntryResponse& r : responses) {
        if (trackIndex < r.tracks.size() && r.tracks[trackIndex].confidence > 0 &&
            r.tracks[trackIndex].frame450 != 0)
            wanted[r.tracks[trackIndex].frame450] += r.tracks[trackIndex].confidence;
    }
    std::vector<OffsetMatch> found;
    if (!raw || wanted.empty())
        return found;
    const int64_t frame = (trackStartSector + kOffsetFrame) * kSamplesPerSector;
    for (int n = -maxOffset; n <= maxOffset; ++n) {
        const int64_t k = frame - rawStartSample + n;
        if (k < 0 || k + kSamplesPerSector > static_cast<int64_t>(rawSamples))
            continue;
        const auto it = wanted.find(frameChecksum(raw + k * 4));
        if (it != wanted.end())
            found.push_back({n, it->second});
    }
    std::stable_sort(found.begin(), found.end(), [](const OffsetMatch& a, const OffsetMatch& b) {
        return a.confidence > b.confidence;
    });
    return found;
}

} // namespace accurip
