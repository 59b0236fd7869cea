#include "CEncoderProgressDlg.h"
#include "CMP3EncoderProgressDlg.h"
#include "CProgressBar.h"
#include "CodecJob.h"
#include "ConvertIds.h"
#include "ConvertPaths.h"
#include "ConvertTestKit.h"
#include "JobSpec.h"
#include "MediaFixtures.h"
#include "StringIds.h"
#include "WmEncoderControl.h"
#include "WmaProfiles.h"

#include <QLabel>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <random>
#include <sys/mount.h>
#include <sys/resource.h>
#include <thread>

using namespace cld;
using converttest::control;
using converttest::ConvertEnv;
using converttest::writeTestWav;
namespace fs = std::filesystem;

namespace {

double durationOf(const fs::path& file) {
    const auto probe = codectest::probe(file);
    const auto it = probe.find("stream.duration");
    return it == probe.end() ? -1.0 : std::atof(it->second.c_str());
}

std::string codecOf(const fs::path& file) {
    const auto probe = codectest::probe(file);
    const auto it = probe.find("stream.codec_name");
    return it == probe.end() ? std::string() : it->second;
}

void writeRandom(const fs::path& path, size_t bytes) {
    std::mt19937 rng(7);
    std::string data(bytes, '\0');
    for (char& c : data)
        c = static_cast<char>(rng() & 0xFF);
    data[0] = static_cast<char>(0xFF);
    std::ofstream(path, std::ios::binary) << data;
}

class Batch : public ::testing::Test {
protected:
    fs::path folder(const std::string& name) {
        const fs::path p = env.path(name);
        fs::create_directories(p);
        return p;
    }
    cld::engine::JobSpec folderJob(const fs::path& in, const fs::path& out) {
        cld::engine::JobSpec p;
        p.inputPath = in.string() + "/";
        p.outputPath = out.string() + "/";
        return p;
    }
    cld::engine::JobSpec fileJob(const fs::path& in, const fs::path& out) {
        cld::engine::JobSpec p;
        p.inputPath = in.string();
        p.outputPath = out.string();
        return p;
    }
    static void expectBarsAtEnd(QWidget* dlg) {
        for (int id : {IDC_CURRENT_BAR, IDC_OVERALL_BAR}) {
            auto* bar = control<CProgressBar>(dlg, id);
            ASSERT_NE(bar, nullptr);
            EXPECT_EQ(bar->pos(), bar->upper()) << id;
        }
    }
    static QString label(QWidget* dlg, int id) { return control<QLabel>(dlg, id)->text(); }
    // Presses Abort once the dialog's encoder or decoder has produced a partial output
    // (written under a temporary name in the output's folder until it is complete).
    void abortWhenExists(CBatchProgressDlg& dlg, const fs::path& output) {
        env.script->onWait = [&dlg, output](int) {
            std::error_code ec;
            const std::vector<fs::path> parts = cldtest::temporaryFilesIn(output.parent_path());
            if (!dlg.abortRequested() && !parts.empty() && fs::file_size(parts.front(), ec) > 4096)
                control<QWidget>(&dlg, IDC_CANCEL)
                    ->metaObject()
                    ->invokeMethod(control<QWidget>(&dlg, IDC_CANCEL), "click");
        };
    }
    ConvertEnv env;
};

} // namespace

TEST_F(Batch, FolderToMp3EncodesEveryWavAndEndsWithProcessCompleted) {
    const fs::path in = folder("in");
    const fs::path out = folder("in/MP3Files");
    writeTestWav(in / "one.wav", 1.5);
    writeTestWav(in / "Two.WAV", 0.5, 22050, 1);
    writeTestWav(in / "three.wav", 1.0);
    std::ofstream(in / "notes.txt") << "not audio";
    env.context.settings.setMp3BitrateType(1); // VBR, as the user might have it
    cld::engine::JobSpec job = folderJob(in, out);
    job.encodingBitrate = 96;
    CMP3EncoderProgressDlg dlg(env.context,
                               converttest::inMode(job, cld::engine::JobMode::FolderEncode));
    dlg.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(env.script->messages[0].icon, MessageIcon::Information);
    EXPECT_TRUE(dlg.completed());
    EXPECT_TRUE(dlg.windowTitle().endsWith(" Folder -> MP3 Encoding Progress"));
    EXPECT_EQ(label(&dlg, IDC_FILE_COUNT), "3 of 3");
    EXPECT_TRUE(label(&dlg, IDC_DISK_FREE).endsWith(" GB"));
    EXPECT_FALSE(control<CProgressBar>(&dlg, IDC_GRAB_BAR)->isEnabled());
    expectBarsAtEnd(&dlg);
    EXPECT_EQ(codecOf(out / "one.mp3"), "mp3");
    EXPECT_NEAR(durationOf(out / "one.mp3"), 1.5, 0.1);
    EXPECT_NEAR(durationOf(out / "Two.mp3"), 0.5, 0.1);
    EXPECT_NEAR(durationOf(out / "three.mp3"), 1.0, 0.1);
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 3);
    // The inputs are untouched.
    EXPECT_TRUE(fs::exists(in / "one.wav"));
}

