// What recording to MP3 costs while it keeps up with a sound card: the capture path (ALSA
// capture, eight recycled buffers, worker, MP3 encoder, signal monitor) records from a
// device that delivers audio at the pace of a real card, for a fixed time, once without
// and once with the signal monitor.
//
//   record_bench [--seconds N] [--device NAME]
//
// Without --device the device is the paced test plug-in under ALSA's "file" PCM, which
// records a generated file of tones and noise (longer than the run, so the input never
// runs out). For each run it prints:
//   - the audio the device delivered while recording (wall time x rate) against the audio
//     the encoder was given and the length of the MP3 written; what is missing beyond the
//     last buffer or two still in the device at Stop was dropped;
//   - the CPU time of the process (user + system) as a share of one core and per audio
//     second;
//   - the peak private memory (RssAnon) of the process while recording.
#include "CaptureEngine.h"
#include "Mp3RecorderEngine.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

class CountingMonitor : public cld::MonitorWindow {
public:
    void GetClientSize(int& w, int& h) const override {
        w = 320;
        h = 120;
    }
    void DrawTrace(const std::vector<cld::MonitorPoint>& points) override {
        m_points += points.size();
    }
    size_t m_points = 0;
};

class CountingMp3Engine : public cld::Mp3RecorderEngine {
public:
    ~CountingMp3Engine() override { Stop(); }
    std::atomic<size_t> consumed{0};

protected:
    size_t Consume(const uint8_t* data, size_t bytes) override {
        consumed += bytes;
        return Mp3RecorderEngine::Consume(data, bytes);
    }
};

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long anonKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("RssAnon:", 0) == 0)
            return std::strtol(line.c_str() + 8, nullptr, 10);
    return -1;
}

// Length of an audio file in seconds as ffprobe reads it (decoding the whole stream), or -1.
double probedSeconds(const fs::path& file) {
    const std::string cmd = "ffprobe -v error -count_packets -show_entries "
                            "stream=duration_ts,time_base,duration -of csv=p=0 '" +
                            file.string() + "' 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return -1;
    char line[256] = {};
    const bool got = std::fgets(line, sizeof line, p) != nullptr;
    pclose(p);
    if (!got)
        return -1;
    // "time_base,duration_ts,duration": the last field is the length in seconds.
    const char* comma = std::strrchr(line, ',');
    return comma ? std::atof(comma + 1) : -1;
}

// Music-like raw input for the file PCM: two tones over soft noise, stereo 16-bit.
void writeRaw(const fs::path& path, int seconds) {
    std::ofstream raw(path, std::ios::binary);
    uint32_t noise = 12345;
    std::vector<int16_t> block(2 * 4410);
    const int64_t frames = 44100LL * seconds;
    for (int64_t i = 0; i < frames;) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(4410, frames - i));
        for (size_t k = 0; k < n; ++k, ++i) {
            noise = noise * 1664525u + 1013904223u;
            const double t = static_cast<double>(i) / 44100.0;
            const int hiss = static_cast<int>(noise >> 22) - 512;
            block[2 * k] =
                static_cast<int16_t>(12000 * std::sin(2 * std::numbers::pi * 440.0 * t) + hiss);
            block[2 * k + 1] =
                static_cast<int16_t>(9000 * std::sin(2 * std::numbers::pi * 659.3 * t) + hiss);
        }
        raw.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n * 4));
    }
}

} // namespace

int main(int argc, char** argv) {
    int seconds = 20;
    std::string device;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--seconds" && i + 1 < argc && std::atoi(argv[i + 1]) > 0)
            seconds = std::min(3600, std::atoi(argv[++i]));
        else if (a == "--device" && i + 1 < argc)
            device = argv[++i];
        else {
            std::fprintf(stderr, "usage: record_bench [--seconds N] [--device NAME]\n");
            return 2;
        }
    }
    const fs::path dir =
        fs::temp_directory_path() / ("cld-record-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    if (device.empty()) {
#ifdef CLD_PACED_PLUGIN
        writeRaw(dir / "in.raw", seconds + 10);
        std::ofstream conf(dir / "asound.conf");
        conf << "pcm_type.paced { lib \"" CLD_PACED_PLUGIN "\" }\n"
             << "pcm.card { type file slave.pcm { type paced rates [ 44100 ] channels [ 2 ] "
                "formats [ \"S16_LE\" ] } file \"/dev/null\" infile \""
             << (dir / "in.raw").string() << "\" format \"raw\" }\n";
        conf.close();
        setenv("ALSA_CONFIG_PATH", (dir / "asound.conf").c_str(), 1);
        device = "card";
#else
        std::fprintf(stderr, "record_bench: no paced test device was built; name one with "
                             "--device\n");
        fs::remove_all(dir);
        return 2;
#endif
    }
    std::printf("device %s, %d s per run, MP3 CBR 128 kbit/s quality 1\n", device.c_str(), seconds);
    std::printf("%-20s %9s %9s %9s %9s %7s %9s %9s\n", "", "device s", "encoded s", "MP3 s",
                "missing", "cpu %", "cpu s/s", "RssAnon");
    int status = 0;
    for (const bool monitor : {false, true}) {
        CountingMp3Engine engine;
        CountingMonitor window;
        if (monitor)
            engine.SetMonitorWindow(&window);
        if (!engine.SelectDeviceByName(device)) {
            std::fprintf(stderr, "record_bench: %s cannot record\n", device.c_str());
            status = 1;
            break;
        }
        const fs::path mp3 = dir / "out.mp3";
        engine.SetOutputFile(mp3.string());
        const double cpu0 = cpuSeconds();
        if (!engine.Start()) {
            std::fprintf(stderr, "record_bench: %s\n", engine.GetErrorText().c_str());
            status = 1;
            break;
        }
        const Clock::time_point started = Clock::now();
        const Clock::time_point end = started + std::chrono::seconds(seconds);
        long peakAnon = 0;
        // The recording runs for a fixed time by design; the main thread only samples memory.
        while (Clock::now() < end) {
            peakAnon = std::max(peakAnon, anonKb());
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        const double recorded = std::chrono::duration<double>(Clock::now() - started).count();
        engine.Stop();
        const double cpu = cpuSeconds() - cpu0;
        const cld::WaveInFormat& f = engine.GetFormat();
        const double encoded = static_cast<double>(engine.consumed.load()) /
                               (static_cast<double>(f.sampleRate) * f.BlockAlign());
        const double inMp3 = probedSeconds(mp3);
        const double missing = recorded - encoded;
        std::printf("%-20s %9.2f %9.2f %9.2f %6.0f ms %6.1f%% %9.3f %5.1f MiB\n",
                    monitor ? "capture+mp3+monitor" : "capture+mp3", recorded, encoded, inMp3,
                    missing * 1000, 100 * cpu / recorded, encoded > 0 ? cpu / encoded : 0.0,
                    static_cast<double>(peakAnon) / 1024.0);
        std::fflush(stdout);
        if (engine.GetEncoderError() != 0) {
            std::fprintf(stderr, "record_bench: the encoder failed (%d)\n",
                         engine.GetEncoderError());
            status = 1;
        }
        fs::remove(mp3);
    }
    std::printf("missing: device audio not encoded; a buffer or two (23 ms each) is still in the "
                "device at Stop, more was dropped\n");
    fs::remove_all(dir);
    return status;
}
