#include "Ctdb.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <zlib.h>

namespace accurip {

namespace {

// ---- SHA-1 (FIPS 180-4), for the TOC id only. ----

class Sha1 {
public:
    void update(const uint8_t* data, size_t size) {
        for (size_t i = 0; i < size; ++i) {
            m_block[m_used++] = data[i];
            if (m_used == 64)
                compress();
        }
        m_bits += static_cast<uint64_t>(size) * 8;
    }
    std::array<uint8_t, 20> finish() {
        const uint64_t bits = m_bits;
        const uint8_t one = 0x80;
        update(&one, 1);
        const uint8_t zero = 0;
        while (m_used != 56)
            update(&zero, 1);
        uint8_t length[8];
        for (int i = 0; i < 8; ++i)
            length[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
        update(length, 8);
        std::array<uint8_t, 20> out{};
        for (int i = 0; i < 5; ++i)
            for (int k = 0; k < 4; ++k)
                out[static_cast<size_t>(i * 4 + k)] = static_cast<uint8_t>(m_h[i] >> (24 - 8 * k));
        return out;
    }

private:
    static uint32_t rotl(uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }
    void compress() {
        uint32_t w[80];
        for (int i = 0; i < 16; ++i)
            w[i] = static_cast<uint32_t>(m_block[i * 4]) << 24 |
                   static_cast<uint32_t>(m_block[i * 4 + 1]) << 16 |
                   static_cast<uint32_t>(m_block[i * 4 + 2]) << 8 | m_block[i * 4 + 3];
        for (int i = 16; i < 80; ++i)
            w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        uint32_t a = m_h[0], b = m_h[1], c = m_h[2], d = m_h[3], e = m_h[4];
        for (int i = 0; i < 80; ++i) {
            uint32_t f, k;
            if (i < 20) {
                f = (b & c) | (~b & d);
                k = 0x5A827999;
            } else if (i < 40) {
                f = b ^ c ^ d;
                k = 0x6ED9EBA1;
            } else if (i < 60) {
                f = (b & c) | (b & d) | (c & d);
                k = 0x8F1BBCDC;
            } else {
                f = b ^ c ^ d;
                k = 0xCA62C1D6;
            }
            const uint32_t t = rotl(a, 5) + f + e + k + w[i];
            e = d;
            d = c;
            c = rotl(b, 30);
            b = a;
            a = t;
        }
        m_h[0] += a;
        m_h[1] += b;
        m_h[2] += c;
        m_h[3] += d;
        m_h[4] += e;
        m_used = 0;
    }
    uint32_t m_h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    uint8_t m_block[64] = {};
    size_t m_used = 0;
    uint64_t m_bits = 0;
};

std::string tocBase64(const std::array<uint8_t, 20>& digest) {
    // Base64 with the characters a URL and a file name take as they are.
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._";
    std::string out;
    for (size_t i = 0; i < digest.size(); i += 3) {
        const size_t n = std::min<size_t>(3, digest.size() - i);
        uint32_t v = static_cast<uint32_t>(digest[i]) << 16;
        if (n > 1)
            v |= static_cast<uint32_t>(digest[i + 1]) << 8;
        if (n > 2)
            v |= digest[i + 2];
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += n > 1 ? kAlphabet[(v >> 6) & 63] : '-';
        out += n > 2 ? kAlphabet[v & 63] : '-';
    }
    return out;
}

int64_t firstAudioStart(const DiscLayout& disc) {
    for (const DiscTrack& t : disc.tracks)
        if (t.audio)
            return t.start;
    return 0;
}

uint32_t crcOf(const uint8_t* bytes, size_t length) {
    return static_cast<uint32_t>(crc32(0L, bytes, static_cast<uInt>(length)));
}

uint32_t combine(uint32_t first, uint32_t second, int64_t secondBytes) {
    if (secondBytes <= 0)
        return first;
    return static_cast<uint32_t>(crc32_combine(first, second, static_cast<z_off_t>(secondBytes)));
}

} // namespace

std::string ctdbTocId(const DiscLayout& disc) {
    const int64_t first = firstAudioStart(disc);
    std::string text;
    bool seenFirst = false;
    char hex[16];
    for (const DiscTrack& t : disc.tracks) {
        if (!t.audio)
            continue;
        if (!seenFirst) {
            seenFirst = true;
            continue;
        }
        std::snprintf(hex, sizeof hex, "%08X", static_cast<uint32_t>(t.start - first));
        text += hex;
    }
    std::snprintf(hex, sizeof hex, "%08X", static_cast<uint32_t>(disc.audioEnd() - first));
    text += hex;
    if (text.size() < 800)
        text.append(800 - text.size(), '0');
    Sha1 sha;
    sha.update(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return tocBase64(sha.finish());
}

std::string ctdbTocQuery(const DiscLayout& disc) {
    std::string out;
    for (const DiscTrack& t : disc.tracks) {
        if (!t.audio)
            out += '-';
        out += std::to_string(t.start) + ":";
    }
    return out + std::to_string(disc.leadOut);
}

int64_t ctdbDiscSamples(const DiscLayout& disc) {
    return std::max<int64_t>(0, disc.audioEnd() - firstAudioStart(disc)) * kSamplesPerSector;
}

int64_t ctdbTailSamples(int64_t discSamples) {
    return kCtdbSkipSamples + discSamples % kCtdbSkipSamples;
}

// ---- One track's sums ----

bool CtdbTrackSums::complete() const {
    return samples > 0 &&
           static_cast<int64_t>(head.size() + tail.size()) / 4 + coreSamples == samples;
}

CtdbTrackChecksummer::CtdbTrackChecksummer(int64_t totalSamples)
    : m_total(std::max<int64_t>(totalSamples, 0)), m_crc(crc32(0L, Z_NULL, 0)) {
    // The head holds what the disc's first edge and a track's start need when shifted; the
    // tail what a track's end and the disc's last edge (up to 2 x 10 sectors) need.
    m_headSamples = std::min<int64_t>(m_total, 2 * kCtdbSkipSamples);
    m_tailFrom = std::max(m_headSamples, m_total - 3 * kCtdbSkipSamples);
    m_sums.head.reserve(static_cast<size_t>(m_headSamples) * 4);
    m_sums.tail.reserve(static_cast<size_t>(m_total - m_tailFrom) * 4);
}

void CtdbTrackChecksummer::addSamples(const uint8_t* bytes, size_t samples) {
    size_t done = 0;
    while (done < samples) {
        const int64_t at = m_position;
        size_t n = samples - done;
        std::vector<uint8_t>* kept = nullptr;
        if (at < m_headSamples) {
            n = std::min<size_t>(n, static_cast<size_t>(m_headSamples - at));
            kept = &m_sums.head;
        } else if (at < m_tailFrom) {
            n = std::min<size_t>(n, static_cast<size_t>(m_tailFrom - at));
        } else {
            kept = &m_sums.tail;
        }
        const uint8_t* p = bytes + done * 4;
        if (kept) {
            kept->insert(kept->end(), p, p + n * 4);
        } else {
            m_crc = crc32(m_crc, p, static_cast<uInt>(n * 4));
            m_sums.coreSamples += static_cast<int64_t>(n);
        }
        m_position += static_cast<int64_t>(n);
        done += n;
    }
}

void CtdbTrackChecksummer::add(const uint8_t* bytes, size_t length) {
    m_feed.feed(bytes, length, size_t{1} << 16,
                [this](const uint8_t* samples, size_t n) { addSamples(samples, n); });
}

CtdbTrackSums CtdbTrackChecksummer::result() const {
    CtdbTrackSums r = m_sums;
    r.samples = m_position;
    r.coreCrc = static_cast<uint32_t>(m_crc);
    return r;
}

// ---- The disc ----

CtdbDisc::CtdbDisc(std::vector<CtdbTrackSums> tracks) : m_tracks(std::move(tracks)) {
    for (const CtdbTrackSums& t : m_tracks) {
        m_starts.push_back(m_total);
        const int64_t headSamples = static_cast<int64_t>(t.head.size() / 4);
        const int64_t tailSamples = static_cast<int64_t>(t.tail.size() / 4);
        int64_t at = m_total;
        if (headSamples > 0) {
            m_segments.push_back(
                {at, at + headSamples, &t.head, crcOf(t.head.data(), t.head.size())});
            at += headSamples;
        }
        if (t.coreSamples > 0) {
            m_segments.push_back({at, at + t.coreSamples, nullptr, t.coreCrc});
            at += t.coreSamples;
        }
        if (tailSamples > 0) {
            m_segments.push_back(
                {at, at + tailSamples, &t.tail, crcOf(t.tail.data(), t.tail.size())});
            at += tailSamples;
        }
        m_total = at;
    }
}

bool CtdbDisc::rangeCrc(int64_t from, int64_t to, uint32_t& crc) const {
    if (from < 0 || to > m_total || from > to)
        return false;
    uint32_t c = 0;
    for (const Segment& s : m_segments) {
        if (s.to <= from || s.from >= to)
            continue;
        const int64_t lo = std::max(from, s.from);
        const int64_t hi = std::min(to, s.to);
        if (lo == s.from && hi == s.to) {
            c = combine(c, s.crc, (hi - lo) * 4);
        } else if (s.bytes) {
            c = static_cast<uint32_t>(
                crc32(c, s.bytes->data() + (lo - s.from) * 4, static_cast<uInt>((hi - lo) * 4)));
        } else {
            return false; // the samples between head and tail were not kept
        }
    }
    crc = c;
    return true;
}

const uint8_t* CtdbDisc::sampleAt(int64_t position) const {
    const auto it = std::upper_bound(m_segments.begin(), m_segments.end(), position,
                                     [](int64_t p, const Segment& s) { return p < s.to; });
    if (it == m_segments.end() || position < it->from || !it->bytes)
        return nullptr;
    return it->bytes->data() + (position - it->from) * 4;
}

void CtdbDisc::rangeLimits(size_t track, int64_t& from, int64_t& to) const {
    from = m_starts[track];
    to = m_starts[track] + m_tracks[track].samples;
    if (track == 0)
        from += kCtdbSkipSamples;
    if (track + 1 == m_tracks.size())
        to -= ctdbTailSamples(m_total);
}

bool CtdbDisc::trackCrc(size_t track, int shift, uint32_t& crc) const {
    if (track >= m_tracks.size())
        return false;
    int64_t from = 0, to = 0;
    rangeLimits(track, from, to);
    if (to <= from)
        return false;
    return rangeCrc(from + shift, to + shift, crc);
}

bool CtdbDisc::discCrc(int shift, uint32_t& crc) const {
    const int64_t from = kCtdbSkipSamples;
    const int64_t to = m_total - ctdbTailSamples(m_total);
    if (m_tracks.empty() || to <= from)
        return false;
    return rangeCrc(from + shift, to + shift, crc);
}

void CtdbDisc::discCrcs(int range, std::vector<uint32_t>& crcs, std::vector<bool>& valid) const {
    range = std::max(range, 0);
    const size_t count = static_cast<size_t>(range) * 2 + 1;
    crcs.assign(count, 0);
    valid.assign(count, false);
    const int64_t a = kCtdbSkipSamples;
    const int64_t b = m_total - ctdbTailSamples(m_total);
    if (m_tracks.empty() || b <= a)
        return;
    uint32_t middle = 0;
    const bool incremental = a + range < b - range && a - range >= 0 && b + range <= m_total &&
                             rangeCrc(a + range, b - range, middle);
    if (!incremental) {
        for (int s = -range; s <= range; ++s) {
            const size_t i = static_cast<size_t>(s + range);
            uint32_t c = 0;
            if (discCrc(s, c)) {
                crcs[i] = c;
                valid[i] = true;
            }
        }
        return;
    }
    // The disc at shift s is head(s) = [a+s, a+range), the middle, and tail(s) =
    // [b-range, b+s). Heads grow one sample to the front per step down, tails one sample
    // to the back per step up: one sample's CRC and one joining per shift.
    const int64_t middleBytes = (b - a - 2 * static_cast<int64_t>(range)) * 4;
    std::vector<uint32_t> heads(count, 0);
    std::vector<bool> headOk(count, false);
    uint32_t head = 0;
    bool ok = true;
    for (int s = range; s >= -range; --s) {
        const size_t i = static_cast<size_t>(s + range);
        if (s < range) {
            const uint8_t* p = sampleAt(a + s);
            ok = ok && p != nullptr;
            if (ok)
                head = combine(crcOf(p, 4), head, (range - s - 1) * 4);
        }
        heads[i] = head;
        headOk[i] = ok;
    }
    uint32_t tail = 0;
    ok = true;
    for (int s = -range; s <= range; ++s) {
        const size_t i = static_cast<size_t>(s + range);
        if (s > -range) {
            const uint8_t* p = sampleAt(b + s - 1);
            ok = ok && p != nullptr;
            if (ok)
                tail = static_cast<uint32_t>(crc32(tail, p, 4));
        }
        if (!ok || !headOk[i])
            continue;
        crcs[i] = combine(combine(heads[i], middle, middleBytes), tail, (s + range) * 4);
        valid[i] = true;
    }
}

// ---- The look-up's answer ----

namespace {

struct XmlScanner {
    const char* p;
    const char* end;
    bool atEnd() const { return p >= end; }
    void skipSpace() {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n'))
            ++p;
    }
    bool startsWith(const char* text) const {
        const size_t n = std::strlen(text);
        return static_cast<size_t>(end - p) >= n && std::memcmp(p, text, n) == 0;
    }
    // Skips to just after `text`; false when it does not follow.
    bool skipPast(const char* text) {
        const size_t n = std::strlen(text);
        for (const char* q = p; static_cast<size_t>(end - q) >= n; ++q) {
            if (std::memcmp(q, text, n) == 0) {
                p = q + n;
                return true;
            }
        }
        p = end;
        return false;
    }
};

bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == ':' || c == '-' || c == '.';
}

bool decodeEntities(const std::string& raw, std::string& out) {
    out.clear();
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '&') {
            out += raw[i];
            continue;
        }
        const size_t semi = raw.find(';', i);
        if (semi == std::string::npos || semi - i > 8)
            return false;
        const std::string name = raw.substr(i + 1, semi - i - 1);
        if (name == "amp")
            out += '&';
        else if (name == "lt")
            out += '<';
        else if (name == "gt")
            out += '>';
        else if (name == "quot")
            out += '"';
        else if (name == "apos")
            out += '\'';
        else
            out += '?'; // a character reference: no number of ours holds one
        i = semi;
    }
    return true;
}

// Reads a tag's attributes up to its '>' (`selfClosed` for "/>"). False when the tag is
// cut off or broken.
bool readAttributes(XmlScanner& s, std::map<std::string, std::string>& attributes,
                    bool& selfClosed) {
    selfClosed = false;
    for (;;) {
        s.skipSpace();
        if (s.atEnd())
            return false;
        if (*s.p == '>') {
            ++s.p;
            return true;
        }
        if (*s.p == '/') {
            if (s.end - s.p < 2 || s.p[1] != '>')
                return false;
            s.p += 2;
            selfClosed = true;
            return true;
        }
        const char* nameStart = s.p;
        while (!s.atEnd() && isNameChar(*s.p))
            ++s.p;
        if (s.p == nameStart)
            return false;
        const std::string name(nameStart, s.p);
        s.skipSpace();
        if (s.atEnd() || *s.p != '=')
            return false;
        ++s.p;
        s.skipSpace();
        if (s.atEnd() || (*s.p != '"' && *s.p != '\''))
            return false;
        const char quote = *s.p++;
        const char* valueStart = s.p;
        while (!s.atEnd() && *s.p != quote && *s.p != '<')
            ++s.p;
        if (s.atEnd() || *s.p != quote)
            return false;
        std::string value;
        if (!decodeEntities(std::string(valueStart, s.p), value))
            return false;
        ++s.p;
        if (attributes.size() > 64)
            return false;
        attributes[name] = value;
    }
}

bool parseHex32(const std::string& text, uint32_t& out) {
    if (text.empty() || text.size() > 8)
        return false;
    uint32_t v = 0;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        v = v << 4 | static_cast<uint32_t>(d);
    }
    out = v;
    return true;
}

