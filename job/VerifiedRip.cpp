#include "VerifiedRip.h"

#include "AccurateRip.h"
#include "AppResources.h"
#include "ArLookup.h"
#include "RipLog.h"
#include "CddbCancel.h"
#include "JobContext.h"
#include "ProductIdentity.h"
#include "SettingsRecord.h"
#include "WaitService.h"
#include "cldrip/CDRipDriveSettings.h"
#include "cldrip/CDRipObject.h"
#include "cldrip/DiscInfo.h"
#include "cldrip/NameText.h"
#include "cldrip/TrackInfo.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <future>

namespace cld {

namespace {

constexpr int kAllAccurate = 2600;
constexpr int kSomeNotAccurate = 2601;
constexpr int kNotInDatabase = 2602;
constexpr int kOffline = 2603;
constexpr int kLookupFailed = 2604;
constexpr int kOtherDisc = 2605;
constexpr int kLogWritten = 2606;
constexpr int kLogFailed = 2607;
constexpr int kOffsetRefused = 2608;

QString local(int id, const char* english) {
    const QString text = AppResources::string(id);
    return text.isEmpty() ? QString::fromUtf8(english) : text;
}

std::string driveName(CDRipDriveSettings* drives, int index) {
    if (!drives)
        return {};
    NameText* name = nullptr;
    std::string out;
    if (drives->GetDriveName(&name, index) == 0 && name) {
        out = name->text();
        name->Destroy();
    }
    return out;
}

accurip::ReadResult readResultOf(int32_t code) {
    switch (code) {
    case GrabStatus::TrackExact:
        return accurip::ReadResult::Exact;
    case GrabStatus::TrackCorrected:
        return accurip::ReadResult::Corrected;
    case GrabStatus::TrackNotVerified:
        return accurip::ReadResult::NotVerified;
    case GrabStatus::TrackFailed:
        return accurip::ReadResult::Failed;
    case GrabStatus::TrackUnchecked:
        return accurip::ReadResult::Unchecked;
    default:
        return accurip::ReadResult::Unknown;
    }
}

std::string numbers(const std::vector<int>& v) {
    std::string s;
    for (int n : v)
        s += (s.empty() ? "" : ", ") + std::to_string(n);
    return s;
}

std::string reportLine(const accurip::ArSummary& s, const std::string& detail) {
    QString text;
    switch (s.kind) {
    case accurip::ArSummary::AllAccurate:
        text = local(kAllAccurate, "AccurateRip: all %1 tracks accurately ripped (confidence %2)")
                   .arg(s.tracks)
                   .arg(s.minConfidence);
        break;
    case accurip::ArSummary::SomeNotAccurate: {
        std::vector<int> bad = s.notAccurate;
        bad.insert(bad.end(), s.notInDatabase.begin(), s.notInDatabase.end());
        std::sort(bad.begin(), bad.end());
        text = local(kSomeNotAccurate,
                     "AccurateRip: not accurately ripped: track(s) %1 (%2 of %3 tracks accurate)")
                   .arg(QString::fromStdString(numbers(bad)))
                   .arg(s.tracks - static_cast<int>(bad.size()))
                   .arg(s.tracks);
        break;
    }
    case accurip::ArSummary::NotInDatabase:
        text = local(kNotInDatabase, "AccurateRip: disc not in the database");
        break;
    case accurip::ArSummary::Offline:
        text = local(kOffline, "AccurateRip: the database could not be reached (offline?); the "
                               "checksums are kept in the log");
        break;
    case accurip::ArSummary::Failed:
        text = local(kLookupFailed,
                     "AccurateRip: the look-up failed (%1); the checksums are kept in the log")
                   .arg(QString::fromStdString(detail));
        break;
    case accurip::ArSummary::OtherDisc:
        text = local(kOtherDisc, "AccurateRip: the database entry is for another disc");
        break;
    case accurip::ArSummary::NotDone:
        return {};
    }
    return text.toStdString();
}

} // namespace

std::string wavFileName(const std::string& name) {
    if (name.size() >= 4 && name[name.size() - 4] != '.')
        return name + ".wav";
    return name;
}

std::string applyStoredReadOffset(SettingsRecord& settings, CDRipDriveSettings* drives,
                                  int driveIndex) {
    if (!drives)
        return {};
    const int offset = settings.readOffsetFor(driveName(drives, driveIndex));
    if (drives->SetReadOffset(SettingsRecord::readOffsetInRange(offset) ? offset : 0) != 0 ||
        !SettingsRecord::readOffsetInRange(offset))
        return local(kOffsetRefused, "The read offset stored for this drive (%1 samples) is "
                                     "outside -5000..5000 and is not used.")
            .arg(offset)
            .toStdString();
    return {};
}

RipLogOutcome writeRipLogAndCue(const JobContext& context, const RipLogRequest& request) {
    RipLogOutcome outcome;
    accurip::RipLogInfo info;
    info.program = std::string(identity::kProduct) + " " + identity::kDisplayVersion;
    {
        const std::time_t now = std::time(nullptr);
        char date[64];
        std::tm tm{};
        gmtime_r(&now, &tm);
        std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S UTC", &tm);
        info.date = date;
    }
    info.drive = driveName(context.driveSettings, request.driveIndex);
    info.readOffset = context.driveSettings ? context.driveSettings->GetReadOffset() : 0;
    info.errorCorrection = request.errorCorrection;
    info.artist = request.artist;
    info.album = request.album;

    // The disc as the ripper sees it: its audio tracks and the FreeDB id of the whole disc.
    if (context.ripObject) {
        if (DiscInfo* disc = context.ripObject->GetDiscInfo()) {
            for (int i = 0; i < disc->GetTrackCount(); ++i) {
                if (TrackInfo* t = disc->GetTrack(i)) {
                    info.disc.tracks.push_back({i + 1, t->GetFirstSector(), true});
                    info.disc.leadOut = static_cast<int64_t>(t->GetLastSector()) + 1;
                    t->Destroy();
                }
            }
            info.disc.knownFreedbId = disc->GetDiscId();
            disc->Destroy();
        }
    }
    std::string why;
    const bool discKnown = info.disc.valid(why);

    std::vector<accurip::TrackChecksums> sums;
    bool allSums = discKnown;
    const int lastIndex = static_cast<int>(info.disc.tracks.size()) - 1;
    for (const RipLogFile& f : request.files) {
        accurip::LogTrack t;
        t.number = f.trackIndex + 1;
        t.file = std::filesystem::path(f.path).filename().string();
        t.title = f.title;
        t.performer = f.performer;
        const auto r = std::find_if(request.results.begin(), request.results.end(),
                                    [&](const GrabTrackResult& g) { return g.trackIndex == f.trackIndex; });
        if (r != request.results.end()) {
            t.result = readResultOf(r->result);
            t.correctedSectors = r->correctedSectors;
            t.unverifiedSectors = r->unverifiedSectors;
            t.unreadSectors = r->unreadSectors;
        }
        std::string sumWhy;
        t.hasChecksums = discKnown && accurip::checksumWaveFile(f.path, f.trackIndex == 0,
                                                                f.trackIndex == lastIndex, t.sums, sumWhy);
        allSums = allSums && t.hasChecksums;
        info.tracks.push_back(t);
    }

    // The look-up, when every track of the disc was ripped into a WAV file.
    if (discKnown && allSums && context.settings.accurateRipLookup() &&
        static_cast<int>(info.tracks.size()) == static_cast<int>(info.disc.tracks.size())) {
        const accurip::DiscIds ids = accurip::discIds(info.disc);
        const std::string server = context.settings.accurateRipServer();
        const int deadlineMs = std::clamp(context.settings.freeDBDeadline(), 5, 60) * 1000;
        auto future = std::async(std::launch::async, [ids, server, deadlineMs] {
            return accurip::lookUp(server, ids, deadlineMs, nullptr);
        });
        while (future.wait_for(std::chrono::milliseconds(40)) != std::future_status::ready)
            context.waits().pump();
        const accurip::LookupAnswer a = future.get();
        info.lookupDetail = a.detail;
        switch (a.status) {
        case accurip::LookupAnswer::Found: {
            for (const accurip::LogTrack& t : info.tracks)
                sums.push_back(t.sums);
            bool other = false;
            const auto verdicts = accurip::verify(ids, sums, a.responses, other);
            if (other) {
                info.lookup = accurip::LookupState::OtherDisc;
            } else {
                info.lookup = accurip::LookupState::Checked;
                for (size_t i = 0; i < verdicts.size(); ++i) {
                    info.tracks[i].hasVerdict = true;
                    info.tracks[i].verdict = verdicts[i];
                }
            }
            break;
        }
        case accurip::LookupAnswer::NotInDatabase:
            info.lookup = accurip::LookupState::NotInDatabase;
            break;
        case accurip::LookupAnswer::Offline:
            info.lookup = accurip::LookupState::Offline;
            break;
        case accurip::LookupAnswer::TimedOut:
        case accurip::LookupAnswer::Malformed:
        case accurip::LookupAnswer::Cancelled:
            info.lookup = accurip::LookupState::Failed;
            break;
        }
    }

    std::string line = reportLine(accurip::summarize(info), info.lookupDetail);
    std::string error;
    std::string logPath;
    if (accurip::writeRipLog(request.folder, info, logPath, error)) {
        outcome.logPath = logPath;
        line += (line.empty() ? "" : "\n") +
                local(kLogWritten, "The log and cue sheet are in %1")
                    .arg(QString::fromStdString(logPath))
                    .toStdString();
    } else {
        line += (line.empty() ? "" : "\n") +
                local(kLogFailed, "The rip log could not be written: %1")
                    .arg(QString::fromStdString(error))
                    .toStdString();
    }
    outcome.reportLines = line;
    return outcome;
}

} // namespace cld
