#include "RipLog.h"

#include "SafeFiles.h"
#include "Sha256.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace accurip {

namespace {

std::string hex8(uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "%08X", v);
    return b;
}

std::string msf(int64_t sectors) {
    char b[32];
    std::snprintf(b, sizeof b, "%02lld:%02lld:%02lld", static_cast<long long>(sectors / 4500),
                  static_cast<long long>(sectors / 75 % 60), static_cast<long long>(sectors % 75));
    return b;
}

// A cue sheet string: one line; the format has no way to write a double quote inside a
// string, so it becomes a single one.
std::string cueString(const std::string& s) {
    std::string out = cld::files::oneLine(s);
    std::replace(out.begin(), out.end(), '"', '\'');
    return "\"" + out + "\"";
}

std::string oneLine(const std::string& s) {
    return cld::files::oneLine(s);
}

std::string readText(const LogTrack& t) {
    switch (t.result) {
    case ReadResult::Exact:
        if (t.edgeSilentSamples > 0)
            return "exact, but for " + std::to_string(t.edgeSilentSamples) +
                   " samples beyond the edge of the disc (read offset), which are silence";
        return "exact";
    case ReadResult::Corrected:
        return "corrected (" + std::to_string(t.correctedSectors) + " sectors)";
    case ReadResult::NotVerified:
        return "not verified (" + std::to_string(t.unverifiedSectors) + " sectors)";
    case ReadResult::Failed:
        return "failed (" + std::to_string(t.unreadSectors) + " sectors not read)";
    case ReadResult::Unchecked:
        return "not checked";
    case ReadResult::Unknown:
        break;
    }
    return "unknown";
}

std::string percentOf(int peak) {
    char b[32];
    std::snprintf(b, sizeof b, "%.1f %%", 100.0 * std::clamp(peak, 0, 32768) / 32768.0);
    return b;
}

std::string sectorsText(int64_t sectors) {
    return msf(sectors) + " (" + std::to_string(sectors) + " sector" + (sectors == 1 ? "" : "s") +
           ")";
}

// The cue sheet's FLAGS words for a track's control bits; empty when none is set.
std::string flagWords(int control) {
    std::string words;
    if (control & 0x01)
        words += " PRE";
    if (control & 0x02)
        words += " DCP";
    if (control & 0x08)
        words += " 4CH";
    return words;
}

std::string hiddenText(const DiscDetails& d) {
    const std::string span = sectorsText(d.hiddenSectors);
    switch (d.hidden) {
    case HiddenAudio::None:
        return "nothing (track 1 starts at sector 0)";
    case HiddenAudio::Silent:
        return span + " of silence";
    case HiddenAudio::Audio:
        return span + " of audio (a hidden track, HTOA)" +
               (d.hiddenFile.empty() ? std::string(", not ripped")
                                     : ", ripped as track 0 into " + oneLine(d.hiddenFile));
    case HiddenAudio::Unreadable:
        return span + " the drive could not read (not known whether they hold audio)";
    case HiddenAudio::NotLooked:
        break;
    }
    return "not looked at";
}

std::string joinNumbers(const std::vector<int>& v) {
    std::string s;
    for (int n : v)
        s += (s.empty() ? "" : ", ") + std::to_string(n);
    return s;
}

} // namespace

std::string verdictText(const TrackVerdict& v) {
    switch (v.kind) {
    case TrackVerdict::Accurate: {
        // Each checksum version's rips, as other rippers count them: "confidence 5 (v1),
        // 9 (v2)".
        std::string counts;
        if (v.confidenceV1 > 0)
            counts = std::to_string(v.confidenceV1) + " (v1)";
        if (v.confidenceV2 > 0)
            counts += (counts.empty() ? "" : ", ") + std::to_string(v.confidenceV2) + " (v2)";
        if (counts.empty())
            counts = std::to_string(v.confidence) + " (v" + std::to_string(v.version) + ")";
        return "accurately ripped (confidence " + counts + ")";
    }
    case TrackVerdict::NotAccurate:
        return "not accurate (" + std::to_string(v.otherRips) + " other rips differ)";
    case TrackVerdict::NotInDatabase:
        break;
    }
    return "not in the database";
}

