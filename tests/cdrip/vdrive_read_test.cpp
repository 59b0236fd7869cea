// The virtual drive's audio reads: every READ opcode, block length, faults.

#include "VDriveFixture.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

using vdrivekit::Content;
using vdrivekit::DiscSpec;

std::vector<uint8_t> expected(int track, int64_t first, int64_t count, Content c = Content::Music) {
    std::vector<uint8_t> out(static_cast<size_t>(count) * 2352);
    for (int64_t i = 0; i < count; ++i)
        vdrivekit::generateSector(c, track, first + i, out.data() + i * 2352);
    return out;
}

class VDriveRead : public VDriveTest {
protected:
    uint8_t read(std::vector<uint8_t> cdb, std::vector<uint8_t>& out, uint32_t size) {
        out.assign(size, 0);
        return engine().executeCommand(0x08, cdb.data(), static_cast<int>(cdb.size()), out.data(),
                                       size);
    }
    std::array<uint8_t, 3> sense() {
        std::array<uint8_t, 3> s{};
        m_cdda.GetLastSense(&s[0], &s[1], &s[2]);
        return s;
    }
};

TEST_F(VDriveRead, EveryReadOpcodeDeliversTheSectors) {
    start({audioDisc(2, 300)});
    // LBA 0x123 = 291, 3 sectors, in the layouts of the ten read methods.
    const std::vector<std::vector<uint8_t>> cdbs = {
        {0xBE, 0x00, 0, 0, 0x01, 0x23, 0, 0, 3, 0xF8, 0, 0},
        {0xD4, 0x00, 0, 0, 0x01, 0x23, 0, 0, 3, 0},
        {0xD8, 0x00, 0, 0, 0x01, 0x23, 0, 0, 0, 3, 0, 0},
        {0xBE, 0x04, 0, 0, 0x01, 0x23, 0, 0, 3, 0xF8, 0, 0},
        {0xBE, 0x00, 0, 0, 0x01, 0x23, 0, 0, 3, 0x10, 0, 0},
        {0xD4, 0x00, 0, 0, 0x01, 0x23, 0, 0, 0, 3, 0, 0},
        {0xD5, 0x00, 0, 0, 0x01, 0x23, 0, 0, 3, 0},
        {0xBE, 0x04, 0, 0, 0x01, 0x23, 0, 0, 3, 0x10, 0, 0},
    };
    // Sectors 291..293 span the end of track 1 (300 sectors) ... all in track 1.
    const auto want = expected(1, 291, 3);
    std::vector<uint8_t> got;
    for (const auto& cdb : cdbs) {
        ASSERT_EQ(read(cdb, got, 3 * 2352), 1) << std::hex << int(cdb[0]);
        EXPECT_EQ(got, want) << std::hex << int(cdb[0]);
    }
}

TEST_F(VDriveRead, ReadTenNeedsTheRawBlockLength) {
    start({audioDisc(1, 300)});
    const std::vector<uint8_t> read10 = {0x28, 0, 0, 0, 0, 5, 0, 0, 2, 0};
    const std::vector<uint8_t> read12 = {0xA8, 0, 0, 0, 0, 5, 0, 0, 0, 2, 0, 0};
    std::vector<uint8_t> got;
    EXPECT_EQ(read(read10, got, 2 * 2352), 4);
    EXPECT_EQ(sense(), (std::array<uint8_t, 3>{5, 0x64, 0}));
    DriveParams p;
    m_cdda.GetDriveParams(&p);
    p.driveTable = {19, 1, 0, 1, 1, 0x82, 1};
    m_cdda.SetDriveParams(&p);
    ASSERT_EQ(engine().setBlockLength(2352, 0x82), 1);
    EXPECT_EQ(read(read10, got, 2 * 2352), 1);
    EXPECT_EQ(got, expected(1, 5, 2));
    EXPECT_EQ(read(read12, got, 2 * 2352), 1);
    EXPECT_EQ(got, expected(1, 5, 2));
    ASSERT_EQ(engine().setBlockLength(2048, 0), 1);
    EXPECT_EQ(read(read10, got, 2 * 2352), 4);
}

TEST_F(VDriveRead, ReadsPastTheDiscOrIntoTheBufferEndAreRefused) {
    start({audioDisc(1, 300)});
    std::vector<uint8_t> got;
    EXPECT_EQ(read({0xBE, 0, 0, 0, 0x01, 0x2B, 0, 0, 2, 0xF8, 0, 0}, got, 2 * 2352), 4); // 299+2
    EXPECT_EQ(sense(), (std::array<uint8_t, 3>{5, 0x21, 0}));
    EXPECT_EQ(read({0xBE, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 1, 0xF8, 0, 0}, got, 2352), 4);
    EXPECT_EQ(read({0xBE, 0, 0, 0, 0, 0, 0, 0, 2, 0xF8, 0, 0}, got, 2352), 4);
    EXPECT_EQ(sense(), (std::array<uint8_t, 3>{5, 0x24, 0}));
    EXPECT_EQ(read({0xBE, 0, 0, 0, 0, 0, 0, 0, 1, 0xF8, 1, 0}, got, 2352), 4); // sub-channel
    EXPECT_EQ(read({0xBE, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xF8, 0, 0}, got, 2352), 4);
    EXPECT_EQ(read({0xFF, 0, 0, 0, 0, 0}, got, 2352), 4);
    EXPECT_EQ(sense(), (std::array<uint8_t, 3>{5, 0x20, 0}));
}

