// The engine over the virtual drive: discovery, table of contents, CD-TEXT, playback
// and drive control, the transport's time-out, and the no-engine answers.

#include "DiscInfoImpl.h"
#include "TestEnv.h"
#include "VDriveFixture.h"
#include "cldrip/NameText.h"
#include "cldrip/TrackInfo.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

using vdrivekit::Content;
using vdrivekit::DiscSpec;

std::string takeText(NameText* text) {
    std::string s = text ? text->text() : "<null>";
    if (text)
        text->Destroy();
    return s;
}

struct Sense {
    uint8_t key = 0, asc = 0, ascq = 0;
};

Sense lastSense(CDDAObject& cdda) {
    Sense s;
    cdda.GetLastSense(&s.key, &s.asc, &s.ascq);
    return s;
}

TEST_F(VDriveTest, InitFindsEveryDriveAndNumbersEqualNames) {
    start({audioDisc(2), audioDisc(3), audioDisc(1)});
    EXPECT_EQ(m_cdda.GetDriveCount(), 3);
    EXPECT_EQ(m_cdda.GetActiveDrive(), 0);
    DriveParams p;
    m_cdda.GetDriveParams(&p);
    EXPECT_STREQ(p.name, "CLD     Virtual CD-ROM");
    EXPECT_EQ(p.sectorsPerRead, 26);
    EXPECT_EQ(p.recoveryPause, 3000);
    m_cdda.SetActiveDrive(2);
    m_cdda.GetDriveParams(&p);
    EXPECT_STREQ(p.name, "CLD     Virtual CD-ROM (2)");
    EXPECT_EQ(p.targetId, 2);
    // Each drive answers with its own disc.
    const int trackCounts[] = {2, 3, 1};
    for (int drive = 0; drive < 3; ++drive) {
        m_cdda.SetActiveDrive(drive);
        m_cdda.ReadToc();
        EXPECT_EQ(m_cdda.GetTocEntryCount(), trackCounts[drive]);
    }
    // An index past the drive list leaves the active drive alone.
    m_cdda.SetActiveDrive(7);
    EXPECT_EQ(m_cdda.GetActiveDrive(), 2);
}

TEST_F(VDriveTest, TargetsAboveElevenAreNotScanned) {
    DiscSpec hidden = audioDisc(1);
    hidden.address = std::make_pair(12, 0);
    DiscSpec lun = audioDisc(1);
    lun.address = std::make_pair(3, 5);
    start({hidden, lun});
    ASSERT_EQ(m_cdda.GetDriveCount(), 1);
    DriveParams p;
    m_cdda.GetDriveParams(&p);
    EXPECT_EQ(p.targetId, 3);
    EXPECT_EQ(p.lun, 5);
}

TEST_F(VDriveTest, InitWithoutDrivesFailsAndEveryLaterSlotAnswersWithoutEngine) {
    start({audioDisc(1)});
    vdrivekit::VirtualDrives none(m_dir.path() / "none", {});
    EXPECT_EQ(m_cdda.Init(), 1);
    EXPECT_EQ(cld::RipperEngine::current(), nullptr);
    EXPECT_EQ(m_cdda.GetVersion(), 115);
    EXPECT_EQ(m_cdda.GetActiveDrive(), 1);
    EXPECT_EQ(m_cdda.GetJitterPosition(), 50);
    EXPECT_EQ(m_cdda.GetDriveCount(), 0);
    EXPECT_EQ(m_cdda.ReadToc(), 1);
    EXPECT_EQ(m_cdda.GetTocEntryCount(), 0);
    EXPECT_EQ(m_cdda.SetDriveType(2), 1);
    EXPECT_EQ(m_cdda.PlayTrack(1), 1);
    EXPECT_EQ(m_cdda.Seek(0), 1);
    // ASPI-status slots must not claim "completed" without a drive.
    EXPECT_EQ(m_cdda.IsUnitReady(), 4);
    EXPECT_EQ(m_cdda.EjectDisc(1), 4);
    int32_t size = 7;
    EXPECT_EQ(m_cdda.OpenRipper(&size, 0, 100), 1);
    EXPECT_EQ(size, 0);
    DriveParams p;
    std::memset(static_cast<void*>(&p), 0x55, sizeof(p));
    m_cdda.GetDriveParams(&p);
    EXPECT_EQ(p.sectorsPerRead, 0);
    EXPECT_EQ(p.name[0], 0);
    uint8_t buffer[64];
    int32_t length = 9;
    EXPECT_EQ(m_cdda.ReadCdText(buffer, sizeof(buffer), &length), 1);
    EXPECT_EQ(length, 0);
}

