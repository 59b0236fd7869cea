#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace cldtest {

// How long a wait for an event may take before the test calls it a hang. It bounds a
// fault; it is no measure of speed, so a busy machine never comes near it.
inline constexpr std::chrono::seconds kHangLimit{120};
inline constexpr int kHangLimitSeconds = static_cast<int>(kHangLimit.count());
// The same limit in milliseconds, for the waits that take an int (Qt's among them).
inline constexpr int kHangLimitMs =
    static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(kHangLimit).count());

// Polls `done` until it holds. False only when it still did not hold after `hangLimit`.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds hangLimit = kHangLimit);

// Whether a process still runs. One that ended but was not reaped yet (a zombie, or an
// orphan whose new parent has not reaped it) counts as ended.
bool processRunning(pid_t pid);
// The processes this one started (from any of its threads) that still run. Read from
// /proc while they run on: one that ends meanwhile may hide another from the list, so it
// is exact only while the children start and end one at a time.
std::vector<pid_t> runningChildren();
// Runs `command` with the shell and returns what it wrote to standard output, with its
// exit status in `status` (-1 when it did not run or did not exit).
std::string commandOutput(const std::string& command, int& status);

// A process's command line, its words joined by single spaces; "" once it is gone.
std::string commandLine(pid_t pid);

} // namespace cldtest
