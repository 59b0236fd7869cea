#include "EncoderChoice.h"

#include "SettingsRecord.h"

#include <algorithm>

namespace cld::cli {

namespace {

constexpr int kDefaultMp3Bitrate = 128;

engine::EncoderOptions mp3Options(SettingsRecord& s, std::optional<int> bitrate) {
    engine::EncoderOptions o;
    const int rate = bitrate.value_or(kDefaultMp3Bitrate);
    o["bitrate"] = std::to_string(rate);
    o["mode"] = std::to_string(std::clamp(s.audioChannels(), 0, 4));
    o["quality"] = std::to_string(std::clamp(s.mp3Quality(), 0, 9));
    if (s.mp3BitrateType() == 1) {
        const int maxRate = std::max(std::clamp(s.maxVBRBitrate(), 16, 320), rate);
        o["vbr"] = std::to_string(std::clamp(s.vbrMethod(), 0, 2) + 1);
        o["vbrquality"] = std::to_string(std::clamp(s.vbrQuality(), 0, 9));
        o["maxbitrate"] = std::to_string(maxRate);
        o["meanbitrate"] = std::to_string(std::clamp(s.meanVBRBitrate(), rate, maxRate));
    } else {
        o["vbr"] = "0";
    }
    o["crc"] = s.materialCRC() ? "1" : "0";
    o["copyright"] = s.materialCopyrighted() ? "1" : "0";
    o["original"] = s.materialOriginal() ? "1" : "0";
    o["private"] = s.materialPrivate() ? "1" : "0";
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
