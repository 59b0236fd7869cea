#include "Id3v1Tag.h"
#include "MediaFixtures.h"
#include "Mp3DecodeJob.h"
#include "Mp3EncodeJob.h"
#include "Mp3StreamEncoder.h"
#include "TempDir.h"
#include "TestEnv.h"
#include "WmErrors.h"

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <thread>

using namespace codectest;
namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;

// Uniformly random bytes (every value, 0xFF included) from a fixed seed.
std::vector<uint8_t> randomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> b(n);
    for (auto& v : b)
        v = static_cast<uint8_t>(rng() & 0xFF);
    return b;
}

bool waitIdle(const CodecJob& job, int seconds = 60) {
    return waitWhile([&] { return job.IsRunning(); }, seconds);
}

// Offset of the first MPEG audio frame header (the files of these tests carry no tags).
size_t firstFrame(const std::vector<uint8_t>& b) {
    for (size_t i = 0; i + 4 <= b.size(); ++i) {
        if (b[i] == 0xFF && (b[i + 1] & 0xE0) == 0xE0)
            return i;
    }
    return std::string::npos;
}

// "Xing" (variable bitrate) or "Info" (constant bitrate) when the first frame is the
// encoder's header frame, else empty.
std::string headerFrameKind(const std::vector<uint8_t>& b) {
    const size_t f = firstFrame(b);
    if (f == std::string::npos)
        return {};
    const size_t end = std::min(b.size(), f + 200);
    for (size_t i = f; i + 4 <= end; ++i) {
        if (std::memcmp(&b[i], "Xing", 4) == 0 || std::memcmp(&b[i], "Info", 4) == 0)
            return std::string(b.begin() + static_cast<long>(i),
                               b.begin() + static_cast<long>(i) + 4);
    }
    return {};
}

bool hasVbrHeaderFrame(const std::vector<uint8_t>& b) {
    return !headerFrameKind(b).empty();
}

struct Encoded {
    fs::path wav;
    fs::path mp3;
    int error = -1;
};

Encoded encode(const cldtest::TempDir& dir, const std::string& name, const Mp3EncoderParams& p,
               double seconds = 2.0, int channels = 2, int bits = 16, int rate = kRate) {
    Encoded e;
    e.wav = dir.file(name + ".wav");
    e.mp3 = dir.file(name + ".mp3");
    const int frames = static_cast<int>(seconds * rate);
    writeWav(e.wav, makeSignal(frames, rate, channels), rate, channels, bits);
    Mp3EncodeJob job;
    job.SetParams(p);
    job.SetInput(e.wav.string());
    job.SetOutput(e.mp3.string());
    EXPECT_TRUE(job.Start());
    EXPECT_TRUE(waitIdle(job));
    e.error = job.GetErrorCode();
    return e;
}

Mp3EncoderParams cbr(int kbps, int mode) {
    Mp3EncoderParams p;
    p.bitrate = kbps;
    p.channelMode = mode;
    p.quality = 5;
    return p;
}

} // namespace

TEST(Mp3EncodeJob, CbrFileHasAskedBitrateModeAndInfoHeaderFrame) {
    cldtest::TempDir dir;
    const Encoded joint = encode(dir, "joint", cbr(128, 1));
    ASSERT_EQ(joint.error, 0);
    auto info = probe(joint.mp3);
    EXPECT_EQ(info["stream.codec_name"], "mp3");
    EXPECT_EQ(info["stream.bit_rate"], "128000");
    EXPECT_EQ(info["stream.channels"], "2");
    const auto bytes = readFile(joint.mp3);
    // A constant-bitrate file is marked as such, with the encoder's delay and padding.
    EXPECT_EQ(headerFrameKind(bytes), "Info");
    const size_t f = firstFrame(bytes);
    ASSERT_NE(f, std::string::npos);
    EXPECT_EQ(bytes[f + 3] >> 6, 1) << "joint stereo mode bits";

    const Encoded stereo = encode(dir, "stereo", cbr(192, 0));
    ASSERT_EQ(stereo.error, 0);
    EXPECT_EQ(probe(stereo.mp3)["stream.bit_rate"], "192000");
    const auto sb = readFile(stereo.mp3);
    EXPECT_EQ(sb[firstFrame(sb) + 3] >> 6, 0) << "plain stereo mode bits";

    const Encoded mono = encode(dir, "mono", cbr(64, 3));
    ASSERT_EQ(mono.error, 0);
    auto mi = probe(mono.mp3);
    EXPECT_EQ(mi["stream.channels"], "1");
    EXPECT_EQ(mi["stream.bit_rate"], "64000");
}

TEST(Mp3EncodeJob, VbrFileStartsWithHeaderFrameCountingItsFrames) {
    cldtest::TempDir dir;
    for (int method : {1, 2, 3}) {
        Mp3EncoderParams p = cbr(96, 1);
        p.vbrMethod = method;
        p.vbrQuality = 4;
        p.vbrMaxBitrate = 256;
        p.abrMeanBitrate = 160;
        const Encoded e = encode(dir, "vbr" + std::to_string(method), p);
        ASSERT_EQ(e.error, 0);
        const auto bytes = readFile(e.mp3);
        EXPECT_EQ(headerFrameKind(bytes), "Xing") << "method " << method;
        // The header's frame count lets mpg123 know the length without a scan.
        std::string out;
        shell("mpg123 -t -q " + quote(e.mp3) + " 2>&1", &out);
        EXPECT_EQ(shell("mpg123 -t -q " + quote(e.mp3) + " >/dev/null 2>&1"), 0) << out;
    }
}

