#pragma once

#include "DiscImage.h"
#include "Faults.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>

namespace vdrive {

// Outcome of one command: GOOD, or CHECK CONDITION with fixed-format sense bytes.
struct CommandResult {
    bool good = true;
    uint8_t senseKey = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
    uint32_t transferred = 0;

    static CommandResult check(uint8_t key, uint8_t asc, uint8_t ascq) {
        return {false, key, asc, ascq, 0};
    }
};

// One MMC drive holding a disc image. Thread-safe: reader threads may send commands at
// the same time.
class VirtualDrive {
public:
    VirtualDrive(std::shared_ptr<const DiscImage> image, Faults faults, std::string product);

    // Runs one command. buffer holds bufferLength bytes (data in or data out).
    CommandResult execute(const uint8_t* cdb, int cdbLength, uint8_t* buffer,
                          uint32_t bufferLength);
    // Sectors a command would read (for the slow-drive delay); 0 for other commands.
    static int64_t sectorsOf(const uint8_t* cdb, int cdbLength);
    const Faults& faults() const { return m_faults; }
    // The formatted Q sub-channel of sector lba (12 bytes: control/ADR, then the mode's
    // data, then the CRC), as a drive returns it with READ CD. Mode 1 frames give track,
    // index and times; one frame in a hundred carries the catalogue number (mode 2) when
    // the disc has one, another the track's ISRC (mode 3) when it has one, but never on
    // the first sector of an index or the sector before it.
    static void qFrame(const DiscImage& image, int64_t lba, uint8_t* q);

private:
    enum class Play { None, Playing, Paused, Completed };

    CommandResult run(const uint8_t* cdb, int cdbLength, uint8_t* buffer, uint32_t bufferLength);

    CommandResult inquiry(uint8_t* buffer, uint32_t length);
    CommandResult readToc(const uint8_t* cdb, uint8_t* buffer, uint32_t length);
    CommandResult readSubChannel(const uint8_t* cdb, uint8_t* buffer, uint32_t length);
    CommandResult readAudio(const uint8_t* cdb, int cdbLength, uint8_t* buffer, uint32_t length);
    CommandResult modeSelect(const uint8_t* cdb, const uint8_t* data, uint32_t length);
    CommandResult startStop(const uint8_t* cdb);
    CommandResult play(int64_t start, int64_t count);
    CommandResult pauseResume(const uint8_t* cdb);
    CommandResult seek(const uint8_t* cdb);

    // Reads count sectors at lba into out with sectorBytes per sector (2352, or 2646 with
    // C2 bits, or 2048 user data of data sectors, or nothing), each followed by 16 bytes
    // of formatted Q when withQ.
    CommandResult readSectors(int64_t lba, int64_t count, int kind, uint8_t* out, uint32_t length,
                              uint32_t& written, bool withQ = false);
    int64_t playPosition();
    void updatePlay();
    uint32_t nextRandom();

    std::shared_ptr<const DiscImage> m_image;
    Faults m_faults;
    std::string m_product;

    std::mutex m_mutex; // guards everything below
    bool m_trayOpen = false;
    bool m_locked = false;
    int m_unitAttention = 0;
    int32_t m_blockLength = 2048;
    uint8_t m_density = 0;
    uint16_t m_speed = 0;
    Play m_play = Play::None;
    int64_t m_playStart = 0;
    int64_t m_playEnd = 0;
    int64_t m_position = 0;
    std::chrono::steady_clock::time_point m_playSince{};
    // Jitter model: a drive that cannot stream accurately. While it streams (the
    // previous command was a READ that completed) each audio READ lands up to the
    // configured jitter early or late, at random, as the drive loses its place
    // between commands. Any other command (SET CD SPEED, MODE SELECT, TEST UNIT READY,
    // SEEK, READ TOC, ...) or a failed READ stops the stream: the drive then
    // re-synchronises on the sub-channel addresses and the next READ lands exactly.
    // So the first read of a rip, which follows the speed setting, is exact and a
    // reader can join the later ones to it.
    bool m_streaming = false;
    std::mt19937 m_random{20021};
};

} // namespace vdrive
