// Reading speed of the two readers over a 74-minute disc: how many times faster than
// real time, and CPU seconds spent per minute of audio.
//
//   bench_cdrip_readers [minutes]            disc held in memory: the readers' own cost
//   bench_cdrip_readers --vdrive [minutes]   disc image on the virtual drive, read
//                                            through the engine's commands

#include "AccurateRip.h"
#include "CDDAObjectImpl.h"
#include "ParanoiaReader.h"
#include "PlainReader.h"
#include "RipDrive.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <vector>

#ifdef CLD_BENCH_VDRIVE
#include "VDriveKit.h"
#endif

namespace {

constexpr long kSector = 2352;
constexpr long kTableSectors = 4500; // one minute of audio, repeated over the disc

// Sectors are taken from a one-minute table of music-like audio; a minute is far
// longer than any overlap the readers search, so the repetition changes nothing.
class TableDrive final : public RipDrive {
public:
    TableDrive() : m_table(static_cast<std::size_t>(kTableSectors * kSector)) {
        std::uint32_t noise = 1;
        for (long f = 0; f < kTableSectors * 588; ++f) {
            noise = noise * 1664525u + 1013904223u;
            const double t = static_cast<double>(f) / 44100.0;
            const double v = 8000.0 * std::sin(2 * M_PI * 440.0 * t) +
                             4000.0 * std::sin(2 * M_PI * 1210.0 * t) +
                             static_cast<double>(static_cast<int>(noise >> 20) - 2048);
            const auto s = static_cast<std::uint16_t>(static_cast<std::int16_t>(v));
            std::uint8_t* p = &m_table[static_cast<std::size_t>(4 * f)];
            p[0] = p[2] = static_cast<std::uint8_t>(s);
            p[1] = p[3] = static_cast<std::uint8_t>(s >> 8);
        }
    }
    bool ReadSectors(std::uint8_t* buffer, long lba, long count) override {
        for (long s = 0; s < count; ++s) {
            const long at = (lba + s) % kTableSectors;
            std::memcpy(buffer + s * kSector, &m_table[static_cast<std::size_t>(at * kSector)],
                        kSector);
        }
        return true;
    }
    void SetSpeed(int) override {}

private:
    std::vector<std::uint8_t> m_table;
};

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Rips the whole disc with reader; label null runs quietly. Returns the CPU seconds.
double run(const char* label, RipReader& reader, RipSettings settings, long sectors) {
    long size = 0;
    if (reader.Open(settings, 0, sectors - 1, size) != 0) {
        std::printf("%-28s cannot open\n", label ? label : "warm-up");
        return 0;
    }
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(size));
    std::uint64_t total = 0;
    std::uint64_t check = 0;
    const auto wall0 = std::chrono::steady_clock::now();
    const double cpu0 = cpuSeconds();
    long bytes = 0;
    int code = 0;
    while ((code = reader.RipChunk(buffer.data(), &bytes, nullptr)) != RipChunkDone) {
        if (code == RipChunkFailed)
            break;
        // Sampled at fixed stream positions, so readers that cut chunks differently
        // give the same check for the same audio.
        constexpr std::uint64_t stride = 4093;
        for (std::uint64_t pos = (total + stride - 1) / stride * stride;
             pos < total + static_cast<std::uint64_t>(bytes); pos += stride)
            check = check * 31 + buffer[static_cast<std::size_t>(pos - total)];
        total += static_cast<std::uint64_t>(bytes);
    }
    const double cpu = cpuSeconds() - cpu0;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    reader.Close();
    if (!label)
        return cpu;
    const double audioSeconds = static_cast<double>(total) / 176400.0;
    std::printf("%-28s %6.0fx real time (%6.0fx per CPU second)  %6.3f CPU s per audio minute"
                "  (%s, check %016llx)\n",
                label, audioSeconds / wall, audioSeconds / cpu, cpu / (audioSeconds / 60.0),
                total == static_cast<std::uint64_t>(sectors) * kSector ? "complete" : "SHORT",
                static_cast<unsigned long long>(check));
    return cpu;
}

// The verification checksums of a rip (AccurateRip v1 and v2, CRC32 with and without
// silent samples) over the same disc cut into 4-minute tracks, fed in the pieces a
// reader delivers (26 sectors). Returns the CPU seconds.
double checksums(RipDrive& drive, long sectors) {
    constexpr long kTrack = 4 * 4500;
    constexpr long kPiece = 26;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(kPiece * kSector));
    std::uint32_t mix = 0;
    double spent = 0;
    for (long first = 0; first < sectors; first += kTrack) {
        const long length = std::min(kTrack, sectors - first);
        accurip::TrackChecksummer sum(length * 588, first == 0, first + length >= sectors);
        for (long at = 0; at < length; at += kPiece) {
            const long n = std::min(kPiece, length - at);
            drive.ReadSectors(buffer.data(), first + at, n);
            const double cpu0 = cpuSeconds();
            sum.add(buffer.data(), static_cast<std::size_t>(n * kSector));
            spent += cpuSeconds() - cpu0;
        }
        const accurip::TrackChecksums r = sum.result();
        mix ^= r.v1 ^ r.v2 ^ r.crc32 ^ r.crc32NoSilence;
    }
    std::printf("%-28s %6.3f CPU s for the disc  (check %08x)\n", "checksums", spent, mix);
    return spent;
}

