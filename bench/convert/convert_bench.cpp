// The conversion batches the way a user sees them: every run of ours is a whole process
// that starts the MP3 progress dialog (headless), runs its batch with the dialog's own
// waits and closes it, as the program does after its settings dialog. Each row alternates
// our run and the peer's command (A B A B ...) and prints the medians of wall and CPU
// (user + system) time, their ratios, and the peak private memory (RssAnon) of our run.
//
//   bench_convert [options] [ROW...]
//
// Rows (all without ROW):
//   batch    100 WAV files of 5 s -> MP3, CBR 128 kbit/s, quality 1, "ParallelJobs" 0 (one
//            job per core), against  ls *.wav | xargs -P<cores> -n1 lame --quiet -b 128 -q 1
//   batch1   the same with "ParallelJobs" 1, against a sequential lame loop
//   cd       a 74-minute virtual disc in 10 tracks -> MP3 through the CD mode, paranoia on,
//            against encoding the disc's ripped WAV files with lame on every core
//   decode   a 5-minute MP3 (made by lame) -> WAV against lame --decode
//   memory   one WAV -> MP3 job on a 2-minute and on a 2-hour WAV: both peaks must match
//
// Options: --pairs N (5), --files N (100), --seconds S (5), --minutes M (74), --tracks T
// (10), --slow-us U (drive slowed by U microseconds per sector, 0), --decode-minutes M (5),
// --short-minutes M (2), --long-minutes M (120), --show-pairs (print every pair as it
// ends). Everything happens in a fresh folder under the system's temporary folder, removed
// afterwards. The exit code is 1 when a row failed (a run that did not complete, or
// outputs missing), whatever the figures.
//
// `bench_convert job ...` is the child that runs one dialog; the rows start it.

#include "AppResources.h"
#include "BenchProcess.h"
#include "BuiltinResources.h"
#include "CMP3EncoderProgressDlg.h"
#include "GenreList.h"
#include "JobContext.h"
#include "JobParameters.h"
#include "MessageService.h"
#include "SettingsRecord.h"
#include "VDriveKit.h"
#include "cldrip/CDRipDriveSettings.h"
#include "cldrip/CDRipObject.h"
#include "cldrip/ClassObject.h"
#include "cldrip/GrabStatus.h"
#include "cldrip/NameText.h"

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using cldbench::PairFigures;
using cldbench::Result;
using cldbench::runCommand;
using cldbench::RunOptions;

