// calderine verify from a cue sheet alone, with AccurateRip and CTDB on loopback: a rip
// made by the program, the same rip converted to FLAC, one damaged sample, a missing
// file, a lossy file, and disc images with pregaps. The CTDB entries are made here from
// the virtual disc's own sectors with a plain CRC, not with the code under test.

#include "CddbTestServer.h"
#include "CliRun.h"
#include "SettingsRecord.h"
#include "TempDir.h"
#include "TestEnv.h"
#include "VDriveKit.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using clitest::CliRunner;
using clitest::RunResult;

uint32_t plainCrc(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = from; i < to; ++i) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

std::string hex8(uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "%08x", v);
    return b;
}

// The disc's audio from its first track's INDEX 01 to its end, and where each track's
// INDEX 01 lies in it (samples), as the disc description makes it.
struct DiscAudio {
    std::vector<uint8_t> bytes;
    std::vector<size_t> starts;
};

DiscAudio discAudio(const vdrivekit::DiscSpec& disc) {
    DiscAudio a;
    std::vector<uint8_t> sector(2352);
    for (size_t t = 0; t < disc.tracks.size(); ++t) {
        const vdrivekit::TrackSpec& track = disc.tracks[t];
        const int number = static_cast<int>(t + 1);
        // A track's gap (INDEX 00 and PREGAP) belongs to the track before it; the first
        // track's is before the disc's counted audio.
        if (t > 0) {
            a.bytes.insert(a.bytes.end(), static_cast<size_t>(track.pregapSectors) * 2352, 0);
            for (int64_t s = -track.indexZeroSectors; s < 0; ++s) {
                vdrivekit::generateSector(track.content, number, s, sector.data());
                a.bytes.insert(a.bytes.end(), sector.begin(), sector.end());
            }
        }
        a.starts.push_back(a.bytes.size() / 4);
        for (int64_t s = 0; s < track.sectors; ++s) {
            vdrivekit::generateSector(track.content, number, s, sector.data());
            a.bytes.insert(a.bytes.end(), sector.begin(), sector.end());
        }
    }
    a.starts.push_back(a.bytes.size() / 4);
    return a;
}

// The CTDB answer for the disc: an entry of 6 submissions made from its audio.
std::string ctdbAnswer(const DiscAudio& a) {
    const size_t total = a.bytes.size() / 4;
    const size_t tail = 5880 + total % 5880;
    std::string trackCrcs;
    for (size_t i = 0; i + 1 < a.starts.size(); ++i) {
        size_t from = a.starts[i];
        size_t to = a.starts[i + 1];
        if (i == 0)
            from += 5880;
        if (i + 2 == a.starts.size())
            to -= tail;
        trackCrcs += (i ? " " : "") + hex8(plainCrc(a.bytes, from * 4, to * 4));
    }
    return "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n<?xml version=\"1.0\"?>\n"
           "<ctdb xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\">\n <entry confidence=\"6\" "
           "crc32=\"" +
           hex8(plainCrc(a.bytes, 5880 * 4, (total - tail) * 4)) +
           "\" id=\"2024\" npar=\"8\" stride=\"5880\" trackcrcs=\"" + trackCrcs +
           "\" />\n</ctdb>\n";
}

struct Lines {
    std::vector<nlohmann::json> tracks;
    nlohmann::json disc;
};

Lines parse(const RunResult& r) {
    Lines out;
    for (const std::string& line : r.lines()) {
        const auto item = nlohmann::json::parse(line);
        if (item.contains("disc"))
            out.disc = item;
        else
            out.tracks.push_back(item);
    }
    return out;
}

class CliVerifyTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The look-ups of the runs go to the loopback servers only.
        cldtest::ScopedEnv store("CLD_REGISTRY_DIR", (home / "registry").string());
        SettingsRecord settings;
        ASSERT_TRUE(settings.setAccurateRipLookup(true));
        ASSERT_TRUE(settings.setAccurateRipServer("http://127.0.0.1:" + std::to_string(ar.port()) +
                                                  "/ar/"));
        ASSERT_TRUE(settings.setCtdbServer("http://127.0.0.1:" + std::to_string(ctdb.port()) +
                                           "/lookup2.php"));
    }

    static vdrivekit::DiscSpec album() {
        vdrivekit::DiscSpec disc;
        disc.title = "Quiet Hours";
        disc.performer = "The Testers";
        disc.tracks = {{vdrivekit::Content::Music, 300, "Dawn", "", 0, 0},
                       {vdrivekit::Content::Ramp, 225, "Noon", "", 0, 0},
                       {vdrivekit::Content::Music, 150, "Dusk", "", 0, 0}};
        return disc;
    }

    // Rips the album to WAV with no look-up and no log: a cue sheet and its files.
    fs::path ripAlbum() {
        drives =
            std::make_unique<vdrivekit::VirtualDrives>(dir.path() / "discs", std::vector{album()});
        cli.setEnv("CLD_ASPI_LIBRARY", vdrivekit::pluginPath().string());
        cli.setEnv("CLD_VDRIVE_CONFIG", drives->configPath().string());
        const fs::path out = dir.path() / "rip";
        {
            cldtest::ScopedEnv store("CLD_REGISTRY_DIR", (home / "registry").string());
            SettingsRecord settings;
            EXPECT_TRUE(settings.setAccurateRipLookup(false));
        }
        const RunResult r = cli.run({"rip", "--format", "wav", "--out", out.string()});
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        {
            cldtest::ScopedEnv store("CLD_REGISTRY_DIR", (home / "registry").string());
            SettingsRecord settings;
            EXPECT_TRUE(settings.setAccurateRipLookup(true));
        }
        fs::remove(out / "The Testers - Quiet Hours.log");
        return out / "The Testers - Quiet Hours.cue";
    }

    cldtest::TempDir dir;
    fs::path home = dir.path() / "home";
    CliRunner cli{home};
    std::unique_ptr<vdrivekit::VirtualDrives> drives;
    cldtest::CddbTestServer ar;
    cldtest::CddbTestServer ctdb;
};

TEST_F(CliVerifyTest, ARipIsVerifiedFromItsCueSheetAloneAsWavAndAsFlac) {
    const fs::path cue = ripAlbum();
    const std::string answer = ctdbAnswer(discAudio(album()));
    ar.queueAnswer("HTTP/1.0 404 Not Found\r\n\r\n");
    ctdb.queueAnswer(answer);
    RunResult r = cli.run({"--json", "verify", cue.string()});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    Lines lines = parse(r);
    ASSERT_EQ(lines.tracks.size(), 3u) << r.out;
    for (const auto& t : lines.tracks) {
        EXPECT_EQ(t.at("status"), "done") << t;
        EXPECT_EQ(t.at("ctdb"), "accurate") << t;
        EXPECT_EQ(t.at("ctdb_confidence"), 6) << t;
    }
    EXPECT_EQ(lines.disc.at("verified"), "CTDB") << r.out;
    EXPECT_EQ(lines.disc.at("accuraterip"), "Disc not in the database");
    ASSERT_EQ(ctdb.requests().size(), 1u);
    EXPECT_NE(ctdb.requests()[0].find("toc=0:300:525:675 "), std::string::npos)
        << ctdb.requests()[0];

    // The same rip converted to FLAC, its cue sheet naming the new files.
    const fs::path flac = dir.path() / "flac";
    std::vector<std::string> args = {"convert", "--to", "flac", "--out", flac.string()};
    for (const char* t : {"Dawn", "Noon", "Dusk"})
        args.push_back((cue.parent_path() / ("The Testers - " + std::string(t) + ".wav")).string());
    r = cli.run(args);
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    std::ifstream in(cue);
    std::ostringstream text;
    text << in.rdbuf();
    std::string sheet = text.str();
    for (size_t at; (at = sheet.find(".wav\" WAVE")) != std::string::npos;)
        sheet.replace(at, 10, ".flac\" WAVE");
    std::ofstream(flac / "rip.cue") << sheet;
    ar.queueAnswer("HTTP/1.0 404 Not Found\r\n\r\n");
    ctdb.queueAnswer(answer);
    r = cli.run({"--json", "verify", flac.string()});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    lines = parse(r);
    ASSERT_EQ(lines.tracks.size(), 3u) << r.out;
    EXPECT_EQ(lines.tracks[1].at("input"), "The Testers - Noon.flac");
    EXPECT_EQ(lines.disc.at("verified"), "CTDB") << r.out;
}

