#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// An event object that CRegistry::WatchChanges signals when a watched key changes. A
// manual-reset event stays signalled until reset(); an auto-reset one is cleared again by
// the wait that sees it.
class RegistryEvent {
public:
    explicit RegistryEvent(bool manualReset = true, bool initiallySet = false);
    RegistryEvent(const RegistryEvent&) = delete;
    RegistryEvent& operator=(const RegistryEvent&) = delete;

    void set();
    void reset();
    bool isSet() const;
    // Waits until the event is signalled; false when the timeout passed first.
    bool wait(std::chrono::milliseconds timeout);
    void wait();

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_manualReset;
    bool m_set;
};
