#pragma once

#include "AccurateRip.h"
#include "CddbTestServer.h"
#include "GrabFixture.h"
#include "Verify.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace cldtest {

// The verified-rip step's ground: a disc of three tracks on the virtual drive and an
// AccurateRip server on loopback.
class VerifyFixture : public GrabTest {
protected:
    // Starts the disc on a drive that delivers its audio `driveOffset` samples late.
    void startDisc(int64_t driveOffset) {
        vdrivekit::DiscSpec d;
        d.title = "Record";
        d.performer = "Band";
        for (int i = 0; i < 3; ++i)
            d.tracks.push_back({vdrivekit::Content::Music, 600 + i * 50, {}, {}, 0, 0});
        d.faults.readOffset = driveOffset;
        start({d});
        makeObject();
    }

    // The step's setting: the drive, the AccurateRip server on loopback and a deadline no
    // test waits out.
    cld::engine::VerifyEnv env() {
        cld::engine::VerifyEnv e;
        e.rip = m_rip;
        e.drives = m_rip->GetDriveSettings();
        e.server = "http://127.0.0.1:" + std::to_string(m_ar.port()) + "/ar/";
        e.deadlineMs = 60000;
        return e;
    }

    // The AccurateRip entry of the image as 7 other rips made it.
    std::string arEntry() {
        accurip::DiscLayout layout;
        const auto ranges = tracks();
        for (size_t i = 0; i < ranges.size(); ++i)
            layout.tracks.push_back({static_cast<int>(i + 1), ranges[i].first, true});
        layout.leadOut = ranges.back().last + 1;
        accurip::EntryResponse r;
        r.ids = accurip::discIds(layout);
        for (size_t i = 0; i < ranges.size(); ++i) {
            const auto bytes = imageBytes(ranges[i].first, ranges[i].last);
            accurip::TrackChecksummer c(static_cast<int64_t>(bytes.size() / 4), i == 0,
                                        i + 1 == ranges.size());
            c.add(bytes.data(), bytes.size());
            r.tracks.push_back(
                {7, c.result().v2, accurip::frameChecksum(bytes.data() + 450 * 2352)});
        }
        const auto body = accurip::buildEntry({r});
        return "HTTP/1.0 200 OK\r\n\r\n" + std::string(body.begin(), body.end());
    }

    static std::string fileText(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    CddbTestServer m_ar;
};

} // namespace cldtest
