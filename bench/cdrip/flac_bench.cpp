// FLAC encoding of a whole disc: the grabber's FLAC writer (flac_tool, a process of its
// own) against the `flac -5` command on the same WAV file, as whole processes run in
// alternating pairs. Prints each run, the medians and their ratio (goal: at most 1.05).
//
//   flac_bench [minutes (74)] [pairs (5)]

#include "BenchProcess.h"
#include "VDriveKit.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string toolPath(const char* argv0) {
    return (std::filesystem::absolute(argv0).parent_path() / "flac_tool").string();
}

bool writeWav(const std::filesystem::path& path, long sectors) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const std::uint64_t data = static_cast<std::uint64_t>(sectors) * 2352;
    unsigned char h[44] = {'R', 'I', 'F',  'F',  0,   0,   0,    0,    'W', 'A', 'V',
                           'E', 'f', 'm',  't',  ' ', 16,  0,    0,    0,   1,   0,
                           2,   0,   0x44, 0xAC, 0,   0,   0x10, 0xB1, 2,   0,   4,
                           0,   16,  0,    'd',  'a', 't', 'a',  0,    0,   0,   0};
    const auto put32 = [&h](int at, std::uint64_t v) {
        for (int i = 0; i < 4; ++i)
            h[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    put32(4, data + 36);
    put32(40, data);
    bool ok = std::fwrite(h, 1, sizeof h, f) == sizeof h;
    std::vector<std::uint8_t> sector(2352);
    // Music-like audio of the virtual drive's test discs: tones and noise, with a
    // track change every five minutes.
    for (long s = 0; ok && s < sectors; ++s) {
        vdrivekit::generateSector(vdrivekit::Content::Music, static_cast<int>(s / 22500) + 1,
                                  s % 22500, sector.data());
        ok = std::fwrite(sector.data(), 1, sector.size(), f) == sector.size();
    }
    return std::fclose(f) == 0 && ok;
}

long fileSize(const std::filesystem::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

} // namespace

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::atof(argv[1]) : 74.0;
    const int pairs = argc > 2 ? std::atoi(argv[2]) : 5;
    if (minutes <= 0 || minutes > 100 || pairs < 1 || pairs > 50) {
        std::fprintf(stderr, "usage: flac_bench [minutes 0..100] [pairs 1..50]\n");
        return 2;
    }
    char pattern[] = "/tmp/cld-flac-bench-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    if (!made) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path dir(made);
    const auto wav = dir / "disc.wav";
    const auto ours = dir / "ours.flac";
    const auto theirs = dir / "flac.flac";
    const long sectors = static_cast<long>(minutes * 60 * 75);
    if (!writeWav(wav, sectors)) {
        std::fprintf(stderr, "cannot write %s\n", wav.c_str());
        std::filesystem::remove_all(dir);
        return 1;
    }
    const std::vector<std::string> a = {toolPath(argv[0]), wav.string(), ours.string()};
    const std::vector<std::string> b = {"flac",          "-5",        "-f", "-s", "-o",
                                        theirs.string(), wav.string()};
    std::printf("FLAC encoding of %.1f minutes (%ld sectors, %.0f MB), %d alternating pairs\n",
                minutes, sectors, static_cast<double>(sectors) * 2352 / 1e6, pairs);
    std::vector<double> wallA, wallB, cpuA, cpuB;
    int failed = 0;
    for (int i = 0; i < pairs; ++i) {
        // The writer never replaces a file, so the last run's output goes first.
        std::filesystem::remove(ours);
        const cldbench::Result ra = cldbench::runCommand(a);
        const cldbench::Result rb = cldbench::runCommand(b);
        if (ra.status != 0 || rb.status != 0) {
            std::fprintf(stderr, "run %d failed: flac_tool %d, flac %d\n", i + 1, ra.status,
                         rb.status);
            ++failed;
            break;
        }
        wallA.push_back(ra.seconds);
        wallB.push_back(rb.seconds);
        cpuA.push_back(ra.cpuSeconds);
        cpuB.push_back(rb.cpuSeconds);
        std::printf("  pair %d: grabber's writer %.2f s (cpu %.2f s, %ld MB peak), flac -5 %.2f s "
                    "(cpu %.2f s, %ld MB peak)\n",
                    i + 1, ra.seconds, ra.cpuSeconds, ra.maxRssKb / 1024, rb.seconds, rb.cpuSeconds,
                    rb.maxRssKb / 1024);
    }
    int result = failed ? 1 : 0;
    if (!failed) {
        const double ma = cldbench::median(wallA), mb = cldbench::median(wallB);
        std::printf("median wall: grabber's writer %.2f s, flac -5 %.2f s, ratio %.3f (goal <= "
                    "1.05)\n",
                    ma, mb, ma / mb);
        std::printf("median cpu:  grabber's writer %.2f s, flac -5 %.2f s, ratio %.3f\n",
                    cldbench::median(cpuA), cldbench::median(cpuB),
                    cldbench::median(cpuA) / cldbench::median(cpuB));
        std::printf("sizes: grabber's writer %ld bytes, flac -5 %ld bytes\n", fileSize(ours),
                    fileSize(theirs));
    }
    std::filesystem::remove_all(dir);
    return result;
}
