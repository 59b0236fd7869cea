// How long after Start the first captured sample is: the moment the press of Start is
// answered by the sound device, for the MP3 recorder's engine with the device chosen and
// opened on Start (as a recorder without a prepared device does) and with the device
// opened while the dialog waits, and how long the WMA recorder's encoder takes to start.
//
//   record_latency_bench [DEVICE] [ROUNDS]
//
// DEVICE is an ALSA capture device ("default" on a machine with a sound card); without
// one, a paced test device that keeps the pace of a sound card is used. The time of the
// first sample is the moment the first buffer was complete less the buffer's length.
#include "AlsaDeviceSource.h"
#include "CaptureDevices.h"
#include "CaptureEngine.h"
#include "WmEncoderControl.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class FirstBufferEngine : public cld::CaptureEngine {
public:
    ~FirstBufferEngine() override { Stop(); }
    std::atomic<bool> got{false};
    Clock::time_point first{};
    size_t firstBytes = 0;

protected:
    size_t Consume(const uint8_t*, size_t bytes) override {
        if (!got.load()) {
            first = Clock::now();
            firstBytes = bytes;
            got = true;
        }
        return bytes;
    }
};

double millis(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// One recording start; returns the milliseconds from the press to the first sample, or
// a negative number when the device did not record. Unprepared, the device is chosen by
// its number on Start, as the recorder dialog did: the list is read and the device
// probed first.
double startToFirstSample(const std::string& device, bool prepared) {
    FirstBufferEngine engine;
    if (prepared && (!engine.SelectDeviceByName(device) || !engine.PrepareDevice()))
        return -1;
    const Clock::time_point press = Clock::now();
    if (!prepared) {
        const auto devices = cld::listCaptureDevices();
        const auto it =
            std::find_if(devices.begin(), devices.end(),
                         [&](const cld::CaptureDeviceInfo& d) { return d.pcmName == device; });
        if (it == devices.end() ||
            !engine.SelectDevice(static_cast<uint32_t>(it - devices.begin())))
            return -1;
    }
    if (!engine.Start())
        return -1;
    const Clock::time_point giveUp = press + std::chrono::seconds(5);
    while (!engine.got.load() && Clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    engine.Stop();
    if (!engine.got.load())
        return -1;
    const cld::WaveInFormat& f = engine.GetFormat();
    const double bufferMs =
        1000.0 * static_cast<double>(engine.firstBytes / f.BlockAlign()) / f.sampleRate;
    return std::max(0.0, millis(engine.first - press) - bufferMs);
}

// The WMA recorder's start until its encoder records; `parked`: the device was opened
// while the dialog waited.
double wmaStart(const std::string& device, const std::filesystem::path& dir, bool parked) {
    WmEncoderControl encoder(CLD_PROFILE_DIR, "");
    int profile = -1;
    for (int i = 0; i < encoder.GetProfileCount(); ++i)
        if (encoder.GetProfileInfo(i).name == "Audio for CD quality (96 Kbps stereo)")
            profile = i;
    if (profile < 0)
        return -1;
    encoder.PrepareForFile();
    WmSourceGroup& group = encoder.AddSourceGroup();
    group.SetInput("DEVICE://" + device);
    group.Activate();
    group.SetProfile(encoder.GetProfile(profile));
    encoder.SetOutputFile((dir / "bench.wma").string());
    if (parked && !cld::parkDeviceSource("DEVICE://" + device))
        return -1;
    const Clock::time_point press = Clock::now();
    try {
        encoder.Start();
    } catch (...) {
        return -1;
    }
    const double taken = millis(Clock::now() - press);
    encoder.Stop();
    return taken;
}

} // namespace

int main(int argc, char** argv) {
    std::string device = argc > 1 ? argv[1] : "";
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    const auto dir = std::filesystem::temp_directory_path() /
                     ("cld-latency-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    if (device.empty()) {
#ifdef CLD_PACED_PLUGIN
        std::ofstream conf(dir / "asound.conf");
        conf << "pcm_type.paced { lib \"" CLD_PACED_PLUGIN "\" }\n"
             << "pcm.card { type paced rates [ 44100 ] channels [ 2 ] formats [ \"S16_LE\" ] "
                "hint { show on description \"Bench card\" } }\n";
        conf.close();
        ::setenv("ALSA_CONFIG_PATH", (dir / "asound.conf").c_str(), 1);
        device = "card";
#else
        std::fprintf(stderr, "record_latency_bench: name a capture device\n");
        return 2;
#endif
    }
    std::printf("device %s, %d rounds (median)\n", device.c_str(), rounds);
    for (const bool prepared : {false, true}) {
        std::vector<double> times;
        for (int i = 0; i < rounds; ++i) {
            const double ms = startToFirstSample(device, prepared);
            if (ms < 0) {
                std::fprintf(stderr, "record_latency_bench: %s does not record\n", device.c_str());
                return 1;
            }
            times.push_back(ms);
        }
        std::printf("MP3 recorder, %-38s start to first sample %7.1f ms\n",
                    prepared ? "device opened while the dialog waits:"
                             : "device chosen and opened on Start:",
                    median(times));
    }
    for (const bool parked : {false, true}) {
        std::vector<double> wma;
        for (int i = 0; i < rounds; ++i)
            wma.push_back(wmaStart(device, dir, parked));
        std::printf("WMA recorder, %-38s encoder start        %7.1f ms\n",
                    parked ? "device opened while the dialog waits:" : "device opened on Start:",
                    median(wma));
    }
    std::filesystem::remove_all(dir);
    return 0;
}
