#include "CaptureDevices.h"

#include "AlsaDeviceSource.h"

namespace cld {

void routeAlsaMessages() {
    routeAlsaMessagesToLog();
}

std::vector<CaptureDeviceInfo> listCaptureDevices() {
    std::vector<CaptureDeviceInfo> devices;
    for (const AlsaCaptureDevice& d : listAlsaCaptureDevices())
        devices.push_back({d.name, d.description, d.busy});
    return devices;
}

} // namespace cld
