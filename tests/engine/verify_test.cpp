// The verified-rip step below any front end, on the virtual drive with AccurateRip
// answers on loopback: offset detection (found, unknown disc, cancelled while the server
// hangs) and the log of a job that rips one track at a time and did not end well.

#include "VerifyFixture.h"

#include <atomic>

using namespace cldtest;
using cld::engine::OffsetFailure;
using cld::engine::VerifyEnv;

namespace fs = std::filesystem;

namespace {

constexpr int kOffset = 667;

class VerifyTest : public VerifyFixture {
protected:
    // Grabs track `index` into `name` in the output folder.
    void grab(int index, const std::string& name) {
        m_rip->SetOutputFolder(Text(m_out.string()));
        ASSERT_EQ(m_rip->AddTrack(index, Text(name), 0, -1), 0);
        ASSERT_EQ(m_rip->StartGrab(), 1);
        EXPECT_EQ(waitForGrab().error, 0);
    }
};

} // namespace

TEST_F(VerifyTest, OffsetDetectionFindsTheDrivesOffsetOrSaysWhyNot) {
    startDisc(kOffset);
    m_ar.queueAnswer(arEntry());
    const auto found = cld::engine::detectReadOffset(env(), 0, m_dir.path().string());
    ASSERT_TRUE(found.found) << static_cast<int>(found.failure) << " " << found.detail;
    EXPECT_EQ(found.offset, kOffset);
    EXPECT_EQ(found.confidence, 7);
    EXPECT_EQ(found.failure, OffsetFailure::None);
    // Its folder went with the read, and the drive's own setting is as it was.
    for (const auto& file : fs::directory_iterator(m_dir.path()))
        EXPECT_NE(file.path().filename().string().rfind(".cld-", 0), 0u) << file.path();
    EXPECT_EQ(m_rip->GetDriveSettings()->GetReadOffset(), 0);

    m_ar.queueAnswer("HTTP/1.0 404 Not Found\r\n\r\n");
    const auto unknown = cld::engine::detectReadOffset(env(), 0, m_dir.path().string());
    EXPECT_FALSE(unknown.found);
    EXPECT_EQ(unknown.failure, OffsetFailure::NotInDatabase);

    // A server that never answers: the caller's cancel ends the wait, not the deadline.
    CddbTestServer::Script silent;
    silent.holdMs = 120000;
    m_ar.queue(silent);
    std::atomic<bool> stop{false};
    VerifyEnv hanging = env();
    hanging.cancelled = [&] { return stop.load(); };
    hanging.wait = [&](int milliseconds, const std::function<bool()>& ready) {
        if (m_ar.requests().size() == 3)
            stop = true;
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (!ready() && !stop && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    const auto cancelled = cld::engine::detectReadOffset(hanging, 0, m_dir.path().string());
    EXPECT_FALSE(cancelled.found);
    EXPECT_EQ(cancelled.failure, OffsetFailure::Cancelled);
    EXPECT_TRUE(waitUntil([&] { return m_ar.idle(); }));
    EXPECT_EQ(m_ar.closedByClient(), 1);

    // No ripper at all.
    VerifyEnv none;
    EXPECT_EQ(cld::engine::detectReadOffset(none, 0, m_dir.path().string()).failure,
              OffsetFailure::NoDrive);
}

TEST_F(VerifyTest, AJobRippingOneTrackAtATimeLogsWhatBecameOfEachFile) {
    startDisc(0);
    VerifyEnv e = env();
    e.lookup = false;
    cld::engine::RipLogJob job;
    cld::engine::RipNames names{"Band", "Record", "", 0};
    names.title = "One";
    grab(0, "one.wav");
    auto first = cld::engine::recordRippedTrack(e, job, 0, names, (m_out / "one.wav").string(),
                                                (m_out / "Band - One.mp3").string());
    EXPECT_TRUE(first.attempted);
    EXPECT_EQ(first.logPath, (m_out / "Band - Record.log").string());
    EXPECT_TRUE(job.written);
    names.title = "Two";
    grab(1, "two.wav");
    auto second = cld::engine::recordRippedTrack(e, job, 1, names, (m_out / "two.wav").string(),
                                                 (m_out / "Band - Two.mp3").string());
    ASSERT_EQ(second.tracks.size(), 2u);
    EXPECT_TRUE(second.tracks[1].hasChecksums);
    EXPECT_EQ(second.logPath, first.logPath) << "the job's own log is rewritten";
    // The first track's output is whole, the second was cut and kept aside.
    const auto last = cld::engine::finishRipLog(
        e, job, "aborted by the user", {(m_out / "Band - One.mp3").string()},
        {{(m_out / "Band - Two.mp3").string(), (m_out / "Band - Two.mp3.part").string()}});
    EXPECT_TRUE(last.attempted);
    const std::string log = fileText(first.logPath);
    EXPECT_EQ(log.rfind("Rip log\nStatus: incomplete, aborted by the user\n", 0), 0u) << log;
    EXPECT_NE(log.find("  File: Band - One.mp3\n"), std::string::npos) << log;
    EXPECT_NE(log.find("  File: Band - Two.mp3.part (incomplete"), std::string::npos) << log;
    const std::string cue = fileText(m_out / "Band - Record.cue");
    EXPECT_NE(cue.find("Band - One.mp3"), std::string::npos) << cue;
    EXPECT_EQ(cue.find("Band - Two"), std::string::npos) << cue;

    // A job that never wrote a log writes none at its end.
    cld::engine::RipLogJob nothing;
    EXPECT_FALSE(cld::engine::finishRipLog(e, nothing, "failed", {}, {}).attempted);
}
