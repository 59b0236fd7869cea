#include "CEncoderProgressDlg.h"
#include "CMP3EncoderProgressDlg.h"
#include "CProgressBar.h"
#include "CodecJob.h"
#include "ConvertIds.h"
#include "ConvertTestKit.h"
#include "JobSpec.h"
#include "MediaFixtures.h"
#include "ProgressFigures.h"
#include "StringIds.h"
#include "WmEncoderControl.h"
#include "WmaProfiles.h"

#include <QLabel>
#include <QRegularExpression>
#include <condition_variable>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <mutex>

using namespace cld;
using converttest::control;
using converttest::ConvertEnv;
using converttest::writeTestWav;
namespace fs = std::filesystem;

namespace {

std::string codecOf(const fs::path& file) {
    const auto probe = codectest::probe(file);
    const auto it = probe.find("stream.codec_name");
    return it == probe.end() ? std::string() : it->second;
}

double durationOf(const fs::path& file) {
    const auto probe = codectest::probe(file);
    const auto it = probe.find("stream.duration");
    return it == probe.end() ? -1.0 : std::atof(it->second.c_str());
}

// Whether two files hold the same bytes; `cmp` says where they differ when they do not.
bool sameBytes(const fs::path& a, const fs::path& b) {
    std::string out;
    const bool same =
        codectest::shell("cmp " + codectest::quote(a) + " " + codectest::quote(b) + " 2>&1",
                         &out) == 0;
    if (!same)
        std::cerr << out << "\n";
    return same;
}

// Holds every job worker at one point of its life until released, and counts the
// workers that reached it.
class AllWorkersHold {
public:
    explicit AllWorkersHold(CodecJob::WorkerPoint point) {
        CodecJob::SetWorkerHook([this, point](const CodecJob&, CodecJob::WorkerPoint p) {
            if (p != point)
                return;
            std::unique_lock lock(m_lock);
            ++m_count;
            m_wake.wait_for(lock, std::chrono::seconds(cldtest::kHangLimitSeconds),
                            [this] { return m_released; });
        });
    }
    ~AllWorkersHold() {
        release();
        CodecJob::SetWorkerHook({});
    }
    int count() {
        std::lock_guard lock(m_lock);
        return m_count;
    }
    void release() {
        {
            std::lock_guard lock(m_lock);
            m_released = true;
        }
        m_wake.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_wake;
    int m_count = 0;
    bool m_released = false;
};

// Holds the job writing a file of a given name at a given point of its worker, each hold
// until the test releases it.
class NamedHolds {
public:
    struct Hold {
        std::string name;
        CodecJob::WorkerPoint point;
    };
    explicit NamedHolds(std::vector<Hold> holds)
        : m_holds(std::move(holds)), m_held(m_holds.size(), false),
          m_released(m_holds.size(), false) {
        CodecJob::SetWorkerHook([this](const CodecJob& job, CodecJob::WorkerPoint p) {
            const std::string name = fs::path(job.GetOutput()).filename().string();
            for (size_t i = 0; i < m_holds.size(); ++i) {
                if (m_holds[i].name != name || m_holds[i].point != p)
                    continue;
                std::unique_lock lock(m_lock);
                m_held[i] = true;
                m_wake.wait_for(lock, std::chrono::seconds(cldtest::kHangLimitSeconds),
                                [this, i] { return bool(m_released[i]); });
            }
        });
    }
    ~NamedHolds() {
        {
            std::lock_guard lock(m_lock);
            m_released.assign(m_released.size(), true);
        }
        m_wake.notify_all();
        CodecJob::SetWorkerHook({});
    }
    bool held(size_t i) {
        std::lock_guard lock(m_lock);
        return m_held[i] && !m_released[i];
    }
    void release(size_t i) {
        {
            std::lock_guard lock(m_lock);
            m_released[i] = true;
        }
        m_wake.notify_all();
    }

private:
    std::vector<Hold> m_holds;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::vector<bool> m_held;
    std::vector<bool> m_released;
};

class ParallelFolders : public ::testing::Test {
protected:
    fs::path folder(const std::string& name) {
        const fs::path p = env.path(name);
        fs::create_directories(p);
        return p;
    }
    static cld::engine::JobSpec folderJob(const fs::path& in, const fs::path& out) {
        cld::engine::JobSpec p;
        p.inputPath = in.string() + "/";
        p.outputPath = out.string() + "/";
        return p;
    }
    // Runs one folder batch with `jobs` files at once; true when it ended with "Process
    // completed." and every one of `count` files converted.
    template <class Dialog, class... Extra>
    bool runBatch(int jobs, const fs::path& in, const fs::path& out, cld::engine::JobMode mode,
                  int count, Extra&&... extra) {
        env.settings.setParallelJobs(jobs);
        env.script->messages.clear();
        Dialog dlg(env.context, converttest::inMode(folderJob(in, out), mode),
                   std::forward<Extra>(extra)...);
        dlg.exec();
        const auto ids = env.messageIds();
        const bool whole =
            ids == std::vector<int>{156} && dlg.completed() && dlg.convertedCount() == count;
        for (const Message& m : env.script->messages)
            if (!whole)
                ADD_FAILURE() << jobs << " at once: " << m.text.toStdString();
        return whole;
    }
    static QString label(QWidget* dlg, int id) { return control<QLabel>(dlg, id)->text(); }
    void writeBroken(const fs::path& path) {
        std::ofstream(path, std::ios::binary) << std::string(20000, '\x5a');
    }

