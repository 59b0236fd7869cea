#include "MonitorTrace.h"
#include "RecorderLogic.h"
#include "SettingsRecord.h"
#include "TempDir.h"
#include "WaveInFormat.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using cld::MonitorPoint;

TEST(SignalMonitor, PointsAreCentredScaledClampedAndFoldedBeyondTheWidth) {
    const std::vector<double> values{0, 512, -512, 1023.9, -1535, 100000, -100000, 7000, 5};
    std::vector<MonitorPoint> points;
    cld::computeMonitorPoints(values.data(), values.size(), 7, 21, points);
    const std::vector<MonitorPoint> want{{0, 10}, {1, 11}, {2, 9},  {3, 11}, {4, 8},
                                         {5, 20}, {6, 0},  {6, 10}, {6, 10}};
    EXPECT_EQ(points, want);

    // An even height centres on the upper middle row; at most 1024 points are drawn.
    std::vector<double> many(2000, -600);
    cld::computeMonitorPoints(many.data(), many.size(), 4000, 20, points);
    ASSERT_EQ(points.size(), 1024u);
    EXPECT_EQ(points[0], (MonitorPoint{0, 8}));
    EXPECT_EQ(points[1023], (MonitorPoint{1023, 8}));
}

TEST(SignalMonitor, EachFormatGivesOneSignedValuePerFrame) {
    const uint8_t mono8[] = {0, 128, 255};
    cld::WaveInFormat f{1, 22050, 8};
    EXPECT_EQ(cld::readMonitorSample(f, mono8 + 0), -8192);
    EXPECT_EQ(cld::readMonitorSample(f, mono8 + 1), 0);
    EXPECT_EQ(cld::readMonitorSample(f, mono8 + 2), 127 * 64);

    const uint8_t stereo8[] = {255, 255, 0, 128};
    f = {2, 22050, 8};
    EXPECT_EQ(cld::readMonitorSample(f, stereo8), 254 * 128);
    EXPECT_EQ(cld::readMonitorSample(f, stereo8 + 2), -128 * 128);

    const int16_t mono16[] = {-32768, 1234};
    f = {1, 22050, 16};
    EXPECT_EQ(cld::readMonitorSample(f, reinterpret_cast<const uint8_t*>(mono16)), -32768);
    EXPECT_EQ(cld::readMonitorSample(f, reinterpret_cast<const uint8_t*>(mono16 + 1)), 1234);

    const int16_t stereo16[] = {-3, 0, 32767, 32767};
    f = {2, 44100, 16};
    EXPECT_EQ(cld::readMonitorSample(f, reinterpret_cast<const uint8_t*>(stereo16)), -1)
        << "the mean is rounded toward zero";
    EXPECT_EQ(cld::readMonitorSample(f, reinterpret_cast<const uint8_t*>(stereo16 + 2)), 32767);
}

TEST(RecorderLogic, BitrateListSliderAndChosenBitrate) {
    const auto items = cld::recorderBitrateTexts();
    ASSERT_EQ(items.size(), 17u);
    EXPECT_STREQ(items[cld::initialBitrateIndex(0)], "128 kbps (High Quality, CD transparency)");
    EXPECT_EQ(cld::initialBitrateIndex(3), 3);
    EXPECT_EQ(cld::initialBitrateIndex(99), 11);
    EXPECT_EQ(cld::bitrateIndexForSlider(100), 9); // 96
    EXPECT_EQ(cld::bitrateIndexForSlider(150), -1);
    EXPECT_EQ(cld::bitrateIndexForSlider(320), 16);
    EXPECT_EQ(cld::bitrateIndexForSlider(8), 0);
    EXPECT_EQ(cld::chosenBitrate(16), 320);
    EXPECT_EQ(cld::chosenBitrate(0), 8);
    EXPECT_EQ(cld::chosenBitrate(-1), 128);
    EXPECT_EQ(cld::recorderLeadingNumber("320 kpbs"), 320);
    EXPECT_EQ(cld::recorderLeadingNumber("kbps"), 0);
}

TEST(RecorderLogic, FoldersAndFileNames) {
    EXPECT_EQ(cld::proposedRecorderFolder("/music", "MP3Recorder"), "/music/MP3Recorder");
    EXPECT_EQ(cld::proposedRecorderFolder("/music/", "MP3Recorder"), "/music/MP3Recorder");
    EXPECT_EQ(cld::proposedRecorderFolder("", "WMA Recorder"), "");

    // 12:41:29 local time on a date whose long form could carry slashes in some locales.
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 7;
    t.tm_hour = 12;
    t.tm_min = 41;
    t.tm_sec = 29;
    t.tm_isdst = -1;
    const std::time_t when = std::mktime(&t);
    for (auto style : {cld::FileNameStyle::Mp3, cld::FileNameStyle::Wma}) {
        const std::string name = cld::recordingTimeText(when, style);
        EXPECT_NE(name.find("12.41.29"), std::string::npos) << name;
        EXPECT_NE(name.find("2026"), std::string::npos) << name;
        EXPECT_EQ(name.find_first_of(":/\\"), std::string::npos) << name;
    }
    const std::string path = cld::recordingFilePath("/rec/", when, cld::FileNameStyle::Mp3, ".mp3");
    EXPECT_EQ(path.rfind("/rec/RecFile - ", 0), 0u) << path;
    EXPECT_EQ(path.substr(path.size() - 4), ".mp3");
    EXPECT_EQ(std::filesystem::path(path).parent_path(), "/rec");

    // A second recording in the same second does not replace the first.
    cldtest::TempDir temp;
    const auto& dir = temp.path();
    const std::string first =
        cld::recordingFilePath(dir.string(), when, cld::FileNameStyle::Wma, ".wma");
    std::ofstream(first) << "x";
    const std::string second =
        cld::recordingFilePath(dir.string(), when, cld::FileNameStyle::Wma, ".wma");
    EXPECT_NE(second, first);
    EXPECT_EQ(second, first.substr(0, first.size() - 4) + " (2).wma");
}

TEST(RecorderLogic, EncoderParamsAndTheirText) {
    SettingsRecord settings;
    Mp3EncoderParams p;
    p.vbrMaxBitrate = 111;
    cld::fillRecorderParams(settings, 160, p);
    EXPECT_EQ(p.vbrMethod, 0);
    EXPECT_EQ(p.bitrate, 160);
    EXPECT_EQ(p.channelMode, 4);
    EXPECT_EQ(p.quality, 1);
    EXPECT_EQ(p.vbrMaxBitrate, 111) << "CBR keeps the VBR members as they were";
    EXPECT_EQ(cld::bitrateText(p), "160 Kbps");

    p.vbrMethod = 3;
    p.bitrate = 128;
    p.vbrMaxBitrate = 192;
    EXPECT_EQ(cld::bitrateText(p), "VBR 128-192 Kbps");
}

TEST(RecorderLogic, DiskSpaceAndTimes) {
    const auto space = cld::queryDiskSpace("/tmp/not/made/yet");
    ASSERT_TRUE(space.has_value());
    EXPECT_GT(space->totalMiB, 0u);
    EXPECT_LE(space->freeMiB, space->totalMiB);
    EXPECT_EQ(cld::gigabyteText(1536), "1.5 GB");
    EXPECT_EQ(cld::gigabyteText(0), "0.0 GB");
    EXPECT_EQ(cld::elapsedText(3 * 3600 + 25 * 60 + 7), "03:25:07");
    EXPECT_EQ(cld::elapsedText(86400 + 61), "00:01:01");
}