TEST_F(VDriveTest, SecondInitScansAgain) {
    start({audioDisc(1)});
    {
        vdrivekit::VirtualDrives more(m_dir.path() / "more", {audioDisc(1), audioDisc(2)});
        ASSERT_EQ(m_cdda.Init(), 0);
        EXPECT_EQ(m_cdda.GetDriveCount(), 2);
    }
}

TEST_F(VDriveTest, PassThroughWithoutDeviceNodesFailsCleanly) {
    start({audioDisc(1)});
    cldtest::ScopedEnv prefix("CLD_SG_DEVICE_PREFIX", (m_dir.path() / "no-such-sr").string());
    m_cdda.SetTransportLayer(1);
    EXPECT_EQ(m_cdda.GetTransportLayer(), 1);
    EXPECT_EQ(m_cdda.Init(), 1);
    EXPECT_EQ(m_cdda.GetDriveCount(), 0);
    m_cdda.SetTransportLayer(0);
}

TEST_F(VDriveTest, MissingPluginAndNoDriveFails) {
    start({audioDisc(1)});
    cldtest::ScopedEnv plugin("CLD_ASPI_LIBRARY", (m_dir.path() / "libnothing.so").string());
    cldtest::ScopedEnv prefix("CLD_SG_DEVICE_PREFIX", (m_dir.path() / "no-such-sr").string());
    EXPECT_EQ(m_cdda.Init(), 1);
}

TEST_F(VDriveTest, TocEntriesFollowTheImage) {
    DiscSpec disc;
    disc.tracks = {{Content::Music, 400, {}, {}, 0, 0},
                   {Content::Ramp, 300, {}, {}, 150, 0},
                   {Content::Silence, 500, {}, {}, 0, 75}};
    start({disc});
    ASSERT_EQ(m_cdda.ReadToc(), 0);
    ASSERT_EQ(m_cdda.GetTocEntryCount(), 3);
    const int32_t expected[4] = {0, 400 + 150, 400 + 150 + 300 + 75, 400 + 150 + 300 + 75 + 500};
    for (int i = 0; i < 4; ++i) {
        TocEntry e;
        ASSERT_EQ(m_cdda.GetTocEntry(&e, i), 0);
        EXPECT_EQ(e.lba, expected[i]) << i;
        EXPECT_EQ(e.trackNumber, i < 3 ? i + 1 : 0xAA);
        EXPECT_EQ(e.controlAdr, 0x10);
    }
    TocEntry e;
    EXPECT_EQ(m_cdda.GetTocEntry(&e, 4), 1);
    EXPECT_EQ(m_cdda.GetTocEntry(&e, -1), 1);
}

TEST_F(VDriveTest, CdTextReadsBackTheCueNames) {
    DiscSpec disc;
    disc.title = "Songs For Testing";
    disc.performer = "The Virtual Band";
    disc.tracks = {{Content::Music, 300, "Opening Number With A Rather Long Title", "A", 0, 0},
                   {Content::Music, 300, "", "", 0, 0},
                   {Content::Music, 300, "Closing", "", 0, 0}};
    start({disc});
    DiscInfo* info = cld::DiscInfoImpl::create(m_cdda);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->HasCdText(), 1);
    EXPECT_EQ(takeText(info->GetArtist()), "The Virtual Band");
    EXPECT_EQ(takeText(info->GetTitle()), "Songs For Testing");
    ASSERT_EQ(info->GetTrackCount(), 3);
    const char* titles[] = {"Opening Number With A Rather Long Title", "", "Closing"};
    for (int i = 0; i < 3; ++i) {
        TrackInfo* t = info->GetTrack(i);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(takeText(t->GetTitle()), titles[i]);
        t->Destroy();
    }
    EXPECT_EQ(info->GetTrack(3), nullptr);
    info->Destroy();
}

