// Both recorders on a disk that fills up (a file-size limit on the process): what was
// captured up to then stays as a valid file whose header matches its content, and the
// recorder says why it stopped.
#include "AlsaTestDevices.h"
#include "FileSizeLimit.h"
#include "GetErrorText.h"
#include "Mp3RecorderEngine.h"
#include "Processes.h"
#include "TempDir.h"
#include "WmEncoderControl.h"
#include "WmErrors.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

using cldtest::ScopedFileSizeLimit;

std::string run(const std::string& cmd) {
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p))
            out += buf;
        ::pclose(p);
    }
    return out;
}

// The playing time the file's header declares.
double headerSeconds(const fs::path& file) {
    return std::atof(
        run("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + file.string() + "'")
            .c_str());
}

class RecorderFullDisk : public ::testing::Test {
protected:
    static void SetUpTestSuite() { cldtest::AlsaTestDevices::get(); }
    cldtest::TempDir m_dir;
};

} // namespace

TEST_F(RecorderFullDisk, WmaRecordingKeepsAValidFileUpToTheFailureAndNamesTheReason) {
    WmEncoderControl encoder(CLD_PROFILE_SOURCE_DIR, "");
    int profile = -1;
    for (int i = 0; i < encoder.GetProfileCount(); ++i)
        if (encoder.GetProfileInfo(i).name == "Audio for CD quality (96 Kbps stereo)")
            profile = i;
    ASSERT_GE(profile, 0);
    const fs::path out = m_dir.file("full.wma");
    encoder.PrepareForFile();
    WmSourceGroup& group = encoder.AddSourceGroup();
    group.SetInput("DEVICE://line44");
    group.Activate();
    group.SetProfile(encoder.GetProfile(profile));
    encoder.SetOutputFile(out.string());
    {
        // 96 kbit/s fill 60 kB in about five seconds.
        ScopedFileSizeLimit full(60 * 1024);
        encoder.Start();
        const auto give_up = std::chrono::steady_clock::now() + cldtest::kHangLimit;
        while (encoder.GetRunState() == WmEncoderControl::kRunning &&
               std::chrono::steady_clock::now() < give_up)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_NE(encoder.GetRunState(), WmEncoderControl::kRunning)
            << "the recording goes on although nothing more can be written";
        encoder.Stop();
    }
    EXPECT_EQ(encoder.GetLastErrorCode(), cld::wmerr::fromErrno(EFBIG));
    EXPECT_EQ(GetErrorText(encoder.GetLastErrorCode()), std::strerror(EFBIG));
    const auto& report = encoder.GetLastRunReport();
    EXPECT_TRUE(report.partialKept);
    EXPECT_EQ(report.outputPath, out.string());
    ASSERT_TRUE(fs::exists(out));
    EXPECT_FALSE(fs::exists(out.string() + ".part"));
    EXPECT_LE(fs::file_size(out), 60u * 1024);

    // The header's length is the length of what decodes, and all of it is the tone.
    const cldtest::AudioMeasure m = cldtest::measureAudio(out);
    ASSERT_TRUE(m.ok);
    EXPECT_GT(m.seconds, 3.0);
    EXPECT_NEAR(headerSeconds(out), m.seconds, 0.1);
    EXPECT_NEAR(m.frequency, 440, 440 * 0.03);
}

TEST_F(RecorderFullDisk, Mp3RecordingEndsCleanlyAndKeepsTheSystemsReason) {
    cld::Mp3RecorderEngine engine;
    Mp3EncoderParams params{};
    params.bitrate = 128;
    engine.SetParams(params);
    const fs::path out = m_dir.file("full.mp3");
    engine.SetOutputFile(out.string());
    ASSERT_TRUE(engine.SelectDeviceByName("line44"));
    {
        ScopedFileSizeLimit full(48 * 1024);
        ASSERT_TRUE(engine.Start());
        const auto give_up = std::chrono::steady_clock::now() + cldtest::kHangLimit;
        while (engine.GetEncoderError() == 0 && std::chrono::steady_clock::now() < give_up)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        engine.Stop();
    }
    EXPECT_EQ(engine.GetEncoderError(), 102);
    EXPECT_EQ(engine.GetWriteErrno(), EFBIG);
    ASSERT_TRUE(fs::exists(out));
    const cldtest::AudioMeasure m = cldtest::measureAudio(out);
    ASSERT_TRUE(m.ok);
    EXPECT_GT(m.seconds, 2.0);
    EXPECT_NEAR(headerSeconds(out), m.seconds, 0.15);
    EXPECT_NEAR(m.frequency, 440, 440 * 0.03);
}
