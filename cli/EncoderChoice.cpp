#include "EncoderChoice.h"

#include "Mp3Bitrates.h"
#include "SettingsRecord.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace cld::cli {

namespace {

// The MP3 encoder's options as the MP3 dialogs set the encoder up from the settings.
engine::EncoderOptions mp3Options(SettingsRecord& s, std::optional<int> bitrate) {
    return mp3EncoderOptions(mp3ParamsFromSettings(s, bitrate.value_or(storedMp3Bitrate(s))),
                             s.mp3Id3v2Tag() != 0);
}

// Whether `value` is one the setting takes; `why` says what it takes when not.
bool settingTakes(const engine::EncoderSetting& setting, const std::string& value,
                  std::string& why) {
    using Kind = engine::EncoderSetting::Kind;
    const auto number = [](double v) {
        char text[32];
        const auto [end, ec] = std::to_chars(text, text + sizeof text, v);
        return ec == std::errc() ? std::string(text, end) : std::string();
    };
    if (setting.kind == Kind::Choice) {
        if (std::find(setting.choices.begin(), setting.choices.end(), value) !=
            setting.choices.end())
            return true;
        why = "one of";
        for (const std::string& c : setting.choices)
            why += " " + c;
        return false;
    }
    double parsed = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), parsed,
                                           std::chars_format::fixed);
    const bool whole = setting.kind != Kind::Decimal;
    if (ec == std::errc() && end == value.data() + value.size() && !value.empty() &&
        parsed >= setting.low && parsed <= setting.high && (!whole || parsed == std::floor(parsed)))
        return true;
    why = std::string(whole ? "a whole number" : "a number") + " from " + number(setting.low) +
          " to " + number(setting.high);
    return false;
}

// The options the command line's flags give, by the encoder's keys, with the flag that
// gave each.
struct Given {
    const char* flag;
    std::string key;
    std::string value;
};

std::vector<Given> givenFlags(std::optional<int> bitrate, const EncoderFlags& flags) {
    std::vector<Given> given;
    if (bitrate)
        given.push_back({"--bitrate", "bitrate", std::to_string(*bitrate)});
    if (!flags.quality.empty())
        given.push_back({"--quality", "quality", flags.quality});
    if (flags.level)
        given.push_back({"--level", "level", std::to_string(*flags.level)});
    if (!flags.bitrateMode.empty())
        given.push_back({"--bitrate-mode", "bitratemode", flags.bitrateMode});
    return given;
}

} // namespace

bool checkEncoderFlags(const std::string& format, std::optional<int> bitrate,
                       const EncoderFlags& flags, std::string& why) {
    const engine::EncoderInfo* info = engine::EncoderRegistry::instance().info(format);
    if (!info) {
        why = "this build cannot write " + format + " files";
        return false;
    }
    for (const Given& g : givenFlags(bitrate, flags)) {
        const auto setting =
            std::find_if(info->settings.begin(), info->settings.end(),
                         [&g](const engine::EncoderSetting& s) { return s.key == g.key; });
        if (setting == info->settings.end()) {
            why = std::string(g.flag) + " does not apply to " + info->displayName + " files";
            return false;
        }
        std::string takes;
        if (!settingTakes(*setting, g.value, takes)) {
            why =
                std::string(g.flag) + " " + g.value + ": " + info->displayName + " takes " + takes;
            return false;
        }
    }
    return true;
}

std::string outputExtension(const std::string& format) {
    const engine::EncoderInfo* info = engine::EncoderRegistry::instance().info(format);
    return info ? info->extension : "." + format;
}

bool chooseEncoder(const std::string& format, SettingsRecord& settings, std::optional<int> bitrate,
                   const std::string& profile, const EncoderFlags& flags, EncoderChoice& choice,
                   std::string& why) {
    choice = {};
    choice.name = format;
    if (!checkEncoderFlags(format, bitrate, flags, why))
        return false;
    const engine::EncoderInfo* info = engine::EncoderRegistry::instance().info(format);
    choice.extension = info->extension;
    if (format == "mp3")
        choice.options = mp3Options(settings, bitrate);
    else if (format == "wma" && !profile.empty())
        choice.options["profile"] = profile;
    else if (format == "flac")
        choice.options["level"] = "5";

    for (const Given& g : givenFlags(bitrate, flags)) {
        // The MP3 options already hold the bitrate as the MP3 settings read it; a WMA
        // file's rate is its profile's.
        if ((format != "mp3" && format != "wma") || g.key != "bitrate")
            choice.options[g.key] = g.value;
    }
    const bool cover =
        std::any_of(info->settings.begin(), info->settings.end(),
                    [](const engine::EncoderSetting& s) { return s.key == "cover"; });
    if (cover)
        choice.options["cover"] = flags.noCover || settings.embedCover() == 0 ? "0" : "1";
    return true;
}

} // namespace cld::cli
