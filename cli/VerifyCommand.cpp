#include "ArLookup.h"
#include "CddbSettings.h"
#include "CliSettings.h"
#include "Commands.h"
#include "CtdbLookup.h"
#include "ExistingRip.h"
#include "ExitCode.h"
#include "RipLog.h"
#include "RipLogReader.h"
#include "SettingsRecord.h"
#include "TrackAudio.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace cld::cli {

namespace {

namespace fs = std::filesystem;

// The log of a rip named by its log, its cue sheet (the log beside it) or its folder (the
// one log in it).
bool findLog(const std::string& argument, fs::path& log, std::string& why) {
    const fs::path path(argument);
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        std::vector<fs::path> logs;
        for (const auto& entry : fs::directory_iterator(path, ec))
            if (entry.path().extension() == ".log" && entry.is_regular_file(ec))
                logs.push_back(entry.path());
        if (logs.size() != 1) {
            why = logs.empty() ? "holds no rip log" : "holds more than one log: name one";
            return false;
        }
        log = logs.front();
        return true;
    }
    if (!fs::is_regular_file(path, ec)) {
        why = "no such file or folder";
        return false;
    }
    log = path;
    if (path.extension() == ".cue")
        log.replace_extension(".log");
    if (!fs::is_regular_file(log, ec)) {
        why = "no rip log beside it (" + log.filename().string() + ")";
        return false;
    }
    return true;
}

std::string hex8(uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", value);
    return buf;
}

std::string verdictWord(const accurip::TrackVerdict& v) {
    switch (v.kind) {
    case accurip::TrackVerdict::Accurate:
        return "accurate";
    case accurip::TrackVerdict::NotAccurate:
        return "not-accurate";
    case accurip::TrackVerdict::NotInDatabase:
        return "not-in-database";
    }
    return "not-in-database";
}

std::string lookupWord(accurip::LookupAnswer::Status status) {
    switch (status) {
    case accurip::LookupAnswer::Found:
        return "checked";
    case accurip::LookupAnswer::NotInDatabase:
        return "not-in-database";
    case accurip::LookupAnswer::Offline:
        return "offline";
    case accurip::LookupAnswer::TimedOut:
        return "timed-out";
    case accurip::LookupAnswer::Malformed:
        return "failed";
    case accurip::LookupAnswer::Cancelled:
        return "cancelled";
    }
    return "failed";
}

// Whether the log is as it was written: its last line's SHA-256 of the text above it. An
// edited log counts as a failure; a log without the line (an older one) is only named.
std::string logChecksumWord(Console& console, const fs::path& log, const std::string& text,
                            size_t& failed) {
    const accurip::LogChecksum seal = accurip::checkLogChecksum(text);
    if (seal == accurip::LogChecksum::Edited) {
        console.error(log.string() + ": the log was changed after it was written");
        ++failed;
    }
    return seal == accurip::LogChecksum::Ok       ? "OK"
           : seal == accurip::LogChecksum::Edited ? "edited"
                                                  : "absent";
}

// The look-ups as the settings allow them (the public databases without a settings store).
engine::VerifyEnv lookupEnv(SettingsRecord& settings) {
    engine::VerifyEnv env;
    const bool stored = settingsStoreExists();
    env.lookup = !stored || settings.accurateRipLookup();
    env.server = stored ? settings.accurateRipServer() : SettingsRecord::kDefaultAccurateRipServer;
    if (env.server.empty())
        env.server = accurip::kDefaultServer;
    env.ctdbLookup = true;
    env.ctdbServer = stored ? settings.ctdbServer() : SettingsRecord::kDefaultCtdbServer;
    env.deadlineMs = std::clamp(settings.freeDBDeadline(), 5, 60) * 1000;
    if (stored) {
        const CddbProxy proxy = cddbProxyFromSettings(settings);
        env.proxyHost = proxy.host;
        env.proxyPort = proxy.port;
    }
    return env;
}

