// The lossy and lossless formats of the registry (Opus, Ogg Vorbis, AAC in M4A, FLAC), each
// checked by tools that are not ours: the decoded length against the input's (ffmpeg and
// the formats' own decoders), the decoded audio against what the format's own
// command-line encoder makes at the same settings, the tags, the cover and the loudness
// values as ffprobe and Python's mutagen read them, and settings no encoder has.

#include "AlbumGain.h"
#include "AudioEncoder.h"
#include "EngineFixtures.h"
#include "LoudnessMeter.h"
#include "TempDir.h"
#include "TestEnv.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using cld::engine::EncoderFault;
using cld::engine::EncoderOptions;
using cld::engine::EncoderRegistry;
using cld::engine::PcmFormat;
using enginetest::quoted;

namespace fs = std::filesystem;

namespace {

bool haveTools(std::initializer_list<const char*> tools) {
    for (const char* tool : tools)
        if (!cldtest::haveTool(tool))
            return false;
    return std::system("/usr/bin/python3 -c 'import mutagen' 2>/dev/null") == 0;
}

// The 16-bit samples of a file as ffmpeg decodes it, at `rate` (0: the file's own).
std::vector<int16_t> decoded(const fs::path& file, int rate = 0) {
    int status = -1;
    const std::string bytes =
        enginetest::run("ffmpeg -v error -i " + quoted(file) +
                            (rate ? " -ar " + std::to_string(rate) : std::string()) +
                            " -f s16le -acodec pcm_s16le -",
                        status);
    std::vector<int16_t> out(status == 0 ? bytes.size() / 2 : 0);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                      static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
    return out;
}

std::vector<int16_t> samplesOf(const std::vector<uint8_t>& pcm) {
    std::vector<int16_t> out(pcm.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<int16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8);
    return out;
}

// The signal-to-noise ratio of `coded` against `source` in dB, over their common length.
double snrDb(const std::vector<int16_t>& source, const std::vector<int16_t>& coded) {
    const size_t n = std::min(source.size(), coded.size());
    double signal = 0, noise = 0;
    for (size_t i = 0; i < n; ++i) {
        const double s = source[i], d = coded[i] - source[i];
        signal += s * s;
        noise += d * d;
    }
    return 10 * std::log10(signal / std::max(noise, 1.0));
}

double correlation(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    const size_t n = std::min(a.size(), b.size());
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) {
        ab += double(a[i]) * b[i];
        aa += double(a[i]) * a[i];
        bb += double(b[i]) * b[i];
    }
    return ab / std::sqrt(aa * bb);
}

void writeWav(const fs::path& path, const std::vector<uint8_t>& pcm, int rate = 44100,
              int channels = 2) {
    std::ofstream out(path, std::ios::binary);
    const auto u32 = [&out](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.put(static_cast<char>(v >> (8 * i)));
    };
    const auto u16 = [&out](uint16_t v) {
        out.put(static_cast<char>(v & 0xFF));
        out.put(static_cast<char>(v >> 8));
    };
    out << "RIFF";
    u32(static_cast<uint32_t>(36 + pcm.size()));
    out << "WAVEfmt ";
    u32(16);
    u16(1);
    u16(static_cast<uint16_t>(channels));
    u32(static_cast<uint32_t>(rate));
    u32(static_cast<uint32_t>(rate * channels * 2));
    u16(static_cast<uint16_t>(channels * 2));
    u16(16);
    out << "data";
    u32(static_cast<uint32_t>(pcm.size()));
    out.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size()));
}

// The number a text begins with; not a number when it has none.
double number(const std::string& text) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    return end == text.c_str() ? std::nan("") : v;
}

std::vector<uint8_t> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

AudioTags fullTags(const std::vector<uint8_t>& cover) {
    AudioTags t;
    t.title = "Überall Zeit";
    t.artist = "Die Gruppe";
    t.album = "Platte";
    t.albumArtist = "Verschiedene";
    t.year = "1999";
    t.genre = "Rock";
    t.track = 3;
    t.trackTotal = 12;
    t.discId = "a10b2c0d";
    t.cover = cover;
    t.coverMime = "image/png";
    t.trackGainDb = -6.48;
    t.trackPeak = 0.988553;
    t.albumGainDb = -7.25;
    t.albumPeak = 0.999;
    return t;
}

