#include "AacEncoder.h"
#include "AudioEncoder.h"
#include "FlacEncoder.h"
#include "Mp3Encoder.h"
#include "OpusEncoder.h"
#include "VorbisEncoder.h"
#include "WavEncoder.h"
#include "WmaEncoder.h"

namespace cld::engine {

namespace {

template <typename Encoder> EncoderRegistry::Factory factory() {
    return [](const EncoderOptions& options) { return std::make_unique<Encoder>(options); };
}

} // namespace

// One line per encoder.
EncoderRegistry::EncoderRegistry() {
    add(WavEncoder::describe(), factory<WavEncoder>());
    add(FlacEncoder::describe(), factory<FlacEncoder>());
    add(Mp3Encoder::describe(), factory<Mp3Encoder>());
    add(WmaEncoder::describe(), factory<WmaEncoder>());
    add(OpusEncoder::describe(), factory<OpusEncoder>());
    add(VorbisEncoder::describe(), factory<VorbisEncoder>());
    add(AacEncoder::describe(), factory<AacEncoder>());
}

EncoderRegistry& EncoderRegistry::instance() {
    static EncoderRegistry registry;
    return registry;
}

std::unique_ptr<AudioEncoder> EncoderRegistry::make(const std::string& name,
                                                    const EncoderOptions& options) const {
    const auto it = m_encoders.find(name);
    if (it == m_encoders.end())
        return nullptr;
    return it->second.second(options);
}

std::vector<std::string> EncoderRegistry::names() const {
    std::vector<std::string> out;
    for (const auto& entry : m_encoders)
        out.push_back(entry.first);
    return out;
}

const EncoderInfo* EncoderRegistry::info(const std::string& name) const {
    const auto it = m_encoders.find(name);
    return it == m_encoders.end() ? nullptr : &it->second.first;
}

std::vector<EncoderInfo> EncoderRegistry::infos() const {
    std::vector<EncoderInfo> out;
    for (const auto& entry : m_encoders)
        out.push_back(entry.second.first);
    return out;
}

void EncoderRegistry::add(EncoderInfo info, Factory factory) {
    std::string name = info.name;
    m_encoders[name] = {std::move(info), std::move(factory)};
}

bool carriesLoudness(const std::string& encoder) {
    return encoder != "wav" && encoder != "wma";
}

} // namespace cld::engine
