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

// What the header frame at the start of an MP3 file says about the stream, read
// independently of the encoder.
struct InfoFrame {
    bool found = false;   // a Xing or Info header in the first frame
    bool lameTag = false; // followed by a LAME tag whose own checksum is right
    uint32_t frames = 0;
    uint32_t bytes = 0;
    int delay = 0;
    int padding = 0;
};

uint16_t crc16(const unsigned char* data, size_t size) {
    uint16_t crc = 0;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

InfoFrame readInfoFrame(const fs::path& file) {
    InfoFrame info;
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (!f)
        return info;
    unsigned char b[400] = {};
    const size_t got = std::fread(b, 1, sizeof b, f);
    std::fclose(f);
    if (got < 200 || b[0] != 0xFF || (b[1] & 0xE0) != 0xE0)
        return info;
    const bool mpeg1 = ((b[1] >> 3) & 3) == 3;
    const bool mono = (b[3] >> 6) == 3;
    size_t at = 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    if (std::memcmp(b + at, "Info", 4) != 0 && std::memcmp(b + at, "Xing", 4) != 0)
        return info;
    const auto be32 = [&](size_t i) {
        return (uint32_t{b[i]} << 24) | (uint32_t{b[i + 1]} << 16) | (uint32_t{b[i + 2]} << 8) |
               b[i + 3];
    };
    const uint32_t flags = be32(at + 4);
    if ((flags & 0xF) != 0xF)
        return info;
    info.found = true;
    info.frames = be32(at + 8);
    info.bytes = be32(at + 12);
    at += 8 + 4 + 4 + 100 + 4;
    if (at + 36 > got || std::memcmp(b + at, "LAME", 4) != 0)
        return info;
    info.delay = (b[at + 21] << 4) | (b[at + 22] >> 4);
    info.padding = ((b[at + 22] & 0x0F) << 8) | b[at + 23];
    info.lameTag = crc16(b, at + 34) == ((b[at + 34] << 8) | b[at + 35]);
    return info;
}

// The audio frames a demuxer finds in the file (the header frame is none of them).
long countedFrames(const fs::path& file) {
    return std::atol(run("ffprobe -v error -count_packets -select_streams a:0 -show_entries "
                         "stream=nb_read_packets -of csv=p=0 '" +
                         file.string() + "'")
                         .c_str());
}

// The samples per channel the file decodes to.
long decodedSamples(const fs::path& file) {
    return std::atol(
               run("ffmpeg -v error -i '" + file.string() + "' -ac 1 -f s16le - | wc -c").c_str()) /
           2;
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

// A recording the full disk ended keeps its Info frame and LAME tag, rewritten for the
// frames the file really holds: players read its exact length and the encoder delay.
TEST_F(RecorderFullDisk, Mp3RecordingKeepsItsInfoFrameForWhatReachedTheFile) {
    struct Case {
        const char* name;
        int vbrMethod;
    };
    for (const Case c : {Case{"cbr", 0}, Case{"vbr", 3}}) {
        SCOPED_TRACE(c.name);
        cld::Mp3RecorderEngine engine;
        Mp3EncoderParams params{};
        params.bitrate = c.vbrMethod ? 32 : 128;
        params.vbrMethod = c.vbrMethod;
        params.vbrQuality = 2;
        engine.SetParams(params);
        const fs::path out = m_dir.file(std::string(c.name) + ".mp3");
        engine.SetOutputFile(out.string());
        ASSERT_TRUE(engine.SelectDeviceByName("line44"));
        {
            ScopedFileSizeLimit full(24 * 1024 + 77); // in the middle of a frame
            ASSERT_TRUE(engine.Start());
            ASSERT_TRUE(cldtest::waitUntil([&] { return engine.GetEncoderError() != 0; }));
            engine.Stop();
        }
        EXPECT_EQ(engine.GetEncoderError(), 102);
        ASSERT_TRUE(fs::exists(out));
        const InfoFrame info = readInfoFrame(out);
        ASSERT_TRUE(info.found) << "no Xing/Info frame";
        EXPECT_TRUE(info.lameTag) << "no LAME tag, or its checksum is wrong";
        // Whole frames only, every one of them counted, the size the file's own.
        EXPECT_GT(info.frames, 40u);
        EXPECT_EQ(static_cast<long>(info.frames), countedFrames(out));
        EXPECT_EQ(info.bytes, fs::file_size(out));
        EXPECT_EQ(info.delay, 576);
        EXPECT_EQ(info.padding, 0);
        // The length the header declares (its frames less the encoder's delay, the
        // decoder's 529 samples and the end padding) is the length that decodes, to the
        // sample; a demuxer takes the frame count from it.
        const long samples = decodedSamples(out);
        EXPECT_GT(samples, 44100);
        EXPECT_EQ(samples, static_cast<long>(info.frames) * 1152 - info.delay - 529 - info.padding);
        EXPECT_NEAR(headerSeconds(out), info.frames * 1152 / 44100.0, 1e-3);
        const cldtest::AudioMeasure m = cldtest::measureAudio(out);
        ASSERT_TRUE(m.ok);
        EXPECT_NEAR(m.frequency, 440, 440 * 0.03);
    }
}
