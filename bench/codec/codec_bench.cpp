// Times our codec jobs against the reference command-line tools on the same input:
//   MP3 encode (CBR 128, VBR, at the default quality 1) against lame, also from a 24-bit
//   (WAVE_FORMAT_EXTENSIBLE) and a 32-bit float copy of the input, and with ReplayGain
//   values against lame's accurate ReplayGain,
//   MP3 decode against lame --decode,
//   WMA encode and decode against ffmpeg with wmav2 at the same bitrate.
// Each pair runs alternately several times; the medians and ours/theirs are printed,
// with the peak resident memory of our side.
//
//   codec_bench [--minutes N] [--runs N] [--memory] [--only NAME]
//
// --memory also encodes and decodes a 60-minute input once to show that our peak memory
// does not grow with the input's length. --only runs the rows whose name contains NAME
// (for example "mp3 decode").
#include "BenchProcess.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
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

// Music-like test input: a few drifting tones over soft noise, so that the encoders work
// as hard as on real recordings.
void writeInput(const fs::path& path, int seconds) {
    const uint32_t rate = 44100;
    const uint64_t frames = static_cast<uint64_t>(seconds) * rate;
    std::ofstream out(path, std::ios::binary);
    cldbench::writeWavHeader(out, frames, rate);
    std::mt19937 rng(1234);
    std::normal_distribution<double> noise(0.0, 0.05);
    std::vector<int16_t> block(2 * 4096);
    double ph[4] = {0, 0, 0, 0};
    const double pi = 3.14159265358979323846;
    for (uint64_t i = 0; i < frames;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(4096, frames - i));
        for (size_t k = 0; k < n; ++k, ++i) {
            const double t = static_cast<double>(i) / rate;
            const double f[4] = {220 + 30 * std::sin(t * 0.3), 330 + 50 * std::sin(t * 0.17),
                                 880 + 200 * std::sin(t * 0.05), 2500 + 900 * std::sin(t * 0.11)};
            double v[2] = {0, 0};
            for (int j = 0; j < 4; ++j) {
                ph[j] += 2 * pi * f[j] / rate;
                const double s = std::sin(ph[j]) * (0.18 / (1 + j));
                v[j % 2] += s;
                v[(j + 1) % 2] += 0.5 * s;
            }
            for (int c = 0; c < 2; ++c) {
                const double x = std::clamp(v[c] + noise(rng), -1.0, 1.0);
                block[2 * k + static_cast<size_t>(c)] =
                    static_cast<int16_t>(std::lround(x * 32000));
            }
        }
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n * 4));
    }
}

struct Pair {
    std::string name;
    std::vector<std::string> ours;
    std::vector<std::string> theirs;
};

bool compare(const Pair& p, int runs) {
    std::vector<double> a;
    std::vector<double> b;
    std::vector<double> ca;
    std::vector<double> cb;
    long rss = 0;
    for (int i = 0; i < runs; ++i) {
        const Result ours = runCommand(p.ours);
        const Result theirs = runCommand(p.theirs);
        if (ours.status != 0 || theirs.status != 0) {
            std::printf("%-22s failed (ours %d, theirs %d)\n", p.name.c_str(), ours.status,
                        theirs.status);
            return false;
        }
        a.push_back(ours.seconds);
        b.push_back(theirs.seconds);
        ca.push_back(ours.cpuSeconds);
        cb.push_back(theirs.cpuSeconds);
        rss = std::max(rss, ours.maxRssKb);
    }
    const double ma = median(a);
    const double mb = median(b);
    const double mca = median(ca);
    const double mcb = median(cb);
    std::printf(
        "%-20s wall %7.3f / %7.3f s = %5.3f   cpu %7.3f / %7.3f s = %5.3f   peak %5.1f MiB\n",
        p.name.c_str(), ma, mb, ma / mb, mca, mcb, mca / mcb, static_cast<double>(rss) / 1024.0);
    std::fflush(stdout);
    return true;
}

fs::path selfDir() {
    return fs::read_symlink("/proc/self/exe").parent_path();
}

} // namespace

