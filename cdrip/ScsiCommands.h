#pragma once

#include "cldrip/DriveParams.h"

#include <array>
#include <cstdint>
#include <vector>

namespace cld {

// One command descriptor block as sent to a drive.
struct Cdb {
    std::array<uint8_t, 16> bytes{};
    uint8_t length = 0;
};

// A command that carries parameter data to the drive (MODE SELECT).
struct CdbWithData {
    Cdb cdb;
    std::vector<uint8_t> data;
};

// Builders for every command the library sends. lun goes into byte 1 bits 7..5; LBAs
// and lengths are big-endian.
namespace scsi {

Cdb inquiry(uint8_t lun);
Cdb testUnitReady();
Cdb readToc(uint8_t lun);
Cdb readCdText(uint8_t lun, uint16_t allocation);
Cdb readSubChannel(uint8_t lun, uint8_t format, uint16_t allocation);
Cdb readSubChannelPosition(uint8_t lun);
// READ SUB-CHANNEL of the track ISRC (format 3) of track `track`.
Cdb readSubChannelIsrc(uint8_t lun, uint8_t track);
// READ CD of one sector with all its main channel bytes and the formatted Q (2352 + 16).
Cdb readCdWithQ(uint8_t lun, uint32_t lba);
Cdb seek10(uint8_t lun, uint32_t lba);
Cdb playAudio12(uint8_t lun, uint32_t start, uint32_t end);
Cdb pauseResume(uint8_t lun, bool resume);
Cdb stopUnit(uint8_t lun);
Cdb ejectLoad(uint8_t lun, bool eject);
Cdb preventAllow(uint8_t lun, bool lock);
Cdb setCdSpeed(uint8_t lun, int32_t speed);
CdbWithData modeSelectSpeed(int32_t speed);
// Block-length/density switch (MODE SELECT(10) when atapi, else MODE SELECT(6)), with
// the drive-specific speed page of speed methods 4 and 5 for raw block lengths.
CdbWithData blockLength(uint8_t lun, const DriveTable& table, int32_t length, int32_t density,
                        int32_t speed);

} // namespace scsi

// Applies the preset of the table's drive type (nothing for type 19, custom).
void applyDrivePreset(DriveTable& table);

} // namespace cld
