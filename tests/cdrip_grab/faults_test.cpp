// Drive faults a rip must survive: every track comes out exact or says it is not, per
// track, at the end of a grab of several tracks.

#include "GrabFixture.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <sstream>

using namespace cldtest;
using vdrivekit::Content;
using vdrivekit::DiscSpec;
using vdrivekit::TrackSpec;

namespace {

// Audio that repeats exactly: what fools an overlap match.
enum class Periodic {
    MinusOne, // constant -1 on both channels, as fade-outs of real masters end
    Tone441,  // 441 Hz: a period of exactly 100 frames
    Cycle49,  // a 49-frame cycle
};

std::vector<std::uint8_t> periodicAudio(Periodic kind, long sectors) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(sectors * 2352));
    for (long f = 0; f < sectors * 588; ++f) {
        std::int16_t l = -1;
        std::int16_t r = -1;
        if (kind == Periodic::Tone441) {
            l = static_cast<std::int16_t>(
                std::lround(9000 * std::sin(2 * M_PI * (f % 100) / 100.0)));
            r = static_cast<std::int16_t>(-l / 2);
        } else if (kind == Periodic::Cycle49) {
            l = static_cast<std::int16_t>((f % 49) * 300 - 7000);
            r = static_cast<std::int16_t>(7000 - (f % 49) * 200);
        }
        const auto ul = static_cast<std::uint16_t>(l);
        const auto ur = static_cast<std::uint16_t>(r);
        std::uint8_t* p = &bytes[static_cast<std::size_t>(4 * f)];
        p[0] = static_cast<std::uint8_t>(ul);
        p[1] = static_cast<std::uint8_t>(ul >> 8);
        p[2] = static_cast<std::uint8_t>(ur);
        p[3] = static_cast<std::uint8_t>(ur >> 8);
    }
    return bytes;
}

bool goodResult(int32_t result) {
    return result == GrabStatus::TrackExact || result == GrabStatus::TrackCorrected;
}

class FaultTest : public GrabTest {
protected:
    void TearDown() override {
        dispose();
        GrabTest::TearDown();
    }
    void dispose() {
        if (m_rip)
            m_rip->Dispose();
        if (m_cdda)
            m_cdda->Dispose();
        m_rip = nullptr;
        m_cdda = nullptr;
    }
    // Fresh drives (and fresh objects, as they scan the drives on creation).
    void restart(const std::vector<DiscSpec>& discs, const std::filesystem::path& log = {}) {
        dispose();
        m_drives.reset();
        m_drives = std::make_unique<vdrivekit::VirtualDrives>(
            m_dir.path() / ("images" + std::to_string(++m_round)), discs, log);
        m_out = m_dir.path() / ("out" + std::to_string(m_round));
        std::filesystem::create_directories(m_out);
    }

    void setCorrection(int type, int sectorsPerRead = 26) {
        m_rip->GetDriveSettings()->SetErrorCorrection(type);
        DriveParams p = params();
        p.sectorsPerRead = sectorsPerRead;
        setParams(p);
    }

    // Grabs the given tracks in one grab; names are "t<index>", replacing the files of the
    // test's earlier grabs.
    Outcome grab(const std::vector<int>& indices) {
        m_rip->SetOutputFolder(Text(m_out.string()));
        m_rip->SetReplaceExisting(1);
        for (int i : indices)
            m_rip->AddTrack(i, Text("t" + std::to_string(i) + ".wav"), 0, -1);
        if (m_rip->StartGrab() != 1) {
            ADD_FAILURE() << "grab did not start";
            return {};
        }
        return waitForGrab();
    }
    Wav wavOf(int index) const { return readWav(m_out / ("t" + std::to_string(index) + ".wav")); }

    std::vector<GrabTrackResult> results() {
        std::vector<GrabTrackResult> out;
        GrabStatus* s = m_rip->GetStatus();
        for (int32_t n = 0; n < s->GetTrackResultCount(); ++n) {
            GrabTrackResult r{};
            EXPECT_EQ(s->GetTrackResult(n, &r), 0);
            out.push_back(r);
        }
        GrabTrackResult none{};
        EXPECT_EQ(s->GetTrackResult(s->GetTrackResultCount(), &none), 1);
        s->Destroy();
        return out;
    }

