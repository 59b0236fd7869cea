#include "CaptureThread.h"

#include "Log.h"

#include <chrono>
#include <system_error>

namespace cld {

CaptureThread::~CaptureThread() {
    // The subclass has ended the worker in its own destructor; this only guards against
    // a thread object that is still joinable.
    if (m_thread.joinable())
        m_thread.join();
}

bool CaptureThread::StartThread() {
    if (m_thread.joinable())
        return false;
    {
        std::lock_guard lock(m_endLock);
        m_ended = false;
    }
    try {
        m_thread = std::thread([this] {
            OnThreadStart();
            Run();
            {
                std::lock_guard lock(m_endLock);
                m_ended = true;
            }
            m_endCond.notify_all();
        });
    } catch (const std::system_error& e) {
        std::lock_guard lock(m_endLock);
        m_ended = true;
        log(LogLevel::Error, std::string("capture: cannot start the worker: ") + e.what());
        return false;
    }
    return true;
}

bool CaptureThread::StopThread(int timeoutMs) {
    if (!m_thread.joinable())
        return true;
    {
        std::lock_guard lock(m_stopLock);
        ++m_stopCounter;
    }
    Wake();
    bool inTime = false;
    {
        std::unique_lock lock(m_endLock);
        inTime = m_endCond.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                    [this] { return m_ended; });
    }
    if (!inTime)
        log(LogLevel::Warning, "capture: the worker did not end in time; waiting for its block");
    m_thread.join();
    std::lock_guard lock(m_stopLock);
    m_stopCounter = 0;
    return inTime;
}

bool CaptureThread::StopRequested() const {
    std::lock_guard lock(m_stopLock);
    return m_stopCounter != 0;
}

} // namespace cld