// A folder job whose outputs' names are taken (the user's files, an earlier run's) asks
// once before anything runs: "Keep both" gives the new files numbers, "Cancel" converts
// nothing, "Replace" replaces the files of those names; nothing else is touched.
TEST_F(Batch, TakenOutputNamesAreAskedAboutOnce) {
    const fs::path in = folder("in");
    const fs::path out = folder("in/MP3Files");
    writeTestWav(in / "a.wav", 0.5);
    writeTestWav(in / "b.wav", 0.5);
    writeTestWav(in / "c.wav", 0.5);
    std::ofstream(out / "a.mp3") << "mine";
    std::ofstream(out / "c.mp3") << "mine too";
    int asked = 0;
    MessageResult reply = MessageResult::No;
    env.script->answer = [&](const Message& m) {
        if (m.stringId != IDS_NAMES_TAKEN_ASK)
            return MessageResult::Ok;
        ++asked;
        EXPECT_TRUE(m.text.startsWith("2 of the files")) << m.text.toStdString();
        return reply;
    };
    {
        CMP3EncoderProgressDlg dlg(
            env.context,
            converttest::inMode(folderJob(in, out), cld::engine::JobMode::FolderEncode));
        dlg.exec();
        EXPECT_TRUE(dlg.completed());
    }
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(codectest::shell("grep -qx mine " + codectest::quote(out / "a.mp3")), 0);
    EXPECT_NEAR(durationOf(out / "a (2).mp3"), 0.5, 0.1);
    EXPECT_NEAR(durationOf(out / "b.mp3"), 0.5, 0.1);
    EXPECT_NEAR(durationOf(out / "c (2).mp3"), 0.5, 0.1);
    fs::remove(out / "a (2).mp3");
    fs::remove(out / "b.mp3");
    fs::remove(out / "c (2).mp3");

    reply = MessageResult::Cancel;
    {
        CMP3EncoderProgressDlg dlg(
            env.context,
            converttest::inMode(folderJob(in, out), cld::engine::JobMode::FolderEncode));
        dlg.exec();
        EXPECT_FALSE(dlg.completed());
    }
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 2);

    reply = MessageResult::Yes;
    {
        CMP3EncoderProgressDlg dlg(
            env.context,
            converttest::inMode(folderJob(in, out), cld::engine::JobMode::FolderEncode));
        dlg.exec();
        EXPECT_TRUE(dlg.completed());
    }
    EXPECT_EQ(asked, 3);
    EXPECT_NEAR(durationOf(out / "a.mp3"), 0.5, 0.1);
    EXPECT_NEAR(durationOf(out / "c.mp3"), 0.5, 0.1);
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 3);
}

TEST_F(Batch, ManyShortFilesDoNotWaitSecondsEach) {
    const fs::path in = folder("many");
    for (int i = 0; i < 20; ++i)
        writeTestWav(in / ("f" + std::to_string(i) + ".wav"), 0.1);
    CMP3EncoderProgressDlg dlg(
        env.context,
        converttest::inMode(folderJob(in, folder("many/out")), cld::engine::JobMode::FolderEncode));
    dlg.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    // Every wait is asked in short slices that end once the job is done: far fewer
    // milliseconds are waited in total than one second per file.
    long asked = 0;
    for (int w : env.script->waits)
        asked += w;
    EXPECT_LT(asked, 20 * 1000);
}

TEST_F(Batch, FolderWithoutAudioFilesSaysSoBeforeAnyJob) {
    const fs::path in = folder("empty");
    std::ofstream(in / "cover.jpg") << "x";
    std::ofstream(in / "song.wma") << "x";
    CMP3EncoderProgressDlg dlg(
        env.context,
        converttest::inMode(folderJob(in, env.path("out")), cld::engine::JobMode::FolderEncode));
    dlg.exec();
    ASSERT_EQ(env.messageIds(), std::vector<int>{181});
    EXPECT_EQ(env.script->messages[0].text, "The selected folder does not contain any .WAV file !");
    EXPECT_FALSE(dlg.completed());
}

