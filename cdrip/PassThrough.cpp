#include "PassThrough.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <scsi/sg.h>
#include <set>
#include <sys/ioctl.h>
#include <unistd.h>

namespace cld {
namespace {

constexpr unsigned kInquiryTimeoutMs = 2000;
constexpr unsigned kCommandTimeoutMs = 5000;

struct SgResult {
    bool ok = false;
    bool mediaChanged = false;
    uint8_t sense[aspi::kSenseSize] = {};
    uint8_t senseLength = 0;
};

SgResult sendSg(int fd, const uint8_t* cdb, uint8_t cdbLength, int direction, uint8_t* buffer,
                uint32_t length, unsigned timeoutMs) {
    SgResult result;
    sg_io_hdr_t io{};
    io.interface_id = 'S';
    io.cmdp = const_cast<uint8_t*>(cdb);
    io.cmd_len = cdbLength;
    io.dxfer_direction = direction;
    io.dxferp = buffer;
    io.dxfer_len = length;
    io.sbp = result.sense;
    io.mx_sb_len = sizeof(result.sense);
    io.timeout = timeoutMs;
    if (length == 0)
        io.dxfer_direction = SG_DXFER_NONE;
    if (ioctl(fd, SG_IO, &io) < 0) {
        result.mediaChanged = (errno == EBADF || errno == ENOMEDIUM);
        return result;
    }
    result.senseLength = io.sb_len_wr;
    const bool checkCondition = (io.status & 0x3E) == 0x02;
    if (checkCondition && io.sb_len_wr >= 14) {
        const uint8_t key = result.sense[2] & 0x0F;
        result.mediaChanged = key == 0x06 && result.sense[12] == 0x28;
    }
    result.ok = io.status == 0 && io.host_status == 0 && (io.driver_status & 0x0F) == 0;
    return result;
}

} // namespace

PassThrough& PassThrough::instance() {
    // Never destroyed: engines shut it down from their destructors, which may run
    // during static destruction.
    static PassThrough* passThrough = new PassThrough();
    return *passThrough;
}

std::string PassThrough::devicePath(int index) {
    const char* prefix = std::getenv("CLD_SG_DEVICE_PREFIX");
    return std::string(prefix && *prefix ? prefix : "/dev/sr") + std::to_string(index);
}

bool PassThrough::openSlot(Slot& slot) {
    if (slot.fd >= 0)
        return true;
    const std::string path = devicePath(slot.letter);
    int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    slot.fd = fd;
    return fd >= 0;
}

void PassThrough::closeSlot(Slot& slot) {
    if (slot.fd >= 0)
        ::close(slot.fd);
    slot.fd = -1;
}

bool PassThrough::probe(Slot& slot) {
    if (!openSlot(slot))
        return false;
    struct sg_scsi_id id {};
    if (ioctl(slot.fd, SG_GET_SCSI_ID, &id) < 0 || id.scsi_type != 5) {
        closeSlot(slot);
        return false;
    }
    uint8_t inquiry[100] = {};
    const uint8_t cdb[6] = {0x12, 0x00, 0x00, 0x00, 100, 0x00};
    const SgResult r =
        sendSg(slot.fd, cdb, 6, SG_DXFER_FROM_DEV, inquiry, sizeof(inquiry), kInquiryTimeoutMs);
    if (r.ok) {
        std::memcpy(slot.inquiry.data(), inquiry, slot.inquiry.size());
        slot.port = static_cast<uint8_t>(id.host_no);
        slot.target = static_cast<uint8_t>(id.scsi_id);
        slot.lun = static_cast<uint8_t>(id.lun);
        slot.inUse = 1;
    }
    closeSlot(slot);
    return r.ok;
}

void PassThrough::recountAdapters() {
    std::set<uint8_t> ports{0};
    for (const Slot& slot : m_slots) {
        if (slot.inUse)
            ports.insert(slot.port);
    }
    m_adapterCount = static_cast<uint8_t>(ports.size());
}

int PassThrough::scan() {
    std::lock_guard lock(m_mutex);
    if (m_scanned)
        return 0;
    m_scanned = true;
    int found = 0;
    for (int i = 0; i < kSlots; ++i) {
        Slot& slot = m_slots[static_cast<size_t>(i)];
        closeSlot(slot);
        slot = Slot{};
        slot.letter = static_cast<uint8_t>(i);
        if (probe(slot))
            ++found;
    }
    recountAdapters();
    return found;
}

void PassThrough::shutdown() {
    std::lock_guard lock(m_mutex);
    for (Slot& slot : m_slots) {
        closeSlot(slot);
        slot = Slot{};
    }
    recountAdapters();
    m_scanned = false;
}

PassThrough::Slot* PassThrough::findSlot(uint8_t port, uint8_t target, uint8_t lun) {
    for (Slot& slot : m_slots) {
        if (slot.inUse && slot.port == port && slot.target == target && slot.lun == lun)
            return &slot;
    }
    return nullptr;
}

uint32_t PassThrough::supportInfo() {
    std::lock_guard lock(m_mutex);
    return m_adapterCount ? (0x0100u | m_adapterCount) : aspi::kNoAdapters;
}

uint32_t PassThrough::GetASPI32SupportInfo() {
    return instance().supportInfo();
}

uint32_t PassThrough::execute(SRB_ExecSCSICmd& srb) {
    std::unique_lock lock(m_mutex);
    Slot* slot = findSlot(srb.header.adapter, srb.target, srb.lun);
    if (!slot) {
        srb.header.status = aspi::kError;
        return srb.header.status;
    }
    if (srb.cdb[0] == 0x12) {
        // INQUIRY is answered from the data kept by the scan.
        std::memcpy(srb.buffer, slot->inquiry.data(),
                    std::min<size_t>(srb.bufferLength, slot->inquiry.size()));
        srb.header.status = aspi::kCompleted;
        return srb.header.status;
    }
    const int direction = (srb.header.flags & aspi::kDataIn)    ? SG_DXFER_FROM_DEV
                          : (srb.header.flags & aspi::kDataOut) ? SG_DXFER_TO_DEV
                                                                : SG_DXFER_NONE;
    const uint8_t cdbLength = std::min<uint8_t>(srb.cdbLength, 16);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!openSlot(*slot))
            break;
        const int fd = slot->fd;
        // The command itself runs without the table lock so that two reader threads
        // can keep the drive busy.
        lock.unlock();
        const SgResult r = sendSg(fd, srb.cdb, cdbLength, direction, srb.buffer, srb.bufferLength,
                                  kCommandTimeoutMs);
        lock.lock();
        std::memset(srb.sense, 0, sizeof(srb.sense));
        std::memcpy(srb.sense, r.sense, std::min<size_t>(srb.senseLength, r.senseLength));
        if (r.ok) {
            srb.targetStatus = aspi::kTargetGood;
            srb.header.status = aspi::kCompleted;
            return srb.header.status;
        }
        srb.targetStatus = 4;
        srb.header.status = aspi::kError;
        if (attempt > 0 || !r.mediaChanged)
            break;
        closeSlot(*slot);
        probe(*slot);
        if (!slot->inUse)
            break;
    }
    srb.header.status = aspi::kError;
    return srb.header.status;
}

