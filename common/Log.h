#pragma once

#include <functional>
#include <string>

namespace cld {

enum class LogLevel { Debug, Info, Warning, Error };

// The one logging function of the libraries. Library code never prints by itself: it
// logs here, and the program decides where the lines go (standard error by default).
void log(LogLevel level, const std::string& text);
// printf-style convenience for the same function.
void logf(LogLevel level, const char* format, ...) __attribute__((format(printf, 2, 3)));

using LogSink = std::function<void(LogLevel, const std::string&)>;
// Replaces where the lines go and returns the previous sink; an empty sink restores the
// standard one (standard error, prefixed with the program's name).
LogSink setLogSink(LogSink sink);
// Lines below this level are dropped (default: Info).
void setLogLevel(LogLevel level);
LogLevel logLevel();

} // namespace cld
