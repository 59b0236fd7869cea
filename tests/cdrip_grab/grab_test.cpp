// Grabbing through the library's own export, on the virtual drive.

#include "GrabFixture.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

using namespace cldtest;
using vdrivekit::Content;
using vdrivekit::DiscSpec;
using vdrivekit::TrackSpec;

namespace {

// A short cycle of 49 stereo frames repeated over whole sectors: the compare block
// matches at many places in the overlap window.
std::vector<std::uint8_t> repeatingPattern(long sectors) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(sectors * 2352));
    for (long f = 0; f < sectors * 588; ++f) {
        const auto l = static_cast<std::uint16_t>((f % 49) * 300 - 7000);
        const auto r = static_cast<std::uint16_t>(7000 - (f % 49) * 200);
        bytes[static_cast<std::size_t>(4 * f)] = static_cast<std::uint8_t>(l);
        bytes[static_cast<std::size_t>(4 * f + 1)] = static_cast<std::uint8_t>(l >> 8);
        bytes[static_cast<std::size_t>(4 * f + 2)] = static_cast<std::uint8_t>(r);
        bytes[static_cast<std::size_t>(4 * f + 3)] = static_cast<std::uint8_t>(r >> 8);
    }
    return bytes;
}

DiscSpec threeTrackDisc() {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 330, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Silence, 200, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Music, 240, {}, {}, 0, 0}); // becomes the pattern
    disc.tracks.push_back({Content::Music, 100, {}, {}, 0, 0});
    return disc;
}

std::string trackName(int i) {
    return "Track" + std::to_string(i + 1);
}

} // namespace

TEST_F(GrabTest, EveryErrorCorrectionGivesExactTracksOnACleanDisc) {
    start({threeTrackDisc()});
    writeImageBytes(530, repeatingPattern(240));
    makeObject();
    const auto ranges = tracks();
    ASSERT_EQ(ranges.size(), 4u);
    for (int type = 0; type <= 5; ++type) {
        SCOPED_TRACE("error correction " + std::to_string(type));
        m_rip->GetDriveSettings()->SetErrorCorrection(type);
        const DriveParams p = params();
        EXPECT_EQ(p.rippingMethod, type >= 2 ? 1 : 0);
        EXPECT_EQ(p.jitterCorrection, type == 1 ? 1 : 0);
        EXPECT_EQ(p.paranoiaLevel, type >= 2 ? type - 2 : 0);
        const auto folder = m_out / ("ec" + std::to_string(type));
        std::filesystem::create_directories(folder);
        EXPECT_EQ(m_rip->SetOutputFolder(Text(folder.string())), 0);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(m_rip->AddTrack(i, Text(trackName(i)), 0, -1), 0);
        ASSERT_EQ(m_rip->StartGrab(), 1);
        const auto o = waitForGrab();
        EXPECT_EQ(o.error, GrabStatus::ErrorNone);
        for (int i = 0; i < 3; ++i) {
            const Wav w = readWav(folder / (trackName(i) + ".wav"));
            expectConsistentHeader(w);
            const auto r = ranges[static_cast<std::size_t>(i)];
            EXPECT_TRUE(w.data == imageBytes(r.first, r.last)) << "track " << i + 1;
        }
    }
}

TEST_F(GrabTest, EveryReadMethodReadsTheSameAudio) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 120, {}, {}, 0, 0});
    start({disc});
    makeObject();
    const auto expect = imageBytes(0, 119);
    for (int method = 0; method <= 9; ++method) {
        SCOPED_TRACE("read method " + std::to_string(method));
        DriveParams p = params();
        p.driveTable.driveType = 19; // custom: no preset overrides the read method
        p.driveTable.readMethod = method;
        // READ(10) and READ(12) deliver audio only once the block length is switched
        // to 2352; a drive refuses them on audio sectors otherwise.
        p.driveTable.enableMode = method == 1 || method == 8 ? 1 : 0;
        p.rippingMethod = 0;
        setParams(p);
        EXPECT_EQ(m_rip->SetOutputFolder(Text(m_out.string())), 0);
        m_rip->AddTrack(0, Text("method" + std::to_string(method)), 0, -1);
        ASSERT_EQ(m_rip->StartGrab(), 1);
        EXPECT_EQ(waitForGrab().error, GrabStatus::ErrorNone);
        const Wav w = readWav(m_out / ("method" + std::to_string(method) + ".wav"));
        EXPECT_TRUE(w.data == expect);
    }
}

