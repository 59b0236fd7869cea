// How fast the capture path (ALSA capture, eight recycled buffers, worker, MP3 encoder,
// signal monitor) can go when the device never makes it wait. The device is ALSA's own
// "file" PCM over "null", which delivers a raw file as fast as it is read; whatever the
// engine does not take in time is dropped by the device, as a sound card drops it.
//
//   record_bench [seconds]
//
// prints the audio seconds consumed per wall-clock second (the real-time factor of the
// whole path), the process's CPU time per audio second, and the peak resident size.
#include "CaptureEngine.h"
#include "Mp3RecorderEngine.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

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

class TimedMp3Engine : public cld::Mp3RecorderEngine {
public:
    ~TimedMp3Engine() override { Stop(); }
    size_t consumed = 0;

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

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
    const auto dir =
        std::filesystem::temp_directory_path() / ("cld-record-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    {
        std::ofstream raw(dir / "in.raw", std::ios::binary);
        for (int i = 0; i < 44100 * 120; ++i) {
            const auto s =
                static_cast<int16_t>(20000 * std::sin(2 * std::numbers::pi * 440.0 * i / 44100.0));
            raw.write(reinterpret_cast<const char*>(&s), 2);
            raw.write(reinterpret_cast<const char*>(&s), 2);
        }
        std::ofstream conf(dir / "asound.conf");
        conf << "pcm.fast { type file slave.pcm { type null } file \"/dev/null\" infile \""
             << (dir / "in.raw").string() << "\" format \"raw\" }\n";
    }
    ::setenv("ALSA_CONFIG_PATH", (dir / "asound.conf").c_str(), 1);

    for (bool monitor : {false, true}) {
        TimedMp3Engine engine;
        CountingMonitor window;
        if (monitor)
            engine.SetMonitorWindow(&window);
        if (!engine.SelectDeviceByName("fast")) {
            std::fprintf(stderr, "record_bench: the file device is not usable\n");
            return 1;
        }
        engine.SetOutputFile((dir / "out.mp3").string());
        const double cpu0 = cpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        if (!engine.Start()) {
            std::fprintf(stderr, "record_bench: %s\n", engine.GetErrorText().c_str());
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        engine.Stop();
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = cpuSeconds() - cpu0;
        const double audio = static_cast<double>(engine.consumed) / (44100.0 * 4);
        std::printf("%-22s %7.1f audio s in %5.1f s: %6.1fx real time, %.3f CPU s per audio s\n",
                    monitor ? "capture+mp3+monitor" : "capture+mp3", audio, wall, audio / wall,
                    audio > 0 ? cpu / audio : 0.0);
    }
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    std::printf("peak resident size: %ld KiB\n", u.ru_maxrss);
    std::filesystem::remove_all(dir);
    return 0;
}
