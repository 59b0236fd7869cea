#include "EncoderBase.h"

#include <charconv>

namespace cld::engine {

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

} // namespace cld::engine