bool encode(const std::string& name, const EncoderOptions& options, const fs::path& out,
            const std::vector<uint8_t>& pcm, const AudioTags& tags, PcmFormat format = {}) {
    auto encoder = EncoderRegistry::instance().make(name, options);
    const size_t frameBytes = static_cast<size_t>(format.channels * format.bitsPerSample / 8);
    if (!encoder->open(out.string(), format, tags, pcm.size() / frameBytes, false)) {
        ADD_FAILURE() << encoder->error();
        return false;
    }
    // In pieces that cut sample frames.
    for (size_t at = 0; at < pcm.size();) {
        const size_t n = std::min<size_t>(9973, pcm.size() - at);
        if (!encoder->write(pcm.data() + at, n)) {
            ADD_FAILURE() << encoder->error();
            return false;
        }
        at += n;
    }
    if (!encoder->finish()) {
        ADD_FAILURE() << encoder->error();
        return false;
    }
    return true;
}

// What mutagen reads from a file: its tags as "KEY=value" lines (keys lower case, MP4
// atoms by name), and "cover=same" when the embedded front cover is `cover`'s bytes.
std::map<std::string, std::string> mutagenTags(const fs::path& file, const fs::path& cover) {
    static const char* kScript = R"PY(
import sys, base64, mutagen
from mutagen.flac import Picture
f = mutagen.File(sys.argv[1])
try:
    cover = open(sys.argv[2], 'rb').read()
except OSError:
    cover = None
pictures = []
for key, values in (f.tags.items() if f.tags else []):
    if not isinstance(values, list):
        values = [values]
    k = key.lower()
    if k == 'covr':
        pictures += [bytes(v) for v in values]
        continue
    if k == 'metadata_block_picture':
        pictures += [Picture(base64.b64decode(v)).data for v in values]
        continue
    if k == 'trkn':
        values = ['%d/%d' % v for v in values]
    values = [v.decode('utf-8') if isinstance(v, bytes) else str(v) for v in values]
    print('%s=%s' % (k, values[0]))
if hasattr(f, 'pictures'):
    pictures += [p.data for p in f.pictures]
print('cover=%s' % ('same' if pictures == [cover] else 'differs(%d)' % len(pictures)))
print('length=%.3f' % f.info.length)
)PY";
    const fs::path script = fs::temp_directory_path() / "cld_formats_mutagen.py";
    std::ofstream(script) << kScript;
    int status = -1;
    const std::string out = enginetest::run(
        "/usr/bin/python3 " + quoted(script) + " " + quoted(file) + " " + quoted(cover), status);
    std::map<std::string, std::string> tags;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos)
            tags[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return tags;
}

fs::path makeCover(const cldtest::TempDir& dir) {
    const fs::path cover = dir.file("cover.png");
    int status = -1;
    enginetest::run("ffmpeg -v error -f lavfi -i color=c=red:s=40x30 -frames:v 1 " + quoted(cover),
                    status);
    return cover;
}

// What ffprobe reads of a file in one call: the first audio stream's codec_name and
// duration_ts, and its tags (keys lower case; Ogg files carry theirs with the stream, the
// rest with the container).
std::map<std::string, std::string> probeAll(const fs::path& file) {
    int status = -1;
    const std::string out = enginetest::run("ffprobe -v error -select_streams a:0 -show_entries "
                                            "stream=codec_name,duration_ts:stream_tags:format_tags "
                                            "-of default=noprint_wrappers=1 " +
                                                quoted(file),
                                            status);
    std::map<std::string, std::string> fields;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq);
        if (key.rfind("TAG:", 0) == 0)
            key = key.substr(4);
        for (char& c : key)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        fields.emplace(key, line.substr(eq + 1));
    }
    return fields;
}

struct Format {
    const char* name;
    EncoderOptions options;
    const char* extension;
    const char* codec; // as ffprobe names it
};

} // namespace

