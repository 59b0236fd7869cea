#include "EncoderChoice.h"

#include "Mp3Bitrates.h"
#include "SettingsRecord.h"

namespace cld::cli {

namespace {

// The MP3 encoder's options as the MP3 dialogs set the encoder up from the settings.
engine::EncoderOptions mp3Options(SettingsRecord& s, std::optional<int> bitrate) {
    const Mp3EncoderParams p = mp3ParamsFromSettings(s, bitrate.value_or(storedMp3Bitrate(s)));
    engine::EncoderOptions o;
    o["bitrate"] = std::to_string(p.bitrate);
    o["mode"] = std::to_string(p.channelMode);
    o["quality"] = std::to_string(p.quality);
    o["vbr"] = std::to_string(p.vbrMethod);
    if (p.vbrMethod != 0) {
        o["vbrquality"] = std::to_string(p.vbrQuality);
        o["maxbitrate"] = std::to_string(p.vbrMaxBitrate);
        o["meanbitrate"] = std::to_string(p.abrMeanBitrate);
    }
    o["crc"] = std::to_string(p.crc);
    o["copyright"] = std::to_string(p.copyright);
    o["original"] = std::to_string(p.original);
    o["private"] = std::to_string(p.privateFlag);
    o["id3v2"] = s.mp3Id3v2Tag() ? "1" : "0";
    return o;
}

} // namespace

bool chooseEncoder(const std::string& format, SettingsRecord& settings, std::optional<int> bitrate,
                   const std::string& profile, EncoderChoice& choice, std::string& why) {
    choice = {};
    choice.name = format;
    if (format == "mp3")
        choice.options = mp3Options(settings, bitrate);
    else if (format == "wma" && !profile.empty())
        choice.options["profile"] = profile;
    else if (format == "flac")
        choice.options["level"] = "5";
    const auto names = engine::EncoderRegistry::instance().names();
    if (std::find(names.begin(), names.end(), format) == names.end()) {
        why = "this build cannot write " + format + " files";
        return false;
    }
    return true;
}

} // namespace cld::cli