TEST_F(GrabTest, EndianAndChannelFixesAndTwoThreadRead) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 1500, {}, {}, 0, 0});
    start({disc});
    makeObject();
    const auto expect = imageBytes(0, 1499);
    int32_t size = 0;
    // One read of 1000 sectors goes through the two reader threads.
    DriveParams p = params();
    p.sectorsPerRead = 1000;
    p.jitterCorrection = 0;
    setParams(p);
    ASSERT_EQ(m_cdda->OpenRipper(&size, 0, 1499), 0);
    ASSERT_EQ(size, 1000 * 2352);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(size));
    std::vector<std::uint8_t> got;
    int32_t bytes = 0;
    while (m_cdda->RipChunk(buffer.data(), &bytes, nullptr) != 4)
        got.insert(got.end(), buffer.begin(), buffer.begin() + bytes);
    m_cdda->CloseRipper();
    EXPECT_TRUE(got == expect);

    p.sectorsPerRead = 26;
    p.driveTable.driveType = 19;
    p.driveTable.endian = 0;
    p.swapChannels = 1;
    setParams(p);
    ASSERT_EQ(m_cdda->OpenRipper(&size, 0, 99), 0);
    buffer.assign(static_cast<std::size_t>(size), 0);
    ASSERT_EQ(m_cdda->RipChunk(buffer.data(), &bytes, nullptr), 0);
    m_cdda->CloseRipper();
    ASSERT_EQ(bytes, size);
    // Byte order swapped within each sample and left/right exchanged: byte i of a
    // frame comes from byte 3 - i.
    for (int i = 0; i < bytes; i += 4) {
        for (int b = 0; b < 4; ++b)
            ASSERT_EQ(buffer[static_cast<std::size_t>(i + b)],
                      expect[static_cast<std::size_t>(i + 3 - b)]);
    }
}

TEST_F(GrabTest, OpenRipperRefusesUnknownRippingMethod) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 100, {}, {}, 0, 0});
    start({disc});
    makeObject();
    DriveParams p = params();
    p.rippingMethod = 2;
    setParams(p);
    int32_t size = 7;
    EXPECT_EQ(m_cdda->OpenRipper(&size, 0, 99), 1);
    int32_t bytes = 0;
    std::vector<std::uint8_t> buffer(26 * 2352);
    EXPECT_EQ(m_cdda->RipChunk(buffer.data(), &bytes, nullptr), 1);
    // A file that cannot be opened on is a failed grab, not a finished one.
    m_rip->SetOutputFolder(Text(m_out.string()));
    m_rip->AddTrack(0, Text("never"), 0, -1);
    ASSERT_EQ(m_rip->StartGrab(), 1);
    EXPECT_EQ(waitForGrab().error, GrabStatus::ErrorOpenFailed);
}

