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

protected:
    ~CDRipDriveSettings() = default;
};
