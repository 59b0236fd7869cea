#pragma once

#include "DriveParams.h"

#include <atomic>
#include <cstdint>

// Thin object over the process-wide ripper engine: drives, table of contents,
// playback and chunked audio extraction. The virtual functions stand in slot order and
// must not be reordered. Status results: 0 = success, 1 = failure, unless a slot says
// it returns an ASPI status (1 completed, 2 aborted, 4 error). Nothing throws.
class CDDAObject {
public:
    virtual int32_t GetVersion() = 0;                                                 // 0
    virtual int32_t GetPeakValue() = 0;                                               // 1
    virtual void SetActiveDrive(int32_t index) = 0;                                   // 2
    virtual int32_t GetActiveDrive() = 0;                                             // 3
    virtual int32_t SetDriveType(int32_t type) = 0;                                   // 4
    virtual int32_t GetDriveType() = 0;                                               // 5
    virtual int32_t GetDriveParams(DriveParams* params) = 0;                          // 6
    virtual int32_t SetDriveParams(const DriveParams* params) = 0;                    // 7
    virtual int32_t OpenRipper(int32_t* bufferSize, int32_t first, int32_t last) = 0; // 8
    virtual int32_t CloseRipper() = 0;                                                // 9
    virtual int32_t GetPercentCompleted() = 0;                                        // 10
    virtual int32_t GetJitterErrorCount() = 0;                                        // 11
    virtual int32_t Init() = 0;                                                       // 12
    virtual int32_t GetDriveCount() = 0;                                              // 13
    virtual int32_t RipChunk(uint8_t* buffer, int32_t* byteCount,
                             const std::atomic<int32_t>* abortFlag) = 0;         // 14
    virtual void ScaleChunk(int16_t* samples, int32_t count, double factor) = 0; // 15
    virtual int32_t GetJitterPosition() = 0;                                     // 16
    virtual void GetJitterErrorPosition(int32_t* sector, int32_t* current) = 0;  // 17
    virtual int32_t LockDoor(int32_t lock) = 0;                                  // 18
    virtual int32_t GetSubChannelPosition(int32_t* index, int32_t* track,
                                          int32_t* absolute) = 0; // 19
    virtual int32_t ScanForC2Errors(int32_t first, int32_t end, int32_t* found, int32_t* list,
                                    int32_t capacity,
                                    const std::atomic<int32_t>* stopFlag) = 0;      // 20
    virtual int32_t GetTocEntryCount() = 0;                                         // 21
    virtual int32_t ReadToc() = 0;                                                  // 22
    virtual int32_t GetTocEntry(TocEntry* entry, int32_t index) = 0;                // 23
    virtual int32_t ReadCdText(uint8_t* buffer, int32_t size, int32_t* length) = 0; // 24
    virtual int32_t IsUnitReady() = 0;                                         // 25 ASPI status
    virtual int32_t EjectDisc(int32_t eject) = 0;                              // 26 ASPI status
    virtual int32_t GetAudioStatus() = 0;                                      // 27
    virtual int32_t StopPlayback() = 0;                                        // 28
    virtual int32_t PausePlayback(int32_t pause) = 0;                          // 29
    virtual void GetLastSense(uint8_t* key, uint8_t* asc, uint8_t* ascq) = 0;  // 30
    virtual int32_t GetPlayPosition(int32_t* relative, int32_t* absolute) = 0; // 31
    virtual int32_t Seek(int32_t lba) = 0;                                     // 32
    virtual int32_t PlayTrack(int32_t trackNumber) = 0;                        // 33
    virtual int32_t PlayRange(int32_t start, int32_t end) = 0;                 // 34
    virtual int32_t GetTransportLayer() = 0;                                   // 35
    virtual void SetTransportLayer(int32_t selector) = 0;                      // 36
    virtual void Dispose() = 0;                                                // 37
    // Deleting destructor: bit 0 of flags frees the memory as well.
    virtual void Destroy(int32_t flags) = 0; // 38
    // 39: what the reader found about the range opened last, so far: sectors delivered
    // only after a correction, sectors whose audio could not be verified, sectors the
    // drive never delivered (zeros stand in their place; RipChunk returned 3 for them).
    // Null pointers are skipped. Returns 0, or 1 without an engine (all set to 0).
    virtual int32_t GetReadVerdict(int32_t* corrected, int32_t* unverified, int32_t* unread) = 0;
    // 40: read offset correction of the active drive in stereo samples, applied to
    // every read of a ripper opened from then on. Returns 0, or 1 (nothing changed)
    // for a value beyond +-5000 or without an engine.
    virtual int32_t SetReadOffset(int32_t samples) = 0;
    virtual int32_t GetReadOffset() = 0; // 41: of the active drive
    // 42: the formatted Q sub-channel of sector lba on the active drive (12 bytes into q:
    // control/ADR, the mode's nine bytes, CRC), read with READ CD. Returns 0, or 1 when
    // the drive could not read it or q is null.
    virtual int32_t ReadSubChannelQ(int32_t lba, uint8_t* q) = 0;
    // 43: the disc's media catalogue number: 13 digits and a NUL into mcn[14]. Returns 0,
    // or 1 (mcn empty) when the disc has none or the drive does not tell.
    virtual int32_t ReadCatalogNumber(char* mcn) = 0;
    // 44: the ISRC of track trackNumber: 12 characters and a NUL into isrc[13]. Returns
    // 0, or 1 (isrc empty) when the track has none or the drive does not tell.
    virtual int32_t ReadTrackIsrc(int32_t trackNumber, char* isrc) = 0;

protected:
    ~CDDAObject() = default;
};
