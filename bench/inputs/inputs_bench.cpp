// Speed of a folder of FLAC files converted to MP3, headless, as whole processes.
//
//   bench_inputs [files] [seconds] [pairs] [quality]
//
// Makes `files` FLAC files (default 12) of `seconds` each (default 20) with the flac
// command, then times, in alternating pairs (default 5), two ways of turning the folder
// into MP3 files at CBR 128 kbit/s:
//   - this program's Folder -> MP3 batch (the progress dialog, offscreen), run as a
//     process of its own ("bench_inputs --convert IN OUT QUALITY");
//   - per file, `ffmpeg -i x.flac -f wav - | lame -b 128 - x.mp3`.
// The encoder quality is lame's own default (3) on both sides unless given; the program's
// first-start setting is 1. Prints the medians of wall and CPU time and their ratios.
// Everything happens in a fresh folder under the system's temporary folder.

#include "AppResources.h"
#include "BenchProcess.h"
#include "BuiltinResources.h"
#include "CMP3EncoderProgressDlg.h"
#include "GenreList.h"
#include "JobContext.h"
#include "JobParameters.h"
#include "MessageService.h"
#include "SettingsRecord.h"

#include <QApplication>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class PrintedMessages : public MessageService {
public:
    MessageResult show(const Message& m) override {
        std::fprintf(stderr, "  [message %d] %s\n", m.stringId, m.text.toUtf8().constData());
        return MessageResult::Ok;
    }
};

// Music-like test audio: two tones and noise, different per file.
void writeWav(const fs::path& path, double seconds, unsigned seed) {
    const uint32_t frames = static_cast<uint32_t>(seconds * 44100);
    std::vector<int16_t> pcm(static_cast<size_t>(frames) * 2);
    uint32_t noise = seed;
    for (uint32_t f = 0; f < frames; ++f) {
        noise = noise * 1664525u + 1013904223u;
        const double t = f / 44100.0;
        pcm[2 * f] = static_cast<int16_t>(9000 * std::sin(2 * M_PI * (220 + seed) * t) +
                                          static_cast<int>(noise >> 21) - 1024);
        pcm[2 * f + 1] = static_cast<int16_t>(7000 * std::sin(2 * M_PI * 660 * t) +
                                              static_cast<int>(noise >> 22) - 512);
    }
    const uint32_t data = frames * 4;
    std::ofstream out(path, std::ios::binary);
    cldbench::writeWavHeader(out, frames);
    out.write(reinterpret_cast<const char*>(pcm.data()), data);
}