ArSummary summarize(const RipLogInfo& info) {
    ArSummary s;
    switch (info.lookup) {
    case LookupState::NotDone:
        s.kind = ArSummary::NotDone;
        return s;
    case LookupState::NotInDatabase:
        s.kind = ArSummary::NotInDatabase;
        return s;
    case LookupState::Offline:
        s.kind = ArSummary::Offline;
        return s;
    case LookupState::Failed:
        s.kind = ArSummary::Failed;
        return s;
    case LookupState::OtherDisc:
        s.kind = ArSummary::OtherDisc;
        return s;
    case LookupState::Checked:
        break;
    }
    s.minConfidence = -1;
    for (const LogTrack& t : info.tracks) {
        ++s.tracks;
        if (!t.hasVerdict || t.verdict.kind == TrackVerdict::NotInDatabase)
            s.notInDatabase.push_back(t.number);
        else if (t.verdict.kind == TrackVerdict::NotAccurate)
            s.notAccurate.push_back(t.number);
        else if (s.minConfidence < 0 || t.verdict.confidence < s.minConfidence)
            s.minConfidence = t.verdict.confidence;
    }
    if (s.minConfidence < 0)
        s.minConfidence = 0;
    if (s.tracks > 0 && s.notAccurate.empty() && s.notInDatabase.empty())
        s.kind = ArSummary::AllAccurate;
    else if (s.notAccurate.empty() && static_cast<int>(s.notInDatabase.size()) == s.tracks)
        s.kind = ArSummary::NotInDatabase;
    else
        s.kind = ArSummary::SomeNotAccurate;
    return s;
}

std::string summaryText(const ArSummary& s, const std::string& detail) {
    const std::string why = detail.empty() ? std::string() : " (" + oneLine(detail) + ")";
    switch (s.kind) {
    case ArSummary::AllAccurate:
        return "All " + std::to_string(s.tracks) + " tracks accurately ripped (confidence " +
               std::to_string(s.minConfidence) + ")";
    case ArSummary::SomeNotAccurate: {
        std::string text;
        if (!s.notAccurate.empty())
            text = "Not accurate: track" + std::string(s.notAccurate.size() > 1 ? "s " : " ") +
                   joinNumbers(s.notAccurate);
        if (!s.notInDatabase.empty())
            text += (text.empty() ? "" : "; ") + std::string("not in the database: track") +
                    (s.notInDatabase.size() > 1 ? "s " : " ") + joinNumbers(s.notInDatabase);
        const int good = s.tracks - static_cast<int>(s.notAccurate.size() + s.notInDatabase.size());
        return text + "; " + std::to_string(good) + " of " + std::to_string(s.tracks) +
               " tracks accurately ripped";
    }
    case ArSummary::NotInDatabase:
        return "Disc not in the database";
    case ArSummary::Offline:
        return "AccurateRip database not reachable (offline?); the checksums are kept in this "
               "log" +
               why;
    case ArSummary::Failed:
        return "AccurateRip look-up failed" + why;
    case ArSummary::OtherDisc:
        return "The AccurateRip entry is for another disc" + why;
    case ArSummary::NotDone:
        break;
    }
    return "AccurateRip look-up not made";
}

std::string ctdbSummaryText(const CtdbLogResult& ctdb) {
    const std::string why = ctdb.detail.empty() ? std::string() : " (" + oneLine(ctdb.detail) + ")";
    switch (ctdb.state) {
    case CtdbLogResult::State::Checked:
        return ctdbVerdictText(ctdb.verdict);
    case CtdbLogResult::State::NotInDatabase:
        return "not in the database";
    case CtdbLogResult::State::Offline:
        return "not reachable (offline?)" + why;
    case CtdbLogResult::State::Failed:
        return "look-up failed" + why;
    case CtdbLogResult::State::NotDone:
        break;
    }
    return {};
}

