// What a broken or hostile drive sends must never overread, crash or give nonsense.

#include "CDDAObjectImpl.h"
#include "DiscInfoImpl.h"
#include "RipperEngine.h"
#include "TestEnv.h"
#include "cldrip/NameText.h"
#include "cldrip/TrackInfo.h"

#include <chrono>
#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

class HostileDrive : public testing::Test {
protected:
    void start(const std::string& mode) {
        // The old guards go first, so that they restore the outer values before the new
        // ones save them.
        m_mode.reset();
        m_plugin.reset();
        m_plugin = std::make_unique<cldtest::ScopedEnv>("CLD_ASPI_LIBRARY", HOSTILE_DRIVE_PLUGIN);
        m_mode = std::make_unique<cldtest::ScopedEnv>("CLD_HOSTILE_MODE", mode);
        ASSERT_EQ(m_cdda.Init(), 0);
    }
    void TearDown() override { cld::RipperEngine::install(nullptr); }

    std::unique_ptr<cldtest::ScopedEnv> m_plugin;
    std::unique_ptr<cldtest::ScopedEnv> m_mode;
    cld::CDDAObjectImpl m_cdda;
};

TEST_F(HostileDrive, TocLongerThanTheTableIsCutAtOneHundredEntries) {
    start("longtoc");
    ASSERT_EQ(m_cdda.ReadToc(), 0);
    EXPECT_EQ(m_cdda.GetTocEntryCount(), 99);
    TocEntry e;
    EXPECT_EQ(m_cdda.GetTocEntry(&e, 99), 0);
    EXPECT_EQ(e.lba, 99000);
    EXPECT_EQ(m_cdda.GetTocEntry(&e, 100), 1);
    DiscInfo* info = cld::DiscInfoImpl::create(m_cdda);
    EXPECT_EQ(info->GetTrackCount(), 99);
    EXPECT_EQ(info->GetDiscId() & 0xFF, 99u);
    info->Destroy();
}

// Sub-channel answers that cannot be: no catalogue number or ISRC is taken from them, no
// pregap is guessed, and the search ends after a bounded number of reads.
TEST_F(HostileDrive, SubChannelNonsenseGivesNoCodesAndUnknownPregaps) {
    for (const char* mode : {"subq", "zeros"}) {
        start(mode);
        cld::DiscInfoImpl* info = cld::DiscInfoImpl::create(m_cdda);
        ASSERT_GT(info->GetTrackCount(), 2);
        info->DetectGaps();
        NameText* mcn = info->GetCatalogNumber();
        EXPECT_STREQ(mcn->text(), "") << mode;
        NameText::Release(mcn);
        EXPECT_LE(info->GetSubChannelReads(), info->GetTrackCount() * 4 * 40) << mode;
        for (int i = 1; i < info->GetTrackCount(); ++i) {
            TrackInfo* t = info->GetTrack(i);
            EXPECT_EQ(t->GetIndexZeroSector(), -1) << mode << " track " << i + 1;
            NameText* isrc = t->GetIsrc();
            EXPECT_STREQ(isrc->text(), "") << mode;
            NameText::Release(isrc);
            t->Destroy();
        }
        info->Destroy();
        cld::RipperEngine::install(nullptr);
    }
}

TEST_F(HostileDrive, TocOutOfOrderGivesAnEmptyDisc) {
    start("garbage");
    DiscInfo* info = cld::DiscInfoImpl::create(m_cdda);
    EXPECT_EQ(info->GetTrackCount(), 0);
    EXPECT_EQ(info->GetDiscId(), 0u);
    EXPECT_EQ(info->GetTocSum(), 0u);
    EXPECT_EQ(info->GetTrack(0), nullptr);
    info->Destroy();
}

TEST_F(HostileDrive, CdTextLengthsOutsideTheBufferFail) {
    for (const char* mode : {"hugetext", "shorttext"}) {
        start(mode);
        std::vector<uint8_t> buffer(36868, 0xAB);
        int32_t length = -1;
        EXPECT_EQ(m_cdda.ReadCdText(buffer.data(), static_cast<int32_t>(buffer.size()), &length), 1)
            << mode;
        EXPECT_EQ(length, 0);
        DiscInfo* info = cld::DiscInfoImpl::create(m_cdda);
        EXPECT_EQ(info->HasCdText(), 0);
        info->Destroy();
    }
    // A buffer smaller than the block is refused too, and never written past its end.
    start("longtoc");
    std::vector<uint8_t> small(40, 0xCD);
    int32_t length = -1;
    EXPECT_EQ(m_cdda.ReadCdText(small.data(), 30, &length), 1); // header claims 0x20 + 2 bytes
    EXPECT_EQ(small[30], 0xCD);
    EXPECT_EQ(m_cdda.ReadCdText(nullptr, 100, &length), 1);
    EXPECT_EQ(m_cdda.ReadCdText(small.data(), -5, &length), 1);
}

TEST_F(HostileDrive, DriveNamesAreCleanedOfControlCharacters) {
    start("junkname");
    DriveParams p;
    m_cdda.GetDriveParams(&p);
    const std::string name = p.name;
    EXPECT_EQ(name.size(), 24u) << name;
    for (char c : name)
        EXPECT_GE(static_cast<unsigned char>(c), 0x20) << name;
}

TEST(HostileManager, UnansweredDeviceQueriesEndTheScanOnce) {
    cldtest::ScopedEnv plugin("CLD_ASPI_LIBRARY", HOSTILE_DRIVE_PLUGIN);
    cldtest::ScopedEnv mode("CLD_HOSTILE_MODE", "stuck");
    cld::RipperEngine engine(0);
    engine.setTimeoutMs(50);
    ASSERT_EQ(engine.initTransport(), 0);
    EXPECT_EQ(engine.scanDrives(), 1);
    // One time-out, not one per address (95 more of them): the plug-in, loaded by the
    // engine and shared with this process, counts the queries it left unanswered.
    void* library = ::dlopen(HOSTILE_DRIVE_PLUGIN, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr) << "the engine keeps the plug-in loaded";
    using Counter = int (*)();
    const auto unanswered = reinterpret_cast<Counter>(::dlsym(library, "HostileUnansweredQueries"));
    ASSERT_NE(unanswered, nullptr);
    EXPECT_EQ(unanswered(), 1);
    ::dlclose(library);
}

} // namespace
