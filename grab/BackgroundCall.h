#pragma once

#include "WaitService.h"

#include <chrono>
#include <future>
#include <utility>

namespace cld {

// Runs `work` on a thread of its own and keeps the window events flowing until it is
// done, so a blocking network command does not freeze the window. The caller disables
// what must not be clicked meanwhile. Returns what `work` returned.
template <class Work> auto callInBackground(Work&& work, WaitService& waits) {
    auto future = std::async(std::launch::async, std::forward<Work>(work));
    while (future.wait_for(std::chrono::milliseconds(40)) != std::future_status::ready)
        waits.pump();
    return future.get();
}

} // namespace cld
