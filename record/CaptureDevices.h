#pragma once

#include <string>
#include <vector>

namespace cld {

// A capture device of the sound system: the name it is opened by and the text shown to
// the user.
struct CaptureDeviceInfo {
    std::string pcmName;
    std::string productName;
};

// The capture devices the sound system's configuration names, in its order; the index
// in this list is the device number. The "null" device, which records silence, is left
// out.
std::vector<CaptureDeviceInfo> ListCaptureDevices();

// Sends the sound library's own complaints to the program's log instead of standard
// error (once per process; later calls do nothing).
void RouteAlsaMessages();

} // namespace cld
