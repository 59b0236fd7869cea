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

