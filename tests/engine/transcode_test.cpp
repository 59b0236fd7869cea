// The transcoding worker: any input the program reads into an encoder of the registry,
// with its figures, its stop, and a typed failure for each way a file can go wrong.

#include "EngineFixtures.h"
#include "Processes.h"
#include "TempDir.h"
#include "TestEnv.h"
#include "TranscodeWorker.h"
#include "WmErrors.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/mount.h>

using cld::engine::Failure;
using cld::engine::ItemFailure;
using cld::engine::ItemOutcome;
using cld::engine::TranscodeWorker;
using enginetest::quoted;

namespace fs = std::filesystem;

namespace {

void writeBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// A FLAC file of `pcm` (16-bit stereo, 44100 Hz) with a title, made by the flac command.
bool makeFlac(const fs::path& raw, const fs::path& flac) {
    int status = -1;
    enginetest::run(
        "flac -s -f --force-raw-format --endian=little --sign=signed --channels=2 "
        "--bps=16 --sample-rate=44100 -T TITLE=Eingang -T ARTIST=Quelle -T GENRE=Rock -o " +
            quoted(flac) + " " + quoted(raw) + " 2>&1",
        status);
    return status == 0;
}

ItemOutcome convert(TranscodeWorker& worker, const fs::path& in, const fs::path& out,
                    ItemFailure& failure, bool replace = false) {
    if (!worker.begin(in.string(), out.string(), replace))
        return worker.end(failure);
    EXPECT_TRUE(cldtest::waitUntil([&] { return !worker.isBusy(); }));
    return worker.end(failure);
}

} // namespace

TEST(TranscodeWorker, ConvertsAnyInputExactlyWithItsNamesAndCounts) {
    if (!cldtest::haveTool("flac") || !cldtest::haveTool("metaflac"))
        GTEST_SKIP() << "the flac and metaflac commands are needed";
    cldtest::TempDir dir;
    const auto pcm = enginetest::tone(44100 * 3 + 5);
    writeBytes(dir.file("in.raw"), pcm);
    ASSERT_TRUE(makeFlac(dir.file("in.raw"), dir.file("in.flac")));

    // FLAC to WAV: the same samples behind the header, and the counters say so.
    TranscodeWorker toWav("wav");
    ItemFailure failure;
    ASSERT_EQ(convert(toWav, dir.file("in.flac"), dir.file("out.wav"), failure),
              ItemOutcome::Converted)
        << static_cast<int>(failure.what) << " " << failure.reason;
    EXPECT_EQ(toWav.position(), 100);
    EXPECT_EQ(toWav.samplesDone(), pcm.size() / 4);
    EXPECT_EQ(toWav.bytesDone(), pcm.size());
    int status = -1;
    const std::string wav = enginetest::run("cat " + quoted(dir.file("out.wav")), status);
    ASSERT_EQ(wav.size(), 44 + pcm.size());
    EXPECT_TRUE(wav.compare(44, std::string::npos, std::string(pcm.begin(), pcm.end())) == 0);

    // WAV to FLAC at level 8: lossless, and the names of a FLAC input go along.
    TranscodeWorker toFlac("flac", {{"level", "8"}});
    EXPECT_EQ(toFlac.extension(), ".flac");
    ASSERT_EQ(convert(toFlac, dir.file("out.wav"), dir.file("back.flac"), failure),
              ItemOutcome::Converted)
        << failure.reason;
    const std::string decoded =
        enginetest::run("flac -d -c -s --force-raw-format --endian=little --sign=signed " +
                            quoted(dir.file("back.flac")),
                        status);
    EXPECT_TRUE(decoded == std::string(pcm.begin(), pcm.end()));
    ASSERT_EQ(convert(toFlac, dir.file("in.flac"), dir.file("named.flac"), failure),
              ItemOutcome::Converted);
    EXPECT_EQ(enginetest::run("metaflac --show-tag=TITLE --show-tag=ARTIST " +
                                  quoted(dir.file("named.flac")),
                              status),
              "TITLE=Eingang\nARTIST=Quelle\n");

    // To MP3: the genre of the input's names gets its ID3 version 1 number.
    TranscodeWorker toMp3("mp3");
    toMp3.setGenreNumbers([](const std::string& genre) { return genre == "Rock" ? 17 : 255; });
    ASSERT_EQ(convert(toMp3, dir.file("in.flac"), dir.file("named.mp3"), failure),
              ItemOutcome::Converted);
    const std::string tail =
        enginetest::run("tail -c 128 " + quoted(dir.file("named.mp3")), status);
    ASSERT_EQ(tail.size(), 128u);
    EXPECT_EQ(tail.substr(0, 10), "TAGEingang");
    EXPECT_EQ(static_cast<unsigned char>(tail[127]), 17u);
}

