// The conversion jobs as a user waits for them: every run of ours is the whole program,
// `CLD --job NAME FILE...` started from a shell, with its start (libraries, settings, the
// launcher), the job's dialog confirmed as it stands, the progress dialog with its own
// waits, the closing message and the program's end (CLD_AUTOMATION=run, offscreen
// platform). The command line's rows run `calderine` the same way. The peer is the command
// a user would type instead, with the same settings and the same number of cores. Each row
// alternates our run and the peer's (A B A B ...) and prints the medians of wall and CPU
// (user + system of the process and every child it waited for) time, their ratios, the
// spread of the pairs' ratios, the load and the peak private memory (RssAnon) of ours.
//
//   bench_convert [options] [ROW...]
//
// Rows (all without ROW):
//   batch    100 WAV files of 5 s -> MP3 (CBR 128 kbit/s, quality 1: a first start's
//            settings), CLD --job wav-to-mp3 FOLDER with "ParallelJobs" 0 (one job per core)
//            against  ls *.wav | xargs -P<cores> -n1 lame --quiet -b 128 -q 1
//   batch1   the same with "ParallelJobs" 1, against a lame loop
//   decode   a 5-minute MP3 (made by lame) -> WAV: CLD --job mp3-to-wav against
//            lame --decode, and calderine decode against mpg123 -w
//   start    how soon CLD --job shows its first dialog (the program's own figure, from the
//            process's start), median of several runs
//   memory   one WAV -> MP3 job (CLD --job wav-to-mp3 FILE) on a 2-minute and on a 2-hour
//            WAV: both peaks must match
//
// The CD rows are in bench_rip. Options: --pairs N (5), --files N (100), --seconds S (5),
// --decode-minutes M (5), --short-minutes M (2), --long-minutes M (120), --runs N (10, for
// `start`), --show-pairs (print every pair as it ends). Everything happens in a fresh
// folder under the system's temporary folder, removed afterwards. The exit code is 1 when
// a row failed (a run that did not complete, or outputs missing), whatever the figures; a
// missed goal prints MISSED.

#include "BenchProgram.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using cldbench::BenchSettings;
using cldbench::PairFigures;
using cldbench::Result;
using cldbench::runCommand;
using cldbench::RunOptions;

namespace {

constexpr const char* kLame128 = "lame --quiet -b 128 -q 1";

struct Options {
    int pairs = 5;
    int files = 100;
    double seconds = 5;
    double decodeMinutes = 5;
    double shortMinutes = 2;
    double longMinutes = 120;
    int runs = 10;
    bool showPairs = false;
};

// A long WAV that costs no disk: one minute of sound, then a hole the file system reads as
// digital silence.
void writeLongWav(const fs::path& path, double minutes) {
    cldbench::writeMusicWav(path, std::min(minutes, 1.0) * 60, 7);
    const auto frames = static_cast<uint64_t>(minutes * 60 * 44100);
    {
        std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
        cldbench::writeWavHeader(out, frames);
    }
    fs::resize_file(path, 44 + frames * 4);
}

bool batchRow(const fs::path& root, const Options& o, BenchSettings& settings, bool parallel) {
    const fs::path in = root / "wavs";
    const fs::path peer = root / "peer";
    if (!fs::exists(in)) {
        fs::create_directories(in);
        for (int i = 0; i < o.files; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "take%03d.wav", i);
            cldbench::writeMusicWav(in / name, o.seconds, static_cast<unsigned>(i + 1));
        }
    }
    fs::create_directories(peer);
    // The peer writes each MP3 beside its input: it works on links to the same files. Ours
    // writes into the folder the job proposes (a subfolder of the input folder).
    for (const fs::path& wav : cldbench::filesWith(in, ".wav"))
        if (!fs::exists(peer / wav.filename()))
            fs::create_symlink(wav, peer / wav.filename());
    settings.setParallelJobs(parallel ? 0 : 1);
    const std::string peerScript =
        parallel ? "ls *.wav | xargs -P" + std::to_string(cldbench::cores()) + " -n1 " + kLame128
                 : std::string("for f in *.wav; do ") + kLame128 + " \"$f\" || exit 1; done";
    RunOptions inPeer;
    inPeer.directory = peer.string();
    PairFigures f = cldbench::runPairs(
        cldbench::cldJob("wav-to-mp3", {in.string()}), cldbench::cldJobOptions(),
        cldbench::shell(peerScript), inPeer, o.pairs,
        [&](bool ours) { cldbench::removeFilesWith(ours ? in : peer, ".mp3", ours); }, o.showPairs);
    cldbench::checkOutputs(f, {in}, ".mp3", static_cast<size_t>(o.files), true);
    cldbench::checkOutputs(f, {peer}, ".mp3", static_cast<size_t>(o.files));
    char name[80];
    std::snprintf(name, sizeof name, "%d x %g s WAV -> MP3, %s", o.files, o.seconds,
                  parallel ? "N = cores" : "N = 1");
    std::printf("  ours: CLD --job wav-to-mp3 FOLDER; peer: %s\n", peerScript.c_str());
    return cldbench::printPairRow(name, f, parallel ? 1.00 : 1.05);
}

