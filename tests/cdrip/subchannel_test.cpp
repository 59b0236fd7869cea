// What a disc carries besides its audio and table of contents: pregaps (INDEX 00), audio
// before the first track, ISRCs, the media catalogue number and the control bits, as the
// virtual drive serves them through the Q sub-channel and as the ripper finds them.

#include "DiscInfoImpl.h"
#include "SubChannel.h"
#include "VDriveFixture.h"
#include "cldrip/NameText.h"
#include "cldrip/TrackInfo.h"

#include <gtest/gtest.h>

namespace {

using vdrivekit::Content;
using vdrivekit::DiscSpec;
using vdrivekit::TrackSpec;

std::string take(NameText* text) {
    std::string s = text ? text->text() : "";
    NameText::Release(text);
    return s;
}

TEST(SubChannelDecode, RejectsWrongCrcAndNonBcd) {
    // Track 2, index 1, relative 00:00:05, absolute 00:04:10 (LBA 160).
    uint8_t q[12] = {0x01, 0x02, 0x01, 0x00, 0x00, 0x05, 0x00, 0x00, 0x04, 0x10, 0, 0};
    const uint16_t crc = cld::subq::crc(q);
    q[10] = static_cast<uint8_t>(crc >> 8);
    q[11] = static_cast<uint8_t>(crc);
    cld::QFrame f;
    ASSERT_TRUE(cld::subq::decode(q, f));
    EXPECT_EQ(f.mode, 1);
    EXPECT_EQ(f.track, 2);
    EXPECT_EQ(f.index, 1);
    EXPECT_EQ(f.lba, 4 * 75 + 10 - 150);
    q[11] ^= 1;
    EXPECT_FALSE(cld::subq::decode(q, f)) << "a frame with a wrong CRC is not believed";
    q[11] ^= 1;
    q[8] = 0x0A; // not BCD
    const uint16_t crc2 = cld::subq::crc(q);
    q[10] = static_cast<uint8_t>(crc2 >> 8);
    q[11] = static_cast<uint8_t>(crc2);
    EXPECT_FALSE(cld::subq::decode(q, f));
}

// The search gives up, rather than guessing, when the drive stops answering or answers
// with track numbers that cannot be.
TEST(SubChannelSearch, FailingOrNonsenseReadsGiveUnknown) {
    int reads = 0;
    const cld::subq::ReadQ failing = [](int32_t, cld::QFrame&) { return false; };
    EXPECT_EQ(cld::subq::findIndexZero(failing, 1000, 2000, 3, reads), -1);
    EXPECT_GT(reads, 0);
    const cld::subq::ReadQ later = [](int32_t, cld::QFrame& f) {
        f.mode = 1;
        f.track = 9;
        return true;
    };
    EXPECT_EQ(cld::subq::findIndexZero(later, 1000, 2000, 3, reads), -1);
    const cld::subq::ReadQ always = [](int32_t, cld::QFrame& f) {
        f.mode = 1;
        f.track = 3;
        return true;
    };
    EXPECT_EQ(cld::subq::findIndexZero(always, 1000, 2000, 3, reads), -1);
    // A pregap of 37 sectors: found exactly, in few reads.
    reads = 0;
    const cld::subq::ReadQ exact = [](int32_t lba, cld::QFrame& f) {
        f.mode = 1;
        f.track = lba >= 1963 ? 3 : 2;
        return true;
    };
    EXPECT_EQ(cld::subq::findIndexZero(exact, 1000, 2000, 3, reads), 1963);
    EXPECT_LE(reads, 14);
}

class SubChannel : public VDriveTest {
protected:
    // Track 1: 150 sectors of audio before it (a hidden first track). Tracks 2..6: pregaps
    // of 0, 1, 75, 150 and 333 sectors, ISRCs on tracks 1, 3 and 6, pre-emphasis and
    // copy permission on track 4; a catalogue number.
    static DiscSpec richDisc() {
        DiscSpec d;
        d.catalog = "0724349691424";
        d.tracks = {
            {Content::Music, 600, {}, {}, 150, 0}, {Content::Music, 500, {}, {}, 0, 0},
            {Content::Music, 500, {}, {}, 1, 0},   {Content::Music, 500, {}, {}, 75, 0},
            {Content::Music, 700, {}, {}, 150, 0}, {Content::Music, 900, {}, {}, 333, 0},
        };
        d.codes = {{1, {"GBAYE0000351", ""}},
                   {3, {"USRC17607839", ""}},
                   {4, {"", "PRE DCP"}},
                   {6, {"DEA000512345", ""}}};
        return d;
    }
    bool q(int32_t lba, cld::QFrame& f) {
        uint8_t raw[12] = {};
        return m_cdda.ReadSubChannelQ(lba, raw) == 0 && cld::subq::decode(raw, f);
    }
};

TEST_F(SubChannel, QFramesGiveIndexesTimesIsrcAndCatalogue) {
    start({richDisc()});
    // Track 4 starts at 150 + 600 + 500 + 1 + 500 + 75 = 1826; its pregap from 1751.
    cld::QFrame f;
    ASSERT_TRUE(q(1751, f));
    EXPECT_EQ(f.mode, 1);
    EXPECT_EQ(f.track, 4);
    EXPECT_EQ(f.index, 0);
    EXPECT_EQ(f.lba, 1751);
    EXPECT_EQ(f.control, 0x03) << "pre-emphasis and copy permitted";
    ASSERT_TRUE(q(1750, f));
    EXPECT_EQ(f.track, 3);
    EXPECT_EQ(f.index, 1);
    ASSERT_TRUE(q(1826, f));
    EXPECT_EQ(f.track, 4);
    EXPECT_EQ(f.index, 1);
    ASSERT_TRUE(q(0, f));
    EXPECT_EQ(f.track, 1);
    EXPECT_EQ(f.index, 0) << "the audio before track 1 is its index 0";
    // Catalogue frames at sector 13 of every hundred, the ISRC at 63, in track 6.
    const int32_t t6 = 150 + 600 + 500 + 1 + 500 + 75 + 500 + 150 + 700 + 333;
    int32_t mcnAt = (t6 / 100 + 1) * 100 + 13, isrcAt = (t6 / 100 + 1) * 100 + 63;
    ASSERT_TRUE(q(mcnAt, f));
    EXPECT_EQ(f.mode, 2);
    EXPECT_EQ(f.mcn, "0724349691424");
    ASSERT_TRUE(q(isrcAt, f));
    EXPECT_EQ(f.mode, 3);
    EXPECT_EQ(f.isrc, "DEA000512345");
    ASSERT_TRUE(q(1163, f)); // track 2 (750..1249) has no ISRC: a position frame
    EXPECT_EQ(f.mode, 1);
    // The TOC carries the control bits.
    ASSERT_EQ(m_cdda.ReadToc(), 0);
    TocEntry e;
    ASSERT_EQ(m_cdda.GetTocEntry(&e, 3), 0);
    EXPECT_EQ(e.trackNumber, 4);
    EXPECT_EQ(e.controlAdr & 0x0F, 0x03);
    EXPECT_EQ(e.lba, 1826);
    // READ SUB-CHANNEL: the catalogue number and ISRCs.
    char mcn[14] = {}, isrc[13] = {};
    EXPECT_EQ(m_cdda.ReadCatalogNumber(mcn), 0);
    EXPECT_STREQ(mcn, "0724349691424");
    EXPECT_EQ(m_cdda.ReadTrackIsrc(3, isrc), 0);
    EXPECT_STREQ(isrc, "USRC17607839");
    EXPECT_EQ(m_cdda.ReadTrackIsrc(2, isrc), 1);
    EXPECT_STREQ(isrc, "");
    EXPECT_EQ(m_cdda.ReadTrackIsrc(42, isrc), 1) << "no such track";
}

TEST_F(SubChannel, DetectGapsFindsEveryPregapIsrcAndTheHiddenTrack) {
    start({richDisc()});
    cld::DiscInfoImpl* disc = cld::DiscInfoImpl::create(m_cdda);
    ASSERT_NE(disc, nullptr);
    int32_t sectors = -1;
    EXPECT_EQ(disc->GetHiddenTrack(&sectors), DiscInfo::HiddenNotLooked);
    ASSERT_EQ(disc->DetectGaps(), 0);
    EXPECT_EQ(disc->GetHiddenTrack(&sectors), DiscInfo::HiddenAudio);
    EXPECT_EQ(sectors, 150);
    EXPECT_EQ(take(disc->GetCatalogNumber()), "0724349691424");
    const std::vector<int32_t> gaps = {150, 0, 1, 75, 150, 333};
    const std::vector<std::string> isrcs = {"GBAYE0000351", "", "USRC17607839", "", "",
                                            "DEA000512345"};
    ASSERT_EQ(disc->GetTrackCount(), 6);
    for (int i = 0; i < 6; ++i) {
        TrackInfo* t = disc->GetTrack(i);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->GetFirstSector() - t->GetIndexZeroSector(), gaps[static_cast<size_t>(i)])
            << "track " << i + 1;
        EXPECT_EQ(take(t->GetIsrc()), isrcs[static_cast<size_t>(i)]);
        EXPECT_EQ(t->GetPreEmphasis(), i == 3 ? 1 : 0);
        EXPECT_EQ(t->GetControl(), i == 3 ? 0x03 : 0x00);
        t->Destroy();
    }
    // An exponential step back and a binary search: a few reads per track, not a scan.
    EXPECT_GT(disc->GetSubChannelReads(), 5);
    EXPECT_LT(disc->GetSubChannelReads(), 80);
    disc->Destroy();
}

