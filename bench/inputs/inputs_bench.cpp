// A folder of FLAC files converted to MP3 as a user waits for it, both sides on every
// core: ours is the whole program, `CLD --job wav-to-mp3 FOLDER` run to its end
// (CLD_AUTOMATION=run, offscreen: its start, the job's dialog confirmed as it stands, the
// progress dialog with its waits, the closing message) with "ParallelJobs" 0 (one file
// per core), and `calderine convert --to mp3`; the peer decodes each file with ffmpeg
// into lame, as many files at once as there are cores:
//   printf '%s\0' *.flac | xargs -0 -P<cores> -n1 sh -c 'ffmpeg -i "$1" -f wav - | lame ...'
// Both at CBR 128 kbit/s and lame's quality setting (1, a first start's, unless given).
// Our run and the peer's alternate (A B A B ...); each row prints the medians of wall and
// CPU time, their ratios, the spread of the pairs and the load.
//
//   bench_inputs [--files N (12)] [--seconds S (20)] [--pairs N (5)] [--quality Q (1)]
//                [--show-pairs]

#include "BenchProgram.h"
#include "SettingsRecord.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string quoted(const fs::path& p) {
    std::string q = "'";
    for (char c : p.string())
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

} // namespace

int main(int argc, char** argv) {
    int files = 12;
    double seconds = 20;
    int pairs = 5;
    int quality = 1;
    bool showPairs = false;
    bool ok = true;
    for (int i = 1; i < argc && ok; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--files" && hasValue)
            files = std::atoi(argv[++i]);
        else if (a == "--seconds" && hasValue)
            seconds = std::atof(argv[++i]);
        else if (a == "--pairs" && hasValue)
            pairs = std::atoi(argv[++i]);
        else if (a == "--quality" && hasValue)
            quality = std::atoi(argv[++i]);
        else if (a == "--show-pairs")
            showPairs = true;
        else
            ok = false;
    }
    if (!ok || files <= 0 || files > 999 || !(seconds > 0) || pairs <= 0 || quality < 0 ||
        quality > 9) {
        std::fprintf(stderr, "usage: bench_inputs [--files N] [--seconds S] [--pairs N] "
                             "[--quality 0-9] [--show-pairs]\n");
        return 2;
    }
    char pattern[] = "/tmp/bench_inputs.XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const fs::path root = pattern;
    cldbench::BenchSettings settings(root / "registry");
    settings.setParallelJobs(0);
    {
        SettingsRecord record;
        record.LoadSettings();
        record.setMp3Quality(quality);
    }
    const fs::path in = root / "flac";
    const fs::path peer = root / "peer";
    const fs::path cli = root / "cli";
    fs::create_directories(in);
    fs::create_directories(peer);
    fs::create_directories(cli);
    for (int i = 0; i < files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "take%03d", i);
        const fs::path wav = root / (std::string(name) + ".wav");
        cldbench::writeMusicWav(wav, seconds, static_cast<unsigned>(i + 1));
        const std::string cmd =
            "flac -s -5 -f -o " + quoted(in / (std::string(name) + ".flac")) + " " + quoted(wav);
        if (std::system(cmd.c_str()) != 0) {
            std::fprintf(stderr, "the flac command failed\n");
            fs::remove_all(root);
            return 1;
        }
        fs::remove(wav);
        fs::create_symlink(in / (std::string(name) + ".flac"),
                           peer / (std::string(name) + ".flac"));
    }
    const std::string q = std::to_string(quality);
    const std::string peerScript =
        "printf '%s\\0' *.flac | xargs -0 -P" + std::to_string(cldbench::cores()) +
        " -n1 sh -c 'ffmpeg -v error -i \"$1\" -f wav - | lame --quiet -b 128 -q " + q +
        " - \"${1%.flac}.mp3\"' sh";
    cldbench::RunOptions inPeer;
    inPeer.directory = peer.string();
    std::printf("FLAC -> MP3: %d files of %g s, CBR 128 kbit/s, quality %d, %d cores, %d "
                "alternating pairs\n  peer: %s\n",
                files, seconds, quality, cldbench::cores(), pairs, peerScript.c_str());
    cldbench::printPairHeader();

    cldbench::PairFigures f = cldbench::runPairs(
        cldbench::cldJob("wav-to-mp3", {in.string()}), cldbench::cldJobOptions(),
        cldbench::shell(peerScript), inPeer, pairs,
        [&](bool ours) { cldbench::removeFilesWith(ours ? in : peer, ".mp3", ours); }, showPairs);
    cldbench::checkOutputs(f, {in}, ".mp3", static_cast<size_t>(files), true);
    cldbench::checkOutputs(f, {peer}, ".mp3", static_cast<size_t>(files));
    ok = cldbench::printPairRow("CLD --job wav-to-mp3 FOLDER", f, 1.00);

    cldbench::PairFigures g = cldbench::runPairs(
        cldbench::calderine(
            {"convert", "--to", "mp3", "--bitrate", "128", "--out", cli.string(), in.string()}),
        cldbench::quietOptions(), cldbench::shell(peerScript), inPeer, pairs,
        [&](bool ours) { cldbench::removeFilesWith(ours ? cli : peer, ".mp3"); }, showPairs);
    cldbench::checkOutputs(g, {cli, peer}, ".mp3", static_cast<size_t>(files));
    ok = cldbench::printPairRow("calderine convert --to mp3", g, 1.00) && ok;
    std::error_code ec;
    fs::remove_all(root, ec);
    return ok ? 0 : 1;
}
