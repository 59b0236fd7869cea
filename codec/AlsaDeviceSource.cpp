#include "AlsaDeviceSource.h"

#include "Log.h"
#include "WMException.h"
#include "WmErrors.h"
#include "WmVideoErrors.h"

#include <alsa/asoundlib.h>

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <strings.h>

namespace cld {
namespace {

constexpr const char kPrefix[] = "device://";
constexpr size_t kPrefixLength = sizeof kPrefix - 1;

} // namespace

bool isDeviceSource(const std::string& input) {
    return input.size() > kPrefixLength && strncasecmp(input.c_str(), kPrefix, kPrefixLength) == 0;
}

AVFormatContext* openDeviceSource(const std::string& input) {
    if (!isDeviceSource(input))
        throw WMException(wmerr::kInputOpen);
    static std::once_flag registered;
    std::call_once(registered, [] { avdevice_register_all(); });
    const AVInputFormat* alsa = av_find_input_format("alsa");
    if (!alsa)
        throw WMException(wmerr::kInputOpen);
    const std::string device = input.substr(kPrefixLength);
    // Stereo first; a device that records only mono is asked again.
    for (const char* channels : {"2", "1"}) {
        AVDictionary* options = nullptr;
        av_dict_set(&options, "sample_rate", "44100", 0);
        av_dict_set(&options, "channels", channels, 0);
        AVFormatContext* context = nullptr;
        const int rc = avformat_open_input(&context, device.c_str(), alsa, &options);
        av_dict_free(&options);
        if (rc >= 0)
            return context;
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(rc, text, sizeof text);
        logf(LogLevel::Info, "media: capture device %s with %s channel(s): %s", device.c_str(),
             channels, text);
    }
    throw WMException(captureFailureCode(device));
}

namespace {

__attribute__((format(printf, 5, 6))) void
alsaErrorHandler(const char* file, int line, const char* function, int err, const char* fmt, ...) {
    char text[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    logf(LogLevel::Debug, "alsa %s:%d (%s) %s%s%s", file, line, function, text, err ? ": " : "",
         err ? snd_strerror(err) : "");
}

std::string takeHint(void* hint, const char* id) {
    char* value = snd_device_name_get_hint(hint, id);
    if (!value)
        return {};
    std::string text = value;
    std::free(value);
    return text;
}

struct Hinted {
    AlsaCaptureDevice device;
    std::string detail; // the second line of the description
};

} // namespace

void routeAlsaMessagesToLog() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(alsaErrorHandler); });
}

CaptureCheck checkCaptureDevice(const std::string& pcmName) {
    routeAlsaMessagesToLog();
    snd_pcm_t* pcm = nullptr;
    const int err = snd_pcm_open(&pcm, pcmName.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (err == -EBUSY || err == -EAGAIN)
        return CaptureCheck::Busy;
    if (err == -ENOENT || err == -ENODEV || err == -ENXIO)
        return CaptureCheck::Missing;
    if (err < 0)
        return CaptureCheck::CannotCapture;
    snd_pcm_hw_params_t* params;
    snd_pcm_hw_params_alloca(&params);
    const bool usable = snd_pcm_hw_params_any(pcm, params) >= 0;
    snd_pcm_close(pcm);
    return usable ? CaptureCheck::Ok : CaptureCheck::CannotCapture;
}

std::vector<AlsaCaptureDevice> listAlsaCaptureDevices() {
    routeAlsaMessagesToLog();
    std::vector<Hinted> found;
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0 || !hints)
        return {};
    for (void** h = hints; *h; ++h) {
        Hinted entry;
        entry.device.name = takeHint(*h, "NAME");
        const std::string io = takeHint(*h, "IOID");
        if (entry.device.name.empty() || entry.device.name == "null" ||
            (!io.empty() && io != "Input"))
            continue;
        const CaptureCheck check = checkCaptureDevice(entry.device.name);
        if (check != CaptureCheck::Ok && check != CaptureCheck::Busy)
            continue;
        entry.device.busy = check == CaptureCheck::Busy;
        std::string description = takeHint(*h, "DESC");
        const auto newline = description.find('\n');
        if (newline != std::string::npos) {
            entry.detail = description.substr(newline + 1);
            description.resize(newline);
        }
        entry.device.description = description.empty() ? entry.device.name : description;
        found.push_back(std::move(entry));
    }
    snd_device_name_free_hint(hints);

    // Several devices of one card share its name; the second line tells them apart, and
    // the device name when even that is the same.
    std::vector<AlsaCaptureDevice> devices;
    for (const Hinted& entry : found) {
        AlsaCaptureDevice device = entry.device;
        auto sameText = [&](const Hinted& other) {
            return &other != &entry && other.device.description == entry.device.description;
        };
        if (std::any_of(found.begin(), found.end(), sameText)) {
            if (!entry.detail.empty())
                device.description += " (" + entry.detail + ")";
            else
                device.description += " (" + entry.device.name + ")";
        }
        devices.push_back(std::move(device));
    }
    auto isDefault = [](const AlsaCaptureDevice& d) { return d.name == "default"; };
    std::stable_partition(devices.begin(), devices.end(), isDefault);
    return devices;
}

