#pragma once

#include <cstdint>

class NameText;

// One audio track of a disc. Obtained from DiscInfo::GetTrack; the caller destroys it
// with Destroy(). Slot order is fixed.
class TrackInfo {
public:
    virtual int32_t GetFirstSector() = 0;      // 0
    virtual int32_t GetLastSector() = 0;       // 1 inclusive
    virtual uint32_t GetSizeKB() = 0;          // 2
    virtual uint32_t GetDurationSeconds() = 0; // 3
    virtual uint32_t GetStartSeconds() = 0;    // 4
    virtual NameText* GetLengthText() = 0;     // 5 "m:ss"
    virtual NameText* GetSizeText() = 0;       // 6 "n MB"
    virtual NameText* GetStartText() = 0;      // 7 "m:ss.ff"
    virtual NameText* GetTitle() = 0;          // 8
    virtual void Destroy() = 0;                // 9

protected:
    ~TrackInfo() = default;
};
