// The archivist's reads on a 20-track virtual disc: gap detection (sub-channel reads and
// time) and test and copy against a single pass (goal: at most 2.05 times as long).
//
//   bench_cdrip_archival [--seconds S] [--pairs N] [--slow-command U]
//
// S: seconds of audio per track (default 20); N: single-pass / test-and-copy pairs, run
// alternately (default 3); U: microseconds every command of the virtual drive takes at
// least (default 0), to see the sub-channel reads at a real drive's pace. The figures are
// wall-clock times on whatever else the machine is doing: compare only figures of one run.

#include "CDDAObjectImpl.h"
#include "CDRipObjectImpl.h"
#include "DiscInfoImpl.h"
#include "RipperEngine.h"
#include "VDriveKit.h"
#include "cldrip/GrabStatus.h"
#include "cldrip/NameText.h"
#include "cldrip/TrackInfo.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Rips every track of the disc into folder with the object; returns the wall time, or -1
// when a track did not come out whole.
double ripAll(CDRipObject& rip, const fs::path& folder, int tracks, bool testAndCopy) {
    for (const auto& entry : fs::directory_iterator(folder))
        fs::remove(entry.path());
    NameText* dir = NameText::Create((folder.string() + "/").c_str());
    rip.SetOutputFolder(dir);
    NameText::Release(dir);
    rip.SetTestAndCopy(testAndCopy ? 1 : 0);
    for (int i = 0; i < tracks; ++i) {
        NameText* name = NameText::Create(("Track " + std::to_string(i + 1)).c_str());
        rip.AddTrack(i, name, 0, -1);
        NameText::Release(name);
    }
    const auto start = Clock::now();
    if (rip.StartGrab() == 0)
        return -1;
    for (;;) {
        GrabStatus* s = rip.GetStatus();
        const bool running = s && s->IsRunning();
        const int error = s ? s->GetError() : 1;
        if (s)
            s->Destroy();
        if (!running) {
            const double t = since(start);
            return error == GrabStatus::ErrorNone ? t : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace

int main(int argc, char** argv) {
    int seconds = 20;
    int pairs = 3;
    int slowCommand = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--pairs") == 0)
            pairs = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--slow-command") == 0)
            slowCommand = std::max(0, std::atoi(argv[i + 1]));
    }
    constexpr int kTracks = 20;
    const fs::path dir =
        fs::temp_directory_path() / ("cld-archival-bench-" + std::to_string(getpid()));
    fs::create_directories(dir / "out");

    // Pregaps of assorted lengths (none on every third track), ISRCs on every other track,
    // a catalogue number.
    vdrivekit::DiscSpec disc;
    disc.catalog = "0724349691424";
    disc.faults.slowMicrosPerCommand = slowCommand;
    std::vector<int64_t> pregaps;
    for (int i = 0; i < kTracks; ++i) {
        const int64_t gap = i == 0 ? 0 : (i % 3 == 0 ? 0 : (i * 37) % 300 + 1);
        pregaps.push_back(gap);
        disc.tracks.push_back({vdrivekit::Content::Music, 75LL * seconds, {}, {}, gap, 0});
        if (i % 2 == 0) {
            char isrc[16];
            std::snprintf(isrc, sizeof isrc, "GBAYE00%05d", i + 1);
            disc.codes[i + 1] = {isrc, ""};
        }
    }
    int status = 0;
    {
        vdrivekit::VirtualDrives drives(dir / "images", {disc});

        // Gap detection.
        {
            cld::CDDAObjectImpl cdda;
            cdda.SetTransportLayer(0);
            if (cdda.Init() != 0) {
                std::printf("no virtual drive\n");
                return 1;
            }
            cld::DiscInfoImpl* info = cld::DiscInfoImpl::create(cdda);
            const auto start = Clock::now();
            const int32_t result = info->DetectGaps();
            const double took = since(start);
            int right = 0;
            for (int i = 0; i < info->GetTrackCount(); ++i) {
                TrackInfo* t = info->GetTrack(i);
                right += t->GetFirstSector() - t->GetIndexZeroSector() ==
                         (i == 0 ? 0 : pregaps[static_cast<size_t>(i)]);
                t->Destroy();
            }
            std::printf("gap detection, %d tracks: %d sub-channel reads, %.2f ms, %d of %d "
                        "pregaps right%s\n",
                        kTracks, info->GetSubChannelReads(), took * 1000, right, kTracks,
                        result == 0 ? "" : " (the drive could not read the sub-channel)");
            if (right != kTracks)
                status = 1;
            info->Destroy();
            cld::RipperEngine::install(nullptr);
        }

        // Test and copy against one pass, alternating.
        auto* rip = new cld::CDRipObjectImpl();
        std::vector<double> single, twice;
        ripAll(*rip, dir / "out", kTracks, false); // warm-up: the image into the page cache
        for (int p = 0; p < pairs; ++p) {
            single.push_back(ripAll(*rip, dir / "out", kTracks, false));
            twice.push_back(ripAll(*rip, dir / "out", kTracks, true));
        }
        rip->Dispose();
        const bool failed =
            std::any_of(single.begin(), single.end(), [](double t) { return t < 0; }) ||
            std::any_of(twice.begin(), twice.end(), [](double t) { return t < 0; });
        if (failed) {
            std::printf("test and copy: failed (a rip did not come out whole)\n");
            status = 1;
        } else {
            const double ratio = median(twice) / median(single);
            std::printf("single pass: %.3f s, test and copy: %.3f s (medians of %d, %d x %d s "
                        "of audio): %.2f x%s\n",
                        median(single), median(twice), pairs, kTracks, seconds, ratio,
                        ratio <= 2.05 ? "" : "  MISSED (goal <= 2.05)");
        }
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return status;
}
