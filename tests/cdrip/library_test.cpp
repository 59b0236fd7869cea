// libcldrip.so as a program uses it: dlopen, GetClassObject, and the CDDAObject's
// slots over the virtual drive.

#include "TempDir.h"
#include "TestEnv.h"
#include "VDriveKit.h"
#include "cldrip/CDDAObject.h"
#include "cldrip/ClassObject.h"
#include "cldrip/NameText.h"

#include <cstdio>
#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

class Library : public testing::Test {
protected:
    void SetUp() override {
        const auto path = cldtest::binDir() / "libcldrip.so";
        m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_handle, nullptr) << dlerror();
        m_get = reinterpret_cast<GetClassObjectFn>(dlsym(m_handle, "GetClassObject"));
        ASSERT_NE(m_get, nullptr);
    }
    void TearDown() override {
        if (m_handle)
            dlclose(m_handle);
    }
    void* get(const char* name) {
        NameText* text = NameText::Create(name);
        void* object = m_get(text);
        NameText::Release(text);
        return object;
    }

    void* m_handle = nullptr;
    GetClassObjectFn m_get = nullptr;
};

TEST_F(Library, ExportsOnlyGetClassObject) {
    ASSERT_TRUE(cldtest::haveTool("nm"));
    const std::string command =
        "nm -D --defined-only '" + (cldtest::binDir() / "libcldrip.so").string() + "'";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> symbols;
    char line[512];
    while (std::fgets(line, sizeof(line), pipe)) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
            s.pop_back();
        symbols.push_back(s.substr(s.rfind(' ') + 1));
    }
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_EQ(symbols, std::vector<std::string>{"GetClassObject"});
}

TEST_F(Library, OnlyTheExactNamesGiveObjects) {
    for (const char* name : {"cddaobject", "CDDAOBJECT", "CDDAObject ", " CDDAObject", "CDDA",
                             "CDDAObjectX", "cdripobject", "CDRipObject2", "", "GetClassObject"})
        EXPECT_EQ(get(name), nullptr) << name;
    EXPECT_EQ(m_get(nullptr), nullptr);
    NameText* empty = NameText::Create(nullptr);
    EXPECT_EQ(m_get(empty), nullptr);
    NameText::Release(empty);
    auto* cdda = static_cast<CDDAObject*>(get("CDDAObject"));
    ASSERT_NE(cdda, nullptr);
    EXPECT_EQ(cdda->GetVersion(), 115);
    cdda->Dispose();
}

TEST_F(Library, FindsReadsPlaysAndEjectsEveryVirtualDisc) {
    cldtest::TempDir dir;
    vdrivekit::DiscSpec a;
    a.title = "First Disc";
    a.tracks = {{vdrivekit::Content::Music, 4500, "One", "", 0, 0},
                {vdrivekit::Content::Music, 3000, "Two", "", 0, 0}};
    vdrivekit::DiscSpec b;
    b.tracks = {{vdrivekit::Content::Ramp, 900, {}, {}, 0, 0}};
    vdrivekit::VirtualDrives drives(dir.path(), {a, b});

    auto* cdda = static_cast<CDDAObject*>(get("CDDAObject"));
    ASSERT_NE(cdda, nullptr);
    cdda->SetTransportLayer(0);
    ASSERT_EQ(cdda->Init(), 0);
    ASSERT_EQ(cdda->GetDriveCount(), 2);
    const int32_t tracks[] = {2, 1};
    for (int32_t drive = 0; drive < 2; ++drive) {
        cdda->SetActiveDrive(drive);
        ASSERT_EQ(cdda->GetActiveDrive(), drive);
        EXPECT_EQ(cdda->IsUnitReady(), 1);
        ASSERT_EQ(cdda->ReadToc(), 0);
        EXPECT_EQ(cdda->GetTocEntryCount(), tracks[drive]);
        TocEntry leadOut;
        ASSERT_EQ(cdda->GetTocEntry(&leadOut, tracks[drive]), 0);
        EXPECT_EQ(leadOut.trackNumber, 0xAA);
        EXPECT_EQ(leadOut.lba, drive == 0 ? 7500 : 900);
        std::vector<uint8_t> text(36868);
        int32_t length = 0;
        EXPECT_EQ(cdda->ReadCdText(text.data(), static_cast<int32_t>(text.size()), &length),
                  drive == 0 ? 0 : 1);
        EXPECT_EQ(cdda->PlayTrack(1), 0);
        EXPECT_EQ(cdda->GetAudioStatus(), 0x11);
        EXPECT_EQ(cdda->Seek(100), 0);
        EXPECT_EQ(cdda->PausePlayback(1), 1); // nothing plays after a seek
        EXPECT_EQ(cdda->PlayRange(10, 500), 0);
        EXPECT_EQ(cdda->PausePlayback(1), 0);
        EXPECT_EQ(cdda->GetAudioStatus(), 0x12);
        EXPECT_EQ(cdda->StopPlayback(), 0);
        EXPECT_EQ(cdda->EjectDisc(1), 1);
        EXPECT_EQ(cdda->IsUnitReady(), 4);
    }
    cdda->Dispose();
}

} // namespace
