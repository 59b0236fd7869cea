#include "BenchProgram.h"

#include "SettingsRecord.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace cldbench {

fs::path binFolder() {
    return fs::read_symlink("/proc/self/exe").parent_path();
}

int cores() {
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

BenchSettings::BenchSettings(const fs::path& folder) : m_folder(folder) {
    fs::create_directories(folder);
    setenv("CLD_REGISTRY_DIR", folder.c_str(), 1);
    SettingsRecord record;
    record.LoadSettings();
}

void BenchSettings::setParallelJobs(int n) {
    SettingsRecord record;
    record.LoadSettings();
    record.setParallelJobs(n);
}

void BenchSettings::setAccurateRipLookup(bool on) {
    SettingsRecord record;
    record.LoadSettings();
    record.setAccurateRipLookup(on);
}

RunOptions quietOptions() {
    RunOptions o;
    o.stdoutPath = "/dev/null";
    o.stderrPath = "/dev/null";
    return o;
}

std::vector<std::string> cldJob(const std::string& job, const std::vector<std::string>& files) {
    std::vector<std::string> argv{(binFolder() / "CLD").string(), "--job", job};
    argv.insert(argv.end(), files.begin(), files.end());
    return argv;
}

RunOptions cldJobOptions() {
    RunOptions o;
    o.environment = {{"CLD_AUTOMATION", "run"}, {"QT_QPA_PLATFORM", "offscreen"}};
    // What it says of its messages is not the benchmark's output.
    o.stderrPath = "/dev/null";
    return o;
}

std::vector<std::string> calderine(const std::vector<std::string>& args) {
    std::vector<std::string> argv{(binFolder() / "calderine").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

void writeMusicWav(const fs::path& path, double seconds, unsigned seed) {
    std::ofstream out(path, std::ios::binary);
    const auto frames = static_cast<uint64_t>(seconds * 44100);
    writeWavHeader(out, frames);
    std::vector<int16_t> block(2 * 4410);
    uint32_t noise = seed * 2654435761u;
    for (uint64_t done = 0; done < frames;) {
        const uint64_t n = std::min<uint64_t>(4410, frames - done);
        for (uint64_t i = 0; i < n; ++i) {
            const double t = static_cast<double>(done + i) / 44100.0;
            noise = noise * 1664525u + 1013904223u;
            const double v = 8000 * std::sin(2 * M_PI * (200.0 + seed * 7) * t) +
                             static_cast<double>(static_cast<int16_t>(noise >> 16)) / 16;
            block[2 * i] = static_cast<int16_t>(v);
            block[2 * i + 1] = static_cast<int16_t>(6000 * std::sin(2 * M_PI * 660 * t));
        }
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n * 4));
        done += n;
    }
}

std::vector<fs::path> filesWith(const fs::path& folder, const std::string& extension,
                                bool recursive) {
    std::vector<fs::path> found;
    std::error_code ec;
    if (recursive) {
        for (const auto& e : fs::recursive_directory_iterator(folder, ec))
            if (e.path().extension() == extension && e.is_regular_file(ec))
                found.push_back(e.path());
    } else {
        for (const auto& e : fs::directory_iterator(folder, ec))
            if (e.path().extension() == extension && e.is_regular_file(ec))
                found.push_back(e.path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

void removeFilesWith(const fs::path& folder, const std::string& extension, bool recursive) {
    for (const fs::path& p : filesWith(folder, extension, recursive))
        fs::remove(p);
}

bool checkOutputs(PairFigures& f, const std::vector<fs::path>& folders,
                  const std::string& extension, size_t count, bool recursive) {
    for (const fs::path& folder : folders) {
        const auto found = filesWith(folder, extension, recursive);
        const bool whole = found.size() == count &&
                           std::all_of(found.begin(), found.end(),
                                       [](const fs::path& p) { return fs::file_size(p) > 1000; });
        if (!whole && f.ok) {
            f.ok = false;
            f.failure = folder.string() + " holds " + std::to_string(found.size()) + " of " +
                        std::to_string(count) + " " + extension + " files";
        }
    }
    return f.ok;
}

} // namespace cldbench
