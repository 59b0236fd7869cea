// The pass-through emulation of the two ASPI entries on a machine without CD drives.

#include "PassThrough.h"
#include "TempDir.h"
#include "TestEnv.h"

#include <fstream>
#include <gtest/gtest.h>

namespace {

using cld::PassThrough;

TEST(PassThrough, WithoutDrivesTheEmulationAnswersLikeAnEmptyAdapter) {
    cldtest::TempDir dir;
    cldtest::ScopedEnv prefix("CLD_SG_DEVICE_PREFIX", (dir.path() / "sr").string());
    PassThrough& pt = PassThrough::instance();
    pt.shutdown();
    EXPECT_EQ(pt.scan(), 0);
    // Adapter 0 always counts.
    EXPECT_EQ(PassThrough::GetASPI32SupportInfo(), 0x0101u);

    SRB_HAInquiry inquiry;
    inquiry.header.command = aspi::kHostAdapterInquiry;
    EXPECT_EQ(PassThrough::SendASPI32Command(&inquiry), aspi::kCompleted);
    EXPECT_EQ(inquiry.adapterCount, 1);
    EXPECT_EQ(inquiry.adapterScsiId, 7);
    EXPECT_EQ(std::string(inquiry.managerId, 16), "NTSCSI driver   ");
    EXPECT_EQ(std::string(inquiry.adapterId, 16), "SCSI Device  0  ");
    EXPECT_EQ(inquiry.unique[3], 8);
    EXPECT_EQ(inquiry.unique[4] | inquiry.unique[5] << 8 | inquiry.unique[6] << 16, 0x10000);
    inquiry.header.adapter = 1;
    EXPECT_EQ(PassThrough::SendASPI32Command(&inquiry), aspi::kInvalidAdapter);

    SRB_GDEVBlock device;
    device.header.command = aspi::kGetDeviceType;
    EXPECT_EQ(PassThrough::SendASPI32Command(&device), aspi::kNoDevice);
    EXPECT_EQ(device.deviceType, 31);

    uint8_t buffer[36] = {};
    SRB_ExecSCSICmd exec;
    exec.header.command = aspi::kExecScsiCommand;
    exec.cdb[0] = 0x12;
    exec.cdbLength = 6;
    exec.buffer = buffer;
    exec.bufferLength = sizeof(buffer);
    EXPECT_EQ(PassThrough::SendASPI32Command(&exec), aspi::kError);

    SRB_Header other;
    other.command = 9;
    EXPECT_EQ(PassThrough::SendASPI32Command(&other), aspi::kError);
    EXPECT_EQ(PassThrough::SendASPI32Command(nullptr), aspi::kError);
}

TEST(PassThrough, NodesThatAreNotDrivesArePassedOver) {
    cldtest::TempDir dir;
    cldtest::ScopedEnv prefix("CLD_SG_DEVICE_PREFIX", (dir.path() / "sr").string());
    std::ofstream(dir.path() / "sr0") << "not a drive";
    std::filesystem::create_directory(dir.path() / "sr1");
    PassThrough& pt = PassThrough::instance();
    pt.shutdown();
    EXPECT_EQ(pt.scan(), 0);
    pt.shutdown();
}

} // namespace
