#include "CdTextParser.h"

#include <algorithm>

namespace cld {
namespace {

constexpr uint8_t kTypeTitle = 0x80;
constexpr uint8_t kTypePerformer = 0x81;

// Collects the text bytes of consecutive packs of one type and cuts them into strings
// at each NUL.
class Accumulator {
public:
    explicit Accumulator(int32_t audioTracks, CdText& out)
        : m_audioTracks(audioTracks), m_out(out) {}

    void restart(uint8_t type, int32_t track, size_t skipUntilNul) {
        m_type = type;
        m_track = track;
        m_text.clear();
        m_skipping = skipUntilNul > 0;
    }

    void add(const uint8_t* text, size_t length) {
        for (size_t i = 0; i < length; ++i) {
            const char c = static_cast<char>(text[i]);
            if (m_skipping) {
                // Rest of a string whose start was in a dropped pack.
                if (c == '\0') {
                    m_skipping = false;
                    ++m_track;
                }
                continue;
            }
            // Every NUL ends a string, an empty one too: an empty title belongs to
            // its own track and must not shift the titles that follow.
            if (c != '\0') {
                // Strings longer than the buffer are cut; the rest is dropped.
                if (m_text.size() < CdTextParser::kMaxString - 1)
                    m_text += c;
                continue;
            }
            store();
            m_text.clear();
            ++m_track;
        }
    }

private:
    void store() {
        if (m_type == kTypeTitle) {
            if (m_track == 0)
                m_out.title = m_text;
            else if (m_track >= 1 && m_track <= m_audioTracks)
                m_out.trackTitles[static_cast<size_t>(m_track - 1)] = m_text;
        } else if (m_type == kTypePerformer && m_track == 0) {
            m_out.artist = m_text;
        }
    }

    int32_t m_audioTracks;
    CdText& m_out;
    uint8_t m_type = 0;
    int32_t m_track = 0;
    std::string m_text;
    bool m_skipping = false;
};

} // namespace

uint16_t CdTextParser::packCrc(const uint8_t* pack) {
    uint16_t crc = 0;
    for (size_t i = 0; i < 16; ++i) {
        crc ^= static_cast<uint16_t>(pack[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return static_cast<uint16_t>(~crc);
}

bool CdTextParser::parse(const uint8_t* data, size_t length, int32_t audioTracks, CdText& out) {
    out = CdText{};
    audioTracks = std::clamp(audioTracks, 0, 99);
    out.trackTitles.assign(static_cast<size_t>(audioTracks), std::string());
    if (!data || length < 4)
        return false;
    Accumulator acc(audioTracks, out);
    bool haveType = false;
    bool resync = false;
    uint8_t lastType = 0;
    for (size_t offset = 4; offset + kPackSize <= length; offset += kPackSize) {
        const uint8_t* pack = data + offset;
        const uint16_t stored = static_cast<uint16_t>((pack[16] << 8) | pack[17]);
        if (stored != packCrc(pack)) {
            resync = true;
            continue;
        }
        const uint8_t type = pack[0];
        const int block = (pack[3] >> 4) & 0x07;
        if (block != 0)
            continue;
        const int32_t track = pack[1] & 0x7F;
        if (!haveType || type != lastType) {
            acc.restart(type, track, 0);
        } else if (resync) {
            // The pack's own track number and character position say where it stands.
            acc.restart(type, track, (pack[3] & 0x0F));
        }
        haveType = true;
        resync = false;
        lastType = type;
        acc.add(pack + 4, 12);
    }
    return true;
}

} // namespace cld
