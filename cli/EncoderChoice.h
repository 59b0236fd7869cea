#pragma once

#include "AudioEncoder.h"
#include "Commands.h"

#include <optional>
#include <string>

class SettingsRecord;

// Which encoder of the engine's registry writes a format, with the options the stored
// settings give it and the command line overrides.
namespace cld::cli {

struct EncoderChoice {
    std::string name;      // the registry's name: "wav", "flac", "mp3", "wma", "opus", ...
    std::string extension; // its files' extension, with the dot
    engine::EncoderOptions options;
};

// MP3: the stored kind (CBR or VBR and its method), quality, channel mode and flags;
// the bit rate given, else 128 kbit/s. WMA: the profile given. FLAC: level 5 unless
// --level names another. Opus, Ogg Vorbis and AAC: their encoders' defaults unless the
// flags name others. The cover goes inside the files unless --no-cover or the stored
// setting says otherwise. False (and why) for a format the registry has no encoder for,
// a flag that format has no use for, or a value its encoder does not take.
bool chooseEncoder(const std::string& format, SettingsRecord& settings, std::optional<int> bitrate,
                   const std::string& profile, const EncoderFlags& flags, EncoderChoice& choice,
                   std::string& why);

// Whether the bitrate and flags given suit the format's encoder: false (and why) for a
// flag the format has no use for or a value its encoder does not take (a usage error).
bool checkEncoderFlags(const std::string& format, std::optional<int> bitrate,
                       const EncoderFlags& flags, std::string& why);

// The extension (with its dot) of the files of a registry encoder; "." + format for an
// unknown one.
std::string outputExtension(const std::string& format);

} // namespace cld::cli
