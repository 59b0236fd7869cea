#include "WmViewCollection.h"

#include <algorithm>

int WmViewCollection::Add() {
    std::lock_guard lock(m_mutex);
    m_entries.push_back(Entry{m_nextCookie, nullptr, false, false, {}});
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
            e.shownOnce = false;
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
            e.shownOnce = false;
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

bool WmViewCollection::Due(const Entry& e, Clock::time_point now) const {
    if (!e.running || !e.sink || !e.sink->ReadyForFrame())
        return false;
    return !e.shownOnce || now - e.last >= e.sink->MinInterval();
}

bool WmViewCollection::WantsPicture() const {
    if (!HasRunning())
        return false;
    const Clock::time_point now = Clock::now();
    std::lock_guard lock(m_mutex);
    return std::any_of(m_entries.begin(), m_entries.end(),
                       [&](const Entry& e) { return Due(e, now); });
}

void WmViewCollection::Offer(int width, int height, const PictureMaker& make) {
    if (!HasRunning() || width <= 0 || height <= 0)
        return;
    // The lock is held while the sinks run, so that stopping a view waits for a delivery
    // in progress and the sink can be destroyed right after.
    const Clock::time_point now = Clock::now();
    std::lock_guard lock(m_mutex);
    const WmVideoFrame* made = nullptr;
    int madeWidth = 0;
    int madeHeight = 0;
    for (Entry& e : m_entries) {
        if (!Due(e, now))
            continue;
        int w = 0;
        int h = 0;
        FitInBox(width, height, e.sink->BoxWidth(), e.sink->BoxHeight(), w, h);
        if (!made || w != madeWidth || h != madeHeight) {
            made = make(w, h);
            madeWidth = w;
            madeHeight = h;
        }
        if (!made)
            continue;
        e.sink->OnVideoFrame(*made);
        e.shownOnce = true;
        e.last = now;
    }
}

void WmViewCollection::FitInBox(int width, int height, int boxWidth, int boxHeight, int& outWidth,
                                int& outHeight) {
    outWidth = std::max(1, width);
    outHeight = std::max(1, height);
    if (boxWidth <= 0 || boxHeight <= 0 || width <= 0 || height <= 0)
        return;
    // Width-bound unless the picture is then too tall for the box.
    const int64_t tall = static_cast<int64_t>(height) * boxWidth / width;
    if (tall <= boxHeight) {
        outWidth = boxWidth;
        outHeight = static_cast<int>(std::max<int64_t>(1, tall));
    } else {
        outHeight = boxHeight;
        outWidth = static_cast<int>(
            std::max<int64_t>(1, static_cast<int64_t>(width) * boxHeight / height));
    }
}

void WmViewCollection::UpdateRunning() {
    const auto n = std::count_if(m_entries.begin(), m_entries.end(),
                                 [](const Entry& e) { return e.running && e.sink; });
    m_running = static_cast<int>(n);
}
