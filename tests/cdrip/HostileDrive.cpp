// A test plug-in whose one drive answers with whatever a broken or hostile drive
// might send. CLD_HOSTILE_MODE picks the answer:
//   longtoc   READ TOC claims 65535 bytes and fills the whole buffer with descriptors
//   garbage   READ TOC with start sectors out of order
//   hugetext  the CD-TEXT header claims more than any buffer holds
//   shorttext the CD-TEXT header claims less than a header
//   junkname  INQUIRY with control characters and no blank padding
//   stuck     device-type queries after the first address are never answered

#include "cldrip/Aspi.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Device-type queries left unanswered, for the test to count.
std::atomic<int> g_unanswered{0};

std::string mode() {
    const char* m = std::getenv("CLD_HOSTILE_MODE");
    return m ? m : "";
}

void answer(SRB_ExecSCSICmd& srb) {
    uint8_t* b = srb.buffer;
    const uint32_t n = srb.bufferLength;
    if (b && n)
        std::memset(b, 0, n);
    const std::string m = mode();
    switch (srb.cdb[0]) {
    case 0x12:
        if (n >= 36) {
            b[0] = 5;
            const char* name = m == "junkname" ? "\x01\x02VEND\x7f\x1b[31mPRODUCT\nNAME\tXYZ1234"
                                               : "HOSTILE DRIVE           ";
            std::memcpy(b + 8, name, 24);
        }
        break;
    case 0x43:
        if ((srb.cdb[2] & 0x0F) == 5) {
            if (n >= 4) {
                const uint16_t claim = m == "hugetext" ? 0xFFF0 : (m == "shorttext" ? 0 : 0x20);
                b[0] = static_cast<uint8_t>(claim >> 8);
                b[1] = static_cast<uint8_t>(claim);
            }
            break;
        }
        if (n >= 4) {
            b[0] = 0xFF;
            b[1] = 0xFF;
            for (uint32_t off = 4, i = 0; off + 8 <= n; off += 8, ++i) {
                b[off + 1] = 0x10;
                b[off + 2] = static_cast<uint8_t>(i + 1);
                uint32_t lba = i * 1000;
                if (m == "garbage")
                    lba = (i % 3) * 700000u + 5;
                b[off + 4] = static_cast<uint8_t>(lba >> 24);
                b[off + 5] = static_cast<uint8_t>(lba >> 16);
                b[off + 6] = static_cast<uint8_t>(lba >> 8);
                b[off + 7] = static_cast<uint8_t>(lba);
            }
        }
        break;
    case 0x42:
        // "subq": a catalogue number and ISRCs that are no such thing.
        if (m == "subq" && n >= 24) {
            b[4] = srb.cdb[3];
            b[8] = 0x80;
            std::memcpy(b + 9, "12345ABCDE\x01\x02\x03", 13);
        }
        break;
    case 0xBE:
        // "subq": Q frames with a good CRC that always name track 99 at index 1.
        if (m == "subq" && n >= 2352 + 16) {
            uint8_t* q = b + 2352;
            const uint32_t lba = (static_cast<uint32_t>(srb.cdb[2]) << 24) |
                                 (static_cast<uint32_t>(srb.cdb[3]) << 16) |
                                 (static_cast<uint32_t>(srb.cdb[4]) << 8) | srb.cdb[5];
            const uint32_t a = lba + 150;
            auto bcd = [](uint32_t v) {
                return static_cast<uint8_t>(((v / 10) % 10) << 4 | (v % 10));
            };
            const uint8_t frame[10] = {
                0x01, 0x99, 0x01, 0, 0, 0, 0, bcd(a / 4500), bcd(a / 75 % 60), bcd(a % 75)};
            std::memcpy(q, frame, 10);
            uint16_t crc = 0;
            for (int i = 0; i < 10; ++i) {
                crc ^= static_cast<uint16_t>(q[i] << 8);
                for (int bit = 0; bit < 8; ++bit)
                    crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
            }
            crc = static_cast<uint16_t>(~crc);
            q[10] = static_cast<uint8_t>(crc >> 8);
            q[11] = static_cast<uint8_t>(crc);
        }
        break;
    default:
        break;
    }
    srb.targetStatus = 0;
    srb.header.status = aspi::kCompleted;
}

} // namespace

// Not part of the interface: how many device-type queries this plug-in left pending.
extern "C" __attribute__((visibility("default"))) int HostileUnansweredQueries() {
    return g_unanswered.load();
}

extern "C" __attribute__((visibility("default"))) uint32_t GetASPI32SupportInfo() {
    return 0x0101;
}

extern "C" __attribute__((visibility("default"))) uint32_t SendASPI32Command(void* request) {
    auto* header = static_cast<SRB_Header*>(request);
    switch (header->command) {
    case aspi::kGetDeviceType: {
        auto* srb = static_cast<SRB_GDEVBlock*>(request);
        if (mode() == "stuck" && srb->target > 0) {
            ++g_unanswered;
            header->status = aspi::kPending;
            return header->status;
        }
        const bool here = srb->header.adapter == 0 && srb->target == 0 && srb->lun == 0;
        srb->deviceType = here ? 5 : 31;
        header->status = here ? aspi::kCompleted : aspi::kNoDevice;
        return header->status;
    }
    case aspi::kExecScsiCommand:
        answer(*static_cast<SRB_ExecSCSICmd*>(request));
        return header->status;
    default:
        header->status = aspi::kInvalidCommand;
        return header->status;
    }
}
