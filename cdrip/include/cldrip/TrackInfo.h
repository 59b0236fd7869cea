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
    virtual NameText* GetIsrc() = 0;           // 10: new record; empty when none is known
    // 11: 1 when the track's audio carries pre-emphasis (its control bits say so).
    virtual int32_t GetPreEmphasis() = 0;
    // 12: first sector of the track's pregap (INDEX 00): GetFirstSector() when it has none,
    // -1 when unknown (DetectGaps has not run or could not tell).
    virtual int32_t GetIndexZeroSector() = 0;
    // 13: the track's control bits from the table of contents (0x01 pre-emphasis, 0x02
    // digital copy permitted, 0x08 four channels).
    virtual int32_t GetControl() = 0;

protected:
    ~TrackInfo() = default;
};
