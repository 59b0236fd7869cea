#pragma once

#include <cstdint>

// How the ripper talks to one drive model; copied whole as a 28-byte block.
struct DriveTable {
    int32_t driveType = 0;   // preset 0..19, 19 = custom
    int32_t readMethod = 0;  // selects the audio READ command
    int32_t speedMethod = 1; // 0 none, 1 SET CD SPEED, 2 MODE SELECT page 0x31, 3..6 see presets
    int32_t endian = 1;      // 1 = samples arrive little-endian, 0 = swap bytes
    int32_t enableMode = 0;  // 1 = switch block length/density around a rip
    int32_t density = 0;     // density code for that switch
    int32_t atapi = 1;       // 1 = MODE SELECT(10), 0 = MODE SELECT(6)
};
static_assert(sizeof(DriveTable) == 28);

// Per-drive settings, exchanged whole (360 bytes) with GetDriveParams/SetDriveParams.
struct DriveParams {
    char name[256] = "Unknown CDROM type";
    // Sectors per READ. Readers that join their reads (the plain reader with jitter
    // correction, the paranoia reader) hold it to 999: from 1000 on a read is split
    // over two threads whose pieces the drive places independently.
    int32_t sectorsPerRead = 26;
    int32_t overlapSectors = 7;
    int32_t compareSectors = 1;
    int32_t startOffset = 0;
    int32_t endOffset = 0;
    int32_t speed = 32;
    int32_t spinUpTime = 0;
    int32_t jitterCorrection = 1;
    int32_t swapChannels = 0;
    DriveTable driveTable;
    uint8_t targetId = 0;
    uint8_t adapterId = 0;
    uint8_t lun = 0;
    uint8_t pad = 0;
    int32_t reserved = 0;
    int32_t recoveryPasses = 0;
    int32_t recoveryPause = 3000;
    int32_t extra[3] = {0, 0, 0};
    int32_t lockDoor = 1;
    int32_t rippingMethod = 0;
    int32_t paranoiaLevel = 0;
};
static_assert(sizeof(DriveParams) == 360);

// One table-of-contents entry as handed to callers (8 bytes).
struct TocEntry {
    int32_t lba = 0;
    uint8_t controlAdr = 0;
    uint8_t trackNumber = 0;
    uint8_t zero[2] = {0, 0};
};
static_assert(sizeof(TocEntry) == 8);