    // Each track's WAV is its exact audio with a good result, or the track's result and
    // the grab's error say it is not.
    void expectExactOrReported(const std::vector<int>& indices, const Outcome& o) {
        const auto ranges = tracks();
        const auto r = results();
        ASSERT_EQ(r.size(), indices.size());
        bool anyBad = false;
        for (std::size_t k = 0; k < indices.size(); ++k) {
            const int i = indices[k];
            SCOPED_TRACE("track " + std::to_string(i));
            const Wav w = wavOf(i);
            expectConsistentHeader(w);
            const auto& t = ranges[static_cast<std::size_t>(i)];
            const bool exact = w.data == imageBytes(t.first, t.last);
            EXPECT_EQ(r[k].trackIndex, i);
            if (exact) {
                EXPECT_TRUE(goodResult(r[k].result)) << r[k].result;
            } else {
                anyBad = true;
                EXPECT_TRUE(r[k].result == GrabStatus::TrackNotVerified ||
                            r[k].result == GrabStatus::TrackFailed)
                    << "wrong audio reported as result " << r[k].result;
                EXPECT_GT(r[k].unverifiedSectors + r[k].unreadSectors, 0);
            }
        }
        if (anyBad)
            EXPECT_TRUE(o.error == GrabStatus::ErrorNotVerified ||
                        o.error == GrabStatus::ErrorReadFailed)
                << o.error;
        else
            EXPECT_EQ(o.error, GrabStatus::ErrorNone);
    }

    int m_round = 0;
};

// After 10 to 30 s of exactly periodic audio the paranoia library's own verification
// can settle on a wrong alignment; what it returns is held against the drive's reads.
TEST_F(FaultTest, PeriodicAudioComesOutExactOrReported) {
    struct Case {
        Periodic kind;
        long periodicSectors;
    };
    const Case cases[] = {
        {Periodic::MinusOne, 750}, {Periodic::Tone441, 1500}, {Periodic::Cycle49, 2250}};
    for (const int jitter : {0, 4}) {
        for (const Case& c : cases) {
            SCOPED_TRACE("jitter " + std::to_string(jitter) + ", kind " +
                         std::to_string(static_cast<int>(c.kind)));
            DiscSpec disc;
            disc.tracks.push_back({Content::Music, 150, {}, {}, 0, 0});
            disc.tracks.push_back({Content::Music, c.periodicSectors + 1200, {}, {}, 0, 0});
            disc.faults.jitterFrames = jitter;
            restart({disc});
            makeObject();
            const long first = tracks()[1].first;
            writeImageBytes(first + 300, periodicAudio(c.kind, c.periodicSectors));
            for (const int type : {2, 5}) {
                SCOPED_TRACE("error correction " + std::to_string(type));
                setCorrection(type);
                const Outcome o = grab({1});
                expectExactOrReported({1}, o);
                if (jitter == 0) {
                    // A perfect drive leaves no excuse: the rip is exact.
                    EXPECT_TRUE(wavOf(1).data == imageBytes(first, tracks()[1].last));
                }
            }
        }
    }
}

