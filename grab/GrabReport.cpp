#include "GrabReport.h"

#include "cldrip/GrabStatus.h"

namespace cld {

GrabReport grabReport(const GrabEnd& end) {
    GrabReport report;
    if (end.aborted) {
        report.stringId = 126;
        report.icon = ReportIcon::Error;
        return report;
    }
    std::string notExact;
    for (const TrackResult& track : end.tracks) {
        const char* what = nullptr;
        switch (track.outcome) {
        case TrackOutcome::NotVerified:
            what = "not verified";
            break;
        case TrackOutcome::Failed:
            what = "failed";
            break;
        case TrackOutcome::NotReached:
            what = "not read";
            break;
        case TrackOutcome::Exact:
        case TrackOutcome::Corrected:
            break;
        }
        if (what)
            notExact += "\n" + track.name + ": " + what;
    }
    if (end.errorCode != 0 && end.errorCode != GrabStatus::ErrorNotVerified) {
        report.stringId = kGrabFailedStringId;
        report.argument = grabErrorText(end.errorCode) + notExact;
        report.icon = ReportIcon::Error;
        return report;
    }
    if (!notExact.empty()) {
        report.stringId = kGrabNotExactStringId;
        report.argument = notExact.substr(1);
        report.icon = ReportIcon::Exclamation;
        return report;
    }
    report.stringId = 127;
    return report;
}

std::vector<TrackResult> outcomesFromStatus(const std::vector<std::string>& names, int errorCode,
                                            bool aborted, int stopIndex) {
    std::vector<TrackResult> out;
    out.reserve(names.size());
    const bool stopped = errorCode != 0 || aborted;
    for (std::size_t i = 0; i < names.size(); ++i) {
        TrackResult r;
        r.name = names[i];
        const int index = static_cast<int>(i);
        if (!stopped || index < stopIndex)
            r.outcome = TrackOutcome::Exact;
        else if (index == stopIndex)
            r.outcome = errorCode == GrabStatus::ErrorTrackMissing ? TrackOutcome::NotReached
                                                                   : TrackOutcome::Failed;
        else
            r.outcome = TrackOutcome::NotReached;
        out.push_back(std::move(r));
    }
    return out;
}

std::vector<TrackResult> outcomesFromResults(const std::vector<std::string>& names,
                                             const std::vector<int>& trackIndices,
                                             const std::vector<GrabTrackResult>& results) {
    std::vector<TrackResult> out;
    out.reserve(names.size());
    std::vector<bool> used(results.size(), false);
    for (std::size_t i = 0; i < names.size(); ++i) {
        TrackResult r;
        r.name = names[i];
        r.outcome = TrackOutcome::NotReached;
        const int index = i < trackIndices.size() ? trackIndices[i] : -1;
        // The same track may be grabbed twice; each job takes the next unused result.
        for (std::size_t k = 0; k < results.size(); ++k) {
            if (used[k] || results[k].trackIndex != index)
                continue;
            used[k] = true;
            switch (results[k].result) {
            case GrabStatus::TrackExact:
            case GrabStatus::TrackUnchecked:
                r.outcome = TrackOutcome::Exact;
                break;
            case GrabStatus::TrackCorrected:
                r.outcome = TrackOutcome::Corrected;
                break;
            case GrabStatus::TrackNotVerified:
                r.outcome = TrackOutcome::NotVerified;
                break;
            default:
                r.outcome = TrackOutcome::Failed;
                break;
            }
            break;
        }
        out.push_back(std::move(r));
    }
    return out;
}

} // namespace cld