TEST_F(GrabTest, JitterIsCorrectedByBothReadersButNotWithoutCorrection) {
    // Music, then a track of a short repeating cycle where the compare block matches
    // at many places in the overlap window.
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 400, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Music, 200, {}, {}, 0, 0}); // becomes the pattern
    disc.tracks.push_back({Content::Music, 100, {}, {}, 0, 0});
    disc.faults.jitterFrames = 4;
    start({disc});
    writeImageBytes(400, repeatingPattern(200));
    makeObject();
    const auto ranges = tracks();
    ASSERT_EQ(ranges.size(), 3u);
    // The drive lands every read that follows another read up to 4 frames off; the
    // first read of a rip follows the speed setting and is exact, so a correcting
    // reader must deliver the music byte for byte. The plain reader also places the
    // repeating cycle right (the match nearest the seamless place wins); the paranoia
    // library cannot tell the cycle's repeats apart once reads land off, and what it
    // gets wrong must show in the grab's status as not verified.
    for (int type = 0; type <= 5; ++type) {
        SCOPED_TRACE("error correction " + std::to_string(type));
        m_rip->GetDriveSettings()->SetErrorCorrection(type);
        DriveParams p = params();
        p.speed = 1;
        setParams(p);
        m_rip->SetOutputFolder(Text(m_out.string()));
        const std::string name = "jitter" + std::to_string(type);
        m_rip->AddTrack(0, Text(name), 0, -1);
        m_rip->AddTrack(1, Text(name + "p"), 0, -1);
        ASSERT_EQ(m_rip->StartGrab(), 1);
        const auto o = waitForGrab();
        for (int i = 0; i < 2; ++i) {
            const Wav w = readWav(m_out / (name + (i ? "p" : "") + ".wav"));
            expectConsistentHeader(w);
            const auto r = ranges[static_cast<std::size_t>(i)];
            const auto expect = imageBytes(r.first, r.last);
            ASSERT_EQ(w.data.size(), expect.size()) << "track " << i + 1;
            if (type == 0) {
                // Without correction the shifted reads come through.
                EXPECT_FALSE(w.data == expect) << "track " << i + 1;
            } else if (i == 0 || type == 1) {
                EXPECT_EQ(o.error, GrabStatus::ErrorNone);
                EXPECT_TRUE(w.data == expect) << "track " << i + 1;
            } else {
                // The status holds the last track's count: the pattern's.
                EXPECT_EQ(o.error, GrabStatus::ErrorNone);
                EXPECT_TRUE(w.data == expect || o.jitterErrors > 0);
            }
        }
    }
}

TEST_F(GrabTest, ScratchesAreRepairedOrReportedByParanoia) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 200, {}, {}, 0, 0});
    disc.faults.scratched = {{60, 60}};
    start({disc});
    makeObject();
    m_rip->GetDriveSettings()->SetErrorCorrection(5);
    DriveParams p = params();
    p.speed = 1;
    setParams(p);
    int32_t size = 0;
    ASSERT_EQ(m_cdda->OpenRipper(&size, 0, 199), 0);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(size));
    std::vector<std::uint8_t> got;
    int32_t bytes = 0;
    int32_t code = 0;
    int jitterChunks = 0;
    for (int guard = 0;
         guard < 1000 && (code = m_cdda->RipChunk(buffer.data(), &bytes, nullptr)) != 4; ++guard) {
        ASSERT_NE(code, 1);
        jitterChunks += code == 3;
        got.insert(got.end(), buffer.begin(), buffer.begin() + bytes);
    }
    EXPECT_EQ(code, 4);
    const auto expect = imageBytes(0, 199);
    ASSERT_EQ(got.size(), expect.size());
    if (got != expect) {
        EXPECT_GT(jitterChunks, 0);
        EXPECT_GT(m_cdda->GetJitterErrorCount(), 0);
    }
    // Away from the scratch everything is exact.
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 50 * 2352, expect.begin()));
    EXPECT_TRUE(std::equal(got.begin() + 70 * 2352, got.end(), expect.begin() + 70 * 2352));
    m_cdda->CloseRipper();
}