// Each format decodes to exactly the input's length and carries every tag, the cover and
// the loudness as ffprobe and mutagen read them.
TEST(Formats, DecodeToTheInputsLengthWithTagsCoverAndLoudness) {
    if (!haveTools({"ffmpeg", "ffprobe", "opusdec", "oggdec", "flac"}))
        GTEST_SKIP() << "ffmpeg, ffprobe, opusdec, oggdec, flac and python3 mutagen are needed";
    cldtest::TempDir dir;
    const fs::path coverFile = makeCover(dir);
    const std::vector<uint8_t> cover = readBytes(coverFile);
    ASSERT_GT(cover.size(), 8u);
    const AudioTags tags = fullTags(cover);
    const size_t frames = 44100 * 2 + 333; // no whole number of any codec's frames
    const auto pcm = enginetest::tone(frames);
    for (const Format& f : {Format{"opus", {{"bitrate", "128"}}, ".opus", "opus"},
                            Format{"vorbis", {{"quality", "5"}}, ".ogg", "vorbis"},
                            Format{"aac", {{"bitrate", "192"}}, ".m4a", "aac"},
                            Format{"flac", {{"level", "5"}}, ".flac", "flac"}}) {
        SCOPED_TRACE(f.name);
        const fs::path out = dir.file(std::string("tagged") + f.extension);
        ASSERT_TRUE(encode(f.name, f.options, out, pcm, tags));
        auto probed = probeAll(out);
        EXPECT_EQ(probed["codec_name"], f.codec);

        // The length: ffmpeg decodes Opus at 48 kHz, the rest at the input's rate.
        const std::string codec = f.codec;
        const size_t expected =
            codec == "opus" ? static_cast<size_t>(std::ceil(frames * 48000.0 / 44100)) : frames;
        // FFmpeg's MP4 reader drops the encoder's delay that the edit list names, but
        // decodes the last AAC frame whole: the file's own length is the edit list's, and
        // the decoded audio is that and the padding to a whole frame.
        if (codec == "aac") {
            EXPECT_EQ(probed["duration_ts"], std::to_string(frames));
            EXPECT_EQ(decoded(out).size(), 2 * ((frames + 1023) / 1024 * 1024));
        } else {
            EXPECT_EQ(decoded(out).size(), 2 * expected);
        }
        int status = -1;
        if (codec == "opus") {
            // opusdec gives back the input's rate, from the header.
            const std::string raw =
                enginetest::run("opusdec --quiet " + quoted(out) + " - 2>/dev/null", status);
            EXPECT_EQ(raw.size() / 4, frames);
        } else if (codec == "vorbis") {
            const std::string raw =
                enginetest::run("oggdec --quiet --raw -o - " + quoted(out), status);
            EXPECT_EQ(raw.size() / 4, frames);
        } else if (codec == "flac") {
            const std::string raw = enginetest::run(
                "flac -d -c -s --force-raw-format --endian=little --sign=signed " + quoted(out),
                status);
            EXPECT_TRUE(raw == std::string(pcm.begin(), pcm.end())); // bit-exact
        }

        EXPECT_EQ(probed["title"], "Überall Zeit");
        EXPECT_EQ(probed["artist"], "Die Gruppe");
        EXPECT_EQ(probed["album"], "Platte");
        EXPECT_EQ(probed["date"], "1999");
        EXPECT_EQ(probed["genre"], "Rock");
        const std::string track = probed["track"];
        EXPECT_TRUE(track == "3/12" || track == "3") << track;

        auto m = mutagenTags(out, coverFile);
        EXPECT_EQ(m["cover"], "same");
        if (codec != "aac") { // mutagen counts an MP4 track's samples, the delay among them
            EXPECT_NEAR(number(m["length"]), frames / 44100.0, 0.0015);
        }
        if (codec == "aac") {
            EXPECT_EQ(m["\xc2\xa9nam"], "Überall Zeit");
            EXPECT_EQ(m["aart"], "Verschiedene");
            EXPECT_EQ(m["trkn"], "3/12");
            EXPECT_EQ(m["----:com.apple.itunes:discid"], "a10b2c0d");
            EXPECT_EQ(m["----:com.apple.itunes:replaygain_track_gain"], "-6.48 dB");
            EXPECT_EQ(m["----:com.apple.itunes:replaygain_album_peak"], "0.999000");
            // iTunSMPB: 1024 samples of delay, the padding to whole frames, the length.
            char smpb[64];
            std::snprintf(smpb, sizeof smpb, " 00000000 00000400 %08X %016llX",
                          static_cast<unsigned>((frames + 1023) / 1024 * 1024 - frames),
                          static_cast<unsigned long long>(frames));
            EXPECT_EQ(m["----:com.apple.itunes:itunsmpb"].substr(0, 44), smpb);
        } else {
            EXPECT_EQ(m["title"], "Überall Zeit");
            EXPECT_EQ(m["albumartist"], "Verschiedene");
            EXPECT_EQ(m["tracknumber"], "3");
            EXPECT_EQ(m["tracktotal"], "12");
            EXPECT_EQ(m["discid"], "a10b2c0d");
            if (codec == "opus") {
                // Against -23 LUFS in 1/256 dB; no ReplayGain tags in an Opus file.
                EXPECT_EQ(m["r128_track_gain"], std::to_string(std::lround((-6.48 - 5) * 256)));
                EXPECT_EQ(m["r128_album_gain"], std::to_string(std::lround((-7.25 - 5) * 256)));
                EXPECT_EQ(m.count("replaygain_track_gain"), 0u);
            } else {
                EXPECT_EQ(m["replaygain_track_gain"], "-6.48 dB");
                EXPECT_EQ(m["replaygain_track_peak"], "0.988553");
                EXPECT_EQ(m["replaygain_album_gain"], "-7.25 dB");
                EXPECT_EQ(m["replaygain_album_peak"], "0.999000");
            }
        }

        // With the cover option off, no picture goes in.
        const fs::path bare = dir.file(std::string("bare") + f.extension);
        EncoderOptions noCover = f.options;
        noCover["cover"] = "0";
        ASSERT_TRUE(encode(f.name, noCover, bare, pcm, tags));
        EXPECT_EQ(mutagenTags(bare, coverFile)["cover"], "differs(0)");
    }
}