accurip::LookupState lookupStateOf(accurip::LookupAnswer::Status status) {
    switch (status) {
    case accurip::LookupAnswer::Found:
        return accurip::LookupState::Checked;
    case accurip::LookupAnswer::NotInDatabase:
        return accurip::LookupState::NotInDatabase;
    case accurip::LookupAnswer::Offline:
        return accurip::LookupState::Offline;
    default:
        break;
    }
    return accurip::LookupState::Failed;
}

std::string ctdbWord(const accurip::CtdbTrackVerdict& v) {
    switch (v.kind) {
    case accurip::CtdbTrackVerdict::Accurate:
        return "accurate";
    case accurip::CtdbTrackVerdict::Differs:
        return "differs";
    case accurip::CtdbTrackVerdict::NotInDatabase:
        break;
    }
    return "not-in-database";
}

// The disc's line: both databases' word and which of them confirms the rip.
void discResult(Console& console, const std::string& key, const std::string& path,
                const accurip::ArSummary& ar, const std::string& arDetail,
                const accurip::CtdbLogResult& ctdb, const std::string& verifiedBy,
                const std::string& logChecksum = {}) {
    const std::string ctdbText = accurip::ctdbSummaryText(ctdb);
    nlohmann::ordered_json object = {{"command", "verify"},
                                     {key, path},
                                     {"disc", true},
                                     {"accuraterip", accurip::summaryText(ar, arDetail)}};
    std::string line = "disc\t" + path + "\t" + accurip::summaryText(ar, arDetail);
    if (!ctdbText.empty()) {
        object["ctdb"] = ctdbText;
        line += "\tCTDB: " + ctdbText;
    }
    if (ctdb.state == accurip::CtdbLogResult::State::Checked && ctdb.verdict.shift != 0)
        object["ctdb_shift"] = ctdb.verdict.shift;
    object["verified"] = verifiedBy.empty() ? std::string("no") : verifiedBy;
    line += verifiedBy.empty() ? "\tnot verified" : "\tverified by " + verifiedBy;
    if (!logChecksum.empty()) {
        object["log_checksum"] = logChecksum;
        line += "\tlog checksum " + logChecksum;
    }
    console.result(object, line);
}

// A rip known by its cue sheet alone: the sheet gives the layout, the files the audio.
void verifyCue(Console& console, SettingsRecord& settings, const fs::path& cue, size_t& checked,
               size_t& failed) {
    engine::RipSheet sheet;
    std::string why;
    if (!engine::readRipSheet(cue.string(), sheet, why)) {
        console.error(cue.string() + ": " + why);
        ++failed;
        return;
    }
    const engine::RipCheck check = engine::checkRip(sheet, lookupEnv(settings));
    if (!check.arDetail.empty() && check.arLookup != accurip::LookupState::Checked)
        console.note("AccurateRip: " + check.arDetail);
    for (const engine::CheckedTrack& t : check.tracks) {
        using Status = engine::CheckedTrack::Status;
        const std::string audio = t.status == Status::Ok        ? "ok"
                                  : t.status == Status::Missing ? "missing"
                                  : t.status == Status::Lossy   ? "not-lossless"
                                                                : "unreadable";
        // A database that knows the disc and disagrees fails the track, unless the other
        // one confirms it.
        const bool arSays =
            t.hasVerdict && t.arVerdict.kind != accurip::TrackVerdict::NotInDatabase;
        const bool arOk = t.hasVerdict && t.arVerdict.kind == accurip::TrackVerdict::Accurate;
        const bool ctdbSays = t.hasCtdb && t.ctdb.kind != accurip::CtdbTrackVerdict::NotInDatabase;
        const bool ctdbOk = t.hasCtdb && t.ctdb.kind == accurip::CtdbTrackVerdict::Accurate;
        const bool good = t.status == Status::Ok && (arOk || ctdbOk || (!arSays && !ctdbSays));
        nlohmann::ordered_json object = {{"command", "verify"},
                                         {"cue", cue.string()},
                                         {"track", t.number},
                                         {"input", t.file},
                                         {"status", good ? "done" : "failed"},
                                         {"audio", audio}};
        std::string line = std::string(good ? "done" : "failed") + "\ttrack " +
                           std::to_string(t.number) + "\t" + t.file + "\t" + audio;
        if (t.status == Status::Ok) {
            object["crc32"] = hex8(t.ar.crc32);
            object["v1"] = hex8(t.ar.v1);
            object["v2"] = hex8(t.ar.v2);
        }
        if (t.hasVerdict) {
            object["accuraterip"] = verdictWord(t.arVerdict);
            if (t.arVerdict.kind == accurip::TrackVerdict::Accurate)
                object["confidence"] = t.arVerdict.confidence;
            line += "\t" + accurip::verdictText(t.arVerdict);
        }
        if (t.hasCtdb) {
            object["ctdb"] = ctdbWord(t.ctdb);
            if (t.ctdb.kind == accurip::CtdbTrackVerdict::Accurate)
                object["ctdb_confidence"] = t.ctdb.confidence;
            line += "\tCTDB " + accurip::ctdbTrackText(t.ctdb);
        }
        if (!t.error.empty()) {
            object["error"] = t.error;
            line += "\t" + t.error;
            console.error(t.file + ": " + t.error);
        }
        console.result(object, line);
        ++checked;
        if (!good)
            ++failed;
    }
    discResult(console, "cue", cue.string(), check.arSummary, check.arDetail, check.ctdb,
               check.verifiedBy);
}