TEST_F(VDriveTest, DiscWithoutCdTextHasEmptyNames) {
    start({audioDisc(2)});
    DiscInfo* info = cld::DiscInfoImpl::create(m_cdda);
    EXPECT_EQ(info->HasCdText(), 0);
    EXPECT_EQ(takeText(info->GetArtist()), "");
    EXPECT_EQ(info->GetTrackCount(), 2);
    // The drive refused READ TOC format 5 with ILLEGAL REQUEST.
    const Sense s = lastSense(m_cdda);
    EXPECT_EQ(s.key, 5);
    EXPECT_EQ(s.asc, 0x24);
    info->Destroy();
}

TEST_F(VDriveTest, EnhancedCdEndsTheLastAudioTrackWithItsSession) {
    DiscSpec disc;
    disc.tracks = {{Content::Music, 1000, {}, {}, 0, 0},
                   {Content::Music, 2000, {}, {}, 0, 0},
                   {Content::Data, 600, {}, {}, 150, 0}};
    start({disc});
    DiscInfo* info = cld::DiscInfoImpl::create(m_cdda);
    ASSERT_EQ(info->GetTrackCount(), 2);
    TrackInfo* last = info->GetTrack(1);
    EXPECT_EQ(last->GetFirstSector(), 1000);
    // The audio session ends at 2999; the data track starts 11,400 sectors later.
    EXPECT_EQ(last->GetLastSector(), 2999);
    last->Destroy();
    TocEntry data;
    m_cdda.GetTocEntry(&data, 2);
    EXPECT_EQ(data.lba, 3000 + 11400);
    EXPECT_EQ(data.controlAdr, 0x14);
    TocEntry leadOut;
    m_cdda.GetTocEntry(&leadOut, 3);
    EXPECT_EQ(leadOut.lba, 3000 + 11400 + 600);
    // The identifier counts the data track; the TOC sum stops before it.
    const uint32_t s0 = 150 / 75, s1 = 1150 / 75, s2 = (14400 + 150) / 75;
    const uint32_t total = (15000 + 150) / 75 - s0;
    auto digits = [](uint32_t n) {
        uint32_t d = 0;
        for (; n; n /= 10)
            d += n % 10;
        return d;
    };
    EXPECT_EQ(info->GetDiscId(),
              ((digits(s0) + digits(s1) + digits(s2)) % 255) << 24 | total << 8 | 3u);
    const uint32_t a1 = 1150;
    EXPECT_EQ(info->GetTocSum(), 512u + (a1 / 4500) * 65536 + ((a1 / 75) % 60) * 256 + a1 % 75);
    info->Destroy();

    // The sectors between the sessions cannot be read, as on a real drive.
    uint8_t buffer[2352];
    const uint8_t gapRead[12] = {0xBE, 0, 0, 0, 0x0B, 0xB8, 0, 0, 1, 0xF8, 0, 0}; // LBA 3000
    EXPECT_EQ(engine().executeCommand(0x08, gapRead, 12, buffer, sizeof(buffer)), 4);
    EXPECT_EQ(lastSense(m_cdda).key, 5);
    const uint8_t lastAudio[12] = {0xBE, 0, 0, 0, 0x0B, 0xB7, 0, 0, 1, 0xF8, 0, 0}; // LBA 2999
    EXPECT_EQ(engine().executeCommand(0x08, lastAudio, 12, buffer, sizeof(buffer)), 1);
}