    ConvertEnv env;
};

} // namespace

// A batch run on several jobs at once writes what it writes one file after another: the
// same MP3 and WAV bytes, and WMA files that decode to the same samples.
TEST_F(ParallelFolders, OutputsMatchTheSequentialBatch) {
    const fs::path wavs = folder("wavs");
    const double seconds[] = {0.4, 1.3, 0.7, 0.25, 1.0, 0.55};
    for (int i = 0; i < 6; ++i)
        writeTestWav(wavs / ("t" + std::to_string(i) + ".wav"), seconds[i], i == 3 ? 22050 : 44100,
                     i == 3 ? 1 : 2);
    const char* names[] = {"t0", "t1", "t2", "t3", "t4", "t5"};

    ASSERT_TRUE(runBatch<CMP3EncoderProgressDlg>(1, wavs, folder("mp3.1"),
                                                 cld::engine::JobMode::FolderEncode, 6));
    ASSERT_TRUE(runBatch<CMP3EncoderProgressDlg>(3, wavs, folder("mp3.3"),
                                                 cld::engine::JobMode::FolderEncode, 6));
    ASSERT_TRUE(runBatch<CMP3EncoderProgressDlg>(1, env.path("mp3.1"), folder("back.1"),
                                                 cld::engine::JobMode::FolderDecode, 6));
    ASSERT_TRUE(runBatch<CMP3EncoderProgressDlg>(3, env.path("mp3.1"), folder("back.3"),
                                                 cld::engine::JobMode::FolderDecode, 6));
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const std::string title(name);
        EXPECT_EQ(codecOf(env.path("mp3.3/" + title + ".mp3")), "mp3");
        EXPECT_TRUE(
            sameBytes(env.path("mp3.1/" + title + ".mp3"), env.path("mp3.3/" + title + ".mp3")));
        EXPECT_EQ(codecOf(env.path("back.3/" + title + ".wav")), "pcm_s16le");
        EXPECT_TRUE(
            sameBytes(env.path("back.1/" + title + ".wav"), env.path("back.3/" + title + ".wav")));
    }

    // The WMA encoder: the folder's WAV files, then its MP3 files.
    for (const char* name : {"t1", "t4"})
        fs::copy_file(env.path("mp3.1/" + std::string(name) + ".mp3"),
                      wavs / ("m" + std::string(name) + ".mp3"));
    ASSERT_TRUE(runBatch<CEncoderProgressDlg>(1, wavs, folder("wma.1"),
                                              cld::engine::JobMode::FolderEncode, 8,
                                              createMediaEncoder(env.context)));
    ASSERT_TRUE(runBatch<CEncoderProgressDlg>(3, wavs, folder("wma.3"),
                                              cld::engine::JobMode::FolderEncode, 8,
                                              createMediaEncoder(env.context)));
    ASSERT_TRUE(runBatch<CEncoderProgressDlg>(1, env.path("wma.1"), folder("wback.1"),
                                              cld::engine::JobMode::FolderDecode, 8, nullptr));
    ASSERT_TRUE(runBatch<CEncoderProgressDlg>(3, env.path("wma.1"), folder("wback.3"),
                                              cld::engine::JobMode::FolderDecode, 8, nullptr));
    for (const std::string title : {"t0", "t1", "t2", "t3", "t4", "t5", "mt1", "mt4"}) {
        SCOPED_TRACE(title);
        const fs::path one = env.path("wma.1/" + title + ".wma");
        const fs::path three = env.path("wma.3/" + title + ".wma");
        ASSERT_EQ(codecOf(three), "wmav2");
        const codectest::Pcm a = codectest::decodeWithFfmpeg(one);
        const codectest::Pcm b = codectest::decodeWithFfmpeg(three);
        EXPECT_FALSE(a.samples.empty());
        EXPECT_EQ(a.rate, b.rate);
        EXPECT_EQ(a.channels, b.channels);
        EXPECT_TRUE(a.samples == b.samples) << "the encoders running at once changed the audio";
        EXPECT_TRUE(sameBytes(env.path("wback.1/" + title + ".wav"),
                              env.path("wback.3/" + title + ".wav")));
    }
}

