// Compressed audio files as inputs of the MP3 and WMA encoding jobs: each format made by
// the real tools from a known signal, decoded, encoded and compared; their tags carried
// over; damaged and mislabelled files refused without leaving an output behind.

#include "AudioFileReader.h"
#include "AudioInputCheck.h"
#include "Exception.h"
#include "MediaFixtures.h"
#include "Mp3EncodeJob.h"
#include "TempDir.h"
#include "TestEnv.h"
#include "WMException.h"
#include "WmEncoderControl.h"
#include "WmErrors.h"
#include "WmaEncodeJob.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>

using namespace codectest;
namespace fs = std::filesystem;

namespace {

const std::string kProfiles = CLD_PROFILE_SOURCE_DIR;

// The tags every generated input carries, as ffmpeg's option list.
const std::string kTagOptions = " -metadata title='Ünïcode Title' -metadata artist='The Artist'"
                                " -metadata album='The Album' -metadata date=1999"
                                " -metadata genre=Jazz -metadata track=3/12 ";

struct Format {
    const char* name;  // file extension without the dot
    const char* codec; // ffmpeg's encoder options
    int rate;          // Opus works at 48 kHz only
    bool lossless;
};

const Format kFormats[] = {
    {"flac", "-c:a flac", 44100, true},
    {"ogg", "-c:a libvorbis -q:a 6", 44100, false},
    {"opus", "-c:a libopus -b:a 160k", 48000, false},
    {"m4a", "-c:a aac -b:a 192k", 44100, false},
    {"mp3", "-c:a libmp3lame -b:a 192k", 44100, false},
};

// Makes `name`.`ext` in `dir` from a WAV of `seconds` of the test signal; returns its path.
fs::path makeInput(const cldtest::TempDir& dir, const Format& f, double seconds,
                   std::vector<int16_t>* source = nullptr, const std::string& stem = "in") {
    const int frames = static_cast<int>(seconds * f.rate);
    std::vector<int16_t> signal = makeSignal(frames, f.rate, 2);
    const fs::path wav = dir.file(stem + "-" + f.name + "-source.wav");
    writeWav(wav, signal, f.rate, 2);
    const fs::path out = dir.file(stem + "." + f.name);
    EXPECT_EQ(
        shell("ffmpeg -v error -y -i " + quote(wav) + " " + f.codec + kTagOptions + quote(out)), 0)
        << f.name;
    fs::remove(wav);
    if (source)
        *source = std::move(signal);
    return out;
}

bool waitIdle(const CodecJob& job) {
    return waitWhile([&] { return job.IsRunning(); });
}

// Runs the MP3 job to its end; returns its error code (-1 when it did not start).
int encodeMp3(Mp3EncodeJob& job, const fs::path& in, const fs::path& out) {
    job.SetInput(in.string());
    job.SetOutput(out.string());
    Mp3EncoderParams params;
    params.bitrate = 192;
    job.SetParams(params);
    if (!job.Start())
        return -1;
    EXPECT_TRUE(waitIdle(job));
    return job.GetErrorCode();
}

// Every name in the folder.
std::vector<std::string> namesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::unique_ptr<WmaEncodeJob> makeWmaJob() {
    auto enc = std::make_unique<WmEncoderControl>(kProfiles, "");
    int index = -1;
    for (int i = 0; i < enc->GetProfileCount(); ++i)
        if (enc->GetProfileInfo(i).name == "Audio for HI-FI CD-quality (160 Kbps stereo)")
            index = i;
    EXPECT_GE(index, 0);
    auto job = std::make_unique<WmaEncodeJob>(std::move(enc));
    job->SetProfileIndex(index);
    return job;
}

// Runs the WMA job to its end; returns the code that ended it.
uint32_t encodeWma(WmaEncodeJob& job, const fs::path& in, const fs::path& out) {
    try {
        job.EncodeFile(in.string(), out.string());
    } catch (const WMException& e) {
        return e.GetCode();
    }
    EXPECT_TRUE(waitWhile([&] { return job.IsEncoding(); }));
    job.OnStopped();
    return job.GetLastErrorCode();
}

// A FLAC file whose stored MD5 no longer matches its audio.
fs::path makeFlacWithWrongMd5(const cldtest::TempDir& dir) {
    const fs::path wav = dir.file("md5-source.wav");
    writeWav(wav, makeSignal(44100, 44100, 2), 44100, 2);
    const fs::path flac = dir.file("badsum.flac");
    EXPECT_EQ(shell("flac -s -f -o " + quote(flac) + " " + quote(wav)), 0);
    fs::remove(wav);
    std::vector<uint8_t> bytes = readFile(flac);
    // "fLaC", the block header, then the stream info with its MD5 at byte 18.
    EXPECT_EQ(std::memcmp(bytes.data(), "fLaC", 4), 0);
    bytes[8 + 18] ^= 0x5A;
    writeFile(flac, bytes);
    EXPECT_NE(shell("flac -s -t " + quote(flac) + " 2>/dev/null"), 0)
        << "the reference decoder sees the damage too";
    return flac;
}

// The four kinds of bad input, each a file of its own in `dir`.
struct BadInputs {
    fs::path wrongMd5, truncatedOgg, m4aWithoutAudio, wavNamedFlac, textNamedMp3;
};

BadInputs makeBadInputs(const cldtest::TempDir& dir) {
    BadInputs b;
    b.wrongMd5 = makeFlacWithWrongMd5(dir);
    const fs::path ogg = makeInput(dir, kFormats[1], 3.0, nullptr, "whole");
    std::vector<uint8_t> bytes = readFile(ogg);
    bytes.resize(bytes.size() / 2);
    b.truncatedOgg = dir.file("cut.ogg");
    writeFile(b.truncatedOgg, bytes);
    fs::remove(ogg);
    b.m4aWithoutAudio = dir.file("picture.m4a");
    EXPECT_EQ(shell("ffmpeg -v error -y -f lavfi -i testsrc=d=1:s=64x48:r=10 -c:v mpeg4 -f mp4 " +
                    quote(b.m4aWithoutAudio)),
              0);
    b.wavNamedFlac = dir.file("really-a-wav.flac");
    writeWav(b.wavNamedFlac, makeSignal(4410, 44100, 2), 44100, 2);
    b.textNamedMp3 = dir.file("notes.mp3");
    std::ofstream(b.textNamedMp3) << "These are not the droids you are looking for.\n";
    return b;
}

} // namespace

