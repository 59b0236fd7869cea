#include "Id3v1Tag.h"
#include "MediaFixtures.h"
#include "Mp3AlbumGain.h"
#include "Mp3DecodeJob.h"
#include "Mp3EncodeJob.h"
#include "Mp3Tags.h"
#include "TempDir.h"
#include "TestEnv.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <tuple>

using namespace codectest;
namespace fs = std::filesystem;

namespace {

// Titles in three scripts, as UTF-8.
const std::string kCyrillic = "\xd0\x9f\xd0\xb5\xd1\x81\xd0\xbd\xd1\x8f \xd0\xbe "
                              "\xd0\x9c\xd0\xbe\xd1\x81\xd0\xba\xd0\xb2\xd0\xb5"; // Песня о Москве
const std::string kCjk = "\xe5\xa4\x9c\xe3\x81\xab\xe9\xa7\x86\xe3\x81\x91\xe3\x82\x8b"
                         "\xe3\x81\xae";                                     // 夜に駆けるの
const std::string kAccented = "Caf\xc3\xa9 Cr\xc3\xa8me Br\xc3\xbbl\xc3\xa9" // Café Crème Brûlé
                              "e \xc3\x85ngstr\xc3\xb6m \xc3\x91o\xc3\xb1o"; // e Ångström Ñoño

Mp3EncoderParams mp3Params(int kbps, int vbrMethod = 0) {
    Mp3EncoderParams p;
    p.bitrate = kbps;
    p.channelMode = 1;
    p.quality = 5;
    p.vbrMethod = vbrMethod;
    p.vbrQuality = 4;
    p.vbrMaxBitrate = 256;
    p.abrMeanBitrate = 160;
    return p;
}

// ffprobe's tags of the file, keys in lower case as ffprobe gives them.
std::map<std::string, std::string> probedTags(const fs::path& file) {
    std::map<std::string, std::string> tags;
    for (const auto& [key, value] : probe(file)) {
        if (key.rfind("tag.", 0) == 0)
            tags[key.substr(4)] = value;
    }
    return tags;
}

// The bytes an ID3 version 1 tag of these names is, written the way the CD jobs always
// wrote it: onto an empty file with the tag writer itself.
std::vector<uint8_t> id3v1Block(const cldtest::TempDir& dir, const AudioTags& t) {
    const fs::path empty = dir.file("v1-reference.bin");
    writeFile(empty, {});
    Id3v1Tag tag;
    tag.title = t.title;
    tag.artist = t.artist;
    tag.album = t.album;
    tag.year = t.year;
    tag.genre = t.genreNumber;
    tag.track = 0;
    EXPECT_EQ(tag.Write(empty.string()), 1);
    return readFile(empty);
}

std::vector<uint8_t> tail(const std::vector<uint8_t>& b, size_t n) {
    return {b.end() - static_cast<long>(std::min(n, b.size())), b.end()};
}

} // namespace

