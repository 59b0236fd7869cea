#pragma once

#include "cldrip/TrackInfo.h"

#include <string>

namespace cld {

// A track of DiscInfoImpl, handed out as a copy.
class TrackInfoImpl final : public TrackInfo {
public:
    TrackInfoImpl(int32_t first, int32_t last, std::string title);

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

private:
    ~TrackInfoImpl() = default;
    uint64_t sectors() const;

    int32_t m_first;
    int32_t m_last;
    uint32_t m_sizeKB = 0;
    std::string m_title;
};

} // namespace cld
