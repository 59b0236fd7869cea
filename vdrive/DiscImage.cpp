#include "DiscImage.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vdrive {

uint16_t cdTextCrc(const uint8_t* pack) {
    uint16_t crc = 0;
    for (int i = 0; i < 16; ++i) {
        crc ^= static_cast<uint16_t>(pack[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return static_cast<uint16_t>(~crc);
}

namespace {
uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)) |
           (static_cast<uint32_t>(p[3]) << 24);
}
} // namespace

bool findWaveData(const uint8_t* file, size_t size, size_t& dataOffset, size_t& dataSize,
                  std::string& why) {
    if (!file || size < 12 || std::memcmp(file, "RIFF", 4) != 0 ||
        std::memcmp(file + 8, "WAVE", 4) != 0) {
        why = "not a RIFF WAVE file";
        return false;
    }
    bool format = false;
    size_t at = 12;
    while (at + 8 <= size) {
        const uint32_t length = le32(file + at + 4);
        const size_t body = at + 8;
        if (std::memcmp(file + at, "fmt ", 4) == 0) {
            if (length < 16 || body + 16 > size) {
                why = "the WAVE format chunk is cut short";
                return false;
            }
            const uint8_t* f = file + body;
            const unsigned tag = f[0] | (f[1] << 8), channels = f[2] | (f[3] << 8);
            const unsigned bits = f[14] | (f[15] << 8);
            if (tag != 1 || channels != 2 || le32(f + 4) != 44100 || bits != 16) {
                why = "the WAVE file is not 16-bit stereo 44.1 kHz PCM";
                return false;
            }
            format = true;
        } else if (std::memcmp(file + at, "data", 4) == 0) {
            if (!format) {
                why = "the WAVE data chunk comes before its format";
                return false;
            }
            dataOffset = body;
            dataSize = std::min<size_t>(length, size - body);
            return true;
        }
        if (length > size - body)
            break;
        at = body + length + (length & 1);
    }
    why = "the WAVE file has no data chunk";
    return false;
}

DiscImage::~DiscImage() {
    for (const Mapping& m : m_files) {
        if (m.base && m.mappedSize)
            munmap(const_cast<uint8_t*>(m.base), m.mappedSize);
    }
}

std::unique_ptr<DiscImage> DiscImage::load(const std::string& cuePath, std::string& error) {
    CueSheet cue;
    if (!CueSheet::load(cuePath, cue, error))
        return nullptr;
    return build(cue, error);
}

