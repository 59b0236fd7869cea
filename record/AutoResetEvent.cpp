#include "AutoResetEvent.h"

namespace cld {

void AutoResetEvent::Set() {
    {
        std::lock_guard lock(m_mutex);
        m_set = true;
    }
    m_cond.notify_one();
}

void AutoResetEvent::Wait() {
    std::unique_lock lock(m_mutex);
    m_cond.wait(lock, [this] { return m_set; });
    m_set = false;
}

bool AutoResetEvent::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    if (!m_cond.wait_for(lock, timeout, [this] { return m_set; }))
        return false;
    m_set = false;
    return true;
}

} // namespace cld
