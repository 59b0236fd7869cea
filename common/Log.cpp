#include "Log.h"

#include "ProductIdentity.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace cld {
namespace {

std::mutex g_lock;
LogSink g_sink;
LogLevel g_level = LogLevel::Info;

void standardSink(LogLevel, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", identity::kProduct, text.c_str());
}

} // namespace

void log(LogLevel level, const std::string& text) {
    LogSink sink;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        if (level < g_level)
            return;
        sink = g_sink;
    }
    // The sink runs outside the lock, so a sink may log again without deadlocking.
    if (sink)
        sink(level, text);
    else
        standardSink(level, text);
}

void logf(LogLevel level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (size > 0) {
        std::vector<char> buffer(static_cast<size_t>(size) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        text.assign(buffer.data(), static_cast<size_t>(size));
    }
    va_end(args);
    log(level, text);
}

LogSink setLogSink(LogSink sink) {
    std::lock_guard<std::mutex> guard(g_lock);
    LogSink previous = std::move(g_sink);
    g_sink = std::move(sink);
    return previous;
}

void setLogLevel(LogLevel level) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_level = level;
}

LogLevel logLevel() {
    std::lock_guard<std::mutex> guard(g_lock);
    return g_level;
}

} // namespace cld
