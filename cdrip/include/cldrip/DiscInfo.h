#pragma once

#include <cstdint>

class NameText;
class TrackInfo;

// The audio tracks, identifier and CD-TEXT names of the disc in the active drive, read
// when the object was made. The caller destroys it with Destroy(). Slot order is fixed.
class DiscInfo {
public:
    virtual int32_t GetTrackCount() = 0;            // 0
    virtual TrackInfo* GetTrack(int32_t index) = 0; // 1 new copy or null
    virtual uint32_t GetDiscId() = 0;               // 2
    virtual uint32_t GetTocSum() = 0;               // 3
    virtual int32_t HasCdText() = 0;                // 4
    virtual NameText* GetArtist() = 0;              // 5
    virtual NameText* GetTitle() = 0;               // 6
    virtual void Destroy() = 0;                     // 7

protected:
    ~DiscInfo() = default;
};
