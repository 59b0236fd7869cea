#include "RegistryEvent.h"

RegistryEvent::RegistryEvent(bool manualReset, bool initiallySet)
    : m_manualReset(manualReset), m_set(initiallySet) {}

void RegistryEvent::set() {
    // Notified under the lock: a waiter that sees the event set may destroy it at
    // once, so set() must be done with it before the waiter can run on.
    std::lock_guard lock(m_mutex);
    m_set = true;
    m_cond.notify_all();
}

void RegistryEvent::reset() {
    std::lock_guard lock(m_mutex);
    m_set = false;
}

bool RegistryEvent::isSet() const {
    std::lock_guard lock(m_mutex);
    return m_set;
}

bool RegistryEvent::wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    if (!m_cond.wait_for(lock, timeout, [this] { return m_set; }))
        return false;
    if (!m_manualReset)
        m_set = false;
    return true;
}

void RegistryEvent::wait() {
    std::unique_lock lock(m_mutex);
    m_cond.wait(lock, [this] { return m_set; });
    if (!m_manualReset)
        m_set = false;
}