TEST(DecodedInput, FlacGivesTheSourcePcmExactlyAt16And24Bits) {
    cldtest::TempDir dir;
    std::vector<int16_t> source;
    const fs::path flac = makeInput(dir, kFormats[0], 2.0, &source);

    AudioFileReader reader;
    reader.Open(flac.string());
    reader.GetAudioStream(0);
    const WaveFormat fmt = reader.GetFormat();
    EXPECT_EQ(fmt.channels, 2);
    EXPECT_EQ(fmt.samplesPerSec, 44100u);
    EXPECT_EQ(fmt.bitsPerSample, 16);
    EXPECT_FALSE(reader.HasExactLength());
    EXPECT_EQ(reader.GetLength(), 2 * 44100);
    std::vector<int16_t> got;
    for (int64_t pos = 0;;) {
        std::vector<int16_t> block(1000 * 2);
        const int64_t n = reader.ReadInto(pos, 1000, block.data());
        if (n == 0)
            break;
        pos += n;
        got.insert(got.end(), block.begin(), block.begin() + n * 2);
    }
    EXPECT_TRUE(got == source) << "decoded " << got.size() << " of " << source.size();
    // Reading backwards is refused: a decoder only goes forwards.
    std::vector<int16_t> block(2);
    EXPECT_THROW(reader.ReadInto(0, 1, block.data()), Exception);

    const AudioTags& tags = reader.GetTags();
    EXPECT_EQ(tags.title, "Ünïcode Title");
    EXPECT_EQ(tags.artist, "The Artist");
    EXPECT_EQ(tags.album, "The Album");
    EXPECT_EQ(tags.year, "1999");
    EXPECT_EQ(tags.genre, "Jazz");
    EXPECT_EQ(tags.track, 3);
    EXPECT_EQ(tags.trackTotal, 12);

    // 24-bit FLAC arrives as 32-bit integers at full scale, every bit kept.
    const fs::path wav16 = dir.file("deep-source.wav");
    writeWav(wav16, source, 44100, 2);
    const fs::path flac24 = dir.file("deep.flac");
    ASSERT_EQ(shell("ffmpeg -v error -y -i " + quote(wav16) +
                    " -c:a flac -sample_fmt s32 -bits_per_raw_sample 24 " + quote(flac24)),
              0);
    std::string bps;
    ASSERT_EQ(shell("metaflac --show-bps " + quote(flac24), &bps), 0);
    ASSERT_EQ(bps, "24\n");
    AudioFileReader deep;
    deep.Open(flac24.string());
    deep.GetAudioStream(0);
    EXPECT_EQ(deep.GetFormat().bitsPerSample, 32);
    EXPECT_FALSE(deep.GetFormat().IsFloat());
    std::vector<int32_t> wide(source.size() + 64);
    int64_t frames = 0;
    while (const int64_t n = deep.ReadInto(frames, 4096, wide.data() + frames * 2)) {
        frames += n;
        if (static_cast<size_t>(frames * 2 + 4096 * 2) > wide.size())
            wide.resize(static_cast<size_t>(frames * 2 + 4096 * 2));
    }
    ASSERT_EQ(static_cast<size_t>(frames * 2), source.size());
    size_t differ = 0;
    for (size_t i = 0; i < source.size(); ++i)
        differ += wide[i] != static_cast<int32_t>(static_cast<uint32_t>(source[i]) << 16);
    EXPECT_EQ(differ, 0u);
}