namespace {

struct Parked {
    std::mutex lock;
    std::string name;
    AVFormatContext* context = nullptr;
};

Parked& parkedDevice() {
    static Parked parked;
    return parked;
}

// Opens a capture device as the recordings do: CD quality, mono when it records only
// that, without waiting for a busy device.
AVFormatContext* openCapture(const std::string& pcmName) {
    static std::once_flag registered;
    std::call_once(registered, [] { avdevice_register_all(); });
    const AVInputFormat* alsa = av_find_input_format("alsa");
    if (!alsa)
        return nullptr;
    for (const char* channels : {"2", "1"}) {
        AVDictionary* options = nullptr;
        av_dict_set(&options, "sample_rate", "44100", 0);
        av_dict_set(&options, "channels", channels, 0);
        AVFormatContext* context = avformat_alloc_context();
        if (!context) {
            av_dict_free(&options);
            return nullptr;
        }
        context->flags |= AVFMT_FLAG_NONBLOCK;
        const int rc = avformat_open_input(&context, pcmName.c_str(), alsa, &options);
        av_dict_free(&options);
        if (rc >= 0)
            return context;
    }
    return nullptr;
}

} // namespace

bool parkDeviceSource(const std::string& input) {
    if (!isDeviceSource(input))
        return false;
    const std::string name = input.substr(kPrefixLength);
    Parked& parked = parkedDevice();
    std::lock_guard lock(parked.lock);
    if (parked.context && parked.name == name)
        return true;
    avformat_close_input(&parked.context);
    routeAlsaMessagesToLog();
    parked.context = openCapture(name);
    parked.name = parked.context ? name : std::string();
    return parked.context != nullptr;
}

AVFormatContext* takeParkedDevice(const std::string& pcmName) {
    Parked& parked = parkedDevice();
    std::lock_guard lock(parked.lock);
    if (!parked.context || parked.name != pcmName)
        return nullptr;
    AVFormatContext* context = parked.context;
    parked.context = nullptr;
    parked.name.clear();
    return context;
}

bool isDeviceParked(const std::string& pcmName) {
    Parked& parked = parkedDevice();
    std::lock_guard lock(parked.lock);
    return parked.context && parked.name == pcmName;
}

void releaseParkedDevices() {
    Parked& parked = parkedDevice();
    std::lock_guard lock(parked.lock);
    avformat_close_input(&parked.context);
    parked.name.clear();
}

uint32_t captureFailureCode(const std::string& pcmName) {
    switch (checkCaptureDevice(pcmName)) {
    case CaptureCheck::Busy:
        return wmerr::kDeviceBusy;
    case CaptureCheck::Missing:
        return wmerr::kDeviceMissing;
    case CaptureCheck::Ok:
        // It opens, so what it refused was the format asked of it.
        return wmerr::kDeviceFormat;
    case CaptureCheck::CannotCapture:
        break;
    }
    return wmerr::kDeviceOpen;
}

} // namespace cld