TEST_F(GrabTest, FailingSectorsRunRecoveryAndLeaveZeros) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 300, {}, {}, 0, 0});
    disc.faults.failing = {{100, 100}};
    start({disc});
    makeObject();
    m_rip->GetDriveSettings()->SetErrorCorrection(0);
    DriveParams p = params();
    p.recoveryPasses = 2;
    p.recoveryPause = 5;
    setParams(p);
    m_rip->SetOutputFolder(Text(m_out.string()));
    m_rip->AddTrack(0, Text("failing"), 0, -1);
    ASSERT_EQ(m_rip->StartGrab(), 1);
    // The zeros keep the track's length, but they are not the disc's audio: the grab
    // says so, and the track's result counts the sectors the drive never delivered.
    EXPECT_EQ(waitForGrab().error, GrabStatus::ErrorReadFailed);
    GrabStatus* status = m_rip->GetStatus();
    ASSERT_EQ(status->GetTrackResultCount(), 1);
    GrabTrackResult r{};
    ASSERT_EQ(status->GetTrackResult(0, &r), 0);
    status->Destroy();
    EXPECT_EQ(r.result, GrabStatus::TrackFailed);
    EXPECT_EQ(r.unreadSectors, 1);
    const Wav w = readWav(m_out / "failing.wav");
    expectConsistentHeader(w);
    auto expect = imageBytes(0, 299);
    // The read holding sector 100 (78..103) fails and is read again sector by sector:
    // only the failing sector stays zero.
    std::fill(expect.begin() + 100 * 2352, expect.begin() + 101 * 2352, 0);
    EXPECT_TRUE(w.data == expect);
}

TEST_F(GrabTest, AbortLeavesConsistentFilesForBothReaders) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 1500, {}, {}, 0, 0});
    disc.faults.slowMicrosPerSector = 300;
    start({disc});
    makeObject();
    for (int type : {1, 5}) {
        SCOPED_TRACE("error correction " + std::to_string(type));
        m_rip->GetDriveSettings()->SetErrorCorrection(type);
        m_rip->SetOutputFolder(Text(m_out.string()));
        const std::string name = "abort" + std::to_string(type);
        m_rip->AddTrack(0, Text(name), 0, -1);
        m_rip->AddTrack(0, Text(name + "b"), 0, -1);
        ASSERT_EQ(m_rip->StartGrab(), 1);
        // Abort once some audio has been read.
        for (int i = 0; i < 2000; ++i) {
            GrabStatus* s = m_rip->GetStatus();
            const int32_t percent = s->GetPercent();
            NameText* file = s->GetFileName();
            const bool thisTrack = file && std::string(file->text()) == name + ".wav";
            if (file)
                file->Destroy();
            s->Destroy();
            if (thisTrack && percent >= 5)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        m_rip->AbortGrab();
        const auto o = waitForGrab();
        EXPECT_EQ(o.error, GrabStatus::ErrorNone);
        const Wav w = readWav(m_out / (name + ".wav"));
        expectConsistentHeader(w);
        EXPECT_GT(w.data.size(), 0u);
        EXPECT_LT(w.data.size(), 1500u * 2352);
        const auto expect = imageBytes(0, 1499);
        EXPECT_TRUE(std::equal(w.data.begin(), w.data.end(), expect.begin()));
        EXPECT_FALSE(std::filesystem::exists(m_out / (name + "b.wav")));
    }
    // An abort while no grab runs does not stop the next grab.
    m_rip->AbortGrab();
    m_rip->SetOutputFolder(Text(m_out.string()));
    m_rip->AddTrack(0, Text("after"), 0, 2);
    ASSERT_EQ(m_rip->StartGrab(), 1);
    EXPECT_EQ(waitForGrab().error, GrabStatus::ErrorNone);
    // 1500 sectors last 20 s: 74 sectors a second.
    EXPECT_TRUE(readWav(m_out / "after.wav").data == imageBytes(0, 2 * 74));
}