// A WAV and a FLAC file of one title, converted at once, make two MP3 files: neither job
// writes over the other's output.
TEST_F(ParallelFolders, InputsOfOneTitleGetOutputsOfTheirOwn) {
    const fs::path in = folder("same");
    writeTestWav(in / "song.wav", 1.0);
    writeTestWav(env.path("other.wav"), 0.6, 22050, 1);
    ASSERT_EQ(codectest::shell("flac --silent -f -o " + codectest::quote(in / "song.flac") + " " +
                               codectest::quote(env.path("other.wav"))),
              0);
    ASSERT_TRUE(runBatch<CMP3EncoderProgressDlg>(2, in, folder("same/out"),
                                                 cld::engine::JobMode::FolderEncode, 2));
    const fs::path fromWav = env.path("same/out/song.mp3");
    const fs::path fromFlac = env.path("same/out/song (flac).mp3");
    EXPECT_NEAR(durationOf(fromWav), 1.0, 0.1);
    EXPECT_NEAR(durationOf(fromFlac), 0.6, 0.1);
    EXPECT_EQ(codectest::probe(fromFlac)["stream.sample_rate"], "22050");
}

// While several files are in work the dialog says so ("1-3 of 5", "3 files" with the names
// in the tooltips), the current bar follows the file started first even when later ones
// move on, and the overall bar counts the audio of the files done.
TEST_F(ParallelFolders, ShowsTheFilesInWorkAndFollowsTheFirst) {
    const fs::path in = folder("in");
    for (const char* name : {"a", "b", "c", "d", "e"})
        writeTestWav(in / (std::string(name) + ".wav"), 0.3);
    const fs::path out = folder("out");
    env.settings.setParallelJobs(3);
    converttest::JobGate gate(CodecJob::WorkerPoint::Started, "a.mp3");
    CMP3EncoderProgressDlg dlg(
        env.context, converttest::inMode(folderJob(in, out), cld::engine::JobMode::FolderEncode));
    bool seen = false;
    int waitsForTheBar = 0;
    auto* overall = control<CProgressBar>(&dlg, IDC_OVERALL_BAR);
    env.script->onWait = [&](int) {
        if (seen || !gate.held())
            return;
        // a is held at its start; the others run past it.
        const QString count = label(&dlg, IDC_FILE_COUNT);
        // b may have ended after the dialog's last look at the jobs: then the dialog has
        // not yet started the next file and still shows "1-2".
        if (!fs::exists(out / "b.mp3") || count == QString::fromUtf8("1\u20132 of 5"))
            return;
        // The bar follows at the dialog's next look at the jobs (a bounded wait).
        if (overall->pos() == 0 && ++waitsForTheBar < 3000)
            return;
        seen = true;
        EXPECT_TRUE(
            QRegularExpression(QString::fromUtf8("^1\u2013[345] of 5$")).match(count).hasMatch())
            << count.toStdString();
        for (const int id : {IDC_INPUT_FILE, IDC_OUTPUT_FILE}) {
            auto* line = control<QLabel>(&dlg, id);
            EXPECT_TRUE(QRegularExpression("^[23] files$").match(line->text()).hasMatch())
                << line->text().toStdString();
            const fs::path first = id == IDC_INPUT_FILE ? in / "a.wav" : out / "a.mp3";
            EXPECT_TRUE(line->toolTip().contains(QString::fromStdString(first.string())))
                << line->toolTip().toStdString();
        }
        EXPECT_EQ(control<CProgressBar>(&dlg, IDC_CURRENT_BAR)->pos(), 0);
        // b has encoded some or all of its fifth of the audio; a, held, none of its own.
        EXPECT_GT(overall->pos(), 0);
        EXPECT_LE(overall->pos(), overall->upper() * 4 / 5);
        gate.release();
    };
    dlg.exec();
    env.script->onWait = nullptr;
    EXPECT_TRUE(seen);
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(label(&dlg, IDC_FILE_COUNT), "5 of 5");
    EXPECT_EQ(overall->pos(), overall->upper());
    for (const char* name : {"a", "b", "c", "d", "e"})
        EXPECT_EQ(codecOf(out / (std::string(name) + ".mp3")), "mp3") << name;
}

