#pragma once

// What the benchmarks share about running the program itself: where its binaries are, the
// settings store of a run, test sound, and a job of CLD run to its end as a user's would
// be (the program's start included).

#include "BenchProcess.h"

#include <filesystem>
#include <string>
#include <vector>

namespace cldbench {

// The folder of the running benchmark: the program's binaries are built beside it.
std::filesystem::path binFolder();

// The processor cores the machine offers (at least 1).
int cores();

// A settings store of the benchmark's own in `folder` (CLD_REGISTRY_DIR, set for this
// process and so for every run it starts), holding a first start's settings.
class BenchSettings {
public:
    explicit BenchSettings(const std::filesystem::path& folder);
    // "ParallelJobs": 0 runs one job per core, 1 one job after another.
    void setParallelJobs(int n);
    // The AccurateRip look-up over the network (the checksums are computed either way).
    void setAccurateRipLookup(bool on);
    const std::filesystem::path& folder() const { return m_folder; }

private:
    std::filesystem::path m_folder;
};

// `CLD --job NAME FILE...`, run to the end of the job unattended (CLD_AUTOMATION=run) on
// the offscreen platform: the program's start, its first dialog confirmed as it stands,
// the job with its progress dialog, the closing message and the program's end.
std::vector<std::string> cldJob(const std::string& job, const std::vector<std::string>& files);
RunOptions cldJobOptions();

// `calderine ARGS...`; its reports go to /dev/null.
std::vector<std::string> calderine(const std::vector<std::string>& args);
RunOptions quietOptions();

// A 16-bit stereo 44.1 kHz WAV file of two tones over noise (so that encoders work as
// hard as on recordings); `seed` varies the sound.
void writeMusicWav(const std::filesystem::path& path, double seconds, unsigned seed);

// The files directly in `folder` (or below it) whose extension is `extension`.
std::vector<std::filesystem::path> filesWith(const std::filesystem::path& folder,
                                             const std::string& extension, bool recursive = false);
void removeFilesWith(const std::filesystem::path& folder, const std::string& extension,
                     bool recursive = false);

// Both sides wrote `count` files longer than 1000 bytes with that extension: a run that
// skipped files would look fast. Marks the row failed (and says why) when not.
bool checkOutputs(PairFigures& f, const std::vector<std::filesystem::path>& folders,
                  const std::string& extension, size_t count, bool recursive = false);

} // namespace cldbench
