#include "MediaFixtures.h"
#include "Mp3DecodeJob.h"
#include "Mp3EncodeJob.h"
#include "Mp3FrameSearch.h"
#include "TempDir.h"
#include "TestEnv.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

using namespace codectest;
namespace fs = std::filesystem;

namespace {

size_t framesDecodedByJob(const fs::path& mp3, const fs::path& wav) {
    const Pcm pcm = decodeMp3WithJob(mp3, wav);
    return pcm.channels > 0 ? pcm.samples.size() / static_cast<size_t>(pcm.channels) : 0;
}

size_t framesOf(const Pcm& pcm) {
    return pcm.channels > 0 ? pcm.samples.size() / static_cast<size_t>(pcm.channels) : 0;
}

Mp3EncoderParams mp3Params(int kbps, int channelMode, int quality, int vbrMethod = 0) {
    Mp3EncoderParams p;
    p.bitrate = kbps;
    p.channelMode = channelMode;
    p.quality = quality;
    p.vbrMethod = vbrMethod;
    // The command line's own default, which it also records for constant bitrates.
    p.vbrQuality = 4;
    p.vbrMaxBitrate = 256;
    p.abrMeanBitrate = 160;
    return p;
}

// The lame command-line options that ask for what `p` asks of the library.
std::string lameOptions(const Mp3EncoderParams& p) {
    static const char* modes[] = {"s", "j", "f", "m"};
    std::string o;
    switch (p.vbrMethod) {
    case 0:
        o += " -b " + std::to_string(p.bitrate);
        break;
    case 2:
        o += " --abr " + std::to_string(p.abrMeanBitrate) + " -b " + std::to_string(p.bitrate) +
             " -B " + std::to_string(p.vbrMaxBitrate);
        break;
    default:
        o += std::string(p.vbrMethod == 1 ? " --vbr-old" : " --vbr-new") + " -V " +
             std::to_string(p.vbrQuality) + " -b " + std::to_string(p.bitrate) + " -B " +
             std::to_string(p.vbrMaxBitrate);
        break;
    }
    o += " -q " + std::to_string(p.quality);
    if (p.channelMode >= 0 && p.channelMode <= 3)
        o += std::string(" -m ") + modes[p.channelMode];
    if (p.crc)
        o += " -p";
    if (p.copyright)
        o += " -c";
    if (!p.original)
        o += " -o";
    return o;
}

size_t find(const std::vector<uint8_t>& b, const char* what, size_t from, size_t to) {
    const size_t n = std::strlen(what);
    for (size_t i = from; i + n <= std::min(to, b.size()); ++i) {
        if (std::memcmp(&b[i], what, n) == 0)
            return i;
    }
    return std::string::npos;
}

} // namespace

// Every file records the encoder's delay and padding, so that decoders give exactly the
// source's samples: ffmpeg, mpg123 and our own decoder, for short and long sources,
// constant and variable bitrates, at both common sample rates.
TEST(Mp3Gapless, DecodersGiveTheSourcesExactLength) {
    cldtest::TempDir dir;
    const bool mpg123 = cldtest::haveTool("mpg123");
    for (const int rate : {44100, 48000}) {
        for (const int seconds : {1, 12, 180}) {
            const size_t frames = static_cast<size_t>(seconds) * static_cast<size_t>(rate) + 37;
            const std::string base = std::to_string(rate) + "-" + std::to_string(seconds);
            const fs::path wav = dir.file(base + ".wav");
            writeWav(wav, makeSignal(static_cast<int>(frames), rate, 2), rate, 2);
            for (const auto& [kind, params] : {std::pair{"cbr", mp3Params(128, 1, 5)},
                                               std::pair{"vbr", mp3Params(96, 1, 5, 3)}}) {
                SCOPED_TRACE(base + " s " + kind);
                const fs::path mp3 = dir.file(base + kind + ".mp3");
                ASSERT_EQ(encodeMp3WithJob(wav, mp3, params), 0);
                EXPECT_EQ(framesOf(decodeWithFfmpeg(mp3)), frames);
                if (mpg123) {
                    const fs::path out = dir.file(base + kind + ".mpg123.wav");
                    ASSERT_EQ(shell("mpg123 -q -w " + quote(out) + " " + quote(mp3)), 0);
                    EXPECT_EQ(framesOf(readWav(out)), frames);
                    fs::remove(out);
                }
                EXPECT_EQ(framesDecodedByJob(mp3, dir.file(base + kind + ".job.wav")), frames);
                fs::remove(dir.file(base + kind + ".job.wav"));
                fs::remove(mp3);
            }
            fs::remove(wav);
        }
    }
}