std::unique_ptr<DiscImage> DiscImage::build(const CueSheet& cue, std::string& error) {
    std::unique_ptr<DiscImage> image(new DiscImage());
    std::vector<int64_t> fileSectors;
    for (const CueFile& f : cue.files) {
        auto where = [&](const std::string& why) {
            error = f.path + " (named at line " + std::to_string(f.line) + "): " + why;
        };
        const int fd = ::open(f.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            where("cannot open the image file: " + std::string(std::strerror(errno)));
            return nullptr;
        }
        struct stat st {};
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            where("not a regular file");
            return nullptr;
        }
        Mapping m;
        m.size = static_cast<size_t>(st.st_size);
        if (m.size > 0) {
            void* p = mmap(nullptr, m.size, PROT_READ, MAP_PRIVATE, fd, 0);
            if (p == MAP_FAILED) {
                ::close(fd);
                where("cannot map the image file");
                return nullptr;
            }
            m.data = static_cast<const uint8_t*>(p);
            m.base = m.data;
            m.mappedSize = m.size;
        }
        ::close(fd);
        image->m_files.push_back(m);
        if (f.wave) {
            size_t at = 0, bytes = 0;
            std::string why;
            if (!findWaveData(m.data, m.size, at, bytes, why)) {
                where(why);
                return nullptr;
            }
            image->m_files.back().data = m.data + at;
            image->m_files.back().size = bytes;
            m.size = bytes;
        }
        // A trailing partial sector reads as if padded with zeros.
        fileSectors.push_back(static_cast<int64_t>((m.size + kSectorSize - 1) / kSectorSize));
    }

    // Walk the tracks; lba of a file sector = fileBase + sector. The first file's data
    // starts at LBA 0 with track 1's INDEX 00 (its INDEX 01 when it has none): audio
    // between the two is on the disc before track 1 starts, as on a disc with a hidden
    // first track. Sectors of a file before that are not on the disc.
    const std::vector<CueTrack>& tracks = cue.tracks;
    int64_t lba = 0;
    int session = 1;
    bool sawAudio = false;
    for (size_t i = 0; i < tracks.size(); ++i) {
        const CueTrack& t = tracks[i];
        const bool firstOfFile = i == 0 || tracks[i - 1].fileIndex != t.fileIndex;
        const int64_t sectorsInFile = fileSectors[static_cast<size_t>(t.fileIndex)];
        // A pregap held at the end of the file before (INDEX 01 opens this file).
        const bool pregapBefore = t.index0File >= 0;
        const int64_t fileStart = t.index0 >= 0 && !pregapBefore ? t.index0 : t.index1;
        int64_t pregapInFileBefore = 0;
        if (pregapBefore) {
            const int64_t before = fileSectors[static_cast<size_t>(t.index0File)];
            if (t.index0 >= before || (i > 0 && tracks[i - 1].fileIndex != t.index0File)) {
                error = cue.files[static_cast<size_t>(t.index0File)].path + ": track " +
                        std::to_string(t.number) + " (line " + std::to_string(t.line) +
                        ") has its INDEX 00 beyond the end of the file";
                return nullptr;
            }
            pregapInFileBefore = before - t.index0;
            if (i == 0) {
                // The first track's pregap file lies on the disc from sector 0.
                image->m_extents.push_back(
                    {lba, pregapInFileBefore, Source::File, t.index0File, t.index0});
                lba += pregapInFileBefore;
            }
        }
        if (t.index1 >= sectorsInFile) {
            error = cue.files[static_cast<size_t>(t.fileIndex)].path + ": track " +
                    std::to_string(t.number) + " (line " + std::to_string(t.line) +
                    ") starts beyond the end of the file";
            return nullptr;
        }
        // Where this track's file data begins on the disc.
        int64_t dataFrom = i == 0 ? fileStart : (firstOfFile ? 0 : fileStart);
        Track track;
        track.number = t.number;
        track.audio = t.audio;
        track.control = t.control;
        track.userDataOffset = t.mode2 ? 24 : 16;
        if (!t.audio && sawAudio && session == 1) {
            // A data track after audio starts a second session, as on an enhanced CD.
            const int64_t inFilePregap = t.index1 - dataFrom;
            const int64_t gap = kSessionGap - t.pregap - inFilePregap;
            if (gap < 0) {
                error = cue.files[static_cast<size_t>(t.fileIndex)].path + ": track " +
                        std::to_string(t.number) + " (line " + std::to_string(t.line) +
                        ") has a pregap longer than the gap between sessions";
                return nullptr;
            }
            image->m_extents.push_back({lba, gap, Source::Gap, 0, 0});
            lba += gap;
            session = 2;
        }
        track.isrc = t.isrc;
        track.index0 = lba - pregapInFileBefore;
        // A PREGAP is silence that is not in the file; on track 1 it lies before the
        // track from LBA 0 on, as a silent gap before the first track.
        if (t.pregap > 0 && !pregapBefore) {
            image->m_extents.push_back({lba, t.pregap, Source::Silence, 0, 0});
            lba += t.pregap;
        }
        track.session = session;
        if (i == 0)
            track.index0 = 0;
        track.start = lba + (t.index1 - dataFrom);
        // File data of this track runs to the next track of the same file, or the
        // file's end.
        int64_t dataTo = sectorsInFile;
        if (i + 1 < tracks.size() && tracks[i + 1].fileIndex == t.fileIndex) {
            const CueTrack& n = tracks[i + 1];
            dataTo = n.index0 >= 0 ? n.index0 : n.index1;
        }
        if (dataTo > dataFrom) {
            image->m_extents.push_back(
                {lba, dataTo - dataFrom, Source::File, t.fileIndex, dataFrom});
            lba += dataTo - dataFrom;
        }
        if (lba <= track.start) {
            error = cue.files[static_cast<size_t>(t.fileIndex)].path + ": track " +
                    std::to_string(t.number) + " (line " + std::to_string(t.line) +
                    ") holds no sectors";
            return nullptr;
        }
        sawAudio = sawAudio || t.audio;
        image->m_tracks.push_back(track);
    }
    image->m_leadOut = lba;
    image->m_sessions = session;
    image->m_catalog = cue.catalog;
    image->buildCdText(cue);
    return image;
}

