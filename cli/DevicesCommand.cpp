#include "AlsaDeviceSource.h"
#include "Commands.h"
#include "ExitCode.h"
#include "RipperLibrary.h"

#include <nlohmann/json.hpp>

namespace cld::cli {

int runDevices(Console& console) {
    RipperLibrary& ripper = RipperLibrary::instance();
    const std::vector<std::string> drives = ripper.driveNames();
    bool listed = false;
    if (!ripper.ripObject()) {
        console.error("cannot list CD drives: " + ripper.error());
    } else {
        listed = true;
        for (size_t i = 0; i < drives.size(); ++i)
            console.result({{"kind", "drive"}, {"index", i}, {"name", drives[i]}},
                           "drive\t" + std::to_string(i) + "\t" + drives[i]);
        if (drives.empty())
            console.note("no CD drive found");
    }

    // The sound library's complaints about unusual setups belong in the log, not here.
    cld::routeAlsaMessagesToLog();
    const std::vector<cld::AlsaCaptureDevice> devices = cld::listAlsaCaptureDevices();
    for (const cld::AlsaCaptureDevice& device : devices)
        console.result({{"kind", "recording"},
                        {"name", device.name},
                        {"description", device.description},
                        {"busy", device.busy}},
                       "recording\t" + device.name + "\t" + device.description +
                           (device.busy ? "\t(busy)" : ""));
    if (devices.empty())
        console.note("no recording device found");
    return listed ? kExitDone : kExitNothingDone;
}

} // namespace cld::cli