// The plain reader with jitter correction next to sectors the drive never delivers: only
// those sectors are silent, their neighbours in the same read stay exact.
TEST_F(FaultTest, PlainReaderKeepsTheNeighboursOfUnreadableSectors) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 400, {}, {}, 0, 0});
    disc.faults.jitterFrames = 4;
    disc.faults.failing = {{200, 205}};
    restart({disc});
    makeObject();
    setCorrection(1);
    const auto expected = imageBytes(0, 399);
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const Outcome o = grab({0});
        EXPECT_EQ(o.error, GrabStatus::ErrorReadFailed);
        const auto r = results();
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].result, GrabStatus::TrackFailed);
        EXPECT_EQ(r[0].unreadSectors, 6);
        const Wav w = wavOf(0);
        ASSERT_EQ(w.data.size(), expected.size());
        for (long lba = 0; lba < 400; ++lba) {
            const auto at = static_cast<std::size_t>(lba) * 2352;
            if (lba >= 200 && lba <= 205)
                EXPECT_TRUE(std::all_of(w.data.begin() + static_cast<long>(at),
                                        w.data.begin() + static_cast<long>(at + 2352),
                                        [](std::uint8_t b) { return b == 0; }))
                    << lba;
            else
                EXPECT_EQ(std::memcmp(w.data.data() + at, expected.data() + at, 2352), 0) << lba;
        }
    }
}

// A drive that never errs leaves nothing to correct: a track the readers confirmed by
// agreeing reads is exact, even where the paranoia library first misplaced periodic audio.
TEST_F(FaultTest, CleanDriveGivesExactNotCorrected) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 150, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Music, 2250 + 1200, {}, {}, 0, 0});
    restart({disc});
    makeObject();
    const auto t = tracks();
    writeImageBytes(t[1].first + 300, periodicAudio(Periodic::Cycle49, 2250));
    for (const int type : {1, 2, 5}) {
        SCOPED_TRACE("error correction " + std::to_string(type));
        setCorrection(type);
        const Outcome o = grab({1});
        EXPECT_EQ(o.error, GrabStatus::ErrorNone);
        EXPECT_TRUE(wavOf(1).data == imageBytes(t[1].first, t[1].last));
        const auto r = results();
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].result, GrabStatus::TrackExact);
        EXPECT_EQ(r[0].correctedSectors, 0);
    }
}

// On a jittery drive the end of the disc and the end of a silent track are where
// the library has least to verify against.
TEST_F(FaultTest, JitteryDriveEndOfDiscAndSilentTrackEndsAreExactOrReported) {
    for (const int jitter : {4, 40, 400}) {
        SCOPED_TRACE("jitter " + std::to_string(jitter));
        DiscSpec disc;
        disc.tracks.push_back({Content::Music, 300, {}, {}, 0, 0});
        disc.tracks.push_back({Content::Silence, 200, {}, {}, 0, 0});
        disc.tracks.push_back({Content::Music, 300, {}, {}, 0, 0});
        disc.faults.jitterFrames = jitter;
        restart({disc});
        makeObject();
        for (const int type : {1, 2, 5}) {
            SCOPED_TRACE("error correction " + std::to_string(type));
            setCorrection(type);
            const Outcome o = grab({0, 1, 2});
            expectExactOrReported({0, 1, 2}, o);
        }
    }
}

// An enhanced CD: the audio session ends where its last track ends, and no read goes
// into the gap before the data session.
TEST_F(FaultTest, EnhancedCdReadsStayInTheAudioSession) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 300, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Music, 200, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Data, 300, {}, {}, 0, 0});
    const auto log = m_dir.file("enhanced.log");
    restart({disc}, log);
    makeObject();
    const auto t = tracks();
    ASSERT_EQ(t.size(), 2u);
    const long audioEnd = t[1].last + 1;
    for (const int type : {0, 1, 2, 5}) {
        SCOPED_TRACE("error correction " + std::to_string(type));
        setCorrection(type);
        m_drives->clearLog();
        const Outcome o = grab({1});
        EXPECT_EQ(o.error, GrabStatus::ErrorNone);
        EXPECT_TRUE(wavOf(1).data == imageBytes(t[1].first, t[1].last));
        const auto r = results();
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].unverifiedSectors + r[0].unreadSectors, 0);
        // Every audio READ CD ("be") ends within the audio session.
        int reads = 0;
        for (const std::string& line : m_drives->logLines()) {
            std::istringstream in(line);
            std::string address, direction;
            std::vector<unsigned> b;
            in >> address >> direction;
            for (std::string h; in >> h;)
                b.push_back(static_cast<unsigned>(std::stoul(h, nullptr, 16)));
            if (b.size() < 9 || b[0] != 0xBE)
                continue;
            ++reads;
            const long lba = static_cast<long>((b[2] << 24) | (b[3] << 16) | (b[4] << 8) | b[5]);
            const long count = static_cast<long>((b[6] << 16) | (b[7] << 8) | b[8]);
            EXPECT_LE(lba + count, audioEnd) << line;
        }
        EXPECT_GT(reads, 0);
    }
}

