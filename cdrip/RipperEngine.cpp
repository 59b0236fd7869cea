#include "RipperEngine.h"

#include "PassThrough.h"
#include "SubChannel.h"
#include "TocMath.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace cld {
namespace {

std::unique_ptr<RipperEngine>& engineSlot() {
    static std::unique_ptr<RipperEngine> engine;
    return engine;
}

// The installed engine as other threads see it (a grab worker looks it up while the
// caller's thread may run Init).
std::atomic<RipperEngine*> g_current{nullptr};

// A READ TOC after a disc change first reports the change (UNIT ATTENTION); drives
// expect the command to be sent again. More attempts than this mean something else.
constexpr int kUnitAttentionRetries = 4;
constexpr uint8_t kSenseUnitAttention = 0x06;

// Last sense key, ASC and ASCQ packed into one word so that concurrent commands never
// leave a mix of two commands' bytes.
std::atomic<uint32_t> g_lastSense{0};

// Completion event of one request: the manager posts it from its own thread.
struct CompletionEvent {
    std::mutex mutex;
    std::condition_variable cv;
    bool signalled = false;

    static void post(void* context) {
        auto* self = static_cast<CompletionEvent*>(context);
        std::lock_guard lock(self->mutex);
        self->signalled = true;
        self->cv.notify_all();
    }
};

uint8_t loadStatus(SRB_Header& header) {
    return std::atomic_ref<uint8_t>(header.status).load();
}

const DriveParams& fallbackParams() {
    static const DriveParams defaults;
    return defaults;
}

std::string trimmedName(const uint8_t* bytes, size_t length) {
    std::string name;
    for (size_t i = 0; i < length && bytes[i]; ++i)
        name += (bytes[i] < 0x20 || bytes[i] == 0x7F) ? ' ' : static_cast<char>(bytes[i]);
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name;
}

} // namespace

RipperEngine::RipperEngine(int32_t transportSelector) : m_selector(transportSelector) {}

RipperEngine::~RipperEngine() {
    m_read.reset();
    shutdownTransport();
}

RipperEngine* RipperEngine::current() {
    return g_current.load();
}

void RipperEngine::install(std::unique_ptr<RipperEngine> engine) {
    // A replaced engine may still be in use by a caller on another thread (a grab in
    // progress), so it is retired rather than freed: it stays valid until the process
    // ends. Its pass-through scan is forgotten so that the next engine can scan again.
    static std::vector<std::unique_ptr<RipperEngine>> retired;
    if (engineSlot()) {
        if (engineSlot()->m_passThrough)
            PassThrough::instance().shutdown();
        retired.push_back(std::move(engineSlot()));
    }
    engineSlot() = std::move(engine);
    g_current.store(engineSlot().get());
}

int32_t RipperEngine::initTransport() {
    m_transportReady = false;
    m_passThrough = false;
    const bool loaded = m_selector != 1 && m_library.load();
    if (!loaded) {
        if (PassThrough::instance().scan() == 0)
            return 1;
        m_passThrough = true;
        m_supportInfo = &PassThrough::GetASPI32SupportInfo;
        m_sendCommand = &PassThrough::SendASPI32Command;
    } else {
        m_supportInfo = m_library.supportInfo();
        m_sendCommand = m_library.sendCommand();
    }
    if (!m_supportInfo || !m_sendCommand) {
        shutdownTransport();
        return 1;
    }
    m_transportReady = true;
    return 0;
}

void RipperEngine::shutdownTransport() {
    if (m_passThrough)
        PassThrough::instance().shutdown();
    m_library.unload();
    m_supportInfo = nullptr;
    m_sendCommand = nullptr;
    m_transportReady = false;
    m_passThrough = false;
}

uint8_t RipperEngine::getDeviceType(uint8_t adapter, uint8_t target, uint8_t lun) {
    if (!m_transportReady)
        return 31;
    SRB_GDEVBlock srb;
    srb.header.command = aspi::kGetDeviceType;
    srb.header.adapter = adapter;
    srb.target = target;
    srb.lun = lun;
    m_sendCommand(&srb);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_timeoutMs);
    while (loadStatus(srb.header) == aspi::kPending && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    const uint8_t status = loadStatus(srb.header);
    if (status == aspi::kPending)
        m_deviceQueryTimedOut = true;
    if (status != aspi::kCompleted)
        return 31;
    return srb.deviceType;
}

