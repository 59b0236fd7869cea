#include "BenchProcess.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace cldbench {

long anonKb(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("RssAnon:", 0) == 0)
            return std::strtol(line.c_str() + 8, nullptr, 10);
    return -1;
}

Result runCommand(const std::vector<std::string>& argv, const RunOptions& options) {
    Result r;
    if (argv.empty()) {
        r.status = -1;
        return r;
    }
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        r.status = -1;
        return r;
    }
    if (pid == 0) {
        if (!options.directory.empty() && chdir(options.directory.c_str()) != 0)
            _exit(126);
        for (const auto& [name, value] : options.environment)
            setenv(name.c_str(), value.c_str(), 1);
        if (!options.stdoutPath.empty()) {
            const int fd = ::open(options.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || dup2(fd, 1) < 0)
                _exit(126);
        }
        if (!options.stderrPath.empty()) {
            const int fd = ::open(options.stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || dup2(fd, 2) < 0)
                _exit(126);
        }
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    struct rusage ru {};
    // The kernel keeps no peak of the private memory alone, so it is read while the command
    // runs; a peak shorter than the sampling step can be missed.
    for (;;) {
        const pid_t done = wait4(pid, &status, options.sampleMilliseconds > 0 ? WNOHANG : 0, &ru);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR) {
            r.status = -1;
            return r;
        }
        if (done == 0) {
            r.peakAnonKb = std::max(r.peakAnonKb, anonKb(pid));
            std::this_thread::sleep_for(std::chrono::milliseconds(options.sampleMilliseconds));
        }
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.maxRssKb = ru.ru_maxrss;
    r.cpuSeconds = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                   static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

namespace {

template <typename Field> double medianOf(const std::vector<Result>& runs, Field field) {
    std::vector<double> v;
    for (const Result& r : runs)
        v.push_back(field(r));
    return median(v);
}

} // namespace

double PairFigures::oursSeconds() const {
    return medianOf(ours, [](const Result& r) { return r.seconds; });
}
double PairFigures::theirSeconds() const {
    return medianOf(theirs, [](const Result& r) { return r.seconds; });
}
double PairFigures::oursCpu() const {
    return medianOf(ours, [](const Result& r) { return r.cpuSeconds; });
}
double PairFigures::theirCpu() const {
    return medianOf(theirs, [](const Result& r) { return r.cpuSeconds; });
}

double PairFigures::pairRatio() const {
    std::vector<double> v;
    for (size_t i = 0; i < ours.size() && i < theirs.size(); ++i)
        if (theirs[i].seconds > 0)
            v.push_back(ours[i].seconds / theirs[i].seconds);
    return median(v);
}

long PairFigures::oursPeakAnonKb() const {
    long peak = 0;
    for (const Result& r : ours)
        peak = std::max(peak, r.peakAnonKb);
    return peak;
}

void printPairHeader() {
    std::printf("%-34s %5s %9s %9s %6s %6s %8s %8s %6s %9s\n", "", "pairs", "ours s", "peer s",
                "ratio", "pair r", "ours cpu", "peer cpu", "ratio", "RssAnon");
}

void printPair(int index, const Result& ours, const Result& theirs) {
    std::printf("    pair %d: ours %.2f s (cpu %.2f, RssAnon %.1f MiB), peer %.2f s (cpu %.2f)\n",
                index, ours.seconds, ours.cpuSeconds, static_cast<double>(ours.peakAnonKb) / 1024.0,
                theirs.seconds, theirs.cpuSeconds);
    std::fflush(stdout);
}

bool printPairRow(const std::string& name, const PairFigures& f, double goal) {
    if (!f.ok) {
        std::printf("%-34s failed: %s\n", name.c_str(), f.failure.c_str());
        std::fflush(stdout);
        return false;
    }
    const double ratio = f.oursSeconds() / f.theirSeconds();
    std::printf("%-34s %5zu %9.2f %9.2f %6.3f %6.3f %8.2f %8.2f %6.3f %6.1f MiB", name.c_str(),
                f.ours.size(), f.oursSeconds(), f.theirSeconds(), ratio, f.pairRatio(), f.oursCpu(),
                f.theirCpu(), f.oursCpu() / f.theirCpu(),
                static_cast<double>(f.oursPeakAnonKb()) / 1024.0);
    if (goal > 0)
        std::printf("  goal <= %.2f: %s", goal, ratio <= goal ? "met" : "MISSED");
    std::printf("\n");
    // How far the pairs spread, and how busy the machine was: figures of a loaded machine
    // are only worth comparing with each other.
    std::vector<double> ratios;
    for (size_t i = 0; i < f.ours.size() && i < f.theirs.size(); ++i)
        if (f.theirs[i].seconds > 0)
            ratios.push_back(f.ours[i].seconds / f.theirs[i].seconds);
    if (!ratios.empty()) {
        const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
        std::printf("%-34s pairs' wall ratios %.3f .. %.3f; load average %s\n", "", *low, *high,
                    loadAverage().c_str());
    }
    std::fflush(stdout);
    return true;
}

std::string loadAverage() {
    std::FILE* f = std::fopen("/proc/loadavg", "r");
    if (!f)
        return "unknown";
    double one = 0;
    double five = 0;
    const int n = std::fscanf(f, "%lf %lf", &one, &five);
    std::fclose(f);
    if (n != 2)
        return "unknown";
    char text[48];
    std::snprintf(text, sizeof text, "%.2f (1 min), %.2f (5 min)", one, five);
    return text;
}

std::vector<std::string> shell(const std::string& script) {
    return {"/bin/sh", "-c", script};
}

} // namespace cldbench

namespace cldbench {

void writeWavHeader(std::ostream& out, uint64_t frames, uint32_t rate) {
    const auto data = static_cast<uint32_t>(std::min<uint64_t>(frames * 4, 0xFFFFFFFFull - 36));
    auto put32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    put32(36 + data);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(2);
    put32(rate);
    put32(rate * 4);
    put16(4);
    put16(16);
    out.write("data", 4);
    put32(data);
}

} // namespace cldbench
