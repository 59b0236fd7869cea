#pragma once

#include "WaveFormat.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct SwrContext;

// Converts interleaved PCM between sample rates, channel counts and sample sizes. When
// source and target already agree the data is passed through untouched.
class FormatConverter {
public:
    FormatConverter() = default;
    ~FormatConverter();
    FormatConverter(const FormatConverter&) = delete;
    FormatConverter& operator=(const FormatConverter&) = delete;

    // Throws Exception("ERROR_ACM_OPENSTREAM") when the pair cannot be converted.
    void Open(const WaveFormat& target, const WaveFormat& source);
    // Converts `bytes` bytes of source data (whole frames); the result stays valid until
    // the next call. Empty input yields an empty result.
    const std::vector<uint8_t>& Convert(const void* data, size_t bytes);
    // Whatever a rate conversion still holds back, at the end of the stream.
    const std::vector<uint8_t>& Flush();
    void Close();
    bool IsPassThrough() const { return m_swr == nullptr; }

private:
    SwrContext* m_swr = nullptr;
    WaveFormat m_target;
    WaveFormat m_source;
    std::vector<uint8_t> m_out;
};