void RipperEngine::addDrive(const char* name, uint8_t adapter, uint8_t target, uint8_t lun) {
    DriveParams params;
    if (name && *name) {
        std::memset(params.name, 0, sizeof(params.name));
        std::strncpy(params.name, name, sizeof(params.name) - 1);
    }
    params.adapterId = adapter;
    params.targetId = target;
    params.lun = lun;
    m_drives.push_back(params);
    m_tocs.emplace_back();
}

int32_t RipperEngine::scanDrives() {
    if (!m_transportReady)
        return 0;
    const uint32_t info = m_supportInfo();
    if (((info >> 8) & 0xFF) != 1)
        return 0;
    m_adapterCount = static_cast<uint8_t>(info & 0xFF);
    m_deviceQueryTimedOut = false;
    int32_t found = 0;
    for (uint8_t adapter = 0; adapter < m_adapterCount; ++adapter) {
        for (uint8_t target = 0; target < 12; ++target) {
            for (uint8_t lunNo = 0; lunNo < 8; ++lunNo) {
                const uint8_t type = getDeviceType(adapter, target, lunNo);
                // A manager that leaves a query unanswered would stall the scan for the
                // time-out at every address; what was found so far is kept.
                if (m_deviceQueryTimedOut)
                    return found;
                if (type != 5 && type != 4)
                    continue;
                uint8_t inquiry[36] = {};
                const Cdb cdb = scsi::inquiry(lunNo);
                executeAt({adapter, target, lunNo}, aspi::kDataIn, cdb.bytes.data(), cdb.length,
                          inquiry, sizeof(inquiry));
                std::string name = trimmedName(inquiry + 8, 24);
                if (name.empty())
                    name = DriveParams{}.name;
                int earlier = 0;
                for (const DriveParams& drive : m_drives) {
                    if (std::strstr(drive.name, name.c_str()))
                        ++earlier;
                }
                if (earlier > 0)
                    name += " (" + std::to_string(earlier) + ")";
                addDrive(name.c_str(), adapter, target, lunNo);
                ++found;
            }
        }
    }
    return found;
}

RipperEngine::Address RipperEngine::addressOf(int32_t drive) const {
    std::lock_guard lock(m_stateLock);
    const DriveParams& p = m_drives[static_cast<size_t>(drive)];
    return {p.adapterId, p.targetId, p.lun};
}

uint8_t RipperEngine::lun() const {
    return params().lun;
}

uint8_t RipperEngine::executeAt(const Address& address, uint8_t direction, const uint8_t* cdb,
                                int cdbLength, uint8_t* buffer, uint32_t bufferLength) {
    if (!m_transportReady || !cdb || cdbLength <= 0 || cdbLength > 16)
        return aspi::kError;
    CompletionEvent event;
    SRB_ExecSCSICmd srb;
    srb.header.command = aspi::kExecScsiCommand;
    srb.header.flags = static_cast<uint8_t>(direction | aspi::kPostByEvent);
    srb.header.adapter = address.adapter;
    srb.target = address.target;
    srb.lun = address.lun;
    srb.buffer = buffer;
    srb.bufferLength = buffer ? bufferLength : 0;
    srb.senseLength = 14;
    srb.cdbLength = static_cast<uint8_t>(cdbLength);
    srb.post = &CompletionEvent::post;
    srb.postContext = &event;
    std::memcpy(srb.cdb, cdb, static_cast<size_t>(cdbLength));

    if (m_sendCommand(&srb) == aspi::kPending) {
        std::unique_lock lock(event.mutex);
        event.cv.wait_for(lock, std::chrono::milliseconds(m_timeoutMs),
                          [&] { return event.signalled; });
        lock.unlock();
        if (loadStatus(srb.header) == aspi::kPending) {
            SRB_Abort abort;
            abort.header.command = aspi::kAbortRequest;
            abort.header.adapter = address.adapter;
            abort.request = &srb;
            m_sendCommand(&abort);
            m_lastStatus = aspi::kAborted;
            return aspi::kAborted;
        }
    }
    const uint8_t status = loadStatus(srb.header);
    const uint32_t sense = (static_cast<uint32_t>(srb.sense[2] & 0x0F) << 16) |
                           (static_cast<uint32_t>(srb.sense[12]) << 8) | srb.sense[13];
    g_lastSense = sense;
    m_lastStatus = status;
    return status;
}

