// Verified rips on the virtual drive: a drive with a read offset, the offset setting,
// AccurateRip checksums checked against an entry served on loopback, offset detection,
// and the log and cue sheet written beside the files.

#include "AccurateRip.h"
#include "ArLookup.h"
#include "CddbTestServer.h"
#include "CueSheet.h"
#include "DiscImage.h"
#include "GrabFixture.h"
#include "Processes.h"
#include "RipLog.h"

#include <algorithm>
#include <fstream>
#include <sstream>

using namespace cldtest;
using vdrivekit::Content;
using vdrivekit::DiscSpec;

namespace {

class VerifiedRip : public GrabTest {
protected:
    static constexpr int kOffset = 667;

    DiscSpec disc(int64_t offset, int jitter = 0) {
        DiscSpec d;
        d.title = "Album";
        d.performer = "Artist";
        d.tracks.push_back({Content::Music, 700, "One", {}, 0, 0});
        d.tracks.push_back({Content::Music, 800, "Two", "Guest", 0, 0});
        d.tracks.push_back({Content::Music, 900, "Three", {}, 0, 0});
        d.faults.readOffset = offset;
        d.faults.jitterFrames = jitter;
        return d;
    }

    accurip::DiscLayout layout() {
        accurip::DiscLayout d;
        int n = 1;
        for (const TrackRange& t : tracks()) {
            d.tracks.push_back({n++, t.first, true});
            d.leadOut = t.last + 1;
        }
        return d;
    }

    // Grabs every track into t<i>.wav with the given correction and read offset.
    Outcome grabAll(int correction, int32_t offset) {
        m_rip->GetDriveSettings()->SetErrorCorrection(correction);
        EXPECT_EQ(m_rip->GetDriveSettings()->SetReadOffset(offset), 0);
        EXPECT_EQ(m_rip->GetDriveSettings()->GetReadOffset(), offset);
        m_rip->SetOutputFolder(Text(m_out.string()));
        for (int i = 0; i < 3; ++i)
            m_rip->AddTrack(i, Text("t" + std::to_string(i) + ".wav"), 0, -1);
        if (m_rip->StartGrab() != 1) {
            ADD_FAILURE() << "grab did not start";
            return {};
        }
        return waitForGrab();
    }

    std::vector<accurip::TrackChecksums> checksumsOfFiles() {
        std::vector<accurip::TrackChecksums> out;
        for (int i = 0; i < 3; ++i) {
            accurip::TrackChecksums c;
            std::string why;
            EXPECT_TRUE(accurip::checksumWaveFile(
                (m_out / ("t" + std::to_string(i) + ".wav")).string(), i == 0, i == 2, c, why))
                << why;
            out.push_back(c);
        }
        return out;
    }

    // The entry other people's rips of the image make: confidence 7, v2 checksums, and
    // a second response with v1 checksums of confidence 3.
    std::vector<uint8_t> entryOfImage() {
        const auto d = layout();
        accurip::EntryResponse v1, v2;
        v1.ids = v2.ids = accurip::discIds(d);
        const auto ranges = tracks();
        for (size_t i = 0; i < ranges.size(); ++i) {
            const auto bytes = imageBytes(ranges[i].first, ranges[i].last);
            accurip::TrackChecksummer c(static_cast<int64_t>(bytes.size() / 4), i == 0,
                                        i + 1 == ranges.size());
            c.add(bytes.data(), bytes.size());
            const uint32_t frame = accurip::frameChecksum(bytes.data() + 450 * 2352);
            v2.tracks.push_back({7, c.result().v2, frame});
            v1.tracks.push_back({3, c.result().v1, frame});
        }
        return accurip::buildEntry({v2, v1});
    }

    accurip::LookupAnswer lookUpOn(CddbTestServer& server) {
        return accurip::lookUp("http://127.0.0.1:" + std::to_string(server.port()) + "/ar/",
                               accurip::discIds(layout()), 5000, nullptr);
    }

    static std::string http(int status, const std::vector<uint8_t>& body) {
        std::string head = "HTTP/1.0 " + std::to_string(status) +
                           (status == 200 ? " OK" : " Not Found") +
                           "\r\nContent-Type: application/octet-stream\r\n\r\n";
        return head + std::string(body.begin(), body.end());
    }
};

} // namespace

