#pragma once

#include "AudioEncoder.h"

#include <cstdint>
#include <string>

namespace cld::engine {

// What every encoder keeps about its last failure, and the reading of its options.
class EncoderBase : public AudioEncoder {
public:
    std::string error() const override { return m_error; }
    uint32_t errorDetail() const override { return m_detail; }
    bool nameTaken() const override { return m_nameTaken; }
    EncoderFault fault() const override { return m_fault; }

protected:
    // Clears the last failure (at the start of open()).
    void clearFailure();
    // Records a failure; the first one since clearFailure() is the one kept.
    void setFailure(EncoderFault fault, std::string text, uint32_t detail = 0,
                    bool nameTaken = false);
    // The option `key` as a whole number in [low, high]; `fallback` when it is not given.
    // False (with the failure recorded as refused settings) when it is given but is no
    // such number.
    bool intOption(const EncoderOptions& options, const std::string& key, int low, int high,
                   int fallback, int& value);
    bool failed() const { return m_fault != EncoderFault::None; }

private:
    std::string m_error;
    uint32_t m_detail = 0;
    bool m_nameTaken = false;
    EncoderFault m_fault = EncoderFault::None;
};

} // namespace cld::engine
