// Disc identifier, TOC sum and track ranges of a table of contents, checked against
// libdiscid's FreeDB identifier and the worked examples.

#include "TocMath.h"
#include "TrackInfoImpl.h"
#include "cldrip/NameText.h"

#include <cstdio>
#include <discid/discid.h>
#include <gtest/gtest.h>
#include <random>

namespace {

using cld::toc::audioTracks;
using cld::toc::discId;
using cld::toc::tocSum;

constexpr uint8_t kAudio = 0x10;
constexpr uint8_t kData = 0x14;

std::vector<TocEntry> disc(const std::vector<int32_t>& starts, int32_t leadOut,
                           std::vector<uint8_t> controls = {}) {
    std::vector<TocEntry> entries;
    for (size_t i = 0; i < starts.size(); ++i) {
        TocEntry e;
        e.lba = starts[i];
        e.trackNumber = static_cast<uint8_t>(i + 1);
        e.controlAdr = i < controls.size() ? controls[i] : kAudio;
        entries.push_back(e);
    }
    TocEntry out;
    out.lba = leadOut;
    out.trackNumber = 0xAA;
    out.controlAdr = entries.back().controlAdr;
    entries.push_back(out);
    return entries;
}

std::string libdiscidId(const std::vector<int32_t>& starts, int32_t leadOut) {
    DiscId* d = discid_new();
    int offsets[100] = {};
    offsets[0] = leadOut + 150;
    for (size_t i = 0; i < starts.size(); ++i)
        offsets[i + 1] = starts[i] + 150;
    EXPECT_EQ(discid_put(d, 1, static_cast<int>(starts.size()), offsets), 1);
    std::string id = discid_get_freedb_id(d);
    discid_free(d);
    return id;
}

std::string hex(uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof(text), "%08x", id);
    return text;
}

TEST(DiscId, MatchesLibdiscidOnRandomDiscs) {
    std::mt19937 random(115);
    for (int round = 0; round < 500; ++round) {
        const int tracks = 1 + static_cast<int>(random() % 99);
        std::vector<int32_t> starts;
        int32_t lba = static_cast<int32_t>(random() % 200);
        for (int t = 0; t < tracks; ++t) {
            starts.push_back(lba);
            lba += 1 + static_cast<int32_t>(random() % 4000);
        }
        ASSERT_EQ(hex(discId(disc(starts, lba))), libdiscidId(starts, lba))
            << "round " << round << ", " << tracks << " tracks";
    }
}

TEST(DiscId, WorkedExamples) {
    // One track, lead-out at 1000: bytes 02 00 0D 01.
    EXPECT_EQ(discId(disc({0}, 1000)), 0x02000D01u);
    EXPECT_EQ(tocSum(disc({0}, 1000)), 512u + 1000u);
    // One track to LBA 15000: 0200c801.
    EXPECT_EQ(hex(discId(disc({0}, 15000))), "0200c801");
    // A start at 100 s adds 1 to the digit sum, one at 99 s adds 18.
    EXPECT_EQ(discId(disc({0, 100 * 75 - 150}, 20000)) >> 24, 2u + 1u);
    EXPECT_EQ(discId(disc({0, 99 * 75 - 150}, 20000)) >> 24, 2u + 18u);
    // Digit sum of exactly 255 leaves a zero top byte.
    std::vector<int32_t> starts;
    for (int s : {3, 99, 189, 279, 369, 459, 549, 639, 729, 819, 909, 1089, 1179, 1269, 1359})
        starts.push_back(s * 75 - 150);
    const uint32_t id = discId(disc(starts, 1400 * 75 - 150));
    EXPECT_EQ(id >> 24, 0u);
    EXPECT_EQ(hex(id), libdiscidId(starts, 1400 * 75 - 150));
}

TEST(DiscId, EmptyTableGivesZero) {
    EXPECT_EQ(discId({}), 0u);
    EXPECT_EQ(tocSum({}), 0u);
    EXPECT_TRUE(audioTracks({}).empty());
}

