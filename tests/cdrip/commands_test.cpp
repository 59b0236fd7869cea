// Every command block the library sends, byte for byte, as the drive received it.
// The drive sits at LUN 5 so that the LUN bits (0xA0 in byte 1) show in every block.

#include "DiscInfoImpl.h"
#include "VDriveFixture.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

class Commands : public VDriveTest {
protected:
    void SetUp() override {
        vdrivekit::DiscSpec disc = audioDisc(3, 1500);
        disc.title = "T";
        disc.address = std::make_pair(2, 5);
        vdrivekit::DiscSpec second = audioDisc(1);
        second.address = std::make_pair(0, 0);
        start({disc, second});
        m_cdda.SetActiveDrive(1); // the second drive found is target 2, LUN 5
        DriveParams p;
        m_cdda.GetDriveParams(&p);
        ASSERT_EQ(p.lun, 5);
        m_cdda.ReadToc();
        clearLog();
    }
    void setTable(const DriveTable& table, int32_t speed = 32) {
        DriveParams p;
        m_cdda.GetDriveParams(&p);
        p.driveTable = table;
        p.speed = speed;
        m_cdda.SetDriveParams(&p);
    }
    Lines take() {
        Lines lines = log();
        clearLog();
        return lines;
    }
};

TEST_F(Commands, DiscoveryInquiry) {
    vdrivekit::VirtualDrives drives(m_dir.path() / "one", {audioDisc(1)}, m_dir.file("one.log"));
    ASSERT_EQ(m_cdda.Init(), 0);
    EXPECT_EQ(drives.logLines(), (Lines{"0:0 in 12 00 00 00 24 00"}));
}

TEST_F(Commands, TableOfContentsAndCdText) {
    m_cdda.ReadToc();
    EXPECT_EQ(take(), (Lines{"2:5 in 43 a0 00 00 00 00 01 08 00 00"}));
    DiscInfo* info = cld::DiscInfoImpl::create(m_cdda);
    info->Destroy();
    // READ TOC, then CD-TEXT: header first, then the whole block (3 + 2 + 3 packs of 18
    // bytes: title packs, performer packs, size packs, plus 2 = total + 2 - 2).
    const Lines lines = take();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "2:5 in 43 a0 00 00 00 00 01 08 00 00");
    EXPECT_EQ(lines[1], "2:5 in 43 a0 05 00 00 00 01 00 04 00");
    ASSERT_EQ(lines[2].size(), 36u);
    EXPECT_EQ(lines[2].substr(0, 31), "2:5 in 43 a0 05 00 00 00 01 00 ");
    EXPECT_EQ(lines[2].substr(33), " 00");
    const int t = std::stoi(lines[2].substr(31, 2), nullptr, 16);
    EXPECT_EQ((t - 4) % 18, 0);
}

TEST_F(Commands, PlaybackAndPosition) {
    m_cdda.PlayTrack(2);
    m_cdda.PausePlayback(1);
    m_cdda.PausePlayback(0);
    m_cdda.GetAudioStatus();
    int32_t a, b, c;
    m_cdda.GetSubChannelPosition(&a, &b, &c);
    m_cdda.GetPlayPosition(&a, &b);
    m_cdda.Seek(0x01020304 & 0x3FFF);
    m_cdda.PlayRange(0x1234, 0x2000);
    m_cdda.StopPlayback();
    EXPECT_EQ(take(), (Lines{
                          "2:5 out a5 a0 00 00 05 dc 00 00 05 e5 00 00", // 1500, count 3009 - 1500
                          "2:5 out 4b a0 00 00 00 00 00 00 00 00",
                          "2:5 out 4b a0 00 00 00 00 00 00 01 00",
                          "2:5 in 42 a0 40 01 00 00 00 00 30 00",
                          "2:5 in 42 a0 40 01 00 00 00 00 10 00",
                          "2:5 in 42 a0 40 01 00 00 00 00 10 00",
                          "2:5 out 2b a0 00 00 03 04 00 00 00 00",
                          "2:5 out a5 a0 00 00 12 34 00 00 0d cc 00 00",
                          "2:5 out 1b a1 00 00 00 00",
                      }));
}