TEST_F(GrabTest, MissingTrackIsSkippedAndIntroGrabsEndEarly) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 1000, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Music, 300, {}, {}, 0, 0});
    start({disc});
    makeObject();
    m_rip->SetOutputFolder(Text(m_out.string()));
    // 1000 sectors last 13 s: 76 sectors a second in the intro arithmetic.
    m_rip->AddTrack(0, Text("intro15"), 0, 15);
    m_rip->AddTrack(7, Text("missing"), 0, -1);
    m_rip->AddTrack(0, Text("intro5"), 0, 5);
    m_rip->AddTrack(0, Text("middle"), 2, 5);
    ASSERT_EQ(m_rip->StartGrab(), 1);
    // Polled as the dialogs poll it.
    EXPECT_EQ(waitForGrab(std::chrono::milliseconds(300)).error, GrabStatus::ErrorTrackMissing);
    EXPECT_FALSE(std::filesystem::exists(m_out / "missing"));
    // first + 1140 capped at the track's last sector.
    EXPECT_EQ(readWav(m_out / "intro15.wav").data.size(), 1000u * 2352);
    EXPECT_TRUE(readWav(m_out / "intro5.wav").data == imageBytes(0, 380));
    EXPECT_TRUE(readWav(m_out / "middle.wav").data == imageBytes(152, 152 + 228));
}

TEST_F(GrabTest, FailuresAreReportedNotHiddenAsSuccess) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 100, {}, {}, 0, 0});
    start({disc});
    makeObject();
    // A folder that does not exist: the file cannot be created.
    m_rip->SetOutputFolder(Text((m_out / "no" / "such").string()));
    m_rip->AddTrack(0, Text("a"), 0, -1);
    ASSERT_EQ(m_rip->StartGrab(), 1);
    EXPECT_EQ(waitForGrab().error, GrabStatus::ErrorCreateFailed);

    // Names that do not fit the track record are refused, not cut, and so are jobs
    // added while the folder is one that did not fit. A refused job is not queued: the
    // jobs around it are grabbed as if it had never been asked for.
    m_rip->SetOutputFolder(Text(m_out.string()));
    EXPECT_EQ(m_rip->AddTrack(0, Text("before"), 0, -1), 0);
    EXPECT_EQ(m_rip->AddTrack(0, Text(std::string(300, 'x')), 0, -1), 1);
    EXPECT_EQ(m_rip->SetOutputFolder(Text(std::string(270, 'd'))), 1);
    EXPECT_EQ(m_rip->AddTrack(0, Text("b"), 0, -1), 1);
    m_rip->SetOutputFolder(Text(m_out.string()));
    EXPECT_EQ(m_rip->AddTrack(0, Text("late"), 20, 10), 1);
    EXPECT_EQ(m_rip->AddTrack(0, Text("fine"), 0, -1), 0);
    ASSERT_EQ(m_rip->StartGrab(), 1);
    EXPECT_EQ(waitForGrab().error, GrabStatus::ErrorNone);
    EXPECT_TRUE(std::filesystem::exists(m_out / "before.wav"));
    EXPECT_TRUE(std::filesystem::exists(m_out / "fine.wav"));
    EXPECT_FALSE(std::filesystem::exists(m_out / "late.wav"));
    EXPECT_FALSE(std::filesystem::exists(m_out / "b"));
    for (const auto& entry : std::filesystem::directory_iterator(m_out))
        EXPECT_NE(entry.path().filename().string().substr(0, 3), "xxx") << entry.path();
    std::filesystem::remove(m_out / "fine.wav");

    // A good grab afterwards clears the error and names the file.
    m_rip->SetOutputFolder(Text(m_out.string()));
    m_rip->AddTrack(0, Text("good"), 0, -1);
    ASSERT_EQ(m_rip->StartGrab(), 1);
    EXPECT_EQ(waitForGrab().error, GrabStatus::ErrorNone);
    GrabStatus* s = m_rip->GetStatus();
    NameText* name = s->GetFileName();
    EXPECT_STREQ(name->text(), "good.wav");
    EXPECT_EQ(s->GetPercent(), 99);
    EXPECT_GT(s->GetPeak(), 1000);
    name->Destroy();
    s->Destroy();
}

