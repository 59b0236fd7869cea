// Audio extraction entry points of the engine: raw sector reads, the two readers, the
// C2 scan, and the factory of the grab object.

#include "CDRipObjectImpl.h"
#include "ClassFactory.h"
#include "OffsetReads.h"
#include "ParanoiaReader.h"
#include "PlainReader.h"
#include "RipDrive.h"
#include "RipperEngine.h"
#include "SectorReads.h"
#include "cldrip/Aspi.h"

#include <new>

namespace cld {

namespace {

// The readers' view of the drive a ripper was opened on.
class EngineDrive final : public RipDrive {
public:
    explicit EngineDrive(RipperEngine& engine) : m_engine(engine) {}
    bool ReadSectors(std::uint8_t* buffer, long lba, long count) override {
        const int32_t offset = m_engine.readOffsetAt(m_index);
        if (offset == 0)
            return m_engine.readSectorsOn(m_index, buffer, static_cast<int32_t>(lba),
                                          static_cast<int32_t>(count));
        // The shifted read asks for one sector more, in one command: a reader that
        // joins reads relies on each read being placed by the drive as a whole.
        return readWithOffset(
            [this](std::uint8_t* to, long at, long n) {
                return m_engine.readSectorsOn(m_index, to, static_cast<int32_t>(at),
                                              static_cast<int32_t>(n), true);
            },
            buffer, lba, count, offset, m_engine.audioEndAt(m_index));
    }
    void SetSpeed(int speed) override { m_engine.setSpeedOn(m_index, speed); }

    void setIndex(int32_t index) { m_index = index; }
    int32_t index() const { return m_index; }

private:
    RipperEngine& m_engine;
    int32_t m_index = 0;
};

RipSettings settingsOf(const DriveParams& p) {
    RipSettings s;
    s.sectorsPerRead = p.sectorsPerRead;
    s.overlapSectors = p.overlapSectors;
    s.compareSectors = p.compareSectors;
    s.startOffset = p.startOffset;
    s.endOffset = p.endOffset;
    s.speed = p.speed;
    s.spinUpSeconds = p.spinUpTime;
    s.jitterCorrection = p.jitterCorrection;
    s.recoveryPasses = p.recoveryPasses;
    s.recoveryPauseMs = p.recoveryPause;
    s.paranoiaLevel = p.paranoiaLevel;
    return s;
}

SectorReadTable tableOf(const DriveParams& p) {
    SectorReadTable t;
    t.readMethod = p.driveTable.readMethod;
    t.endian = p.driveTable.endian;
    t.swapChannels = p.swapChannels;
    t.lun = p.lun;
    return t;
}

} // namespace

class ReadState {
public:
    explicit ReadState(RipperEngine& engine) : m_drive(engine) {}