int main(int argc, char** argv) {
    int minutes = 10;
    int runs = 5;
    bool memory = false;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--minutes" && i + 1 < argc)
            minutes = std::max(1, std::atoi(argv[++i]));
        else if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--memory")
            memory = true;
        else if (a == "--only" && i + 1 < argc)
            only = argv[++i];
        else {
            std::fprintf(stderr,
                         "usage: codec_bench [--minutes N] [--runs N] [--memory] [--only NAME]\n");
            return 2;
        }
    }
    const fs::path bin = selfDir();
    const std::string tool = (bin / "codec_tool").string();
    const std::string profiles = (bin / "profiles").string();
    const std::string wmaProfile = "Audio for CD transparency (128 Kbps stereo)";
    const fs::path dir = fs::temp_directory_path() / ("codec_bench." + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string wav = (dir / "in.wav").string();
    std::printf("input: %d minutes of 44.1 kHz stereo, %d alternating runs each\n", minutes, runs);
    writeInput(wav, minutes * 60);
    const std::string mp3 = (dir / "ref.mp3").string();
    const std::string wma = (dir / "ref.wma").string();
    runCommand({"lame", "--quiet", "-b", "128", "-q", "1", wav, mp3});
    runCommand({"ffmpeg", "-v", "error", "-y", "-i", wav, "-c:a", "wmav2", "-b:a", "128k", wma});
    const std::string o = (dir / "o").string();
    const std::string t = (dir / "t").string();
    // The same sound in deeper sample formats, as other programs write them.
    const std::string wav24 = (dir / "in24.wav").string();
    const std::string wavFloat = (dir / "inf.wav").string();
    runCommand({"ffmpeg", "-v", "error", "-y", "-i", wav, "-c:a", "pcm_s24le", wav24});
    runCommand({"ffmpeg", "-v", "error", "-y", "-i", wav, "-c:a", "pcm_f32le", wavFloat});

    const std::vector<Pair> pairs = {
        {"mp3 encode CBR 128",
         {tool, "mp3-encode", wav, o + ".mp3", "cbr", "128", "quality", "1"},
         {"lame", "--quiet", "-b", "128", "-q", "1", wav, t + ".mp3"}},
        // lame measures the loudness too, fast and roughly unless told otherwise.
        {"mp3 encode CBR 128 + ReplayGain",
         {tool, "mp3-encode", wav, o + ".mp3", "cbr", "128", "quality", "1", "replaygain"},
         {"lame", "--quiet", "--replaygain-accurate", "-b", "128", "-q", "1", wav, t + ".mp3"}},
        {"mp3 encode VBR",
         {tool, "mp3-encode", wav, o + ".mp3", "vbr", "min", "128", "vbrq", "0", "quality", "1"},
         {"lame", "--quiet", "-V", "0", "-b", "128", "-B", "192", "-q", "1", wav, t + ".mp3"}},
        {"mp3 encode 24-bit",
         {tool, "mp3-encode", wav24, o + ".mp3", "cbr", "128", "quality", "1"},
         {"lame", "--quiet", "-b", "128", "-q", "1", wav24, t + ".mp3"}},
        {"mp3 encode float",
         {tool, "mp3-encode", wavFloat, o + ".mp3", "cbr", "128", "quality", "1"},
         {"lame", "--quiet", "-b", "128", "-q", "1", wavFloat, t + ".mp3"}},
        {"mp3 decode",
         {tool, "mp3-decode", mp3, o + ".wav"},
         {"lame", "--quiet", "--decode", mp3, t + ".wav"}},
        {"wma encode 128k",
         {tool, "wma-encode", wav, o + ".wma", profiles, wmaProfile},
         {"ffmpeg", "-v", "error", "-y", "-i", wav, "-c:a", "wmav2", "-b:a", "128k", t + ".wma"}},
        {"wma decode",
         {tool, "wma-decode", wma, o + ".wav"},
         {"ffmpeg", "-v", "error", "-y", "-i", wma, t + ".wav"}},
    };
    bool ok = true;
    for (const Pair& p : pairs) {
        if (p.name.find(only) != std::string::npos)
            ok = compare(p, runs) && ok;
    }

    if (memory) {
        const std::string longWav = (dir / "long.wav").string();
        std::printf("peak memory, %d minutes against 60 minutes:\n", minutes);
        writeInput(longWav, 60 * 60);
        const std::string longMp3 = (dir / "long.mp3").string();
        const std::string longWma = (dir / "long.wma").string();
        struct Job {
            const char* name;
            std::vector<std::string> shortRun;
            std::vector<std::string> longRun;
        };
        const std::vector<Job> jobs = {
            {"mp3 encode",
             {tool, "mp3-encode", wav, o + ".mp3"},
             {tool, "mp3-encode", longWav, longMp3}},
            {"mp3 decode",
             {tool, "mp3-decode", mp3, o + ".wav"},
             {tool, "mp3-decode", longMp3, o + ".wav"}},
            {"wma encode",
             {tool, "wma-encode", wav, o + ".wma", profiles, wmaProfile},
             {tool, "wma-encode", longWav, longWma, profiles, wmaProfile}},
            {"wma decode",
             {tool, "wma-decode", wma, o + ".wav"},
             {tool, "wma-decode", longWma, o + ".wav"}},
        };
        for (const Job& j : jobs) {
            const Result s = runCommand(j.shortRun);
            const Result l = runCommand(j.longRun);
            std::printf("%-12s %6.1f MiB   %6.1f MiB\n", j.name,
                        static_cast<double>(s.maxRssKb) / 1024.0,
                        static_cast<double>(l.maxRssKb) / 1024.0);
        }
    }
    fs::remove_all(dir);
    return ok ? 0 : 1;
}
