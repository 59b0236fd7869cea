#include "AlsaTestDevices.h"

#include <alsa/asoundlib.h>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <unistd.h>
#include <vector>

namespace cldtest {
namespace {

void writeSine(const std::filesystem::path& path, int rate, int channels, int bits, double hz,
               int seconds) {
    std::ofstream out(path, std::ios::binary);
    const int64_t frames = static_cast<int64_t>(rate) * seconds;
    for (int64_t i = 0; i < frames; ++i) {
        const double v = 0.6 * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / rate);
        for (int c = 0; c < channels; ++c) {
            if (bits == 8) {
                const auto b = static_cast<uint8_t>(128 + std::lround(v * 127));
                out.put(static_cast<char>(b));
            } else {
                const auto s = static_cast<int16_t>(std::lround(v * 32767));
                out.put(static_cast<char>(s & 0xff));
                out.put(static_cast<char>((s >> 8) & 0xff));
            }
        }
    }
}

std::string device(const std::string& name, const std::string& slave,
                   const std::filesystem::path& infile) {
    return "pcm." + name + " {\n  type file\n  slave.pcm { type paced " + slave +
           " }\n  file \"/dev/null\"\n  infile \"" + infile.string() +
           "\"\n  format \"raw\"\n  hint { show on description \"Test " + name + "\" }\n}\n";
}

std::string plain(const std::string& name, const std::string& options) {
    return "pcm." + name + " {\n  type paced " + options +
           "\n  hint { show on description \"Test " + name + "\" }\n}\n";
}

const char* kNull = "pcm.null { type null hint { show on description \"Discard all samples\" } }\n";

} // namespace

std::filesystem::path AlsaTestDevices::writeConfig(const std::string& name,
                                                   const std::string& body) const {
    const std::filesystem::path path = m_folder / (name + ".conf");
    std::ofstream conf(path);
    conf << "pcm_type.paced { lib \"" CLD_PACED_PLUGIN "\" }\n" << body;
    return path;
}

std::filesystem::path AlsaTestDevices::playbackOnlyConfig() const {
    return writeConfig("playback-only", std::string(kNull) + plain("upmixer", "playback true"));
}

std::filesystem::path AlsaTestDevices::busyOnlyConfig() const {
    return writeConfig("busy-only", std::string(kNull) + plain("held", "busy true") +
                                        plain("upmixer", "playback true"));
}

std::filesystem::path AlsaTestDevices::noDeviceConfig() const {
    return writeConfig("none", kNull);
}

AlsaTestDevices::AlsaTestDevices() {
    m_folder = std::filesystem::temp_directory_path() / ("cld-alsa-" + std::to_string(::getpid()));
    std::filesystem::create_directories(m_folder);
    writeSine(m_folder / "sine22.raw", 22050, 1, 16, 1000, 30);
    writeSine(m_folder / "sine44.raw", 44100, 2, 16, 440, 30);
    writeSine(m_folder / "sine8.raw", 11025, 1, 8, 500, 30);
    std::ofstream conf(m_folder / "asound.conf");
    conf << "pcm_type.paced { lib \"" CLD_PACED_PLUGIN "\" }\n";
    conf << device("line22", "rates [ 22050 ] channels [ 1 ] formats [ \"S16_LE\" ]",
                   m_folder / "sine22.raw");
    conf << device("line44", "", m_folder / "sine44.raw");
    conf << device("line8", "rates [ 11025 ] channels [ 1 ] formats [ \"U8\" ]",
                   m_folder / "sine8.raw");
    conf << device("dead", "rates [ 96000 ]", m_folder / "sine22.raw");
    conf << device("busy", "busy true", m_folder / "sine22.raw");
    conf << kNull;
    conf << plain("upmixer", "playback true");
    conf << plain("clock", "clock true latency 600 formats [ \"S16_LE\" ] rates [ 44100 ]");
    conf.close();
    ::setenv("ALSA_CONFIG_PATH", (m_folder / "asound.conf").c_str(), 1);
    // A configuration the library read before is dropped; the next use reads this one.
    snd_config_update_free_global();
}

AlsaTestDevices::~AlsaTestDevices() {
    std::error_code ec;
    std::filesystem::remove_all(m_folder, ec);
}

const AlsaTestDevices& AlsaTestDevices::get() {
    static AlsaTestDevices devices;
    return devices;
}

namespace {

void useAlsaConfig(const std::filesystem::path& config) {
    ::setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
    // The library keeps its parsed configuration; it is read again on the next use.
    snd_config_update_free_global();
}

} // namespace

ScopedAlsaConfig::ScopedAlsaConfig(const std::filesystem::path& config) {
    AlsaTestDevices::get();
    useAlsaConfig(config);
}

ScopedAlsaConfig::~ScopedAlsaConfig() {
    useAlsaConfig(AlsaTestDevices::get().config());
}

AudioMeasure measureAudio(const std::filesystem::path& file) {
    AudioMeasure m;
    const int rate = 22050;
    const std::string cmd = "ffmpeg -v error -i '" + file.string() + "' -f s16le -ac 1 -ar " +
                            std::to_string(rate) + " - 2>/dev/null";
    FILE* pipe = ::popen(cmd.c_str(), "r");
    if (!pipe)
        return m;
    std::vector<int16_t> samples;
    int16_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, sizeof(int16_t), 4096, pipe)) > 0)
        samples.insert(samples.end(), buf, buf + n);
    if (::pclose(pipe) != 0 || samples.size() < 2)
        return m;
    m.seconds = static_cast<double>(samples.size()) / rate;
    // Count rising crossings with some hysteresis, so that noise around zero (8-bit
    // steps, coding noise) is not taken for extra periods.
    constexpr int kLow = -3000, kHigh = 3000;
    int64_t crossings = 0;
    int64_t first = -1, last = -1;
    bool below = false;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (samples[i] < kLow) {
            below = true;
        } else if (below && samples[i] > kHigh) {
            below = false;
            if (first < 0)
                first = static_cast<int64_t>(i);
            last = static_cast<int64_t>(i);
            ++crossings;
        }
    }
    if (crossings > 1 && last > first)
        m.frequency = static_cast<double>(crossings - 1) * rate / static_cast<double>(last - first);
    m.ok = true;
    return m;
}

} // namespace cldtest