TEST_F(VDriveTest, PlaybackPauseResumeSeekAndStop) {
    start({audioDisc(3, 75 * 60)});
    m_cdda.ReadToc();
    EXPECT_EQ(m_cdda.GetAudioStatus(), 0x15);
    ASSERT_EQ(m_cdda.PlayTrack(2), 0);
    EXPECT_EQ(m_cdda.GetAudioStatus(), 0x11);
    int32_t index = -1, track = -1, absolute = -1;
    EXPECT_EQ(m_cdda.GetSubChannelPosition(&index, &track, &absolute), 0);
    EXPECT_EQ(track, 2);
    EXPECT_EQ(index, 1);
    EXPECT_GE(absolute, 4500);
    EXPECT_EQ(m_cdda.PausePlayback(1), 0);
    EXPECT_EQ(m_cdda.GetAudioStatus(), 0x12);
    int32_t relative = -1;
    EXPECT_EQ(m_cdda.GetPlayPosition(&relative, &absolute), 0);
    EXPECT_EQ(relative, absolute - 4500);
    EXPECT_EQ(m_cdda.PausePlayback(0), 0);
    EXPECT_EQ(m_cdda.GetAudioStatus(), 0x11);
    EXPECT_EQ(m_cdda.StopPlayback(), 0);
    EXPECT_EQ(m_cdda.GetAudioStatus(), 0x15);
    EXPECT_EQ(m_cdda.Seek(9100), 0);
    m_cdda.GetSubChannelPosition(&index, &track, &absolute);
    EXPECT_EQ(track, 3);
    EXPECT_EQ(absolute, 9100);
    EXPECT_EQ(m_cdda.PlayTrack(9), 1);
    // Resuming with nothing paused is refused by the drive.
    EXPECT_EQ(m_cdda.PausePlayback(0), 1);
    EXPECT_EQ(lastSense(m_cdda).key, 5);
}

TEST_F(VDriveTest, EjectUnlocksTheTrayAndLoadReportsTheChangedMedium) {
    start({audioDisc(1)});
    EXPECT_EQ(m_cdda.IsUnitReady(), 1);
    EXPECT_EQ(m_cdda.LockDoor(1), 0);
    EXPECT_EQ(m_cdda.EjectDisc(1), 1);
    EXPECT_EQ(m_cdda.IsUnitReady(), 4);
    Sense s = lastSense(m_cdda);
    EXPECT_EQ(s.key, 2);
    EXPECT_EQ(s.asc, 0x3A);
    m_cdda.ReadToc();
    EXPECT_EQ(m_cdda.GetTocEntryCount(), -1);
    EXPECT_EQ(m_cdda.EjectDisc(0), 1);
    EXPECT_EQ(m_cdda.IsUnitReady(), 4);
    s = lastSense(m_cdda);
    EXPECT_EQ(s.key, 6);
    EXPECT_EQ(s.asc, 0x28);
    EXPECT_EQ(m_cdda.IsUnitReady(), 1);
}

TEST_F(VDriveTest, LockedTrayRefusesEjectWhenLockDoorIsOff) {
    start({audioDisc(1)});
    // With "lock door" off the library sends no PREVENT/ALLOW at all.
    DriveParams p;
    m_cdda.GetDriveParams(&p);
    p.lockDoor = 0;
    m_cdda.SetDriveParams(&p);
    clearLog();
    EXPECT_EQ(m_cdda.LockDoor(1), 0);
    EXPECT_TRUE(log().empty());
    // A tray locked behind the library's back keeps the disc in.
    const uint8_t prevent[6] = {0x1E, 0, 0, 0, 1, 0};
    ASSERT_EQ(engine().executeCommand(0x10, prevent, 6, nullptr, 0), 1);
    EXPECT_EQ(m_cdda.EjectDisc(1), 4);
    EXPECT_EQ(lastSense(m_cdda).asc, 0x53);
}

TEST_F(VDriveTest, MediumChangedIsReportedThroughTheLastSense) {
    DiscSpec disc = audioDisc(1);
    disc.faults.mediaChanged = 1;
    start({disc});
    // Init's INQUIRY does not consume the unit attention; the first real command does.
    EXPECT_EQ(m_cdda.IsUnitReady(), 4);
    const Sense s = lastSense(m_cdda);
    EXPECT_EQ(s.key, 6);
    EXPECT_EQ(s.asc, 0x28);
    EXPECT_EQ(s.ascq, 0);
    EXPECT_EQ(m_cdda.IsUnitReady(), 1);
    EXPECT_EQ(lastSense(m_cdda).key, 0);
}

