#pragma once

#include "Processes.h"
#include "TempDir.h"
#include "TestEnv.h"
#include "VDriveKit.h"
#include "cldrip/CDDAObject.h"
#include "cldrip/CDRipDriveSettings.h"
#include "cldrip/CDRipObject.h"
#include "cldrip/ClassObject.h"
#include "cldrip/DiscInfo.h"
#include "cldrip/GrabStatus.h"
#include "cldrip/NameText.h"
#include "cldrip/TrackInfo.h"

#include <chrono>
#include <cstring>
#include <dlfcn.h>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <vector>

namespace cldtest {

// The ripper library as the program loads it: libcldrip.so from the build's bin
// folder, through its one export. Loaded once and kept for the test program.
inline GetClassObjectFn classFactory() {
    static GetClassObjectFn fn = [] {
        const auto path = binDir() / "libcldrip.so";
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        return handle ? reinterpret_cast<GetClassObjectFn>(dlsym(handle, "GetClassObject"))
                      : nullptr;
    }();
    return fn;
}

template <class T> T* createObject(const char* name) {
    NameText* text = NameText::Create(name);
    void* object = classFactory() ? classFactory()(text) : nullptr;
    text->Destroy();
    return static_cast<T*>(object);
}

struct Text {
    explicit Text(const std::string& s) : m_text(NameText::Create(s.c_str())) {}
    ~Text() { m_text->Destroy(); }
    operator NameText*() const { return m_text; }
    NameText* m_text;
};

struct Wav {
    std::vector<std::uint8_t> header;
    std::vector<std::uint8_t> data;
    std::uint32_t riffSize = 0;
    std::uint32_t dataSize = 0;
};

inline std::uint32_t le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline Wav readWav(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> all((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    Wav w;
    if (all.size() < 44)
        return w;
    w.header.assign(all.begin(), all.begin() + 44);
    w.data.assign(all.begin() + 44, all.end());
    w.riffSize = le32(&all[4]);
    w.dataSize = le32(&all[40]);
    return w;
}

// A header that says exactly what the file holds, in the one format we write.
inline void expectConsistentHeader(const Wav& w) {
    ASSERT_EQ(w.header.size(), 44u);
    EXPECT_EQ(std::memcmp(w.header.data(), "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(w.header.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(le32(&w.header[16]), 16u);
    EXPECT_EQ(le32(&w.header[20]), 0x00020001u); // PCM, 2 channels
    EXPECT_EQ(le32(&w.header[24]), 44100u);
    EXPECT_EQ(le32(&w.header[28]), 176400u);
    EXPECT_EQ(le32(&w.header[32]), 0x00100004u); // block align 4, 16 bits
    EXPECT_EQ(std::memcmp(w.header.data() + 36, "data", 4), 0);
    EXPECT_EQ(w.dataSize, w.data.size());
    EXPECT_EQ(w.riffSize, w.data.size() + 36);
}

// Virtual drives with the given discs and a grab object from the library.
class GrabTest : public ::testing::Test {
protected:
    void start(const std::vector<vdrivekit::DiscSpec>& discs) {
        ASSERT_NE(classFactory(), nullptr) << dlerror();
        m_drives = std::make_unique<vdrivekit::VirtualDrives>(m_dir.path() / "images", discs);
        m_out = m_dir.path() / "out";
        std::filesystem::create_directories(m_out);
    }
    // Called after any change to the images, as the object scans the drives.
    void makeObject() {
        m_rip = createObject<CDRipObject>("CDRipObject");
        ASSERT_NE(m_rip, nullptr);
        m_cdda = createObject<CDDAObject>("CDDAObject");
        ASSERT_NE(m_cdda, nullptr);
        ASSERT_GE(m_cdda->GetDriveCount(), 1);
    }
    void TearDown() override {
        if (m_rip)
            m_rip->Dispose();
        if (m_cdda)
            m_cdda->Dispose();
    }

    std::vector<std::uint8_t> imageBytes(long first, long last, int disc = 0) const {
        std::filesystem::path bin = m_drives->cuePaths()[static_cast<std::size_t>(disc)];
        bin.replace_extension(".bin");
        std::ifstream in(bin, std::ios::binary);
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>((last - first + 1) * 2352));
        in.seekg(first * 2352);
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return bytes;
    }

    void writeImageBytes(long first, const std::vector<std::uint8_t>& bytes) const {
        std::filesystem::path bin = m_drives->cuePaths()[0];
        bin.replace_extension(".bin");
        std::fstream io(bin, std::ios::binary | std::ios::in | std::ios::out);
        io.seekp(first * 2352);
        io.write(reinterpret_cast<const char*>(bytes.data()),
                 static_cast<std::streamsize>(bytes.size()));
    }

    struct TrackRange {
        long first;
        long last;
    };
    std::vector<TrackRange> tracks() {
        std::vector<TrackRange> out;
        DiscInfo* disc = m_rip->GetDiscInfo();
        for (int i = 0; disc && i < disc->GetTrackCount(); ++i) {
            TrackInfo* t = disc->GetTrack(i);
            out.push_back({t->GetFirstSector(), t->GetLastSector()});
            t->Destroy();
        }
        if (disc)
            disc->Destroy();
        return out;
    }

    DriveParams params() {
        DriveParams p;
        m_cdda->GetDriveParams(&p);
        return p;
    }
    void setParams(const DriveParams& p) { m_cdda->SetDriveParams(&p); }

    struct Outcome {
        int32_t error = -1;
        int32_t jitterErrors = 0;
        int32_t polls = 0;
        int32_t maxPercent = 0;
    };
    // Polls the status until the worker stops (at most timeout), as the dialogs do.
    Outcome waitForGrab(std::chrono::milliseconds interval = std::chrono::milliseconds(5),
                        std::chrono::seconds timeout = kHangLimit) {
        Outcome o;
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < until) {
            GrabStatus* s = m_rip->GetStatus();
            const bool running = s->IsRunning();
            o.error = s->GetError();
            o.jitterErrors = s->GetJitterErrorCount();
            o.maxPercent = std::max(o.maxPercent, s->GetPercent());
            ++o.polls;
            s->Destroy();
            if (!running)
                return o;
            std::this_thread::sleep_for(interval);
        }
        ADD_FAILURE() << "grab did not end";
        m_rip->AbortGrab();
        return o;
    }

    TempDir m_dir;
    std::filesystem::path m_out;
    std::unique_ptr<vdrivekit::VirtualDrives> m_drives;
    CDRipObject* m_rip = nullptr;
    CDDAObject* m_cdda = nullptr;
};

} // namespace cldtest
