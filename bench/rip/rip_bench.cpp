// Whole-disc rips as a user waits for them: `calderine rip` from its start to its end
// (reading the disc from the virtual drive with the program's default error correction,
// the encoders, the rip log, the cue sheet and the AccurateRip checksums; the look-up over
// the network and the disc names are off, so that no server is waited for), against
// what a user would do instead with the same settings and cores: rip the disc to WAV files,
// then encode them on every core. Our run and the peer's alternate (A B A B ...); the row
// prints the medians of wall and CPU time, their ratios, the spread and the load.
//
//   bench_rip [--pairs N] [--minutes M] [--tracks T] [--show-pairs] [flac] [mp3]
//
// Rows (both without ROW):
//   flac  calderine rip --format flac, against
//         calderine rip --format wav, then xargs -P<cores> -n1 flac -5 -s on its WAV files
//         (goal: <= 1.05)
//   mp3   calderine rip --format mp3 (CBR 128 kbit/s, quality 1: a first start's
//         settings), against the physical bound max(rip alone, encode CPU / cores): the rip
//         alone (calderine rip --format wav) and the encode alone (xargs -P<cores> lame on
//         the ripped WAV files) are timed in the same rounds (goal: <= 1.10 x the bound)
//
// A 74-minute disc of 10 tracks by default (--minutes, --tracks). Everything happens in a
// fresh folder under the system's temporary folder, removed afterwards. The exit code is 1
// when a row failed (a run that did not complete, or outputs missing).

#include "BenchProgram.h"
#include "VDriveKit.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using cldbench::PairFigures;
using cldbench::Result;
using cldbench::runCommand;

namespace {

struct Options {
    int pairs = 5;
    double minutes = 74;
    int tracks = 10;
    bool showPairs = false;
};

std::vector<std::string> rip(const std::string& format, const fs::path& out) {
    return cldbench::calderine(
        {"rip", "--format", format, "--names", "none", "--overwrite", "-o", out.string()});
}

void clearFolder(const fs::path& folder) {
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder);
}

bool flacRow(const fs::path& root, const Options& o) {
    const fs::path ours = root / "ours";
    const fs::path peer = root / "peer";
    const std::string encode = "printf '%s\\0' *.wav | xargs -0 -P" +
                               std::to_string(cldbench::cores()) + " -n1 flac -5 -s -f";
    std::string ripWav;
    for (const std::string& a : rip("wav", peer))
        ripWav += "'" + a + "' ";
    const std::string peerScript =
        ripWav + ">/dev/null 2>&1 && cd '" + peer.string() + "' && " + encode;
    PairFigures f = cldbench::runPairs(
        rip("flac", ours), cldbench::quietOptions(), cldbench::shell(peerScript), {}, o.pairs,
        [&](bool isOurs) { clearFolder(isOurs ? ours : peer); }, o.showPairs);
    cldbench::checkOutputs(f, {ours, peer}, ".flac", static_cast<size_t>(o.tracks), true);
    std::printf("  ours: calderine rip --format flac; peer: calderine rip --format wav, then %s\n",
                encode.c_str());
    char name[80];
    std::snprintf(name, sizeof name, "%g-min disc -> FLAC", o.minutes);
    return cldbench::printPairRow(name, f, 1.05);
}