TEST_F(SubChannel, SilenceBeforeTrackOneAndNothingBeforeIt) {
    DiscSpec silent;
    silent.tracks = {{Content::Music, 400, {}, {}, 0, 200}, {Content::Music, 400, {}, {}, 0, 0}};
    DiscSpec plain = audioDisc(2, 300);
    start({silent, plain});
    cld::DiscInfoImpl* disc = cld::DiscInfoImpl::create(m_cdda);
    ASSERT_EQ(disc->DetectGaps(), 0);
    int32_t sectors = 0;
    EXPECT_EQ(disc->GetHiddenTrack(&sectors), DiscInfo::HiddenSilent);
    EXPECT_EQ(sectors, 200);
    EXPECT_EQ(take(disc->GetCatalogNumber()), "");
    disc->Destroy();
    m_cdda.SetActiveDrive(1);
    disc = cld::DiscInfoImpl::create(m_cdda);
    ASSERT_EQ(disc->DetectGaps(), 0);
    EXPECT_EQ(disc->GetHiddenTrack(&sectors), DiscInfo::HiddenNone);
    EXPECT_EQ(sectors, 0);
    TrackInfo* t = disc->GetTrack(1);
    EXPECT_EQ(t->GetIndexZeroSector(), t->GetFirstSector());
    t->Destroy();
    disc->Destroy();
}

// A drive that cannot read before track 1 is reported as such, never taken for silence.
TEST_F(SubChannel, UnreadableSectorsBeforeTrackOneAreReported) {
    DiscSpec d;
    d.tracks = {{Content::Silence, 300, {}, {}, 150, 0}, {Content::Music, 300, {}, {}, 0, 0}};
    d.faults.failing = {{20, 30}};
    start({d});
    cld::DiscInfoImpl* disc = cld::DiscInfoImpl::create(m_cdda);
    disc->DetectGaps();
    int32_t sectors = 0;
    EXPECT_EQ(disc->GetHiddenTrack(&sectors), DiscInfo::HiddenUnreadable);
    EXPECT_EQ(sectors, 150);
    disc->Destroy();
}

} // namespace
