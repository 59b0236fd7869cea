#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Test helpers for the virtual CD drive: write cue sheet + raw image discs with chosen
// tracks, content, CD-TEXT and faults, and point the ASPI plug-in at them.
namespace vdrivekit {

// Music repeats after this many sectors (one minute).
inline constexpr int64_t kMusicPeriod = 4500;

enum class Content {
    Music,   // several tones with noise; repeats only after kMusicPeriod sectors
    Silence, // digital silence
    Ramp,    // left counts up, right counts down, one step per frame
    Data,    // Mode 1 data sectors (makes a data track)
};

struct TrackSpec {
    Content content = Content::Music;
    int64_t sectors = 75 * 5;
    std::string title;
    std::string performer;
    int64_t indexZeroSectors = 0; // pregap held in the file (INDEX 00 before INDEX 01)
    int64_t pregapSectors = 0;    // PREGAP line (silence not in the file)
};

// The ISRC and FLAGS lines of one track (each written when not empty).
struct TrackCodes {
    std::string isrc;
    std::string flags; // "PRE", "DCP", "PRE DCP"
};

struct FaultSpec {
    int jitterFrames = 0;
    std::vector<std::pair<int64_t, int64_t>> failing;
    std::vector<std::pair<int64_t, int64_t>> scratched;
    std::vector<std::pair<int64_t, int64_t>> c2;
    int mediaChanged = 0;
    int64_t slowMicrosPerSector = 0;
    int64_t slowMicrosPerCommand = 0;
    int64_t readOffset = 0; // the drive's read offset in samples ("offset N")
};

struct DiscSpec {
    std::string title;
    std::string performer;
    std::vector<TrackSpec> tracks;
    bool filePerTrack = false;
    FaultSpec faults;
    std::optional<std::pair<int, int>> address; // target, LUN
    std::string product;
    std::string catalog;             // CATALOG line when not empty
    std::map<int, TrackCodes> codes; // by track number
};

// The 2352 bytes of sector `sector` (counted from the track's INDEX 01; negative in the
// pregap) of a track with this content and number.
void generateSector(Content content, int trackNumber, int64_t sector, uint8_t* out);

// Writes <dir>/<name>.cue and its .bin file(s); returns the cue sheet's path.
std::filesystem::path writeImage(const std::filesystem::path& dir, const std::string& name,
                                 const DiscSpec& disc);

// The configuration line block for one image.
std::string configFor(const std::filesystem::path& cue, const DiscSpec& disc);

// Path of the plug-in library (built next to libcldrip.so).
std::filesystem::path pluginPath();

// Writes the images into dir, a configuration naming them and sets CLD_ASPI_LIBRARY
// and CLD_VDRIVE_CONFIG (and CLD_VDRIVE_LOG when logPath is given) for the lifetime of
// the object; the previous values come back afterwards.
class VirtualDrives {
public:
    VirtualDrives(const std::filesystem::path& dir, const std::vector<DiscSpec>& discs,
                  const std::filesystem::path& logPath = {});
    ~VirtualDrives();
    VirtualDrives(const VirtualDrives&) = delete;
    VirtualDrives& operator=(const VirtualDrives&) = delete;

    const std::vector<std::filesystem::path>& cuePaths() const { return m_cues; }
    const std::filesystem::path& configPath() const { return m_config; }
    // Lines of the command log (empty when none was asked for); clearLog() empties it.
    std::vector<std::string> logLines() const;
    void clearLog() const;

private:
    struct SavedEnv {
        std::string name;
        std::optional<std::string> value;
    };
    void setEnv(const std::string& name, const std::string& value);

    std::vector<std::filesystem::path> m_cues;
    std::filesystem::path m_config;
    std::filesystem::path m_log;
    std::vector<SavedEnv> m_saved;
};

} // namespace vdrivekit
