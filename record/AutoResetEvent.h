#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace cld {

// An event that wakes one waiter and then resets itself; a signal given while nobody
// waits is kept until the next wait.
class AutoResetEvent {
public:
    void Set();
    // Waits until the event is set and resets it.
    void Wait();
    // Like Wait, but gives up after `timeout`; returns whether the event was set.
    bool WaitFor(std::chrono::milliseconds timeout);

private:
    std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_set = false;
};

} // namespace cld
