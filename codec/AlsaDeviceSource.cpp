#include "AlsaDeviceSource.h"

#include "Log.h"
#include "WMException.h"
#include "WmErrors.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include <mutex>
#include <strings.h>

namespace cld {
namespace {

constexpr const char kPrefix[] = "device://";
constexpr size_t kPrefixLength = sizeof kPrefix - 1;

} // namespace

bool IsDeviceSource(const std::string& input) {
    return input.size() > kPrefixLength && strncasecmp(input.c_str(), kPrefix, kPrefixLength) == 0;
}

AVFormatContext* OpenDeviceSource(const std::string& input) {
    if (!IsDeviceSource(input))
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
    throw WMException(wmerr::kInputOpen);
}

} // namespace cld
