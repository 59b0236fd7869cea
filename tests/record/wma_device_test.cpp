#include "AlsaDeviceSource.h"
#include "AlsaTestDevices.h"
#include "Processes.h"
#include "TempDir.h"
#include "WMException.h"
#include "WmEncoderControl.h"
#include "WmErrors.h"
#include "WmVideoErrors.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

class WmaDeviceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { cldtest::AlsaTestDevices::get(); }
    WmEncoderControl m_encoder{CLD_PROFILE_SOURCE_DIR, ""};

    int ProfileIndex(const std::string& name) {
        for (int i = 0; i < m_encoder.GetProfileCount(); ++i)
            if (m_encoder.GetProfileInfo(i).name == name)
                return i;
        return -1;
    }

    void Configure(const std::string& input, const std::string& output) {
        m_encoder.PrepareForFile();
        WmSourceGroup& group = m_encoder.AddSourceGroup();
        group.SetInput(input);
        group.Activate();
        group.SetProfile(
            m_encoder.GetProfile(ProfileIndex("Audio for CD quality (96 Kbps stereo)")));
        m_encoder.SetOutputFile(output);
    }
};

std::string probeFormat(const std::filesystem::path& file) {
    const std::string cmd = "ffprobe -v error -show_entries format=format_name:stream=codec_name "
                            "-of default=nw=1 '" +
                            file.string() + "' 2>&1";
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p))
            out += buf;
        ::pclose(p);
    }
    return out;
}

} // namespace

TEST(DeviceSource, OnlyDeviceUrlsAreDeviceSources) {
    EXPECT_TRUE(cld::isDeviceSource("DEVICE://line22"));
    EXPECT_TRUE(cld::isDeviceSource("device://hw:0"));
    EXPECT_FALSE(cld::isDeviceSource("DEVICE://"));
    EXPECT_FALSE(cld::isDeviceSource("FILE:///tmp/a.wav"));
    EXPECT_FALSE(cld::isDeviceSource("/tmp/DEVICE://x"));
}

TEST_F(WmaDeviceTest, RecordsFromACaptureDeviceIntoAnAsfFileThatFfprobeAccepts) {
    cldtest::TempDir dir;
    for (const char* device : {"line44", "line22"}) {
        const auto out = dir.file(std::string(device) + ".wma");
        Configure(std::string("DEVICE://") + device, out.string());
        m_encoder.Start();
        EXPECT_EQ(m_encoder.GetRunState(), WmEncoderControl::kRunning);
        EXPECT_TRUE(cldtest::waitUntil([&] {
            return m_encoder.GetRunState() != WmEncoderControl::kRunning ||
                   m_encoder.GetStatistics().encodedMilliseconds >= 2000;
        }));
        EXPECT_EQ(m_encoder.GetRunState(), WmEncoderControl::kRunning)
            << "a device source runs until it is stopped";
        m_encoder.Stop();
        EXPECT_EQ(m_encoder.GetLastErrorCode(), 0u);
        const WmStatistics stats = m_encoder.GetStatistics();
        const double recorded = static_cast<double>(stats.encodedMilliseconds) / 1000;
        EXPECT_GE(recorded, 2.0) << device;
        EXPECT_EQ(stats.bitrate, 96000);
        const std::string probe = probeFormat(out);
        EXPECT_NE(probe.find("format_name=asf"), std::string::npos) << probe;
        EXPECT_NE(probe.find("codec_name=wmav2"), std::string::npos) << probe;
        // The file holds what the encoder counted.
        const auto m = cldtest::measureAudio(out);
        ASSERT_TRUE(m.ok);
        EXPECT_NEAR(m.seconds, recorded, 0.3) << device;
        const double want = std::string(device) == "line44" ? 440 : 1000;
        EXPECT_NEAR(m.frequency, want, want * 0.03) << device;
    }
}

