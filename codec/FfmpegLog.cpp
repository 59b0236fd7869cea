#include "FfmpegLog.h"

#include "Log.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace cld {
namespace {

bool g_verbose = false;

LogLevel levelOf(int avLevel) {
    if (!g_verbose)
        return LogLevel::Debug;
    if (avLevel <= AV_LOG_ERROR)
        return LogLevel::Error;
    if (avLevel <= AV_LOG_WARNING)
        return LogLevel::Warning;
    return LogLevel::Info;
}

void callback(void* object, int level, const char* format, va_list args) {
    if (level > av_log_get_level())
        return;
    char line[1024];
    // Each call is one line; the prefix names the component ("[asf @ 0x...]").
    int printPrefix = 1;
    av_log_format_line2(object, level, format, args, line, sizeof line, &printPrefix);
    size_t n = std::strlen(line);
    while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r'))
        line[--n] = '\0';
    if (n > 0)
        log(levelOf(level), std::string("ffmpeg: ") + line);
}

} // namespace

void installFfmpegLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        const char* mode = std::getenv("CLD_FFMPEG_LOG");
        g_verbose = mode && std::strcmp(mode, "verbose") == 0;
        av_log_set_level(g_verbose ? AV_LOG_VERBOSE : AV_LOG_WARNING);
        av_log_set_callback(callback);
    });
}

} // namespace cld
