// The verified-rip step with both databases on loopback: a disc that only CTDB knows, one
// that only AccurateRip knows, and a rip read with the wrong read offset that CTDB still
// recognises, shifted. The CTDB entries are made here from the disc image with a plain
// CRC written from the database's description, not with the code under test.

#include "CdPipeline.h"
#include "VerifyFixture.h"

#include <cstdio>

using namespace cldtest;
using cld::engine::VerifyEnv;

namespace fs = std::filesystem;

namespace {

uint32_t plainCrc(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = from; i < to; ++i) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

std::string hex8(uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "%08x", v);
    return b;
}

class CtdbVerifyTest : public VerifyFixture {
protected:
    // The AccurateRip server's setting with the CTDB look-up on loopback beside it.
    VerifyEnv env() {
        VerifyEnv e = VerifyFixture::env();
        e.ctdbLookup = true;
        e.ctdbServer = "http://127.0.0.1:" + std::to_string(m_ctdb.port()) + "/lookup2.php";
        return e;
    }

    // The disc's CTDB answer: one entry of `confidence` submissions made from the image,
    // and one of another pressing that agrees on nothing.
    std::string ctdbAnswer(int confidence) {
        const auto ranges = tracks();
        const auto audio = imageBytes(ranges.front().first, ranges.back().last);
        const size_t total = audio.size() / 4;
        const size_t tail = 5880 + total % 5880;
        std::string trackCrcs;
        for (size_t i = 0; i < ranges.size(); ++i) {
            size_t from = static_cast<size_t>(ranges[i].first - ranges.front().first) * 588;
            size_t to = static_cast<size_t>(ranges[i].last + 1 - ranges.front().first) * 588;
            if (i == 0)
                from += 5880;
            if (i + 1 == ranges.size())
                to -= tail;
            trackCrcs += (i ? " " : "") + hex8(plainCrc(audio, from * 4, to * 4));
        }
        return "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n"
               "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ctdb "
               "xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\">\n  <entry confidence=\"" +
               std::to_string(confidence) + "\" crc32=\"" +
               hex8(plainCrc(audio, 5880 * 4, (total - tail) * 4)) +
               "\" id=\"4711\" npar=\"8\" stride=\"5880\" toc=\"0:600:1250\" trackcrcs=\"" +
               trackCrcs +
               "\" />\n  <entry confidence=\"2\" crc32=\"12345678\" id=\"9\" trackcrcs=\"1 2 "
               "3\" />\n</ctdb>\n";
    }

    // Rips every track into a folder of its own for this rip.
    cld::engine::RipLogRequest ripAll() {
        const fs::path folder = m_out / ("rip" + std::to_string(++m_rips));
        fs::create_directories(folder);
        cld::engine::RipLogRequest request;
        request.folder = folder.string();
        request.artist = "Band";
        request.album = "Record";
        for (int i = 0; i < 3; ++i) {
            const std::string name = "track" + std::to_string(i + 1) + ".wav";
            m_rip->SetOutputFolder(Text(folder.string()));
            EXPECT_EQ(m_rip->AddTrack(i, Text(name), 0, -1), 0);
            EXPECT_EQ(m_rip->StartGrab(), 1);
            EXPECT_EQ(waitForGrab().error, 0);
            cld::engine::RipLogFile f;
            f.trackIndex = i;
            f.path = (folder / name).string();
            request.files.push_back(f);
        }
        return request;
    }

    CddbTestServer m_ctdb;
    int m_rips = 0;
};

} // namespace

TEST_F(CtdbVerifyTest, ADiscOnlyCtdbKnowsIsVerifiedByCtdb) {
    startDisc(0);
    m_ar.queueAnswer("HTTP/1.0 404 Not Found\r\n\r\n");
    m_ctdb.queueAnswer(ctdbAnswer(4));
    const auto result = cld::engine::writeRipLogAndCue(env(), ripAll());
    EXPECT_EQ(result.summary.kind, accurip::ArSummary::NotInDatabase);
    ASSERT_EQ(result.ctdb.state, accurip::CtdbLogResult::State::Checked) << result.ctdb.detail;
    EXPECT_EQ(result.ctdb.verdict.kind, accurip::CtdbVerdict::Accurate);
    EXPECT_EQ(result.ctdb.verdict.shift, 0);
    EXPECT_EQ(result.verifiedBy, "CTDB");
    ASSERT_EQ(m_ctdb.requests().size(), 1u);
    EXPECT_NE(
        m_ctdb.requests()[0].find("GET /lookup2.php?version=3&ctdb=1&fuzzy=1&toc=0:600:1250:"),
        std::string::npos)
        << m_ctdb.requests()[0];
    const std::string log = fileText(result.logPath);
    EXPECT_NE(log.find("CTDB TOC: 0:600:1250:"), std::string::npos) << log;
    EXPECT_NE(log.find("  CTDB: accurate (confidence 4)\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\nCTDB: accurate (confidence 4 of 6 submissions, entry 4711)\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\nVerified: yes, by CTDB\n"), std::string::npos) << log;
}