bool parseCount(const std::string& text, int& out) {
    if (text.empty() || text.size() > 9)
        return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

bool entryFrom(const std::map<std::string, std::string>& a, CtdbEntry& e, std::string& why) {
    const auto get = [&a](const char* name) -> const std::string* {
        const auto it = a.find(name);
        return it == a.end() ? nullptr : &it->second;
    };
    const std::string* crc = get("crc32");
    const std::string* confidence = get("confidence");
    const std::string* tracks = get("trackcrcs");
    if (!crc || !parseHex32(*crc, e.crc)) {
        why = "an entry has no disc CRC";
        return false;
    }
    if (!confidence || !parseCount(*confidence, e.confidence)) {
        why = "an entry has no confidence";
        return false;
    }
    if (!tracks) {
        why = "an entry has no track CRCs";
        return false;
    }
    if (const std::string* id = get("id")) {
        if (id->size() > 32 || !std::all_of(id->begin(), id->end(), isNameChar)) {
            why = "an entry's id is not a number";
            return false;
        }
        e.id = *id;
    }
    if (const std::string* toc = get("toc"))
        e.toc = toc->substr(0, 2048);
    size_t at = 0;
    while (at < tracks->size()) {
        while (at < tracks->size() && (*tracks)[at] == ' ')
            ++at;
        size_t stop = at;
        while (stop < tracks->size() && (*tracks)[stop] != ' ')
            ++stop;
        if (stop == at)
            break;
        uint32_t v = 0;
        if (!parseHex32(tracks->substr(at, stop - at), v) || e.trackCrcs.size() >= 99) {
            why = "an entry's track CRCs are not 1 to 99 hex numbers";
            return false;
        }
        e.trackCrcs.push_back(v);
        at = stop;
    }
    if (e.trackCrcs.empty()) {
        why = "an entry's track CRCs are not 1 to 99 hex numbers";
        return false;
    }
    return true;
}

} // namespace

