#include "CaptureDevices.h"

#include "AlsaDeviceSource.h"

namespace cld {

void RouteAlsaMessages() {
    RouteAlsaMessagesToLog();
}

std::vector<CaptureDeviceInfo> ListCaptureDevices() {
    std::vector<CaptureDeviceInfo> devices;
    for (const AlsaCaptureDevice& d : ListAlsaCaptureDevices())
        devices.push_back({d.name, d.description, d.busy});
    return devices;
}

} // namespace cld
