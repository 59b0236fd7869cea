#include "JitterSearch.h"
#include "ParanoiaReader.h"
#include "PlainReader.h"
#include "RipTestUtil.h"

#include <gtest/gtest.h>

using namespace cldtest;

namespace {

RipSettings fastSettings() {
    RipSettings s;
    s.speed = 1; // no speed fall-back sleeps
    s.recoveryPauseMs = 1;
    return s;
}

} // namespace

TEST(JitterSearch, SeamlessPositionWinsInSilenceAndRepeats) {
    // Overlap 7, compare 1, a 26-sector read: the previous read's last sector sits at
    // byte 14112 when the drive has no jitter.
    std::vector<std::uint8_t> buf(26 * kSector, 0);
    std::vector<std::uint8_t> cmp(kSector, 0);
    auto r = cld::findJitterOffset(cmp.data(), cmp.size(), buf.data(), buf.size(), 7);
    EXPECT_TRUE(r.searched);
    EXPECT_FALSE(r.failed);
    EXPECT_EQ(r.offset, 7 * kSector);
    EXPECT_EQ(r.position, static_cast<int>(14112 * 100 / 30576));

    fillAudio(buf.data(), 26, Content::Pattern, 1);
    std::copy(buf.begin() + 6 * kSector, buf.begin() + 7 * kSector, cmp.begin());
    r = cld::findJitterOffset(cmp.data(), cmp.size(), buf.data(), buf.size(), 7);
    EXPECT_EQ(r.offset, 7 * kSector);
}

TEST(JitterSearch, FindsShiftedBlockAndCountsMisses) {
    std::vector<std::uint8_t> disc(40 * kSector);
    fillAudio(disc.data(), 40, Content::Music, 3);
    std::vector<std::uint8_t> cmp(disc.begin() + 19 * kSector, disc.begin() + 20 * kSector);
    // The new read was meant to start at sector 13 but landed 5 frames late.
    std::vector<std::uint8_t> buf(disc.begin() + 13 * kSector + 20,
                                  disc.begin() + 13 * kSector + 20 + 26 * kSector);
    auto r = cld::findJitterOffset(cmp.data(), cmp.size(), buf.data(), buf.size(), 7);
    EXPECT_FALSE(r.failed);
    EXPECT_EQ(r.offset, 7 * kSector - 20);

    // Landed early.
    std::vector<std::uint8_t> early(disc.begin() + 13 * kSector - 40,
                                    disc.begin() + 13 * kSector - 40 + 26 * kSector);
    r = cld::findJitterOffset(cmp.data(), cmp.size(), early.data(), early.size(), 7);
    EXPECT_EQ(r.offset, 7 * kSector + 40);

    std::vector<std::uint8_t> other(26 * kSector);
    fillAudio(other.data(), 26, Content::Music, 99);
    r = cld::findJitterOffset(cmp.data(), cmp.size(), other.data(), other.size(), 7);
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.offset, 7 * kSector);

    // Compare block as large as the window: no search, and the overlap is still
    // skipped rather than delivered twice.
    std::vector<std::uint8_t> big(14 * kSector);
    r = cld::findJitterOffset(big.data(), big.size(), buf.data(), buf.size(), 7);
    EXPECT_FALSE(r.searched);
    EXPECT_EQ(r.offset, 7 * kSector);
}

TEST(JitterSearch, PeakCountsFullScale) {
    std::uint8_t s[6] = {0x00, 0x80, 0xFF, 0x7F, 0x10, 0x00};
    EXPECT_EQ(cld::peakOf(s, 3), 32768);
    EXPECT_EQ(cld::peakOf(s + 2, 2), 32767);
    EXPECT_EQ(cld::peakOf(s + 4, 1), 16);
    // Long buffers: the extreme sample found wherever it sits, in blocks or in the tail.
    for (const std::size_t at : {std::size_t{0}, std::size_t{17}, std::size_t{517},
                                 std::size_t{1000}, std::size_t{1002}}) {
        std::vector<std::uint8_t> long_(2 * 1003, 0);
        for (std::size_t i = 0; i < 1003; ++i)
            long_[2 * i] = static_cast<std::uint8_t>(i % 50); // small positive samples
        long_[2 * at] = 0x01;
        long_[2 * at + 1] = 0x80; // -32767
        EXPECT_EQ(cld::peakOf(long_.data(), 1003), 32767) << at;
        long_[2 * at + 1] = 0x70; // +28673
        EXPECT_EQ(cld::peakOf(long_.data(), 1003), 28673) << at;
    }
}