// Abort with four jobs at work on eight files: nothing starts after it, the four files
// cut short are kept aside as NAME.part (valid, and named in the message), never under
// their final names; files that were complete when Abort came keep their names.
TEST_F(ParallelFolders, AbortWithFourJobsOnEightFiles) {
    const fs::path in = folder("in");
    std::vector<std::string> names;
    for (int i = 0; i < 8; ++i) {
        names.push_back("f" + std::to_string(i));
        writeTestWav(in / (names.back() + ".wav"), 3.0);
    }
    env.settings.setParallelJobs(4);
    for (auto point : {CodecJob::WorkerPoint::Started, CodecJob::WorkerPoint::Finishing}) {
        const bool cut = point == CodecJob::WorkerPoint::Started;
        SCOPED_TRACE(cut ? "held at the start" : "held with the output complete");
        const fs::path out = folder(cut ? "cut" : "whole");
        env.script->messages.clear();
        AllWorkersHold hold(point);
        CMP3EncoderProgressDlg dlg(
            env.context,
            converttest::inMode(folderJob(in, out), cld::engine::JobMode::FolderEncode));
        env.script->onWait = [&](int) {
            if (hold.count() < 4 || dlg.abortRequested())
                return;
            dlg.requestAbort();
            hold.release();
        };
        dlg.exec();
        env.script->onWait = nullptr;
        EXPECT_EQ(hold.count(), 4) << "a job started after Abort";
        EXPECT_TRUE(dlg.abortRequested());
        EXPECT_FALSE(dlg.completed());
        for (int i = 0; i < 8; ++i) {
            const fs::path final = out / (names[static_cast<size_t>(i)] + ".mp3");
            const fs::path part = final.string() + ".part";
            if (i >= 4) {
                EXPECT_FALSE(fs::exists(final)) << final;
                EXPECT_FALSE(fs::exists(part)) << part;
            } else if (cut) {
                EXPECT_FALSE(fs::exists(final)) << "cut short but under its final name: " << final;
                EXPECT_EQ(codecOf(part), "mp3") << part;
                EXPECT_LT(durationOf(part), 2.9) << part;
            } else {
                EXPECT_NEAR(durationOf(final), 3.0, 0.1) << final;
                EXPECT_FALSE(fs::exists(part)) << part;
            }
        }
        if (cut) {
            ASSERT_EQ(env.messageIds(), std::vector<int>{191});
            for (int i = 0; i < 4; ++i)
                EXPECT_TRUE(env.script->messages[0].text.contains(QString::fromStdString(
                    (out / (names[static_cast<size_t>(i)] + ".mp3.part")).string())));
        } else {
            // Nothing was cut short: the encoding modes close without a word.
            EXPECT_TRUE(env.messageIds().empty());
        }
    }
}

