#pragma once

#include "IWmFrameSink.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <vector>

// The views attached to one side of a video source (its preview or its postview). The
// encoder's thread offers pictures to the running views while the user-interface thread
// adds, starts, stops and removes them; once Remove or SetRunning(false) has returned,
// the view's sink is never called again.
//
// A view gets a picture only when its sink is ready for one and its refresh interval has
// passed since the last one, and then at the size of its box: the encoder converts and
// scales only the pictures that will be shown.
class WmViewCollection {
public:
    using Clock = std::chrono::steady_clock;
    // Makes the offered picture at the given size; nullptr when it cannot.
    using PictureMaker = std::function<const WmVideoFrame*(int width, int height)>;

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
    // True when a running view would take a picture now.
    bool WantsPicture() const;
    // Offers a picture of width x height to the running views. Each view that wants one
    // gets `make` at the size that fits its box; views with boxes of the same size share
    // one picture.
    void Offer(int width, int height, const PictureMaker& make);

    // The size a picture of width x height takes in a box, keeping its shape; the
    // picture's own size for an empty box. Never below 1 x 1.
    static void FitInBox(int width, int height, int boxWidth, int boxHeight, int& outWidth,
                         int& outHeight);

private:
    struct Entry {
        int cookie = 0;
        IWmFrameSink* sink = nullptr;
        bool running = false;
        bool shownOnce = false;
        Clock::time_point last{};
    };
    bool Due(const Entry& e, Clock::time_point now) const;
    void UpdateRunning();

    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;
    int m_nextCookie = 0;
    std::atomic<int> m_running{0};
};