uint8_t RipperEngine::executeCommand(uint8_t direction, const uint8_t* cdb, int cdbLength,
                                     uint8_t* buffer, uint32_t bufferLength) {
    return executeOn(activeDrive(), direction, cdb, cdbLength, buffer, bufferLength);
}

uint8_t RipperEngine::executeOn(int32_t drive, uint8_t direction, const uint8_t* cdb, int cdbLength,
                                uint8_t* buffer, uint32_t bufferLength) {
    if (drive < 0 || drive >= driveCount())
        return aspi::kError;
    return executeAt(addressOf(drive), direction, cdb, cdbLength, buffer, bufferLength);
}

uint8_t RipperEngine::execute(const Cdb& cdb, uint8_t direction, uint8_t* buffer, uint32_t length) {
    return executeCommand(direction, cdb.bytes.data(), cdb.length, buffer, length);
}

void RipperEngine::lastSense(uint8_t* key, uint8_t* asc, uint8_t* ascq) {
    const uint32_t sense = g_lastSense.load();
    if (key)
        *key = static_cast<uint8_t>(sense >> 16);
    if (asc)
        *asc = static_cast<uint8_t>(sense >> 8);
    if (ascq)
        *ascq = static_cast<uint8_t>(sense);
}

int32_t RipperEngine::activeDrive() const {
    std::lock_guard lock(m_stateLock);
    return m_activeDrive;
}

void RipperEngine::setActiveDrive(int32_t index) {
    const int32_t low = index & 0xFF;
    // An index past the drive list would address no drive; the active one stays.
    std::lock_guard lock(m_stateLock);
    if (low < static_cast<int32_t>(m_drives.size()))
        m_activeDrive = low;
}

DriveParams RipperEngine::params() const {
    std::lock_guard lock(m_stateLock);
    if (m_drives.empty())
        return fallbackParams();
    return m_drives[static_cast<size_t>(m_activeDrive)];
}

DriveParams RipperEngine::paramsAt(int32_t drive) const {
    std::lock_guard lock(m_stateLock);
    if (drive < 0 || drive >= static_cast<int32_t>(m_drives.size()))
        return fallbackParams();
    return m_drives[static_cast<size_t>(drive)];
}

int32_t RipperEngine::setDriveType(int32_t type) {
    std::lock_guard lock(m_stateLock);
    if (m_drives.empty())
        return 0;
    DriveParams& p = m_drives[static_cast<size_t>(m_activeDrive)];
    p.driveTable.driveType = type;
    applyDrivePreset(p.driveTable);
    return 0;
}

void RipperEngine::getDriveParams(DriveParams& out) const {
    const DriveParams p = params();
    std::memset(static_cast<void*>(&out), 0, sizeof(out));
    std::memcpy(static_cast<void*>(&out), &p, sizeof(out));
}

void RipperEngine::setDriveParams(const DriveParams& in) {
    std::lock_guard lock(m_stateLock);
    if (m_drives.empty())
        return;
    DriveParams& p = m_drives[static_cast<size_t>(m_activeDrive)];
    // The name and the address come from discovery and stay as they are.
    const DriveParams keep = p;
    std::memcpy(static_cast<void*>(&p), &in, sizeof(p));
    std::memcpy(p.name, keep.name, sizeof(p.name));
    p.adapterId = keep.adapterId;
    p.targetId = keep.targetId;
    p.lun = keep.lun;
    // Values the readers could not work with are brought into range: a read must move
    // forward and buffers must stay of sane size.
    p.sectorsPerRead = std::clamp(p.sectorsPerRead, 1, 2000);
    p.overlapSectors = std::clamp(p.overlapSectors, 0, p.sectorsPerRead - 1);
    p.compareSectors = std::clamp(p.compareSectors, 0, p.sectorsPerRead);
    p.spinUpTime = std::clamp(p.spinUpTime, 0, 60);
    p.recoveryPasses = std::clamp(p.recoveryPasses, 0, 100);
    p.recoveryPause = std::clamp(p.recoveryPause, 0, 60000);
    p.paranoiaLevel = std::clamp(p.paranoiaLevel, 0, 3);
    if (p.driveTable.driveType != 19)
        applyDrivePreset(p.driveTable);
}

