// Times our AVI-to-WMV conversion against ffmpeg with the same codecs and settings on a
// generated 640x480 clip with sound (Windows Media Video 8 at 900 kbit/s, 30 pictures a
// second, a key picture every 5 s; Windows Media Audio 2 at 128 kbit/s, 44.1 kHz stereo:
// the "Video for LAN" profile). Ours runs three ways: through the conversion progress
// dialog as a user sees it (preview and postview drawn, the dialog's waits and closing
// message included), the encoder with the two view areas drawn, and the encoder alone.
// The four commands run in turn, several rounds (A B C D A B C D ...); medians of wall
// and CPU time are printed with each one's ratio to ffmpeg, and the peak private memory
// (RssAnon) of each.
//
//   video_bench [--seconds N] [--runs N]
#include "BenchProcess.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using cldbench::median;

// Runs the command with its standard output to `out`, sampling its private memory
// every few milliseconds until it exits.
cldbench::Result runSampled(const std::vector<std::string>& argv, const std::string& out) {
    cldbench::RunOptions options;
    options.sampleMilliseconds = 5;
    options.stdoutPath = out;
    return cldbench::runCommand(argv, options);
}

std::string lastLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::string last;
    while (std::getline(in, line))
        if (!line.empty())
            last = line;
    return last;
}

struct Row {
    const char* name;
    std::vector<std::string> argv;
    std::vector<double> wall;
    std::vector<double> cpu;
    long rss = 0;
    std::string views;
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
    const std::string profile = "Video for LAN (1 Mbps, 640x480)";
    // The views draw without a screen.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);

    char pattern[] = "/tmp/cld-video-bench-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir = pattern;
    // The registry of the dialog's run stays inside the bench's folder.
    setenv("CLD_REGISTRY_DIR", (dir / "registry").c_str(), 1);
    const std::string clip = (dir / "clip.avi").string();
    const std::string t = std::to_string(seconds);
    const cldbench::Result made = cldbench::runCommand(
        {"ffmpeg", "-v",    "error", "-y",
         "-f",     "lavfi", "-i",    "testsrc2=size=640x480:rate=30:duration=" + t,
         "-f",     "lavfi", "-i",    "sine=frequency=440:sample_rate=44100:duration=" + t,
         "-ac",    "2",     "-c:v",  "mpeg4",
         "-q:v",   "4",     "-c:a",  "pcm_s16le",
         clip});
    if (made.status != 0) {
        std::fprintf(stderr, "video_bench: ffmpeg could not make the clip\n");
        return 1;
    }

    const std::vector<std::string> ours{tool, profiles, profile, clip, (dir / "ours.wmv").string()};
    auto with = [&](const char* flag) {
        std::vector<std::string> v = ours;
        v.push_back(flag);
        return v;
    };
    std::vector<Row> rows{
        {"ours, dialog", with("--dialog"), {}, {}, 0, {}},
        {"ffmpeg",
         {"ffmpeg", "-v",       "error",
          "-y",     "-i",       clip,
          "-c:v",   "wmv2",     "-b:v",
          "900k",   "-s",       "640x480",
          "-r",     "30",       "-g",
          "150",    "-pix_fmt", "yuv420p",
          "-c:a",   "wmav2",    "-b:a",
          "128k",   "-ar",      "44100",
          "-ac",    "2",        (dir / "theirs.wmv").string()},
         {},
         {},
         0,
         {}},
        {"ours, views drawn", with("--views"), {}, {}, 0, {}},
        {"ours, no views", ours, {}, {}, 0, {}},
    };
    const std::string out = (dir / "out.txt").string();
    for (int i = 0; i < runs; ++i) {
        for (Row& row : rows) {
            const cldbench::Result r = runSampled(row.argv, out);
            if (r.status != 0) {
                std::printf("%s failed (%d)\n", row.name, r.status);
                fs::remove_all(dir);
                return 1;
            }
            row.wall.push_back(r.seconds);
            row.cpu.push_back(r.cpuSeconds);
            row.rss = std::max(row.rss, r.peakAnonKb);
            row.views = lastLine(out);
        }
    }
    const double refWall = median(rows[1].wall);
    const double refCpu = median(rows[1].cpu);
    std::printf("%d-s 640x480 clip, %d rounds; medians of wall and CPU seconds, ratio to ffmpeg\n",
                seconds, runs);
    for (const Row& row : rows) {
        const double w = median(row.wall);
        const double c = median(row.cpu);
        std::printf("%-18s wall %6.2f (%.2f)   cpu %6.2f (%.2f)   peak RssAnon %6.1f MiB\n",
                    row.name, w, w / refWall, c, c / refCpu, static_cast<double>(row.rss) / 1024.0);
    }
    const double drawn = median(rows[2].wall) / median(rows[3].wall);
    const double drawnCpu = median(rows[2].cpu) / median(rows[3].cpu);
    std::printf("the drawn views add %.0f%% wall, %.0f%% cpu to the encoder alone\n",
                100.0 * (drawn - 1.0), 100.0 * (drawnCpu - 1.0));
    std::printf("views in the dialog's last run: %s\n", rows[0].views.c_str());
    fs::remove_all(dir);
    return 0;
}
