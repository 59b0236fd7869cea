// Speed of the conversion batches, headless.
//
//   bench_convert batch [files] [seconds]   a folder of WAV files (100 of 5 s) to MP3
//                                           through the MP3 progress dialog, against the
//                                           lame command run over the same files
//   bench_convert cd [minutes] [tracks] [us] a virtual disc (74 minutes in 10 tracks) to
//                                           MP3 through the pipelined CD mode with paranoia
//                                           on, against ripping alone and encoding alone;
//                                           us slows the drive by that many microseconds
//                                           per sector (0: as fast as the image reads)
//
// Without arguments both run with their defaults. Everything happens in a fresh folder
// under the system's temporary folder, removed afterwards.

#include "AppResources.h"
#include "BuiltinResources.h"
#include "CMP3EncoderProgressDlg.h"
#include "GenreList.h"
#include "JobContext.h"
#include "JobParameters.h"
#include "MessageService.h"
#include "Mp3Bitrates.h"
#include "Mp3EncodeJob.h"
#include "SettingsRecord.h"
#include "VDriveKit.h"
#include "cldrip/CDRipDriveSettings.h"
#include "cldrip/CDRipObject.h"
#include "cldrip/ClassObject.h"
#include "cldrip/GrabStatus.h"
#include "cldrip/NameText.h"

#include <QApplication>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// CPU seconds (user + system) of this process or of its finished children.
double cpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

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

void writeWav(const fs::path& path, double seconds, unsigned seed) {
    const uint32_t frames = static_cast<uint32_t>(seconds * 44100);
    std::vector<int16_t> pcm(frames * 2);
    uint32_t noise = seed;
    for (uint32_t f = 0; f < frames; ++f) {
        noise = noise * 1664525u + 1013904223u;
        const double t = f / 44100.0;
        pcm[2 * f] = static_cast<int16_t>(9000 * std::sin(2 * M_PI * 440 * t) +
                                          static_cast<int>(noise >> 21) - 1024);
        pcm[2 * f + 1] = static_cast<int16_t>(7000 * std::sin(2 * M_PI * 660 * t));
    }
    const uint32_t data = frames * 4;
    std::ofstream out(path, std::ios::binary);
    auto put32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    put32(36 + data);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(2);
    put32(44100);
    put32(176400);
    put16(4);
    put16(16);
    out.write("data", 4);
    put32(data);
    out.write(reinterpret_cast<const char*>(pcm.data()), data);
}

// A private settings store, the built-in strings and a job context over them.
struct World {
    explicit World(const fs::path& root) : context(settings, genres) {
        fs::create_directories(root / "registry");
        setenv("CLD_REGISTRY_DIR", (root / "registry").c_str(), 1);
        settings.LoadSettings();
        genres.buildGenreList();
        AppResources::setSource(std::make_unique<BuiltinResources>(nullptr, nullptr));
        auto service = std::make_unique<PrintedMessages>();
        messages = service.get();
        MessageService::setInstance(std::move(service));
    }
    SettingsRecord settings;
    GenreList genres;
    JobContext context;
    PrintedMessages* messages = nullptr;
};