TocTable RipperEngine::toc() const {
    return tocAt(activeDrive());
}

TocTable RipperEngine::tocAt(int32_t drive) const {
    std::lock_guard lock(m_stateLock);
    if (drive < 0 || drive >= static_cast<int32_t>(m_tocs.size()))
        return TocTable{};
    return m_tocs[static_cast<size_t>(drive)];
}

int32_t RipperEngine::audioEndAt(int32_t drive) const {
    const TocTable t = tocAt(drive);
    std::vector<TocEntry> entries;
    for (int32_t i = 0; i < t.count; ++i) {
        TocEntry e;
        e.lba = static_cast<int32_t>(t.lba[static_cast<size_t>(i)]);
        e.controlAdr = t.controlAdr[static_cast<size_t>(i)];
        e.trackNumber = t.trackNumber[static_cast<size_t>(i)];
        entries.push_back(e);
    }
    // The audio session ends where the last audio track ends; on an enhanced CD the
    // sectors between the sessions cannot be read.
    if (!toc::isValid(entries))
        return 0;
    const std::vector<TrackRange> tracks = toc::audioTracks(entries);
    return tracks.empty() ? 0 : tracks.back().last + 1;
}

int32_t RipperEngine::readToc() {
    if (m_drives.empty())
        return 0;
    const int32_t drive = activeDrive();
    const uint8_t lunBits = paramsAt(drive).lun;
    std::vector<uint8_t> data(2048, 0);
    uint8_t status = aspi::kError;
    for (int attempt = 0; attempt <= kUnitAttentionRetries; ++attempt) {
        std::fill(data.begin(), data.end(), 0);
        const Cdb cdb = scsi::readToc(lunBits);
        status = executeOn(drive, aspi::kDataIn, cdb.bytes.data(), cdb.length, data.data(), 2048);
        uint8_t key = 0;
        lastSense(&key, nullptr, nullptr);
        if (status == aspi::kCompleted || key != kSenseUnitAttention)
            break;
    }
    if (status != aspi::kCompleted)
        std::fill(data.begin(), data.end(), 0);
    const int32_t length = (data[0] << 8) | data[1];
    int32_t count = (length - 2) / 8;
    // Entries beyond what the buffer holds or the table can keep are ignored.
    count = std::clamp(count, 0, std::min<int32_t>(TocTable::kCapacity, (2048 - 4) / 8));
    TocTable table;
    table.count = count;
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t* d = data.data() + 4 + i * 8;
        table.controlAdr[static_cast<size_t>(i)] = d[1];
        table.trackNumber[static_cast<size_t>(i)] = d[2];
        table.lba[static_cast<size_t>(i)] = (static_cast<uint32_t>(d[4]) << 24) |
                                            (static_cast<uint32_t>(d[5]) << 16) |
                                            (static_cast<uint32_t>(d[6]) << 8) | d[7];
    }
    std::lock_guard lock(m_stateLock);
    m_tocs[static_cast<size_t>(drive)] = table;
    return 0;
}

int32_t RipperEngine::tocEntryCount() const {
    return toc().count - 1;
}

bool RipperEngine::tocEntry(int32_t index, TocEntry& entry) const {
    entry = TocEntry{};
    const TocTable table = toc();
    if (index < 0 || index >= table.count)
        return false;
    const auto i = static_cast<size_t>(index);
    entry.lba = static_cast<int32_t>(table.lba[i]);
    entry.controlAdr = table.controlAdr[i];
    entry.trackNumber = table.trackNumber[i];
    return true;
}

