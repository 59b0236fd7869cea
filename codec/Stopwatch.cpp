#include "Stopwatch.h"

#include <chrono>

uint32_t Stopwatch::Tick() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void Stopwatch::Restart() {
    m_accumulated = 0;
    m_start = Tick();
    m_stopped = false;
}

void Stopwatch::Reset() {
    m_accumulated = 0;
    m_stopped = true;
}

void Stopwatch::Stop() {
    if (m_stopped)
        return;
    m_accumulated += Tick() - m_start;
    m_stopped = true;
}

void Stopwatch::Resume() {
    if (!m_stopped)
        return;
    m_start = Tick();
    m_stopped = false;
}

uint32_t Stopwatch::ElapsedMs() const {
    return m_stopped ? m_accumulated : m_accumulated + (Tick() - m_start);
}
