#pragma once

#include <cstdint>

class NameText;

// The grab object's second interface: which drive to use and how to correct errors.
// Owned by the CDRipObject it came from. Slot order is fixed.
class CDRipDriveSettings {
public:
    virtual int32_t GetDriveCount() = 0; // 0
    // 1: a new record with the name of drive index (the caller destroys it); the
    // active drive stays as it is, so a grab or playback running meanwhile is not
    // disturbed. Returns 0, or 1 (and null) for an index with no drive.
    virtual int32_t GetDriveName(NameText** name, int32_t index) = 0;
    virtual void SetActiveDrive(int32_t index) = 0; // 2
    // 3: 0 plain, 1 plain with jitter correction, 2..5 paranoia levels 0..3; other
    // values change nothing.
    virtual void SetErrorCorrection(int32_t type) = 0;
    // 4: read offset correction of the active drive in stereo samples, applied to
    // every audio read from then on. Returns 0, or 1 (nothing changed) for a value
    // beyond +-5000 or when there is no drive.
    virtual int32_t SetReadOffset(int32_t samples) = 0;
    virtual int32_t GetReadOffset() = 0; // 5: of the active drive, 0 when none is set
    // 6: the error correction the next read of the active drive uses, as SetErrorCorrection
    // takes it (0..5), from the drive's reading settings.
    virtual int32_t GetErrorCorrection() = 0;

protected:
    ~CDRipDriveSettings() = default;
};