TEST_F(VerifiedRip, WithTheDrivesOffsetTheRipIsExactAndAccurate) {
    start({disc(kOffset, 3)});
    makeObject();
    const Outcome o = grabAll(1, kOffset);
    EXPECT_EQ(o.error, 0);
    const auto ranges = tracks();
    for (int i = 0; i < 3; ++i) {
        auto want =
            imageBytes(ranges[static_cast<size_t>(i)].first, ranges[static_cast<size_t>(i)].last);
        if (i == 2) {
            // The drive cannot read past the disc: its last 667 samples are silence.
            EXPECT_NE(std::count(want.end() - kOffset * 4, want.end(), 0), kOffset * 4);
            std::fill(want.end() - kOffset * 4, want.end(), 0);
        }
        EXPECT_TRUE(readWav(m_out / ("t" + std::to_string(i) + ".wav")).data == want)
            << "track " << i + 1;
    }

    CddbTestServer server;
    server.queueAnswer(http(200, entryOfImage()));
    const accurip::LookupAnswer a = lookUpOn(server);
    ASSERT_EQ(a.status, accurip::LookupAnswer::Found) << a.detail;
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_NE(server.requests()[0].find(
                  "GET /ar/" + accurip::entryPath(accurip::discIds(layout())) + " HTTP/1.0"),
              std::string::npos)
        << server.requests()[0];
    bool other = true;
    const auto v =
        accurip::verify(accurip::discIds(layout()), checksumsOfFiles(), a.responses, other);
    EXPECT_FALSE(other);
    for (const auto& t : v) {
        // 7 rips agree through v2 checksums and 3 through v1.
        EXPECT_EQ(t.kind, accurip::TrackVerdict::Accurate);
        EXPECT_EQ(t.confidence, 10);
        EXPECT_EQ(t.version, 2);
        EXPECT_EQ(t.confidenceV1, 3);
        EXPECT_EQ(t.confidenceV2, 7);
        EXPECT_EQ(accurip::verdictText(t), "accurately ripped (confidence 3 (v1), 7 (v2))");
    }
}

TEST_F(VerifiedRip, WithoutTheOffsetTheRipIsShiftedAndNotAccurate) {
    start({disc(kOffset)});
    makeObject();
    grabAll(1, 0);
    const auto ranges = tracks();
    // The drive delivered every sector's audio 667 samples early.
    const Wav w = readWav(m_out / "t1.wav");
    const auto whole = imageBytes(0, ranges.back().last);
    const size_t from = static_cast<size_t>(ranges[1].first * 2352 - kOffset * 4);
    ASSERT_EQ(w.data.size(), static_cast<size_t>(800 * 2352));
    EXPECT_TRUE(std::equal(w.data.begin(), w.data.end(), whole.begin() + static_cast<long>(from)));

    CddbTestServer server;
    server.queueAnswer(http(200, entryOfImage()));
    const accurip::LookupAnswer a = lookUpOn(server);
    ASSERT_EQ(a.status, accurip::LookupAnswer::Found) << a.detail;
    bool other = true;
    const auto v =
        accurip::verify(accurip::discIds(layout()), checksumsOfFiles(), a.responses, other);
    for (const auto& t : v) {
        EXPECT_EQ(t.kind, accurip::TrackVerdict::NotAccurate);
        EXPECT_EQ(t.otherRips, 10);
        EXPECT_EQ(t.confidence, 0);
        EXPECT_EQ(accurip::verdictText(t), "not accurate (10 other rips differ)");
    }
}

TEST_F(VerifiedRip, NegativeOffsetsAndSilenceBeyondTheDisc) {
    // A drive delivering late; the last samples of the disc lie past what it can read
    // with the correction applied and come back as silence, never as an error.
    start({disc(-1200)});
    makeObject();
    const Outcome o = grabAll(5, -1200);
    EXPECT_EQ(o.error, 0);
    const auto ranges = tracks();
    for (int i = 0; i < 3; ++i) {
        auto want =
            imageBytes(ranges[static_cast<size_t>(i)].first, ranges[static_cast<size_t>(i)].last);
        if (i == 0) // the first 1200 samples lie before what the drive can read
            std::fill(want.begin(), want.begin() + 1200 * 4, 0);
        EXPECT_TRUE(readWav(m_out / ("t" + std::to_string(i) + ".wav")).data == want) << i;
    }
    // Absurd settings are refused and change nothing.
    EXPECT_EQ(m_rip->GetDriveSettings()->SetReadOffset(5001), 1);
    EXPECT_EQ(m_rip->GetDriveSettings()->SetReadOffset(-6000), 1);
    EXPECT_EQ(m_rip->GetDriveSettings()->GetReadOffset(), -1200);
    EXPECT_EQ(m_cdda->SetReadOffset(5000), 0);
    EXPECT_EQ(m_cdda->GetReadOffset(), 5000);
}