// A cue sheet to verify on its own: one named without a log beside it, or the one sheet
// of a folder that holds no log.
bool cueWithoutLog(const std::string& argument, fs::path& cue) {
    const fs::path path(argument);
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        std::vector<fs::path> cues;
        for (const auto& entry : fs::directory_iterator(path, ec)) {
            if (entry.path().extension() == ".log")
                return false;
            if (entry.path().extension() == ".cue" && entry.is_regular_file(ec))
                cues.push_back(entry.path());
        }
        if (cues.size() != 1)
            return false;
        cue = cues.front();
        return true;
    }
    if (path.extension() != ".cue" || !fs::is_regular_file(path, ec))
        return false;
    fs::path log = path;
    log.replace_extension(".log");
    if (fs::is_regular_file(log, ec))
        return false;
    cue = path;
    return true;
}

// Verifies one rip; adds its failures to `failed` and the tracks checked to `checked`.
void verifyRip(Console& console, SettingsRecord& settings, const std::string& argument,
               size_t& checked, size_t& failed) {
    fs::path cue;
    if (cueWithoutLog(argument, cue)) {
        verifyCue(console, settings, cue, checked, failed);
        return;
    }
    fs::path logPath;
    std::string why;
    if (!findLog(argument, logPath, why)) {
        console.error(argument + ": " + why);
        ++failed;
        return;
    }
    std::ifstream in(logPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    LoggedRip rip;
    if (!readRipLog(text.str(), rip, why)) {
        console.error(logPath.string() + ": " + why);
        ++failed;
        return;
    }
    const std::string seal = logChecksumWord(console, logPath, text.str(), failed);
    const fs::path folder = logPath.parent_path();
    // Checksums by the disc's audio tracks, in order; tracks the rip lacks stay empty.
    std::vector<accurip::TrackChecksums> sums(static_cast<size_t>(rip.ids.trackCount));
    struct Result {
        const LoggedTrack* track;
        std::string status; // "ok", "differs", "unreadable", "missing", "not-lossless"
        std::string error;
        accurip::TrackChecksums sums;
    };
    std::vector<Result> results;
    for (const LoggedTrack& t : rip.tracks) {
        Result r{&t, "ok", "", {}};
        const bool inDisc = t.number >= 1 && t.number <= rip.ids.trackCount;
        const std::string ext = fs::path(t.file).extension().string();
        if (t.file.empty() || !t.complete) {
            r.status = "missing";
            r.error = "the rip kept no complete file of this track";
        } else if (ext != ".wav" && ext != ".flac") {
            r.status = "not-lossless";
            r.error = "only WAV and FLAC files carry the disc's exact audio";
        } else if (!accurip::checksumTrackFile((folder / t.file).string(), t.number == 1,
                                               t.number == rip.ids.trackCount, r.sums, why)) {
            r.status = "unreadable";
            r.error = why;
        } else if (t.hasChecksums && (r.sums.v1 != t.sums.v1 || r.sums.v2 != t.sums.v2 ||
                                      r.sums.crc32 != t.sums.crc32)) {
            r.status = "differs";
            r.error = "the file's audio differs from what the log recorded";
        }
        if (inDisc && (r.status == "ok" || r.status == "differs"))
            sums[static_cast<size_t>(t.number - 1)] = r.sums;
        results.push_back(r);
    }

    // The database's word on the audio as it is now.
    std::vector<accurip::TrackVerdict> verdicts;
    std::string lookup = "not-done";
    accurip::LookupState arState = accurip::LookupState::NotDone;
    std::string arDetail;
    const bool lookUpAllowed = !settingsStoreExists() || settings.accurateRipLookup();
    if (lookUpAllowed) {
        const std::string server = settingsStoreExists()
                                       ? settings.accurateRipServer()
                                       : SettingsRecord::kDefaultAccurateRipServer;
        const int deadline = std::clamp(settings.freeDBDeadline(), 5, 60) * 1000;
        const accurip::LookupAnswer answer = accurip::lookUp(
            server.empty() ? accurip::kDefaultServer : server, rip.ids, deadline, nullptr);
        lookup = lookupWord(answer.status);
        if (answer.status == accurip::LookupAnswer::Found) {
            bool otherDisc = false;
            verdicts = accurip::verify(rip.ids, sums, answer.responses, otherDisc);
            if (otherDisc) {
                lookup = "other-disc";
                verdicts.clear();
            }
        } else if (!answer.detail.empty()) {
            console.note("AccurateRip: " + answer.detail);
        }
        arState = lookupStateOf(answer.status);
        arDetail = answer.detail;
        if (arState == accurip::LookupState::Checked && verdicts.empty())
            arState = accurip::LookupState::OtherDisc;
    }

    // CTDB, when the log gives the disc's layout: every track's audio, silence for those
    // that cannot be read, so that the others keep their places.
    accurip::CtdbLogResult ctdb;
    accurip::DiscLayout layout;
    if (lookUpAllowed && engine::layoutFromTocQuery(rip.tocQuery, layout) &&
        layout.audioTrackCount() == rip.ids.trackCount &&
        static_cast<int>(layout.tracks.size()) == rip.ids.trackCount) {
        std::vector<accurip::CtdbTrackSums> ctdbSums;
        const size_t count = layout.tracks.size();
        for (size_t i = 0; i < count; ++i) {
            const int64_t samples = (layout.trackEnd(i) - layout.tracks[i].start) * 588;
            const auto r = std::find_if(results.begin(), results.end(), [&](const Result& x) {
                return x.track->number == static_cast<int>(i + 1) &&
                       (x.status == "ok" || x.status == "differs");
            });
            engine::TrackSums trackSums;
            std::string sumWhy;
            if (r != results.end() &&
                engine::trackSumsOfFile((folder / r->track->file).string(), samples, i == 0,
                                        i + 1 == count, trackSums, sumWhy)) {
                ctdbSums.push_back(std::move(trackSums.ctdb));
                continue;
            }
            accurip::CtdbTrackChecksummer silent(samples);
            const std::vector<uint8_t> zeros(588 * 4 * 75, 0);
            for (int64_t at = 0; at < samples; at += 588 * 75)
                silent.add(zeros.data(),
                           static_cast<size_t>(std::min<int64_t>(588 * 75, samples - at)) * 4);
            ctdbSums.push_back(silent.result());
        }
        const engine::VerifyEnv env = lookupEnv(settings);
        accurip::CtdbLookupOptions options;
        options.deadlineMs = env.deadlineMs;
        options.proxyHost = env.proxyHost;
        options.proxyPort = env.proxyPort;
        const accurip::CtdbLookupAnswer a = accurip::ctdbLookUp(env.ctdbServer, layout, options);
        ctdb.detail = a.detail;
        if (a.status == accurip::CtdbLookupAnswer::Found) {
            ctdb.state = accurip::CtdbLogResult::State::Checked;
            ctdb.detail.clear();
            ctdb.verdict = accurip::ctdbVerify(accurip::CtdbDisc(std::move(ctdbSums)), a.entries);
        } else {
            ctdb.state = a.status == accurip::CtdbLookupAnswer::NotInDatabase
                             ? accurip::CtdbLogResult::State::NotInDatabase
                         : a.status == accurip::CtdbLookupAnswer::Offline
                             ? accurip::CtdbLogResult::State::Offline
                             : accurip::CtdbLogResult::State::Failed;
            if (!a.detail.empty())
                console.note("CTDB: " + a.detail);
        }
    }

    for (const Result& r : results) {
        const LoggedTrack& t = *r.track;
        nlohmann::ordered_json object = {{"command", "verify"},
                                         {"log", logPath.string()},
                                         {"track", t.number},
                                         {"input", t.file},
                                         {"status", r.status == "ok" ? "done" : "failed"},
                                         {"audio", r.status}};
        std::string line = std::string(r.status == "ok" ? "done" : "failed") + "\ttrack " +
                           std::to_string(t.number) + "\t" + t.file + "\t" + r.status;
        object["log_checksum"] = seal;
        if (r.status == "ok" || r.status == "differs") {
            object["crc32"] = hex8(r.sums.crc32);
            object["v1"] = hex8(r.sums.v1);
            object["v2"] = hex8(r.sums.v2);
        }
        const size_t i = static_cast<size_t>(t.number - 1);
        if (i < verdicts.size() && (r.status == "ok" || r.status == "differs")) {
            const accurip::TrackVerdict& v = verdicts[i];
            object["accuraterip"] = verdictWord(v);
            if (v.kind == accurip::TrackVerdict::Accurate)
                object["confidence"] = v.confidence;
            line += "\t" + accurip::verdictText(v);
        } else {
            object["accuraterip"] = lookup;
            line += "\tAccurateRip " + lookup;
        }
        if (ctdb.state == accurip::CtdbLogResult::State::Checked &&
            i < ctdb.verdict.tracks.size() && (r.status == "ok" || r.status == "differs")) {
            const accurip::CtdbTrackVerdict& v = ctdb.verdict.tracks[i];
            object["ctdb"] = ctdbWord(v);
            if (v.kind == accurip::CtdbTrackVerdict::Accurate)
                object["ctdb_confidence"] = v.confidence;
            line += "\tCTDB " + accurip::ctdbTrackText(v);
        }
        line += "\tlog checksum " + seal;
        if (!r.error.empty()) {
            object["error"] = r.error;
            line += "\t" + r.error;
            console.error(t.file + ": " + r.error);
        }
        console.result(object, line);
        ++checked;
        if (r.status != "ok" && r.status != "not-lossless")
            ++failed;
    }

    accurip::RipLogInfo info;
    info.lookup = arState;
    for (const Result& r : results) {
        accurip::LogTrack t;
        t.number = r.track->number;
        const size_t i = static_cast<size_t>(t.number - 1);
        t.hasVerdict = i < verdicts.size() && (r.status == "ok" || r.status == "differs");
        if (t.hasVerdict)
            t.verdict = verdicts[i];
        info.tracks.push_back(t);
    }
    const accurip::ArSummary ar = accurip::summarize(info);
    const bool allOk = std::all_of(results.begin(), results.end(),
                                   [](const Result& r) { return r.status == "ok"; }) &&
                       static_cast<int>(results.size()) == rip.ids.trackCount;
    discResult(console, "log", logPath.string(), ar, arDetail, ctdb,
               allOk ? accurip::verifiedBy(ar, ctdb) : std::string(), seal);
}

} // namespace

int runVerify(Console& console, SettingsRecord& settings, const std::vector<std::string>& rips) {
    size_t checked = 0;
    size_t failed = 0;
    for (const std::string& rip : rips)
        verifyRip(console, settings, rip, checked, failed);
    if (checked == 0)
        return kExitNothingDone;
    return failed > 0 ? kExitSomeFailed : kExitDone;
}

} // namespace cld::cli
