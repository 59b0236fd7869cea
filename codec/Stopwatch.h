#pragma once

#include <cstdint>

// Accumulating stopwatch on a wrapping 32-bit millisecond tick. Not locked: the owner
// guards it.
class Stopwatch {
public:
    // Clears the accumulated time and starts timing.
    void Restart();
    // Clears the accumulated time and leaves the stopwatch stopped.
    void Reset();
    // Adds the running interval to the accumulated time, once.
    void Stop();
    // Continues timing without clearing.
    void Resume();
    uint32_t ElapsedMs() const;
    bool IsStopped() const { return m_stopped; }

    static uint32_t Tick();

private:
    uint32_t m_start = 0;
    uint32_t m_accumulated = 0;
    bool m_stopped = true;
};