// Sectors the drive never delivers are a failure of the track for every reader; the
// plain reader keeps the track's length with zeros and goes on.
TEST_F(FaultTest, UnreadSectorsAreReportedByEveryReader) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 200, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Music, 200, {}, {}, 0, 0});
    disc.faults.failing = {{60, 61}};
    restart({disc});
    makeObject();
    for (const int type : {0, 1, 5}) {
        SCOPED_TRACE("error correction " + std::to_string(type));
        setCorrection(type);
        DriveParams p = params();
        p.speed = 1; // no slow-down pause after a failed read
        setParams(p);
        const Outcome o = grab({0, 1});
        EXPECT_EQ(o.error, GrabStatus::ErrorReadFailed);
        const auto r = results();
        ASSERT_GE(r.size(), 1u);
        EXPECT_NE(r[0].result, GrabStatus::TrackExact);
        EXPECT_NE(r[0].result, GrabStatus::TrackCorrected);
        if (type != 5) {
            // The reader's own count says the same to a caller of the CDDA object.
            int32_t size = 0;
            ASSERT_EQ(m_cdda->OpenRipper(&size, 0, 199), 0);
            std::vector<std::uint8_t> buffer(static_cast<std::size_t>(size));
            int32_t bytes = 0;
            bool event = false;
            for (int guard = 0; guard < 100; ++guard) {
                const int32_t code = m_cdda->RipChunk(buffer.data(), &bytes, nullptr);
                if (code == 4)
                    break;
                event = event || code == 3;
            }
            int32_t corrected = -1, unverified = -1, unread = -1;
            EXPECT_EQ(m_cdda->GetReadVerdict(&corrected, &unverified, &unread), 0);
            m_cdda->CloseRipper();
            EXPECT_TRUE(event);
            EXPECT_GE(unread, 2);
            EXPECT_GE(unverified, 0);
            EXPECT_GE(corrected, 0);
            // The plain reader went on to the next track, which is whole.
            EXPECT_EQ(r[0].result, GrabStatus::TrackFailed);
            EXPECT_GT(r[0].unreadSectors, 0);
            ASSERT_EQ(r.size(), 2u);
            EXPECT_EQ(r[1].unreadSectors, 0);
            EXPECT_EQ(wavOf(0).data.size(), 200u * 2352);
        }
    }
}

// Per-track results survive to the end of a grab of several tracks, although the jitter
// count starts again with every track.
TEST_F(FaultTest, NotVerifiedTrackStaysReportedAtTheEndOfTheGrab) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 200, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Music, 200, {}, {}, 0, 0});
    disc.faults.scratched = {{80, 82}};
    restart({disc});
    makeObject();
    setCorrection(5);
    const Outcome o = grab({0, 1});
    EXPECT_EQ(o.error, GrabStatus::ErrorNotVerified);
    const auto r = results();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].trackIndex, 0);
    EXPECT_EQ(r[0].result, GrabStatus::TrackNotVerified);
    EXPECT_GE(r[0].unverifiedSectors, 3);
    EXPECT_GT(r[0].jitterErrors, 0);
    EXPECT_EQ(r[1].trackIndex, 1);
    EXPECT_TRUE(goodResult(r[1].result));
    EXPECT_TRUE(wavOf(1).data == imageBytes(200, 399));
    // Reading without any check says so, and sets no error.
    setCorrection(0);
    EXPECT_EQ(grab({1}).error, GrabStatus::ErrorNone);
    ASSERT_EQ(results().size(), 1u);
    EXPECT_EQ(results()[0].result, GrabStatus::TrackUnchecked);
}