TEST(PlainReader, JitterCorrectionKeepsDataExact) {
    const auto tracks = threeTracks(600, 100, 300);
    MemoryDrive drive(makeImage(tracks));
    drive.m_jitterFrames = 6;
    PlainReader reader(drive);
    RipSettings s = fastSettings();
    // Every read after the first lands off; the first follows the speed setting and
    // is exact, so the others can be joined to it. The repeating cycle matches the
    // compare block every 49 frames; the match nearest the seamless place wins.
    for (const auto& t : {tracks[0], tracks[2]}) {
        SCOPED_TRACE("from " + std::to_string(t.first));
        s.jitterCorrection = 1;
        const long shiftedBefore = drive.m_shiftedReads;
        auto r = ripAll(reader, s, t.first + 10, t.last - 10);
        const auto expect = slice(drive.image(), t.first + 10, t.last - 10);
        EXPECT_GT(drive.m_shiftedReads, shiftedBefore);
        EXPECT_TRUE(r.data == expect);
        EXPECT_EQ(r.jitterChunks, 0);

        s.jitterCorrection = 0;
        r = ripAll(reader, s, t.first + 10, t.last - 10);
        ASSERT_EQ(r.data.size(), expect.size());
        EXPECT_FALSE(r.data == expect);
    }
}

TEST(PlainReader, ShortRangeReadsTenSectorsAndOffsetsApply) {
    MemoryDrive drive(makeImage(threeTracks()));
    PlainReader reader(drive);
    RipSettings s = fastSettings();
    auto r = ripAll(reader, s, 50, 52);
    EXPECT_EQ(r.data, slice(drive.image(), 50, 59));

    s.startOffset = 2;
    s.endOffset = 3;
    r = ripAll(reader, s, 100, 199);
    EXPECT_EQ(r.data, slice(drive.image(), 102, 202));
}

TEST(PlainReader, OverlapNotBelowSectorsPerReadIsCorrected) {
    MemoryDrive drive(makeImage(threeTracks()));
    PlainReader reader(drive);
    RipSettings s = fastSettings();
    s.sectorsPerRead = 8;
    s.overlapSectors = 8;
    auto r = ripAll(reader, s, 0, 399);
    EXPECT_EQ(r.data, slice(drive.image(), 0, 399));

    s.overlapSectors = 2;
    s.compareSectors = 5; // larger than the window: the overlap is still skipped
    r = ripAll(reader, s, 0, 399);
    EXPECT_EQ(r.data, slice(drive.image(), 0, 399));
}

TEST(PlainReader, FailingSectorsRunRecoveryAndLeaveZeros) {
    const auto tracks = threeTracks();
    MemoryDrive drive(makeImage(tracks));
    drive.m_failing = {120};
    PlainReader reader(drive);
    RipSettings s = fastSettings();
    s.jitterCorrection = 0;
    s.recoveryPasses = 3;
    auto r = ripAll(reader, s, 0, 399);
    ASSERT_EQ(r.data.size(), 400u * kSector);
    // The read holding sector 120 (sectors 104..129) fails; read again sector by sector,
    // only sector 120 comes back as zeros.
    const long lo = 120;
    const long hi = 120;
    auto expect = slice(drive.image(), 0, 399);
    std::fill(expect.begin() + lo * kSector, expect.begin() + (hi + 1) * kSector, 0);
    EXPECT_EQ(r.data, expect);
    // Three recovery seeks at 150, 160, 170 and the speed dropped to 1x.
    int seeks = 0;
    for (long lba : drive.m_lbas)
        seeks += (lba == 150 || lba == 160 || lba == 170);
    EXPECT_GE(seeks, 3);
    EXPECT_NE(std::find(drive.m_speeds.begin(), drive.m_speeds.end(), 1), drive.m_speeds.end());
}

