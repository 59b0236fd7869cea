#include "GrabReport.h"

#include "cldrip/GrabStatus.h"

namespace cld {

std::string grabErrorText(int errorCode) {
    switch (errorCode) {
    case GrabStatus::ErrorNone:
        return {};
    case GrabStatus::ErrorOpenFailed:
        return "The drive could not be prepared for reading a track.";
    case GrabStatus::ErrorCreateFailed:
        return "A WAV file could not be created in the chosen folder.";
    case GrabStatus::ErrorReadFailed:
        return "The drive could not read a part of a track; that track is incomplete.";
    case GrabStatus::ErrorNameRefused:
        return "A track's file name or folder is too long.";
    case GrabStatus::ErrorWriteFailed:
        return "A WAV file could not be written (is the disk full?); that track is incomplete.";
    case GrabStatus::ErrorTrackMissing:
        return "A selected track is not on the disc in the drive.";
    default:
        return "Reading the CD failed (error " + std::to_string(errorCode) + ").";
    }
}

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
    if (end.errorCode != 0) {
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

} // namespace cld
