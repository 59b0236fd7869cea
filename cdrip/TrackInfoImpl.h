#pragma once

#include "cldrip/TrackInfo.h"

#include <string>

namespace cld {

// What the sub-channel and the control bits say of a track.
struct TrackDetails {
    std::string isrc;
    int32_t control = 0;
    int32_t indexZero = -1; // -1 = unknown
};

// A track of DiscInfoImpl, handed out as a copy.
class TrackInfoImpl final : public TrackInfo {
public:
    TrackInfoImpl(int32_t first, int32_t last, std::string title, TrackDetails details = {});

    int32_t GetFirstSector() override;
    int32_t GetLastSector() override;
    uint32_t GetSizeKB() override;
    uint32_t GetDurationSeconds() override;
    uint32_t GetStartSeconds() override;
    NameText* GetLengthText() override;
    NameText* GetSizeText() override;
    NameText* GetStartText() override;
    NameText* GetTitle() override;
    void Destroy() override;
    NameText* GetIsrc() override;
    int32_t GetPreEmphasis() override;
    int32_t GetIndexZeroSector() override;
    int32_t GetControl() override;

private:
    ~TrackInfoImpl() = default;
    uint64_t sectors() const;

    int32_t m_first;
    int32_t m_last;
    uint32_t m_sizeKB = 0;
    std::string m_title;
    TrackDetails m_details;
};

} // namespace cld
