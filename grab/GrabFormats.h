#pragma once

#include "AudioEncoder.h"

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

// The file formats the grabber saves tracks in: every encoder of the engine's registry,
// WAV and FLAC first, each with the settings its description offers and the settings the
// user chose, kept as one text.
namespace cld {

// One setting of an encoder as the grabber's settings box shows it.
struct GrabSetting {
    enum class Kind { Whole, Decimal, Choice, Flag };
    std::string key;
    std::string label; // English, as the encoder describes it
    Kind kind = Kind::Whole;
    double low = 0;
    double high = 0;
    std::vector<std::string> choices;
    std::string fallback; // the value the encoder uses when none is given
};

// What the grabber knows of one encoder.
struct GrabFormat {
    std::string name;        // the registry's ("flac")
    std::string displayName; // the description's, or the name in capitals ("MP3")
    std::vector<GrabSetting> settings;
};

// What an encoder description of the registry says, when the registry describes its
// encoders (a registry without descriptions gives the name in capitals and no settings).
template <typename Registry>
GrabFormat describedFormat(const Registry& registry, const std::string& name) {
    GrabFormat out;
    out.name = name;
    for (char c : name)
        out.displayName += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    if constexpr (requires { registry.info(name); }) {
        const auto* info = registry.info(name);
        if (!info)
            return out;
        if (!info->displayName.empty())
            out.displayName = info->displayName;
        for (const auto& s : info->settings) {
            GrabSetting g;
            g.key = s.key;
            g.label = s.label;
            g.kind = static_cast<GrabSetting::Kind>(static_cast<int>(s.kind));
            g.low = s.low;
            g.high = s.high;
            g.choices = s.choices;
            g.fallback = s.fallback;
            out.settings.push_back(std::move(g));
        }
    }
    return out;
}

// Every encoder of the engine's registry: "wav" and "flac" first, the others in the
// registry's order.
std::vector<GrabFormat> grabFormats();
// The file extension the encoder gives its files (".mp3"); empty for an unknown name.
std::string encoderExtension(const std::string& name);

// The settings kept for `encoder` in the "ENCODER.KEY=VALUE;..." text.
engine::EncoderOptions grabOptionsOf(const std::string& kept, const std::string& encoder);
// The kept text with the settings of `encoder` replaced by `options`. Keys and values
// lose the characters that separate entries (';', '=', '.' in keys, line breaks).
std::string withGrabOptions(const std::string& kept, const std::string& encoder,
                            const engine::EncoderOptions& options);

} // namespace cld