// A rip into a lossy format keeps no file the sums could be taken from again: the CD
// pipeline takes them from the audio as it is read, and the disc is still looked up.
TEST_F(CtdbVerifyTest, ARipToMp3IsVerifiedByCtdbFromTheAudioAsRead) {
    struct Answers : cld::engine::JobObserver {
        cld::engine::Answer ask(const cld::engine::Question&) override {
            return cld::engine::Answer::Stop;
        }
    } observer;
    startDisc(0);
    m_ar.queueAnswer("HTTP/1.0 404 Not Found\r\n\r\n");
    m_ctdb.queueAnswer(ctdbAnswer(5));
    cld::engine::CdRipSpec setup;
    for (int i = 0; i < 3; ++i)
        setup.tracks.push_back({i, "Take " + std::to_string(i + 1)});
    setup.artist = "Band";
    setup.album = "Record";
    setup.folder = (m_out / "mp3").string();
    fs::create_directories(setup.folder);
    setup.encoder = "mp3";
    setup.width = 2;
    cld::engine::CdPipeline job(m_rip, setup, env(), nullptr);
    EXPECT_EQ(job.run(observer).result, cld::engine::JobResult::Completed);
    const auto& v = job.report().verification;
    ASSERT_EQ(v.ctdb.state, accurip::CtdbLogResult::State::Checked) << v.ctdb.detail;
    EXPECT_EQ(v.ctdb.verdict.kind, accurip::CtdbVerdict::Accurate);
    EXPECT_EQ(v.verifiedBy, "CTDB");
    const std::string log = fileText(v.logPath);
    EXPECT_NE(log.find("  File: Band - Take 1.mp3\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\nVerified: yes, by CTDB\n"), std::string::npos) << log;
}

TEST_F(CtdbVerifyTest, ADiscOnlyAccurateRipKnowsIsVerifiedByAccurateRip) {
    startDisc(0);
    m_ar.queueAnswer(arEntry());
    m_ctdb.queueAnswer("HTTP/1.0 404 Not Found\r\n\r\n");
    const auto result = cld::engine::writeRipLogAndCue(env(), ripAll());
    EXPECT_EQ(result.summary.kind, accurip::ArSummary::AllAccurate);
    EXPECT_EQ(result.ctdb.state, accurip::CtdbLogResult::State::NotInDatabase);
    EXPECT_EQ(result.verifiedBy, "AccurateRip");
    const std::string log = fileText(result.logPath);
    EXPECT_NE(log.find("\nCTDB: not in the database\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\nVerified: yes, by AccurateRip\n"), std::string::npos) << log;

    // Both know it; a broken CTDB answer leaves AccurateRip's word standing.
    m_ar.queueAnswer(arEntry());
    m_ctdb.queueAnswer(ctdbAnswer(3));
    EXPECT_EQ(cld::engine::writeRipLogAndCue(env(), ripAll()).verifiedBy, "AccurateRip and CTDB");
    m_ar.queueAnswer(arEntry());
    m_ctdb.queueAnswer("HTTP/1.0 200 OK\r\n\r\n<ctdb><entry crc32=");
    const auto broken = cld::engine::writeRipLogAndCue(env(), ripAll());
    EXPECT_EQ(broken.ctdb.state, accurip::CtdbLogResult::State::Failed);
    EXPECT_EQ(broken.verifiedBy, "AccurateRip");
}

TEST_F(CtdbVerifyTest, ARipWithTheWrongReadOffsetIsFoundShifted) {
    // The drive delivers its audio 667 samples late and the rip corrects nothing: every
    // track differs as it is, but the disc matches shifted by the offset the drive needs.
    startDisc(667);
    m_ar.queueAnswer("HTTP/1.0 404 Not Found\r\n\r\n");
    m_ctdb.queueAnswer(ctdbAnswer(5));
    const auto result = cld::engine::writeRipLogAndCue(env(), ripAll());
    ASSERT_EQ(result.ctdb.state, accurip::CtdbLogResult::State::Checked) << result.ctdb.detail;
    EXPECT_EQ(result.ctdb.verdict.kind, accurip::CtdbVerdict::Accurate);
    EXPECT_EQ(result.ctdb.verdict.shift, 667);
    EXPECT_EQ(result.ctdb.verdict.entryId, "4711");
    const std::string log = fileText(result.logPath);
    EXPECT_NE(log.find("shifted by 667 samples"), std::string::npos) << log;
}

TEST_F(CtdbVerifyTest, OffsetDetectionFallsBackOnCtdbWhenAccurateRipLacksTheDisc) {
    startDisc(667);
    m_ar.queueAnswer("HTTP/1.0 404 Not Found\r\n\r\n");
    m_ctdb.queueAnswer(ctdbAnswer(5));
    const auto found = cld::engine::detectReadOffset(env(), 0, m_dir.path().string());
    ASSERT_TRUE(found.found) << static_cast<int>(found.failure) << " " << found.detail;
    EXPECT_TRUE(found.byCtdb);
    EXPECT_EQ(found.offset, 667);
    EXPECT_EQ(found.confidence, 5);
    EXPECT_EQ(m_rip->GetDriveSettings()->GetReadOffset(), 0) << "the setting is restored";
    for (const auto& file : fs::directory_iterator(m_dir.path()))
        EXPECT_NE(file.path().filename().string().rfind(".cld-", 0), 0u) << file.path();

    // Neither database knows the disc: AccurateRip's reason is given.
    m_ar.queueAnswer("HTTP/1.0 404 Not Found\r\n\r\n");
    m_ctdb.queueAnswer("HTTP/1.0 404 Not Found\r\n\r\n");
    EXPECT_EQ(cld::engine::detectReadOffset(env(), 0, m_dir.path().string()).failure,
              cld::engine::OffsetFailure::NotInDatabase);
}
