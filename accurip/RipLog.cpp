#include "RipLog.h"

#include "SafeFiles.h"

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
        o << "  Read: " << readText(t) << "\n";
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
    const ArSummary ar = summarize(info);
    if (info.ctdb.state != CtdbLogResult::State::NotDone)
        o << "CTDB: " << ctdbSummaryText(info.ctdb) << "\n";
    if (info.lookup != LookupState::NotDone || info.ctdb.state != CtdbLogResult::State::NotDone) {
        const std::string by = verifiedBy(ar, info.ctdb);
        o << "Verified: " << (by.empty() ? std::string("no") : "yes, by " + by) << "\n";
    }
    return o.str();
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
    o << "REM DISCID " << hex8(ids.freedb) << "\n";
    o << "REM COMMENT " << cueString(info.program) << "\n";
    if (!info.artist.empty())
        o << "PERFORMER " << cueString(info.artist) << "\n";
    if (!info.album.empty())
        o << "TITLE " << cueString(info.album) << "\n";
    for (const LogTrack& t : info.tracks) {
        if (t.state != FileState::Complete)
            continue;
        const auto it = std::find_if(info.disc.tracks.begin(), info.disc.tracks.end(),
                                     [&](const DiscTrack& d) { return d.number == t.number; });
        o << "FILE " << cueString(t.file) << " " << cueFileType(t.file) << "\n";
        o << "  TRACK " << (t.number < 10 ? "0" : "") << t.number << " AUDIO\n";
        if (!t.title.empty())
            o << "    TITLE " << cueString(t.title) << "\n";
        if (!t.performer.empty() || !info.artist.empty())
            o << "    PERFORMER " << cueString(t.performer.empty() ? info.artist : t.performer)
              << "\n";
        // The audio before the first track (not in its file) is its pregap.
        if (it != info.disc.tracks.end() && it == info.disc.tracks.begin() && it->start > 0)
            o << "    PREGAP " << msf(it->start) << "\n";
        o << "    INDEX 01 00:00:00\n";
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