TEST_F(VerifiedRip, OffsetDetectionWithAKnownDiscFindsTheDrivesOffset) {
    start({disc(kOffset)});
    makeObject();
    std::vector<accurip::EntryResponse> entry;
    std::string why;
    const auto bytes = entryOfImage();
    ASSERT_TRUE(accurip::parseEntry(bytes.data(), bytes.size(), entry, why)) << why;
    // Read sectors 440..460 of track 2 without correction and try every offset.
    const auto ranges = tracks();
    const long first = ranges[1].first + 440;
    ASSERT_EQ(m_cdda->SetReadOffset(0), 0);
    int32_t size = 0;
    ASSERT_EQ(m_cdda->OpenRipper(&size, first, first + 29), 0);
    std::vector<uint8_t> raw, buffer(static_cast<size_t>(size));
    int32_t got = 0;
    for (int guard = 0; guard < 100 && m_cdda->RipChunk(buffer.data(), &got, nullptr) != 4; ++guard)
        raw.insert(raw.end(), buffer.begin(), buffer.begin() + got);
    m_cdda->CloseRipper();
    const auto found = accurip::findOffsets(raw.data(), raw.size() / 4, first * 588,
                                            ranges[1].first, 1, entry, 5000);
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found.front().offset, kOffset);
    EXPECT_EQ(found.front().confidence, 10);
}

TEST_F(VerifiedRip, LogAndCueSheetDescribeTheRipAndTheCueReadsBackToTheSameDisc) {
    start({disc(kOffset)});
    makeObject();
    grabAll(1, kOffset);
    accurip::RipLogInfo info;
    info.program = "Calderine 2002 test";
    info.date = "2026-12-08 01:00:00";
    info.drive = "Virtual CD-ROM";
    info.readOffset = kOffset;
    info.errorCorrection = "Jitter correction";
    info.artist = "Artist";
    info.album = "Album: \"Live\"";
    info.disc = layout();
    const auto sums = checksumsOfFiles();
    const char* titles[] = {"One", "Two", "Three"};
    for (int i = 0; i < 3; ++i) {
        accurip::LogTrack t;
        t.number = i + 1;
        t.file = "t" + std::to_string(i) + ".wav";
        t.title = titles[i];
        t.performer = i == 1 ? "Guest" : "";
        t.result = accurip::ReadResult::Exact;
        t.hasChecksums = true;
        t.sums = sums[static_cast<size_t>(i)];
        t.hasVerdict = true;
        t.verdict = {accurip::TrackVerdict::Accurate, 7, 2, 0};
        info.tracks.push_back(t);
    }
    info.lookup = accurip::LookupState::Checked;
    std::string logPath, error;
    const std::string base = (m_out / accurip::ripLogBaseName(info.artist, info.album)).string();
    ASSERT_TRUE(accurip::writeRipLog(base, false, info, logPath, error)) << error;
    EXPECT_EQ(logPath, (m_out / "Artist - Album. 'Live'.log").string());
    std::ifstream in(logPath);
    std::stringstream log;
    log << in.rdbuf();
    const std::string text = log.str();
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08X", sums[1].v2);
    EXPECT_NE(text.find("Read offset: 667 samples"), std::string::npos) << text;
    EXPECT_NE(text.find(std::string("  AccurateRip v2: ") + crc), std::string::npos) << text;
    EXPECT_NE(text.find("AccurateRip: accurately ripped (confidence 7 (v2))"), std::string::npos);
    EXPECT_NE(text.find("Summary: 3 tracks, 3 exact, 0 failed; All 3 tracks accurately ripped "
                        "(confidence 7)"),
              std::string::npos)
        << text;

    // The cue sheet, read by the virtual drive, is the same disc: same tracks, same
    // starts, same names, and the same audio.
    vdrive::CueSheet cue;
    ASSERT_TRUE(vdrive::CueSheet::load((m_out / "Artist - Album. 'Live'.cue").string(), cue, error))
        << error;
    EXPECT_EQ(cue.performer, "Artist");
    EXPECT_EQ(cue.title, "Album: 'Live'");
    ASSERT_EQ(cue.tracks.size(), 3u);
    EXPECT_EQ(cue.tracks[1].title, "Two");
    EXPECT_EQ(cue.tracks[1].performer, "Guest");
    auto image = vdrive::DiscImage::build(cue, error);
    ASSERT_TRUE(image) << error;
    const auto ranges = tracks();
    ASSERT_EQ(image->tracks().size(), ranges.size());
    for (size_t i = 0; i < ranges.size(); ++i)
        EXPECT_EQ(image->tracks()[i].start, ranges[i].first) << i;
    EXPECT_EQ(image->leadOut(), ranges.back().last + 1);
    std::vector<uint8_t> back(2352 * 20);
    image->copyBytes(ranges[2].first * 2352, back.size(), back.data());
    EXPECT_TRUE(back == imageBytes(ranges[2].first, ranges[2].first + 19));
    const std::string cueText = accurip::cueText(info);
    char id[16];
    std::snprintf(id, sizeof id, "%08X", accurip::discIds(layout()).freedb);
    EXPECT_NE(cueText.find(std::string("REM DISCID ") + id), std::string::npos);
}