TEST_F(Batch, FolderOfCompressedFilesToMp3AndWmaKeepsTheirTags) {
    const fs::path in = folder("music");
    writeTestWav(in / "a-plain.wav", 1.0);
    writeTestWav(env.path("src.wav"), 1.0);
    const std::string tags = " -metadata title='Track' -metadata artist='Artist' -metadata "
                             "album='Album' -metadata date=2003 -metadata genre=Blues "
                             "-metadata track=7/9 ";
    const std::pair<const char*, const char*> inputs[] = {
        {"b.flac", "-c:a flac"}, {"c.ogg", "-c:a libvorbis"},  {"d.opus", "-c:a libopus"},
        {"e.m4a", "-c:a aac"},   {"f.mp3", "-c:a libmp3lame"}, {"G.FLAC", "-c:a flac"}};
    for (const auto& [name, codec] : inputs)
        ASSERT_EQ(codectest::shell("ffmpeg -v error -y -i " +
                                   codectest::quote(env.path("src.wav")) + " " + codec + tags +
                                   codectest::quote(in / name)),
                  0)
            << name;
    std::ofstream(in / "notes.txt") << "not audio";

    const fs::path out = folder("music/MP3Files");
    CMP3EncoderProgressDlg dlg(
        env.context, converttest::inMode(folderJob(in, out), cld::engine::JobMode::FolderEncode));
    dlg.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(label(&dlg, IDC_FILE_COUNT), "7 of 7");
    EXPECT_EQ(dlg.convertedCount(), 7);
    for (const char* name : {"b.mp3", "c.mp3", "d.mp3", "e.mp3", "f.mp3", "G.mp3"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(codecOf(out / name), "mp3");
        EXPECT_NEAR(durationOf(out / name), 1.0, 0.1);
        auto probe = codectest::probe(out / name);
        EXPECT_EQ(probe["tag.title"], "Track");
        EXPECT_EQ(probe["tag.artist"], "Artist");
        EXPECT_EQ(probe["tag.album"], "Album");
        EXPECT_EQ(probe["tag.date"], "2003");
        EXPECT_EQ(probe["tag.genre"], "Blues");
        // The UTF-8 tag keeps the input's count of tracks too.
        EXPECT_EQ(probe["tag.track"], "7/9");
    }
    EXPECT_EQ(codectest::probe(out / "a-plain.mp3").count("tag.title"), 0u)
        << "a WAV file brings no names";

    env.script->messages.clear();
    const fs::path wmaOut = folder("music/WMAFiles");
    CEncoderProgressDlg wma(
        env.context, converttest::inMode(folderJob(in, wmaOut), cld::engine::JobMode::FolderEncode),
        createMediaEncoder(env.context));
    wma.exec();
    ASSERT_EQ(env.messageIds(), std::vector<int>{156})
        << env.script->messages.front().text.toStdString();
    EXPECT_EQ(wma.convertedCount(), 7);
    for (const char* name : {"b.wma", "c.wma", "d.wma", "e.wma", "f.wma", "G.wma"}) {
        SCOPED_TRACE(name);
        auto probe = codectest::probe(wmaOut / name);
        EXPECT_EQ(probe["stream.codec_name"], "wmav2");
        EXPECT_EQ(probe["tag.title"], "Track");
        EXPECT_EQ(probe["tag.artist"], "Artist");
        EXPECT_EQ(probe["tag.album"], "Album");
    }

    // One file alone, with the output the settings dialog proposes for it.
    env.script->messages.clear();
    const fs::path single = fileModeOutput((in / "d.opus").string(), ".mp3");
    EXPECT_EQ(single, in / "d.mp3");
    CMP3EncoderProgressDlg one(env.context, converttest::inMode(fileJob(in / "d.opus", single),
                                                                cld::engine::JobMode::FileEncode));
    one.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(codectest::probe(single)["tag.title"], "Track");
    EXPECT_EQ(codectest::probe(single)["stream.sample_rate"], "48000");
}

TEST_F(Batch, DamagedCompressedFilesAreSkippedByNameAndLeaveNoOutput) {
    const fs::path in = folder("damaged");
    writeTestWav(env.path("src.wav"), 2.0);
    const auto make = [&](const fs::path& file, const std::string& codec) {
        ASSERT_EQ(codectest::shell("ffmpeg -v error -y -i " +
                                   codectest::quote(env.path("src.wav")) + " " + codec + " " +
                                   codectest::quote(file)),
                  0);
    };
    make(in / "a-good.flac", "-c:a flac");
    // A FLAC file whose stored MD5 does not match its audio.
    make(in / "b-badsum.flac", "-c:a flac");
    std::vector<uint8_t> bytes = codectest::readFile(in / "b-badsum.flac");
    bytes[8 + 18] ^= 0xFF;
    codectest::writeFile(in / "b-badsum.flac", bytes);
    // An Ogg file cut in half.
    make(env.path("whole.ogg"), "-c:a libvorbis");
    bytes = codectest::readFile(env.path("whole.ogg"));
    bytes.resize(bytes.size() / 2);
    codectest::writeFile(in / "c-cut.ogg", bytes);
    // An M4A file with a picture and no sound.
    ASSERT_EQ(codectest::shell("ffmpeg -v error -y -f lavfi -i testsrc=d=1:s=64x48:r=5 "
                               "-c:v mpeg4 -f mp4 " +
                               codectest::quote(in / "d-silent.m4a")),
              0);
    // An MP3 file that is a FLAC file.
    make(in / "e-lies.mp3", "-c:a flac -f flac");
    env.script->answer = [](const Message& m) {
        return m.buttons == MessageButtons::YesNo ? MessageResult::Yes : MessageResult::Ok;
    };
    const std::vector<std::string> damaged = {"b-badsum.flac", "c-cut.ogg", "d-silent.m4a",
                                              "e-lies.mp3"};

    const fs::path out = folder("damaged/MP3Files");
    CMP3EncoderProgressDlg dlg(
        env.context, converttest::inMode(folderJob(in, out), cld::engine::JobMode::FolderEncode));
    dlg.exec();
    ASSERT_EQ(env.messageIds(), (std::vector<int>{197, 197, 197, 197, 156}));
    for (size_t i = 0; i < damaged.size(); ++i) {
        const QString text = env.script->messages[i].text;
        EXPECT_TRUE(text.contains(QString::fromStdString((in / damaged[i]).string())))
            << text.toStdString();
        EXPECT_TRUE(text.contains("Reason: ")) << text.toStdString();
    }
    EXPECT_TRUE(env.script->messages[0].text.contains("checksum"));
    EXPECT_TRUE(env.script->messages[1].text.contains("cut short"));
    EXPECT_TRUE(env.script->messages[3].text.contains("not of the kind its name says"));
    EXPECT_EQ(dlg.convertedCount(), 1);
    std::vector<std::string> written;
    for (const auto& e : fs::directory_iterator(out))
        written.push_back(e.path().filename().string());
    EXPECT_EQ(written, std::vector<std::string>{"a-good.mp3"});

    env.script->messages.clear();
    const fs::path wmaOut = folder("damaged/WMAFiles");
    CEncoderProgressDlg wma(
        env.context, converttest::inMode(folderJob(in, wmaOut), cld::engine::JobMode::FolderEncode),
        createMediaEncoder(env.context));
    wma.exec();
    ASSERT_EQ(env.messageIds(), (std::vector<int>{195, 195, 195, 195, 156}));
    for (size_t i = 0; i < damaged.size(); ++i)
        EXPECT_TRUE(env.script->messages[i].text.contains(
            QString::fromStdString((in / damaged[i]).string())));
    written.clear();
    for (const auto& e : fs::directory_iterator(wmaOut))
        written.push_back(e.path().filename().string());
    EXPECT_EQ(written, std::vector<std::string>{"a-good.wma"});
}

TEST_F(Batch, BrokenFileInTheMiddleIsNamedAndSkippedOrStopsTheBatch) {
    const fs::path in = folder("mixed");
    writeTestWav(in / "a.wav", 0.5);
    writeRandom(in / "b.wav", 20000);
    writeTestWav(in / "c.wav", 0.5);
    writeTestWav(in / "d.wav", 0.5);
    // "Yes": the broken file is skipped and the others are converted.
    const fs::path out = folder("mixed/out");
    env.script->answer = [](const Message& m) {
        return m.buttons == MessageButtons::YesNo ? MessageResult::Yes : MessageResult::Ok;
    };
    CMP3EncoderProgressDlg skip(
        env.context, converttest::inMode(folderJob(in, out), cld::engine::JobMode::FolderEncode));
    skip.exec();
    // Random bytes are no WAVE file: the format message, naming the file and the reason.
    ASSERT_EQ(env.messageIds(), (std::vector<int>{197, 156}));
    const Message& question = env.script->messages[0];
    EXPECT_EQ(question.icon, MessageIcon::Error);
    EXPECT_EQ(question.buttons, MessageButtons::YesNo);
    EXPECT_TRUE(question.text.startsWith("Error: The input file has an invalid format."));
    EXPECT_TRUE(question.text.contains("Reason: The file is not a WAVE file"));
    EXPECT_TRUE(question.text.contains(QString::fromStdString((in / "b.wav").string())));
    EXPECT_TRUE(question.text.contains("skip this file"));
    const QString end = env.script->messages[1].text;
    EXPECT_TRUE(end.startsWith("Process completed.")) << end.toStdString();
    EXPECT_TRUE(end.contains("3 of 4 files were converted.")) << end.toStdString();
    EXPECT_TRUE(end.contains(QString::fromStdString((in / "b.wav").string())));
    EXPECT_TRUE(skip.completed());
    EXPECT_EQ(skip.convertedCount(), 3);
    EXPECT_EQ(skip.skippedFiles(), std::vector<std::string>{(in / "b.wav").string()});
    for (const char* name : {"a.mp3", "c.mp3", "d.mp3"})
        EXPECT_EQ(codecOf(out / name), "mp3") << name;
    EXPECT_FALSE(fs::exists(out / "b.mp3"));

    // "No": the batch stops at the broken file; what was done stays, and the end says
    // what was converted and what was not.
    env.script->messages.clear();
    env.script->answer = [](const Message&) { return MessageResult::No; };
    const fs::path out2 = folder("mixed/out2");
    CMP3EncoderProgressDlg stop(
        env.context, converttest::inMode(folderJob(in, out2), cld::engine::JobMode::FolderEncode));
    stop.exec();
    ASSERT_EQ(env.messageIds(), (std::vector<int>{197, IDS_BATCH_STOPPED}));
    const QString summary = env.script->messages[1].text;
    EXPECT_EQ(env.script->messages[1].buttons, MessageButtons::Ok);
    EXPECT_TRUE(summary.contains("1 of 4 files were converted.")) << summary.toStdString();
    const qsizetype notConverted = summary.indexOf("Not converted:");
    ASSERT_GE(notConverted, 0) << summary.toStdString();
    for (const char* name : {"b.wav", "c.wav", "d.wav"})
        EXPECT_GT(summary.indexOf(QString::fromStdString((in / name).string())), notConverted)
            << name << " in " << summary.toStdString();
    EXPECT_FALSE(summary.contains(QString::fromStdString((in / "a.wav").string())));
    EXPECT_FALSE(stop.completed());
    EXPECT_EQ(codecOf(out2 / "a.mp3"), "mp3");
    EXPECT_FALSE(fs::exists(out2 / "c.mp3"));
    EXPECT_FALSE(fs::exists(out2 / "d.mp3"));
    EXPECT_TRUE(fs::exists(in / "b.wav"));
}

TEST_F(Batch, EmptyOrBrokenFilesOfEveryFolderModeAreSkippedByName) {
    env.script->answer = [](const Message& m) {
        return m.buttons == MessageButtons::YesNo ? MessageResult::Yes : MessageResult::Ok;
    };
    // MP3 -> WAV, the first file empty.
    const fs::path mp3s = folder("mp3s");
    writeTestWav(env.path("s.wav"), 0.5);
    ASSERT_EQ(codectest::shell("lame --quiet " + codectest::quote(env.path("s.wav")) + " " +
                               codectest::quote(mp3s / "b.mp3")),
              0);
    std::ofstream(mp3s / "a.mp3").close();
    CMP3EncoderProgressDlg mp3(env.context,
                               converttest::inMode(folderJob(mp3s, folder("mp3s/out")),
                                                   cld::engine::JobMode::FolderDecode));
    mp3.exec();
    ASSERT_EQ(env.messageIds(), (std::vector<int>{202, 156}));
    EXPECT_TRUE(
        env.script->messages[0].text.contains(QString::fromStdString((mp3s / "a.mp3").string())));
    EXPECT_TRUE(env.script->messages[1].text.contains("1 of 2 files were converted."));
    EXPECT_EQ(codecOf(mp3s / "out" / "b.wav"), "pcm_s16le");

    // WMA -> WAV, the first file empty.
    env.script->messages.clear();
    const fs::path wmas = folder("wmas");
    ASSERT_EQ(codectest::shell("ffmpeg -v error -y -i " + codectest::quote(env.path("s.wav")) +
                               " -c:a wmav2 " + codectest::quote(wmas / "b.wma")),
              0);
    std::ofstream(wmas / "a.wma").close();
    CEncoderProgressDlg wma(env.context,
                            converttest::inMode(folderJob(wmas, folder("wmas/out")),
                                                cld::engine::JobMode::FolderDecode),
                            nullptr);
    wma.exec();
    ASSERT_EQ(env.messageIds(), (std::vector<int>{195, 156}));
    EXPECT_TRUE(
        env.script->messages[0].text.contains(QString::fromStdString((wmas / "a.wma").string())));
    EXPECT_EQ(wma.skippedFiles(), std::vector<std::string>{(wmas / "a.wma").string()});
    EXPECT_EQ(codecOf(wmas / "out" / "b.wav"), "pcm_s16le");

    // Folder -> WMA with a broken WAV among good ones.
    env.script->messages.clear();
    const fs::path wavs = folder("wavs");
    writeTestWav(wavs / "a.wav", 0.5);
    std::ofstream(wavs / "b.wav").close();
    writeTestWav(wavs / "c.wav", 0.5);
    CEncoderProgressDlg toWma(env.context,
                              converttest::inMode(folderJob(wavs, folder("wavs/out")),
                                                  cld::engine::JobMode::FolderEncode),
                              createMediaEncoder(env.context));
    toWma.exec();
    ASSERT_EQ(env.messageIds().size(), 2u);
    EXPECT_EQ(env.script->messages[0].buttons, MessageButtons::YesNo);
    EXPECT_TRUE(
        env.script->messages[0].text.contains(QString::fromStdString((wavs / "b.wav").string())));
    EXPECT_EQ(env.messageIds()[1], 156);
    EXPECT_EQ(toWma.convertedCount(), 2);
    EXPECT_EQ(codecOf(wavs / "out" / "a.wma"), "wmav2");
    EXPECT_EQ(codecOf(wavs / "out" / "c.wma"), "wmav2");
    EXPECT_FALSE(fs::exists(wavs / "out" / "b.wma"));
}

TEST_F(Batch, FailureAfterTheStartIsReportedNotCompleted) {
    // The output's folder does not exist: the encoder starts and then cannot create it.
    writeTestWav(env.path("in.wav"), 0.5);
    CMP3EncoderProgressDlg dlg(
        env.context, converttest::inMode(fileJob(env.path("in.wav"), env.path("gone/out.mp3")),
                                         cld::engine::JobMode::FileEncode));
    dlg.exec();
    ASSERT_EQ(env.messageIds(), std::vector<int>{196});
    const QString text = env.script->messages[0].text;
    EXPECT_TRUE(text.contains(QString::fromStdString(env.path("gone/out.mp3").string())));
    EXPECT_TRUE(text.contains(QStringLiteral("Reason: ") + std::strerror(ENOENT)));
    EXPECT_FALSE(dlg.completed());
    EXPECT_TRUE(dlg.windowTitle().endsWith(" File -> MP3 Encoding Progress"));
}

TEST_F(Batch, AbortInFolderToMp3KeepsThePartialFileAndStartsNoOther) {
    const fs::path in = folder("long");
    writeTestWav(in / "a.wav", 30);
    writeTestWav(in / "b.wav", 1);
    const fs::path out = folder("long/out");
    // One file after another: b waits for a (several at once: see the parallel tests).
    env.context.settings.setParallelJobs(1);
    CMP3EncoderProgressDlg dlg(
        env.context, converttest::inMode(folderJob(in, out), cld::engine::JobMode::FolderEncode));
    abortWhenExists(dlg, out / "a.mp3");
    dlg.exec();
    // The file cut short is kept aside, never under its final name, and named.
    ASSERT_EQ(env.messageIds(), std::vector<int>{191});
    EXPECT_TRUE(env.script->messages[0].text.contains(
        QString::fromStdString((out / "a.mp3.part").string())));
    EXPECT_FALSE(dlg.completed());
    EXPECT_FALSE(fs::exists(out / "a.mp3"));
    EXPECT_EQ(codecOf(out / "a.mp3.part"), "mp3");
    EXPECT_LT(durationOf(out / "a.mp3.part"), 29.0);
    EXPECT_FALSE(fs::exists(out / "b.mp3"));
}

TEST_F(Batch, Mp3ToWavFolderAndFile) {
    const fs::path in = folder("mp3s");
    writeTestWav(env.path("src.wav"), 1.0);
    ASSERT_EQ(codectest::shell("lame --quiet -b 128 " + codectest::quote(env.path("src.wav")) +
                               " " + codectest::quote(in / "x.mp3")),
              0);
    fs::copy_file(in / "x.mp3", in / "y.MP3");
    const fs::path out = folder("mp3s/WAVFiles");
    CMP3EncoderProgressDlg dlg(
        env.context, converttest::inMode(folderJob(in, out), cld::engine::JobMode::FolderDecode));
    dlg.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_TRUE(dlg.windowTitle().endsWith("MP3 Folder -> WAV Decoding Progress"));
    expectBarsAtEnd(&dlg);
    for (const char* name : {"x.wav", "y.wav"}) {
        EXPECT_EQ(codecOf(out / name), "pcm_s16le") << name;
        EXPECT_NEAR(durationOf(out / name), 1.0, 0.06) << name;
    }

    env.script->messages.clear();
    CMP3EncoderProgressDlg file(env.context,
                                converttest::inMode(fileJob(in / "x.mp3", env.path("single.wav")),
                                                    cld::engine::JobMode::FileDecode));
    file.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(codecOf(env.path("single.wav")), "pcm_s16le");
}

TEST_F(Batch, Mp3DecodeMessagesForEmptyFoldersBrokenFilesAndAbort) {
    CMP3EncoderProgressDlg empty(env.context,
                                 converttest::inMode(folderJob(folder("none"), env.path("o")),
                                                     cld::engine::JobMode::FolderDecode));
    empty.exec();
    ASSERT_EQ(env.messageIds(), std::vector<int>{190});
    EXPECT_EQ(env.script->messages[0].text, "The selected folder does not contain any .MP3 file !");

    env.script->messages.clear();
    std::ofstream(env.path("zeros.mp3"), std::ios::binary) << std::string(5000, '\0');
    CMP3EncoderProgressDlg broken(
        env.context, converttest::inMode(fileJob(env.path("zeros.mp3"), env.path("z.wav")),
                                         cld::engine::JobMode::FileDecode));
    broken.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{202});

    env.script->messages.clear();
    writeTestWav(env.path("long.wav"), 120);
    ASSERT_EQ(codectest::shell("lame --quiet -b 32 " + codectest::quote(env.path("long.wav")) +
                               " " + codectest::quote(env.path("long.mp3"))),
              0);
    CMP3EncoderProgressDlg aborted(
        env.context, converttest::inMode(fileJob(env.path("long.mp3"), env.path("l.wav")),
                                         cld::engine::JobMode::FileDecode));
    abortWhenExists(aborted, env.path("l.wav"));
    aborted.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{191});
    // The partial output stays, as NAME.part.
    EXPECT_FALSE(fs::exists(env.path("l.wav")));
    EXPECT_EQ(codecOf(env.path("l.wav.part")), "pcm_s16le");
}

