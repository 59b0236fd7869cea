#include "VerifiedRip.h"

#include "AppResources.h"
#include "JobContext.h"
#include "RipLog.h"
#include "SafeFiles.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "WaitService.h"

#include <QString>
#include <algorithm>
#include <chrono>

namespace cld {

namespace {

QString local(int id, const char* english) {
    const QString text = AppResources::string(id);
    return text.isEmpty() ? QString::fromUtf8(english) : text;
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
        text = local(IDS_AR_ALL_ACCURATE,
                     "AccurateRip: all %1 tracks accurately ripped (confidence %2)")
                   .arg(s.tracks)
                   .arg(s.minConfidence);
        break;
    case accurip::ArSummary::SomeNotAccurate: {
        std::vector<int> bad = s.notAccurate;
        bad.insert(bad.end(), s.notInDatabase.begin(), s.notInDatabase.end());
        std::sort(bad.begin(), bad.end());
        text = local(IDS_AR_SOME_NOT_ACCURATE,
                     "AccurateRip: not accurately ripped: track(s) %1 (%2 of %3 tracks accurate)")
                   .arg(QString::fromStdString(numbers(bad)))
                   .arg(s.tracks - static_cast<int>(bad.size()))
                   .arg(s.tracks);
        break;
    }
    case accurip::ArSummary::NotInDatabase:
        text = local(IDS_AR_NOT_IN_DATABASE, "AccurateRip: disc not in the database");
        break;
    case accurip::ArSummary::Offline:
        text =
            local(IDS_AR_OFFLINE, "AccurateRip: the database could not be reached (offline?); the "
                                  "checksums are kept in the log");
        break;
    case accurip::ArSummary::Failed:
        text = local(IDS_AR_LOOKUP_FAILED,
                     "AccurateRip: the look-up failed (%1); the checksums are kept in the log")
                   .arg(QString::fromStdString(detail));
        break;
    case accurip::ArSummary::OtherDisc:
        text = local(IDS_AR_OTHER_DISC, "AccurateRip: the database entry is for another disc");
        break;
    case accurip::ArSummary::NotDone:
        return {};
    }
    return text.toStdString();
}

std::string ctdbLine(const accurip::CtdbLogResult& c) {
    using State = accurip::CtdbLogResult::State;
    switch (c.state) {
    case State::Checked: {
        const accurip::CtdbVerdict& v = c.verdict;
        if (v.kind == accurip::CtdbVerdict::Accurate && v.shift == 0)
            return local(IDS_CTDB_ACCURATE, "CTDB: accurate (confidence %1 of %2 submissions)")
                .arg(v.confidence)
                .arg(v.submissions)
                .toStdString();
        if (v.kind == accurip::CtdbVerdict::Accurate)
            return local(IDS_CTDB_SHIFTED, "CTDB: accurate, but shifted by %1 samples (confidence "
                                           "%2 of %3 submissions)")
                .arg(v.shift)
                .arg(v.confidence)
                .arg(v.submissions)
                .toStdString();
        if (v.kind == accurip::CtdbVerdict::NotInDatabase)
            break;
        std::vector<int> bad;
        for (size_t i = 0; i < v.tracks.size(); ++i)
            if (v.tracks[i].kind != accurip::CtdbTrackVerdict::Accurate)
                bad.push_back(static_cast<int>(i) + 1);
        return local(IDS_CTDB_DIFFERS, "CTDB: the rip differs from the database: track(s) %1")
            .arg(QString::fromStdString(numbers(bad)))
            .toStdString();
    }
    case State::NotInDatabase:
        break;
    case State::Offline:
    case State::Failed:
        return local(IDS_CTDB_LOOKUP_FAILED, "CTDB: the look-up failed (%1)")
            .arg(QString::fromStdString(c.detail))
            .toStdString();
    case State::NotDone:
        return {};
    }
    return local(IDS_CTDB_NOT_IN_DATABASE, "CTDB: disc not in the database").toStdString();
}

} // namespace

std::string wavFileName(const std::string& name) {
    return files::withExtension(name, ".wav");
}

std::string flacFileName(const std::string& name) {
    return files::withExtension(name, ".flac");
}