#ifdef CLD_BENCH_VDRIVE
void report(const char* label, std::uint64_t total, std::uint64_t expected, double wall, double cpu,
            std::uint64_t check) {
    const double audioSeconds = static_cast<double>(total) / 176400.0;
    std::printf("%-28s %6.0fx real time (%6.0fx per CPU second)  %6.3f CPU s per audio minute"
                "  (%s, check %016llx)\n",
                label, audioSeconds / wall, audioSeconds / cpu, cpu / (audioSeconds / 60.0),
                total == expected ? "complete" : "SHORT", static_cast<unsigned long long>(check));
}

// The same four runs through the engine (READ CD commands to the virtual drive's
// plug-in, which serves the image file).
int runVirtual(long sectors) {
    char pattern[] = "/tmp/cld-bench-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    if (!made) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path dir(made);
    int result = 0;
    {
        vdrivekit::DiscSpec disc;
        disc.tracks.push_back({vdrivekit::Content::Music, sectors, {}, {}, 0, 0});
        vdrivekit::VirtualDrives drives(dir, {disc});
        cld::CDDAObjectImpl cdda;
        cdda.SetTransportLayer(0);
        if (cdda.Init() != 0) {
            std::fprintf(stderr, "the virtual drive did not come up\n");
            result = 1;
        }
        struct Run {
            const char* label;
            int method;
            int jitter;
            int level;
        };
        const Run runs[] = {{nullptr, 1, 0, 3},
                            {"plain, no jitter correction", 0, 0, 0},
                            {"plain, jitter correction", 0, 1, 0},
                            {"paranoia level 0", 1, 0, 0},
                            {"paranoia level 3", 1, 0, 3}};
        for (const Run& r : runs) {
            if (result != 0)
                break;
            DriveParams p;
            cdda.GetDriveParams(&p);
            p.rippingMethod = r.method;
            p.jitterCorrection = r.jitter;
            p.paranoiaLevel = r.level;
            p.speed = 0;
            cdda.SetDriveParams(&p);
            const long last = r.label ? sectors - 1 : std::min(sectors, 4500L) - 1;
            int32_t size = 0;
            if (cdda.OpenRipper(&size, 0, static_cast<int32_t>(last)) != 0) {
                std::fprintf(stderr, "cannot open the ripper\n");
                result = 1;
                break;
            }
            std::vector<std::uint8_t> buffer(static_cast<std::size_t>(size));
            std::uint64_t total = 0;
            std::uint64_t check = 0;
            const auto wall0 = std::chrono::steady_clock::now();
            const double cpu0 = cpuSeconds();
            int32_t bytes = 0;
            int32_t code = 0;
            while ((code = cdda.RipChunk(buffer.data(), &bytes, nullptr)) != RipChunkDone &&
                   code != RipChunkFailed) {
                constexpr std::uint64_t stride = 4093;
                for (std::uint64_t pos = (total + stride - 1) / stride * stride;
                     pos < total + static_cast<std::uint64_t>(bytes); pos += stride)
                    check = check * 31 + buffer[static_cast<std::size_t>(pos - total)];
                total += static_cast<std::uint64_t>(bytes);
            }
            const double cpu = cpuSeconds() - cpu0;
            const double wall =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
            cdda.CloseRipper();
            if (r.label)
                report(r.label, total, static_cast<std::uint64_t>(sectors) * kSector, wall, cpu,
                       check);
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return result;
}
#endif

} // namespace

int main(int argc, char** argv) {
    const bool virtualDrive = argc > 1 && std::strcmp(argv[1], "--vdrive") == 0;
    const int minutesArg = virtualDrive ? 2 : 1;
    const double minutes = argc > minutesArg ? std::atof(argv[minutesArg]) : 74.0;
    const long sectors = static_cast<long>(minutes * 4500);
    if (sectors < 10 || sectors > 100 * 4500) {
        std::fprintf(stderr, "usage: bench_cdrip_readers [--vdrive] [minutes, up to 100]\n");
        return 2;
    }
    if (virtualDrive) {
#ifdef CLD_BENCH_VDRIVE
        std::printf("%.1f-minute disc (%ld sectors) on the virtual drive, 26 sectors per read\n",
                    minutes, sectors);
        return runVirtual(sectors);
#else
        std::fprintf(stderr, "built without the virtual drive\n");
        return 2;
#endif
    }
    TableDrive drive;
    std::printf("%.1f-minute disc (%ld sectors) in memory, 26 sectors per read\n", minutes,
                sectors);

    RipSettings s;
    s.speed = 0;
    PlainReader plain(drive);
    s.jitterCorrection = 0;
    run("plain, no jitter correction", plain, s, sectors);
    s.jitterCorrection = 1;
    run("plain, jitter correction", plain, s, sectors);

    ParanoiaReader paranoia(drive);
    // The paranoia library allocates and frees many large blocks; the C library's
    // allocator settles on serving them from its heap after the first ones, which a
    // program ripping a disc pays once. Warm it up so the figures are per track.
    run(nullptr, paranoia, s, 4500);
    s.paranoiaLevel = 0;
    const double paranoia0 = run("paranoia level 0", paranoia, s, sectors);
    s.paranoiaLevel = 3;
    run("paranoia level 3", paranoia, s, sectors);
    const double sums = checksums(drive, sectors);
    if (paranoia0 > 0)
        std::printf("checksums cost %.2f %% of a paranoia level 0 rip's CPU time\n",
                    100.0 * sums / (paranoia0 + sums));
    return 0;
}
