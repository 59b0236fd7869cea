// bench_cli: the command line as a user runs it.
//
//   convert  calderine convert --to mp3 on 100 five-second WAV files, two at a time,
//            against  ls *.wav | xargs -P2 -n1 lame --quiet -b 128 -q 1  (the same settings:
//            128 kbit/s CBR, quality 1), whole processes in alternating pairs
//   flac     the same files to FLAC level 5 against  xargs -P2 flac -5
//   opus     to Opus at 128 kbit/s against  xargs -P2 opusenc --bitrate 128
//   vorbis   to Ogg Vorbis quality 5 against  xargs -P2 oggenc -q5
//   aac      to AAC at 192 kbit/s in M4A against  xargs -P2 ffmpeg -c:a aac -b:a 192k
//   version  the start-up of calderine --version, median of many runs
//
// Usage: bench_cli [--pairs N] [--files N] [--seconds S] [--runs N] [convert] [flac] [opus]
//                  [vorbis] [aac] [version]

#include "BenchProcess.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using cldbench::PairFigures;
using cldbench::Result;
using cldbench::RunOptions;

namespace {

struct Options {
    int pairs = 5;
    int files = 100;
    double seconds = 5;
    int runs = 50;
    bool convert = false;
    bool version = false;
    std::vector<std::string> formats; // the rows of the other formats asked for
};

// One row of the formats beside MP3: our command's settings and the peer's script, on the
// same files with the same settings.
struct FormatRow {
    const char* name;
    const char* label;
    std::vector<std::string> settings; // calderine convert's
    const char* extension;
    const char* peerScript;
};

const std::vector<FormatRow>& formatRows() {
    static const std::vector<FormatRow> rows = {
        {"flac",
         "FLAC -5",
         {"--to", "flac", "--level", "5"},
         ".flac",
         "ls *.wav | xargs -P2 -n1 flac -5 --silent"},
        {"opus",
         "Opus 128k",
         {"--to", "opus", "--bitrate", "128"},
         ".opus",
         "ls *.wav | xargs -P2 -I{} opusenc --quiet --bitrate 128 {} {}.opus"},
        {"vorbis",
         "Vorbis q5",
         {"--to", "vorbis", "--quality", "5"},
         ".ogg",
         "ls *.wav | xargs -P2 -n1 oggenc --quiet -q5"},
        {"aac",
         "AAC 192k",
         {"--to", "aac", "--bitrate", "192"},
         ".m4a",
         "ls *.wav | xargs -P2 -I{} ffmpeg -v error -nostdin -i {} -c:a aac -b:a 192k {}.m4a"},
    };
    return rows;
}

fs::path programFolder() {
    return fs::read_symlink("/proc/self/exe").parent_path();
}

void writeWav(const fs::path& path, double seconds, unsigned seed) {
    std::ofstream out(path, std::ios::binary);
    const auto frames = static_cast<uint64_t>(seconds * 44100);
    cldbench::writeWavHeader(out, frames);
    std::vector<int16_t> block(2 * 4410);
    uint32_t noise = seed * 2654435761u;
    for (uint64_t done = 0; done < frames;) {
        const uint64_t n = std::min<uint64_t>(4410, frames - done);
        for (uint64_t i = 0; i < n; ++i) {
            const double t = static_cast<double>(done + i) / 44100.0;
            noise = noise * 1664525u + 1013904223u;
            const double v = 8000 * std::sin(2 * M_PI * (200.0 + seed * 7) * t) +
                             static_cast<double>(static_cast<int16_t>(noise >> 16)) / 16;
            block[2 * i] = static_cast<int16_t>(v);
            block[2 * i + 1] = static_cast<int16_t>(-v);
        }
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n * 4));
        done += n;
    }
}

void removeOutputs(const fs::path& folder, const std::string& extension = ".mp3") {
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == extension)
            fs::remove(entry.path());
}

bool wholeOutputs(const fs::path& folder, int count, const std::string& extension = ".mp3") {
    int found = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == extension && entry.file_size() > 1000)
            ++found;
    return found == count;
}

// The input files, once for every row, and the peer's folder of links to them.
void prepareInputs(const fs::path& root, const Options& o) {
    const fs::path in = root / "wavs";
    const fs::path peer = root / "peer";
    if (fs::exists(in))
        return;
    fs::create_directories(in);
    fs::create_directories(peer);
    for (int i = 0; i < o.files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "take%03d.wav", i);
        writeWav(in / name, o.seconds, static_cast<unsigned>(i + 1));
        fs::create_symlink(in / name, peer / name);
    }
}

