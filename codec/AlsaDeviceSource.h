#pragma once

#include <string>

struct AVFormatContext;

namespace cld {

// Audio capture devices as media sources: "DEVICE://" followed by the sound system's
// name of a capture device (the prefix in any case).
bool IsDeviceSource(const std::string& input);
// Opens the capture device of a "DEVICE://" input through FFmpeg's ALSA input, asking
// for 44100 Hz stereo and taking what the device offers nearest to it. Throws
// WMException with the input-open code when the device cannot be opened.
AVFormatContext* OpenDeviceSource(const std::string& input);

} // namespace cld