uint32_t PassThrough::SendASPI32Command(void* request) {
    if (!request)
        return aspi::kError;
    PassThrough& self = instance();
    auto* header = static_cast<SRB_Header*>(request);
    switch (header->command) {
    case aspi::kHostAdapterInquiry: {
        auto* srb = static_cast<SRB_HAInquiry*>(request);
        std::lock_guard lock(self.m_mutex);
        srb->adapterCount = self.m_adapterCount;
        if (srb->header.adapter >= self.m_adapterCount) {
            srb->header.status = aspi::kInvalidAdapter;
            return srb->header.status;
        }
        srb->adapterScsiId = 7;
        std::memcpy(srb->managerId, "NTSCSI driver   ", 16);
        std::memcpy(srb->adapterId, "SCSI Device     ", 16);
        srb->adapterId[13] = static_cast<char>('0' + srb->header.adapter);
        std::memset(srb->unique, 0, sizeof(srb->unique));
        srb->unique[3] = 8;
        srb->unique[6] = 0x01; // 0x10000 little-endian in bytes 4..7
        srb->header.status = aspi::kCompleted;
        return srb->header.status;
    }
    case aspi::kGetDeviceType: {
        auto* srb = static_cast<SRB_GDEVBlock*>(request);
        std::lock_guard lock(self.m_mutex);
        if (self.findSlot(srb->header.adapter, srb->target, srb->lun)) {
            srb->deviceType = 5;
            srb->header.status = aspi::kCompleted;
        } else {
            srb->deviceType = 31;
            srb->header.status = aspi::kNoDevice;
        }
        return srb->header.status;
    }
    case aspi::kExecScsiCommand:
        return self.execute(*static_cast<SRB_ExecSCSICmd*>(request));
    default:
        header->status = aspi::kError;
        return header->status;
    }
}

} // namespace cld
