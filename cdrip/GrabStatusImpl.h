#pragma once

#include "cldrip/GrabStatus.h"

#include <string>
#include <vector>

namespace cld {

// The values a snapshot carries.
struct GrabStatusValues {
    int32_t running = 0;
    int32_t error = 0;
    std::string fileName;
    int32_t trackIndex = 0;
    int32_t percent = 0;
    int32_t peak = 0;
    int32_t jitterErrors = 0;
    std::vector<GrabTrackResult> tracks;
    std::vector<GrabCopyResult> copies;
};

class GrabStatusImpl final : public GrabStatus {
public:
    explicit GrabStatusImpl(GrabStatusValues values) : m_values(std::move(values)) {}

    int32_t IsRunning() override { return m_values.running; }
    int32_t GetError() override { return m_values.error; }
    NameText* GetFileName() override;
    int32_t GetTrackIndex() override { return m_values.trackIndex; }
    int32_t GetPercent() override { return m_values.percent; }
    int32_t GetPeak() override { return m_values.peak; }
    int32_t GetJitterErrorCount() override { return m_values.jitterErrors; }
    void Destroy() override;
    int32_t GetTrackResultCount() override { return static_cast<int32_t>(m_values.tracks.size()); }
    int32_t GetTrackResult(int32_t n, GrabTrackResult* out) override;
    int32_t GetTrackCopy(int32_t n, GrabCopyResult* out) override;
    int32_t GetTrackCopyCount() override { return static_cast<int32_t>(m_values.copies.size()); }

private:
    ~GrabStatusImpl() = default;
    GrabStatusValues m_values;
};

} // namespace cld
