// Reads corrected for a drive's read offset, on a drive in memory whose sample at disc
// position k is k itself: what comes back says exactly which samples were delivered.

#include "OffsetReads.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr long kSectors = 40; // the disc's readable sectors

// A drive whose read of sector L delivers disc samples from L*588 - driveOffset on.
struct MemoryDrive {
    long driveOffset = 0;
    std::vector<std::pair<long, long>> reads;
    bool read(std::uint8_t* out, long lba, long count) {
        reads.emplace_back(lba, count);
        if (lba < 0 || lba + count > kSectors)
            return false; // a real drive refuses reads outside the disc
        for (long k = 0; k < count * 588; ++k) {
            const long sample = lba * 588 + k - driveOffset;
            const auto v =
                static_cast<std::uint32_t>(sample >= 0 && sample < kSectors * 588 ? sample + 1 : 0);
            std::memcpy(out + k * 4, &v, 4);
        }
        return true;
    }
};

std::uint32_t at(const std::vector<std::uint8_t>& b, long k) {
    std::uint32_t v;
    std::memcpy(&v, b.data() + k * 4, 4);
    return v;
}

} // namespace

TEST(OffsetReads, CorrectedReadsDeliverTheDiscsSamplesWithSilenceBeyondIt) {
    for (const int offset : {0, 1, 667, 588, -1, -1164, -588, 4999, -5000}) {
        SCOPED_TRACE(offset);
        MemoryDrive drive;
        drive.driveOffset = offset;
        const cld::SectorReadFn fn = [&](std::uint8_t* out, long lba, long count) {
            return drive.read(out, lba, count);
        };
        for (const long lba : {0L, 5L, kSectors - 3}) {
            std::vector<std::uint8_t> buffer(3 * 2352, 0xEE);
            drive.reads.clear();
            EXPECT_TRUE(cld::readWithOffset(fn, buffer.data(), lba, 3, offset, kSectors));
            for (long k = 0; k < 3 * 588; ++k) {
                // The disc's own sample, or silence where the drive cannot deliver it
                // (before its first sector or past its last one, shifted by its offset).
                const long disc = lba * 588 + k;
                const long raw = disc + offset;
                const std::uint32_t want =
                    raw >= 0 && raw < kSectors * 588 ? static_cast<std::uint32_t>(disc + 1) : 0;
                ASSERT_EQ(at(buffer, k), want) << "lba " << lba << " sample " << k;
            }
            // Never outside the disc, and always one command.
            ASSERT_LE(drive.reads.size(), 1u);
            for (const auto& [first, count] : drive.reads) {
                EXPECT_GE(first, 0);
                EXPECT_LE(first + count, kSectors);
            }
        }
    }
}

TEST(OffsetReads, AFailedReadIsReportedAndAnUnknownEndLeavesTheRangeAlone) {
    MemoryDrive drive;
    const cld::SectorReadFn failing = [](std::uint8_t*, long, long) { return false; };
    std::vector<std::uint8_t> buffer(2352);
    EXPECT_FALSE(cld::readWithOffset(failing, buffer.data(), 3, 1, 10, kSectors));
    EXPECT_FALSE(cld::readWithOffset(failing, nullptr, 3, 1, 10, kSectors));
    const cld::SectorReadFn fn = [&](std::uint8_t* out, long lba, long count) {
        return drive.read(out, lba, count);
    };
    // readableEnd 0 (unknown): the read goes one sector on, as the offset asks.
    EXPECT_TRUE(cld::readWithOffset(fn, buffer.data(), 3, 1, 10, 0));
    ASSERT_EQ(drive.reads.size(), 1u);
    EXPECT_EQ(drive.reads[0], (std::pair<long, long>(3, 2)));
    EXPECT_EQ(at(buffer, 0), static_cast<std::uint32_t>(3 * 588 + 10 + 1));
}
