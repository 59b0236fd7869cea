#pragma once

#include "TocMath.h"
#include "TrackInfoImpl.h"
#include "cldrip/DiscInfo.h"

#include <memory>
#include <string>
#include <vector>

class CDDAObject;

namespace cld {

// Disc object: the audio tracks, identifier, TOC sum and CD-TEXT names of the disc in
// the active drive, read through a CDDAObject when load() runs.
class DiscInfoImpl final : public DiscInfo {
public:
    // A new object loaded from the disc now; null only when memory runs out.
    static DiscInfoImpl* create(CDDAObject& cdda);

    int32_t GetTrackCount() override;
    TrackInfo* GetTrack(int32_t index) override;
    uint32_t GetDiscId() override;
    uint32_t GetTocSum() override;
    int32_t HasCdText() override;
    NameText* GetArtist() override;
    NameText* GetTitle() override;
    void Destroy() override;
    int32_t DetectGaps() override;
    NameText* GetCatalogNumber() override;
    int32_t GetHiddenTrack(int32_t* sectors) override;
    int32_t GetSubChannelReads() override;

    void load();

private:
    explicit DiscInfoImpl(CDDAObject& cdda) : m_cdda(&cdda) {}
    ~DiscInfoImpl() = default;

    struct Track {
        TrackRange range;
        std::string title;
        int trackNumber = 0;
        TrackDetails details;
    };
    void detectGaps();
    int32_t lookBeforeFirstTrack();

    CDDAObject* m_cdda; // not owned
    std::vector<Track> m_tracks;
    std::string m_artist;
    std::string m_title;
    uint32_t m_tocSum = 0;
    uint32_t m_discId = 0;
    int32_t m_cdText = 0;
    std::string m_catalog;
    int32_t m_hidden = HiddenNotLooked;
    int32_t m_qReads = 0;
    bool m_qReadable = false;
};

} // namespace cld