std::string verifiedBy(const ArSummary& summary, const CtdbLogResult& ctdb) {
    const bool ar = summary.kind == ArSummary::AllAccurate;
    const bool ct =
        ctdb.state == CtdbLogResult::State::Checked && ctdb.verdict.kind == CtdbVerdict::Accurate;
    if (ar && ct)
        return "AccurateRip and CTDB";
    if (ar)
        return "AccurateRip";
    if (ct)
        return "CTDB";
    return {};
}

std::string ripLogBaseName(const std::string& artist, const std::string& album) {
    return cld::files::pairName(artist, album, "Unknown Artist", "Unknown Album");
}

std::string logText(const RipLogInfo& info) {
    std::ostringstream o;
    const DiscIds ids = discIds(info.disc);
    o << "Rip log\n";
    if (!info.ending.empty())
        o << "Status: incomplete, " << oneLine(info.ending) << "\n";
    o << "Program: " << oneLine(info.program) << "\n";
    o << "Date: " << oneLine(info.date) << "\n";
    o << "Drive: " << oneLine(info.drive) << "\n";
    o << "Read offset: " << info.readOffset << " samples\n";
    o << "Error correction: " << oneLine(info.errorCorrection) << "\n";
    o << "Artist: " << oneLine(info.artist) << "\n";
    o << "Album: " << oneLine(info.album) << "\n";
    o << "FreeDB id: " << hex8(ids.freedb) << "\n";
    o << "AccurateRip id: " << entryFileName(ids) << "\n";
    o << "Tracks on the disc: " << info.disc.tracks.size() << " (" << ids.trackCount << " audio)\n";
    const DiscDetails& details = info.details;
    if (details.read) {
        o << "Catalogue number (MCN): "
          << (details.catalog.empty() ? std::string("none") : oneLine(details.catalog)) << "\n";
        o << "Gap detection: " << details.subChannelReads << " sub-channel reads\n";
        o << "Before track 1 (HTOA): " << hiddenText(details) << "\n";
    }
    for (const std::string& feature : info.driveFeatures)
        o << "Drive feature: " << oneLine(feature) << "\n";
    o << "CTDB TOC id: " << ctdbTocId(info.disc) << "\n";
    o << "CTDB TOC: " << ctdbTocQuery(info.disc) << "\n";
    o << "\n";
    const bool ctdbChecked = info.ctdb.state == CtdbLogResult::State::Checked &&
                             info.ctdb.verdict.tracks.size() == info.tracks.size();
    size_t trackIndex = 0;
    for (const LogTrack& t : info.tracks) {
        o << "Track " << (t.number < 10 ? "0" : "") << t.number << "\n";
        switch (t.state) {
        case FileState::Complete:
            o << "  File: " << oneLine(t.file) << "\n";
            break;
        case FileState::Incomplete:
            o << "  File: " << oneLine(t.file)
              << " (incomplete: it holds only part of the track)\n";
            break;
        case FileState::NotWritten:
            o << "  File: none ("
              << (t.file.empty() ? "not saved" : "not saved as " + oneLine(t.file)) << ")\n";
            break;
        }
        if (const TrackCodes* codes = details.read ? details.track(t.number) : nullptr) {
            const auto d = std::find_if(info.disc.tracks.begin(), info.disc.tracks.end(),
                                        [&](const DiscTrack& x) { return x.number == t.number; });
            if (codes->indexZero < 0 || d == info.disc.tracks.end())
                o << "  Pregap: not detected\n";
            else if (d->start > codes->indexZero)
                o << "  Pregap: " << sectorsText(d->start - codes->indexZero) << "\n";
            else
                o << "  Pregap: none\n";
            o << "  ISRC: " << (codes->isrc.empty() ? std::string("none") : oneLine(codes->isrc))
              << "\n";
            o << "  Pre-emphasis: " << ((codes->control & 0x01) ? "yes" : "no") << "\n";
        }
        o << "  Read: " << readText(t) << "\n";
        if (t.peak >= 0)
            o << "  Peak: " << percentOf(t.peak) << "\n";
        if (t.testAndCopy) {
            if (t.copyRereads > 0) {
                const auto d =
                    std::find_if(info.disc.tracks.begin(), info.disc.tracks.end(),
                                 [&](const DiscTrack& x) { return x.number == t.number; });
                if (d != info.disc.tracks.end()) {
                    const int64_t end =
                        info.disc.trackEnd(static_cast<size_t>(d - info.disc.tracks.begin()));
                    o << "  Re-read: sectors " << d->start << "-" << end - 1 << ", "
                      << t.copyRereads << (t.copyRereads == 1 ? " time" : " times")
                      << " (test and copy)\n";
                }
            }
            o << "  Test CRC32: " << hex8(t.testCrc) << "\n";
            o << "  Copy CRC32: " << hex8(t.copyCrc) << "\n";
            if (t.copyOk)
                o << "  Test and copy: copy OK"
                  << (t.copyRereads > 0
                          ? " after " + std::to_string(t.copyRereads) + " reads with correction"
                          : std::string())
                  << "\n";
            else
                o << "  Test and copy: mismatch (no read gave the copy's CRC again; "
                  << t.copyRereads << " reads with correction)\n";
        }
        if (t.hasChecksums) {
            o << "  CRC32: " << hex8(t.sums.crc32) << "\n";
            o << "  CRC32 without silence: " << hex8(t.sums.crc32NoSilence) << "\n";
            o << "  AccurateRip v1: " << hex8(t.sums.v1) << "\n";
            o << "  AccurateRip v2: " << hex8(t.sums.v2) << "\n";
        } else {
            o << "  Checksums: not computed\n";
        }
        if (t.hasVerdict && info.lookup == LookupState::Checked)
            o << "  AccurateRip: " << verdictText(t.verdict) << "\n";
        if (ctdbChecked)
            o << "  CTDB: " << ctdbTrackText(info.ctdb.verdict.tracks[trackIndex]) << "\n";
        ++trackIndex;
        o << "\n";
    }
    int exact = 0, failed = 0, saved = 0;
    for (const LogTrack& t : info.tracks) {
        exact += t.result == ReadResult::Exact || t.result == ReadResult::Corrected;
        failed += t.result == ReadResult::Failed;
        saved += t.state == FileState::Complete;
    }
    o << "Summary: ";
    if (!info.ending.empty())
        o << "rip " << oneLine(info.ending) << "; " << saved << " of " << info.tracks.size()
          << " files complete; ";
    o << info.tracks.size() << " tracks, " << exact << " exact, " << failed << " failed; "
      << summaryText(summarize(info), info.lookupDetail) << "\n";
    int discPeak = -1;
    int copies = 0, copiesOk = 0;
    for (const LogTrack& t : info.tracks) {
        discPeak = std::max(discPeak, t.peak);
        copies += t.testAndCopy;
        copiesOk += t.testAndCopy && t.copyOk;
    }
    if (discPeak >= 0)
        o << "Peak of the disc: " << percentOf(discPeak) << "\n";
    if (copies > 0)
        o << "Test and copy: " << copiesOk << " of " << copies << " tracks copy OK\n";
    const ArSummary ar = summarize(info);
    if (info.ctdb.state != CtdbLogResult::State::NotDone)
        o << "CTDB: " << ctdbSummaryText(info.ctdb) << "\n";
    if (info.lookup != LookupState::NotDone || info.ctdb.state != CtdbLogResult::State::NotDone) {
        const std::string by = verifiedBy(ar, info.ctdb);
        o << "Verified: " << (by.empty() ? std::string("no") : "yes, by " + by) << "\n";
    }
    std::string text = o.str();
    return text + logChecksumLine(text);
}

