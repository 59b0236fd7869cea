#pragma once

#include "CueSheet.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vdrive {

// A disc as a drive sees it, built from a cue sheet and its raw image files (mapped
// into memory): the tracks with their start sectors, the lead-out, the readable
// extents, and the CD-TEXT packs made from the cue's TITLE and PERFORMER lines.
class DiscImage {
public:
    static constexpr int kSectorSize = 2352;
    // Lead-out of the audio session, lead-in of the next and the data track's pregap.
    static constexpr int64_t kSessionGap = 11400;

    struct Track {
        int number = 0;
        uint8_t control = 0;
        int64_t start = 0;  // INDEX 01
        int64_t index0 = 0; // first sector of the track's pregap (== start when none)
        bool audio = true;
        int session = 1;
        // Where the 2048 user data bytes start in a data sector: after the sync and
        // header (Mode 1), and after the XA subheader as well (Mode 2 form 1).
        int userDataOffset = 16;
        std::string isrc; // empty = none
    };

    ~DiscImage();
    DiscImage(const DiscImage&) = delete;
    DiscImage& operator=(const DiscImage&) = delete;

    // Loads a cue sheet and maps its files. On failure returns null and sets error.
    static std::unique_ptr<DiscImage> load(const std::string& cuePath, std::string& error);
    static std::unique_ptr<DiscImage> build(const CueSheet& cue, std::string& error);

    const std::vector<Track>& tracks() const { return m_tracks; }
    int64_t leadOut() const { return m_leadOut; }
    int sessions() const { return m_sessions; }
    // Media catalogue number (13 digits), empty when the cue has none.
    const std::string& catalog() const { return m_catalog; }
    // Track holding lba (by INDEX 00 .. next track), or null outside the tracks.
    const Track* trackAt(int64_t lba) const;
    // True when lba can be read (not in the gap between sessions, not past the end).
    bool readable(int64_t lba) const;
    // Copies length bytes starting at byte offset (counted from LBA 0 × 2352) into out;
    // bytes outside readable sectors become zeros.
    void copyBytes(int64_t offset, size_t length, uint8_t* out) const;
    // The CD-TEXT packs (18 bytes each, with CRC); empty when the cue has no names.
    const std::vector<uint8_t>& cdTextPacks() const { return m_cdText; }
    // Text of a cue sheet as ISO 8859-1: UTF-8 is converted (characters Latin-1 lacks
    // become '?'), text that is not UTF-8 is taken as Latin-1 already.
    static std::string toLatin1(const std::string& text);

private:
    DiscImage() = default;

    struct Mapping {
        const uint8_t* data = nullptr; // the audio or sectors (after a WAVE header)
        size_t size = 0;
        const uint8_t* base = nullptr; // what was mapped
        size_t mappedSize = 0;
    };
    enum class Source { File, Silence, Gap };
    struct Extent {
        int64_t lba = 0;
        int64_t count = 0;
        Source source = Source::Silence;
        int file = 0;
        int64_t fileSector = 0;
    };
    const Extent* extentAt(int64_t lba) const;
    void buildCdText(const CueSheet& cue);

    std::vector<Mapping> m_files;
    std::vector<Extent> m_extents;
    std::vector<Track> m_tracks;
    int64_t m_leadOut = 0;
    int m_sessions = 1;
    std::string m_catalog;
    std::vector<uint8_t> m_cdText;
};

// Where the samples of a RIFF WAVE file of 16-bit stereo 44.1 kHz PCM lie: sets
// dataOffset and dataSize (cut to the file). False, with why, for anything else.
bool findWaveData(const uint8_t* file, size_t size, size_t& dataOffset, size_t& dataSize,
                  std::string& why);

// CRC of a CD-TEXT pack's first 16 bytes, stored big-endian in bytes 16..17.
uint16_t cdTextCrc(const uint8_t* pack);

} // namespace vdrive
