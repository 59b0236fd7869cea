#pragma once

#include <string>
#include <vector>

namespace cld {

namespace engine {
class JobObserver;
}

// The files a job writes into one folder, planned before anything is read: every
// output (distinct within the job; a CD job's tracks, a batch's files) and, for a rip,
// the log and the cue sheet, which share one base name (none when logBase is empty).
// Computable, so that tests can check it without a window.
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

// Asks the observer once, when some of the plan's names are taken (Replace / Keep both /
// Cancel), unless `replaceExisting` was decided beforehand; applies the answer to the plan.
// False when the job must not start.
bool settleTakenNames(OutputPlan& plan, engine::JobObserver& observer);

} // namespace cld