const TrackCodes* DiscDetails::track(int number) const {
    for (const TrackCodes& t : tracks)
        if (t.number == number)
            return &t;
    return nullptr;
}

std::string logChecksumLine(const std::string& textAbove) {
    return "==== Log checksum " + sha256Hex(textAbove) + " ====\n";
}

LogChecksum checkLogChecksum(const std::string& text) {
    // The last line, with or without its newline (and a CR an editor may have added).
    std::string body = text;
    if (!body.empty() && body.back() == '\n')
        body.pop_back();
    if (!body.empty() && body.back() == '\r')
        body.pop_back();
    const std::size_t start = body.rfind('\n') == std::string::npos ? 0 : body.rfind('\n') + 1;
    const std::string last = body.substr(start);
    static const std::string kHead = "==== Log checksum ";
    static const std::string kTail = " ====";
    if (last.size() != kHead.size() + 64 + kTail.size() ||
        last.compare(0, kHead.size(), kHead) != 0 ||
        last.compare(last.size() - kTail.size(), kTail.size(), kTail) != 0)
        return LogChecksum::Absent;
    const std::string digits = last.substr(kHead.size(), 64);
    if (!std::all_of(digits.begin(), digits.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }))
        return LogChecksum::Absent;
    return sha256Hex(text.substr(0, start)) == digits ? LogChecksum::Ok : LogChecksum::Edited;
}