int32_t RipperEngine::readCdText(uint8_t* buffer, int32_t size, int32_t* length) {
    if (length)
        *length = 0;
    if (!buffer || size < 4 || m_drives.empty())
        return 1;
    const int32_t drive = activeDrive();
    const uint8_t lunBits = paramsAt(drive).lun;
    uint8_t header[4] = {};
    const Cdb first = scsi::readCdText(lunBits, 4);
    if (executeOn(drive, aspi::kDataIn, first.bytes.data(), first.length, header, 4) !=
        aspi::kCompleted)
        return 1;
    const int32_t total = ((header[0] << 8) | header[1]) + 2;
    if (total > size || total < 4 || total > 0xFFFF)
        return 1;
    std::memset(buffer, 0, static_cast<size_t>(total));
    const Cdb whole = scsi::readCdText(lunBits, static_cast<uint16_t>(total));
    if (executeOn(drive, aspi::kDataIn, whole.bytes.data(), whole.length, buffer,
                  static_cast<uint32_t>(total)) != aspi::kCompleted)
        return 1;
    if (length)
        *length = total;
    return 0;
}

uint8_t RipperEngine::testUnitReady() {
    return execute(scsi::testUnitReady(), 0, nullptr, 0);
}

uint8_t RipperEngine::lockDoor(bool lock) {
    return lockDoorOn(activeDrive(), lock);
}

uint8_t RipperEngine::lockDoorOn(int32_t drive, bool lock) {
    const DriveParams p = paramsAt(drive);
    if (!p.lockDoor)
        return aspi::kCompleted;
    const Cdb cdb = scsi::preventAllow(p.lun, lock);
    return executeOn(drive, aspi::kDataOut, cdb.bytes.data(), cdb.length, nullptr, 0);
}

uint8_t RipperEngine::ejectDisc(bool eject) {
    const int32_t drive = activeDrive();
    lockDoorOn(drive, false);
    const Cdb cdb = scsi::ejectLoad(paramsAt(drive).lun, eject);
    return executeOn(drive, aspi::kDataOut, cdb.bytes.data(), cdb.length, nullptr, 0);
}

int32_t RipperEngine::audioStatus() {
    uint8_t data[48] = {};
    if (execute(scsi::readSubChannel(lun(), 1, 48), aspi::kDataIn, data, sizeof(data)) !=
        aspi::kCompleted)
        return 0;
    return data[1];
}

uint8_t RipperEngine::stopPlayback() {
    return execute(scsi::stopUnit(lun()), aspi::kDataOut, nullptr, 0);
}

uint8_t RipperEngine::pausePlayback(bool pause) {
    return execute(scsi::pauseResume(lun(), !pause), aspi::kDataOut, nullptr, 0);
}

uint8_t RipperEngine::seek(int32_t lba) {
    return execute(scsi::seek10(lun(), static_cast<uint32_t>(lba)), aspi::kDataOut, nullptr, 0);
}

uint8_t RipperEngine::playRange(int32_t start, int32_t end) {
    return execute(
        scsi::playAudio12(lun(), static_cast<uint32_t>(start), static_cast<uint32_t>(end)),
        aspi::kDataOut, nullptr, 0);
}

int32_t RipperEngine::playTrack(int32_t trackNumber) {
    const int32_t drive = activeDrive();
    const TocTable table = tocAt(drive);
    for (int32_t i = 0; i + 1 < table.count; ++i) {
        const auto k = static_cast<size_t>(i);
        if (table.trackNumber[k] == trackNumber) {
            const auto start = static_cast<uint32_t>(table.lba[k]);
            const auto end = static_cast<uint32_t>(table.lba[k + 1]) - 1;
            const Cdb cdb = scsi::playAudio12(paramsAt(drive).lun, start, end);
            return executeOn(drive, aspi::kDataOut, cdb.bytes.data(), cdb.length, nullptr, 0) ==
                           aspi::kCompleted
                       ? 0
                       : 1;
        }
    }
    return 1;
}