bool decodeRow(const fs::path& root, const Options& o, BenchSettings& settings) {
    fs::create_directories(root / "ours");
    fs::create_directories(root / "peer");
    const fs::path wav = root / "source.wav";
    const fs::path mp3 = root / "ours" / "song.mp3";
    cldbench::writeMusicWav(wav, o.decodeMinutes * 60, 3);
    if (runCommand({"lame", "--quiet", "-b", "128", "-q", "1", wav.string(), mp3.string()})
            .status != 0) {
        std::printf("decode: lame could not make the MP3\n");
        return false;
    }
    fs::remove(wav);
    settings.setParallelJobs(0);
    // The job writes song.wav beside song.mp3, as it proposes.
    const fs::path ours = root / "ours" / "song.wav";
    const fs::path peer = root / "peer" / "song.wav";
    PairFigures f = cldbench::runPairs(
        cldbench::cldJob("mp3-to-wav", {mp3.string()}), cldbench::cldJobOptions(),
        {"lame", "--quiet", "--decode", mp3.string(), peer.string()}, {}, o.pairs,
        [&](bool isOurs) { fs::remove(isOurs ? ours : peer); }, o.showPairs);
    cldbench::checkOutputs(f, {ours.parent_path(), peer.parent_path()}, ".wav", 1);
    std::printf("  ours: CLD --job mp3-to-wav song.mp3; peer: lame --quiet --decode\n");
    char name[80];
    std::snprintf(name, sizeof name, "CLD MP3 -> WAV, %g min", o.decodeMinutes);
    bool ok = cldbench::printPairRow(name, f, 1.50);

    // The command line against the fastest decoder.
    const fs::path out = root / "cli";
    fs::create_directories(out);
    PairFigures g = cldbench::runPairs(
        cldbench::calderine({"decode", "--out", out.string(), mp3.string()}),
        cldbench::quietOptions(), {"mpg123", "-q", "-w", peer.string(), mp3.string()}, {}, o.pairs,
        [&](bool isOurs) { fs::remove(isOurs ? out / "song.wav" : peer); }, o.showPairs);
    cldbench::checkOutputs(g, {out, peer.parent_path()}, ".wav", 1);
    std::printf("  ours: calderine decode --out DIR song.mp3; peer: mpg123 -q -w OUT song.mp3\n");
    std::snprintf(name, sizeof name, "calderine MP3 -> WAV, %g min", o.decodeMinutes);
    ok = cldbench::printPairRow(name, g, 1.15) && ok;
    if (g.ok)
        std::printf("  CPU goal <= 1.15: %s\n",
                    g.oursCpu() / g.theirCpu() <= 1.15 ? "met" : "MISSED");
    return ok;
}

// The program's own figure of when the job's dialog was shown, from the line it prints.
double dialogShownMs(const fs::path& err) {
    std::ifstream in(err);
    std::string line;
    const std::string marker = "CLD job dialog shown after ";
    while (std::getline(in, line))
        if (line.rfind(marker, 0) == 0)
            return std::atof(line.c_str() + marker.size());
    return -1;
}

bool startRow(const fs::path& root, const Options& o) {
    fs::create_directories(root);
    const fs::path wav = root / "short.wav";
    const fs::path mp3 = root / "short.mp3";
    cldbench::writeMusicWav(wav, 1, 5);
    if (runCommand({"lame", "--quiet", wav.string(), mp3.string()}).status != 0) {
        std::printf("start: lame could not make the MP3\n");
        return false;
    }
    RunOptions options = cldbench::cldJobOptions();
    options.stderrPath = (root / "err.txt").string();
    std::vector<double> shown;
    std::vector<double> whole;
    for (int i = 0; i < o.runs; ++i) {
        fs::remove(root / "short.wav");
        const Result r = runCommand(cldbench::cldJob("mp3-to-wav", {mp3.string()}), options);
        const double ms = dialogShownMs(root / "err.txt");
        if (r.status != 0 || ms < 0 || !fs::exists(root / "short.wav")) {
            std::printf("start: run %d failed (exit %d)\n", i + 1, r.status);
            return false;
        }
        shown.push_back(ms);
        whole.push_back(r.seconds * 1000);
    }
    const auto [low, high] = std::minmax_element(shown.begin(), shown.end());
    const double m = cldbench::median(shown);
    std::printf("CLD --job mp3-to-wav: first dialog shown after %.0f ms (median of %d; %.0f .. "
                "%.0f), whole run of a 1 s file %.0f ms; goal <= 300 ms: %s; load average %s\n",
                m, o.runs, *low, *high, cldbench::median(whole), m <= 300 ? "met" : "MISSED",
                cldbench::loadAverage().c_str());
    return true;
}

