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
class AlsaTestDevices {
public:
    static const AlsaTestDevices& Get();
    const std::filesystem::path& folder() const { return m_folder; }

    ~AlsaTestDevices();

private:
    AlsaTestDevices();
    std::filesystem::path m_folder;
};

// Seconds of audio and the main frequency of an audio file, measured by ffmpeg's decode
// (zero crossings of the first channel).
struct AudioMeasure {
    double seconds = 0;
    double frequency = 0;
    bool ok = false;
};
AudioMeasure MeasureAudio(const std::filesystem::path& file);

} // namespace cldtest
