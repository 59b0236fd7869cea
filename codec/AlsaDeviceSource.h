#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AVFormatContext;

namespace cld {

// Audio capture devices as media sources: "DEVICE://" followed by the sound system's
// name of a capture device (the prefix in any case).
bool isDeviceSource(const std::string& input);
// Opens the capture device of a "DEVICE://" input through FFmpeg's ALSA input, asking
// for 44100 Hz stereo and taking what the device offers nearest to it. Throws
// WMException with the input-open code when the device cannot be opened.
AVFormatContext* openDeviceSource(const std::string& input);

// A capture device of the sound system: the name it is opened by, the text a user
// recognises it by ("HDA Intel PCH, ALC892 Analog"), and whether another program holds
// it at the moment.
struct AlsaCaptureDevice {
    std::string name;
    std::string description;
    bool busy = false;
};

// What opening a device for capture (without waiting) says about it.
enum class CaptureCheck {
    Ok,
    Busy,          // another program holds it
    Missing,       // no such device (unplugged, or a card that is gone)
    CannotCapture, // it exists but cannot record (a playback-only plug-in)
};
CaptureCheck checkCaptureDevice(const std::string& pcmName);

// The devices that can record now, from the sound system's device hints for input:
// "null" and the plug-ins that cannot capture are left out, a busy device stays listed
// (marked busy) so that the user can be told why it cannot be used. The system's
// default capture device comes first.
std::vector<AlsaCaptureDevice> listAlsaCaptureDevices();

// Opens the sound device of a "DEVICE://" input ahead of a recording and keeps it, so
// that the recording that takes it starts at once (opening a device through a sound
// server can take a good part of a second). The device is held, not recording, until
// takeParkedDevice or releaseParkedDevices. False when it cannot be opened now.
bool parkDeviceSource(const std::string& input);
// The parked device for a sound-system name, handed over to the caller (who closes it),
// or null when none is parked for it.
AVFormatContext* takeParkedDevice(const std::string& pcmName);
void releaseParkedDevices();
bool isDeviceParked(const std::string& pcmName);

// The failure code that says why a capture device could not be opened (busy, missing,
// no usable format, or any other failure).
uint32_t captureFailureCode(const std::string& pcmName);

// Sends the sound library's own complaints to the program's log instead of standard
// error (once per process; later calls do nothing).
void routeAlsaMessagesToLog();

} // namespace cld
