#pragma once

#include "SampleFeed.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// AccurateRip checksums, disc identifiers and database entries, and the CRC32s rip logs
// show. Plain C++: no Qt, no I/O besides what the callers hand in.
namespace accurip {

constexpr int64_t kSamplesPerSector = 588;
// The first track's checksum leaves out its first 5 sectors minus one sample, the last
// track's its last 5 sectors: drives with large offsets cannot read them.
constexpr int64_t kSkipSamples = 5 * kSamplesPerSector;
// The gap from the end of an enhanced CD's audio session to its data track.
constexpr int64_t kSessionGap = 11400;
// Sector of a track whose checksum entries carry for offset detection.
constexpr int64_t kOffsetFrame = 450;

struct TrackChecksums {
    uint32_t v1 = 0;
    uint32_t v2 = 0;
    uint32_t crc32 = 0;
    uint32_t crc32NoSilence = 0; // over the 16-bit samples that are not zero
    int64_t samples = 0;         // stereo samples seen
};

// Checksums of one track, fed its audio (16-bit little-endian stereo) in pieces of any
// size. totalSamples is the track's length: it places the last track's skipped end.
class TrackChecksummer {
public:
    TrackChecksummer(int64_t totalSamples, bool firstTrack, bool lastTrack);
    void add(const uint8_t* bytes, size_t length);
    TrackChecksums result() const;

private:
    int64_t m_total;
    int64_t m_from; // 1-based positions counted: m_from..m_to
    int64_t m_to;
    int64_t m_position = 0; // samples seen
    uint32_t m_v1 = 0;
    uint32_t m_v2 = 0;
    unsigned long m_crc;
    unsigned long m_crcNoSilence;
    SampleFeed m_feed;
    void addSamples(const uint8_t* bytes, size_t samples);
};

// The checksum of one sector's 588 samples (weighted 1..588) that database entries carry
// for each track at sector 450: it finds a drive's read offset.
uint32_t frameChecksum(const uint8_t* sectorBytes);

// A disc's table of contents: track starts as LBAs (the first audio sector is 0) and
// the lead-out of the whole disc.
struct DiscTrack {
    int number = 0;
    int64_t start = 0;
    bool audio = true;
};
struct DiscLayout {
    std::vector<DiscTrack> tracks;
    int64_t leadOut = 0;
    // The FreeDB id when the caller knows it from the whole disc (a layout of the audio
    // tracks alone lacks an enhanced CD's data track); 0 = compute it from the tracks.
    uint32_t knownFreedbId = 0;

    // One past the last audio sector: the lead-out, or on an enhanced CD (a data track
    // after the audio) 11,400 sectors before the data track.
    int64_t audioEnd() const;
    // Sectors [first, end) of track index i (an index into tracks).
    int64_t trackEnd(size_t i) const;
    int audioTrackCount() const;
    bool valid(std::string& why) const;
};

struct DiscIds {
    uint32_t id1 = 0;    // sum of the audio tracks' offsets and the audio end
    uint32_t id2 = 0;    // the same weighted by track number
    uint32_t freedb = 0; // FreeDB disc id (all tracks, the disc's lead-out)
    int trackCount = 0;  // audio tracks
};
DiscIds discIds(const DiscLayout& disc);
uint32_t freedbId(const DiscLayout& disc);
// dBAR-NNN-XXXXXXXX-YYYYYYYY-ZZZZZZZZ.bin
std::string entryFileName(const DiscIds& ids);
// x/y/z/dBAR-... as the database lays its entries out (the last three hex digits of
// id1, lowest first).
std::string entryPath(const DiscIds& ids);

// One response of a database entry: the ids of the disc it was made from and, per
// track, the number of rips that agree, their checksum and their sector 450 checksum.
struct EntryTrack {
    int confidence = 0;
    uint32_t crc = 0;
    uint32_t frame450 = 0;
};
struct EntryResponse {
    DiscIds ids;
    std::vector<EntryTrack> tracks;
};
constexpr size_t kMaxEntryBytes = 1 << 20;
// Parses a whole entry. False, with a reason, when it is empty, truncated, larger than
// kMaxEntryBytes or names no tracks.
bool parseEntry(const uint8_t* data, size_t size, std::vector<EntryResponse>& out,
                std::string& error);
// Builds an entry (the database's own layout); tests and tools use it.
std::vector<uint8_t> buildEntry(const std::vector<EntryResponse>& responses);

struct TrackVerdict {
    enum Kind { Accurate, NotAccurate, NotInDatabase };
    Kind kind = NotInDatabase;
    int confidence = 0;   // rips that agree, by either checksum (Accurate)
    int version = 0;      // the newest version that agrees: 1 or 2 (Accurate)
    int otherRips = 0;    // rips that differ (NotAccurate)
    int confidenceV1 = 0; // rips that agree with the version 1 checksum
    int confidenceV2 = 0; // rips that agree with the version 2 checksum
};
// The verdict of the tracks (checksums by audio track, in order) against the entry's
// responses for these ids. otherDisc is set when no response is for this disc. A response
// that the entry repeats word for word counts once; a response whose checksum equals both
// of the track's checksums counts once, for version 2.
std::vector<TrackVerdict> verify(const DiscIds& ids, const std::vector<TrackChecksums>& tracks,
                                 const std::vector<EntryResponse>& responses, bool& otherDisc);

// Offset detection: given the raw audio (read without offset correction) around sector
// 450 of audio track trackIndex, tries every offset in [-maxOffset, maxOffset] against
// the entry's sector 450 checksums. rawStartSample is the disc sample of raw[0]; raw
// must cover the sector +-maxOffset samples. Returns the offsets that match, with the
// most confident first.
struct OffsetMatch {
    int offset = 0;
    int confidence = 0;
};
std::vector<OffsetMatch> findOffsets(const uint8_t* raw, size_t rawSamples, int64_t rawStartSample,
                                     int64_t trackStartSector, size_t trackIndex,
                                     const std::vector<EntryResponse>& responses, int maxOffset);

} // namespace accurip