TEST(PlainReader, ProgressPeakAndCloseState) {
    MemoryDrive drive(makeImage(threeTracks()));
    PlainReader reader(drive);
    RipSettings s = fastSettings();
    long size = 0;
    ASSERT_EQ(reader.Open(s, 0, 399, size), 0);
    EXPECT_EQ(size, 26 * kSector);
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(size));
    long bytes = 0;
    int last = -1;
    int code = 0;
    while ((code = reader.RipChunk(buf.data(), &bytes, nullptr)) != RipChunkDone) {
        ASSERT_NE(code, RipChunkFailed);
        EXPECT_GE(reader.PercentCompleted(), last);
        last = reader.PercentCompleted();
    }
    EXPECT_EQ(reader.PercentCompleted(), 99);
    EXPECT_GT(reader.PeakValue(), 9000);
    EXPECT_EQ(reader.RipChunk(nullptr, &bytes, nullptr), RipChunkFailed);
    reader.Close();
    EXPECT_EQ(reader.RipChunk(buf.data(), &bytes, nullptr), RipChunkFailed);
}

TEST(ParanoiaReader, LevelModes) {
    EXPECT_EQ(ParanoiaReader::ModeForLevel(0), 5);
    EXPECT_EQ(ParanoiaReader::ModeForLevel(1), 223);
    EXPECT_EQ(ParanoiaReader::ModeForLevel(2), 199);
    EXPECT_EQ(ParanoiaReader::ModeForLevel(3), 223);
    EXPECT_EQ(ParanoiaReader::ModeForLevel(7), 223);
}

TEST(ParanoiaReader, JitteryDriveExactAtEveryLevel) {
    // Music, silence, a short repeating cycle, and music again that starts after
    // other audio and ends before the disc does.
    auto tracks = threeTracks(400, 50, 200);
    tracks.push_back({650, 799, Content::Music});
    MemoryDrive drive(makeImage(tracks));
    drive.m_jitterFrames = 4;
    ParanoiaReader reader(drive);
    reader.SetDiscEnd(drive.sectors());
    for (int level = 0; level <= 3; ++level) {
        SCOPED_TRACE("level " + std::to_string(level));
        RipSettings s = fastSettings();
        s.paranoiaLevel = level;
        for (const auto& t : {tracks[0], tracks[3]}) {
            const long shiftedBefore = drive.m_shiftedReads;
            const auto r = ripAll(reader, s, t.first, t.last - 50);
            EXPECT_GT(drive.m_shiftedReads, shiftedBefore);
            EXPECT_EQ(r.code, RipChunkDone);
            EXPECT_TRUE(r.data == slice(drive.image(), t.first, t.last - 50)) << t.first;
            // An exact rip raises no alarm.
            EXPECT_EQ(r.jitterChunks, 0) << t.first;
        }
    }
}

TEST(ParanoiaReader, RepeatingPatternOnAJitteryDriveIsExactOrReported) {
    // A short cycle repeating thousands of times between music: once reads land off,
    // the library can take one repeat of the cycle for another, places its reads by
    // that guess and fills what it could not place with silence. Whatever comes out
    // wrong must be in a chunk reported as unverified; the same disc read without
    // jitter comes out exact with nothing reported.
    const std::vector<TestTrack> tracks = {
        {0, 399, Content::Music}, {400, 599, Content::Pattern}, {600, 699, Content::Music}};
    for (int jitter : {0, 4}) {
        MemoryDrive drive(makeImage(tracks));
        drive.m_jitterFrames = jitter;
        ParanoiaReader reader(drive);
        reader.SetDiscEnd(drive.sectors());
        for (int level = 0; level <= 3; ++level) {
            SCOPED_TRACE("jitter " + std::to_string(jitter) + " level " + std::to_string(level));
            RipSettings s = fastSettings();
            s.paranoiaLevel = level;
            long size = 0;
            ASSERT_EQ(reader.Open(s, 400, 599, size), 0);
            const auto expect = slice(drive.image(), 400, 599);
            std::vector<std::uint8_t> buf(static_cast<std::size_t>(size));
            std::size_t at = 0;
            int code = 0;
            int flagged = 0;
            int wrongChunks = 0;
            for (int guard = 0; guard < 1000; ++guard) {
                long bytes = 0;
                code = reader.RipChunk(buf.data(), &bytes, nullptr);
                if (code == RipChunkDone || code == RipChunkFailed)
                    break;
                ASSERT_LE(at + static_cast<std::size_t>(bytes), expect.size());
                const bool same = std::equal(buf.begin(), buf.begin() + bytes,
                                             expect.begin() + static_cast<long>(at));
                at += static_cast<std::size_t>(bytes);
                flagged += code == RipChunkJitter;
                if (!same) {
                    ++wrongChunks;
                    EXPECT_EQ(code, RipChunkJitter) << "chunk ending at byte " << at;
                }
            }
            EXPECT_EQ(code, RipChunkDone);
            EXPECT_EQ(at, expect.size());
            EXPECT_EQ(reader.JitterErrorCount(), flagged);
            if (jitter == 0) {
                EXPECT_EQ(wrongChunks, 0);
                EXPECT_EQ(flagged, 0);
            }
            reader.Close();
        }
    }
}