TEST_F(Batch, WavAndMp3FileToWma) {
    writeTestWav(env.path("in.wav"), 2.0);
    auto encoder = createMediaEncoder(env.context);
    CEncoderProgressDlg dlg(env.context,
                            converttest::inMode(fileJob(env.path("in.wav"), env.path("out.wma")),
                                                cld::engine::JobMode::FileEncode),
                            std::move(encoder));
    dlg.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_TRUE(dlg.windowTitle().endsWith(" File -> WMA Encoding Progress"));
    EXPECT_EQ(control<CProgressBar>(&dlg, IDC_CURRENT_BAR)->upper(), 2); // the WAV's seconds
    expectBarsAtEnd(&dlg);
    EXPECT_EQ(codecOf(env.path("out.wma")), "wmav2");
    EXPECT_NEAR(durationOf(env.path("out.wma")), 2.0, 0.2);
    EXPECT_TRUE(label(&dlg, IDC_OUTPUT_SIZE).endsWith(" MB"));

    // A WAV written by ffmpeg (its header holds a tag list before the audio) runs the bar
    // over its whole length as well.
    env.script->messages.clear();
    ASSERT_EQ(codectest::shell("ffmpeg -v error -y -i " + codectest::quote(env.path("in.wav")) +
                               " " + codectest::quote(env.path("tagged.wav"))),
              0);
    CEncoderProgressDlg tagged(
        env.context,
        converttest::inMode(fileJob(env.path("tagged.wav"), env.path("tagged.wma")),
                            cld::engine::JobMode::FileEncode),
        createMediaEncoder(env.context));
    tagged.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(control<CProgressBar>(&tagged, IDC_CURRENT_BAR)->upper(), 2);
    expectBarsAtEnd(&tagged);

    // An MP3 input fails the WAV check (said once) and is encoded all the same.
    env.script->messages.clear();
    ASSERT_EQ(codectest::shell("lame --quiet " + codectest::quote(env.path("in.wav")) + " " +
                               codectest::quote(env.path("in.mp3"))),
              0);
    CEncoderProgressDlg mp3(env.context,
                            converttest::inMode(fileJob(env.path("in.mp3"), env.path("mp3.wma")),
                                                cld::engine::JobMode::FileEncode),
                            createMediaEncoder(env.context));
    mp3.exec();
    // No WAV message for an input that is no WAV file; the media reader gives its length.
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(control<CProgressBar>(&mp3, IDC_CURRENT_BAR)->upper(), 2);
    EXPECT_EQ(codecOf(env.path("mp3.wma")), "wmav2");
}