// A disc change is reported once (UNIT ATTENTION) by the next command; the table of
// contents is read again rather than taken as empty.
TEST_F(FaultTest, ChangedDiscIsListedAndSpinUpHonoursAbort) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 300, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Music, 300, {}, {}, 0, 0});
    disc.faults.mediaChanged = 2;
    restart({disc});
    makeObject();
    DiscInfo* info = m_rip->GetDiscInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetTrackCount(), 2);
    EXPECT_NE(info->GetDiscId(), 0u);
    info->Destroy();

    // A long spin-up ends at the abort, not after its full time.
    for (const int type : {1, 5}) {
        setCorrection(type);
        DriveParams p = params();
        p.spinUpTime = 60;
        setParams(p);
        m_rip->SetOutputFolder(Text(m_out.string()));
        m_rip->SetReplaceExisting(1);
        m_rip->AddTrack(0, Text("spin"), 0, -1);
        ASSERT_EQ(m_rip->StartGrab(), 1);
        // Aborted once the status names the track: the worker has begun it.
        EXPECT_TRUE(waitUntil([&] {
            GrabStatus* s = m_rip->GetStatus();
            NameText* name = s->GetFileName();
            const bool started = (name && name->text() && *name->text()) || !s->IsRunning();
            if (name)
                name->Destroy();
            s->Destroy();
            return started;
        }));
        m_rip->AbortGrab();
        // Well short of the 60 s spin-up, however busy the machine.
        const Outcome o = waitForGrab(std::chrono::milliseconds(5), std::chrono::seconds(45));
        EXPECT_EQ(o.error, GrabStatus::ErrorNone);
    }
}

// Names are file names in the output folder, never paths out of it.
TEST_F(FaultTest, TrackNamesNeverLeaveTheOutputFolder) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 100, {}, {}, 0, 0});
    restart({disc});
    makeObject();
    const std::filesystem::path inner = m_out / "inner";
    std::filesystem::create_directories(inner);
    ASSERT_EQ(m_rip->SetOutputFolder(Text(inner.string())), 0);
    for (const char* bad : {"../escape", "AC/DC live", "..", ".", "", "..wav", "a/../../b"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(m_rip->AddTrack(0, Text(bad), 0, -1), 1);
        // Nothing was queued: the grab has no job and ends at once without an error.
        ASSERT_EQ(m_rip->StartGrab(), 1);
        EXPECT_EQ(waitForGrab().error, GrabStatus::ErrorNone);
    }
    EXPECT_FALSE(std::filesystem::exists(m_out / "escape.wav"));
    EXPECT_FALSE(std::filesystem::exists(m_out / "escape"));
    for (const auto& entry : std::filesystem::directory_iterator(inner))
        ADD_FAILURE() << "written: " << entry.path();
    // Names with dots and blanks that stay in the folder are fine.
    EXPECT_EQ(m_rip->AddTrack(0, Text("AC-DC live ... one"), 0, -1), 0);
    ASSERT_EQ(m_rip->StartGrab(), 1);
    EXPECT_EQ(waitForGrab().error, GrabStatus::ErrorNone);
    EXPECT_TRUE(std::filesystem::exists(inner / "AC-DC live ... one.wav"));
}

// A last track shorter than the ten sectors a range is read as: exact, never padded
// from beyond the disc.
TEST_F(FaultTest, ShortLastTrackIsExact) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 300, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Music, 6, {}, {}, 0, 0});
    restart({disc});
    makeObject();
    const auto t = tracks();
    ASSERT_EQ(t.size(), 2u);
    ASSERT_EQ(t[1].last - t[1].first, 5);
    for (const int type : {0, 1, 2, 5}) {
        SCOPED_TRACE("error correction " + std::to_string(type));
        setCorrection(type);
        const Outcome o = grab({1});
        EXPECT_EQ(o.error, GrabStatus::ErrorNone);
        EXPECT_TRUE(wavOf(1).data == imageBytes(t[1].first, t[1].last));
    }
}

