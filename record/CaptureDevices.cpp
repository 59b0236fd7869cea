#include "CaptureDevices.h"

#include <alsa/asoundlib.h>
#include <cstdlib>

namespace cld {
namespace {

std::string TakeHint(void* hint, const char* id) {
    char* value = snd_device_name_get_hint(hint, id);
    if (!value)
        return {};
    std::string text = value;
    std::free(value);
    return text;
}

} // namespace

std::vector<CaptureDeviceInfo> ListCaptureDevices() {
    std::vector<CaptureDeviceInfo> devices;
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0 || !hints)
        return devices;
    for (void** h = hints; *h; ++h) {
        const std::string name = TakeHint(*h, "NAME");
        const std::string io = TakeHint(*h, "IOID");
        if (name.empty() || name == "null" || (!io.empty() && io != "Input"))
            continue;
        std::string description = TakeHint(*h, "DESC");
        // The first line names the card, the rest says what the device does.
        const auto newline = description.find('\n');
        if (newline != std::string::npos)
            description.resize(newline);
        devices.push_back({name, description.empty() ? name : description});
    }
    snd_device_name_free_hint(hints);
    return devices;
}

} // namespace cld