void runBatch(const fs::path& root, int files, double seconds) {
    World world(root);
    const fs::path in = root / "wavs";
    const fs::path out = in / "MP3Files";
    const fs::path lameOut = root / "lame";
    fs::create_directories(out);
    fs::create_directories(lameOut);
    for (int i = 0; i < files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "take%03d.wav", i);
        writeWav(in / name, seconds, static_cast<unsigned>(i + 1));
    }
    // The settings a first start has: CBR 128 kbit/s, quality 1, channel mode automatic.
    const Mp3EncoderParams p = cld::mp3ParamsFromSettings(world.settings, 128);
    std::fflush(stdout);
    std::printf("batch: %d WAV files of %.1f s, CBR %d kbit/s, quality %d\n", files, seconds,
                p.bitrate, p.quality);

    JobParameters job;
    job.inputPath = in.string() + "/";
    job.outputPath = out.string() + "/";
    job.encodingBitrate = 128;
    const auto ours = Clock::now();
    const double oursCpuStart = cpuSeconds(RUSAGE_SELF);
    {
        CMP3EncoderProgressDlg dlg(world.context, job, 2);
        dlg.exec();
        if (!dlg.completed())
            std::printf("  the batch did not complete (message %d)\n", world.messages->last);
    }
    const double oursSeconds = secondsSince(ours);
    const double oursCpu = cpuSeconds(RUSAGE_SELF) - oursCpuStart;

    const auto lameStart = Clock::now();
    const double lameCpuStart = cpuSeconds(RUSAGE_CHILDREN);
    for (const auto& e : fs::directory_iterator(in)) {
        if (e.path().extension() != ".wav")
            continue;
        const std::string cmd = "lame --quiet --nohist -b 128 -q 1 '" + e.path().string() + "' '" +
                                (lameOut / e.path().stem()).string() + ".mp3'";
        if (std::system(cmd.c_str()) != 0) {
            std::printf("  lame failed\n");
            return;
        }
    }
    const double lameSeconds = secondsSince(lameStart);
    const double lameCpu = cpuSeconds(RUSAGE_CHILDREN) - lameCpuStart;
    // The dialog's fixed waits: 500 ms before the batch and 500 ms before "Process
    // completed.", once per batch.
    const double fixed = 1.0;
    std::printf("  progress dialog (whole dialog):     %7.2f s\n", oursSeconds);
    std::printf("  progress dialog (batch loop only):  %7.2f s\n", oursSeconds - fixed);
    std::printf("  lame command, one file after another: %5.2f s\n", lameSeconds);
    std::printf("  ratio loop / lame: %.3f   (whole dialog: %.3f)\n",
                (oursSeconds - fixed) / lameSeconds, oursSeconds / lameSeconds);
    std::printf("  overhead per file: %.1f ms\n",
                (oursSeconds - fixed - lameSeconds) * 1000.0 / files);
    // On a busy machine the wall times wander; the CPU each side spent does not.
    std::printf("  CPU: progress dialog %.2f s, lame %.2f s, ratio %.3f\n", oursCpu, lameCpu,
                oursCpu / lameCpu);
}

