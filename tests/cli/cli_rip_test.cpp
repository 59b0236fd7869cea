// calderine rip on the virtual drive, as a process with no display and no session bus:
// a disc to FLAC with its log and cue sheet, results as JSON, Ctrl+C in the middle of a
// rip, and track lists the disc does not have.

#include "AccurateRip.h"
#include "CddbTestServer.h"
#include "CliRun.h"
#include "Processes.h"
#include "RipLogReader.h"
#include "SettingsRecord.h"
#include "TempDir.h"
#include "TestEnv.h"
#include "VDriveKit.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using clitest::CliRunner;
using clitest::RunResult;

std::string fileText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The playing time ffprobe measures, in seconds; -1 when it cannot.
double probedSeconds(const fs::path& file) {
    const std::string command =
        "ffprobe -v error -show_entries format=duration -of csv=p=0 '" + file.string() + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char buf[64] = {};
    const bool read = std::fgets(buf, sizeof buf, pipe) != nullptr;
    ::pclose(pipe);
    return read ? std::atof(buf) : -1;
}

class CliRipTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!cldtest::haveTool("ffprobe"))
            GTEST_SKIP() << "ffprobe is not installed";
        // A store of the runs' own in which the AccurateRip look-up is off: the tests
        // never reach out to the database.
        cldtest::ScopedEnv store("CLD_REGISTRY_DIR", (home / "registry").string());
        SettingsRecord settings;
        ASSERT_TRUE(settings.setAccurateRipLookup(false));
    }

    void insert(const vdrivekit::DiscSpec& disc) {
        drives =
            std::make_unique<vdrivekit::VirtualDrives>(dir.path() / "discs", std::vector{disc});
        cli.setEnv("CLD_ASPI_LIBRARY", vdrivekit::pluginPath().string());
        cli.setEnv("CLD_VDRIVE_CONFIG", drives->configPath().string());
    }

    static vdrivekit::DiscSpec album(int64_t slowMicros = 0, int64_t sectorsPerTrack = 0) {
        vdrivekit::DiscSpec disc;
        disc.title = "Quiet Hours";
        disc.performer = "The Testers";
        disc.tracks = {
            {vdrivekit::Content::Music, sectorsPerTrack ? sectorsPerTrack : 300, "Dawn", "", 0, 0},
            {vdrivekit::Content::Ramp, sectorsPerTrack ? sectorsPerTrack : 225, "Noon", "", 0, 0},
            {vdrivekit::Content::Music, sectorsPerTrack ? sectorsPerTrack : 150, "Dusk", "", 0, 0}};
        disc.faults.slowMicrosPerSector = slowMicros;
        return disc;
    }

    cldtest::TempDir dir;
    fs::path home = dir.path() / "home";
    CliRunner cli{home};
    std::unique_ptr<vdrivekit::VirtualDrives> drives;
};

