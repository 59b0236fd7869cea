#include "AudioEncoder.h"
#include "FlacEncoder.h"
#include "Mp3Encoder.h"
#include "WavEncoder.h"

namespace cld::engine {

namespace {

template <typename Encoder> EncoderRegistry::Factory factory() {
    return [](const EncoderOptions& options) { return std::make_unique<Encoder>(options); };
}

} // namespace

// One line per encoder.
EncoderRegistry::EncoderRegistry() {
    add("wav", factory<WavEncoder>());
    add("flac", factory<FlacEncoder>());
    add("mp3", factory<Mp3Encoder>());
}

EncoderRegistry& EncoderRegistry::instance() {
    static EncoderRegistry registry;
    return registry;
}

std::unique_ptr<AudioEncoder> EncoderRegistry::make(const std::string& name,
                                                    const EncoderOptions& options) const {
    const auto it = m_factories.find(name);
    if (it == m_factories.end())
        return nullptr;
    return it->second(options);
}

std::vector<std::string> EncoderRegistry::names() const {
    std::vector<std::string> out;
    for (const auto& entry : m_factories)
        out.push_back(entry.first);
    return out;
}

void EncoderRegistry::add(const std::string& name, Factory factory) {
    m_factories[name] = std::move(factory);
}

} // namespace cld::engine