const DiscImage::Extent* DiscImage::extentAt(int64_t lba) const {
    auto it = std::upper_bound(m_extents.begin(), m_extents.end(), lba,
                               [](int64_t v, const Extent& e) { return v < e.lba; });
    if (it == m_extents.begin())
        return nullptr;
    --it;
    if (lba >= it->lba + it->count)
        return nullptr;
    return &*it;
}

const DiscImage::Track* DiscImage::trackAt(int64_t lba) const {
    const Track* found = nullptr;
    for (const Track& t : m_tracks) {
        if (t.index0 <= lba)
            found = &t;
    }
    if (lba < 0 || lba >= m_leadOut)
        return nullptr;
    return found;
}

bool DiscImage::readable(int64_t lba) const {
    const Extent* e = extentAt(lba);
    return e && e->source != Source::Gap;
}

void DiscImage::copyBytes(int64_t offset, size_t length, uint8_t* out) const {
    while (length > 0) {
        const int64_t lba =
            offset >= 0 ? offset / kSectorSize : -((-offset + kSectorSize - 1) / kSectorSize);
        const int64_t within = offset - lba * kSectorSize;
        const size_t n = std::min<size_t>(length, static_cast<size_t>(kSectorSize - within));
        const Extent* e = extentAt(lba);
        if (e && e->source == Source::File) {
            const Mapping& m = m_files[static_cast<size_t>(e->file)];
            const int64_t fileOffset = (e->fileSector + (lba - e->lba)) * kSectorSize + within;
            const size_t avail = fileOffset < static_cast<int64_t>(m.size)
                                     ? std::min(n, m.size - static_cast<size_t>(fileOffset))
                                     : 0;
            if (avail)
                std::memcpy(out, m.data + fileOffset, avail);
            if (avail < n)
                std::memset(out + avail, 0, n - avail);
        } else {
            std::memset(out, 0, n);
        }
        out += n;
        offset += static_cast<int64_t>(n);
        length -= n;
    }
}

std::string DiscImage::toLatin1(const std::string& text) {
    // Cue sheets are written in UTF-8 or in Latin-1. Valid UTF-8 is converted
    // (characters beyond Latin-1 become '?'); anything else is taken as Latin-1.
    std::string out;
    bool multiByte = false;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int extra = c < 0x80             ? 0
                          : (c & 0xE0) == 0xC0 ? 1
                          : (c & 0xF0) == 0xE0 ? 2
                          : (c & 0xF8) == 0xF0 ? 3
                                               : -1;
        // A lead byte that no UTF-8 starts with, or a sequence cut off by the end.
        if (extra < 0 || i + static_cast<size_t>(extra) >= text.size())
            return text;
        uint32_t code = extra == 0 ? c : c & (0x3Fu >> extra);
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((next & 0xC0) != 0x80)
                return text;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms are not UTF-8.
        if ((extra == 1 && code < 0x80) || (extra == 2 && code < 0x800) ||
            (extra == 3 && code < 0x10000))
            return text;
        multiByte = multiByte || extra > 0;
        out += code <= 0xFF ? static_cast<char>(code) : '?';
        i += static_cast<size_t>(extra) + 1;
    }
    return multiByte ? out : text;
}