TEST(RipReader, SpinUpLeavesTheFirstReadExactOnAJitteryDrive) {
    const auto tracks = threeTracks(200, 50, 50);
    MemoryDrive drive(makeImage(tracks));
    drive.m_jitterFrames = 4;
    PlainReader plain(drive);
    ParanoiaReader paranoia(drive);
    paranoia.SetDiscEnd(drive.sectors());
    RipSettings s = fastSettings();
    s.spinUpSeconds = 1;
    for (RipReader* reader :
         {static_cast<RipReader*>(&plain), static_cast<RipReader*>(&paranoia)}) {
        const long readsBefore = drive.m_reads;
        const auto r = ripAll(*reader, s, 0, 149);
        EXPECT_GT(drive.m_reads - readsBefore, 20); // the spin-up did read
        EXPECT_TRUE(r.data == slice(drive.image(), 0, 149));
    }
}

TEST(ParanoiaReader, AbortEndsChunkWithFailure) {
    MemoryDrive drive(makeImage(threeTracks()));
    ParanoiaReader reader(drive);
    RipSettings s = fastSettings();
    long size = 0;
    ASSERT_EQ(reader.Open(s, 0, 399, size), 0);
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(size));
    long bytes = 0;
    std::atomic<std::int32_t> abort{0};
    ASSERT_EQ(reader.RipChunk(buf.data(), &bytes, &abort), RipChunkOk);
    EXPECT_EQ(bytes, size);
    abort = 1;
    EXPECT_EQ(reader.RipChunk(buf.data(), &bytes, &abort), RipChunkFailed);
    reader.Close();
}

TEST(ParanoiaReader, FailingSectorsEndWithoutHanging) {
    MemoryDrive drive(makeImage(threeTracks()));
    drive.m_failing = {50, 51};
    ParanoiaReader reader(drive);
    RipSettings s = fastSettings();
    s.paranoiaLevel = 3;
    auto r = ripAll(reader, s, 0, 199);
    // Either the library skips the sectors (delivering the track with a skip
    // reported) or the chunk fails; both end.
    if (r.code != RipChunkFailed) {
        EXPECT_EQ(r.data.size(), 200u * kSector);
        EXPECT_GT(reader.JitterErrorCount(), 0);
    }
}

TEST(RipReader, AbsurdSettingsNeitherHangNorExhaustMemory) {
    MemoryDrive drive(makeImage(threeTracks(100, 50, 50)));
    PlainReader plain(drive);
    ParanoiaReader paranoia(drive);
    for (int variant = 0; variant < 4; ++variant) {
        RipSettings s = fastSettings();
        s.sectorsPerRead = std::vector<int>{0, -5, 1000000, 3}[static_cast<std::size_t>(variant)];
        s.overlapSectors = std::vector<int>{-3, 1000000, 7, 3}[static_cast<std::size_t>(variant)];
        s.compareSectors =
            std::vector<int>{1000000000, -1, 1000000000, 5}[static_cast<std::size_t>(variant)];
        s.paranoiaLevel = std::vector<int>{-4, 99, 2, 0}[static_cast<std::size_t>(variant)];
        for (RipReader* reader :
             {static_cast<RipReader*>(&plain), static_cast<RipReader*>(&paranoia)}) {
            const auto r = ripAll(*reader, s, 10, 59);
            EXPECT_EQ(r.code, RipChunkDone) << "variant " << variant;
            EXPECT_TRUE(r.data == slice(drive.image(), 10, 59)) << "variant " << variant;
        }
    }
    // Offsets far beyond any drive's are held to a minute.
    RipSettings s = fastSettings();
    s.endOffset = 2000000000;
    long size = 0;
    ASSERT_EQ(plain.Open(s, 0, 9, size), 0);
    EXPECT_EQ(plain.RangeEnd(), 10 + RipReader::kMaxOffset);
    plain.Close();
}
