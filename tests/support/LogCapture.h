#pragma once

#include "Log.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace cldtest {

// Collects every line logged through cld::log while it lives, instead of standard error.
class LogCapture {
public:
    struct Line {
        cld::LogLevel level;
        std::string text;
    };

    LogCapture()
        : m_previous(cld::setLogSink([this](cld::LogLevel level, const std::string& text) {
              std::lock_guard<std::mutex> guard(m_lock);
              m_lines.push_back({level, text});
          })) {}
    ~LogCapture() { cld::setLogSink(std::move(m_previous)); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<Line> lines() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_lines;
    }
    // Every line's text, each ended by a newline.
    std::string text() const {
        std::string all;
        for (const Line& line : lines())
            all += line.text + '\n';
        return all;
    }
    // True when one line of at least `level` holds `part`.
    bool has(cld::LogLevel level, const std::string& part) const {
        const std::vector<Line> all = lines();
        return std::any_of(all.begin(), all.end(), [&](const Line& line) {
            return line.level >= level && line.text.find(part) != std::string::npos;
        });
    }

private:
    mutable std::mutex m_lock;
    std::vector<Line> m_lines;
    cld::LogSink m_previous;
};

} // namespace cldtest
