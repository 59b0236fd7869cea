#include "CdPipeline.h"
#include "CliObserver.h"
#include "CliSettings.h"
#include "Commands.h"
#include "DiscNames.h"
#include "EncoderChoice.h"
#include "ExitCode.h"
#include "GenreList.h"
#include "Interrupt.h"
#include "RipLog.h"
#include "RipperLibrary.h"
#include "SettingsRecord.h"
#include "Workers.h"
#include "cldrip/CDRipDriveSettings.h"
#include "cldrip/CDRipObject.h"

#include <filesystem>
#include <nlohmann/json.hpp>

namespace cld::cli {

namespace {

std::string summaryKind(accurip::ArSummary::Kind kind) {
    switch (kind) {
    case accurip::ArSummary::AllAccurate:
        return "accurate";
    case accurip::ArSummary::SomeNotAccurate:
        return "not-accurate";
    case accurip::ArSummary::NotInDatabase:
        return "not-in-database";
    case accurip::ArSummary::Offline:
        return "offline";
    case accurip::ArSummary::Failed:
        return "failed";
    case accurip::ArSummary::OtherDisc:
        return "other-disc";
    case accurip::ArSummary::NotDone:
        return "not-done";
    }
    return "not-done";
}

// The disc's names from the source the options name, falling back on CD-TEXT.
DiscNames namesFor(Console& console, SettingsRecord& settings, const RipOptions& o,
                   const DiscContents& disc) {
    DiscNames names;
    std::string why;
    bool found = false;
    if (o.names == "cache") {
        found = cachedNames(settings, disc.cddbId, names, why);
    } else if (o.names == "musicbrainz") {
        found = musicBrainzNames(settings, disc, names, why);
    } else if (o.names == "cddb") {
        // The CDDB look-up asks the user to pick among close matches; the cache holds
        // what an earlier look-up stored.
        found = cachedNames(settings, disc.cddbId, names, why);
        if (!found)
            why += "; a CDDB look-up needs the program's FreeDB dialog";
    }
    if (found) {
        console.detail("names from " + names.source);
        return names;
    }
    if (o.names != "none")
        console.note("no names: " + why);
    names = {};
    if (disc.cdText) {
        names.source = "cd-text";
        names.artist = disc.artist;
        names.album = disc.title;
        for (const DiscTrack& t : disc.tracks)
            names.titles.push_back(t.title);
    }
    return names;
}

} // namespace

int runRip(Console& console, SettingsRecord& settings, const CommonOptions& common,
           const RipOptions& o) {
    RipperLibrary& ripper = RipperLibrary::instance();
    std::string why;
    const int driveIndex = ripper.findDrive(o.drive, why);
    if (driveIndex < 0) {
        console.error(why);
        return kExitNothingDone;
    }
    ripper.selectDrive(driveIndex);
    CDRipObject* rip = ripper.ripObject();
    CDRipDriveSettings* drives = rip->GetDriveSettings();
    const std::string driveName = ripper.driveNames().at(static_cast<size_t>(driveIndex));

    DiscContents disc;
    if (!ripper.readDisc(disc, why)) {
        console.error(why);
        return kExitNothingDone;
    }
    std::set<int> wanted;
    if (!o.tracks.empty()) {
        if (!parseTrackList(o.tracks, wanted, why)) {
            console.error("--tracks: " + why);
            return kExitUsage;
        }
        if (*wanted.rbegin() > static_cast<int>(disc.tracks.size())) {
            console.error("--tracks: the disc has " + std::to_string(disc.tracks.size()) +
                          " tracks");
            return kExitUsage;
        }
    }

    const std::string format = !o.format.empty()                                      ? o.format
                               : settings.grabFormat() == SettingsRecord::kGrabToFlac ? "flac"
                                                                                      : "wav";
    if (!checkEncoderFlags(format, o.bitrate, o.flags, why)) {
        console.error(why);
        return kExitUsage;
    }
    if (o.replayGain &&
        (!carriesLoudness(format) || (format == "mp3" && settings.mp3Id3v2Tag() == 0))) {
        console.error(format == "mp3"
                          ? "--replay-gain: the MP3 settings leave out the ID3 version 2 tag "
                            "that carries the values"
                          : "--replay-gain does not apply to " + format + " files");
        return kExitUsage;
    }
    EncoderChoice encoder;
    if (!chooseEncoder(format, settings, o.bitrate, o.profile, o.flags, encoder, why)) {
        console.error(why);
        return kExitNothingDone;
    }

    const bool stored = settingsStoreExists();
    if (o.offset) {
        if (drives->SetReadOffset(*o.offset) != 0) {
            console.error("the drive refuses the read offset " + std::to_string(*o.offset));
            return kExitNothingDone;
        }
        if (common.saveSettings && !settings.setReadOffsetFor(driveName, *o.offset))
            console.error("the read offset could not be saved");
    }

    const DiscNames names = namesFor(console, settings, o, disc);
    engine::CdRipSpec setup;
    for (const DiscTrack& t : disc.tracks) {
        if (!wanted.empty() && !wanted.count(t.number))
            continue;
        const size_t i = static_cast<size_t>(t.number - 1);
        setup.tracks.push_back({t.number - 1, i < names.titles.size() ? names.titles[i] : ""});
    }
    setup.artist = names.artist;
    setup.album = names.album;
    setup.year = names.year > 0 ? std::to_string(names.year) : "";
    setup.genre = names.genre;
    if (!names.genre.empty()) {
        GenreList genres;
        genres.buildGenreList();
        const int number = genres.genreNumber(names.genre);
        setup.genreNumber = number >= 0 ? number : 255;
    }
    setup.folder = o.out.empty() ? std::filesystem::current_path().string()
                                 : std::filesystem::absolute(o.out).string();
    std::error_code ec;
    std::filesystem::create_directories(setup.folder, ec);
    setup.encoder = encoder.name;
    setup.options = encoder.options;
    setup.width = settings.parallelJobCount();
    setup.driveIndex = driveIndex;
    setup.coverImage = names.coverImage;
    setup.testAndCopy = o.testAndCopy || (stored && settings.testAndCopy());
    setup.ripHiddenTrack = o.hiddenTrack;
    setup.detectGaps = !o.noGapDetection;
    // The disc is one album: each track gets its loudness values, and every file the
    // album's once all are done, in the formats that carry them.
    setup.replayGain = carriesLoudness(format) &&
                       !(format == "mp3" && settings.mp3Id3v2Tag() == 0) &&
                       (o.replayGain || settings.mp3ReplayGain() != 0);

    engine::VerifyEnv env;
    if (stored) {
        env = engine::verifyEnv(settings, rip, drives);
    } else {
        env.rip = rip;
        env.drives = drives;
        env.server = SettingsRecord::kDefaultAccurateRipServer;
        env.ctdbLookup = true;
        env.ctdbServer = SettingsRecord::kDefaultCtdbServer;
    }
    env.cancelled = [] { return interrupted(); };

    // The stored offset applies unless the command line gave one.
    engine::CdPipeline job(rip, std::move(setup), env, stored && !o.offset ? &settings : nullptr);
    job.prepare();
    std::vector<std::string> itemNames;
    for (const engine::CdRipSpec::Track& t : job.setup().tracks)
        itemNames.push_back(t.index == engine::kHiddenTrack
                                ? "track 0 (HTOA)"
                                : "track " + std::to_string(t.index + 1));
    CliObserver observer(console, {o.onError, o.overwrite, "rip", itemNames, {}});
    {
        RunningJobScope running(job);
        job.run(observer);
    }
    console.clearProgress();

    const engine::CdRipReport& report = job.report();
    for (const engine::InexactTrack& t : report.inexact)
        console.note("track " + std::to_string(t.trackIndex + 1) +
                     " was read but not exactly: " + t.output);
    if (report.setupFailure != engine::Failure::None) {
        console.error(report.setupFailure == engine::Failure::NoRipper
                          ? "no ripper or no drive"
                          : "the rip's temporary folder cannot be made (error " +
                                std::to_string(report.detail) + ")");
        return interrupted() ? kExitInterrupted : kExitNothingDone;
    }
    const engine::VerifyResult& v = report.verification;
    if (v.attempted) {
        nlohmann::ordered_json disc_ = {
            {"command", "rip"},
            {"disc", names.album},
            {"artist", names.artist},
            {"names", names.source},
            {"log", v.logPath},
            {"accuraterip", summaryKind(v.summary.kind)},
            {"verdict", accurip::summaryText(v.summary, v.lookupDetail)}};
        const std::string ctdb = accurip::ctdbSummaryText(v.ctdb);
        if (!ctdb.empty())
            disc_["ctdb"] = ctdb;
        disc_["verified"] = v.verifiedBy.empty() ? std::string("no") : v.verifiedBy;
        if (!v.logError.empty())
            disc_["log_error"] = v.logError;
        std::string line =
            "disc\t" + v.logPath + "\t" + accurip::summaryText(v.summary, v.lookupDetail);
        if (!ctdb.empty())
            line += "\tCTDB: " + ctdb;
        line += v.verifiedBy.empty() ? "\tnot verified" : "\tverified by " + v.verifiedBy;
        console.result(disc_, line);
    }

    if (interrupted())
        return kExitInterrupted;
    const size_t failed = observer.failedCount();
    const size_t done = observer.doneCount();
    if (failed > 0)
        return done == 0 ? kExitNothingDone : kExitSomeFailed;
    for (const ItemReport& r : observer.reports())
        if (r.status != "done")
            return kExitSomeFailed;
    return observer.reports().empty() ? kExitNothingDone : kExitDone;
}

} // namespace cld::cli
