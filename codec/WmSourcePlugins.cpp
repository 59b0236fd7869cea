#include "WmSourcePlugins.h"

#include "AlsaDeviceSource.h"
#include "FfmpegLog.h"
#include "Log.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
}

#include <filesystem>
#include <mutex>

namespace {

void registerDevices() {
    static std::once_flag once;
    std::call_once(once, [] { avdevice_register_all(); });
}

// The device names the device layer reports for one input format; none when the format
// is missing or cannot list its devices.
std::vector<std::string> listDevices(const char* format) {
    std::vector<std::string> names;
    const AVInputFormat* fmt = av_find_input_format(format);
    if (!fmt)
        return names;
    AVDeviceInfoList* list = nullptr;
    if (avdevice_list_input_sources(fmt, nullptr, nullptr, &list) >= 0 && list) {
        for (int i = 0; i < list->nb_devices; ++i) {
            if (list->devices[i] && list->devices[i]->device_name)
                names.emplace_back(list->devices[i]->device_name);
        }
    }
    avdevice_free_list_devices(&list);
    return names;
}

// Video4Linux2 lists only what it can open; a missing /dev is simply no device.
std::vector<std::string> listVideoDevices() {
    std::error_code ec;
    if (!std::filesystem::exists("/dev", ec))
        return {};
    return listDevices("video4linux2");
}

} // namespace

std::vector<WmSourcePluginInfo> listSourcePlugins() {
    cld::installFfmpegLog();
    registerDevices();
    std::vector<WmSourcePluginInfo> plugins;
    if (av_find_input_format("alsa")) {
        WmSourcePluginInfo alsa;
        alsa.name = kAlsaPluginName;
        alsa.scheme = "DEVICE";
        alsa.mediaTypes = WmSourcePluginInfo::kAudio;
        alsa.hasResources = true;
        // The sound system's own hints, checked for capture: FFmpeg's listing would offer
        // "null" and plug-ins that cannot record.
        for (const cld::AlsaCaptureDevice& d : cld::listAlsaCaptureDevices()) {
            alsa.resources.push_back(d.name);
            alsa.resourceDescriptions.push_back(d.description);
            alsa.resourceBusy.push_back(d.busy);
        }
        plugins.push_back(std::move(alsa));
    }
    if (av_find_input_format("video4linux2")) {
        WmSourcePluginInfo v4l2;
        v4l2.name = kV4l2PluginName;
        v4l2.scheme = "DEVICE";
        v4l2.mediaTypes = WmSourcePluginInfo::kVideo;
        v4l2.hasResources = true;
        v4l2.resources = listVideoDevices();
        plugins.push_back(std::move(v4l2));
    }
    if (av_find_input_format("x11grab")) {
        WmSourcePluginInfo screen;
        screen.name = kScreenPluginName;
        screen.scheme = "ScreenCap";
        screen.mediaTypes = WmSourcePluginInfo::kVideo;
        plugins.push_back(std::move(screen));
    }
    cld::logf(cld::LogLevel::Debug, "source plug-ins: %zu", plugins.size());
    return plugins;
}
