#include "WmViewCollection.h"

#include <algorithm>

int WmViewCollection::Add() {
    std::lock_guard lock(m_mutex);
    m_entries.push_back(Entry{m_nextCookie, nullptr, false});
    return m_nextCookie++;
}

void WmViewCollection::Remove(int cookie) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_entries, [cookie](const Entry& e) { return e.cookie == cookie; });
    UpdateRunning();
}

bool WmViewCollection::SetSink(int cookie, IWmFrameSink* sink) {
    std::lock_guard lock(m_mutex);
    for (Entry& e : m_entries) {
        if (e.cookie == cookie) {
            e.sink = sink;
            UpdateRunning();
            return true;
        }
    }
    return false;
}

bool WmViewCollection::SetRunning(int cookie, bool running) {
    std::lock_guard lock(m_mutex);
    for (Entry& e : m_entries) {
        if (e.cookie == cookie) {
            e.running = running;
            UpdateRunning();
            return true;
        }
    }
    return false;
}

int WmViewCollection::Count() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_entries.size());
}

void WmViewCollection::Deliver(const WmVideoFrame& frame) {
    // The lock is held while the sinks run, so that stopping a view waits for a delivery
    // in progress and the sink can be destroyed right after.
    std::lock_guard lock(m_mutex);
    for (const Entry& e : m_entries) {
        if (e.running && e.sink)
            e.sink->OnVideoFrame(frame);
    }
}

void WmViewCollection::UpdateRunning() {
    const auto n = std::count_if(m_entries.begin(), m_entries.end(),
                                 [](const Entry& e) { return e.running && e.sink; });
    m_running = static_cast<int>(n);
}