bool RipperEngine::subChannelPosition(int32_t* index, int32_t* track, int32_t* absolute,
                                      int32_t* relative) {
    uint8_t data[16] = {};
    const bool ok = execute(scsi::readSubChannelPosition(lun()), aspi::kDataIn, data,
                            sizeof(data)) == aspi::kCompleted;
    auto be32 = [](const uint8_t* d) {
        return static_cast<int32_t>((static_cast<uint32_t>(d[0]) << 24) |
                                    (static_cast<uint32_t>(d[1]) << 16) |
                                    (static_cast<uint32_t>(d[2]) << 8) | d[3]);
    };
    if (index)
        *index = data[7];
    if (track)
        *track = data[6];
    if (absolute)
        *absolute = be32(data + 8);
    if (relative)
        *relative = be32(data + 12);
    return ok;
}

bool RipperEngine::readQOn(int32_t drive, int32_t lba, uint8_t* q) {
    if (lba < 0)
        return false;
    std::vector<uint8_t> data(2352 + 16, 0);
    const Cdb cdb = scsi::readCdWithQ(paramsAt(drive).lun, static_cast<uint32_t>(lba));
    if (executeOn(drive, aspi::kDataIn, cdb.bytes.data(), cdb.length, data.data(),
                  static_cast<uint32_t>(data.size())) != aspi::kCompleted)
        return false;
    std::memcpy(q, data.data() + 2352, 12);
    return true;
}

bool RipperEngine::readCatalogOn(int32_t drive, std::string& mcn) {
    mcn.clear();
    uint8_t data[24] = {};
    const Cdb cdb = scsi::readSubChannel(paramsAt(drive).lun, 2, sizeof(data));
    if (executeOn(drive, aspi::kDataIn, cdb.bytes.data(), cdb.length, data, sizeof(data)) !=
            aspi::kCompleted ||
        data[4] != 0x02 || (data[8] & 0x80) == 0)
        return false;
    std::string text(reinterpret_cast<const char*>(data + 9), 13);
    if (!subq::isCatalog(text) || text == "0000000000000")
        return false;
    mcn = text;
    return true;
}

bool RipperEngine::readIsrcOn(int32_t drive, int32_t track, std::string& isrc) {
    isrc.clear();
    if (track < 1 || track > 99)
        return false;
    uint8_t data[24] = {};
    const Cdb cdb = scsi::readSubChannelIsrc(paramsAt(drive).lun, static_cast<uint8_t>(track));
    if (executeOn(drive, aspi::kDataIn, cdb.bytes.data(), cdb.length, data, sizeof(data)) !=
            aspi::kCompleted ||
        data[4] != 0x03 || (data[8] & 0x80) == 0)
        return false;
    std::string text(reinterpret_cast<const char*>(data + 9), 12);
    if (!subq::isIsrc(text))
        return false;
    isrc = text;
    return true;
}

uint8_t RipperEngine::setSpeed(int32_t speed) {
    return setSpeedOn(activeDrive(), speed);
}

uint8_t RipperEngine::setSpeedOn(int32_t drive, int32_t speed) {
    const DriveParams p = paramsAt(drive);
    if (speed == -1)
        speed = p.speed;
    if (speed <= 0)
        return aspi::kCompleted;
    switch (p.driveTable.speedMethod) {
    case 1: {
        const Cdb cdb = scsi::setCdSpeed(p.lun, speed);
        return executeOn(drive, aspi::kDataOut, cdb.bytes.data(), cdb.length, nullptr, 0);
    }
    case 2: {
        CdbWithData c = scsi::modeSelectSpeed(speed);
        return executeOn(drive, aspi::kDataOut, c.cdb.bytes.data(), c.cdb.length, c.data.data(),
                         static_cast<uint32_t>(c.data.size()));
    }
    default:
        return aspi::kCompleted;
    }
}

uint8_t RipperEngine::setBlockLength(int32_t length, int32_t density) {
    return setBlockLengthOn(activeDrive(), length, density);
}

uint8_t RipperEngine::setBlockLengthOn(int32_t drive, int32_t length, int32_t density) {
    const DriveParams p = paramsAt(drive);
    CdbWithData c = scsi::blockLength(p.lun, p.driveTable, length, density, p.speed);
    return executeOn(drive, aspi::kDataOut, c.cdb.bytes.data(), c.cdb.length, c.data.data(),
                     static_cast<uint32_t>(c.data.size()));
}

} // namespace cld
