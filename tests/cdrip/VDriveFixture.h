#pragma once

#include "CDDAObjectImpl.h"
#include "RipperEngine.h"
#include "TempDir.h"
#include "VDriveKit.h"

#include <gtest/gtest.h>
#include <memory>

// Virtual drives with the given discs, a CDDAObject and a command log; Init has run.
class VDriveTest : public testing::Test {
protected:
    void start(const std::vector<vdrivekit::DiscSpec>& discs) {
        m_drives = std::make_unique<vdrivekit::VirtualDrives>(m_dir.path() / "images", discs,
                                                              m_dir.file("commands.log"));
        m_cdda.SetTransportLayer(0);
        ASSERT_EQ(m_cdda.Init(), 0);
        m_drives->clearLog();
    }
    void TearDown() override { cld::RipperEngine::install(nullptr); }

    static vdrivekit::DiscSpec audioDisc(int tracks, int64_t sectors = 75 * 4) {
        vdrivekit::DiscSpec disc;
        for (int i = 0; i < tracks; ++i)
            disc.tracks.push_back({vdrivekit::Content::Music, sectors + i * 10, {}, {}, 0, 0});
        return disc;
    }
    cld::RipperEngine& engine() { return *cld::RipperEngine::current(); }
    std::vector<std::string> log() const { return m_drives->logLines(); }
    void clearLog() { m_drives->clearLog(); }

    cldtest::TempDir m_dir;
    std::unique_ptr<vdrivekit::VirtualDrives> m_drives;
    cld::CDDAObjectImpl m_cdda;
};