// Titles in Cyrillic, CJK and accented Latin come back exactly from a reader of our own
// choosing; the ID3 version 1 block at the end is the one the jobs always wrote, and our
// decoder still gives the untagged stream's samples.
TEST(Mp3Tags, Utf8TitlesReadBackExactlyBesideTheUnchangedId3v1Tag) {
    cldtest::TempDir dir;
    const fs::path wav = dir.file("in.wav");
    writeWav(wav, makeSignal(2 * 44100, 44100, 2), 44100, 2);
    ASSERT_EQ(shell("ffmpeg -v error -y -f lavfi -i testsrc2=size=200x200 -frames:v 1 " +
                    quote(dir.file("cover.jpg"))),
              0);
    const auto cover = readFile(dir.file("cover.jpg"));
    ASSERT_FALSE(cover.empty());
    ASSERT_EQ(encodeMp3WithJob(wav, dir.file("plain.mp3"), mp3Params(128)), 0);
    const Pcm plain = decodeMp3WithJob(dir.file("plain.mp3"), dir.file("plain.wav"));
    ASSERT_EQ(plain.samples.size(), 2u * 2 * 44100) << "the untagged file decodes exactly";

    struct Case {
        const char* name;
        std::string title;
        std::string artist;
        std::string album;
    };
    const std::vector<Case> cases = {{"cyrillic", kCyrillic, kAccented, kCjk},
                                     {"cjk", kCjk, kCyrillic, kAccented},
                                     {"accented", kAccented, kCjk, kCyrillic}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AudioTags tags;
        tags.title = c.title;
        tags.artist = c.artist;
        tags.album = c.album;
        tags.year = "1987";
        tags.genre = "Classic Rock";
        tags.genreNumber = 1;
        tags.track = 7;
        tags.trackTotal = 12;
        tags.discId = "6E0B7F08";
        tags.cover = cover;
        const fs::path mp3 = dir.file(std::string(c.name) + ".mp3");
        ASSERT_EQ(encodeMp3WithJob(wav, mp3, mp3Params(128), &tags), 0);
        EXPECT_FALSE(fs::exists(mp3.string() + ".part"));

        const auto bytes = readFile(mp3);
        ASSERT_GT(bytes.size(), 10u);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 3), "ID3");
        EXPECT_EQ(bytes[3], 4) << "ID3 version 2.4";
        auto t = probedTags(mp3);
        EXPECT_EQ(t["title"], c.title);
        EXPECT_EQ(t["artist"], c.artist);
        EXPECT_EQ(t["album"], c.album);
        EXPECT_EQ(t["date"], "1987");
        EXPECT_EQ(t["genre"], "Classic Rock");
        EXPECT_EQ(t["track"], "7/12");
        EXPECT_EQ(t["CDDB DiscID"], "6E0B7F08");
        // The cover is the picture stream, byte for byte.
        EXPECT_EQ(probe(mp3, "v")["stream.codec_name"], "mjpeg");
        const fs::path back = dir.file(std::string(c.name) + "-cover.jpg");
        ASSERT_EQ(shell("ffmpeg -v error -y -i " + quote(mp3) + " -an -c:v copy -f image2 " +
                        quote(back)),
                  0);
        EXPECT_TRUE(readFile(back) == cover);

        // The version 1 block: Latin-1, letters it lacks as "?", genre by number, no
        // track, exactly as written before.
        EXPECT_TRUE(tail(bytes, 128) == id3v1Block(dir, tags));
        Id3v1Tag v1;
        ASSERT_TRUE(v1.Load(mp3.string()));
        EXPECT_EQ(v1.genre, 1);
        EXPECT_EQ(v1.track, 0);
        if (c.title == kAccented)
            EXPECT_EQ(v1.title, "Caf\xc3\xa9 Cr\xc3\xa8me Br\xc3\xbbl\xc3\xa9"
                                "e \xc3\x85ngstr\xc3\xb6m \xc3\x91o\xc3\xb1"); // 30 letters
        else
            EXPECT_EQ(v1.title.find_first_not_of("? "), std::string::npos) << v1.title;

        // Our decoder skips both tags and trims the stream to the input's length.
        const Pcm ours = decodeMp3WithJob(mp3, dir.file(std::string(c.name) + ".wav"));
        EXPECT_TRUE(ours.samples == plain.samples);
    }
    // The tool most people have at hand reads the version 2 tag too.
    if (cldtest::haveTool("id3v2")) {
        std::string out;
        shell("id3v2 -l " + quote(dir.file("accented.mp3")), &out);
        EXPECT_NE(out.find("1987"), std::string::npos) << out;
    }
}

// With the option off the file has no version 2 tag at all, only the version 1 block;
// without tags it has neither, as a folder of WAV files always gave.
TEST(Mp3Tags, OptionOffGivesOnlyId3v1AndNoTagsGiveNone) {
    cldtest::TempDir dir;
    const fs::path wav = dir.file("in.wav");
    writeWav(wav, makeSignal(44100, 44100, 2), 44100, 2);
    AudioTags tags;
    tags.title = kCyrillic;
    tags.artist = "Band";
    tags.album = kAccented;
    tags.year = "2001";
    tags.genre = "Rock";
    tags.genreNumber = 17;
    tags.track = 2;
    tags.trackTotal = 9;
    ASSERT_EQ(encodeMp3WithJob(wav, dir.file("off.mp3"), mp3Params(128), &tags, false), 0);
    ASSERT_EQ(encodeMp3WithJob(wav, dir.file("none.mp3"), mp3Params(128)), 0);
    const auto off = readFile(dir.file("off.mp3"));
    const auto none = readFile(dir.file("none.mp3"));
    ASSERT_GT(off.size(), 128u);
    EXPECT_EQ(off[0], 0xFF) << "the stream starts at once";
    EXPECT_EQ(none[0], 0xFF);
    EXPECT_TRUE(tail(off, 128) == id3v1Block(dir, tags));
    EXPECT_EQ(off.size(), none.size() + 128);
    EXPECT_TRUE(std::equal(none.begin(), none.end(), off.begin())) << "same audio";
    auto t = probedTags(dir.file("off.mp3"));
    EXPECT_EQ(t["artist"], "Band");
    EXPECT_EQ(t["genre"], "Rock") << "from the version 1 genre number";
    EXPECT_TRUE(probedTags(dir.file("none.mp3")).empty());
    EXPECT_NE(std::string(none.end() - 128, none.end()).substr(0, 3), "TAG");
}

