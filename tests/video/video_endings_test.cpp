// How a conversion to WMV ends when it cannot finish properly: a disk that fills up
// leaves no output at all, and an input cut short is converted as far as it goes and
// reported.
#include "FileSizeLimit.h"
#include "GetErrorText.h"
#include "MediaFixtures.h"
#include "TempDir.h"
#include "VideoTestKit.h"
#include "WmEncoderControl.h"
#include "WmErrors.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace videotest;
namespace fs = std::filesystem;

namespace {

const std::string kProfiles = CLD_PROFILE_SOURCE_DIR;

using cldtest::ScopedFileSizeLimit;

uint32_t convert(WmEncoderControl& enc, const fs::path& in, const fs::path& out) {
    int profile = -1;
    for (int i = 0; i < enc.GetProfileCount(); ++i)
        if (enc.GetProfileInfo(i).name == "Video for broadband (384 Kbps, 320x240)")
            profile = i;
    EXPECT_GE(profile, 0);
    const std::string input = "FILE://" + in.string();
    enc.PrepareForFile();
    WmSourceGroup& group = enc.AddSourceGroup();
    group.SetInput(input);
    group.AddVideoSource(input, nullptr, nullptr);
    group.SetProfile(enc.GetProfile(profile));
    group.Activate();
    enc.SetOutputFile(out.string());
    enc.Start();
    EXPECT_TRUE(
        codectest::waitWhile([&] { return enc.GetRunState() == WmEncoderControl::kRunning; }, 120));
    enc.Stop();
    return enc.GetLastErrorCode();
}

} // namespace

TEST(VideoEndings, AConversionThatCannotBeWrittenLeavesNoFileAndSaysWhy) {
    cldtest::TempDir dir;
    const fs::path in = dir.file("long.avi");
    makeClip(in, "avi", 20.0);
    const fs::path out = dir.file("full.wmv");
    fs::path earlier = dir.file("kept.wmv");
    WmEncoderControl enc(kProfiles, "");
    uint32_t code = 0;
    {
        ScopedFileSizeLimit full(200 * 1024);
        code = convert(enc, in, out);
    }
    EXPECT_EQ(code, cld::wmerr::fromErrno(EFBIG));
    EXPECT_EQ(GetErrorText(code), std::strerror(EFBIG));
    EXPECT_FALSE(fs::exists(out)) << "a failed conversion left a file under the final name";
    EXPECT_FALSE(fs::exists(out.string() + ".part")) << "the partial file was left behind";
    EXPECT_FALSE(enc.GetLastRunReport().partialKept);
    EXPECT_EQ(enc.GetLastRunReport().outputPath, out.string());

    // The same conversion with room to write takes the final name only at the end.
    EXPECT_EQ(convert(enc, in, out), 0u);
    EXPECT_TRUE(fs::exists(out));
    EXPECT_FALSE(fs::exists(out.string() + ".part"));
    EXPECT_NEAR(probeDuration(out), 20.0, 0.2);
}

TEST(VideoEndings, AnInputCutShortIsConvertedAsFarAsItGoesAndReported) {
    cldtest::TempDir dir;
    const fs::path in = dir.file("cut.avi");
    makeClip(in, "avi", 20.0);
    // The header still declares 500 pictures; the file ends after about 41 % of them.
    fs::resize_file(in, fs::file_size(in) * 41 / 100);
    const fs::path out = dir.file("cut.wmv");
    WmEncoderControl enc(kProfiles, "");
    EXPECT_EQ(convert(enc, in, out), 0u);
    const auto& report = enc.GetLastRunReport();
    EXPECT_TRUE(report.inputEndedEarly);
    EXPECT_NEAR(report.declaredSeconds, 20.0, 0.1);
    EXPECT_GT(report.readSeconds, 5.0);
    EXPECT_LT(report.readSeconds, 12.0);
    // What was read is a complete file of that length.
    EXPECT_NEAR(probeDuration(out), report.readSeconds, 0.3);

    // A whole file is not reported.
    const fs::path whole = dir.file("whole.avi");
    makeClip(whole, "avi", 4.0);
    EXPECT_EQ(convert(enc, whole, dir.file("whole.wmv")), 0u);
    EXPECT_FALSE(enc.GetLastRunReport().inputEndedEarly);
}
