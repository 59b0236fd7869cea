#include "AlsaTestDevices.h"
#include "CaptureDevices.h"
#include "CaptureEngine.h"
#include "CaptureEngineProgress.h"
#include "Mp3RecorderEngine.h"
#include "Processes.h"
#include "TempDir.h"
#include "WaveInDevice.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/resource.h>
#include <thread>

using namespace std::chrono_literals;
using cld::CaptureEngine;
using cld::Mp3RecorderEngine;
using cld::WaveInDevice;
using cld::WaveInFormat;
using cld::WaveInResult;

namespace {

class CaptureEngineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { cldtest::AlsaTestDevices::get(); }
};

// Counts what the engine hands to its consumer.
class CountingEngine : public CaptureEngine {
public:
    ~CountingEngine() override { Stop(); }
    std::atomic<int> begins{0}, buffers{0}, ends{0}, pauses{0};
    std::atomic<size_t> bytes{0};
    bool refuse = false;

protected:
    bool BeginConsume(int, int, int) override {
        ++begins;
        return !refuse;
    }
    size_t Consume(const uint8_t*, size_t n) override {
        ++buffers;
        bytes += n;
        return n;
    }
    void EndConsume() override { ++ends; }
    void OnPauseChanged() override { ++pauses; }
};

// A monitor window that keeps the last trace it was given.
class TraceKeeper : public cld::MonitorWindow {
public:
    void GetClientSize(int& w, int& h) const override {
        w = 300;
        h = 101;
    }
    void DrawTrace(const std::vector<cld::MonitorPoint>& points) override {
        std::lock_guard lock(m_lock);
        m_points = points;
        ++m_draws;
    }
    int draws() {
        std::lock_guard lock(m_lock);
        return m_draws;
    }
    std::vector<cld::MonitorPoint> points() {
        std::lock_guard lock(m_lock);
        return m_points;
    }

private:
    std::mutex m_lock;
    std::vector<cld::MonitorPoint> m_points;
    int m_draws = 0;
};

// The MP3 recorder, counting the bytes it was handed: the length its file must have.
class CountingRecorder : public Mp3RecorderEngine {
public:
    ~CountingRecorder() override { Stop(); }
    std::atomic<size_t> bytes{0};
    double seconds() const {
        const WaveInFormat f = GetFormat();
        return static_cast<double>(bytes.load()) /
               (static_cast<double>(f.channels) * f.sampleRate * f.bitsPerSample / 8);
    }
    // A buffer of 2048 bytes, in seconds.
    double bufferSeconds() const {
        const WaveInFormat f = GetFormat();
        return 2048.0 / (static_cast<double>(f.channels) * f.sampleRate * f.bitsPerSample / 8);
    }

protected:
    size_t Consume(const uint8_t* data, size_t n) override {
        bytes += n;
        return Mp3RecorderEngine::Consume(data, n);
    }
};

bool hasXingHeader(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    return head.find("Xing") != std::string::npos || head.find("Info") != std::string::npos;
}

} // namespace

TEST_F(CaptureEngineTest, ProbeTakesTheOnlyFormatADeviceOffersAndRefusesUnusableOnes) {
    CountingEngine engine;
    ASSERT_TRUE(engine.SelectDeviceByName("line22"));
    EXPECT_EQ(engine.GetFormat(), (WaveInFormat{1, 22050, 16}));
    ASSERT_TRUE(engine.SelectDeviceByName("line8"));
    EXPECT_EQ(engine.GetFormat(), (WaveInFormat{1, 11025, 8}));
    ASSERT_TRUE(engine.SelectDeviceByName("line44"));
    EXPECT_EQ(engine.GetFormat(), (WaveInFormat{2, 44100, 16}));

    for (const char* name : {"dead", "busy", "no-such-device"}) {
        EXPECT_FALSE(engine.SelectDeviceByName(name)) << name;
        EXPECT_FALSE(engine.IsDeviceUsable());
        EXPECT_FALSE(engine.Start()) << name;
        EXPECT_FALSE(engine.IsRecording());
    }
    EXPECT_EQ(engine.begins, 0);
}

TEST_F(CaptureEngineTest, DeviceListNamesTheConfiguredCaptureDevicesByNumber) {
    const auto devices = cld::listCaptureDevices();
    int line22 = -1;
    for (size_t i = 0; i < devices.size(); ++i) {
        EXPECT_NE(devices[i].pcmName, "null");
        if (devices[i].pcmName == "line22")
            line22 = static_cast<int>(i);
    }
    ASSERT_GE(line22, 0);
    EXPECT_EQ(devices[static_cast<size_t>(line22)].productName, "Test line22");
    CountingEngine engine;
    EXPECT_TRUE(engine.SelectDevice(static_cast<uint32_t>(line22)));
    EXPECT_EQ(engine.GetFormat().sampleRate, 22050u);
    EXPECT_FALSE(engine.SelectDevice(static_cast<uint32_t>(devices.size())));
}