TEST_F(GrabTest, DriveSettingsInterface) {
    start({threeTrackDisc(), threeTrackDisc()});
    makeObject();
    CDRipDriveSettings* settings = m_rip->GetDriveSettings();
    EXPECT_EQ(settings->GetDriveCount(), 2);
    settings->SetActiveDrive(1);
    NameText* name = nullptr;
    EXPECT_EQ(settings->GetDriveName(&name, 0), 0);
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name->text(), "CLD     Virtual CD-ROM");
    name->Destroy();
    EXPECT_EQ(m_cdda->GetActiveDrive(), 1);
    EXPECT_EQ(settings->GetDriveName(&name, 5), 1);
    EXPECT_EQ(name, nullptr);
    // Unknown types change nothing.
    settings->SetErrorCorrection(4);
    settings->SetErrorCorrection(9);
    EXPECT_EQ(params().paranoiaLevel, 2);
    EXPECT_EQ(params().rippingMethod, 1);
}

TEST_F(GrabTest, C2ScanReportsExactlyTheFlaggedSectors) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 200, {}, {}, 0, 0});
    disc.faults.c2 = {{17, 19}, {120, 120}, {195, 199}};
    start({disc});
    makeObject();
    for (int method : {0, 3, 8}) {
        SCOPED_TRACE("read method " + std::to_string(method));
        DriveParams p = params();
        p.driveTable.driveType = 19;
        p.driveTable.readMethod = method;
        setParams(p);
        std::vector<int32_t> list(64, -1);
        int32_t found = 0;
        EXPECT_EQ(m_cdda->ScanForC2Errors(0, 200, &found, list.data(), 64, nullptr), 0);
        list.resize(static_cast<std::size_t>(found));
        EXPECT_EQ(list, (std::vector<int32_t>{17, 18, 19, 120, 195, 196, 197, 198, 199}));
        // The list never grows past its capacity.
        EXPECT_EQ(m_cdda->ScanForC2Errors(0, 200, &found, list.data(), 2, nullptr), 0);
        EXPECT_EQ(found, 2);
    }
    std::atomic<int32_t> stop{1};
    int32_t found = 5;
    m_cdda->ScanForC2Errors(0, 200, &found, nullptr, 0, &stop);
    EXPECT_EQ(found, 0);
}

namespace {

std::string fileText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

std::vector<GrabTrackResult> trackResults(CDRipObject& rip) {
    std::vector<GrabTrackResult> out;
    GrabStatus* s = rip.GetStatus();
    for (int32_t n = 0; n < s->GetTrackResultCount(); ++n) {
        GrabTrackResult r{};
        if (s->GetTrackResult(n, &r) == 0)
            out.push_back(r);
    }
    s->Destroy();
    return out;
}

} // namespace