// Reads of 1000 sectors and more are split over two threads; the jitter correction is
// held to reads it can join.
TEST_F(FaultTest, LongReadsKeepJitterCorrection) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 3000, {}, {}, 0, 0});
    disc.faults.jitterFrames = 4;
    restart({disc});
    makeObject();
    for (const int type : {1, 5}) {
        SCOPED_TRACE("error correction " + std::to_string(type));
        setCorrection(type, 1500);
        const Outcome o = grab({0});
        expectExactOrReported({0}, o);
        if (type == 1) {
            EXPECT_TRUE(wavOf(0).data == imageBytes(0, 2999));
        }
    }
}

// A grab on one drive while another thread lists the drives, makes the other one
// active, plays on it and asks whether it is ready: the grab's audio is untouched.
TEST_F(FaultTest, GrabIsUndisturbedByCallsOnAnotherDrive) {
    DiscSpec music;
    music.tracks.push_back({Content::Music, 1500, {}, {}, 0, 0});
    DiscSpec ramp;
    ramp.tracks.push_back({Content::Ramp, 1500, {}, {}, 0, 0});
    ramp.faults.slowMicrosPerCommand = 200;
    restart({music, ramp});
    makeObject();
    ASSERT_EQ(m_cdda->GetDriveCount(), 2);
    for (const int type : {1, 5}) {
        SCOPED_TRACE("error correction " + std::to_string(type));
        m_cdda->SetActiveDrive(0);
        setCorrection(type);
        m_rip->SetOutputFolder(Text(m_out.string()));
        m_rip->SetReplaceExisting(1);
        m_rip->AddTrack(0, Text("t0.wav"), 0, -1);
        // The other thread makes one round of calls, then waits at the gate until the
        // grab has started and goes on until the grab is over. A busy machine may run
        // the grab before the thread was first scheduled; the round before the gate
        // makes sure the calls are there all the same.
        std::atomic<bool> stop{false};
        std::atomic<bool> ready{false};
        std::atomic<bool> go{false};
        std::atomic<int> calls{0};
        std::thread other([&] {
            CDRipDriveSettings* settings = m_rip->GetDriveSettings();
            while (!stop) {
                for (int32_t d = 0; d < settings->GetDriveCount(); ++d) {
                    NameText* name = nullptr;
                    if (settings->GetDriveName(&name, d) == 0 && name)
                        name->Destroy();
                }
                m_cdda->SetActiveDrive(1);
                m_cdda->ReadToc();
                m_cdda->PlayTrack(1);
                m_cdda->IsUnitReady();
                m_cdda->StopPlayback();
                ++calls;
                ready = true;
                while (!go && !stop)
                    std::this_thread::yield();
            }
        });
        ASSERT_TRUE(waitUntil([&] { return ready.load(); }));
        // The grab reads the drive that is active when it starts.
        m_cdda->SetActiveDrive(0);
        const int started = m_rip->StartGrab();
        go = true;
        const Outcome o = started == 1 ? waitForGrab(std::chrono::milliseconds(1)) : Outcome{};
        stop = true;
        other.join();
        ASSERT_EQ(started, 1);
        EXPECT_EQ(o.error, GrabStatus::ErrorNone);
        EXPECT_TRUE(wavOf(0).data == imageBytes(0, 1499, 0));
        m_cdda->SetActiveDrive(0);
    }
}

// Frames of two alternating stereo values: audio that looks the same every 2 frames.
std::vector<std::uint8_t> twoFramePattern(long sectors) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(sectors * 2352));
    const std::int16_t values[4] = {1000, -1000, 2000, -2000};
    for (std::size_t i = 0; i < bytes.size() / 2; ++i) {
        const auto v = static_cast<std::uint16_t>(values[i % 4]);
        bytes[2 * i] = static_cast<std::uint8_t>(v);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    return bytes;
}

