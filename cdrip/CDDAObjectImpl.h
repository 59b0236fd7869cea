#pragma once

#include "cldrip/CDDAObject.h"

namespace cld {

// The CDDAObject handed out by GetClassObject. It has no state of its own: every slot
// works on the process-wide engine and gives the no-engine answer when there is none.
class CDDAObjectImpl final : public CDDAObject {
public:
    CDDAObjectImpl() = default;
    ~CDDAObjectImpl() = default;

    int32_t GetVersion() override;
    int32_t GetPeakValue() override;
    void SetActiveDrive(int32_t index) override;
    int32_t GetActiveDrive() override;
    int32_t SetDriveType(int32_t type) override;
    int32_t GetDriveType() override;
    int32_t GetDriveParams(DriveParams* params) override;
    int32_t SetDriveParams(const DriveParams* params) override;
    int32_t OpenRipper(int32_t* bufferSize, int32_t first, int32_t last) override;
    int32_t CloseRipper() override;
    int32_t GetPercentCompleted() override;
    int32_t GetJitterErrorCount() override;
    int32_t Init() override;
    int32_t GetDriveCount() override;
    int32_t RipChunk(uint8_t* buffer, int32_t* byteCount,
                     const std::atomic<int32_t>* abortFlag) override;
    void ScaleChunk(int16_t* samples, int32_t count, double factor) override;
    int32_t GetJitterPosition() override;
    void GetJitterErrorPosition(int32_t* sector, int32_t* current) override;
    int32_t LockDoor(int32_t lock) override;
    int32_t GetSubChannelPosition(int32_t* index, int32_t* track, int32_t* absolute) override;
    int32_t ScanForC2Errors(int32_t first, int32_t end, int32_t* found, int32_t* list,
                            int32_t capacity, const std::atomic<int32_t>* stopFlag) override;
    int32_t GetTocEntryCount() override;
    int32_t ReadToc() override;
    int32_t GetTocEntry(TocEntry* entry, int32_t index) override;
    int32_t ReadCdText(uint8_t* buffer, int32_t size, int32_t* length) override;
    int32_t IsUnitReady() override;
    int32_t EjectDisc(int32_t eject) override;
    int32_t GetAudioStatus() override;
    int32_t StopPlayback() override;
    int32_t PausePlayback(int32_t pause) override;
    void GetLastSense(uint8_t* key, uint8_t* asc, uint8_t* ascq) override;
    int32_t GetPlayPosition(int32_t* relative, int32_t* absolute) override;
    int32_t Seek(int32_t lba) override;
    int32_t PlayTrack(int32_t trackNumber) override;
    int32_t PlayRange(int32_t start, int32_t end) override;
    int32_t GetTransportLayer() override;
    void SetTransportLayer(int32_t selector) override;
    void Dispose() override;
    void Destroy(int32_t flags) override;
    int32_t GetReadVerdict(int32_t* corrected, int32_t* unverified, int32_t* unread) override;
    int32_t SetReadOffset(int32_t samples) override;
    int32_t GetReadOffset() override;
    int32_t ReadSubChannelQ(int32_t lba, uint8_t* q) override;
    int32_t ReadCatalogNumber(char* mcn) override;
    int32_t ReadTrackIsrc(int32_t trackNumber, char* isrc) override;

    static constexpr int32_t kVersion = 115;
};

} // namespace cld
