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

    // What DetectGaps found before the first track (GetHiddenTrack).
    enum HiddenTrack : int32_t {
        HiddenNone = 0,       // the first track starts at sector 0
        HiddenSilent = 1,     // sectors before it, all digital silence
        HiddenAudio = 2,      // sectors before it holding audio (a hidden first track)
        HiddenUnreadable = 3, // sectors before it the drive would not read
        HiddenNotLooked = 4,  // DetectGaps has not run
    };
    // 8: reads through the sub-channel what the table of contents does not hold: each
    // track's pregap (INDEX 00, by a search over the Q sub-channel), the ISRCs, the media
    // catalogue number, and whether the sectors before the first track hold audio. Takes
    // some hundred single-sector reads. Tracks handed out afterwards carry the results.
    // Returns 0, or 1 when the drive could not read the sub-channel at all (pregaps
    // then stay unknown; ISRCs and the catalogue number are still asked for).
    virtual int32_t DetectGaps() = 0;
    virtual NameText* GetCatalogNumber() = 0; // 9: new record; empty when none is known
    // 10: one of HiddenTrack; sectors (may be null) gets how many lie before track 1.
    virtual int32_t GetHiddenTrack(int32_t* sectors) = 0;
    virtual int32_t GetSubChannelReads() = 0; // 11: Q reads the last DetectGaps took

protected:
    ~DiscInfo() = default;
};
