#pragma once

#include "AspiLibrary.h"
#include "ScsiCommands.h"
#include "TocTable.h"
#include "cldrip/Aspi.h"
#include "cldrip/DriveParams.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace cld {

// State of the audio reader; defined by the extraction code.
class ReadState;
struct ReadStateDeleter {
    void operator()(ReadState* state) const;
};

// The process-wide engine behind every CDDAObject: transport, drive list, per-drive
// table of contents and the read state. Commands run on the caller's thread.
class RipperEngine {
public:
    static constexpr int32_t kDefaultTimeoutMs = 10000;

    explicit RipperEngine(int32_t transportSelector);
    ~RipperEngine();
    RipperEngine(const RipperEngine&) = delete;
    RipperEngine& operator=(const RipperEngine&) = delete;

    // The engine of this process, or null before a successful Init.
    static RipperEngine* current();
    // Replaces the process-wide engine; the old one is retired, not freed.
    static void install(std::unique_ptr<RipperEngine> engine);

    // Transport and discovery.
    int32_t initTransport();
    void shutdownTransport();
    int32_t scanDrives();
    uint8_t getDeviceType(uint8_t adapter, uint8_t target, uint8_t lun);
    void addDrive(const char* name, uint8_t adapter, uint8_t target, uint8_t lun);
    bool usesPassThrough() const { return m_passThrough; }
    void setTimeoutMs(int32_t ms) { m_timeoutMs = ms; }

    // Sends cdb to the active drive; direction aspi::kDataIn, aspi::kDataOut or 0.
    // Returns the ASPI status (1 completed, 2 aborted, 4 error).
    uint8_t executeCommand(uint8_t direction, const uint8_t* cdb, int cdbLength, uint8_t* buffer,
                           uint32_t bufferLength);
    uint8_t execute(const Cdb& cdb, uint8_t direction, uint8_t* buffer, uint32_t length);
    uint8_t lastStatus() const { return m_lastStatus.load(); }

    // Drive table.
    int32_t driveCount() const { return static_cast<int32_t>(m_drives.size()); }
    int32_t activeDrive() const { return m_activeDrive; }
    void setActiveDrive(int32_t index);
    // Settings of the active drive.
    DriveParams& params();
    const DriveParams& params() const;
    int32_t setDriveType(int32_t type);
    void getDriveParams(DriveParams& out) const;
    void setDriveParams(const DriveParams& in);

    // Table of contents.
    int32_t readToc();
    int32_t tocEntryCount() const;
    bool tocEntry(int32_t index, TocEntry& entry) const;
    const TocTable& toc() const;
    int32_t readCdText(uint8_t* buffer, int32_t size, int32_t* length);

    // Drive control. Results are ASPI status bytes.
    uint8_t testUnitReady();
    uint8_t ejectDisc(bool eject);
    uint8_t lockDoor(bool lock);
    int32_t audioStatus();
    uint8_t stopPlayback();
    uint8_t pausePlayback(bool pause);
    uint8_t seek(int32_t lba);
    uint8_t playRange(int32_t start, int32_t end);
    int32_t playTrack(int32_t trackNumber);
    bool subChannelPosition(int32_t* index, int32_t* track, int32_t* absolute, int32_t* relative);
    // Speed per the drive table's speed method (speed <= 0: nothing is sent).
    uint8_t setSpeed(int32_t speed);
    // Block-length/density switch of enable mode.
    uint8_t setBlockLength(int32_t length, int32_t density);
    int32_t savedBlockLength() const { return m_savedBlockLength; }
    int32_t savedDensity() const { return m_savedDensity; }

    // Audio extraction (defined with the readers).
    int32_t openRipper(int32_t* bufferSize, int32_t first, int32_t last);
    int32_t closeRipper();
    int32_t ripChunk(uint8_t* buffer, int32_t* byteCount, const std::atomic<int32_t>* abortFlag);
    int32_t percentCompleted() const;
    int32_t peakValue() const;
    int32_t jitterErrorCount() const;
    int32_t jitterPosition() const;
    void jitterErrorPosition(int32_t* sector, int32_t* current) const;
    int32_t scanForC2Errors(int32_t first, int32_t end, int32_t* found, int32_t* list,
                            int32_t capacity, const std::atomic<int32_t>* stopFlag);
    // Raw audio read with the drive table's read method; true when the drive completed it.
    bool readSectors(uint8_t* buffer, int32_t lba, int32_t count);

    // Process-wide store of the last command's sense key, ASC and ASCQ.
    static void lastSense(uint8_t* key, uint8_t* asc, uint8_t* ascq);

private:
    struct Address {
        uint8_t adapter = 0;
        uint8_t target = 0;
        uint8_t lun = 0;
    };
    uint8_t executeAt(const Address& address, uint8_t direction, const uint8_t* cdb, int cdbLength,
                      uint8_t* buffer, uint32_t bufferLength);
    Address activeAddress() const;
    uint8_t lun() const;

    int32_t m_activeDrive = 0;
    std::vector<DriveParams> m_drives;
    std::vector<TocTable> m_tocs;
    uint8_t m_adapterCount = 0;
    std::atomic<uint8_t> m_lastStatus{0};
    bool m_transportReady = false;
    int32_t m_selector = 0;
    bool m_passThrough = false;
    int32_t m_timeoutMs = kDefaultTimeoutMs;
    bool m_deviceQueryTimedOut = false;
    AspiLibrary m_library;
    GetASPI32SupportInfoFn m_supportInfo = nullptr;
    SendASPI32CommandFn m_sendCommand = nullptr;
    int32_t m_savedBlockLength = 2048;
    int32_t m_savedDensity = 0;

    std::unique_ptr<ReadState, ReadStateDeleter> m_read;
};

} // namespace cld