void DiscImage::buildCdText(const CueSheet& original) {
    // CD-TEXT here is labelled ISO 8859-1, so that is what its bytes must be.
    CueSheet cue = original;
    cue.title = toLatin1(cue.title);
    cue.performer = toLatin1(cue.performer);
    for (CueTrack& t : cue.tracks) {
        t.title = toLatin1(t.title);
        t.performer = toLatin1(t.performer);
    }
    bool any = !cue.title.empty() || !cue.performer.empty();
    for (const CueTrack& t : cue.tracks)
        any = any || !t.title.empty() || !t.performer.empty();
    if (!any)
        return;
    int sequence = 0;
    auto emitType = [&](uint8_t type, auto nameOf) {
        // Strings of the disc (track 0) and every track, each with its NUL, cut into
        // packs of 12 text bytes.
        struct Char {
            char c;
            int track;
            int position;
        };
        std::vector<Char> chars;
        const int firstTrack = cue.tracks.front().number;
        for (int track = 0; track <= static_cast<int>(cue.tracks.size()); ++track) {
            const std::string& s = nameOf(track);
            int pos = 0;
            const int number = track == 0 ? 0 : firstTrack + track - 1;
            for (char c : s)
                chars.push_back({c, number, pos++});
            chars.push_back({'\0', number, pos});
        }
        for (size_t i = 0; i < chars.size(); i += 12) {
            uint8_t pack[18] = {};
            pack[0] = type;
            pack[1] = static_cast<uint8_t>(chars[i].track);
            pack[2] = static_cast<uint8_t>(sequence++);
            pack[3] = static_cast<uint8_t>(std::min(chars[i].position, 15));
            for (size_t k = 0; k < 12; ++k)
                pack[4 + k] = i + k < chars.size() ? static_cast<uint8_t>(chars[i + k].c) : 0;
            const uint16_t crc = cdTextCrc(pack);
            pack[16] = static_cast<uint8_t>(crc >> 8);
            pack[17] = static_cast<uint8_t>(crc);
            m_cdText.insert(m_cdText.end(), pack, pack + 18);
        }
    };
    emitType(0x80, [&](int track) -> const std::string& {
        return track == 0 ? cue.title : cue.tracks[static_cast<size_t>(track - 1)].title;
    });
    emitType(0x81, [&](int track) -> const std::string& {
        return track == 0 ? cue.performer : cue.tracks[static_cast<size_t>(track - 1)].performer;
    });
    // Size information (three 0x8F packs): character code, first/last track, pack
    // counts per type, last sequence number, language.
    uint8_t info[36] = {};
    info[0] = 0x00; // ISO 8859-1
    info[1] = static_cast<uint8_t>(cue.tracks.front().number);
    info[2] = static_cast<uint8_t>(cue.tracks.back().number);
    int titlePacks = 0, performerPacks = 0;
    for (size_t off = 0; off < m_cdText.size(); off += 18)
        (m_cdText[off] == 0x80 ? titlePacks : performerPacks)++;
    info[4] = static_cast<uint8_t>(titlePacks);
    info[5] = static_cast<uint8_t>(performerPacks);
    info[4 + 15] = 3;                              // the three size packs
    info[20] = static_cast<uint8_t>(sequence + 2); // last sequence number of block 0
    info[28] = 0x09;                               // English
    for (int p = 0; p < 3; ++p) {
        uint8_t pack[18] = {};
        pack[0] = 0x8F;
        pack[1] = static_cast<uint8_t>(p);
        pack[2] = static_cast<uint8_t>(sequence++);
        std::memcpy(pack + 4, info + p * 12, 12);
        const uint16_t crc = cdTextCrc(pack);
        pack[16] = static_cast<uint8_t>(crc >> 8);
        pack[17] = static_cast<uint8_t>(crc);
        m_cdText.insert(m_cdText.end(), pack, pack + 18);
    }
}

} // namespace vdrive
