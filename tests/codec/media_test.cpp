#include "AudioFileReader.h"
#include "Exception.h"
#include "FormatConverter.h"
#include "GetErrorText.h"
#include "MediaFixtures.h"
#include "TempDir.h"
#include "WavStreamWriter.h"
#include "WmErrors.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

using namespace codectest;
namespace fs = std::filesystem;

namespace {

void appendTag(std::vector<uint8_t>& b, const char* t) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(t[i]));
}

// A WAVE file built chunk by chunk, for the header variants other writers produce.
struct WavBuilder {
    std::vector<uint8_t> b;
    WavBuilder() : b{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'} {}
    WavBuilder& Fmt(uint16_t tag, uint16_t ch, uint32_t rate, uint16_t bits,
                    bool extensible = false, uint16_t subTag = 1) {
        appendTag(b, "fmt ");
        put32(b, extensible ? 40 : 16);
        put16(b, tag);
        put16(b, ch);
        put32(b, rate);
        put32(b, rate * ch * bits / 8);
        put16(b, static_cast<uint16_t>(ch * bits / 8));
        put16(b, bits);
        if (extensible) {
            put16(b, 22);
            put16(b, bits);
            put32(b, ch == 2 ? 3 : 4);
            put16(b, subTag);
            const uint8_t rest[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                      0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
            b.insert(b.end(), rest, rest + 14);
        }
        return *this;
    }
    WavBuilder& Chunk(const char* id, const std::vector<uint8_t>& body) {
        appendTag(b, id);
        put32(b, static_cast<uint32_t>(body.size()));
        b.insert(b.end(), body.begin(), body.end());
        if (body.size() & 1)
            b.push_back(0);
        return *this;
    }
    WavBuilder& Data(const std::vector<uint8_t>& body, uint32_t claimed) {
        appendTag(b, "data");
        put32(b, claimed);
        b.insert(b.end(), body.begin(), body.end());
        return *this;
    }
};

std::vector<uint8_t> bytes16(const std::vector<int16_t>& s) {
    std::vector<uint8_t> b;
    for (int16_t v : s)
        put16(b, static_cast<uint16_t>(v));
    return b;
}

} // namespace

TEST(AudioFileReader, ReadsHeaderVariantsOfCommonWriters) {
    cldtest::TempDir dir;
    const std::vector<int16_t> sig = makeSignal(1000, 22050, 2);
    const auto data = bytes16(sig);
    struct Case {
        std::string name;
        std::vector<uint8_t> file;
        uint16_t channels;
        uint16_t bits;
        int64_t frames;
    };
    std::vector<Case> cases;
    cases.push_back(
        {"plain",
         WavBuilder().Fmt(1, 2, 22050, 16).Data(data, static_cast<uint32_t>(data.size())).b, 2, 16,
         1000});
    cases.push_back({"list-and-odd-chunk",
                     WavBuilder()
                         .Chunk("LIST", {'I', 'N', 'F', 'O', 'x'})
                         .Fmt(1, 2, 22050, 16)
                         .Chunk("fact", {1, 2, 3, 4})
                         .Data(data, static_cast<uint32_t>(data.size()))
                         .b,
                     2, 16, 1000});
    cases.push_back({"extensible",
                     WavBuilder()
                         .Fmt(0xFFFE, 2, 22050, 16, true)
                         .Data(data, static_cast<uint32_t>(data.size()))
                         .b,
                     2, 16, 1000});
    cases.push_back({"size-larger-than-file",
                     WavBuilder().Fmt(1, 2, 22050, 16).Data(data, 0x7FFFFFF0).b, 2, 16, 1000});
    cases.push_back(
        {"streamed-size", WavBuilder().Fmt(1, 2, 22050, 16).Data(data, 0xFFFFFFFF).b, 2, 16, 1000});
    cases.push_back({"mono-8",
                     WavBuilder().Fmt(1, 1, 8000, 8).Data(std::vector<uint8_t>(333, 128), 333).b, 1,
                     8, 333});
    auto cut = WavBuilder().Fmt(1, 2, 22050, 16).Data(data, static_cast<uint32_t>(data.size())).b;
    cut.resize(cut.size() - 2); // half a frame missing at the end
    cases.push_back({"cut-mid-frame", cut, 2, 16, 999});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path p = dir.file(c.name + ".wav");
        writeFile(p, c.file);
        AudioFileReader r;
        ASSERT_NO_THROW(r.Open(p.string()));
        r.GetAudioStream(0);
        const WaveFormat f = r.GetFormat();
        EXPECT_EQ(f.channels, c.channels);
        EXPECT_EQ(f.bitsPerSample, c.bits);
        EXPECT_EQ(r.GetLength(), c.frames);
        const auto all = r.Read(0, 1 << 20);
        EXPECT_EQ(all.size(), static_cast<size_t>(c.frames) * f.blockAlign);
        if (c.bits == 16) {
            EXPECT_EQ(std::memcmp(all.data(), data.data(), all.size()), 0);
        }
        // Reading in pieces and from the middle gives the same bytes.
        const auto mid = r.Read(c.frames / 2, 7);
        ASSERT_EQ(mid.size(), 7u * f.blockAlign);
        EXPECT_EQ(std::memcmp(mid.data(), all.data() + (c.frames / 2) * f.blockAlign, mid.size()),
                  0);
        EXPECT_TRUE(r.Read(c.frames, 10).empty());
        EXPECT_TRUE(r.Read(-1, 10).empty());
    }
}