std::string quoted(const fs::path& p) {
    std::string q = "'";
    for (char c : p.string())
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// The child: one Folder -> MP3 batch through the progress dialog. Exit code 0 when it
// completed.
int convertFolder(int argc, char** argv) {
    if (argc < 5)
        return 2;
    const fs::path in = argv[2];
    const fs::path out = argv[3];
    const int quality = std::atoi(argv[4]);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const fs::path registry = out / ".registry";
    fs::create_directories(registry);
    setenv("CLD_REGISTRY_DIR", registry.c_str(), 1);
    QApplication app(argc, argv);
    SettingsRecord settings;
    settings.LoadSettings();
    settings.setMp3Quality(quality);
    GenreList genres;
    genres.buildGenreList();
    JobContext context(settings, genres);
    AppResources::setSource(std::make_unique<BuiltinResources>(nullptr, nullptr));
    MessageService::setInstance(std::make_unique<PrintedMessages>());
    JobParameters job;
    job.inputPath = in.string() + "/";
    job.outputPath = out.string() + "/";
    job.encodingBitrate = 128;
    CMP3EncoderProgressDlg dlg(context, job, 2);
    dlg.exec();
    return dlg.completed() ? 0 : 1;
}

int countMp3(const fs::path& folder) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(folder))
        n += e.path().extension() == ".mp3";
    return n;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--convert")
        return convertFolder(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 12;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 20.0;
    const int pairs = argc > 3 ? std::atoi(argv[3]) : 5;
    const int quality = argc > 4 ? std::atoi(argv[4]) : 3;
    if (files <= 0 || seconds <= 0 || pairs <= 0 || quality < 0 || quality > 9) {
        std::fprintf(stderr, "usage: bench_inputs [files] [seconds] [pairs] [quality 0-9]\n");
        return 2;
    }

    char self[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return 1;
    char pattern[] = "/tmp/cld-bench-inputs-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const fs::path root = pattern;
    const fs::path in = root / "flac";
    fs::create_directories(in);
    std::vector<fs::path> inputs;
    for (int i = 0; i < files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "take%03d", i);
        const fs::path wav = root / (std::string(name) + ".wav");
        writeWav(wav, seconds, static_cast<unsigned>(i + 1));
        const fs::path flac = in / (std::string(name) + ".flac");
        const std::string cmd = "flac -s -5 -f -o " + quoted(flac) + " " + quoted(wav);
        if (std::system(cmd.c_str()) != 0) {
            std::fprintf(stderr, "the flac command failed\n");
            fs::remove_all(root);
            return 1;
        }
        fs::remove(wav);
        inputs.push_back(flac);
    }
    std::printf("FLAC -> MP3: %d files of %.1f s, CBR 128 kbit/s, quality %d, %d pairs\n", files,
                seconds, quality, pairs);

    std::vector<double> oursWall, oursCpu, theirsWall, theirsCpu;
    bool ok = true;
    for (int pair = 0; pair < pairs && ok; ++pair) {
        const fs::path oursOut = root / ("ours" + std::to_string(pair));
        const fs::path theirsOut = root / ("theirs" + std::to_string(pair));
        fs::create_directories(oursOut);
        fs::create_directories(theirsOut);
        auto runOurs = [&] {
            const cldbench::Result r =
                cldbench::runCommand({std::string(self, static_cast<size_t>(n)), "--convert",
                                      in.string(), oursOut.string(), std::to_string(quality)});
            ok = ok && r.status == 0 && countMp3(oursOut) == files;
            oursWall.push_back(r.seconds);
            oursCpu.push_back(r.cpuSeconds);
        };
        auto runTheirs = [&] {
            double wall = 0;
            double cpu = 0;
            for (const fs::path& flac : inputs) {
                const fs::path mp3 = theirsOut / (flac.stem().string() + ".mp3");
                const cldbench::Result r = cldbench::runCommand(
                    {"sh", "-c",
                     "ffmpeg -v error -i " + quoted(flac) + " -f wav - | lame --quiet -b 128 -q " +
                         std::to_string(quality) + " - " + quoted(mp3)});
                ok = ok && r.status == 0;
                wall += r.seconds;
                cpu += r.cpuSeconds;
            }
            ok = ok && countMp3(theirsOut) == files;
            theirsWall.push_back(wall);
            theirsCpu.push_back(cpu);
        };
        // Alternate which side goes first, so that neither always meets a warm cache.
        if (pair % 2 == 0) {
            runOurs();
            runTheirs();
        } else {
            runTheirs();
            runOurs();
        }
        std::printf("  pair %d: ours %6.2f s (CPU %6.2f), ffmpeg|lame %6.2f s (CPU %6.2f)\n",
                    pair + 1, oursWall.back(), oursCpu.back(), theirsWall.back(), theirsCpu.back());
        std::fflush(stdout);
    }
    fs::remove_all(root);
    if (!ok) {
        std::printf("a conversion failed; no figures\n");
        return 1;
    }
    const double ow = cldbench::median(oursWall);
    const double tw = cldbench::median(theirsWall);
    const double oc = cldbench::median(oursCpu);
    const double tc = cldbench::median(theirsCpu);
    std::printf("median wall: ours %.2f s, ffmpeg|lame %.2f s, ratio %.3f\n", ow, tw, ow / tw);
    std::printf("median CPU:  ours %.2f s, ffmpeg|lame %.2f s, ratio %.3f\n", oc, tc, oc / tc);
    std::printf("(ours includes the dialog's two fixed 500 ms waits of every batch)\n");
    return 0;
}