TEST(Mp3EncodeJob, EncodesEveryInputFormatLikeItsSourceAndReadsItsTags) {
    cldtest::TempDir dir;
    for (const Format& f : kFormats) {
        SCOPED_TRACE(f.name);
        std::vector<int16_t> source;
        const fs::path in = makeInput(dir, f, 3.0, &source);
        const fs::path out = dir.file(std::string("out-") + f.name + ".mp3");
        Mp3EncodeJob job;
        ASSERT_EQ(encodeMp3(job, in, out), 0);
        const AudioTags& tags = job.GetInputTags();
        EXPECT_EQ(tags.title, "Ünïcode Title");
        EXPECT_EQ(tags.artist, "The Artist");
        EXPECT_EQ(tags.album, "The Album");
        EXPECT_EQ(tags.year, "1999");
        EXPECT_EQ(tags.genre, "Jazz");
        EXPECT_EQ(tags.track, 3);

        auto info = probe(out);
        EXPECT_EQ(info["stream.codec_name"], "mp3");
        EXPECT_EQ(info["stream.sample_rate"], std::to_string(f.rate));
        const Pcm ref{f.rate, 2, source};
        const Pcm dec = decodeWithFfmpeg(out);
        ASSERT_EQ(dec.channels, 2);
        // The MP3 adds the encoder's delay and pads its last frame; nothing more.
        const long refFrames = static_cast<long>(source.size() / 2);
        const long decFrames = static_cast<long>(dec.samples.size() / 2);
        EXPECT_GE(decFrames, refFrames);
        EXPECT_LE(decFrames, refFrames + 1152 * 3);
        const Alignment a = align(ref, dec, 4096);
        EXPECT_GT(a.snrDb, 15.0);
        EXPECT_GE(a.lag, 0);
        EXPECT_LE(a.lag, 2 * 1152);
    }
}

TEST(Mp3EncodeJob, LosslessInputGivesTheSameMp3AsItsWav) {
    // The encoder gets exactly the source's PCM from a FLAC file: the MP3 made from it
    // is byte for byte the one made from the WAV.
    cldtest::TempDir dir;
    std::vector<int16_t> source;
    const fs::path flac = makeInput(dir, kFormats[0], 2.5, &source);
    const fs::path wav = dir.file("same.wav");
    writeWav(wav, source, 44100, 2);
    Mp3EncodeJob job;
    ASSERT_EQ(encodeMp3(job, flac, dir.file("from-flac.mp3")), 0);
    ASSERT_EQ(encodeMp3(job, wav, dir.file("from-wav.mp3")), 0);
    EXPECT_TRUE(job.GetInputTags().empty()) << "a WAV file brings no tags";
    EXPECT_EQ(
        shell("cmp -s " + quote(dir.file("from-flac.mp3")) + " " + quote(dir.file("from-wav.mp3"))),
        0);
}

