#include "WmaEncoder.h"

#include "VorbisComments.h"
#include "WMException.h"
#include "WmErrors.h"

#include <algorithm>
#include <cerrno>

namespace cld::engine {

namespace {

constexpr int kDefaultKbps = 128;

} // namespace

EncoderInfo WmaEncoder::describe() {
    return {"wma",
            "Windows Media Audio",
            ".wma",
            false,
            {wholeSetting("bitrate", "Bitrate (kbit/s)", 16, 320, kDefaultKbps),
             wholeSetting("profile", "Profile number", 0, 9999, 0), coverSetting()}};
}

WmaEncoder::WmaEncoder(EncoderOptions options) : FramedEncoder(".wma", std::move(options)) {}

WmaEncoder::~WmaEncoder() {
    abort();
}

void WmaEncoder::abort() {
    m_writer.Discard();
}

void WmaEncoder::recordFailure(uint32_t code, const std::string& what) {
    namespace e = cld::wmerr;
    const bool taken = code == e::fromErrno(EEXIST) || code == e::kOutputNotFile;
    EncoderFault fault = EncoderFault::Write;
    if (taken || code == e::kOutputCreate)
        fault = EncoderFault::Output;
    else if (code == e::kWavFormat || code == e::kCodecMissing || code == e::kCodecOpen ||
             code == e::kProfileIndex || code == e::kProfileInvalid)
        fault = EncoderFault::Settings;
    else if (code == e::kEncodeFailed || code == e::kOutOfMemory || code == e::kUnexpected)
        fault = EncoderFault::Encoder;
    setFailure(fault, what, code, taken);
}

bool WmaEncoder::chooseStream(const PcmFormat& format, WmStreamConfig& want) {
    if (options().count("profile")) {
        int index = 0;
        if (!intOption(options(), "profile", 0, 9999, 0, index))
            return false;
        const auto folder = options().find("profilefolder");
        const auto user = options().find("userprofilefolder");
        const std::vector<WmProfile> profiles =
            WmProfile::LoadCollection(folder != options().end() ? folder->second : std::string(),
                                      user != options().end() ? user->second : std::string());
        if (index >= static_cast<int>(profiles.size())) {
            setFailure(EncoderFault::Settings,
                       "there is no profile " + std::to_string(index) + " (" +
                           std::to_string(profiles.size()) + " profiles found)",
                       cld::wmerr::kProfileIndex);
            return false;
        }
        const WmProfile& profile = profiles[static_cast<size_t>(index)];
        const WmStreamConfig* audio = profile.FindStream(WmStreamConfig::Type::Audio);
        if (!audio || profile.GetStreams().size() != 1) {
            setFailure(EncoderFault::Settings,
                       "the profile \"" + profile.GetName() + "\" is not an audio profile",
                       cld::wmerr::kProfileInvalid);
            return false;
        }
        want = *audio;
        return true;
    }
    int kbps = kDefaultKbps;
    if (!intOption(options(), "bitrate", 16, 320, kDefaultKbps, kbps))
        return false;
    want.type = WmStreamConfig::Type::Audio;
    want.codec = "wmav2";
    want.bitrate = static_cast<int64_t>(kbps) * 1000;
    want.sampleRate = std::min(format.sampleRate, 48000);
    want.channels = std::min(format.channels, 2);
    return true;
}

bool WmaEncoder::open(const std::string& path, const PcmFormat& format, const AudioTags& tags,
                      uint64_t, bool replaceExisting) {
    abort();
    clearFailure();
    WmStreamConfig want;
    bool embedCover = true;
    if (!coverOption(options(), embedCover) || !chooseStream(format, want))
        return false;
    if (format.channels < 1 || format.sampleRate < 8000 ||
        (format.bitsPerSample != 16 && format.bitsPerSample != 24 && format.bitsPerSample != 32)) {
        setFailure(EncoderFault::Settings,
                   "WMA files take 16-, 24- or 32-bit samples at 8000 Hz or more",
                   cld::wmerr::kWavFormat);
        return false;
    }
    cld::ContentDescription info;
    info.author = tags.artist;
    info.title = tags.title;
    info.music = tags;
    info.music.coverMime = coverMime(tags);
    if (!embedCover || info.music.coverMime.empty()) {
        info.music.cover.clear();
        info.music.coverMime.clear();
    }
    m_path = path;
    beginFrames(static_cast<size_t>(format.channels) *
                static_cast<size_t>(format.bitsPerSample / 8));
    if (const uint32_t rc = m_writer.Open(
            path, want, format.sampleRate, format.channels, format.bitsPerSample, info,
            replaceExisting ? cld::files::Replace::RegularFile : cld::files::Replace::Never)) {
        recordFailure(rc, "cannot create \"" + path + "\"");
        return false;
    }
    return true;
}

bool WmaEncoder::encodeFrames(const uint8_t* data, size_t frames) {
    if (const uint32_t rc = m_writer.Write(data, frames)) {
        recordFailure(rc, "cannot write to \"" + m_path + "\"");
        return false;
    }
    return true;
}

bool WmaEncoder::complete() {
    if (failed()) {
        abort();
        return false;
    }
    if (const uint32_t rc = m_writer.Finish()) {
        recordFailure(rc, "cannot write to \"" + m_path + "\"");
        return false;
    }
    return true;
}

} // namespace cld::engine