TEST_F(Commands, TrayAndReadiness) {
    m_cdda.IsUnitReady();
    m_cdda.LockDoor(1);
    m_cdda.LockDoor(0);
    m_cdda.EjectDisc(1);
    m_cdda.EjectDisc(0);
    EXPECT_EQ(take(), (Lines{
                          "2:5 none 00 00 00 00 00 00",
                          "2:5 out 1e a0 00 00 01 00",
                          "2:5 out 1e a0 00 00 00 00",
                          "2:5 out 1e a0 00 00 00 00",
                          "2:5 out 1b a0 00 00 02 00",
                          "2:5 out 1e a0 00 00 00 00",
                          "2:5 out 1b a0 00 00 03 00",
                      }));
}

TEST_F(Commands, SpeedMethods) {
    setTable({19, 0, 1, 1, 0, 0, 1}, 40);
    engine().setSpeed(-1);
    engine().setSpeed(1);
    engine().setSpeed(0); // nothing sent
    setTable({19, 0, 2, 1, 0, 0, 1}, 40);
    engine().setSpeed(-1);
    engine().setSpeed(4);
    setTable({19, 0, 0, 1, 0, 0, 1}, 40);
    engine().setSpeed(8); // speed method 0: nothing
    EXPECT_EQ(take(), (Lines{
                          "2:5 out bb a0 1b 80 1b 80 00 00 00 00 00 00", // 40 x 176 = 7040
                          "2:5 out bb a0 00 b0 00 b0 00 00 00 00 00 00",
                          "2:5 out 15 10 00 00 08 00 | 00 00 00 00 31 02 04 00",
                          "2:5 out 15 10 00 00 08 00 | 00 00 00 00 31 02 02 00",
                      }));
}

TEST_F(Commands, BlockLengthSwitch) {
    // ATAPI, no page (speed method 1): MODE SELECT(10), parameter length 8.
    setTable({19, 1, 1, 1, 1, 0x82, 1}, 8);
    engine().setBlockLength(2352, 0x82);
    engine().setBlockLength(2048, 0);
    // Speed method 4 adds its 3-byte page to the raw length; MODE SELECT(6).
    setTable({19, 1, 4, 1, 1, 0x82, 0}, 8);
    engine().setBlockLength(2352, 0x82);
    setTable({19, 1, 4, 1, 1, 0x82, 0}, 1);
    engine().setBlockLength(2352, 0x82);
    // Speed method 5: the 8-byte page with min(speed, 4).
    setTable({19, 1, 5, 0, 1, 0x82, 1}, 8);
    engine().setBlockLength(2352, 0);
    engine().setBlockLength(2048, 0);
    // No page when the speed is not positive.
    setTable({19, 1, 5, 0, 1, 0x82, 1}, 0);
    engine().setBlockLength(2352, 0x82);
    EXPECT_EQ(take(),
              (Lines{
                  "2:5 out 55 a0 00 00 00 00 00 00 10 00 | 00 00 00 00 00 00 00 08 82 00 00 00 00 "
                  "00 09 30",
                  "2:5 out 55 a0 00 00 00 00 00 00 10 00 | 00 00 00 00 00 00 00 08 81 00 00 00 00 "
                  "00 08 00",
                  "2:5 out 15 b0 00 00 0f 00 | 00 00 00 08 82 00 00 00 00 00 09 30 20 01 11",
                  "2:5 out 15 b0 00 00 0f 00 | 00 00 00 08 82 00 00 00 00 00 09 30 20 01 10",
                  "2:5 out 55 b0 00 00 00 00 00 00 18 00 | 00 00 00 00 00 00 00 08 00 00 00 00 00 "
                  "00 09 30 23 06 04 01 04 00 00 00",
                  "2:5 out 55 a0 00 00 00 00 00 00 10 00 | 00 00 00 00 00 00 00 08 81 00 00 00 00 "
                  "00 08 00",
                  "2:5 out 55 a0 00 00 00 00 00 00 10 00 | 00 00 00 00 00 00 00 08 82 00 00 00 00 "
                  "00 09 30",
              }));
}

} // namespace
