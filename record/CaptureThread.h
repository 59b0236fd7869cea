#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

namespace cld {

// A worker thread that is asked to end through a stop counter. The subclass's Run is
// the worker loop; it reads StopRequested() after every wake-up, and Wake() must make a
// waiting Run look at the counter.
class CaptureThread {
public:
    CaptureThread() = default;
    virtual ~CaptureThread();
    CaptureThread(const CaptureThread&) = delete;
    CaptureThread& operator=(const CaptureThread&) = delete;

protected:
    // Called on the worker before Run.
    virtual void OnThreadStart() {}
    virtual void Run() = 0;
    virtual void Wake() = 0;

    // Starts the worker; false when the system could not create the thread.
    bool StartThread();
    // Asks the worker to end and waits up to `timeoutMs` for it. A worker still busy then
    // (a consumer blocked on a slow disk) is not abandoned: its state is still in use, so
    // the wait goes on after a warning. The counter is reset afterwards. Returns whether
    // the worker ended within the time.
    bool StopThread(int timeoutMs);
    bool StopRequested() const;
    bool ThreadRunning() const { return m_thread.joinable(); }

private:
    mutable std::mutex m_stopLock;
    int m_stopCounter = 0;

    std::mutex m_endLock;
    std::condition_variable m_endCond;
    bool m_ended = true;
    std::thread m_thread;
};

} // namespace cld