TEST(TocSum, AddsPackedStartTimesAndStopsAtAChangeOfTrackKind) {
    // 3 tracks of which the third is data: the sum stops before it.
    const auto entries = disc({0, 4350, 20000}, 30000, {kAudio, kAudio, kData});
    const uint32_t a1 = 4350 + 150; // 1:00.00
    EXPECT_EQ(tocSum(entries), 512u + (a1 / 4500) * 65536 + ((a1 / 75) % 60) * 256 + a1 % 75);
    EXPECT_EQ(tocSum(entries), 512u + 65536u);
    // With more than one track the lead-out does not count.
    EXPECT_EQ(tocSum(disc({0, 4350}, 9000)), 512u + 65536u);
}

TEST(AudioTracks, EndBeforeTheNextTrackAndSkipDataTracks) {
    const auto tracks = audioTracks(disc({0, 1000, 2500}, 4000));
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(tracks[0].first, 0);
    EXPECT_EQ(tracks[0].last, 999);
    EXPECT_EQ(tracks[2].last, 3999);
    // Mixed mode: a data track first; it gets no audio track.
    const auto mixed = audioTracks(disc({0, 5000, 7000}, 9000, {kData, kAudio, kAudio}));
    ASSERT_EQ(mixed.size(), 2u);
    EXPECT_EQ(mixed[0].first, 5000);
    EXPECT_EQ(mixed[0].tocIndex, 1);
}

TEST(AudioTracks, EnhancedCdEndsWhereTheAudioSessionEnds) {
    const int32_t dataStart = 3000 + 11400;
    const auto tracks =
        audioTracks(disc({0, 1000, dataStart}, dataStart + 600, {kAudio, kAudio, kData}));
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[1].last, dataStart - 11401);
    // The same holds when the disc has a single audio track.
    const auto single = audioTracks(disc({0, dataStart}, dataStart + 600, {kAudio, kData}));
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].last, 2999);
    // A pre-emphasis flag on one track is no session change.
    const auto flagged = audioTracks(disc({0, 1000, 2000}, 3000, {kAudio, 0x11, kAudio}));
    EXPECT_EQ(flagged[0].last, 999);
    EXPECT_EQ(flagged[1].last, 1999);
}

TEST(AudioTracks, TablesThatDescribeNoDiscGiveNoTracks) {
    EXPECT_TRUE(audioTracks(disc({0, 5000, 3000}, 9000)).empty()); // out of order
    EXPECT_TRUE(audioTracks(disc({0, 5000, 5000}, 9000)).empty()); // empty track
    EXPECT_TRUE(audioTracks(disc({0, 5000}, 4000)).empty());       // lead-out inside
    EXPECT_TRUE(audioTracks(disc({-10, 5000}, 9000)).empty());     // before the disc
    std::vector<int32_t> many;
    for (int i = 0; i < 100; ++i)
        many.push_back(i * 100);
    EXPECT_TRUE(audioTracks(disc(many, 20000)).empty()); // 100 tracks
}

std::string take(NameText* t) {
    std::string s = t->text();
    t->Destroy();
    return s;
}

TEST(TrackInfo, TimesSizesAndTexts) {
    auto* t = new cld::TrackInfoImpl(0, 4499, "Title");
    EXPECT_EQ(take(t->GetStartText()), "0:00.00");
    EXPECT_EQ(take(t->GetLengthText()), "1:00");
    EXPECT_EQ(t->GetDurationSeconds(), 60u);
    EXPECT_EQ(t->GetSizeKB(), 4500u * 2352 / 1024);
    EXPECT_EQ(take(t->GetSizeText()), "10 MB");
    EXPECT_EQ(take(t->GetTitle()), "Title");
    t->Destroy();
    // A 74-minute track: sizes computed without overflow.
    auto* longTrack = new cld::TrackInfoImpl(4500 * 3 + 75 * 7 + 12, 333000 + 4500 * 3, "");
    EXPECT_EQ(take(longTrack->GetStartText()), "3:07.12");
    EXPECT_EQ(longTrack->GetStartSeconds(), 187u);
    EXPECT_EQ(longTrack->GetSizeKB(),
              static_cast<uint32_t>(uint64_t(333000 - 75 * 7 - 12 + 1) * 2352 / 1024));
    EXPECT_EQ(take(longTrack->GetLengthText()), "73:52");
    longTrack->Destroy();
}

} // namespace
