#pragma once

#include <string>
#include <vector>

namespace cldbench {

// What one run of a command took.
struct Result {
    double seconds = 0;    // wall time
    double cpuSeconds = 0; // user + system time of the command
    long maxRssKb = 0;     // its peak resident size
    int status = 0;        // exit code, -1 when it did not exit normally
};

// Runs argv[0] (looked up on PATH) with the arguments and waits for it.
Result runCommand(const std::vector<std::string>& argv);

// The median of the figures (0 for none).
double median(std::vector<double> values);

} // namespace cldbench
