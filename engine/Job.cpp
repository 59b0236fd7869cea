#include "Job.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace cld::engine {

void JobObserver::wait(int milliseconds, const std::function<bool()>& ready) {
    // A worker that ends is seen within a millisecond: a batch of short files must not
    // leave a core idle for the rest of a longer step after each one.
    constexpr int kStep = 1;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!(ready && ready())) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until)
            return;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            std::chrono::milliseconds(kStep), until - now));
    }
}

} // namespace cld::engine