TEST_F(VDriveRead, DataSectorsAreNotCdDa) {
    DiscSpec disc;
    disc.tracks = {{Content::Data, 300, {}, {}, 0, 0}, {Content::Music, 300, {}, {}, 0, 0}};
    start({disc});
    std::vector<uint8_t> got;
    EXPECT_EQ(read({0xBE, 0x04, 0, 0, 0, 10, 0, 0, 1, 0x10, 0, 0}, got, 2352), 4);
    EXPECT_EQ(sense(), (std::array<uint8_t, 3>{5, 0x64, 0}));
    ASSERT_EQ(read({0x28, 0, 0, 0, 0, 10, 0, 0, 1, 0}, got, 2048), 1);
    EXPECT_EQ(std::memcmp(got.data(), expected(1, 10, 1, Content::Data).data() + 16, 2048), 0);
    ASSERT_EQ(read({0xBE, 0x04, 0, 0, 0x01, 0x2C, 0, 0, 1, 0x10, 0, 0}, got, 2352), 1); // LBA 300
    EXPECT_EQ(got, expected(2, 0, 1));
}

TEST_F(VDriveRead, JitterShiftsReadsThatFollowAReadButNotTheFirstAfterAStop) {
    DiscSpec disc = audioDisc(1, 600);
    disc.faults.jitterFrames = 6;
    start({disc});
    const auto base = expected(1, 90, 40); // frames around LBA 100
    const std::vector<uint8_t> readCdb = {0xBE, 0, 0, 0, 0, 100, 0, 0, 2, 0xF8, 0, 0};
    // Frames the read landed late (negative: early), or 99 when it matches nowhere
    // within the limit.
    auto landed = [&] {
        std::vector<uint8_t> got;
        if (read(readCdb, got, 2 * 2352) != 1)
            return 98;
        for (int frames = -6; frames <= 6; ++frames) {
            const size_t at = 10 * 2352 + static_cast<size_t>(frames * 4);
            if (std::memcmp(base.data() + at, got.data(), got.size()) == 0)
                return frames;
        }
        return 99;
    };
    auto command = [&](std::vector<uint8_t> cdb, uint32_t size) {
        std::vector<uint8_t> out(size, 0);
        return engine().executeCommand(size ? 0x08 : 0x10, cdb.data(), static_cast<int>(cdb.size()),
                                       size ? out.data() : nullptr, size);
    };

    // The first read after the commands that opened the drive lands exactly.
    EXPECT_EQ(landed(), 0);
    // Reads in a stream land off, within the limit.
    int shifted = 0;
    for (int round = 0; round < 30; ++round) {
        const int frames = landed();
        EXPECT_LE(std::abs(frames), 6) << "round " << round;
        shifted += frames != 0;
    }
    EXPECT_GT(shifted, 10);

    // Any other command stops the stream: the next read is exact, every time.
    const std::vector<std::pair<std::vector<uint8_t>, uint32_t>> stops = {
        {{0x00, 0, 0, 0, 0, 0}, 0},                               // TEST UNIT READY
        {{0xBB, 0, 0x00, 0xB0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}, 0}, // SET CD SPEED
        {{0x2B, 0, 0, 0, 0, 100, 0, 0, 0, 0}, 0},                 // SEEK
        {{0x43, 0, 0, 0, 0, 0, 0, 0x03, 0x24, 0}, 804},           // READ TOC
        {{0xBE, 0, 0, 0, 0x02, 0x57, 0, 0, 2, 0xF8, 0, 0}, 4704}, // failing READ past the end
    };
    for (size_t i = 0; i < stops.size(); ++i) {
        for (int round = 0; round < 8; ++round) {
            landed();
            landed(); // streaming now
            command(stops[i].first, stops[i].second);
            EXPECT_EQ(landed(), 0) << "command " << i << " round " << round;
        }
    }
}

TEST_F(VDriveRead, FailingScratchedAndC2Sectors) {
    DiscSpec disc = audioDisc(1, 600);
    disc.faults.failing = {{50, 51}};
    disc.faults.scratched = {{70, 70}};
    disc.faults.c2 = {{80, 80}};
    start({disc});
    std::vector<uint8_t> got;
    EXPECT_EQ(read({0xBE, 0, 0, 0, 0, 48, 0, 0, 4, 0xF8, 0, 0}, got, 4 * 2352), 4);
    EXPECT_EQ(sense(), (std::array<uint8_t, 3>{3, 0x11, 0}));
    // The sectors before the bad one did arrive.
    EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + 2 * 2352), expected(1, 48, 2));

    std::vector<uint8_t> again;
    ASSERT_EQ(read({0xBE, 0, 0, 0, 0, 70, 0, 0, 1, 0xF8, 0, 0}, got, 2352), 1);
    ASSERT_EQ(read({0xBE, 0, 0, 0, 0, 70, 0, 0, 1, 0xF8, 0, 0}, again, 2352), 1);
    EXPECT_NE(got, again);
    EXPECT_NE(got, expected(1, 70, 1));

    // READ CD with C2 bits: 2646 bytes per sector, bits set only for the damaged one.
    ASSERT_EQ(read({0xBE, 0, 0, 0, 0, 79, 0, 0, 2, 0xFA, 0, 0}, got, 2 * 2646), 1);
    const auto clean = expected(1, 79, 2);
    EXPECT_EQ(std::memcmp(got.data(), clean.data(), 2352), 0);
    EXPECT_TRUE(
        std::all_of(got.begin() + 2352, got.begin() + 2646, [](uint8_t b) { return b == 0; }));
    EXPECT_NE(std::memcmp(got.data() + 2646, clean.data() + 2352, 2352), 0);
    EXPECT_TRUE(
        std::any_of(got.begin() + 2646 + 2352, got.end(), [](uint8_t b) { return b != 0; }));
}

} // namespace
