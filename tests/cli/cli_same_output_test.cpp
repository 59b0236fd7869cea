// The command line and the dialogs give the same files for the same job and settings: an
// MP3 folder encoding byte for byte (WAV and tagged FLAC inputs, stored VBR settings), and
// MP3 and WMA files decoded to the same WAV files.

#include "CEncoderProgressDlg.h"
#include "CMP3EncoderProgressDlg.h"
#include "CliRun.h"
#include "ConvertTestKit.h"
#include "JobSpec.h"
#include "TestEnv.h"
#include "WmEncoderControl.h"
#include "WmaProfiles.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using converttest::ConvertEnv;
using converttest::writeTestWav;

std::string bytesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

cld::engine::JobSpec folderJob(const fs::path& in, const fs::path& out, int bitrate = 0) {
    cld::engine::JobSpec p;
    p.inputPath = in.string() + "/";
    p.outputPath = out.string() + "/";
    if (bitrate)
        p.encodingBitrate = bitrate;
    return p;
}

std::vector<std::string> filesIn(const fs::path& folder, const std::string& extension) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == extension)
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class SameOutput : public ::testing::Test {
protected:
    void SetUp() override {
        if (!cldtest::haveTool("ffmpeg"))
            GTEST_SKIP() << "ffmpeg is not installed";
        // The command line reads the dialogs' settings store.
        cli.setEnv("CLD_REGISTRY_DIR", (env.root() / "registry").string());
    }
    void run(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

    ConvertEnv env;
    clitest::CliRunner cli{env.root() / "home"};
};

TEST_F(SameOutput, Mp3FolderEncodingIsByteForByteTheDialogs) {
    // Settings other than the defaults: VBR (ABR), quality 3, joint stereo, the flags.
    ASSERT_TRUE(env.settings.setMp3BitrateType(1));
    ASSERT_TRUE(env.settings.setVbrMethod(1));
    ASSERT_TRUE(env.settings.setMeanVBRBitrate(192));
    ASSERT_TRUE(env.settings.setMaxVBRBitrate(256));
    ASSERT_TRUE(env.settings.setMp3Quality(3));
    ASSERT_TRUE(env.settings.setAudioChannels(1));
    ASSERT_TRUE(env.settings.setMaterialOriginal(1));
    ASSERT_TRUE(env.settings.setMaterialCRC(1));
    const fs::path in = env.path("in");
    fs::create_directories(in);
    writeTestWav(in / "plain.wav", 1.5);
    writeTestWav(env.path("source.wav"), 2.0);
    run("ffmpeg -v error -y -i '" + env.path("source.wav").string() +
        "' -metadata title='Zweite Spur' -metadata artist='Die Tester' -metadata album='Gleich'"
        " -metadata date=2001 -metadata genre=Jazz -metadata track=2 '" +
        (in / "tagged.flac").string() + "'");

    const fs::path byDialog = env.path("dialog");
    fs::create_directories(byDialog);
    CMP3EncoderProgressDlg dlg(
        env.context,
        converttest::inMode(folderJob(in, byDialog, 128), cld::engine::JobMode::FolderEncode));
    dlg.exec();
    ASSERT_TRUE(dlg.completed());

    const fs::path byCli = env.path("cli");
    const clitest::RunResult r = cli.run(
        {"convert", "--to", "mp3", "--bitrate", "128", "--out", byCli.string(), in.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    ASSERT_EQ(filesIn(byDialog, ".mp3"), (std::vector<std::string>{"plain.mp3", "tagged.mp3"}));
    ASSERT_EQ(filesIn(byCli, ".mp3"), filesIn(byDialog, ".mp3"));
    for (const std::string& name : filesIn(byDialog, ".mp3")) {
        const std::string a = bytesOf(byDialog / name);
        EXPECT_GT(a.size(), 1000u) << name;
        EXPECT_TRUE(a == bytesOf(byCli / name)) << name << " differs";
    }
}

TEST_F(SameOutput, Mp3AndWmaDecodeToTheDialogsWavFiles) {
    const fs::path in = env.path("in");
    fs::create_directories(in);
    writeTestWav(env.path("source.wav"), 2.0);
    run("lame --quiet -b 160 '" + env.path("source.wav").string() + "' '" +
        (in / "song.mp3").string() + "'");
    run("ffmpeg -v error -y -i '" + env.path("source.wav").string() + "' -c:a wmav2 -b:a 128k '" +
        (in / "talk.wma").string() + "'");

    const fs::path byDialog = env.path("dialog");
    fs::create_directories(byDialog);
    {
        CMP3EncoderProgressDlg mp3(
            env.context,
            converttest::inMode(folderJob(in, byDialog), cld::engine::JobMode::FolderDecode));
        mp3.exec();
        ASSERT_TRUE(mp3.completed());
        CEncoderProgressDlg wma(
            env.context,
            converttest::inMode(folderJob(in, byDialog), cld::engine::JobMode::FolderDecode),
            nullptr);
        wma.exec();
        ASSERT_TRUE(wma.completed());
    }
    const fs::path byCli = env.path("cli");
    const clitest::RunResult r = cli.run({"decode", "--out", byCli.string(), in.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(filesIn(byDialog, ".wav"), (std::vector<std::string>{"song.wav", "talk.wav"}));
    for (const std::string& name : filesIn(byDialog, ".wav")) {
        const std::string a = bytesOf(byDialog / name);
        EXPECT_GT(a.size(), 44u) << name;
        EXPECT_TRUE(a == bytesOf(byCli / name)) << name << " differs";
    }
}

} // namespace
