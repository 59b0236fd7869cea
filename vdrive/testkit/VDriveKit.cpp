#include "VDriveKit.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vdrivekit {
namespace {

const std::array<int16_t, 4096>& sineTable() {
    static const std::array<int16_t, 4096> table = [] {
        std::array<int16_t, 4096> t{};
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = static_cast<int16_t>(
                std::lround(32767.0 * std::sin(2.0 * M_PI * double(i) / 4096.0)));
        return t;
    }();
    return table;
}

uint32_t hash(uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    return static_cast<uint32_t>(x);
}

void put16(uint8_t* p, int v) {
    const auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
    p[0] = static_cast<uint8_t>(u);
    p[1] = static_cast<uint8_t>(u >> 8);
}

std::string msf(int64_t sectors) {
    char text[32];
    std::snprintf(
        text, sizeof(text), "%02lld:%02lld:%02lld", static_cast<long long>(sectors / 4500),
        static_cast<long long>((sectors / 75) % 60), static_cast<long long>(sectors % 75));
    return text;
}

std::string quoted(const std::string& s) {
    return "\"" + s + "\"";
}

void writeTrackData(std::ofstream& out, const TrackSpec& t, int number) {
    const int64_t first = -t.indexZeroSectors;
    const int64_t total = t.sectors - first;
    if (t.content == Content::Music && total > kMusicPeriod) {
        // Music repeats every period: generate one and write it again and again, so that
        // a 74-minute disc costs little more than writing the file.
        std::vector<uint8_t> period(static_cast<size_t>(kMusicPeriod) * 2352);
        for (int64_t k = 0; k < kMusicPeriod; ++k)
            generateSector(t.content, number, first + k, period.data() + k * 2352);
        for (int64_t done = 0; done < total;) {
            const int64_t n = std::min(kMusicPeriod, total - done);
            out.write(reinterpret_cast<const char*>(period.data()),
                      static_cast<std::streamsize>(n * 2352));
            done += n;
        }
        return;
    }
    constexpr int64_t kBatch = 512;
    std::vector<uint8_t> buffer(static_cast<size_t>(kBatch) * 2352);
    for (int64_t s = first; s < t.sectors; s += kBatch) {
        const int64_t n = std::min(kBatch, t.sectors - s);
        for (int64_t k = 0; k < n; ++k)
            generateSector(t.content, number, s + k, buffer.data() + k * 2352);
        out.write(reinterpret_cast<const char*>(buffer.data()),
                  static_cast<std::streamsize>(n * 2352));
    }
}

} // namespace

void generateSector(Content content, int trackNumber, int64_t sector, uint8_t* out) {
    const auto& sine = sineTable();
    switch (content) {
    case Content::Silence:
        std::memset(out, 0, 2352);
        return;
    case Content::Ramp:
        for (int i = 0; i < 588; ++i) {
            const int64_t n = sector * 588 + i;
            const int v = static_cast<int16_t>(static_cast<uint16_t>(n & 0xFFFF));
            put16(out + i * 4, v);
            put16(out + i * 4 + 2, -v - 1);
        }
        return;
    case Content::Data: {
        std::memset(out, 0, 2352);
        std::memset(out + 1, 0xFF, 10);
        const int64_t a = sector + 150;
        out[12] = static_cast<uint8_t>(a / 4500);
        out[13] = static_cast<uint8_t>((a / 75) % 60);
        out[14] = static_cast<uint8_t>(a % 75);
        out[15] = 1;
        for (int i = 0; i < 2048; ++i)
            out[16 + i] = static_cast<uint8_t>((sector * 7 + i) & 0xFF);
        return;
    }
    case Content::Music:
        sector = ((sector % kMusicPeriod) + kMusicPeriod) % kMusicPeriod;
        break;
    }
    const uint32_t inc1 = 0x00A3D70Au * static_cast<uint32_t>(trackNumber % 7 + 2);
    const uint32_t inc2 = 0x0178D4FDu + static_cast<uint32_t>(trackNumber) * 0x1234567u;
    const uint32_t inc3 = 0x00512345u;
    for (int i = 0; i < 588; ++i) {
        const auto n = static_cast<uint64_t>(sector * 588 + i);
        const auto nn = static_cast<uint32_t>(n);
        const int noise =
            static_cast<int>(hash(n * 31 + static_cast<uint64_t>(trackNumber)) & 0x7FF) - 1024;
        const int l = sine[(nn * inc1) >> 20] / 4 + sine[(nn * inc2) >> 20] / 6 + noise;
        const int r = sine[(nn * inc3) >> 20] / 4 + sine[(nn * inc1) >> 20] / 8 - noise;
        put16(out + i * 4, l);
        put16(out + i * 4 + 2, r);
    }
}

