#include "FfmpegLog.h"

#include "Log.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdarg>
#include <mutex>
#include <string>

namespace cld {

namespace {

void ForwardLine(void* avcl, int level, const char* format, va_list args) {
    if (level > av_log_get_level())
        return;
    char line[1024];
    int printPrefix = 1;
    va_list copy;
    va_copy(copy, args);
    av_log_format_line2(avcl, level, format, copy, line, sizeof line, &printPrefix);
    va_end(copy);
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    if (text.empty())
        return;
    // The media layer reports every failure through its own codes; FFmpeg's lines only
    // explain them.
    log(level <= AV_LOG_ERROR ? LogLevel::Warning : LogLevel::Debug, "ffmpeg: " + text);
}

} // namespace

void routeFfmpegLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(ForwardLine); });
}

} // namespace cld