TEST(Mp3EncodeJob, BadInputsFailByNameAndLeaveNoOutput) {
    cldtest::TempDir dir;
    const BadInputs bad = makeBadInputs(dir);
    const fs::path outDir = dir.file("out");
    fs::create_directories(outDir);

    // Refused at the start, before any output exists.
    const std::pair<fs::path, uint32_t> atStart[] = {
        {bad.truncatedOgg, cld::wmerr::kTruncated},
        {bad.m4aWithoutAudio, cld::wmerr::kNoAudio},
        {bad.wavNamedFlac, cld::wmerr::kContentMismatch},
    };
    for (const auto& [input, code] : atStart) {
        SCOPED_TRACE(input.filename().string());
        Mp3EncodeJob job;
        EXPECT_EQ(encodeMp3(job, input, outDir / "x.mp3"), -1);
        EXPECT_EQ(job.GetErrorCode(), CodecJob::kErrInput);
        EXPECT_EQ(job.GetErrorDetail(), code) << std::hex << job.GetErrorDetail();
        EXPECT_EQ(job.GetInput(), input.string());
    }
    {
        Mp3EncodeJob job;
        EXPECT_EQ(encodeMp3(job, bad.textNamedMp3, outDir / "x.mp3"), -1);
        EXPECT_EQ(job.GetErrorCode(), CodecJob::kErrInput);
    }
    EXPECT_TRUE(namesIn(outDir).empty());

    // A wrong checksum shows only at the end: what was encoded is removed, and an older
    // file of the output's name stays as it was.
    std::ofstream(outDir / "badsum.mp3") << "older file";
    Mp3EncodeJob job;
    EXPECT_EQ(encodeMp3(job, bad.wrongMd5, outDir / "badsum.mp3"), CodecJob::kErrInput);
    EXPECT_EQ(job.GetErrorDetail(), cld::wmerr::kChecksumMismatch);
    EXPECT_EQ(namesIn(outDir), std::vector<std::string>{"badsum.mp3"});
    std::ifstream older(outDir / "badsum.mp3");
    std::string text;
    std::getline(older, text);
    EXPECT_EQ(text, "older file");
}

TEST(Mp3EncodeJob, GarbageUnderEveryAudioNameFailsWithoutOutput) {
    cldtest::TempDir dir;
    std::vector<std::vector<uint8_t>> contents;
    contents.emplace_back(); // empty
    std::vector<uint8_t> noise(20000);
    uint32_t x = 12345;
    for (uint8_t& b : noise) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(x >> 24);
    }
    contents.push_back(noise);
    // Each format's magic followed by noise.
    using namespace std::string_literals;
    for (const std::string& magic : {"fLaC"s, "OggS"s, "ID3\x04"s, "\0\0\0 ftypM4A "s}) {
        std::vector<uint8_t> bytes(magic.begin(), magic.end());
        bytes.insert(bytes.end(), noise.begin(), noise.begin() + 4000);
        contents.push_back(bytes);
    }
    int index = 0;
    for (const std::string& ext : cld::audioInputExtensions()) {
        for (const auto& bytes : contents) {
            const fs::path in = dir.file("junk" + std::to_string(index++) + ext);
            writeFile(in, bytes);
            const fs::path out = dir.file("junk.mp3");
            Mp3EncodeJob job;
            const int code = encodeMp3(job, in, out);
            EXPECT_TRUE(code == -1 || code == CodecJob::kErrInput) << in << " " << code;
            EXPECT_EQ(job.GetErrorCode(), CodecJob::kErrInput) << in;
            EXPECT_FALSE(fs::exists(out)) << in;
        }
    }
}

TEST(WmaEncodeJob, CompressedInputsCarryTheirTagsIntoTheAsfFile) {
    cldtest::TempDir dir;
    auto job = makeWmaJob();
    for (const Format& f : kFormats) {
        SCOPED_TRACE(f.name);
        std::vector<int16_t> source;
        const fs::path in = makeInput(dir, f, 3.0, &source);
        const fs::path out = dir.file(std::string("out-") + f.name + ".wma");
        ASSERT_EQ(encodeWma(*job, in, out), 0u);
        auto info = probe(out);
        EXPECT_EQ(info["stream.codec_name"], "wmav2");
        EXPECT_EQ(info["tag.title"], "Ünïcode Title");
        EXPECT_EQ(info["tag.artist"], "The Artist");
        EXPECT_EQ(info["tag.album"], "The Album");
        EXPECT_EQ(info["tag.genre"], "Jazz");
        // The year as the standard attribute, the number without the disc's count.
        EXPECT_EQ(info["tag.WM/Year"], "1999");
        EXPECT_EQ(info.count("tag.date"), 0u);
        EXPECT_EQ(info["tag.track"], "3");
        if (const auto attributes = asfAttributes(out)) {
            auto a = *attributes;
            EXPECT_EQ(a["Title"], "Ünïcode Title");
            EXPECT_EQ(a["Author"], "The Artist");
            EXPECT_EQ(a["WM/AlbumTitle"], "The Album");
            EXPECT_EQ(a["WM/Year"], "1999");
            EXPECT_EQ(a["WM/Genre"], "Jazz");
            EXPECT_EQ(a["WM/TrackNumber"], "3");
            EXPECT_EQ(a.count("date"), 0u);
        }
        const Pcm dec = decodeWithFfmpeg(out);
        ASSERT_EQ(dec.channels, 2);
        // The profile's rate is 44.1 kHz; the Opus input is compared by length only.
        EXPECT_NEAR(static_cast<double>(dec.samples.size() / 2), 3.0 * 44100, 4096);
        if (f.rate == 44100) {
            EXPECT_GT(align(Pcm{44100, 2, source}, dec, 4096).snrDb, 12.0);
        }
    }
}

