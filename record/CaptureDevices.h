#pragma once

#include <string>
#include <vector>

namespace cld {

// A capture device of the sound system: the name it is opened by, the text shown to
// the user, and whether another program holds it now.
struct CaptureDeviceInfo {
    std::string pcmName;
    std::string productName;
    bool busy = false;
};

// The devices that can record, in the order the sound system names them with its default
// capture device first; the index in this list is the device number. "null" and the
// plug-ins that cannot capture are left out; a busy device stays, marked busy.
std::vector<CaptureDeviceInfo> listCaptureDevices();

// Sends the sound library's own complaints to the program's log instead of standard
// error (once per process; later calls do nothing).
void routeAlsaMessages();

} // namespace cld