bool parseCtdbAnswer(const char* data, size_t size, std::vector<CtdbEntry>& out,
                     std::string& error) {
    out.clear();
    if (!data || size == 0) {
        error = "the answer is empty";
        return false;
    }
    if (size > kMaxCtdbAnswerBytes) {
        error = "the answer is larger than " + std::to_string(kMaxCtdbAnswerBytes) + " bytes";
        return false;
    }
    XmlScanner s{data, data + size};
    if (s.startsWith("\xEF\xBB\xBF"))
        s.p += 3;
    // Declarations and comments before the root.
    for (;;) {
        s.skipSpace();
        if (s.startsWith("<?")) {
            if (!s.skipPast("?>"))
                break;
        } else if (s.startsWith("<!--")) {
            if (!s.skipPast("-->"))
                break;
        } else {
            break;
        }
    }
    if (!s.startsWith("<ctdb") || size_t(s.end - s.p) < 6 || isNameChar(s.p[5])) {
        error = "the answer is not a CTDB answer";
        return false;
    }
    s.p += 5;
    std::map<std::string, std::string> attributes;
    bool selfClosed = false;
    if (!readAttributes(s, attributes, selfClosed)) {
        error = "the answer is truncated or broken (its first element)";
        return false;
    }
    if (selfClosed)
        return true;
    for (;;) {
        if (!s.skipPast("<")) {
            error = "the answer is truncated (no end of its list)";
            out.clear();
            return false;
        }
        --s.p;
        if (s.startsWith("</ctdb")) {
            return true;
        }
        if (s.startsWith("<!--")) {
            if (!s.skipPast("-->")) {
                error = "the answer is truncated (in a comment)";
                out.clear();
                return false;
            }
            continue;
        }
        const bool isEntry = s.startsWith("<entry") && s.end - s.p > 6 && !isNameChar(s.p[6]);
        ++s.p;
        if (!s.atEnd() && *s.p == '/') {
            // The end of some other element.
            if (!s.skipPast(">")) {
                error = "the answer is truncated";
                out.clear();
                return false;
            }
            continue;
        }
        while (!s.atEnd() && isNameChar(*s.p))
            ++s.p;
        attributes.clear();
        if (!readAttributes(s, attributes, selfClosed)) {
            error = "the answer is truncated or broken (an element's attributes)";
            out.clear();
            return false;
        }
        if (!isEntry)
            continue;
        CtdbEntry e;
        if (!entryFrom(attributes, e, error)) {
            out.clear();
            return false;
        }
        if (out.size() >= 10000) {
            error = "the answer names more than 10000 entries";
            out.clear();
            return false;
        }
        out.push_back(std::move(e));
    }
}

