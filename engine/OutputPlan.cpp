#include "OutputPlan.h"

#include "SafeFiles.h"

#include <cerrno>
#include <set>

namespace cld::engine {

namespace {

bool taken(const std::string& path) {
    return files::occupantOf(path) != files::Occupant::None;
}

} // namespace

OutputPlan makeOutputPlan(std::vector<std::string> trackPaths, const std::string& logBase) {
    OutputPlan plan;
    plan.wanted = trackPaths;
    files::makeDistinct(trackPaths);
    plan.tracks = std::move(trackPaths);
    plan.logBase = logBase;
    return plan;
}

std::vector<std::string> OutputPlan::takenPaths() const {
    std::vector<std::string> out;
    for (std::size_t i : files::takenPaths(tracks))
        out.push_back(tracks[i]);
    for (const char* extension : {".log", ".cue"}) {
        if (!logBase.empty() && taken(logBase + extension))
            out.push_back(logBase + extension);
    }
    return out;
}

void OutputPlan::keepBoth() {
    std::set<std::string> used;
    for (std::size_t i = 0; i < wanted.size() && i < tracks.size(); ++i) {
        std::string candidate = wanted[i];
        for (int n = 2; n < 10000 && (used.count(candidate) || taken(candidate)); ++n)
            candidate = files::numberedPath(wanted[i], n);
        tracks[i] = candidate;
        used.insert(candidate);
    }
    if (logBase.empty() || (!taken(logBase + ".log") && !taken(logBase + ".cue")))
        return;
    for (int n = 2; n < 10000; ++n) {
        const std::string base = files::numberedPath(logBase + ".log", n);
        const std::string candidate = base.substr(0, base.size() - 4);
        if (!taken(candidate + ".log") && !taken(candidate + ".cue")) {
            logBase = candidate;
            return;
        }
    }
}

std::string keepAsPartialOf(const std::string& from, const std::string& partialOf) {
    if (from.empty() || partialOf.empty() ||
        files::occupantOf(from) != files::Occupant::RegularFile)
        return {};
    // A file of the user's named NAME.part stays: the partial file then gets a number.
    std::string partial = partialOf + ".part";
    for (int n = 2; n < 100; ++n) {
        if (files::moveIntoPlace(from, partial, files::Replace::Never))
            return partial;
        if (errno != EEXIST)
            return {};
        partial = files::numberedPath(partialOf, n) + ".part";
    }
    return {};
}

std::string keepAsPartial(const std::string& path) {
    return keepAsPartialOf(path, path);
}

} // namespace cld::engine
