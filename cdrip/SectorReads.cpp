#include "SectorReads.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>

SectorReads::SectorReads(RipExecute execute, const SectorReadTable& table)
    : m_execute(std::move(execute)), m_table(table) {}

int SectorReads::BuildReadCdb(int readMethod, int lun, long lba, long count, bool c2,
                              std::uint8_t* cdb) {
    std::memset(cdb, 0, 12);
    const auto l = static_cast<std::uint8_t>((lun & 7) << 5);
    const auto n = static_cast<std::uint32_t>(count);
    const auto a = static_cast<std::uint32_t>(lba);
    int len = 12;
    // Transfer length position: bytes 7..8 (lenAt = 7) or bytes 8..9 (lenAt = 8).
    int lenAt = 7;
    std::uint8_t opcode = 0xBE;
    std::uint8_t byte1 = l;
    std::uint8_t flags = 0;
    switch (readMethod) {
    case 1:
        opcode = 0x28;
        len = 10;
        break;
    case 2:
        opcode = 0xD4;
        len = 10;
        break;
    case 3:
        opcode = 0xD8;
        lenAt = 8;
        break;
    case 4:
        byte1 = l | 0x04;
        flags = 0xF8;
        break;
    case 5:
        flags = 0x10;
        break;
    case 6:
        opcode = 0xD4;
        lenAt = 8;
        break;
    case 7:
        opcode = 0xD5;
        len = 10;
        break;
    case 8:
        opcode = 0xA8;
        lenAt = 8;
        break;
    case 9:
        byte1 = l | 0x04;
        flags = 0x10;
        break;
    default: // 0 and anything unknown: READ CD, all audio
        flags = 0xF8;
        break;
    }
    if (c2 && lenAt == 8) {
        // These commands carry their length where READ CD keeps its flag byte and
        // have no way to ask for C2 bits; the scan uses READ CD for them instead.
        opcode = 0xBE;
        len = 12;
        lenAt = 7;
        byte1 = l;
    }
    cdb[0] = opcode;
    cdb[1] = byte1;
    cdb[2] = static_cast<std::uint8_t>(a >> 24);
    cdb[3] = static_cast<std::uint8_t>(a >> 16);
    cdb[4] = static_cast<std::uint8_t>(a >> 8);
    cdb[5] = static_cast<std::uint8_t>(a);
    if (lenAt == 7) {
        cdb[7] = static_cast<std::uint8_t>(n >> 8);
        cdb[8] = static_cast<std::uint8_t>(n);
        cdb[9] = flags;
    } else {
        cdb[8] = static_cast<std::uint8_t>(n >> 8);
        cdb[9] = static_cast<std::uint8_t>(n);
    }
    if (c2)
        cdb[9] = 0xFA;
    return len;
}

void SectorReads::FixSamples(std::uint8_t* data, std::size_t bytes, bool swapBytes,
                             bool swapChannels) {
    if (swapBytes) {
        for (std::size_t i = 0; i + 1 < bytes; i += 2)
            std::swap(data[i], data[i + 1]);
    }
    if (swapChannels) {
        for (std::size_t i = 0; i + 3 < bytes; i += 4) {
            std::swap(data[i], data[i + 2]);
            std::swap(data[i + 1], data[i + 3]);
        }
    }
}

bool SectorReads::ReadSectors(std::uint8_t* buffer, long lba, long count) {
    if (!buffer || count <= 0)
        return false;
    if (count >= kTwoThreadMinimum && count > kThreadChunk)
        return ReadTwoThreads(buffer, lba, count);
    return ReadOnce(buffer, lba, count);
}

bool SectorReads::ReadOnce(std::uint8_t* buffer, long lba, long count) {
    // A single command cannot carry more than 65535 sectors.
    if (count > 0xFFFF)
        return false;
    std::uint8_t cdb[12];
    const int len = BuildReadCdb(m_table.readMethod, m_table.lun, lba, count, false, cdb);
    const long bytes = count * kSectorBytes;
    std::memset(buffer, 0, static_cast<std::size_t>(bytes));
    if (!m_execute || m_execute(0x08, cdb, len, buffer, bytes) != 1)
        return false;
    FixSamples(buffer, static_cast<std::size_t>(bytes), m_table.endian == 0,
               m_table.swapChannels != 0);
    return true;
}

bool SectorReads::ReadTwoThreads(std::uint8_t* buffer, long lba, long count) {
    // Two readers take 27-sector pieces from a shared cursor, so the drive always
    // has the next command waiting. The lock covers only the cursor arithmetic.
    // Pieces left unread after a failure must hold zeros, not what the buffer held.
    std::memset(buffer, 0, static_cast<std::size_t>(count * kSectorBytes));
    struct Shared {
        std::mutex lock;
        std::uint8_t* cursor;
        long nextLba;
        long left;
        bool result = true;
    } shared{{}, buffer, lba, count};
    auto worker = [this, &shared] {
        for (;;) {
            std::uint8_t* at = nullptr;
            long from = 0;
            long c = 0;
            {
                std::lock_guard<std::mutex> guard(shared.lock);
                if (!shared.result)
                    return;
                c = std::min(kThreadChunk, shared.left);
                at = shared.cursor;
                from = shared.nextLba;
                shared.cursor += c * kSectorBytes;
                shared.nextLba += c;
                shared.left -= c;
            }
            if (c == 0)
                return;
            if (!ReadOnce(at, from, c)) {
                std::lock_guard<std::mutex> guard(shared.lock);
                shared.result = false;
            }
        }
    };
    std::thread first(worker);
    worker();
    first.join();
    return shared.result;
}

bool SectorReads::ScanForC2Errors(long first, long end, int& found, std::int32_t* list,
                                  int capacity, const std::atomic<std::int32_t>* stopFlag) {
    found = 0;
    if (!m_execute)
        return false;
    bool allRead = true;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(kC2Sectors * kC2SectorBytes));
    for (long start = first; start < end; start += kC2Sectors) {
        if (stopFlag && *stopFlag)
            break;
        // The last block asks only for the sectors left, so a scan up to the disc's
        // end does not fail on sectors beyond it.
        const long inRange = std::min(kC2Sectors, end - start);
        std::uint8_t cdb[12];
        const int len = BuildReadCdb(m_table.readMethod, m_table.lun, start, inRange, true, cdb);
        std::fill(buffer.begin(), buffer.end(), 0);
        if (m_execute(0x08, cdb, len, buffer.data(), inRange * kC2SectorBytes) != 1) {
            allRead = false;
            continue;
        }
        for (long s = 0; s < inRange; ++s) {
            const std::uint8_t* c2 = buffer.data() + s * kC2SectorBytes + kSectorBytes;
            const bool flagged = std::any_of(c2, c2 + (kC2SectorBytes - kSectorBytes),
                                             [](std::uint8_t b) { return b != 0; });
            if (flagged && list && found < capacity)
                list[found++] = static_cast<std::int32_t>(start + s);
        }
    }
    return allRead;
}
