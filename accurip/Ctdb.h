#pragma once

#include "AccurateRip.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The CUETools database (CTDB): the disc's TOC id, the CRC32s its entries carry (whole
// disc and per track), the answer of its look-up and the verdict of a rip against it,
// including the match of a rip that is right but shifted by some samples. Plain C++.
namespace accurip {

// The first 10 sectors of the disc and the last 10 sectors plus the disc's length modulo
// 10 sectors are left out of the disc's and the first and last track's CRCs.
constexpr int64_t kCtdbSkipSamples = 10 * kSamplesPerSector;
// How far the offset-independent match shifts a rip: as far as the left-out edges allow.
constexpr int kCtdbMaxShift = static_cast<int>(kCtdbSkipSamples);

// The TOC id: SHA-1 over the audio tracks' starts (after the first) and the audio end,
// relative to the first track's start, as 8 upper-case hex digits each, padded to 100
// entries with "0"; Base64 with '.', '_' and '-' for '+', '/' and '='.
std::string ctdbTocId(const DiscLayout& disc);
// The "toc" of a look-up: every track's start (a data track's with '-' before it) and the
// lead-out, in sectors, joined with ':'.
std::string ctdbTocQuery(const DiscLayout& disc);
// The audio's end minus the first audio track's start, in samples: the disc as CTDB sums it.
int64_t ctdbDiscSamples(const DiscLayout& disc);
// Samples left out at the end of the disc (and of its last track).
int64_t ctdbTailSamples(int64_t discSamples);

// What one track's audio leaves for CTDB: its first and last samples as they are (enough
// to shift the track's edges and the disc's left-out ends by up to kCtdbMaxShift) and the
// CRC32 of everything between. Built by CtdbTrackChecksummer.
struct CtdbTrackSums {
    int64_t samples = 0;       // the track's length in samples
    std::vector<uint8_t> head; // its first samples (16-bit stereo bytes)
    int64_t coreSamples = 0;   // samples between head and tail
    uint32_t coreCrc = 0;      // their CRC32
    std::vector<uint8_t> tail; // its last samples
    bool complete() const;
};

// Feeds one track's audio (16-bit little-endian stereo) in pieces of any size.
class CtdbTrackChecksummer {
public:
    explicit CtdbTrackChecksummer(int64_t totalSamples);
    void add(const uint8_t* bytes, size_t length);
    // The sums of what was fed; `samples` counts what arrived, which may differ from the
    // length given (a short file).
    CtdbTrackSums result() const;

private:
    int64_t m_total;
    int64_t m_headSamples;
    int64_t m_tailFrom;
    int64_t m_position = 0;
    CtdbTrackSums m_sums;
    unsigned long m_crc;
    SampleFeed m_feed;
    void addSamples(const uint8_t* bytes, size_t samples);
};

// A whole disc's audio, from the tracks' sums in order: CRCs of the disc and of each track,
// also shifted by some samples (the rip's samples [from + shift, to + shift) instead of
// [from, to)).
class CtdbDisc {
public:
    explicit CtdbDisc(std::vector<CtdbTrackSums> tracks);
    int64_t samples() const { return m_total; }
    size_t trackCount() const { return m_tracks.size(); }
    // False when a CRC at this shift needs samples outside the disc or not kept.
    bool discCrc(int shift, uint32_t& crc) const;
    bool trackCrc(size_t track, int shift, uint32_t& crc) const;
    // The disc's CRC at every shift in [-range, range] (index shift + range); shifts the
    // disc cannot give are left out of `valid`.
    void discCrcs(int range, std::vector<uint32_t>& crcs, std::vector<bool>& valid) const;

private:
    struct Segment {
        int64_t from = 0; // disc samples [from, to)
        int64_t to = 0;
        const std::vector<uint8_t>* bytes = nullptr; // kept samples, or null for a core
        uint32_t crc = 0;                            // CRC32 of the whole segment
    };
    std::vector<CtdbTrackSums> m_tracks;
    std::vector<int64_t> m_starts; // disc sample where each track starts
    std::vector<Segment> m_segments;
    int64_t m_total = 0;
    bool rangeCrc(int64_t from, int64_t to, uint32_t& crc) const;
    const uint8_t* sampleAt(int64_t position) const;
    void rangeLimits(size_t track, int64_t& from, int64_t& to) const;
};

// One entry of the database's answer.
struct CtdbEntry {
    std::string id;   // the entry's number in the database
    uint32_t crc = 0; // the whole disc's CRC32
    int confidence = 0;
    std::string toc; // the disc the entry was made from, as the look-up names it
    std::vector<uint32_t> trackCrcs;
};
constexpr size_t kMaxCtdbAnswerBytes = 4 << 20;
// Parses the XML answer of a look-up (a <ctdb> element holding <entry> elements). True
// with no entries for an answer that names none. False, with a reason, for anything that
// is not such an answer, an entry lacking its numbers, or more than kMaxCtdbAnswerBytes.
bool parseCtdbAnswer(const char* data, size_t size, std::vector<CtdbEntry>& out,
                     std::string& error);

struct CtdbTrackVerdict {
    enum Kind { Accurate, Differs, NotInDatabase };
    Kind kind = NotInDatabase;
    int confidence = 0; // submissions that agree (Accurate)
};
struct CtdbVerdict {
    enum Kind { Accurate, Differs, NotInDatabase };
    Kind kind = NotInDatabase;
    int confidence = 0;  // submissions whose disc CRC the rip matches
    int submissions = 0; // submissions of every entry for this disc
    std::string entryId; // the most confident matching entry
    int shift = 0;       // samples the rip lies shifted against the matching entry
    std::vector<CtdbTrackVerdict> tracks;
};
// The rip's verdict against the entries (those with another track count are ignored). The
// disc matches an entry's CRC as it is or, failing that, shifted by up to maxShift
// samples; the tracks are compared at the shift the disc matched at.
CtdbVerdict ctdbVerify(const CtdbDisc& disc, const std::vector<CtdbEntry>& entries,
                       int maxShift = kCtdbMaxShift);
// "accurate (confidence N)", "differs", "not in the database".
std::string ctdbTrackText(const CtdbTrackVerdict& verdict);
// The disc's line: "accurate (confidence 3 of 5 submissions, entry 1234)", with
// ", shifted by N samples" when the match needed a shift.
std::string ctdbVerdictText(const CtdbVerdict& verdict);

} // namespace accurip