// ---- The verdict ----

CtdbVerdict ctdbVerify(const CtdbDisc& disc, const std::vector<CtdbEntry>& entries, int maxShift) {
    CtdbVerdict v;
    v.tracks.resize(disc.trackCount());
    std::vector<const CtdbEntry*> mine;
    for (const CtdbEntry& e : entries) {
        if (e.trackCrcs.size() == disc.trackCount() && e.confidence > 0) {
            mine.push_back(&e);
            v.submissions += e.confidence;
        }
    }
    if (mine.empty())
        return v;

    // The disc: as it is, else at the shift the most submissions agree with.
    std::vector<const CtdbEntry*> matching;
    uint32_t crc = 0;
    if (disc.discCrc(0, crc))
        for (const CtdbEntry* e : mine)
            if (e->crc == crc)
                matching.push_back(e);
    if (matching.empty() && maxShift > 0) {
        std::vector<uint32_t> crcs;
        std::vector<bool> valid;
        disc.discCrcs(maxShift, crcs, valid);
        std::map<int, int> confidenceAt; // shift -> submissions
        for (const CtdbEntry* e : mine) {
            for (size_t i = 0; i < crcs.size(); ++i)
                if (valid[i] && crcs[i] == e->crc)
                    confidenceAt[static_cast<int>(i) - maxShift] += e->confidence;
        }
        int best = 0;
        for (const auto& [shift, confidence] : confidenceAt) {
            if (confidence > best || (confidence == best && std::abs(shift) < std::abs(v.shift))) {
                best = confidence;
                v.shift = shift;
            }
        }
        if (best > 0) {
            const auto i = static_cast<size_t>(v.shift + maxShift);
            for (const CtdbEntry* e : mine)
                if (e->crc == crcs[i])
                    matching.push_back(e);
        }
    }
    if (!matching.empty()) {
        v.kind = CtdbVerdict::Accurate;
        const CtdbEntry* top = matching.front();
        for (const CtdbEntry* e : matching) {
            v.confidence += e->confidence;
            if (e->confidence > top->confidence)
                top = e;
        }
        v.entryId = top->id;
    } else {
        v.kind = CtdbVerdict::Differs;
    }

    for (size_t t = 0; t < v.tracks.size(); ++t) {
        CtdbTrackVerdict& tv = v.tracks[t];
        uint32_t c = 0;
        const bool have = disc.trackCrc(t, v.shift, c);
        bool known = false;
        for (const CtdbEntry* e : mine) {
            if (e->trackCrcs[t] == 0)
                continue;
            known = true;
            if (have && e->trackCrcs[t] == c)
                tv.confidence += e->confidence;
        }
        tv.kind = tv.confidence > 0 ? CtdbTrackVerdict::Accurate
                  : known           ? CtdbTrackVerdict::Differs
                                    : CtdbTrackVerdict::NotInDatabase;
    }
    return v;
}

std::string ctdbTrackText(const CtdbTrackVerdict& verdict) {
    switch (verdict.kind) {
    case CtdbTrackVerdict::Accurate:
        return "accurate (confidence " + std::to_string(verdict.confidence) + ")";
    case CtdbTrackVerdict::Differs:
        return "differs";
    case CtdbTrackVerdict::NotInDatabase:
        break;
    }
    return "not in the database";
}

std::string ctdbVerdictText(const CtdbVerdict& verdict) {
    switch (verdict.kind) {
    case CtdbVerdict::Accurate: {
        std::string text = "accurate (confidence " + std::to_string(verdict.confidence) + " of " +
                           std::to_string(verdict.submissions) + " submissions";
        if (!verdict.entryId.empty())
            text += ", entry " + verdict.entryId;
        text += ")";
        if (verdict.shift != 0)
            text += ", shifted by " + std::to_string(verdict.shift) + " samples";
        return text;
    }
    case CtdbVerdict::Differs:
        return "differs (" + std::to_string(verdict.submissions) + " submissions)";
    case CtdbVerdict::NotInDatabase:
        break;
    }
    return "not in the database";
}

} // namespace accurip