namespace {

constexpr const char* kLame128 = "lame --quiet -b 128 -q 1";

// ---------------------------------------------------------------------------------------
// The child: one dialog in a process of its own.

// Messages go to standard error instead of a message box.
class PrintedMessages : public MessageService {
public:
    MessageResult show(const Message& m) override {
        std::fprintf(stderr, "  [message %d] %s\n", m.stringId, m.text.toUtf8().constData());
        last = m.stringId;
        return MessageResult::Ok;
    }
    int last = 0;
};

// The settings store named by CLD_REGISTRY_DIR, the built-in strings and a job context.
struct World {
    World() : context(settings, genres) {
        settings.LoadSettings();
        genres.buildGenreList();
        AppResources::setSource(std::make_unique<BuiltinResources>(nullptr, nullptr));
        auto service = std::make_unique<PrintedMessages>();
        messages = service.get();
        MessageService::setInstance(std::move(service));
    }
    ~World() {
        MessageService::setInstance(nullptr);
        AppResources::setSource(nullptr);
    }
    SettingsRecord settings;
    GenreList genres;
    JobContext context;
    PrintedMessages* messages = nullptr;
};

GetClassObjectFn ripperEntry() {
    const fs::path folder = fs::read_symlink("/proc/self/exe").parent_path();
    void* handle = dlopen((folder / "libcldrip.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle ? reinterpret_cast<GetClassObjectFn>(dlsym(handle, "GetClassObject")) : nullptr;
}

CDRipObject* makeRipper() {
    const GetClassObjectFn entry = ripperEntry();
    if (!entry) {
        std::fprintf(stderr, "bench_convert: libcldrip.so not found beside the benchmark\n");
        return nullptr;
    }
    NameText* objectName = NameText::Create("CDRipObject");
    auto* rip = static_cast<CDRipObject*>(entry(objectName));
    objectName->Destroy();
    if (rip) // paranoia: verified, jitter-corrected reads
        rip->GetDriveSettings()->SetErrorCorrection(5);
    return rip;
}

std::string trackWav(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "track%02d.wav", i + 1);
    return name;
}

// Rips every track to trackNN.wav in the folder, without encoding.
int ripOnly(const fs::path& folder, int tracks) {
    CDRipObject* rip = makeRipper();
    if (!rip)
        return 1;
    NameText* f = NameText::Create(folder.c_str());
    rip->SetOutputFolder(f);
    f->Destroy();
    for (int i = 0; i < tracks; ++i) {
        NameText* name = NameText::Create(trackWav(i).c_str());
        rip->AddTrack(i, name, 0, -1);
        name->Destroy();
    }
    int error = rip->StartGrab() == 0 ? 1 : 0;
    for (bool running = error == 0; running;) {
        GrabStatus* s = rip->GetStatus();
        running = s->IsRunning() != 0;
        error = s->GetError();
        s->Destroy();
        if (running)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    rip->Dispose();
    return error == 0 ? 0 : 1;
}

// `job files MODE INPUT OUTPUT` or `job cd FOLDER TRACKS` or `job rip FOLDER TRACKS`.
int runChild(int argc, char** argv) {
    const std::string kind = argc > 2 ? argv[2] : "";
    if (kind == "rip" && argc == 5)
        return ripOnly(argv[3], std::atoi(argv[4]));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    World world;
    JobParameters params;
    int mode = 0;
    CDRipObject* rip = nullptr;
    if (kind == "files" && argc == 6) {
        mode = std::atoi(argv[3]);
        params.inputPath = argv[4];
        params.outputPath = argv[5];
        params.folderMode = mode == 2 || mode == 4;
    } else if (kind == "cd" && argc == 5) {
        mode = 1;
        rip = makeRipper();
        if (!rip)
            return 1;
        const int tracks = std::atoi(argv[4]);
        GrabSelection& sel = world.context.grabSelection;
        for (int i = 0; i < tracks; ++i) {
            sel.trackNames.push_back("Track" + std::to_string(i + 1));
            sel.ticked.push_back(static_cast<uint16_t>(i));
        }
        sel.artist = "Bench";
        sel.album = "Disc";
        world.context.ripObject = rip;
        world.context.driveSettings = rip->GetDriveSettings();
        params.outputPath = argv[3];
    } else {
        std::fprintf(stderr, "bench_convert job: files MODE INPUT OUTPUT | cd FOLDER TRACKS | "
                             "rip FOLDER TRACKS\n");
        return 2;
    }
    params.encodingBitrate = 128;
    bool completed = false;
    {
        CMP3EncoderProgressDlg dlg(world.context, params, mode);
        dlg.exec();
        completed = dlg.completed();
    }
    if (!completed)
        std::fprintf(stderr, "bench_convert: the batch did not complete (message %d)\n",
                     world.messages->last);
    if (rip)
        rip->Dispose();
    return completed ? 0 : 1;
}

// ---------------------------------------------------------------------------------------
// The parent: inputs, settings and the rows.

struct Options {
    int pairs = 5;
    int files = 100;
    double seconds = 5;
    double minutes = 74;
    int tracks = 10;
    int64_t slowMicros = 0;
    double decodeMinutes = 5;
    double shortMinutes = 2;
    double longMinutes = 120;
    bool showPairs = false;
};

// Two tones over noise, so that the encoders work as hard as on recordings.
void writeWav(const fs::path& path, double seconds, unsigned seed) {
    const auto frames = static_cast<uint32_t>(seconds * 44100);
    std::vector<int16_t> pcm(frames * 2);
    uint32_t noise = seed;
    for (uint32_t f = 0; f < frames; ++f) {
        noise = noise * 1664525u + 1013904223u;
        const double t = f / 44100.0;
        pcm[2 * f] = static_cast<int16_t>(9000 * std::sin(2 * M_PI * 440 * t) +
                                          static_cast<int>(noise >> 21) - 1024);
        pcm[2 * f + 1] = static_cast<int16_t>(7000 * std::sin(2 * M_PI * 660 * t));
    }
    std::ofstream out(path, std::ios::binary);
    cldbench::writeWavHeader(out, frames);
    out.write(reinterpret_cast<const char*>(pcm.data()),
              static_cast<std::streamsize>(pcm.size() * 2));
}

// A long WAV that costs no disk: one minute of sound, then a hole the file system reads as
// digital silence.
void writeLongWav(const fs::path& path, double minutes) {
    writeWav(path, std::min(minutes, 1.0) * 60, 7);
    const auto frames = static_cast<uint64_t>(minutes * 60 * 44100);
    {
        std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
        cldbench::writeWavHeader(out, frames);
    }
    fs::resize_file(path, 44 + frames * 4);
}

// The settings store every child reads: a first start's MP3 settings (CBR 128 kbit/s,
// quality 1), paranoia on, and the number of jobs at once.
class BenchSettings {
public:
    explicit BenchSettings(const fs::path& folder) {
        fs::create_directories(folder);
        setenv("CLD_REGISTRY_DIR", folder.c_str(), 1);
        m_record.LoadSettings();
        m_record.setErrorCorrection(2);
    }
    // "ParallelJobs": 0 runs one job per core, 1 one job after another.
    void setParallelJobs(int n) {
        m_record.writeProfileInt(SettingsRecord::kPreferences, "ParallelJobs", n);
    }

private:
    SettingsRecord m_record;
};

int cores() {
    return std::max(1u, std::thread::hardware_concurrency());
}

std::vector<fs::path> filesWith(const fs::path& folder, const std::string& extension) {
    std::vector<fs::path> found;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().extension() == extension)
            found.push_back(e.path());
    return found;
}

// Empties a folder of the files a run wrote (whose extension is `extension`).
void removeOutputs(const fs::path& folder, const std::string& extension) {
    for (const fs::path& p : filesWith(folder, extension))
        fs::remove(p);
}

// Our run and the peer's each wrote `count` non-empty files: a run that skipped files
// would look fast.
bool checkOutputs(PairFigures& f, const fs::path& ours, const fs::path& theirs,
                  const std::string& extension, size_t count) {
    for (const fs::path& folder : {ours, theirs}) {
        const auto found = filesWith(folder, extension);
        const bool whole = found.size() == count &&
                           std::all_of(found.begin(), found.end(),
                                       [](const fs::path& p) { return fs::file_size(p) > 1000; });
        if (!whole && f.ok) {
            f.ok = false;
            f.failure = folder.string() + " holds " + std::to_string(found.size()) + " of " +
                        std::to_string(count) + " " + extension + " files";
        }
    }
    return f.ok;
}

fs::path self() {
    // The running program itself, also when its file has been replaced by a rebuild.
    return "/proc/self/exe";
}

bool batchRow(const fs::path& root, const Options& o, BenchSettings& settings, bool parallel) {
    const fs::path in = root / "wavs";
    const fs::path out = root / "ours";
    const fs::path peer = root / "peer";
    if (!fs::exists(in)) {
        fs::create_directories(in);
        for (int i = 0; i < o.files; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "take%03d.wav", i);
            writeWav(in / name, o.seconds, static_cast<unsigned>(i + 1));
        }
    }
    fs::create_directories(out);
    fs::create_directories(peer);
    // The peer writes each MP3 beside its input: it works on links to the same files.
    for (const fs::path& wav : filesWith(in, ".wav"))
        if (!fs::exists(peer / wav.filename()))
            fs::create_symlink(wav, peer / wav.filename());
    settings.setParallelJobs(parallel ? 0 : 1);
    const std::string peerScript =
        parallel ? "ls *.wav | xargs -P" + std::to_string(cores()) + " -n1 " + kLame128
                 : std::string("for f in *.wav; do ") + kLame128 + " \"$f\" || exit 1; done";
    RunOptions inPeer;
    inPeer.directory = peer.string();
    PairFigures f = cldbench::runPairs(
        {self().string(), "job", "files", "2", in.string() + "/", out.string() + "/"}, {},
        cldbench::shell(peerScript), inPeer, o.pairs,
        [&](bool ours) { removeOutputs(ours ? out : peer, ".mp3"); }, o.showPairs);
    checkOutputs(f, out, peer, ".mp3", static_cast<size_t>(o.files));
    char name[80];
    std::snprintf(name, sizeof name, "%d x %g s WAV -> MP3, %s", o.files, o.seconds,
                  parallel ? "N = cores" : "N = 1");
    std::printf("  peer: %s\n", peerScript.c_str());
    return cldbench::printPairRow(name, f, parallel ? 1.00 : 1.05);
}

bool cdRow(const fs::path& root, const Options& o, BenchSettings& settings) {
    vdrivekit::DiscSpec disc;
    const auto totalSectors = static_cast<int64_t>(o.minutes * 60 * 75);
    for (int i = 0; i < o.tracks; ++i)
        disc.tracks.push_back({vdrivekit::Content::Music, totalSectors / o.tracks, {}, {}, 0, 0});
    disc.faults.slowMicrosPerSector = o.slowMicros;
    // The children find the drive through the variables this sets.
    vdrivekit::VirtualDrives drives(root / "image", {disc});
    settings.setParallelJobs(0);
    const fs::path wavs = root / "wavs";
    const fs::path out = root / "ours";
    fs::create_directories(wavs);
    fs::create_directories(out);
    const Result rip =
        runCommand({self().string(), "job", "rip", wavs.string() + "/", std::to_string(o.tracks)});
    const std::string peerScript =
        "ls *.wav | xargs -P" + std::to_string(cores()) + " -n1 " + kLame128;
    std::printf("  peer: %s (in the folder of the disc's ripped WAV files)\n", peerScript.c_str());
    std::printf("  rip alone, paranoia on: %.2f s, cpu %.2f s, RssAnon %.1f MiB%s\n", rip.seconds,
                rip.cpuSeconds, static_cast<double>(rip.peakAnonKb) / 1024.0,
                rip.status == 0 ? "" : " (failed)");
    RunOptions inWavs;
    inWavs.directory = wavs.string();
    PairFigures f = cldbench::runPairs(
        {self().string(), "job", "cd", out.string() + "/", std::to_string(o.tracks)}, {},
        cldbench::shell(peerScript), inWavs, rip.status == 0 ? o.pairs : 0,
        [&](bool ours) { removeOutputs(ours ? out : wavs, ".mp3"); }, o.showPairs);
    if (rip.status != 0) {
        f.ok = false;
        f.failure = "the disc could not be ripped";
    }
    checkOutputs(f, out, wavs, ".mp3", static_cast<size_t>(o.tracks));
    char name[80];
    std::snprintf(name, sizeof name, "%g-minute disc -> MP3, paranoia", o.minutes);
    return cldbench::printPairRow(name, f, 1.05);
}

bool decodeRow(const fs::path& root, const Options& o, BenchSettings& settings) {
    fs::create_directories(root / "ours");
    fs::create_directories(root / "peer");
    const fs::path wav = root / "source.wav";
    const fs::path mp3 = root / "source.mp3";
    writeWav(wav, o.decodeMinutes * 60, 3);
    if (runCommand({"lame", "--quiet", "-b", "128", "-q", "1", wav.string(), mp3.string()})
            .status != 0) {
        std::printf("decode: lame could not make the MP3\n");
        return false;
    }
    fs::remove(wav);
    settings.setParallelJobs(0);
    const fs::path ours = root / "ours" / "out.wav";
    const fs::path peer = root / "peer" / "out.wav";
    PairFigures f = cldbench::runPairs(
        {self().string(), "job", "files", "5", mp3.string(), ours.string()}, {},
        {"lame", "--quiet", "--decode", mp3.string(), peer.string()}, {}, o.pairs,
        [&](bool isOurs) { fs::remove(isOurs ? ours : peer); }, o.showPairs);
    checkOutputs(f, ours.parent_path(), peer.parent_path(), ".wav", 1);
    std::printf("  peer: lame --quiet --decode IN.mp3 OUT.wav\n");
    char name[80];
    std::snprintf(name, sizeof name, "MP3 -> WAV, %g minutes", o.decodeMinutes);
    return cldbench::printPairRow(name, f, 1.00);
}

bool memoryRow(const fs::path& root, const Options& o, BenchSettings& settings) {
    fs::create_directories(root);
    settings.setParallelJobs(1);
    // The peak of single runs was seen 8 MiB higher now and then, at two minutes as at two
    // hours, so short and long alternate and the lowest and highest peaks are compared.
    const int rounds = std::min(o.pairs, 3);
    std::printf("WAV -> MP3, one file: peak private memory against the input's length, %d "
                "alternating rounds\n",
                rounds);
    const double lengths[2] = {o.shortMinutes, o.longMinutes};
    std::vector<double> peaks[2];
    for (int i = 0; i < 2; ++i)
        writeLongWav(root / ("in" + std::to_string(i) + ".wav"), lengths[i]);
    bool ok = true;
    for (int round = 0; round < rounds && ok; ++round) {
        for (int i = 0; i < 2 && ok; ++i) {
            const fs::path wav = root / ("in" + std::to_string(i) + ".wav");
            const fs::path mp3 = root / ("out" + std::to_string(i) + ".mp3");
            const Result r =
                runCommand({self().string(), "job", "files", "3", wav.string(), mp3.string()});
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
                                                     {"--minutes", &o.minutes},
                                                     {"--decode-minutes", &o.decodeMinutes},
                                                     {"--short-minutes", &o.shortMinutes},
                                                     {"--long-minutes", &o.longMinutes}};
    const std::map<std::string, int*> counts = {
        {"--pairs", &o.pairs}, {"--files", &o.files}, {"--tracks", &o.tracks}};
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
        } else if (a == "--slow-us" && hasValue) {
            o.slowMicros = std::max(0LL, std::atoll(argv[++i]));
        } else if (a == "batch" || a == "batch1" || a == "cd" || a == "decode" || a == "memory") {
            rows.push_back(a);
        } else {
            return false;
        }
    }
    if (o.tracks > 99 || o.files > 999 || o.longMinutes > 400 || o.shortMinutes > 400)
        return false;
    if (rows.empty())
        rows = {"batch", "batch1", "cd", "decode", "memory"};
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "job") == 0)
        return runChild(argc, argv);
    Options o;
    std::vector<std::string> rows;
    if (!parseOptions(argc, argv, o, rows)) {
        std::fprintf(stderr,
                     "usage: bench_convert [--pairs N] [--files N] [--seconds S] [--minutes M] "
                     "[--tracks T] [--slow-us U] [--decode-minutes M] [--short-minutes M] "
                     "[--long-minutes M] [--show-pairs] [batch|batch1|cd|decode|memory ...]\n");
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
                cores(), o.pairs);
    cldbench::printPairHeader();
    bool ok = true;
    for (const std::string& row : rows) {
        if (row == "batch" || row == "batch1")
            ok = batchRow(root / "batch", o, settings, row == "batch") && ok;
        else if (row == "cd")
            ok = cdRow(root / "cd", o, settings) && ok;
        else if (row == "decode")
            ok = decodeRow(root / "decode", o, settings) && ok;
        else
            ok = memoryRow(root / "memory", o, settings) && ok;
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    // A row that failed (a run that did not complete or left files out) fails the benchmark;
    // a missed goal does not.
    return ok ? 0 : 1;
}
