#pragma once

#include <atomic>

// A cancellation signal another thread can raise while a CDDB command waits. It stays
// raised until reset(), so a command started after the cancel fails at once too. Waiting
// code polls fd() beside its socket, which becomes readable when the signal is raised.
class CddbCancel {
public:
    CddbCancel();
    ~CddbCancel();
    CddbCancel(const CddbCancel&) = delete;
    CddbCancel& operator=(const CddbCancel&) = delete;

    // Safe from any thread, any number of times.
    void cancel();
    void reset();
    bool isCancelled() const { return m_cancelled.load(std::memory_order_acquire); }
    // -1 when the system gave no event descriptor; waits then poll the flag in short steps.
    int fd() const { return m_fd; }

private:
    std::atomic<bool> m_cancelled{false};
    int m_fd = -1;
};