bool memoryRow(const fs::path& root, const Options& o, BenchSettings& settings) {
    fs::create_directories(root);
    settings.setParallelJobs(1);
    // The peak of single runs was seen 8 MiB higher now and then, at two minutes as at two
    // hours, so short and long alternate and the lowest and highest peaks are compared.
    const int rounds = std::min(o.pairs, 3);
    std::printf("WAV -> MP3, one file (CLD --job wav-to-mp3 FILE): peak private memory against "
                "the input's length, %d alternating rounds\n",
                rounds);
    const double lengths[2] = {o.shortMinutes, o.longMinutes};
    std::vector<double> peaks[2];
    for (int i = 0; i < 2; ++i)
        writeLongWav(root / ("in" + std::to_string(i) + ".wav"), lengths[i]);
    bool ok = true;
    for (int round = 0; round < rounds && ok; ++round) {
        for (int i = 0; i < 2 && ok; ++i) {
            const fs::path wav = root / ("in" + std::to_string(i) + ".wav");
            const fs::path mp3 = root / ("in" + std::to_string(i) + ".mp3");
            const Result r = runCommand(cldbench::cldJob("wav-to-mp3", {wav.string()}),
                                        cldbench::cldJobOptions());
            ok = r.status == 0 && fs::exists(mp3) && fs::file_size(mp3) > 1000;
            std::printf("  %6g minutes: %7.2f s, cpu %7.2f s, RssAnon %6.1f MiB, VmHWM %6.1f "
                        "MiB%s\n",
                        lengths[i], r.seconds, r.cpuSeconds,
                        static_cast<double>(r.peakAnonKb) / 1024.0,
                        static_cast<double>(r.maxRssKb) / 1024.0, ok ? "" : "  (FAILED)");
            std::fflush(stdout);
            peaks[i].push_back(static_cast<double>(r.peakAnonKb));
            fs::remove(mp3);
        }
    }
    if (ok) {
        // The lowest peak is the job's own footprint; the highest is what a user may meet.
        // Both must be the same for the short and the long input.
        const auto [shortLow, shortHigh] = std::minmax_element(peaks[0].begin(), peaks[0].end());
        const auto [longLow, longHigh] = std::minmax_element(peaks[1].begin(), peaks[1].end());
        const double low = *longLow / *shortLow;
        const double high = *longHigh / *shortHigh;
        std::printf("  peaks, lowest and highest: %.1f / %.1f MiB short, %.1f / %.1f MiB long: "
                    "long / short %.2f and %.2f (goal: flat, <= 1.10): %s\n",
                    *shortLow / 1024.0, *shortHigh / 1024.0, *longLow / 1024.0, *longHigh / 1024.0,
                    low, high, low <= 1.10 && high <= 1.10 ? "met" : "MISSED");
    }
    std::fflush(stdout);
    return ok;
}

bool parseOptions(int argc, char** argv, Options& o, std::vector<std::string>& rows) {
    const std::map<std::string, double*> decimals = {{"--seconds", &o.seconds},
                                                     {"--decode-minutes", &o.decodeMinutes},
                                                     {"--short-minutes", &o.shortMinutes},
                                                     {"--long-minutes", &o.longMinutes}};
    const std::map<std::string, int*> counts = {
        {"--pairs", &o.pairs}, {"--files", &o.files}, {"--runs", &o.runs}};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (decimals.count(a) && hasValue) {
            *decimals.at(a) = std::atof(argv[++i]);
            if (!(*decimals.at(a) > 0))
                return false;
        } else if (counts.count(a) && hasValue) {
            *counts.at(a) = std::atoi(argv[++i]);
            if (*counts.at(a) < 1)
                return false;
        } else if (a == "--show-pairs") {
            o.showPairs = true;
        } else if (a == "batch" || a == "batch1" || a == "decode" || a == "start" ||
                   a == "memory") {
            rows.push_back(a);
        } else {
            return false;
        }
    }
    if (o.files > 999 || o.longMinutes > 400 || o.shortMinutes > 400 || o.decodeMinutes > 400)
        return false;
    if (rows.empty())
        rows = {"start", "batch", "batch1", "decode", "memory"};
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    std::vector<std::string> rows;
    if (!parseOptions(argc, argv, o, rows)) {
        std::fprintf(stderr,
                     "usage: bench_convert [--pairs N] [--files N] [--seconds S] "
                     "[--decode-minutes M] [--short-minutes M] [--long-minutes M] [--runs N] "
                     "[--show-pairs] [start|batch|batch1|decode|memory ...]\n");
        return 2;
    }
    char pattern[] = "/tmp/bench_convert.XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path root = made;
    BenchSettings settings(root / "registry");
    std::printf("%d cores; %d alternating pairs per row (ours first), medians; ratio = ours / "
                "peer of the medians, then the median of the pairs' ratios\n",
                cldbench::cores(), o.pairs);
    cldbench::printPairHeader();
    bool ok = true;
    for (const std::string& row : rows) {
        if (row == "batch" || row == "batch1")
            ok = batchRow(root / "batch", o, settings, row == "batch") && ok;
        else if (row == "decode")
            ok = decodeRow(root / "decode", o, settings) && ok;
        else if (row == "start")
            ok = startRow(root / "start", o) && ok;
        else
            ok = memoryRow(root / "memory", o, settings) && ok;
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    return ok ? 0 : 1;
}
