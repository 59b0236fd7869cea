#pragma once

#include "AspiLibrary.h"
#include "ScsiCommands.h"
#include "TocTable.h"
#include "cldrip/Aspi.h"
#include "cldrip/DriveParams.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace cld {

// State of the audio reader; defined by the extraction code.
class ReadState;
struct ReadStateDeleter {
    void operator()(ReadState* state) const;
};

// What a reader found about the range it read: sectors it corrected to exact audio,
// sectors whose audio it could not verify, and sectors the drive never delivered
// (zeros stand in their place).
struct ReadVerdict {
    int32_t corrected = 0;
    int32_t unverified = 0;
    int32_t unread = 0;
    bool checked = true; // false when the reader checked nothing (plain, no correction)
};

// The process-wide engine behind every CDDAObject: transport, drive list, per-drive
// table of contents and the read state. Commands run on the caller's thread.
// Thread safety: the active drive, the drive settings and the tables of contents are
// guarded by one lock, taken only to copy or change them, never while a command runs.
// An open ripper stays on the drive it was opened on, so listing drives, switching the
// active drive or playing on another drive from another thread never disturbs a rip.
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
    // The same on drive `drive` (an index into the drive list), whatever is active.
    uint8_t executeOn(int32_t drive, uint8_t direction, const uint8_t* cdb, int cdbLength,
                      uint8_t* buffer, uint32_t bufferLength);
    uint8_t execute(const Cdb& cdb, uint8_t direction, uint8_t* buffer, uint32_t length);
    uint8_t lastStatus() const { return m_lastStatus.load(); }

    // Drive table.
    int32_t driveCount() const { return static_cast<int32_t>(m_drives.size()); }
    int32_t activeDrive() const;
    void setActiveDrive(int32_t index);
    // A copy of the settings of the active drive, or of drive `drive` (defaults for an
    // index with no drive).
    DriveParams params() const;
    DriveParams paramsAt(int32_t drive) const;
    int32_t setDriveType(int32_t type);
    void getDriveParams(DriveParams& out) const;
    void setDriveParams(const DriveParams& in);

    // Table of contents.
    int32_t readToc();
    int32_t tocEntryCount() const;
    bool tocEntry(int32_t index, TocEntry& entry) const;
    TocTable toc() const;
    TocTable tocAt(int32_t drive) const;
    // One past the last sector of the audio session of drive `drive`, from its table of
    // contents (0 when unknown): reads never go beyond it.
    int32_t audioEndAt(int32_t drive) const;
    int32_t readCdText(uint8_t* buffer, int32_t size, int32_t* length);

    // Drive control. Results are ASPI status bytes.
    uint8_t testUnitReady();
    uint8_t ejectDisc(bool eject);
    uint8_t lockDoor(bool lock);
    uint8_t lockDoorOn(int32_t drive, bool lock);
    int32_t audioStatus();
    uint8_t stopPlayback();
    uint8_t pausePlayback(bool pause);
    uint8_t seek(int32_t lba);
    uint8_t playRange(int32_t start, int32_t end);
    int32_t playTrack(int32_t trackNumber);
    bool subChannelPosition(int32_t* index, int32_t* track, int32_t* absolute, int32_t* relative);
    // The Q sub-channel of sector lba (12 bytes into q), read with READ CD.
    bool readQOn(int32_t drive, int32_t lba, uint8_t* q);
    // The disc's media catalogue number / a track's ISRC, as READ SUB-CHANNEL reports
    // them; false (out empty) when the drive says there is none or answers nonsense.
    bool readCatalogOn(int32_t drive, std::string& mcn);
    bool readIsrcOn(int32_t drive, int32_t track, std::string& isrc);
    // Speed per the drive table's speed method (speed <= 0: nothing is sent).
    uint8_t setSpeed(int32_t speed);
    uint8_t setSpeedOn(int32_t drive, int32_t speed);
    // Block-length/density switch of enable mode.
    uint8_t setBlockLength(int32_t length, int32_t density);
    uint8_t setBlockLengthOn(int32_t drive, int32_t length, int32_t density);
    int32_t savedBlockLength() const { return m_savedBlockLength; }
    int32_t savedDensity() const { return m_savedDensity; }

    // Audio extraction (defined with the readers).
    int32_t openRipper(int32_t* bufferSize, int32_t first, int32_t last);
    // atLeastJitterCorrection: a plain reader set to no correction corrects jitter for
    // this range all the same (re-reads after a mismatch).
    int32_t openRipperOn(int32_t drive, int32_t* bufferSize, int32_t first, int32_t last,
                         bool atLeastJitterCorrection = false);
    int32_t closeRipper();
    int32_t ripChunk(uint8_t* buffer, int32_t* byteCount, const std::atomic<int32_t>* abortFlag);
    int32_t percentCompleted() const;
    int32_t peakValue() const;
    int32_t jitterErrorCount() const;
    int32_t jitterPosition() const;
    void jitterErrorPosition(int32_t* sector, int32_t* current) const;
    // What the reader found about the range opened last (all zero before any open).
    ReadVerdict readVerdict() const;
    int32_t scanForC2Errors(int32_t first, int32_t end, int32_t* found, int32_t* list,
                            int32_t capacity, const std::atomic<int32_t>* stopFlag);
    // Raw audio read with the drive table's read method; true when the drive completed it.
    bool readSectors(uint8_t* buffer, int32_t lba, int32_t count);
    bool readSectorsOn(int32_t drive, uint8_t* buffer, int32_t lba, int32_t count);
    // The same; oneCommand keeps long reads in a single command (no two-thread split).
    bool readSectorsOn(int32_t drive, uint8_t* buffer, int32_t lba, int32_t count, bool oneCommand);
    // Read offset correction of drive `drive` in samples, applied to every read of the
    // readers. Values beyond +-5000 are refused (false).
    bool setReadOffsetOn(int32_t drive, int32_t samples);
    int32_t readOffsetAt(int32_t drive) const;

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
    Address addressOf(int32_t drive) const;
    uint8_t lun() const;

    // Guards m_activeDrive and the contents of m_drives and m_tocs (the vectors
    // themselves are only resized by discovery, before the engine is installed).
    mutable std::mutex m_stateLock;
    int32_t m_activeDrive = 0;
    std::vector<DriveParams> m_drives;
    std::vector<TocTable> m_tocs;
    std::vector<int32_t> m_readOffsets; // per drive, samples; missing = 0
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