TEST_F(CaptureEngineTest, OpenErrorsCarryTheirTexts) {
    cld::AutoResetEvent event;
    WaveInDevice wrongFormat(WaveInFormat{2, 44100, 16}, 1024);
    EXPECT_EQ(wrongFormat.Open("line22", &event), WaveInResult::BadFormat);
    EXPECT_EQ(wrongFormat.ErrorText(), "Output format not supported.");

    WaveInDevice busy(WaveInFormat{1, 22050, 16}, 1024);
    EXPECT_EQ(busy.Open("busy", &event), WaveInResult::Allocated);
    EXPECT_EQ(busy.ErrorText(),
              "Another application is recording audio. Stop recording with this other "
              "application and then try to record again.");

    WaveInDevice missing(WaveInFormat{1, 22050, 16}, 1024);
    EXPECT_NE(missing.Open("no-such-device", &event), WaveInResult::Ok);
    EXPECT_FALSE(missing.ErrorText().empty());
    EXPECT_LT(missing.ErrorText().size(), WaveInDevice::kMaxErrorText);
    EXPECT_FALSE(missing.IsOpen());
}

TEST_F(CaptureEngineTest, PausingDropsBuffersAndStopWhilePausedEndsOnce) {
    CountingEngine engine;
    ASSERT_TRUE(engine.SelectDeviceByName("line22"));
    ASSERT_TRUE(engine.Start());
    EXPECT_TRUE(engine.IsRecording());
    EXPECT_FALSE(engine.Start()); // a second start changes nothing
    EXPECT_EQ(engine.begins, 1);
    ASSERT_TRUE(cldtest::waitUntil([&] { return engine.buffers > 5; }));
    engine.TogglePause();
    EXPECT_TRUE(engine.IsPaused());
    // The worker reads the pause before each buffer: at most the one it was handing over
    // when the pause came still arrives, and none after it, however long the pause.
    const int atPause = engine.buffers;
    std::this_thread::sleep_for(800ms);
    EXPECT_LE(engine.buffers, atPause + 1);
    engine.Stop();
    EXPECT_FALSE(engine.IsRecording());
    EXPECT_FALSE(engine.IsPaused());
    EXPECT_EQ(engine.ends, 1);
    EXPECT_EQ(engine.pauses, 2); // paused, then resumed by Stop
    EXPECT_EQ(engine.bytes % 2048, 0u);
    engine.Stop();
    EXPECT_EQ(engine.ends, 1);
}

TEST_F(CaptureEngineTest, RefusedConsumerOpensNothing) {
    CountingEngine engine;
    engine.refuse = true;
    ASSERT_TRUE(engine.SelectDeviceByName("line22"));
    EXPECT_FALSE(engine.Start());
    EXPECT_FALSE(engine.IsRecording());
    EXPECT_EQ(engine.ends, 0);
}

TEST_F(CaptureEngineTest, MonitorShowsTheLatestBufferInsideTheWindow) {
    CountingEngine engine;
    TraceKeeper monitor;
    engine.SetMonitorWindow(&monitor);
    ASSERT_TRUE(engine.SelectDeviceByName("line22"));
    ASSERT_TRUE(engine.Start());
    EXPECT_TRUE(cldtest::waitUntil([&] { return monitor.draws() > 3; }));
    engine.Stop();
    EXPECT_GT(monitor.draws(), 3);
    const auto points = monitor.points();
    ASSERT_EQ(points.size(), 1024u);
    int lowest = 101, highest = -1;
    for (size_t i = 0; i < points.size(); ++i) {
        if (i < 300) {
            EXPECT_EQ(points[i].x, static_cast<int>(i));
            lowest = std::min(lowest, points[i].y);
            highest = std::max(highest, points[i].y);
        } else {
            EXPECT_EQ(points[i], (cld::MonitorPoint{299, 50}));
        }
    }
    // A sine at 0.6 of full scale swings about 38 pixels each way at 512 per pixel.
    EXPECT_LE(lowest, 50 - 30);
    EXPECT_GE(highest, 50 + 30);
}

