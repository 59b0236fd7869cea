#pragma once

#include "AudioEncoder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace cld {
class OutputFile;
}

namespace cld::engine {

// The settings of an encoder's description.
EncoderSetting wholeSetting(std::string key, std::string label, int low, int high, int fallback);
EncoderSetting decimalSetting(std::string key, std::string label, double low, double high,
                              std::string fallback);
EncoderSetting choiceSetting(std::string key, std::string label, std::vector<std::string> choices,
                             std::string fallback);
// The option "cover" every encoder that can embed a picture has.
EncoderSetting coverSetting();

// What every encoder keeps: its files' extension, its options and its last failure, and
// the reading of its options.
class EncoderBase : public AudioEncoder {
public:
    std::string extension() const override { return m_extension; }
    std::string error() const override { return m_error; }
    uint32_t errorDetail() const override { return m_detail; }
    bool nameTaken() const override { return m_nameTaken; }
    EncoderFault fault() const override { return m_fault; }

protected:
    EncoderBase(std::string extension, EncoderOptions options)
        : m_extension(std::move(extension)), m_options(std::move(options)) {}
    const EncoderOptions& options() const { return m_options; }
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
    // The option "cover": whether the tags' cover picture goes into the file (1, the
    // default) or not (0).
    bool coverOption(const EncoderOptions& options, bool& embed);
    // The option `key` as a decimal number in [low, high] ("4.5", "-1"); as intOption.
    bool decimalOption(const EncoderOptions& options, const std::string& key, double low,
                       double high, double fallback, double& value);
    bool failed() const { return m_fault != EncoderFault::None; }
    // Ends an output the encoder has closed: removed after a failure, else given its name
    // (a name taken meanwhile is the output's fault, anything else the write's). True when
    // the file stands under its name.
    bool commitFile(cld::OutputFile& file);
    // Whether a failure code of the output file says its name is taken.
    static bool takenCode(uint32_t code);

private:
    std::string m_extension;
    EncoderOptions m_options;
    std::string m_error;
    uint32_t m_detail = 0;
    bool m_nameTaken = false;
    EncoderFault m_fault = EncoderFault::None;
};

// Hands PCM given in pieces on as whole sample frames: the bytes of a frame cut by the end
// of one piece wait for the next.
class FrameJoiner {
public:
    void reset(size_t frameBytes) {
        m_frameBytes = frameBytes;
        m_pending.clear();
    }
    // Whether a frame is begun and not complete.
    bool cut() const { return !m_pending.empty(); }
    // Calls `encode(data, frames)` for the whole frames of this piece (and a frame the
    // last piece began); false as soon as it returns false.
    template <typename Encode> bool feed(const uint8_t* data, size_t bytes, Encode&& encode) {
        if (!m_pending.empty()) {
            const size_t take = std::min(bytes, m_frameBytes - m_pending.size());
            m_pending.insert(m_pending.end(), data, data + take);
            data += take;
            bytes -= take;
            if (m_pending.size() < m_frameBytes)
                return true;
            if (!encode(m_pending.data(), size_t{1}))
                return false;
            m_pending.clear();
        }
        const size_t frames = bytes / m_frameBytes;
        if (frames > 0 && !encode(data, frames))
            return false;
        m_pending.assign(data + frames * m_frameBytes, data + bytes);
        return true;
    }

private:
    size_t m_frameBytes = 4;
    std::vector<uint8_t> m_pending;
};

// An encoder that takes whole sample frames: write() hands them on as they are complete
// (a frame cut by the end of one piece waits for the next), and an input that ends inside
// a frame fails at finish().
class FramedEncoder : public EncoderBase {
public:
    bool write(const uint8_t* data, size_t bytes) final;
    bool finish() final;

protected:
    using EncoderBase::EncoderBase;
    // Starts taking frames of `frameBytes` bytes (as an output opens).
    void beginFrames(size_t frameBytes) {
        m_frameBytes = frameBytes;
        m_frames.reset(frameBytes);
    }
    size_t frameBytes() const { return m_frameBytes; }

private:
    // Whether an output is open for write() and finish().
    virtual bool isOpen() const = 0;
    // The output's name, as a failure names it.
    virtual std::string outputName() const = 0;
    // Encodes whole frames; false (with the failure recorded) when that fails.
    virtual bool encodeFrames(const uint8_t* data, size_t frames) = 0;
    // Ends the output after its last frame: completes it and gives it its name, or (after
    // a failure) removes it. True when the file stands under its name.
    virtual bool complete() = 0;

    FrameJoiner m_frames;
    size_t m_frameBytes = 4;
};

} // namespace cld::engine
