#include "EncoderBase.h"

#include "OutputFile.h"
#include "WmErrors.h"

#include <cerrno>
#include <charconv>

namespace cld::engine {

namespace {

std::string shortNumber(double v) {
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, v);
    return ec == std::errc() ? std::string(text, end) : std::string();
}

} // namespace

EncoderSetting wholeSetting(std::string key, std::string label, int low, int high, int fallback) {
    EncoderSetting s;
    s.key = std::move(key);
    s.label = std::move(label);
    s.kind = EncoderSetting::Kind::Whole;
    s.low = low;
    s.high = high;
    s.fallback = std::to_string(fallback);
    return s;
}

EncoderSetting decimalSetting(std::string key, std::string label, double low, double high,
                              std::string fallback) {
    EncoderSetting s;
    s.key = std::move(key);
    s.label = std::move(label);
    s.kind = EncoderSetting::Kind::Decimal;
    s.low = low;
    s.high = high;
    s.fallback = std::move(fallback);
    return s;
}

EncoderSetting choiceSetting(std::string key, std::string label, std::vector<std::string> choices,
                             std::string fallback) {
    EncoderSetting s;
    s.key = std::move(key);
    s.label = std::move(label);
    s.kind = EncoderSetting::Kind::Choice;
    s.choices = std::move(choices);
    s.fallback = std::move(fallback);
    return s;
}

EncoderSetting coverSetting() {
    EncoderSetting s;
    s.key = "cover";
    s.label = "Embed the cover picture";
    s.kind = EncoderSetting::Kind::Flag;
    s.low = 0;
    s.high = 1;
    s.fallback = "1";
    return s;
}

void EncoderBase::clearFailure() {
    m_error.clear();
    m_detail = 0;
    m_nameTaken = false;
    m_fault = EncoderFault::None;
}

void EncoderBase::setFailure(EncoderFault fault, std::string text, uint32_t detail,
                             bool nameTaken) {
    if (m_fault != EncoderFault::None)
        return;
    m_fault = fault;
    m_error = std::move(text);
    m_detail = detail;
    m_nameTaken = nameTaken;
}

bool EncoderBase::intOption(const EncoderOptions& options, const std::string& key, int low,
                            int high, int fallback, int& value) {
    const auto it = options.find(key);
    if (it == options.end()) {
        value = fallback;
        return true;
    }
    const std::string& text = it->second;
    int parsed = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || parsed < low ||
        parsed > high) {
        setFailure(EncoderFault::Settings, "the setting " + key + "=\"" + text +
                                               "\" is not a whole number from " +
                                               std::to_string(low) + " to " + std::to_string(high));
        return false;
    }
    value = parsed;
    return true;
}

bool EncoderBase::coverOption(const EncoderOptions& options, bool& embed) {
    int value = 1;
    if (!intOption(options, "cover", 0, 1, 1, value))
        return false;
    embed = value == 1;
    return true;
}

bool EncoderBase::decimalOption(const EncoderOptions& options, const std::string& key, double low,
                                double high, double fallback, double& value) {
    const auto it = options.find(key);
    if (it == options.end()) {
        value = fallback;
        return true;
    }
    const std::string& text = it->second;
    double parsed = 0;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), parsed, std::chars_format::fixed);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() ||
        !(parsed >= low && parsed <= high)) {
        setFailure(EncoderFault::Settings, "the setting " + key + "=\"" + text +
                                               "\" is not a number from " + shortNumber(low) +
                                               " to " + shortNumber(high));
        return false;
    }
    value = parsed;
    return true;
}

bool FramedEncoder::write(const uint8_t* data, size_t bytes) {
    if (failed() || !isOpen())
        return false;
    return m_frames.feed(
        data, bytes, [this](const uint8_t* p, size_t frames) { return encodeFrames(p, frames); });
}

bool FramedEncoder::finish() {
    if (!isOpen())
        return false;
    if (!failed() && m_frames.cut())
        setFailure(EncoderFault::Encoder, "cannot write to \"" + outputName() +
                                              "\": the audio ends inside a sample frame");
    return complete();
}

bool EncoderBase::takenCode(uint32_t code) {
    return code == cld::wmerr::fromErrno(EEXIST) || code == cld::wmerr::kOutputNotFile;
}

bool EncoderBase::commitFile(cld::OutputFile& file) {
    if (failed()) {
        file.Discard();
        return false;
    }
    const std::string path = file.FinalPath();
    if (const uint32_t rc = file.Commit()) {
        const bool taken = takenCode(rc);
        setFailure(taken ? EncoderFault::Output : EncoderFault::Write,
                   "cannot give the file the name \"" + path + "\"", rc, taken);
        file.Discard();
        return false;
    }
    return true;
}

} // namespace cld::engine
