// The rip → encode pipeline on the virtual drive, observed by a recording observer with
// no window: WAV and FLAC outputs checked against the image's audio (cmp, the flac
// command), the log, cue sheet and AccurateRip verdicts, abort, taken names and read
// failures.

#include "AccurateRip.h"
#include "CdPipeline.h"
#include "CddbTestServer.h"
#include "EngineFixtures.h"
#include "GrabFixture.h"
#include "RipLog.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

using namespace cldtest;
using cld::engine::Answer;
using cld::engine::CdPipeline;
using cld::engine::CdRipSpec;
using cld::engine::Failure;
using cld::engine::ItemEnd;
using cld::engine::ItemOutcome;
using cld::engine::ItemStart;
using cld::engine::JobEnd;
using cld::engine::JobObserver;
using cld::engine::JobResult;
using cld::engine::Question;
using cld::engine::QuestionKind;
using cld::engine::VerifyEnv;
using cld::engine::WorkerKind;
using enginetest::namesIn;
using enginetest::quoted;
using vdrivekit::Content;
using vdrivekit::DiscSpec;

namespace fs = std::filesystem;

namespace {

// Every event of a job, in order, and the answers a test scripts.
class Recorder : public JobObserver {
public:
    std::vector<ItemStart> starts;
    std::vector<ItemEnd> ends;
    std::vector<Question> questions;
    std::vector<JobEnd> finishes;
    int progressEvents = 0;
    Answer answer = Answer::Cancel;
    std::function<void(const ItemStart&)> onStart;
    std::function<void()> onWait;
    std::function<void()> onProgress;

    void itemStarted(const ItemStart& s) override {
        starts.push_back(s);
        if (onStart)
            onStart(s);
    }
    void progress(const cld::engine::Progress&) override {
        ++progressEvents;
        if (onProgress)
            onProgress();
    }
    void itemEnded(const ItemEnd& e) override { ends.push_back(e); }
    void finished(const JobEnd& e) override { finishes.push_back(e); }
    Answer ask(const Question& q) override {
        questions.push_back(q);
        return answer;
    }
    void wait(int milliseconds, const std::function<bool()>& ready) override {
        if (onWait)
            onWait();
        JobObserver::wait(milliseconds, ready);
    }
};

std::string fileText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class CdPipelineTest : public GrabTest {
protected:
    // Three music tracks of 4, 2 and 3 seconds.
    void startDisc(int64_t slowMicros = 0, std::vector<std::pair<int64_t, int64_t>> failing = {}) {
        DiscSpec d;
        d.title = "Record";
        d.performer = "Band";
        d.tracks.push_back({Content::Music, 300, "Opening", {}, 0, 0});
        d.tracks.push_back({Content::Music, 150, "Second", {}, 0, 0});
        d.tracks.push_back({Content::Music, 225, "Finale", {}, 0, 0});
        d.faults.slowMicrosPerSector = slowMicros;
        d.faults.failing = std::move(failing);
        start({d});
        makeObject();
    }

    CdRipSpec setup(const std::string& encoder, std::vector<int> indices = {0, 1, 2}) {
        const char* titles[] = {"Opening", "Second", "Finale"};
        CdRipSpec s;
        for (int i : indices)
            s.tracks.push_back({i, i < 3 ? titles[i] : "Missing"});
        s.artist = "Band";
        s.album = "Record";
        s.year = "1999";
        s.folder = m_out.string();
        s.encoder = encoder;
        s.width = 2;
        return s;
    }

    VerifyEnv noLookup() {
        VerifyEnv env;
        env.rip = m_rip;
        env.drives = m_rip->GetDriveSettings();
        env.lookup = false;
        return env;
    }

    JobEnd runJob(CdPipeline& job, Recorder& recorder) {
        const JobEnd end = job.run(recorder);
        EXPECT_EQ(recorder.finishes.size(), 1u);
        // The job's own folder goes with whatever was left in it.
        for (const std::string& name : namesIn(m_out))
            EXPECT_NE(name.rfind(".cld-", 0), 0u) << name;
        return end;
    }

    std::vector<uint8_t> trackAudio(int index) {
        const auto t = tracks()[static_cast<size_t>(index)];
        return imageBytes(t.first, t.last);
    }

    std::vector<uint8_t> wavAudio(const fs::path& file) {
        const Wav w = readWav(file);
        expectConsistentHeader(w);
        return w.data;
    }

    std::vector<uint8_t> flacAudio(const fs::path& file) {
        int status = -1;
        const std::string raw = enginetest::run(
            "flac -d -c -s --force-raw-format --endian=little --sign=signed " + quoted(file),
            status);
        EXPECT_EQ(status, 0);
        return std::vector<uint8_t>(raw.begin(), raw.end());
    }

    // The AccurateRip entry other rips of the image make: confidence 7, v2 checksums.
    std::vector<uint8_t> entryOfImage() {
        accurip::DiscLayout d;
        int n = 1;
        for (const TrackRange& t : tracks()) {
            d.tracks.push_back({n++, t.first, true});
            d.leadOut = t.last + 1;
        }
        accurip::EntryResponse v2;
        v2.ids = accurip::discIds(d);
        const auto ranges = tracks();
        for (size_t i = 0; i < ranges.size(); ++i) {
            const auto bytes = imageBytes(ranges[i].first, ranges[i].last);
            accurip::TrackChecksummer c(static_cast<int64_t>(bytes.size() / 4), i == 0,
                                        i + 1 == ranges.size());
            c.add(bytes.data(), bytes.size());
            v2.tracks.push_back({7, c.result().v2, accurip::frameChecksum(bytes.data())});
        }
        return accurip::buildEntry({v2});
    }
};

} // namespace

