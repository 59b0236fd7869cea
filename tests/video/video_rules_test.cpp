// What the video dialogs compute: output names, the profile filter, the figures and the
// capture device lists.
#include "VideoRules.h"
#include "WmEncoderControl.h"

#include <gtest/gtest.h>

using namespace cld;

TEST(VideoRules, OutputNameReplacesKnownVideoExtensionsAndAppendsOtherwise) {
    EXPECT_EQ(wmvOutputName("/v/input.AVI"), "/v/input.wmv");
    EXPECT_EQ(wmvOutputName("/v/a.asf"), "/v/a.wmv");
    EXPECT_EQ(wmvOutputName("/v/a.Mpg"), "/v/a.wmv");
    EXPECT_EQ(wmvOutputName("/v/pic.bmp"), "/v/pic.wmv");
    EXPECT_EQ(wmvOutputName("/v/clip.mpeg"), "/v/clip.mpeg.wmv");
    EXPECT_EQ(wmvOutputName("/v/movie.mkv"), "/v/movie.mkv.wmv");
    EXPECT_EQ(wmvOutputName("/v/noext"), "/v/noext.wmv");
    // A dot in a folder name is not an extension.
    EXPECT_EQ(wmvOutputName("/v/my.avi/clip"), "/v/my.avi/clip.wmv");
    EXPECT_EQ(wmvOutputName("/v/x.avi.avi"), "/v/x.avi.wmv");
}

TEST(VideoRules, ProfileListKeepsOnlySoundAndPictureProfilesWithoutScript) {
    EXPECT_TRUE(isVideoProfile({"v", "", 1, 1, 0}));
    EXPECT_FALSE(isVideoProfile({"a", "", 1, 0, 0}));
    EXPECT_FALSE(isVideoProfile({"s", "", 1, 1, 1}));
    EXPECT_FALSE(isVideoProfile({"silent", "", 0, 1, 0}));

    // The shipped collection: every video profile is offered, no audio-only or script one.
    WmEncoderControl enc(CLD_PROFILE_SOURCE_DIR, "");
    int offered = 0;
    for (int i = 0; i < enc.GetProfileCount(); ++i) {
        const WmProfileInfo info = enc.GetProfileInfo(i);
        if (info.name.rfind("Video for", 0) == 0) {
            EXPECT_TRUE(isVideoProfile(info)) << info.name;
        }
        if (info.name.rfind("Audio", 0) == 0) {
            EXPECT_FALSE(isVideoProfile(info)) << info.name;
        }
        offered += isVideoProfile(info) ? 1 : 0;
    }
    EXPECT_EQ(offered, 3);
}

TEST(VideoRules, ClockSizeAndProgressFigures) {
    EXPECT_EQ(formatClock(0), "00:00:00");
    EXPECT_EQ(formatClock(999), "00:00:00");
    EXPECT_EQ(formatClock(61 * 60 * 1000), "01:01:00");
    EXPECT_EQ(formatClock(75 * 60 * 1000), "01:15:00");
    EXPECT_EQ(formatClock((10 * 3600 + 59 * 60 + 59) * 1000LL + 500), "10:59:59");
    EXPECT_EQ(formatClock(-5), "00:00:00");

    EXPECT_EQ(formatMegabytes(0), "0.0 MB");
    EXPECT_EQ(formatMegabytes(1536 * 1024), "1.5 MB");

    // 3 s input: 1.5 s encoded is half.
    EXPECT_EQ(progressPercent(1500, 30'000'000), 50);
    EXPECT_EQ(progressPercent(3000, 30'000'000), 100);
    EXPECT_EQ(progressPercent(3040, 30'000'000), 100);
    // Unknown or shorter than a tenth of a second: no progress.
    EXPECT_EQ(progressPercent(3000, 0), 0);
    EXPECT_EQ(progressPercent(50, 999'999), 0);
    EXPECT_EQ(progressPercent(100, 1'000'000), 100);
}

TEST(VideoRules, DeviceListsFollowTheMediaTypesOfEachPlugin) {
    std::vector<WmSourcePluginInfo> plugins(5);
    plugins[0] = {"Sound", "DEVICE", 1, WmSourcePluginInfo::kAudio, true, {"hw:0", "null"}, {}, {}};
    plugins[1] = {"Card", "DEVICE",  1,  WmSourcePluginInfo::kAudio | WmSourcePluginInfo::kVideo,
                  true,   {"card0"}, {}, {}};
    plugins[2] = {"Screen", "ScreenCap", 1, WmSourcePluginInfo::kVideo, false, {}, {}, {}};
    plugins[3] = {"Net", "HTTP", 1, WmSourcePluginInfo::kVideo, true, {"x"}, {}, {}};
    plugins[4] = {"Sink", "DEVICE", 2, WmSourcePluginInfo::kVideo, true, {"out"}, {}, {}};
    const CaptureDeviceLists lists = buildCaptureDeviceLists(plugins);
    EXPECT_EQ(lists.audio,
              (std::vector<std::string>{"DEVICE://hw:0", "DEVICE://null", "DEVICE://card0"}));
    EXPECT_EQ(lists.video, (std::vector<std::string>{"DEVICE://card0", "ScreenCap://Screen"}));

    EXPECT_TRUE(isScreenCaptureEntry("ScreenCap://Screen"));
    EXPECT_FALSE(isScreenCaptureEntry("DEVICE:///dev/video0"));
}