// The level of each channel of a file, as the root mean square of its samples (full
// scale 1.0), from ffmpeg's decode.
std::pair<double, double> channelLevels(const std::filesystem::path& file) {
    const std::string cmd =
        "ffmpeg -v error -i '" + file.string() + "' -ac 2 -f s16le - 2>/dev/null";
    double sum[2] = {0, 0};
    size_t frames = 0;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        int16_t frame[2];
        while (std::fread(frame, sizeof frame, 1, p) == 1) {
            for (int c = 0; c < 2; ++c)
                sum[c] += (frame[c] / 32768.0) * (frame[c] / 32768.0);
            ++frames;
        }
        ::pclose(p);
    }
    if (frames == 0)
        return {0, 0};
    return {std::sqrt(sum[0] / static_cast<double>(frames)),
            std::sqrt(sum[1] / static_cast<double>(frames))};
}

TEST_F(WmaDeviceTest, ADeviceOpenedAheadIsTakenByTheNextRecording) {
    cldtest::TempDir dir;
    ASSERT_TRUE(cld::parkDeviceSource("DEVICE://line44"));
    EXPECT_TRUE(cld::isDeviceParked("line44"));
    EXPECT_FALSE(cld::isDeviceParked("line22"));
    const auto out = dir.file("parked.wma");
    Configure("DEVICE://line44", out.string());
    m_encoder.Start();
    EXPECT_FALSE(cld::isDeviceParked("line44")) << "the recording took the device";
    EXPECT_TRUE(
        cldtest::waitUntil([&] { return m_encoder.GetStatistics().encodedMilliseconds >= 1500; }));
    m_encoder.Stop();
    ASSERT_EQ(m_encoder.GetLastErrorCode(), 0u);
    const double recorded =
        static_cast<double>(m_encoder.GetStatistics().encodedMilliseconds) / 1000;
    const auto m = cldtest::measureAudio(out);
    ASSERT_TRUE(m.ok);
    EXPECT_GE(recorded, 1.5);
    EXPECT_NEAR(m.seconds, recorded, 0.3);
    EXPECT_NEAR(m.frequency, 440, 440 * 0.03);
    // A device that cannot be opened is not parked; releasing leaves nothing held.
    EXPECT_FALSE(cld::parkDeviceSource("DEVICE://no-such-device"));
    ASSERT_TRUE(cld::parkDeviceSource("DEVICE://line22"));
    cld::releaseParkedDevices();
    EXPECT_FALSE(cld::isDeviceParked("line22"));
}

TEST_F(WmaDeviceTest, AMonoDeviceIsRecordedAtItsFullLevelOnBothSides) {
    cldtest::TempDir dir;
    const auto out = dir.file("mono.wma");
    Configure("DEVICE://line22", out.string()); // a 0.6 full-scale sine, mono
    m_encoder.Start();
    EXPECT_TRUE(
        cldtest::waitUntil([&] { return m_encoder.GetStatistics().encodedMilliseconds >= 2000; }));
    m_encoder.Stop();
    ASSERT_EQ(m_encoder.GetLastErrorCode(), 0u);
    const auto [left, right] = channelLevels(out);
    // A sine of peak 0.6 has a level of 0.6 / sqrt(2); 3 dB less would be 0.3.
    const double full = 0.6 / std::sqrt(2.0);
    EXPECT_NEAR(left, full, full * 0.12) << "left";
    EXPECT_NEAR(right, full, full * 0.12) << "right";
}

TEST_F(WmaDeviceTest, ADeviceThatCannotBeOpenedFailsTheStartWithItsOwnCause) {
    cldtest::TempDir dir;
    const std::pair<const char*, uint32_t> cases[] = {
        {"DEVICE://busy", cld::wmerr::kDeviceBusy},
        {"DEVICE://no-such-device", cld::wmerr::kDeviceMissing},
    };
    for (const auto& [device, code] : cases) {
        Configure(device, dir.file("x.wma").string());
        try {
            m_encoder.Start();
            ADD_FAILURE() << device << " started";
            m_encoder.Stop();
        } catch (const WMException& e) {
            EXPECT_EQ(e.GetCode(), code) << device;
        }
        EXPECT_NE(m_encoder.GetRunState(), WmEncoderControl::kRunning);
        EXPECT_FALSE(std::filesystem::exists(dir.file("x.wma")));
    }
}