// Other inputs than CD audio: mono 24-bit at 48 kHz, and a rate AAC does not have.
TEST(Formats, OtherRatesAndWidthsKeepTheirLength) {
    if (!haveTools({"ffmpeg", "opusdec", "oggdec"}))
        GTEST_SKIP() << "ffmpeg, opusdec and oggdec are needed";
    cldtest::TempDir dir;
    const size_t frames = 48000 + 77;
    std::vector<uint8_t> pcm24;
    const auto pcm16 = enginetest::tone(frames, 1, 48000);
    for (size_t i = 0; i < pcm16.size(); i += 2) {
        pcm24.push_back(0x5A); // the lowest byte the 16-bit tone does not have
        pcm24.push_back(pcm16[i]);
        pcm24.push_back(pcm16[i + 1]);
    }
    for (const char* name : {"opus", "vorbis", "aac"}) {
        SCOPED_TRACE(name);
        const fs::path out = dir.file(std::string("mono24.") + name);
        ASSERT_TRUE(encode(name, {}, out, pcm24, {}, PcmFormat{48000, 1, 24}));
        if (std::string(name) == "aac")
            EXPECT_EQ(enginetest::probe(out, "stream=duration_ts"), std::to_string(frames));
        else
            EXPECT_EQ(decoded(out).size(), frames);
        // The decoded audio follows the input.
        EXPECT_GT(correlation(samplesOf(pcm16), decoded(out)), 0.98);
    }
    // 37800 Hz is no AAC rate: the file is at 48 kHz, as long as the input.
    const auto odd = enginetest::tone(37800, 2, 37800);
    const fs::path aac = dir.file("odd.m4a");
    ASSERT_TRUE(encode("aac", {}, aac, odd, {}, PcmFormat{37800, 2, 16}));
    EXPECT_EQ(enginetest::probe(aac, "stream=sample_rate"), "48000");
    EXPECT_NEAR(number(enginetest::probe(aac, "stream=duration_ts")), 48000.0, 2.0);
}

