#pragma once

#include "AudioEncoder.h"
#include "PcmLayout.h"

#include <optional>
#include <string>

namespace cld::engine {

// The track writers' layout for `format`, or nothing with the reason in `refusal` when
// the WAV (or, with `flac`, the FLAC) writer cannot take it.
inline std::optional<PcmLayout> trackLayout(const PcmFormat& format, bool flac,
                                            std::string& refusal) {
    if (format.sampleRate <= 0 || format.channels <= 0 || format.bitsPerSample <= 0) {
        refusal = "the audio's format is not one a file can hold";
        return std::nullopt;
    }
    const PcmLayout layout{static_cast<unsigned>(format.sampleRate),
                           static_cast<unsigned>(format.channels),
                           static_cast<unsigned>(format.bitsPerSample)};
    refusal = pcmLayoutRefusal(layout, flac);
    if (!refusal.empty())
        return std::nullopt;
    return layout;
}

} // namespace cld::engine