TEST_F(VerifiedRip, LookupReportsEveryKindOfBadServer) {
    start({disc(0)});
    makeObject();
    CddbTestServer server;
    auto entry = entryOfImage();
    // Truncated, empty, 404, an HTTP error, a body that is not an entry at all.
    server.queueAnswer(http(200, std::vector<uint8_t>(entry.begin(), entry.end() - 5)));
    server.queueAnswer(http(200, {}));
    server.queueAnswer(http(404, {}));
    server.queueAnswer("HTTP/1.0 500 Internal Error\r\n\r\n");
    server.queueAnswer("garbage without a header");
    auto a = lookUpOn(server);
    EXPECT_EQ(a.status, accurip::LookupAnswer::Malformed);
    EXPECT_NE(a.detail.find("truncated"), std::string::npos) << a.detail;
    a = lookUpOn(server);
    EXPECT_EQ(a.status, accurip::LookupAnswer::Malformed);
    EXPECT_NE(a.detail.find("empty"), std::string::npos) << a.detail;
    a = lookUpOn(server);
    EXPECT_EQ(a.status, accurip::LookupAnswer::NotInDatabase) << a.detail;
    a = lookUpOn(server);
    EXPECT_EQ(a.status, accurip::LookupAnswer::Malformed);
    EXPECT_NE(a.detail.find("500"), std::string::npos) << a.detail;
    a = lookUpOn(server);
    EXPECT_EQ(a.status, accurip::LookupAnswer::Malformed);
    // A huge answer is cut off at the largest entry there can be.
    server.queueAnswer(http(200, std::vector<uint8_t>(accurip::kMaxEntryBytes + 100000, 3)));
    a = lookUpOn(server);
    EXPECT_EQ(a.status, accurip::LookupAnswer::Malformed);
    EXPECT_NE(a.detail.find("larger"), std::string::npos) << a.detail;
    // An entry for another disc is read, and verification says so.
    accurip::DiscLayout other = layout();
    other.leadOut += 1;
    accurip::EntryResponse r;
    r.ids = accurip::discIds(other);
    r.tracks.assign(3, {5, 1, 1});
    server.queueAnswer(http(200, accurip::buildEntry({r})));
    a = lookUpOn(server);
    ASSERT_EQ(a.status, accurip::LookupAnswer::Found) << a.detail;
    bool otherDisc = false;
    accurip::verify(accurip::discIds(layout()), std::vector<accurip::TrackChecksums>(3),
                    a.responses, otherDisc);
    EXPECT_TRUE(otherDisc);

    // A server that accepts and never answers: the deadline ends the wait.
    CddbTestServer::Script silent;
    silent.holdMs = 60000;
    server.queue(silent);
    ASSERT_TRUE(cldtest::waitUntil([&] { return server.idle(); }));
    const int closedBefore = server.closedByClient();
    const int handledBefore = server.handled();
    a = accurip::lookUp("http://127.0.0.1:" + std::to_string(server.port()) + "/",
                        accurip::discIds(layout()), 400, nullptr);
    EXPECT_EQ(a.status, accurip::LookupAnswer::TimedOut) << a.detail;
    // The client gave up long before the server's minute of silence ended.
    EXPECT_TRUE(cldtest::waitUntil([&] { return server.handled() == handledBefore + 1; }));
    EXPECT_EQ(server.closedByClient(), closedBefore + 1);

    // Nothing listens: offline.
    int freePort = 0;
    {
        CddbTestServer gone;
        freePort = gone.port();
    }
    a = accurip::lookUp("http://127.0.0.1:" + std::to_string(freePort) + "/",
                        accurip::discIds(layout()), 2000, nullptr);
    EXPECT_EQ(a.status, accurip::LookupAnswer::Offline) << a.detail;
    a = accurip::lookUp("ftp://nowhere/", accurip::discIds(layout()), 2000, nullptr);
    EXPECT_EQ(a.status, accurip::LookupAnswer::Malformed);
}
