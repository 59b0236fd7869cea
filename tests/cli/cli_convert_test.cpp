// calderine convert and decode as processes with no display and no session bus: a folder
// mirrored below --out and checked with ffprobe, results as JSON, a broken file with
// --on-error skip and stop, Ctrl+C in the middle of a batch, --skip-existing, and two
// processes on overlapping folders that never write the same output.

#include "CliRun.h"
#include "FileSizeLimit.h"
#include "Processes.h"
#include "SettingsRecord.h"
#include "TempDir.h"
#include "TestEnv.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>

namespace {

namespace fs = std::filesystem;
using clitest::CliRunner;
using clitest::RunResult;

// A 16-bit stereo WAVE file of `seconds` at 44100 Hz holding a changing tone, `scale`
// times its usual level.
void writeWav(const fs::path& path, double seconds, int pitch = 1, double scale = 1.0) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const auto frames = static_cast<uint32_t>(seconds * 44100);
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
    std::vector<int16_t> block;
    block.reserve(2 * 4410);
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = i / 44100.0;
        const auto v =
            static_cast<int16_t>(scale * (9000 * std::sin(2 * M_PI * (220.0 * pitch) * t) +
                                          3000 * std::sin(2 * M_PI * 1370.0 * t)));
        block.push_back(v);
        block.push_back(static_cast<int16_t>(-v));
        if (block.size() == block.capacity() || i + 1 == frames) {
            out.write(reinterpret_cast<const char*>(block.data()),
                      static_cast<std::streamsize>(block.size() * 2));
            block.clear();
        }
    }
}

struct Probe {
    std::string codec;
    double seconds = -1;
};

// What a command writes to standard output.
std::string commandOutput(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string text;
    char buf[512];
    while (pipe && std::fgets(buf, sizeof buf, pipe))
        text += buf;
    if (pipe)
        ::pclose(pipe);
    return text;
}

Probe probe(const fs::path& file) {
    const std::string text = commandOutput(
        "ffprobe -v error -select_streams a:0 -show_entries stream=codec_name:format=duration "
        "-of json '" +
        file.string() + "'");
    Probe p;
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded())
        return p;
    if (json.contains("streams") && !json["streams"].empty())
        p.codec = json["streams"][0].value("codec_name", "");
    if (json.contains("format") && json["format"].contains("duration"))
        p.seconds = std::stod(json["format"]["duration"].get<std::string>());
    return p;
}

// A file's tags as ffprobe reads them (the container's and the audio stream's), by
// lower-case name.
std::map<std::string, std::string> probeTags(const fs::path& file) {
    const std::string text = commandOutput("ffprobe -v error -select_streams a:0 -show_entries "
                                           "format_tags:stream_tags -of json '" +
                                           file.string() + "'");
    std::map<std::string, std::string> tags;
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded())
        return tags;
    const auto take = [&tags](const nlohmann::json& object) {
        if (!object.contains("tags"))
            return;
        for (const auto& [key, value] : object["tags"].items()) {
            std::string name = key;
            for (char& c : name)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            tags[name] = value.get<std::string>();
        }
    };
    if (json.contains("format"))
        take(json["format"]);
    if (json.contains("streams") && !json["streams"].empty())
        take(json["streams"][0]);
    return tags;
}

// The integrated loudness in LUFS of a file, as ffmpeg's ebur128 filter measures it.
double ebur128Lufs(const fs::path& file) {
    const std::string text =
        commandOutput("ffmpeg -nostats -hide_banner -i '" + file.string() +
                      "' -af ebur128 -f null - 2>&1 | grep -A1 'Integrated loudness' | grep -o "
                      "'[-0-9.]* LUFS'");
    return text.empty() ? std::nan("") : std::stod(text);
}

// A file's track and album gain in dB against -18 LUFS, as its format carries them (Opus:
// R128 gains in 1/256 dB against -23 LUFS); not a number where there is none.
std::pair<double, double> gainsOf(const fs::path& file) {
    const auto tags = probeTags(file);
    const auto number = [&tags](const std::string& key, double scale, double offset) {
        const auto it = tags.find(key);
        return it == tags.end() ? std::nan("") : std::stod(it->second) / scale + offset;
    };
    if (file.extension() == ".opus")
        return {number("r128_track_gain", 256, 5), number("r128_album_gain", 256, 5)};
    return {number("replaygain_track_gain", 1, 0), number("replaygain_album_gain", 1, 0)};
}

