#include "GrabReport.h"

#include "StringIds.h"
#include "cldrip/GrabStatus.h"

namespace cld {

namespace {

// A grab that stopped at a track because its file could not even be started, or whose
// file was removed because the track ended early (FLAC files are whole or not at all).
bool noFile(const GrabEnd& end, const TrackResult& track) {
    if (track.outcome != TrackOutcome::Failed || track.unreadSectors > 0 ||
        track.unverifiedSectors > 0)
        return false;
    return end.partialFilesRemoved || end.errorCode == GrabStatus::ErrorOpenFailed ||
           end.errorCode == GrabStatus::ErrorCreateFailed ||
           end.errorCode == GrabStatus::ErrorNameRefused;
}

} // namespace

namespace {
GrabReport grabReportAlone(const GrabEnd& end);
} // namespace

GrabReport grabReport(const GrabEnd& end) {
    GrabReport report = grabReportAlone(end);
    if (end.aborted || end.verification.empty())
        return report;
    if (report.stringId == 127) {
        report.stringId = IDS_GRAB_SAVED_VERIFIED;
        report.argument = end.verification;
    } else {
        report.argument += "\n\n" + end.verification;
    }
    return report;
}

namespace {

GrabReport grabReportAlone(const GrabEnd& end) {
    GrabReport report;
    if (end.aborted) {
        report.stringId = 126;
        report.icon = ReportIcon::Error;
        return report;
    }
    std::string notExact;
    bool stoppedEarly = false;
    bool damaged = false;
    bool notSaved = false;
    for (const TrackResult& track : end.tracks) {
        std::string what;
        switch (track.outcome) {
        case TrackOutcome::NotVerified:
        case TrackOutcome::Failed:
            what = noFile(end, track) ? grabNoFileText()
                                      : grabTrackText(track.unreadSectors, track.unverifiedSectors,
                                                      track.outcome == TrackOutcome::Failed);
            // A failed track with no sector left silent ended before its last sector.
            if (track.outcome == TrackOutcome::Failed && track.unreadSectors <= 0)
                stoppedEarly = true;
            else
                damaged = true;
            break;
        case TrackOutcome::NotReached:
            what = grabNotReadText();
            stoppedEarly = true;
            break;
        case TrackOutcome::NameTaken:
            what = grabNameTakenText(track.file);
            notSaved = true;
            break;
        case TrackOutcome::Exact:
        case TrackOutcome::Corrected:
            break;
        }
        if (!what.empty())
            notExact += "\n" + track.name + ": " + what;
    }
    // Sectors left silent are reported with the error "read failed", although every track
    // was saved at full length; only an early stop makes the grab a failure.
    const bool gapsOnly = end.errorCode == GrabStatus::ErrorReadFailed && damaged && !stoppedEarly;
    // A track whose name was taken was left out on purpose; the grab went on.
    const bool takenOnly =
        end.errorCode == GrabStatus::ErrorCreateFailed && notSaved && !stoppedEarly;
    if (end.errorCode != 0 && end.errorCode != GrabStatus::ErrorNotVerified && !gapsOnly &&
        !takenOnly) {
        report.stringId = IDS_GRAB_STOPPED;
        report.argument = grabErrorText(end.errorCode) + notExact;
        report.icon = ReportIcon::Error;
        return report;
    }
    if (!notExact.empty()) {
        // A track left out because its name was taken is not saved at all; the others are
        // saved but not exact.
        report.stringId = notSaved ? IDS_GRAB_NOT_ALL_SAVED : IDS_GRAB_NOT_EXACT;
        report.argument = notExact.substr(1);
        if (damaged)
            report.argument += "\n" + grabAdviceText();
        report.icon = ReportIcon::Exclamation;
        return report;
    }
    report.stringId = 127;
    return report;
}

} // namespace

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
            r.unreadSectors = results[k].unreadSectors;
            r.unverifiedSectors = results[k].unverifiedSectors;
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
            case GrabStatus::TrackNameTaken:
                r.outcome = TrackOutcome::NameTaken;
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
