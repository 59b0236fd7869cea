// CD-TEXT packs as drives deliver them, good and damaged.

#include "CdTextParser.h"

#include <gtest/gtest.h>

namespace {

using cld::CdText;
using cld::CdTextParser;

// Packs of one type holding the strings for track 0, 1, 2 ..., each with its NUL.
class PackWriter {
public:
    void add(uint8_t type, const std::vector<std::string>& strings, int block = 0) {
        std::vector<std::pair<char, int>> chars; // character, track
        for (size_t track = 0; track < strings.size(); ++track) {
            for (char c : strings[track])
                chars.push_back({c, static_cast<int>(track)});
            chars.push_back({'\0', static_cast<int>(track)});
        }
        for (size_t i = 0; i < chars.size(); i += 12) {
            uint8_t pack[18] = {};
            pack[0] = type;
            pack[1] = static_cast<uint8_t>(chars[i].second);
            pack[2] = m_sequence++;
            int position = 0;
            for (size_t k = i;
                 k > 0 && chars[k - 1].second == chars[i].second && chars[k - 1].first; --k)
                ++position;
            pack[3] = static_cast<uint8_t>((block << 4) | std::min(position, 15));
            for (size_t k = 0; k < 12 && i + k < chars.size(); ++k)
                pack[4 + k] = static_cast<uint8_t>(chars[i + k].first);
            const uint16_t crc = CdTextParser::packCrc(pack);
            pack[16] = static_cast<uint8_t>(crc >> 8);
            pack[17] = static_cast<uint8_t>(crc);
            m_packs.insert(m_packs.end(), pack, pack + 18);
        }
    }
    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> all = {static_cast<uint8_t>((m_packs.size() + 2) >> 8),
                                    static_cast<uint8_t>(m_packs.size() + 2), 0, 0};
        all.insert(all.end(), m_packs.begin(), m_packs.end());
        return all;
    }
    std::vector<uint8_t>& packs() { return m_packs; }

private:
    std::vector<uint8_t> m_packs;
    uint8_t m_sequence = 0;
};

CdText parse(const std::vector<uint8_t>& bytes, int tracks) {
    CdText text;
    EXPECT_TRUE(CdTextParser::parse(bytes.data(), bytes.size(), tracks, text));
    return text;
}

TEST(CdTextParser, TitlesAndDiscPerformer) {
    PackWriter w;
    w.add(0x80, {"An Album Title That Spans Packs", "One", "", "Three is a longer title"});
    w.add(0x81, {"Performer", "Track performer", "x", "y"});
    const CdText t = parse(w.bytes(), 3);
    EXPECT_EQ(t.title, "An Album Title That Spans Packs");
    EXPECT_EQ(t.artist, "Performer");
    ASSERT_EQ(t.trackTitles.size(), 3u);
    EXPECT_EQ(t.trackTitles[0], "One");
    EXPECT_EQ(t.trackTitles[1], ""); // an empty title does not shift the next one
    EXPECT_EQ(t.trackTitles[2], "Three is a longer title");
}

TEST(CdTextParser, TitlesBeyondTheAudioTracksAndOtherBlocksAreDropped) {
    PackWriter w;
    w.add(0x80, {"Disc", "One", "Two", "Three"});
    w.add(0x80, {"Andere", "Eins", "Zwei", "Drei"}, 1);
    const CdText t = parse(w.bytes(), 2);
    EXPECT_EQ(t.title, "Disc");
    EXPECT_EQ(t.trackTitles, (std::vector<std::string>{"One", "Two"}));
}

TEST(CdTextParser, PackWithBadCrcIsDroppedAndTheRestStaysInPlace) {
    PackWriter w;
    w.add(0x80, {"Disc title here", "First track title", "Second", "Third one"});
    // Damage the second pack ("here\0First tr"): the disc title and track 1 lose text.
    w.packs()[18 + 6] ^= 0x20;
    const CdText t = parse(w.bytes(), 3);
    EXPECT_EQ(t.title, "");
    EXPECT_EQ(t.trackTitles[0], "");
    EXPECT_EQ(t.trackTitles[1], "Second");
    EXPECT_EQ(t.trackTitles[2], "Third one");
}

TEST(CdTextParser, OversizedAndUnterminatedStringsAreCut) {
    PackWriter w;
    w.add(0x80, {std::string(3000, 'a'), "One"});
    const CdText t = parse(w.bytes(), 1);
    EXPECT_EQ(t.title, std::string(CdTextParser::kMaxString - 1, 'a'));
    EXPECT_EQ(t.trackTitles[0], "One");

    // No NUL anywhere: nothing is stored, and nothing is read past the end.
    std::vector<uint8_t> raw = {0, 38, 0, 0};
    for (int p = 0; p < 2; ++p) {
        uint8_t pack[18] = {0x80, 0, static_cast<uint8_t>(p), 0};
        std::fill(pack + 4, pack + 16, 'z');
        const uint16_t crc = CdTextParser::packCrc(pack);
        pack[16] = static_cast<uint8_t>(crc >> 8);
        pack[17] = static_cast<uint8_t>(crc);
        raw.insert(raw.end(), pack, pack + 18);
    }
    const CdText u = parse(raw, 1);
    EXPECT_EQ(u.title, "");
    EXPECT_EQ(u.trackTitles[0], "");
}

TEST(CdTextParser, ShortAndRaggedInput) {
    CdText t;
    const uint8_t tiny[3] = {0, 1, 0};
    EXPECT_FALSE(CdTextParser::parse(tiny, 3, 5, t));
    EXPECT_EQ(t.trackTitles.size(), 5u);
    EXPECT_FALSE(CdTextParser::parse(nullptr, 0, 1, t));
    PackWriter w;
    w.add(0x80, {"Disc", "One has a long title"});
    std::vector<uint8_t> bytes = w.bytes();
    bytes.resize(bytes.size() - 5); // last pack cut short: ignored
    const CdText cut = parse(bytes, 1);
    EXPECT_EQ(cut.title, "Disc");
    // Absurd track counts are clamped.
    EXPECT_TRUE(CdTextParser::parse(w.bytes().data(), w.bytes().size(), -4, t));
    EXPECT_TRUE(t.trackTitles.empty());
    EXPECT_TRUE(CdTextParser::parse(w.bytes().data(), w.bytes().size(), 100000, t));
    EXPECT_EQ(t.trackTitles.size(), 99u);
}

} // namespace