std::string cueFileType(const std::string& file) {
    // MP3 files have a type of their own; every other audio file (WAV, WMA, ...) is
    // named WAVE, as players expect for any file they decode themselves.
    const std::size_t dot = file.rfind('.');
    std::string ext = dot == std::string::npos ? std::string() : file.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == "mp3" ? "MP3" : "WAVE";
}

std::string cueText(const RipLogInfo& info) {
    std::ostringstream o;
    const DiscIds ids = discIds(info.disc);
    const DiscDetails& details = info.details;
    o << "REM DISCID " << hex8(ids.freedb) << "\n";
    o << "REM COMMENT " << cueString(info.program) << "\n";
    if (details.read && !details.catalog.empty())
        o << "CATALOG " << details.catalog << "\n";
    if (!info.artist.empty())
        o << "PERFORMER " << cueString(info.artist) << "\n";
    if (!info.album.empty())
        o << "TITLE " << cueString(info.album) << "\n";
    // One file per track, each track's pregap at the end of the file before it (when that
    // file is in the sheet; otherwise the pregap is a PREGAP, not in any file). The audio
    // before track 1 is its pregap: in a file of its own when it was ripped (HTOA), a
    // PREGAP otherwise.
    int previousNumber = -1;     // the track whose file was named last
    int64_t previousSectors = 0; // its length
    for (const LogTrack& t : info.tracks) {
        if (t.state != FileState::Complete)
            continue;
        const auto it = std::find_if(info.disc.tracks.begin(), info.disc.tracks.end(),
                                     [&](const DiscTrack& d) { return d.number == t.number; });
        const bool known = it != info.disc.tracks.end();
        const bool first = known && it == info.disc.tracks.begin();
        const TrackCodes* codes = details.read ? details.track(t.number) : nullptr;
        int64_t pregap = 0;
        if (first)
            pregap = it->start;
        else if (known && codes && codes->indexZero >= 0 && codes->indexZero < it->start)
            pregap = it->start - codes->indexZero;
        const bool hiddenFile = first && pregap > 0 && !details.hiddenFile.empty();
        const bool inPrevious =
            !first && pregap > 0 && previousNumber == t.number - 1 && pregap < previousSectors;
        auto trackLines = [&] {
            o << "  TRACK " << (t.number < 10 ? "0" : "") << t.number << " AUDIO\n";
            if (!t.title.empty())
                o << "    TITLE " << cueString(t.title) << "\n";
            if (!t.performer.empty() || !info.artist.empty())
                o << "    PERFORMER " << cueString(t.performer.empty() ? info.artist : t.performer)
                  << "\n";
            if (codes && !codes->isrc.empty())
                o << "    ISRC " << codes->isrc << "\n";
            if (codes && !flagWords(codes->control).empty())
                o << "    FLAGS" << flagWords(codes->control) << "\n";
        };
        if (hiddenFile) {
            o << "FILE " << cueString(details.hiddenFile) << " " << cueFileType(details.hiddenFile)
              << "\n";
            trackLines();
            o << "    INDEX 00 00:00:00\n";
            o << "FILE " << cueString(t.file) << " " << cueFileType(t.file) << "\n";
        } else if (inPrevious) {
            trackLines();
            o << "    INDEX 00 " << msf(previousSectors - pregap) << "\n";
            o << "FILE " << cueString(t.file) << " " << cueFileType(t.file) << "\n";
        } else {
            o << "FILE " << cueString(t.file) << " " << cueFileType(t.file) << "\n";
            trackLines();
            if (pregap > 0)
                o << "    PREGAP " << msf(pregap) << "\n";
        }
        o << "    INDEX 01 00:00:00\n";
        previousNumber = t.number;
        previousSectors =
            known
                ? info.disc.trackEnd(static_cast<size_t>(it - info.disc.tracks.begin())) - it->start
                : 0;
    }
    return o.str();
}

