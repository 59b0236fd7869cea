// The command line as a process: usage errors, version and help, the drives and recording
// devices, and what it tells of files and discs, all without a display or a session bus.

#include "CliRun.h"
#include "TempDir.h"
#include "TestEnv.h"
#include "VDriveKit.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using clitest::CliRunner;
using clitest::RunResult;

// A canonical 16-bit PCM WAVE file of `frames` stereo frames at 44100 Hz.
void writeWav(const std::filesystem::path& path, uint32_t frames) {
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const uint32_t bytes = frames * 4;
    out.write("RIFF", 4);
    u32(36 + bytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(2);
    u32(44100);
    u32(44100 * 4);
    u16(4);
    u16(16);
    out.write("data", 4);
    u32(bytes);
    for (uint32_t i = 0; i < frames; ++i) {
        const auto v = static_cast<int16_t>((i * 37) % 20000);
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(-v));
    }
}

class CliFrameTest : public ::testing::Test {
protected:
    cldtest::TempDir dir;
    CliRunner cli{dir.path() / "home"};
};

TEST_F(CliFrameTest, UsageErrorsEndWithTwoAndSayWhy) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"frobnicate"},
        {"convert"},
        {"convert", "--to", "ogg", "x.wav"},
        {"convert", "--bitrate", "999", "x.wav"},
        {"convert", "--bitrate", "128", "--profile", "p", "x.wav"},
        {"convert", "--on-error", "maybe", "x.wav"},
        {"convert", "--jobs", "0", "x.wav"},
        {"decode", "--to", "mp3", "x.mp3"},
        {"rip", "--tracks", "3-1"},
        {"rip", "--tracks", "1,,2"},
        {"rip", "--tracks", "100"},
        {"rip", "--names", "google"},
        {"rip", "--offset", "6000"},
        {"info"},
        {"info", "a.wav", "--drive", "0"},
        {"verify"},
        {"--quiet", "--verbose", "devices"},
    };
    for (const auto& args : wrong) {
        std::string line;
        for (const auto& a : args)
            line += a + " ";
        const RunResult r = cli.run(args);
        EXPECT_EQ(r.exitCode, 2) << line << r.err;
        EXPECT_NE(r.err.find("calderine: "), std::string::npos) << line << r.err;
        EXPECT_TRUE(r.out.empty()) << line << r.out;
    }
}