TEST(AudioFileReader, RefusesWhatItCannotRead) {
    cldtest::TempDir dir;
    const auto data = bytes16(makeSignal(100, 44100, 2));
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> bad = {
        {"empty", {}},
        {"text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!'}},
        {"no-data", WavBuilder().Fmt(1, 2, 44100, 16).b},
        {"no-fmt", WavBuilder().Data(data, 400).b},
        {"adpcm", WavBuilder().Fmt(2, 2, 44100, 4).Data(data, 400).b},
        {"12-bit", WavBuilder().Fmt(1, 2, 44100, 12).Data(data, 400).b},
        {"16-bit-float", WavBuilder().Fmt(3, 2, 44100, 16).Data(data, 400).b},
        {"six-channels", WavBuilder().Fmt(1, 6, 44100, 16).Data(data, 400).b},
        {"zero-rate", WavBuilder().Fmt(1, 2, 0, 16).Data(data, 400).b},
        {"extensible-adpcm", WavBuilder().Fmt(0xFFFE, 2, 44100, 16, true, 2).Data(data, 400).b},
        {"short-fmt", WavBuilder().Chunk("fmt ", {1, 0, 2, 0}).Data(data, 400).b},
    };
    for (const auto& [name, bytes] : bad) {
        SCOPED_TRACE(name);
        writeFile(dir.file(name), bytes);
        AudioFileReader r;
        try {
            r.Open(dir.file(name).string());
            FAIL() << "accepted";
        } catch (const Exception& e) {
            EXPECT_EQ(e.GetCode(), cld::wmerr::kWavFormat);
        }
        EXPECT_FALSE(r.IsOpen());
    }
    AudioFileReader r;
    try {
        r.Open(dir.file("missing.wav").string());
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.GetCode(), cld::wmerr::fromErrno(ENOENT));
        EXPECT_EQ(GetErrorText(e.GetCode()), std::strerror(ENOENT));
    }
    EXPECT_THROW(r.Open(dir.path().string()), Exception) << "a folder";
}

