#include "ScsiCommands.h"

#include <algorithm>

namespace cld {
namespace {

uint8_t lunBits(uint8_t lun) {
    return static_cast<uint8_t>((lun & 0x07) << 5);
}

Cdb make(std::initializer_list<uint8_t> bytes) {
    Cdb cdb;
    std::copy(bytes.begin(), bytes.end(), cdb.bytes.begin());
    cdb.length = static_cast<uint8_t>(bytes.size());
    return cdb;
}

uint8_t byteOf(uint32_t value, int shift) {
    return static_cast<uint8_t>((value >> shift) & 0xFF);
}

} // namespace

namespace scsi {

Cdb inquiry(uint8_t lun) {
    return make({0x12, lunBits(lun), 0x00, 0x00, 0x24, 0x00});
}

Cdb testUnitReady() {
    return make({0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
}

Cdb readToc(uint8_t lun) {
    return make({0x43, lunBits(lun), 0x00, 0x00, 0x00, 0x00, 0x01, 0x08, 0x00, 0x00});
}

Cdb readCdText(uint8_t lun, uint16_t allocation) {
    return make({0x43, lunBits(lun), 0x05, 0x00, 0x00, 0x00, 0x01, byteOf(allocation, 8),
                 byteOf(allocation, 0), 0x00});
}

Cdb readSubChannel(uint8_t lun, uint8_t format, uint16_t allocation) {
    const uint8_t q = (format == 1 || format == 2) ? 0x40 : 0x00;
    return make({0x42, lunBits(lun), q, format, 0x00, 0x00, 0x00, byteOf(allocation, 8),
                 byteOf(allocation, 0), 0x00});
}

Cdb readSubChannelPosition(uint8_t lun) {
    return make({0x42, lunBits(lun), 0x40, 0x01, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00});
}

Cdb readSubChannelIsrc(uint8_t lun, uint8_t track) {
    return make({0x42, lunBits(lun), 0x40, 0x03, 0x00, 0x00, track, 0x00, 24, 0x00});
}

Cdb readCdWithQ(uint8_t lun, uint32_t lba) {
    return make({0xBE, lunBits(lun), byteOf(lba, 24), byteOf(lba, 16), byteOf(lba, 8),
                 byteOf(lba, 0), 0x00, 0x00, 0x01, 0xF8, 0x02, 0x00});
}

Cdb seek10(uint8_t lun, uint32_t lba) {
    return make({0x2B, lunBits(lun), byteOf(lba, 24), byteOf(lba, 16), byteOf(lba, 8),
                 byteOf(lba, 0), 0x00, 0x00, 0x00, 0x00});
}

Cdb playAudio12(uint8_t lun, uint32_t start, uint32_t end) {
    const uint32_t count = end - start;
    return make({0xA5, lunBits(lun), byteOf(start, 24), byteOf(start, 16), byteOf(start, 8),
                 byteOf(start, 0), byteOf(count, 24), byteOf(count, 16), byteOf(count, 8),
                 byteOf(count, 0), 0x00, 0x00});
}

Cdb pauseResume(uint8_t lun, bool resume) {
    return make({0x4B, lunBits(lun), 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                 static_cast<uint8_t>(resume ? 1 : 0), 0x00});
}

Cdb stopUnit(uint8_t lun) {
    return make({0x1B, static_cast<uint8_t>(lunBits(lun) | 0x01), 0x00, 0x00, 0x00, 0x00});
}

Cdb ejectLoad(uint8_t lun, bool eject) {
    return make({0x1B, lunBits(lun), 0x00, 0x00, static_cast<uint8_t>(eject ? 2 : 3), 0x00});
}

Cdb preventAllow(uint8_t lun, bool lock) {
    return make({0x1E, lunBits(lun), 0x00, 0x00, static_cast<uint8_t>(lock ? 1 : 0), 0x00});
}

Cdb setCdSpeed(uint8_t lun, int32_t speed) {
    const auto v = static_cast<uint32_t>(speed) * 176u;
    return make({0xBB, lunBits(lun), byteOf(v, 8), byteOf(v, 0), byteOf(v, 8), byteOf(v, 0), 0x00,
                 0x00, 0x00, 0x00, 0x00, 0x00});
}

CdbWithData modeSelectSpeed(int32_t speed) {
    CdbWithData c;
    c.cdb = make({0x15, 0x10, 0x00, 0x00, 0x08, 0x00});
    const int32_t k = (speed < 5 ? speed : 8) / 2;
    c.data = {0x00, 0x00, 0x00, 0x00, 0x31, 0x02, static_cast<uint8_t>(k), 0x00};
    return c;
}

CdbWithData blockLength(uint8_t lun, const DriveTable& table, int32_t length, int32_t density,
                        int32_t speed) {
    std::vector<uint8_t> param(8, 0);
    param[0] = length == 2048 ? 0x81 : static_cast<uint8_t>(density);
    param[6] = byteOf(static_cast<uint32_t>(length), 8);
    param[7] = byteOf(static_cast<uint32_t>(length), 0);
    if (length != 2048 && speed > 0) {
        if (table.speedMethod == 4) {
            param.insert(param.end(), {0x20, 0x01, static_cast<uint8_t>(speed > 1 ? 0x11 : 0x10)});
        } else if (table.speedMethod == 5) {
            std::vector<uint8_t> page = {0x23, 0x06, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00};
            if (speed > 1) {
                page[2] = static_cast<uint8_t>(std::min(speed, 4));
                page[4] = static_cast<uint8_t>(std::min(speed, 4));
            }
            param.insert(param.end(), page.begin(), page.end());
        }
    }
    const auto n = static_cast<uint8_t>(param.size());
    const uint8_t pf = n > 8 ? 0x10 : 0x00;
    const auto byte1 = static_cast<uint8_t>(lunBits(lun) | pf);
    CdbWithData c;
    if (table.atapi == 1) {
        c.cdb = make(
            {0x55, byte1, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, static_cast<uint8_t>(n + 8), 0x00});
        c.data.assign(8, 0);
        c.data[7] = 8;
    } else {
        c.cdb = make({0x15, byte1, 0x00, 0x00, static_cast<uint8_t>(n + 4), 0x00});
        c.data.assign(4, 0);
        c.data[3] = 8;
    }
    c.data.insert(c.data.end(), param.begin(), param.end());
    return c;
}

} // namespace scsi

void applyDrivePreset(DriveTable& t) {
    const int32_t type = t.driveType;
    if (type == 19)
        return;
    t.speedMethod = 0;
    t.density = 0;
    t.enableMode = 0;
    t.atapi = 0;
    t.endian = 1;
    switch (type) {
    case 0:
        t.readMethod = 0;
        t.speedMethod = 1;
        t.atapi = 1;
        break;
    case 1:
    case 3:
    case 5:
        t.readMethod = 1;
        t.density = 0x82;
        t.enableMode = 1;
        break;
    case 2:
        t.readMethod = 1;
        t.speedMethod = 4;
        t.density = 0x82;
        t.enableMode = 1;
        break;
    case 4:
        t.readMethod = 2;
        t.speedMethod = 6;
        break;
    case 14:
    case 15:
        t.readMethod = 3;
        t.speedMethod = 2;
        break;
    case 16:
        t.speedMethod = 3;
        t.enableMode = 1;
        break;
    case 6:
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
    case 12:
    case 13:
    case 18:
        t.readMethod = 1;
        t.speedMethod = 5;
        t.enableMode = 1;
        t.endian = 0;
        break;
    default: // 17, 20 and above: the reset alone
        break;
    }
}

} // namespace cld