bool mp3Row(const fs::path& root, const Options& o) {
    const fs::path ours = root / "ours";
    const fs::path wavs = root / "wavs";
    const std::string encode = "printf '%s\\0' *.wav | xargs -0 -P" +
                               std::to_string(cldbench::cores()) + " -n1 lame --quiet -b 128 -q 1";
    cldbench::RunOptions inWavs;
    inWavs.directory = wavs.string();
    std::vector<double> oursWall;
    std::vector<double> oursCpu;
    std::vector<double> ripWall;
    std::vector<double> encodeCpu;
    std::vector<double> encodeWall;
    std::vector<double> bound;
    for (int i = 0; i < o.pairs; ++i) {
        clearFolder(ours);
        const Result r = runCommand(rip("mp3", ours), cldbench::quietOptions());
        clearFolder(wavs);
        const Result ripped = runCommand(rip("wav", wavs), cldbench::quietOptions());
        const Result encoded = runCommand(cldbench::shell(encode), inWavs);
        const bool whole =
            cldbench::filesWith(ours, ".mp3", true).size() == static_cast<size_t>(o.tracks) &&
            cldbench::filesWith(wavs, ".mp3", true).size() == static_cast<size_t>(o.tracks);
        if (r.status != 0 || ripped.status != 0 || encoded.status != 0 || !whole) {
            std::printf("%g-min disc -> MP3: failed (exits %d, %d, %d; outputs %s)\n", o.minutes,
                        r.status, ripped.status, encoded.status, whole ? "whole" : "missing");
            return false;
        }
        oursWall.push_back(r.seconds);
        oursCpu.push_back(r.cpuSeconds);
        ripWall.push_back(ripped.seconds);
        encodeCpu.push_back(encoded.cpuSeconds);
        encodeWall.push_back(encoded.seconds);
        bound.push_back(std::max(ripped.seconds, encoded.cpuSeconds / cldbench::cores()));
        if (o.showPairs)
            std::printf("    round %d: ours %.2f s (cpu %.2f); rip alone %.2f s; encode %.2f s "
                        "(cpu %.2f)\n",
                        i + 1, r.seconds, r.cpuSeconds, ripped.seconds, encoded.seconds,
                        encoded.cpuSeconds);
    }
    std::vector<double> ratios;
    for (size_t i = 0; i < oursWall.size(); ++i)
        ratios.push_back(oursWall[i] / bound[i]);
    const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
    const double oursMedian = cldbench::median(oursWall);
    const double boundMedian = cldbench::median(bound);
    const double sequential = cldbench::median(ripWall) + cldbench::median(encodeWall);
    std::printf("%g-min disc -> MP3 (%d rounds): ours %.2f s (cpu %.2f s); rip alone %.2f s, "
                "encode alone %.2f s (cpu %.2f s over %d cores)\n",
                o.minutes, o.pairs, oursMedian, cldbench::median(oursCpu),
                cldbench::median(ripWall), cldbench::median(encodeWall),
                cldbench::median(encodeCpu), cldbench::cores());
    std::printf("  ours / bound max(rip, encode cpu / cores) = %.3f (rounds %.3f .. %.3f); goal "
                "<= 1.10: %s\n",
                oursMedian / boundMedian, *low, *high,
                oursMedian / boundMedian <= 1.10 ? "met" : "MISSED");
    std::printf("  ours / (rip, then encode) = %.3f; CPU ours / (rip cpu + encode cpu) is the "
                "pipeline's overhead; load average %s\n",
                oursMedian / sequential, cldbench::loadAverage().c_str());
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    std::vector<std::string> rows;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--pairs" && i + 1 < argc)
            o.pairs = std::atoi(argv[++i]);
        else if (a == "--minutes" && i + 1 < argc)
            o.minutes = std::atof(argv[++i]);
        else if (a == "--tracks" && i + 1 < argc)
            o.tracks = std::atoi(argv[++i]);
        else if (a == "--show-pairs")
            o.showPairs = true;
        else if (a == "flac" || a == "mp3")
            rows.push_back(a);
        else
            o.pairs = 0;
        if (o.pairs < 1 || !(o.minutes > 0) || o.minutes > 80 || o.tracks < 1 || o.tracks > 99) {
            std::fprintf(stderr, "usage: bench_rip [--pairs N] [--minutes M (<= 80)] [--tracks T] "
                                 "[--show-pairs] [flac] [mp3]\n");
            return 2;
        }
    }
    if (rows.empty())
        rows = {"flac", "mp3"};
    char pattern[] = "/tmp/bench_rip.XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path root = made;
    cldbench::BenchSettings settings(root / "registry");
    settings.setAccurateRipLookup(false);
    settings.setParallelJobs(0);
    vdrivekit::DiscSpec disc;
    const auto totalSectors = static_cast<int64_t>(o.minutes * 60 * 75);
    for (int i = 0; i < o.tracks; ++i)
        disc.tracks.push_back({vdrivekit::Content::Music, totalSectors / o.tracks, {}, {}, 0, 0});
    bool ok = true;
    {
        // The runs find the drive through the variables this sets.
        vdrivekit::VirtualDrives drives(root / "image", {disc});
        std::printf("%d cores; %d alternating pairs per row (ours first), medians\n",
                    cldbench::cores(), o.pairs);
        cldbench::printPairHeader();
        for (const std::string& row : rows)
            ok = (row == "flac" ? flacRow(root / "flac", o) : mp3Row(root / "mp3", o)) && ok;
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    return ok ? 0 : 1;
}