TEST_F(Batch, FolderToWmaDoesTheWavsThenTheMp3sOnce) {
    const fs::path in = folder("wm");
    writeTestWav(in / "a.wav", 0.5);
    writeTestWav(env.path("b.wav"), 0.5);
    ASSERT_EQ(codectest::shell("lame --quiet " + codectest::quote(env.path("b.wav")) + " " +
                               codectest::quote(in / "b.mp3")),
              0);
    const fs::path out = folder("wm/WMAFiles");
    CEncoderProgressDlg dlg(
        env.context, converttest::inMode(folderJob(in, out), cld::engine::JobMode::FolderEncode),
        createMediaEncoder(env.context));
    dlg.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(label(&dlg, IDC_FILE_COUNT), "2 of 2");
    EXPECT_EQ(codecOf(out / "a.wma"), "wmav2");
    EXPECT_EQ(codecOf(out / "b.wma"), "wmav2");

    env.script->messages.clear();
    CEncoderProgressDlg none(
        env.context,
        converttest::inMode(folderJob(folder("nowav"), out), cld::engine::JobMode::FolderEncode),
        createMediaEncoder(env.context));
    none.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{181});
}

TEST_F(Batch, WmaToWavAndItsAbort) {
    writeTestWav(env.path("src.wav"), 1.0);
    ASSERT_EQ(codectest::shell("ffmpeg -v error -y -i " + codectest::quote(env.path("src.wav")) +
                               " -c:a wmav2 " + codectest::quote(env.path("in/a.wma")) +
                               " 2>/dev/null || (mkdir -p " + codectest::quote(env.path("in")) +
                               " && ffmpeg -v error -y -i " +
                               codectest::quote(env.path("src.wav")) + " -c:a wmav2 " +
                               codectest::quote(env.path("in/a.wma")) + ")"),
              0);
    const fs::path out = folder("in/WAVFiles");
    CEncoderProgressDlg dlg(
        env.context,
        converttest::inMode(folderJob(env.path("in"), out), cld::engine::JobMode::FolderDecode),
        nullptr);
    dlg.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_TRUE(dlg.windowTitle().endsWith(" WMA Folder -> WAV Progress"));
    EXPECT_EQ(codecOf(out / "a.wav"), "pcm_s16le");
    EXPECT_NEAR(durationOf(out / "a.wav"), 1.0, 0.1);

    env.script->messages.clear();
    CEncoderProgressDlg missing(
        env.context,
        converttest::inMode(fileJob(env.path("nope.wma"), env.path("n.wav")),
                            cld::engine::JobMode::FileDecode),
        nullptr);
    missing.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{195});

    env.script->messages.clear();
    CEncoderProgressDlg empty(
        env.context,
        converttest::inMode(folderJob(folder("nowma"), out), cld::engine::JobMode::FolderDecode),
        nullptr);
    empty.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{190});
}