TEST_F(CdPipelineTest, DiscToWavIsTheImagesAudioWithLogAndCueSheet) {
    startDisc();
    CdPipeline job(m_rip, setup("wav"), noLookup(), nullptr);
    Recorder r;
    int loudest = 0;
    std::vector<int> tracksRead;
    r.onProgress = [&] {
        loudest = std::max(loudest, job.readStatus().peak);
        if (tracksRead.empty() || tracksRead.back() != job.readStatus().trackIndex)
            tracksRead.push_back(job.readStatus().trackIndex);
    };
    const JobEnd end = runJob(job, r);
    EXPECT_EQ(end.result, JobResult::Completed);
    EXPECT_EQ(end.converted, 3u);
    // Where the read stood, for a front end's bars.
    EXPECT_GT(loudest, 1000);
    EXPECT_EQ(tracksRead, (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(r.questions.empty());
    ASSERT_EQ(r.starts.size(), 3u);
    ASSERT_EQ(r.ends.size(), 3u);
    const char* names[] = {"Band - Opening.wav", "Band - Second.wav", "Band - Finale.wav"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(r.ends[i].index, i); // in disc order, whatever encoder finished first
        EXPECT_EQ(r.ends[i].outcome, ItemOutcome::Converted)
            << static_cast<int>(r.ends[i].failure.what) << " " << r.ends[i].failure.code << " "
            << r.ends[i].failure.reason << " " << r.ends[i].failure.file;
        EXPECT_EQ(r.ends[i].output, (m_out / names[i]).string());
        EXPECT_TRUE(wavAudio(m_out / names[i]) == trackAudio(static_cast<int>(i))) << names[i];
    }
    EXPECT_GT(r.progressEvents, 0);
    EXPECT_EQ(namesIn(m_out), (std::vector<std::string>{"Band - Finale.wav", "Band - Opening.wav",
                                                        "Band - Record.cue", "Band - Record.log",
                                                        "Band - Second.wav"}));
    const auto& v = job.report().verification;
    ASSERT_TRUE(v.attempted);
    EXPECT_EQ(v.logPath, (m_out / "Band - Record.log").string());
    ASSERT_EQ(v.tracks.size(), 3u);
    for (const auto& t : v.tracks)
        EXPECT_TRUE(t.hasChecksums);
    EXPECT_EQ(v.summary.kind, accurip::ArSummary::NotDone);
    const std::string cue = fileText(m_out / "Band - Record.cue");
    EXPECT_NE(cue.find("FILE \"Band - Opening.wav\" WAVE"), std::string::npos) << cue;
    EXPECT_NE(cue.find("FILE \"Band - Finale.wav\" WAVE"), std::string::npos) << cue;
    const std::string log = fileText(m_out / "Band - Record.log");
    EXPECT_NE(log.find("Opening"), std::string::npos);
    EXPECT_EQ(log.find("aborted"), std::string::npos);
}

TEST_F(CdPipelineTest, DiscToFlacPassesTheFlacTestAndCarriesTheDiscsTags) {
    if (!haveTool("flac") || !haveTool("metaflac"))
        GTEST_SKIP() << "flac and metaflac are needed";
    startDisc();
    CdRipSpec s = setup("flac", {0, 2});
    s.width = 1;
    s.coverImage = std::string("\xFF\xD8\xFF\xE0", 4) + std::string(600, 'c');
    CdPipeline job(m_rip, s, noLookup(), nullptr);
    Recorder r;
    EXPECT_EQ(runJob(job, r).result, JobResult::Completed);
    const fs::path opening = m_out / "Band - Opening.flac";
    const fs::path finale = m_out / "Band - Finale.flac";
    for (const fs::path& f : {opening, finale}) {
        int status = -1;
        enginetest::run("flac -t -s " + quoted(f) + " 2>&1", status);
        EXPECT_EQ(status, 0) << f;
    }
    EXPECT_TRUE(flacAudio(opening) == trackAudio(0));
    EXPECT_TRUE(flacAudio(finale) == trackAudio(2));
    int status = -1;
    const std::string tags =
        enginetest::run("metaflac --export-tags-to=- " + quoted(finale), status);
    EXPECT_NE(tags.find("TITLE=Finale"), std::string::npos) << tags;
    EXPECT_NE(tags.find("ARTIST=Band"), std::string::npos) << tags;
    EXPECT_NE(tags.find("ALBUM=Record"), std::string::npos) << tags;
    EXPECT_NE(tags.find("TRACKNUMBER=3"), std::string::npos) << tags;
    EXPECT_NE(tags.find("TRACKTOTAL=3"), std::string::npos) << tags;
    EXPECT_NE(tags.find("ALBUMARTIST=Band"), std::string::npos) << tags;
    EXPECT_NE(tags.find("DATE=1999"), std::string::npos) << tags;
    DiscInfo* disc = m_rip->GetDiscInfo();
    ASSERT_NE(disc, nullptr);
    char discId[16];
    std::snprintf(discId, sizeof discId, "%08X", disc->GetDiscId());
    disc->Destroy();
    EXPECT_NE(tags.find(std::string("DISCID=") + discId), std::string::npos) << tags;
    // The cover beside the files.
    EXPECT_EQ(fileText(m_out / "folder.jpg"), s.coverImage);
    EXPECT_TRUE(job.report().coverKept);
    // Two of three tracks: logged, but not looked up.
    EXPECT_TRUE(fs::exists(m_out / "Band - Record.log"));
    EXPECT_EQ(job.report().verification.summary.kind, accurip::ArSummary::NotDone);
}

TEST_F(CdPipelineTest, DiscToMp3OnTwoEncodersPlaysForEachTracksLengthWithItsTags) {
    if (!haveTool("ffprobe") || !haveTool("ffmpeg"))
        GTEST_SKIP() << "ffprobe and ffmpeg are needed";
    startDisc();
    CdRipSpec s = setup("mp3");
    s.options = {{"bitrate", "128"}};
    s.replayGain = true;
    CdPipeline job(m_rip, s, noLookup(), nullptr);
    Recorder r;
    EXPECT_EQ(runJob(job, r).result, JobResult::Completed);
    const char* names[] = {"Band - Opening.mp3", "Band - Second.mp3", "Band - Finale.mp3"};
    const char* titles[] = {"Opening", "Second", "Finale"};
    for (size_t i = 0; i < 3; ++i) {
        const fs::path f = m_out / names[i];
        EXPECT_EQ(enginetest::probe(f, "stream=codec_name"), "mp3") << f;
        EXPECT_EQ(enginetest::probe(f, "stream=bit_rate"), "128000");
        EXPECT_EQ(enginetest::probe(f, "format_tags=title"), titles[i]);
        EXPECT_EQ(enginetest::probe(f, "format_tags=album"), "Record");
        EXPECT_EQ(enginetest::probe(f, "format_tags=track"), std::to_string(i + 1) + "/3");
        // Each track's own loudness, and the album's, the same in every file.
        EXPECT_NE(enginetest::probe(f, "format_tags=REPLAYGAIN_TRACK_GAIN"), "");
        EXPECT_NE(enginetest::probe(f, "format_tags=REPLAYGAIN_TRACK_PEAK"), "");
        EXPECT_NE(enginetest::probe(f, "format_tags=REPLAYGAIN_ALBUM_GAIN"), "");
        EXPECT_EQ(enginetest::probe(f, "format_tags=REPLAYGAIN_ALBUM_GAIN"),
                  enginetest::probe(m_out / names[0], "format_tags=REPLAYGAIN_ALBUM_GAIN"));
        int status = -1;
        const std::string pcm = enginetest::run(
            "ffmpeg -v error -i " + quoted(f) + " -f s16le -acodec pcm_s16le -", status);
        EXPECT_EQ(status, 0);
        // The header frame's delay and padding make the decoded audio exactly as long.
        EXPECT_EQ(pcm.size(), trackAudio(static_cast<int>(i)).size()) << f;
    }
    EXPECT_TRUE(job.report().albumGainFailed.empty());
    // The tracks differ in loudness: each carries its own.
    EXPECT_NE(enginetest::probe(m_out / names[0], "format_tags=REPLAYGAIN_TRACK_PEAK"),
              enginetest::probe(m_out / names[1], "format_tags=REPLAYGAIN_TRACK_PEAK"));
    // The cue sheet names MP3 files as such.
    const std::string cue = fileText(m_out / "Band - Record.cue");
    EXPECT_NE(cue.find("FILE \"Band - Second.mp3\" MP3"), std::string::npos) << cue;
}

TEST_F(CdPipelineTest, AWholeDiscIsCheckedAgainstTheDatabaseOnce) {
    startDisc();
    CddbTestServer server;
    server.queueAnswer("HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n" + [&] {
        const auto e = entryOfImage();
        return std::string(e.begin(), e.end());
    }());
    VerifyEnv env = noLookup();
    env.lookup = true;
    env.server = "http://127.0.0.1:" + std::to_string(server.port()) + "/ar/";
    env.deadlineMs = 60000;
    // Read in another order than the disc's, one track twice: the look-up compares each
    // track of the disc once, in disc order.
    CdPipeline job(m_rip, setup("flac", {2, 0, 1, 2}), env, nullptr);
    Recorder r;
    EXPECT_EQ(runJob(job, r).result, JobResult::Completed);
    const auto& v = job.report().verification;
    EXPECT_EQ(v.summary.kind, accurip::ArSummary::AllAccurate) << v.lookupDetail;
    EXPECT_EQ(v.summary.minConfidence, 7);
    ASSERT_EQ(v.tracks.size(), 3u);
    for (const auto& t : v.tracks)
        EXPECT_TRUE(t.hasVerdict);
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(CdPipelineTest, TheJobsCancelEndsALookUpThatHangs) {
    startDisc();
    CddbTestServer server;
    CddbTestServer::Script silent;
    silent.holdMs = 120000;
    server.queue(silent);
    VerifyEnv env = noLookup();
    env.lookup = true;
    env.server = "http://127.0.0.1:" + std::to_string(server.port()) + "/ar/";
    env.deadlineMs = 60000;
    CdPipeline job(m_rip, setup("wav"), env, nullptr);
    Recorder r;
    // Once every track is in, the only wait left is the look-up's.
    r.onWait = [&] {
        if (r.ends.size() == 3 && server.requests().size() == 1)
            job.cancel();
    };
    const JobEnd end = runJob(job, r);
    EXPECT_EQ(end.converted, 3u);
    EXPECT_EQ(job.report().verification.summary.kind, accurip::ArSummary::Failed);
    EXPECT_TRUE(job.report().verification.lookupCancelled);
    EXPECT_TRUE(waitUntil([&] { return server.idle(); }));
    EXPECT_EQ(server.closedByClient(), 1);
    EXPECT_TRUE(fs::exists(m_out / "Band - Record.log"));
}

TEST_F(CdPipelineTest, AbortMidRipLeavesNothingCutUnderAFinalName) {
    startDisc(600);
    CdPipeline job(m_rip, setup("flac"), noLookup(), nullptr);
    Recorder r;
    r.onStart = [&](const ItemStart& s) {
        if (s.index == 1)
            job.cancel();
    };
    const JobEnd end = runJob(job, r);
    EXPECT_EQ(end.result, JobResult::Aborted);
    EXPECT_EQ(r.starts.size(), 2u); // nothing is read after the stop
    const char* names[] = {"Band - Opening.flac", "Band - Second.flac", "Band - Finale.flac"};
    for (size_t i = 0; i < 3; ++i) {
        const fs::path final = m_out / names[i];
        if (fs::exists(final) && haveTool("flac")) {
            EXPECT_TRUE(flacAudio(final) == trackAudio(static_cast<int>(i))) << final;
        }
    }
    // The first track was encoding when the stop came: it is whole under its name, or
    // kept aside as cut.
    EXPECT_TRUE(fs::exists(m_out / names[0]) ||
                (end.keptPartials.size() == 1 &&
                 end.keptPartials[0] == (m_out / names[0]).string() + ".part"));
    EXPECT_FALSE(fs::exists(m_out / names[1]));
    EXPECT_FALSE(fs::exists(m_out / names[2]));
    for (const std::string& kept : end.keptPartials) {
        EXPECT_TRUE(fs::is_regular_file(kept)) << kept;
        EXPECT_EQ(kept.substr(kept.size() - 5), ".part");
    }
    const std::string log = fileText(m_out / "Band - Record.log");
    EXPECT_NE(log.find("aborted by the user"), std::string::npos) << log;
    ASSERT_FALSE(r.ends.empty());
    EXPECT_NE(r.ends.back().outcome, ItemOutcome::Converted);
}

TEST_F(CdPipelineTest, ATakenNameIsAskedOnceAndTheAnswerHolds) {
    startDisc();
    const fs::path mine = m_out / "Band - Opening.wav";
    std::ofstream(mine) << "mine";
    {
        // Cancel: nothing is read, nothing is written.
        CdPipeline job(m_rip, setup("wav"), noLookup(), nullptr);
        Recorder r;
        r.answer = Answer::Cancel;
        EXPECT_EQ(runJob(job, r).result, JobResult::Cancelled);
        ASSERT_EQ(r.questions.size(), 1u);
        EXPECT_EQ(r.questions[0].kind, QuestionKind::TakenNames);
        EXPECT_EQ(r.questions[0].taken, std::vector<std::string>{mine.string()});
        EXPECT_EQ(r.questions[0].outputs, 3u);
        EXPECT_TRUE(r.starts.empty());
        EXPECT_EQ(namesIn(m_out), std::vector<std::string>{"Band - Opening.wav"});
        EXPECT_EQ(fileText(mine), "mine");
    }
    {
        // Keep both: the track takes the next free number; the user's file stays.
        CdPipeline job(m_rip, setup("wav", {0}), noLookup(), nullptr);
        Recorder r;
        r.answer = Answer::KeepBoth;
        EXPECT_EQ(runJob(job, r).result, JobResult::Completed);
        EXPECT_EQ(r.questions.size(), 1u);
        EXPECT_EQ(fileText(mine), "mine");
        EXPECT_TRUE(wavAudio(m_out / "Band - Opening (2).wav") == trackAudio(0));
    }
    {
        // Replace: the log and cue sheet of the earlier job are in the way too.
        CdPipeline job(m_rip, setup("wav", {0}), noLookup(), nullptr);
        Recorder r;
        r.answer = Answer::Replace;
        EXPECT_EQ(runJob(job, r).result, JobResult::Completed);
        ASSERT_EQ(r.questions.size(), 1u);
        EXPECT_EQ(r.questions[0].taken.size(), 3u);
        EXPECT_TRUE(wavAudio(mine) == trackAudio(0));
    }
}

TEST_F(CdPipelineTest, ATrackWhoseNameCannotBeReplacedFailsAlone) {
    startDisc();
    // A folder is never replaced, whatever the answer.
    const fs::path folder = m_out / "Band - Second.wav";
    fs::create_directories(folder);
    CdPipeline job(m_rip, setup("wav"), noLookup(), nullptr);
    Recorder r;
    r.answer = Answer::Replace;
    const JobEnd end = runJob(job, r);
    EXPECT_EQ(end.result, JobResult::Completed);
    EXPECT_EQ(end.converted, 2u);
    ASSERT_EQ(r.ends.size(), 3u);
    EXPECT_EQ(r.ends[0].outcome, ItemOutcome::Converted);
    EXPECT_EQ(r.ends[1].outcome, ItemOutcome::Failed);
    EXPECT_EQ(r.ends[1].failure.what, Failure::NameTaken);
    EXPECT_EQ(r.ends[2].outcome, ItemOutcome::Converted);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_TRUE(wavAudio(m_out / "Band - Finale.wav") == trackAudio(2));
    // The log says the second track kept no file; the cue sheet leaves it out.
    const std::string cue = fileText(m_out / "Band - Record.cue");
    EXPECT_EQ(cue.find("Band - Second.wav"), std::string::npos) << cue;
}

TEST_F(CdPipelineTest, AReadFailureStopsTheJobAndKeepsTheTracksBefore) {
    startDisc();
    // The second job names a track the disc does not have.
    CdPipeline job(m_rip, setup("wav", {0, 5, 2}), noLookup(), nullptr);
    Recorder r;
    const JobEnd end = runJob(job, r);
    EXPECT_EQ(end.result, JobResult::Stopped);
    ASSERT_EQ(r.ends.size(), 2u);
    EXPECT_EQ(r.ends[0].outcome, ItemOutcome::Converted);
    EXPECT_EQ(r.ends[1].index, 1u);
    EXPECT_EQ(r.ends[1].outcome, ItemOutcome::Failed);
    EXPECT_EQ(r.ends[1].failure.what, Failure::ReadFailed);
    EXPECT_EQ(r.ends[1].failure.worker, WorkerKind::CdRead);
    EXPECT_EQ(r.ends[1].failure.code, GrabStatus::ErrorTrackMissing);
    EXPECT_EQ(r.starts.size(), 2u);
    EXPECT_TRUE(wavAudio(m_out / "Band - Opening.wav") == trackAudio(0));
    EXPECT_EQ(namesIn(m_out), (std::vector<std::string>{"Band - Opening.wav", "Band - Record.cue",
                                                        "Band - Record.log"}));
    EXPECT_NE(fileText(m_out / "Band - Record.log").find("failed"), std::string::npos);
}

TEST_F(CdPipelineTest, ATrackWithUnreadSectorsIsKeptAndReportedAsInexact) {
    startDisc(0, {{320, 321}});
    m_rip->GetDriveSettings()->SetErrorCorrection(0);
    CdPipeline job(m_rip, setup("wav", {0, 1}), noLookup(), nullptr);
    Recorder r;
    const JobEnd end = runJob(job, r);
    EXPECT_EQ(end.result, JobResult::Completed);
    EXPECT_EQ(end.converted, 2u);
    ASSERT_EQ(job.report().inexact.size(), 1u);
    const auto& inexact = job.report().inexact[0];
    EXPECT_EQ(inexact.item, 1u);
    EXPECT_EQ(inexact.trackIndex, 1);
    EXPECT_GT(inexact.result.unreadSectors, 0);
    EXPECT_EQ(inexact.output, (m_out / "Band - Second.wav").string());
    EXPECT_TRUE(wavAudio(m_out / "Band - Opening.wav") == trackAudio(0));
}

TEST_F(CdPipelineTest, AFolderThatCannotBeMadeAnythingInFailsBeforeAnyRead) {
    startDisc();
    CdRipSpec s = setup("wav");
    s.folder = (m_out / "missing").string();
    CdPipeline job(m_rip, s, noLookup(), nullptr);
    Recorder r;
    EXPECT_EQ(job.run(r).result, JobResult::Stopped);
    EXPECT_EQ(job.report().setupFailure, Failure::OutputNotCreated);
    EXPECT_TRUE(r.starts.empty());
    EXPECT_FALSE(fs::exists(m_out / "missing"));
}

TEST_F(CdPipelineTest, AnUnknownEncoderReadsNothingAndATrackListedTwiceIsRippedTwice) {
    startDisc();
    {
        CdPipeline job(m_rip, setup("ogg"), noLookup(), nullptr);
        Recorder r;
        EXPECT_EQ(runJob(job, r).result, JobResult::Stopped);
        EXPECT_EQ(job.report().setupFailure, Failure::EncoderRefused);
        EXPECT_TRUE(r.starts.empty());
        EXPECT_TRUE(namesIn(m_out).empty());
    }
    CdRipSpec s = setup("wav", {1, 1});
    s.width = 50; // more encoders than tracks
    CdPipeline job(m_rip, s, noLookup(), nullptr);
    Recorder r;
    EXPECT_EQ(runJob(job, r).result, JobResult::Completed);
    EXPECT_TRUE(wavAudio(m_out / "Band - Second.wav") == trackAudio(1));
    EXPECT_TRUE(wavAudio(m_out / "Band - Second (2).wav") == trackAudio(1));
}

namespace {

// Keeps every block it is handed and the threads it was called on.
class KeepingSink : public cld::engine::TrackAudioSink {
public:
    struct Seen {
        std::mutex lock;
        std::map<int, std::vector<uint8_t>> audio; // by track index
        std::map<int, uint64_t> frames;
        std::map<int, bool> whole;
        std::set<std::thread::id> threads;
    };
    KeepingSink(Seen& seen, int track) : m_seen(seen), m_track(track) {}
    void begin(uint64_t frames) override {
        std::lock_guard<std::mutex> hold(m_seen.lock);
        m_seen.frames[m_track] = frames;
        m_seen.threads.insert(std::this_thread::get_id());
    }
    void add(const uint8_t* pcm, size_t bytes) override {
        std::lock_guard<std::mutex> hold(m_seen.lock);
        auto& a = m_seen.audio[m_track];
        a.insert(a.end(), pcm, pcm + bytes);
        m_seen.threads.insert(std::this_thread::get_id());
    }
    void end(bool whole) override {
        std::lock_guard<std::mutex> hold(m_seen.lock);
        m_seen.whole[m_track] = whole;
    }

private:
    Seen& m_seen;
    int m_track;
};

} // namespace

// The checksums of the log come from the audio as the encoders take it, once, on their
// own threads: a sink hung on the pipeline sees every track's audio exactly once, never
// on the thread that runs the job, and the log's checksums are the image's.
TEST_F(CdPipelineTest, ChecksumsAndSinksTakeTheAudioAsItPassesOnTheEncodersThreads) {
    startDisc();
    CdPipeline job(m_rip, setup("wav"), noLookup(), nullptr);
    KeepingSink::Seen seen;
    job.addTrackSink([&seen](const cld::engine::SinkTrack& t) {
        return std::make_unique<KeepingSink>(seen, t.trackIndex);
    });
    Recorder r;
    EXPECT_EQ(runJob(job, r).result, JobResult::Completed);
    EXPECT_EQ(seen.threads.count(std::this_thread::get_id()), 0u);
    EXPECT_FALSE(seen.threads.empty());
    const auto& v = job.report().verification;
    ASSERT_EQ(v.tracks.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const std::vector<uint8_t> audio = trackAudio(i);
        EXPECT_TRUE(seen.audio[i] == audio);
        EXPECT_EQ(seen.frames[i], audio.size() / 4);
        EXPECT_TRUE(seen.whole[i]);
        accurip::TrackChecksummer c(static_cast<int64_t>(audio.size() / 4), i == 0, i == 2);
        c.add(audio.data(), audio.size());
        const accurip::TrackChecksums want = c.result();
        const auto& t = v.tracks[static_cast<size_t>(i)];
        ASSERT_TRUE(t.hasChecksums);
        EXPECT_EQ(t.sums.v1, want.v1);
        EXPECT_EQ(t.sums.v2, want.v2);
        EXPECT_EQ(t.sums.crc32, want.crc32);
        EXPECT_EQ(t.sums.crc32NoSilence, want.crc32NoSilence);
    }
    // The log's checksums are those of the files the user keeps.
    const std::string log = fileText(m_out / "Band - Record.log");
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08X", v.tracks[1].sums.crc32);
    EXPECT_NE(log.find(crc), std::string::npos) << log;
}

// Names the caller settled are used as they stand and nothing is asked; the reads go to
// a folder of the job's own where the caller says, removed afterwards. With the tracks
// read kept on a stop, the track being read is kept under its own name as far as it was
// read (WAV), the tracks before it are whole, and the log says the one is incomplete.
TEST_F(CdPipelineTest, SettledNamesAndAStopThatKeepsWhatWasRead) {
    startDisc(6000);
    const fs::path reads = m_out / "reads";
    fs::create_directories(reads);
    CdRipSpec s = setup("wav", {0, 1});
    cld::engine::OutputPlan plan;
    plan.tracks = {(m_out / "01 first.wav").string(), (m_out / "02 second.wav").string()};
    plan.logBase = (m_out / "the log").string();
    s.names = plan;
    s.readFolder = reads.string();
    s.finishReadTracks = true;
    s.keepCutRead = true;
    s.width = 1;
    std::ofstream(m_out / "02 second.wav") << "mine"; // settled: the caller chose to replace
    s.names->replaceExisting = true;
    CdPipeline job(m_rip, s, noLookup(), nullptr);
    Recorder r;
    // The stop comes once the second track's read holds some audio.
    const auto secondRead = [&reads] {
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(reads, ec))
            if (e.path().filename().string().rfind(".cldrip-", 0) == 0 && e.is_regular_file(ec) &&
                e.file_size(ec) > 44 + 20 * 2352)
                return true;
        return false;
    };
    r.onProgress = [&] {
        if (job.readStatus().trackIndex == 1 && secondRead())
            job.cancel();
    };
    const JobEnd end = runJob(job, r);
    EXPECT_EQ(end.result, JobResult::Aborted);
    EXPECT_TRUE(r.questions.empty());
    EXPECT_TRUE(fs::is_empty(reads));
    ASSERT_EQ(r.ends.size(), 2u);
    EXPECT_EQ(r.ends[0].outcome, ItemOutcome::Converted);
    EXPECT_EQ(r.ends[1].outcome, ItemOutcome::Stopped);
    EXPECT_EQ(r.ends[1].keptAs, (m_out / "02 second.wav").string());
    EXPECT_TRUE(wavAudio(m_out / "01 first.wav") == trackAudio(0));
    const std::vector<uint8_t> cut = wavAudio(m_out / "02 second.wav");
    const std::vector<uint8_t> whole = trackAudio(1);
    EXPECT_GT(cut.size(), 0u);
    EXPECT_LT(cut.size(), whole.size());
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), whole.begin()));
    ASSERT_EQ(job.report().results.size(), 2u);
    const std::string log = fileText(m_out / "the log.log");
    EXPECT_NE(log.find("aborted by the user"), std::string::npos) << log;
    EXPECT_NE(log.find("02 second.wav"), std::string::npos) << log;

    // The same stop in FLAC leaves no file for the cut track.
    if (!haveTool("flac"))
        return;
    fs::remove_all(m_out / "01 first.wav");
    fs::remove_all(m_out / "02 second.wav");
    s.encoder = "flac";
    s.names->tracks = {(m_out / "01 first.flac").string(), (m_out / "02 second.flac").string()};
    s.keepCutRead = false;
    CdPipeline flacJob(m_rip, s, noLookup(), nullptr);
    Recorder f;
    f.onProgress = [&] {
        if (flacJob.readStatus().trackIndex == 1 && secondRead())
            flacJob.cancel();
    };
    EXPECT_EQ(runJob(flacJob, f).result, JobResult::Aborted);
    EXPECT_TRUE(flacAudio(m_out / "01 first.flac") == trackAudio(0));
    EXPECT_FALSE(fs::exists(m_out / "02 second.flac"));
    EXPECT_TRUE(fs::is_empty(reads));
}

// Where the read stands goes only forward within a track: a new track's read starts from
// its own beginning, never from where the read before it ended.
TEST_F(CdPipelineTest, EachTracksReadFiguresStartFromItsOwnBeginning) {
    startDisc(3000);
    CdPipeline job(m_rip, setup("wav"), noLookup(), nullptr);
    Recorder r;
    std::map<int, std::vector<int>> seen;
    r.onProgress = [&] {
        const auto& read = job.readStatus();
        if (read.trackIndex >= 0)
            seen[read.trackIndex].push_back(read.percent);
    };
    EXPECT_EQ(runJob(job, r).result, JobResult::Completed);
    ASSERT_EQ(seen.size(), 3u);
    for (const auto& [track, percents] : seen) {
        SCOPED_TRACE(track);
        ASSERT_GE(percents.size(), 2u);
        EXPECT_LT(percents.front(), 100);
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
        EXPECT_EQ(percents.back(), 100);
    }
}