TEST(WavStreamWriter, WritesReadableFileReplacingAnyOldOne) {
    cldtest::TempDir dir;
    const fs::path p = dir.file("out.wav");
    writeFile(p, std::vector<uint8_t>(100000, 0x55));
    const auto sig = makeSignal(2 * 44100, 44100, 2);
    {
        WavStreamWriter w;
        w.Create(p.string());
        EXPECT_EQ(fs::file_size(p), 100000u) << "the old file stays until the new one is whole";
        const WaveFormat f = WaveFormat::Pcm(2, 44100, 16);
        w.SetFormat(f, f);
        ASSERT_TRUE(w.Write(sig.data(), sig.size() * 2));
        // Before Close the temporary file's header reads "unknown size", so other readers
        // get every sample that has reached the disk.
        ASSERT_EQ(cldtest::temporaryFilesIn(dir.path()).size(), 1u);
        const Pcm early = decodeWithFfmpeg(cldtest::temporaryFilesIn(dir.path()).front());
        EXPECT_GT(early.samples.size(), sig.size() / 2);
        EXPECT_TRUE(std::equal(early.samples.begin(), early.samples.end(), sig.begin()));
        EXPECT_EQ(w.GetLengthMilliseconds(), 2000);
        EXPECT_TRUE(w.Close());
    }
    const auto m = probe(p);
    EXPECT_EQ(m.at("stream.codec_name"), "pcm_s16le");
    EXPECT_EQ(m.at("stream.sample_rate"), "44100");
    EXPECT_EQ(readWav(p).samples, sig);
    EXPECT_EQ(fs::file_size(p), 44u + sig.size() * 2);
    EXPECT_TRUE(cldtest::temporaryFilesIn(dir.path()).empty());

    // Discard leaves the older file as it was.
    {
        WavStreamWriter d;
        d.Create(p.string());
        const WaveFormat f = WaveFormat::Pcm(1, 8000, 16);
        d.SetFormat(f, f);
        d.Write(sig.data(), 400);
        d.Discard();
    }
    EXPECT_EQ(readWav(p).samples, sig);
    EXPECT_TRUE(cldtest::temporaryFilesIn(dir.path()).empty());

    WavStreamWriter w;
    EXPECT_THROW(w.Create(dir.file("no/dir/x.wav").string()), Exception);
    EXPECT_FALSE(w.Write(sig.data(), 4));
}

TEST(WavStreamWriter, ConvertsSourceFormatToTarget) {
    cldtest::TempDir dir;
    // 8-bit mono at 22050 Hz in, 16-bit stereo at 44100 Hz out.
    std::vector<uint8_t> in(22050);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<uint8_t>(128 + 100 * ((i / 50) % 2 ? 1 : -1));
    WavStreamWriter w;
    w.Create(dir.file("conv.wav").string());
    w.SetFormat(WaveFormat::Pcm(2, 44100, 16), WaveFormat::Pcm(1, 22050, 8));
    ASSERT_TRUE(w.Write(in.data(), in.size()));
    ASSERT_TRUE(w.Close());
    const Pcm out = readWav(dir.file("conv.wav"));
    EXPECT_EQ(out.rate, 44100);
    EXPECT_EQ(out.channels, 2);
    EXPECT_NEAR(static_cast<double>(out.samples.size() / 2), 44100, 64);
    int16_t peak = 0;
    for (size_t i = 0; i + 1 < out.samples.size(); i += 2) {
        EXPECT_EQ(out.samples[i], out.samples[i + 1]) << "both channels carry the mono signal";
        peak = std::max<int16_t>(peak, out.samples[i]);
    }
    EXPECT_NEAR(peak, 100 * 256, 3000);

    FormatConverter c;
    EXPECT_THROW(c.Open(WaveFormat::Pcm(2, 44100, 24), WaveFormat::Pcm(2, 44100, 16)), Exception);
    try {
        c.Open(WaveFormat::Pcm(0, 44100, 16), WaveFormat::Pcm(2, 44100, 16));
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.GetText(), "ERROR_ACM_OPENSTREAM");
        EXPECT_EQ(e.GetCode(), cld::wmerr::kFail);
    }
    c.Open(WaveFormat::Pcm(2, 44100, 16), WaveFormat::Pcm(2, 44100, 16));
    EXPECT_TRUE(c.IsPassThrough());
    EXPECT_TRUE(c.Convert(nullptr, 0).empty());
}

TEST(GetErrorText, QuotedTextsOwnCodesAndSystemFallback) {
    EXPECT_EQ(GetErrorText(0xC00D2EF1), "Media closed because Windows was shut down.");
    EXPECT_EQ(GetErrorText(0x000D0001), "The requested operation was aborted by the client.");
    EXPECT_EQ(GetErrorText(0xC00D2EEE), "Unable to establish a connection to the proxy server. "
                                        "Please check your proxy server configuration.");
    for (uint32_t code = cld::wmerr::kInputOpen; code <= cld::wmerr::kWriteFailed; ++code) {
        const std::string text = GetErrorText(code);
        EXPECT_EQ(text.find("Unknown"), std::string::npos) << std::hex << code;
        EXPECT_EQ(text.back(), '.') << text;
    }
    EXPECT_EQ(GetErrorText(cld::wmerr::fromErrno(ENOSPC)), std::strerror(ENOSPC));
    EXPECT_EQ(GetErrorText(0x12345678), "Unknown error (0x12345678).");
}