// Tagging again replaces both tags instead of adding more; names that are not UTF-8 (the
// bytes of an old Latin-1 entry) are written as the letters they stand for, and bytes
// that are no known picture are left out.
TEST(Mp3Tags, RetaggingReplacesAndForeignBytesAreMadeSafe) {
    cldtest::TempDir dir;
    const fs::path wav = dir.file("in.wav");
    writeWav(wav, makeSignal(44100, 44100, 1), 44100, 1);
    const fs::path mp3 = dir.file("x.mp3");
    AudioTags first;
    first.title = "First";
    first.cover = {'G', 'I', 'F', '8', '9', 'a', 0, 0};
    ASSERT_EQ(encodeMp3WithJob(wav, mp3, mp3Params(64), &first), 0);
    EXPECT_EQ(probe(mp3, "v").count("stream.codec_name"), 0u) << "no picture for unknown bytes";
    const auto size = fs::file_size(mp3);

    AudioTags second;
    second.title = "Caf\xe9 \xff\xfe"; // Latin-1 bytes, not UTF-8
    second.artist = "\xc0\xaf overlong and \xed\xa0\x80 surrogate";
    ASSERT_EQ(cld::writeMp3Tags(mp3.string(), second, true), 0u);
    auto t = probedTags(mp3);
    EXPECT_EQ(t["title"], "Caf\xc3\xa9 \xc3\xbf\xc3\xbe");
    EXPECT_EQ(t["artist"], "\xc3\x80\xc2\xaf overlong and \xc3\xad\xc2\xa0\xc2\x80 surrogate");
    const auto bytes = readFile(mp3);
    size_t tagHeaders = 0;
    for (size_t i = 0; i + 3 <= bytes.size(); ++i)
        tagHeaders += std::memcmp(&bytes[i], "TAG", 3) == 0 && i + 128 == bytes.size();
    EXPECT_EQ(tagHeaders, 1u);
    EXPECT_LE(fs::file_size(mp3), size + 4096) << "one tag at each end, not two";
    Id3v1Tag v1;
    ASSERT_TRUE(v1.Load(mp3.string()));
    EXPECT_EQ(v1.title, "Caf\xc3\xa9 \xc3\xbf\xc3\xbe");

    EXPECT_EQ(cld::wellFormedUtf8("plain \xe2\x82\xac \xf0\x9f\x8e\xb5"),
              "plain \xe2\x82\xac \xf0\x9f\x8e\xb5");
    EXPECT_EQ(cld::wellFormedUtf8("\xe2\x82"), "\xc3\xa2\xc2\x82") << "cut sequence";
    EXPECT_EQ(cld::wellFormedUtf8("\xf4\x90\x80\x80"), "\xc3\xb4\xc2\x90\xc2\x80\xc2\x80")
        << "beyond U+10FFFF";
    EXPECT_EQ(cld::pictureMimeType({0xFF, 0xD8, 0xFF, 0xE0}), "image/jpeg");
    EXPECT_EQ(cld::pictureMimeType({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}), "image/png");
    EXPECT_EQ(cld::pictureMimeType({0xFF, 0xD8}), "");

    // A file that is not there is not made.
    EXPECT_NE(cld::writeMp3Tags(dir.file("missing.mp3").string(), second, true), 0u);
    EXPECT_FALSE(fs::exists(dir.file("missing.mp3")));
}