TEST_F(VDriveTest, CommandThatOutlivesTheTimeOutIsAbortedWithStatusTwo) {
    DiscSpec disc = audioDisc(1);
    disc.faults.slowMicrosPerSector = 300'000;
    start({disc});
    engine().setTimeoutMs(100);
    std::vector<uint8_t> buffer(2352 * 4, 0xEE);
    const uint8_t read[12] = {0xBE, 0, 0, 0, 0, 10, 0, 0, 4, 0xF8, 0, 0};
    EXPECT_EQ(engine().executeCommand(0x08, read, 12, buffer.data(), 2352 * 4), 2);
    // The aborted command never wrote into the buffer.
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_EQ(buffer.back(), 0xEE);
    // A short one finishes within the time-out and is posted back.
    engine().setTimeoutMs(10000);
    const uint8_t one[12] = {0xBE, 0, 0, 0, 0, 10, 0, 0, 1, 0xF8, 0, 0};
    EXPECT_EQ(engine().executeCommand(0x08, one, 12, buffer.data(), 2352), 1);
    uint8_t expected[2352];
    vdrivekit::generateSector(Content::Music, 1, 10, expected);
    EXPECT_EQ(std::memcmp(buffer.data(), expected, 2352), 0);
}

TEST_F(VDriveTest, DrivePresetsFollowTheDriveType) {
    start({audioDisc(1)});
    DriveParams p;
    ASSERT_EQ(m_cdda.SetDriveType(2), 0);
    m_cdda.GetDriveParams(&p);
    EXPECT_EQ(p.driveTable.readMethod, 1);
    EXPECT_EQ(p.driveTable.speedMethod, 4);
    EXPECT_EQ(p.driveTable.density, 0x82);
    EXPECT_EQ(p.driveTable.enableMode, 1);
    EXPECT_EQ(p.driveTable.atapi, 0);
    // A custom table survives SetDriveParams; a preset type is applied again.
    p.driveTable = {19, 8, 2, 0, 1, 0x7F, 1};
    m_cdda.SetDriveParams(&p);
    DriveParams q;
    m_cdda.GetDriveParams(&q);
    EXPECT_EQ(std::memcmp(&q.driveTable, &p.driveTable, sizeof(DriveTable)), 0);
    p.driveTable = {10, 0, 0, 1, 0, 0, 1};
    m_cdda.SetDriveParams(&p);
    m_cdda.GetDriveParams(&q);
    EXPECT_EQ(q.driveTable.readMethod, 1);
    EXPECT_EQ(q.driveTable.speedMethod, 5);
    EXPECT_EQ(q.driveTable.endian, 0);
    EXPECT_EQ(q.driveTable.atapi, 0);
    EXPECT_EQ(m_cdda.GetDriveType(), 10);
    m_cdda.SetDriveType(16);
    m_cdda.GetDriveParams(&q);
    EXPECT_EQ(q.driveTable.readMethod, 1); // unchanged by type 16
    EXPECT_EQ(q.driveTable.speedMethod, 3);
}

TEST_F(VDriveTest, AbsurdSettingsAreBroughtIntoRangeAndTheAddressIsKept) {
    start({audioDisc(1)});
    DriveParams p;
    m_cdda.GetDriveParams(&p);
    p.sectorsPerRead = -5;
    p.overlapSectors = 900;
    p.compareSectors = 1 << 30;
    p.paranoiaLevel = 77;
    p.targetId = 9;
    std::memset(p.name, 'x', sizeof(p.name)); // no terminator
    m_cdda.SetDriveParams(&p);
    DriveParams q;
    m_cdda.GetDriveParams(&q);
    EXPECT_EQ(q.sectorsPerRead, 1);
    EXPECT_EQ(q.overlapSectors, 0);
    EXPECT_EQ(q.compareSectors, 1);
    EXPECT_EQ(q.paranoiaLevel, 3);
    EXPECT_EQ(q.targetId, 0);
    EXPECT_STREQ(q.name, "CLD     Virtual CD-ROM");
    EXPECT_EQ(m_cdda.IsUnitReady(), 1);
}

TEST(ScaleChunk, ScalesTowardZeroAndSaturates) {
    cld::CDDAObjectImpl cdda;
    int16_t samples[] = {1000, -1000, 3, -3, 30000, -30000, 0};
    cdda.ScaleChunk(samples, 7, 1.5);
    EXPECT_EQ(samples[0], 1500);
    EXPECT_EQ(samples[1], -1500);
    EXPECT_EQ(samples[2], 4);
    EXPECT_EQ(samples[3], -4);
    EXPECT_EQ(samples[4], 32767);
    EXPECT_EQ(samples[5], -32768);
    EXPECT_EQ(samples[6], 0);
}

} // namespace
