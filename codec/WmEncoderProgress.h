#pragma once

#include "JobProgress.h"

#include <atomic>
#include <cstdint>

class WmEncoderControl;

// The media encoder seen through the one progress contract. The encoder is not owned.
// Progress needs the input's length, which only the caller knows (0: unknown, progress
// stays 0 until the end).
class WmEncoderProgress : public cld::JobProgress {
public:
    explicit WmEncoderProgress(WmEncoderControl& encoder, int64_t durationMs = 0)
        : m_encoder(encoder), m_durationMs(durationMs) {}

    cld::JobState state() const override;
    int perMille() const override;
    int errorCode() const override;
    std::string errorText() const override;
    // Stops the encoder; it must be called on the thread that drives the encoder.
    void abort() override;

private:
    WmEncoderControl& m_encoder;
    int64_t m_durationMs;
    std::atomic<bool> m_abortAsked{false};
};
