#include "MediaDuration.h"

#include "FfmpegLog.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <filesystem>
#include <strings.h>

namespace cld {

int64_t getMediaDuration(const std::string& input) {
    installFfmpegLog();
    std::string path = input;
    if (path.size() >= 7 && strncasecmp(path.c_str(), "file://", 7) == 0)
        path = path.substr(7);
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec))
        return 0;
    AVFormatContext* ctx = nullptr;
    const std::string url = "file:" + path;
    if (avformat_open_input(&ctx, url.c_str(), nullptr, nullptr) < 0)
        return 0;
    int64_t duration = 0;
    if (avformat_find_stream_info(ctx, nullptr) >= 0 && ctx->duration != AV_NOPTS_VALUE &&
        ctx->duration > 0)
        duration = av_rescale(ctx->duration, 10'000'000, AV_TIME_BASE);
    avformat_close_input(&ctx);
    return duration;
}

} // namespace cld