// Our encoders against the formats' own command-line encoders at the same settings: the
// decoded audio is as close to the input as theirs (within 1 dB of SNR) and follows it.
TEST(Formats, SoundAsTheFormatsOwnEncodersAtTheSameSettings) {
    if (!haveTools({"ffmpeg", "opusenc", "oggenc"}))
        GTEST_SKIP() << "ffmpeg, opusenc and oggenc are needed";
    cldtest::TempDir dir;
    const size_t frames = 44100 * 3;
    // A piece with a quiet part, so that a coarse encoder shows.
    auto pcm = enginetest::tone(frames);
    for (size_t i = pcm.size() / 2; i + 1 < pcm.size(); i += 2) {
        const auto s = static_cast<int16_t>(pcm[i] | pcm[i + 1] << 8);
        const auto q = static_cast<int16_t>(s / 16);
        pcm[i] = static_cast<uint8_t>(q & 0xFF);
        pcm[i + 1] = static_cast<uint8_t>((q >> 8) & 0xFF);
    }
    const fs::path wav = dir.file("source.wav");
    writeWav(wav, pcm);
    const std::vector<int16_t> source = samplesOf(pcm);
    struct Case {
        const char* name;
        EncoderOptions options;
        const char* extension;
        std::string peer;
    };
    for (const Case& c :
         {Case{"opus", {{"bitrate", "128"}}, ".opus", "opusenc --quiet --bitrate 128 "},
          Case{"vorbis", {{"quality", "5"}}, ".ogg", "oggenc --quiet -q5 -o "},
          Case{"aac", {{"bitrate", "192"}}, ".m4a", "ffmpeg -v error -i IN -c:a aac -b:a 192k "}}) {
        SCOPED_TRACE(c.name);
        const fs::path ours = dir.file(std::string("ours") + c.extension);
        const fs::path theirs = dir.file(std::string("theirs") + c.extension);
        ASSERT_TRUE(encode(c.name, c.options, ours, pcm, {}));
        std::string command = c.peer;
        if (std::string(c.name) == "aac")
            command = "ffmpeg -v error -i " + quoted(wav) + " -c:a aac -b:a 192k " + quoted(theirs);
        else if (std::string(c.name) == "vorbis")
            command += quoted(theirs) + " " + quoted(wav);
        else
            command += quoted(wav) + " " + quoted(theirs);
        int status = -1;
        enginetest::run(command + " 2>&1", status);
        ASSERT_EQ(status, 0) << command;
        // Both decoded at the input's rate (Opus through the same resampler).
        const auto a = decoded(ours, 44100);
        const auto b = decoded(theirs, 44100);
        ASSERT_FALSE(a.empty());
        ASSERT_FALSE(b.empty());
        const double oursSnr = snrDb(source, a);
        const double theirSnr = snrDb(source, b);
        EXPECT_GT(oursSnr, theirSnr - 1.0) << oursSnr << " dB against " << theirSnr;
        EXPECT_GT(correlation(source, a), 0.99);
        // Close in size: the same bitrate control.
        const double ratio =
            static_cast<double>(fs::file_size(ours)) / static_cast<double>(fs::file_size(theirs));
        EXPECT_GT(ratio, 0.85);
        EXPECT_LT(ratio, 1.15);
    }
}

