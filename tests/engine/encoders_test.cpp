// Every encoder of the registry on a generated signal, checked by independent tools (the
// flac command, ffprobe), and what each one leaves on disk when a name is taken, a link
// is in the way, the job aborts or the disk fills.

#include "AudioEncoder.h"
#include "EngineFixtures.h"
#include "FileSizeLimit.h"
#include "TempDir.h"
#include "TestEnv.h"
#include "WmErrors.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using cld::engine::AudioEncoder;
using cld::engine::EncoderFault;
using cld::engine::EncoderOptions;
using cld::engine::EncoderRegistry;
using cld::engine::PcmFormat;
using enginetest::namesIn;
using enginetest::quoted;

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& path) {
    int status = 0;
    return enginetest::run("cat " + quoted(path), status);
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Feeds `pcm` in pieces of changing size, some of them cutting sample frames.
bool feed(AudioEncoder& encoder, const std::vector<std::uint8_t>& pcm) {
    std::size_t at = 0;
    for (std::size_t piece = 1; at < pcm.size(); piece = piece % 17 + 1) {
        const std::size_t n = std::min(piece * 1031 + piece % 3, pcm.size() - at);
        if (!encoder.write(pcm.data() + at, n))
            return false;
        at += n;
    }
    return true;
}

AudioTags sampleTags() {
    AudioTags t;
    t.title = "Überall Zeit";
    t.artist = "Die Gruppe";
    t.album = "Platte";
    t.albumArtist = "Verschiedene";
    t.year = "1999";
    t.genre = "Rock";
    t.genreNumber = 17;
    t.track = 3;
    t.trackTotal = 12;
    t.discId = "a10b2c0d";
    return t;
}

} // namespace

TEST(EncoderRegistry, MakesEachEncoderByNameAndNothingForAnUnknownName) {
    const std::vector<std::string> names = EncoderRegistry::instance().names();
    for (const char* name : {"wav", "flac"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end());
        auto encoder = EncoderRegistry::instance().make(name);
        ASSERT_TRUE(encoder);
        EXPECT_EQ(encoder->extension(), std::string(".") + name);
    }
    EXPECT_FALSE(EncoderRegistry::instance().make("ogg"));
}

TEST(WavEncoder, WritesTheAudioBehindAHeaderOfItsFormat) {
    cldtest::TempDir dir;
    const auto pcm = enginetest::tone(48000 + 7, 1, 48000);
    const fs::path out = dir.file("mono.wav");
    auto encoder = EncoderRegistry::instance().make("wav");
    ASSERT_TRUE(encoder->open(out.string(), PcmFormat{48000, 1, 16}, sampleTags(), 0, false))
        << encoder->error();
    ASSERT_TRUE(feed(*encoder, pcm));
    EXPECT_FALSE(fs::exists(out)); // a file takes its name only when complete
    ASSERT_TRUE(encoder->finish()) << encoder->error();
    const std::string bytes = readAll(out);
    ASSERT_EQ(bytes.size(), 44 + pcm.size());
    EXPECT_TRUE(bytes.compare(44, std::string::npos, std::string(pcm.begin(), pcm.end())) == 0);
    if (cldtest::haveTool("ffprobe")) {
        EXPECT_EQ(enginetest::probe(out, "stream=sample_rate"), "48000");
        EXPECT_EQ(enginetest::probe(out, "stream=channels"), "1");
        EXPECT_EQ(enginetest::probe(out, "stream=codec_name"), "pcm_s16le");
    }
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"mono.wav"});
}