TEST(TranscodeWorker, BrokenInputsTakenNamesAndUnknownEncodersFailWithTheirReason) {
    cldtest::TempDir dir;
    std::vector<std::uint8_t> garbage(20000);
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<std::uint8_t>(i * 7919 % 251);
    writeBytes(dir.file("broken.wav"), garbage);
    writeBytes(dir.file("broken.flac"), garbage);
    const auto pcm = enginetest::tone(4410);
    writeBytes(dir.file("raw.raw"), pcm);
    ItemFailure failure;

    TranscodeWorker worker("flac");
    for (const char* name : {"broken.wav", "broken.flac", "missing.wav"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(convert(worker, dir.file(name), dir.file("out.flac"), failure),
                  ItemOutcome::Failed);
        EXPECT_EQ(failure.what, Failure::InputUnreadable);
        EXPECT_TRUE(failure.inputAtFault);
        EXPECT_EQ(failure.file, dir.file(name).string());
        EXPECT_EQ(failure.code, 101);
    }
    EXPECT_FALSE(fs::exists(dir.file("out.flac")));

    // A taken name stays as it was unless replacing is allowed.
    std::ofstream(dir.file("taken.flac")) << "keep";
    if (cldtest::haveTool("flac")) {
        ASSERT_TRUE(makeFlac(dir.file("raw.raw"), dir.file("good.flac")));
        EXPECT_EQ(convert(worker, dir.file("good.flac"), dir.file("taken.flac"), failure),
                  ItemOutcome::Failed);
        EXPECT_EQ(failure.what, Failure::OutputNotCreated);
        EXPECT_FALSE(failure.inputAtFault);
        EXPECT_EQ(failure.file, dir.file("taken.flac").string());
        EXPECT_EQ(fs::file_size(dir.file("taken.flac")), 4u);
        // The input itself as the output is refused.
        EXPECT_EQ(convert(worker, dir.file("good.flac"), dir.file("good.flac"), failure, true),
                  ItemOutcome::Failed);
        EXPECT_EQ(failure.what, Failure::OutputNotCreated);
    }

    // Settings an encoder refuses, and an encoder that does not exist.
    TranscodeWorker badLevel("flac", {{"level", "12"}});
    TranscodeWorker none("ogg");
    EXPECT_EQ(none.extension(), "");
    EXPECT_EQ(convert(none, dir.file("raw.raw"), dir.file("x.ogg"), failure), ItemOutcome::Failed);
    EXPECT_EQ(failure.what, Failure::EncoderRefused);
    if (cldtest::haveTool("flac")) {
        EXPECT_EQ(convert(badLevel, dir.file("good.flac"), dir.file("level.flac"), failure),
                  ItemOutcome::Failed);
        EXPECT_EQ(failure.what, Failure::EncoderRefused);
        EXPECT_FALSE(failure.inputAtFault);
        EXPECT_FALSE(fs::exists(dir.file("level.flac")));
    }
}

TEST(TranscodeWorker, AStoppedFileIsCompleteAndShorter) {
    cldtest::TempDir dir;
    const auto pcm = enginetest::tone(44100 * 30);
    // The input as a WAV file of the engine's own WAV encoder.
    {
        auto wav = cld::engine::EncoderRegistry::instance().make("wav");
        ASSERT_TRUE(wav->open(dir.file("long.wav").string(), {}, {}, 0, false));
        ASSERT_TRUE(wav->write(pcm.data(), pcm.size()));
        ASSERT_TRUE(wav->finish());
    }
    TranscodeWorker worker("wav");
    ASSERT_TRUE(worker.begin(dir.file("long.wav").string(), dir.file("cut.wav").string(), false));
    worker.stop();
    ASSERT_TRUE(cldtest::waitUntil([&] { return !worker.isBusy(); }));
    ItemFailure failure;
    EXPECT_EQ(worker.end(failure), ItemOutcome::Stopped);
    EXPECT_EQ(failure.what, Failure::None);
    ASSERT_TRUE(fs::exists(dir.file("cut.wav")));
    EXPECT_LT(fs::file_size(dir.file("cut.wav")), 44 + pcm.size());
    EXPECT_EQ((fs::file_size(dir.file("cut.wav")) - 44) % 4, 0u);
    EXPECT_EQ(fs::file_size(dir.file("cut.wav")) - 44, worker.bytesDone());
}

// A full disk: a small tmpfs, where the system can mount one (root only).
TEST(TranscodeWorker, AFullDiskFailsTheFileAsDiskFullAndLeavesNothing) {
    cldtest::TempDir dir;
    const fs::path small = dir.file("small");
    fs::create_directory(small);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here";
    // Unmounted however the test ends, before the folder is removed.
    struct Unmount {
        const fs::path& at;
        ~Unmount() { ::umount(at.c_str()); }
    } unmount{small};
    const auto pcm = enginetest::tone(44100 * 20);
    {
        auto wav = cld::engine::EncoderRegistry::instance().make("wav");
        ASSERT_TRUE(wav->open(dir.file("in.wav").string(), {}, {}, 0, false));
        ASSERT_TRUE(wav->write(pcm.data(), pcm.size()));
        ASSERT_TRUE(wav->finish());
    }
    for (const std::string& encoder : cld::engine::EncoderRegistry::instance().names()) {
        SCOPED_TRACE(encoder);
        // 20 seconds need more than the free room in every format.
        TranscodeWorker worker(encoder, {{"bitrate", "320"}});
        ItemFailure failure;
        EXPECT_EQ(convert(worker, dir.file("in.wav"), small / ("out." + encoder), failure),
                  ItemOutcome::Failed);
        EXPECT_EQ(failure.what, Failure::WriteFailed);
        EXPECT_TRUE(failure.diskFull);
        EXPECT_EQ(failure.detail, cld::wmerr::fromErrno(ENOSPC));
        EXPECT_EQ(failure.reason, std::strerror(ENOSPC));
        EXPECT_FALSE(failure.inputAtFault);
        EXPECT_TRUE(fs::is_empty(small));
    }
}

// With loudness measuring, the output carries the input's track values as ffmpeg's ebur128
// filter measures the input, within 0.1 dB, for a decoded input (read twice from its
// start) and for 24-bit and float samples; the worker hands the measure over once.
TEST(TranscodeWorker, MeasuredLoudnessAgreesWithFfmpegsEbur128) {
    if (!cldtest::haveTool("ffmpeg") || !cldtest::haveTool("flac") ||
        !cldtest::haveTool("metaflac"))
        GTEST_SKIP() << "ffmpeg, flac and metaflac are needed";
    cldtest::TempDir dir;
    const auto pcm = enginetest::tone(44100 * 3);
    writeBytes(dir.file("in.raw"), pcm);
    ASSERT_TRUE(makeFlac(dir.file("in.raw"), dir.file("in.flac")));
    int status = -1;
    for (const char* codec : {"pcm_s24le", "pcm_f32le"}) {
        enginetest::run("ffmpeg -v error -i " + quoted(dir.file("in.flac")) +
                            " -af volume=-7dB -c:a " + codec + " " +
                            quoted(dir.file(std::string(codec) + ".wav")),
                        status);
        ASSERT_EQ(status, 0) << codec;
    }
    TranscodeWorker worker("flac");
    worker.setMeasureLoudness(true);
    for (const char* input : {"in.flac", "pcm_s24le.wav", "pcm_f32le.wav"}) {
        SCOPED_TRACE(input);
        const std::string report =
            enginetest::run("ffmpeg -nostats -hide_banner -i " + quoted(dir.file(input)) +
                                " -af ebur128 -f null - 2>&1 | grep -A1 'Integrated loudness' | "
                                "grep -o '[-0-9.]* LUFS'",
                            status);
        ASSERT_FALSE(report.empty());
        const double gain = -18.0 - std::stod(report);
        ItemFailure failure;
        const fs::path out = dir.file(std::string(input) + ".flac");
        ASSERT_EQ(convert(worker, dir.file(input), out, failure), ItemOutcome::Converted)
            << failure.reason;
        EXPECT_EQ(worker.position(), 100);
        const std::string tag = enginetest::run(
            "metaflac --show-tag=REPLAYGAIN_TRACK_GAIN " + quoted(out) + " | cut -d= -f2", status);
        ASSERT_FALSE(tag.empty());
        EXPECT_NEAR(std::stod(tag), gain, 0.1);
        const auto meter = worker.takeLoudness();
        ASSERT_TRUE(meter);
        EXPECT_NEAR(meter->gainDb(), gain, 0.1);
        EXPECT_FALSE(worker.takeLoudness());
    }
    // Measuring off: no values, nothing to hand over.
    TranscodeWorker plain("flac");
    ItemFailure failure;
    const fs::path out = dir.file("plain.flac");
    ASSERT_EQ(convert(plain, dir.file("in.flac"), out, failure), ItemOutcome::Converted);
    EXPECT_EQ(enginetest::run("metaflac --show-tag=REPLAYGAIN_TRACK_GAIN " + quoted(out), status),
              "");
    EXPECT_FALSE(plain.takeLoudness());
}
