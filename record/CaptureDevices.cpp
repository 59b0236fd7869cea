#include "CaptureDevices.h"

#include "Log.h"

#include <alsa/asoundlib.h>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace cld {
namespace {

// The sound library prints its complaints to standard error unless told otherwise; they
// go to the program's log instead.
__attribute__((format(printf, 5, 6))) void
AlsaErrorHandler(const char* file, int line, const char* function, int err, const char* fmt, ...) {
    char text[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    logf(LogLevel::Debug, "alsa %s:%d (%s) %s%s%s", file, line, function, text, err ? ": " : "",
         err ? snd_strerror(err) : "");
}

} // namespace

void RouteAlsaMessages() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(AlsaErrorHandler); });
}

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
    RouteAlsaMessages();
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