// Our files are the ones lame itself makes with the same settings: every audio frame is
// the same, and so is the header frame with its frame count, table of contents, delay,
// padding and checksum of the music. (The command line measures the loudness into the
// header frame too; those four bytes and the header's own checksum are left out.)
TEST(Mp3Gapless, FramesEqualLamesWithTheSameSettings) {
    if (!cldtest::haveTool("lame"))
        GTEST_SKIP() << "lame not installed";
    cldtest::TempDir dir;
    const fs::path wav = dir.file("in.wav");
    writeWav(wav, makeSignal(5 * 44100 + 123, 44100, 2), 44100, 2);
    Mp3EncoderParams flags = mp3Params(192, 0, 5);
    flags.crc = 1;
    flags.copyright = 1;
    flags.original = 1;
    const std::vector<std::pair<const char*, Mp3EncoderParams>> cases = {
        {"cbr joint", mp3Params(128, 1, 2)},  {"cbr stereo flags", flags},
        {"cbr mono", mp3Params(64, 3, 5)},    {"vbr new", mp3Params(96, 1, 5, 3)},
        {"vbr old", mp3Params(112, 1, 5, 1)}, {"abr", mp3Params(96, 1, 5, 2)}};
    for (const auto& [name, params] : cases) {
        SCOPED_TRACE(std::string(name) + ":" + lameOptions(params));
        const fs::path ours = dir.file("ours.mp3");
        const fs::path theirs = dir.file("lame.mp3");
        ASSERT_EQ(encodeMp3WithJob(wav, ours, params), 0);
        ASSERT_EQ(
            shell("lame --quiet" + lameOptions(params) + " " + quote(wav) + " " + quote(theirs)),
            0);
        const auto a = readFile(ours);
        const auto b = readFile(theirs);
        ASSERT_GT(a.size(), 4u);
        ASSERT_EQ(a.size(), b.size());
        cld::MpegHeader h;
        ASSERT_TRUE(cld::parseMpegHeader(a.data(), h));
        const size_t first = static_cast<size_t>(h.frameBytes);
        ASSERT_GT(first, 0u);
        EXPECT_TRUE(std::equal(a.begin() + static_cast<long>(first), a.end(),
                               b.begin() + static_cast<long>(first)))
            << "audio frames";
        const size_t x = find(a, params.vbrMethod == 0 ? "Info" : "Xing", 0, first);
        ASSERT_NE(x, std::string::npos);
        const size_t lameTag = find(a, "LAME", x, first);
        ASSERT_NE(lameTag, std::string::npos);
        ASSERT_LE(lameTag + 36, first);
        // Frame header, counts, table of contents, encoder version, method, low-pass and
        // peak value. The command line records its new VBR method under the library's
        // older name for the same method (5 for 4): the same encoding, another number.
        std::vector<uint8_t> theirsHeader(b.begin(), b.begin() + static_cast<long>(first));
        if (params.vbrMethod == 3 && (theirsHeader[lameTag + 9] & 0x0F) == 5)
            theirsHeader[lameTag + 9] =
                static_cast<uint8_t>((theirsHeader[lameTag + 9] & 0xF0) | 4);
        const auto diff = std::mismatch(a.begin(), a.begin() + static_cast<long>(lameTag + 15),
                                        theirsHeader.begin());
        EXPECT_EQ(diff.first - a.begin(), static_cast<long>(lameTag + 15))
            << "header frame differs at byte " << (diff.first - a.begin()) << ": "
            << int(*diff.first) << " against " << int(*diff.second);
        // Encoding flags, bitrate, delay and padding, music length and its checksum.
        EXPECT_TRUE(std::equal(a.begin() + static_cast<long>(lameTag + 19),
                               a.begin() + static_cast<long>(lameTag + 34),
                               b.begin() + static_cast<long>(lameTag + 19)));
        const int delay = (a[lameTag + 21] << 4) | (a[lameTag + 22] >> 4);
        const int padding = ((a[lameTag + 22] & 0x0F) << 8) | a[lameTag + 23];
        EXPECT_EQ(delay, 576);
        EXPECT_GT(padding, 0);
    }
}