// The loudness measured while encoding, as written into each format, against ffmpeg's
// ebur128 filter on the same audio: within 0.1 dB.
TEST(Formats, LoudnessValuesAgreeWithFfmpegsEbur128) {
    if (!haveTools({"ffmpeg"}))
        GTEST_SKIP() << "ffmpeg and python3 mutagen are needed";
    cldtest::TempDir dir;
    const auto pcm = enginetest::tone(44100 * 4);
    const fs::path wav = dir.file("source.wav");
    writeWav(wav, pcm);
    int status = -1;
    const std::string report =
        enginetest::run("ffmpeg -nostats -hide_banner -i " + quoted(wav) +
                            " -af ebur128 -f null - 2>&1 | grep -A1 'Integrated loudness' | grep "
                            "-o '[-0-9.]* LUFS'",
                        status);
    ASSERT_FALSE(report.empty());
    const double lufs = std::stod(report);

    LoudnessMeter meter(2, 44100);
    const std::vector<int16_t> samples = samplesOf(pcm);
    meter.addFrames(samples.data(), samples.size() / 2);
    ASSERT_TRUE(meter.valid());
    AudioTags tags;
    tags.title = "Loud";
    tags.trackGainDb = meter.gainDb();
    tags.trackPeak = meter.peak();
    tags.albumGainDb = meter.gainDb();
    tags.albumPeak = meter.peak();
    const fs::path none = dir.file("none.png");
    for (const char* name : {"flac", "vorbis", "opus", "aac"}) {
        SCOPED_TRACE(name);
        const fs::path out = dir.file(std::string("loud.") + name);
        ASSERT_TRUE(encode(name, {}, out, pcm, tags));
        auto m = mutagenTags(out, none);
        if (std::string(name) == "opus") {
            // R128 gains are against -23 LUFS.
            EXPECT_NEAR(number(m["r128_track_gain"]) / 256.0, -23.0 - lufs, 0.1);
            EXPECT_NEAR(number(m["r128_album_gain"]) / 256.0, -23.0 - lufs, 0.1);
        } else {
            const std::string prefix = std::string(name) == "aac" ? "----:com.apple.itunes:" : "";
            EXPECT_NEAR(number(m[prefix + "replaygain_track_gain"]), -18.0 - lufs, 0.1);
            EXPECT_NEAR(number(m[prefix + "replaygain_album_gain"]), -18.0 - lufs, 0.1);
        }
        if (std::string(name) == "aac") {
            // Sound Check: ten numbers, the gain as power ratios against 1/1000 and 1/2500
            // (0.1 dB is 2.3 %), the peak as a 16-bit sample; ffprobe and mutagen read the
            // same text.
            const std::string norm = m["----:com.apple.itunes:itunnorm"];
            EXPECT_EQ(probeAll(out)["itunnorm"], norm);
            std::istringstream in(norm);
            std::vector<unsigned long> values;
            for (std::string word; in >> word;) {
                EXPECT_EQ(word.size(), 8u) << norm;
                values.push_back(std::stoul(word, nullptr, 16));
            }
            ASSERT_EQ(values.size(), 10u) << norm;
            const double ratio = std::pow(10.0, (lufs + 18.0) / 10.0);
            EXPECT_NEAR(values[0] / (1000 * ratio), 1.0, 0.023);
            EXPECT_EQ(values[1], values[0]);
            EXPECT_NEAR(values[2] / (2500 * ratio), 1.0, 0.023);
            EXPECT_EQ(values[3], values[2]);
            EXPECT_NEAR(static_cast<double>(values[6]), meter.peak() * 32768, 1.0);
            EXPECT_EQ(values[7], values[6]);
        }
    }
}

// A WMA file carries the cover as its WM/Picture attribute, which ffprobe shows as an
// attached picture of the same bytes; with the option off there is none, and the audio
// is the same either way.
TEST(Formats, WmaCarriesTheCoverAsWmPicture) {
    if (!haveTools({"ffmpeg", "ffprobe"}))
        GTEST_SKIP() << "ffmpeg, ffprobe and python3 mutagen are needed";
    cldtest::TempDir dir;
    const fs::path coverFile = makeCover(dir);
    const auto pcm = enginetest::tone(44100);
    const AudioTags tags = fullTags(readBytes(coverFile));
    const fs::path with = dir.file("with.wma");
    const fs::path without = dir.file("without.wma");
    ASSERT_TRUE(encode("wma", {}, with, pcm, tags));
    ASSERT_TRUE(encode("wma", {{"cover", "0"}}, without, pcm, tags));
    int status = -1;
    const auto pictures = [&status](const fs::path& file) {
        return enginetest::run("ffprobe -v error -select_streams v -show_entries "
                               "stream=codec_name:stream_disposition=attached_pic -of csv=p=0 " +
                                   quoted(file),
                               status);
    };
    EXPECT_EQ(pictures(with), "png,1\n");
    EXPECT_EQ(pictures(without), "");
    const fs::path extracted = dir.file("extracted.png");
    enginetest::run("ffmpeg -v error -i " + quoted(with) + " -map 0:v -c copy -f image2 " +
                        quoted(extracted),
                    status);
    EXPECT_EQ(readBytes(extracted), readBytes(coverFile));
    EXPECT_EQ(probeAll(with)["title"], "Überall Zeit");
    const auto audio = decoded(with);
    EXPECT_FALSE(audio.empty());
    EXPECT_TRUE(audio == decoded(without));
}

