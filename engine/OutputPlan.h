#pragma once

#include <string>
#include <vector>

namespace cld::engine {

// The files a job writes into one folder, planned before anything is read: every
// output (distinct within the job; a CD job's tracks, a batch's files) and, for a rip,
// the log and the cue sheet, which share one base name (none when logBase is empty).
struct OutputPlan {
    std::vector<std::string> wanted; // the names the tracks would have on their own
    std::vector<std::string> tracks; // full paths, in the job's order
    std::string logBase;             // full path without ".log" / ".cue"
    bool replaceExisting = false;    // the user agreed to replace regular files

    // Every final path of the plan that already names something on disk.
    std::vector<std::string> takenPaths() const;
    // Gives each track, in order, the first of its name and the numbered names (" (2)",
    // " (3)" ...) that is free on disk and not an earlier track's; the log and the cue
    // sheet together get the first number free for both.
    void keepBoth();
};

// Makes the plan's track paths distinct within the job: a second track of the same name
// gets " (2)".
OutputPlan makeOutputPlan(std::vector<std::string> trackPaths, const std::string& logBase);

// Gives a file cut short the name NAME.part beside `path` (a file of the user's named
// NAME.part stays: the cut file then gets a number). The new name, or empty when `path`
// is no regular file or could not be moved.
std::string keepAsPartial(const std::string& path);
// Moves `from` to `partialOf` + ".part" (numbered when taken), as keepAsPartial does.
std::string keepAsPartialOf(const std::string& from, const std::string& partialOf);

} // namespace cld::engine
