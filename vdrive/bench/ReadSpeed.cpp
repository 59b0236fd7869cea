// Measures how fast the virtual drive serves audio through the ripper's transport:
// writes a 74-minute disc image (or takes the cue sheet given as argument), then reads
// it from start to end with READ CD commands of 26 sectors, as the plain reader does.
//
//   vdrive_read_speed [cue sheet] [sectors per read]

#include "CDDAObjectImpl.h"
#include "RipperEngine.h"
#include "VDriveKit.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const int perRead = argc > 2 ? std::max(1, std::atoi(argv[2])) : 26;
    fs::path dir = fs::temp_directory_path() / ("vdrive-speed-" + std::to_string(getpid()));
    std::vector<vdrivekit::DiscSpec> discs;
    std::unique_ptr<vdrivekit::VirtualDrives> drives;
    std::string config;
    if (argc > 1) {
        fs::create_directories(dir);
        config = (dir / "vdrive.conf").string();
        std::FILE* f = std::fopen(config.c_str(), "w");
        if (!f)
            return 1;
        std::fprintf(f, "image %s\n", argv[1]);
        std::fclose(f);
        setenv("CLD_VDRIVE_CONFIG", config.c_str(), 1);
        setenv("CLD_ASPI_LIBRARY", vdrivekit::pluginPath().c_str(), 1);
    } else {
        vdrivekit::DiscSpec disc;
        for (int i = 0; i < 18; ++i) // 18 tracks of 18,500 sectors: 74 minutes
            disc.tracks.push_back({vdrivekit::Content::Music, 18500, {}, {}, 0, 0});
        const auto t0 = std::chrono::steady_clock::now();
        drives = std::make_unique<vdrivekit::VirtualDrives>(dir, std::vector{disc});
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("wrote a 74-minute image in %.2f s\n", s);
    }
    cld::CDDAObjectImpl cdda;
    if (cdda.Init() != 0) {
        std::fprintf(stderr, "no virtual drive found\n");
        fs::remove_all(dir);
        return 1;
    }
    cdda.ReadToc();
    TocEntry leadOut;
    cdda.GetTocEntry(&leadOut, cdda.GetTocEntryCount());
    cld::RipperEngine& engine = *cld::RipperEngine::current();
    std::vector<uint8_t> buffer(static_cast<size_t>(perRead) * 2352);
    int failures = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (int32_t lba = 0; lba < leadOut.lba; lba += perRead) {
        const int n = std::min(perRead, leadOut.lba - lba);
        const uint8_t cdb[12] = {0xBE,
                                 0,
                                 static_cast<uint8_t>(lba >> 24),
                                 static_cast<uint8_t>(lba >> 16),
                                 static_cast<uint8_t>(lba >> 8),
                                 static_cast<uint8_t>(lba),
                                 0,
                                 static_cast<uint8_t>(n >> 8),
                                 static_cast<uint8_t>(n),
                                 0xF8,
                                 0,
                                 0};
        if (engine.executeCommand(0x08, cdb, 12, buffer.data(), static_cast<uint32_t>(n) * 2352) !=
            1)
            ++failures;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double audioSeconds = leadOut.lba / 75.0;
    std::printf("read %d sectors (%.1f min of audio) in %.3f s: %.0fx real time, %.0f MB/s, "
                "%d failed reads\n",
                leadOut.lba, audioSeconds / 60, seconds, audioSeconds / seconds,
                leadOut.lba * 2352.0 / 1e6 / seconds, failures);
    cld::RipperEngine::install(nullptr);
    drives.reset();
    fs::remove_all(dir);
    return failures == 0 ? 0 : 1;
}