TEST_F(Batch, AbortInWmaEncodingSaysSo) {
    // Long enough that the encoder, at a few hundred times real time, is still busy when
    // the abort arrives.
    writeTestWav(env.path("long.wav"), 240);
    CEncoderProgressDlg dlg(env.context,
                            converttest::inMode(fileJob(env.path("long.wav"), env.path("long.wma")),
                                                cld::engine::JobMode::FileEncode),
                            createMediaEncoder(env.context));
    abortWhenExists(dlg, env.path("long.wma"));
    dlg.exec();
    ASSERT_EQ(env.messageIds(), std::vector<int>{191});
    const QString text = env.script->messages[0].text;
    EXPECT_TRUE(text.startsWith("Process aborted by user !")) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromStdString(env.path("long.wma.part").string())));
    EXPECT_FALSE(fs::exists(env.path("long.wma")));
    EXPECT_LT(durationOf(env.path("long.wma.part")), 230.0);
}

// A single file cut short by Abort ends as a file of a batch does: kept as NAME.part, never
// under its final name, and named in the abort message.
TEST_F(Batch, AbortInTheSingleFileModes) {
    writeTestWav(env.path("long.wav"), 60);
    CMP3EncoderProgressDlg mp3(
        env.context, converttest::inMode(fileJob(env.path("long.wav"), env.path("long.mp3")),
                                         cld::engine::JobMode::FileEncode));
    abortWhenExists(mp3, env.path("long.mp3"));
    mp3.exec();
    ASSERT_EQ(env.messageIds(), std::vector<int>{191});
    EXPECT_TRUE(env.script->messages[0].text.contains(
        QString::fromStdString(env.path("long.mp3.part").string())));
    EXPECT_FALSE(fs::exists(env.path("long.mp3")));
    EXPECT_EQ(codecOf(env.path("long.mp3.part")), "mp3");
    EXPECT_LT(durationOf(env.path("long.mp3.part")), 59.0);

    env.script->messages.clear();
    ASSERT_EQ(codectest::shell("ffmpeg -v error -y -i " + codectest::quote(env.path("long.wav")) +
                               " -c:a wmav2 " + codectest::quote(env.path("long.wma"))),
              0);
    CEncoderProgressDlg wma(env.context,
                            converttest::inMode(fileJob(env.path("long.wma"), env.path("back.wav")),
                                                cld::engine::JobMode::FileDecode),
                            nullptr);
    abortWhenExists(wma, env.path("back.wav"));
    wma.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{191});
    EXPECT_FALSE(fs::exists(env.path("back.wav")));
    EXPECT_EQ(codecOf(env.path("back.wav.part")), "pcm_s16le");
    EXPECT_FALSE(wma.completed());
}