bool formatRow(const fs::path& root, const Options& o, const FormatRow& row) {
    prepareInputs(root, o);
    const fs::path in = root / "wavs";
    const fs::path out = root / (std::string("ours-") + row.name);
    const fs::path peer = root / "peer";
    fs::create_directories(out);
    RunOptions ours;
    ours.environment = {{"CLD_REGISTRY_DIR", (root / "registry").string()}};
    ours.stdoutPath = "/dev/null";
    RunOptions inPeer;
    inPeer.directory = peer.string();
    std::vector<std::string> command = {(programFolder() / "calderine").string(), "-q", "convert"};
    command.insert(command.end(), row.settings.begin(), row.settings.end());
    command.insert(command.end(), {"--jobs", "2", "--out", out.string(), in.string()});
    PairFigures f =
        cldbench::runPairs(command, ours, cldbench::shell(row.peerScript), inPeer, o.pairs,
                           [&](bool isOurs) { removeOutputs(isOurs ? out : peer, row.extension); });
    if (f.ok && (!wholeOutputs(out, o.files, row.extension) ||
                 !wholeOutputs(peer, o.files, row.extension))) {
        f.ok = false;
        f.failure = "outputs missing";
    }
    std::string settings;
    for (const std::string& s : row.settings)
        settings += " " + s;
    std::printf("  ours: calderine -q convert%s --jobs 2 --out OUT IN\n", settings.c_str());
    std::printf("  peer: %s\n", row.peerScript);
    char name[80];
    std::snprintf(name, sizeof name, "%d x %g s WAV -> %s, 2 at once", o.files, o.seconds,
                  row.label);
    const bool ok = cldbench::printPairRow(name, f, 1.00);
    removeOutputs(peer, row.extension);
    return ok;
}

bool convertRow(const fs::path& root, const Options& o) {
    prepareInputs(root, o);
    const fs::path in = root / "wavs";
    const fs::path out = root / "ours";
    const fs::path peer = root / "peer";
    fs::create_directories(out);
    RunOptions ours;
    ours.environment = {{"CLD_REGISTRY_DIR", (root / "registry").string()}};
    // Its result lines are not the benchmark's.
    ours.stdoutPath = "/dev/null";
    RunOptions inPeer;
    inPeer.directory = peer.string();
    const std::string peerScript = "ls *.wav | xargs -P2 -n1 lame --quiet -b 128 -q 1";
    PairFigures f = cldbench::runPairs({(programFolder() / "calderine").string(), "-q", "convert",
                                        "--to", "mp3", "--bitrate", "128", "--jobs", "2", "--out",
                                        out.string(), in.string()},
                                       ours, cldbench::shell(peerScript), inPeer, o.pairs,
                                       [&](bool isOurs) { removeOutputs(isOurs ? out : peer); });
    if (f.ok && (!wholeOutputs(out, o.files) || !wholeOutputs(peer, o.files))) {
        f.ok = false;
        f.failure = "outputs missing";
    }
    std::printf("  ours: calderine -q convert --to mp3 --bitrate 128 --jobs 2 --out OUT IN\n");
    std::printf("  peer: %s\n", peerScript.c_str());
    char name[80];
    std::snprintf(name, sizeof name, "%d x %g s WAV -> MP3, 2 at once", o.files, o.seconds);
    return cldbench::printPairRow(name, f, 1.00);
}

bool versionRow(const fs::path& root, const Options& o) {
    RunOptions options;
    options.environment = {{"CLD_REGISTRY_DIR", (root / "registry").string()}};
    options.stdoutPath = (root / "version.txt").string();
    options.sampleMilliseconds = 0;
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int i = 0; i < o.runs; ++i) {
        const Result r =
            cldbench::runCommand({(programFolder() / "calderine").string(), "--version"}, options);
        if (r.status != 0) {
            std::printf("calderine --version: failed\n");
            return false;
        }
        wall.push_back(r.seconds);
        cpu.push_back(r.cpuSeconds);
    }
    const double median = cldbench::median(wall) * 1000;
    std::printf("calderine --version: median %.1f ms wall, %.1f ms cpu over %d runs "
                "(goal <= 30 ms)%s\n",
                median, cldbench::median(cpu) * 1000, o.runs, median <= 30 ? "" : "  MISSED");
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : "0"; };
        if (a == "--pairs")
            o.pairs = std::max(1, std::atoi(next()));
        else if (a == "--files")
            o.files = std::max(1, std::atoi(next()));
        else if (a == "--seconds")
            o.seconds = std::max(0.1, std::atof(next()));
        else if (a == "--runs")
            o.runs = std::max(1, std::atoi(next()));
        else if (a == "convert")
            o.convert = true;
        else if (a == "version")
            o.version = true;
        else if (std::any_of(formatRows().begin(), formatRows().end(),
                             [&a](const FormatRow& r) { return a == r.name; }))
            o.formats.push_back(a);
        else {
            std::fprintf(stderr, "usage: bench_cli [--pairs N] [--files N] [--seconds S] "
                                 "[--runs N] [convert] [flac] [opus] [vorbis] [aac] [version]\n");
            return 2;
        }
    }
    if (!o.convert && !o.version && o.formats.empty()) {
        o.convert = o.version = true;
        for (const FormatRow& r : formatRows())
            o.formats.push_back(r.name);
    }
    char tmpl[] = "/tmp/cld-bench-cli-XXXXXX";
    if (!::mkdtemp(tmpl))
        return 1;
    const fs::path root = tmpl;
    bool ok = true;
    if (o.version)
        ok = versionRow(root, o) && ok;
    if (o.convert || !o.formats.empty())
        cldbench::printPairHeader();
    if (o.convert)
        ok = convertRow(root, o) && ok;
    for (const FormatRow& row : formatRows())
        if (std::find(o.formats.begin(), o.formats.end(), row.name) != o.formats.end())
            ok = formatRow(root, o, row) && ok;
    std::error_code ec;
    fs::remove_all(root, ec);
    return ok ? 0 : 1;
}