// A name that something already has is never replaced, written through or opened: a
// user's file, a link (to a file outside the folder), a pipe and a folder all stay as
// they are, the track is reported, and the other tracks are ripped. Only a regular file
// is replaced, and only when the caller allows it.
TEST_F(GrabTest, TakenNamesAreLeftAloneAndTheOtherTracksAreRipped) {
    DiscSpec disc;
    for (int i = 0; i < 5; ++i)
        disc.tracks.push_back({Content::Music, 40, {}, {}, 0, 0});
    start({disc});
    makeObject();
    namespace fs = std::filesystem;
    const fs::path outside = m_dir.path() / "outside.wav";
    std::ofstream(outside) << "outside";
    std::ofstream(m_out / "user.wav") << "user";
    std::ofstream(m_out / "user.flac") << "user flac";
    for (const char* extension : {".wav", ".flac"}) {
        fs::create_symlink(outside, m_out / ("link" + std::string(extension)));
        ASSERT_EQ(::mkfifo((m_out / ("pipe" + std::string(extension))).c_str(), 0644), 0);
        fs::create_directory(m_out / ("folder" + std::string(extension)));
    }

    for (const int32_t format : {CDRipObject::FormatWav, CDRipObject::FormatFlac}) {
        SCOPED_TRACE(format);
        m_rip->SetOutputFolder(Text(m_out.string()));
        m_rip->SetOutputFormat(format);
        const char* names[] = {"user", "link", "pipe", "folder", "free"};
        for (int i = 0; i < 5; ++i)
            ASSERT_EQ(m_rip->AddTrack(i, Text(names[i]), 0, -1), 0);
        ASSERT_EQ(m_rip->StartGrab(), 1);
        EXPECT_EQ(waitForGrab().error, GrabStatus::ErrorCreateFailed);
        const std::vector<GrabTrackResult> results = trackResults(*m_rip);
        ASSERT_EQ(results.size(), 5u) << "every track had its turn";
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(results[static_cast<std::size_t>(i)].result, GrabStatus::TrackNameTaken) << i;
        EXPECT_EQ(results[4].result, GrabStatus::TrackExact);
    }
    EXPECT_EQ(fileText(m_out / "user.wav"), "user");
    EXPECT_EQ(fileText(m_out / "user.flac"), "user flac");
    EXPECT_EQ(fileText(outside), "outside");
    for (const char* extension : {".wav", ".flac"}) {
        EXPECT_TRUE(fs::is_symlink(m_out / ("link" + std::string(extension))));
        EXPECT_TRUE(fs::is_fifo(m_out / ("pipe" + std::string(extension))));
        EXPECT_TRUE(fs::is_empty(m_out / ("folder" + std::string(extension))));
    }
    EXPECT_EQ(readWav(m_out / "free.wav").data.size(), 40u * 2352);
    EXPECT_TRUE(fs::exists(m_out / "free.flac"));

    // Allowed to replace: the user's file makes way; a link, pipe or folder still does not.
    m_rip->SetOutputFolder(Text(m_out.string()));
    m_rip->SetReplaceExisting(1);
    ASSERT_EQ(m_rip->AddTrack(0, Text("user"), 0, -1), 0);
    ASSERT_EQ(m_rip->AddTrack(1, Text("link"), 0, -1), 0);
    ASSERT_EQ(m_rip->StartGrab(), 1);
    EXPECT_EQ(waitForGrab().error, GrabStatus::ErrorCreateFailed);
    EXPECT_EQ(readWav(m_out / "user.wav").data, imageBytes(0, 39));
    EXPECT_EQ(fileText(outside), "outside");
    EXPECT_TRUE(fs::is_symlink(m_out / "link.wav"));

    // The permission lasts for one grab.
    std::ofstream(m_out / "again.wav") << "again";
    m_rip->SetOutputFolder(Text(m_out.string()));
    ASSERT_EQ(m_rip->AddTrack(0, Text("again"), 0, -1), 0);
    ASSERT_EQ(m_rip->StartGrab(), 1);
    EXPECT_EQ(waitForGrab().error, GrabStatus::ErrorCreateFailed);
    EXPECT_EQ(fileText(m_out / "again.wav"), "again");

    // Every track file gets its extension, whatever its name ends in.
    m_rip->SetOutputFolder(Text(m_out.string()));
    ASSERT_EQ(m_rip->AddTrack(0, Text("A - B.log"), 0, -1), 0);
    ASSERT_EQ(m_rip->AddTrack(1, Text("Op.111"), 0, -1), 0);
    ASSERT_EQ(m_rip->AddTrack(2, Text("ab"), 0, -1), 0);
    ASSERT_EQ(m_rip->StartGrab(), 1);
    EXPECT_EQ(waitForGrab().error, GrabStatus::ErrorNone);
    for (const char* made : {"A - B.log.wav", "Op.111.wav", "ab.wav"})
        EXPECT_EQ(readWav(m_out / made).data.size(), 40u * 2352) << made;
    EXPECT_FALSE(fs::exists(m_out / "A - B.log"));
    for (const auto& e : fs::directory_iterator(m_out))
        EXPECT_NE(e.path().extension(), ".part") << "no temporary file is left: " << e.path();
}