TEST(WmaEncodeJob, BadInputsFailByNameAndLeaveNoOutput) {
    cldtest::TempDir dir;
    const BadInputs bad = makeBadInputs(dir);
    const fs::path outDir = dir.file("out");
    fs::create_directories(outDir);
    auto job = makeWmaJob();
    EXPECT_EQ(encodeWma(*job, bad.truncatedOgg, outDir / "a.wma"), cld::wmerr::kTruncated);
    EXPECT_EQ(encodeWma(*job, bad.m4aWithoutAudio, outDir / "b.wma"), cld::wmerr::kNoAudio);
    EXPECT_EQ(encodeWma(*job, bad.wavNamedFlac, outDir / "c.wma"), cld::wmerr::kContentMismatch);
    EXPECT_NE(encodeWma(*job, bad.textNamedMp3, outDir / "d.wma"), 0u);
    EXPECT_TRUE(namesIn(outDir).empty());
    EXPECT_EQ(encodeWma(*job, bad.wrongMd5, outDir / "e.wma"), cld::wmerr::kChecksumMismatch);
    EXPECT_TRUE(namesIn(outDir).empty()) << "the file encoded before the end is removed";
}

TEST(AudioInputCheck, OggMustEndWithTheClosingPageOfItsStream) {
    cldtest::TempDir dir;
    const fs::path ogg = makeInput(dir, kFormats[1], 2.0);
    EXPECT_EQ(cld::checkOggEnd(ogg.string()), 0u);
    const std::vector<uint8_t> bytes = readFile(ogg);
    // Cut exactly before the last page: every page is whole, but the stream is not closed.
    const std::string data(bytes.begin(), bytes.end());
    const size_t last = data.rfind("OggS");
    ASSERT_NE(last, std::string::npos);
    ASSERT_GT(last, 0u);
    writeFile(dir.file("pages.ogg"), std::vector<uint8_t>(bytes.begin(), bytes.begin() + last));
    EXPECT_EQ(cld::checkOggEnd(dir.file("pages.ogg").string()), cld::wmerr::kTruncated);
    // Cut inside the last page.
    writeFile(dir.file("mid.ogg"), std::vector<uint8_t>(bytes.begin(), bytes.end() - 10));
    EXPECT_EQ(cld::checkOggEnd(dir.file("mid.ogg").string()), cld::wmerr::kTruncated);
    writeFile(dir.file("tiny.ogg"), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 10));
    EXPECT_EQ(cld::checkOggEnd(dir.file("tiny.ogg").string()), cld::wmerr::kTruncated);
    // Cut inside its headers, the file does not even open: it is still named as cut short.
    writeFile(dir.file("head.ogg"), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 200));
    Mp3EncodeJob job;
    EXPECT_EQ(encodeMp3(job, dir.file("head.ogg"), dir.file("head.mp3")), -1);
    EXPECT_EQ(job.GetErrorDetail(), cld::wmerr::kTruncated);
    EXPECT_FALSE(fs::exists(dir.file("head.mp3")));

    // The extensions the jobs take, WAV first.
    EXPECT_EQ(cld::audioInputExtensions().front(), ".wav");
    EXPECT_TRUE(cld::isDecodedAudioPath("/a/b.FLAC"));
    EXPECT_TRUE(cld::isDecodedAudioPath("x.opus"));
    EXPECT_FALSE(cld::isDecodedAudioPath("x.wav"));
    EXPECT_FALSE(cld::isDecodedAudioPath("x.wma"));
}