// Broken files in the middle of a parallel batch: the others are converted, each broken
// file is named once in input order, only after the files before it have ended, and
// listed as skipped in that order.
TEST_F(ParallelFolders, BrokenFilesInTheMiddleAreNamedInInputOrder) {
    const fs::path in = folder("in");
    writeTestWav(in / "a.wav", 1.0);
    writeBroken(in / "b.wav");
    writeTestWav(in / "c.wav", 0.3);
    writeBroken(in / "d.wav");
    writeTestWav(in / "e.wav", 0.3);
    writeTestWav(in / "f.wav", 0.3);
    const fs::path out = folder("out");
    env.settings.setParallelJobs(3);
    env.script->answer = [](const Message& m) {
        return m.buttons == MessageButtons::YesNo ? MessageResult::Yes : MessageResult::Ok;
    };
    converttest::JobGate gate(CodecJob::WorkerPoint::Started, "a.mp3");
    CMP3EncoderProgressDlg dlg(
        env.context, converttest::inMode(folderJob(in, out), cld::engine::JobMode::FolderEncode));
    bool heldSeen = false;
    env.script->onWait = [&](int) {
        if (!gate.held())
            return;
        heldSeen = true;
        // b has failed already, but a (before it) is still at work: not a word yet.
        EXPECT_TRUE(env.script->messages.empty());
        gate.release();
    };
    dlg.exec();
    env.script->onWait = nullptr;
    EXPECT_TRUE(heldSeen);
    ASSERT_EQ(env.messageIds(), (std::vector<int>{197, 197, 156}));
    EXPECT_TRUE(
        env.script->messages[0].text.contains(QString::fromStdString((in / "b.wav").string())));
    EXPECT_TRUE(
        env.script->messages[1].text.contains(QString::fromStdString((in / "d.wav").string())));
    EXPECT_TRUE(env.script->messages[2].text.contains("4 of 6 files were converted."));
    EXPECT_EQ(dlg.skippedFiles(),
              (std::vector<std::string>{(in / "b.wav").string(), (in / "d.wav").string()}));
    EXPECT_TRUE(dlg.completed());
    for (const char* name : {"a", "c", "e", "f"})
        EXPECT_EQ(codecOf(out / (std::string(name) + ".mp3")), "mp3") << name;
    for (const char* name : {"b", "d"}) {
        EXPECT_FALSE(fs::exists(out / (std::string(name) + ".mp3"))) << name;
        EXPECT_FALSE(fs::exists(out / (std::string(name) + ".mp3.part"))) << name;
    }

    // "No" at the first broken file stops the batch; what was finished stays, no file is
    // left cut short, and the end says what was and was not converted.
    env.script->messages.clear();
    env.script->answer = [](const Message&) { return MessageResult::No; };
    const fs::path out2 = folder("out2");
    CMP3EncoderProgressDlg stop(
        env.context, converttest::inMode(folderJob(in, out2), cld::engine::JobMode::FolderEncode));
    stop.exec();
    ASSERT_EQ(env.messageIds(), (std::vector<int>{197, IDS_BATCH_STOPPED}));
    EXPECT_TRUE(env.script->messages[1].text.contains("Not converted:"));
    EXPECT_TRUE(
        env.script->messages[1].text.contains(QString::fromStdString((in / "b.wav").string())));
    EXPECT_FALSE(stop.completed());
    EXPECT_EQ(codecOf(out2 / "a.mp3"), "mp3");
    for (const auto& entry : fs::directory_iterator(out2)) {
        const std::string name = entry.path().filename().string();
        EXPECT_FALSE(name.ends_with(".part")) << name;
        EXPECT_EQ(codecOf(entry.path()), "mp3") << name;
    }
}