std::vector<nlohmann::json> jsonLines(const RunResult& r) {
    std::vector<nlohmann::json> objects;
    for (const std::string& line : r.lines())
        objects.push_back(nlohmann::json::parse(line));
    return objects;
}

std::vector<std::string> namesBelow(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            names.push_back(entry.path().lexically_relative(folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

// An MP3 file plays up to two frames longer than its audio (the encoder's delay and the
// last frame's padding), as players without the encoder's header frame count it.
constexpr double kMp3Slack = 0.06;

class CliConvertTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!cldtest::haveTool("ffprobe"))
            GTEST_SKIP() << "ffprobe is not installed";
    }
    cldtest::TempDir dir;
    CliRunner cli{dir.path() / "home"};
};

TEST_F(CliConvertTest, FolderToMp3AndFlacMirroredBelowOutAndDecodedBack) {
    const fs::path in = dir.path() / "in";
    writeWav(in / "one.wav", 1.0, 1);
    writeWav(in / "disc 2" / "two.wav", 2.0, 2);
    writeWav(in / "disc 2" / "deeper" / "three.wav", 1.5, 3);
    std::ofstream(in / "notes.txt") << "not audio";

    const fs::path mp3 = dir.path() / "mp3";
    RunResult r = cli.run({"--json", "convert", "--to", "mp3", "--bitrate", "160", "-r", "--jobs",
                           "2", "--out", mp3.string(), in.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto results = jsonLines(r);
    ASSERT_EQ(results.size(), 3u) << r.out;
    for (const auto& item : results) {
        EXPECT_EQ(item.at("command"), "convert");
        EXPECT_EQ(item.at("status"), "done");
        EXPECT_GT(item.at("bytes").get<uint64_t>(), 0u);
        EXPECT_TRUE(fs::exists(item.at("output").get<std::string>()));
    }
    EXPECT_EQ(namesBelow(mp3),
              (std::vector<std::string>{"disc 2/deeper/three.mp3", "disc 2/two.mp3", "one.mp3"}));
    const std::map<std::string, double> lengths{
        {"one", 1.0}, {"disc 2/two", 2.0}, {"disc 2/deeper/three", 1.5}};
    for (const auto& [name, seconds] : lengths) {
        const Probe p = probe(mp3 / (name + ".mp3"));
        EXPECT_EQ(p.codec, "mp3") << name;
        EXPECT_NEAR(p.seconds, seconds, kMp3Slack) << name;
    }

    const fs::path flac = dir.path() / "flac";
    r = cli.run({"convert", "--to", "flac", "-r", "--out", flac.string(), in.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const auto& [name, seconds] : lengths) {
        const Probe p = probe(flac / (name + ".flac"));
        EXPECT_EQ(p.codec, "flac") << name;
        EXPECT_NEAR(p.seconds, seconds, 1e-3) << name;
    }

    // WMA with a profile named as the dialogs list it, decoded back to WAVE.
    const fs::path wma = dir.path() / "wma";
    r = cli.run({"convert", "--to", "wma", "--profile", "Audio for CD quality (96 Kbps stereo)",
                 "--out", wma.string(), (in / "one.wav").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(probe(wma / "one.wma").codec, "wmav2");
    r = cli.run({"decode", "--out", wma.string(), (wma / "one.wma").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NEAR(probe(wma / "one.wav").seconds, 1.0, 0.1);
    r = cli.run(
        {"convert", "--to", "wma", "--profile", "no such profile", (in / "one.wav").string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("Audio for CD quality"), std::string::npos) << r.err;

    // Decoding the MP3 folder gives WAVE files of the same lengths.
    const fs::path wav = dir.path() / "wav";
    r = cli.run({"--json", "decode", "-r", "--out", wav.string(), mp3.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(jsonLines(r).size(), 3u);
    for (const auto& [name, seconds] : lengths) {
        const Probe p = probe(wav / (name + ".wav"));
        EXPECT_EQ(p.codec, "pcm_s16le") << name;
        EXPECT_NEAR(p.seconds, seconds, 0.03) << name;
    }
}

// Every new format by its name, with its own settings, to files of its own extension; a
// setting the format has no use for, or a value its encoder does not take, is refused
// before any file is written.
TEST_F(CliConvertTest, EveryFormatWithItsOwnSettings) {
    const fs::path in = dir.path() / "in";
    writeWav(in / "song.wav", 1.0);
    struct Case {
        std::vector<std::string> args;
        const char* file;
        const char* codec;
    };
    const fs::path out = dir.path() / "out";
    for (const Case& c :
         {Case{{"--to", "opus", "--bitrate", "64", "--bitrate-mode", "cbr"}, "song.opus", "opus"},
          Case{{"--to", "vorbis", "--quality", "6.5", "--no-cover"}, "song.ogg", "vorbis"},
          Case{{"--to", "aac", "--bitrate", "160"}, "song.m4a", "aac"},
          Case{{"--to", "flac", "--level", "8"}, "song.flac", "flac"}}) {
        SCOPED_TRACE(c.file);
        std::vector<std::string> args = {"convert"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.insert(args.end(), {"--out", out.string(), (in / "song.wav").string()});
        const RunResult r = cli.run(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const Probe p = probe(out / c.file);
        EXPECT_EQ(p.codec, c.codec);
        EXPECT_NEAR(p.seconds, 1.0, 0.03);
    }
    // Constant bitrate at 64 kbit/s: the file is as large as that rate says.
    EXPECT_NEAR(static_cast<double>(fs::file_size(out / "song.opus")), 64000 / 8.0, 1500);
    const auto before = namesBelow(out);
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--to", "opus", "--level", "3"},
          std::vector<std::string>{"--to", "vorbis", "--quality", "11"},
          std::vector<std::string>{"--to", "vorbis", "--quality", "high"},
          std::vector<std::string>{"--to", "aac", "--bitrate", "5"},
          std::vector<std::string>{"--to", "mp3", "--bitrate-mode", "vbr"}}) {
        SCOPED_TRACE(bad[1] + " " + bad[2]);
        std::vector<std::string> args = {"convert"};
        args.insert(args.end(), bad.begin(), bad.end());
        args.insert(args.end(), {"--overwrite", "--out", out.string(), (in / "song.wav").string()});
        const RunResult r = cli.run(args);
        EXPECT_EQ(r.exitCode, 2) << r.out;
        EXPECT_NE(r.err.find(bad[2]), std::string::npos) << r.err;
    }
    EXPECT_EQ(namesBelow(out), before);
    // A format the program does not have is a usage error.
    EXPECT_EQ(cli.run({"convert", "--to", "ogg", (in / "song.wav").string()}).exitCode, 2);
}

TEST_F(CliConvertTest, BrokenFileIsListedAndSkippedOrStops) {
    const fs::path in = dir.path() / "in";
    writeWav(in / "a.wav", 1.0);
    {
        std::ofstream bad(in / "b.wav", std::ios::binary);
        bad << "RIFF\x20\x00\x00\x00WAVEjunkjunkjunkjunkjunk";
    }
    writeWav(in / "c.wav", 1.0);

    RunResult r = cli.run({"--json", "convert", "--jobs", "1", "--on-error", "skip", "--out",
                           (dir.path() / "skip").string(), in.string()});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    std::map<std::string, std::string> status;
    for (const auto& item : jsonLines(r))
        status[fs::path(item.at("input").get<std::string>()).filename().string()] =
            item.at("status").get<std::string>();
    EXPECT_EQ(status, (std::map<std::string, std::string>{
                          {"a.wav", "done"}, {"b.wav", "failed"}, {"c.wav", "done"}}));
    EXPECT_NE(r.err.find("b.wav"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.path() / "skip" / "b.mp3"));

    r = cli.run({"--json", "convert", "--jobs", "1", "--on-error", "stop", "--out",
                 (dir.path() / "stop").string(), in.string()});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    status.clear();
    for (const auto& item : jsonLines(r))
        status[fs::path(item.at("input").get<std::string>()).filename().string()] =
            item.at("status").get<std::string>();
    EXPECT_EQ(status.at("a.wav"), "done");
    EXPECT_EQ(status.at("b.wav"), "failed");
    EXPECT_NE(status.at("c.wav"), "done");
    EXPECT_FALSE(fs::exists(dir.path() / "stop" / "c.mp3"));

    // Only broken input: nothing could be done.
    r = cli.run({"convert", (in / "b.wav").string()});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    r = cli.run({"convert", (dir.path() / "nothing-here").string()});
    EXPECT_EQ(r.exitCode, 3) << r.err;
}

TEST_F(CliConvertTest, InterruptInTheMiddleOfABatch) {
    const fs::path in = dir.path() / "in";
    for (int i = 0; i < 8; ++i)
        writeWav(in / ("long" + std::to_string(i) + ".wav"), 20.0, i + 1);
    const fs::path out = dir.path() / "out";
    const pid_t pid =
        cli.start({"convert", "--to", "mp3", "--jobs", "1", "--out", out.string(), in.string()});
    ASSERT_TRUE(cldtest::waitUntil([&] {
        return cli.outputSoFar().find("done\t") != std::string::npos ||
               !cldtest::processRunning(pid);
    }));
    ASSERT_TRUE(cldtest::processRunning(pid)) << "the batch ended before the interruption";
    ::kill(pid, SIGINT);
    const RunResult r = cli.finish(pid);
    EXPECT_EQ(r.exitCode, 130) << "signal " << r.signal << "\n" << r.out << r.err;
    EXPECT_NE(r.out.find("not-started"), std::string::npos) << r.out;
    int complete = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
        const std::string name = entry.path().filename().string();
        EXPECT_NE(name.rfind(".cld-", 0), 0u) << name;
        EXPECT_EQ(name.find("calderine-lock"), std::string::npos) << name;
        if (entry.path().extension() == ".mp3") {
            // What has an output's name is whole; a cut file is only kept as NAME.part.
            EXPECT_NEAR(probe(entry.path()).seconds, 20.0, kMp3Slack) << name;
            ++complete;
        }
    }
    EXPECT_GE(complete, 1);
    EXPECT_LT(complete, 8);

    // The same command with --skip-existing does only what is left.
    const RunResult again = cli.run({"--json", "convert", "--to", "mp3", "--jobs", "2",
                                     "--skip-existing", "--out", out.string(), in.string()});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    int exists = 0;
    int done = 0;
    for (const auto& item : jsonLines(again)) {
        exists += item.at("status") == "exists";
        done += item.at("status") == "done";
    }
    EXPECT_EQ(exists, complete);
    EXPECT_EQ(done, 8 - complete);
}

TEST_F(CliConvertTest, TwoProcessesOnOverlappingFoldersNeverWriteTheSameOutput) {
    const fs::path in = dir.path() / "in";
    for (int i = 0; i < 6; ++i)
        writeWav(in / "shared" / ("s" + std::to_string(i) + ".wav"), 3.0, i + 1);
    writeWav(in / "only-a" / "a.wav", 1.0);
    writeWav(in / "only-b" / "b.wav", 1.0);
    const fs::path out = dir.path() / "out";
    CliRunner other(dir.path() / "home2");
    // Both convert the shared folder (one through its parent) into the same tree.
    const pid_t a = cli.start({"--json", "convert", "--skip-existing", "--jobs", "2", "-r", "--out",
                               out.string(), in.string()});
    const pid_t b = other.start({"--json", "convert", "--skip-existing", "--jobs", "2", "--out",
                                 (out / "shared").string(), (in / "shared").string()});
    const RunResult ra = cli.finish(a);
    const RunResult rb = other.finish(b);
    ASSERT_EQ(ra.exitCode, 0) << ra.err;
    ASSERT_EQ(rb.exitCode, 0) << rb.err;
    std::map<std::string, int> written;
    for (const RunResult* r : {&ra, &rb})
        for (const auto& item : jsonLines(*r))
            if (item.at("status") == "done")
                ++written[item.at("output").get<std::string>()];
    for (int i = 0; i < 6; ++i) {
        const fs::path output = out / "shared" / ("s" + std::to_string(i) + ".mp3");
        EXPECT_EQ(written[output.string()], 1) << output;
        EXPECT_NEAR(probe(output).seconds, 3.0, kMp3Slack) << output;
    }
    // No numbered second copies, no temporary or lock files left behind.
    for (const std::string& name : namesBelow(out)) {
        EXPECT_EQ(name.find("(2)"), std::string::npos) << name;
        EXPECT_EQ(name.find(".cld-"), std::string::npos) << name;
        EXPECT_EQ(name.find("calderine-lock"), std::string::npos) << name;
    }
}

TEST_F(CliConvertTest, AFileThatCannotBeWrittenIsNamedWithItsReason) {
    const fs::path in = dir.path() / "in";
    writeWav(in / "a.wav", 0.2, 1);
    writeWav(in / "b.wav", 3.0, 2);
    writeWav(in / "c.wav", 0.2, 3);
    const fs::path out = dir.path() / "out";
    RunResult r;
    {
        // No file may grow beyond 64 KiB, as on a disk that is nearly full: the long file's
        // output cannot be written, the short ones can.
        cldtest::ScopedFileSizeLimit limit(64 * 1024);
        r = cli.run({"--json", "convert", "--to", "wav", "--jobs", "1", "--out", out.string(),
                     in.string()});
    }
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    std::map<std::string, nlohmann::json> byName;
    for (const auto& item : jsonLines(r))
        byName[fs::path(item.at("input").get<std::string>()).filename().string()] = item;
    ASSERT_EQ(byName.size(), 3u) << r.out;
    EXPECT_EQ(byName["a.wav"].at("status"), "done");
    EXPECT_EQ(byName["c.wav"].at("status"), "done");
    EXPECT_EQ(byName["b.wav"].at("status"), "failed");
    EXPECT_NE(byName["b.wav"].at("error").get<std::string>().find(std::strerror(EFBIG)),
              std::string::npos)
        << byName["b.wav"].dump();
    EXPECT_NE(r.err.find("b.wav"), std::string::npos) << r.err;
    // Nothing of the failed file is left: no output, no part, no temporary file.
    EXPECT_EQ(namesBelow(out), (std::vector<std::string>{"a.wav", "c.wav"}));
}

// With --album-gain the files of each output folder are one album: every file carries its
// own track values (as ffmpeg's ebur128 measures the input, within 0.1 dB) and its
// folder's album values, the same across the folder and different from the track values
// where the files differ in loudness. Without it the ReplayGain setting decides whether
// the track values are written; formats without loudness values refuse --album-gain.
TEST_F(CliConvertTest, AlbumGainMakesEachOutputFolderAnAlbum) {
    if (!cldtest::haveTool("ffmpeg"))
        GTEST_SKIP() << "ffmpeg is not installed";
    const fs::path in = dir.path() / "in";
    writeWav(in / "a" / "loud.wav", 1.0, 1, 1.0);
    writeWav(in / "a" / "quiet.wav", 1.0, 2, 0.25);
    writeWav(in / "b" / "alone.wav", 1.0, 3, 0.5);
    std::map<std::string, double> trackGain; // by input, from ffmpeg's measure
    for (const char* name : {"a/loud", "a/quiet", "b/alone"})
        trackGain[name] = -18.0 - ebur128Lufs(in / (std::string(name) + ".wav"));

    for (const auto& [format, extension] : std::vector<std::pair<std::string, std::string>>{
             {"flac", ".flac"}, {"opus", ".opus"}, {"aac", ".m4a"}, {"mp3", ".mp3"}}) {
        SCOPED_TRACE(format);
        const fs::path out = dir.path() / ("album-" + format);
        const RunResult r = cli.run({"convert", "--to", format, "--album-gain", "-r", "--jobs", "2",
                                     "--out", out.string(), in.string()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        std::map<std::string, std::pair<double, double>> gains;
        for (const auto& [name, expected] : trackGain) {
            gains[name] = gainsOf(out / (name + extension));
            // Opus gains are whole 1/256 dB.
            EXPECT_NEAR(gains[name].first, expected, 0.1) << name;
        }
        EXPECT_NEAR(gains["a/loud"].second, gains["a/quiet"].second, 1e-9);
        EXPECT_GT(gains["a/quiet"].first - gains["a/quiet"].second, 1.0);
        EXPECT_GT(gains["a/loud"].second - gains["a/loud"].first, 1.0);
        // A folder of one file: its album is that file.
        EXPECT_NEAR(gains["b/alone"].second, gains["b/alone"].first, 0.01);
    }

    // Neither the option nor the setting: no loudness values.
    const fs::path plain = dir.path() / "plain";
    RunResult r = cli.run(
        {"convert", "--to", "vorbis", "--out", plain.string(), (in / "a" / "loud.wav").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto gains = gainsOf(plain / "loud.ogg");
    EXPECT_TRUE(std::isnan(gains.first) && std::isnan(gains.second));
    // The ReplayGain setting on: the track's values, no album values.
    {
        cldtest::ScopedEnv store("CLD_REGISTRY_DIR", (dir.path() / "home" / "registry").string());
        SettingsRecord settings;
        ASSERT_TRUE(settings.setMp3ReplayGain(1));
    }
    r = cli.run({"convert", "--to", "vorbis", "--overwrite", "--out", plain.string(),
                 (in / "a" / "loud.wav").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    gains = gainsOf(plain / "loud.ogg");
    EXPECT_NEAR(gains.first, trackGain["a/loud"], 0.1);
    EXPECT_TRUE(std::isnan(gains.second));

    for (const char* format : {"wav", "wma"}) {
        r = cli.run({"convert", "--to", format, "--album-gain", "--out", plain.string(),
                     (in / "a" / "loud.wav").string()});
        EXPECT_EQ(r.exitCode, 2) << format;
        EXPECT_NE(r.err.find("--album-gain"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(plain / "loud.wav"));
    EXPECT_FALSE(fs::exists(plain / "loud.wma"));
}

} // namespace