bool writeRipLog(const std::string& base, bool replaceExisting, const RipLogInfo& info,
                 std::string& logPath, std::string& error) {
    const auto replace =
        replaceExisting ? cld::files::Replace::RegularFile : cld::files::Replace::Never;
    if (!cld::files::writeWhole(base + ".log", logText(info), replace, error))
        return false;
    logPath = base + ".log";
    return cld::files::writeWhole(base + ".cue", cueText(info), replace, error);
}

bool checksumWaveFile(const std::string& path, bool firstTrack, bool lastTrack, TrackChecksums& out,
                      std::string& why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    uint8_t head[12];
    if (!in.read(reinterpret_cast<char*>(head), 12) || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0) {
        why = path + " is not a WAVE file";
        return false;
    }
    bool format = false;
    for (;;) {
        uint8_t chunk[8];
        if (!in.read(reinterpret_cast<char*>(chunk), 8)) {
            why = path + " has no audio data";
            return false;
        }
        const uint32_t length =
            static_cast<uint32_t>(chunk[4] | (chunk[5] << 8) | (chunk[6] << 16)) |
            (static_cast<uint32_t>(chunk[7]) << 24);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            uint8_t f[16];
            if (length < 16 || !in.read(reinterpret_cast<char*>(f), 16)) {
                why = path + ": the format chunk is cut short";
                return false;
            }
            if ((f[0] | (f[1] << 8)) != 1 || (f[2] | (f[3] << 8)) != 2 ||
                (f[14] | (f[15] << 8)) != 16) {
                why = path + " is not 16-bit stereo PCM";
                return false;
            }
            format = true;
            in.seekg(length - 16 + (length & 1), std::ios::cur);
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!format) {
                why = path + ": the audio comes before its format";
                return false;
            }
            // A data chunk length the writer could not fill in (0 or too large) stands
            // for the rest of the file.
            const std::streampos here = in.tellg();
            in.seekg(0, std::ios::end);
            const auto rest = static_cast<uint64_t>(in.tellg() - here);
            in.seekg(here);
            const uint64_t bytes = length == 0 || length > rest ? rest : length;
            TrackChecksummer sum(static_cast<int64_t>(bytes / 4), firstTrack, lastTrack);
            std::vector<uint8_t> buffer(1 << 20);
            uint64_t left = bytes;
            while (left > 0) {
                const auto n =
                    static_cast<std::streamsize>(std::min<uint64_t>(left, buffer.size()));
                if (!in.read(reinterpret_cast<char*>(buffer.data()), n)) {
                    why = "cannot read " + path;
                    return false;
                }
                sum.add(buffer.data(), static_cast<size_t>(n));
                left -= static_cast<uint64_t>(n);
            }
            out = sum.result();
            return true;
        } else {
            in.seekg(length + (length & 1), std::ios::cur);
        }
        if (!in) {
            why = path + " has no audio data";
            return false;
        }
    }
}

} // namespace accurip