// Abort at one, two and four files at once, in the four folder modes: every file in work
// is kept as NAME.part and named in the abort message, and no output under its final
// name is cut short. The MP3 jobs are held at their start, so that exactly one file per
// job is in work; the WMA jobs are stopped once one of them has begun its file.
TEST_F(ParallelFolders, AbortKeepsTheFilesInWorkAsPartAtEveryWidth) {
    const fs::path wavs = folder("wavs");
    const fs::path mp3s = folder("mp3s");
    const fs::path wmas = folder("wmas");
    constexpr double kSeconds = 60.0;
    for (int i = 0; i < 5; ++i) {
        const std::string name = "f" + std::to_string(i);
        writeTestWav(wavs / (name + ".wav"), kSeconds);
        ASSERT_EQ(codectest::shell("lame --quiet -b 32 " +
                                   codectest::quote(wavs / (name + ".wav")) + " " +
                                   codectest::quote(mp3s / (name + ".mp3"))),
                  0);
        ASSERT_EQ(codectest::shell("ffmpeg -v error -y -i " +
                                   codectest::quote(wavs / (name + ".wav")) + " -c:a wmav2 " +
                                   codectest::quote(wmas / (name + ".wma"))),
                  0);
    }
    struct Case {
        const char* what;
        bool wma;
        cld::engine::JobMode mode;
        fs::path in;
        std::string extension;
    };
    const Case cases[] = {
        {"folder to MP3", false, cld::engine::JobMode::FolderEncode, wavs, ".mp3"},
        {"MP3 folder to WAV", false, cld::engine::JobMode::FolderDecode, mp3s, ".wav"},
        {"folder to WMA", true, cld::engine::JobMode::FolderEncode, wavs, ".wma"},
        {"WMA folder to WAV", true, cld::engine::JobMode::FolderDecode, wmas, ".wav"}};
    int run = 0;
    for (const Case& c : cases) {
        for (const int width : {1, 2, 4}) {
            SCOPED_TRACE(std::string(c.what) + ", " + std::to_string(width) + " at once");
            const fs::path out = folder("out" + std::to_string(run++));
            env.settings.setParallelJobs(width);
            env.script->messages.clear();
            std::unique_ptr<CBatchProgressDlg> dlg;
            if (c.wma)
                dlg = std::make_unique<CEncoderProgressDlg>(
                    env.context, converttest::inMode(folderJob(c.in, out), c.mode),
                    c.mode == cld::engine::JobMode::FolderEncode ? createMediaEncoder(env.context)
                                                                 : nullptr);
            else
                dlg = std::make_unique<CMP3EncoderProgressDlg>(
                    env.context, converttest::inMode(folderJob(c.in, out), c.mode));
            std::unique_ptr<AllWorkersHold> hold;
            if (!c.wma)
                hold = std::make_unique<AllWorkersHold>(CodecJob::WorkerPoint::Started);
            env.script->onWait = [&](int) {
                if (dlg->abortRequested())
                    return;
                if (hold) {
                    if (hold->count() < width)
                        return;
                } else {
                    bool writing = false;
                    std::error_code ec;
                    for (const auto& e : fs::directory_iterator(out, ec))
                        writing = writing || e.path().extension() == ".part";
                    if (!writing)
                        return;
                }
                dlg->requestAbort();
                if (hold)
                    hold->release();
            };
            dlg->exec();
            env.script->onWait = nullptr;
            hold.reset();
            EXPECT_TRUE(dlg->abortRequested());
            EXPECT_FALSE(dlg->completed());
            std::vector<fs::path> parts;
            for (int i = 0; i < 5; ++i) {
                const fs::path final = out / ("f" + std::to_string(i) + c.extension);
                const fs::path part = final.string() + ".part";
                if (fs::exists(part))
                    parts.push_back(part);
                if (fs::exists(final)) {
                    EXPECT_NEAR(durationOf(final), kSeconds, 0.2) << "cut short: " << final;
                }
                if (!c.wma) {
                    // Held at their start: the first `width` files are the ones in work.
                    EXPECT_EQ(fs::exists(part), i < width) << part;
                    EXPECT_FALSE(fs::exists(final)) << final;
                }
            }
            EXPECT_FALSE(parts.empty()) << "the file in work was not kept as NAME.part";
            ASSERT_EQ(env.messageIds(), std::vector<int>{191});
            const QString text = env.script->messages[0].text;
            EXPECT_TRUE(text.startsWith("Process aborted by user !")) << text.toStdString();
            for (const fs::path& part : parts)
                EXPECT_TRUE(text.contains(QString::fromStdString(part.string())))
                    << part << " not named in: " << text.toStdString();
        }
    }
}