std::string ripLogName(const std::string& artist, const std::string& album) {
    return accurip::ripLogBaseName(artist, album);
}

std::string applyStoredReadOffset(SettingsRecord& settings, CDRipDriveSettings* drives,
                                  int driveIndex) {
    const engine::StoredOffset stored = engine::applyStoredReadOffset(settings, drives, driveIndex);
    if (!stored.refused)
        return {};
    return local(IDS_READ_OFFSET_REFUSED, "The read offset stored for this drive (%1 samples) is "
                                          "outside -5000..5000 and is not used.")
        .arg(stored.offset)
        .toStdString();
}

engine::VerifyEnv verifyEnvOf(const JobContext& context) {
    engine::VerifyEnv env =
        engine::verifyEnv(context.settings, context.ripObject, context.driveSettings);
    const JobContext* c = &context;
    env.wait = [c](int milliseconds, const std::function<bool()>& ready) {
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        c->waits().pump();
        while (!ready() && std::chrono::steady_clock::now() < until)
            c->waits().waitAndPump(10);
    };
    return env;
}

std::string verificationText(const engine::VerifyResult& result) {
    if (!result.attempted)
        return {};
    std::string line = reportLine(result.summary, result.lookupDetail);
    const std::string ctdb = ctdbLine(result.ctdb);
    if (!ctdb.empty())
        line += (line.empty() ? "" : "\n") + ctdb;
    if (result.summary.kind != accurip::ArSummary::NotDone || !ctdb.empty()) {
        std::string by =
            result.summary.kind == accurip::ArSummary::AllAccurate ? "AccurateRip" : "";
        if (result.ctdb.state == accurip::CtdbLogResult::State::Checked &&
            result.ctdb.verdict.kind == accurip::CtdbVerdict::Accurate)
            by += (by.empty() ? "" : ", ") + std::string("CTDB");
        line += "\n" + (by.empty() ? local(IDS_RIP_NOT_VERIFIED, "No database confirms the rip.")
                                   : local(IDS_RIP_VERIFIED_BY, "The rip is verified by %1.")
                                         .arg(QString::fromStdString(by)))
                           .toStdString();
    }
    if (!result.logPath.empty())
        line += (line.empty() ? "" : "\n") +
                local(IDS_RIP_LOG_WRITTEN, "The log and cue sheet are in %1")
                    .arg(QString::fromStdString(result.logPath))
                    .toStdString();
    else
        line += (line.empty() ? "" : "\n") +
                local(IDS_RIP_LOG_FAILED, "The rip log could not be written: %1")
                    .arg(QString::fromStdString(result.logError))
                    .toStdString();
    return line;
}

OffsetDetection detectReadOffset(const JobContext& context, int driveIndex,
                                 const std::string& tempFolder) {
    const engine::OffsetDetection found =
        engine::detectReadOffset(verifyEnvOf(context), driveIndex, tempFolder);
    OffsetDetection d;
    d.found = found.found;
    d.offset = found.offset;
    d.confidence = found.confidence;
    switch (found.failure) {
    case engine::OffsetFailure::None:
        break;
    case engine::OffsetFailure::NoDrive:
        d.why = "no CD drive can be used";
        break;
    case engine::OffsetFailure::NoDisc:
        d.why = "there is no audio CD in the drive";
        break;
    case engine::OffsetFailure::NotInDatabase:
        d.why = "the disc is not in the AccurateRip database; try another disc";
        break;
    case engine::OffsetFailure::DatabaseFailed:
    case engine::OffsetFailure::Cancelled:
        d.why = "the AccurateRip database could not be used: " + found.detail;
        break;
    case engine::OffsetFailure::TracksTooShort:
        d.why = "the disc's tracks are too short";
        break;
    case engine::OffsetFailure::NoTemporary:
        d.why = "no temporary file can be made in " + tempFolder;
        break;
    case engine::OffsetFailure::ReadFailed:
        d.why = "the disc could not be read";
        break;
    case engine::OffsetFailure::NoMatch:
        d.why = "no offset within 5000 samples matches the disc's entry";
        break;
    }
    return d;
}

} // namespace cld