TEST(Mp3EncodeJob, HeaderFlagBitsFollowTheParameters) {
    cldtest::TempDir dir;
    Mp3EncoderParams p = cbr(128, 1);
    p.privateFlag = 1;
    p.copyright = 1;
    p.original = 1;
    p.crc = 1;
    const Encoded set = encode(dir, "flags", p);
    ASSERT_EQ(set.error, 0);
    const auto b = readFile(set.mp3);
    const size_t f = firstFrame(b);
    ASSERT_NE(f, std::string::npos);
    EXPECT_EQ(b[f + 1] & 1, 0) << "protection bit 0 means frames carry a CRC";
    EXPECT_EQ(b[f + 2] & 1, 1) << "private bit";
    EXPECT_EQ((b[f + 3] >> 3) & 1, 1) << "copyright bit";
    EXPECT_EQ((b[f + 3] >> 2) & 1, 1) << "original bit";

    const Encoded clear = encode(dir, "noflags", cbr(128, 1));
    const auto c = readFile(clear.mp3);
    const size_t g = firstFrame(c);
    EXPECT_EQ(c[g + 1] & 1, 1);
    EXPECT_EQ(c[g + 2] & 1, 0);
    EXPECT_EQ((c[g + 3] >> 3) & 1, 0);
    EXPECT_EQ((c[g + 3] >> 2) & 1, 0);
}

