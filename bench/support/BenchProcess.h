#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace cldbench {

// What one run of a command took.
struct Result {
    double seconds = 0;    // wall time, from the fork to the reaped exit
    double cpuSeconds = 0; // user + system time of the command and the children it waited for
    long maxRssKb = 0;     // its peak resident size (VmHWM: file-backed pages included)
    long peakAnonKb = 0;   // its peak private memory (RssAnon), sampled while it ran
    int status = 0;        // exit code, -1 when it did not exit normally or did not start
};

struct RunOptions {
    // Working folder of the command (empty: ours).
    std::string directory;
    // Variables set for the command only.
    std::vector<std::pair<std::string, std::string>> environment;
    // How often RssAnon is read while the command runs; 0 reads it not at all.
    int sampleMilliseconds = 10;
    // A file that takes the command's standard output (empty: ours).
    std::string stdoutPath;
    // A file that takes its standard error (empty: ours).
    std::string stderrPath;
};

// Runs argv[0] (looked up on PATH) with the arguments and waits for it.
Result runCommand(const std::vector<std::string>& argv, const RunOptions& options = {});

// The private memory a process holds now (RssAnon of /proc/PID/status), in KiB; -1 when it
// cannot be read (the process has ended).
long anonKb(int pid);

// The median of the figures (0 for none).
double median(std::vector<double> values);

// Alternating runs of our command and a peer's (A B A B ...), and their medians.
struct PairFigures {
    std::vector<Result> ours;
    std::vector<Result> theirs;
    bool ok = true;      // every run exited with 0
    std::string failure; // which side failed, and how
    double oursSeconds() const;
    double theirSeconds() const;
    double oursCpu() const;
    double theirCpu() const;
    // Median of ours / theirs over the pairs, wall time.
    double pairRatio() const;
    // Highest RssAnon of our runs, KiB.
    long oursPeakAnonKb() const;
};

// Prints one finished pair as an indented line, so that a long row shows how it goes.
void printPair(int index, const Result& ours, const Result& theirs);

// Runs `pairs` pairs; before each run `prepare` is called with true for ours and false for
// the peer's, to clear outputs of the previous run. Stops at the first failure. With
// `showPairs` each pair is printed as it ends.
template <typename Prepare>
PairFigures runPairs(const std::vector<std::string>& ours, const RunOptions& oursOptions,
                     const std::vector<std::string>& theirs, const RunOptions& theirOptions,
                     int pairs, Prepare&& prepare, bool showPairs = false) {
    PairFigures f;
    for (int i = 0; i < pairs && f.ok; ++i) {
        prepare(true);
        f.ours.push_back(runCommand(ours, oursOptions));
        prepare(false);
        f.theirs.push_back(runCommand(theirs, theirOptions));
        if (showPairs)
            printPair(i + 1, f.ours.back(), f.theirs.back());
        if (f.ours.back().status != 0 || f.theirs.back().status != 0) {
            f.ok = false;
            f.failure = "ours exited " + std::to_string(f.ours.back().status) + ", the peer " +
                        std::to_string(f.theirs.back().status);
        }
    }
    return f;
}

// One table row: medians of wall and CPU time of both sides, their ratios, our peak RssAnon,
// and whether the wall ratio meets `goal` (0: no goal). False when the row failed.
bool printPairRow(const std::string& name, const PairFigures& f, double goal);
void printPairHeader();

// The load average of the machine now, as "1.23 (1 min), 1.10 (5 min)".
std::string loadAverage();

// Runs `script` with /bin/sh -c.
std::vector<std::string> shell(const std::string& script);

} // namespace cldbench

namespace cldbench {

// Writes the 44-byte header of a 16-bit stereo PCM WAVE file of `frames` frames at `rate`
// (the data size is clamped to what the header can hold).
void writeWavHeader(std::ostream& out, uint64_t frames, uint32_t rate = 44100);

} // namespace cldbench