// Abort pressed while a job is held at its start, or while its worker ends (the job then
// finishes by itself before the batch looks at it again), for the first and the last file
// of a batch: nothing starts after Abort and the batch is not reported as completed, in
// the encoding and the decoding folder modes, every time.
TEST_F(Batch, NothingStartsAfterAbortWhereverItMeetsTheJob) {
    const fs::path wavs = folder("wavs");
    const fs::path mp3s = folder("mp3s");
    for (const std::string name : {"a", "b", "c"}) {
        writeTestWav(wavs / (name + ".wav"), 0.3);
        ASSERT_EQ(codectest::shell("lame --quiet " + codectest::quote(wavs / (name + ".wav")) +
                                   " " + codectest::quote(mp3s / (name + ".mp3"))),
                  0);
    }
    struct Mode {
        cld::engine::JobMode mode;
        fs::path in;
        std::string extension;
    };
    const Mode modes[] = {{cld::engine::JobMode::FolderEncode, wavs, ".mp3"},
                          {cld::engine::JobMode::FolderDecode, mp3s, ".wav"}};
    // Files after the held one start only after it when one runs at a time.
    env.context.settings.setParallelJobs(1);
    int run = 0;
    for (const Mode& m : modes) {
        for (const std::string held : {"a", "c"}) {
            for (auto point : {CodecJob::WorkerPoint::Started, CodecJob::WorkerPoint::Finishing}) {
                for (int i = 0; i < 8; ++i, ++run) {
                    SCOPED_TRACE("to " + m.extension + ", held " + held + ", point " +
                                 std::to_string(static_cast<int>(point)) + ", run " +
                                 std::to_string(i));
                    const fs::path out = folder("out" + std::to_string(run));
                    env.script->messages.clear();
                    converttest::JobGate gate(point, held + m.extension);
                    CMP3EncoderProgressDlg dlg(env.context,
                                               converttest::inMode(folderJob(m.in, out), m.mode));
                    env.script->onWait = [&](int) {
                        const CodecJob* job = gate.held();
                        if (!job || dlg.abortRequested())
                            return;
                        // At the finishing point the job ends by itself once released: its
                        // file is complete whenever the batch looks at it again.
                        dlg.requestAbort();
                        gate.release();
                    };
                    dlg.exec();
                    env.script->onWait = nullptr;
                    EXPECT_TRUE(dlg.abortRequested());
                    EXPECT_FALSE(dlg.completed());
                    // Decoding says it was aborted; encoding says so when it kept a file
                    // cut short (held at its start), and closes without a word when the
                    // held file was complete.
                    const bool cut = point == CodecJob::WorkerPoint::Started;
                    EXPECT_EQ(env.messageIds(), m.mode == cld::engine::JobMode::FolderDecode || cut
                                                    ? std::vector<int>{191}
                                                    : std::vector<int>{});
                    EXPECT_EQ(fs::exists(out / (held + m.extension + ".part")), cut);
                    EXPECT_EQ(fs::exists(out / (held + m.extension)), !cut);
                    for (const std::string later : {"b", "c"}) {
                        if (later <= held)
                            continue;
                        EXPECT_FALSE(fs::exists(out / (later + m.extension)))
                            << later << " started after Abort";
                        EXPECT_FALSE(fs::exists(out / (later + m.extension + ".part")));
                    }
                    if (held == "c") {
                        EXPECT_TRUE(fs::exists(out / ("a" + m.extension)));
                        EXPECT_TRUE(fs::exists(out / ("b" + m.extension)));
                    }
                }
            }
        }
    }
}

// Abort before the first job: the batch starts nothing at all.
TEST_F(Batch, AbortBeforeTheFirstFileStartsNothing) {
    const fs::path in = folder("in");
    writeTestWav(in / "a.wav", 0.3);
    const fs::path out = folder("out");
    CMP3EncoderProgressDlg dlg(
        env.context, converttest::inMode(folderJob(in, out), cld::engine::JobMode::FolderEncode));
    env.script->onWait = [&](int count) {
        if (count == 1)
            dlg.requestAbort();
    };
    dlg.exec();
    EXPECT_TRUE(fs::is_empty(out));
    EXPECT_FALSE(dlg.completed());
}

