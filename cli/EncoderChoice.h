#pragma once

#include "AudioEncoder.h"

#include <optional>
#include <string>

class SettingsRecord;

// Which encoder of the engine's registry writes a format, with the options the stored
// settings give it and the command line overrides.
namespace cld::cli {

struct EncoderChoice {
    std::string name; // the registry's name: "wav", "flac", "mp3", "wma"
    engine::EncoderOptions options;
};

// MP3: the stored kind (CBR or VBR and its method), quality, channel mode and flags;
// the bit rate given, else 128 kbit/s. WMA: the profile given. FLAC: the ripper's
// level 5. False (and why) for a format the registry has no encoder for.
bool chooseEncoder(const std::string& format, SettingsRecord& settings, std::optional<int> bitrate,
                   const std::string& profile, EncoderChoice& choice, std::string& why);

} // namespace cld::cli
