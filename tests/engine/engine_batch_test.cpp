// The engine's file batch, driven as any front end drives it: a recording observer that
// answers the questions, no window, real encoders and decoders, outputs checked by ffprobe.
#include "FileBatch.h"
#include "FileWorkers.h"
#include "MediaFixtures.h"
#include "Processes.h"
#include "TempDir.h"
#include "TranscodeWorker.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <thread>

namespace fs = std::filesystem;
using namespace cld::engine;

namespace {

// Keeps every event and answers each question with the next scripted answer.
class RecordingObserver : public JobObserver {
public:
    std::vector<ItemStart> started;
    std::vector<ItemEnd> ended;
    std::vector<Question> questions;
    std::vector<Answer> answers; // taken in order; Stop when none is left
    std::optional<JobEnd> end;
    int progressEvents = 0;
    double lastShare = 0;
    std::function<void(const ItemStart&)> onStart;
    std::function<void(const ItemEnd&)> onEnd;

    void itemStarted(const ItemStart& s) override {
        started.push_back(s);
        if (onStart)
            onStart(s);
    }
    void progress(const Progress& p) override {
        ++progressEvents;
        EXPECT_GE(p.share + 1e-9, lastShare) << "the share done never goes back";
        lastShare = p.share;
    }
    void itemEnded(const ItemEnd& e) override {
        ended.push_back(e);
        if (onEnd)
            onEnd(e);
    }
    void finished(const JobEnd& e) override { end = e; }
    Answer ask(const Question& q) override {
        questions.push_back(q);
        if (answers.empty())
            return Answer::Stop;
        const Answer a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
};

std::vector<std::string> makeWavs(const fs::path& folder, const std::vector<std::string>& names,
                                  double seconds) {
    fs::create_directories(folder);
    std::vector<std::string> paths;
    for (const std::string& name : names) {
        const int frames = static_cast<int>(seconds * 44100);
        codectest::writeWav(folder / (name + ".wav"), codectest::makeSignal(frames, 44100, 2),
                            44100, 2);
        paths.push_back((folder / (name + ".wav")).string());
    }
    return paths;
}

FileBatchSpec batchInto(const std::vector<std::string>& inputs, const fs::path& out,
                        const std::string& extension, int width = 2) {
    FileBatchSpec setup;
    setup.inputs = inputs;
    setup.outputFolder = out.string() + "/";
    setup.extension = extension;
    setup.width = width;
    setup.pollMilliseconds = 50;
    fs::create_directories(out);
    return setup;
}

WorkerFactory mp3Workers() {
    Mp3EncodeSettings s;
    s.params.bitrate = 128;
    return [s] { return std::make_unique<Mp3EncodeWorker>(s); };
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

// A folder on two workers: every file converted and reported once, in input order; the
// outputs are whole MP3 files of the inputs' length; decoding them back gives WAV files.
TEST(EngineBatch, EncodesAndDecodesAFolderOnTwoWorkersReportingInInputOrder) {
    cldtest::TempDir dir;
    const auto wavs = makeWavs(dir.file("in"), {"a", "b", "c", "d", "e"}, 1.0);
    FileBatch job(batchInto(wavs, dir.file("mp3"), ".mp3"), mp3Workers());
    RecordingObserver obs;
    const JobEnd end = job.run(obs);
    EXPECT_EQ(end.result, JobResult::Completed);
    EXPECT_EQ(end.converted, 5u);
    ASSERT_TRUE(obs.end);
    ASSERT_EQ(obs.ended.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(obs.ended[i].index, i);
        EXPECT_EQ(obs.ended[i].outcome, ItemOutcome::Converted);
        const auto probe = codectest::probe(obs.ended[i].output);
        EXPECT_EQ(probe.at("stream.codec_name"), "mp3");
        EXPECT_NEAR(std::stod(probe.at("stream.duration")), 1.0, 0.06);
        EXPECT_GT(obs.ended[i].outputBytes, 0u);
    }
    EXPECT_TRUE(obs.questions.empty());
    EXPECT_GT(obs.progressEvents, 0);
    EXPECT_DOUBLE_EQ(obs.lastShare, 1.0);

    std::vector<std::string> mp3s;
    for (const ItemEnd& e : obs.ended)
        mp3s.push_back(e.output);
    FileBatch back(batchInto(mp3s, dir.file("wav"), ".wav"),
                   [] { return std::make_unique<Mp3DecodeWorker>(); });
    RecordingObserver obs2;
    EXPECT_EQ(back.run(obs2).result, JobResult::Completed);
    EXPECT_EQ(namesIn(dir.file("wav")),
              (std::vector<std::string>{"a.wav", "b.wav", "c.wav", "d.wav", "e.wav"}));
    EXPECT_EQ(codectest::readWav(dir.file("wav") / "c.wav").samples.size(), 44100u * 2);
}

// A broken file in the middle: the observer is asked once, by name; Skip goes on with the
// rest, Stop ends the batch with the files after it listed as not converted and no cut
// file under any final name.
TEST(EngineBatch, AFailedFileIsAskedAboutAndSkippedOrStopsTheBatch) {
    for (const Answer answer : {Answer::Skip, Answer::Stop}) {
        SCOPED_TRACE(answer == Answer::Skip ? "skip" : "stop");
        cldtest::TempDir dir;
        auto inputs = makeWavs(dir.file("in"), {"a", "c", "d"}, 0.5);
        const fs::path broken = dir.file("in") / "b.wav";
        std::ofstream(broken) << "RIFF but nothing a WAVE file needs";
        inputs.insert(inputs.begin() + 1, broken.string());
        FileBatch job(batchInto(inputs, dir.file("out"), ".mp3", 1), mp3Workers());
        RecordingObserver obs;
        obs.answers = {answer};
        const JobEnd end = job.run(obs);
        ASSERT_EQ(obs.questions.size(), 1u);
        const Question& q = obs.questions.front();
        EXPECT_EQ(q.kind, QuestionKind::SkipFailed);
        EXPECT_TRUE(q.canSkip);
        EXPECT_EQ(q.failed.input, broken.string());
        EXPECT_EQ(q.failed.failure.file, broken.string());
        EXPECT_TRUE(q.failed.failure.inputAtFault);
        EXPECT_NE(q.failed.failure.what, Failure::None);
        if (answer == Answer::Skip) {
            EXPECT_EQ(end.result, JobResult::Completed);
            EXPECT_EQ(end.converted, 3u);
            EXPECT_EQ(end.skipped, std::vector<std::string>{broken.string()});
            EXPECT_EQ(namesIn(dir.file("out")),
                      (std::vector<std::string>{"a.mp3", "c.mp3", "d.mp3"}));
        } else {
            EXPECT_EQ(end.result, JobResult::Stopped);
            EXPECT_EQ(end.converted, 1u);
            EXPECT_EQ(end.notConverted.size(), 3u);
            EXPECT_EQ(namesIn(dir.file("out")), std::vector<std::string>{"a.mp3"});
        }
        EXPECT_TRUE(cldtest::temporaryFilesIn(dir.file("out")).empty());
    }
}

// Names taken before the batch: asked once with every name in the way. Cancel writes
// nothing, Keep both numbers the new outputs, Replace replaces regular files only: a link
// at an output's name is never written through.
TEST(EngineBatch, TakenNamesAreAskedAboutOnceAndNeverWrittenThroughALink) {
    for (const Answer answer : {Answer::Cancel, Answer::KeepBoth, Answer::Replace}) {
        SCOPED_TRACE(static_cast<int>(answer));
        cldtest::TempDir dir;
        const auto wavs = makeWavs(dir.file("in"), {"a", "b", "c"}, 0.3);
        fs::create_directories(dir.file("out"));
        std::ofstream(dir.file("out") / "a.mp3") << "the user's own a";
        std::ofstream(dir.file("target")) << "the user's file behind a link";
        fs::create_symlink(dir.file("target"), dir.file("out") / "b.mp3");
        FileBatch job(batchInto(wavs, dir.file("out"), ".mp3"), mp3Workers());
        RecordingObserver obs;
        obs.answers = {answer, Answer::Skip};
        const JobEnd end = job.run(obs);
        ASSERT_GE(obs.questions.size(), 1u);
        EXPECT_EQ(obs.questions[0].kind, QuestionKind::TakenNames);
        EXPECT_EQ(obs.questions[0].taken.size(), 2u);
        EXPECT_EQ(codectest::readFile(dir.file("target")).size(), 29u);
        ASSERT_TRUE(fs::is_symlink(dir.file("out") / "b.mp3"));
        if (answer == Answer::Cancel) {
            EXPECT_EQ(end.result, JobResult::Cancelled);
            EXPECT_TRUE(obs.started.empty());
            EXPECT_EQ(namesIn(dir.file("out")), (std::vector<std::string>{"a.mp3", "b.mp3"}));
        } else if (answer == Answer::KeepBoth) {
            EXPECT_EQ(end.converted, 3u);
            EXPECT_EQ(
                namesIn(dir.file("out")),
                (std::vector<std::string>{"a (2).mp3", "a.mp3", "b (2).mp3", "b.mp3", "c.mp3"}));
            EXPECT_EQ(codectest::readFile(dir.file("out") / "a.mp3").size(), 16u);
        } else {
            // The regular file is replaced; the link is refused and reported.
            EXPECT_EQ(codectest::probe(dir.file("out") / "a.mp3").at("stream.codec_name"), "mp3");
            ASSERT_EQ(obs.questions.size(), 2u);
            EXPECT_EQ(obs.questions[1].failed.input, wavs[1]);
            EXPECT_FALSE(obs.questions[1].failed.failure.inputAtFault);
            EXPECT_EQ(end.converted, 2u);
        }
    }
}

// A file that appears under an output's name after the names were settled (another
// program, a second run) is not replaced: that file fails, the others go on.
TEST(EngineBatch, AFileAppearingUnderAFreeNameMidBatchIsNotReplaced) {
    cldtest::TempDir dir;
    const auto wavs = makeWavs(dir.file("in"), {"a", "b"}, 0.3);
    FileBatch job(batchInto(wavs, dir.file("out"), ".mp3", 1), mp3Workers());
    RecordingObserver obs;
    obs.answers = {Answer::Skip};
    obs.onStart = [&](const ItemStart& s) {
        if (s.index == 0)
            std::ofstream(dir.file("out") / "b.mp3") << "arrived meanwhile";
    };
    const JobEnd end = job.run(obs);
    EXPECT_EQ(end.converted, 1u);
    ASSERT_EQ(obs.questions.size(), 1u);
    EXPECT_EQ(obs.questions[0].failed.failure.what, Failure::OutputNotCreated);
    EXPECT_EQ(codectest::readFile(dir.file("out") / "b.mp3").size(), 17u);
}

// Cancel from another thread while the first files convert: nothing starts after it, the
// files cut short are kept as NAME.part (never under their names), the rest never begun.
TEST(EngineBatch, CancelFromAnotherThreadKeepsCutFilesAsPartAndStartsNothing) {
    cldtest::TempDir dir;
    const auto wavs = makeWavs(dir.file("in"), {"a", "b", "c", "d"}, 20.0);
    FileBatch job(batchInto(wavs, dir.file("out"), ".mp3", 2), mp3Workers());
    RecordingObserver obs;
    std::atomic<bool> startedTwo{false};
    obs.onStart = [&](const ItemStart& s) {
        if (s.index == 1)
            startedTwo = true;
    };
    std::thread canceller([&] {
        cldtest::waitUntil([&] { return startedTwo.load(); });
        job.cancel();
    });
    const JobEnd end = job.run(obs);
    canceller.join();
    EXPECT_EQ(end.result, JobResult::Aborted);
    EXPECT_EQ(obs.started.size(), 2u) << "nothing starts after cancel";
    EXPECT_EQ(end.keptPartials.size(), 2u);
    EXPECT_EQ(namesIn(dir.file("out")), (std::vector<std::string>{"a.mp3.part", "b.mp3.part"}));
    EXPECT_TRUE(obs.questions.empty());
}

// Album mode: the files of each output folder are one album, written once the folder's
// last file has ended, wherever its files stand in the input order. A file put in place
// of an output behind the batch's back (a link to another file) is not written through:
// it is named as failed, and the file behind it stays as it was.
TEST(EngineBatch, AlbumModeAddsEachFoldersValuesOnceItsFilesAreWritten) {
    cldtest::TempDir dir;
    // Four inputs of different levels: x/a, x/b and x/d are one album, y/c another.
    std::vector<std::string> inputs;
    const int frames = 44100;
    for (const double level : {1.0, 0.5, 0.25, 0.125}) {
        std::vector<int16_t> signal = codectest::makeSignal(frames, 44100, 2);
        for (int16_t& v : signal)
            v = static_cast<int16_t>(v * level);
        const fs::path wav = dir.file("in") / ("level" + std::to_string(inputs.size()) + ".wav");
        fs::create_directories(wav.parent_path());
        codectest::writeWav(wav, signal, 44100, 2);
        inputs.push_back(wav.string());
    }
    FileBatchSpec setup = batchInto(inputs, dir.file("out"), ".flac", 1);
    setup.outputs = {dir.file("out/x/a.flac").string(), dir.file("out/x/b.flac").string(),
                     dir.file("out/y/c.flac").string(), dir.file("out/x/d.flac").string()};
    fs::create_directories(dir.file("out/x"));
    fs::create_directories(dir.file("out/y"));
    setup.albumGain = true;
    FileBatch job(setup, [] {
        auto worker = std::make_unique<TranscodeWorker>("flac");
        worker->setMeasureLoudness(true);
        return worker;
    });
    RecordingObserver obs;
    const fs::path victim = dir.file("victim.flac");
    std::ofstream(victim) << "a file of the user's";
    obs.onEnd = [&](const ItemEnd& e) {
        const auto tags = codectest::probe(e.output);
        if (e.index == 0) {
            // Before its album is complete, a.flac becomes a link to the user's file.
            fs::remove(e.output);
            fs::create_symlink(victim, e.output);
        }
        if (e.index == 1) {
            EXPECT_TRUE(tags.count("tag.REPLAYGAIN_TRACK_GAIN"));
            EXPECT_FALSE(tags.count("tag.REPLAYGAIN_ALBUM_GAIN")) << "x is not complete yet";
        }
        if (e.index == 3) {
            EXPECT_TRUE(codectest::probe(setup.outputs[2]).count("tag.REPLAYGAIN_ALBUM_GAIN"))
                << "y's one file is its whole album";
            EXPECT_FALSE(tags.count("tag.REPLAYGAIN_ALBUM_GAIN")) << "x's values come after";
        }
    };
    EXPECT_EQ(job.run(obs).result, JobResult::Completed);
    EXPECT_EQ(job.albumGainFailed(), std::vector<std::string>{setup.outputs[0]});
    EXPECT_TRUE(fs::is_symlink(setup.outputs[0]));
    EXPECT_EQ(codectest::readFile(victim).size(), 20u);

    const auto number = [](const std::map<std::string, std::string>& tags, const char* key) {
        const auto it = tags.find(key);
        return it == tags.end() ? std::nan("") : std::stod(it->second);
    };
    const auto b = codectest::probe(setup.outputs[1]);
    const auto c = codectest::probe(setup.outputs[2]);
    const auto d = codectest::probe(setup.outputs[3]);
    // One album for x, whose loudness lies between its loud and its quiet file's.
    EXPECT_EQ(b.at("tag.REPLAYGAIN_ALBUM_GAIN"), d.at("tag.REPLAYGAIN_ALBUM_GAIN"));
    EXPECT_EQ(b.at("tag.REPLAYGAIN_ALBUM_PEAK"), d.at("tag.REPLAYGAIN_ALBUM_PEAK"));
    EXPECT_LT(number(b, "tag.REPLAYGAIN_ALBUM_GAIN"), number(d, "tag.REPLAYGAIN_TRACK_GAIN") - 1);
    EXPECT_NEAR(number(d, "tag.REPLAYGAIN_TRACK_GAIN") - number(b, "tag.REPLAYGAIN_TRACK_GAIN"),
                20 * std::log10(0.5 / 0.125), 0.05);
    EXPECT_EQ(c.at("tag.REPLAYGAIN_ALBUM_GAIN"), c.at("tag.REPLAYGAIN_TRACK_GAIN"));
    EXPECT_EQ(b.at("stream.codec_name"), "flac");
}
