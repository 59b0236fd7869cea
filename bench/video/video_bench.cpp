// Times our AVI-to-WMV conversion as a user waits for it against ffmpeg with the same
// codecs and settings, on a generated 640x480 clip with sound (Windows Media Video 8 at
// 900 kbit/s, 30 pictures a second, a key picture every 5 s; Windows Media Audio 2 at
// 128 kbit/s, 44.1 kHz stereo: the "Video for LAN" profile). Ours runs three ways: the
// whole program, `CLD --job video-to-wmv clip.avi` run to its end unattended
// (CLD_AUTOMATION=run, offscreen: its start, the settings dialog confirmed as it stands,
// the progress dialog with its preview and postview drawn, its waits and closing message,
// the program's end; the program is a copy whose profiles folder holds that one profile,
// which the dialog therefore proposes), and for the split of the time the encoder with the
// two view areas drawn and the encoder alone (video_tool). The four commands run in turn,
// several rounds (A B C D A B C D ...); medians of wall and CPU time are printed with each
// one's ratio to ffmpeg, the spread of the whole program's ratios, the load and the peak
// private memory (RssAnon) of each. Goal of the whole program: <= 1.10 x ffmpeg's wall.
//
//   video_bench [--seconds N] [--runs N]
#include "BenchProgram.h"

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

    // The program, copied with the one profile the row converts with.
    const fs::path program = dir / "program";
    fs::create_directories(program / "profiles");
    for (const char* f :
         {"CLD", "libCLDRes.so", "cld.chm", "libcldrip.so", "WMFDist.exe", "WMEDist.exe"})
        fs::copy_file(self / f, program / f);
    fs::copy_file(self / "profiles" / (profile + ".prx"),
                  program / "profiles" / (profile + ".prx"));
    const fs::path jobClip = dir / "job" / "clip.avi";
    fs::create_directories(jobClip.parent_path());
    fs::create_symlink(clip, jobClip);
    const std::vector<std::string> job{(program / "CLD").string(), "--job", "video-to-wmv",
                                       jobClip.string()};

    const std::vector<std::string> ours{tool, profiles, profile, clip, (dir / "ours.wmv").string()};
    auto with = [&](const char* flag) {
        std::vector<std::string> v = ours;
        v.push_back(flag);
        return v;
    };
    std::vector<Row> rows{
        {"CLD --job", job, {}, {}, 0, {}},
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
    std::vector<double> jobRatios;
    // A first round that is not counted: the copied program's first start reads its files
    // from the disk, later ones (as a user's) from the page cache.
    for (int i = -1; i < runs; ++i) {
        for (Row& row : rows) {
            const bool isJob = &row == &rows[0];
            fs::remove(dir / "job" / "clip.wmv");
            cldbench::Result r;
            if (isJob) {
                cldbench::RunOptions options = cldbench::cldJobOptions();
                options.sampleMilliseconds = 5;
                r = cldbench::runCommand(row.argv, options);
                if (r.status == 0 && (!fs::exists(dir / "job" / "clip.wmv") ||
                                      fs::file_size(dir / "job" / "clip.wmv") < 1000))
                    r.status = 1;
            } else {
                r = runSampled(row.argv, out);
                row.views = lastLine(out);
            }
            if (r.status != 0) {
                std::printf("%s failed (%d)\n", row.name, r.status);
                fs::remove_all(dir);
                return 1;
            }
            if (i < 0)
                continue;
            row.wall.push_back(r.seconds);
            row.cpu.push_back(r.cpuSeconds);
            row.rss = std::max(row.rss, r.peakAnonKb);
        }
        if (i >= 0)
            jobRatios.push_back(rows[0].wall.back() / rows[1].wall.back());
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
    const auto [low, high] = std::minmax_element(jobRatios.begin(), jobRatios.end());
    const double jobRatio = median(rows[0].wall) / refWall;
    std::printf("CLD --job against ffmpeg: %.3f (rounds %.3f .. %.3f); goal <= 1.10: %s; load "
                "average %s\n",
                jobRatio, *low, *high, jobRatio <= 1.10 ? "met" : "MISSED",
                cldbench::loadAverage().c_str());
    fs::remove_all(dir);
    return 0;
}