TEST_F(CliVerifyTest, ADamagedSampleAMissingFileAndALossyFileFailTheirTracks) {
    const fs::path cue = ripAlbum();
    const std::string answer = ctdbAnswer(discAudio(album()));
    // One sample in the middle of the second track.
    const fs::path noon = cue.parent_path() / "The Testers - Noon.wav";
    {
        std::fstream f(noon, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(44 + 4 * 588 * 100);
        f.write("\x55\xAA", 2);
    }
    ar.queueAnswer("HTTP/1.0 404 Not Found\r\n\r\n");
    ctdb.queueAnswer(answer);
    RunResult r = cli.run({"--json", "verify", cue.string()});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    Lines lines = parse(r);
    ASSERT_EQ(lines.tracks.size(), 3u) << r.out;
    EXPECT_EQ(lines.tracks[0].at("status"), "done");
    EXPECT_EQ(lines.tracks[1].at("status"), "failed");
    EXPECT_EQ(lines.tracks[1].at("ctdb"), "differs");
    EXPECT_EQ(lines.tracks[2].at("status"), "done");
    EXPECT_EQ(lines.disc.at("verified"), "no");

    // The last file missing: that track fails by name.
    fs::remove(cue.parent_path() / "The Testers - Dusk.wav");
    r = cli.run({"--json", "verify", cue.string()});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    lines = parse(r);
    ASSERT_EQ(lines.tracks.size(), 3u) << r.out;
    EXPECT_EQ(lines.tracks[2].at("audio"), "missing");
    EXPECT_NE(r.err.find("The Testers - Dusk.wav is missing"), std::string::npos) << r.err;

    // A lossy file is refused as unverifiable, by its name.
    std::ifstream in(cue);
    std::ostringstream text;
    text << in.rdbuf();
    std::string sheet = text.str();
    sheet.replace(sheet.find("Dawn.wav"), 8, "Dawn.mp3");
    std::ofstream(cue.parent_path() / "The Testers - Dawn.mp3") << "ID3";
    std::ofstream(cue, std::ios::trunc) << sheet;
    r = cli.run({"--json", "verify", cue.string()});
    EXPECT_EQ(r.exitCode, 1);
    lines = parse(r);
    ASSERT_FALSE(lines.tracks.empty()) << r.out;
    EXPECT_EQ(lines.tracks[0].at("audio"), "not-lossless");
    EXPECT_NE(r.err.find("The Testers - Dawn.mp3 is a lossy file"), std::string::npos) << r.err;
}

TEST_F(CliVerifyTest, DiscImagesWithPregapsAreLaidOutAsTheDisc) {
    // Silence before the first track, and gaps held in the files before INDEX 01: one
    // image, and one file per track with each gap at the start of its track's file.
    vdrivekit::DiscSpec disc = album();
    disc.tracks[0].pregapSectors = 32;
    disc.tracks[1].indexZeroSectors = 40;
    disc.tracks[2].indexZeroSectors = 75;
    const DiscAudio audio = discAudio(disc);
    for (bool perTrack : {false, true}) {
        disc.filePerTrack = perTrack;
        const fs::path folder = dir.path() / (perTrack ? "tracks" : "image");
        fs::create_directories(folder);
        const fs::path cue = vdrivekit::writeImage(folder, "disc", disc);
        ar.queueAnswer("HTTP/1.0 404 Not Found\r\n\r\n");
        ctdb.queueAnswer(ctdbAnswer(audio));
        const RunResult r = cli.run({"--json", "verify", cue.string()});
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        const Lines lines = parse(r);
        ASSERT_EQ(lines.tracks.size(), 3u) << r.out;
        for (const auto& t : lines.tracks)
            EXPECT_EQ(t.at("ctdb"), "accurate") << t;
        EXPECT_EQ(lines.disc.at("verified"), "CTDB") << r.out;
        // Track 2 starts after track 1 and its own gap; track 3 after its gap.
        EXPECT_NE(ctdb.requests().back().find("toc=32:372:672:822 "), std::string::npos)
            << ctdb.requests().back();
    }
}

} // namespace