GetClassObjectFn ripperEntry() {
    char self[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    const fs::path folder =
        n > 0 ? fs::path(std::string(self, static_cast<size_t>(n))).parent_path() : fs::path(".");
    void* handle = dlopen((folder / "libcldrip.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle ? reinterpret_cast<GetClassObjectFn>(dlsym(handle, "GetClassObject")) : nullptr;
}

bool ripAll(CDRipObject& rip, const fs::path& folder, int tracks) {
    NameText* f = NameText::Create(folder.c_str());
    rip.SetOutputFolder(f);
    f->Destroy();
    for (int i = 0; i < tracks; ++i) {
        NameText* name = NameText::Create(("track" + std::to_string(i) + ".wav").c_str());
        rip.AddTrack(i, name, 0, -1);
        name->Destroy();
    }
    if (rip.StartGrab() == 0)
        return false;
    for (;;) {
        GrabStatus* s = rip.GetStatus();
        const bool running = s->IsRunning() != 0;
        const int error = s->GetError();
        s->Destroy();
        if (!running)
            return error == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void runCd(const fs::path& root, double minutes, int tracks, int64_t slowMicros) {
    World world(root);
    const GetClassObjectFn entry = ripperEntry();
    if (!entry) {
        std::printf("cd: libcldrip.so not found beside the benchmark\n");
        return;
    }
    vdrivekit::DiscSpec disc;
    const int64_t totalSectors = static_cast<int64_t>(minutes * 60 * 75);
    for (int i = 0; i < tracks; ++i)
        disc.tracks.push_back({vdrivekit::Content::Music, totalSectors / tracks, {}, {}, 0, 0});
    disc.faults.slowMicrosPerSector = slowMicros;
    std::printf("cd: %.0f-minute virtual disc in %d tracks, paranoia on (type 5), CBR 128, "
                "drive slowed by %lld us per sector\n",
                minutes, tracks, static_cast<long long>(slowMicros));
    vdrivekit::VirtualDrives drives(root / "image", {disc});
    NameText* objectName = NameText::Create("CDRipObject");
    auto* rip = static_cast<CDRipObject*>(entry(objectName));
    objectName->Destroy();
    if (!rip) {
        std::printf("  no grab object\n");
        return;
    }
    rip->GetDriveSettings()->SetErrorCorrection(5);
    world.settings.setErrorCorrection(2);

    // Rip alone.
    const fs::path ripped = root / "ripped";
    fs::create_directories(ripped);
    auto start = Clock::now();
    const bool ripOk = ripAll(*rip, ripped, tracks);
    const double ripSeconds = secondsSince(start);

    // Encode alone: the same WAV files, one job after another.
    const fs::path encoded = root / "encoded";
    fs::create_directories(encoded);
    Mp3EncodeJob job;
    job.SetParams(cld::mp3ParamsFromSettings(world.settings, 128));
    start = Clock::now();
    for (int i = 0; i < tracks && ripOk; ++i) {
        job.SetInput((ripped / ("track" + std::to_string(i) + ".wav")).string());
        job.SetOutput((encoded / ("track" + std::to_string(i) + ".mp3")).string());
        if (!job.Start())
            break;
        while (job.IsRunning())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const double encodeSeconds = secondsSince(start);
    fs::remove_all(ripped);
    fs::remove_all(encoded);

    // The pipelined CD mode.
    GrabSelection& sel = world.context.grabSelection;
    for (int i = 0; i < tracks; ++i) {
        sel.trackNames.push_back("Track" + std::to_string(i + 1));
        sel.ticked.push_back(static_cast<uint16_t>(i));
    }
    sel.artist = "Bench";
    sel.album = "Disc";
    world.context.ripObject = rip;
    world.context.driveSettings = rip->GetDriveSettings();
    JobParameters params;
    params.outputPath = (root / "cd").string() + "/";
    fs::create_directories(root / "cd");
    start = Clock::now();
    {
        CMP3EncoderProgressDlg dlg(world.context, params, 1);
        dlg.exec();
        if (!dlg.completed())
            std::printf("  the CD batch did not complete (message %d)\n", world.messages->last);
    }
    const double pipeSeconds = secondsSince(start) - 1.0; // less the dialog's two fixed waits
    rip->Dispose();

    const double larger = std::max(ripSeconds, encodeSeconds);
    std::printf("  rip alone:    %7.2f s%s\n", ripSeconds, ripOk ? "" : " (failed)");
    std::printf("  encode alone: %7.2f s\n", encodeSeconds);
    std::printf("  pipelined:    %7.2f s  (the sum would be %.2f s)\n", pipeSeconds,
                ripSeconds + encodeSeconds);
    std::printf("  ratio pipelined / larger of the two: %.3f\n", pipeSeconds / larger);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string what = argc > 1 ? argv[1] : "all";
    char pattern[] = "/tmp/bench_convert.XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path root = made;
    if (what == "batch" || what == "all")
        runBatch(root / "batch", argc > 2 && what == "batch" ? std::atoi(argv[2]) : 100,
                 argc > 3 && what == "batch" ? std::atof(argv[3]) : 5.0);
    if (what == "cd" || what == "all")
        runCd(root / "cd", argc > 2 && what == "cd" ? std::atof(argv[2]) : 74.0,
              argc > 3 && what == "cd" ? std::atoi(argv[3]) : 10,
              argc > 4 && what == "cd" ? std::atoll(argv[4]) : 0);
    MessageService::setInstance(nullptr);
    AppResources::setSource(nullptr);
    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}
