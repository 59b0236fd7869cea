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

struct ConvertOptions {
    std::string to = "mp3"; // mp3, wma, flac, wav; "wav" for decode
    std::optional<int> bitrate;
    std::string profile;
    std::string out;
    std::optional<int> jobs;
    bool recursive = false;
    bool skipExisting = false;
    bool overwrite = false;
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
    std::string out;
    bool overwrite = false;
    OnError onError = OnError::Skip;
    bool testAndCopy = false; // or the settings' "TestAndCopy"
    bool hiddenTrack = false; // rip audio before track 1 as track 0
    bool noGapDetection = false;
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