// Settings no encoder has, and PCM a format cannot hold, are refused before anything is
// written, with the setting named.
TEST(Formats, AbsurdSettingsAreRefusedClearly) {
    cldtest::TempDir dir;
    struct Case {
        const char* name;
        EncoderOptions options;
        PcmFormat format;
        const char* named; // what the reason names
    };
    for (const Case& c : {
             Case{"opus", {{"bitrate", "0"}}, {}, "bitrate"},
             Case{"opus", {{"bitrate", "5000"}}, {}, "bitrate"},
             Case{"opus", {{"bitrate", "128k"}}, {}, "bitrate"},
             Case{"opus", {{"bitratemode", "abr"}}, {}, "bitratemode"},
             Case{"opus", {{"complexity", "11"}}, {}, "complexity"},
             Case{"opus", {}, {44100, 9, 16}, "channels"},
             Case{"vorbis", {{"quality", "11"}}, {}, "quality"},
             Case{"vorbis", {{"quality", "-1.5"}}, {}, "quality"},
             Case{"vorbis", {{"quality", "nan"}}, {}, "quality"},
             Case{"vorbis", {{"quality", ""}}, {}, "quality"},
             Case{"vorbis", {}, {44100, 2, 8}, "samples"},
             Case{"aac", {{"bitrate", "9999"}}, {}, "bitrate"},
             Case{"aac", {{"bitrate", "-1"}}, {}, "bitrate"},
             Case{"aac", {{"cover", "2"}}, {}, "cover"},
             Case{"flac", {{"cover", "yes"}}, {}, "cover"},
             Case{"wma", {{"cover", "-1"}}, {}, "cover"},
         }) {
        SCOPED_TRACE(std::string(c.name) + " " +
                     (c.options.empty() ? "format" : c.options.begin()->second));
        auto encoder = EncoderRegistry::instance().make(c.name, c.options);
        const fs::path out = dir.file(std::string("bad.") + c.name);
        EXPECT_FALSE(encoder->open(out.string(), c.format, {}, 0, false));
        EXPECT_EQ(encoder->fault(), EncoderFault::Settings);
        EXPECT_NE(encoder->error().find(c.named), std::string::npos) << encoder->error();
        EXPECT_FALSE(encoder->write(reinterpret_cast<const uint8_t*>("abcd"), 4));
        EXPECT_FALSE(encoder->finish());
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

// The album's values, added once every file of the album is made: each format gets them
// in its own way, and keeps its audio, its track values and its cover. A file that is no
// file of its kind is named and left as it was.
TEST(Formats, AlbumValuesAreAddedToFinishedFiles) {
    if (!haveTools({"ffmpeg"}))
        GTEST_SKIP() << "ffmpeg and python3 mutagen are needed";
    cldtest::TempDir dir;
    const fs::path coverFile = makeCover(dir);
    AudioTags tags = fullTags(readBytes(coverFile));
    tags.albumGainDb.reset();
    tags.albumPeak.reset();
    // Two pieces of different loudness.
    auto quiet = enginetest::tone(44100);
    for (size_t i = 0; i + 1 < quiet.size(); i += 2) {
        const auto q = static_cast<int16_t>(static_cast<int16_t>(quiet[i] | quiet[i + 1] << 8) / 4);
        quiet[i] = static_cast<uint8_t>(q & 0xFF);
        quiet[i + 1] = static_cast<uint8_t>((q >> 8) & 0xFF);
    }
    const std::vector<std::vector<uint8_t>> pieces = {enginetest::tone(44100), quiet};
    cld::engine::AlbumGain album;
    std::vector<const LoudnessMeter*> meters;
    std::vector<std::pair<fs::path, std::vector<int16_t>>> made;
    int n = 0;
    for (const char* name : {"flac", "vorbis", "opus", "aac"}) {
        for (const auto& pcm : pieces) {
            auto meter = std::make_unique<LoudnessMeter>(2, 44100);
            const std::vector<int16_t> samples = samplesOf(pcm);
            meter->addFrames(samples.data(), samples.size() / 2);
            AudioTags t = tags;
            t.trackGainDb = meter->gainDb();
            t.trackPeak = meter->peak();
            const fs::path out = dir.file("piece" + std::to_string(++n) +
                                          EncoderRegistry::instance().info(name)->extension);
            ASSERT_TRUE(encode(name, {}, out, pcm, t));
            made.emplace_back(out, decoded(out));
            meters.push_back(meter.get());
            album.add(out.string(), std::move(meter));
        }
    }
    // A file under a format's name that is none.
    const fs::path fake = dir.file("fake.flac");
    std::ofstream(fake) << "not a FLAC file";
    album.add(fake.string(), std::make_unique<LoudnessMeter>(2, 44100));
    double gain = 0, peak = 0;
    ASSERT_TRUE(LoudnessMeter::albumValues(meters, gain, peak));

    EXPECT_EQ(album.write(), std::vector<std::string>{fake.string()});
    for (const auto& [file, audio] : made) {
        SCOPED_TRACE(file.filename().string());
        auto m = mutagenTags(file, coverFile);
        EXPECT_EQ(m["cover"], "same");
        EXPECT_EQ(m["title"].empty() ? m["\xc2\xa9nam"] : m["title"], "Überall Zeit");
        const std::string ext = file.extension().string();
        if (ext == ".opus") {
            EXPECT_EQ(number(m["r128_album_gain"]), std::lround((gain - 5) * 256));
            EXPECT_FALSE(m["r128_track_gain"].empty());
        } else {
            const std::string prefix = ext == ".m4a" ? "----:com.apple.itunes:" : "";
            EXPECT_NEAR(number(m[prefix + "replaygain_album_gain"]), gain, 0.006);
            EXPECT_NEAR(number(m[prefix + "replaygain_album_peak"]), peak, 1e-6);
            EXPECT_FALSE(m[prefix + "replaygain_track_gain"].empty());
        }
        EXPECT_TRUE(decoded(file) == audio);
    }
    EXPECT_EQ(fs::file_size(fake), 15u);
}

// An input without a single sample still makes a whole file with its tags, which decodes
// to nothing. (FFmpeg shows an MP4 track without samples as no stream at all, as it does
// for the files of its own AAC encoder.) The Opus library cannot end a stream that never
// had audio: that file is refused, and nothing is left.
TEST(Formats, AnEmptyInputMakesAnEmptyFile) {
    if (!haveTools({"ffmpeg"}))
        GTEST_SKIP() << "ffmpeg and python3 mutagen are needed";
    cldtest::TempDir dir;
    for (const char* name : {"vorbis", "aac", "flac"}) {
        SCOPED_TRACE(name);
        const fs::path out =
            dir.file(std::string("empty") + EncoderRegistry::instance().info(name)->extension);
        ASSERT_TRUE(encode(name, {}, out, {}, fullTags({})));
        auto m = mutagenTags(out, dir.file("none"));
        EXPECT_EQ(m["title"].empty() ? m["\xc2\xa9nam"] : m["title"], "Überall Zeit");
        EXPECT_EQ(number(m["length"]), 0.0);
        if (std::string(name) != "aac") {
            int status = -1;
            const std::string pcm = enginetest::run(
                "ffmpeg -v error -i " + quoted(out) + " -f s16le -acodec pcm_s16le -", status);
            EXPECT_EQ(status, 0);
            EXPECT_EQ(pcm.size(), 0u);
        }
    }
    auto opus = EncoderRegistry::instance().make("opus");
    const fs::path out = dir.file("empty.opus");
    ASSERT_TRUE(opus->open(out.string(), PcmFormat{}, fullTags({}), 0, false));
    EXPECT_FALSE(opus->finish());
    EXPECT_EQ(opus->fault(), EncoderFault::Encoder);
    EXPECT_NE(opus->error().find("no audio"), std::string::npos) << opus->error();
    EXPECT_FALSE(fs::exists(out));
}
