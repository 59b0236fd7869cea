#pragma once

#include "IWmFrameSink.h"

#include <atomic>
#include <mutex>
#include <vector>

// The views attached to one side of a video source (its preview or its postview). The
// encoder's thread delivers pictures to the running views while the user-interface
// thread adds, starts, stops and removes them; once Remove or SetRunning(false) has
// returned, the view's sink is never called again.
class WmViewCollection {
public:
    // A new view without a sink; returns its cookie.
    int Add();
    void Remove(int cookie);
    // False when the cookie is not in the collection.
    bool SetSink(int cookie, IWmFrameSink* sink);
    bool SetRunning(int cookie, bool running);
    int Count() const;
    // True while at least one view runs; cheap, so the encoder can skip the picture
    // conversion when nobody watches.
    bool HasRunning() const { return m_running.load(std::memory_order_relaxed) > 0; }
    void Deliver(const WmVideoFrame& frame);

private:
    struct Entry {
        int cookie = 0;
        IWmFrameSink* sink = nullptr;
        bool running = false;
    };
    void UpdateRunning();

    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;
    int m_nextCookie = 0;
    std::atomic<int> m_running{0};
};