    EngineDrive m_drive;
    std::unique_ptr<RipReader> m_reader;
    int m_method = -1;
    // Enable mode and door lock as they were when the ripper was opened, so that
    // closing undoes exactly what opening did.
    bool m_switchedBlockLength = false;
    bool m_lockedDoor = false;
};

void ReadStateDeleter::operator()(ReadState* state) const {
    delete state;
}

void* createCDRipObject() {
    return static_cast<CDRipObject*>(new (std::nothrow) CDRipObjectImpl());
}

bool RipperEngine::readSectors(uint8_t* buffer, int32_t lba, int32_t count) {
    return readSectorsOn(activeDrive(), buffer, lba, count);
}

bool RipperEngine::setReadOffsetOn(int32_t drive, int32_t samples) {
    if (drive < 0 || drive >= driveCount() || samples > kMaxReadOffset || samples < -kMaxReadOffset)
        return false;
    std::lock_guard lock(m_stateLock);
    if (m_readOffsets.size() < m_drives.size())
        m_readOffsets.resize(m_drives.size(), 0);
    m_readOffsets[static_cast<size_t>(drive)] = samples;
    return true;
}

int32_t RipperEngine::readOffsetAt(int32_t drive) const {
    std::lock_guard lock(m_stateLock);
    if (drive < 0 || static_cast<size_t>(drive) >= m_readOffsets.size())
        return 0;
    return m_readOffsets[static_cast<size_t>(drive)];
}

bool RipperEngine::readSectorsOn(int32_t drive, uint8_t* buffer, int32_t lba, int32_t count) {
    return readSectorsOn(drive, buffer, lba, count, false);
}

bool RipperEngine::readSectorsOn(int32_t drive, uint8_t* buffer, int32_t lba, int32_t count,
                                 bool oneCommand) {
    if (drive < 0 || drive >= driveCount())
        return false;
    SectorReads reads(
        [this, drive](std::uint8_t direction, const std::uint8_t* cdb, int cdbLength,
                      std::uint8_t* data, long length) {
            return static_cast<int>(
                executeOn(drive, direction, cdb, cdbLength, data, static_cast<uint32_t>(length)));
        },
        tableOf(paramsAt(drive)));
    return oneCommand ? reads.ReadInOneCommand(buffer, lba, count)
                      : reads.ReadSectors(buffer, lba, count);
}

int32_t RipperEngine::openRipper(int32_t* bufferSize, int32_t first, int32_t last) {
    return openRipperOn(activeDrive(), bufferSize, first, last);
}

int32_t RipperEngine::openRipperOn(int32_t drive, int32_t* bufferSize, int32_t first, int32_t last,
                                   bool atLeastJitterCorrection) {
    if (bufferSize)
        *bufferSize = 0;
    if (drive < 0 || drive >= driveCount())
        return 1;
    DriveParams p = paramsAt(drive);
    if (atLeastJitterCorrection && p.jitterCorrection == 0)
        p.jitterCorrection = 1;
    const int method = p.rippingMethod;
    if (method != 0 && method != 1)
        return 1;
    if (!m_read)
        m_read.reset(new (std::nothrow) ReadState(*this));
    if (!m_read)
        return 1;
    if (m_read->m_drive.index() != drive) {
        // A ripper still open on another drive is closed there first.
        closeRipper();
        m_read->m_drive.setIndex(drive);
    }
    if (!m_read->m_reader || m_read->m_method != method) {
        if (m_read->m_reader)
            m_read->m_reader->Close();
        if (method == 0)
            m_read->m_reader = std::make_unique<PlainReader>(m_read->m_drive);
        else
            m_read->m_reader = std::make_unique<ParanoiaReader>(m_read->m_drive);
        m_read->m_method = method;
    }
    // Reads stay within the audio session: past it lie the lead-out or, on an enhanced
    // CD, the unreadable gap before the data session.
    m_read->m_reader->SetDiscEnd(audioEndAt(drive));
    long size = 0;
    if (m_read->m_reader->Open(settingsOf(p), first, last, size) != 0)
        return 1;
    if (!m_read->m_switchedBlockLength && p.driveTable.enableMode == 1) {
        setBlockLengthOn(drive, 2352, p.driveTable.density);
        m_read->m_switchedBlockLength = true;
    }
    if (!m_read->m_lockedDoor && p.lockDoor) {
        lockDoorOn(drive, true);
        m_read->m_lockedDoor = true;
    }
    if (bufferSize)
        *bufferSize = static_cast<int32_t>(size);
    return 0;
}

int32_t RipperEngine::closeRipper() {
    if (!m_read)
        return 0;
    if (m_read->m_reader)
        m_read->m_reader->Close();
    const int32_t drive = m_read->m_drive.index();
    if (m_read->m_switchedBlockLength && !m_drives.empty())
        setBlockLengthOn(drive, m_savedBlockLength, m_savedDensity);
    if (m_read->m_lockedDoor && !m_drives.empty())
        lockDoorOn(drive, false);
    m_read->m_switchedBlockLength = false;
    m_read->m_lockedDoor = false;
    return 0;
}

int32_t RipperEngine::ripChunk(uint8_t* buffer, int32_t* byteCount,
                               const std::atomic<int32_t>* abortFlag) {
    if (byteCount)
        *byteCount = 0;
    if (!m_read || !m_read->m_reader)
        return RipChunkFailed;
    long bytes = 0;
    const int code = m_read->m_reader->RipChunk(buffer, byteCount ? &bytes : nullptr, abortFlag);
    if (byteCount)
        *byteCount = static_cast<int32_t>(bytes);
    return code;
}

int32_t RipperEngine::percentCompleted() const {
    return m_read && m_read->m_reader ? m_read->m_reader->PercentCompleted() : 0;
}

int32_t RipperEngine::peakValue() const {
    return m_read && m_read->m_reader ? m_read->m_reader->PeakValue() : 0;
}

int32_t RipperEngine::jitterErrorCount() const {
    return m_read && m_read->m_reader ? m_read->m_reader->JitterErrorCount() : 0;
}

int32_t RipperEngine::jitterPosition() const {
    return m_read && m_read->m_reader ? m_read->m_reader->JitterPosition() : 50;
}

ReadVerdict RipperEngine::readVerdict() const {
    if (!m_read || !m_read->m_reader)
        return {};
    const RipReader& r = *m_read->m_reader;
    ReadVerdict v;
    v.corrected = static_cast<int32_t>(r.CorrectedSectors());
    v.unverified = static_cast<int32_t>(r.UnverifiedSectors());
    v.unread = static_cast<int32_t>(r.UnreadSectors());
    v.checked = r.ChecksAudio();
    return v;
}

void RipperEngine::jitterErrorPosition(int32_t* sector, int32_t* current) const {
    long s = 0;
    long c = 0;
    if (m_read && m_read->m_reader)
        m_read->m_reader->JitterErrorPosition(s, c);
    if (sector)
        *sector = static_cast<int32_t>(s);
    if (current)
        *current = static_cast<int32_t>(c);
}

int32_t RipperEngine::scanForC2Errors(int32_t first, int32_t end, int32_t* found, int32_t* list,
                                      int32_t capacity, const std::atomic<int32_t>* stopFlag) {
    if (found)
        *found = 0;
    if (m_drives.empty())
        return 1;
    const int32_t drive = activeDrive();
    SectorReads reads(
        [this, drive](std::uint8_t direction, const std::uint8_t* cdb, int cdbLength,
                      std::uint8_t* data, long length) {
            return static_cast<int>(
                executeOn(drive, direction, cdb, cdbLength, data, static_cast<uint32_t>(length)));
        },
        tableOf(paramsAt(drive)));
    int count = 0;
    const bool ok = reads.ScanForC2Errors(first, end, count, list, capacity, stopFlag);
    if (found)
        *found = count;
    return ok ? 0 : 1;
}

} // namespace cld