TEST(Mp3EncodeJob, DecodedAudioMatchesInputInLengthAndSound) {
    cldtest::TempDir dir;
    struct Case {
        std::string name;
        int channels;
        int bits;
        Mp3EncoderParams params;
    };
    Mp3EncoderParams vbr = cbr(128, 4);
    vbr.vbrMethod = 3;
    const std::vector<Case> cases = {{"cbr16", 2, 16, cbr(160, 4)},
                                     {"vbr16", 2, 16, vbr},
                                     {"mono16", 1, 16, cbr(96, 4)},
                                     {"stereo8", 2, 8, cbr(128, 0)},
                                     {"mono8", 1, 8, cbr(64, 3)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Encoded e = encode(dir, c.name, c.params, 2.0, c.channels, c.bits);
        ASSERT_EQ(e.error, 0);
        Pcm ref;
        ref.rate = kRate;
        ref.channels = c.channels;
        ref.samples = makeSignal(2 * kRate, kRate, c.channels);
        if (c.bits == 8) { // what the 8-bit file holds, centred
            for (auto& s : ref.samples)
                s = static_cast<int16_t>((s >> 8) * 256);
        }
        const Pcm dec = decodeWithFfmpeg(e.mp3);
        ASSERT_EQ(dec.channels, c.channels);
        // The header frame lets the decoder drop the encoder's delay and padding.
        EXPECT_EQ(dec.samples.size(), ref.samples.size());
        const Alignment a = align(ref, dec, 200);
        EXPECT_EQ(a.lag, 0);
        EXPECT_GT(a.snrDb, 15.0) << "lag " << a.lag;
        // A DC offset would show as a large mean.
        double mean = 0;
        for (int16_t s : dec.samples)
            mean += s;
        mean /= static_cast<double>(dec.samples.size());
        EXPECT_LT(std::abs(mean), 200.0);
    }
}

TEST(Mp3EncodeJob, StartingTwiceAndBadInputOrOutput) {
    cldtest::TempDir dir;
    writeWav(dir.file("long.wav"), makeSignal(20 * kRate, kRate, 2), kRate, 2);
    Mp3EncodeJob job;
    job.SetParams(cbr(128, 1));
    job.SetInput(dir.file("long.wav").string());
    job.SetOutput(dir.file("long.mp3").string());
    ASSERT_TRUE(job.Start());
    EXPECT_FALSE(job.Start()) << "a running job refuses a second start";
    job.RequestAbort();
    ASSERT_TRUE(waitIdle(job));

    job.SetInput(dir.file("missing.wav").string());
    EXPECT_FALSE(job.Start());
    EXPECT_EQ(job.GetErrorCode(), CodecJob::kErrInput);
    EXPECT_FALSE(job.IsRunning());

    writeFile(dir.file("text.wav"), {'h', 'e', 'l', 'l', 'o'});
    job.SetInput(dir.file("text.wav").string());
    EXPECT_FALSE(job.Start());
    EXPECT_EQ(job.GetErrorCode(), CodecJob::kErrInput);

    Mp3EncoderParams bad = cbr(128, 1);
    bad.bitrate = 100000;
    bad.vbrMethod = 2;
    bad.abrMeanBitrate = 100000;
    writeWav(dir.file("short.wav"), makeSignal(kRate / 2, kRate, 2), kRate, 2);
    job.SetParams(bad);
    job.SetInput(dir.file("short.wav").string());
    job.SetOutput(dir.file("short.mp3").string());
    if (!job.Start()) { // the library may also clamp instead of refusing
        EXPECT_EQ(job.GetErrorCode(), CodecJob::kErrEncoder);
    }
    waitIdle(job);

    // An output that cannot be created fails after the start and keeps its code.
    job.SetParams(cbr(128, 1));
    job.SetOutput(dir.file("no/such/folder/out.mp3").string());
    ASSERT_TRUE(job.Start());
    ASSERT_TRUE(waitIdle(job));
    EXPECT_EQ(job.GetErrorCode(), CodecJob::kErrOutput);
}

TEST(Mp3EncodeJob, AbortLeavesShorterPlayableFileAndEmptyInputEndsAtOnce) {
    cldtest::TempDir dir;
    writeWav(dir.file("long.wav"), makeSignal(30 * kRate, kRate, 2), kRate, 2);
    Mp3EncodeJob job;
    job.SetParams(cbr(128, 1));
    job.SetInput(dir.file("long.wav").string());
    job.SetOutput(dir.file("long.mp3").string());
    ASSERT_TRUE(job.Start());
    job.RequestAbort();
    ASSERT_TRUE(waitIdle(job));
    EXPECT_EQ(job.GetErrorCode(), 0);
    EXPECT_LT(job.GetProgress(), 100);
    const Pcm dec = decodeWithFfmpeg(dir.file("long.mp3"));
    EXPECT_GT(dec.samples.size(), 0u);
    EXPECT_LT(dec.samples.size() / 2, static_cast<size_t>(30 * kRate));
    EXPECT_EQ(shell("mpg123 -t -q " + quote(dir.file("long.mp3")) + " >/dev/null 2>&1"), 0);

    writeWav(dir.file("empty.wav"), {}, kRate, 2);
    job.SetInput(dir.file("empty.wav").string());
    job.SetOutput(dir.file("empty.mp3").string());
    ASSERT_TRUE(job.Start());
    ASSERT_TRUE(waitIdle(job, 5));
    EXPECT_EQ(job.GetErrorCode(), 0);
    EXPECT_EQ(job.GetProgress(), 0);
    EXPECT_LT(fs::file_size(dir.file("empty.mp3")), 2000u) << "only the flushed frames";
}

TEST(Mp3EncodeJob, DamagedWavGivesShorterCorrectOutputOrInputError) {
    cldtest::TempDir dir;
    writeWav(dir.file("full.wav"), makeSignal(2 * kRate, kRate, 2), kRate, 2);
    auto bytes = readFile(dir.file("full.wav"));
    // Cut in the middle of a sample frame, with the header still claiming the full size.
    bytes.resize(44 + 4 * kRate + 3);
    writeFile(dir.file("cut.wav"), bytes);
    Mp3EncodeJob job;
    job.SetParams(cbr(128, 1));
    job.SetInput(dir.file("cut.wav").string());
    job.SetOutput(dir.file("cut.mp3").string());
    ASSERT_TRUE(job.Start());
    ASSERT_TRUE(waitIdle(job));
    EXPECT_EQ(job.GetErrorCode(), 0);
    EXPECT_EQ(job.GetSamplesDone(), static_cast<uint64_t>(kRate));
    const Pcm dec = decodeWithFfmpeg(dir.file("cut.mp3"));
    EXPECT_NEAR(static_cast<double>(dec.samples.size() / 2), kRate, 3 * 1152);

    // Only the header.
    bytes.resize(44);
    writeFile(dir.file("header.wav"), bytes);
    job.SetInput(dir.file("header.wav").string());
    ASSERT_TRUE(job.Start());
    ASSERT_TRUE(waitIdle(job));
    EXPECT_EQ(job.GetErrorCode(), 0);

    bytes.resize(30);
    writeFile(dir.file("torn.wav"), bytes);
    job.SetInput(dir.file("torn.wav").string());
    EXPECT_FALSE(job.Start());
    EXPECT_EQ(job.GetErrorCode(), CodecJob::kErrInput);
}

TEST(Mp3Jobs, OutputNamingTheInputIsRefusedAndTheInputKept) {
    cldtest::TempDir dir;
    const Encoded e = encode(dir, "self", cbr(128, 1), 0.5);
    ASSERT_EQ(e.error, 0);
    const auto wavBytes = readFile(e.wav);
    const auto mp3Bytes = readFile(e.mp3);
    fs::create_symlink(e.wav, dir.file("link.mp3"));

    Mp3EncodeJob enc;
    enc.SetInput(e.wav.string());
    enc.SetOutput(dir.file("link.mp3").string());
    EXPECT_FALSE(enc.Start());
    EXPECT_EQ(enc.GetErrorCode(), CodecJob::kErrOutput);
    EXPECT_EQ(readFile(e.wav), wavBytes);

    Mp3DecodeJob dec;
    dec.SetInput(e.mp3.string());
    dec.SetOutput(e.mp3.string());
    EXPECT_FALSE(dec.Start());
    EXPECT_EQ(dec.GetErrorCode(), CodecJob::kErrOutput);
    EXPECT_EQ(readFile(e.mp3), mp3Bytes);
}

TEST(Mp3EncodeJob, LibraryDefaultsGiveAWorkingEncoding) {
    const Mp3EncoderParams d = Mp3EncoderParams::LibraryDefaults();
    EXPECT_EQ(d.vbrMethod, 0);
    EXPECT_GE(d.bitrate, 8);
    EXPECT_LE(d.bitrate, 320);
    cldtest::TempDir dir;
    const Encoded e = encode(dir, "defaults", d, 1.0);
    ASSERT_EQ(e.error, 0);
    EXPECT_EQ(probe(e.mp3)["stream.bit_rate"], std::to_string(d.bitrate * 1000));
}

TEST(Mp3EncodeJob, AbsurdParametersNeverAbortTheProcess) {
    // Some contradictory bounds make the library assert; each of these must encode or
    // be refused, never end the program.
    cldtest::TempDir dir;
    writeWav(dir.file("in.wav"), makeSignal(kRate / 4, kRate, 2), kRate, 2);
    const std::vector<std::array<int32_t, 4>> cases = {
        {100000, 192, 100000, 2}, {320, 16, 16, 2},  {320, 16, 16, 3},   {8, 8, 8, 1},
        {-5, -5, -5, 2},          {128, 192, 64, 2}, {500, 192, 128, 0}, {64, 320, 999, 3}};
    for (const auto& [bitrate, max, mean, method] : cases) {
        Mp3EncoderParams p = cbr(bitrate, 1);
        p.vbrMaxBitrate = max;
        p.abrMeanBitrate = mean;
        p.vbrMethod = method;
        p.quality = 42;
        p.vbrQuality = -3;
        Mp3EncodeJob job;
        job.SetParams(p);
        job.SetInput(dir.file("in.wav").string());
        job.SetOutput(dir.file("out.mp3").string());
        if (job.Start()) {
            ASSERT_TRUE(waitIdle(job));
            EXPECT_EQ(job.GetErrorCode(), 0);
            EXPECT_EQ(shell("mpg123 -t -q " + quote(dir.file("out.mp3")) + " >/dev/null 2>&1"), 0);
        } else {
            EXPECT_EQ(job.GetErrorCode(), CodecJob::kErrEncoder);
        }
    }
}

TEST(Mp3StreamEncoder, PushedBuffersMakeAValidFile) {
    cldtest::TempDir dir;
    Mp3StreamEncoder enc;
    enc.SetParams(cbr(128, 1));
    ASSERT_EQ(enc.Open(dir.file("rec.mp3").string(), 2, kRate), 1);
    const auto sig = makeSignal(kRate, kRate, 2);
    size_t written = 0;
    for (size_t at = 0; at < sig.size(); at += 4410) { // 50 ms buffers, as a recorder sends
        const size_t n = std::min<size_t>(4410, sig.size() - at);
        written += static_cast<size_t>(enc.Write(sig.data() + at, n * 2));
    }
    enc.Close();
    EXPECT_EQ(enc.GetErrorCode(), 0);
    EXPECT_GT(written, 0u);
    EXPECT_GE(fs::file_size(dir.file("rec.mp3")), written);
    Pcm ref{kRate, 2, sig};
    const Alignment a = align(ref, decodeWithFfmpeg(dir.file("rec.mp3")), 3000);
    EXPECT_GT(a.snrDb, 15.0);

    Mp3StreamEncoder bad;
    EXPECT_EQ(bad.Open(dir.file("x/y.mp3").string(), 2, kRate), 0);
    EXPECT_EQ(bad.GetErrorCode(), CodecJob::kErrOutput);
    EXPECT_EQ(bad.Open(dir.file("z.mp3").string(), 5, kRate), 0);
    EXPECT_EQ(bad.GetErrorCode(), CodecJob::kErrEncoder);
}

TEST(Id3v1Tag, AppendReplaceRemoveAndOutsideReader) {
    if (!cldtest::haveTool("id3v2"))
        GTEST_SKIP() << "id3v2 not installed";
    cldtest::TempDir dir;
    const Encoded e = encode(dir, "tagged", cbr(128, 1), 1.0);
    ASSERT_EQ(e.error, 0);
    const auto size = fs::file_size(e.mp3);

    Id3v1Tag tag;
    tag.title = "A Title That Is Much Longer Than Thirty Bytes";
    tag.artist = "The Artist";
    tag.album = "Album";
    tag.year = "19990";
    tag.genre = 17;
    ASSERT_EQ(tag.Write(e.mp3.string()), 1);
    EXPECT_EQ(fs::file_size(e.mp3), size + 128);

    std::string out;
    shell("id3v2 -l " + quote(e.mp3), &out);
    EXPECT_NE(out.find("The Artist"), std::string::npos) << out;
    EXPECT_NE(out.find("A Title That Is Much Longer Th"), std::string::npos) << out;
    EXPECT_EQ(out.find("Much Longer Than"), std::string::npos) << "cut at 30 bytes";
    EXPECT_NE(out.find("1999"), std::string::npos);

    tag.artist = "Another Artist";
    tag.track = 300;
    tag.comment = "Thirty characters of comment..";
    ASSERT_EQ(tag.Write(), 1);
    EXPECT_EQ(fs::file_size(e.mp3), size + 128) << "replaced in place";
    const auto bytes = readFile(e.mp3);
    EXPECT_EQ(bytes[bytes.size() - 3], 0);
    EXPECT_EQ(bytes[bytes.size() - 2], 255) << "track 300 is written as 255";
    EXPECT_EQ(bytes[bytes.size() - 1], 17);

    Id3v1Tag back;
    ASSERT_TRUE(back.Load(e.mp3.string()));
    EXPECT_EQ(back.artist, "Another Artist");
    EXPECT_EQ(back.track, 255);
    EXPECT_EQ(back.genre, 17);
    EXPECT_EQ(back.comment, "Thirty characters of comment");
    out.clear();
    shell("ffprobe -v error -show_entries format_tags=artist,track -of default=nw=1 " +
              quote(e.mp3),
          &out);
    EXPECT_NE(out.find("Another Artist"), std::string::npos) << out;

    // Without a track number the comment keeps all 30 bytes.
    back.track = 0;
    back.comment = "Thirty characters of comment..";
    ASSERT_EQ(back.Write(), 1);
    Id3v1Tag full;
    full.Load(e.mp3.string());
    EXPECT_EQ(full.comment, "Thirty characters of comment..");
    EXPECT_EQ(full.track, 0);

    ASSERT_EQ(full.Write(e.mp3.string(), true), 1);
    EXPECT_EQ(fs::file_size(e.mp3), size);
    ASSERT_EQ(full.Write(e.mp3.string(), true), 1);
    EXPECT_EQ(fs::file_size(e.mp3), size) << "removing from an untagged file changes nothing";
    EXPECT_EQ(readFile(e.mp3), readFile(e.mp3)); // still readable
    EXPECT_EQ(shell("mpg123 -t -q " + quote(e.mp3) + " >/dev/null 2>&1"), 0);
}

TEST(Id3v1Tag, Latin1TextsAndTinyFiles) {
    cldtest::TempDir dir;
    writeFile(dir.file("tiny.mp3"), {1, 2, 3});
    Id3v1Tag tag;
    tag.title = "Caf\xc3\xa9 \xe2\x82\xac";
    ASSERT_EQ(tag.Write(dir.file("tiny.mp3").string()), 1);
    const auto b = readFile(dir.file("tiny.mp3"));
    ASSERT_EQ(b.size(), 3u + 128u);
    EXPECT_EQ(b[3 + 3 + 3], 0xE9) << "e-acute as Latin-1";
    EXPECT_EQ(b[3 + 3 + 5], '?') << "the euro sign has no Latin-1 form";
    Id3v1Tag back;
    ASSERT_TRUE(back.Load(dir.file("tiny.mp3").string()));
    EXPECT_EQ(back.title, "Caf\xc3\xa9 ?");
    EXPECT_FALSE(back.Load(dir.file("missing.mp3").string()));
}

namespace {

// lame --decode output of the same file, or an empty Pcm when lame is missing.
// The reference decoder: mpg123, which trims the encoder's delay and padding when the
// file's header frame records them.
Pcm referenceDecode(const fs::path& mp3) {
    const fs::path wav = mp3.string() + ".ref.wav";
    if (shell("mpg123 -q -w " + quote(wav) + " " + quote(mp3)) != 0)
        return {};
    return readWav(wav);
}

Pcm decodeWithJob(const fs::path& mp3, const fs::path& wav, int* error) {
    Mp3DecodeJob job;
    job.SetInput(mp3.string());
    job.SetOutput(wav.string());
    if (!job.Start()) {
        *error = job.GetErrorCode();
        return {};
    }
    EXPECT_TRUE(waitIdle(job));
    *error = job.GetErrorCode();
    EXPECT_EQ(job.GetProgress(), 100);
    if (*error == CodecJob::kErrHeader)
        return {};
    return readWav(wav);
}

} // namespace

TEST(Mp3DecodeJob, OutputEqualsTheReferenceDecoderAfterTheDelaySkip) {
    if (!cldtest::haveTool("mpg123"))
        GTEST_SKIP() << "mpg123 not installed";
    cldtest::TempDir dir;
    Mp3EncoderParams vbr = cbr(96, 1);
    vbr.vbrMethod = 3;
    for (const auto& [name, params, ch, rate] :
         {std::tuple{"cbr", cbr(128, 1), 2, kRate}, std::tuple{"vbr", vbr, 2, kRate},
          std::tuple{"mono", cbr(64, 3), 1, kRate}, std::tuple{"mpeg2", cbr(32, 3), 1, 22050}}) {
        SCOPED_TRACE(name);
        const Encoded e = encode(dir, name, params, 3.0, ch, 16, rate);
        ASSERT_EQ(e.error, 0);
        const Pcm reference = referenceDecode(e.mp3);
        ASSERT_FALSE(reference.samples.empty());
        int error = -1;
        const Pcm ours = decodeWithJob(e.mp3, dir.file(std::string(name) + "_dec.wav"), &error);
        ASSERT_EQ(error, 0);
        ASSERT_EQ(ours.channels, reference.channels);
        ASSERT_EQ(ours.rate, reference.rate);
        // We always skip the encoder's delay (576) plus the decoder's (529). mpg123 skips
        // the same where it reads the delay from the file's header frame; elsewhere it
        // keeps the decoder's delay, or both, in front of ours. It also drops the
        // encoder's padding at the end, which the job keeps without a header frame. At one
        // of those leads every shared sample is identical.
        std::optional<size_t> lead;
        for (const size_t frames : {0u, 529u, 576u, 1105u}) {
            const size_t at = frames * static_cast<size_t>(ch);
            if (at > reference.samples.size())
                continue;
            const size_t shared = std::min(ours.samples.size(), reference.samples.size() - at);
            if (shared < static_cast<size_t>(3 * rate * ch - 1152 * ch))
                continue;
            if (std::equal(ours.samples.begin(), ours.samples.begin() + static_cast<long>(shared),
                           reference.samples.begin() + static_cast<long>(at))) {
                lead = frames;
                break;
            }
        }
        EXPECT_TRUE(lead.has_value()) << "no lead gives the reference's samples";
        EXPECT_LE(ours.samples.size(), static_cast<size_t>(3 * rate * ch + 2 * 1152 * ch));
        if (hasVbrHeaderFrame(readFile(e.mp3)) && rate == kRate) {
            EXPECT_EQ(lead.value_or(1), 0u) << "the header frame's delay is trimmed as mpg123 does";
        }
    }
}

TEST(Mp3DecodeJob, FindsFirstFrameBehindAlbumIdBlockOrGarbage) {
    cldtest::TempDir dir;
    const Encoded e = encode(dir, "plain", cbr(128, 1), 1.0);
    ASSERT_EQ(e.error, 0);
    int error = -1;
    const Pcm plain = decodeWithJob(e.mp3, dir.file("plain_dec.wav"), &error);
    ASSERT_EQ(error, 0);
    ASSERT_FALSE(plain.samples.empty());
    const auto mp3 = readFile(e.mp3);

    std::vector<uint8_t> aid = {'A', 'i', 'D', 1, 40, 0};
    aid.resize(40, 0xFF); // the block's body may hold anything, sync-like bytes included
    aid.insert(aid.end(), mp3.begin(), mp3.end());
    writeFile(dir.file("aid.mp3"), aid);
    EXPECT_EQ(decodeWithJob(dir.file("aid.mp3"), dir.file("aid.wav"), &error).samples,
              plain.samples);
    EXPECT_EQ(error, 0);

    // Random bytes, sync bytes (0xFF) and header-like pairs included.
    std::vector<uint8_t> junk = randomBytes(777, 5);
    for (size_t i = 0; i + 1 < junk.size(); i += 97) {
        junk[i] = 0xFF;
        junk[i + 1] = 0xFB;
    }
    junk.insert(junk.end(), mp3.begin(), mp3.end());
    writeFile(dir.file("junk.mp3"), junk);
    EXPECT_EQ(decodeWithJob(dir.file("junk.mp3"), dir.file("junk.wav"), &error).samples,
              plain.samples);
    EXPECT_EQ(error, 0);
}

TEST(Mp3DecodeJob, BadFilesFailWithTheirCodesOrDecodeShorter) {
    cldtest::TempDir dir;
    int error = -1;
    decodeWithJob(dir.file("missing.mp3"), dir.file("a.wav"), &error);
    EXPECT_EQ(error, CodecJob::kErrInput);

    writeFile(dir.file("noise.mp3"), randomBytes(100000, 9));
    writeFile(dir.file("keep.wav"), {'k', 'e', 'e', 'p'});
    decodeWithJob(dir.file("noise.mp3"), dir.file("keep.wav"), &error);
    EXPECT_EQ(error, CodecJob::kErrHeader);
    EXPECT_EQ(readFile(dir.file("keep.wav")).size(), 4u) << "existing output left alone";
    EXPECT_FALSE(fs::exists(dir.file("keep.wav.part")));

    writeFile(dir.file("empty.mp3"), {});
    decodeWithJob(dir.file("empty.mp3"), dir.file("b.wav"), &error);
    EXPECT_EQ(error, CodecJob::kErrHeader);

    const Encoded e = encode(dir, "whole", cbr(128, 1), 2.0);
    const Pcm whole = decodeWithJob(e.mp3, dir.file("whole.wav"), &error);
    auto bytes = readFile(e.mp3);
    bytes.resize(bytes.size() / 2);
    writeFile(dir.file("half.mp3"), bytes);
    const Pcm half = decodeWithJob(dir.file("half.mp3"), dir.file("half.wav"), &error);
    EXPECT_EQ(error, 0);
    ASSERT_GT(half.samples.size(), 0u);
    EXPECT_LT(half.samples.size(), whole.samples.size());
    // What is there is the start of the whole file's audio.
    const size_t cmp = half.samples.size() - 2 * 1152 * 2;
    EXPECT_TRUE(std::equal(half.samples.begin(), half.samples.begin() + static_cast<long>(cmp),
                           whole.samples.begin()));

    // Corrupt the middle: decoding goes on, with the same length give or take frames.
    bytes = readFile(e.mp3);
    for (size_t i = bytes.size() / 3; i < bytes.size() / 3 + 3000; ++i)
        bytes[i] = static_cast<uint8_t>(i * 13);
    writeFile(dir.file("hurt.mp3"), bytes);
    const Pcm hurt = decodeWithJob(dir.file("hurt.mp3"), dir.file("hurt.wav"), &error);
    EXPECT_EQ(error, 0);
    EXPECT_GT(hurt.samples.size(), whole.samples.size() / 2);

    Mp3DecodeJob job;
    job.SetInput(e.mp3.string());
    job.SetOutput(dir.file("no/dir/x.wav").string());
    EXPECT_FALSE(job.Start());
    EXPECT_EQ(job.GetErrorCode(), CodecJob::kErrOutput);
}

namespace {

void putBe32(std::vector<uint8_t>& b, uint32_t v, bool syncsafe) {
    for (int i = 3; i >= 0; --i)
        b.push_back(static_cast<uint8_t>(syncsafe ? (v >> (7 * i)) & 0x7F : v >> (8 * i)));
}

// An ID3 version 2 tag (major version 3 or 4) with a title frame and a picture frame, as
// taggers write them; `footer` adds the version 4 footer.
std::vector<uint8_t> id3v2Tag(int major, const std::vector<uint8_t>& picture, bool footer) {
    std::vector<uint8_t> frames;
    auto frame = [&](const char* id, const std::vector<uint8_t>& body) {
        frames.insert(frames.end(), id, id + 4);
        putBe32(frames, static_cast<uint32_t>(body.size()), major == 4);
        frames.push_back(0);
        frames.push_back(0);
        frames.insert(frames.end(), body.begin(), body.end());
    };
    const std::string title = "\x03Title with a cover";
    frame("TIT2", std::vector<uint8_t>(title.begin(), title.end()));
    std::vector<uint8_t> apic = {0};
    const std::string mime = "image/png";
    apic.insert(apic.end(), mime.begin(), mime.end());
    apic.push_back(0);
    apic.push_back(3); // front cover
    apic.push_back(0); // empty description
    apic.insert(apic.end(), picture.begin(), picture.end());
    frame("APIC", apic);
    frames.resize(frames.size() + 512, 0); // padding, as taggers leave it
    std::vector<uint8_t> tag = {
        'I', 'D', '3', static_cast<uint8_t>(major), 0, static_cast<uint8_t>(footer ? 0x10 : 0)};
    putBe32(tag, static_cast<uint32_t>(frames.size()), true);
    tag.insert(tag.end(), frames.begin(), frames.end());
    if (footer) {
        tag.insert(tag.end(), {'3', 'D', 'I', static_cast<uint8_t>(major), 0, 0x10});
        putBe32(tag, static_cast<uint32_t>(frames.size()), true);
    }
    return tag;
}

// An APE version 2 tag with one text item, header and footer.
std::vector<uint8_t> apeTag() {
    std::vector<uint8_t> item;
    put32(item, 5);
    put32(item, 0);
    const std::string key = "Title";
    item.insert(item.end(), key.begin(), key.end());
    item.push_back(0);
    item.insert(item.end(), {0xFF, 'A', 'B', 'C', 0xFB});
    auto block = [&](bool isHeader) {
        std::vector<uint8_t> b = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X'};
        put32(b, 2000);
        put32(b, static_cast<uint32_t>(item.size() + 32));
        put32(b, 1);
        put32(b, 0x80000000u | (isHeader ? 0x20000000u : 0));
        b.resize(b.size() + 8, 0);
        return b;
    };
    std::vector<uint8_t> tag = block(true);
    tag.insert(tag.end(), item.begin(), item.end());
    const auto foot = block(false);
    tag.insert(tag.end(), foot.begin(), foot.end());
    return tag;
}

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

} // namespace

TEST(Mp3DecodeJob, TaggedFilesDecodeSampleForSampleLikeLame) {
    if (!cldtest::haveTool("lame") || !cldtest::haveTool("id3v2"))
        GTEST_SKIP() << "lame or id3v2 not installed";
    cldtest::TempDir dir;
    constexpr int kFrames = 3 * kRate;
    writeWav(dir.file("src.wav"), makeSignal(kFrames, kRate, 2), kRate, 2);
    ASSERT_EQ(shell("lame --quiet -b 128 " + quote(dir.file("src.wav")) + " " +
                    quote(dir.file("cbr.mp3"))),
              0);
    ASSERT_EQ(
        shell("lame --quiet -V 2 " + quote(dir.file("src.wav")) + " " + quote(dir.file("vbr.mp3"))),
        0);
    // Cover pictures as music shops and taggers embed them.
    ASSERT_EQ(shell("ffmpeg -v error -y -f lavfi -i testsrc2=size=480x480 -frames:v 1 -q:v 2 " +
                    quote(dir.file("cover.jpg"))),
              0);
    writeFile(dir.file("noise.rgb"), randomBytes(520 * 520 * 3, 7));
    ASSERT_EQ(shell("ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s 520x520 -i " +
                    quote(dir.file("noise.rgb")) + " -frames:v 1 " + quote(dir.file("cover.png"))),
              0);
    EXPECT_GT(fs::file_size(dir.file("cover.jpg")), 20000u);
    EXPECT_GT(fs::file_size(dir.file("cover.png")), 700000u);
    // Made by ffmpeg (ID3 2.3 and 2.4 with the picture) over text frames made by id3v2.
    fs::copy_file(dir.file("cbr.mp3"), dir.file("texts.mp3"));
    ASSERT_EQ(shell("id3v2 -a Artist -A Album -t Title -y 2001 -T 3 " +
                    quote(dir.file("texts.mp3")) + " >/dev/null"),
              0);
    for (const char* version : {"3", "4"}) {
        ASSERT_EQ(shell("ffmpeg -v error -y -i " + quote(dir.file("texts.mp3")) + " -i " +
                        quote(dir.file("cover.jpg")) + " -map 0:a -map 1 -c copy -id3v2_version " +
                        version + " -metadata:s:v comment='Cover (front)' " +
                        quote(dir.file(std::string("ff") + version + ".mp3"))),
                  0);
    }
    const auto cbr = readFile(dir.file("cbr.mp3"));
    const auto vbr = readFile(dir.file("vbr.mp3"));
    const auto png = readFile(dir.file("cover.png"));
    // A version 2.4 tag with a footer, an APE tag and an ID3 version 1 tag at the end.
    std::vector<uint8_t> v1(128, 0);
    std::memcpy(v1.data(), "TAG\xff\xfb", 5);
    writeFile(dir.file("footer.mp3"), concat({id3v2Tag(4, png, true), cbr, apeTag(), v1}));
    // A 20 MB tag of random bytes, sync bytes included.
    writeFile(dir.file("huge.mp3"), concat({id3v2Tag(3, randomBytes(20u << 20, 1), false), vbr}));
    // Random bytes before the stream, with no tag to say where it starts.
    writeFile(dir.file("junk.mp3"), concat({randomBytes(5000, 2), cbr}));

    const Pcm refCbr = referenceDecode(dir.file("cbr.mp3"));
    const Pcm refVbr = referenceDecode(dir.file("vbr.mp3"));
    ASSERT_EQ(refCbr.samples.size(), static_cast<size_t>(2 * kFrames)) << "lame trims exactly";
    ASSERT_EQ(refVbr.samples.size(), static_cast<size_t>(2 * kFrames));
    struct Case {
        const char* name;
        Pcm reference;
    };
    // ffmpeg rewrites the stream's header frame, so its files are judged against lame's
    // decoding of the very same file; all the others against the untagged stream.
    const std::vector<Case> cases = {{"cbr", refCbr},
                                     {"texts", referenceDecode(dir.file("texts.mp3"))},
                                     {"ff3", referenceDecode(dir.file("ff3.mp3"))},
                                     {"ff4", referenceDecode(dir.file("ff4.mp3"))},
                                     {"footer", refCbr},
                                     {"huge", refVbr},
                                     {"junk", refCbr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.reference.channels, 2);
        ASSERT_EQ(c.reference.samples.size(), static_cast<size_t>(2 * kFrames));
        int error = -1;
        const Pcm ours = decodeWithJob(dir.file(std::string(c.name) + ".mp3"),
                                       dir.file(std::string(c.name) + "_dec.wav"), &error);
        ASSERT_EQ(error, 0);
        EXPECT_EQ(ours.rate, kRate);
        EXPECT_EQ(ours.channels, 2);
        EXPECT_TRUE(ours.samples == c.reference.samples)
            << ours.samples.size() << " samples against " << c.reference.samples.size();
    }
}

TEST(Mp3DecodeJob, ShortAndMpeg2InputsKeepTheirExactLength) {
    if (!cldtest::haveTool("lame"))
        GTEST_SKIP() << "lame not installed";
    cldtest::TempDir dir;
    // Bitrates at which lame keeps the input's sample rate.
    for (const auto& [frames, rate, ch, kbps] :
         {std::tuple{1000, 44100, 2, 128}, std::tuple{2500, 22050, 1, 64},
          std::tuple{30000, 16000, 1, 48}}) {
        SCOPED_TRACE(std::to_string(frames) + " at " + std::to_string(rate));
        const auto sig = makeSignal(frames, rate, ch);
        writeWav(dir.file("in.wav"), sig, rate, ch);
        ASSERT_EQ(shell("lame --quiet -b " + std::to_string(kbps) + " " +
                        quote(dir.file("in.wav")) + " " + quote(dir.file("in.mp3"))),
                  0);
        int error = -1;
        const Pcm ours = decodeWithJob(dir.file("in.mp3"), dir.file("out.wav"), &error);
        ASSERT_EQ(error, 0);
        ASSERT_EQ(ours.rate, rate);
        EXPECT_EQ(ours.samples.size(), sig.size());
        EXPECT_TRUE(ours.samples == referenceDecode(dir.file("in.mp3")).samples);
        const Alignment a = align(Pcm{rate, ch, sig}, ours, 200);
        EXPECT_EQ(a.lag, 0);
    }
}

TEST(Mp3DecodeJob, DataWithoutAudioFailsAndLeavesNoOutput) {
    cldtest::TempDir dir;
    ASSERT_EQ(shell("ffmpeg -v error -y -f lavfi -i testsrc2=size=480x480 -frames:v 1 -q:v 2 " +
                    quote(dir.file("cover.jpg"))),
              0);
    // A JPEG holds sync-like marker bytes (FF FE, FF E0 ...); random bytes hold anything.
    fs::copy_file(dir.file("cover.jpg"), dir.file("picture.mp3"));
    writeFile(dir.file("random.mp3"), randomBytes(100 * 1024, 3));
    // A tag that claims more than the file holds.
    auto lying = id3v2Tag(3, randomBytes(1000, 4), false);
    lying[6] = 0x7F;
    writeFile(dir.file("lying.mp3"), lying);
    for (const char* name : {"picture", "random", "lying"}) {
        SCOPED_TRACE(name);
        int error = -1;
        const fs::path out = dir.file(std::string(name) + ".wav");
        decodeWithJob(dir.file(std::string(name) + ".mp3"), out, &error);
        EXPECT_EQ(error, CodecJob::kErrHeader);
        EXPECT_FALSE(fs::exists(out));
        EXPECT_FALSE(fs::exists(out.string() + ".part"));
    }
}

namespace {

// A WAVE file of `sig` (16-bit values) stored with deeper samples: 24- or 32-bit integers
// (the 16-bit value shifted up) or 32/64-bit floats, with a plain or an extensible format
// block. Every variant holds exactly the same sound as the 16-bit file.
void writeDeepWav(const fs::path& path, const std::vector<int16_t>& sig, int channels, int bits,
                  bool isFloat, bool extensible, int validBits = 0) {
    std::vector<uint8_t> data;
    for (int16_t v : sig) {
        if (isFloat && bits == 32) {
            const float f = static_cast<float>(v) / 32768.0f;
            uint32_t u;
            std::memcpy(&u, &f, 4);
            put32(data, u);
        } else if (isFloat) {
            const double d = static_cast<double>(v) / 32768.0;
            uint64_t u;
            std::memcpy(&u, &d, 8);
            put32(data, static_cast<uint32_t>(u));
            put32(data, static_cast<uint32_t>(u >> 32));
        } else if (bits == 24) {
            const uint32_t u = static_cast<uint32_t>(static_cast<int32_t>(v) * 256);
            data.push_back(static_cast<uint8_t>(u));
            data.push_back(static_cast<uint8_t>(u >> 8));
            data.push_back(static_cast<uint8_t>(u >> 16));
        } else {
            put32(data, static_cast<uint32_t>(static_cast<int32_t>(v) * 65536));
        }
    }
    const uint16_t tag = isFloat ? 3 : 1;
    std::vector<uint8_t> fmt;
    put16(fmt, extensible ? 0xFFFE : tag);
    put16(fmt, static_cast<uint16_t>(channels));
    put32(fmt, kRate);
    put32(fmt, static_cast<uint32_t>(kRate * channels * bits / 8));
    put16(fmt, static_cast<uint16_t>(channels * bits / 8));
    put16(fmt, static_cast<uint16_t>(bits));
    if (extensible) {
        put16(fmt, 22);
        put16(fmt, static_cast<uint16_t>(validBits ? validBits : bits));
        put32(fmt, channels == 2 ? 3 : 4);
        put16(fmt, tag);
        const uint8_t rest[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                  0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        fmt.insert(fmt.end(), rest, rest + 14);
    } else if (isFloat) {
        put16(fmt, 0); // cbSize of a non-PCM format block
    }
    std::vector<uint8_t> b = {'R', 'I', 'F', 'F'};
    put32(b, static_cast<uint32_t>(4 + 8 + fmt.size() + 8 + data.size()));
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(b, static_cast<uint32_t>(fmt.size()));
    b.insert(b.end(), fmt.begin(), fmt.end());
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put32(b, static_cast<uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    writeFile(path, b);
}

int encodeFile(const fs::path& in, const fs::path& out, uint32_t* detail = nullptr) {
    Mp3EncodeJob job;
    job.SetParams(cbr(128, 4));
    job.SetInput(in.string());
    job.SetOutput(out.string());
    if (job.Start()) {
        EXPECT_TRUE(waitIdle(job));
    }
    if (detail)
        *detail = job.GetErrorDetail();
    return job.GetErrorCode();
}

} // namespace

// Deeper and float WAVE files, plain and WAVE_FORMAT_EXTENSIBLE, encode like the 16-bit
// file of the same sound: the decoded audio matches the source and, sample for sample,
// the decoded encode of the 16-bit file.
TEST(Mp3EncodeJob, DeepIntegerAndFloatWavsEncodeLikeTheirSixteenBitSource) {
    cldtest::TempDir dir;
    for (int channels : {2, 1}) {
        const std::vector<int16_t> sig = makeSignal(2 * kRate, kRate, channels);
        const fs::path ref16 = dir.file("ref16_" + std::to_string(channels) + ".wav");
        writeWav(ref16, sig, kRate, channels);
        const fs::path refMp3 = dir.file("ref16_" + std::to_string(channels) + ".mp3");
        ASSERT_EQ(encodeFile(ref16, refMp3), 0);
        const Pcm refDec = decodeWithFfmpeg(refMp3);
        const Pcm source{kRate, channels, sig};
        struct Case {
            const char* name;
            int bits;
            bool isFloat;
            bool extensible;
            int validBits;
        };
        const Case cases[] = {
            {"int24", 24, false, false, 0},      {"int24x", 24, false, true, 0},
            {"int32", 32, false, false, 0},      {"int32x", 32, false, true, 0},
            {"int24in32x", 32, false, true, 24}, {"float32", 32, true, false, 0},
            {"float32x", 32, true, true, 0},     {"float64", 64, true, false, 0},
        };
        for (const Case& c : cases) {
            const std::string name = std::string(c.name) + "_" + std::to_string(channels);
            SCOPED_TRACE(name);
            const fs::path wav = dir.file(name + ".wav");
            writeDeepWav(wav, sig, channels, c.bits, c.isFloat, c.extensible, c.validBits);
            const fs::path mp3 = dir.file(name + ".mp3");
            ASSERT_EQ(encodeFile(wav, mp3), 0);
            const Pcm dec = decodeWithFfmpeg(mp3);
            ASSERT_EQ(dec.channels, channels);
            EXPECT_EQ(dec.samples.size(), refDec.samples.size())
                << "the same length as the 16-bit file's encode";
            EXPECT_GT(align(source, dec, 3000).snrDb, 15.0) << "sounds like the source";
            const Alignment same = align(refDec, dec, 16);
            EXPECT_EQ(same.lag, 0);
            EXPECT_GT(same.snrDb, 40.0) << "as the 16-bit file's encode";
        }
    }
}

TEST(Mp3EncodeJob, FormatsTheEncoderCannotTakeAreFormatErrorsNotOpenErrors) {
    cldtest::TempDir dir;
    const std::vector<int16_t> sig = makeSignal(kRate / 4, kRate, 2);
    writeWav(dir.file("adpcm.wav"), sig, kRate, 2);
    auto bytes = readFile(dir.file("adpcm.wav"));
    bytes[20] = 2; // format tag 2: ADPCM
    writeFile(dir.file("adpcm.wav"), bytes);
    bytes[20] = 1;
    bytes[22] = 6; // six channels
    writeFile(dir.file("six.wav"), bytes);
    for (const char* name : {"adpcm.wav", "six.wav"}) {
        SCOPED_TRACE(name);
        uint32_t detail = 0;
        EXPECT_EQ(encodeFile(dir.file(name), dir.file("out.mp3"), &detail), CodecJob::kErrInput);
        EXPECT_EQ(detail, cld::wmerr::kWavFormat);
        EXPECT_FALSE(fs::exists(dir.file("out.mp3")));
    }
}