TEST_F(CliFrameTest, VersionAndHelpEndWithZero) {
    RunResult r = cli.run({"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "calderine 4.05a (Calderine 2002)\n");
    r = cli.run({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* command : {"convert", "decode", "rip", "verify", "info", "devices"})
        EXPECT_NE(r.out.find(command), std::string::npos) << command;
    r = cli.run({"convert", "--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* option : {"--to", "--bitrate", "--skip-existing", "--on-error", "--jobs"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
}

TEST_F(CliFrameTest, DevicesAndDiscInfoOnTheVirtualDrive) {
    vdrivekit::DiscSpec disc;
    disc.title = "Cli Album";
    disc.performer = "Cli Artist";
    disc.tracks = {{vdrivekit::Content::Music, 75 * 4, "Opening", "", 0, 0},
                   {vdrivekit::Content::Ramp, 75 * 3, "Closing", "", 0, 0}};
    vdrivekit::VirtualDrives drives(dir.path() / "discs", {disc});
    cli.setEnv("CLD_ASPI_LIBRARY", vdrivekit::pluginPath().string());
    cli.setEnv("CLD_VDRIVE_CONFIG", drives.configPath().string());

    RunResult r = cli.run({"devices"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_FALSE(r.lines().empty());
    EXPECT_EQ(r.lines()[0].rfind("drive\t0\t", 0), 0u) << r.out;

    r = cli.run({"--json", "devices"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    int drivesSeen = 0;
    for (const std::string& line : r.lines()) {
        const auto object = nlohmann::json::parse(line);
        if (object.at("kind") == "drive") {
            EXPECT_EQ(object.at("index"), drivesSeen);
            ++drivesSeen;
        } else {
            EXPECT_EQ(object.at("kind"), "recording");
        }
    }
    EXPECT_EQ(drivesSeen, 1);

    r = cli.run({"--json", "info", "--drive", "0"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(r.lines().size(), 1u) << r.out;
    const auto info = nlohmann::json::parse(r.lines()[0]);
    // Two tracks of 4 and 3 seconds from sector 0: the CDDB id's digit sums of the track
    // starts (2 s and 6 s, with the lead-in), the disc's length of 7 s, two tracks.
    EXPECT_EQ(info.at("cddb_id"), "08000702") << info.dump();
    EXPECT_EQ(info.at("musicbrainz_id").get<std::string>().size(), 28u);
    EXPECT_EQ(info.at("accuraterip_id").get<std::string>().rfind("dBAR-002-", 0), 0u);
    EXPECT_EQ(info.at("cd_text").at("artist"), "Cli Artist");
    EXPECT_EQ(info.at("cd_text").at("title"), "Cli Album");
    ASSERT_EQ(info.at("tracks").size(), 2u);
    EXPECT_EQ(info.at("tracks")[0].at("sectors"), 300);
    EXPECT_EQ(info.at("tracks")[1].at("start"), 300);
    EXPECT_EQ(info.at("tracks")[1].at("title"), "Closing");

    // A drive by a part of its name, and drives that are not there.
    r = cli.run({"info", "--drive", "virtual"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    r = cli.run({"info", "--drive", "7"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("no drive number 7"), std::string::npos) << r.err;
    r = cli.run({"info", "--drive", "no such drive"});
    EXPECT_EQ(r.exitCode, 3);
}

TEST_F(CliFrameTest, NoDriveAtAllIsNothingDone) {
    // A plug-in configuration with no image: the library finds no drive.
    const auto config = dir.file("empty.conf");
    std::ofstream(config) << "# no images\n";
    cli.setEnv("CLD_ASPI_LIBRARY", vdrivekit::pluginPath().string());
    cli.setEnv("CLD_VDRIVE_CONFIG", config.string());
    const RunResult r = cli.run({"info", "--drive", "0"});
    EXPECT_EQ(r.exitCode, 3) << r.out << r.err;
    EXPECT_NE(r.err.find("no CD drive"), std::string::npos) << r.err;
}

TEST_F(CliFrameTest, FileInfoOfGoodAndBrokenFiles) {
    const auto wav = dir.file("tone.wav");
    writeWav(wav, 44100 * 2);
    RunResult r = cli.run({"--json", "info", wav.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto info = nlohmann::json::parse(r.out);
    EXPECT_EQ(info.at("format"), "wav");
    EXPECT_DOUBLE_EQ(info.at("seconds").get<double>(), 2.0);
    EXPECT_EQ(info.at("audio").at("channels"), 2);
    EXPECT_EQ(info.at("audio").at("sample_rate"), 44100);
    EXPECT_EQ(info.at("audio").at("bits"), 16);

    r = cli.run({"info", wav.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("length: 0:02.000"), std::string::npos) << r.out;

    if (cldtest::haveTool("ffmpeg")) {
        const auto flac = dir.file("tagged.flac");
        const std::string command = "ffmpeg -loglevel error -y -i '" + wav.string() +
                                    "' -metadata title='Über' -metadata artist='Cli' '" +
                                    flac.string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        r = cli.run({"--json", "info", flac.string()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto tagged = nlohmann::json::parse(r.out);
        EXPECT_EQ(tagged.at("tags").at("title"), "Über");
        EXPECT_EQ(tagged.at("tags").at("artist"), "Cli");
        EXPECT_EQ(tagged.at("audio").at("codec"), "flac");
    }

    // Noise under an audio file's name, a cut WAVE header, a file that is not there.
    const auto noise = dir.file("noise.mp3");
    {
        std::ofstream out(noise, std::ios::binary);
        for (int i = 0; i < 4096; ++i)
            out.put(static_cast<char>((i * 7919) & 0xff));
    }
    const auto cut = dir.file("cut.wav");
    {
        std::ofstream out(cut, std::ios::binary);
        out.write("RIFF\x10\x00\x00\x00WAVEfm", 14);
    }
    for (const auto& bad : {noise, cut, dir.file("missing.flac")}) {
        r = cli.run({"info", bad.string()});
        EXPECT_EQ(r.exitCode, 3) << bad << r.out << r.err;
        EXPECT_NE(r.err.find(bad.filename().string()), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

TEST_F(CliFrameTest, ReadingCommandsWriteNoSettings) {
    const auto wav = dir.file("tone.wav");
    writeWav(wav, 4410);
    const auto store = dir.path() / "home" / "registry";
    ASSERT_EQ(cli.run({"info", wav.string()}).exitCode, 0);
    EXPECT_NE(cli.run({"devices"}).exitCode, 2);
    EXPECT_FALSE(std::filesystem::exists(store) && !std::filesystem::is_empty(store));
}

} // namespace