TEST(FlacEncoder, DecodesToTheSameAudioAndCarriesTheTags) {
    if (!cldtest::haveTool("flac") || !cldtest::haveTool("metaflac"))
        GTEST_SKIP() << "the flac and metaflac commands are needed";
    cldtest::TempDir dir;
    const auto pcm = enginetest::tone(44100 * 2 + 13);
    for (const char* level : {"0", "8"}) {
        SCOPED_TRACE(level);
        const fs::path out = dir.file(std::string("level") + level + ".flac");
        auto encoder = EncoderRegistry::instance().make("flac", {{"level", level}});
        ASSERT_TRUE(encoder->open(out.string(), PcmFormat{}, sampleTags(), pcm.size() / 4, false))
            << encoder->error();
        ASSERT_TRUE(feed(*encoder, pcm));
        ASSERT_TRUE(encoder->finish()) << encoder->error();
        int status = -1;
        enginetest::run("flac -t -s " + quoted(out) + " 2>&1", status);
        EXPECT_EQ(status, 0);
        const std::string decoded = enginetest::run(
            "flac -d -c -s --force-raw-format --endian=little --sign=signed " + quoted(out),
            status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(decoded.size(), pcm.size());
        EXPECT_TRUE(decoded == std::string(pcm.begin(), pcm.end()));
        const std::string tags =
            enginetest::run("metaflac --export-tags-to=- " + quoted(out), status);
        EXPECT_EQ(tags, "TITLE=Überall Zeit\nARTIST=Die Gruppe\nALBUM=Platte\n"
                        "ALBUMARTIST=Verschiedene\nDATE=1999\nGENRE=Rock\nTRACKNUMBER=3\n"
                        "TRACKTOTAL=12\nDISCID=a10b2c0d\n");
    }
    // A level FLAC does not have is refused before anything is written.
    for (const char* level : {"9", "-1", "fast", ""}) {
        SCOPED_TRACE(level);
        auto encoder = EncoderRegistry::instance().make("flac", {{"level", level}});
        EXPECT_FALSE(encoder->open(dir.file("bad.flac").string(), PcmFormat{}, {}, 0, false));
        EXPECT_EQ(encoder->fault(), EncoderFault::Settings);
        EXPECT_NE(encoder->error().find("level"), std::string::npos) << encoder->error();
    }
    EXPECT_FALSE(fs::exists(dir.file("bad.flac")));
}

// What every encoder of the registry does with the place of its output.
class EveryEncoder : public testing::TestWithParam<std::string> {};

TEST_P(EveryEncoder, TakenNamesLinksAbortAndAFullDiskLeaveEverythingAsItWas) {
    const std::string name = GetParam();
    cldtest::TempDir dir;
    const auto pcm = enginetest::tone(44100);
    auto make = [&] { return EncoderRegistry::instance().make(name); };
    const std::string ext = make()->extension();
    const fs::path taken = dir.file("taken" + ext);
    writeText(taken, "keep");

    // A taken name is never replaced unless allowed.
    {
        auto encoder = make();
        EXPECT_FALSE(encoder->open(taken.string(), PcmFormat{}, sampleTags(), 0, false));
        EXPECT_TRUE(encoder->nameTaken());
        EXPECT_EQ(encoder->fault(), EncoderFault::Output);
        EXPECT_FALSE(encoder->error().empty());
        EXPECT_EQ(readAll(taken), "keep");
    }
    {
        auto encoder = make();
        ASSERT_TRUE(encoder->open(taken.string(), PcmFormat{}, sampleTags(), 0, true))
            << encoder->error();
        ASSERT_TRUE(feed(*encoder, pcm)) << encoder->error();
        ASSERT_TRUE(encoder->finish()) << encoder->error();
        EXPECT_GT(fs::file_size(taken), 1000u);
    }
    // A symbolic link at the name is refused, also where replacing is allowed; neither the
    // link nor what it points to changes.
    const fs::path target = dir.file("target.txt");
    writeText(target, "target");
    const fs::path link = dir.file("link" + ext);
    fs::create_symlink(target, link);
    {
        auto encoder = make();
        EXPECT_FALSE(encoder->open(link.string(), PcmFormat{}, {}, 0, true));
        EXPECT_EQ(encoder->fault(), EncoderFault::Output);
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(readAll(target), "target");
    }
    const std::vector<std::string> before = namesIn(dir.path());
    // Abort, and an encoder dropped before finish, leave nothing.
    {
        auto encoder = make();
        ASSERT_TRUE(encoder->open(dir.file("aborted" + ext).string(), PcmFormat{}, {}, 0, false));
        ASSERT_TRUE(feed(*encoder, pcm));
        encoder->abort();
        EXPECT_FALSE(encoder->finish());
    }
    {
        auto encoder = make();
        ASSERT_TRUE(encoder->open(dir.file("dropped" + ext).string(), PcmFormat{}, {}, 0, false));
        ASSERT_TRUE(feed(*encoder, pcm));
    }
    EXPECT_EQ(namesIn(dir.path()), before);
    // A write that fails part of the way (as on a full disk) fails the file with the
    // system's reason and leaves nothing under the name.
    {
        auto encoder = make();
        ASSERT_TRUE(encoder->open(dir.file("full" + ext).string(), PcmFormat{}, {}, 0, false));
        const auto longer = enginetest::tone(44100 * 20);
        bool ok = true;
        {
            cldtest::ScopedFileSizeLimit limit(64 * 1024);
            ok = feed(*encoder, longer) && encoder->finish();
        }
        EXPECT_FALSE(ok);
        EXPECT_EQ(encoder->fault(), EncoderFault::Write) << encoder->error();
        EXPECT_EQ(encoder->errorDetail(), cld::wmerr::fromErrno(EFBIG)) << encoder->error();
        EXPECT_FALSE(encoder->finish());
    }
    EXPECT_EQ(namesIn(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(Encoders, EveryEncoder,
                         testing::ValuesIn(EncoderRegistry::instance().names()),
                         [](const testing::TestParamInfo<std::string>& p) { return p.param; });