namespace {

// Lowers this process's file-size limit for the scope (the limit's signal ignored), so
// that a write past it fails with EFBIG, as a write to a full disk fails with ENOSPC.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, m_old.rlim_max};
        m_ok = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool ok() const { return m_ok; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

} // namespace

// A disk that fills up in the middle of a batch: the file that could not be written is
// named with the system's reason and removed, the user may go on, and the end says what
// was converted; a single-file job says the same and ends.
TEST_F(Batch, FullDiskIsNamedWithItsReasonAndLeavesNoCutFile) {
    const fs::path in = folder("in");
    writeTestWav(in / "a.wav", 0.5);
    writeTestWav(in / "b.wav", 40);
    writeTestWav(in / "c.wav", 0.5);
    const fs::path out = folder("in/out");
    ASSERT_EQ(codectest::shell("lame --quiet -b 128 " + codectest::quote(in / "b.wav") + " " +
                               codectest::quote(env.path("long.mp3"))),
              0);
    ASSERT_EQ(codectest::shell("ffmpeg -v error -y -i " + codectest::quote(in / "b.wav") +
                               " -c:a wmav2 -b:a 128k " + codectest::quote(env.path("long.wma"))),
              0);
    env.script->answer = [](const Message& m) {
        return m.buttons == MessageButtons::YesNo ? MessageResult::Yes : MessageResult::Ok;
    };
    const QString reason = QStringLiteral("Reason: ") + std::strerror(EFBIG);
    {
        FileSizeLimit limit(100 * 1024);
        ASSERT_TRUE(limit.ok());
        CMP3EncoderProgressDlg folderDlg(
            env.context,
            converttest::inMode(folderJob(in, out), cld::engine::JobMode::FolderEncode));
        folderDlg.exec();
        CMP3EncoderProgressDlg decode(
            env.context, converttest::inMode(fileJob(env.path("long.mp3"), env.path("long.wav")),
                                             cld::engine::JobMode::FileDecode));
        decode.exec();
        CEncoderProgressDlg toWma(env.context,
                                  converttest::inMode(fileJob(in / "b.wav", env.path("b.wma")),
                                                      cld::engine::JobMode::FileEncode),
                                  createMediaEncoder(env.context));
        toWma.exec();
        CEncoderProgressDlg wmaDecode(
            env.context,
            converttest::inMode(fileJob(env.path("long.wma"), env.path("w.wav")),
                                cld::engine::JobMode::FileDecode),
            nullptr);
        wmaDecode.exec();
    }
    const std::vector<int> failed = {IDS_WRITE_FAILED, 196};
    ASSERT_EQ(env.script->messages.size(), 5u) << ::testing::PrintToString(env.messageIds());
    struct Expect {
        size_t message;
        fs::path file;
    };
    for (const Expect& e : {Expect{0, out / "b.mp3"}, Expect{2, env.path("long.wav")},
                            Expect{3, env.path("b.wma")}, Expect{4, env.path("w.wav")}}) {
        SCOPED_TRACE(e.file.string());
        const Message& m = env.script->messages[e.message];
        EXPECT_NE(std::find(failed.begin(), failed.end(), m.stringId), failed.end());
        EXPECT_TRUE(m.text.contains(QString::fromStdString(e.file.string())))
            << m.text.toStdString();
        EXPECT_TRUE(m.text.contains(reason)) << m.text.toStdString();
        EXPECT_FALSE(fs::exists(e.file)) << "nothing under the output's name";
        EXPECT_FALSE(fs::exists(e.file.string() + ".part")) << "the unfinished file is removed";
    }
    // The folder batch went on after the user's "Yes" and says what it did.
    EXPECT_EQ(env.script->messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(env.script->messages[1].stringId, 156);
    EXPECT_TRUE(env.script->messages[1].text.contains("2 of 3 files were converted."));
    // The skipped file is the batch's input.
    EXPECT_TRUE(
        env.script->messages[1].text.endsWith(QString::fromStdString((in / "b.wav").string())));
    EXPECT_EQ(codecOf(out / "a.mp3"), "mp3");
    EXPECT_EQ(codecOf(out / "c.mp3"), "mp3");
}

namespace {

// A small file system of its own for the scope (a tmpfs mounted over `where`), so that
// writes to it fail as on a full disk, with ENOSPC. Needs the right to mount.
class SmallDisk {
public:
    SmallDisk(const fs::path& where, const std::string& size) : m_path(where) {
        fs::create_directories(where);
        m_ok = ::mount("tmpfs", where.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
        m_error = errno;
    }
    ~SmallDisk() {
        if (m_ok)
            ::umount2(m_path.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool ok() const { return m_ok; }
    std::string why() const { return std::strerror(m_error); }

private:
    fs::path m_path;
    bool m_ok = false;
    int m_error = 0;
};

} // namespace

// A full disk stops a folder batch at once, at one and at several files at once: the file
// that did not fit is named with the system's reason and not asked about (every later file
// would fail the same way), nothing cut short is left, and the end says what was converted
// and which files were not.
TEST_F(Batch, FullDiskStopsTheBatchAtOnceAndSaysWhatWasNotConverted) {
    const fs::path wavs = folder("wavs");
    const fs::path mp3s = folder("mp3s");
    for (const char* name : {"a", "b", "c", "d"}) {
        const std::string n(name);
        writeTestWav(wavs / (n + ".wav"), n == "b" ? 30 : 0.5);
        ASSERT_EQ(codectest::shell("lame --quiet -b 32 " + codectest::quote(wavs / (n + ".wav")) +
                                   " " + codectest::quote(mp3s / (n + ".mp3"))),
                  0);
    }
    SmallDisk disk(env.path("disk"), "384k");
    if (!disk.ok())
        GTEST_SKIP() << "no small file system could be mounted: " << disk.why();
    env.script->answer = [](const Message& m) {
        return m.buttons == MessageButtons::YesNo ? MessageResult::Yes : MessageResult::Ok;
    };
    struct Case {
        cld::engine::JobMode mode;
        fs::path in;
        std::string extension;
        int width;
    };
    int run = 0;
    for (const Case& c : {Case{cld::engine::JobMode::FolderEncode, wavs, ".mp3", 1},
                          Case{cld::engine::JobMode::FolderEncode, wavs, ".mp3", 3},
                          Case{cld::engine::JobMode::FolderDecode, mp3s, ".wav", 1}}) {
        SCOPED_TRACE("to " + c.extension + ", " + std::to_string(c.width) + " at once");
        const fs::path out = env.path("disk") / ("out" + std::to_string(run++));
        fs::create_directories(out);
        env.script->messages.clear();
        env.context.settings.setParallelJobs(c.width);
        CMP3EncoderProgressDlg dlg(env.context, converttest::inMode(folderJob(c.in, out), c.mode));
        dlg.exec();
        ASSERT_EQ(env.messageIds(), (std::vector<int>{IDS_WRITE_FAILED, IDS_BATCH_STOPPED}));
        const Message& failed = env.script->messages[0];
        EXPECT_EQ(failed.buttons, MessageButtons::Ok) << "no question on a full disk";
        EXPECT_TRUE(
            failed.text.contains(QString::fromStdString((out / ("b" + c.extension)).string())))
            << failed.text.toStdString();
        EXPECT_TRUE(failed.text.contains(QStringLiteral("Reason: ") + std::strerror(ENOSPC)))
            << failed.text.toStdString();
        EXPECT_FALSE(dlg.completed());
        int converted = 0;
        const QString summary = env.script->messages[1].text;
        const qsizetype notConverted = summary.indexOf("Not converted:");
        ASSERT_GE(notConverted, 0) << summary.toStdString();
        for (const char* name : {"a", "b", "c", "d"}) {
            const fs::path output = out / (std::string(name) + c.extension);
            const QString input = QString::fromStdString(
                (c.in / (std::string(name) +
                         (c.mode == cld::engine::JobMode::FolderEncode ? ".wav" : ".mp3")))
                    .string());
            EXPECT_FALSE(fs::exists(output.string() + ".part")) << output;
            if (fs::exists(output)) {
                ++converted;
                EXPECT_NEAR(durationOf(output), 0.5, 0.1) << output;
                EXPECT_FALSE(summary.contains(input)) << input.toStdString();
            } else {
                EXPECT_GT(summary.indexOf(input), notConverted) << input.toStdString();
            }
        }
        EXPECT_FALSE(fs::exists(out / ("b" + c.extension)));
        EXPECT_TRUE(summary.contains(QString("%1 of 4 files were converted.").arg(converted)))
            << summary.toStdString();
        fs::remove_all(out);
    }
}
