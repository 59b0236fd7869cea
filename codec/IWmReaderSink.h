#pragma once

#include <cstddef>
#include <cstdint>

// Receives what a WmReader delivers, on the reader's own thread.
class IWmReaderSink {
public:
    virtual ~IWmReaderSink() = default;
    // Uncompressed samples in the reader's audio output format; times in 100 ns units.
    virtual void OnSample(int64_t sampleTime, int64_t sampleDuration, const uint8_t* data,
                          size_t length) = 0;
    // A status report (WmReader::Status), with 0 or a failure code.
    virtual void OnStatus(int status, uint32_t result) = 0;
};
