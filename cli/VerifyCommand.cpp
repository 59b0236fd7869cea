#include "ArLookup.h"
#include "CliSettings.h"
#include "Commands.h"
#include "ExitCode.h"
#include "RipLog.h"
#include "RipLogReader.h"
#include "SettingsRecord.h"

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

// Verifies one rip; adds its failures to `failed` and the tracks checked to `checked`.
void verifyRip(Console& console, SettingsRecord& settings, const std::string& argument,
               size_t& checked, size_t& failed) {
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