// The overall bar shows the share of the batch's audio done (a file of two seconds weighs
// twice one of one second), also while a file is in work, and stays where it was on Abort.
TEST_F(ParallelFolders, OverallBarFollowsTheAudioDoneAndStaysOnAbort) {
    const fs::path in = folder("in");
    writeTestWav(in / "a.wav", 2.0);
    writeTestWav(in / "b.wav", 1.0);
    writeTestWav(in / "c.wav", 1.0);
    const fs::path out = folder("out");
    env.settings.setParallelJobs(1);
    NamedHolds holds(
        {{"a.mp3", CodecJob::WorkerPoint::Finishing}, {"c.mp3", CodecJob::WorkerPoint::Started}});
    CMP3EncoderProgressDlg dlg(
        env.context, converttest::inMode(folderJob(in, out), cld::engine::JobMode::FolderEncode));
    auto* overall = control<CProgressBar>(&dlg, IDC_OVERALL_BAR);
    auto share = [overall] { return double(overall->pos()) / overall->upper(); };
    double whileA = -1;
    double atAbort = -1;
    // The bar follows at the dialog's next look at the jobs: a bounded wait for it.
    int waits = 0;
    env.script->onWait = [&](int) {
        if (whileA < 0 && holds.held(0)) {
            // a has encoded all its audio and has not ended yet: half the batch.
            if (share() < 0.45 && ++waits < 3000)
                return;
            whileA = share();
            waits = 0;
            holds.release(0);
        } else if (atAbort < 0 && holds.held(1)) {
            // a and b are done, c has not begun: three quarters.
            if (share() < 0.70 && ++waits < 3000)
                return;
            atAbort = share();
            dlg.requestAbort();
            holds.release(1);
        }
    };
    dlg.exec();
    env.script->onWait = nullptr;
    EXPECT_NEAR(whileA, 0.5, 0.02);
    EXPECT_NEAR(atAbort, 0.75, 0.02);
    EXPECT_DOUBLE_EQ(share(), atAbort) << "the overall bar moved on Abort";
    EXPECT_TRUE(dlg.abortRequested());
}

// The figures of a batch with two files in work are the batch's: elapsed and estimated
// time, the bytes its outputs hold, the speed of both jobs together; the file lines say how
// many files are in work.
TEST_F(ParallelFolders, FiguresAreTheBatchsWithSeveralFilesInWork) {
    const fs::path in = folder("in");
    for (const char* name : {"a", "b", "c", "d"})
        writeTestWav(in / (std::string(name) + ".wav"), 3.0);
    const fs::path out = folder("out");
    env.settings.setParallelJobs(2);
    AllWorkersHold hold(CodecJob::WorkerPoint::Finishing);
    CMP3EncoderProgressDlg dlg(
        env.context, converttest::inMode(folderJob(in, out), cld::engine::JobMode::FolderEncode));
    bool seen = false;
    env.script->onWait = [&](int) {
        if (seen || hold.count() < 2)
            return;
        // a and b hold all their audio encoded: half the batch is done, and the estimate
        // of the rest shows once the batch has run long enough to measure it.
        const QString estimated = label(&dlg, IDC_ESTIMATED);
        if (estimated == "-" || estimated.isEmpty() || label(&dlg, IDC_PERFORMANCE) == "-")
            return;
        seen = true;
        for (const int id : {IDC_INPUT_FILE, IDC_OUTPUT_FILE})
            EXPECT_EQ(label(&dlg, id), "2 files");
        EXPECT_EQ(label(&dlg, IDC_FILE_COUNT), QString::fromUtf8("1\u20132 of 4"));
        // Half done after t seconds: about t seconds remain.
        auto seconds = [](const QString& clock) {
            const QStringList p = clock.split(':');
            return p.size() == 3 ? p[0].toInt() * 3600 + p[1].toInt() * 60 + p[2].toInt() : -1;
        };
        const int total = seconds(label(&dlg, IDC_TOTAL_ELAPSED));
        EXPECT_GE(seconds(estimated), 0) << estimated.toStdString();
        EXPECT_LE(std::abs(seconds(estimated) - total), 2)
            << estimated.toStdString() << " left after " << total << " s at half the batch";
        EXPECT_LE(seconds(label(&dlg, IDC_ELAPSED)), total);
        // The bytes the outputs hold now.
        uint64_t bytes = 0;
        for (const auto& e : fs::directory_iterator(out))
            bytes += fs::file_size(e.path());
        EXPECT_GT(bytes, 0u);
        EXPECT_EQ(label(&dlg, IDC_OUTPUT_SIZE).toStdString(),
                  megabytesText(static_cast<int64_t>(bytes)));
        // Both jobs' audio together: 16-bit stereo is 4 bytes per sample frame.
        const double kilobytes = label(&dlg, IDC_PERFORMANCE).split(' ')[0].toDouble();
        const double samples = label(&dlg, IDC_SAMPLES).toDouble();
        EXPECT_GT(kilobytes, 0);
        EXPECT_GT(samples, 0);
        EXPECT_NEAR(kilobytes * 1024 / samples, 4.0, 0.1);
        hold.release();
    };
    dlg.exec();
    env.script->onWait = nullptr;
    EXPECT_TRUE(seen);
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(label(&dlg, IDC_ESTIMATED), "00:00:00");
}
