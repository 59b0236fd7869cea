// Every encoder of the registry on a generated signal, checked by independent tools (the
// flac command, ffprobe), and what each one leaves on disk when a name is taken, a link
// is in the way, the job aborts or the disk fills.

#include "AudioEncoder.h"
#include "EngineFixtures.h"
#include "FileSizeLimit.h"
#include "FlacEncoder.h"
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
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"wav", ".wav"},   {"flac", ".flac"},  {"mp3", ".mp3"}, {"wma", ".wma"},
        {"opus", ".opus"}, {"vorbis", ".ogg"}, {"aac", ".m4a"}};
    EXPECT_EQ(names.size(), expected.size());
    for (const auto& [name, extension] : expected) {
        SCOPED_TRACE(name);
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end());
        auto encoder = EncoderRegistry::instance().make(name);
        ASSERT_TRUE(encoder);
        EXPECT_EQ(encoder->extension(), extension);
        // The description a settings box is built from agrees with the encoder, and each
        // setting's default is a value the encoder takes.
        const cld::engine::EncoderInfo* info = EncoderRegistry::instance().info(name);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->name, name);
        EXPECT_EQ(info->extension, extension);
        EXPECT_FALSE(info->displayName.empty());
        cldtest::TempDir dir;
        for (const cld::engine::EncoderSetting& setting : info->settings) {
            SCOPED_TRACE(setting.key);
            EXPECT_FALSE(setting.label.empty());
            if (setting.key == "profile")
                continue; // needs the profile folders
            auto withDefault =
                EncoderRegistry::instance().make(name, {{setting.key, setting.fallback}});
            const fs::path out = dir.file("default" + extension);
            EXPECT_TRUE(withDefault->open(out.string(), PcmFormat{}, {}, 0, true))
                << withDefault->error();
            withDefault->abort();
        }
    }
    EXPECT_FALSE(EncoderRegistry::instance().make("ogg"));
    EXPECT_FALSE(EncoderRegistry::instance().info("ogg"));
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

