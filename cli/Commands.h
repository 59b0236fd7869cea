#pragma once

#include "CliObserver.h"
#include "Console.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

class SettingsRecord;

// The subcommands. Each returns the program's exit code (ExitCode.h).
namespace cld::cli {

struct CommonOptions {
    bool quiet = false;
    bool verbose = false;
    bool json = false;
    bool saveSettings = false;
};

// An encoder's settings given on the command line beside --bitrate and --profile; each
// applies only to the formats whose encoder has it.
struct EncoderFlags {
    std::string quality;      // --quality: Ogg Vorbis -1..10, MP3 0..9
    std::optional<int> level; // --level: FLAC 0..8
    std::string bitrateMode;  // --bitrate-mode: Opus vbr, cvbr or cbr
    bool noCover = false;     // --no-cover: no picture inside the files
};

// The formats convert --to and rip --format offer: the engine's encoders by their registry
// names. The program that reads the command line links no encoder, so it knows them by
// this list (a test holds it to the registry).
inline std::vector<std::string> outputFormats() {
    return {"mp3", "flac", "opus", "vorbis", "aac", "wma", "wav"};
}

struct ConvertOptions {
    std::string to = "mp3"; // a registry encoder's name; "wav" for decode
    std::optional<int> bitrate;
    std::string profile;
    EncoderFlags flags;
    std::string out;
    std::optional<int> jobs;
    bool recursive = false;
    bool skipExisting = false;
    bool overwrite = false;
    // The files of each output folder are an album: album loudness values once the
    // folder's files are written (and the track values of each).
    bool albumGain = false;
    OnError onError = OnError::Skip;
    std::vector<std::string> inputs;
    bool decode = false; // the decode command
};

struct RipOptions {
    std::string drive;
    std::string format; // empty: the grabber's setting
    std::string tracks;
    std::string names = "cache";
    std::optional<int> offset;
    std::optional<int> bitrate;
    std::string profile;
    EncoderFlags flags;
    std::string out;
    bool overwrite = false;
    OnError onError = OnError::Skip;
    bool testAndCopy = false; // or the settings' "TestAndCopy"
    bool hiddenTrack = false; // rip audio before track 1 as track 0
    bool noGapDetection = false;
    bool replayGain = false; // or the settings' "MP3ReplayGain"
};

struct InfoOptions {
    std::string file;
    std::optional<std::string> drive;
};

int runDevices(Console& console);
int runInfo(Console& console, SettingsRecord& settings, const InfoOptions& options);
int runConvert(Console& console, SettingsRecord& settings, const CommonOptions& common,
               const ConvertOptions& options);
int runRip(Console& console, SettingsRecord& settings, const CommonOptions& common,
           const RipOptions& options);
int runVerify(Console& console, SettingsRecord& settings, const std::vector<std::string>& rips);

// "1-3,7" → {1, 2, 3, 7}. False (and `why`) for text that is not such a list or for a
// number outside 1..99.
bool parseTrackList(const std::string& text, std::set<int>& tracks, std::string& why);

} // namespace cld::cli