std::filesystem::path writeImage(const std::filesystem::path& dir, const std::string& name,
                                 const DiscSpec& disc) {
    std::filesystem::create_directories(dir);
    const std::filesystem::path cuePath = dir / (name + ".cue");
    std::ostringstream cue;
    if (!disc.catalog.empty())
        cue << "CATALOG " << disc.catalog << "\n";
    if (!disc.performer.empty())
        cue << "PERFORMER " << quoted(disc.performer) << "\n";
    if (!disc.title.empty())
        cue << "TITLE " << quoted(disc.title) << "\n";
    std::ofstream bin;
    int64_t position = 0;
    for (size_t i = 0; i < disc.tracks.size(); ++i) {
        const TrackSpec& t = disc.tracks[i];
        const int number = static_cast<int>(i) + 1;
        if (i == 0 || disc.filePerTrack) {
            std::string file = name + ".bin";
            if (disc.filePerTrack) {
                char suffix[32];
                std::snprintf(suffix, sizeof(suffix), "-%02d.bin", number);
                file = name + suffix;
            }
            if (bin.is_open())
                bin.close();
            bin.open(dir / file, std::ios::binary | std::ios::trunc);
            if (!bin)
                throw std::runtime_error("cannot write " + (dir / file).string());
            cue << "FILE " << quoted(file) << " BINARY\n";
            position = 0;
        }
        char line[64];
        std::snprintf(line, sizeof(line), "  TRACK %02d %s\n", number,
                      t.content == Content::Data ? "MODE1/2352" : "AUDIO");
        cue << line;
        if (!t.title.empty())
            cue << "    TITLE " << quoted(t.title) << "\n";
        if (!t.performer.empty())
            cue << "    PERFORMER " << quoted(t.performer) << "\n";
        if (const auto codes = disc.codes.find(number); codes != disc.codes.end()) {
            if (!codes->second.isrc.empty())
                cue << "    ISRC " << codes->second.isrc << "\n";
            if (!codes->second.flags.empty())
                cue << "    FLAGS " << codes->second.flags << "\n";
        }
        if (t.pregapSectors > 0)
            cue << "    PREGAP " << msf(t.pregapSectors) << "\n";
        if (t.indexZeroSectors > 0)
            cue << "    INDEX 00 " << msf(position) << "\n";
        cue << "    INDEX 01 " << msf(position + t.indexZeroSectors) << "\n";
        writeTrackData(bin, t, number);
        position += t.indexZeroSectors + t.sectors;
    }
    bin.close();
    std::ofstream(cuePath, std::ios::trunc) << cue.str();
    return cuePath;
}

std::string configFor(const std::filesystem::path& cue, const DiscSpec& disc) {
    std::ostringstream c;
    c << "image " << cue.string() << "\n";
    const FaultSpec& f = disc.faults;
    if (f.jitterFrames)
        c << "jitter " << f.jitterFrames << "\n";
    for (const auto& [a, b] : f.failing)
        c << "fail " << a << " " << b << "\n";
    for (const auto& [a, b] : f.scratched)
        c << "scratch " << a << " " << b << "\n";
    for (const auto& [a, b] : f.c2)
        c << "c2 " << a << " " << b << "\n";
    if (f.mediaChanged)
        c << "media-changed " << f.mediaChanged << "\n";
    if (f.slowMicrosPerSector)
        c << "slow " << f.slowMicrosPerSector << "\n";
    if (f.slowMicrosPerCommand)
        c << "slow-command " << f.slowMicrosPerCommand << "\n";
    if (f.readOffset)
        c << "offset " << f.readOffset << "\n";
    if (disc.address)
        c << "address " << disc.address->first << " " << disc.address->second << "\n";
    if (!disc.product.empty())
        c << "product " << disc.product << "\n";
    return c.str();
}

std::filesystem::path pluginPath() {
    if (const char* bin = std::getenv("CLD_BIN_DIR"); bin && *bin)
        return std::filesystem::path(bin) / "libcldvdrive.so";
#ifdef CLD_VDRIVE_PLUGIN
    return CLD_VDRIVE_PLUGIN;
#else
    return "libcldvdrive.so";
#endif
}

VirtualDrives::VirtualDrives(const std::filesystem::path& dir, const std::vector<DiscSpec>& discs,
                             const std::filesystem::path& logPath)
    : m_log(logPath) {
    std::filesystem::create_directories(dir);
    std::string config;
    for (size_t i = 0; i < discs.size(); ++i) {
        m_cues.push_back(writeImage(dir, "disc" + std::to_string(i + 1), discs[i]));
        config += configFor(m_cues.back(), discs[i]);
    }
    m_config = dir / "vdrive.conf";
    std::ofstream(m_config, std::ios::trunc) << config;
    setEnv("CLD_ASPI_LIBRARY", pluginPath().string());
    setEnv("CLD_VDRIVE_CONFIG", m_config.string());
    setEnv("CLD_VDRIVE_LOG", m_log.string());
    clearLog();
}

VirtualDrives::~VirtualDrives() {
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
        if (it->value)
            ::setenv(it->name.c_str(), it->value->c_str(), 1);
        else
            ::unsetenv(it->name.c_str());
    }
}

void VirtualDrives::setEnv(const std::string& name, const std::string& value) {
    const char* old = std::getenv(name.c_str());
    m_saved.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
    if (value.empty())
        ::unsetenv(name.c_str());
    else
        ::setenv(name.c_str(), value.c_str(), 1);
}

std::vector<std::string> VirtualDrives::logLines() const {
    std::vector<std::string> lines;
    if (m_log.empty())
        return lines;
    std::ifstream in(m_log);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void VirtualDrives::clearLog() const {
    if (!m_log.empty())
        std::ofstream(m_log, std::ios::trunc);
}

} // namespace vdrivekit