TEST_F(CaptureEngineTest, RecordsASineToMp3OfTheRightFrequencyAndLength) {
    cldtest::TempDir dir;
    for (const char* device : {"line22", "line8", "line44"}) {
        CountingRecorder engine;
        ASSERT_TRUE(engine.SelectDeviceByName(device));
        const auto file = dir.file(std::string(device) + ".mp3");
        engine.SetOutputFile(file.string());
        ASSERT_TRUE(engine.Start()) << engine.GetErrorText();
        EXPECT_TRUE(cldtest::waitUntil([&] { return engine.seconds() >= 2.5; })) << device;
        engine.Stop();
        const double recorded = engine.seconds();
        const auto m = cldtest::measureAudio(file);
        ASSERT_TRUE(m.ok) << device;
        EXPECT_GE(recorded, 2.5) << device;
        EXPECT_NEAR(m.seconds, recorded, 0.25) << device;
        const double want = std::string(device) == "line22" ? 1000 : device[4] == '8' ? 500 : 440;
        EXPECT_NEAR(m.frequency, want, want * 0.02) << device;
        EXPECT_FALSE(hasXingHeader(file)) << "a CBR recording has no VBR header";
    }
}

TEST_F(CaptureEngineTest, PausedTimeIsLeftOutAndAPausedVbrRecordingEndsComplete) {
    cldtest::TempDir dir;
    CountingRecorder engine;
    Mp3EncoderParams params;
    params.vbrMethod = 3;
    params.bitrate = 32;
    params.vbrMaxBitrate = 192;
    engine.SetParams(params);
    ASSERT_TRUE(engine.SelectDeviceByName("line22"));
    const auto file = dir.file("paused.mp3");
    engine.SetOutputFile(file.string());
    ASSERT_TRUE(engine.Start());
    ASSERT_TRUE(cldtest::waitUntil([&] { return engine.seconds() >= 1.0; }));
    engine.TogglePause();
    // At most the buffer being handed over when the pause came still goes into the file.
    const double atPause = engine.seconds();
    std::this_thread::sleep_for(1500ms);
    EXPECT_LE(engine.seconds(), atPause + engine.bufferSeconds())
        << "nothing recorded during the pause reaches the file";
    const double resumedAt = engine.seconds();
    engine.TogglePause();
    ASSERT_TRUE(cldtest::waitUntil([&] { return engine.seconds() >= resumedAt + 1.0; }));
    engine.TogglePause();
    const double recorded = engine.seconds();
    std::this_thread::sleep_for(300ms);
    engine.Stop(); // the recorder's Exit while paused
    EXPECT_FALSE(engine.IsRecording());
    EXPECT_LE(engine.seconds(), recorded + engine.bufferSeconds());
    const auto m = cldtest::measureAudio(file);
    ASSERT_TRUE(m.ok);
    EXPECT_NEAR(m.seconds, engine.seconds(), 0.25) << "the 1.5 s of pause are left out";
    EXPECT_NEAR(m.frequency, 1000, 20);
    EXPECT_TRUE(hasXingHeader(file));
}

TEST_F(CaptureEngineTest, EncoderThatCannotCreateItsFileRefusesTheStart) {
    Mp3RecorderEngine engine;
    ASSERT_TRUE(engine.SelectDeviceByName("line22"));
    engine.SetOutputFile("/nonexistent-folder/x/rec.mp3");
    EXPECT_FALSE(engine.Start());
    EXPECT_EQ(engine.GetEncoderError(), 102);
    EXPECT_FALSE(engine.IsRecording());
}

TEST_F(CaptureEngineTest, ProgressFollowsTheRecordingAndReportsAFullDisk) {
    Mp3RecorderEngine engine;
    cld::CaptureEngineProgress progress(engine);
    ASSERT_TRUE(engine.SelectDeviceByName("line22"));
    cldtest::TempDir dir;
    engine.SetOutputFile(dir.file("p.mp3").string());
    ASSERT_TRUE(engine.Start());
    EXPECT_EQ(progress.state(), cld::JobState::Running);
    engine.TogglePause();
    EXPECT_EQ(progress.state(), cld::JobState::Paused);
    progress.abort();
    EXPECT_EQ(progress.state(), cld::JobState::Done);
    EXPECT_EQ(progress.errorCode(), 0);

    // A disk that fills up: files of this process may not grow past 4 KB (the signal
    // that would end the process is ignored, so the write fails with EFBIG). The
    // encoder's output error reaches the progress.
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    engine.SetOutputFile(dir.file("full.mp3").string());
    const bool started = engine.Start();
    if (started)
        cldtest::waitUntil([&] { return progress.errorCode() != 0; });
    const int error = progress.errorCode();
    const bool recording = engine.IsRecording();
    engine.Stop();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_TRUE(started);
    EXPECT_EQ(error, 102);
    EXPECT_TRUE(recording) << "the engine goes on until it is stopped";
    EXPECT_EQ(progress.state(), cld::JobState::Failed);
}
