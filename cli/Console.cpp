#include "Console.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace cld::cli {

namespace {

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Plain progress lines (standard error is a file or a pipe) come this far apart at most.
constexpr int64_t kPlainLineMs = 5000;

} // namespace

Console::Console(Verbosity verbosity, bool json) : m_verbosity(verbosity), m_json(json) {}

void Console::setTerminal(bool terminal, int columns) {
    m_terminal = terminal;
    m_columns = std::clamp(columns, 20, 400);
}

void Console::result(const nlohmann::ordered_json& object, const std::string& text) {
    std::lock_guard lock(m_lock);
    if (m_barShown) {
        std::fputs("\r\033[K", stderr);
        m_barShown = false;
    }
    const std::string line =
        m_json ? object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
               : text;
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Console::writeErr(const std::string& line) {
    std::lock_guard lock(m_lock);
    if (m_barShown) {
        std::fputs("\r\033[K", stderr);
        m_barShown = false;
    }
    std::fputs(line.c_str(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

void Console::error(const std::string& text) {
    writeErr("calderine: " + text);
}

void Console::note(const std::string& text) {
    if (m_verbosity != Verbosity::Quiet)
        writeErr(text);
}

void Console::detail(const std::string& text) {
    if (m_verbosity == Verbosity::Verbose)
        writeErr(text);
}

std::string Console::barText(double share, int width) {
    if (!(share >= 0))
        share = 0;
    share = std::min(share, 1.0);
    width = std::max(width, 0);
    const int filled = static_cast<int>(std::floor(share * width + 1e-9));
    return std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(width - filled), '-');
}

std::string Console::clockText(double seconds) {
    if (!(seconds >= 0))
        return "?";
    const auto total = static_cast<long long>(std::llround(seconds));
    char buf[32];
    if (total >= 3600)
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", total / 3600, (total / 60) % 60,
                      total % 60);
    else
        std::snprintf(buf, sizeof buf, "%lld:%02lld", total / 60, total % 60);
    return buf;
}

void Console::progress(double share, const std::string& label, double remainingSeconds) {
    if (m_verbosity == Verbosity::Quiet)
        return;
    const int percent = static_cast<int>(std::clamp(share, 0.0, 1.0) * 100);
    if (!m_terminal) {
        // A log file gets a line now and then, not a flood.
        const int64_t now = nowMs();
        if (m_lastPlainLine >= 0 && now - m_lastPlainLine < kPlainLineMs && percent != 100)
            return;
        if (percent == m_lastPlainPercent)
            return;
        m_lastPlainLine = now;
        m_lastPlainPercent = percent;
        writeErr(std::to_string(percent) + "% " + label);
        return;
    }
    std::string tail = " " + std::to_string(percent) + "% " + label;
    if (remainingSeconds >= 0)
        tail += "  " + clockText(remainingSeconds) + " left";
    const int barWidth = std::max(10, m_columns / 3);
    std::string line = "[" + barText(share, barWidth) + "]" + tail;
    if (static_cast<int>(line.size()) > m_columns - 1) {
        // Cut at a character's start, never inside a UTF-8 sequence.
        size_t cut = static_cast<size_t>(m_columns - 1);
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut;
        line.resize(cut);
    }
    std::lock_guard lock(m_lock);
    std::fputs("\r\033[K", stderr);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    m_barShown = true;
}

void Console::clearProgress() {
    std::lock_guard lock(m_lock);
    if (m_barShown) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        m_barShown = false;
    }
}

} // namespace cld::cli