namespace {

// A WAV file of a 997 Hz sine at `amplitude` (of full scale) on both channels, with the
// given number of seconds and its sample peak as the file holds it.
double writeSine(const fs::path& wav, double amplitude, int seconds) {
    const int rate = 44100;
    std::vector<int16_t> s(static_cast<size_t>(rate) * static_cast<size_t>(seconds) * 2);
    int peak = 0;
    for (size_t i = 0; i < s.size() / 2; ++i) {
        const double v =
            amplitude * std::sin(2 * 3.14159265358979 * 997.0 * static_cast<double>(i) / rate);
        s[2 * i] = s[2 * i + 1] = static_cast<int16_t>(std::lround(v * 32767.0));
        peak = std::max(peak, std::abs(static_cast<int>(s[2 * i])));
    }
    writeWav(wav, s, rate, 2);
    return peak / 32768.0;
}

// ffmpeg's own measure of the integrated loudness (LUFS) of one or more files taken
// together.
double ffmpegLoudness(const std::vector<fs::path>& files) {
    std::string inputs;
    for (const auto& f : files)
        inputs += " -i " + quote(f);
    std::string filter = files.size() == 1
                             ? "ebur128"
                             : "concat=n=" + std::to_string(files.size()) + ":v=0:a=1,ebur128";
    std::string out;
    shell("ffmpeg -nostats -hide_banner" + inputs + " -filter_complex " + filter +
              " -f null - 2>&1",
          &out);
    const size_t summary = out.rfind("Integrated loudness:");
    const size_t at = out.find("I:", summary);
    EXPECT_NE(at, std::string::npos) << out;
    return at == std::string::npos ? 0 : std::stod(out.substr(at + 2));
}

double number(const std::string& text) {
    return text.empty() ? -1000 : std::stod(text);
}

} // namespace

// With loudness on, a file's UTF-8 tag holds its ReplayGain values: the gain that brings
// it to -18 LUFS by an outside measure, and its sample peak. Files of one album then get
// the album's values, the loudness of all taken together. A file without names gets the
// values and no version 1 tag.
TEST(Mp3Tags, ReplayGainValuesMatchAnOutsideLoudnessMeasure) {
    cldtest::TempDir dir;
    const fs::path loudWav = dir.file("loud.wav");
    const fs::path quietWav = dir.file("quiet.wav");
    const double loudPeak = writeSine(loudWav, 0.7, 6);
    const double quietPeak = writeSine(quietWav, 0.1, 9);
    Mp3AlbumGain album;
    std::map<std::string, double> trackGain;
    for (const auto& [name, wav, peak] :
         {std::tuple{"loud", loudWav, loudPeak}, std::tuple{"quiet", quietWav, quietPeak}}) {
        SCOPED_TRACE(name);
        const fs::path mp3 = dir.file(std::string(name) + ".mp3");
        Mp3EncodeJob job;
        job.SetParams(mp3Params(192));
        job.SetReplayGain(true);
        job.SetInput(wav.string());
        job.SetOutput(mp3.string());
        ASSERT_TRUE(job.Start());
        ASSERT_TRUE(waitWhile([&] { return job.IsRunning(); }));
        ASSERT_EQ(job.GetErrorCode(), 0);
        auto t = probedTags(mp3);
        const double expected = -18.0 - ffmpegLoudness({wav});
        EXPECT_NEAR(number(t["REPLAYGAIN_TRACK_GAIN"]), expected, 0.1)
            << t["REPLAYGAIN_TRACK_GAIN"];
        EXPECT_NE(t["REPLAYGAIN_TRACK_GAIN"].find(" dB"), std::string::npos);
        EXPECT_NEAR(number(t["REPLAYGAIN_TRACK_PEAK"]), peak, 1e-5);
        trackGain[name] = number(t["REPLAYGAIN_TRACK_GAIN"]);
        const auto bytes = readFile(mp3);
        EXPECT_NE(std::string(bytes.end() - 128, bytes.end()).substr(0, 3), "TAG");
        album.add(mp3.string(), job.TakeLoudness());
    }
    EXPECT_GT(trackGain["quiet"], trackGain["loud"] + 10);
    EXPECT_TRUE(album.write().empty());
    const double albumGain = -18.0 - ffmpegLoudness({loudWav, quietWav});
    for (const char* name : {"loud", "quiet"}) {
        SCOPED_TRACE(name);
        const fs::path mp3 = dir.file(std::string(name) + ".mp3");
        auto t = probedTags(mp3);
        EXPECT_NEAR(number(t["REPLAYGAIN_ALBUM_GAIN"]), albumGain, 0.1);
        EXPECT_NEAR(number(t["REPLAYGAIN_ALBUM_PEAK"]), loudPeak, 1e-5);
        EXPECT_NEAR(number(t["REPLAYGAIN_TRACK_GAIN"]), trackGain[name], 0.001) << "kept";
        EXPECT_FALSE(fs::exists(mp3.string() + ".part"));
        EXPECT_EQ(probe(mp3)["stream.codec_name"], "mp3");
    }
}