// Jitter correction joins reads by matching their overlap; in audio with a short period
// several places match, and a track read after another one must not be placed on the
// wrong one.
TEST_F(FaultTest, ShortPeriodTrackAfterAnotherTrackIsExactOrReported) {
    for (const int jitter : {40, 400}) {
        SCOPED_TRACE("jitter " + std::to_string(jitter));
        DiscSpec disc;
        disc.tracks.push_back({Content::Music, 300, {}, {}, 0, 0});
        disc.tracks.push_back({Content::Music, 400, {}, {}, 0, 0});
        disc.tracks.push_back({Content::Music, 300, {}, {}, 0, 0});
        disc.faults.jitterFrames = jitter;
        restart({disc});
        makeObject();
        const auto t = tracks();
        writeImageBytes(t[1].first, twoFramePattern(t[1].last - t[1].first + 1));
        setCorrection(1);
        const Outcome o = grab({0, 1});
        expectExactOrReported({0, 1}, o);
        // A read that lands exactly places such a chunk; the drive offers one after
        // every speed command.
        EXPECT_TRUE(wavOf(1).data == imageBytes(t[1].first, t[1].last));
    }
}

// The paranoia readers on a jittery drive: a track of digital silence followed by music
// is placed exactly (or says it is not), never a frame late.
TEST_F(FaultTest, SilenceThenMusicTrackIsNotShiftedByParanoia) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 200, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Music, 300, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Music, 200, {}, {}, 0, 0});
    disc.faults.jitterFrames = 4;
    restart({disc});
    makeObject();
    const auto t = tracks();
    writeImageBytes(t[1].first, std::vector<std::uint8_t>(150 * 2352, 0));
    for (const int type : {2, 3, 4, 5}) {
        SCOPED_TRACE("error correction " + std::to_string(type));
        setCorrection(type);
        const Outcome o = grab({0, 1, 2});
        expectExactOrReported({0, 1, 2}, o);
        const Outcome single = grab({1});
        expectExactOrReported({1}, single);
    }
}

// Scratch repair next to sectors the drive never delivers: every sector that reads
// well comes out exact in every run, and the failed ones are counted exactly.
TEST_F(FaultTest, SectorsBesideUnreadableOnesStayExact) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 780, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Music, 250, {}, {}, 0, 0});
    disc.faults.jitterFrames = 4;
    disc.faults.scratched = {{800, 810}};
    disc.faults.failing = {{1000, 1005}};
    restart({disc});
    makeObject();
    const auto t = tracks();
    ASSERT_EQ(t.size(), 2u);
    ASSERT_EQ(t[1].first, 780);
    setCorrection(5);
    DriveParams p = params();
    p.speed = 1; // no slow-down pause after a failed read
    setParams(p);
    const auto expected = imageBytes(t[1].first, t[1].last);
    auto skipped = [](long lba) {
        return (lba >= 800 && lba <= 810) || (lba >= 1000 && lba <= 1005);
    };
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const Outcome o = grab({1});
        EXPECT_EQ(o.error, GrabStatus::ErrorReadFailed);
        const auto r = results();
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].result, GrabStatus::TrackFailed);
        EXPECT_EQ(r[0].unreadSectors, 6);
        const Wav w = wavOf(1);
        ASSERT_EQ(w.data.size(), expected.size());
        std::vector<long> wrong;
        for (long lba = t[1].first; lba <= t[1].last; ++lba) {
            const auto at = static_cast<std::size_t>(lba - t[1].first) * 2352;
            if (!skipped(lba) && std::memcmp(w.data.data() + at, expected.data() + at, 2352) != 0)
                wrong.push_back(lba);
        }
        EXPECT_TRUE(wrong.empty()) << wrong.size() << " good sectors damaged, first "
                                   << (wrong.empty() ? -1 : wrong.front());
        // The failed sectors are silent in the file.
        const auto gap = w.data.begin() + (1000 - t[1].first) * 2352;
        EXPECT_TRUE(std::all_of(gap, gap + 6 * 2352, [](std::uint8_t b) { return b == 0; }));
    }
}

} // namespace