TEST(FlacEncoder, CommentsLeaveOutWhatIsNotKnown) {
    using cld::engine::FlacEncoder;
    AudioTags tags;
    EXPECT_TRUE(FlacEncoder::comments(tags).empty());
    tags.title = "Тишина";
    tags.artist = "Björk";
    tags.album = "Live";
    tags.year = "1997";
    tags.genre = "Rock";
    tags.track = 3;
    tags.trackTotal = 12;
    tags.discId = "0A0B0C03";
    tags.comment = "not a FLAC comment of ours";
    EXPECT_EQ(FlacEncoder::comments(tags),
              (std::vector<std::string>{"TITLE=Тишина", "ARTIST=Björk", "ALBUM=Live", "DATE=1997",
                                        "GENRE=Rock", "TRACKNUMBER=3", "TRACKTOTAL=12",
                                        "DISCID=0A0B0C03"}));
    tags = AudioTags{};
    tags.title = "Only";
    tags.track = 1;
    EXPECT_EQ(FlacEncoder::comments(tags),
              (std::vector<std::string>{"TITLE=Only", "TRACKNUMBER=1"}));
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

// The decoded sample frames of a file, by ffmpeg (which trims what the MP3 header frame
// says the encoder added); -1 when it cannot decode it.
long long decodedFrames(const fs::path& file, int channels) {
    int status = -1;
    const std::string pcm = enginetest::run(
        "ffmpeg -v error -i " + quoted(file) + " -f s16le -acodec pcm_s16le -", status);
    return status == 0 ? static_cast<long long>(pcm.size()) / (2 * channels) : -1;
}

TEST(Mp3Encoder, PlaysForTheInputsLengthWithItsTags) {
    if (!cldtest::haveTool("ffprobe") || !cldtest::haveTool("ffmpeg"))
        GTEST_SKIP() << "ffprobe and ffmpeg are needed";
    cldtest::TempDir dir;
    const std::size_t frames = 44100 * 3 + 17;
    const auto pcm = enginetest::tone(frames);
    const fs::path out = dir.file("tone.mp3");
    auto encoder = EncoderRegistry::instance().make("mp3", {{"bitrate", "192"}, {"quality", "5"}});
    ASSERT_TRUE(encoder->open(out.string(), PcmFormat{}, sampleTags(), frames, false))
        << encoder->error();
    ASSERT_TRUE(feed(*encoder, pcm));
    ASSERT_TRUE(encoder->finish()) << encoder->error();
    EXPECT_EQ(enginetest::probe(out, "stream=codec_name"), "mp3");
    EXPECT_EQ(enginetest::probe(out, "stream=bit_rate"), "192000");
    EXPECT_EQ(enginetest::probe(out, "format_tags=title"), "Überall Zeit");
    EXPECT_EQ(enginetest::probe(out, "format_tags=artist"), "Die Gruppe");
    EXPECT_EQ(enginetest::probe(out, "format_tags=album"), "Platte");
    EXPECT_EQ(enginetest::probe(out, "format_tags=track"), "3/12");
    // The header frame's delay and padding make the decoded audio exactly as long.
    EXPECT_EQ(decodedFrames(out, 2), static_cast<long long>(frames));
    // The ID3 version 1 tag at the end.
    int status = -1;
    const std::string tail = enginetest::run("tail -c 128 " + quoted(out), status);
    ASSERT_EQ(tail.size(), 128u);
    EXPECT_EQ(tail.substr(0, 3), "TAG");
    EXPECT_EQ(tail.substr(3, 4), std::string("\xDC") + "ber"); // Latin-1
    EXPECT_EQ(static_cast<unsigned char>(tail[127]), 17u);

    // Settings the encoder does not have are refused before anything is written.
    for (const EncoderOptions& bad :
         {EncoderOptions{{"bitrate", "1000"}}, EncoderOptions{{"vbr", "x"}},
          EncoderOptions{{"mode", "7"}}}) {
        auto refused = EncoderRegistry::instance().make("mp3", bad);
        EXPECT_FALSE(refused->open(dir.file("bad.mp3").string(), PcmFormat{}, {}, 0, false));
        EXPECT_EQ(refused->fault(), EncoderFault::Settings);
    }
    auto mono8 = EncoderRegistry::instance().make("mp3");
    EXPECT_FALSE(mono8->open(dir.file("bad.mp3").string(), PcmFormat{44100, 6, 16}, {}, 0, false));
    EXPECT_EQ(mono8->fault(), EncoderFault::Settings);
    EXPECT_FALSE(fs::exists(dir.file("bad.mp3")));
}

TEST(WmaEncoder, PlaysForTheInputsLengthWithItsTagsAtABitrateOrAProfile) {
    if (!cldtest::haveTool("ffprobe") || !cldtest::haveTool("ffmpeg"))
        GTEST_SKIP() << "ffprobe and ffmpeg are needed";
    cldtest::TempDir dir;
    const std::size_t frames = 44100 * 3 + 17;
    const auto pcm = enginetest::tone(frames);
    struct Case {
        const char* name;
        EncoderOptions options;
        const char* bitrate;
    };
    const std::string profiles = (cldtest::sourceDir() / "codec" / "profiles").string();
    for (const Case& c :
         {Case{"rate.wma", {{"bitrate", "96"}}, "96000"},
          // The shipped profiles, audio ones first from the lowest bitrate: the second is
          // 48 Kbps stereo.
          Case{"profile.wma", {{"profile", "1"}, {"profilefolder", profiles}}, "48000"}}) {
        SCOPED_TRACE(c.name);
        const fs::path out = dir.file(c.name);
        auto encoder = EncoderRegistry::instance().make("wma", c.options);
        ASSERT_TRUE(encoder->open(out.string(), PcmFormat{}, sampleTags(), frames, false))
            << encoder->error();
        ASSERT_TRUE(feed(*encoder, pcm));
        ASSERT_TRUE(encoder->finish()) << encoder->error();
        EXPECT_EQ(enginetest::probe(out, "stream=codec_name"), "wmav2");
        EXPECT_EQ(enginetest::probe(out, "stream=bit_rate"), c.bitrate);
        EXPECT_EQ(enginetest::probe(out, "format_tags=title"), "Überall Zeit");
        EXPECT_EQ(enginetest::probe(out, "format_tags=artist"), "Die Gruppe");
        EXPECT_EQ(enginetest::probe(out, "format_tags=album"), "Platte");
        // Decoded from its first sample on, padded to whole codec frames at most (at the
        // profile's rate, which may differ from the input's).
        const long long rate = std::stoll("0" + enginetest::probe(out, "stream=sample_rate"));
        const long long expected = static_cast<long long>(frames) * rate / 44100;
        const long long decoded = decodedFrames(out, 2);
        EXPECT_GE(decoded, expected - 16);
        EXPECT_LE(decoded, expected + 2048);
    }
    // A profile that is not there, one with pictures, and a bitrate out of range.
    for (const EncoderOptions& bad :
         {EncoderOptions{{"profile", "99"}, {"profilefolder", profiles}},
          EncoderOptions{{"profile", "9"}, {"profilefolder", profiles}},
          EncoderOptions{{"bitrate", "2"}}}) {
        auto refused = EncoderRegistry::instance().make("wma", bad);
        EXPECT_FALSE(refused->open(dir.file("bad.wma").string(), PcmFormat{}, {}, 0, false));
        EXPECT_EQ(refused->fault(), EncoderFault::Settings) << refused->error();
    }
    EXPECT_FALSE(fs::exists(dir.file("bad.wma")));
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