TEST_F(CliRipTest, DiscToFlacWithLogAndCueSheet) {
    insert(album());
    const fs::path out = dir.path() / "rips";
    const RunResult r = cli.run({"--json", "rip", "--format", "flac", "--out", out.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = r.lines();
    ASSERT_EQ(lines.size(), 4u) << r.out;
    const char* titles[] = {"Dawn", "Noon", "Dusk"};
    const double seconds[] = {4.0, 3.0, 2.0};
    for (size_t i = 0; i < 3; ++i) {
        const auto item = nlohmann::json::parse(lines[i]);
        EXPECT_EQ(item.at("command"), "rip");
        EXPECT_EQ(item.at("status"), "done");
        EXPECT_EQ(item.at("input"), "track " + std::to_string(i + 1));
        const fs::path file = out / ("The Testers - " + std::string(titles[i]) + ".flac");
        EXPECT_EQ(item.at("output"), file.string());
        EXPECT_NEAR(probedSeconds(file), seconds[i], 1e-3) << file;
    }
    const auto disc = nlohmann::json::parse(lines[3]);
    EXPECT_EQ(disc.at("names"), "cd-text");
    EXPECT_EQ(disc.at("accuraterip"), "not-done");
    const fs::path log = out / "The Testers - Quiet Hours.log";
    EXPECT_EQ(disc.at("log"), log.string());
    const std::string logText = fileText(log);
    EXPECT_NE(logText.find("Tracks on the disc: 3"), std::string::npos) << logText;
    size_t exact = 0;
    for (size_t at = logText.find("Read: exact"); at != std::string::npos;
         at = logText.find("Read: exact", at + 1))
        ++exact;
    EXPECT_EQ(exact, 3u) << logText;
    const std::string cue = fileText(out / "The Testers - Quiet Hours.cue");
    EXPECT_NE(cue.find("FILE \"The Testers - Noon.flac\" WAVE"), std::string::npos) << cue;
    // Nothing else is left in the folder: no temporary files, no lock files.
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 5u);
}

TEST_F(CliRipTest, ChosenTracksAndTracksTheDiscLacks) {
    insert(album());
    const fs::path out = dir.path() / "some";
    RunResult r = cli.run({"rip", "--format", "wav", "--tracks", "1,3", "--out", out.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(out / "The Testers - Dawn.wav"));
    EXPECT_FALSE(fs::exists(out / "The Testers - Noon.wav"));
    EXPECT_TRUE(fs::exists(out / "The Testers - Dusk.wav"));

    r = cli.run({"rip", "--tracks", "2-4", "--out", (dir.path() / "none").string()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("the disc has 3 tracks"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.path() / "none" / "The Testers - Noon.wav"));
}

// The lossy formats of the registry: a track ripped to MP3, WMA, Opus, Ogg Vorbis and AAC
// plays for the track's length with its name, as ffprobe reads it.
TEST_F(CliRipTest, TracksToEveryLossyFormat) {
    insert(album());
    for (const auto& [format, extension] :
         std::vector<std::pair<std::string, std::string>>{{"mp3", ".mp3"},
                                                          {"wma", ".wma"},
                                                          {"opus", ".opus"},
                                                          {"vorbis", ".ogg"},
                                                          {"aac", ".m4a"}}) {
        SCOPED_TRACE(format);
        const fs::path out = dir.path() / format;
        const RunResult r =
            cli.run({"rip", "--format", format, "--tracks", "2", "--out", out.string()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const fs::path file = out / ("The Testers - Noon" + extension);
        ASSERT_TRUE(fs::exists(file)) << r.out;
        int status = -1;
        const std::string probe = cldtest::commandOutput(
            "ffprobe -v error -show_entries format=duration:format_tags=title:stream_tags=title "
            "-of default=nw=1 '" +
                file.string() + "' 2>&1",
            status);
        ASSERT_EQ(status, 0) << probe;
        // Ogg files keep their comments' names as written (TITLE).
        std::string lower = probe;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        EXPECT_NE(lower.find("tag:title=noon"), std::string::npos) << probe;
        const auto at = probe.find("duration=");
        ASSERT_NE(at, std::string::npos) << probe;
        EXPECT_GT(std::stod(probe.substr(at + 9)), 1.0);
    }
}

TEST_F(CliRipTest, InterruptStopsTheRipAndLeavesNoCutFileUnderItsName) {
    // Ten seconds a track, read at about 1.5 s a track.
    insert(album(2000, 750));
    const fs::path out = dir.path() / "cut";
    const pid_t pid = cli.start({"rip", "--format", "flac", "--out", out.string()});
    // Wait for the first track to be done, then press Ctrl+C.
    ASSERT_TRUE(cldtest::waitUntil([&] {
        return cli.outputSoFar().find("done\ttrack 1") != std::string::npos ||
               !cldtest::processRunning(pid);
    }));
    ASSERT_TRUE(cldtest::processRunning(pid)) << "the rip ended before the interruption";
    ::kill(pid, SIGINT);
    const RunResult r = cli.finish(pid);
    EXPECT_EQ(r.exitCode, 130) << r.out << r.err;
    const char* titles[] = {"Dawn", "Noon", "Dusk"};
    int complete = 0;
    for (const char* title : titles) {
        const fs::path file = out / ("The Testers - " + std::string(title) + ".flac");
        if (!fs::exists(file))
            continue;
        // Whatever has a track's final name is the whole track.
        EXPECT_NEAR(probedSeconds(file), 10.0, 1e-3) << file;
        ++complete;
    }
    EXPECT_GE(complete, 1);
    EXPECT_LT(complete, 3) << "the rip ran to its end before the interruption";
    for (const auto& entry : fs::directory_iterator(out))
        EXPECT_NE(entry.path().filename().string().rfind(".cld-", 0), 0u) << entry.path();
}

TEST_F(CliRipTest, VerifyRecomputesTheRipFromItsFilesAndLooksItUp) {
    insert(album());
    const fs::path out = dir.path() / "rip";
    const RunResult ripped = cli.run({"rip", "--format", "flac", "--out", out.string()});
    ASSERT_EQ(ripped.exitCode, 0) << ripped.out << ripped.err;
    const fs::path log = out / "The Testers - Quiet Hours.log";
    cld::cli::LoggedRip logged;
    std::string why;
    ASSERT_TRUE(cld::cli::readRipLog(fileText(log), logged, why)) << why;
    ASSERT_EQ(logged.tracks.size(), 3u);

    // A database on loopback that knows the disc from seven rips like this one.
    accurip::EntryResponse response;
    response.ids = logged.ids;
    for (const auto& t : logged.tracks)
        response.tracks.push_back({7, t.sums.v2, 0});
    const auto entry = accurip::buildEntry({response});
    cldtest::CddbTestServer server;
    // CTDB does not know the disc.
    cldtest::CddbTestServer ctdb;
    for (int i = 0; i < 6; ++i)
        ctdb.queueAnswer("HTTP/1.0 404 Not Found\r\n\r\n");
    for (int i = 0; i < 6; ++i)
        server.queueAnswer("HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n" +
                           std::string(entry.begin(), entry.end()));
    {
        cldtest::ScopedEnv store("CLD_REGISTRY_DIR", (home / "registry").string());
        SettingsRecord settings;
        ASSERT_TRUE(settings.setAccurateRipLookup(true));
        ASSERT_TRUE(settings.setAccurateRipServer(
            "http://127.0.0.1:" + std::to_string(server.port()) + "/ar/"));
        ASSERT_TRUE(settings.setCtdbServer("http://127.0.0.1:" + std::to_string(ctdb.port()) +
                                           "/lookup2.php"));
    }

    // The drive is gone: verify needs only the files.
    drives.reset();
    for (const fs::path& named : {out, log, out / "The Testers - Quiet Hours.cue"}) {
        const RunResult r = cli.run({"--json", "verify", named.string()});
        ASSERT_EQ(r.exitCode, 0) << named << r.out << r.err;
        auto lines = r.lines();
        ASSERT_EQ(lines.size(), 4u) << r.out;
        // The disc's line comes last: verified by AccurateRip, not known to CTDB.
        const auto disc = nlohmann::json::parse(lines.back());
        EXPECT_EQ(disc.at("verified"), "AccurateRip") << lines.back();
        EXPECT_EQ(disc.at("ctdb"), "not in the database") << lines.back();
        lines.pop_back();
        for (const std::string& line : lines) {
            const auto item = nlohmann::json::parse(line);
            EXPECT_EQ(item.at("audio"), "ok") << line;
            EXPECT_EQ(item.at("accuraterip"), "accurate") << line;
            EXPECT_EQ(item.at("confidence"), 7) << line;
            EXPECT_EQ(item.at("log_checksum"), "OK") << line;
        }
    }

    // A log changed after it was written fails on its checksum; one without the line (an
    // earlier version's) is only named.
    const std::string logText = fileText(log);
    std::string changed = logText;
    changed.replace(changed.find("Read: exact"), 11, "Read: exakt");
    std::ofstream(log, std::ios::binary | std::ios::trunc) << changed;
    RunResult sealed = cli.run({"--json", "verify", log.string()});
    EXPECT_EQ(sealed.exitCode, 1) << sealed.out << sealed.err;
    EXPECT_NE(sealed.err.find("the log was changed after it was written"), std::string::npos)
        << sealed.err;
    for (const std::string& line : sealed.lines())
        EXPECT_EQ(nlohmann::json::parse(line).at("log_checksum"), "edited") << line;
    std::ofstream(log, std::ios::binary | std::ios::trunc)
        << logText.substr(0, logText.rfind("==== Log checksum "));
    sealed = cli.run({"--json", "verify", log.string()});
    EXPECT_EQ(sealed.exitCode, 0) << sealed.out << sealed.err;
    for (const std::string& line : sealed.lines())
        EXPECT_EQ(nlohmann::json::parse(line).at("log_checksum"), "absent") << line;
    std::ofstream(log, std::ios::binary | std::ios::trunc) << logText;

    // One damaged file: its audio no longer matches the log, the database or its MD5.
    const fs::path noon = out / "The Testers - Noon.flac";
    {
        std::fstream f(noon, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(fs::file_size(noon) / 2));
        f.write("\x55\xAA\x55\xAA", 4);
    }
    const RunResult r = cli.run({"--json", "verify", out.string()});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    int failed = 0;
    for (const std::string& line : r.lines()) {
        const auto item = nlohmann::json::parse(line);
        if (item.value("status", "") == "failed") {
            ++failed;
            EXPECT_EQ(item.at("input"), "The Testers - Noon.flac");
        }
    }
    EXPECT_EQ(failed, 1) << r.out;
    EXPECT_NE(r.err.find("Noon"), std::string::npos) << r.err;

    // Not a rip: exit 3.
    EXPECT_EQ(cli.run({"verify", (dir.path() / "nothing").string()}).exitCode, 3);
}

TEST_F(CliRipTest, SettingsAreWrittenOnlyWhenAsked) {
    insert(album());
    RunResult r = cli.run({"--json", "devices"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string drive = nlohmann::json::parse(r.lines().at(0)).at("name");
    auto storedOffset = [&] {
        cldtest::ScopedEnv store("CLD_REGISTRY_DIR", (home / "registry").string());
        SettingsRecord settings;
        return settings.readOffsetFor(drive);
    };
    ASSERT_EQ(storedOffset(), 0);
    const std::string out = (dir.path() / "o").string();
    r = cli.run({"rip", "--tracks", "3", "--offset", "30", "--overwrite", "--out", out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(storedOffset(), 0) << "an option alone changes no setting";
    r = cli.run(
        {"--save-settings", "rip", "--tracks", "3", "--offset", "30", "--overwrite", "--out", out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(storedOffset(), 30);
    // The stored offset is what the next rip reads with, as the log says.
    r = cli.run({"rip", "--tracks", "3", "--overwrite", "--out", out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(fileText(fs::path(out) / "The Testers - Quiet Hours.log").find("Read offset: 30"),
              std::string::npos);
}

} // namespace

// The archivist's options: the audio hidden before track 1 ripped as track 0, every track
// read twice and compared, and the settings' "TestAndCopy" doing the same.
TEST_F(CliRipTest, HiddenTrackAndTestAndCopy) {
    vdrivekit::DiscSpec disc = album();
    disc.tracks[0].indexZeroSectors = 75;
    insert(disc);
    const fs::path out = dir.path() / "archive";
    RunResult r =
        cli.run({"--json", "rip", "--hidden-track", "--test-and-copy", "--out", out.string()});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const auto lines = r.lines();
    ASSERT_EQ(lines.size(), 5u) << r.out;
    EXPECT_EQ(nlohmann::json::parse(lines[0]).at("input"), "track 0 (HTOA)");
    EXPECT_TRUE(fs::exists(out / "The Testers - HTOA.wav"));
    const std::string log = fileText(out / "The Testers - Quiet Hours.log");
    EXPECT_NE(log.find("Test and copy: 3 of 3 tracks copy OK\n"), std::string::npos) << log;
    EXPECT_NE(log.find("ripped as track 0 into The Testers - HTOA.wav"), std::string::npos) << log;
    EXPECT_NE(fileText(out / "The Testers - Quiet Hours.cue")
                  .find("FILE \"The Testers - HTOA.wav\" WAVE\n  TRACK 01 AUDIO\n"),
              std::string::npos);

    {
        cldtest::ScopedEnv store("CLD_REGISTRY_DIR", (home / "registry").string());
        SettingsRecord settings;
        ASSERT_TRUE(settings.setTestAndCopy(true));
    }
    r = cli.run({"rip", "--tracks", "2", "--overwrite", "--out", out.string()});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(fileText(out / "The Testers - Quiet Hours.log")
                  .find("Test and copy: 1 of 1 tracks copy OK\n"),
              std::string::npos);
}

// With --replay-gain every track carries its own loudness values and the disc's as the
// album's: track values as ffmpeg's ebur128 measures the files (within 0.1 dB of the
// -18 LUFS reference), one album value on every file. WAV carries none and is refused.
TEST_F(CliRipTest, ReplayGainGivesEachTrackItsValuesAndTheDiscsAsTheAlbums) {
    if (!cldtest::haveTool("ffmpeg"))
        GTEST_SKIP() << "ffmpeg is not installed";
    insert(album());
    const fs::path out = dir.path() / "loud";
    RunResult r = cli.run({"rip", "--format", "flac", "--replay-gain", "--out", out.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto tag = [](const fs::path& file, const std::string& key) {
        int status = -1;
        const std::string text =
            cldtest::commandOutput("ffprobe -v error -show_entries format_tags=" + key +
                                       " -of csv=p=0 '" + file.string() + "'",
                                   status);
        return status == 0 && !text.empty() ? std::atof(text.c_str()) : 1000.0;
    };
    const auto lufs = [](const fs::path& file) {
        int status = -1;
        const std::string text = cldtest::commandOutput(
            "ffmpeg -nostats -hide_banner -i '" + file.string() +
                "' -af ebur128 -f null - 2>&1 | grep -A1 'Integrated loudness' | "
                "grep -o -- '-\\?[0-9.]* LUFS' | tail -1",
            status);
        return std::atof(text.c_str());
    };
    std::vector<double> albumGains;
    std::vector<double> trackGains;
    for (const char* title : {"Dawn", "Noon", "Dusk"}) {
        SCOPED_TRACE(title);
        const fs::path file = out / ("The Testers - " + std::string(title) + ".flac");
        const double track = tag(file, "replaygain_track_gain");
        ASSERT_LT(track, 100.0) << "no track gain";
        EXPECT_NEAR(track, -18.0 - lufs(file), 0.1);
        trackGains.push_back(track);
        albumGains.push_back(tag(file, "replaygain_album_gain"));
    }
    ASSERT_LT(albumGains[0], 100.0) << "no album gain";
    EXPECT_EQ(albumGains[1], albumGains[0]);
    EXPECT_EQ(albumGains[2], albumGains[0]);
    EXPECT_GT(std::abs(trackGains[1] - trackGains[0]), 0.5) << "the ramp and the music differ";

    r = cli.run({"rip", "--format", "wav", "--replay-gain", "--out", (dir.path() / "w").string()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--replay-gain does not apply to wav"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.path() / "w" / "The Testers - Dawn.wav"));
}
