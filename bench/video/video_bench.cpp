// Times our AVI-to-WMV conversion against ffmpeg with the same codecs and settings on a
// generated 320x240 clip with sound (Windows Media Video 8 at 320 kbit/s, 25 pictures a
// second, a key picture every 5 s; Windows Media Audio 2 at 64 kbit/s, 44.1 kHz
// stereo). Each pair runs alternately several times; the medians and ours/theirs are
// printed. A second line gives what the preview and postview add to our conversion.
//
//   video_bench [--seconds N] [--runs N]
#include "BenchProcess.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using cldbench::median;
using cldbench::Result;
using cldbench::runCommand;

struct Medians {
    double seconds = 0;
    double cpu = 0;
    long rss = 0;
};

} // namespace

int main(int argc, char** argv) {
    int seconds = 60;
    int runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));
    }
    const fs::path self = fs::canonical("/proc/self/exe").parent_path();
    const std::string tool = (self / "video_tool").string();
    const std::string profiles = (self / "profiles").string();
    const std::string profile = "Video for broadband (384 Kbps, 320x240)";

    char pattern[] = "/tmp/cld-video-bench-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir = pattern;
    const std::string clip = (dir / "clip.avi").string();
    const std::string t = std::to_string(seconds);
    const Result made = runCommand(
        {"ffmpeg", "-v",    "error", "-y",
         "-f",     "lavfi", "-i",    "testsrc2=size=320x240:rate=25:duration=" + t,
         "-f",     "lavfi", "-i",    "sine=frequency=440:sample_rate=44100:duration=" + t,
         "-ac",    "2",     "-c:v",  "mpeg4",
         "-q:v",   "4",     "-c:a",  "pcm_s16le",
         clip});
    if (made.status != 0) {
        std::fprintf(stderr, "video_bench: ffmpeg could not make the clip\n");
        return 1;
    }

    const std::vector<std::string> ours{tool, profiles, profile, clip, (dir / "ours.wmv").string()};
    std::vector<std::string> oursViews = ours;
    oursViews.push_back("--views");
    const std::vector<std::string> theirs{"ffmpeg", "-v",       "error",
                                          "-y",     "-i",       clip,
                                          "-c:v",   "wmv2",     "-b:v",
                                          "320k",   "-s",       "320x240",
                                          "-r",     "25",       "-g",
                                          "125",    "-pix_fmt", "yuv420p",
                                          "-c:a",   "wmav2",    "-b:a",
                                          "64k",    "-ar",      "44100",
                                          "-ac",    "2",        (dir / "theirs.wmv").string()};

    std::vector<double> a, b, c, ca, cb, cc;
    long rss = 0;
    for (int i = 0; i < runs; ++i) {
        const Result r1 = runCommand(ours);
        const Result r2 = runCommand(theirs);
        const Result r3 = runCommand(oursViews);
        if (r1.status != 0 || r2.status != 0 || r3.status != 0) {
            std::printf("failed (ours %d, ffmpeg %d, ours with views %d)\n", r1.status, r2.status,
                        r3.status);
            fs::remove_all(dir);
            return 1;
        }
        a.push_back(r1.seconds);
        b.push_back(r2.seconds);
        c.push_back(r3.seconds);
        ca.push_back(r1.cpuSeconds);
        cb.push_back(r2.cpuSeconds);
        cc.push_back(r3.cpuSeconds);
        rss = std::max(rss, r1.maxRssKb);
    }
    std::printf("%d-s 320x240 clip, %d runs (median wall / cpu seconds)\n", seconds, runs);
    std::printf("AVI to WMV, views off  ours %6.2f / %6.2f   ffmpeg %6.2f / %6.2f   ratio %.2f "
                "(cpu %.2f)   our peak %ld KiB\n",
                median(a), median(ca), median(b), median(cb), median(a) / median(b),
                median(ca) / median(cb), rss);
    std::printf("AVI to WMV, views on   ours %6.2f / %6.2f   the views add %.0f%% (cpu %.0f%%)\n",
                median(c), median(cc), 100.0 * (median(c) / median(a) - 1.0),
                100.0 * (median(cc) / median(ca) - 1.0));
    fs::remove_all(dir);
    return 0;
}
