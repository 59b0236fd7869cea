#pragma once

#include <filesystem>
#include <string>

namespace cldtest {

// Capture devices for the tests, made of ALSA's own "file" PCM (which records a raw file)
// over a paced plug-in that keeps the pace of a sound card and offers only the listed
// formats. The configuration is written once per process and named by ALSA_CONFIG_PATH
// before the sound library is first used:
//   line22  22050 Hz mono 16-bit only, 1000 Hz sine
//   line44  any of the probe formats, stereo 440 Hz sine (44100 Hz 16-bit chosen)
//   line8   11025 Hz mono 8-bit only, 500 Hz sine
//   dead    96000 Hz only: no format the recorder can use
//   busy    held by "another application": every open fails with EBUSY
//   null    ALSA's null device, which records nothing useful
//   upmixer a plug-in that can only play
//   clock   44100 Hz 16-bit: a 1 kHz tone in the first half of every second of the wall
//           clock, silence in the second half; it begins capturing 0.6 s after it is started
// Other configurations, for the device lists, are written on request and named by the
// caller through ALSA_CONFIG_PATH (see ScopedAlsaConfig).
class AlsaTestDevices {
public:
    static const AlsaTestDevices& get();
    const std::filesystem::path& folder() const { return m_folder; }
    const std::filesystem::path config() const { return m_folder / "asound.conf"; }
    // Only "null" and a playback-only plug-in.
    std::filesystem::path playbackOnlyConfig() const;
    // A capture device that another program holds, beside a playback-only plug-in.
    std::filesystem::path busyOnlyConfig() const;
    // Nothing but "null": a machine without a sound card.
    std::filesystem::path noDeviceConfig() const;

    ~AlsaTestDevices();

private:
    AlsaTestDevices();
    std::filesystem::path writeConfig(const std::string& name, const std::string& body) const;
    std::filesystem::path m_folder;
};

// Makes the sound library read another configuration for the life of the object, and
// the test devices' own one again afterwards.
class ScopedAlsaConfig {
public:
    explicit ScopedAlsaConfig(const std::filesystem::path& config);
    ~ScopedAlsaConfig();
    ScopedAlsaConfig(const ScopedAlsaConfig&) = delete;
    ScopedAlsaConfig& operator=(const ScopedAlsaConfig&) = delete;
};

// Seconds of audio and the main frequency of an audio file, measured by ffmpeg's decode
// (zero crossings of the first channel).
struct AudioMeasure {
    double seconds = 0;
    double frequency = 0;
    bool ok = false;
};
AudioMeasure measureAudio(const std::filesystem::path& file);

} // namespace cldtest
